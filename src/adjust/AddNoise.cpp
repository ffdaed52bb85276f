// Filter > Add Noise...: each pixel may take a colour of a small palette (or a grey),
// weighted by the amount. All draws come from the C runtime's rand(), one per pixel, row by
// row.
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "adjust/Filters.h"

namespace zelvo {

namespace {

// The C runtime's rand() sequence without its lock taken once per number. glibc's rand() is
// random(): its state is lent to a private generator of the same algorithm (random_r) and
// handed back advanced, so the next rand() goes on where these draws stopped. Where a step
// fails the draws are plain rand() calls. One lender at a time: a second one (a preview drawing
// its field while a command runs) would hand back the first one's borrowed buffer, which dies
// with it.
class RandDraws {
public:
    RandDraws() : m_lock(LenderMutex()) {
        if (initstate_r(1, m_own, sizeof m_own, &m_data) != 0) return;
        m_global = initstate(1, m_spare, sizeof m_spare);
        if (!m_global) return;
        if (setstate_r(m_global, &m_data) != 0) {
            setstate(m_global);
            m_global = nullptr;
        }
    }
    ~RandDraws() {
        if (!m_global) return;
        // Leaving the lent state notes in it where the draws stopped.
        setstate_r(m_own, &m_data);
        setstate(m_global);
    }
    RandDraws(const RandDraws&) = delete;
    RandDraws& operator=(const RandDraws&) = delete;

    int Next() {
        if (!m_global) return std::rand();
        int32_t v = 0;
        random_r(&m_data, &v);
        return v;
    }

private:
    static std::mutex& LenderMutex() {
        static std::mutex m;
        return m;
    }

    // First member: taken before the state is lent, let go after it is handed back.
    std::lock_guard<std::mutex> m_lock;
    alignas(8) char m_own[128];
    alignas(8) char m_spare[128];
    random_data m_data{};
    char* m_global = nullptr;
};

// The noise word of each draw's remainder: a palette colour or grey with A = 1, or 0 (none).
struct NoiseWords {
    uint32_t colour[150] = {}, grey[11] = {};
    NoiseWords() {
        for (int n = 0; n < 125; ++n) colour[n] = NoisePaletteColour(n) | 1u << 24;
        for (int n = 0; n < 10; ++n) grey[n] = MakePixel(26 * n, 26 * n, 26 * n, 1);
    }
};

void DrawNoise(RandDraws& draws, uint32_t* line, int32_t width, bool mono) {
    static const NoiseWords words;
    if (mono)
        for (int32_t x = 0; x < width; ++x) line[x] = words.grey[draws.Next() % 11];
    else
        for (int32_t x = 0; x < width; ++x) line[x] = words.colour[draws.Next() % 150];
}

}  // namespace

uint32_t NoisePaletteColour(int32_t index) {
    static const int kSteps[5] = {0, 64, 128, 192, 255};
    const int r = kSteps[index / 25], g = kSteps[(index / 5) % 5], b = kSteps[index % 5];
    return MakePixel(b, g, r, 0);
}

void DrawNoiseRow(uint32_t* line, int32_t width, bool mono) {
    RandDraws draws;
    DrawNoise(draws, line, width, mono);
}

std::vector<uint32_t> DrawNoiseField(int32_t width, int32_t height, bool mono) {
    std::vector<uint32_t> field(size_t(width) * size_t(height), 0);
    RandDraws draws;
    for (int32_t row = 0; row < height; ++row)
        DrawNoise(draws, &field[size_t(height - 1 - row) * size_t(width)], width, mono);
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
    const std::unique_ptr<RowReader> src = LayerRowReader(*layer, BandWindowBytes(1));
    StrengthRows strength(lm, b.left, w);
    std::vector<uint32_t> noise(static_cast<size_t>(w));
    RandDraws draws;
    // The draws go row by row in stored order, as the field of the preview is drawn.
    return RunRowFilter(history, "Add Noise", b, false, [&](int32_t row, uint32_t* out) {
        const uint8_t* line = src->Row(uint32_t(row));
        if (!line) return false;
        std::memcpy(out, line, 4 * size_t(w));
        DrawNoise(draws, noise.data(), w, mono);
        const uint8_t* s = strength.Row(b.bottom - 1 - row);
        for (int32_t x = 0; x < w; ++x)
            out[x] = NoisePixel(out[x], noise[size_t(x)], amount, s ? s[x] : 100);
        return true;
    });
}

}  // namespace zelvo
