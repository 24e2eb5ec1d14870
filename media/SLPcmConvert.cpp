#include "media/SLPcmConvert.h"

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
template <class Sample, class Scale>
void ConvertPacked(double* out, const u8* in, u64 samples, Scale scale) {
  for (u64 i = 0; i < samples; ++i, in += sizeof(Sample)) {
    Sample value;
    __builtin_memcpy(&value, in, sizeof(Sample));
    out[i] = scale(value);
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
  if (channels < 1 || channels > 64 || bits < 1 || bits > 64) return SLFail(SL_E_PCM_BAD_FORMAT, false);
  const u64 samples = u64(frames) * channels;
  if (!SLFitsU32(samples)) return SLFail(SL_E_PCM_TOO_LARGE, false);
  const u32 slot = blockAlign / channels;
  if (slot == 0) return SLFail(SL_E_PCM_BAD_FORMAT, false);
  const u8* bytes = static_cast<const u8*>(in);
  const u32 container = SLBytesPerSample(bits);
  if (slot == container && blockAlign == slot * channels && bits == 8 * container && container <= 2) {
    if (container == 1)
      ConvertPacked<u8>(out, bytes, samples, [](u8 v) { return v == 0 ? -1.0 : double(int(v) - 128) / 127.0; });
    else
      ConvertPacked<i16>(out, bytes, samples,
                         [](i16 v) { return v == -32768 ? -1.0 : double(v) / 32767.0; });
    return SLSucceed(true);
  }
  ConvertGeneral(out, bytes, frames, channels, bits, blockAlign, slot);
  return SLSucceed(true);
}
