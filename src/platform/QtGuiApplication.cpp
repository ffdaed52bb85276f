// The Qt GUI application that fonts need. The GUI program makes its own; zelvo-batch and the
// tests get one here on first use, on the off-screen platform when there is no display, so text
// renders the same with or without a screen.
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "platform/QtModule.h"

namespace zelvo::qt {

namespace {

// Qt's own notices (a missing runtime folder and the like) must not mix with the messages a
// headless run prints on standard error; only its serious errors are let through.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "Qt: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

bool EnsureGuiApplication() {
    if (QCoreApplication::instance())
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if (!display && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt keeps references to argc and argv for the application's lifetime. The application
    // itself is never deleted: it must outlive every font object, including static ones.
    static int argc = 1;
    static char name[] = "zelvo";
    static char* argv[] = {name, nullptr};
    qInstallMessageHandler(QuietQtMessages);
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    // Qt takes the user's locale for the C library too; numbers in scripts, files and messages
    // keep the point whatever the language.
    setlocale(LC_NUMERIC, "C");
    return app != nullptr;
}

std::vector<std::string> SystemFontFamilies() {
    std::vector<std::string> out;
    if (!EnsureGuiApplication()) return out;
    const QStringList families = QFontDatabase::families();
    for (const QString& f : families) out.push_back(f.toStdString());
    // The Windows core fonts are answered by their metric-compatible stand-ins through
    // fontconfig aliases; list them under the names documents and scripts use.
    struct Alias {
        const char* name;
        const char* standIn;
    };
    static const Alias kAliases[] = {{"Arial", "Liberation Sans"},
                                     {"Times New Roman", "Liberation Serif"},
                                     {"Courier New", "Liberation Mono"}};
    auto lessNoCase = [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) <
               0;
    };
    for (const Alias& a : kAliases) {
        if (std::find(out.begin(), out.end(), a.name) != out.end()) continue;
        if (QFontInfo(QFont(a.name)).family() != a.standIn) continue;
        out.insert(std::upper_bound(out.begin(), out.end(), std::string(a.name), lessNoCase),
                   a.name);
    }
    return out;
}

namespace {

class Services final : public QtServices {
public:
    bool EnsureGuiApplication() override { return qt::EnsureGuiApplication(); }
    std::vector<std::string> SystemFontFamilies() override { return qt::SystemFontFamilies(); }
    int32_t LineHeight(const std::string& face, int32_t size) override {
        return QtMaskPainter::LineHeight(face, size);
    }
    int32_t EmSize(const std::string& face, int32_t size) override {
        return QtMaskPainter::EmSize(face, size);
    }
    std::unique_ptr<MaskPainterBackend> NewMaskPainter(int32_t width, int32_t height) override {
        return std::make_unique<QtMaskPainter>(width, height);
    }
    std::unique_ptr<PdfPageBackend> NewPdfPage(const std::string& path, double widthMm,
                                               double heightMm, int dpi) override {
        return std::make_unique<QtPdfPage>(path, widthMm, heightMm, dpi);
    }
};

}  // namespace

}  // namespace zelvo::qt

extern "C" zelvo::QtServices* zelvo_qt_services() {
    // Never destroyed: the module is never unloaded.
    static auto* services = new zelvo::qt::Services();
    return services;
}
