// Decoding ranges of samples: frame positioning, pre-roll and continuation, the layer I
// and II frame loop, the dispatch of layer III frames, and the hand-over of each frame's samples to the caller's range.
#include <cstring>
#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegLayer3.h"
#include "media/mpeg/SLMpegSubbands.h"
#include "media/mpeg/SLMpegSynthesis.h"
#include "media/reader/SLBaseVideoAudioReader.h"

namespace SLInternals {

namespace {

constexpr u32 kPreRollFrames = 2;
constexpr u32 kArenaBytes = 256;
static_assert(sizeof(CMXMP3_SubbandLayer1Stereo) <= kArenaBytes && sizeof(CMXMP3_SubbandLayer1IntensityStereo) <= kArenaBytes &&
              sizeof(CMXMP3_SubbandLayer2Stereo) <= kArenaBytes && sizeof(CMXMP3_SubbandLayer2IntensityStereo) <= kArenaBytes);

// The subband object for `subband` of a frame, made in `place`.
CMXMP3_Subband* MakeSubband(void* place, u32 layer, u32 mode, u32 bound, u32 subband) {
  const bool single = mode == 3;
  const bool intensity = mode == 1 && subband >= bound;
  if (layer == 1) {
    if (single) return new (place) CMXMP3_SubbandLayer1(subband);
    if (intensity) return new (place) CMXMP3_SubbandLayer1IntensityStereo(subband);
    return new (place) CMXMP3_SubbandLayer1Stereo(subband);
  }
  if (single) return new (place) CMXMP3_SubbandLayer2(subband);
  if (intensity) return new (place) CMXMP3_SubbandLayer2IntensityStereo(subband);
  return new (place) CMXMP3_SubbandLayer2Stereo(subband);
}

}  // namespace

void CMXMP3_DecoderHelper::Append(u32 channel, i16 sample) { AppendSamples(channel, &sample, 1); }

void CMXMP3_DecoderHelper::AppendSamples(u32 channel, const i16* samples, u32 count) {
  if (channel > 1) return;
  u32& fill = m_frameFill[channel];
  const u32 room = 1152 - fill;
  if (count > room) count = room;
  std::memcpy(&m_framePcm[channel][fill], samples, count * sizeof(i16));
  fill += count;
}

void CMXMP3_DecoderHelper::ResetFilters() {
  for (CMXMP3_SynthesisFilter* filter : m_filters)
    if (filter) filter->Reset();
}

// Silence leaves no history behind: the frames after it decode as they would after a
// fresh start, whichever way they were reached.
void CMXMP3_DecoderHelper::SilenceFrame() {
  std::memset(m_framePcm, 0, sizeof(m_framePcm));
  m_frameFill[0] = m_frameFill[1] = m_samplesPerFrame;
  ResetFilters();
  if (m_layer3) m_layer3->ClearOverlap();
}

bool CMXMP3_DecoderHelper::LoadFrame(u32 index) {
  if (!m_seekable) {
    // The frame read at open (or by the previous call) comes first; then the next header.
    if (m_frameFresh) return SLSucceed(true);
    return ReadFrame(false);
  }
  if (m_frameIndex >= 0 && u32(m_frameIndex) + 1 == index) {
    u64 position = 0;
    if (m_storage->GetPosition(&position) && position == m_nextOffset) return ReadFrame(false);
  }
  return MakeFrameCurrent(index);
}

CMXMP3_DecoderHelper::FrameResult CMXMP3_DecoderHelper::DecodeOneFrame(u32 index) {
  m_frameFill[0] = m_frameFill[1] = m_frameUsed = 0;
  if (!LoadFrame(index)) {
    if (!m_seekable) return kFrameFailed;
    // Past the last frame (or a cut one) the stream gives silence up to its length; a
    // frame that cannot be found with a frame's worth of bytes left is an error.
    u64 position = 0;
    const bool known = m_storage->GetPosition(&position);
    const bool atEnd = known && (position >= m_streamSize || m_streamSize - position < m_header.frameDataSize);
    if (!atEnd && !m_lenient) return kFrameFailed;
    // A tag may declare far more frames than the bytes hold: the silence stops where the
    // stream could not have held another frame, and the range ends there.
    if (index >= m_frameLimit) return kFrameBeyondStream;
    SilenceFrame();
    m_decodedFrame = index;
    return kFrameSilent;
  }
  m_frameFresh = false;
  if (m_header.layer == 3) {
    if (!DecodeLayer3()) return kFrameFailed;
  } else {
    // The layer III state ends with the first frame of another layer.
    delete m_layer3;
    m_layer3 = nullptr;
    DecodeLayer12();
  }
  if (m_frameCorrupt) SilenceFrame();
  // Every channel holds one frame of the stream's length, whatever the frame gave (a frame
  // of another layer gives more or fewer samples): sample positions stay frame-exact.
  for (u32 channel = 0; channel < m_channels; ++channel) {
    u32& fill = m_frameFill[channel];
    if (fill > m_samplesPerFrame) fill = m_samplesPerFrame;
    if (fill < m_samplesPerFrame) {
      std::memset(&m_framePcm[channel][fill], 0, (m_samplesPerFrame - fill) * sizeof(i16));
      fill = m_samplesPerFrame;
    }
  }
  m_decodedFrame = index;
  return kFrameDecoded;
}

bool CMXMP3_DecoderHelper::DecodeLayer3() {
  if (!m_filters[0] || (m_channels == 2 && !m_filters[1])) {
    m_frameCorrupt = 1;
    return true;
  }
  if (!MakeLayer3()) return false;
  m_layer3->Decode();
  return true;
}

void CMXMP3_DecoderHelper::PrimeReservoir(u32 index) {
  // Frames that cannot be read here, and a decoder that cannot be made, are met again with
  // their errors by the frame loop.
  SLErrorKeeper keep;
  if (!MakeFrameCurrent(index) || m_header.layer != 3) return;
  const u32 reach = CMXMP3_LayerIII_Decoder::ReadMainDataBegin(this);
  u32 start = index;
  for (u64 held = 0; held < reach && start > m_audioBase;) {
    if (!MakeFrameCurrent(start - 1) || m_header.layer != 3) break;
    --start;
    held += m_header.mainDataSize;
  }
  if (start == index || !MakeLayer3()) return;
  for (u32 j = start; j < index; ++j) {
    if (!MakeFrameCurrent(j)) return;
    m_layer3->PutMainData();
  }
}

bool CMXMP3_DecoderHelper::MakeLayer3() {
  if (m_layer3) return true;
  m_layer3 = new CMXMP3_LayerIII_Decoder(this, m_filters[0], m_filters[1], this,
                                         m_channels == 2 ? SL_MPEG_BOTH : SL_MPEG_LEFT_ONLY);
  return m_layer3 ? true : SLFail(SL_E_OUT_OF_MEMORY, false);
}

bool CMXMP3_DecoderHelper::DecodeLayer12() {
  const SLMpegFrameHeader& h = m_header;
  const bool single = h.mode == 3;
  CMXMP3_SynthesisFilter* filter0 = m_filters[0];
  CMXMP3_SynthesisFilter* filter1 = single ? nullptr : m_filters[1];
  if (!filter0 || (!single && !filter1)) {
    m_frameCorrupt = 1;
    return true;
  }
  const u32 count = h.layer == 1 ? 32 : h.subbands;
  CMXMP3_Subband* subbands[32];
  for (u32 sb = 0; sb < count; ++sb) subbands[sb] = MakeSubband(m_subbandArena[sb], h.layer, h.mode, h.intensityBound, sb);
  auto destroy = SLMakeScopeGuard([&] {
    for (u32 sb = 0; sb < count; ++sb) subbands[sb]->~CMXMP3_Subband();
  });
  for (u32 sb = 0; sb < count; ++sb) subbands[sb]->ReadAllocation(this, &m_crc);
  if (h.layer == 2)
    for (u32 sb = 0; sb < count; ++sb) static_cast<CMXMP3_SubbandLayer2*>(subbands[sb])->ReadScaleFactorSelection(this, &m_crc);
  if (m_hasCrc) {
    const bool mismatch = m_crc.GetValue() != m_storedCrc;
    m_crc.Reset();
    if (mismatch) {
      m_frameCorrupt = 1;
      return true;
    }
  }
  for (u32 sb = 0; sb < count; ++sb) subbands[sb]->ReadScaleFactor(this);
  const u32 channels = single ? SL_MPEG_LEFT_ONLY : SL_MPEG_BOTH;
  bool frameDone = false;
  while (!frameDone) {
    for (u32 sb = 0; sb < count; ++sb) frameDone = subbands[sb]->ReadSampleData(this);
    bool groupDone = false;
    while (!groupDone) {
      for (u32 sb = 0; sb < count; ++sb) groupDone = subbands[sb]->PutNextSample(channels, filter0, filter1);
      filter0->CalculatePcmSamples(this);
      if (filter1) filter1->CalculatePcmSamples(this);
    }
  }
  WriteBuffer(1);
  return true;
}

bool CMXMP3_DecoderHelper::DeliverFrameSamples() {
  u32 available = m_frameFill[0] > m_frameUsed ? m_frameFill[0] - m_frameUsed : 0;
  const u32 drop = m_skip[0] < available ? m_skip[0] : available;
  m_frameUsed += drop;
  available -= drop;
  for (u32& skip : m_skip) skip = skip > drop ? skip - drop : 0;
  const u32 room = m_capacity - m_writePos[0];
  const u32 take = available < room ? available : room;
  // The output grows with the samples handed out, not with the count asked for.
  const u64 needed = (u64(m_writePos[0]) + take) * m_channels * sizeof(i16);
  if (needed > m_outputBytes) {
    const u64 whole = u64(m_capacity) * m_channels * sizeof(i16);
    u64 bytes = m_outputBytes * 2 < whole ? m_outputBytes * 2 : whole;
    if (bytes < needed) bytes = needed;
    void* grown = SLRealloc(m_output, u32(bytes));
    if (!grown) return SLFail(SL_E_OUT_OF_MEMORY, false);
    m_output = static_cast<i16*>(grown);
    m_outputBytes = bytes;
  }
  i16* out = m_output + u64(m_writePos[0]) * m_channels;
  if (m_channels == 1) {
    std::memcpy(out, &m_framePcm[0][m_frameUsed], take * sizeof(i16));
  } else {
    const i16* left = &m_framePcm[0][m_frameUsed];
    const i16* right = &m_framePcm[1][m_frameUsed];
    for (u32 i = 0; i < take; ++i) {
      out[2 * i] = left[i];
      out[2 * i + 1] = right[i];
    }
  }
  m_frameUsed += take;
  for (u32 channel = 0; channel < m_channels; ++channel) m_writePos[channel] += take;
  return true;
}

bool CMXMP3_DecoderHelper::DecodeFrame(u64 first, u32 count, const i16** samples, u32* got) {
  if (samples) *samples = nullptr;
  if (got) *got = 0;
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!samples || !got) return SLFail(SL_E_INVALID_ARG, false);
  if (!m_started) return SLFail(SL_E_NOT_STARTED, false);
  if (m_seekable) {
    const u64 total = GetTotalSamples();
    if (first >= total) return SLSucceed(true);
    if (count > total - first) count = u32(total - first);
  } else {
    first = m_resumeSample;
  }
  u64 bytes = 0;
  if (!SLCheckedMul(u64(count) * 2, m_channels, &bytes) || !SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  m_writePos[0] = m_writePos[1] = 0;
  m_skip[0] = m_skip[1] = 0;
  m_capacity = count;
  m_stopFlag = 0;
  *samples = m_output;
  if (count == 0) return SLSucceed(true);

  SLSetLastError(SL_OK);
  bool ok = true;
  u64 next = 0;
  if (!m_seekable || (m_resumeValid && first == m_resumeSample)) {
    ok = DeliverFrameSamples();
    next = u64(m_decodedFrame + 1);
  } else {
    m_resumeValid = false;
    const u64 audioFrame = first / m_samplesPerFrame;
    const u64 frame = audioFrame + m_audioBase;
    ResetFilters();
    if (m_layer3) m_layer3->Reset();
    const u64 from = audioFrame > kPreRollFrames ? frame - kPreRollFrames : m_audioBase;
    if (from < frame && from <= 0xFFFFFFFFull) PrimeReservoir(u32(from));
    for (u64 index = from; ok && index < frame; ++index) ok = DecodeOneFrame(u32(index)) != kFrameFailed;
    m_frameFill[0] = m_frameFill[1] = m_frameUsed = 0;
    m_skip[0] = m_skip[1] = u32(first - audioFrame * m_samplesPerFrame);
    next = frame;
  }
  while (ok && m_writePos[0] < count) {
    const FrameResult result = next > 0xFFFFFFFFull ? kFrameFailed : DecodeOneFrame(u32(next));
    if (result == kFrameBeyondStream) break;
    ok = result != kFrameFailed && DeliverFrameSamples();
    ++next;
  }
  // The channels leave equal in length.
  for (u32 channel = 0; channel < m_channels; ++channel) {
    while (m_writePos[channel] < m_writePos[m_channels - 1 - channel])
      m_output[u64(m_writePos[channel]++) * m_channels + channel] = 0;
  }
  m_skip[0] = m_skip[1] = 0;
  *samples = m_output;
  *got = m_writePos[0];
  m_resumeSample = first + m_writePos[0];
  m_resumeValid = ok;
  if (ok) return SLSucceed(true);
  // A storage that ran out without an error (or a sequential stream at its end) ends the
  // range early; any other failure is the call's.
  const u32 code = SLGetLastError();
  if (code == SL_OK || (!m_seekable && code == SL_E_STORAGE_EOF)) {
    m_resumeValid = true;
    return SLSucceed(true);
  }
  return false;
}

}  // namespace SLInternals
