// Random format records over exactly sized PCM inputs: the conversion reads only its
// frames, writes frames * channels doubles, all in [-1, 1].
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/SLPcmConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  SLAudioFormat format{1, u32(data[0] % 66), u32(data[1] % 70), 8000, 0, u32(data[2]) | u32(data[3] & 3) << 8};
  data += 4;
  size -= 4;
  const u32 frames = format.blockAlign ? u32(size / format.blockAlign) : u32(size % 5);
  const std::vector<uint8_t> in(data, data + size_t(frames) * format.blockAlign);
  std::vector<double> out(size_t(frames) * (format.channels ? format.channels : 1) + 1, 7.0);
  const bool converted = SLConvertPcmToDouble(out.data(), in.empty() ? data : in.data(), frames, &format);
  if (!converted) return 0;
  for (size_t i = 0; i + 1 < out.size(); ++i)
    if (!(out[i] >= -1.0 && out[i] <= 1.0)) std::abort();
  if (out.back() != 7.0) std::abort();
  return 0;
}
