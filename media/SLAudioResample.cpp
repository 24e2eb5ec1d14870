#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLAudioEffect.h"
#include "media/SLAudioSinc.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLAudioEffectResample, CSLBaseAudioEffect)

using SLInternals::SLSincChain;

namespace {

constexpr u32 kMaxChannels = 64;

enum : u32 {
  kModeNearest = 1,
  kModeLinear = 2,
  kModeSincFirst = 3,  // 3, 4, 5: rising filter length
};

double Clamp(double v) { return v < -1.0 ? -1.0 : v > 1.0 ? 1.0 : v; }

// Nearest and linear step through the input by 1 / ratio per output frame; the position
// is accumulated, so its rounding is kept from ever passing the last input frame.
void ResampleNearest(double* out, u32 outCount, const double* in, u32 inCount, u32 channels, double ratio) {
  const double step = 1.0 / ratio;
  double t = 0.0;
  for (u32 j = 0; j < outCount; ++j, t += step) {
    u32 i = u32(t);
    if (i > inCount - 1) i = inCount - 1;
    for (u32 c = 0; c < channels; ++c) out[u64(j) * channels + c] = Clamp(in[u64(i) * channels + c]);
  }
}

// Upward: interpolates between neighbours. Downward: the mean of the input frames the
// output frame spans, both ends included.
void ResampleLinear(double* out, u32 outCount, const double* in, u32 inCount, u32 channels, double ratio) {
  const double step = 1.0 / ratio;
  double t = 0.0;
  for (u32 j = 0; j < outCount; ++j, t += step) {
    u32 i0 = u32(t);
    if (i0 > inCount - 1) i0 = inCount - 1;
    const double next = t + step;
    const u32 i1 = next >= double(inCount - 1) ? inCount - 1 : u32(next);
    double* frame = out + u64(j) * channels;
    if (ratio >= 1.0) {
      const double f = t - double(u32(t));
      for (u32 c = 0; c < channels; ++c)
        frame[c] = Clamp((1.0 - f) * in[u64(i0) * channels + c] + f * in[u64(i1) * channels + c]);
    } else {
      const u32 last = i1 < i0 ? i0 : i1;
      const double weight = 1.0 / double(last - i0 + 1);
      for (u32 c = 0; c < channels; ++c) {
        double sum = 0.0;
        for (u32 i = i0; i <= last; ++i) sum += in[u64(i) * channels + c];
        frame[c] = Clamp(sum * weight);
      }
    }
  }
}

}  // namespace

struct SLResampleData {
  double ratio;
  u32 mode;
  SLSincChain* chain;  // built by the first sinc Process for its channel count
};

CSLAudioEffectResample::CSLAudioEffectResample() = default;

CSLAudioEffectResample::~CSLAudioEffectResample() {
  auto* data = static_cast<SLResampleData*>(m_data);
  if (!data) return;
  SLErrorKeeper keep;
  SLInternals::SLSincChainDestroy(data->chain);
  SLFree(data);
}

SLResampleData* CSLAudioEffectResample::Data() {
  if (!m_data) {
    auto* data = static_cast<SLResampleData*>(SLAllocZeroed(sizeof(SLResampleData)));
    if (!data) return nullptr;
    data->ratio = 1.0;
    data->mode = kModeSincFirst;
    m_data = data;
  }
  return static_cast<SLResampleData*>(m_data);
}

bool CSLAudioEffectResample::Reset() {
  if (auto* data = static_cast<SLResampleData*>(m_data)) {
    SLInternals::SLSincChainDestroy(data->chain);
    data->chain = nullptr;
  }
  return SLSucceed(true);
}

bool CSLAudioEffectResample::SetRatio(double ratio) {
  if (!(ratio >= 1.0 / 240.0 && ratio <= 240.0)) return SLFail(SL_E_INVALID_ARG, false);
  SLResampleData* data = Data();
  if (!data) return false;
  data->ratio = ratio;
  return Reset();
}

bool CSLAudioEffectResample::SetRates(double inputRate, double outputRate) {
  if (!(inputRate >= 1e-10 && outputRate >= 1e-10)) return SLFail(SL_E_INVALID_ARG, false);
  return SetRatio(outputRate / inputRate);
}

bool CSLAudioEffectResample::SetQuality(i32 quality) {
  if (quality < -2 || quality > 2) return SLFail(SL_E_INVALID_ARG, false);
  SLResampleData* data = Data();
  if (!data) return false;
  data->mode = u32(quality + 3);
  return Reset();
}

bool CSLAudioEffectResample::Process(double* out, u32* outCount, const double* in, u32 inCount,
                                     u32 inChannels) {
  if (outCount) *outCount = 0;
  if (!in) return SLFail(SL_E_NULL_DATA, false);
  if (inChannels < 1 || inChannels > kMaxChannels) return SLFail(SL_E_INVALID_ARG, false);
  const auto* settings = static_cast<const SLResampleData*>(m_data);
  const double ratio = settings ? settings->ratio : 1.0;
  const u32 mode = settings ? settings->mode : kModeSincFirst;
  // Callers size their buffer from this count: one that does not fit 32 bits fails
  // instead of wrapping.
  const double exact = std::trunc(double(inCount) * ratio);
  if (exact > double(0xFFFFFFFFu)) return SLFail(SL_E_OVERFLOW, false);
  const u32 count = u32(exact);
  if (outCount) *outCount = count;
  if (!out || inCount == 0) return SLSucceed(true);
  if (count == inCount) {
    for (u64 i = 0, n = u64(inCount) * inChannels; i < n; ++i) out[i] = in[i];
    return SLSucceed(true);
  }
  if (mode == kModeNearest) {
    ResampleNearest(out, count, in, inCount, inChannels, ratio);
    return SLSucceed(true);
  }
  if (mode == kModeLinear) {
    ResampleLinear(out, count, in, inCount, inChannels, ratio);
    return SLSucceed(true);
  }
  SLResampleData* data = Data();
  if (!data) return false;
  if (data->chain && SLInternals::SLSincChainChannels(data->chain) != inChannels) Reset();
  if (!data->chain) {
    data->chain = SLInternals::SLSincChainCreate(ratio, mode, inChannels);
    if (!data->chain) return false;
  }
  return SLInternals::SLSincChainProcess(data->chain, out, count, in, inCount);
}
