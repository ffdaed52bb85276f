// The stroke machinery of the brush-driven tools. The user-interface thread appends the
// stroke's points and publishes their count; the painter (the tool poller thread every 20 ms,
// or the user-interface thread itself at the stroke's end) turns them into dabs in the stroke
// work block of the scratch file: one 5-byte record per canvas pixel (coverage 0..100, then
// B, G, R, A of the finished pixel), all zero between strokes. The layer is not written until
// the commit, which records one history state.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PercentTables.h"
#include "core/Types.h"
#include "layers/Layer.h"
#include "paint/BrushTip.h"
#include "paint/RetouchDabs.h"
#include "store/FileDynamicStore.h"
#include "store/RowCursor.h"

namespace zelvo {

class HistoryManager;

// The brush lays colour and the eraser takes alpha; the rest change the layer's own pixels.
enum class StrokeKind {
    Brush,
    Eraser,
    Lighten,
    Darken,
    SpongeSaturate,
    SpongeDesaturate,
    Blur,
    Sharpen,
    Clone
};

// Whether a stroke of the kind that leaves the layer grows the layer to take it.
inline bool GrowsLayer(StrokeKind kind) {
    return kind == StrokeKind::Brush || kind == StrokeKind::Clone;
}

// The stroke's point list: written only by the user-interface thread at indices the painter
// has not read yet, the count published after the point (release) and read before the points
// (acquire). Storage comes in fixed chunks that never move, so no lock is needed.
class StrokePoints {
public:
    static constexpr size_t kChunk = 4096;
    static constexpr size_t kMaxChunks = 4096;

    // Only while no painter reads the list.
    void Reset(Point first);
    // False when the list is full (the point is dropped).
    bool Append(Point p);
    size_t Published() const { return m_count.load(std::memory_order_acquire); }
    Point At(size_t i) const { return m_chunks[i / kChunk][i % kChunk]; }

private:
    std::array<std::unique_ptr<Point[]>, kMaxChunks> m_chunks;
    std::atomic<size_t> m_count{0};
};

// What a stroke paints with and into, fixed at the press.
struct StrokeTarget {
    StrokeKind kind = StrokeKind::Brush;
    FileDynamicStore* store = nullptr;
    const PercentTables* tables = nullptr;
    BlockHandle records = 0;  // the stroke work block, at least width x height records
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    LayerPtr layer;  // the current layer (a null layer has no pixels)
    LayerPtr mask;   // the selection, null when none
    ColorRef foreground = 0;
    BrushTip tip;
    RetouchParams retouch;  // the tone and detail tools only
    // The clone stamp: a stroke point p samples p + sourceOffset of `sourceLayer`, or with
    // `sourceAll` the composite of `sourceLayers` (its document's stack) over its canvas of
    // sourceWidth x sourceHeight, as the display shows it.
    LayerPtr sourceLayer;
    bool sourceAll = false;
    std::vector<LayerPtr> sourceLayers;
    int32_t sourceWidth = 0, sourceHeight = 0;
    Point sourceOffset;
};

// The dab placement and the dabs: consumes the published points, walks the line between
// successive ones and places a dab whenever the walked distance reaches the spacing.
class StrokePainter {
public:
    void Begin(const StrokeTarget& target, const StrokePoints& points);
    // Places the dabs of the points published since the last call; returns the canvas
    // rectangle whose records changed (empty when none). False in `ok` when a row could not be
    // mapped.
    Rect Consume(bool* ok = nullptr);
    // Lets go of the mapped windows.
    void End();
    // Lets go of the target too (its layers, selection and sources).
    void Release() {
        End();
        m_target = {};
    }

    // The dab spacing: a quarter of the tip side, at least 1.
    static double Spacing(int32_t side) { return side * 0.25 < 1.0 ? 1.0 : side * 0.25; }

    uint64_t Touched() const { return m_touched; }
    Rect Painted() const { return m_painted; }
    uint64_t Dabs() const { return m_dabs; }
    const StrokeTarget& Target() const { return m_target; }

private:
    bool Dab(Point centre, Rect& changed);
    // The dab of the tone and detail tools (in RetouchDabs.cpp).
    bool RetouchDab(const Rect& dab, const Rect& clip);
    // The clone stamp's dab (in CloneDab.cpp).
    bool CloneDab(const Rect& dab, const Rect& clip);
    // The source pixels under canvas rectangle `clip` into m_cloneSource, row by row.
    bool ReadSource(const Rect& clip);
    // Canvas row `cy` of the records, the layer and the selection (null where the layer or the
    // selection has no such row); false when a row cannot be mapped.
    struct DabRow {
        uint8_t* records = nullptr;
        const uint8_t* layer = nullptr;
        const uint8_t* mask = nullptr;
    };
    bool RowOf(int32_t cy, DabRow& row);

    StrokeTarget m_target;
    const StrokePoints* m_points = nullptr;
    size_t m_consumed = 0;
    Point m_last;
    double m_sum = 0;
    uint64_t m_touched = 0;
    uint64_t m_dabs = 0;
    Rect m_painted;
    std::unique_ptr<RowCursor> m_records;
    // The painter only reads these: their windows are copied by pread, since mapping a fresh
    // window costs a fault on every page (dear on a virtual machine) each time a wavy stroke
    // moves it.
    std::unique_ptr<RowReader> m_layerRows, m_maskRows;
    std::vector<uint8_t> m_retouchLayer, m_retouchRecords;  // a dab's pixels and their ring
    std::unique_ptr<RowReader> m_sourceRows;
    std::vector<uint8_t> m_cloneSource;  // a clone dab's source pixels
};

// One stroke shared by the user-interface thread and the painter thread, with the flags of the
// hand-over: the painter paints only while it holds its painting mark and the stroke is active
// and not stopping; the stop waits for the mark to drop, so the two never run on one stroke at
// once.
class StrokeSession {
public:
    // The press: the target and the first point (image coordinates). The first dab is placed
    // by the first consumption.
    void Start(StrokeTarget target, Point first);
    // A move: the point is appended and published; the dirty rectangle grows by its dab.
    void Add(Point p);
    // The painter thread's turn (every 20 ms): consumes what has been published.
    void PainterTick();
    // The stroke's end on the user-interface thread: stop flag, wait for the painter to leave,
    // then the rest of the points are painted here, so the result never depends on timing.
    void Stop();
    bool Active() const { return m_active.load(); }
    bool Started() const { return m_started; }
    // After the commit or the discard: a tool kept for the next stroke must hold nothing of a
    // document that may close, or a clean-up of the store would hand its blocks' places to
    // other blocks while the tool still names them.
    void Release() { m_painter.Release(); }

    // Told on the painter's thread of each rectangle of records it changed.
    std::function<void(const Rect&)> onPainted;

    Rect Dirty() const { return m_dirty; }
    StrokePainter& Painter() { return m_painter; }
    const StrokePoints& Points() const { return m_points; }

private:
    StrokePoints m_points;
    StrokePainter m_painter;
    Rect m_dirty;
    int32_t m_side = 1;
    bool m_started = false;
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_painting{false};
};

// The stroke's commit on the user-interface thread after Stop: the changed rectangle into a
// rectangle state (kind 20) when it fits the fast path, else the layer replaced (grown for the
// brush) and a whole-layer state; every record is zero afterwards. `name` is the state's name.
// Returns 1 when a state was recorded.
int CommitStroke(HistoryManager& history, StrokeSession& stroke, const std::string& name);
// The stroke's records cleared without a state (the view went away mid-stroke).
void DiscardStroke(StrokeSession& stroke);
// The same commit for records filled without dabs (the patch): `area` holds every covered
// record, `touched` of them; `grow` lets the layer grow to take what lies outside it.
int CommitRecords(HistoryManager& history, const StrokeTarget& target, const Rect& area,
                  uint64_t touched, bool grow, const std::string& name);
// Zeroes the records of a canvas rectangle.
void ZeroRecords(const StrokeTarget& target, const Rect& area);

// The limits of the fast path.
constexpr int64_t kFastPathMaxArea = 1000000;
constexpr uint64_t kFastPathMaxTouched = 600000;
constexpr int64_t kMaxLayerPixels = 20000000;

}  // namespace zelvo
