// The MPEG audio decoder core: frame synchronisation, header decoding, the first frame's
// Xing/Info/VBRI header, and the table of frame offsets that gives random access by
// sample number. The WAV, AVI and MP3 readers each make one CMXMP3_DecoderHelper, open it
// on a storage and ask it for ranges of samples.
//
// MPEG-1 and MPEG-2 (lower sample rates) are handled; MPEG-2.5 and free-format streams
// (bit-rate index 0) are refused. MPEG-2 layer II follows the lower-sample-rate rules:
// no bit-rate and mode restriction and 30 subbands.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"
#include "storage/SLBaseStorage.h"

enum : u32 {
  SL_E_MPEG_BAD_HEADER = 0x8009000b,  // bit-rate index 0 or 15, reserved layer bits
  SL_E_MPEG_NO_SYNC = 0x80020018,     // no first frame within the search limit
};

namespace SLInternals {

// The frame check: CRC-16 with generator 0x8005, register 0xFFFF after construction.
class CMXMP3_Crc16 : public CSLObject {
  SL_DECLARE_CLASS(CMXMP3_Crc16)
 public:
  CMXMP3_Crc16() = default;
  // Adds the low `bits` bits of `value`, most significant first.
  void AddBits(u32 value, u32 bits);
  u16 GetValue() const { return m_register; }
  void Reset() { m_register = 0xFFFF; }

 private:
  u16 m_register = 0xFFFF;
};

class CMXBaseAudioDecoder : public CSLObject {
  SL_DECLARE_CLASS(CMXBaseAudioDecoder)
 public:
  virtual bool Close() = 0;
  virtual bool Open(CSLBaseStorage* storage, u32 seekable, u32 lenient) = 0;
  virtual u32 GetSampleRate() = 0;
  virtual u32 GetChannels() = 0;
  virtual u32 GetBitsPerSample() = 0;
  virtual u64 GetTotalSamples() = 0;
  virtual bool Start() = 0;
  virtual bool DecodeFrame(u64 first, u32 count, const i16** samples, u32* got) = 0;
  virtual bool Stop() = 0;
};

// Where the layer decoders put their samples.
class CMXMP3_Obuffer {
 public:
  virtual ~CMXMP3_Obuffer() = default;
  virtual void Append(u32 channel, i16 sample) = 0;
  virtual void WriteBuffer(u32 unused) = 0;
  virtual void SetStopFlag() = 0;
  // `count` samples of one channel at once; the same as Append for each.
  virtual void AppendSamples(u32 channel, const i16* samples, u32 count) {
    for (u32 i = 0; i < count; ++i) Append(channel, samples[i]);
  }
};

class CMXMP3_SynthesisFilter;
class CMXMP3_Subband;
class CMXMP3_LayerIII_Decoder;

// The fields of one frame header.
struct SLMpegFrameHeader {
  u32 word = 0;
  u32 version = 0;          // 1 MPEG-1, 0 MPEG-2
  u32 sampleRateIndex = 0;  // 0-2
  u32 layer = 0;            // 1, 2, 3
  u32 protection = 1;       // 1: no CRC
  u32 bitRateIndex = 0;     // 1-14
  u32 padding = 0;
  u32 mode = 3;             // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  u32 modeExtension = 0;
  u32 subbands = 0;         // layers I and II
  u32 intensityBound = 0;
  u32 frameDataSize = 0;    // frame length less the 4 header bytes
  u32 mainDataSize = 0;     // layer III
  u32 sideInfoSize = 0;     // layer III
};

// Decodes the fields of `word` (its sync already checked) into `header`; false with
// 0x8009000b for a reserved layer, bit-rate index 0 or 15, or an MPEG-1 layer II bit
// rate the mode forbids.
bool SLMpegParseHeader(u32 word, SLMpegFrameHeader* header);
// Sample rate in Hz of a parsed header, and its samples per frame.
u32 SLMpegSampleRate(const SLMpegFrameHeader& header);
u32 SLMpegSamplesPerFrame(const SLMpegFrameHeader& header);

class CMXMP3_DecoderHelper : public CMXBaseAudioDecoder, public CMXMP3_Obuffer {
  SL_DECLARE_CLASS(CMXMP3_DecoderHelper)
 public:
  CMXMP3_DecoderHelper();
  ~CMXMP3_DecoderHelper() override;

  bool Close() override;
  // `seekable` is the storage's own CanSeek answer; `lenient` lifts the first-sync limit
  // and lets decoding go on over damaged frames.
  bool Open(CSLBaseStorage* storage, u32 seekable, u32 lenient) override;
  u32 GetSampleRate() override;
  u32 GetChannels() override;
  u32 GetBitsPerSample() override;
  u64 GetTotalSamples() override;
  bool Start() override;
  // Decodes samples [first, first + count) of every channel into the decoder's own
  // interleaved buffer (valid until the next DecodeFrame, Stop or Close). A call that
  // starts where the previous one ended continues its decoding; any other call decodes
  // the two frames before its first one and discards them (after putting into the layer III
  // bit reservoir the main data they reach back into), so that the synthesis history, the
  // IMDCT overlap and the reservoir are the ones a whole read has there. A frame that
  // fails its CRC or holds an impossible codeword, and a frame past the stream's end, give
  // one frame of silence; the range ends early (successfully) where the stream's bytes
  // could not have held the frame, whatever length a Xing or VBRI tag declares. A first frame holding a Xing, Info or VBRI tag is not audio:
  // sample 0 is the first sample of the frame after it. A stream that cannot seek ignores
  // `first` and goes on from where it stopped.
  bool DecodeFrame(u64 first, u32 count, const i16** samples, u32* got) override;
  bool Stop() override;
  // The positioning hook of the frame reader: with `skip` set it does nothing.
  bool Seek(CSLBaseStorage* storage, u32 frameIndex, u64 offset, u32 skip);

  void Append(u32 channel, i16 sample) override;
  void WriteBuffer(u32 unused) override;
  void SetStopFlag() override;
  void AppendSamples(u32 channel, const i16* samples, u32 count) override;

  // What the layer decoders read of the current frame.
  const SLMpegFrameHeader& GetHeader() const { return m_header; }
  // n bits (n up to 32), most significant first; past the frame data zero bits, and the
  // reader stays on the data's end.
  u32 GetBits(u32 count) {
    // Inside the frame data eight bytes at once; the frame buffer is zero past the data.
    const u64 position = u64(m_bytePos) * 8 + m_bitIndex;
    if (count - 1 < 32 && position + count <= u64(m_frameBytes) * 8 && m_bytePos + 8 <= sizeof(m_frame)) {
      const u64 word = SLLoadBE64(m_frame + m_bytePos) << m_bitIndex;
      const u64 next = position + count;
      m_bytePos = u32(next >> 3);
      m_bitIndex = u32(next & 7);
      return u32(word >> (64 - count));
    }
    return GetBitsAtEnd(count);
  }
  CMXMP3_Crc16* GetCrc() { return &m_crc; }
  // The current frame's data after the header (2,048 bytes, zero past the data).
  const u8* GetFrameData() const { return m_frame; }
  u16 GetStoredCrc() const { return m_storedCrc; }
  bool HasCrc() const { return m_hasCrc != 0; }
  // Makes frame `index` the current one on a seekable stream (the header and frame data
  // read); the current frame's header offset and index.
  bool MakeFrameCurrent(u32 index);
  u64 GetFrameOffset() const { return m_frameOffset; }
  i32 GetFrameIndex() const { return m_frameIndex; }
  u32 GetSamplesPerFrame() const { return m_samplesPerFrame; }
  // A layer decoder found the current frame damaged: it yields silence.
  void SetFrameCorrupt() { m_frameCorrupt = 1; }

 private:
  bool FindHeader(bool firstFrame, u32* word);
  bool ReadFrame(bool firstFrame);
  bool ReadFirstFrameHeader();
  // Whether a frame ending at `end` is the last thing in the stream, an ID3v1 tag aside.
  bool EndsTheStream(u64 end);
  bool SkipId3Tag();
  u64 ReadBytes(void* buffer, u64 count);
  u32 GetBitsAtEnd(u32 count);
  // Decoding (SLMpegDecode.cpp).
  // kFrameBeyondStream: past the end and past the most frames the bytes can hold.
  enum FrameResult { kFrameDecoded, kFrameSilent, kFrameFailed, kFrameBeyondStream };
  FrameResult DecodeOneFrame(u32 index);
  bool LoadFrame(u32 index);
  bool DecodeLayer12();
  bool DecodeLayer3();
  bool FrameHoldsTag() const;
  // Fills the layer III reservoir with the main data that frame `index` reaches back into.
  void PrimeReservoir(u32 index);
  bool MakeLayer3();
  void ResetFilters();
  void SilenceFrame();
  // Moves the samples of the decoded frame not yet handed out into the output (growing it
  // as far as they need), dropping those the skip counters still ask to drop; false when
  // the output cannot grow.
  bool DeliverFrameSamples();

  CSLBaseStorage* m_storage = nullptr;
  u32 m_seekable = 0;
  u32 m_lenient = 0;
  u32 m_sampleRate = 0;
  u32 m_channels = 0;
  u64 m_totalSamples = 0;
  u64 m_streamSize = 0;
  // The most frames the stream's bytes can hold (from its first frame on, at the shortest
  // legal frame length): past the stream's end silence is given up to there, not beyond.
  u64 m_frameLimit = 0;
  u32 m_samplesPerFrame = 0;
  SLMpegFrameHeader m_header;
  u64 m_frameOffset = 0;
  u32 m_expectedHeader = 0;
  CMXMP3_Crc16 m_crc;
  u16 m_storedCrc = 0;
  u32 m_hasCrc = 0;
  u8 m_frame[2048] = {};
  u32 m_frameBytes = 0;  // bytes of frame data present (less only for a cut last frame)
  u32 m_bytePos = 0;
  u32 m_bitIndex = 0;
  TSLArray<u64> m_frameOffsets;
  i32 m_frameIndex = -1;
  u32 m_firstKind = 0;  // 0 none, 1 Xing/Info, 2 VBRI
  u32 m_firstFrameCount = 0;
  double m_scale = 0.0;
  bool m_started = false;
  i16* m_output = nullptr;
  u64 m_outputBytes = 0;
  u32 m_writePos[2] = {};
  u32 m_skip[2] = {};
  u32 m_capacity = 0;
  u32 m_stopFlag = 0;
  CMXMP3_SynthesisFilter* m_filters[2] = {};
  CMXMP3_LayerIII_Decoder* m_layer3 = nullptr;  // from the first layer III frame to Stop
  u32 m_audioBase = 0;  // 1 when the first frame is a tag frame: audio starts after it
  // The samples of the frame decoded last, per channel, and how many were handed out.
  i16 m_framePcm[2][1152] = {};
  u32 m_frameFill[2] = {};
  u32 m_frameUsed = 0;
  i64 m_decodedFrame = -1;  // the frame whose samples m_framePcm holds; the filters follow it
  bool m_resumeValid = false;
  u64 m_resumeSample = 0;  // the sample a continuing call starts at
  u32 m_frameCorrupt = 0;
  bool m_frameFresh = false;  // the current frame was read but not decoded (sequential streams)
  u64 m_nextOffset = 0;       // where the current frame's data ends
  // The subband objects of one frame live here.
  alignas(16) u8 m_subbandArena[32][256];
  u8 m_pushback[10] = {};  // bytes read while looking for a tag on a stream that cannot seek
  u32 m_pushbackCount = 0;
  u64 m_searched = 0;      // bytes skipped looking for the first frame in this open
};

}  // namespace SLInternals
