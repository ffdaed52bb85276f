#include "core/PercentTables.h"

namespace zelvo {

PercentTables::PercentTables()
    : m_t100(new uint8_t[256 * kT100Cols]), m_t10000(new uint8_t[256 * kT10000Cols]) {
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < kT100Cols; ++j)
            m_t100[size_t(i) * kT100Cols + j] = uint8_t(i * j / 100);
        for (int j = 0; j < kT10000Cols; ++j)
            m_t10000[size_t(i) * kT10000Cols + j] = uint8_t(i * j / 10000);
    }
}

}  // namespace zelvo
