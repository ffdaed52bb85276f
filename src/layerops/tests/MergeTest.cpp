// Merge Linked, Visible and All: the set, the result's bounds and place, its pixels against a
// plain reference of the merge rule, undo and redo, and the edge cases.
#include <algorithm>
#include <random>

#include "core/RowBands.h"

#include "layerops/LayerCommands.h"
#include "layerops/LinkGroups.h"
#include "layerops/MergeLayers.h"
#include "layerops/tests/LayerOpsTestSupport.h"

namespace zelvo::test {
namespace {

// A RAM copy of one layer of the set.
struct Ref {
    LayerKind kind;
    Rect bounds;
    int opacity;
    bool visible;
    ColorRef color;
    std::vector<uint32_t> px;  // top row first; masks 0/1
};

// Layer l's B, G, R and alpha at canvas (cx, cy); false where it adds nothing there (null,
// hidden, outside, or an empty point of a shape).
bool SampleLayer(const Ref& l, int cx, int cy, int& pb, int& pg, int& pr, int& a) {
    if (l.kind == LayerKind::Null || !l.visible || !l.bounds.Contains({cx, cy})) return false;
    const uint32_t v =
        l.px[size_t(cy - l.bounds.top) * size_t(l.bounds.Width()) + size_t(cx - l.bounds.left)];
    if (l.kind == LayerKind::Pixel) {
        pb = v & 255;
        pg = (v >> 8) & 255;
        pr = (v >> 16) & 255;
        a = int(v >> 24);
        return true;
    }
    if (!v) return false;
    pb = BlueOf(l.color);
    pg = GreenOf(l.color);
    pr = RedOf(l.color);
    a = 100;
    return true;
}

// The merged pixel at canvas (cx, cy), layers bottom first, written from the rule: top layer
// first, each adds its colour by opacity x alpha of what coverage is left, until under 1; the
// alpha is what was covered and a colour under partial alpha is divided back by it.
uint32_t ReferenceMerged(const std::vector<Ref>& set, int cx, int cy) {
    int cov = 100, b = 0, g = 0, r = 0;
    for (auto it = set.rbegin(); it != set.rend() && cov >= 1; ++it) {
        const Ref& l = *it;
        int pb, pg, pr, a;
        if (!SampleLayer(l, cx, cy, pb, pg, pr, a)) continue;
        const int in = l.opacity * a * cov / 10000;
        b += in * pb / 100;
        g += in * pg / 100;
        r += in * pr / 100;
        cov -= in;
    }
    const int alpha = 100 - cov;
    if (alpha > 0 && alpha < 100) {
        b = b * 100 / alpha;
        g = g * 100 / alpha;
        r = r * 100 / alpha;
    }
    return (uint32_t(alpha) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// The merge as a plain per-pixel loop, written before it moved onto the flatten's blend: any
// alpha byte (0..255, where a pixel can overshoot the coverage), stopping once coverage is
// under 1 and capping each channel at 255. The blend must give these bytes exactly.
uint32_t ScalarMerged(const std::vector<Ref>& set, int cx, int cy) {
    int32_t cov = 100, b = 0, g = 0, r = 0;
    for (auto it = set.rbegin(); it != set.rend(); ++it) {
        const Ref& l = *it;
        int pb, pg, pr, a;
        if (!SampleLayer(l, cx, cy, pb, pg, pr, a)) continue;
        const int32_t in = l.opacity * a * cov / 10000;
        b += in * pb / 100;
        g += in * pg / 100;
        r += in * pr / 100;
        cov -= in;
        if (cov < 1) break;
    }
    const int32_t alpha = 100 - std::max(cov, 0);
    if (alpha > 0 && alpha < 100) {
        b = b * 100 / alpha;
        g = g * 100 / alpha;
        r = r * 100 / alpha;
    }
    return uint32_t(alpha) << 24 | uint32_t(std::min(r, 255)) << 16 |
           uint32_t(std::min(g, 255)) << 8 | uint32_t(std::min(b, 255));
}

class MergeTest : public LayerOpsTest {
protected:
    Ref Capture(const LayerPtr& l) {
        Ref ref{l->Kind(), l->Bounds(), l->Opacity(), l->IsVisible(), l->Color(), {}};
        for (int32_t y = 0; y < l->Height(); ++y)
            for (int32_t x = 0; x < l->Width(); ++x)
                ref.px.push_back(l->Kind() == LayerKind::Pixel ? PixelAt(*l, x, y)
                                                               : uint32_t(BitAt(*l, x, y)));
        return ref;
    }
};

TEST_F(MergeTest, RandomStacksMatchTheReference) {
    std::mt19937 rng(20240611);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        doc = std::make_unique<Doc>(*store, kW, kH);
        LayerPtr first = OpenImage();
        first->SetOpacity(pick(0, 100));
        const int extra = pick(1, 5);
        for (int i = 0; i < extra; ++i) {
            const int what = pick(0, 9);
            if (what == 0) {
                NewLayer(History());
            } else if (what == 1) {
                LayerPtr m =
                    AddCurve({}, false, true, Rgb(uint8_t(pick(0, 255)), 7, uint8_t(pick(0, 255))));
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) SetBit(*m, x, y, pick(0, 2) == 0);
                m->SetOpacity(pick(0, 100));
            } else {
                const int w = pick(1, 20), h = pick(1, 15);
                LayerPtr p = AddPixel(pick(-6, kW), pick(-6, kH), w, h, 0);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        // Alphas at the ends of the range come up often.
                        const int a = pick(0, 3) == 0 ? 100 : (pick(0, 3) == 0 ? 0 : pick(0, 100));
                        SetPixel(*p, x, y,
                                 (uint32_t(a) << 24) | (uint32_t(pick(0, 255)) << 16) |
                                     (uint32_t(pick(0, 255)) << 8) | uint32_t(pick(0, 255)));
                    }
                p->SetOpacity(pick(0, 3) == 0 ? 100 : pick(0, 100));
                p->SetVisible(pick(0, 4) != 0);
            }
        }
        const MergeMode mode = pick(0, 1) ? MergeMode::All : MergeMode::Visible;
        std::vector<Ref> set;
        std::vector<const Layer*> members, others;
        Rect u;
        for (const LayerPtr& l : Lm().Layers()) {
            if (mode == MergeMode::Visible && !l->IsVisible()) {
                others.push_back(l.get());
                continue;
            }
            set.push_back(Capture(l));
            members.push_back(l.get());
            u = u.Union(l->Bounds());
        }
        Lm().SelectLayerByIndex(pick(1, Lm().LayerCount()));
        const int currentAt = Lm().CurrentIndex();
        int k = 0;
        for (int i = 0; i < currentAt; ++i)
            if (std::find(members.begin(), members.end(), Lm().LayerAt(i).get()) == members.end())
                ++k;
        const std::vector<const Layer*> before = Order();

        const int result = MergeLayers(History(), mode);
        if (set.size() < 2) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(Order(), before);
            continue;
        }
        ASSERT_EQ(result, 1);
        ASSERT_EQ(Lm().LayerCount(), int(others.size()) + 1);
        LayerPtr merged = Lm().LayerAt(k);
        EXPECT_TRUE(merged->IsCurrent());
        EXPECT_EQ(merged->Opacity(), 100);
        ASSERT_EQ(merged->Kind(), LayerKind::Pixel);
        ASSERT_EQ(merged->Bounds(), u);
        for (int32_t cy = u.top; cy < u.bottom; ++cy)
            for (int32_t cx = u.left; cx < u.right; ++cx)
                ASSERT_EQ(PixelAt(*merged, cx - u.left, cy - u.top), ReferenceMerged(set, cx, cy))
                    << cx << "," << cy;
        EXPECT_EQ(StateNames().back(), "Merge Layers");
        // Undo puts every layer back at its place; redo merges again.
        History().GoToState(History().StateCount() - 1, 0);
        EXPECT_EQ(Order(), before);
        History().GoToState(History().StateCount(), 0);
        EXPECT_EQ(Lm().LayerAt(k), merged);
        EXPECT_EQ(Lm().LayerCount(), int(others.size()) + 1);
    }
}

// Wide layers (every vector width and its remainder), alpha bytes past 100, masks, hidden and
// zero-opacity layers, at 1, 2 and 8 threads: the merged bytes are the scalar loop's.
TEST_F(MergeTest, MergeAllMatchesTheScalarLoop) {
    struct Case {
        int maxAlpha;  // alpha bytes 0..maxAlpha
        int maxWidth;
        int layers;
        int threads;
    };
    const Case cases[] = {{100, 70, 4, 1},  {255, 70, 4, 1},  {255, 37, 6, 2},
                          {100, 100, 3, 8}, {255, 100, 5, 8}, {140, 9, 6, 2}};
    std::mt19937 rng(20261208);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (const Case& c : cases) {
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(testing::Message() << "alpha " << c.maxAlpha << " width " << c.maxWidth
                                            << " threads " << c.threads << " round " << round);
            const ScopedPassThreads threads(c.threads);
            doc = std::make_unique<Doc>(*store, kW, kH);
            OpenImage()->SetOpacity(pick(0, 100));
            for (int i = 0; i < c.layers; ++i) {
                if (pick(0, 5) == 0) {
                    LayerPtr m = AddCurve({}, false, true, Rgb(uint8_t(pick(0, 255)), 9, 200));
                    for (int y = 0; y < kH; ++y)
                        for (int x = 0; x < kW; ++x) SetBit(*m, x, y, pick(0, 1) == 0);
                    m->SetOpacity(pick(0, 100));
                    continue;
                }
                const int w = pick(1, c.maxWidth), h = pick(1, 40);
                LayerPtr p = AddPixel(pick(-30, kW + 10), pick(-20, kH + 10), w, h, 0);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const int a = pick(0, 3) == 0 ? std::min(100, c.maxAlpha)
                                                      : (pick(0, 4) == 0 ? 0 : pick(0, c.maxAlpha));
                        SetPixel(*p, x, y,
                                 uint32_t(a) << 24 | uint32_t(pick(0, 255)) << 16 |
                                     uint32_t(pick(0, 255)) << 8 | uint32_t(pick(0, 255)));
                    }
                p->SetOpacity(pick(0, 4) == 0 ? 100 : pick(0, 100));
                p->SetVisible(pick(0, 5) != 0);
            }
            std::vector<Ref> set;
            Rect u;
            for (const LayerPtr& l : Lm().Layers()) {
                set.push_back(Capture(l));
                u = u.Union(l->Bounds());
            }
            ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
            LayerPtr merged = Lm().LayerAt(0);
            ASSERT_EQ(merged->Bounds(), u);
            for (int32_t cy = u.top; cy < u.bottom; ++cy)
                for (int32_t cx = u.left; cx < u.right; ++cx)
                    ASSERT_EQ(PixelAt(*merged, cx - u.left, cy - u.top), ScalarMerged(set, cx, cy))
                        << cx << "," << cy;
        }
    }
}

TEST_F(MergeTest, PartialCoverageIsDividedBackByTheAlpha) {
    OpenImage();
    Lm().LayerAt(0)->SetVisible(false);
    AddPixel(0, 0, 1, 1, (40u << 24) | 0x00C86432);  // R 200, G 100, B 50 at alpha 40
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    LayerPtr m = Lm().LayerAt(0);
    ASSERT_EQ(m->Bounds(), (Rect{0, 0, kW, kH}));
    // 40 taken: sums 80, 40, 20, back to 200, 100, 50 at alpha 40.
    EXPECT_EQ(PixelAt(*m, 0, 0), (40u << 24) | 0x00C86432u);
    // Where only the hidden layer lies nothing is covered.
    EXPECT_EQ(PixelAt(*m, 5, 5), 0u);
}

TEST_F(MergeTest, TheMergedLayerTakesTheKthPlace) {
    LayerPtr a = OpenImage();
    LayerPtr b = AddPixel(0, 0, 2, 2, 0x64000000);
    LayerPtr c = AddPixel(0, 0, 2, 2, 0x64000000);
    LayerPtr d = AddPixel(3, 3, 2, 2, 0x64000000);
    LayerPtr e = AddPixel(0, 0, 2, 2, 0x64000000);
    c->SetVisible(false);
    a->SetVisible(false);
    Lm().SelectLayerByIndex(4);  // d: below it a and c are not merged
    ASSERT_EQ(MergeLayers(History(), MergeMode::Visible), 1);
    ASSERT_EQ(Lm().LayerCount(), 3);
    EXPECT_EQ(Lm().LayerAt(0), a);
    EXPECT_EQ(Lm().LayerAt(1), c);
    EXPECT_EQ(Lm().LayerAt(2)->Bounds(), (Rect{0, 0, 5, 5}));
    EXPECT_TRUE(Lm().LayerAt(2)->IsCurrent());
    History().GoToState(History().StateCount() - 1, 0);
    EXPECT_EQ(Order(), (std::vector<const Layer*>{a.get(), b.get(), c.get(), d.get(), e.get()}));
}

TEST_F(MergeTest, LinkedMergeUsesTheGroupInListOrder) {
    LayerPtr a = OpenImage();
    LayerPtr b = AddPixel(0, 0, 1, 1, 0x64FF0000);
    LayerPtr c = AddPixel(0, 0, 1, 1, 0x640000FF);
    LayerPtr d = AddPixel(0, 0, 1, 1, 0x6400FF00);
    EXPECT_FALSE(LayerCommandEnabled(kCmdMergeLinked, &History()));
    Lm().SelectLayerByIndex(4);
    // The group lists d, b: the merge still composites b under d.
    ToggleLink(History(), 1);
    ASSERT_TRUE(LayerCommandEnabled(kCmdMergeLinked, &History()));
    ASSERT_EQ(RunLayerCommand(kCmdMergeLinked, History()), 1);
    ASSERT_EQ(Lm().LayerCount(), 3);
    EXPECT_EQ(Order()[0], a.get());
    EXPECT_EQ(Order()[1], c.get());
    EXPECT_EQ(PixelAt(*Lm().LayerAt(2), 0, 0), 0x6400FF00u);  // d on top
    const HistoryState& s = History().States().back();
    ASSERT_EQ(s.layers.size(), 2u);
    EXPECT_EQ(s.layers[0], b);
    EXPECT_EQ(s.positions[0], 1);
    EXPECT_EQ(s.layers[1], d);
    EXPECT_EQ(s.positions[1], 3);
}

// Ten thousand edits take ten thousand ids: the ids past 9,999 are as good as the first.
TEST_F(MergeTest, IdsPastTenThousandAreValid) {
    OpenImage();
    Lm().SetCounters(10050, Lm().LastSerial());
    const LayerPtr b = AddPixel(0, 0, 1, 1, 0x64FF0000);
    AddPixel(0, 0, 1, 1, 0x640000FF);
    ToggleLink(History(), 1);
    ASSERT_GT(b->Id(), 10000);
    ASSERT_EQ(RunLayerCommand(kCmdMergeLinked, History()), 1);
    EXPECT_TRUE(Lm().CheckLayerList());
    EXPECT_TRUE(History().CheckStates());
    EXPECT_TRUE(messages.Entries().empty()) << messages.Last();
}

TEST_F(MergeTest, EdgeCases) {
    LayerPtr a = OpenImage(Rgb(10, 20, 30));
    // One shown layer: Merge Visible is disabled and does nothing.
    LayerPtr b = AddPixel(0, 0, 1, 1, 0x64FFFFFF);
    b->SetVisible(false);
    EXPECT_FALSE(LayerCommandEnabled(kCmdMergeVisible, &History()));
    EXPECT_EQ(MergeLayers(History(), MergeMode::Visible), 0);
    // Merge All of two, one hidden: only the shown one's pixels.
    ASSERT_TRUE(LayerCommandEnabled(kCmdMergeAll, &History()));
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    LayerPtr m = Lm().LayerAt(0);
    ASSERT_EQ(Lm().LayerCount(), 1);
    EXPECT_EQ(PixelAt(*m, 0, 0), StoredDib::PixelWord(Rgb(10, 20, 30), 100));
    EXPECT_FALSE(LayerCommandEnabled(kCmdMergeAll, &History()));

    // All null layers merge into a null layer.
    doc = std::make_unique<Doc>(*store, kW, kH);
    OpenImage();
    NewLayer(History());
    NewLayer(History());
    Lm().RemoveAt(0);
    Lm().SelectLayerByIndex(1);
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    EXPECT_EQ(Lm().LayerCount(), 1);
    EXPECT_EQ(Lm().LayerAt(0)->Kind(), LayerKind::Null);
}

// The pixel count and a side of 100 000 cut the union; a long, thin one below them keeps what lies
// off the canvas.
TEST_F(MergeTest, AHugeUnionIsCutToTheCanvas) {
    OpenImage();
    AddPixel(4999, 4999, 1, 1, 0x64000000);  // the union would be 25 000 000 pixels
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    EXPECT_EQ(Lm().LayerAt(0)->Bounds(), (Rect{0, 0, kW, kH}));

    doc = std::make_unique<Doc>(*store, kW, kH);
    OpenImage();
    AddPixel(15000, 0, 1, 1, 0x64102030);  // 15 001 x 12 pixels
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    EXPECT_EQ(Lm().LayerAt(0)->Bounds(), (Rect{0, 0, 15001, kH}));
    EXPECT_EQ(PixelAt(*Lm().LayerAt(0), 15000, 0), 0x64102030u);
    Lm().LayerAt(0)->ReleaseRows();

    doc = std::make_unique<Doc>(*store, kW, kH);
    OpenImage();
    AddPixel(0, -100000, 1, 1, 0x64000000);
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    EXPECT_EQ(Lm().LayerAt(0)->Bounds(), (Rect{0, 0, kW, kH}));
}

TEST_F(MergeTest, ProgressOfFourSteps) {
    CountingFeedback feedback;
    ScopedFeedback scoped(&feedback);
    OpenImage();
    AddPixel(0, 0, 1, 1, 0);
    ASSERT_EQ(MergeLayers(History(), MergeMode::All), 1);
    EXPECT_EQ(feedback.begun, std::vector<int>{4});
    EXPECT_EQ(feedback.steps, 4);
    EXPECT_EQ(feedback.ended, 1);
}

}  // namespace
}  // namespace zelvo::test
