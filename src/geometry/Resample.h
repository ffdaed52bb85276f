// Scaling one pixel layer for Image Size and Crop: the scaled rectangle (R3 rounding), the
// nearest-neighbour resampler, and the smooth one (a copy at scale 1, 2 x 2 interpolation when
// enlarging, the average of the opaque pixels covered when reducing).
#pragma once

#include <cstdint>

#include "core/Types.h"
#include "layers/Layer.h"
#include "layers/LayerManager.h"

namespace zelvo {

// A layer bigger than this is cut to the canvas when it is scaled.
constexpr int64_t kMaxScaledLayerPixels = 20000000;

enum class ResampleMode { Nearest, Smooth };

// How the smooth resampler sums: `Plain` one pixel at a time in 64 bits; `Base`, `Avx2` and
// `V4` many at a time with the instructions of that processor level (used when every sum fits
// 32 bits); `Best` the widest this processor has. All give the same words: the choice lets
// the tests run each.
enum class ResampleArithmetic { Best, Plain, Base, Avx2, V4 };
bool ResampleArithmeticAvailable(ResampleArithmetic arithmetic);
ResampleArithmetic BestResampleArithmetic();

// Where a layer at `r` lands when the canvas scales by (sx, sy): R3(w sx) x R3(h sy) at
// (R3(left sx), R3(top sy)).
Rect ScaledLayerRect(const Rect& r, float sx, float sy);

// Writes every pixel of `dst`, a 32-bit layer lying inside `full`, from the 32-bit layer `src`
// scaled by (sx, sy) onto `full`: output column i of `full` samples source column i / sx, and
// likewise for rows. Returns false when a row cannot be read or written.
bool ResamplePixels(Layer& src, Layer& dst, const Rect& full, float sx, float sy, ResampleMode mode,
                    ResampleArithmetic arithmetic = ResampleArithmetic::Best);

// The pixel layer `old` rebuilt scaled onto `full` (new canvas coordinates). A result above
// 20,000,000 pixels shows "Images more than 20 million pixels,Will be cut!" and is cut to
// `canvas`; with `cutToCanvas` it is always cut. An empty result is a null layer. Null when the
// store has no room or the pixels cannot be read.
LayerPtr ResampleLayer(LayerManager& layers, Layer& old, const Rect& full, float sx, float sy,
                       ResampleMode mode, const Rect& canvas, bool cutToCanvas = false);

}  // namespace zelvo
