// Row plumbing shared by the adjustments and filters.
#include "adjust/AdjustPass.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/RowBands.h"
#include "history/PixelEdit.h"
#include "platform/Feedback.h"
#include "selection/SelectionMask.h"
#include "store/RowWriter.h"

namespace zelvo {

LayerPtr CurrentPixelLayer(LayerManager& layers) {
    const int index = layers.CurrentIndex();
    if (index < 0) return nullptr;
    LayerPtr layer = layers.LayerAt(index);
    if (!layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels() ||
        layer->BitsPerPixel() != 32)
        return nullptr;
    return layer;
}

bool ReadLayerPixels(const Layer& layer, PixelBuffer& out) {
    out.width = layer.Width();
    out.height = layer.Height();
    out.px.assign(size_t(out.width) * size_t(out.height), 0);
    RowReader rows(layer.Store(), layer.Block(), layer.RowsOffset(), layer.Stride(),
                   uint32_t(layer.Height()));
    for (int32_t y = 0; y < out.height; ++y) {
        const uint8_t* src = rows.Row(uint32_t(out.height - 1 - y));
        if (!src) return false;
        std::memcpy(&out.px[size_t(y) * size_t(out.width)], src, 4 * size_t(out.width));
    }
    return true;
}

bool WriteLayerPixels(Layer& layer, const PixelBuffer& buf) {
    std::unique_ptr<RowCursor> rows = layer.OpenRows();
    if (!rows) return false;
    for (int32_t y = 0; y < buf.height; ++y) {
        uint8_t* dst = rows->Row(uint32_t(buf.height - 1 - y));
        if (!dst) return false;
        std::memcpy(dst, &buf.px[size_t(y) * size_t(buf.width)], 4 * size_t(buf.width));
    }
    return true;
}

std::unique_ptr<RowReader> LayerRowReader(const Layer& layer, uint64_t windowBytes) {
    return std::make_unique<RowReader>(layer.Store(), layer.Block(), layer.RowsOffset(),
                                       layer.Stride(), uint32_t(layer.Height()), windowBytes);
}

RowRing::RowRing(int32_t width, int32_t height, int32_t keep, RowSource source, int32_t first)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_keep(std::clamp(keep, 1, std::max(m_height, 1))),
      m_source(std::move(source)),
      m_rows(size_t(m_keep) * size_t(m_width)),
      m_first(std::clamp(first, 0, m_height)),
      m_next(m_first) {}

const uint32_t* RowRing::Row(int32_t row) {
    if (row < 0 || row >= m_height || m_failed) return nullptr;
    while (m_next <= row) {
        const uint8_t* src = m_source(m_next);
        if (!src) {
            m_failed = true;
            return nullptr;
        }
        std::memcpy(Slot(m_next), src, 4 * size_t(m_width));
        ++m_next;
    }
    if (row < m_next - m_keep || row < m_first) {
        m_failed = true;  // the pass reached further back than its ring: a fault, not an edge
        return nullptr;
    }
    return Slot(row);
}

StrengthRows::StrengthRows(const LayerManager& layers, int32_t left, int32_t width,
                           uint64_t windowBytes)
    : m_mask(layers.Selection()), m_left(left), m_width(std::max(width, 0)) {
    if (!m_mask) return;
    m_line.assign(size_t(m_width), 0);
    if (m_mask->HasPixels()) m_rows = LayerRowReader(*m_mask, windowBytes);
}

const uint8_t* StrengthRows::Row(int32_t cy) {
    if (!m_mask) return nullptr;
    std::fill(m_line.begin(), m_line.end(), uint8_t(0));
    const Rect b = m_mask->Bounds();
    const int32_t from = std::max(m_left, b.left), to = std::min(m_left + m_width, b.right);
    if (!m_rows || from >= to || cy < b.top || cy >= b.bottom) return m_line.data();
    // A mask row that cannot be read counts as unselected, as everywhere else.
    if (const uint8_t* row = m_rows->Row(uint32_t(m_mask->StoredRowOf(cy))))
        std::memcpy(&m_line[size_t(from - m_left)], row + (from - b.left), size_t(to - from));
    return m_line.data();
}

int RunRowFilter(HistoryManager& history, const std::string& name, const Rect& rect, bool rectEdit,
                 const RowFill& fill, int32_t progressSteps) {
    LayerManager& lm = history.Layers();
    if (!CurrentPixelLayer(lm) || rect.IsEmpty()) return 0;
    PixelEdit edit(lm, history);
    const LayerPtr fresh = rectEdit
                               ? edit.BeginRectEdit(rect.left, rect.top, rect.right, rect.bottom, 0)
                               : edit.BeginLayerEdit();
    if (!fresh) return 0;
    const int32_t w = fresh->Width(), h = fresh->Height();
    bool ok = w == rect.Width() && h == rect.Height();
    {
        // Written by pwrite from a bounded buffer: no page of the new block is mapped.
        RowWriter out(fresh->Store(), fresh->Block(), fresh->RowsOffset(), fresh->Stride(),
                      uint32_t(h), kWriterWindows * BandWindowBytes(1));
        std::vector<uint32_t> line(size_t(std::max(w, 0)));
        int32_t stepped = 0;
        for (int32_t row = 0; ok && row < h; ++row) {
            // Filled straight into the writer's row when it is word-aligned (a failed fill
            // cancels the whole edit).
            uint8_t* dst = out.Row(uint32_t(row));
            const bool direct = dst && reinterpret_cast<uintptr_t>(dst) % 4 == 0;
            ok = dst && fill(row, direct ? reinterpret_cast<uint32_t*>(dst) : line.data());
            if (!ok) break;
            if (!direct) std::memcpy(dst, line.data(), 4 * size_t(w));
            for (; progressSteps > 0 && stepped < int64_t(progressSteps) * (row + 1) / h; ++stepped)
                AppFeedback().StepProgress();
        }
        ok = out.Flush() && ok;
    }
    if (!ok) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    return edit.CommitLayerEdit(1, name);
}

int RunBandFilter(HistoryManager& history, const std::string& name, const Rect& rect, bool rectEdit,
                  const BandFill& makeFill, int32_t progressSteps) {
    LayerManager& lm = history.Layers();
    if (!CurrentPixelLayer(lm) || rect.IsEmpty()) return 0;
    PixelEdit edit(lm, history);
    const LayerPtr fresh = rectEdit
                               ? edit.BeginRectEdit(rect.left, rect.top, rect.right, rect.bottom, 0)
                               : edit.BeginLayerEdit();
    if (!fresh) return 0;
    const int32_t w = fresh->Width(), h = fresh->Height();
    std::atomic<bool> failed{w != rect.Width() || h != rect.Height()};
    std::atomic<int32_t> done{0};
    int32_t stepped = 0;
    auto step = [&](int32_t rows) {
        for (; progressSteps > 0 && stepped < int64_t(progressSteps) * rows / h; ++stepped)
            AppFeedback().StepProgress();
    };
    const uint64_t window = BandWindowBytes(RowBandCount(h, kLeastBandRows));
    if (!failed)
        ForEachRowBand(h, kLeastBandRows, [&](int32_t first, int32_t end, bool caller) {
            // Written by pwrite from a bounded buffer: no page of the new block is mapped.
            // Bands write disjoint rows, each through its own writer.
            RowWriter out(fresh->Store(), fresh->Block(), fresh->RowsOffset(), fresh->Stride(),
                          uint32_t(h), kWriterWindows * window);
            const RowFill fill = makeFill(first, end, window);
            std::vector<uint32_t> line(size_t(std::max(w, 0)));
            for (int32_t row = first; row < end && !failed.load(std::memory_order_relaxed); ++row) {
                // The writer's rows are word-aligned: the filler writes straight into them (a
                // failed fill cancels the whole edit, so a half-written row is never kept).
                uint8_t* dst = out.Row(uint32_t(row));
                const bool direct = dst && reinterpret_cast<uintptr_t>(dst) % 4 == 0;
                if (!dst || !fill(row, direct ? reinterpret_cast<uint32_t*>(dst) : line.data())) {
                    failed = true;
                    break;
                }
                if (!direct) std::memcpy(dst, line.data(), 4 * size_t(w));
                const int32_t all = done.fetch_add(1, std::memory_order_relaxed) + 1;
                if (caller) step(all);
            }
            if (!out.Flush()) failed = true;
        });
    if (failed) {
        edit.CommitLayerEdit(0);
        return 0;
    }
    step(h);
    return edit.CommitLayerEdit(1, name);
}

int RunRowAdjustment(HistoryManager& history, const std::string& name, const RowRule& rule) {
    LayerManager& lm = history.Layers();
    const LayerPtr old = CurrentPixelLayer(lm);
    if (!old) return 0;
    const Rect b = old->Bounds();
    const int32_t w = old->Width();
    return RunBandFilter(history, name, b, false, [&](int32_t, int32_t, uint64_t window) {
        auto src = std::shared_ptr<RowReader>(LayerRowReader(*old, window));
        auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
        auto in = std::make_shared<std::vector<uint32_t>>(size_t(w));
        return RowFill([=, &rule](int32_t row, uint32_t* out) {
            const uint8_t* s = src->Row(uint32_t(row));
            if (!s) return false;
            // The reader's rows are word-aligned and read in place; a copy only otherwise.
            const uint32_t* words = reinterpret_cast<const uint32_t*>(s);
            if (reinterpret_cast<uintptr_t>(s) % 4 != 0) {
                std::memcpy(in->data(), s, 4 * size_t(w));
                words = in->data();
            }
            rule(words, strength->Row(b.bottom - 1 - row), out, w);
            return true;
        });
    });
}

}  // namespace zelvo
