#include "paint/Healing.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/HugePages.h"
#include "platform/Messages.h"
#include "store/RowCursor.h"

namespace zelvo {

namespace {

// B, G, R, A as the layers and the records store them; alpha 0 marks "not in the region".
struct Px {
    uint8_t c[4];
};

// Canvas row `cy`, columns [x0, x0 + n) of `layer` into `out`, transparent outside the layer.
bool ReadSpan(const Layer* layer, ReadRowCursor* rows, int32_t cy, int32_t x0, int32_t n, Px* out) {
    std::memset(out, 0, sizeof(Px) * size_t(n));
    if (!rows) return true;
    const Rect lb = layer->Bounds();
    const Rect span = Rect{x0, cy, x0 + n, cy + 1}.Intersect(lb);
    if (span.IsEmpty()) return true;
    const uint8_t* row = rows->Row(uint32_t(layer->StoredRowOf(cy)));
    if (!row) return false;
    std::memcpy(out + (span.left - x0), row + 4 * size_t(span.left - lb.left),
                4 * size_t(span.Width()));
    return true;
}

std::unique_ptr<ReadRowCursor> OpenPixels(const Layer* layer) {
    return layer && layer->Kind() == LayerKind::Pixel && layer->HasPixels() ? layer->OpenReadRows()
                                                                            : nullptr;
}

// The interpolation along one line of the work image (`n` pixels `stride` apart): inside every
// maximal run of region pixels, the pixels strictly between its first and last take the straight
// line between those two, truncated toward zero from the first; with `average` the line's value
// is averaged with the pixel's current one instead of replacing it.
void InterpolateLine(Px* p, ptrdiff_t stride, int32_t n, bool average) {
    int32_t i = 0;
    while (i < n) {
        if (p[i * stride].c[3] == 0) {
            ++i;
            continue;
        }
        const int32_t s = i;
        while (i < n && p[i * stride].c[3] != 0) ++i;
        const int32_t e = i - 1;
        if (e - s < 2) continue;
        const Px first = p[s * stride], last = p[e * stride];
        for (int32_t k = s + 1; k < e; ++k) {
            Px& q = p[k * stride];
            for (int ch = 0; ch < 3; ++ch) {
                int v = first.c[ch] + (last.c[ch] - first.c[ch]) * (k - s) / (e - s);
                if (average) v = (v + q.c[ch]) / 2;
                q.c[ch] = uint8_t(v);
            }
            q.c[3] = 100;
        }
    }
}

class Healer {
public:
    Healer(const HealSetup& s, const Rect& r) : m_s(s), m_r(r), m_w(r.Width()), m_h(r.Height()) {}

    bool Run() {
        // Every element is written before it is read. Four arrays of the region's size are
        // 13 MB for a million pixels, in huge pages a few faults instead of thousands.
        m_n = size_t(m_w) * size_t(m_h);
        m_covered = AllocateHuge<uint8_t>(m_n);
        m_a = AllocateHuge<Px>(m_n);
        m_b = AllocateHuge<Px>(m_n);
        m_membrane = AllocateHuge<Px>(m_n);
        if (!m_covered || !m_a || !m_b || !m_membrane) return false;
        RowCursor records(*m_s.store, m_s.records, 0, uint32_t(m_s.canvasWidth) * 5,
                          uint32_t(m_s.canvasHeight));
        for (int32_t y = 0; y < m_h; ++y) {
            const uint8_t* rec = records.Row(uint32_t(m_r.top + y));
            if (!rec) return false;
            rec += 5 * size_t(m_r.left);
            for (int32_t x = 0; x < m_w; ++x)
                m_covered[size_t(y) * size_t(m_w) + size_t(x)] = rec[5 * size_t(x)] != 0;
        }
        // The destination's membrane first, kept aside; then the source's, left in m_a.
        if (!Membrane(m_s.layer, {0, 0})) return false;
        std::swap(m_membrane, m_a);
        if (!Membrane(m_s.source, m_s.sourceOffset)) return false;
        return Blend(records);
    }

private:
    size_t At(int32_t x, int32_t y) const { return size_t(y) * size_t(m_w) + size_t(x); }

    // The membrane of `layer` read at the region's positions plus `offset`, into m_a (m_b is the
    // second work image). Pixels outside the layer's part of the region have alpha 0.
    bool Membrane(const Layer* layer, Point offset) {
        if (!Prepare(layer, offset)) return false;
        for (int32_t y = 0; y < m_h; ++y) InterpolateLine(&m_a[At(0, y)], 1, m_w, false);
        for (int32_t x = 0; x < m_w; ++x) InterpolateLine(&m_a[At(x, 0)], m_w, m_h, true);
        // Down-right diagonals start on the top row or the left column; down-left ones on the
        // top row or the right column.
        for (int32_t x = 0; x < m_w; ++x)
            InterpolateLine(&m_b[At(x, 0)], m_w + 1, std::min(m_w - x, m_h), false);
        for (int32_t y = 1; y < m_h; ++y)
            InterpolateLine(&m_b[At(0, y)], m_w + 1, std::min(m_w, m_h - y), false);
        for (int32_t x = 0; x < m_w; ++x)
            InterpolateLine(&m_b[At(x, 0)], m_w - 1, std::min(x + 1, m_h), true);
        for (int32_t y = 1; y < m_h; ++y)
            InterpolateLine(&m_b[At(m_w - 1, y)], m_w - 1, std::min(m_w, m_h - y), true);
        for (size_t i = 0; i < m_n; ++i) {
            Px& a = m_a[i];
            if (a.c[3] == 0) continue;
            const Px& b = m_b[i];
            for (int ch = 0; ch < 3; ++ch) a.c[ch] = uint8_t((a.c[ch] + b.c[ch]) / 2);
            a.c[3] = 100;
        }
        return true;
    }

    // The region restricted to the layer's non-transparent pixels, with every pixel that touches
    // the outside replaced by the mean of itself and its non-transparent edge-neighbours in the
    // layer (which may lie outside the region or the rectangle); into m_a and m_b alike.
    bool Prepare(const Layer* layer, Point offset) {
        std::unique_ptr<ReadRowCursor> rows = OpenPixels(layer);
        const int32_t span = m_w + 2, x0 = m_r.left + offset.x - 1;
        // Three layer rows around the current one, one pixel wider on each side.
        std::vector<Px> lines(size_t(span) * 3);
        Px* up = &lines[0];
        Px* mid = &lines[size_t(span)];
        Px* down = &lines[size_t(span) * 2];
        const int32_t cy0 = m_r.top + offset.y;
        if (!ReadSpan(layer, rows.get(), cy0 - 1, x0, span, up) ||
            !ReadSpan(layer, rows.get(), cy0, x0, span, mid))
            return false;
        auto inside = [&](int32_t x, int32_t y, const Px* line) {
            return x >= 0 && x < m_w && y >= 0 && y < m_h && m_covered[At(x, y)] &&
                   line[x + 1].c[3] != 0;
        };
        for (int32_t y = 0; y < m_h; ++y) {
            if (!ReadSpan(layer, rows.get(), cy0 + y + 1, x0, span, down)) return false;
            for (int32_t x = 0; x < m_w; ++x) {
                Px& out = m_a[At(x, y)];
                if (!inside(x, y, mid)) {
                    out = Px{{0, 0, 0, 0}};
                    m_b[At(x, y)] = out;
                    continue;
                }
                out = mid[x + 1];
                if (!inside(x - 1, y, mid) || !inside(x + 1, y, mid) || !inside(x, y - 1, up) ||
                    !inside(x, y + 1, down)) {
                    const Px* around[5] = {&mid[x + 1], &mid[x], &mid[x + 2], &up[x + 1],
                                           &down[x + 1]};
                    int sum[4] = {0, 0, 0, 0}, count = 0;
                    for (const Px* q : around) {
                        if (q->c[3] == 0) continue;
                        ++count;
                        for (int ch = 0; ch < 4; ++ch) sum[ch] += q->c[ch];
                    }
                    for (int ch = 0; ch < 4; ++ch) out.c[ch] = uint8_t(sum[ch] / count);
                }
                m_b[At(x, y)] = out;
            }
            std::swap(up, mid);
            std::swap(mid, down);
        }
        return true;
    }

    // The healed pixel into every covered record.
    bool Blend(RowCursor& records) {
        std::unique_ptr<ReadRowCursor> dest = OpenPixels(m_s.layer), src = OpenPixels(m_s.source);
        std::unique_ptr<ReadRowCursor> maskRows = m_s.mask ? m_s.mask->OpenReadRows() : nullptr;
        const Rect mb = m_s.mask ? m_s.mask->Bounds() : Rect{};
        std::vector<Px> p(static_cast<size_t>(m_w)), s(static_cast<size_t>(m_w));
        for (int32_t y = 0; y < m_h; ++y) {
            const int32_t cy = m_r.top + y;
            if (!ReadSpan(m_s.layer, dest.get(), cy, m_r.left, m_w, p.data()) ||
                !ReadSpan(m_s.source, src.get(), cy + m_s.sourceOffset.y,
                          m_r.left + m_s.sourceOffset.x, m_w, s.data()))
                return false;
            const int32_t my = cy - m_s.maskOffset.y;
            const uint8_t* mrow = nullptr;
            if (maskRows && my >= mb.top && my < mb.bottom) {
                mrow = maskRows->Row(uint32_t(m_s.mask->StoredRowOf(my)));
                if (!mrow) return false;
            }
            uint8_t* rec = records.Row(uint32_t(cy));
            if (!rec) return false;
            for (int32_t x = 0; x < m_w; ++x) {
                if (!m_covered[At(x, y)]) continue;
                const Px& pd = p[size_t(x)];
                const Px& ps = s[size_t(x)];
                Px out = pd;
                const bool sourceOnly = ps.c[3] != 0 && pd.c[3] == 0;
                if (ps.c[3] != 0) {
                    if (sourceOnly) {
                        out = ps;
                    } else {
                        const Px& md = m_membrane[At(x, y)];
                        const Px& ms = m_a[At(x, y)];
                        for (int ch = 0; ch < 3; ++ch)
                            out.c[ch] = uint8_t(std::clamp(ps.c[ch] + md.c[ch] - ms.c[ch], 0, 255));
                    }
                }
                if (m_s.mask) {
                    const int32_t mx = m_r.left + x - m_s.maskOffset.x;
                    const int v = mrow && mx >= mb.left && mx < mb.right ? mrow[mx - mb.left] : 0;
                    if (v <= 0) {
                        out = pd;
                    } else if (v < 100) {
                        // A pixel the source adds where the layer was empty keeps its colour and
                        // fades by its alpha: blending toward the empty pixel's colour bytes would
                        // darken its edge.
                        if (sourceOnly) {
                            out.c[3] = uint8_t(out.c[3] * v / 100);
                        } else {
                            for (int ch = 0; ch < 3; ++ch)
                                out.c[ch] = uint8_t(pd.c[ch] + (out.c[ch] - pd.c[ch]) * v / 100);
                        }
                    }
                }
                std::memcpy(rec + 5 * size_t(m_r.left + x) + 1, out.c, 4);
            }
        }
        return true;
    }

    const HealSetup& m_s;
    const Rect m_r;
    const int32_t m_w, m_h;
    size_t m_n = 0;
    std::unique_ptr<uint8_t[], FreeMemory> m_covered;
    std::unique_ptr<Px[], FreeMemory> m_a, m_b, m_membrane;
};

}  // namespace

bool HealRecords(const HealSetup& setup, const Rect& area) {
    const Rect r = area.Intersect({0, 0, setup.canvasWidth, setup.canvasHeight});
    if (r.IsEmpty()) return true;
    if (!setup.store || !setup.records) return false;
    return Healer(setup, r).Run();
}

bool PreviewHeal(const HealSetup& s, const Rect& area) {
    const Rect r = area.Intersect({0, 0, s.canvasWidth, s.canvasHeight});
    if (r.IsEmpty()) return true;
    if (!s.store || !s.records) return false;
    RowCursor records(*s.store, s.records, 0, uint32_t(s.canvasWidth) * 5,
                      uint32_t(s.canvasHeight));
    std::unique_ptr<ReadRowCursor> dest = OpenPixels(s.layer), src = OpenPixels(s.source);
    std::unique_ptr<ReadRowCursor> maskRows = s.mask ? s.mask->OpenReadRows() : nullptr;
    const Rect mb = s.mask ? s.mask->Bounds() : Rect{};
    const int32_t w = r.Width();
    std::vector<Px> p(static_cast<size_t>(w)), q(static_cast<size_t>(w));
    for (int32_t cy = r.top; cy < r.bottom; ++cy) {
        if (!ReadSpan(s.layer, dest.get(), cy, r.left, w, p.data()) ||
            !ReadSpan(s.source, src.get(), cy + s.sourceOffset.y, r.left + s.sourceOffset.x, w,
                      q.data()))
            return false;
        const int32_t my = cy - s.maskOffset.y;
        const uint8_t* mrow = nullptr;
        if (maskRows && my >= mb.top && my < mb.bottom) {
            mrow = maskRows->Row(uint32_t(s.mask->StoredRowOf(my)));
            if (!mrow) return false;
        }
        uint8_t* rec = records.Row(uint32_t(cy));
        if (!rec) return false;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t mx = r.left + x - s.maskOffset.x;
            const int v = !s.mask                                  ? 100
                          : mrow && mx >= mb.left && mx < mb.right ? mrow[mx - mb.left]
                                                                   : 0;
            if (v <= 0) continue;
            const Px& pd = p[size_t(x)];
            const Px& ps = q[size_t(x)];
            Px out = pd;
            if (ps.c[3] != 0 && pd.c[3] == 0) {
                out = ps;
                out.c[3] = uint8_t(ps.c[3] * v / 100);
            } else if (ps.c[3] != 0) {
                for (int ch = 0; ch < 4; ++ch)
                    out.c[ch] = uint8_t(pd.c[ch] + (ps.c[ch] - pd.c[ch]) * v / 100);
            }
            uint8_t* r5 = rec + 5 * size_t(r.left + x);
            std::memcpy(r5 + 1, out.c, 4);
            // The coverage last: the display may be reading the records meanwhile.
            std::atomic_ref<uint8_t>(r5[0]).store(uint8_t(std::min(v, 100)),
                                                  std::memory_order_release);
        }
    }
    return true;
}

bool ConfirmHealSize(const Rect& area) {
    const int64_t n = int64_t(area.Width()) * int64_t(area.Height());
    if (area.IsEmpty() || n <= 2999999) return true;
    const char* text =
        n > 9999999
            ? "Due to the size of patches is large, may need 1~2minutes, whether or not to "
              "continue??"
            : "Due to the size of patches is large, may need to take some time, whether or not to "
              "continue?";
    return AppMessages().Ask(text, Buttons::YesNo) == Answer::Yes;
}

}  // namespace zelvo
