#include "history/PixelEdit.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "core/InternalError.h"
#include "core/RowBands.h"
#include "history/LayerListOps.h"
#include "layers/LayerRows.h"
#include "store/RowWriter.h"

namespace zelvo {

PixelEdit::PixelEdit(LayerManager& layers, HistoryManager& history)
    : m_layers(layers), m_history(history) {}

PixelEdit::~PixelEdit() {
    if (m_mode == Mode::Layer) {
        m_layers.ReplaceAt(m_index, m_old);
    }
}

namespace {

// Copies the old layer's 32-bit pixels where it overlaps the new one (placed by bounds).
bool CopyOverlap(Layer& from, Layer& to) {
    const Rect area = from.Bounds().Intersect(to.Bounds());
    if (area.IsEmpty()) return true;
    // The new layer's rows are written whole by pwrite, not through a mapped window (no page
    // takes a fault, and the page cache keeps the layer in large pages), a band of rows on each
    // core: the new layer starts zeroed, so its row is zero outside the overlap.
    const Rect fb = from.Bounds(), tb = to.Bounds();
    const size_t before = 4 * size_t(area.left - tb.left), part = 4 * size_t(area.Width());
    const uint64_t window = BandWindowBytes(RowCursor::kDefaultWindowBytes,
                                            RowBandCount(area.Height(), kLeastBandRows));
    std::atomic<bool> failed{false};
    ForEachRowBand(area.Height(), kLeastBandRows, [&](int32_t first, int32_t end, bool) {
        const std::unique_ptr<RowReader> src = OpenRowReader(from, window);
        const std::unique_ptr<RowWriter> dst = OpenRowWriter(to, window);
        if (!src || !dst) return void(failed = true);
        // Bottom-up, in the file's order.
        for (int32_t cy = area.top + end - 1; cy >= area.top + first; --cy) {
            const uint8_t* s = src->Row(uint32_t(fb.bottom - 1 - cy));
            uint8_t* d = dst->Row(uint32_t(tb.bottom - 1 - cy));
            if (!s || !d) return void(failed = true);
            std::memset(d, 0, to.Stride());
            std::memcpy(d + before, s + 4 * size_t(area.left - fb.left), part);
        }
        if (!dst->Flush()) failed = true;
    });
    return !failed;
}

}  // namespace

LayerPtr PixelEdit::MakeReplacement(LayerKind kind, int32_t width, int32_t height, int32_t x,
                                    int32_t y, bool keep) {
    m_index = m_layers.CurrentIndex();
    if (m_index < 0) return nullptr;
    LayerPtr old = m_layers.LayerAt(m_index);
    auto fresh = std::make_shared<Layer>(m_layers.Store());
    if (kind == LayerKind::Pixel) {
        if (!fresh->Create(width, height, kind, m_layers.NextId(), 32, keep)) return nullptr;
    } else if (!fresh->Create(width, height, kind, m_layers.NextId())) {
        return nullptr;
    }
    // The serial goes on to the replacement: it is the same layer to the user.
    fresh->SetSerial(old->Serial());
    fresh->SetCurrent(old->IsCurrent());
    fresh->SetVisible(old->IsVisible());
    fresh->SetOpacity(old->Opacity());
    fresh->SetColor(old->Color());
    if (kind != LayerKind::Null) fresh->SetPosition(x, y);
    if (keep && kind == LayerKind::Pixel && old->Kind() == LayerKind::Pixel &&
        old->BitsPerPixel() == 32 && old->HasPixels() && !CopyOverlap(*old, *fresh))
        return nullptr;
    m_layers.ReplaceAt(m_index, fresh);
    m_old = std::move(old);
    m_new = fresh;
    m_mode = Mode::Layer;
    return fresh;
}

LayerPtr PixelEdit::BeginLayerEdit() {
    if (m_mode != Mode::None) {
        ShowInternalError(1026);
        return nullptr;
    }
    const LayerPtr current = m_layers.LayerAt(m_layers.CurrentIndex());
    if (!current) return nullptr;
    const Point p = current->Position();
    return MakeReplacement(current->Kind(), current->Width(), current->Height(), p.x, p.y, false);
}

LayerPtr PixelEdit::BeginRectEdit(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                  int keep, int kind) {
    if (m_mode != Mode::None) {
        ShowInternalError(1025);
        return nullptr;
    }
    if (kind == 0) return MakeReplacement(LayerKind::Null, 0, 0, 0, 0, false);
    if (right <= left || bottom <= top) return nullptr;
    return MakeReplacement(LayerKind::Pixel, right - left, bottom - top, left, top, keep == 1);
}

LayerPtr PixelEdit::BeginStrokeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (m_mode != Mode::None) {
        ShowInternalError(1025);
        return nullptr;
    }
    if (right <= left || bottom <= top) return nullptr;
    m_index = m_layers.CurrentIndex();
    if (m_index < 0) return nullptr;
    // The rectangle object is no layer of the list: it takes no id from the document.
    auto rect = std::make_shared<Layer>(m_layers.Store());
    if (!rect->Create(right - left, bottom - top, LayerKind::Pixel, 0)) return nullptr;
    rect->SetPosition(left, top);
    m_new = std::move(rect);
    m_mode = Mode::Stroke;
    return m_new;
}

int PixelEdit::CommitLayerEdit(int commit, const std::string& name) {
    if (m_mode != Mode::Layer) {
        ShowInternalError(1027);
        return 0;
    }
    if (commit == 1) {
        TakeOverLinkGroup(m_layers, *m_new, *m_old);
        m_history.RecordState(m_old, {}, kStateLayerPixels, m_index,
                              name.empty() ? "Modify" : name);
    } else {
        m_layers.ReplaceAt(m_index, m_old);
    }
    m_mode = Mode::None;
    m_old.reset();
    m_new.reset();
    m_index = -1;
    m_history.Host().Redraw();
    return 1;
}

int PixelEdit::CommitRectEdit(int commit, const std::string& name) {
    if (m_mode != Mode::Stroke) {
        ShowInternalError(1024);
        return 0;
    }
    if (commit == 1)
        m_history.RecordState(m_new, {}, kStateRectPixels, m_index, name.empty() ? "Modify" : name);
    m_mode = Mode::None;
    m_new.reset();
    m_index = -1;
    m_history.Host().Redraw();
    return 1;
}

}  // namespace zelvo
