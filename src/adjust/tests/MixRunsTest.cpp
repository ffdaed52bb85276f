// The row kernels of the table adjustments and the strength mix: the mix over its whole domain,
// and every pass that uses them against its per-pixel rule, with and without a selection and
// with strength bytes past 100.
#include <algorithm>
#include <array>
#include <random>

#include "adjust/Adjustments.h"
#include "adjust/MixRuns.h"
#include "adjust/tests/AdjustTestSupport.h"
#include "core/CpuLevel.h"
#include "history/HistoryCommands.h"

namespace zelvo::test {
namespace {

// Every v and r in 0..255 under every strength 0..100, on every channel, with and without A.
void EveryValuePairAndStrength(CpuLevel level) {
    constexpr int32_t kPairs = 256 * 256;
    std::vector<uint32_t> old(kPairs), res(kPairs), out(kPairs);
    std::vector<uint8_t> strength(kPairs);
    for (int32_t i = 0; i < kPairs; ++i) {
        const int v = i >> 8, r = i & 255;
        // Each channel sees other pairs too, so lanes cannot stand in for one another.
        old[size_t(i)] = MakePixel(v, 255 - v, v ^ 0x5a, v);
        res[size_t(i)] = MakePixel(r, 255 - r, r ^ 0xa5, 255 - r);
    }
    for (bool mixAlpha : {false, true})
        for (int s = 0; s <= 100; ++s) {
            std::fill(strength.begin(), strength.end(), uint8_t(s));
            // One pixel short of the whole, so the scalar tail runs too.
            MixRunOn(level, old.data(), res.data(), strength.data(), out.data(), kPairs - 1,
                     mixAlpha);
            for (int32_t i = 0; i < kPairs - 1; ++i) {
                const uint32_t o = old[size_t(i)], r = res[size_t(i)];
                const uint32_t want =
                    MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                              StrengthMix(ChR(o), ChR(r), s),
                              mixAlpha ? StrengthMix(ChA(o), ChA(r), s) : ChA(o));
                ASSERT_EQ(out[size_t(i)], want) << "level " << int(level) << " s " << s << " pair "
                                                << i << " alpha " << mixAlpha;
            }
        }
    // Mixed strengths within one block of four, written over the result in place.
    std::vector<uint32_t> inPlace(res.begin(), res.begin() + 1001);
    for (int32_t i = 0; i < 1001; ++i) strength[size_t(i)] = uint8_t(i * 37 % 101);
    MixRunOn(level, old.data(), inPlace.data(), strength.data(), inPlace.data(), 1001, false);
    for (int32_t i = 0; i < 1001; ++i) {
        const uint32_t o = old[size_t(i)], r = res[size_t(i)];
        const int s = strength[size_t(i)];
        ASSERT_EQ(inPlace[size_t(i)],
                  MakePixel(StrengthMix(ChB(o), ChB(r), s), StrengthMix(ChG(o), ChG(r), s),
                            StrengthMix(ChR(o), ChR(r), s), ChA(o)))
            << "level " << int(level) << " " << i;
    }
}

TEST(MixRunTest, EveryValuePairAndStrengthMatchesTheIntegerMix) {
    for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4})
        if (CpuRuns(level)) EveryValuePairAndStrength(level);
}

// Every lookup kernel the CPU has, against the three lookups written out: every value on every
// channel (each channel through its own table, then all through one, A any byte), runs of every
// length around the vector widths, out of place at an odd start and in place.
TEST(ChannelTableRunTest, EveryPathLooksUpEveryValueOfEveryChannel) {
    std::mt19937 rng(7);
    using Tables = std::array<std::array<uint8_t, 256>, 3>;
    Tables own;
    for (auto& table : own)
        for (uint8_t& e : table) e = uint8_t(rng());
    const Tables shared = {own[1], own[1], own[1]};
    constexpr int32_t kMost = 256 * 3 + 19;
    std::vector<uint32_t> src(kMost + 1), want(kMost + 1);
    for (int32_t i = 0; i <= kMost; ++i)
        src[size_t(i)] = MakePixel(i & 255, (i * 7 + 3) & 255, (i * 131 + 5) & 255, (i * 11) & 255);
    for (const Tables* t : {static_cast<const Tables*>(&own), &shared}) {
        const uint8_t *tb = (*t)[0].data(), *tg = (*t)[1].data(), *tr = (*t)[2].data();
        for (int32_t i = 0; i <= kMost; ++i) {
            const uint32_t p = src[size_t(i)];
            want[size_t(i)] = MakePixel(tb[ChB(p)], tg[ChG(p)], tr[ChR(p)], ChA(p));
        }
        for (TableKernel kernel :
             {TableKernel::Plain, TableKernel::Gather, TableKernel::Shuffle, TableKernel::Vbmi}) {
            if (!CpuRunsTableKernel(kernel)) continue;
            for (int32_t n : {0, 1, 7, 8, 9, 15, 16, 17, 31, 33, 47, 256, 257, kMost}) {
                const std::string at = "kernel " + std::to_string(int(kernel)) + " n " +
                                       std::to_string(n) + (t == &own ? " own" : " shared");
                // A guard word after the run must stay as it was.
                std::vector<uint32_t> out(size_t(n) + 1, 0xdeadbeefu);
                ChannelTableRunWith(kernel, src.data() + 1, tb, tg, tr, out.data(), n);
                ASSERT_TRUE(std::equal(out.begin(), out.begin() + n, want.begin() + 1)) << at;
                EXPECT_EQ(out[size_t(n)], 0xdeadbeefu) << at;
                std::vector<uint32_t> inPlace(src.begin(), src.begin() + n);
                ChannelTableRunWith(kernel, inPlace.data(), tb, tg, tr, inPlace.data(), n);
                ASSERT_TRUE(std::equal(inPlace.begin(), inPlace.end(), want.begin())) << at;
            }
        }
    }
}

// Saturation's kernels against its one-pixel rule, with and without a selection: every value,
// every strength byte (0 keeps the pixel, past 100 overshoots) on random pixels, every channel
// sum 0..765 and the corners of the cube, with runs that end off the vector widths.
TEST(SaturationRunTest, EveryPathGivesThePixelRuleForEveryValueAndStrength) {
    std::mt19937 rng(11);
    constexpr int32_t kRun = 256 * 24 + 7;
    std::vector<uint32_t> src(kRun), out(kRun);
    std::vector<uint8_t> strength(kRun);
    for (int32_t i = 0; i < kRun; ++i) {
        src[size_t(i)] = uint32_t(rng());
        strength[size_t(i)] = uint8_t(i * 37 % 256);
    }
    for (int32_t sum = 0; sum <= 765; ++sum)
        src[size_t(sum * 7)] = MakePixel(std::min(sum, 255), std::clamp(sum - 255, 0, 255),
                                         std::max(sum - 510, 0), 100);
    for (int32_t c = 0; c < 8; ++c)
        src[size_t(c * 7 + 1)] = MakePixel(c & 1 ? 255 : 0, c & 2 ? 255 : 0, c & 4 ? 255 : 0, 3);
    for (CpuLevel level : {CpuLevel::Base, CpuLevel::Avx2, CpuLevel::V4}) {
        if (!CpuRuns(level)) continue;
        for (bool selected : {false, true}) {
            // The scalar kernel's selected rule is the pixel rule itself.
            if (selected && level == CpuLevel::Base) continue;
            for (int32_t value = -100; value <= 100; ++value)
                for (int32_t n : {kRun, 3}) {
                    const uint8_t* s = selected ? strength.data() : nullptr;
                    SaturationRunOn(level, value, src.data(), s, out.data(), n);
                    for (int32_t i = 0; i < n; ++i)
                        ASSERT_EQ(out[size_t(i)],
                                  SaturationPixel(value, src[size_t(i)], s ? s[i] : -1))
                            << "level " << int(level) << " value " << value << " pixel " << i
                            << " selected " << selected;
                }
        }
    }
}

TEST(MixRunTest, StrengthsArePercentsFindsAnyByteOver100) {
    std::vector<uint8_t> s(37, 100);
    EXPECT_TRUE(StrengthsArePercents(s.data(), 37));
    for (size_t at : {size_t(0), size_t(17), size_t(36)})
        for (int bad : {101, 128, 255}) {
            s[at] = uint8_t(bad);
            EXPECT_FALSE(StrengthsArePercents(s.data(), 37)) << at << " " << bad;
            EXPECT_TRUE(StrengthsArePercents(s.data(), int32_t(at)));
            s[at] = 100;
        }
}

class MixPassTest : public AdjustTest {
protected:
    void SetUp() override { MakeDocument(53, 20); }
};

// Each pass on the kernels gives its per-pixel rule's words: no selection, a feathered one, and
// one whose bytes run past 100 (which the kernels leave to the rule).
TEST_F(MixPassTest, PassesOnTheKernelsGiveThePerPixelRule) {
    LevelsValues levels;
    levels.inBlack = 20, levels.inMiddle = 90, levels.outWhite = 230;
    Table256 curve{}, wild{};
    for (int v = 0; v < 256; ++v) {
        curve[size_t(v)] = 255 - v / 2;
        wild[size_t(v)] = 3 * v - 200;  // entries outside 0..255
    }
    const ChannelTables balance = BuildColorBalanceTables(40, -30, 20);
    const BrightnessContrastTable contrast = BuildBrightnessContrastTable(30, 40);
    struct Case {
        const char* name;
        std::function<int(HistoryManager&)> run;
        std::function<uint32_t(uint32_t p, int s)> rule;  // s is -1 without a selection
    };
    const Case cases[] = {
        {"Levels", [&](HistoryManager& h) { return ApplyLevels(h, levels); },
         [&](uint32_t p, int s) { return TransferPixel(BuildLevelsTable(levels), p, s); }},
        {"Curves", [&](HistoryManager& h) { return ApplyTransfer(h, curve, "Curves"); },
         [&](uint32_t p, int s) { return TransferPixel(curve, p, s); }},
        {"Curves past the ends",
         [&](HistoryManager& h) { return ApplyTransfer(h, wild, "Curves"); },
         [&](uint32_t p, int s) { return TransferPixel(wild, p, s); }},
        {"Color Balance", [](HistoryManager& h) { return ApplyColorBalance(h, 40, -30, 20); },
         [&](uint32_t p, int s) { return ChannelTablesPixel(balance, p, s < 0 ? 100 : s); }},
        {"Brightness/Contrast",
         [](HistoryManager& h) { return ApplyBrightnessContrast(h, 30, 40); },
         [&](uint32_t p, int s) { return BrightnessContrastPixel(contrast, p, s < 0 ? 100 : s); }},
        {"Invert", [](HistoryManager& h) { return ApplyInvert(h); },
         [](uint32_t p, int s) { return s < 0 ? InvertFull(p) : InvertPixel(p, s); }},
        {"Desaturate", [](HistoryManager& h) { return ApplyDesaturate(h); },
         [](uint32_t p, int s) { return s < 0 ? DesaturateFull(p) : DesaturatePixel(p, s); }},
        {"Saturation -70", [](HistoryManager& h) { return ApplySaturation(h, -70); },
         [](uint32_t p, int s) { return SaturationPixel(-70, p, s); }},
        {"Saturation 45", [](HistoryManager& h) { return ApplySaturation(h, 45); },
         [](uint32_t p, int s) { return SaturationPixel(45, p, s); }},
    };
    for (int selection : {0, 1, 2}) {
        if (layers->Selection()) SetSelection(*history, nullptr, kSelectionRemove);
        RandomLayer({1, 0, 52, 19});
        if (selection == 1) RandomSelection({0, 2, 50, 20});
        if (selection == 2) {
            Grid g = Canvas();
            for (auto& row : g)
                for (int& v : row) v = Rand(0, 3) == 0 ? Rand(101, 255) : Rand(0, 100);
            Select({0, 0, 53, 20}, g);
        }
        for (const Case& c : cases) {
            const Snapshot s = Take();
            ASSERT_EQ(c.run(*history), 1) << c.name;
            ExpectLayer(
                s.bounds, [&](int x, int y) { return c.rule(s.Old(x, y), s.S(x, y)); },
                std::string(c.name) + " selection " + std::to_string(selection));
            ASSERT_EQ(UndoRedo(*history), 1) << c.name;
        }
    }
}

// The Shadow/Highlight kernels against the scalar row on random rows: channels tied after the
// stretch (often at 0), blurred values of 0, tones at or below 0, transparent pixels under
// partial strengths, strengths past 100, and widths off the vector length. Nothing past the
// row is written.
TEST(ShadowHighlightRowTest, KernelsMatchTheScalarRow) {
    std::mt19937 rng(11);
    auto any = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Case {
        int toneLow, toneHigh;
        bool selection;
    };
    // Tones of 200 gain mostly by the cap of 1 and tones of 0 not at all: whole products
    // under a partial strength, where a rounding out of order shows.
    const Case cases[] = {{-200, 200, false}, {-200, 0, false}, {-200, 200, true},
                          {-200, 0, true},    {200, 200, true}, {0, 0, true}};
    for (CpuLevel level : {CpuLevel::Avx2, CpuLevel::V4}) {
        if (!CpuRuns(level)) continue;
        for (const Case& c : cases)
            for (int32_t w : {1, 15, 16, 17, 40, 333}) {
                const Table256 S = StretchTable({any(0, 100), any(100, 255)});
                Table256 T;
                for (int32_t& t : T) t = any(c.toneLow, c.toneHigh);
                const size_t n = size_t(w);
                std::vector<uint32_t> src(n), blurred(n);
                std::vector<uint8_t> strength(n);
                for (int32_t x = 0; x < w; ++x) {
                    const int base = any(0, 255);
                    auto ch = [&] { return any(0, 2) == 0 ? any(0, 255) : base; };
                    src[size_t(x)] = MakePixel(ch(), ch(), ch(), any(0, 3) == 0 ? 0 : any(1, 100));
                    auto bl = [&] { return any(0, 3) == 0 ? 0 : any(0, 255); };
                    blurred[size_t(x)] = MakePixel(bl(), bl(), bl(), 100);
                    const int pick = any(0, 4);
                    strength[size_t(x)] = uint8_t(pick == 0   ? 0
                                                  : pick == 1 ? 100
                                                  : pick == 2 ? 255
                                                              : any(1, 99));
                }
                const uint8_t* s = c.selection ? strength.data() : nullptr;
                std::vector<uint32_t> want(n), got(n + 16, 0xdeadbeefu);
                ShadowHighlightRowOn(CpuLevel::Base, S, T, src.data(), blurred.data(), s, w,
                                     want.data());
                ShadowHighlightRowOn(level, S, T, src.data(), blurred.data(), s, w, got.data());
                for (int32_t x = 0; x < w + 16; ++x)
                    ASSERT_EQ(got[size_t(x)], x < w ? want[size_t(x)] : 0xdeadbeefu)
                        << "level " << int(level) << " tones " << c.toneLow << ".." << c.toneHigh
                        << " selection " << c.selection << " width " << w << " x " << x;
            }
    }
}

}  // namespace
}  // namespace zelvo::test
