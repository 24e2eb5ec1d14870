// Layer III from dequantised lines to PCM: stereo processing (M/S and intensity),
// reordering of short blocks, alias reduction, the IMDCT with its windows and overlap,
// frequency inversion and the polyphase synthesis.
#include <cstring>

#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegLayer3.h"
#include "media/mpeg/SLMpegSubbands.h"
#include "media/mpeg/SLMpegSynthesis.h"

namespace SLInternals {

namespace {

constexpr double kSqrtHalf = 0.7071067690849304;  // sqrt(0.5) in single precision

// Highest index below `count` whose value is not zero, or -1.
inline i32 LastNonZero(const double* values, u32 count) {
  for (i32 i = i32(count) - 1; i >= 0; --i)
    if (values[i] != 0.0) return i;
  return -1;
}

// The 36-point inverse MDCT of in[0..17]: outputs 9..26 by the matrix, the others by
// the transform's symmetries x[i] = -x[17 - i] and x[35 - i] = x[18 + i].
inline void Imdct36(const double* in, double* out) {
  // Row by row, so that every output sums its terms in the order of k.
  double y[18] = {};
  for (u32 k = 0; k < 18; ++k) {
    const double v = in[k];
    const double* c = kMp3Imdct36 + 18 * k;
    for (u32 m = 0; m < 18; ++m) y[m] += v * c[m];
  }
  for (u32 i = 0; i < 9; ++i) out[i] = -y[8 - i];
  for (u32 i = 9; i < 27; ++i) out[i] = y[i - 9];
  for (u32 i = 27; i < 36; ++i) out[i] = y[44 - i];
}

// The 12-point inverse MDCT of in[0], in[3], ... in[15] (one short window).
inline void Imdct12(const double* in, double* out) {
  double y[6] = {};
  for (u32 k = 0; k < 6; ++k) {
    const double v = in[3 * k];
    const double* c = kMp3Imdct12 + 6 * k;
    for (u32 m = 0; m < 6; ++m) y[m] += v * c[m];
  }
  for (u32 i = 0; i < 3; ++i) out[i] = -y[2 - i];
  for (u32 i = 3; i < 9; ++i) out[i] = y[i - 3];
  for (u32 i = 9; i < 12; ++i) out[i] = y[14 - i];
}

}  // namespace

void SLMp3Imdct36(const double* in, double* out) { Imdct36(in, out); }
void SLMp3Imdct12(const double* in, double* out) { Imdct12(in, out); }

void CMXMP3_LayerIII_Decoder::Stereo(u32 granule, const SLMpegFrameHeader& header) {
  if (m_channels == 1) {
    std::memcpy(m_stereo[0], m_dequantised[0], sizeof(m_stereo[0]));
    return;
  }
  const bool ms = header.mode == 1 && (header.modeExtension & 2);
  const bool intensity = header.mode == 1 && (header.modeExtension & 1);
  const double* left = m_dequantised[0];
  const double* right = m_dequantised[1];
  double* outLeft = m_stereo[0];
  double* outRight = m_stereo[1];
  if (!ms && !intensity) {
    std::memcpy(m_stereo, m_dequantised, sizeof(m_stereo));
    return;
  }
  i8 positions[576];
  std::memset(positions, -1, sizeof(positions));
  if (intensity) IntensityPositions(granule, m_lsf, positions);
  const double* ratios = kMp3LsfRatio[m_intensityScale & 1];
  for (u32 i = 0; i < 576; ++i) {
    const i32 position = positions[i];
    if (position < 0) {
      if (ms) {
        outLeft[i] = (left[i] + right[i]) * kSqrtHalf;
        outRight[i] = (left[i] - right[i]) * kSqrtHalf;
      } else {
        outLeft[i] = left[i];
        outRight[i] = right[i];
      }
    } else if (!m_lsf) {
      const double t = kMp3IntensityTan[position & 15];
      const double r = left[i] / (1.0 + t);
      outRight[i] = r;
      outLeft[i] = r * t;
    } else {
      double k0 = 1.0, k1 = 1.0;
      if (position & 1)
        k0 = ratios[((position + 1) >> 1) & 31];
      else if (position)
        k1 = ratios[(position >> 1) & 31];
      outLeft[i] = left[i] * k0;
      outRight[i] = left[i] * k1;
    }
  }
}

// Marks the lines coded by intensity stereo with their position: the right channel's
// bands above its last non-zero one (per window in short blocks), the last band taking
// the position of the band before it. A position equal to the band's largest value (7
// for MPEG-1) means the line is not intensity-coded.
void CMXMP3_LayerIII_Decoder::IntensityPositions(u32 granule, bool lsf, i8* positions) {
  const SLMp3GranuleInfo& gi = m_info[granule][1];
  const double* right = m_dequantised[1];
  const u16* longBands = kMp3LongBands[m_bandTable];
  const u16* shortBands = kMp3ShortBands[m_bandTable];
  auto legal = [lsf](u32 position, u32 largest) { return lsf ? position != largest : position != 7; };
  auto setLong = [&](u32 sfb) {
    const u32 source = sfb < 21 ? sfb : 20;
    const u32 position = m_scalefacL[1][source];
    if (!legal(position, m_intensityMaxL[source])) return;
    for (u32 i = longBands[sfb]; i < longBands[sfb + 1]; ++i) positions[i] = i8(position);
  };
  if (gi.windowSwitching && gi.blockType == 2) {
    const u32 firstBand = gi.mixedBlock ? 3 : 0;
    bool anyShort = false;
    for (u32 w = 0; w < 3; ++w) {
      i32 last = i32(firstBand) - 1;
      for (i32 sfb = 12; sfb >= i32(firstBand) && last < i32(firstBand); --sfb) {
        const u32 width = shortBands[sfb + 1] - shortBands[sfb];
        const u32 start = 3 * shortBands[sfb] + w * width;
        if (LastNonZero(right + start, width) >= 0) last = sfb;
      }
      if (last >= i32(firstBand)) anyShort = true;
      for (u32 sfb = u32(last + 1); sfb < 13; ++sfb) {
        const u32 source = sfb < 12 ? sfb : 11;
        const u32 position = m_scalefacS[1][w][source];
        if (!legal(position, m_intensityMaxS[source])) continue;
        const u32 width = shortBands[sfb + 1] - shortBands[sfb];
        const u32 start = 3 * shortBands[sfb] + w * width;
        for (u32 i = start; i < start + width; ++i) positions[i] = i8(position);
      }
    }
    if (gi.mixedBlock && !anyShort) {
      const i32 lastLine = LastNonZero(right, 36);
      u32 sfb = 0;
      while (lastLine >= 0 && longBands[sfb + 1] <= u32(lastLine)) ++sfb;
      if (lastLine >= 0) ++sfb;
      for (; longBands[sfb] < 36; ++sfb) setLong(sfb);
    }
    return;
  }
  const i32 lastLine = LastNonZero(right, m_nonZero[1]);
  u32 sfb = 0;
  if (lastLine >= 0) {
    while (longBands[sfb + 1] <= u32(lastLine)) ++sfb;
    ++sfb;
  }
  for (; sfb < 22; ++sfb) setLong(sfb);
}

void CMXMP3_LayerIII_Decoder::Reorder(u32 granule, u32 channel) {
  const SLMp3GranuleInfo& gi = m_info[granule][channel];
  const double* in = m_stereo[channel];
  double* out = m_reordered;
  if (!(gi.windowSwitching && gi.blockType == 2)) {
    std::memcpy(out, in, sizeof(m_reordered));
    return;
  }
  // Short blocks arrive band by band, each band window by window; the transform wants
  // each frequency's three windows side by side.
  const u16* shortBands = kMp3ShortBands[m_bandTable];
  u32 sfb = 0;
  if (gi.mixedBlock) {
    std::memcpy(out, in, 36 * sizeof(double));
    sfb = 3;
  }
  for (; sfb < 13; ++sfb) {
    const u32 width = shortBands[sfb + 1] - shortBands[sfb];
    const u32 base = 3 * shortBands[sfb];
    for (u32 w = 0; w < 3; ++w)
      for (u32 j = 0; j < width; ++j) out[base + 3 * j + w] = in[base + w * width + j];
  }
}

void CMXMP3_LayerIII_Decoder::AliasReduce(u32 granule, u32 channel) {
  const SLMp3GranuleInfo& gi = m_info[granule][channel];
  double* x = m_reordered;
  // Subbands past the last non-zero line's (and the one its butterflies reach) stay 0.
  const i32 lastLine = LastNonZero(x, 576);
  m_activeSubbands = lastLine < 0 ? 0 : u32(lastLine) / 18 + 2;
  if (m_activeSubbands > 32) m_activeSubbands = 32;
  u32 boundaries = m_activeSubbands > 0 ? m_activeSubbands - 1 : 0;
  if (boundaries > 31) boundaries = 31;
  if (gi.windowSwitching && gi.blockType == 2) {
    if (!gi.mixedBlock) return;
    if (boundaries > 1) boundaries = 1;
  }
  for (u32 sb = 1; sb <= boundaries; ++sb) {
    double* lower = x + 18 * sb - 1;
    double* upper = x + 18 * sb;
    for (u32 i = 0; i < 8; ++i) {
      const double a = lower[-i32(i)];
      const double b = upper[i];
      lower[-i32(i)] = a * kMp3AliasCs[i] - b * kMp3AliasCa[i];
      upper[i] = b * kMp3AliasCs[i] + a * kMp3AliasCa[i];
    }
  }
}

// Wider vector units where the processor has them; every output keeps the order of its
// sums, so each variant gives the same values. Not under ThreadSanitizer, whose run-time is not
// ready yet when the variant is chosen at load time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void CMXMP3_LayerIII_Decoder::Hybrid(u32 granule, u32 channel) {
  const SLMp3GranuleInfo& gi = m_info[granule][channel];
  const u32 blockType = gi.windowSwitching ? gi.blockType : 0;
  for (u32 sb = 0; sb < 32; ++sb) {
    double* out = m_output[sb];
    double* overlap = m_overlap[channel][sb];
    if (sb >= m_activeSubbands) {
      // The transform of zeros is zeros: only the stored half remains.
      std::memcpy(out, overlap, 18 * sizeof(double));
      std::memset(overlap, 0, 18 * sizeof(double));
      continue;
    }
    const double* in = m_reordered + 18 * sb;
    const u32 type = gi.mixedBlock && blockType == 2 && sb < 2 ? 0 : blockType;
    double z[36];
    if (type != 2) {
      Imdct36(in, z);
      const double* window = kMp3ImdctWindow[type];
      for (u32 i = 0; i < 36; ++i) z[i] *= window[i];
    } else {
      std::memset(z, 0, sizeof(z));
      const double* window = kMp3ImdctWindow[2];
      for (u32 w = 0; w < 3; ++w) {
        double y[12];
        Imdct12(in + w, y);
        for (u32 i = 0; i < 12; ++i) z[6 + 6 * w + i] += y[i] * window[i];
      }
    }
    for (u32 i = 0; i < 18; ++i) {
      out[i] = z[i] + overlap[i];
      overlap[i] = z[18 + i];
    }
  }
}

void CMXMP3_LayerIII_Decoder::Synthesize(u32 channel) {
  // Frequency inversion: odd time slots of odd subbands change sign.
  for (u32 sb = 1; sb < 32; sb += 2)
    for (u32 t = 1; t < 18; t += 2) m_output[sb][t] = -m_output[sb][t];
  CMXMP3_SynthesisFilter* filter = m_channelChoice == SL_MPEG_RIGHT_ONLY ? m_filters[0] : m_filters[channel];
  if (!filter) return;
  for (u32 t = 0; t < 18; ++t) {
    double* inputs = filter->GetInputs();
    for (u32 sb = 0; sb < 32; ++sb) inputs[sb] = m_output[sb][t];
    filter->CalculatePcmSamples(m_sink);
  }
}

}  // namespace SLInternals
