// Loads the Qt module on first use and forwards the platform's font, mask and PDF calls to it.
#include "platform/QtModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "platform/PdfPageWriter.h"

// fontconfig keeps a cache allocated for the life of the process that it never hands back;
// leak checking in sanitizer builds must not count it against us, nor report that it did on
// standard error, which carries zelvo-batch's messages.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

namespace zelvo {

namespace {

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    const std::string exe(path, size_t(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

QtServices* Load() {
    // An installed program finds the module below its own folder (zelvo-batch) or beside it
    // (the editor, in lib/zelvo); a build finds it where it was built.
    std::vector<std::string> candidates;
    if (const std::string folder = ExecutableFolder(); !folder.empty()) {
        candidates.push_back(folder + "../lib/zelvo/" ZELVO_QT_MODULE_NAME);
        candidates.push_back(folder + ZELVO_QT_MODULE_NAME);
    }
    candidates.push_back(ZELVO_QT_MODULE_PATH);
    std::string error = "not found";
    for (const std::string& path : candidates) {
        if (access(path.c_str(), F_OK) != 0) continue;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            error = why ? why : path;
            continue;
        }
        // Never closed: the application object and the fonts it made live until the exit.
        const auto entry = reinterpret_cast<QtServicesEntry>(dlsym(module, kQtServicesEntry));
        if (QtServices* services = entry ? entry() : nullptr) return services;
        error = path + " has no " + kQtServicesEntry;
    }
    std::fprintf(stderr, "the Qt module cannot be loaded (%s): no text, curves or printing\n",
                 error.c_str());
    return nullptr;
}

}  // namespace

QtServices* LoadedQtServices() {
    static QtServices* const services = Load();
    return services;
}

bool EnsureGuiApplication() {
    QtServices* services = LoadedQtServices();
    return services && services->EnsureGuiApplication();
}

std::vector<std::string> SystemFontFamilies() {
    QtServices* services = LoadedQtServices();
    return services ? services->SystemFontFamilies() : std::vector<std::string>{};
}

// ---- MaskPainter --------------------------------------------------------------------------------

struct MaskPainter::Impl {
    int32_t width = 0;
    int32_t height = 0;
    // Made by the first item: a painter that is given nothing loads no Qt.
    std::unique_ptr<MaskPainterBackend> backend;
    bool lostItems = false;  // a path that could not be queued without the module

    MaskPainterBackend* Backend() {
        if (!backend)
            if (QtServices* services = LoadedQtServices())
                backend = services->NewMaskPainter(width, height);
        return backend.get();
    }
};

MaskPainter::MaskPainter(int32_t width, int32_t height) : m_impl(std::make_unique<Impl>()) {
    m_impl->width = width;
    m_impl->height = height;
}

MaskPainter::~MaskPainter() = default;

int32_t MaskPainter::AddText(const MaskText& text) {
    MaskPainterBackend* backend = m_impl->Backend();
    return backend ? backend->AddText(text) : 0;
}

void MaskPainter::AddBezierFill(const std::vector<MaskPoint>& points, MaskFill rule) {
    if (MaskPainterBackend* backend = m_impl->Backend())
        backend->AddBezierFill(points, rule);
    else
        m_impl->lostItems = true;
}

void MaskPainter::AddBezierStroke(const std::vector<MaskPoint>& points, int32_t penWidth) {
    if (MaskPainterBackend* backend = m_impl->Backend())
        backend->AddBezierStroke(points, penWidth);
    else
        m_impl->lostItems = true;
}

bool MaskPainter::Paint(const std::function<bool(int32_t y, const uint8_t* bits)>& row) {
    if (!m_impl->backend) return !m_impl->lostItems;
    return m_impl->backend->Paint(row);
}

int32_t MaskPainter::LineHeight(const std::string& face, int32_t size) {
    QtServices* services = LoadedQtServices();
    return services ? services->LineHeight(face, size) : 0;
}

int32_t MaskPainter::EmSize(const std::string& face, int32_t size) {
    QtServices* services = LoadedQtServices();
    return services ? services->EmSize(face, size) : 0;
}

// ---- PdfPageWriter ------------------------------------------------------------------------------

struct PdfPageWriter::Impl {
    std::unique_ptr<PdfPageBackend> backend;
};

PdfPageWriter::PdfPageWriter(std::string path, double sheetWidthMm, double sheetHeightMm, int dpi)
    : m_impl(std::make_unique<Impl>()) {
    if (QtServices* services = LoadedQtServices())
        m_impl->backend = services->NewPdfPage(path, sheetWidthMm, sheetHeightMm, dpi);
}

PdfPageWriter::~PdfPageWriter() = default;

bool PdfPageWriter::Begin(const std::string& title) {
    return m_impl->backend && m_impl->backend->Begin(title);
}

void PdfPageWriter::DrawBgr(const uint8_t* rows, int32_t width, int32_t height, size_t stride,
                            int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (m_impl->backend)
        m_impl->backend->DrawBgr(rows, width, height, stride, left, top, right, bottom);
}

bool PdfPageWriter::End() {
    return m_impl->backend && m_impl->backend->End();
}

}  // namespace zelvo
