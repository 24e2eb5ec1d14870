// Balloon layout over fuzzed fonts and texts: glyph widths 1-15 and heights 1-20 for
// every printable character, a few kerning pairs, wrapping widths 0-2000 and styles
// 0-25, text with spaces, line feeds, controls and "%". Layout must end, the line ends
// must be those of measuring every word prefix by prefix, running forward to the end of
// the text, and the box must follow the lines; the
// balloon is then drawn, frame and text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "fuzz/FuzzProgram.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"

namespace {

void Put16(std::string* out, unsigned value) { out->push_back(char(value)), out->push_back(char(value >> 8)); }
void Put32(std::string* out, unsigned value) { Put16(out, value & 0xFFFF), Put16(out, value >> 16); }

// A font file of glyphs 32..126 laid out 16 to a row of the one page.
std::string FontFile(SLFuzzProgram& program) {
  std::string file = "Font File.\x1a";
  Put16(&file, 2);
  Put16(&file, 95);
  Put32(&file, 0xFF00FF);
  Put32(&file, 1);
  for (unsigned code = 32; code < 127; ++code) {
    const unsigned i = code - 32, x = i % 16 * 16, y = i / 16 * 20;
    const unsigned width = 1 + program.Take() % 15, height = 1 + program.Take() % 20;
    for (unsigned v : {code, x, y, x + width, y + height, 0u}) Put16(&file, v);
  }
  const unsigned pairs = program.Take() % 4;
  Put16(&file, pairs);
  for (unsigned p = 0; p < pairs; ++p) {
    Put16(&file, 32 + program.Take() % 95);
    Put16(&file, 32 + program.Take() % 95);
    Put16(&file, unsigned(int(program.Take() % 17) - 8) & 0xFFFF);
  }
  file.append(256 * 256 * 4, '\xFF');
  return file;
}

// The line ends the filling rule gives when every word is measured prefix by prefix: the
// oracle of the layout's one-measure shortcut.
std::vector<u32> ReferenceLines(CSL_GS_BaseGfx* gfx, SL_GS_Font* font, const std::string& text, u32 width) {
  std::u16string wide;
  for (unsigned char c : text) wide.push_back(c);
  auto measure = [&](u32 at, u32 n) {
    const i32 w = gfx->GetTextWidth(font, wide.data() + at, n);
    return w > 0 ? u64(w) : 0;
  };
  const u64 limit = u32(width - 50);
  const u64 spaceWidth = [&] {
    const SLWChar blank = u' ';
    const i32 w = gfx->GetTextWidth(font, &blank, 1);
    return w > 0 ? u64(w) : 0;
  }();
  std::vector<u32> lines;
  u64 line = 0, pending = 0;
  const u32 length = u32(text.size());
  for (u32 i = 0; i < length;) {
    const unsigned char c = text[i];
    if (c == ' ') {
      pending += spaceWidth, ++i;
    } else if (c == '\n') {
      if (i + 1 == length) break;
      lines.push_back(++i), line = pending = 0;
    } else if (c < 33) {
      ++i;
    } else {
      u32 end = i;
      while (end < length && (unsigned char)text[end] > 32) ++end;
      const u64 before = line + pending;
      if (before > 0 && before >= limit) {
        lines.push_back(i), line = pending = 0;
        continue;
      }
      u64 word = 0;
      for (u32 n = 1; n <= end - i; ++n) {
        word = measure(i, n);
        if (before > 0 && before + word > limit) break;
      }
      if (before == 0 || before + word <= limit) {
        line = before + word, pending = 0, i = end;
      } else {
        lines.push_back(i), line = pending = 0;
      }
    }
  }
  lines.push_back(length);
  return lines;
}

struct Devices {
  Devices() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    CSLImage image;
    image.Create(5, 128, 128, false);
    std::memset(image.GetPixelAddress(0, 0), 0x80, 128 * 128 * 4);
    Balloon_SetPicture(gfx.CreateImage(&image, true));
  }
  CMemoryGfxDevice gfx;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Devices devices;
  SLFuzzProgram program{data, size};
  const std::string fontFile = FontFile(program);
  CSLMemoryStorage storage;
  storage.Write(fontFile.data(), u32(fontFile.size()));
  storage.Seek(0, SL_SEEK_BEGIN);
  SL_GS_Font* font = devices.gfx.LoadFontFromStorage(&storage);
  SLFuzzCheck(font != nullptr);
  Balloon balloon;
  Balloon_Construct(&balloon);
  balloon.font = font;
  balloon.width = (program.Take() | program.Take() << 8) % 2001;
  Balloon_SetStyle(&balloon, program.Take() % 26);
  std::string text;
  while (program.at < program.size) {
    const unsigned c = program.Take();
    text.push_back(c < 8 ? " \n%\t\r"[c % 5] : char(c));
  }
  Balloon_SetText(&balloon, text.c_str());
  Balloon_Layout(&balloon);
  const u32 length = u32(std::strlen(text.c_str()));
  if (length) {
    const std::vector<u32> expected = ReferenceLines(&devices.gfx, font, text, balloon.width);
    SLFuzzCheck(expected == std::vector<u32>(balloon.lines.begin(), balloon.lines.end()));
    SLFuzzCheck(balloon.lines.GetCount() >= 1 && balloon.lines[balloon.lines.GetCount() - 1] == length);
    for (u32 i = 1; i < balloon.lines.GetCount(); ++i) SLFuzzCheck(balloon.lines[i - 1] <= balloon.lines[i]);
  }
  const i32 height = i32(devices.gfx.GetFontHeight(font)) * i32(balloon.lines.GetCount());
  const u32 style = balloon.style;
  SLFuzzCheck(style >= 1 && style <= 20);
  SLFuzzCheck(balloon.boxHeight == height + (style <= 16 ? 14 : style <= 18 ? 8 : 4));
  SLFuzzCheck(style > 18 ? balloon.boxWidth >= 6 : balloon.boxWidth >= 31);
  Balloon_Draw(&balloon, 10, 10, 50.0);
  Balloon_Destroy(&balloon);
  devices.gfx.DestroyFont(font);
  return 0;
}
