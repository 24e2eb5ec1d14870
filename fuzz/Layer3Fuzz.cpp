// The layer III decoder on crafted frames: the first two bytes choose a valid header
// (version, sample rate, mode, mode extension, CRC, bit rate), the rest is frame data for
// up to eight frames of that header, so every input reaches the side information,
// reservoir, scale factors and Huffman decoding. The frames are decoded one by one
// straight through the layer III decoder (the MPEG decoder only reads them), then
// through the MPEG decoder's ranges. No crash, no access outside a table or working
// array, never more than a frame's samples per frame, and never more frames than the bytes
// could hold.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzProgram.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegLayer3.h"
#include "media/mpeg/SLMpegSubbands.h"
#include "media/mpeg/SLMpegSynthesis.h"
#include "storage/SLMemoryStorage.h"

namespace {

// Counts the samples of each channel.
class CountingSink : public SLInternals::CMXMP3_Obuffer {
 public:
  u32 counts[2] = {};
  void Append(u32 channel, i16) override { ++counts[channel & 1]; }
  void WriteBuffer(u32) override {}
  void SetStopFlag() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const u32 version = data[0] & 1, rateIndex = (data[0] >> 1) & 3, mode = (data[0] >> 3) & 3;
  const u32 extension = (data[0] >> 5) & 3, protection = data[0] >> 7;
  const u32 bitRate = 1 + data[1] % 14;
  const u32 word = 0xFFF00000u | (version << 19) | (1u << 17) | (protection << 16) | (bitRate << 12) |
                   ((rateIndex % 3) << 10) | (mode << 6) | (extension << 4);
  SLInternals::SLMpegFrameHeader header;
  if (!SLInternals::SLMpegParseHeader(word, &header)) return 0;
  std::string stream;
  size_t at = 2;
  for (int frame = 0; frame < 8 && (frame < 2 || at < size); ++frame) {
    const u8 head[4] = {u8(word >> 24), u8(word >> 16), u8(word >> 8), u8(word)};
    stream.append(reinterpret_cast<const char*>(head), 4);
    for (u32 i = 0; i < header.frameDataSize; ++i) stream.push_back(at < size ? char(data[at++]) : 0);
  }
  CSLMemoryStorage storage;
  storage.Write(stream.data(), stream.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  SLInternals::CMXMP3_DecoderHelper decoder;
  if (!decoder.Open(&storage, 1, 1)) return 0;
  const u32 channels = decoder.GetChannels();
  SLInternals::CMXMP3_SynthesisFilter filter0(0, 32768.0), filter1(1, 32768.0);
  CountingSink sink;
  SLInternals::CMXMP3_LayerIII_Decoder layer3(&decoder, &filter0, &filter1, &sink,
                                              channels == 2 ? SLInternals::SL_MPEG_BOTH : SLInternals::SL_MPEG_LEFT_ONLY);
  const u32 perFrame = decoder.GetSamplesPerFrame();
  for (u32 frame = 0; decoder.MakeFrameCurrent(frame); ++frame) {
    // A false sync inside the data may be a frame of another layer, which the MPEG decoder
    // never hands to the layer III decoder.
    if (decoder.GetHeader().layer != 3) continue;
    sink.counts[0] = sink.counts[1] = 0;
    layer3.Decode();
    SLFuzzCheck(sink.counts[0] <= perFrame && sink.counts[1] <= (channels == 2 ? perFrame : 0));
  }
  if (!decoder.Start()) return 0;
  const i16* samples = nullptr;
  u32 got = 0;
  const u64 total = decoder.GetTotalSamples();
  // A tag may declare any length; the whole of it gives no more frames than the bytes could
  // hold at the shortest legal frame (24 bytes).
  if (decoder.DecodeFrame(0, u32(total), &samples, &got)) SLFuzzCheck(got <= total && got <= (stream.size() / 24 + 1) * perFrame);
  if (total > 2 * perFrame && decoder.DecodeFrame(total / 2, perFrame, &samples, &got)) SLFuzzCheck(got <= perFrame);
  return 0;
}
