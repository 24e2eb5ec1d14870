#include "media/mpeg/SLMpegAudioDecoder.h"

#include <cstring>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/mpeg/SLMpegLayer3.h"
#include "media/mpeg/SLMpegSynthesis.h"
#include "media/reader/SLBaseVideoAudioReader.h"

namespace SLInternals {

SL_IMPLEMENT_CLASS(CMXMP3_Crc16, CSLObject)
SL_IMPLEMENT_CLASS(CMXBaseAudioDecoder, CSLObject)
SL_IMPLEMENT_CLASS(CMXMP3_DecoderHelper, CMXBaseAudioDecoder)

namespace {

constexpr u32 kSyncMask = 0xFFF80C00;   // sync, version bit, sample-rate index
constexpr u32 kLayerMask = 0xFFFE0C00;  // the same and the layer
constexpr u64 kFirstSyncLimit = 65536;
constexpr u64 kUnknown = ~u64(0);

constexpr u32 kSampleRates[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
// kbit/s by version (0 MPEG-2, 1 MPEG-1), layer - 1 and bit-rate index.
constexpr u16 kBitRates[2][3][15] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};

bool IsSingleChannel(u32 word) { return ((word >> 6) & 3) == 3; }

bool IsXingTag(const u8* tag) { return std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0; }

// The length in bytes of a frame with these header fields.
u32 FrameLength(u32 version, u32 layer, u32 bitRateIndex, u32 sampleRateIndex, u32 padding) {
  const u32 rate = u32(kBitRates[version][layer - 1][bitRateIndex]) * 1000;
  const u32 freq = kSampleRates[version][sampleRateIndex];
  if (layer == 1) return (12 * rate / freq + padding) * 4;
  // Layer III of the lower sample rates has half-length frames (576 samples).
  u32 length = 144 * rate / freq;
  if (layer == 3 && version == 0) length /= 2;
  return length + padding;
}

// The shortest frame a stream of this version and sample rate may hold, of any layer.
u32 ShortestFrameLength(u32 version, u32 sampleRateIndex) {
  u32 shortest = ~0u;
  for (u32 layer = 1; layer <= 3; ++layer) {
    const u32 length = FrameLength(version, layer, 1, sampleRateIndex, 0);
    if (length < shortest) shortest = length;
  }
  return shortest;
}

}  // namespace

void CMXMP3_Crc16::AddBits(u32 value, u32 bits) {
  for (u32 bit = bits; bit-- > 0;) {
    const bool data = (value >> bit) & 1;
    const bool top = (m_register & 0x8000) != 0;
    m_register = u16(m_register << 1);
    if (top != data) m_register ^= 0x8005;
  }
}

bool SLMpegParseHeader(u32 word, SLMpegFrameHeader* header) {
  SLMpegFrameHeader h;
  h.word = word;
  h.version = (word >> 19) & 1;
  h.sampleRateIndex = (word >> 10) & 3;
  const u32 layerBits = (word >> 17) & 3;
  h.bitRateIndex = (word >> 12) & 15;
  if (layerBits == 0 || h.sampleRateIndex == 3 || h.bitRateIndex == 0 || h.bitRateIndex == 15)
    return SLFail(SL_E_MPEG_BAD_HEADER, false);
  h.layer = 4 - layerBits;
  h.protection = (word >> 16) & 1;
  h.padding = (word >> 9) & 1;
  h.mode = (word >> 6) & 3;
  h.modeExtension = (word >> 4) & 3;
  const u32 b = h.bitRateIndex;
  const bool mono = h.mode == 3;
  // MPEG-1 layer II allows only the bit rates its allocation tables cover for the mode;
  // the lower sample rates have one table for every bit rate and mode.
  if (h.layer == 2 && h.version == 1 && (mono ? b >= 11 : (b <= 3 || b == 5)))
    return SLFail(SL_E_MPEG_BAD_HEADER, false);
  if (h.layer == 1) {
    h.subbands = 32;
  } else if (h.version == 0) {
    h.subbands = 30;
  } else {
    // The MPEG-1 allocation table follows the bit rate per channel.
    u32 perChannel = b;
    if (!mono) perChannel = b == 4 ? 1 : b - 4;
    if (perChannel == 1 || perChannel == 2)
      h.subbands = h.sampleRateIndex == 2 ? 12 : 8;
    else
      h.subbands = (h.sampleRateIndex == 1 || (perChannel >= 3 && perChannel < 6)) ? 27 : 30;
  }
  h.intensityBound = h.mode == 1 ? h.modeExtension * 4 + 4 : 0;
  if (h.intensityBound > h.subbands) h.intensityBound = h.subbands;
  h.frameDataSize = FrameLength(h.version, h.layer, b, h.sampleRateIndex, h.padding) - 4;
  if (h.layer == 3) {
    h.sideInfoSize = h.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const u32 overhead = h.sideInfoSize + (h.protection ? 0 : 2);
    h.mainDataSize = h.frameDataSize > overhead ? h.frameDataSize - overhead : 0;
  }
  *header = h;
  return SLSucceed(true);
}

u32 SLMpegSampleRate(const SLMpegFrameHeader& header) {
  return kSampleRates[header.version & 1][header.sampleRateIndex % 3];
}

u32 SLMpegSamplesPerFrame(const SLMpegFrameHeader& header) {
  if (header.layer == 1) return 384;
  if (header.layer == 3 && header.version == 0) return 576;
  return 1152;
}

CMXMP3_DecoderHelper::CMXMP3_DecoderHelper() = default;

CMXMP3_DecoderHelper::~CMXMP3_DecoderHelper() {
  SLErrorKeeper keep;
  Close();
  m_frameOffsets.Free();
}

bool CMXMP3_DecoderHelper::Close() {
  if (m_storage) Stop();
  m_storage = nullptr;
  m_seekable = m_lenient = 0;
  m_sampleRate = m_channels = m_samplesPerFrame = 0;
  m_totalSamples = m_streamSize = 0;
  m_frameLimit = 0;
  m_header = SLMpegFrameHeader();
  m_frameOffset = 0;
  m_expectedHeader = 0;
  m_storedCrc = 0;
  m_hasCrc = 0;
  m_frameOffsets.Free();
  m_frameIndex = -1;
  m_firstKind = m_firstFrameCount = 0;
  m_audioBase = 0;
  m_scale = 0.0;
  m_writePos[0] = m_writePos[1] = m_skip[0] = m_skip[1] = 0;
  m_capacity = m_stopFlag = 0;
  m_resumeValid = false;
  m_resumeSample = 0;
  m_decodedFrame = -1;
  m_frameFresh = false;
  return SLSucceed(true);
}

u64 CMXMP3_DecoderHelper::ReadBytes(void* buffer, u64 count) {
  u64 taken = 0;
  while (m_pushbackCount > 0 && taken < count) {
    static_cast<u8*>(buffer)[taken++] = m_pushback[0];
    std::memmove(m_pushback, m_pushback + 1, --m_pushbackCount);
  }
  if (taken == count) return taken;
  return taken + m_storage->Read(static_cast<u8*>(buffer) + taken, count - taken);
}

// A search reads one byte at a time: the words before a header are rarely long, and the
// storage layer buffers its reads.
bool CMXMP3_DecoderHelper::FindHeader(bool firstFrame, u32* word) {
  u8 bytes[4];
  if (ReadBytes(bytes, 4) != 4) return false;
  u32 w = SLLoadBE32(bytes);
  bool rejected = false;
  for (;;) {
    SLMpegFrameHeader parsed;
    bool acceptable;
    if (firstFrame)
      acceptable = (w & 0xFFF00000) == 0xFFF00000;
    else
      acceptable = (w & kSyncMask) == m_expectedHeader && IsSingleChannel(w) == (m_header.mode == 3);
    // A candidate whose fields are reserved is a false sync: the search goes on past it.
    if (acceptable) {
      if (SLMpegParseHeader(w, &parsed)) {
        *word = w;
        return true;
      }
      rejected = true;
    }
    if (firstFrame && !m_lenient && ++m_searched > kFirstSyncLimit) return SLFail(SL_E_MPEG_NO_SYNC, false);
    u8 next;
    if (ReadBytes(&next, 1) != 1) {
      if (rejected && firstFrame) SLSetLastError(SL_E_MPEG_BAD_HEADER);
      return false;
    }
    w = (w << 8) | next;
  }
}

bool CMXMP3_DecoderHelper::ReadFrame(bool firstFrame) {
  if (m_seekable) Seek(m_storage, u32(m_frameIndex + 1), 0, 1);
  u32 word = 0;
  if (!FindHeader(firstFrame, &word)) return false;
  SLMpegParseHeader(word, &m_header);
  if (firstFrame) m_expectedHeader = word & kSyncMask;
  u64 position = 0;
  if (m_seekable) {
    if (!m_storage->GetPosition(&position)) return false;
    m_frameOffset = position - 4;
  } else {
    m_frameOffset = kUnknown;
  }
  const u64 got = ReadBytes(m_frame, m_header.frameDataSize);
  if (got != m_header.frameDataSize) {
    // A stream cut inside its last frame: the bytes present are that frame's data.
    if (!m_seekable || m_frameOffset + 4 + m_header.frameDataSize <= m_streamSize) return false;
  }
  m_frameBytes = u32(got);
  m_nextOffset = m_frameOffset + 4 + got;
  m_frameFresh = true;
  m_frameCorrupt = 0;
  std::memset(m_frame + got, 0, sizeof(m_frame) - got);
  m_bytePos = m_bitIndex = 0;
  m_hasCrc = 0;
  if (!m_header.protection) {
    m_storedCrc = u16(GetBits(16));
    m_crc.Reset();
    m_crc.AddBits(word, 16);
    m_hasCrc = 1;
  }
  ++m_frameIndex;
  if (m_seekable) {
    const u32 index = u32(m_frameIndex);
    if (index >= m_frameOffsets.GetCount()) {
      const u32 old = m_frameOffsets.GetCount();
      if (!m_frameOffsets.SetSize(index + 1)) {
        --m_frameIndex;
        return false;
      }
      std::memset(m_frameOffsets.GetData() + old, 0, (index + 1 - old) * sizeof(u64));
    }
    m_frameOffsets[index] = m_frameOffset;
  }
  return SLSucceed(true);
}

// Bit by bit near the end of the frame data.
u32 CMXMP3_DecoderHelper::GetBitsAtEnd(u32 count) {
  if (count == 0 || count > 32) return 0;
  u32 value = 0;
  for (u32 i = 0; i < count; ++i) {
    u32 bit = 0;
    if (m_bytePos < m_frameBytes) {
      bit = (m_frame[m_bytePos] >> (7 - m_bitIndex)) & 1;
      if (++m_bitIndex == 8) m_bitIndex = 0, ++m_bytePos;
    }
    // Past the frame's last byte the reader gives zero bits and stays put.
    value = (value << 1) | bit;
  }
  return value;
}

bool CMXMP3_DecoderHelper::SkipId3Tag() {
  // An ID3v2 tag (10-byte header, synchsafe size, a 10-byte footer when flagged) may hold
  // pictures far larger than the sync search limit; it is stepped over by its size.
  u64 start = 0;
  if (m_seekable && !m_storage->GetPosition(&start)) return false;
  u8 head[10];
  const u64 got = m_storage->Read(head, 10);
  const bool tag = got == 10 && std::memcmp(head, "ID3", 3) == 0 && head[3] != 0xFF && head[4] != 0xFF &&
                   !((head[6] | head[7] | head[8] | head[9]) & 0x80);
  if (!tag) {
    if (m_seekable) return m_storage->Seek(i64(start), SL_SEEK_BEGIN);
    // A stream that cannot step back: the bytes read take part in the search.
    std::memcpy(m_pushback, head, size_t(got));
    m_pushbackCount = u32(got);
    return SLSucceed(true);
  }
  u64 size = (u64(head[6]) << 21) | (u64(head[7]) << 14) | (u64(head[8]) << 7) | head[9];
  if (head[5] & 0x10) size += 10;
  if (m_seekable) return m_storage->Seek(i64(start + 10 + size), SL_SEEK_BEGIN);
  u8 skip[256];
  while (size > 0) {
    const u64 step = size < sizeof(skip) ? size : sizeof(skip);
    if (m_storage->Read(skip, step) != step) return false;
    size -= step;
  }
  return SLSucceed(true);
}

bool CMXMP3_DecoderHelper::Open(CSLBaseStorage* storage, u32 seekable, u32 lenient) {
  Close();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  m_storage = storage;
  m_seekable = seekable;
  m_lenient = lenient;
  m_pushbackCount = 0;
  m_searched = 0;
  auto fail = SLMakeScopeGuard([this] { Close(); });
  if (m_seekable && !m_storage->GetSize(&m_streamSize)) return false;
  if (!SkipId3Tag()) return false;
  for (;;) {
    m_frameIndex = -1;
    if (!ReadFrame(true)) return false;
    if (!m_seekable) break;
    // The first frame counts only when the next header agrees with it; else the search
    // starts again at that next header.
    const SLMpegFrameHeader first = m_header;
    const u64 firstOffset = m_frameOffset;
    u32 next = 0;
    if (!FindHeader(true, &next)) {
      // Nothing follows: a stream of one whole frame (a cut one is a false sync near the
      // end of other data).
      if (SLGetLastError() == SL_E_MPEG_NO_SYNC || m_frameBytes < first.frameDataSize) return false;
      // A lone frame is a stream only when it ends the file (or an ID3v1 tag follows it):
      // a header found in random bytes is otherwise taken for minutes of silence.
      if (!EndsTheStream(firstOffset + 4 + first.frameDataSize)) return SLFail(SL_E_MPEG_NO_SYNC, false);
      m_header = first;
      m_frameOffset = firstOffset;
      break;
    }
    u64 position = 0;
    if (!m_storage->GetPosition(&position) || !m_storage->Seek(i64(position - 4), SL_SEEK_BEGIN)) return false;
    // A true first frame is followed at once by a header like it: a false sync inside
    // other data (or inside MPEG-2.5 frames, whose sync is shorter) rarely is.
    const bool adjacent = position - 4 == firstOffset + 4 + first.frameDataSize;
    if (adjacent && (next & kLayerMask) == (first.word & kLayerMask) && IsSingleChannel(next) == (first.mode == 3)) {
      m_header = first;
      m_frameOffset = firstOffset;
      break;
    }
  }
  m_sampleRate = SLMpegSampleRate(m_header);
  m_channels = m_header.mode == 3 ? 1 : 2;
  m_samplesPerFrame = SLMpegSamplesPerFrame(m_header);
  if (!m_seekable) {
    m_totalSamples = m_streamSize = kUnknown;
    // A tag frame is not audio: the next frame is the first to decode.
    if (FrameHoldsTag()) m_frameFresh = false;
    fail.Dismiss();
    return SLSucceed(true);
  }
  // Padding is a 4-byte slot in layer I and one byte in the others.
  const u32 padding = m_header.padding * (m_header.layer == 1 ? 4 : 1);
  const u64 frames = m_streamSize > m_frameOffset ? (m_streamSize - m_frameOffset) / (m_header.frameDataSize - padding + 4) : 0;
  if (!SLCheckedMul(frames, m_samplesPerFrame, &m_totalSamples) || !SLFitsU32(frames))
    return SLFail(SL_E_MALFORMED, false);
  // However many frames a tag declares, the bytes hold no more than this many.
  const u64 bytes = m_streamSize > m_frameOffset ? m_streamSize - m_frameOffset : 0;
  m_frameLimit = bytes / ShortestFrameLength(m_header.version, m_header.sampleRateIndex) + 1;
  m_frameOffsets.Free();
  const u32 tableCount = frames > 0 ? u32(frames) : 1;
  if (!m_frameOffsets.SetSize(tableCount)) return false;
  std::memset(m_frameOffsets.GetData(), 0, tableCount * sizeof(u64));
  m_frameOffsets[0] = m_frameOffset;
  if (!ReadFirstFrameHeader()) return false;
  if (m_firstKind != 0) {
    m_audioBase = 1;
    if (m_totalSamples >= m_samplesPerFrame) m_totalSamples -= m_samplesPerFrame;
  }
  fail.Dismiss();
  return SLSucceed(true);
}

bool CMXMP3_DecoderHelper::EndsTheStream(u64 end) {
  if (end == m_streamSize) return true;
  if (end > m_streamSize || m_streamSize - end != 128) return false;
  u8 tag[3];
  return m_storage->Seek(i64(end), SL_SEEK_BEGIN) && m_storage->Read(tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0;
}

bool CMXMP3_DecoderHelper::ReadFirstFrameHeader() {
  u64 saved = 0;
  if (!m_storage->GetPosition(&saved)) return false;
  auto restore = SLMakeScopeGuard([&] { m_storage->Seek(i64(saved), SL_SEEK_BEGIN); });
  u8 tag[4];
  // The side information follows the CRC word when there is one; some encoders write the
  // tag where it would be without the CRC word.
  const u64 at = m_frameOffset + 4 + m_header.sideInfoSize;
  if (!m_storage->Seek(i64(at + (m_header.protection ? 0 : 2)), SL_SEEK_BEGIN)) return false;
  if (m_storage->Read(tag, 4) != 4) return SLSucceed(true);
  if (!m_header.protection && !IsXingTag(tag)) {
    if (!m_storage->Seek(i64(at), SL_SEEK_BEGIN)) return false;
    if (m_storage->Read(tag, 4) != 4) return SLSucceed(true);
  }
  auto failRead = [this] {
    m_firstKind = m_firstFrameCount = 0;
    return false;
  };
  if (IsXingTag(tag)) {
    u32 flags = 0, value = 0;
    if (!m_storage->ReadU32BE(&flags)) return failRead();
    if (flags & 1) {
      if (!m_storage->ReadU32BE(&value)) return failRead();
      m_firstFrameCount = value;
    }
    if ((flags & 2) && !m_storage->ReadU32BE(&value)) return failRead();
    u8 table[100];
    if ((flags & 4) && m_storage->Read(table, 100) != 100) return failRead();
    if ((flags & 8) && !m_storage->ReadU32BE(&value)) return failRead();
    m_firstKind = 1;
    return SLSucceed(true);
  }
  if (!m_storage->Seek(i64(m_frameOffset + 36), SL_SEEK_BEGIN)) return false;
  if (m_storage->Read(tag, 4) != 4 || std::memcmp(tag, "VBRI", 4) != 0) return SLSucceed(true);
  u8 fields[22];
  if (m_storage->Read(fields, sizeof(fields)) != sizeof(fields)) return failRead();
  // version, delay, quality, bytes, frames, entries, scale, bytes per entry, frames per entry
  const u32 frames = SLLoadBE32(fields + 10);
  const u32 entries = SLLoadBE16(fields + 14) + 1u;
  const u32 entryBytes = SLLoadBE16(fields + 18);
  if (entryBytes < 1 || entryBytes > 4) {
    failRead();
    return SLFail(SL_E_MEDIA_BAD_FORMAT_RECORD, false);
  }
  u8 skip[256];
  for (u64 left = u64(entries) * entryBytes; left > 0;) {
    const u64 step = left < sizeof(skip) ? left : sizeof(skip);
    if (m_storage->Read(skip, step) != step) return failRead();
    left -= step;
  }
  m_firstKind = 2;
  m_firstFrameCount = frames;
  return SLSucceed(true);
}

bool CMXMP3_DecoderHelper::FrameHoldsTag() const {
  const u32 at = m_header.sideInfoSize;
  if (at + 6 <= m_frameBytes && (IsXingTag(m_frame + at) || (!m_header.protection && IsXingTag(m_frame + at + 2))))
    return true;
  return m_frameBytes >= 36 && std::memcmp(m_frame + 32, "VBRI", 4) == 0;
}

bool CMXMP3_DecoderHelper::Seek(CSLBaseStorage* storage, u32 frameIndex, u64 offset, u32 skip) {
  (void)frameIndex;
  if (skip) return SLSucceed(true);
  return storage->Seek(i64(offset), SL_SEEK_BEGIN);
}

bool CMXMP3_DecoderHelper::MakeFrameCurrent(u32 index) {
  if (!m_storage || !m_seekable) return SLFail(SL_E_NOT_INITIALISED, false);
  auto failed = SLMakeScopeGuard([this] { m_frameIndex = -2; });
  const u32 count = m_frameOffsets.GetCount();
  if (index == 0 || (index < count && m_frameOffsets[index] != 0)) {
    if (!Seek(m_storage, index, m_frameOffsets[index], 0)) return false;
    m_frameIndex = i32(index) - 1;
    if (!ReadFrame(false)) return false;
  } else {
    // Walk the headers on from the last frame whose offset is known.
    u32 known = index < count ? index : count;
    while (known > 1 && m_frameOffsets[known - 1] == 0) --known;
    const u32 start = known > 0 ? known - 1 : 0;
    if (!Seek(m_storage, start, m_frameOffsets[start], 0)) return false;
    m_frameIndex = i32(start) - 1;
    while (m_frameIndex < i32(index))
      if (!ReadFrame(false)) return false;
  }
  failed.Dismiss();
  return SLSucceed(true);
}

u32 CMXMP3_DecoderHelper::GetSampleRate() {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLSucceed(m_sampleRate);
}

u32 CMXMP3_DecoderHelper::GetChannels() {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLSucceed(m_channels);
}

u32 CMXMP3_DecoderHelper::GetBitsPerSample() {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLSucceed(16u);
}

u64 CMXMP3_DecoderHelper::GetTotalSamples() {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, u64(0));
  if (m_firstKind != 0 && m_firstFrameCount != 0) return SLSucceed(u64(m_firstFrameCount) * m_samplesPerFrame);
  return SLSucceed(m_totalSamples);
}

bool CMXMP3_DecoderHelper::Start() {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, false);
  if (m_started) return SLFail(SL_E_ALREADY_STARTED, false);
  m_scale = 32768.0;
  m_started = true;
  m_resumeValid = false;
  m_decodedFrame = -1;
  m_frameFill[0] = m_frameFill[1] = m_frameUsed = 0;
  for (u32 channel = 0; channel < m_channels; ++channel) {
    m_filters[channel] = new CMXMP3_SynthesisFilter(channel, m_scale);
    if (!m_filters[channel]) {
      Stop();
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
  }
  m_output = static_cast<i16*>(SLAlloc(16384));
  if (!m_output) {
    Stop();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  m_outputBytes = 16384;
  return SLSucceed(true);
}

bool CMXMP3_DecoderHelper::Stop() {
  if (!m_storage) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!m_started) return SLFail(SL_E_NOT_STARTED, false);
  SLFreeKeepingError(m_output);
  m_output = nullptr;
  delete m_layer3;
  m_layer3 = nullptr;
  m_outputBytes = 0;
  for (CMXMP3_SynthesisFilter*& filter : m_filters) {
    delete filter;
    filter = nullptr;
  }
  m_started = false;
  m_resumeValid = false;
  return SLSucceed(true);
}

void CMXMP3_DecoderHelper::WriteBuffer(u32) {}

void CMXMP3_DecoderHelper::SetStopFlag() { m_stopFlag = 1; }

}  // namespace SLInternals
