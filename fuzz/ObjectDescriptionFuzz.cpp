// The input as "info.txt" of an object pack that holds frames of two sizes ("puerta" 01-04,
// "luz" 01) and a WAV: one whole object record or nothing behind, with an error code.
#include <cstdint>
#include <string>

#include "fuzz/CatalogFuzz.h"

namespace {

const SLFuzzPackFiles& ObjectFiles() {
  static const SLFuzzPackFiles files = [] {
    SLFuzzPackFiles out;
    for (int k = 1; k <= 4; ++k) out.emplace_back("puerta_0" + std::to_string(k) + ".mximg", SLFuzzFramePicture(9, 7, u8(40 * k)));
    out.emplace_back("luz_01.mximg", SLFuzzFramePicture(4, 5, 200));
    out.emplace_back("s.wav", SLFuzzWaveSound());
    return out;
  }();
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return SLFuzzDescriptionInPack(ObjectFiles(), data, size, SLFuzzLoadObjectAndCheck);
}
