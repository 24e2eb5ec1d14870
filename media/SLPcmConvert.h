// Interleaved PCM described by an audio format record, turned into the interleaved
// doubles in [-1, 1] that the audio effects work on.
#pragma once

#include "foundation/SLTypes.h"
#include "media/reader/SLBaseVideoAudioReader.h"

// The container of a sample of `bits` bits: 1 for up to 8, 2 for 9-16, 4 for 17-32, else 8.
u32 SLBytesPerSample(u32 bits);

// Writes frames * channels doubles. Frames lie blockAlign bytes apart, channel c's sample
// in the c-th container of the frame; a sample right-justified in its container is scaled
// so that the container's full range maps to [-1, 1] (8 bits unsigned, the rest signed
// little-endian; the most negative value is taken as its neighbour, so that the scale is
// symmetric). Frames whose share per channel is narrower than the container (24-bit PCM
// packed in 3 bytes) are read at that width. Nothing past frames * blockAlign is read.
// Codes: null out 0x80001005, null in 0x80001002, no frames 0x80001003, null format
// 0x80001001, channels or bits outside 1..64 or a block alignment below one byte per
// channel 0x80001004, frames * channels beyond 32 bits 0x80002004.
bool SLConvertPcmToDouble(double* out, const void* in, u32 frames, const SLAudioFormat* format);
