#include "core/PercentTables.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace zelvo {

namespace {

// Row i of floor(i*j/d) for j in 0..cols-1 (cols - 1 == d): a step function, one run of equal
// values per quotient q, starting at the least j with i*j >= q*d.
void FillRow(uint8_t* row, int i, int d, int cols) {
    if (i == 0) {
        std::memset(row, 0, size_t(cols));
        return;
    }
    int start = 0;
    for (int q = 0; q <= i; ++q) {
        const int end = q == i ? cols : ((q + 1) * d + i - 1) / i;
        std::memset(row + start, q, size_t(end - start));
        start = end;
    }
}

// The larger table is 2.5 MB, filled by the first document a process opens: in huge pages most
// of it takes one fault instead of some 600.
std::unique_ptr<uint8_t[], FreeMemory> NewHugeTable(size_t size) {
    std::unique_ptr<uint8_t[], FreeMemory> p = AllocateHuge<uint8_t>(size);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

PercentTables::PercentTables()
    : m_t100(new uint8_t[256 * kT100Cols]), m_t10000(NewHugeTable(256 * kT10000Cols)) {
    for (int i = 0; i < 256; ++i) {
        FillRow(&m_t100[size_t(i) * kT100Cols], i, 100, kT100Cols);
        FillRow(&m_t10000[size_t(i) * kT10000Cols], i, 10000, kT10000Cols);
    }
}

}  // namespace zelvo
