#include "media/mpeg/SLMpegSubbands.h"

#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegSynthesis.h"

namespace SLInternals {

SL_IMPLEMENT_CLASS(CMXMP3_Subband, CSLObject)
SL_IMPLEMENT_CLASS(CMXMP3_SubbandLayer1, CMXMP3_Subband)
SL_IMPLEMENT_CLASS(CMXMP3_SubbandLayer1IntensityStereo, CMXMP3_SubbandLayer1)
SL_IMPLEMENT_CLASS(CMXMP3_SubbandLayer1Stereo, CMXMP3_SubbandLayer1)
SL_IMPLEMENT_CLASS(CMXMP3_SubbandLayer2, CMXMP3_Subband)
SL_IMPLEMENT_CLASS(CMXMP3_SubbandLayer2IntensityStereo, CMXMP3_SubbandLayer2)
SL_IMPLEMENT_CLASS(CMXMP3_SubbandLayer2Stereo, CMXMP3_SubbandLayer2)

namespace {

void AddToCrc(CMXMP3_Crc16* crc, u32 value, u32 bits) {
  if (crc) crc->AddBits(value, bits);
}

// Where a value of the first channel goes: filter 0, unless only the right channel is
// wanted (then nowhere).
void PutFirst(u32 channels, CMXMP3_SynthesisFilter* filter0, u32 subband, double value) {
  if (channels != SL_MPEG_RIGHT_ONLY) filter0->GetInputs()[subband] = value;
}

// A value of the second channel: filter 1 for both channels, filter 0 for the right only.
void PutSecond(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1, u32 subband,
               double value) {
  if (channels == SL_MPEG_BOTH) {
    if (filter1) filter1->GetInputs()[subband] = value;
  } else if (channels == SL_MPEG_RIGHT_ONLY) {
    filter0->GetInputs()[subband] = value;
  }
}

}  // namespace

// Layer I

double CMXMP3_SubbandLayer1::ReadSample(CMXMP3_DecoderHelper* decoder, u32 allocation) {
  const u32 raw = decoder->GetBits(allocation + 1);
  return kMpegLayer1Factor[allocation] * raw + kMpegLayer1Offset[allocation];
}

void CMXMP3_SubbandLayer1::ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) {
  const u32 value = decoder->GetBits(4);
  AddToCrc(crc, value, 4);
  m_allocation = Usable(value);
}

void CMXMP3_SubbandLayer1::ReadScaleFactor(CMXMP3_DecoderHelper* decoder) {
  if (m_allocation) m_scaleFactor = kMpegScaleFactors[decoder->GetBits(6)];
}

bool CMXMP3_SubbandLayer1::ReadSampleData(CMXMP3_DecoderHelper* decoder) {
  if (m_allocation) m_sample = ReadSample(decoder, m_allocation);
  if (++m_sampleCount < 12) return false;
  m_sampleCount = 0;
  return true;
}

bool CMXMP3_SubbandLayer1::PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter*) {
  if (m_allocation) PutFirst(channels, filter0, m_subband, m_sample * m_scaleFactor);
  return true;
}

void CMXMP3_SubbandLayer1IntensityStereo::ReadScaleFactor(CMXMP3_DecoderHelper* decoder) {
  if (!m_allocation) return;
  m_scaleFactor = kMpegScaleFactors[decoder->GetBits(6)];
  m_scaleFactor2 = kMpegScaleFactors[decoder->GetBits(6)];
}

bool CMXMP3_SubbandLayer1IntensityStereo::PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0,
                                                         CMXMP3_SynthesisFilter* filter1) {
  if (!m_allocation) return true;
  if (channels == SL_MPEG_BOTH) {
    filter0->GetInputs()[m_subband] = m_sample * m_scaleFactor;
    if (filter1) filter1->GetInputs()[m_subband] = m_sample * m_scaleFactor2;
  } else {
    filter0->GetInputs()[m_subband] = m_sample * (channels == SL_MPEG_LEFT_ONLY ? m_scaleFactor : m_scaleFactor2);
  }
  return true;
}

void CMXMP3_SubbandLayer1Stereo::ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) {
  const u32 first = decoder->GetBits(4);
  const u32 second = decoder->GetBits(4);
  AddToCrc(crc, first, 4);
  AddToCrc(crc, second, 4);
  m_allocation = Usable(first);
  m_allocation2 = Usable(second);
}

void CMXMP3_SubbandLayer1Stereo::ReadScaleFactor(CMXMP3_DecoderHelper* decoder) {
  if (m_allocation) m_scaleFactor = kMpegScaleFactors[decoder->GetBits(6)];
  if (m_allocation2) m_scaleFactor2 = kMpegScaleFactors[decoder->GetBits(6)];
}

bool CMXMP3_SubbandLayer1Stereo::ReadSampleData(CMXMP3_DecoderHelper* decoder) {
  const bool done = CMXMP3_SubbandLayer1::ReadSampleData(decoder);
  if (m_allocation2) m_sample2 = ReadSample(decoder, m_allocation2);
  return done;
}

bool CMXMP3_SubbandLayer1Stereo::PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0,
                                                CMXMP3_SynthesisFilter* filter1) {
  CMXMP3_SubbandLayer1::PutNextSample(channels, filter0, filter1);
  if (m_allocation2) PutSecond(channels, filter0, filter1, m_subband, m_sample2 * m_scaleFactor2);
  return true;
}

// Layer II

const SLMpegAllocation* CMXMP3_SubbandLayer2::AllocationTable(const CMXMP3_DecoderHelper* decoder) {
  const SLMpegFrameHeader& header = decoder->GetHeader();
  if (header.version == 0) return kMpegAllocationLsf;
  return header.subbands <= 12 ? kMpegAllocationLow : kMpegAllocationHigh;
}

void CMXMP3_SubbandLayer2::ReadAllocationOf(CMXMP3_DecoderHelper* decoder, u32 subband, Channel* channel) {
  const SLMpegAllocation& entry = AllocationTable(decoder)[subband];
  channel->allocation = decoder->GetBits(entry.bits);
  const u32 quant = entry.classPlusOne[channel->allocation];
  channel->quant = quant ? &kMpegQuantClasses[quant - 1] : nullptr;
  if (!quant) channel->allocation = 0;
}

void CMXMP3_SubbandLayer2::ReadSelectionOf(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc, Channel* channel) {
  if (!channel->allocation) return;
  channel->selection = decoder->GetBits(2);
  AddToCrc(crc, channel->selection, 2);
}

void CMXMP3_SubbandLayer2::ReadScaleFactorsOf(CMXMP3_DecoderHelper* decoder, u32 selection, double* scale) {
  switch (selection) {
    case 0:
      scale[0] = kMpegScaleFactors[decoder->GetBits(6)];
      scale[1] = kMpegScaleFactors[decoder->GetBits(6)];
      scale[2] = kMpegScaleFactors[decoder->GetBits(6)];
      break;
    case 1:
      scale[0] = scale[1] = kMpegScaleFactors[decoder->GetBits(6)];
      scale[2] = kMpegScaleFactors[decoder->GetBits(6)];
      break;
    case 2:
      scale[0] = scale[1] = scale[2] = kMpegScaleFactors[decoder->GetBits(6)];
      break;
    default:
      scale[0] = kMpegScaleFactors[decoder->GetBits(6)];
      scale[1] = scale[2] = kMpegScaleFactors[decoder->GetBits(6)];
      break;
  }
}

void CMXMP3_SubbandLayer2::ReadSamplesOf(CMXMP3_DecoderHelper* decoder, const SLMpegQuantClass* quant,
                                         double* samples) {
  if (quant->group) {
    const u32 code = decoder->GetBits(quant->bits);
    // A codeword past levels^3 has no triple: the frame is damaged.
    if (code >= quant->levels * quant->levels * quant->levels) {
      samples[0] = samples[1] = samples[2] = 0.0;
      decoder->SetFrameCorrupt();
      return;
    }
    const double* triple = quant->group + code * 3;
    samples[0] = triple[0];
    samples[1] = triple[1];
    samples[2] = triple[2];
    return;
  }
  for (int i = 0; i < 3; ++i) {
    const double value = decoder->GetBits(quant->bits) * quant->factor - 1.0;
    samples[i] = (value + quant->d) * quant->c;
  }
}

void CMXMP3_SubbandLayer2::ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) {
  ReadAllocationOf(decoder, m_subband, &m_first);
  AddToCrc(crc, m_first.allocation, AllocationTable(decoder)[m_subband].bits);
}

void CMXMP3_SubbandLayer2::ReadScaleFactorSelection(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) {
  ReadSelectionOf(decoder, crc, &m_first);
}

void CMXMP3_SubbandLayer2::ReadScaleFactor(CMXMP3_DecoderHelper* decoder) {
  if (m_first.allocation) ReadScaleFactorsOf(decoder, m_first.selection, m_first.scale);
}

bool CMXMP3_SubbandLayer2::ReadSampleData(CMXMP3_DecoderHelper* decoder) {
  if (m_first.allocation) ReadSamplesOf(decoder, m_first.quant, m_first.samples);
  return ++m_group == 12;
}

bool CMXMP3_SubbandLayer2::PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter*) {
  if (m_first.allocation) PutFirst(channels, filter0, m_subband, m_first.samples[m_sampleIndex] * GroupScale(m_first));
  if (++m_sampleIndex < 3) return false;
  m_sampleIndex = 0;
  return true;
}

void CMXMP3_SubbandLayer2IntensityStereo::ReadScaleFactorSelection(CMXMP3_DecoderHelper* decoder,
                                                                   CMXMP3_Crc16* crc) {
  if (!m_first.allocation) return;
  m_first.selection = decoder->GetBits(2);
  m_selection2 = decoder->GetBits(2);
  AddToCrc(crc, m_first.selection, 2);
  AddToCrc(crc, m_selection2, 2);
}

void CMXMP3_SubbandLayer2IntensityStereo::ReadScaleFactor(CMXMP3_DecoderHelper* decoder) {
  if (!m_first.allocation) return;
  ReadScaleFactorsOf(decoder, m_first.selection, m_first.scale);
  ReadScaleFactorsOf(decoder, m_selection2, m_scale2);
}

bool CMXMP3_SubbandLayer2IntensityStereo::PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0,
                                                         CMXMP3_SynthesisFilter* filter1) {
  if (m_first.allocation) {
    const double value = m_first.samples[m_sampleIndex];
    const u32 part = (m_group - 1) >> 2;
    if (channels == SL_MPEG_BOTH) {
      filter0->GetInputs()[m_subband] = value * m_first.scale[part];
      if (filter1) filter1->GetInputs()[m_subband] = value * m_scale2[part];
    } else {
      filter0->GetInputs()[m_subband] = value * (channels == SL_MPEG_LEFT_ONLY ? m_first.scale[part] : m_scale2[part]);
    }
  }
  if (++m_sampleIndex < 3) return false;
  m_sampleIndex = 0;
  return true;
}

void CMXMP3_SubbandLayer2Stereo::ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) {
  ReadAllocationOf(decoder, m_subband, &m_first);
  ReadAllocationOf(decoder, m_subband, &m_second);
  const u32 bits = AllocationTable(decoder)[m_subband].bits;
  AddToCrc(crc, m_first.allocation, bits);
  AddToCrc(crc, m_second.allocation, bits);
}

void CMXMP3_SubbandLayer2Stereo::ReadScaleFactorSelection(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) {
  ReadSelectionOf(decoder, crc, &m_first);
  ReadSelectionOf(decoder, crc, &m_second);
}

void CMXMP3_SubbandLayer2Stereo::ReadScaleFactor(CMXMP3_DecoderHelper* decoder) {
  CMXMP3_SubbandLayer2::ReadScaleFactor(decoder);
  if (m_second.allocation) ReadScaleFactorsOf(decoder, m_second.selection, m_second.scale);
}

bool CMXMP3_SubbandLayer2Stereo::ReadSampleData(CMXMP3_DecoderHelper* decoder) {
  if (m_first.allocation) ReadSamplesOf(decoder, m_first.quant, m_first.samples);
  if (m_second.allocation) ReadSamplesOf(decoder, m_second.quant, m_second.samples);
  return ++m_group == 12;
}

bool CMXMP3_SubbandLayer2Stereo::PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0,
                                                CMXMP3_SynthesisFilter* filter1) {
  if (m_second.allocation)
    PutSecond(channels, filter0, filter1, m_subband, m_second.samples[m_sampleIndex] * GroupScale(m_second));
  return CMXMP3_SubbandLayer2::PutNextSample(channels, filter0, filter1);
}

}  // namespace SLInternals
