#include "layerops/LayerThumbnail.h"

#include <algorithm>
#include <cstring>

#include "layers/StoredDib.h"
#include "store/RowCursor.h"

namespace zelvo {

namespace {

constexpr uint32_t kCheckLight = 0xFFFFFFFFu;
constexpr uint32_t kCheckDark = 0xFFCCCCCCu;
constexpr int32_t kCheckSide = 4;

uint32_t Over(uint32_t bgr, uint32_t alpha, uint32_t under) {
    // alpha is a percentage, as in every layer.
    auto mix = [&](int shift) {
        const uint32_t a = (bgr >> shift) & 0xFF, b = (under >> shift) & 0xFF;
        return ((a * alpha + b * (100 - alpha)) / 100) << shift;
    };
    return 0xFF000000u | mix(16) | mix(8) | mix(0);
}

}  // namespace

std::vector<uint32_t> LayerThumbnail(Layer& layer, int32_t canvasWidth, int32_t canvasHeight,
                                     int32_t side) {
    if (side <= 0 || canvasWidth <= 0 || canvasHeight <= 0) return {};
    std::vector<uint32_t> out(size_t(side) * size_t(side), 0);
    const double s = std::min(double(side) / canvasWidth, double(side) / canvasHeight);
    const int32_t tw = std::max(1, int32_t(canvasWidth * s));
    const int32_t th = std::max(1, int32_t(canvasHeight * s));
    const int32_t ox = (side - tw) / 2, oy = (side - th) / 2;
    for (int32_t j = 0; j < th; ++j)
        for (int32_t i = 0; i < tw; ++i)
            out[size_t(oy + j) * size_t(side) + size_t(ox + i)] =
                ((i / kCheckSide + j / kCheckSide) % 2) ? kCheckDark : kCheckLight;
    const int32_t bits = layer.BitsPerPixel();
    if (layer.Kind() == LayerKind::Null || !layer.HasPixels() || (bits != 32 && bits != 1))
        return out;

    std::unique_ptr<ReadRowCursor> rows = layer.OpenReadRows();
    if (!rows) return out;
    const Point at = layer.Position();
    const uint32_t colour = StoredDib::PixelWord(layer.Color(), 100);
    for (int32_t j = 0; j < th; ++j) {
        const int32_t cy = std::min(int32_t(j / s), canvasHeight - 1);
        const int32_t stored = layer.StoredRowOf(cy);
        if (stored < 0 || stored >= layer.Height()) continue;
        const uint8_t* row = rows->Row(uint32_t(stored));
        if (!row) continue;
        for (int32_t i = 0; i < tw; ++i) {
            const int32_t lx = std::min(int32_t(i / s), canvasWidth - 1) - at.x;
            if (lx < 0 || lx >= layer.Width()) continue;
            uint32_t word;
            if (bits == 1) {
                if (!((row[lx >> 3] >> (7 - (lx & 7))) & 1)) continue;
                word = colour;
            } else {
                std::memcpy(&word, row + 4 * size_t(lx), 4);
            }
            const uint32_t alpha = std::min<uint32_t>(word >> 24, 100);
            uint32_t& px = out[size_t(oy + j) * size_t(side) + size_t(ox + i)];
            px = Over(word & 0x00FFFFFFu, alpha, px);
        }
    }
    return out;
}

}  // namespace zelvo
