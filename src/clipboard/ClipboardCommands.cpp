#include "clipboard/ClipboardCommands.h"

#include <cstring>
#include <memory>
#include <vector>

#include "clipboard/ClipboardDib.h"
#include "core/Limits.h"
#include "history/PixelEdit.h"
#include "layers/LayerRows.h"
#include "platform/Feedback.h"
#include "platform/Messages.h"
#include "selection/SelectionCommands.h"
#include "selection/SelectionMask.h"

namespace zelvo {

namespace {

constexpr int64_t kMaxPixels = 20000000;

// The rectangle a copy takes: the current pixel layer's bounds within the mask's rectangle.
Rect CopyRect(HistoryManager& history, LayerPtr* layerOut) {
    LayerManager& lm = history.Layers();
    const LayerPtr mask = lm.Selection();
    const LayerPtr layer = lm.LayerAt(lm.CurrentIndex());
    if (!mask || !layer || layer->Kind() != LayerKind::Pixel || !layer->HasPixels()) return {};
    *layerOut = layer;
    return layer->Bounds().Intersect(mask->Bounds());
}

std::vector<uint8_t> EncodeCopy(HistoryManager& history, Layer& layer, const Rect& r) {
    LayerManager& lm = history.Layers();
    Layer& mask = *lm.Selection();
    const PercentTables& t = lm.Tables();
    std::vector<uint8_t> dib = NewCopyDib(r.Width(), r.Height());
    std::vector<uint8_t> strength(static_cast<size_t>(r.Width()));
    std::unique_ptr<ReadRowCursor> rows = layer.OpenReadRows();
    if (!rows) return {};
    const int32_t layerLeft = layer.Bounds().left;
    for (int32_t cy = r.top; cy < r.bottom; ++cy) {
        const uint8_t* src = rows->Row(uint32_t(layer.StoredRowOf(cy)));
        if (!src) return {};
        ReadMaskRow(mask, cy, r.left, r.Width(), strength.data());
        uint8_t* dst = CopyDibRow(dib, r.Width(), r.bottom - 1 - cy);
        for (int32_t i = 0; i < r.Width(); ++i, dst += 4) {
            const uint8_t* px = src + 4 * size_t(r.left + i - layerLeft);
            const CopiedPixel c =
                EncodeCopiedPixel(t, px[0], px[1], px[2], px[3], strength[size_t(i)]);
            dst[0] = c.b;
            dst[1] = c.g;
            dst[2] = c.r;
            dst[3] = c.m;
        }
    }
    mask.ReleaseRows();
    return dib;
}

// Copy and Cut: the selection's rectangle of the current layer encoded under the wait cursor,
// then handed to `keep`. 0 when there is nothing to copy or the encoding failed.
template <class Keep>
int CopyThen(HistoryManager& history, ClipboardState& state, Keep keep) {
    LayerPtr layer;
    const Rect r = CopyRect(history, &layer);
    if (r.IsEmpty()) return 0;
    state.lastCopy = r;
    WaitCursor wait;
    const std::vector<uint8_t> dib = EncodeCopy(history, *layer, r);
    if (dib.empty()) return 0;
    return keep(dib);
}

}  // namespace

bool CopyEnabled(HistoryManager& history) {
    return !history.Host().ToolBusy() && HasSelection(history.Layers());
}

bool PasteEnabled(Clipboard& clipboard) {
    return clipboard.HasDib();
}

int CopySelection(HistoryManager& history, Clipboard& clipboard, ClipboardState& state) {
    return CopyThen(history, state,
                    [&](const std::vector<uint8_t>& dib) { return clipboard.SetDib(dib) ? 1 : 0; });
}

int CutSelection(HistoryManager& history, Clipboard& clipboard, ClipboardState& state) {
    // Taken from the layer object before the clear replaces it (the history keeps that one).
    return CopyThen(history, state, [&](const std::vector<uint8_t>& dib) {
        ClearSelection(history);
        return clipboard.SetDib(dib) ? 1 : 0;
    });
}

PasteResult PasteClipboard(HistoryManager& history, Clipboard& clipboard,
                           const ClipboardState& state, const NewPasteLayer& newLayer) {
    const std::optional<std::vector<uint8_t>> data = clipboard.Dib();
    if (!data) return PasteResult::Nothing;
    const std::optional<DibLayout> layout = ReadDibLayout(*data);
    if (!layout) return PasteResult::Nothing;
    LayerManager& lm = history.Layers();
    const LayerPtr current = lm.LayerAt(lm.CurrentIndex());
    if (!current) return PasteResult::Nothing;

    // Our own copy comes back where it was taken, with its opacities.
    const Rect& last = state.lastCopy;
    const bool decode =
        !last.IsEmpty() && layout->width == last.Width() && layout->height == last.Height();
    Rect target = decode ? last : Rect{0, 0, layout->width, layout->height};
    const Rect canvas = CanvasRect(lm);
    if (target.Intersect(canvas).IsEmpty()) target = target.Offset(-target.left, -target.top);
    const Point origin{target.left, target.top};  // the bitmap's top-left on the canvas
    if (int64_t(target.Width()) * int64_t(target.Height()) > kMaxPixels) {
        AppMessages().Show(kWillBeCutMessage);
        target = target.Intersect(canvas);
    }
    const bool intoNewLayer = current->Kind() != LayerKind::Null;
    if (intoNewLayer && !newLayer) return PasteResult::NeedsNewLayer;

    // Fills every row of `dst` (a layer of exactly the target's place and size) from the
    // bitmap: whole rows by pwrite, in stored order, rather than through a mapped window, so no
    // page takes a fault and the page cache keeps the layer in large pages.
    std::vector<uint8_t> line(size_t(layout->width) * 4);
    auto fill = [&](Layer& dst) {
        if (dst.BitsPerPixel() != 32 || dst.Bounds() != target) return false;
        const std::unique_ptr<RowWriter> rows = OpenRowWriter(dst);
        if (!rows) return false;
        for (int32_t cy = target.bottom - 1; cy >= target.top; --cy) {
            uint8_t* row = rows->Row(uint32_t(dst.StoredRowOf(cy)));
            if (!row) return false;
            DecodeDibRow(*data, *layout, cy - origin.y, decode, line.data());
            std::memcpy(row, line.data() + 4 * size_t(target.left - origin.x),
                        4 * size_t(target.Width()));
        }
        return rows->Flush();
    };

    WaitCursor wait;
    if (intoNewLayer) {
        // The new layer's state ("Paste") is recorded when it is made; its pixels follow.
        LayerPtr layer = newLayer(target.Width(), target.Height());
        if (!layer) return PasteResult::Nothing;
        layer->SetPosition(target.left, target.top);
        fill(*layer);
        history.Host().Redraw();
        return PasteResult::Pasted;
    }
    PixelEdit edit(lm, history);
    LayerPtr fresh = edit.BeginRectEdit(target.left, target.top, target.right, target.bottom, 0);
    if (!fresh) return PasteResult::Nothing;
    if (!fill(*fresh)) {
        edit.CommitLayerEdit(0);
        return PasteResult::Nothing;
    }
    edit.CommitLayerEdit(1, "Paste");
    return PasteResult::Pasted;
}

int CleanClipboard(Clipboard& clipboard) {
    return clipboard.Empty() ? 1 : 0;
}

}  // namespace zelvo
