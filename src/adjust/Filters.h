// The Filter menu: Blur, Sharpen, Sharpen..., Add Noise, Mosaic and the noise reducers. The
// `...Result` functions compute a filter over a buffer by itself (the apply step and the
// dialogs' previews share them); the `Apply...` commands work on the current pixel layer,
// honour the selection and record one history state, returning 1 when they did.
#pragma once

#include <cstdint>
#include <functional>

#include "adjust/AdjustPass.h"
#include "core/CpuLevel.h"
#include "history/HistoryManager.h"

namespace zelvo {

// Blur, slider 1..110: five-point Gaussian up to 10, box blur of radius b - 10 above (its
// windows are cut at the edges of the buffer it is given: the layer's pixels laid into the
// grown rectangle, transparent around them).
// The Gaussian's kernels run in lanes of the processor level named (one this processor runs;
// kernels for Base, Avx2 and V4); every level gives the same words, and tests run each the
// processor has.
PixelBuffer GaussianBlurResult(const PixelBuffer& src, int32_t slider,
                               CpuLevel level = BestCpuLevel());
// The Gaussian's selection rule: every channel and A mix by the strength.
uint32_t GaussianSelectionMix(uint32_t old, uint32_t result, int32_t strength);
PixelBuffer BoxBlurResult(const PixelBuffer& padded, int32_t radius);
// `src` placed at `from` laid into rectangle `to` (transparent where it does not reach).
PixelBuffer PlaceInto(const PixelBuffer& src, const Rect& from, const Rect& to);
int ApplyBlur(HistoryManager& history, int32_t slider);

PixelBuffer SharpenResult(const PixelBuffer& src);
int ApplySharpen(HistoryManager& history);

// Sharpen...: blurred copy by the colour tent blur of radius R + 1.
// `strength` (one byte per pixel) applies the selection rule; empty: none.
PixelBuffer SharpenMoreResult(const PixelBuffer& src, int32_t amount, int32_t radius,
                              const std::vector<uint8_t>& strength = {});
int ApplySharpenMore(HistoryManager& history, int32_t amount, int32_t radius);

// Add Noise: one rand() per pixel in stored row order (bottom row first), left to right.
// The field holds the noise colour as B, G, R with A = 1 where a pixel gets noise, else 0.
std::vector<uint32_t> DrawNoiseField(int32_t width, int32_t height, bool monochromatic);
// One row of the field: `width` draws, left to right.
void DrawNoiseRow(uint32_t* line, int32_t width, bool monochromatic);
uint32_t NoisePixel(uint32_t p, uint32_t noise, int32_t amount, int32_t strength);
uint32_t NoisePaletteColour(int32_t index);  // 0..124, as a pixel word with A = 0
int ApplyAddNoise(HistoryManager& history, int32_t amount, bool monochromatic);

PixelBuffer MosaicResult(const PixelBuffer& src, int32_t cell);
// The preview of a layer's mosaic from samples of it, top row first: sample (x, y) lies at canvas
// (canvasX[x], canvasY[y]). Each sample joins the cell of the layer's own grid, laid from the
// bottom-left corner of `bounds`, and takes the mean of the cell's samples; samples outside
// `bounds` stay as they are. Where every pixel of a cell is sampled this is the filter's cell.
PixelBuffer MosaicPreview(const PixelBuffer& src, int32_t cell, const std::vector<int32_t>& canvasX,
                          const std::vector<int32_t>& canvasY, const Rect& bounds);
uint32_t MosaicSelectionMix(uint32_t old, uint32_t cell, int32_t strength);
int ApplyMosaic(HistoryManager& history, int32_t cell);

enum class NoiseReducer { Small, Medium, Big, Gray };
PixelBuffer ReduceSmallNoiseResult(const PixelBuffer& src);
// The radius-based reducers; `k` per pixel (channels with d > 10) is returned beside.
PixelBuffer ReduceNoiseResult(const PixelBuffer& src, NoiseReducer kind, std::vector<uint8_t>* k);
int ApplyReduceNoise(HistoryManager& history, NoiseReducer kind);

constexpr int64_t kLargeLayerPixels = 5000000;
extern const char* const kLargeLayerQuestion;

}  // namespace zelvo
