// Each kind of skin value parsed from arbitrary text against two fixed images: no crash,
// and whatever parses satisfies what drawing relies on (a source rectangle inside its
// image, insets that are not negative, an outline of 1 to 16 pixels, non-empty
// expressions that fit their buffer).
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/SLStr.h"
#include "fuzz/FuzzProgram.h"
#include "gui/SLGuiSkin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
  const char* text = value.c_str();  // stops at the first zero byte, as an INI value would
  static const char* const kNames[] = {"IMAGE1", "Other"};
  static const u32 kSizes[] = {256, 256, 3, 5};
  switch (data[0] % 7) {
    case 0: {
      SLGuiSkinElement e;
      if (SLGuiSkinParseElement(text, kNames, kSizes, 2, &e)) {
        const u32* s = kSizes + 2 * e.image;
        SLFuzzCheck(e.image < 2 && e.x >= 0 && e.y >= 0 && e.width >= 1 && e.height >= 1);
        SLFuzzCheck(u64(e.x) + u64(e.width) <= s[0] && u64(e.y) + u64(e.height) <= s[1]);
        SLFuzzCheck(e.left >= 0 && e.top >= 0 && e.right >= 0 && e.bottom >= 0);
        SLFuzzCheck(u64(e.left) + u64(e.right) <= s[0] && u64(e.top) + u64(e.bottom) <= s[1]);
        SLFuzzCheck(e.stretchX <= 1 && e.stretchY <= 1);
      }
      break;
    }
    case 1: {
      SLGuiSkinGlyph g;
      if (SLGuiSkinParseGlyph(text, kNames, kSizes, 2, &g)) {
        const u32* s = kSizes + 2 * g.image;
        SLFuzzCheck(g.width >= 1 && g.height >= 1 && g.x >= 0 && g.y >= 0);
        SLFuzzCheck(u64(g.x) + u64(g.width) <= s[0] && u64(g.y) + u64(g.height) <= s[1]);
      }
      break;
    }
    case 2: {
      SLGuiSkinColor c;
      if (SLGuiSkinParseColor(text, &c)) {
        SLFuzzCheck(c.color >> 24 == 255);
        SLFuzzCheck(c.borderSize == 0 || (c.borderSize >= 1 && c.borderSize <= 16));
        SLFuzzCheck(c.shadowOffsetX >= -999999 && c.shadowOffsetX <= 999999);
        SLFuzzCheck(c.shadowOffsetY >= -999999 && c.shadowOffsetY <= 999999);
      }
      break;
    }
    case 3:
    case 4: {
      const u32 count = data[0] % 7 == 3 ? 4 : 2;
      char texts[kSLGuiSkinValueMax];
      u32 offsets[4];
      if (SLGuiSkinParseInfo(text, count, texts, offsets)) {
        for (u32 i = 0; i < count; ++i) {
          SLFuzzCheck(offsets[i] < kSLGuiSkinValueMax);
          SLFuzzCheck(SLStrLenA(texts + offsets[i]) > 0);
        }
      }
      break;
    }
    case 5: {
      i32 numbers[4];
      SLGuiSkinParseTuple(text, numbers, 1 + data[0] / 7 % 4);
      break;
    }
    default: {
      u32 x, y;
      if (SLGuiSkinParseWords(text, &x, &y)) SLFuzzCheck(x <= 1 && y <= 1);
      char token[kSLGuiSkinValueMax];
      const u32 count = SLGuiSkinCountTokens(text);
      SLGuiSkinGetToken(text, 1 + data[0] / 7 % (count + 1), token);
      SLFuzzCheck(SLStrLenA(token) < kSLGuiSkinValueMax);
      break;
    }
  }
  return 0;
}
