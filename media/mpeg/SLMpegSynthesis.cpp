#include "media/mpeg/SLMpegSynthesis.h"

#include <cmath>
#include <cstring>

#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegTables.h"

namespace SLInternals {

SL_IMPLEMENT_CLASS(CMXMP3_SynthesisFilter, CSLObject)

namespace {

// 1 / (2 cos(pi (2k + 1) / (2N))) for the odd half of each size N = 32, 16, 8, 4, 2,
// stored at offset N - 2 ... (sizes share one array: N/2 entries each).
struct SLDctFactors {
  double values[32];
  SLDctFactors() {
    for (int n = 32, at = 0; n >= 2; at += n / 2, n /= 2)
      for (int k = 0; k < n / 2; ++k) values[at + k] = 0.5 / std::cos(M_PI * (2 * k + 1) / (2.0 * n));
  }
};
const SLDctFactors g_dctFactors;

constexpr int FactorOffset(int n) { return n == 32 ? 0 : n == 16 ? 16 : n == 8 ? 24 : n == 4 ? 28 : 30; }

// DCT-II of size N without normalisation. The even outputs are the half-size transform of
// the folded sums; the odd ones come from the half-size transform of the folded
// differences, each divided by 2 cos of its angle: X[2r+1] = Y[r] + Y[r+1].
template <int N>
struct SLDct {
  [[gnu::always_inline]] static inline void Run(const double* in, double* out) {
    double sums[N / 2], differences[N / 2], even[N / 2], odd[N / 2];
    const double* factor = g_dctFactors.values + FactorOffset(N);
    for (int k = 0; k < N / 2; ++k) {
      sums[k] = in[k] + in[N - 1 - k];
      differences[k] = (in[k] - in[N - 1 - k]) * factor[k];
    }
    SLDct<N / 2>::Run(sums, even);
    SLDct<N / 2>::Run(differences, odd);
    for (int r = 0; r < N / 2 - 1; ++r) {
      out[2 * r] = even[r];
      out[2 * r + 1] = odd[r] + odd[r + 1];
    }
    out[N - 2] = even[N / 2 - 1];
    out[N - 1] = odd[N / 2 - 1];
  }
};

template <>
struct SLDct<1> {
  [[gnu::always_inline]] static inline void Run(const double* in, double* out) { out[0] = in[0]; }
};

}  // namespace

void SLMpegDct32(const double* in, double* out) { SLDct<32>::Run(in, out); }

CMXMP3_SynthesisFilter::CMXMP3_SynthesisFilter(u32 channel, double scale) : m_channel(channel), m_scale(scale) {
  Reset();
}

void CMXMP3_SynthesisFilter::Reset() {
  std::memset(m_v, 0, sizeof(m_v));
  std::memset(m_inputs, 0, sizeof(m_inputs));
  m_phase = 15;
}

namespace {

// Wider vector units where the processor has them: the sums keep their order per output,
// so every variant gives the same samples. Not under ThreadSanitizer: the variant chooser
// runs while the program is being loaded, before the sanitizer's run-time is ready.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define SL_MPEG_SYNTHESIS_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define SL_MPEG_SYNTHESIS_CLONES
#endif

SL_MPEG_SYNTHESIS_CLONES
void Synthesize(const double* inputs, double (*history)[64], u32 phase, double scale, i16* pcm) {
  // The new V vector is V[i] = X[16 + i] of the 64-point matrixing, whose values repeat:
  // X[32] = 0, X[64 - m] = -X[m], X[64 + m] = -X[m]; the 32-point DCT gives them all.
  double x[32];
  SLDct<32>::Run(inputs, x);
  double* v = history[phase];
  for (int i = 0; i < 16; ++i) v[i] = x[16 + i];
  v[16] = 0.0;
  for (int i = 17; i < 48; ++i) v[i] = -x[48 - i];
  v[48] = -x[0];
  for (int i = 49; i < 64; ++i) v[i] = -x[i - 48];
  // Output j sums D[32 t + j] times the t-th newest vector's value j (t even) or
  // 32 + j (t odd).
  double sum[32] = {};
  for (u32 t = 0; t < 16; ++t) {
    const double* vt = history[(phase + t) & 15] + 32 * (t & 1);
    const double* d = kMpegSynthesisWindow + 32 * t;
    for (int j = 0; j < 32; ++j) sum[j] += d[j] * vt[j];
  }
  for (int j = 0; j < 32; ++j) pcm[j] = SLMpegToSample(sum[j] * scale);
}

}  // namespace

void CMXMP3_SynthesisFilter::CalculatePcmSamples(CMXMP3_Obuffer* sink) {
  m_phase = (m_phase + 15) & 15;
  i16 pcm[32];
  Synthesize(m_inputs, m_v, m_phase, m_scale, pcm);
  sink->AppendSamples(m_channel, pcm, 32);
  std::memset(m_inputs, 0, sizeof(m_inputs));
}

}  // namespace SLInternals
