// The tone and colour adjustments: their tables, per-pixel rules (shared by the apply step and
// the view's live preview) and apply commands. Every command works on the current pixel
// layer, honours the selection strengths and records one history state; it returns 1 when a
// state was recorded and 0 when nothing was applied.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "adjust/AdjustPass.h"
#include "core/CpuLevel.h"
#include "history/HistoryManager.h"

namespace zelvo {

using Table256 = std::array<int32_t, 256>;

// Invert ("Invert Color") and Desaturate: transparent pixels are kept.
uint32_t InvertPixel(uint32_t p, int32_t strength);
uint32_t DesaturatePixel(uint32_t p, int32_t strength);
// The same at strength 100, without the mix (the passes without a selection).
uint32_t InvertFull(uint32_t p);
uint32_t DesaturateFull(uint32_t p);
int ApplyInvert(HistoryManager& history);
int ApplyDesaturate(HistoryManager& history);

// Brightness/Contrast: b and k in -100..100; row i of the table is strength i.
using BrightnessContrastTable = std::vector<std::array<uint8_t, 256>>;  // 101 rows
BrightnessContrastTable BuildBrightnessContrastTable(int32_t brightness, int32_t contrast);
uint32_t BrightnessContrastPixel(const BrightnessContrastTable& t, uint32_t p, int32_t strength);
int ApplyBrightnessContrast(HistoryManager& history, int32_t brightness, int32_t contrast);

// Saturation, value -100..100. `strength` < 0 means no selection.
uint32_t SaturationPixel(int32_t value, uint32_t p, int32_t strength);
int ApplySaturation(HistoryManager& history, int32_t value);

// Color Balance, each slider -100..100 (Cyan-Red, Magenta-Green, Yellow-Blue).
Table256 OffsetCurve(int32_t amount);
struct ChannelTables {
    std::array<uint8_t, 256> r{}, g{}, b{};
};
ChannelTables BuildColorBalanceTables(int32_t cyanRed, int32_t magentaGreen, int32_t yellowBlue);
uint32_t ChannelTablesPixel(const ChannelTables& t, uint32_t p, int32_t strength);
int ApplyColorBalance(HistoryManager& history, int32_t cyanRed, int32_t magentaGreen,
                      int32_t yellowBlue);

// A transfer table applied to B, G and R (Levels, Curves); `strength` < 0 means no selection.
uint32_t TransferPixel(const Table256& t, uint32_t p, int32_t strength);
int ApplyTransfer(HistoryManager& history, const Table256& t, const std::string& name);

// Levels.
struct LevelsValues {
    int32_t inBlack = 0, inMiddle = 127, inWhite = 255, outBlack = 0, outWhite = 255;
    friend bool operator==(const LevelsValues&, const LevelsValues&) = default;
};
Table256 BuildLevelsTable(const LevelsValues& v);
// The middle number's "%0.2f" reading.
std::string LevelsMiddleReading(int32_t black, int32_t middle, int32_t white);
int ApplyLevels(HistoryManager& history, const LevelsValues& v);  // "OK without a change": 0

// The summed red, green and blue counts of a layer, sampled as Levels and Shadow/Highlight do.
std::array<int64_t, 256> SampledHistogram(const std::vector<uint32_t>& canvasOrderPixels,
                                          int32_t width, int32_t height);
// The same of a layer, reading only the sampled rows.
std::array<int64_t, 256> LayerHistogram(const Layer& layer);
// Every how many rows the histogram samples.
int32_t HistogramRowStep(int32_t width, int32_t height);
// Bar heights of the Levels histogram: min(count / average * 40, 80).
std::array<int32_t, 256> HistogramBars(const std::array<int64_t, 256>& counts);

// Shadow/Highlight.
Table256 ToneCurve(int32_t amount);
struct StretchBounds {
    int32_t low = 0, high = 255;
};
StretchBounds StretchBoundsOf(const std::array<int64_t, 256>& counts);
Table256 StretchTable(const StretchBounds& b);
// The rule over a buffer (the apply step, and the preview over the visible area with the
// layer's histogram); `strength` is empty without a selection, else one byte per pixel.
PixelBuffer ShadowHighlightResult(const PixelBuffer& src, const std::vector<uint8_t>& strength,
                                  const std::array<int64_t, 256>& histogram, int32_t shadows,
                                  int32_t highlights, int32_t radius);
int ApplyShadowHighlight(HistoryManager& history, int32_t shadows, int32_t highlights,
                         int32_t radius);
// One row of the rule with the stretch table S (0..255) and the tone table T (fitting 16
// bits): `blurred` holds the tent-blurred stretched channels, `strength` is null without a
// selection. The best kernel built at or below `level`, which the processor must run.
void ShadowHighlightRowOn(CpuLevel level, const Table256& S, const Table256& T, const uint32_t* src,
                          const uint32_t* blurred, const uint8_t* strength, int32_t w,
                          uint32_t* out);

}  // namespace zelvo
