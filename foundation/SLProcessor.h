// The processor-features word (0 until SLDetectProcessorFeatures has run) and the memory
// barriers that depend on it.
#pragma once

#include "foundation/SLTypes.h"

enum : u32 {
  SL_CPU_MMX = 0x1,
  SL_CPU_TSC = 0x2,
  SL_CPU_CMOV = 0x4,
  SL_CPU_3DNOW = 0x8,
  SL_CPU_SSE = 0x10,
  SL_CPU_SSE2 = 0x20,
  SL_CPU_SSE3 = 0x40,
  SL_CPU_SSE41 = 0x80,
  SL_CPU_FENCES = 0x8000,
};
u32 SLDetectProcessorFeatures();
u32 SLGetProcessorFeatures();
u32 SLHasMMX();
u32 SLHasTSC();
u32 SLHasCMOV();
u32 SLHas3DNow();
u32 SLHasSSE();
u32 SLHasSSE2();
u32 SLHasSSE3();
u32 SLHasSSE41();
// Whether the processor multiplies without carries (PCLMULQDQ), which the CRC-32 folds
// with. Asked of the processor once, apart from the features word: that word is filled
// only on request and decides the barriers below.
bool SLHasCarrylessMultiply();
// Whether the processor and the system both offer the 256-bit integer vectors (AVX2).
bool SLHasAVX2();
void SLMemoryBarrier();
void SLLoadBarrier();
void SLStoreBarrier();
