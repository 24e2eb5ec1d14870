// Effects over blocks of interleaved double samples in [-1, 1]: the channel mix routes
// and mixes channels, the resampler changes the rate. The movie export converts every
// sound to doubles, routes it onto two channels and resamples it to 22,050 Hz.
//
// Process, the same for both: (out buffer or null, out count or null, in buffer, in frame
// count, in channels). With a null out buffer only the out count is reported. Every
// operation sets the thread's error code.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

enum : u32 {
  SL_E_EFFECT_ROUTE_SOURCE = 0x8000100e,  // a route reads a channel the input lacks
};

class CSLBaseAudioEffect : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseAudioEffect)
 public:
  CSLBaseAudioEffect();
  ~CSLBaseAudioEffect() override;
  // Forgets what the effect carries from one Process to the next. Base: nothing to do.
  virtual bool Reset();
  virtual bool Process(double* out, u32* outCount, const double* in, u32 inCount, u32 inChannels) = 0;

 protected:
  void* m_data;  // the effect's private block, null until first needed
};

class CSLAudioEffectChannelMix : public CSLBaseAudioEffect {
  SL_DECLARE_CLASS(CSLAudioEffectChannelMix)
 public:
  CSLAudioEffectChannelMix();
  ~CSLAudioEffectChannelMix() override;
  // Adds input[source] * percent / 100 to output[destination]; channels below 64 and
  // 1e-10 <= percent <= 100, else 0x80001001. Routes apply in the order added.
  bool AddRoute(u32 source, double percent, u32 destination);
  // The output has max(destination) + 1 channels, each the sum of its routes clamped to
  // [-1, 1], and as many frames as the input. Null in 0x80001002; in channels outside
  // 1..64 0x80001001; no routes 0x80010002; a route source the input lacks 0x8000100e.
  bool Process(double* out, u32* outCount, const double* in, u32 inCount, u32 inChannels) override;
};

struct SLResampleData;

class CSLAudioEffectResample : public CSLBaseAudioEffect {
  SL_DECLARE_CLASS(CSLAudioEffectResample)
 public:
  CSLAudioEffectResample();
  ~CSLAudioEffectResample() override;
  // Output rate / input rate, 1/240 to 240 (else 0x80001001); resets the effect.
  bool SetRatio(double ratio);
  // Both rates at least 1e-10 (else 0x80001001), then SetRatio(output / input).
  bool SetRates(double inputRate, double outputRate);
  // -2 nearest, -1 linear, 0..2 windowed sinc of rising quality (else 0x80001001);
  // resets the effect. Before any setting: ratio 1, quality 0.
  bool SetQuality(i32 quality);
  // Drops the sinc modes' filter chain with its queued samples.
  bool Reset() override;
  // Out count = in count * ratio, truncated (beyond 32 bits: 0x80002004). Equal counts
  // copy the input unchanged. Nearest and linear keep nothing between calls; the sinc
  // modes continue the stream of the previous calls (their output lags behind the input
  // and is padded with 0.0 while too little has come in).
  bool Process(double* out, u32* outCount, const double* in, u32 inCount, u32 inChannels) override;

 private:
  // The private block (m_data), made with the defaults on first use; null when memory
  // runs out.
  SLResampleData* Data();
};
