#include "layers/MaskRender.h"

#include <algorithm>
#include <cstring>

#include "core/InternalError.h"

namespace zelvo {

bool WriteMask(Layer& layer, MaskPainter& painter, int createError, int flushError) {
    if (layer.BitsPerPixel() != 1 || !layer.HasPixels() || !layer.Clear()) {
        ShowInternalError(createError);
        return false;
    }
    RowCursor* rows = layer.Rows();
    const int32_t height = layer.Height();
    const size_t bytes = std::min<size_t>(rows->RowBytes(), (size_t(layer.Width()) + 7) / 8);
    bool written = true;
    const bool painted = painter.Paint([&](int32_t y, const uint8_t* bits) {
        uint8_t* row = rows->Row(uint32_t(height - 1 - y));
        if (!row) {
            written = false;
            return false;
        }
        std::memcpy(row, bits, bytes);
        return true;
    });
    if (!painted) {
        // What was drawn before the failure stays in the mask.
        rows->Flush();
        ShowInternalError(written ? createError : flushError);
        return false;
    }
    rows->Flush();
    if (!layer.Store().CheckBlock(layer.Block())) {
        ShowInternalError(flushError);
        return false;
    }
    return true;
}

}  // namespace zelvo
