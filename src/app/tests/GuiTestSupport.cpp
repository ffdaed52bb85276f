#include "app/tests/GuiTestSupport.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/CChildFrame.h"
#include "app/CZelvoView.h"
#include "doc/Image.h"
#include "history/HistoryManager.h"
#include "history/HistoryState.h"
#include "layers/StoredDib.h"
#include "view/DisplayRefresher.h"

namespace zelvo::guitest {

namespace {
std::mutex g_mutex;
QStringList g_warnings;
QtMessageHandler g_previous = nullptr;

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && IsThreadWarning(message)) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_warnings.append(message);
    }
    if (g_previous) g_previous(type, context, message);
}
}  // namespace

bool IsThreadWarning(const QString& m) {
    static const char* const kSigns[] = {
        "outside the GUI thread",
        "from another thread",
        "different thread",
        "Cannot create children for a parent that is in a different thread",
        "Cannot send events to objects owned by a different thread",
        "QPainter::begin",
        "QWidget::repaint: Recursive repaint",
        "QPixmap: It is not safe",
        "Timers cannot be started from another thread",
        "Timers cannot be stopped from another thread",
        "QBackingStore",
        "must be created in the GUI thread",
    };
    for (const char* s : kSigns)
        if (m.contains(QLatin1String(s))) return true;
    return false;
}

void InstallThreadWarningHandler() {
    QtMessageHandler previous = qInstallMessageHandler(Handler);
    if (previous != Handler) g_previous = previous;
}

QStringList TakeThreadWarnings() {
    std::lock_guard<std::mutex> lock(g_mutex);
    QStringList w = g_warnings;
    g_warnings.clear();
    return w;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QTest::qWait(10);
    }
    return true;
}

void WhenModal(std::function<void(QWidget*)> fn, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto* elapsed = new QElapsedTimer;
    elapsed->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, elapsed, fn, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && elapsed->elapsed() < timeoutMs) return;
        timer->stop();
        timer->deleteLater();
        delete elapsed;
        if (modal)
            fn(modal);
        else
            std::fprintf(stderr, "no modal dialog appeared\n");
    });
    timer->start();
}

std::string WriteBmp(const std::string& path, int w, int h,
                     const std::function<ColorRef(int, int)>& at) {
    const int stride = (w * 3 + 3) / 4 * 4;
    const uint32_t pixels = uint32_t(stride * h);
    std::vector<uint8_t> f(54 + pixels, 0);
    auto put32 = [&](size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[offset + size_t(i)] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, 54 + pixels);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    f[26] = 1;
    f[28] = 24;
    put32(34, pixels);
    // Rows are stored bottom-up.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const ColorRef c = at(x, y);
            const size_t p = 54 + size_t((h - 1 - y) * stride + x * 3);
            f[p] = BlueOf(c);
            f[p + 1] = GreenOf(c);
            f[p + 2] = RedOf(c);
        }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return {};
    std::fwrite(f.data(), 1, f.size(), out);
    std::fclose(out);
    return path;
}

std::string WriteBmp(const std::string& path, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    return WriteBmp(path, w, h, [c = Rgb(r, g, b)](int, int) { return c; });
}

Program::Program(const QStringList& args) {
    QStringList all = {"zelvo", "--no-splash", "--temp-dir", QString::fromStdString(m_temp.Path())};
    all += args;
    QString error;
    auto options = CZelvoApp::ParseCommandLine(all, &error);
    if (!options) return;
    options->useMessageBoxes = false;
    m_started = App().InitInstance(*options);
    if (m_started) {
        Frame().activateWindow();
        (void)QTest::qWaitForWindowExposed(&Frame());
    }
}

Program::~Program() {
    Exit();
}

CZelvoApp& Program::App() {
    return *CZelvoApp::Instance();
}
CMainFrame& Program::Frame() {
    return *App().MainFrame();
}

void Program::Exit() {
    if (!App().MainFrame()) return;
    Frame().Shared().busyMode.store(0);
    for (CChildFrame* c : Frame().Children()) c->GetImage().SetModified(false);
    Frame().close();
    App().ExitInstance();
    QApplication::processEvents();
}

// A document of two layers: random opaque pixels under a half-transparent stripe pattern.
CChildFrame* RandomDocument(CMainFrame& frame, int32_t w, int32_t h, uint32_t seed) {
    CChildFrame* child = frame.NewDocument({w, h, 2834});
    if (!child) return nullptr;
    Image& image = child->GetImage();
    std::mt19937 rng(seed);
    HoldRender hold(image.ViewState());
    LayerManager& lm = image.Layers();
    LayerPtr top = lm.AppendLayer(w / 2 + 1, h / 2 + 1, LayerKind::Pixel);
    if (!top) return nullptr;
    top->SetPosition(w / 4, h / 3);
    top->SetOpacity(70);
    for (Layer* layer : {lm.LayerAt(0).get(), top.get()}) {
        for (int32_t r = 0; r < layer->Height(); ++r) {
            uint8_t* row = layer->Rows()->Row(uint32_t(r));
            for (int32_t c = 0; c < layer->Width(); ++c) {
                const uint32_t alpha =
                    layer == top.get() ? uint32_t((c / 7 + r / 5) % 3 * 50) : 100u;
                const uint32_t word = alpha << 24 | uint32_t(rng() & 0xFFFFFF);
                std::memcpy(row + 4 * size_t(c), &word, 4);
            }
        }
        layer->ReleaseRows();
    }
    return child;
}

CChildFrame* PictureDocument(CMainFrame& frame, int32_t w, int32_t h,
                             const std::function<ColorRef(int, int)>& at) {
    CChildFrame* child = frame.NewDocument({w, h, 2834});
    if (!child) return nullptr;
    Image& image = child->GetImage();
    HoldRender hold(image.ViewState());
    Layer& layer = *image.Layers().LayerAt(0);
    for (int32_t y = 0; y < layer.Height(); ++y) {
        uint8_t* row = layer.Rows()->Row(uint32_t(layer.StoredRowOf(y)));
        for (int32_t x = 0; x < layer.Width(); ++x) {
            const ColorRef c = at(x, y);
            uint8_t* p = row + 4 * size_t(x);
            p[0] = BlueOf(c);
            p[1] = GreenOf(c);
            p[2] = RedOf(c);
            p[3] = 100;
        }
    }
    layer.ReleaseRows();
    return child;
}

CZelvoView* ReadyView(CChildFrame* child, QSize size, bool home) {
    if (!child) return nullptr;
    child->resize(size);
    CZelvoView* view = child->View();
    if (!WaitFor([view] { return view->GetImage().ViewState().firstDrawDone; })) return nullptr;
    if (home) {
        view->ApplyZoom(1.0f);
        view->Model().ScrollTo(0, 0);
    }
    view->setFocus();
    return view;
}

CZelvoView* OpenView(CMainFrame& frame, int w, int h) {
    return ReadyView(frame.NewDocument({w, h, 2834}));
}

std::string LastStateName(Image& image) {
    const auto& states = image.History().States();
    return states.empty() ? std::string() : StateDisplayName(states.back());
}

uint32_t LayerPixel(Image& image, Point c) {
    const LayerPtr layer = image.Layers().CurrentLayer();
    const Rect b = layer->Bounds();
    if (!b.Contains(c)) return 0;
    uint32_t w = 0;
    const uint8_t* row = layer->Rows()->Row(uint32_t(layer->StoredRowOf(c.y)));
    if (row) std::memcpy(&w, row + 4 * size_t(c.x - b.left), 4);
    layer->ReleaseRows();
    return w;
}

void Drag(QWidget* target, const std::vector<QPoint>& points, Qt::KeyboardModifiers keys) {
    QTest::mousePress(target, Qt::LeftButton, keys, points.front());
    for (size_t i = 1; i < points.size(); ++i) QTest::mouseMove(target, points[i]);
    QTest::mouseRelease(target, Qt::LeftButton, keys, points.back());
}

ColorRef ShownColor(QWidget* w, QPoint at) {
    const QColor c = w->grab().toImage().pixelColor(at);
    return Rgb(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

// How many pixels of the view's screenRect differ from the display composite.
int Mismatches(CZelvoView* view, const QImage& shown, bool outlineMayShow) {
    Image& image = view->GetImage();
    LayerManager& lm = image.Layers();
    if (!lm.RenderDisplay()) return -1;
    Layer& display = *lm.DisplayBuffer();
    const Rect sr = image.Geometry().screenRect.Intersect({0, 0, shown.width(), shown.height()});
    int bad = sr.IsEmpty() ? -1 : 0;
    for (int32_t y = sr.top; y < sr.bottom; ++y) {
        const uint8_t* row =
            display.Rows()->Row(uint32_t(StoredDib::StoredRow(y, display.Height())));
        for (int32_t x = sr.left; x < sr.right; ++x) {
            const QRgb got = shown.pixel(x, y);
            // The selection outline's stripes are black and white.
            if (outlineMayShow && (qGray(got) == 0 || (got & 0xFFFFFF) == 0xFFFFFF)) continue;
            if (qBlue(got) != row[4 * x] || qGreen(got) != row[4 * x + 1] ||
                qRed(got) != row[4 * x + 2])
                ++bad;
        }
    }
    display.ReleaseRows();
    return bad;
}

// Waits until the window shows the composite of its current layout.
bool ShowsComposite(CZelvoView* view, bool outlineMayShow) {
    return WaitFor(
        [view, outlineMayShow] {
            const QImage shown =
                view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
            return Mismatches(view, shown, outlineMayShow) == 0;
        },
        15000);
}

QPoint ClientOf(CZelvoView* view, Point c) {
    const ImageGeometry& g = view->GetImage().Geometry();
    return QPoint(g.screenRect.left + int((c.x - g.visible.left) * g.zoom + 0.5f),
                  g.screenRect.top + int((c.y - g.visible.top) * g.zoom + 0.5f));
}

}  // namespace zelvo::guitest
