// The resampler's windowed-sinc chain (bandlimited interpolation from a tabulated
// low-pass filter). Internal to the resampler.
//
// A ratio beyond 24 or below 1/24 is done in stages of at most 24 (or 1/24) each. Every
// stage keeps, per channel, a work buffer X of input samples with Xoff samples of history
// on both sides of the part being converted, the time Time of the next output sample in
// X's index space, and a queue of output samples that feeds the next stage. The filter
// table is built once per chain and only read afterwards.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"

namespace SLInternals {

struct SLSincChain;

// Builds the chain for `ratio` (output / input rate) in mode 3, 4 or 5; null with
// 0x80000001 when memory runs out.
SLSincChain* SLSincChainCreate(double ratio, u32 mode, u32 channels);
void SLSincChainDestroy(SLSincChain* chain);
u32 SLSincChainChannels(const SLSincChain* chain);
// Queues `inCount` interleaved frames, converts what the queued input allows, and writes
// `outCount` frames of output, 0.0 where none is ready yet. False with 0x80000001 when
// memory runs out.
bool SLSincChainProcess(SLSincChain* chain, double* out, u32 outCount, const double* in, u32 inCount);

}  // namespace SLInternals
