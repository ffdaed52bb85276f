// The healing pass against values worked out from its rules by hand: a 3 x 3 patch whose
// membrane uses every direction, the selection weight (also shifted), a source partly outside
// the layer, a source over an empty destination, and a uniform source healed onto a gradient,
// which must give the gradient back. The patch: where each mode heals and samples, both modes on
// flat areas, and the large-area question whose No leaves the layer as it was. The healing
// brush: its preview paint replaced by the heal, a source partly outside the layer, and No.
#include "paint/Healing.h"
#include "paint/HealingBrush.h"
#include "paint/Patch.h"
#include "paint/tests/PaintTestSupport.h"

namespace zelvo::test {
namespace {

class HealingTest : public PaintFixture {
protected:
    // The layer: grey 100 with alpha 60 on columns 0..4; opaque grey 0 on columns 5..9 except the 3
    // x 3 source block 10, 20, ..., 90 at (6..8, 1..3).
    void OpenHandCase() {
        Open(10, 5);
        SetPixels(*Current(), [](int32_t x, int32_t y) {
            if (x < 5) return Px{100, 100, 100, 60};
            if (x >= 6 && x <= 8 && y >= 1 && y <= 3) {
                const uint8_t v = x == 8 && y == 1 ? 60 : uint8_t(10 * ((y - 1) * 3 + (x - 6) + 1));
                return Px{v, v, v, 100};
            }
            return Px{0, 0, 0, 100};
        });
    }
    void Cover(const Rect& r, uint8_t coverage = 40) {
        ASSERT_TRUE(workspace->EnsureStrokeCapacity(image->Width(), image->Height()));
        RowCursor rows(workspace->Store(), workspace->StrokeBlock(), 0,
                       uint32_t(image->Width()) * 5, uint32_t(image->Height()));
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) rows.Row(uint32_t(y))[5 * x] = coverage;
    }
    bool Heal(const Rect& area, Point offset, Point maskOffset = {}) {
        HealSetup s;
        s.store = &workspace->Store();
        s.records = workspace->StrokeBlock();
        s.canvasWidth = image->Width();
        s.canvasHeight = image->Height();
        s.layer = Current().get();
        s.source = Current().get();
        s.sourceOffset = offset;
        s.mask = Layers().Selection().get();
        s.maskOffset = maskOffset;
        return HealRecords(s, area);
    }
    Px Healed(int32_t x, int32_t y) {
        const std::vector<uint8_t> r = Record(x, y);
        return {r[1], r[2], r[3], r[4]};
    }
};

// Source block s = 10 20 60 / 40 50 60 / 70 80 90 inside a ring of 0; its boundary means
//   14 28 28 / 34 50 52 / 38 58 46   (the centre is interior and keeps 50).
// A: rows give 21, 43, 42 in the middle column; columns then average with their line:
//   14 21 28 / 30 37 44 / 38 42 46.
// B: the down-right diagonal gives the centre 14 + 32/2 = 30, the down-left one averages
//   28 + 10/2 = 33 with it: 31. So 14 28 28 / 34 31 52 / 38 58 46.
// M_S = (A + B) / 2: 14 24 28 / 32 34 48 / 38 50 46. The destination is uniform 100, so M_D is
// 100 and each pixel is s + 100 - M_S with the destination's alpha.
constexpr uint8_t kHandHealed[9] = {96, 96, 132, 108, 116, 112, 132, 130, 144};

TEST_F(HealingTest, HandComputedPatchUsesEveryDirection) {
    OpenHandCase();
    Cover({1, 1, 4, 4});
    ASSERT_TRUE(Heal({0, 0, 10, 5}, {5, 0}));
    for (int i = 0; i < 9; ++i) {
        const uint8_t v = kHandHealed[i];
        EXPECT_EQ(Healed(1 + i % 3, 1 + i / 3), (Px{v, v, v, 60})) << i;
        EXPECT_EQ(Record(1 + i % 3, 1 + i / 3)[0], 40) << "the coverage is kept";
    }
    // Records without coverage are not written.
    EXPECT_EQ(Record(0, 0), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(Record(4, 2), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
}

TEST_F(HealingTest, SelectionWeightsTheHealTowardTheLayer) {
    // The weights per pixel of the patch; P is 100, so P + (healed - P) v / 100 truncated
    // toward zero (96 at v = 33 gives 100 - 1, not 98).
    const uint8_t weight[9] = {0, 33, 50, 33, 100, 1, 50, 99, 100};
    for (const Point shift : {Point{0, 0}, Point{2, 1}}) {
        OpenHandCase();
        // The mask lies `shift` away from the patch: read at p + shift it gives `weight` again.
        Select({1 + shift.x, 1 + shift.y, 4 + shift.x, 4 + shift.y}, [&](int32_t x, int32_t y) {
            return weight[(y - 1 - shift.y) * 3 + (x - 1 - shift.x)];
        });
        Cover({1, 1, 4, 4});
        ASSERT_TRUE(Heal({1, 1, 4, 4}, {5, 0}, {-shift.x, -shift.y}));
        for (int i = 0; i < 9; ++i) {
            const int v = weight[i];
            const uint8_t want = uint8_t(100 + (kHandHealed[i] - 100) * v / 100);
            EXPECT_EQ(Healed(1 + i % 3, 1 + i / 3), (Px{want, want, want, 60}))
                << i << " shift " << shift.x << "," << shift.y;
        }
    }
}

TEST_F(HealingTest, SourceOutsideTheLayerOrOverAnEmptyDestination) {
    // A 10 x 5 layer, opaque except the transparent column 2; the patch (1..3, 1..3) takes its
    // source at +7: columns 8, 9 and the canvas beyond.
    Open(10, 5);
    SetPixels(*Current(), [](int32_t x, int32_t y) {
        if (x == 2) return Px{9, 9, 9, 0};
        return Px{uint8_t(20 * x), uint8_t(10 * y), 77, uint8_t(x >= 8 ? 80 : 100)};
    });
    Cover({1, 1, 4, 4});
    ASSERT_TRUE(Heal({1, 1, 4, 4}, {7, 0}));
    for (int32_t y = 1; y < 4; ++y) {
        // Column 3's source (x = 10) lies outside the layer: the layer's pixel stays.
        EXPECT_EQ(Healed(3, y), PixelAt(*Current(), 3, y)) << y;
        // Column 2 is empty in the layer: the source pixel (x = 9) comes over with its alpha.
        EXPECT_EQ(Healed(2, y), PixelAt(*Current(), 9, y)) << y;
        // Column 1 heals the source's detail onto the layer and keeps the layer's alpha.
        EXPECT_EQ(Healed(1, y).a, 100) << y;
    }
    // Half weight on the empty column: the source's colour with half its alpha.
    Select({1, 1, 4, 4}, [](int32_t, int32_t) { return uint8_t(50); });
    Cover({1, 1, 4, 4});
    ASSERT_TRUE(Heal({1, 1, 4, 4}, {7, 0}));
    const Px src = PixelAt(*Current(), 9, 2);
    EXPECT_EQ(Healed(2, 2), (Px{src.b, src.g, src.r, uint8_t(src.a / 2)}));
    EXPECT_EQ(Healed(3, 2), PixelAt(*Current(), 3, 2));
}

TEST_F(HealingTest, UniformSourceOntoAGradientGivesTheGradient) {
    // A gradient with whole steps on the left half, a uniform colour on the right half; a disc
    // and a ragged shape on the gradient take their source from the uniform side.
    Open(48, 30);
    auto gradient = [](int32_t x, int32_t y) {
        return Px{uint8_t(3 * x + 2 * y + 10), uint8_t(200 - 2 * x - y), uint8_t(x + 4 * y),
                  uint8_t(70)};
    };
    SetPixels(*Current(), [&](int32_t x, int32_t y) {
        return x < 24 ? gradient(x, y) : Px{40, 160, 90, 100};
    });
    ASSERT_TRUE(workspace->EnsureStrokeCapacity(48, 30));
    auto inShape = [](int32_t x, int32_t y) {
        const int dx = x - 10, dy = y - 12;
        return dx * dx + dy * dy <= 36 || (y >= 20 && y < 27 && x >= 3 + y % 4 && x < 18 - y % 3);
    };
    {
        RowCursor rows(workspace->Store(), workspace->StrokeBlock(), 0, 48 * 5, 30);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 24; ++x)
                if (inShape(x, y)) rows.Row(uint32_t(y))[5 * x] = 100;
    }
    ASSERT_TRUE(Heal({0, 0, 24, 30}, {25, 1}));
    int covered = 0;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 24; ++x) {
            if (!inShape(x, y)) continue;
            ++covered;
            EXPECT_EQ(Healed(x, y), gradient(x, y)) << x << "," << y;
        }
    EXPECT_GT(covered, 150);
}

TEST(PatchPlan, SourceHealsTheSelectionDestinationTheMovedOutline) {
    struct Row {
        PatchMode mode;
        Point offset;
        PatchPlan want;
    };
    const Rect mask{10, 10, 30, 20};
    const Row rows[] = {
        {PatchMode::Source, {15, -4}, {{10, 10, 30, 20}, {15, -4}, {0, 0}}},
        {PatchMode::Destination, {15, -4}, {{25, 6, 40, 16}, {-15, 4}, {15, -4}}},
        // The healed area is held to the canvas (40 x 30).
        {PatchMode::Destination, {-12, 12}, {{0, 22, 18, 30}, {12, -12}, {-12, 12}}},
        {PatchMode::Source, {-12, 12}, {{10, 10, 30, 20}, {-12, 12}, {0, 0}}},
    };
    for (const Row& r : rows) {
        const PatchPlan got = PlanPatch(mask, r.offset, r.mode, 40, 30);
        EXPECT_EQ(got.area, r.want.area) << int(r.mode) << " " << r.offset.x;
        EXPECT_EQ(got.sourceOffset, r.want.sourceOffset);
        EXPECT_EQ(got.maskOffset, r.want.maskOffset);
    }
}

class PatchTest : public HealingTest {
protected:
    // Flat grey 100 left of column 20, flat (B 200, G 150, R 50) from it on, a red 3 x 3 blemish
    // at (7..9, 14..16), and the selection (4..12, 11..19) at `strength`.
    void OpenFlatHalves(uint8_t strength) {
        Open(40, 30);
        SetPixels(*Current(), [](int32_t x, int32_t y) {
            if (x >= 7 && x <= 9 && y >= 14 && y <= 16) return Px{0, 0, 255, 100};
            return x < 20 ? Px{100, 100, 100, 100} : Px{200, 150, 50, 100};
        });
        Select({4, 11, 13, 20}, [&](int32_t, int32_t) { return strength; });
    }
    int Patch(Point offset, PatchMode mode) {
        return ApplyPatch(image->History(), *workspace, offset, mode);
    }
};

TEST_F(PatchTest, BothModesHealFlatAreasByTheRule) {
    struct Row {
        PatchMode mode;
        uint8_t strength;
        Point at;
        Px want;
    };
    const Px grey{100, 100, 100, 100}, right{200, 150, 50, 100}, red{0, 0, 255, 100};
    const Row rows[] = {
        // Source: the blemish takes the flat right half's detail (none) on the left's colour.
        {PatchMode::Source, 100, {8, 15}, grey},
        {PatchMode::Source, 100, {28, 15}, right},
        // Half strength: 0 + 100 * 50 / 100 and 255 - 155 * 50 / 100 (truncated toward zero).
        {PatchMode::Source, 50, {8, 15}, {50, 50, 178, 100}},
        // Destination: red + right - left, clamped; the selected area stays.
        {PatchMode::Destination, 100, {28, 15}, {100, 50, 205, 100}},
        {PatchMode::Destination, 100, {25, 12}, right},
        {PatchMode::Destination, 100, {8, 15}, red},
        {PatchMode::Destination, 50, {28, 15}, {150, 100, 127, 100}},
    };
    for (const Row& r : rows) {
        OpenFlatHalves(r.strength);
        const size_t states = image->History().States().size();
        ASSERT_EQ(Patch({20, 0}, r.mode), 1);
        EXPECT_EQ(image->History().States().size(), states + 1);
        EXPECT_EQ(LastState().name, "Patch Tool");
        EXPECT_EQ(PixelAt(*Current(), r.at.x, r.at.y), r.want)
            << int(r.mode) << " at " << r.at.x << "," << r.at.y << " strength " << int(r.strength);
        EXPECT_TRUE(RecordsAllZero());
    }
}

TEST_F(PatchTest, NoToTheLargeAreaQuestionLeavesTheLayer) {
    struct Row {
        int32_t w, h;
        const char* question;  // null: none asked
    };
    const Row rows[] = {
        {2999999, 1, nullptr},
        {1000, 3000,
         "Due to the size of patches is large, may need to take some time, whether "
         "or not to continue?"},
        {5000, 2001,
         "Due to the size of patches is large, may need 1~2minutes, whether or not "
         "to continue??"},
    };
    for (const Row& r : rows) {
        messages.Clear();
        if (r.question) messages.QueueAnswer(Answer::No);
        EXPECT_EQ(ConfirmHealSize({0, 0, r.w, r.h}), r.question == nullptr) << r.w;
        EXPECT_EQ(messages.Last(), r.question ? r.question : "");
    }
    // A real patch of 2000 x 1501 pixels answered No.
    Open(2000, 1501);
    SetPixels(*Current(), [](int32_t x, int32_t y) {
        return Px{uint8_t(x), uint8_t(y), uint8_t(x + y), 100};
    });
    Select({0, 0, 2000, 1501}, [](int32_t, int32_t) { return uint8_t(100); });
    const size_t states = image->History().States().size();
    messages.QueueAnswer(Answer::No);
    EXPECT_EQ(Patch({5, 5}, PatchMode::Source), 0);
    EXPECT_EQ(image->History().States().size(), states);
    for (const Point p : {Point{0, 0}, Point{700, 900}, Point{1999, 1500}})
        EXPECT_EQ(PixelAt(*Current(), p.x, p.y),
                  (Px{uint8_t(p.x), uint8_t(p.y), uint8_t(p.x + p.y), 100}));
}

using HealingBrushTest = HealingTest;

TEST_F(HealingBrushTest, TheHealReplacesThePreviewAndLeavesPixelsWithoutSource) {
    // Flat grey 100 on the left; on the right from column 30 a checkerboard, so a healed pixel
    // takes its detail; the stroke runs along column 8 and takes its source 30 further right,
    // where columns 38 and 39 lie on the layer and 40 on does not.
    Open(40, 20);
    SetPixels(*Current(), [](int32_t x, int32_t y) {
        if (x < 30) return Px{100, 100, 100, 80};
        const uint8_t v = (x + y) % 2 ? 120 : 60;
        return Px{v, uint8_t(v + 10), uint8_t(v + 20), 100};
    });
    StrokeSession s;
    Paint(s, StrokeKind::Brush, BuildTip(5, 100, 100), Rgb(255, 0, 0), {{8, 6}, {8, 13}});
    ASSERT_EQ(CommitHealingStroke(image->History(), s, {30, 0}), 1);
    EXPECT_EQ(LastState().name, "Healing Brush Tool");
    EXPECT_TRUE(RecordsAllZero());
    int healed = 0;
    for (int32_t y = 4; y <= 15; ++y)
        for (int32_t x = 6; x <= 10; ++x) {
            const Px p = PixelAt(*Current(), x, y);
            // Nowhere the brush's red preview; the layer's alpha everywhere.
            EXPECT_NE(p, (Px{0, 0, 255, 100})) << x << "," << y;
            EXPECT_EQ(p.a, 80) << x << "," << y;
            if (x == 10) {
                EXPECT_EQ(p, (Px{100, 100, 100, 80})) << "source outside, y=" << y;
            }
            healed += p.b != 100;
        }
    EXPECT_GT(healed, 10) << "the checkerboard's detail came over";
}

TEST_F(HealingBrushTest, NoToTheSizeQuestionLeavesTheLayerUnchanged) {
    // A 500-pixel hard tip drawn corner to corner over 2000 x 1501 pixels: its dirty rectangle
    // is the whole canvas, 3,002,000 pixels.
    Open(2000, 1501);
    SetPixels(*Current(), [](int32_t x, int32_t y) {
        return Px{uint8_t(x), uint8_t(y), uint8_t(x ^ y), 100};
    });
    const size_t states = image->History().States().size();
    StrokeSession s;
    Paint(s, StrokeKind::Brush, BuildTip(500, 100, 100), Rgb(255, 0, 0),
          {{249, 249}, {1750, 1251}});
    messages.QueueAnswer(Answer::No);
    EXPECT_EQ(CommitHealingStroke(image->History(), s, {-100, 0}), 0);
    EXPECT_EQ(messages.Last(),
              "Due to the size of patches is large, may need to take some time, "
              "whether or not to continue?");
    EXPECT_EQ(image->History().States().size(), states);
    EXPECT_TRUE(RecordsAllZero());
    for (const Point p : {Point{250, 250}, Point{1000, 750}, Point{1750, 1250}})
        EXPECT_EQ(PixelAt(*Current(), p.x, p.y),
                  (Px{uint8_t(p.x), uint8_t(p.y), uint8_t(p.x ^ p.y), 100}));
}

}  // namespace
}  // namespace zelvo::test
