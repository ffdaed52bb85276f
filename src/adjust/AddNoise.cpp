// Filter > Add Noise...: each pixel may take a colour of a small palette (or a grey),
// weighted by the amount. All draws come from the C runtime's rand(), one per pixel, row by
// row.
#include <cstdlib>
#include <cstring>

#include "adjust/Filters.h"

namespace zelvo {

uint32_t NoisePaletteColour(int32_t index) {
    static const int kSteps[5] = {0, 64, 128, 192, 255};
    const int r = kSteps[index / 25], g = kSteps[(index / 5) % 5], b = kSteps[index % 5];
    return MakePixel(b, g, r, 0);
}

void DrawNoiseRow(uint32_t* line, int32_t width, bool mono) {
    for (int32_t x = 0; x < width; ++x) {
        line[x] = 0;
        if (mono) {
            const int n = std::rand() % 11;
            if (n < 10) line[x] = MakePixel(26 * n, 26 * n, 26 * n, 1);
        } else {
            const int n = std::rand() % 150;
            if (n < 125) line[x] = NoisePaletteColour(n) | 1u << 24;
        }
    }
}

std::vector<uint32_t> DrawNoiseField(int32_t width, int32_t height, bool mono) {
    std::vector<uint32_t> field(size_t(width) * size_t(height), 0);
    for (int32_t row = 0; row < height; ++row)
        DrawNoiseRow(&field[size_t(height - 1 - row) * size_t(width)], width, mono);
    return field;
}

uint32_t NoisePixel(uint32_t p, uint32_t noise, int32_t amount, int32_t s) {
    if (ChA(noise) == 0 || s <= 0) return p;
    const int G = s >= 100 ? amount : amount * s / 100;
    if (G <= 0) return p;
    auto ch = [G](int n, int v) { return (n * G + v * (100 - G)) / 100; };
    return MakePixel(ch(ChB(noise), ChB(p)), ch(ChG(noise), ChG(p)), ch(ChR(noise), ChR(p)),
                     ChA(p));
}

int ApplyAddNoise(HistoryManager& history, int32_t amount, bool mono) {
    LayerManager& lm = history.Layers();
    const LayerPtr layer = CurrentPixelLayer(lm);
    if (!layer) return 0;
    const Rect b = layer->Bounds();
    const int32_t w = layer->Width();
    const std::unique_ptr<RowReader> src = LayerRowReader(*layer);
    StrengthRows strength(lm, b.left, w);
    std::vector<uint32_t> noise(static_cast<size_t>(w));
    // The draws go row by row in stored order, as the field of the preview is drawn.
    return RunRowFilter(history, "Add Noise", b, false, [&](int32_t row, uint32_t* out) {
        const uint8_t* line = src->Row(uint32_t(row));
        if (!line) return false;
        std::memcpy(out, line, 4 * size_t(w));
        DrawNoiseRow(noise.data(), w, mono);
        const uint8_t* s = strength.Row(b.bottom - 1 - row);
        for (int32_t x = 0; x < w; ++x)
            out[x] = NoisePixel(out[x], noise[size_t(x)], amount, s ? s[x] : 100);
        return true;
    });
}

}  // namespace zelvo
