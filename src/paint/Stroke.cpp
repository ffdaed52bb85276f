#include "paint/Stroke.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "history/HistoryManager.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "paint/PixelRules.h"
#include "paint/StrokeGeometry.h"
#include "platform/Messages.h"

namespace zelvo {

namespace {
constexpr uint64_t kMostRecordWindowBytes = 32u << 20;
}  // namespace

void StrokePoints::Reset(Point first) {
    if (!m_chunks[0]) m_chunks[0] = std::make_unique<Point[]>(kChunk);
    m_chunks[0][0] = first;
    m_count.store(1, std::memory_order_release);
}

bool StrokePoints::Append(Point p) {
    const size_t n = m_count.load(std::memory_order_relaxed);
    if (n >= kChunk * kMaxChunks) return false;
    std::unique_ptr<Point[]>& chunk = m_chunks[n / kChunk];
    if (!chunk) chunk = std::make_unique<Point[]>(kChunk);
    chunk[n % kChunk] = p;
    m_count.store(n + 1, std::memory_order_release);
    return true;
}

void StrokePainter::Begin(const StrokeTarget& target, const StrokePoints& points) {
    m_target = target;
    m_points = &points;
    m_consumed = 0;
    m_sum = 0;
    m_touched = 0;
    m_dabs = 0;
    m_painted = {};
    const uint32_t w = uint32_t(target.canvasWidth), h = uint32_t(target.canvasHeight);
    // The window holds the rows of a few dabs, so that the next dabs mostly fall inside it:
    // each window mapped again faults in every page a dab touches once more, which cost a stroke
    // across a 20 MP canvas two thirds of its time with windows of 4 MiB.
    const uint64_t dabRows = uint64_t(std::max<int32_t>(target.tip.side, 1)) * w * 5;
    m_records = std::make_unique<RowCursor>(
        *target.store, target.records, 0, w * 5, h,
        std::clamp(4 * dabRows, RowCursor::kDefaultWindowBytes, kMostRecordWindowBytes));
    const Layer* layer = target.layer.get();
    m_layerRows = layer && layer->Kind() == LayerKind::Pixel && layer->HasPixels()
                      ? OpenRowReader(*layer)
                      : nullptr;
    m_maskRows = target.mask ? OpenRowReader(*target.mask) : nullptr;
    const Layer* source = target.sourceLayer.get();
    m_sourceRows = target.kind == StrokeKind::Clone && !target.sourceAll && source &&
                           source->Kind() == LayerKind::Pixel && source->HasPixels()
                       ? OpenRowReader(*source)
                       : nullptr;
}

void StrokePainter::End() {
    m_records.reset();
    m_layerRows.reset();
    m_maskRows.reset();
    m_sourceRows.reset();
}

Rect StrokePainter::Consume(bool* ok) {
    Rect changed;
    bool good = true;
    if (!m_points || !m_records) {
        if (ok) *ok = false;
        return changed;
    }
    const size_t n = m_points->Published();
    if (m_consumed == 0 && n > 0) {
        m_last = m_points->At(0);
        good = Dab(m_last, changed);
        m_consumed = 1;
    }
    const double spacing = Spacing(m_target.tip.side);
    for (; m_consumed < n; ++m_consumed) {
        WalkLine(m_points->At(m_consumed - 1), m_points->At(m_consumed), [&](Point q) {
            const double dx = q.x - m_last.x, dy = q.y - m_last.y;
            m_sum += std::sqrt(dx * dx + dy * dy);
            m_last = q;
            if (m_sum >= spacing) {
                good = Dab(q, changed) && good;
                m_sum = 0;
            }
        });
    }
    if (ok) *ok = good;
    return changed;
}

bool StrokePainter::RowOf(int32_t cy, DabRow& row) {
    row = {};
    row.records = m_records->Row(uint32_t(cy));
    if (!row.records) return false;
    const Layer* layer = m_target.layer.get();
    if (m_layerRows && cy >= layer->Bounds().top && cy < layer->Bounds().bottom) {
        row.layer = m_layerRows->Row(uint32_t(layer->StoredRowOf(cy)));
        if (!row.layer) return false;
    }
    const Layer* mask = m_target.mask.get();
    if (m_maskRows && cy >= mask->Bounds().top && cy < mask->Bounds().bottom) {
        row.mask = m_maskRows->Row(uint32_t(mask->StoredRowOf(cy)));
        if (!row.mask) return false;
    }
    return true;
}

bool StrokePainter::Dab(Point centre, Rect& changed) {
    const BrushTip& tip = m_target.tip;
    const Rect dab = DabRect(centre, tip.side);
    const Rect clip = dab.Intersect({0, 0, m_target.canvasWidth, m_target.canvasHeight});
    if (clip.IsEmpty()) return true;
    ++m_dabs;
    m_painted = m_painted.Union(clip);
    changed = changed.Union(clip);
    m_records->Cover(uint32_t(clip.top), uint32_t(clip.bottom));
    if (m_target.kind == StrokeKind::Clone) return CloneDab(dab, clip);
    if (m_target.kind != StrokeKind::Brush && m_target.kind != StrokeKind::Eraser)
        return RetouchDab(dab, clip);
    const PercentTables& t = *m_target.tables;
    Layer* layer = m_target.layer.get();
    const Rect lb = m_layerRows ? layer->Bounds() : Rect{};
    Layer* mask = m_target.mask.get();
    const Rect mb = mask ? mask->Bounds() : Rect{};
    const bool eraser = m_target.kind == StrokeKind::Eraser;
    const uint8_t fore[3] = {BlueOf(m_target.foreground), GreenOf(m_target.foreground),
                             RedOf(m_target.foreground)};
    for (int32_t cy = clip.top; cy < clip.bottom; ++cy) {
        DabRow row;
        if (!RowOf(cy, row)) return false;
        uint8_t* rec = row.records;
        const uint8_t* lrow = row.layer;
        const uint8_t* mrow = row.mask;
        const uint8_t* trow = &tip.values[size_t(cy - dab.top) * size_t(tip.side)];
        for (int32_t cx = clip.left; cx < clip.right; ++cx) {
            const int tv = trow[cx - dab.left];
            if (tv == 0) continue;
            uint8_t* r = rec + 5 * size_t(cx);
            const int c = r[0];
            if (c == 0) ++m_touched;
            const int c2 = AddCoverage(t, c, tv);
            const int e = SelectionShare(t, c2, mask != nullptr, mrow, mb, cx);
            uint8_t p[4];
            LayerPixelAt(lrow, lb, cx, p);
            if (eraser) {
                // Where the selection leaves no strength the pixel stays exactly as it was.
                r[1] = p[0];
                r[2] = p[1];
                r[3] = p[2];
                r[4] = e == 0 ? p[3] : t.T100(p[3], 100 - e);
            } else {
                LayColor(t, p, fore, e, r + 1);
            }
            // The coverage last: the display reads the records while the painter writes, and
            // a record it sees covered then already holds a finished pixel.
            std::atomic_ref<uint8_t>(r[0]).store(uint8_t(c2), std::memory_order_release);
        }
    }
    return true;
}

void StrokeSession::Start(StrokeTarget target, Point first) {
    m_side = std::max<int32_t>(1, target.tip.side);
    m_points.Reset(first);
    m_painter.Begin(target, m_points);
    m_dirty = DabRect(first, m_side);
    m_started = true;
    m_stop.store(false);
    m_active.store(true);
}

void StrokeSession::Add(Point p) {
    if (!m_points.Append(p)) return;
    m_dirty = m_dirty.Union(DabRect(p, m_side));
}

void StrokeSession::PainterTick() {
    if (!m_active.load()) return;
    m_painting.store(true);
    if (m_active.load() && !m_stop.load()) {
        const Rect r = m_painter.Consume();
        if (!r.IsEmpty() && onPainted) onPainted(r);
    }
    m_painting.store(false);
}

void StrokeSession::Stop() {
    m_stop.store(true);
    while (m_painting.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!m_active.load()) return;
    const Rect r = m_painter.Consume();
    if (!r.IsEmpty() && onPainted) onPainted(r);
    m_active.store(false);
}

void ZeroRecords(const StrokeTarget& t, const Rect& area) {
    if (area.IsEmpty()) return;
    // Outside the area the records are zero already, so whole rows are written: by pwrite
    // from one zero buffer, without mapping (and faulting in) the block's pages.
    {
        RowWriter rows(*t.store, t.records, 0, uint32_t(t.canvasWidth) * 5,
                       uint32_t(t.canvasHeight), 1u << 20);
        bool ok = true;
        for (int32_t cy = area.top; ok && cy < area.bottom; ++cy) {
            uint8_t* r = rows.Row(uint32_t(cy));
            if (r)
                std::memset(r, 0, 5 * size_t(t.canvasWidth));
            else
                ok = false;
        }
        if (ok && rows.Flush()) return;
    }
    RowCursor rec(*t.store, t.records, 0, uint32_t(t.canvasWidth) * 5, uint32_t(t.canvasHeight));
    for (int32_t cy = area.top; cy < area.bottom; ++cy)
        if (uint8_t* r = rec.Row(uint32_t(cy)))
            std::memset(r + 5 * size_t(area.left), 0, 5 * size_t(area.Width()));
}

namespace {

Rect StrokeArea(StrokeSession& s) {
    const StrokeTarget& t = s.Painter().Target();
    return s.Dirty().Union(s.Painter().Painted()).Intersect({0, 0, t.canvasWidth, t.canvasHeight});
}

int CommitRect(HistoryManager& history, const StrokeTarget& t, Layer& layer, const Rect& dirty,
               const std::string& name) {
    PixelEdit edit(history.Layers(), history);
    const LayerPtr rect = edit.BeginStrokeRect(dirty.left, dirty.top, dirty.right, dirty.bottom);
    if (!rect) return 0;
    // The rectangle's rows are new and written whole: by pwrite in stored order rather than
    // through a mapped window, so none of its pages takes a fault.
    std::unique_ptr<RowWriter> out = OpenRowWriter(*rect);
    std::unique_ptr<RowCursor> rows = layer.OpenRows();
    RowCursor rec(*t.store, t.records, 0, uint32_t(t.canvasWidth) * 5, uint32_t(t.canvasHeight));
    const Rect lb = layer.Bounds();
    static constexpr uint8_t kUnchanged[4] = {0, 0, 0, 101};
    for (int32_t cy = dirty.bottom - 1; out && rows && cy >= dirty.top; --cy) {
        uint8_t* o = out->Row(uint32_t(rect->StoredRowOf(cy)));
        uint8_t* l = rows->Row(uint32_t(layer.StoredRowOf(cy)));
        uint8_t* r = rec.Row(uint32_t(cy));
        if (!o || !l || !r) break;
        l += 4 * size_t(dirty.left - lb.left);
        r += 5 * size_t(dirty.left);
        for (int32_t i = 0; i < dirty.Width(); ++i, o += 4, l += 4, r += 5) {
            if (r[0] == 0) {
                std::memcpy(o, kUnchanged, 4);
                continue;
            }
            std::memcpy(o, l, 4);
            std::memcpy(l, r + 1, 4);
            std::memset(r, 0, 5);
        }
    }
    if (out) out->Flush();
    rows.reset();
    return edit.CommitRectEdit(1, name);
}

int CommitWhole(HistoryManager& history, const StrokeTarget& t, const Layer& layer,
                const Rect& dirty, bool grow, const std::string& name) {
    const Rect canvas{0, 0, t.canvasWidth, t.canvasHeight};
    const Rect lb = layer.HasPixels() ? layer.Bounds() : Rect{};
    Rect area = grow ? lb.Union(dirty) : lb;
    if (int64_t(area.Width()) * int64_t(area.Height()) > kMaxLayerPixels) {
        AppMessages().Show("Images more than 20 million pixels,Will be cut!");
        area = area.Intersect(canvas);
    }
    if (area.IsEmpty()) return 0;
    // Every row of the new layer is written whole below (the old pixels, zeros around them,
    // the records over them), by pwrite: its block is neither cleared nor copied into first,
    // and no page of it is mapped.
    PixelEdit edit(history.Layers(), history);
    const LayerPtr fresh = edit.BeginRectEdit(area.left, area.top, area.right, area.bottom, 0);
    if (!fresh) return 0;
    std::unique_ptr<RowWriter> out = OpenRowWriter(*fresh);
    // The old pixels carried over where the new layer covers them, as a 32-bit pixel layer has
    // them; none otherwise.
    const bool carried = layer.Kind() == LayerKind::Pixel && layer.BitsPerPixel() == 32;
    const Rect old = carried ? lb.Intersect(area) : Rect{};
    const std::unique_ptr<RowReader> rows = old.IsEmpty() ? nullptr : OpenRowReader(layer);
    const Rect put = dirty.Intersect(area);
    std::unique_ptr<RowReader> rec;
    if (!put.IsEmpty())
        rec = std::make_unique<RowReader>(*t.store, t.records, 0, uint32_t(t.canvasWidth) * 5,
                                          uint32_t(t.canvasHeight));
    auto fail = [&] {
        out.reset();
        return edit.CommitLayerEdit(0), 0;
    };
    if (!out || (!old.IsEmpty() && !rows)) return fail();
    const size_t width = size_t(area.Width());
    for (int32_t cy = area.top; cy < area.bottom; ++cy) {
        uint8_t* o = out->Row(uint32_t(fresh->StoredRowOf(cy)));
        if (!o) return fail();
        if (cy >= old.top && cy < old.bottom) {
            const uint8_t* l = rows->Row(uint32_t(layer.StoredRowOf(cy)));
            if (!l) return fail();
            std::memset(o, 0, 4 * size_t(old.left - area.left));
            std::memcpy(o + 4 * size_t(old.left - area.left), l + 4 * size_t(old.left - lb.left),
                        4 * size_t(old.Width()));
            std::memset(o + 4 * size_t(old.right - area.left), 0,
                        4 * size_t(area.right - old.right));
        } else {
            std::memset(o, 0, 4 * width);
        }
        if (cy < put.top || cy >= put.bottom) continue;
        const uint8_t* r = rec->Row(uint32_t(cy));
        if (!r) return fail();
        o += 4 * size_t(put.left - area.left);
        r += 5 * size_t(put.left);
        for (int32_t i = 0; i < put.Width(); ++i, o += 4, r += 5)
            if (r[0] != 0) std::memcpy(o, r + 1, 4);
    }
    if (!out->Flush()) return fail();
    out.reset();
    return edit.CommitLayerEdit(1, name);
}

}  // namespace

int CommitRecords(HistoryManager& history, const StrokeTarget& t, const Rect& area,
                  uint64_t touched, bool grow, const std::string& name) {
    const Rect dirty = area.Intersect({0, 0, t.canvasWidth, t.canvasHeight});
    int done = 0;
    const LayerPtr layer = t.layer;
    if (!dirty.IsEmpty() && layer && history.Layers().CurrentLayer() == layer) {
        const bool fast = layer->Kind() == LayerKind::Pixel && layer->HasPixels() &&
                          layer->Bounds().Intersect(dirty) == dirty &&
                          int64_t(dirty.Width()) * int64_t(dirty.Height()) <= kFastPathMaxArea &&
                          touched <= kFastPathMaxTouched && !history.IsStartLayer(layer.get());
        done = fast ? CommitRect(history, t, *layer, dirty, name)
                    : CommitWhole(history, t, *layer, dirty, grow, name);
    }
    // Whatever happened above, the block is all zeros again for the next stroke.
    ZeroRecords(t, dirty);
    return done;
}

int CommitStroke(HistoryManager& history, StrokeSession& stroke, const std::string& name) {
    StrokePainter& painter = stroke.Painter();
    const StrokeTarget t = painter.Target();
    const Rect dirty = StrokeArea(stroke);
    const uint64_t touched = painter.Touched();
    painter.End();
    if (painter.Dabs() == 0) {
        ZeroRecords(t, dirty);
        return 0;
    }
    return CommitRecords(history, t, dirty, touched, GrowsLayer(t.kind), name);
}

void DiscardStroke(StrokeSession& stroke) {
    const Rect dirty = StrokeArea(stroke);
    stroke.Painter().End();
    ZeroRecords(stroke.Painter().Target(), dirty);
}

}  // namespace zelvo
