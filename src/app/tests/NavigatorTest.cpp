// The Navigator palette: the slider and zoom-box rules, the step buttons, the no-document
// state, the red frame drawn over the thumbnail, dragging to scroll, and the palette in the main
// frame. A fake view stands in for the image view and records what the palette asks of it; the
// last case drives a real document's view.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <QDockWidget>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/CChildFrame.h"
#include "app/CNavigatorPalette.h"
#include "app/CZelvoView.h"
#include "app/NavigatorRules.h"
#include "app/NavigatorTarget.h"
#include "app/tests/GuiTestSupport.h"
#include "doc/Image.h"
#include "layers/StoredDib.h"
#include "view/DisplayRefresher.h"

using namespace zelvo;
using namespace zelvo::guitest;
namespace NR = zelvo::NavigatorRules;

namespace {

const QColor kRed(255, 0, 0);
const QColor kTop(0, 0, 255);     // upper half of the fake thumbnail
const QColor kBottom(0, 160, 0);  // lower half

// A view that records the palette's requests. Its thumbnail follows the fitting rule of the
// composite's thumbnail (s = min(w / canvas width, h / canvas height), sizes truncated), blue
// above and green below, written as a 24-bit bottom-up DIB by hand.
class FakeView : public NavigatorTarget {
public:
    FakeView(int32_t width, int32_t height)
        : m_width(width), m_height(height), m_visible{0, 0, width, height} {}

    float Zoom() const override { return m_zoom; }
    void ApplyZoom(float factor) override {
        applied.push_back(factor);
        m_zoom = std::clamp(factor, 0.05f, 8.0f);
        if (onZoom) onZoom();
    }
    int32_t CanvasWidth() const override { return m_width; }
    int32_t CanvasHeight() const override { return m_height; }
    Rect VisibleRect() const override { return m_visible; }
    std::vector<uint8_t> Thumbnail(int32_t width, int32_t height) override {
        asked.push_back({width, height});
        if (noThumbnail) return {};
        const float s = std::min(float(width) / float(m_width), float(height) / float(m_height));
        const int32_t tw = int32_t(float(m_width) * s), th = int32_t(float(m_height) * s);
        const int32_t stride = (tw * 3 + 3) / 4 * 4;
        std::vector<uint8_t> dib(40 + size_t(stride) * size_t(th), 0);
        auto put32 = [&](size_t at, int32_t v) { std::memcpy(dib.data() + at, &v, 4); };
        put32(0, 40);
        put32(4, tw);
        put32(8, th);
        dib[12] = 1;
        dib[14] = 24;
        for (int32_t row = 0; row < th; ++row) {
            const int32_t fromTop = th - 1 - row;  // stored bottom-up
            const QColor c = fromTop < th / 2 ? kTop : kBottom;
            uint8_t* p = dib.data() + 40 + size_t(row) * size_t(stride);
            for (int32_t x = 0; x < tw; ++x) {
                p[3 * x] = uint8_t(c.blue());
                p[3 * x + 1] = uint8_t(c.green());
                p[3 * x + 2] = uint8_t(c.red());
            }
        }
        return dib;
    }
    void ScrollToZoomedPoint(int32_t x, int32_t y) override { scrolls.push_back({x, y}); }
    bool ToolBusy() const override { return busy; }

    void SetZoom(float zoom) { m_zoom = zoom; }
    void SetVisible(const Rect& r) { m_visible = r; }

    std::vector<float> applied;
    std::vector<Point> scrolls;
    std::vector<Point> asked;
    bool busy = false;
    bool noThumbnail = false;
    std::function<void()> onZoom;

private:
    int32_t m_width;
    int32_t m_height;
    Rect m_visible;
    float m_zoom = 1.0f;
};

bool NoDocumentState(CNavigatorPalette& p) {
    return p.Zoom() == 0.0f && p.ZoomEdit()->text().isEmpty() && !p.ZoomEdit()->isEnabled() &&
           p.Slider()->value() == 52 && !p.Slider()->isEnabled() &&
           !p.ZoomOutButton()->isEnabled() && !p.ZoomInButton()->isEnabled() &&
           p.Thumbnail().isNull();
}

void TypeZoom(CNavigatorPalette& p, const QString& text) {
    p.ZoomEdit()->clear();
    QTest::keyClicks(p.ZoomEdit(), text);
    QTest::keyClick(p.ZoomEdit(), Qt::Key_Return);
}

int RedCount(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == kRed;
    return n;
}

}  // namespace

class NavigatorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallThreadWarningHandler(); }
    void cleanup() { QVERIFY2(TakeThreadWarnings().isEmpty(), "Qt warned of off-thread GUI use"); }

    void sliderPositionToZoom_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<double>("zoom");
        // Below 50: position x 0.02, never under 0.05; 50..55 flat at 1; above: 1 + (p - 55) x 0.15
        // up to 8.
        QTest::newRow("0 counts as 1") << 0 << 0.05;
        QTest::newRow("-7 counts as 1") << -7 << 0.05;
        QTest::newRow("1 -> 5 %") << 1 << 0.05;
        QTest::newRow("2 -> 0.04 raised to 5 %") << 2 << 0.05;
        QTest::newRow("3") << 3 << 0.06;
        QTest::newRow("25") << 25 << 0.5;
        QTest::newRow("49") << 49 << 0.98;
        for (int p = 50; p <= 55; ++p)
            QTest::newRow(qPrintable(QString("%1 -> 100 %").arg(p))) << p << 1.0;
        QTest::newRow("56") << 56 << 1.15;
        QTest::newRow("60") << 60 << 1.75;
        QTest::newRow("101") << 101 << 7.9;
        QTest::newRow("102 -> 8.05 held at 8") << 102 << 8.0;
        QTest::newRow("105 -> 800 %") << 105 << 8.0;
        QTest::newRow("106") << 106 << 8.0;
        QTest::newRow("1000") << 1000 << 8.0;
    }
    void sliderPositionToZoom() {
        QFETCH(int, position);
        QFETCH(double, zoom);
        QVERIFY2(std::fabs(NR::SliderToZoom(position) - zoom) < 1e-5,
                 qPrintable(QString("got %1").arg(NR::SliderToZoom(position))));
    }

    void zoomToSliderPosition_data() {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("position");
        QTest::newRow("250 % -> 55 + trunc(1.5 x 7.142857)") << 2.5 << 65;
        QTest::newRow("100 %") << 1.0 << 52;
        QTest::newRow("under 5 %") << 0.04 << 2;
        QTest::newRow("0") << 0.0 << 2;
        QTest::newRow("over 800 %") << 8.5 << 104;
        QTest::newRow("800 % -> trunc(104.99)") << 8.0 << 104;
        QTest::newRow("50 % -> 25") << 0.5 << 25;
        QTest::newRow("30 % -> 15") << 0.3 << 15;
        QTest::newRow("5 % -> trunc(2.5)") << 0.05 << 2;
        QTest::newRow("175 % -> trunc(60.36)") << 1.75 << 60;
        QTest::newRow("400 % -> trunc(76.43)") << 4.0 << 76;
    }
    void zoomToSliderPosition() {
        QFETCH(double, zoom);
        QFETCH(int, position);
        QCOMPARE(NR::SliderForZoom(float(zoom)), position);
    }

    void typedValuesAndSteps() {
        QCOMPARE(NR::TypedZoom(4), std::optional<float>());
        QCOMPARE(NR::TypedZoom(801), std::optional<float>());
        QCOMPARE(NR::TypedZoom(0), std::optional<float>());
        QCOMPARE(NR::TypedZoom(-50), std::optional<float>());
        QCOMPARE(NR::TypedZoom(5), std::optional<float>(0.05f));
        QCOMPARE(NR::TypedZoom(800), std::optional<float>(8.0f));
        QCOMPARE(NR::TypedZoom(250), std::optional<float>(2.5f));
        // The box is read as atoi reads it.
        QCOMPARE(NR::ParseTypedValue("250%"), 250);
        QCOMPARE(NR::ParseTypedValue("  42 "), 42);
        QCOMPARE(NR::ParseTypedValue("abc"), 0);
        QCOMPARE(NR::ParseTypedValue(""), 0);
        QCOMPARE(NR::ParseTypedValue("-12"), -12);
        QVERIFY(!NR::TypedZoom(NR::ParseTypedValue("99999999999999999999")));
        QCOMPARE(NR::ZoomText(2.5f), std::string("250%"));
        QCOMPARE(NR::ZoomText(0.05f), std::string("5%"));
        QCOMPARE(NR::ZoomText(1.0f), std::string("100%"));

        const int down[][2] = {{3, 1}, {5, 1}, {6, 1}, {1, 1}, {10, 5}, {52, 47}, {105, 100}};
        for (auto [from, to] : down) QCOMPARE(NR::StepDown(from), to);
        const int up[][2] = {{103, 105}, {100, 105}, {105, 105}, {99, 104}, {1, 6}, {52, 57}};
        for (auto [from, to] : up) QCOMPARE(NR::StepUp(from), to);
    }

    void thumbnailPlaceAndFrames() {
        // 180 x 78 in the 195 x 84 area from (1, 1): 7 and 3 pixels of margin before it.
        QCOMPARE(NR::ThumbnailOrigin(180, 78), (Point{8, 4}));
        QCOMPARE(NR::ThumbnailOrigin(39, 78), (Point{1 + 156 / 2, 4}));
        QVERIFY(NR::ThumbnailScale(180, 78, 360, 156) == NR::ThumbScale(0.5f));
        QVERIFY(NR::ThumbnailScale(0, 50, 0, 100) == NR::ThumbScale(0.5f));  // no width
        QVERIFY(!NR::ThumbnailScale(0, 0, 0, 0).Valid());
        // A narrow picture: 250 x 10000 gives a thumbnail 1 x 78, each axis its own scale. The
        // view's middle rows frame the thumbnail's middle, and a press there asks for them.
        const NR::ThumbScale narrow = NR::ThumbnailScale(1, 78, 250, 10000);
        QVERIFY(narrow == NR::ThumbScale(1.0f / 250, 78.0f / 10000));
        QCOMPARE(NR::FrameRects({0, 4590, 250, 5410}, narrow, {0, 0}).outer, (Rect{0, 35, 1, 42}));
        QCOMPARE(NR::DragTarget({0, 39}, {0, 0}, narrow, 1.0f, 250, 10000),
                 (std::optional<Point>(Point{0, 5000})));

        NR::Frames f = NR::FrameRects({40, 20, 240, 120}, 0.5f, {8, 4});
        QCOMPARE(f.outer, (Rect{28, 14, 128, 64}));
        QVERIFY(f.inner);
        QCOMPARE(*f.inner, (Rect{29, 15, 127, 63}));
        f = NR::FrameRects({0, 0, 12, 14}, 0.5f, {8, 4});  // 6 x 7: still wide enough
        QVERIFY(f.inner);
        f = NR::FrameRects({0, 0, 10, 40}, 0.5f, {8, 4});  // 5 wide
        QCOMPARE(f.outer, (Rect{8, 4, 13, 24}));
        QVERIFY(!f.inner);
        f = NR::FrameRects({0, 0, 40, 10}, 0.5f, {8, 4});  // 5 tall
        QVERIFY(!f.inner);
        // Scaled coordinates are truncated: 7 x 0.25 = 1.75 -> 1.
        QCOMPARE(NR::FrameRects({7, 7, 47, 47}, 0.25f, {0, 0}).outer, (Rect{1, 1, 11, 11}));

        // A press at (58, 24) with the thumbnail at (8, 4), scale 0.5, zoom 2: thumbnail point
        // (50, 20), document point (100, 40), zoomed (200, 80).
        QCOMPARE(NR::DragTarget({58, 24}, {8, 4}, 0.5f, 2.0f, 360, 156),
                 (std::optional<Point>(Point{200, 80})));
        // Off the thumbnail the point is held on the canvas.
        QCOMPARE(NR::DragTarget({0, 500}, {8, 4}, 0.5f, 2.0f, 360, 156),
                 (std::optional<Point>(Point{0, 312})));
        QVERIFY(!NR::DragTarget({58, 24}, {8, 4}, 0.0f, 2.0f, 360, 156));
    }

    void noDocumentState() {
        CNavigatorPalette palette;
        QCOMPARE(palette.size(), QSize(200, 150));
        QVERIFY(NoDocumentState(palette));
        QCOMPARE(RedCount(palette.grab().toImage()), 0);

        FakeView view(360, 156);
        view.SetZoom(2.5f);
        palette.SetTarget(&view);
        palette.Refresh();
        QVERIFY(palette.ZoomEdit()->isEnabled());
        QVERIFY(palette.Slider()->isEnabled());
        QVERIFY(palette.ZoomOutButton()->isEnabled());
        QVERIFY(palette.ZoomInButton()->isEnabled());
        QCOMPARE(palette.ZoomEdit()->text(), QString("250%"));
        QCOMPARE(palette.Slider()->value(), 65);
        QCOMPARE(palette.Zoom(), 2.5f);

        palette.SetTarget(nullptr);
        QVERIFY(NoDocumentState(palette));
        palette.Refresh();
        QVERIFY(NoDocumentState(palette));
        // Nothing reaches a view that is gone.
        palette.OnZoomIn();
        palette.OnZoomOut();
        palette.OnSliderMoved(80);
        palette.OnZoomEntered();
        QTest::mousePress(&palette, Qt::LeftButton, {}, QPoint(50, 40));
        QTest::mouseRelease(&palette, Qt::LeftButton, {}, QPoint(50, 40));
        QVERIFY(view.applied.empty());
        QVERIFY(view.scrolls.empty());
        QVERIFY(NoDocumentState(palette));
    }

    void sliderAppliesItsZoom() {
        CNavigatorPalette palette;
        FakeView view(360, 156);
        palette.SetTarget(&view);
        palette.Refresh();
        QCOMPARE(palette.Slider()->value(), 52);
        QCOMPARE(palette.ZoomEdit()->text(), QString("100%"));

        palette.Slider()->setValue(1);
        QCOMPARE(view.applied, std::vector<float>({0.05f}));
        QCOMPARE(palette.ZoomEdit()->text(), QString("5%"));
        palette.Slider()->setValue(50);
        QCOMPARE(view.applied, std::vector<float>({0.05f, 1.0f}));
        // 51..55 are the same 100 %: the view is not zoomed again.
        for (int p = 51; p <= 55; ++p) {
            palette.Slider()->setValue(p);
            QCOMPARE(palette.ZoomEdit()->text(), QString("100%"));
        }
        QCOMPARE(view.applied.size(), size_t(2));
        palette.Slider()->setValue(105);
        QCOMPARE(view.applied.back(), 8.0f);
        QCOMPARE(palette.ZoomEdit()->text(), QString("800%"));
        // A page step is 5 positions.
        QCOMPARE(palette.Slider()->pageStep(), 5);
        QCOMPARE(palette.Slider()->minimum(), 1);
        QCOMPARE(palette.Slider()->maximum(), 105);
        // Typed and left without Enter: nothing zooms and the box shows the zoom in use.
        palette.ZoomEdit()->setText("50");
        emit palette.ZoomEdit()->editingFinished();
        QCOMPARE(palette.ZoomEdit()->text(), QString("800%"));
        QCOMPARE(view.applied.back(), 8.0f);
    }

    void controlsStayWhereTheUserPutThemWhileTheViewRefreshes() {
        // The view refreshes the navigator while it zooms; the slider put at 50 is not pulled to
        // 52, the position that 100 % has when the zoom changes elsewhere.
        CNavigatorPalette palette;
        FakeView view(360, 156);
        view.SetZoom(2.0f);
        view.onZoom = [&] { palette.Refresh(); };
        palette.SetTarget(&view);
        palette.Refresh();
        palette.Slider()->setValue(50);
        QCOMPARE(view.applied, std::vector<float>({1.0f}));
        QCOMPARE(palette.Slider()->value(), 50);
        palette.Refresh();
        QCOMPARE(palette.Slider()->value(), 50);
        // A zoom changed elsewhere (the wheel) moves both controls.
        view.SetZoom(2.5f);
        palette.Refresh();
        QCOMPARE(palette.Slider()->value(), 65);
        QCOMPARE(palette.ZoomEdit()->text(), QString("250%"));
        QCOMPARE(view.applied.size(), size_t(1));  // following the view never zooms it
    }

    void typedZoom() {
        CNavigatorPalette palette;
        palette.show();
        FakeView view(360, 156);
        palette.SetTarget(&view);
        palette.Refresh();

        TypeZoom(palette, "4");
        QCOMPARE(palette.ZoomEdit()->text(), QString("100%"));
        TypeZoom(palette, "801");
        QCOMPARE(palette.ZoomEdit()->text(), QString("100%"));
        TypeZoom(palette, "zoom");
        QCOMPARE(palette.ZoomEdit()->text(), QString("100%"));
        QVERIFY(view.applied.empty());
        QCOMPARE(palette.Slider()->value(), 52);

        TypeZoom(palette, "5");
        QCOMPARE(view.applied, std::vector<float>({0.05f}));
        QCOMPARE(palette.ZoomEdit()->text(), QString("5%"));
        QCOMPARE(palette.Slider()->value(), 2);    // trunc(0.05 x 50)
        QCOMPARE(view.applied.size(), size_t(1));  // moving the slider did not zoom again

        TypeZoom(palette, "800");
        QCOMPARE(view.applied.back(), 8.0f);
        QCOMPARE(palette.ZoomEdit()->text(), QString("800%"));
        QCOMPARE(palette.Slider()->value(), 104);

        TypeZoom(palette, "250%");
        QCOMPARE(view.applied.back(), 2.5f);
        QCOMPARE(palette.Slider()->value(), 65);
        // The same zoom again rewrites the box but does not zoom the view.
        TypeZoom(palette, "250");
        QCOMPARE(view.applied.size(), size_t(3));
        QCOMPARE(palette.ZoomEdit()->text(), QString("250%"));
        // Typing alone does nothing before Enter.
        palette.ZoomEdit()->clear();
        QTest::keyClicks(palette.ZoomEdit(), "30");
        QCOMPARE(view.applied.size(), size_t(3));
    }

    void stepButtons() {
        CNavigatorPalette palette;
        palette.show();
        FakeView view(360, 156);
        palette.SetTarget(&view);
        palette.Refresh();

        palette.Slider()->setValue(3);
        QTest::mouseClick(palette.ZoomOutButton(), Qt::LeftButton);
        QCOMPARE(palette.Slider()->value(), 1);
        QCOMPARE(view.applied.back(), 0.05f);
        QCOMPARE(palette.ZoomEdit()->text(), QString("5%"));
        QTest::mouseClick(palette.ZoomInButton(), Qt::LeftButton);
        QCOMPARE(palette.Slider()->value(), 6);
        QCOMPARE(view.applied.back(), float(6 * 0.02));

        palette.Slider()->setValue(103);  // 1 + 48 x 0.15 = 8.2, held at 8
        QCOMPARE(view.applied.back(), 8.0f);
        const size_t at103 = view.applied.size();
        QTest::mouseClick(palette.ZoomInButton(), Qt::LeftButton);
        QCOMPARE(palette.Slider()->value(), 105);
        QCOMPARE(palette.ZoomEdit()->text(), QString("800%"));
        QCOMPARE(view.applied.size(), at103);  // still 800 %: nothing to apply
        QTest::mouseClick(palette.ZoomOutButton(), Qt::LeftButton);
        QCOMPARE(palette.Slider()->value(), 100);
        QCOMPARE(view.applied.back(), float(1 + 45 * 0.15));

        // While a tool operation runs neither button acts.
        view.busy = true;
        const size_t before = view.applied.size();
        QTest::mouseClick(palette.ZoomOutButton(), Qt::LeftButton);
        QTest::mouseClick(palette.ZoomInButton(), Qt::LeftButton);
        QCOMPARE(palette.Slider()->value(), 100);
        QCOMPARE(view.applied.size(), before);
    }

    void thumbnailAndRedFrames() {
        CNavigatorPalette palette;
        FakeView view(360, 156);  // fits 180 x 78 at scale 0.5
        view.SetVisible({40, 20, 240, 120});
        palette.SetTarget(&view);
        palette.Refresh();
        QCOMPARE(view.asked.back(), (Point{180, 78}));
        QCOMPARE(palette.Thumbnail().size(), QSize(180, 78));
        QVERIFY(palette.ThumbnailScale() == NR::ThumbScale(0.5f));

        // Thumbnail at (8, 4); the visible part (40, 20)-(240, 120) halves to (20, 10)-(120, 60)
        // and moves to (28, 14)-(128, 64), right and bottom exclusive.
        const QImage shot = palette.grab().toImage();
        const QPoint outer[] = {{28, 14}, {127, 14}, {28, 63}, {127, 63},
                                {70, 14}, {70, 63},  {28, 40}, {127, 40}};
        for (QPoint p : outer)
            QVERIFY2(shot.pixelColor(p) == kRed,
                     qPrintable(QString("outer %1,%2").arg(p.x()).arg(p.y())));
        const QPoint inner[] = {{29, 15}, {126, 15}, {29, 62}, {126, 62}, {70, 15}, {29, 40}};
        for (QPoint p : inner)
            QVERIFY2(shot.pixelColor(p) == kRed,
                     qPrintable(QString("inner %1,%2").arg(p.x()).arg(p.y())));
        // Two frames of 100 x 50 and 98 x 48 pixels, nothing else red.
        QCOMPARE(RedCount(shot), 2 * (100 + 50) - 4 + 2 * (98 + 48) - 4);
        // Inside and outside the frames the thumbnail shows, upright: blue over green.
        QCOMPARE(shot.pixelColor(30, 16), kTop);
        QCOMPARE(shot.pixelColor(27, 14), kTop);
        QCOMPARE(shot.pixelColor(128, 40), kTop);
        QCOMPARE(shot.pixelColor(70, 64), kBottom);
        QCOMPARE(shot.pixelColor(8, 4), kTop);
        QCOMPARE(shot.pixelColor(187, 81), kBottom);
        QVERIFY(shot.pixelColor(7, 4) != kTop);      // left of the thumbnail
        QVERIFY(shot.pixelColor(8, 82) != kBottom);  // below it

        // A visible part only 5 thumbnail pixels wide gets one frame.
        view.SetVisible({0, 0, 10, 40});
        palette.Refresh();
        const QImage small = palette.grab().toImage();
        QCOMPARE(small.pixelColor(8, 4), kRed);
        QCOMPARE(small.pixelColor(12, 23), kRed);
        QCOMPARE(small.pixelColor(9, 5), kTop);
        QCOMPARE(RedCount(small), 2 * (5 + 20) - 4);

        // Without a thumbnail nothing is drawn and a press scrolls nothing.
        view.noThumbnail = true;
        palette.Refresh();
        QVERIFY(palette.Thumbnail().isNull());
        QCOMPARE(RedCount(palette.grab().toImage()), 0);
        QTest::mousePress(&palette, Qt::LeftButton, {}, QPoint(50, 40));
        QTest::mouseRelease(&palette, Qt::LeftButton, {}, QPoint(50, 40));
        QVERIFY(view.scrolls.empty());
    }

    void dragScrollsTheView() {
        CNavigatorPalette palette;
        palette.show();
        QVERIFY(QTest::qWaitForWindowExposed(&palette));
        FakeView view(360, 156);
        view.SetZoom(2.0f);
        palette.SetTarget(&view);
        palette.Refresh();

        // (58, 24) - (8, 4) = (50, 20) in the thumbnail, / 0.5 = (100, 40), x 2 = (200, 80).
        QTest::mousePress(&palette, Qt::LeftButton, {}, QPoint(58, 24));
        QVERIFY(palette.Dragging());
        QCOMPARE(view.scrolls, std::vector<Point>({{200, 80}}));
        QTest::mouseMove(&palette, QPoint(108, 44));  // (100, 40) -> (200, 80) -> (400, 160)
        QCOMPARE(view.scrolls.back(), (Point{400, 160}));
        QTest::mouseMove(&palette, QPoint(300, -20));  // beyond the palette: held on the canvas
        QCOMPARE(view.scrolls.back(), (Point{720, 0}));
        QTest::mouseRelease(&palette, Qt::LeftButton, {}, QPoint(300, -20));
        QVERIFY(!palette.Dragging());
        const size_t afterRelease = view.scrolls.size();
        QTest::mouseMove(&palette, QPoint(60, 30));
        QCOMPARE(view.scrolls.size(), afterRelease);
        QVERIFY(view.applied.empty());  // dragging never zooms

        // The right button does not drag.
        QTest::mousePress(&palette, Qt::RightButton, {}, QPoint(58, 24));
        QTest::mouseRelease(&palette, Qt::RightButton, {}, QPoint(58, 24));
        QCOMPARE(view.scrolls.size(), afterRelease);

        // While a tool operation runs a press does nothing.
        view.busy = true;
        QTest::mousePress(&palette, Qt::LeftButton, {}, QPoint(58, 24));
        QVERIFY(!palette.Dragging());
        QTest::mouseMove(&palette, QPoint(70, 30));
        QTest::mouseRelease(&palette, Qt::LeftButton, {}, QPoint(70, 30));
        QCOMPARE(view.scrolls.size(), afterRelease);
        // And a drag that a tool operation interrupts stands still until it ends.
        view.busy = false;
        QTest::mousePress(&palette, Qt::LeftButton, {}, QPoint(58, 24));
        view.busy = true;
        QTest::mouseMove(&palette, QPoint(108, 44));
        QCOMPARE(view.scrolls.back(), (Point{200, 80}));
        QTest::mouseRelease(&palette, Qt::LeftButton, {}, QPoint(108, 44));
        QCOMPARE(view.scrolls.size(), afterRelease + 1);
    }

    void mountedInTheMainFrame() {
        Program program;
        CMainFrame& frame = program.Frame();
        QDockWidget* dock = frame.Palette(CMainFrame::kNavigator);
        CNavigatorPalette* palette = frame.NavigatorPalette();
        QVERIFY(palette);
        QCOMPARE(dock->widget(), static_cast<QWidget*>(palette));
        QCOMPARE(dock->windowTitle(), QString("Navigator F8"));
        QCOMPARE(palette->size(), QSize(200, 150));
        QVERIFY(NoDocumentState(*palette));
        frame.RefreshNavigator();
        QVERIFY(NoDocumentState(*palette));
    }

    void followsARealDocument() {
        Program program;
        CMainFrame& frame = program.Frame();
        // 720 x 312 fits 180 x 78 at a quarter; the top-left quarter of the canvas is blue.
        CChildFrame* child = frame.NewDocument({720, 312, 2834});
        QVERIFY(child);
        CZelvoView* view = child->View();
        {
            HoldRender hold(child->GetImage().ViewState());
            Layer& layer = *child->GetImage().Layers().LayerAt(0);
            for (int32_t y = 0; y < 312; ++y) {
                uint8_t* row = layer.Rows()->Row(uint32_t(StoredDib::StoredRow(y, 312)));
                QVERIFY(row);
                for (int32_t x = 0; x < 720; ++x) {
                    const uint32_t word =
                        x < 360 && y < 156 ? 0x640000C8u : 0x64FFFFFFu;  // B = 200
                    std::memcpy(row + 4 * size_t(x), &word, 4);
                }
            }
            layer.ReleaseRows();
        }
        child->resize(400, 300);
        view->Invalidate();
        QVERIFY(WaitFor([&] { return child->GetImage().ViewState().firstDrawDone; }));
        CNavigatorPalette* palette = frame.NavigatorPalette();
        frame.RefreshNavigator();
        QCOMPARE(palette->Target(), static_cast<NavigatorTarget*>(view));
        QCOMPARE(palette->Thumbnail().size(), QSize(180, 78));
        QCOMPARE(palette->Zoom(), view->Zoom());
        QCOMPARE(palette->ZoomEdit()->text(),
                 QString::asprintf("%0.0f%%", double(view->Zoom()) * 100));
        QVERIFY(palette->ZoomEdit()->isEnabled());

        // The whole canvas fits the window: the frames run round the whole thumbnail at (8, 4).
        // (Once the scroll bars of the window's first size have gone.)
        QVERIFY(WaitFor([&] { return view->VisibleRect() == Rect{0, 0, 720, 312}; }));
        frame.RefreshNavigator();
        QImage shot = palette->grab().toImage();
        QCOMPARE(shot.pixelColor(8, 4), kRed);
        QCOMPARE(shot.pixelColor(187, 81), kRed);
        QCOMPARE(shot.pixelColor(9, 5), kRed);
        QCOMPARE(shot.pixelColor(8 + 20, 4 + 20), QColor(0, 0, 200));
        QCOMPARE(shot.pixelColor(8 + 120, 4 + 20), QColor(255, 255, 255));
        QCOMPARE(shot.pixelColor(8 + 20, 4 + 60), QColor(255, 255, 255));

        // 200 % typed: the view zooms and the slider goes to 55 + trunc(1 x 7.142857).
        TypeZoom(*palette, "200");
        QCOMPARE(view->Zoom(), 2.0f);
        QCOMPARE(palette->Slider()->value(), 62);
        QCOMPARE(palette->ZoomEdit()->text(), QString("200%"));
        Rect v = view->VisibleRect();
        QVERIFY(v.Width() < 720 && v.Height() < 312);
        shot = palette->grab().toImage();
        QCOMPARE(shot.pixelColor(8 + int(v.left * 0.25f), 4 + int(v.top * 0.25f)), kRed);
        QCOMPARE(shot.pixelColor(8 + int(v.right * 0.25f) - 1, 4 + int(v.bottom * 0.25f) - 1),
                 kRed);

        // A press at the thumbnail's centre (98, 43) asks for canvas (360, 156) at 200 %: the
        // view centres on it.
        QTest::mousePress(palette, Qt::LeftButton, {}, QPoint(98, 43));
        QTest::mouseRelease(palette, Qt::LeftButton, {}, QPoint(98, 43));
        QVERIFY(WaitFor([&] {
            const Rect r = view->VisibleRect();
            return std::abs((r.left + r.right) / 2 - 360) <= 2 &&
                   std::abs((r.top + r.bottom) / 2 - 156) <= 2;
        }));
        v = view->VisibleRect();
        QVERIFY(WaitFor([&] {
            return palette->grab().toImage().pixelColor(8 + int(v.left * 0.25f),
                                                        4 + int(v.top * 0.25f)) == kRed;
        }));

        // The slider at 50 brings the view back to 100 %.
        palette->Slider()->setValue(50);
        QCOMPARE(view->Zoom(), 1.0f);
        QCOMPARE(palette->Slider()->value(), 50);

        child->GetImage().SetModified(false);
        QVERIFY(child->close());
        QVERIFY(WaitFor([&] { return NoDocumentState(*palette); }));
        QCOMPARE(palette->Target(), static_cast<NavigatorTarget*>(nullptr));
    }

    // The palettes' 250 ms tick renders the thumbnail only after the view was drawn again, so
    // an idle program reads no layer rows; a change still shows within a tick.
    void rendersAgainOnlyAfterTheViewIsDrawn() {
        Program program;
        CMainFrame& frame = program.Frame();
        CChildFrame* child = frame.NewDocument({720, 312, 2834});
        QVERIFY(child);
        child->resize(400, 300);
        QVERIFY(WaitFor([&] { return child->GetImage().ViewState().firstDrawDone; }));
        CNavigatorPalette* palette = frame.NavigatorPalette();
        QVERIFY(WaitFor([&] { return palette->Target() == child->View(); }));
        // Past the refresher's one repaint of a view gone idle (a quiet spell twice its 280 ms),
        // then a second of ticks.
        for (int spells = 0, before = -1; spells < 20 && palette->Renders() != before; ++spells) {
            before = palette->Renders();
            QTest::qWait(600);
        }
        const int renders = palette->Renders();
        QTest::qWait(1000);
        QCOMPARE(palette->Renders(), renders);

        {
            HoldRender hold(child->GetImage().ViewState());
            Layer& layer = *child->GetImage().Layers().LayerAt(0);
            for (int32_t y = 0; y < 312; ++y) {
                uint8_t* row = layer.Rows()->Row(uint32_t(StoredDib::StoredRow(y, 312)));
                QVERIFY(row);
                const uint32_t blue = 0x640000C8u;
                for (int32_t x = 0; x < 720; ++x) std::memcpy(row + 4 * size_t(x), &blue, 4);
            }
            layer.ReleaseRows();
        }
        child->View()->Invalidate();
        QVERIFY(WaitFor([&] {
            return palette->Renders() > renders &&
                   palette->Thumbnail().pixelColor(20, 20) == QColor(0, 0, 200);
        }));
        child->GetImage().SetModified(false);
        QVERIFY(child->close());
    }
};

QObject* MakeNavigatorTest() {
    return new NavigatorTest;
}

#include "NavigatorTest.moc"
