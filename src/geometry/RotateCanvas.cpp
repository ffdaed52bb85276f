#include "geometry/RotateCanvas.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "core/CpuLevel.h"
#include "core/RowBands.h"
#include "geometry/RebuildCanvas.h"
#include "platform/Feedback.h"
#include "store/FileDynamicStore.h"
#include "store/RowWriter.h"

namespace zelvo {

namespace {

// Quarter turns, in stored rows (bottom-up) on both sides: clockwise, output row o holds source
// column w - 1 - o with source row x at position x; counterclockwise, output row o holds source
// column o with source row h - 1 - x at position x.
struct TurnSource {
    const uint8_t* rows = nullptr;  // stored row 0
    size_t stride = 0;
    int32_t w = 0, h = 0;
    bool clockwise = false;

    const uint32_t* Row(int32_t r) const {
        return reinterpret_cast<const uint32_t*>(rows + size_t(r) * stride);
    }
    uint32_t Pixel(int32_t o, int32_t x) const {
        return clockwise ? Row(x)[w - 1 - o] : Row(h - 1 - x)[o];
    }
};

using V4 = uint32_t __attribute__((vector_size(16)));
using V8 = uint32_t __attribute__((vector_size(32)));
using V16 = uint32_t __attribute__((vector_size(64)));
using M4 = int32_t __attribute__((vector_size(16)));
using M8 = int32_t __attribute__((vector_size(32)));
using M16 = int32_t __attribute__((vector_size(64)));

// d[j][i] = s[i][j] for an N x N tile, N the lanes of V: log2(N) rounds of interleaving row k
// with row k + N / 2 turn rows into columns. Inlined into each target's function, so the same
// text becomes SSE2 or AVX-512 code.
template <typename V, typename M>
[[gnu::always_inline]] inline void TransposeTile(const uint32_t* const* s, uint32_t* const* d) {
    constexpr int N = int(sizeof(V) / 4);
    // Lanes 0, N, 1, N + 1, ... of the pair, and the same from the middle on.
    M lo, hi;
    if constexpr (N == 4) {
        lo = M{0, 4, 1, 5};
        hi = M{2, 6, 3, 7};
    } else {
        lo = M{0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23};
        hi = M{8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31};
    }
    V r[N];
    for (int i = 0; i < N; ++i) std::memcpy(&r[i], s[i], sizeof(V));
    for (int round = N; round > 1; round /= 2) {
        V t[N];
        for (int k = 0; k < N / 2; ++k) {
            t[2 * k] = __builtin_shuffle(r[k], r[k + N / 2], lo);
            t[2 * k + 1] = __builtin_shuffle(r[k], r[k + N / 2], hi);
        }
        for (int i = 0; i < N; ++i) r[i] = t[i];
    }
    for (int i = 0; i < N; ++i) std::memcpy(d[i], &r[i], sizeof(V));
}

// The 8 x 8 tile for AVX2, whose shuffles stay inside 128-bit halves but one: interleave words
// of row pairs, then double words of those, then swap halves across.
template <>
[[gnu::always_inline]] inline void TransposeTile<V8, M8>(const uint32_t* const* s,
                                                         uint32_t* const* d) {
    const M8 lo32{0, 8, 1, 9, 4, 12, 5, 13}, hi32{2, 10, 3, 11, 6, 14, 7, 15};
    const M8 lo64{0, 1, 8, 9, 4, 5, 12, 13}, hi64{2, 3, 10, 11, 6, 7, 14, 15};
    const M8 front{0, 1, 2, 3, 8, 9, 10, 11}, back{4, 5, 6, 7, 12, 13, 14, 15};
    V8 r[8], t[8], u[8];
    for (int i = 0; i < 8; ++i) std::memcpy(&r[i], s[i], sizeof(V8));
    for (int k = 0; k < 8; k += 2) {
        t[k] = __builtin_shuffle(r[k], r[k + 1], lo32);
        t[k + 1] = __builtin_shuffle(r[k], r[k + 1], hi32);
    }
    // u[0..3] hold columns (0, 4), (1, 5), (2, 6), (3, 7) of rows 0-3; u[4..7] of rows 4-7.
    for (int k = 0; k < 8; k += 4) {
        u[k] = __builtin_shuffle(t[k], t[k + 2], lo64);
        u[k + 1] = __builtin_shuffle(t[k], t[k + 2], hi64);
        u[k + 2] = __builtin_shuffle(t[k + 1], t[k + 3], lo64);
        u[k + 3] = __builtin_shuffle(t[k + 1], t[k + 3], hi64);
    }
    for (int j = 0; j < 4; ++j) {
        r[j] = __builtin_shuffle(u[j], u[j + 4], front);
        r[j + 4] = __builtin_shuffle(u[j], u[j + 4], back);
    }
    for (int i = 0; i < 8; ++i) std::memcpy(d[i], &r[i], sizeof(V8));
}

// Output rows [o0, o1) into `out` (row o at out + (o - o0) x h), by N x N tiles: the source is
// taken a run of rows at a time, and each run goes to every group of N output rows before the
// next, so that a source row's page is looked up once per band and not once per group, while
// the run's lines stay in cache from one group to the next.
template <typename V, typename M>
[[gnu::always_inline]] inline void TurnBandWith(const TurnSource& g, int32_t o0, int32_t o1,
                                                uint32_t* out) {
    constexpr int32_t N = int32_t(sizeof(V) / 4);
    constexpr int32_t kRun = 64;  // a multiple of every N
    const int32_t h = g.h;
    auto line = [&](int32_t o) { return out + size_t(o - o0) * size_t(h); };
    // The band's columns of source row `x`'s stored row: each row is a page of its own, which
    // the hardware does not fetch ahead, so the next run's lines are asked for one run early.
    const int32_t firstColumn = g.clockwise ? g.w - o1 : o0;
    const size_t bandBytes = 4 * size_t(o1 - o0);
    auto prefetchRow = [&](int32_t x) {
        const uint8_t* p =
            reinterpret_cast<const uint8_t*>(g.Row(g.clockwise ? x : h - 1 - x) + firstColumn);
        for (size_t b = 0; b < bandBytes; b += 64) __builtin_prefetch(p + b);
    };
    for (int32_t x0 = 0; x0 < h; x0 += kRun) {
        const int32_t x1 = std::min(h, x0 + kRun);
        for (int32_t x = x0 + kRun; x < std::min(h, x1 + kRun); ++x) prefetchRow(x);
        int32_t ob = o0;
        for (; ob + N <= o1; ob += N) {
            int32_t x = x0;
            for (; x + N <= x1; x += N) {
                const uint32_t* s[N];
                uint32_t* d[N];
                for (int32_t i = 0; i < N; ++i) {
                    if (g.clockwise) {
                        s[i] = g.Row(x + i) + (g.w - N - ob);
                        d[i] = line(ob + N - 1 - i) + x;
                    } else {
                        s[i] = g.Row(h - 1 - x - i) + ob;
                        d[i] = line(ob + i) + x;
                    }
                }
                TransposeTile<V, M>(s, d);
            }
            for (; x < x1; ++x)
                for (int32_t o = ob; o < ob + N; ++o) line(o)[x] = g.Pixel(o, x);
        }
        for (; ob < o1; ++ob)
            for (int32_t x = x0; x < x1; ++x) line(ob)[x] = g.Pixel(ob, x);
    }
}

void TurnBandSse2(const TurnSource& g, int32_t o0, int32_t o1, uint32_t* out) {
    TurnBandWith<V4, M4>(g, o0, o1, out);
}
__attribute__((target("avx2"))) void TurnBandAvx2(const TurnSource& g, int32_t o0, int32_t o1,
                                                  uint32_t* out) {
    TurnBandWith<V8, M8>(g, o0, o1, out);
}
__attribute__((target("arch=x86-64-v4"))) void TurnBandAvx512(const TurnSource& g, int32_t o0,
                                                              int32_t o1, uint32_t* out) {
    TurnBandWith<V16, M16>(g, o0, o1, out);
}

using TurnBandFn = void (*)(const TurnSource&, int32_t, int32_t, uint32_t*);

TurnBandFn TurnBandFor(CpuLevel level) {
    if (!CpuRuns(level)) return nullptr;
    switch (level) {
        case CpuLevel::Avx512Vbmi:
        case CpuLevel::V4:
            return TurnBandAvx512;
        case CpuLevel::Avx2:
            return TurnBandAvx2;
        default:
            return TurnBandSse2;
    }
}

// The source block's rows mapped read-only, whole: a turn reads every source row once per
// group of output rows, and a read fault maps a run of resident pages at once, where copying
// the rows out would cost a copy of the layer per band. Read-only, it can never change a
// pinned block.
class ReadOnlyRows {
public:
    explicit ReadOnlyRows(const Layer& layer) {
        const FileDynamicStore& store = layer.Store();
        const FileDynamicStore::Span p = store.Payload(layer.Block());
        const uint64_t length = uint64_t(layer.Stride()) * uint64_t(layer.Height());
        if (p.length < layer.RowsOffset() || p.length - layer.RowsOffset() < length) return;
        const uint64_t offset = p.offset + layer.RowsOffset();
        if (offset + length > store.FileBytes()) return;
        const FileDynamicStore::Window win = store.MapWindow(offset, length);
        const int fd = store.FileHandle();
        if (fd < 0) return;
        void* v = mmap(nullptr, win.viewLength, PROT_READ, MAP_SHARED, fd, off_t(win.viewOffset));
        if (v == MAP_FAILED) return;
        m_base = static_cast<uint8_t*>(v);
        m_length = win.viewLength;
        m_rows = m_base + win.delta;
    }
    ~ReadOnlyRows() {
        if (m_base) munmap(m_base, m_length);
    }
    ReadOnlyRows(const ReadOnlyRows&) = delete;
    ReadOnlyRows& operator=(const ReadOnlyRows&) = delete;
    const uint8_t* Rows() const { return m_rows; }

private:
    uint8_t* m_base = nullptr;
    size_t m_length = 0;
    const uint8_t* m_rows = nullptr;
};

// Writes `count` whole rows of `layer` from `rows` by pwrite: the new block is never mapped, so
// none of its pages faults.
bool WriteRows(Layer& layer, int32_t first, int32_t count, const uint32_t* rows) {
    FileDynamicStore& store = layer.Store();
    const FileDynamicStore::Span p = store.Payload(layer.Block());
    const uint64_t offset = p.offset + layer.RowsOffset() + uint64_t(first) * layer.Stride();
    const uint64_t length = uint64_t(count) * layer.Stride();
    if (offset + length > p.offset + p.length) return false;
    return WriteStoreBytes(store, offset, reinterpret_cast<const uint8_t*>(rows), length);
}

// Flips and the half turn: each output row is one source row, reversed or not, gathered in a
// band of whole rows and written as one run.
bool TurnRows(Layer& src, Layer& dst, int code, size_t bandBytes) {
    const int32_t w = src.Width(), h = src.Height();
    const bool mirror = code == kRotate180 || code == kFlipHorizontal;
    const bool upsideDown = code == kRotate180 || code == kFlipVertical;
    if (src.Stride() != 4 * uint32_t(w) || dst.Stride() != 4 * uint32_t(w)) return false;
    const ReadOnlyRows rows(src);
    if (!rows.Rows()) return false;
    constexpr int32_t kMostBandRows = 64;
    const int32_t band =
        int32_t(std::clamp<size_t>(bandBytes / (4 * size_t(w)), 1, size_t(kMostBandRows)));
    std::atomic<bool> ok{true};
    ForEachRowBand(h, kLeastBandRows, [&](int32_t from, int32_t to, bool) {
        std::unique_ptr<uint32_t[]> buffer(new (std::nothrow) uint32_t[size_t(band) * size_t(w)]);
        if (!buffer) {
            ok = false;
            return;
        }
        for (int32_t r0 = from; r0 < to && ok; r0 += band) {
            const int32_t n = std::min(band, to - r0);
            for (int32_t r = r0; r < r0 + n; ++r) {
                const uint32_t* sp = reinterpret_cast<const uint32_t*>(
                    rows.Rows() + size_t(upsideDown ? h - 1 - r : r) * src.Stride());
                uint32_t* dp = buffer.get() + size_t(r - r0) * size_t(w);
                if (mirror)
                    for (int32_t x = 0; x < w; ++x) dp[x] = sp[w - 1 - x];
                else
                    std::memcpy(dp, sp, 4 * size_t(w));
            }
            if (!WriteRows(dst, r0, n, buffer.get())) ok = false;
        }
    });
    return ok;
}

bool TurnQuarter(Layer& src, Layer& dst, int code, size_t bandBytes, CpuLevel level) {
    const int32_t w = src.Width(), h = src.Height();
    const TurnBandFn turn = TurnBandFor(level);
    // 32-bit rows have no padding: each output band is one run of the new block.
    if (!turn || src.Stride() != 4 * uint32_t(w) || dst.Stride() != 4 * uint32_t(h)) return false;
    const ReadOnlyRows rows(src);
    if (!rows.Rows()) return false;
    TurnSource g;
    g.rows = rows.Rows();
    g.stride = src.Stride();
    g.w = w;
    g.h = h;
    g.clockwise = code == kRotateClockwise;
    // Each thread's buffer holds a few groups of output rows, sent to the file as one write.
    constexpr int32_t kMostBandRows = 64;
    const int32_t band =
        int32_t(std::clamp<size_t>(bandBytes / (4 * size_t(h)), 1, size_t(kMostBandRows)));
    std::atomic<bool> ok{true};
    ForEachRowBand(w, kLeastBandRows, [&](int32_t from, int32_t to, bool) {
        std::unique_ptr<uint32_t[]> buffer(new (std::nothrow) uint32_t[size_t(band) * size_t(h)]);
        if (!buffer) {
            ok = false;
            return;
        }
        for (int32_t o = from; o < to && ok; o += band) {
            const int32_t n = std::min(band, to - o);
            turn(g, o, o + n, buffer.get());
            if (!WriteRows(dst, o, n, buffer.get())) ok = false;
        }
    });
    return ok;
}

}  // namespace

bool TurnPixels(Layer& src, Layer& dst, int code, size_t bandBytes, CpuLevel level) {
    if (src.BitsPerPixel() != 32 || dst.BitsPerPixel() != 32 || !src.HasPixels() ||
        !dst.HasPixels() || code < kRotateCounterclockwise || code > kFlipVertical)
        return false;
    int32_t w = 0, h = 0;
    RotatedCanvasSize(code, src.Width(), src.Height(), w, h);
    if (dst.Width() != w || dst.Height() != h) return false;
    if (code == kRotateCounterclockwise || code == kRotateClockwise)
        return TurnQuarter(src, dst, code, bandBytes, level);
    return TurnRows(src, dst, code, bandBytes);
}

int RotateCanvas(HistoryManager& history, int code) {
    LayerManager& lm = history.Layers();
    if (code < kRotateCounterclockwise || code > kFlipVertical || !lm.CheckLayerList()) return 0;
    WaitCursor wait;
    const int32_t W = lm.Image().width, H = lm.Image().height;
    int32_t newWidth = 0, newHeight = 0;
    RotatedCanvasSize(code, W, H, newWidth, newHeight);
    CanvasLayerRules rules;
    rules.pixel = [&](const LayerPtr& old) -> LayerPtr {
        if (!old->HasPixels()) return NewLayerLike(lm, *old, LayerKind::Null, 0, 0);
        const Rect r = MapCanvasRect(old->Bounds(), code, W, H);
        LayerPtr fresh = NewLayerLike(lm, *old, LayerKind::Pixel, r.Width(), r.Height());
        if (!fresh) return nullptr;
        fresh->SetPosition(r.left, r.top);
        if (!TurnPixels(*old, *fresh, code)) return nullptr;
        return fresh;
    };
    rules.map = [code, W, H](Point p) { return MapCanvasPoint(p, code, W, H); };
    rules.mapTextBox = [code, W, H](const Rect& r) { return MapCanvasRect(r, code, W, H); };
    return RebuildCanvas(history, "Rotate Canvas", newWidth, newHeight, rules);
}

}  // namespace zelvo
