// The input as a whole item pack, loaded as a background, as an object and as a character:
// each load leaves one record or nothing behind.
#include <cstdint>
#include <string>

#include "fuzz/CatalogFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLFuzzCatalogDevicesWithSound();
  std::string error;
  if (!slpack::WriteFile(SLFuzzPackPath(), std::vector<uint8_t>(data, data + size), &error)) std::abort();
  SLFuzzLoadAndCheck();
  SLFuzzLoadObjectAndCheck();
  SLFuzzLoadCharacterAndCheck();
  return 0;
}
