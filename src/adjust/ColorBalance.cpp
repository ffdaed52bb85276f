// Image > Adjustments > Color Balance: each channel goes through a table built from an offset
// curve, a Bezier sampled by the stepped search.
#include <algorithm>

#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/BezierSearch.h"
#include "adjust/MixRuns.h"

namespace zelvo {

Table256 OffsetCurve(int32_t amount) {
    Table256 o{};
    if (amount <= 0) return o;
    const double a = amount > 200 ? 200 : amount;
    double x1, y1;
    if (a <= 100) {
        const double s = a / 100;
        x1 = 142 - 64 * s;
        y1 = 77 * s;
    } else {
        const double s = (a - 100) / 100;
        x1 = 78 - 25 * s;
        y1 = 77 + 71 * s;
    }
    const Bezier c{{0, x1, 202, 257}, {0, y1, 0, 0}};
    SteppedSearch(c, 0, 255,
                  [&o](int32_t i, double y) { o[size_t(i)] = int32_t(std::clamp(y, 0.0, 200.0)); });
    return o;
}

namespace {
std::array<uint8_t, 256> BalanceTable(int32_t a) {
    const Table256 o = OffsetCurve(a < 0 ? -a : a);
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        t[size_t(v)] = uint8_t(a > 0 ? Clamp255(v + o[size_t(v)]) : Clamp255(v - o[size_t(v)]));
    return t;
}
}  // namespace

ChannelTables BuildColorBalanceTables(int32_t vR, int32_t vG, int32_t vB) {
    const int32_t m = std::max({vR, vG, vB}) + std::min({vR, vG, vB});
    ChannelTables t;
    t.r = BalanceTable(2 * vR - m);
    t.g = BalanceTable(2 * vG - m);
    t.b = BalanceTable(2 * vB - m);
    return t;
}

uint32_t ChannelTablesPixel(const ChannelTables& t, uint32_t p, int32_t s) {
    if (s <= 0) return p;
    const int b = ChB(p), g = ChG(p), r = ChR(p);
    return MakePixel(StrengthMix(b, t.b[size_t(b)], s), StrengthMix(g, t.g[size_t(g)], s),
                     StrengthMix(r, t.r[size_t(r)], s), ChA(p));
}

int ApplyColorBalance(HistoryManager& history, int32_t vR, int32_t vG, int32_t vB) {
    if (vR == 0 && vG == 0 && vB == 0) return 0;  // OK without a change applies nothing
    const ChannelTables t = BuildColorBalanceTables(vR, vG, vB);
    // Without a selection every pixel is mixed at 100, which gives the table's value itself.
    return RunRowAdjustment(history, "Color Balance",
                            [&t](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
                                if (s && !StrengthsArePercents(s, n)) {
                                    for (int32_t i = 0; i < n; ++i)
                                        dst[i] = ChannelTablesPixel(t, src[i], s[i]);
                                    return;
                                }
                                ChannelTableRun(src, t.b.data(), t.g.data(), t.r.data(), dst, n);
                                if (s) MixRun(src, dst, s, dst, n, false);
                            });
}

}  // namespace zelvo
