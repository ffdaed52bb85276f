#include "paint/Gradient.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/Limits.h"
#include "core/RowBands.h"
#include "history/HistoryManager.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "paint/Stroke.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "selection/SelectionMask.h"

namespace zelvo {

std::vector<double> GradientEasing(int64_t n, int64_t count) {
    n = std::max<int64_t>(1, n);
    std::vector<double> table(size_t(std::clamp<int64_t>(count, 1, n)));
    const double x1 = 2.0 * n / 5, x2 = 3.0 * n / 5, x3 = n;
    auto bx = [&](double t) {
        const double u = 1 - t;
        return 3 * u * u * t * x1 + 3 * u * t * t * x2 + t * t * t * x3;
    };
    auto by = [](double t) { return 3 * (1 - t) * t * t + t * t * t; };
    for (size_t i = 0; i < table.size(); ++i) {
        // x(t) rises monotonically: the t where it reaches i by halving.
        double lo = 0, hi = 1;
        for (int k = 0; k < 50; ++k) {
            const double mid = (lo + hi) / 2;
            (bx(mid) < double(i) ? lo : hi) = mid;
        }
        table[i] = by((lo + hi) / 2);
    }
    return table;
}

GradientShader::GradientShader(const GradientFill& g, double reach) : m_g(g) {
    const double dx = g.end.x - g.start.x, dy = g.end.y - g.start.y;
    const double len = std::hypot(dx, dy);
    if (len > 0) {
        m_d = len;
        m_ux = dx / len;
        m_uy = dy / len;
    }
    m_d2 = len > 0 ? int64_t(g.end.x - g.start.x) * (g.end.x - g.start.x) +
                         int64_t(g.end.y - g.start.y) * (g.end.y - g.start.y)
                   : 1;
    m_opacity = std::clamp(g.opacity, 0, 100);
    const int64_t n = int64_t(std::floor(g.type == GradientType::Reflected ? m_d / 2 : m_d)) + 1;
    // Indexes are whole parts of distances from the start: at most floor(reach).
    const int64_t needed = reach < double(INT64_MAX / 2) ? int64_t(reach) + 2 : INT64_MAX;
    m_easing = GradientEasing(n, needed);
    m_start = Word(0);
    m_end = Word(1);
    m_eased.reserve(m_easing.size());
    for (double e : m_easing) m_eased.push_back(Word(e));
    if (g.type == GradientType::Reflected) {
        m_back.reserve(m_easing.size());
        for (double e : m_easing) m_back.push_back(Word(1 - e));
    }
    m_words.reserve(2 + m_eased.size() + m_back.size());
    m_words.push_back(m_start);
    m_words.push_back(m_end);
    m_words.insert(m_words.end(), m_eased.begin(), m_eased.end());
    m_words.insert(m_words.end(), m_back.begin(), m_back.end());
}

void GradientShader::Colour(double t, uint8_t out[4]) const {
    const GradientFill& g = m_g;
    const int o = m_opacity;
    const uint8_t fb = BlueOf(g.foreground), fg = GreenOf(g.foreground), fr = RedOf(g.foreground);
    switch (g.colors) {
        case GradientColors::ForeToBack: {
            auto mix = [&](uint8_t s, uint8_t e) { return uint8_t(e * t + s * (1 - t)); };
            out[0] = mix(fb, BlueOf(g.background));
            out[1] = mix(fg, GreenOf(g.background));
            out[2] = mix(fr, RedOf(g.background));
            out[3] = uint8_t(o);
            break;
        }
        case GradientColors::ForeToTransparent:
        case GradientColors::TransparentToFore:
            out[0] = fb;
            out[1] = fg;
            out[2] = fr;
            out[3] = uint8_t(o * (g.colors == GradientColors::ForeToTransparent ? 1 - t : t));
            break;
    }
}

uint32_t GradientShader::Word(double t) const {
    uint8_t px[4];
    Colour(t, px);
    uint32_t w;
    std::memcpy(&w, px, 4);
    return w;
}

void GradientShader::Pixel(int32_t x, int32_t y, uint8_t out[4]) const {
    const GradientFill& g = m_g;
    const double d = m_d;
    const double px = x - g.start.x, py = y - g.start.y;
    double t = 0;  // 0 the start colour, 1 the end colour
    switch (g.type) {
        case GradientType::Linear: {
            const double along = px * m_ux + py * m_uy;
            const double a = std::abs(along), b = std::abs(d - along);
            if (a > d || b > d)
                t = b <= a ? 1 : 0;
            else
                t = Ease(a);
            break;
        }
        case GradientType::Radial: {
            const double a = std::hypot(px, py);
            t = a >= d ? 1 : Ease(a);
            break;
        }
        case GradientType::Reflected: {
            const double a = px * m_ux + py * m_uy, h = d / 2;
            if (a < 0 || a > d)
                t = 0;
            else
                t = a < h ? Ease(a) : 1 - Ease(a - h);
            break;
        }
    }
    Colour(t, out);
}

namespace {

// Pixels shaded per call of the run kernels: their entry codes stay in the first-level cache.
constexpr int32_t kRunPixels = 512;

// The kernels below keep the formulas' order of operations per pixel (a product, then a sum:
// the library is built without fused multiply-adds), so every lane rounds as Pixel does. An
// entry code is 0 for the start word, 1 for the end word, 2 + i for easing entry i (and, for
// the reflected ramp, 2 + `backFrom` + i for its falling half). For a >= 0 the truncation of
// min(a, last) is the entry min(floor(a), last) that Pixel looks up.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void LinearRun(
    double px, double ux, double c, double d, double last, const uint32_t* __restrict words,
    int32_t n, uint8_t* __restrict out) {
    int32_t code[kRunPixels];
    for (int32_t i = 0; i < n; ++i) {
        const double along = (px + double(i)) * ux + c;
        const double a = std::fabs(along), b = std::fabs(d - along);
        const int32_t inside = 2 + int32_t(std::min(a, last));
        // Selects written so that the compiler runs many pixels at once.
        const int32_t edge = b <= a ? 1 : 0;
        const int32_t near = a > d ? edge : inside;
        code[i] = b > d ? edge : near;
    }
    for (int32_t i = 0; i < n; ++i) std::memcpy(out + 4 * size_t(i), &words[code[i]], 4);
}

__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void ReflectedRun(
    double px, double ux, double c, double d, double h, double last, int32_t backFrom,
    const uint32_t* __restrict words, int32_t n, uint8_t* __restrict out) {
    int32_t code[kRunPixels];
    for (int32_t i = 0; i < n; ++i) {
        const double a = (px + double(i)) * ux + c;
        // Clamped at 0 too, so that the codes of pixels off the line stay in range.
        const int32_t rising = 2 + int32_t(std::max(0.0, std::min(a, last)));
        const int32_t falling = 2 + backFrom + int32_t(std::max(0.0, std::min(a - h, last)));
        const bool off = (a < 0) | (a > d);
        code[i] = off ? 0 : (a < h ? rising : falling);
    }
    for (int32_t i = 0; i < n; ++i) std::memcpy(out + 4 * size_t(i), &words[code[i]], 4);
}

}  // namespace

void GradientShader::Row(int32_t y, int32_t left, int32_t right, uint8_t* out) const {
    const GradientFill& g = m_g;
    const double d = m_d;
    const size_t last = m_easing.size() - 1;
    const double py = y - g.start.y;
    // px runs through whole numbers, which the additions keep exact.
    double px = left - g.start.x;
    // Entry codes are 32-bit: a table that long (never made in practice) takes the formulas.
    const bool coded = m_words.size() < size_t(INT32_MAX);
    switch (g.type) {
        case GradientType::Linear:
        case GradientType::Reflected: {
            const double c = py * m_uy;
            if (!coded) break;
            for (int32_t x = left; x < right;) {
                const int32_t n = std::min(kRunPixels, right - x);
                if (g.type == GradientType::Linear)
                    LinearRun(px, m_ux, c, d, double(last), m_words.data(), n, out);
                else
                    ReflectedRun(px, m_ux, c, d, d / 2, double(last), int32_t(m_eased.size()),
                                 m_words.data(), n, out);
                x += n;
                px += n;
                out += 4 * size_t(n);
            }
            return;
        }
        case GradientType::Radial:
            break;
    }
    if (g.type != GradientType::Radial) {
        uint8_t p[4];
        for (int32_t x = left; x < right; ++x, out += 4) {
            Pixel(x, y, p);
            std::memcpy(out, p, 4);
        }
        return;
    }
    auto put = [&out](uint32_t w) {
        std::memcpy(out, &w, 4);
        out += 4;
    };
    // Radial: the distance's whole part is the integer square root of px² + py², kept up to
    // date from pixel to pixel. The rounded distance can differ from it only where the square
    // is a perfect one or equals the line's; there the distance itself decides.
    const int64_t iy = int64_t(y) - g.start.y;
    int64_t ix = int64_t(left) - g.start.x;
    constexpr int64_t kFar = int64_t(1) << 30;
    if (std::abs(iy) >= kFar || std::abs(ix) >= kFar || std::abs(ix + (right - left)) >= kFar) {
        uint8_t p[4];
        for (int32_t x = left; x < right; ++x, out += 4) {
            Pixel(x, y, p);
            std::memcpy(out, p, 4);
        }
        return;
    }
    int64_t n = ix * ix + iy * iy;
    int64_t k = int64_t(std::sqrt(double(n)));
    for (int32_t x = left; x < right; ++x, px += 1, n += 2 * ix + 1, ++ix) {
        while ((k + 1) * (k + 1) <= n) ++k;
        while (k * k > n) --k;
        if (n > m_d2) {
            put(m_end);
        } else if (n == m_d2 || k * k == n) {
            const double a = std::hypot(px, py);
            put(a >= d ? m_end : m_eased[EaseIndex(a)]);
        } else {
            put(m_eased[std::min(last, size_t(k))]);
        }
    }
}

namespace {

// Row y of a gradient edit over `area`: the gradient alone, or the old pixels (transparent off
// the old layer's `old` part) with the gradient over them through the mask. False when a row
// cannot be read or written.
bool GradientRow(const GradientShader& shader, int32_t y, const Rect& area, const Layer& fresh,
                 RowWriter& out, const Layer& layer, const Rect& old, RowReader* oldRows,
                 const Layer* mask, const Rect& mb, RowReader* maskRows,
                 std::vector<uint32_t>& words) {
    uint8_t* row = out.Row(uint32_t(fresh.StoredRowOf(y)));
    if (!row) return false;
    if (words.empty()) {
        shader.Row(y, area.left, area.right, row);
        return true;
    }
    const Rect lb = layer.Bounds();
    const int32_t w = area.Width();
    shader.Row(y, area.left, area.right, words.data());
    if (y >= old.top && y < old.bottom) {
        const uint8_t* src = oldRows->Row(uint32_t(layer.StoredRowOf(y)));
        if (!src) return false;
        std::memset(row, 0, 4 * size_t(old.left - area.left));
        std::memcpy(row + 4 * size_t(old.left - area.left), src + 4 * size_t(old.left - lb.left),
                    4 * size_t(old.Width()));
        std::memset(row + 4 * size_t(old.right - area.left), 0, 4 * size_t(area.right - old.right));
    } else {
        std::memset(row, 0, 4 * size_t(w));
    }
    const uint8_t* mrow = nullptr;
    if (mask && y >= mb.top && y < mb.bottom) {
        mrow = maskRows->Row(uint32_t(mask->StoredRowOf(y)));
        if (!mrow) return false;
    }
    for (int32_t x = area.left; x < area.right; ++x) {
        int m = 100;
        if (mask) m = mrow && x >= mb.left && x < mb.right ? mrow[x - mb.left] : 0;
        if (m == 0) continue;
        uint8_t gp[4];
        std::memcpy(gp, &words[size_t(x - area.left)], 4);
        int l = gp[3];
        if (m < 100) l = l * m / 100;
        uint8_t* p = row + 4 * size_t(x - area.left);
        const int a = p[3];
        if (l >= 100 || a == 0) {
            p[0] = gp[0];
            p[1] = gp[1];
            p[2] = gp[2];
            p[3] = uint8_t(l);
        } else {
            for (int i = 0; i < 3; ++i) p[i] = uint8_t((l * gp[i] + (100 - l) * p[i]) / 100);
            p[3] = uint8_t(l + (100 - l) * a / 100);
        }
    }
    return true;
}

}  // namespace

int ApplyGradient(HistoryManager& history, const GradientFill& g) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = lm.CurrentLayer();
    if (!layer) return 0;
    if (layer->Kind() == LayerKind::Text || layer->Kind() == LayerKind::Curve) {
        AppMessages().Show("This layer must be rasterized before proceeding!");
        return 0;
    }
    const Rect canvas = CanvasRect(lm);
    const LayerPtr mask = lm.Selection();
    const bool pixels = layer->Kind() == LayerKind::Pixel && layer->HasPixels();
    const Rect lb = pixels ? layer->Bounds() : Rect{};
    Rect area = mask ? lb.Union(mask->Bounds().Intersect(canvas)) : lb.Union(canvas);
    if (int64_t(area.Width()) * int64_t(area.Height()) > kMaxLayerPixels) {
        AppMessages().Show(kWillBeCutMessage);
        area = area.Intersect(canvas);
    }
    if (area.IsEmpty()) return 0;
    // The furthest pixel of the area from the start point.
    double reach = 0;
    for (int32_t x : {area.left, area.right - 1})
        for (int32_t y : {area.top, area.bottom - 1})
            reach = std::max(reach, std::hypot(double(x) - g.start.x, double(y) - g.start.y));
    const GradientShader shader(g, reach + 1);
    // Without a selection an opaque gradient replaces every pixel: the old ones are not read.
    const bool replace = !mask && shader.Opaque();

    // Every row of the new layer is written whole below, so its block is neither cleared nor
    // copied into first.
    PixelEdit edit(lm, history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 0);
    if (!fresh) return 0;
    const Rect old = replace ? Rect{} : lb.Intersect(area);
    const Rect mb = mask ? mask->Bounds() : Rect{};
    const int32_t w = area.Width(), h = area.Height();
    const uint64_t window =
        BandWindowBytes(RowCursor::kDefaultWindowBytes, RowBandCount(h, kLeastBandRows));
    std::atomic<bool> failed{false};
    std::atomic<int32_t> done{0};
    ProgressRun progress(4);
    int32_t stepped = 0;
    const int32_t quarter = std::max(1, h / 4);
    ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool caller) {
        // The new rows go to the file by pwrite and the old ones come by pread, each band
        // through its own: a mapped window would pay a page fault (and, on fresh space, a
        // cleared page) for every 4 KiB.
        const std::unique_ptr<RowWriter> out = OpenRowWriter(*fresh, window);
        const std::unique_ptr<RowReader> maskRows = mask ? OpenRowReader(*mask, window) : nullptr;
        const std::unique_ptr<RowReader> oldRows =
            old.IsEmpty() ? nullptr : OpenRowReader(*layer, window);
        if (!out || (mask && !maskRows) || (!old.IsEmpty() && !oldRows)) {
            failed = true;
            return;
        }
        std::vector<uint32_t> words(replace ? 0 : size_t(w), 0u);
        for (int32_t y = area.top + first; y < area.top + end; ++y) {
            if (failed.load(std::memory_order_relaxed) ||
                !GradientRow(shader, y, area, *fresh, *out, *layer, old, oldRows.get(), mask.get(),
                             mb, maskRows.get(), words)) {
                failed = true;
                break;
            }
            const int32_t all = done.fetch_add(1, std::memory_order_relaxed) + 1;
            for (; caller && (stepped + 1) * quarter <= std::min(all, h - 1); ++stepped)
                progress.Step();
        }
        if (!out->Flush()) failed = true;
    });
    if (failed) return edit.CommitLayerEdit(0), 0;
    static const char* const names[] = {"Linear Gradient", "Radial Gradient", "Reflected Gradient"};
    return edit.CommitLayerEdit(1, names[int(g.type)]);
}

}  // namespace zelvo
