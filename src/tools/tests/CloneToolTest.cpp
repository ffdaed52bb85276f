// The clone stamp driven by gestures, against references written from its rules: where each
// stroke samples with and without "Aligned", the over rule with a partial strength, "Use All
// Layers" against the flattened picture, a source partly outside its layer or canvas, a source
// in another document with the cross over its view, and the source's validity at the press.
#include <gtest/gtest.h>

#include <cstring>

#include "layers/LayerManager.h"
#include "paint/BrushTip.h"
#include "paint/StrokeGeometry.h"
#include "platform/Messages.h"
#include "tools/ImagePoint.h"
#include "tools/tests/ToolsTestSupport.h"

namespace zelvo::test {
namespace {

const std::string kNoSource = "Alt-Click to define a source point to be used to repair the image!";

// An opaque pattern no two nearby pixels share.
uint32_t Pattern(int32_t x, int32_t y) {
    return 0x64000000u | uint32_t((x * 7 + y) % 256) << 16 | uint32_t((y * 11) % 256) << 8 |
           uint32_t((x + 3 * y) % 256);
}

// The brush's over rule written out: colour S laid with strength s over P.
uint32_t Over(uint32_t p, uint32_t src, int s) {
    auto ch = [](uint32_t w, int i) { return int((w >> (8 * i)) & 0xFF); };
    const int a = ch(p, 3);
    if (s == 0) return p;
    if (a == 0 || s == 100) return (src & 0xFFFFFFu) | uint32_t(s) << 24;
    const int k = (100 - s) * a / 100;
    const int total = std::min(100, s + k);
    uint32_t out = uint32_t(total) << 24;
    for (int i = 0; i < 3; ++i) {
        const int v = std::min(255, (ch(p, i) * k / 100 + ch(src, i) * s / 100) * 100 / total);
        out |= uint32_t(v) << (8 * i);
    }
    return out;
}

struct RecordingCanvas : OverlayCanvas {
    std::vector<std::pair<Point, Point>> lines;
    void Line(Point from, Point to, ColorRef) override { lines.push_back({from, to}); }
    void Frame(const Rect&, ColorRef) override {}
};

class CloneToolTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        Open(200, 100);
        ASSERT_TRUE(tools.SelectTool(kToolCloneStamp));
        Use(5, 100);
    }
    void Use(int diameter, int opacity) {
        tools.Options().Set(0, "diameter", std::to_string(diameter));
        tools.Options().Set(0, "hardness", "100");
        tools.Options().Set(kToolCloneStamp, "opacity", std::to_string(opacity));
        tip = BuildTip(diameter, 100, opacity);
    }
    static void Fill(Layer& layer, uint32_t (*at)(int32_t, int32_t)) {
        const Rect b = layer.Bounds();
        for (int32_t y = b.top; y < b.bottom; ++y) {
            uint8_t* row = layer.Rows()->Row(uint32_t(layer.StoredRowOf(y)));
            for (int32_t x = b.left; x < b.right; ++x) {
                const uint32_t w = at(x, y);
                std::memcpy(row + 4 * size_t(x - b.left), &w, 4);
            }
        }
        layer.ReleaseRows();
    }
    static uint32_t At(Layer& layer, Point c) {
        if (!layer.HasPixels() || !layer.Bounds().Contains(c)) return 0;
        uint32_t w = 0;
        std::memcpy(&w,
                    layer.Rows()->Row(uint32_t(layer.StoredRowOf(c.y))) +
                        4 * size_t(c.x - layer.Bounds().left),
                    4);
        layer.ReleaseRows();
        return w;
    }
    // Every pixel of the dab at `centre`: what it was, or the source at p + offset laid over
    // it with the tip's strength thinned by the source's alpha.
    void ExpectDab(Layer& layer, Point centre, const std::function<uint32_t(Point)>& before,
                   const std::function<uint32_t(Point)>& source, const char* what) {
        const Rect dab = DabRect(centre, tip.side);
        for (int32_t y = dab.top; y < dab.bottom; ++y)
            for (int32_t x = dab.left; x < dab.right; ++x) {
                const int tv = tip.At(y - dab.top, x - dab.left);
                const uint32_t s = source({x, y});
                const uint32_t want =
                    tv ? Over(before({x, y}), s, int(s >> 24) * tv / 100) : before({x, y});
                ASSERT_EQ(At(layer, {x, y}), want) << what << " at " << x << "," << y;
            }
    }
    BrushTip tip;
};

TEST_F(CloneToolTest, AlignedKeepsTheFirstOffsetAndUnalignedRestartsAtTheSource) {
    struct Row {
        const char* what;
        bool aligned;
        bool toggleBeforeThird;  // "Aligned" off and on again before the third stroke
        Point offsets[3];        // from each stroke's start to where it samples
    };
    const Point src{20, 20}, starts[3] = {{100, 50}, {130, 60}, {160, 40}};
    const Row rows[] = {
        {"not aligned", false, false, {{-80, -30}, {-110, -40}, {-140, -20}}},
        {"aligned", true, false, {{-80, -30}, {-80, -30}, {-80, -30}}},
        {"aligned, toggled", true, true, {{-80, -30}, {-80, -30}, {-140, -20}}},
    };
    for (const Row& r : rows) {
        Open(200, 100);
        Fill(*image->Layers().CurrentLayer(), Pattern);
        Use(5, 60);
        tools.Options().Set(kToolCloneStamp, "aligned", r.aligned ? "1" : "0");
        Click(src, kAlt);
        ASSERT_FALSE(tools.IsBusy());
        for (int i = 0; i < 3; ++i) {
            if (i == 2 && r.toggleBeforeThird) {
                tools.Options().Set(kToolCloneStamp, "aligned", "0");
                tools.Options().Set(kToolCloneStamp, "aligned", "1");
            }
            Click(starts[i]);
            EXPECT_EQ(LastStateName(), "Clone Stamp Tool");
            const Point off = r.offsets[i];
            // The first stroke on the opened layer replaces the layer object.
            ExpectDab(
                *image->Layers().CurrentLayer(), starts[i],
                [](Point p) { return Pattern(p.x, p.y); },
                [&](Point p) { return Pattern(p.x + off.x, p.y + off.y); }, r.what);
        }
        // A drag copies along its whole line: hard, full strength, the source itself.
        Use(5, 100);
        tools.Options().Set(kToolCloneStamp, "aligned", "0");
        Drag({{60, 80}, {90, 80}});
        for (int32_t x = 60; x <= 90; ++x)
            ASSERT_EQ(At(*image->Layers().CurrentLayer(), {x, 80}), Pattern(x - 40, 20))
                << r.what << " x=" << x;
    }
}

TEST_F(CloneToolTest, UseAllLayersSamplesTheShownPictureAndTheLayerOnlyItself) {
    LayerManager& lm = image->Layers();
    Fill(*lm.CurrentLayer(), Pattern);
    LayerPtr veil = lm.AppendLayer(60, 40, LayerKind::Pixel);
    ASSERT_TRUE(veil);
    veil->SetPosition(10, 10);
    veil->SetOpacity(70);
    Fill(*veil, [](int32_t x, int32_t) { return uint32_t(20 + x) << 24 | 0x3080C0u; });
    LayerPtr target = lm.AppendLayer(100, 100, LayerKind::Pixel);
    ASSERT_TRUE(target);
    target->SetPosition(100, 0);
    ASSERT_TRUE(lm.SelectLayerById(target->Id(), 0, 0));
    // The picture as the display and the saved file show it, top row first.
    std::vector<uint8_t> flat(200 * 100 * 4);
    ASSERT_TRUE(lm.RenderFlat(flat.data(), 200 * 4, 32, kFormatPng, 0));
    auto shown = [&](Point p) {
        uint32_t w = 0;
        std::memcpy(&w, &flat[(size_t(p.y) * 200 + size_t(p.x)) * 4], 3);
        return w | 0x64000000u;
    };
    Use(9, 100);
    Click({30, 25}, kAlt);
    const Point start{150, 50}, off{30 - 150, 25 - 50};
    tools.Options().Set(kToolCloneStamp, "all-layers", "1");
    Click(start);
    ExpectDab(
        *target, start, [](Point) { return 0u; },
        [&](Point p) {
            return shown({p.x + off.x, p.y + off.y});
        },
        "all layers");
    // The source layer alone is transparent there: nothing is laid.
    tools.Options().Set(kToolCloneStamp, "all-layers", "0");
    const Point next{150, 80};
    Click(next);
    ExpectDab(
        *target, next, [](Point) { return 0u; }, [](Point) { return 0u; }, "layer only");
}

TEST_F(CloneToolTest, ASourcePartlyOutsideItsLayerOrCanvasLeavesThosePixels) {
    struct Row {
        const char* what;
        bool allLayers;
        Point source;
    };
    const Row rows[] = {
        {"layer edge", false, {18, 10}},
        {"canvas edge", true, {197, 97}},
    };
    for (const Row& r : rows) {
        Open(200, 100);
        LayerManager& lm = image->Layers();
        LayerPtr background = lm.CurrentLayer();
        Fill(*background, Pattern);
        LayerPtr small = lm.AppendLayer(20, 20, LayerKind::Pixel);
        ASSERT_TRUE(small);
        Fill(*small, [](int32_t x, int32_t y) { return 0x64000000u | uint32_t(x * 9 + y); });
        ASSERT_TRUE(lm.SelectLayerById(small->Id(), 0, 0));
        tools.Options().Set(kToolCloneStamp, "all-layers", r.allLayers ? "1" : "0");
        Use(9, 100);
        Click(r.source, kAlt);
        ASSERT_TRUE(lm.SelectLayerById(background->Id(), 0, 0));
        const Point start{100, 50}, off{r.source.x - start.x, r.source.y - start.y};
        Click(start);
        ExpectDab(
            *lm.CurrentLayer(), start, [](Point p) { return Pattern(p.x, p.y); },
            [&](Point p) -> uint32_t {
                const Point s{p.x + off.x, p.y + off.y};
                if (r.allLayers)  // the canvas's own pixels, none beyond it
                    return s.x < 200 && s.y < 100 ? Pattern(s.x, s.y) : 0;
                return s.x < 20 && s.y < 20 ? 0x64000000u | uint32_t(s.x * 9 + s.y) : 0;
            },
            r.what);
    }
}

TEST_F(CloneToolTest, ASourceInAnotherDocumentItsCrossAndItsValidity) {
    ScopedRecordingMessages messages;
    Fill(*image->Layers().CurrentLayer(), Pattern);
    // Without a source the press asks for one and records nothing.
    const size_t states = image->History().States().size();
    Click({50, 50});
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kNoSource});
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(image->History().States().size(), states);

    std::unique_ptr<Image> other = NewImage(80, 60);
    auto otherView = std::make_unique<ImageView>(*other);
    LayOutVirtualView(*otherView, 2.0f, 0, 0);
    Fill(*other->Layers().CurrentLayer(),
         [](int32_t x, int32_t y) { return 0x64000000u | uint32_t(x * 3 + y * 5); });
    const size_t otherStates = other->History().States().size();
    tools.MouseDown(*otherView, {{40, 40}, kLeftButton, kLeftButton, kAlt});
    tools.MouseUp(*otherView, {{40, 40}, kLeftButton, 0, kAlt});
    EXPECT_FALSE(tools.IsBusy());
    EXPECT_EQ(other->History().States().size(), otherStates);
    const Point src = StrokeViewToImage(other->Geometry(), {40, 40});

    // While painting the cross marks the sampled point in the source's view, and only there.
    messages.Clear();
    Use(5, 100);
    Press({100, 50});
    MoveTo({110, 50});
    RecordingCanvas cross, own;
    tools.Overlay(*otherView, cross);
    tools.Overlay(*view, own);
    const Point c = ImageToView(*otherView, {src.x + 10, src.y});
    using L = std::pair<Point, Point>;
    EXPECT_EQ(cross.lines, (std::vector<L>{{{c.x - 9, c.y}, {c.x + 10, c.y}},
                                           {{c.x, c.y - 9}, {c.x, c.y + 10}}}));
    EXPECT_TRUE(own.lines.empty());
    Release({110, 50});
    for (int32_t x = 100; x <= 110; ++x) {
        const int32_t sx = src.x + x - 100;
        ASSERT_EQ(At(*image->Layers().CurrentLayer(), {x, 50}),
                  0x64000000u | uint32_t(sx * 3 + src.y * 5));
    }
    EXPECT_TRUE(messages.Texts().empty());

    // A deleted source layer, then a closed source document: the press asks again.
    struct Row {
        const char* what;
        std::function<void()> lose;
    };
    const Row rows[] = {
        {"layer deleted",
         [&] {
             LayerManager& lm = other->Layers();
             ASSERT_TRUE(lm.AppendLayer(10, 10, LayerKind::Pixel));
             ASSERT_TRUE(lm.RemoveLayerById(tools.Source().SourceLayer()->Id()));
         }},
        {"document closed",
         [&] {
             tools.MouseDown(*otherView, {{10, 10}, kLeftButton, kLeftButton, kAlt});
             tools.MouseUp(*otherView, {{10, 10}, kLeftButton, 0, kAlt});
             tools.ViewClosing(*otherView);
         }},
    };
    for (const Row& r : rows) {
        r.lose();
        messages.Clear();
        const size_t before = image->History().States().size();
        Click({60, 20});
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{kNoSource}) << r.what;
        EXPECT_EQ(image->History().States().size(), before) << r.what;
    }
}

TEST_F(CloneToolTest, AltShowsTheSourceCursorWhileIdle) {
    EXPECT_EQ(tools.Cursor(*view).shape, CursorShape::Circle);
    tools.Key(*view, kKeyAlt, true, 0);
    EXPECT_EQ(tools.Cursor(*view).shape, CursorShape::Source);
    tools.Key(*view, kKeyAlt, false, kAlt);
    EXPECT_EQ(tools.Cursor(*view).shape, CursorShape::Circle);
    ASSERT_TRUE(tools.SelectTool(kToolBrush));
    tools.Key(*view, kKeyAlt, true, 0);
    EXPECT_EQ(tools.Cursor(*view).shape, CursorShape::Circle);
}

}  // namespace
}  // namespace zelvo::test
