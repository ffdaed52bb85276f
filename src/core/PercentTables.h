// The two percent tables every blend goes through: T100[i][j] = floor(i*j/100) and
// T10000[i][j] = floor(i*j/10000), built once per Workspace.
#pragma once

#include <cstdint>
#include <memory>

#include "core/HugePages.h"

namespace zelvo {

class PercentTables {
public:
    static constexpr int kT100Cols = 101;
    static constexpr int kT10000Cols = 10001;

    PercentTables();
    // i in 0..255, j in 0..100
    uint8_t T100(int i, int j) const { return m_t100[size_t(i) * kT100Cols + size_t(j)]; }
    // i in 0..255, j in 0..10000
    uint8_t T10000(int i, int j) const { return m_t10000[size_t(i) * kT10000Cols + size_t(j)]; }
    const uint8_t* T100Row(int i) const { return &m_t100[size_t(i) * kT100Cols]; }
    const uint8_t* T10000Row(int i) const { return &m_t10000[size_t(i) * kT10000Cols]; }

private:
    std::unique_ptr<uint8_t[]> m_t100;
    std::unique_ptr<uint8_t[], FreeMemory> m_t10000;
};

}  // namespace zelvo
