// Image > Adjustments > Levels: a piecewise linear transfer table, the middle handle's
// reading, and the sampled histogram the dialog draws (Shadow/Highlight samples it too).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "adjust/AdjustPass.h"
#include "adjust/Adjustments.h"
#include "adjust/MixRuns.h"
#include "core/RowBands.h"
#include "platform/Messages.h"
#include "store/RowPlanReader.h"

namespace zelvo {

Table256 BuildLevelsTable(const LevelsValues& l) {
    Table256 t{};
    const double mid = (l.outBlack + l.outWhite) / 2.0;
    for (int v = 0; v < 256; ++v) {
        double o;
        if (v < l.inBlack)
            o = l.outBlack;
        else if (v > l.inWhite)
            o = l.outWhite;
        else if (v <= l.inMiddle)
            o = l.inMiddle > l.inBlack
                    ? l.outBlack + (v - l.inBlack) * (mid - l.outBlack) / (l.inMiddle - l.inBlack)
                    : mid;
        else
            o = l.inWhite > l.inMiddle
                    ? mid + (v - l.inMiddle) * (l.outWhite - mid) / (l.inWhite - l.inMiddle)
                    : l.outWhite;
        t[size_t(v)] = Clamp255(o);
    }
    return t;
}

std::string LevelsMiddleReading(int32_t black, int32_t middle, int32_t white) {
    const double f = white > black ? double(middle - black) / (white - black) : 0.5;
    double r;
    if (f < 0.49)
        r = (0.5 - f) * 18 + 1;
    else if (f <= 0.51)
        r = 1;
    else
        r = (1 - f) * 2;
    return Format("%0.2f", r);
}

uint32_t TransferPixel(const Table256& t, uint32_t p, int32_t s) {
    if (s == 0) return p;
    const int b = ChB(p), g = ChG(p), r = ChR(p);
    if (s < 0) return MakePixel(t[size_t(b)], t[size_t(g)], t[size_t(r)], ChA(p));
    auto ch = [&](int v) { return Clamp255(v + (t[size_t(v)] - v) * s / 100); };
    return MakePixel(ch(b), ch(g), ch(r), ChA(p));
}

int ApplyTransfer(HistoryManager& history, const Table256& t, const std::string& name) {
    // A table with entries outside 0..255 is clamped after the mix, not before: such a table,
    // and strengths above 100, keep the per-pixel rule.
    const bool bytes =
        std::all_of(t.begin(), t.end(), [](int32_t v) { return v >= 0 && v <= 255; });
    std::array<uint8_t, 256> t8{};
    for (size_t v = 0; v < 256; ++v) t8[v] = uint8_t(t[v]);
    return RunRowAdjustment(history, name,
                            [&](const uint32_t* src, const uint8_t* s, uint32_t* dst, int32_t n) {
                                if (!bytes || (s && !StrengthsArePercents(s, n))) {
                                    for (int32_t i = 0; i < n; ++i)
                                        dst[i] = TransferPixel(t, src[i], s ? s[i] : -1);
                                    return;
                                }
                                ChannelTableRun(src, t8.data(), t8.data(), t8.data(), dst, n);
                                if (s) MixRun(src, dst, s, dst, n, false);
                            });
}

int ApplyLevels(HistoryManager& history, const LevelsValues& v) {
    if (v == LevelsValues{}) return 0;  // OK without a change applies nothing
    return ApplyTransfer(history, BuildLevelsTable(v), "Levels");
}

int32_t HistogramRowStep(int32_t w, int32_t h) {
    if (w > 512) return w / 512;
    if (h > 512) return h / 512;
    return 1;
}

namespace {
void CountRow(const uint32_t* line, int32_t w, std::array<int64_t, 256>& c) {
    for (int32_t x = 0; x < w; ++x) {
        ++c[size_t(ChR(line[x]))];
        ++c[size_t(ChG(line[x]))];
        ++c[size_t(ChB(line[x]))];
    }
}
}  // namespace

std::array<int64_t, 256> SampledHistogram(const std::vector<uint32_t>& px, int32_t w, int32_t h) {
    std::array<int64_t, 256> c{};
    const int32_t step = HistogramRowStep(w, h);
    // Rows are taken in stored order, bottom row first.
    for (int32_t row = 0; row < h; row += step)
        CountRow(&px[size_t(h - 1 - row) * size_t(w)], w, c);
    return c;
}

std::array<int64_t, 256> LayerHistogram(const Layer& layer) {
    std::array<int64_t, 256> c{};
    if (!layer.HasPixels() || layer.BitsPerPixel() != 32) return c;
    const int32_t w = layer.Width(), h = layer.Height();
    const int32_t step = HistogramRowStep(w, h);
    const int32_t samples = (h + step - 1) / step;
    // Counted in bands of the sampled rows on every core, each through its own small window:
    // one reader growing a large window alone was most of Shadow/Highlight's serial time.
    // Sums of counts are the same whatever the bands.
    const uint64_t window = BandWindowBytes(RowBandCount(samples, kLeastBandRows));
    std::mutex sumLock;
    ForEachRowBand(samples, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        // Only the sampled rows are read.
        std::vector<uint32_t> plan;
        for (int32_t i = first; i < end; ++i) plan.push_back(uint32_t(i * step));
        RowPlanReader rows(layer.Store(), layer.Block(), layer.RowsOffset(), layer.Stride(),
                           uint32_t(h), std::move(plan), 0, layer.Stride(), window);
        std::array<int64_t, 256> part{};
        std::vector<uint32_t> line(static_cast<size_t>(w));
        for (int32_t i = first; i < end; ++i) {
            const uint8_t* src = rows.Row(uint32_t(i * step));
            if (!src) break;  // what could be read is counted
            std::memcpy(line.data(), src, 4 * size_t(w));
            CountRow(line.data(), w, part);
        }
        const std::lock_guard<std::mutex> hold(sumLock);
        for (size_t v = 0; v < 256; ++v) c[v] += part[v];
    });
    return c;
}

std::array<int32_t, 256> HistogramBars(const std::array<int64_t, 256>& counts) {
    std::array<int32_t, 256> bars{};
    int64_t total = 0;
    for (int64_t c : counts) total += c;
    if (total == 0) return bars;
    const double average = double(total) / 256;
    for (size_t i = 0; i < 256; ++i)
        bars[i] = int32_t(std::min(double(counts[i]) / average * 40, 80.0));
    return bars;
}

}  // namespace zelvo
