// The input as "info.txt" of a character pack with frames in several directions ("quieto"
// front and right, "camina" in the three back directions and left) and a WAV: one whole
// character record or nothing behind, with an error code.
#include <cstdint>
#include <string>

#include "fuzz/CatalogFuzz.h"

namespace {

const SLFuzzPackFiles& CharacterFiles() {
  static const SLFuzzPackFiles files = [] {
    SLFuzzPackFiles out;
    for (const char* dir : {"adelante", "derecha"})
      for (int k = 1; k <= 2; ++k)
        out.emplace_back("quieto/" + std::string(dir) + "_0" + std::to_string(k) + ".mximg", SLFuzzFramePicture(6, 9, u8(60 * k)));
    for (const char* dir : {"atras", "atras_izquierda", "atras_derecha", "izquierda"})
      for (int k = 1; k <= 3; ++k)
        out.emplace_back("camina/" + std::string(dir) + "_0" + std::to_string(k) + ".mximg", SLFuzzFramePicture(5, 5, u8(30 * k)));
    out.emplace_back("s.wav", SLFuzzWaveSound());
    return out;
  }();
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return SLFuzzDescriptionInPack(CharacterFiles(), data, size, SLFuzzLoadCharacterAndCheck);
}
