// Layout expressions of a skin: two or four texts from the input parsed as an info value
// and evaluated over a width and height from the input. No crash; a failure zeroes
// every output and a success gives values inside 32 bits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/FoundationClasses.h"
#include "fuzz/FuzzProgram.h"
#include "gui/SLGuiManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9 || size > 4096) return 0;
  static CSL_GS_GuiManager* manager = [] {
    auto* m = new CSL_GS_GuiManager();
    m->Init();
    return m;
  }();
  i32 width, height;
  std::memcpy(&width, data + 1, 4);
  std::memcpy(&height, data + 5, 4);
  const std::string value(reinterpret_cast<const char*>(data + 9), size - 9);
  const u32 count = (data[0] & 1) ? 4 : 2;
  char texts[kSLGuiSkinValueMax];
  u32 offsets[4];
  if (!SLGuiSkinParseInfo(value.c_str(), count, texts, offsets)) return 0;
  SLGuiSkinInfo info{count, nullptr, {}};
  for (u32 i = 0; i < count; ++i) info.expressions[i] = texts + offsets[i];
  i32 out[4] = {1, 1, 1, 1};
  if (!manager->EvaluateSkinInfo(&info, width, height, out))
    for (u32 i = 0; i < count; ++i) SLFuzzCheck(out[i] == 0);
  return 0;
}
