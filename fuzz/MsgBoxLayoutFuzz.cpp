// The message box's line breaking on random texts (control characters, long words, blank
// lines) and fonts of random widths, some wider than the limit: it ends, every character
// other than a dropped blank lands on exactly one line, and no line is wider than the
// limit unless it holds a single character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/dialogs/MsgBoxLayout.h"

namespace {

struct Font {
  int32_t widths[256];
};

int32_t Measure(void* context, const char* text, u32 length) {
  const Font* font = static_cast<const Font*>(context);
  int64_t total = 0;
  for (u32 i = 0; i < length; ++i) total += font->widths[uint8_t(text[i])];
  return total > INT32_MAX ? INT32_MAX : int32_t(total);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Header: limit (one byte, 1..256), then a seed for the widths.
  const int32_t limit = 1 + data[0];
  Font font;
  uint32_t seed = data[1] | (uint32_t(data[2]) << 8) | (uint32_t(data[3]) << 16);
  for (int32_t& width : font.widths) {
    seed = seed * 1103515245u + 12345u;
    width = int32_t((seed >> 16) % 300);  // up to past the limit
  }
  const char* text = reinterpret_cast<const char*>(data + 4);
  const u32 length = u32(size - 4);
  TSLArray<MsgBoxLine> lines;
  if (!MsgBox_BreakLines(text, length, limit, MsgBoxMeasure{&Measure, &font}, &lines)) return 0;

  // Each text position may belong to one line at most; lines run forward.
  u32 previousEnd = 0;
  for (const MsgBoxLine& line : lines) {
    if (line.start < previousEnd || line.start + line.length > length) std::abort();
    previousEnd = line.start + line.length;
    if (line.length > 1 && Measure(&font, text + line.start, line.length) > limit) std::abort();
  }
  // Every character that is not a blank or a line feed lies on a line.
  u32 next = 0;
  for (u32 i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') continue;
    while (next < lines.GetCount() && lines[next].start + lines[next].length <= i) ++next;
    if (next >= lines.GetCount() || lines[next].start > i) std::abort();
  }
  return 0;
}
