// Text layout with a font made from the input (glyph widths and kerning pairs chosen by
// it) over texts with "&", CR, LF, TAB, spaces, path separators, characters without a
// glyph and runs past the 1,024-character line buffer, with any flags, rectangle and tab
// size. Checked: nothing is read or written out of bounds (the sanitizers), the text
// written back with 0x2000 stays inside its length + 4, with the end ellipsis every
// drawn line fits unless it is "..." alone, and the measured size equals the extent of
// the runs drawn.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/GameSystemClasses.h"
#include "gui/SLGuiText.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"

namespace {

struct Run {
  i32 x, y, width;
  std::u16string text;
};

class CRunGfx : public CMemoryGfxDevice {
 public:
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 placement, const SL_GS_DrawImageOptions* options,
                const SLWChar* text, u32 length) override {
    const i32 width = CMemoryGfxDevice::DrawTextW(font, x, y, placement, options, text, length);
    runs.push_back(Run{x, y, width, std::u16string(text, length)});
    return width;
  }
  std::vector<Run> runs;
};

// Characters the font may hold; the text also uses a few it never holds.
const char16_t kAlphabet[] = u" a&.\\/bWi-";
const char16_t kText[] = u" a&.\\/bWi-\r\n\t\u00e9x";

std::vector<u8> FontFile(SLFuzzProgram& in) {
  // Built from the signature rather than inserted into an empty vector: GCC 12 warns
  // falsely (-Wstringop-overflow) on the insert.
  const char signature[] = "Font File.\x1a";
  std::vector<u8> file(signature, signature + 11);
  auto put16 = [&](u32 v) { file.push_back(u8(v)), file.push_back(u8(v >> 8)); };
  const u32 glyphs = 1 + in.Take() % 10;
  put16(2), put16(glyphs);
  for (u32 v : {0xFF00FFu, 1u}) put16(v & 0xFFFF), put16(v >> 16);
  for (u32 g = 0; g < glyphs; ++g) {
    const u32 left = in.Take() % 64, width = 1 + in.Take() % 24;
    put16(kAlphabet[g]), put16(left), put16(0), put16(left + width), put16(1 + g % 3 + 8), put16(0);
  }
  const u32 pairs = in.Take() % 4;
  put16(pairs);
  for (u32 p = 0; p < pairs; ++p)
    put16(kAlphabet[in.Take() % glyphs]), put16(kAlphabet[in.Take() % glyphs]), put16(u32(i32(in.Take() % 17) - 8));
  file.resize(file.size() + 256 * 256 * 4);
  return file;
}

i32 RectValue(unsigned choice, unsigned byte) {
  switch (choice % 4) {
    case 0: return 0;
    case 1: return -i32(byte);
    case 2: return 0x7FFFFF00 + i32(byte);
    default: return i32(byte) * 3;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterGameSystemClasses(), true);
  (void)registered;
  static CRunGfx* device = [] {
    auto* made = new CRunGfx();
    made->Init(nullptr, nullptr, nullptr);
    return made;
  }();
  SLFuzzProgram in{data, size};
  std::vector<u8> fontFile = FontFile(in);
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(fontFile.data(), u32(fontFile.size()), false);
  SL_GS_Font* font = device->LoadFontFromStorage(storage);
  storage->Release();
  if (!font) return 0;

  u32 flags = 0;
  for (int i = 0; i < 4; ++i) flags = flags << 8 | in.Take();
  flags &= 0x3FFFFF;
  const unsigned shape = in.Take();
  SLGuiRect rect{RectValue(shape, in.Take()), RectValue(shape >> 2, in.Take()), RectValue(shape >> 4, in.Take()),
                 RectValue(shape >> 6, in.Take())};
  const u32 tabSize = in.Take() % 65;
  std::u16string text;
  while (in.at < in.size && text.size() < 12000) {
    const unsigned op = in.Take();
    const char16_t c = kText[op % (sizeof kText / sizeof kText[0] - 1)];
    // A high bit repeats the character, past the line buffer at most twice over.
    text.append(op & 0x80 ? (in.Take() * 9) % 2600 + 1 : 1, c);
  }

  // Drawn (never measuring), then measured with the same layout flags.
  const u32 drawFlags = (flags & ~u32(SL_GUI_TEXT_MEASURE)) | SL_GUI_TEXT_NO_CLIP;
  std::vector<SLWChar> buffer(text.begin(), text.end());
  buffer.resize(text.size() + 4 + 16, 0x5A5A);
  buffer[text.size()] = 0;
  device->runs.clear();
  SLGuiRect drawn = rect;
  const bool ok = DrawTextInRectW(device, font, &drawn, drawFlags, nullptr, buffer.data(), u32(text.size()), tabSize);
  SLFuzzCheck(ok || text.empty());
  for (size_t i = text.size() + 4; i < buffer.size(); ++i) SLFuzzCheck(buffer[i] == 0x5A5A);
  if (drawFlags & SL_GUI_TEXT_MODIFY) {
    size_t length = 0;
    while (length < text.size() + 4 && buffer[length]) ++length;
    SLFuzzCheck(length < text.size() + 4);
  }
  std::vector<Run> runs = device->runs;

  const bool tabs = (flags & SL_GUI_TEXT_EXPAND_TABS) != 0;
  const u32 alignment = flags & SL_GUI_TEXT_HALIGN_MASK;
  if ((flags & SL_GUI_TEXT_END_ELLIPSIS) && !tabs)
    for (const Run& run : runs) SLFuzzCheck(run.width <= rect.width || run.text == u"...");

  SLGuiRect measured = rect;
  SLFuzzCheck(DrawTextInRectW(device, font, &measured, (flags | SL_GUI_TEXT_MEASURE) & ~u32(SL_GUI_TEXT_MODIFY), nullptr,
                              text.c_str(),
                              u32(text.size()), tabSize));
  if (alignment != SL_GUI_TEXT_CENTER && alignment != SL_GUI_TEXT_RIGHT) {
    i64 extent = 0;
    for (const Run& run : runs) extent = std::max<i64>(extent, i64(run.x) - rect.x + run.width);
    SLFuzzCheck(tabs ? extent <= measured.width : extent == measured.width || runs.empty());
  }
  SLFuzzCheck(measured.width >= 0 && measured.height >= 0);
  if (!(flags & SL_GUI_TEXT_SINGLE_LINE))
    for (const Run& run : runs) SLFuzzCheck(i64(run.y) - rect.y < measured.height);

  // The 8-bit front end over the same text.
  std::string narrow;
  for (char16_t c : text) narrow += c == u'\u00e9' ? '\xe9' : char(c);
  narrow.resize(narrow.size() + 4 + 16, 'Z');
  narrow[text.size()] = 0;
  SLGuiRect rectA = rect;
  DrawTextInRectA(device, font, &rectA, drawFlags, nullptr, narrow.data(), u32(text.size()), tabSize);
  for (size_t i = text.size() + 4; i < narrow.size(); ++i) SLFuzzCheck(narrow[i] == 'Z');

  device->DestroyFont(font);
  return 0;
}
