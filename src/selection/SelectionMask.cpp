#include "selection/SelectionMask.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "core/RowBands.h"
#include "history/HistoryManager.h"
#include "layers/LayerRows.h"
#include "store/RowWriter.h"

namespace zelvo {

Rect CanvasRect(const LayerManager& layers) {
    return {0, 0, layers.Image().width, layers.Image().height};
}

LayerPtr CreateSelectionMask(LayerManager& layers, const Rect& rect, bool zeroFill) {
    if (rect.IsEmpty()) return nullptr;
    auto mask = std::make_shared<Layer>(layers.Store());
    if (!mask->Create(rect.Width(), rect.Height(), LayerKind::Pixel, layers.NextId(), 8, zeroFill))
        return nullptr;
    mask->SetPosition(rect.left, rect.top);
    return mask;
}

uint8_t* MaskRow(Layer& mask, int32_t cy) {
    const int32_t stored = mask.StoredRowOf(cy);
    if (stored < 0 || stored >= mask.Height()) return nullptr;
    RowCursor* rows = mask.Rows();
    return rows ? rows->Row(uint32_t(stored)) : nullptr;
}

void ReadMaskRow(Layer& mask, int32_t cy, int32_t left, int32_t count, uint8_t* dst) {
    if (count <= 0) return;
    std::memset(dst, 0, size_t(count));
    const Rect b = mask.Bounds();
    const int32_t from = std::max(left, b.left), to = std::min(left + count, b.right);
    if (from >= to) return;
    const int32_t stored = mask.StoredRowOf(cy);
    ReadRowCursor* rows = mask.ReadRows();
    const uint8_t* row = rows ? rows->Row(uint32_t(stored)) : nullptr;
    if (row) std::memcpy(dst + (from - left), row + (from - b.left), size_t(to - from));
}

bool ReadMaskRow(const Layer& mask, RowReader& rows, int32_t cy, int32_t left, int32_t count,
                 uint8_t* dst) {
    if (count <= 0) return true;
    std::memset(dst, 0, size_t(count));
    const Rect b = mask.Bounds();
    const int32_t from = std::max(left, b.left), to = std::min(left + count, b.right);
    if (from >= to || cy < b.top || cy >= b.bottom) return true;
    const uint8_t* row = rows.Row(uint32_t(mask.StoredRowOf(cy)));
    if (!row) return false;
    std::memcpy(dst + (from - left), row + (from - b.left), size_t(to - from));
    return true;
}

bool WriteRowsInBands(Layer& layer, const std::function<RowSamplesFill(uint64_t window)>& band) {
    const Rect r = layer.Bounds();
    const int32_t h = r.Height();
    const size_t samples = (size_t(r.Width()) * size_t(layer.BitsPerPixel()) + 7) / 8;
    const size_t pad = layer.Stride() - samples;
    const uint64_t window = BandWindowBytes(RowBandCount(h, kLeastBandRows));
    std::atomic<bool> failed{false};
    ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowWriter> out = OpenRowWriter(layer, kWriterWindows * window);
        const RowSamplesFill fill = band(window);
        if (!out || !fill) return void(failed = true);
        for (int32_t cy = r.top + first; cy < r.top + end && !failed; ++cy) {
            uint8_t* dst = out->Row(uint32_t(layer.StoredRowOf(cy)));
            if (!dst || !fill(cy, dst)) return void(failed = true);
            std::memset(dst + samples, 0, pad);
        }
        if (!out->Flush()) failed = true;
    });
    return !failed;
}

namespace {

uint64_t Word(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The first and one past the last nonzero byte of row[0, n) (first == n when there is none),
// eight bytes at a time over the zeros.
void NonzeroSpan(const uint8_t* row, int32_t n, int32_t& first, int32_t& end) {
    first = 0;
    while (first + 8 <= n && Word(row + first) == 0) first += 8;
    while (first < n && row[first] == 0) ++first;
    end = n;
    while (end - 8 >= first && Word(row + end - 8) == 0) end -= 8;
    while (end > first && row[end - 1] == 0) --end;
}

}  // namespace

// The mask's rows come by pread: mapped, each of its pages would fault on first touch.
Rect TightRect(Layer& mask) {
    const Rect b = mask.Bounds();
    Rect t{b.right, b.bottom, b.left, b.top};
    bool any = false;
    const std::unique_ptr<RowReader> rows = OpenRowReader(mask);
    for (int32_t cy = b.top; rows && cy < b.bottom; ++cy) {
        const uint8_t* row = rows->Row(uint32_t(mask.StoredRowOf(cy)));
        if (!row) break;
        int32_t first = 0, end = 0;
        NonzeroSpan(row, b.Width(), first, end);
        if (first == end) continue;
        any = true;
        t.left = std::min(t.left, b.left + first);
        t.right = std::max(t.right, b.left + end);
        t.top = std::min(t.top, cy);
        t.bottom = std::max(t.bottom, cy + 1);
    }
    return any ? t : Rect{};
}

bool AnyByteAbove(Layer& mask, int threshold) {
    const Rect b = mask.Bounds();
    const std::unique_ptr<RowReader> rows = OpenRowReader(mask);
    for (int32_t cy = b.top; rows && cy < b.bottom; ++cy) {
        const uint8_t* row = rows->Row(uint32_t(mask.StoredRowOf(cy)));
        if (!row) return false;
        // The row's largest byte, without a branch per byte.
        uint8_t most = 0;
        for (int32_t i = 0; i < b.Width(); ++i) most = std::max(most, row[i]);
        if (most > threshold) return true;
    }
    return false;
}

bool HasSelection(const LayerManager& layers) {
    return layers.Selection() != nullptr;
}

void SetSelection(HistoryManager& history, LayerPtr mask, int32_t kind, const std::string& name) {
    LayerManager& lm = history.Layers();
    lm.SetLastDeselected(nullptr, 0, 0);
    const int index = lm.CurrentIndex();
    if (mask) mask->ReleaseRows();  // the outline drawer opens its own rows
    switch (kind) {
        case kSelectionNew:
            lm.SetSelectionObject(mask);
            lm.SetSelectionBounds(mask ? mask->Bounds() : Rect{});
            history.RecordState(mask, {}, kind, index, name.empty() ? "New Selection" : name);
            break;
        case kSelectionModify: {
            LayerPtr previous = lm.Selection();
            lm.SetSelectionObject(mask);
            lm.SetSelectionBounds(mask ? mask->Bounds() : Rect{});
            history.RecordState(previous, {}, kind, index,
                                name.empty() ? "Modify Selection" : name);
            break;
        }
        case kSelectionRemove: {
            LayerPtr removed = lm.Selection();
            lm.SetSelectionObject(nullptr);
            lm.SetSelectionBounds({});
            history.RecordState(removed, {}, kind, index, "Deselect");
            // Remembered after recording: recording may discard an older deselect state of the
            // same mask (deselect, undo, deselect again), and that must not forget this one.
            if (removed) removed->ReleaseRows();
            lm.SetLastDeselected(std::move(removed), lm.Image().width, lm.Image().height);
            break;
        }
        default:
            return;
    }
    history.Host().Redraw();
}

int MoveSelection(HistoryManager& history, int32_t dx, int32_t dy) {
    LayerManager& lm = history.Layers();
    LayerPtr mask = lm.Selection();
    if (!mask || (dx == 0 && dy == 0)) return 0;
    const Point was = mask->Position();
    mask->SetPosition(was.x + dx, was.y + dy);
    lm.SetSelectionBounds(mask->Bounds());
    StateExtra saved;
    saved.values = {was.x, was.y};
    history.RecordState(mask, {}, kStateMoveLayer, lm.CurrentIndex(), {}, saved);
    history.Host().Redraw();
    return 1;
}

}  // namespace zelvo
