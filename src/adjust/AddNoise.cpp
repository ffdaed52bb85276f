// Filter > Add Noise...: each pixel may take a colour of a small palette (or a grey),
// weighted by the amount. All draws come from the C runtime's rand(), one per pixel, row by
// row.
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
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

    // The lent state as the additive generator glibc's rand() runs by default, oldest word
    // first; false when rand() runs another kind (then only Next() gives its draws).
    bool Words(uint32_t words[31]) const {
        if (!Additive()) return false;
        const int32_t at = int32_t(m_data.fptr - m_data.state);
        for (int32_t k = 0; k < 31; ++k) words[k] = uint32_t(m_data.state[(at + k) % 31]);
        return true;
    }
    // Stands rand() where `words` (as Words() gives them) stand.
    void SetWords(const uint32_t words[31]) {
        if (!Additive()) return;
        const int32_t at = int32_t(m_data.fptr - m_data.state);
        for (int32_t k = 0; k < 31; ++k) m_data.state[(at + k) % 31] = int32_t(words[k]);
    }

private:
    bool Additive() const {
        if (!m_global || m_data.rand_type != 3 || m_data.rand_deg != 31 || m_data.rand_sep != 3)
            return false;
        const auto f = m_data.fptr - m_data.state, r = m_data.rptr - m_data.state;
        return f >= 0 && f < 31 && r >= 0 && r < 31 && (r + 3) % 31 == f;
    }

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

// The default generator behind rand(): x[i] = x[i - 3] + x[i - 31] (mod 2^32), each draw
// x[i] >> 1. Its own copy lets a band start any number of draws ahead, so that bands on
// several threads draw exactly the numbers one sequence would give them.
class AdditiveDraws {
public:
    explicit AdditiveDraws(const uint32_t words[31]) { std::copy(words, words + 31, m_x); }

    int Next() {
        const uint32_t v = m_x[m_old] + m_x[m_old >= 3 ? m_old - 3 : m_old + 28];
        m_x[m_old] = v;
        m_old = m_old == 30 ? 0 : m_old + 1;
        return int(v >> 1);
    }
    // The words, oldest first.
    void Words(uint32_t words[31]) const {
        for (int32_t k = 0; k < 31; ++k) words[k] = m_x[(m_old + k) % 31];
    }
    // Moves `n` draws on at once. The sequence is linear in its last 31 words: with
    // t^n = sum c_k t^k modulo t^31 - t^28 - 1, x[i + n] = sum c_k x[i + k].
    void Skip(uint64_t n) {
        if (n == 0) return;
        uint32_t x[31];
        Words(x);
        Poly c = Power(n);
        for (int32_t j = 0; j < 31; ++j) {
            uint32_t v = 0;
            for (int32_t k = 0; k < 31; ++k) v += c[size_t(k)] * x[k];
            m_x[j] = v;
            c = TimesT(c);
        }
        m_old = 0;
    }

private:
    using Poly = std::array<uint32_t, 31>;
    static Poly TimesT(const Poly& a) {
        Poly r{};
        for (size_t k = 30; k > 0; --k) r[k] = a[k - 1];
        // t^31 = t^28 + 1
        r[28] += a[30];
        r[0] += a[30];
        return r;
    }
    static Poly Times(const Poly& a, const Poly& b) {
        std::array<uint32_t, 61> p{};
        for (size_t i = 0; i < 31; ++i)
            for (size_t j = 0; j < 31; ++j) p[i + j] += a[i] * b[j];
        for (size_t d = 60; d >= 31; --d) {
            p[d - 3] += p[d];
            p[d - 31] += p[d];
        }
        Poly r{};
        std::copy(p.begin(), p.begin() + 31, r.begin());
        return r;
    }
    static Poly Power(uint64_t n) {
        Poly r{}, base{};
        r[0] = 1;
        base[1] = 1;
        for (; n > 0; n >>= 1) {
            if (n & 1) r = Times(r, base);
            base = Times(base, base);
        }
        return r;
    }

    uint32_t m_x[31];
    int32_t m_old = 0;  // where the oldest word is
};

template <class Draws>
void DrawNoise(Draws& draws, uint32_t* line, int32_t width, bool mono) {
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
    const int32_t w = layer->Width(), h = layer->Height();
    RandDraws draws;
    auto noisy = [&](const uint8_t* line, auto& rowDraws, uint32_t* noise, const uint8_t* s,
                     uint32_t* out) {
        std::memcpy(out, line, 4 * size_t(w));
        DrawNoise(rowDraws, noise, w, mono);
        for (int32_t x = 0; x < w; ++x)
            out[x] = NoisePixel(out[x], noise[x], amount, s ? s[x] : 100);
    };
    uint32_t start[31];
    if (!draws.Words(start)) {
        // rand() runs a generator that cannot skip ahead: one band takes every draw.
        const std::unique_ptr<RowReader> src = LayerRowReader(*layer, BandWindowBytes(1));
        StrengthRows strength(lm, b.left, w);
        std::vector<uint32_t> noise(static_cast<size_t>(w));
        return RunRowFilter(history, "Add Noise", b, false, [&](int32_t row, uint32_t* out) {
            const uint8_t* line = src->Row(uint32_t(row));
            if (!line) return false;
            noisy(line, draws, noise.data(), strength.Row(b.bottom - 1 - row), out);
            return true;
        });
    }
    // The draws go row by row in stored order, as the field of the preview is drawn, one per
    // pixel: a band starting at row `first` starts `first` rows of draws on.
    std::atomic<bool> drawn{false};
    const int done =
        RunBandFilter(history, "Add Noise", b, false, [&](int32_t first, int32_t, uint64_t window) {
            drawn = true;
            std::shared_ptr<RowReader> src = LayerRowReader(*layer, window);
            auto strength = std::make_shared<StrengthRows>(lm, b.left, w, window);
            auto bandDraws = std::make_shared<AdditiveDraws>(start);
            bandDraws->Skip(uint64_t(first) * uint64_t(w));
            auto noise = std::make_shared<std::vector<uint32_t>>(size_t(w));
            return RowFill([=, &noisy](int32_t row, uint32_t* out) {
                const uint8_t* line = src->Row(uint32_t(row));
                if (!line) return false;
                noisy(line, *bandDraws, noise->data(), strength->Row(b.bottom - 1 - row), out);
                return true;
            });
        });
    if (drawn) {
        // rand() goes on after the last pixel's draw.
        AdditiveDraws end(start);
        end.Skip(uint64_t(h) * uint64_t(w));
        uint32_t words[31];
        end.Words(words);
        draws.SetWords(words);
    }
    return done;
}

}  // namespace zelvo
