// Bitmap font files loaded over a memory storage on the in-memory device. The first
// input byte chooses whether the pages follow as zeros (so that the fuzzer spends its
// bytes on the header, glyph and kerning tables) or come from the input itself. A font
// that loads must measure within its glyphs and leave nothing behind when destroyed.
#include <cstdint>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/GameSystemClasses.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterGameSystemClasses(), true);
  (void)registered;
  if (size < 2) return 0;
  std::vector<uint8_t> bytes(data + 1, data + size);
  if (data[0] & 1) {
    const u32 pages = bytes.size() >= 23 ? SLLoadLE32(&bytes[19]) : 0;
    bytes.resize(bytes.size() + size_t(pages < 3 ? pages : 3) * 256 * 256 * 4);
  }
  static CMemoryGfxDevice* device = [] {
    auto* made = new CMemoryGfxDevice();
    made->Init(nullptr, nullptr, nullptr);
    return made;
  }();
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(bytes.data(), u32(bytes.size()), false);
  SL_GS_Font* font = device->LoadFontFromStorage(storage);
  storage->Release();
  if (!font) {
    SLFuzzCheck(SLGetLastError() != 0 && device->m_liveFontTextures == 0 && device->m_liveImageTextures.empty());
    return 0;
  }
  SL_GS_FontRecord* record = device->Record(font);
  SLFuzzCheck(record->glyphCount > 0 && device->GetFontHeight(font) == record->glyphs[0].bottom - record->glyphs[0].top);
  std::vector<SLWChar> text;
  for (size_t i = 0; i < size && i < 64; ++i) text.push_back(SLWChar(record->glyphs[data[size - 1 - i] % record->glyphCount].code));
  i64 bound = 0;
  for (SLWChar c : text) bound += device->FindGlyph(font, c)->right - device->FindGlyph(font, c)->left + 2;
  const i32 width = device->GetTextWidth(font, text.data(), u32(text.size()));
  SLFuzzCheck(width >= 0 && (record->kerningCount > 0 || width <= bound));
  SLFuzzCheck(device->DestroyFont(font) && device->m_liveFontTextures == 0 && device->m_liveImageTextures.empty());
  return 0;
}
