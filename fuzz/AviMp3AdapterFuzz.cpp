// Seek and read sequences on the MPEG decoder's view of an AVI audio stream, against a
// model: the stream's chunk payloads laid end to end, positions from the start or the
// current one stopping at 0 and at the size, from the end going past it when positive.
// The input first picks the chunk sizes of a small AVI file built here, then the steps.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzProgram.h"
#include "media/avi/AviStreamDecoder.h"
#include "storage/SLMemoryStorage.h"

namespace {

void Put32(std::string& out, u32 value) {
  for (int i = 0; i < 4; ++i) out += char(value >> (8 * i));
}

std::string Chunk(const char* id, const std::string& payload) {
  std::string out(id, 4);
  Put32(out, u32(payload.size()));
  out += payload;
  if (payload.size() & 1) out += '\0';
  return out;
}

// One MPEG audio stream whose chunks hold `payloads`, indexed by "idx1".
std::string BuildAvi(const std::vector<std::string>& payloads) {
  std::string header(56, '\0'), format(18, '\0');
  header.replace(0, 4, "auds");
  header[20] = 1;                       // scale 1
  header.replace(24, 3, "\x00\x7D\x00");  // rate 32000
  format[0] = 0x50, format[2] = 2, format[5] = 0x7D, format[12] = 1;
  std::string movi = "movi", index;
  for (const std::string& payload : payloads) {
    std::string entry = "00wb";
    Put32(entry, 0x10);
    Put32(entry, u32(movi.size()));
    Put32(entry, u32(payload.size()));
    index += entry;
    movi += Chunk("00wb", payload);
  }
  const std::string strl = "strl" + Chunk("strh", header) + Chunk("strf", format);
  const std::string body = "AVI " + Chunk("LIST", "hdrl" + Chunk("avih", std::string(56, '\0')) + Chunk("LIST", strl)) +
                           Chunk("LIST", movi) + Chunk("idx1", index);
  return Chunk("RIFF", body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLFuzzProgram in{data, size};
  std::vector<std::string> payloads(1 + in.Take() % 6);
  std::string model;
  for (size_t c = 0; c < payloads.size(); ++c) {
    payloads[c].resize(1 + in.Take() * 3);
    for (size_t i = 0; i < payloads[c].size(); ++i) payloads[c][i] = char(i * 7 + c * 31);
    model += payloads[c];
  }
  std::string file = BuildAvi(payloads);
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(file.data(), u32(file.size()), false);
  AviParser parser;
  const bool opened = parser.Open(storage, 0);
  SLFuzzCheck(opened && parser.GetStreamCount() == 1);
  AviStreamDecoder record = {};
  record.info = parser.GetStream(0);
  record.stream = 0;
  auto* adapter = new SLInternals::CSL_VideoAvi_Mp3DecoderStg();
  adapter->Attach(&record, storage);
  const u64 total = model.size();
  u64 streamSize = 0, position = 0, expected = 0;
  SLFuzzCheck(adapter->GetSize(&streamSize) && streamSize == total);
  std::vector<char> buffer(1024);
  while (in.at < in.size) {
    const unsigned op = in.Take() % 5;
    const i64 offset = i64(i16(in.Take() | in.Take() << 8)) * 3;
    if (op < 4) {
      SLFuzzCheck(adapter->Seek(offset, op));
      if (op == 0) expected = u64(offset) < total ? u64(offset) : total;
      if (op == 1) expected = offset < 0 ? (u64(-offset) > expected ? 0 : expected - u64(-offset))
                                        : (expected + u64(offset) > total ? total : expected + u64(offset));
      if (op == 2) expected = offset < 0 ? (u64(-offset) > total ? 0 : total - u64(-offset)) : total + u64(offset);
    } else {
      const u64 count = u64(offset < 0 ? -offset : offset) % buffer.size();
      const u64 got = adapter->Read(buffer.data(), count);
      const u64 available = expected < total ? total - expected : 0;
      SLFuzzCheck(got == (count < available ? count : available));
      SLFuzzCheck(model.compare(expected < total ? expected : total, got, buffer.data(), got) == 0);
      expected += got;
    }
    SLFuzzCheck(adapter->GetPosition(&position) && position == expected);
    SLFuzzCheck(adapter->IsEOF() == (expected >= total));
  }
  adapter->Release();
  parser.Reset();
  storage->Release();
  return 0;
}
