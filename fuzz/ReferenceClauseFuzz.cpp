// The input as a "Necesita_Referencia" value: the kind and its attributes parse into a
// reference or fail with the description's code or the number converter's.
#include <cstdint>
#include <string>

#include "adventure/catalog/CharacterCatalog.h"
#include "fuzz/CatalogFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ActionReference reference;
  reference.kind = reference.approach = reference.exitFlag = 0;
  for (u32 d = 0; d < kDirectionCount; ++d) reference.dx[d] = reference.dy[d] = 0;
  if (ActionReference_Parse(text.c_str(), &reference)) {
    SLFuzzCheck(reference.kind >= 1 && reference.kind <= 4);
    SLFuzzCheck(reference.approach <= 1);
  } else {
    const u32 code = SLGetLastError();
    SLFuzzCheck(code == 0x80020016 || code == 0x80060008 || code == 0x80002004 || code == 0x80002005);
  }
  return 0;
}
