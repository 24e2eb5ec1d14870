#include "tools/contentgen/Speech.h"

#include <cstring>

#include "foundation/SLByteOrder.h"

namespace contentgen {

bool ReadWave(const std::string& bytes, std::vector<int16_t>* samples, uint32_t* rate, uint32_t* channels) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) return false;
  bool format = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = SLLoadLE32(b + at + 4);
    const size_t body = at + 8;
    if (size > bytes.size() - body) return false;
    if (std::memcmp(b + at, "fmt ", 4) == 0 && size >= 16) {
      if (SLLoadLE16(b + body) != 1 || SLLoadLE16(b + body + 14) != 16) return false;
      *channels = SLLoadLE16(b + body + 2);
      *rate = SLLoadLE32(b + body + 4);
      format = true;
    } else if (std::memcmp(b + at, "data", 4) == 0 && format) {
      samples->resize(size / 2);
      for (size_t i = 0; i < samples->size(); ++i) (*samples)[i] = int16_t(SLLoadLE16(b + body + 2 * i));
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

bool Speak(Context& context, const Voice& voice, const std::string& text, std::vector<int16_t>* samples,
           std::string* error) {
  const std::filesystem::path out = Scratch(context, "voz.wav");
  std::string bytes;
  uint32_t rate = 0, channels = 0;
  if (!RunDriver(context, {"speak", voice.name, std::to_string(voice.speed), std::to_string(voice.pitch), text, out.string()},
                 error))
    return false;
  if (!ReadBytes(out, &bytes) || !ReadWave(bytes, samples, &rate, &channels) || rate != 22050 || channels != 1) {
    *error = "espeak-ng gave no 22,050 Hz mono sound for \"" + text + "\"";
    return false;
  }
  return true;
}

}  // namespace contentgen
