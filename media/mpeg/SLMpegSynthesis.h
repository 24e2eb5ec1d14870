// The polyphase synthesis filter of MPEG audio: each call turns the 32 subband samples of
// one time slot into 32 PCM samples of one channel and hands them to the decoder's sample
// sink. Layers I and II write their subband values straight into the filter's inputs;
// layer III does the same after its hybrid synthesis.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

namespace SLInternals {

class CMXMP3_Obuffer;

// X[m] = sum over k of in[k] cos(pi m (2k + 1) / 64), m = 0..31: the matrixing of the
// synthesis, computed by halving (even and odd outputs) down to single points.
void SLMpegDct32(const double* in, double* out);

class CMXMP3_SynthesisFilter : public CSLObject {
  SL_DECLARE_CLASS(CMXMP3_SynthesisFilter)
 public:
  CMXMP3_SynthesisFilter(u32 channel, double scale);

  // Empty history and inputs.
  void Reset();
  // The inputs, indexed by subband; cleared by every CalculatePcmSamples.
  double* GetInputs() { return m_inputs; }
  // Computes 32 samples of the filter's channel, scaled, clamped to 16 bits and truncated
  // toward zero (NaN gives 0), and appends them to `sink`.
  void CalculatePcmSamples(CMXMP3_Obuffer* sink);
  u32 GetChannel() const { return m_channel; }

 private:
  // The 16 most recent V vectors of 64 values; m_phase indexes the newest, older ones
  // follow it modulo 16.
  double m_v[16][64];
  u32 m_phase;
  double m_inputs[32];
  u32 m_channel;
  double m_scale;
};

// Clamps and truncates one scaled synthesis output to a 16-bit sample.
inline i16 SLMpegToSample(double value) {
  if (value >= 32767.0) return 32767;
  if (value <= -32768.0) return -32768;
  if (!(value == value)) return 0;
  return i16(value);
}

}  // namespace SLInternals
