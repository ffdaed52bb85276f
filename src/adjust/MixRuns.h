// Row kernels of the table adjustments and of the strength mix, on whole runs of pixel words.
#pragma once

#include <cstdint>

#include "core/CpuLevel.h"

namespace zelvo {

// dst[i] = src[i] with B, G and R each looked up in its own table; A kept. dst may be src.
// Runs on the fastest of the lookup's code paths that the CPU has.
void ChannelTableRun(const uint32_t* src, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr,
                     uint32_t* dst, int32_t n);

// The lookup's kernels, each giving the same words: plain code, AVX2 gathers from word tables,
// AVX2 byte shuffles of one shared table beside plain loads (three tables: the plain loop),
// AVX-512 VBMI byte permutes. The tests run every one the CPU has.
enum class TableKernel { Plain, Gather, Shuffle, Vbmi };
bool CpuRunsTableKernel(TableKernel kernel);
void ChannelTableRunWith(TableKernel kernel, const uint32_t* src, const uint8_t* tb,
                         const uint8_t* tg, const uint8_t* tr, uint32_t* dst, int32_t n);

// Whether every strength of the run is a percent (0..100), as MixRun needs.
bool StrengthsArePercents(const uint8_t* strength, int32_t n);

// The strength mix of B, G and R (and A when `mixAlpha`, else A of `old`):
// new = v + trunc((r - v) x s / 100) with v from old[i], r from res[i] and s = strength[i]
// in 0..100. dst may be res.
void MixRun(const uint32_t* old, const uint32_t* res, const uint8_t* strength, uint32_t* dst,
            int32_t n, bool mixAlpha);
// The mix at `level` (kernels for Base, Avx2 and V4), each giving the same words.
void MixRunOn(CpuLevel level, const uint32_t* old, const uint32_t* res, const uint8_t* strength,
              uint32_t* dst, int32_t n, bool mixAlpha);

// Saturation's rule on a run (SaturationPixel with strength[i], or with -1 when `strength` is
// null: no selection) at `level` (kernels for Base, Avx2 and V4), each giving the same words.
void SaturationRunOn(CpuLevel level, int32_t value, const uint32_t* src, const uint8_t* strength,
                     uint32_t* dst, int32_t n);

}  // namespace zelvo
