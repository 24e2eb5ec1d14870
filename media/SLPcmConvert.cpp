#include "media/SLPcmConvert.h"

#include <array>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

u32 SLBytesPerSample(u32 bits) {
  if (bits <= 8) return 1;
  if (bits <= 16) return 2;
  if (bits <= 32) return 4;
  return 8;
}

namespace {

// The common layouts get loops of their own: one container per channel, no padding.
// Both give exactly the quotient of the general rule without dividing: 8-bit samples
// through a table made at compile time, 16-bit ones through the series
// 1 / 32767 = 2^-15 (1 + 2^-15 + 2^-30 + 2^-45 + 2^-60 + ...), split into its first three
// terms and the next two; the sum of the two rounded products is the correctly rounded
// quotient for every 16-bit value (the tests check all of them; a build that fused the
// multiply and the add would break it).
constexpr double kS16Head = 0x1p-15 * (1.0 + 0x1p-15 + 0x1p-30);
constexpr double kS16Tail = 0x1p-15 * (0x1p-45 + 0x1p-60);
constexpr auto kUnsigned8 = [] {
  std::array<double, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = i == 0 ? -1.0 : double(i - 128) / 127.0;
  return table;
}();

void ConvertU8(double* __restrict out, const u8* __restrict in, u64 samples) {
  for (u64 i = 0; i < samples; ++i) out[i] = kUnsigned8[in[i]];
}

void ConvertS16(double* __restrict out, const u8* __restrict in, u64 samples) {
  for (u64 i = 0; i < samples; ++i) {
    const i32 value = i16(SLLoadLE16(in + 2 * i));
    const double x = value > -32767 ? value : -32767;
    out[i] = x * kS16Head + x * kS16Tail;
  }
}

// Any layout: each sample read at `width` bytes (at most its container), right-justified,
// then moved to the top of a 64-bit word, which holds every container's range.
void ConvertGeneral(double* out, const u8* in, u32 frames, u32 channels, u32 bits, u32 blockAlign,
                    u32 slot) {
  const u32 container = SLBytesPerSample(bits);
  const u32 width = slot < container ? slot : container;
  const u32 validBits = bits < width * 8 ? bits : width * 8;
  const u32 shift = 64 - validBits;
  // The scale of the container: 2^(8 * container - 1) - 1 steps each side.
  const double divisor = container == 8 ? 0.0 : double((u64(1) << (8 * container - 1)) - 1);
  for (u32 f = 0; f < frames; ++f, in += blockAlign) {
    const u8* sample = in;
    for (u32 c = 0; c < channels; ++c, sample += slot) {
      u64 raw = 0;
      for (u32 b = 0; b < width; ++b) raw |= u64(sample[b]) << (8 * b);
      if (container == 1) raw ^= u64(1) << (validBits - 1);  // unsigned 8-bit samples
      i64 value = i64(raw << shift);
      if (value == INT64_MIN) value += i64(1) << (64 - 8 * container);
      const i64 top = value >> (64 - 8 * container);
      *out++ = container == 8 ? double(value) * 1.0842021724855044e-19 : double(top) / divisor;
    }
  }
}

}  // namespace

bool SLConvertPcmToDouble(double* out, const void* in, u32 frames, const SLAudioFormat* format) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!in) return SLFail(SL_E_NULL_DATA, false);
  if (frames == 0) return SLFail(SL_E_BAD_SIZE, false);
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  const u32 channels = format->channels, bits = format->bitsPerSample, blockAlign = format->blockAlign;
  if (channels < 1 || channels > 64 || bits < 1 || bits > 64) return SLFail(SL_E_BAD_FORMAT, false);
  const u64 samples = u64(frames) * channels;
  if (!SLFitsU32(samples)) return SLFail(SL_E_OVERFLOW, false);
  const u32 slot = blockAlign / channels;
  if (slot == 0) return SLFail(SL_E_BAD_FORMAT, false);
  const u8* bytes = static_cast<const u8*>(in);
  const u32 container = SLBytesPerSample(bits);
  if (slot == container && blockAlign == slot * channels && bits == 8 * container && container <= 2) {
    if (container == 1)
      ConvertU8(out, bytes, samples);
    else
      ConvertS16(out, bytes, samples);
    return SLSucceed(true);
  }
  ConvertGeneral(out, bytes, frames, channels, bits, blockAlign, slot);
  return SLSucceed(true);
}
