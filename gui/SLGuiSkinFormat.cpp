// The skin vocabulary and the grammar of skin values. Every parser here is exact: a value
// either matches its grammar completely or is refused, since a value cut or read loosely
// could pass as another valid one.
#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

namespace {

constexpr u32 E = SL_GUI_SKIN_ELEMENT, G = SL_GUI_SKIN_GLYPH, C = SL_GUI_SKIN_COLOR, F = SL_GUI_SKIN_FONT,
              I4 = SL_GUI_SKIN_INFO4, I2 = SL_GUI_SKIN_INFO2;

constexpr SLGuiSkinKey kDesktop[] = {{"IconFont", F}, {"NormalCaptionColor", C}, {"DisabledCaptionColor", C}};
constexpr SLGuiSkinKey kCaptionFrame[] = {{"Top", E},    {"Bottom", E}, {"Left", E}, {"Right", E},
                                          {"NormalCaptionColor", C}, {"DisabledCaptionColor", C}};
constexpr SLGuiSkinKey kCaptionCommon[] = {
    {"Font", F},
    {"ClientBackground", E},
    {"MinButtonNormal", G},
    {"MinButtonOver", G},
    {"MinButtonClick", G},
    {"MaxButtonNormal", G},
    {"MaxButtonOver", G},
    {"MaxButtonClick", G},
    {"RestoreButtonNormal", G},
    {"RestoreButtonOver", G},
    {"RestoreButtonClick", G},
    {"CloseButtonNormal", G},
    {"CloseButtonOver", G},
    {"CloseButtonClick", G},
    {"CaptionInfo", I4},
    {"CloseButtonInfo", I2},
    {"MaxRestoreButtonInfo", I2},
    {"MinButtonInfo", I2},
    {"BorderSizeOverride", I4},
    {"MinWindowSizeOverride", I2},
};
constexpr SLGuiSkinKey kPlainFrame[] = {{"Top", E}, {"Bottom", E}, {"Left", E}, {"Right", E}};
constexpr SLGuiSkinKey kPlainCommon[] = {{"ClientBackground", E}, {"BorderSizeOverride", I4},
                                         {"MinWindowSizeOverride", I2}};
constexpr SLGuiSkinKey kPushButton[] = {
    {"Font", F},
    {"Normal", E},
    {"NormalBackgroundOverride", E},
    {"Over", E},
    {"OverBackgroundOverride", E},
    {"Click", E},
    {"ClickBackgroundOverride", E},
    {"Disabled", E},
    {"DisabledBackgroundOverride", E},
    {"Focused", E},
    {"FocusedBackgroundOverride", E},
    {"NormalColor", C},
    {"OverColor", C},
    {"ClickColor", C},
    {"DisabledColor", C},
    {"FocusedColor", C},
};
constexpr SLGuiSkinKey kCheck[] = {
    {"Font", F},          {"NormalChecked", G},   {"OverChecked", G},   {"ClickChecked", G},
    {"DisabledChecked", G}, {"NormalUnchecked", G}, {"OverUnchecked", G}, {"ClickUnchecked", G},
    {"DisabledUnchecked", G}, {"NormalColor", C},   {"OverColor", C},     {"ClickColor", C},
    {"DisabledColor", C},
};
constexpr SLGuiSkinKey kEditBox[] = {{"Font", F},        {"Normal", E},    {"NormalBackgroundOverride", E},
                                     {"SelectedArea", E}, {"NormalColor", C}, {"OverColor", C},
                                     {"DisabledColor", C}, {"SelectedColor", C}};
constexpr SLGuiSkinKey kLabel[] = {
    {"Font", F}, {"Normal", E}, {"NormalBackgroundOverride", E}, {"NormalColor", C}, {"DisabledColor", C}};
constexpr SLGuiSkinKey kGroupBox[] = {{"Font", F}, {"Border", E}, {"NormalColor", C}, {"DisabledColor", C}};
constexpr SLGuiSkinKey kFrame[] = {{"Rectangle", E}, {"Horizontal", E}, {"Vertical", E}};
constexpr SLGuiSkinKey kGrid[] = {
    {"Font", F},
    {"HeaderFont", F},
    {"Normal", E},
    {"NormalBackgroundOverride", E},
    {"SelectedArea", E},
    {"NormalColor", C},
    {"OverColor", C},
    {"SelectedColor", C},
    {"DisabledColor", C},
    {"HorizontalSeparator", E},
    {"VerticalSeparator", E},
    {"NormalButton", E},
    {"NormalButtonBackgroundOverride", E},
    {"OverButton", E},
    {"OverButtonBackgroundOverride", E},
    {"ClickButton", E},
    {"ClickButtonBackgroundOverride", E},
    {"DisabledButton", E},
    {"DisabledButtonBackgroundOverride", E},
    {"NormalButtonColor", C},
    {"OverButtonColor", C},
    {"ClickButtonColor", C},
    {"DisabledButtonColor", C},
};
constexpr SLGuiSkinKey kMenu[] = {
    {"Font", F},
    {"Normal", E},
    {"NormalBackgroundOverride", E},
    {"SelectedArea", E},
    {"HorizontalSeparator", E},
    {"VerticalSeparator", E},
    {"NormalCheckMarkGlyph", G},
    {"SelectedCheckMarkGlyph", G},
    {"DisabledCheckMarkGlyph", G},
    {"NormalCheckedRadioMarkGlyph", G},
    {"SelectedCheckedRadioMarkGlyph", G},
    {"DisabledCheckedRadioMarkGlyph", G},
    {"NormalUncheckedRadioMarkGlyph", G},
    {"SelectedUncheckedRadioMarkGlyph", G},
    {"DisabledUncheckedRadioMarkGlyph", G},
    {"NormalSubmenuGlyph", G},
    {"SelectedSubmenuGlyph", G},
    {"DisabledSubmenuGlyph", G},
    {"NormalMoreMenuUpGlyph", G},
    {"SelectedMoreMenuUpGlyph", G},
    {"DisabledMoreMenuUpGlyph", G},
    {"NormalMoreMenuDownGlyph", G},
    {"SelectedMoreMenuDownGlyph", G},
    {"DisabledMoreMenuDownGlyph", G},
    {"NormalColor", C},
    {"SelectedColor", C},
    {"DisabledColor", C},
};
constexpr SLGuiSkinKey kMenuBar[] = {{"Font", F},
                                     {"Normal", E},
                                     {"NormalBackgroundOverride", E},
                                     {"Disabled", E},
                                     {"DisabledBackgroundOverride", E},
                                     {"SelectedArea", E},
                                     {"NormalColor", C},
                                     {"SelectedColor", C},
                                     {"DisabledColor", C}};
constexpr SLGuiSkinKey kGrowbox[] = {{"Normal", E}, {"LeftGlyph", G}, {"RightGlyph", G}};
#define SL_SCROLLBAR_KEYS(First, Second)                                                                          \
  {"NormalButton", E}, {"NormalButtonBackgroundOverride", E}, {"OverButton", E},                                  \
      {"OverButtonBackgroundOverride", E}, {"ClickButton", E}, {"ClickButtonBackgroundOverride", E},              \
      {"DisabledButton", E}, {"DisabledButtonBackgroundOverride", E}, {"TrackArea", E}, {"NormalThumb", E},       \
      {"NormalThumbBackgroundOverride", E}, {"OverThumb", E}, {"OverThumbBackgroundOverride", E},                 \
      {"ClickThumb", E}, {"ClickThumbBackgroundOverride", E}, {"DisabledThumb", E},                               \
      {"DisabledThumbBackgroundOverride", E}, {"Normal" First "ArrowGlyph", G}, {"Over" First "ArrowGlyph", G},   \
      {"Click" First "ArrowGlyph", G}, {"Disabled" First "ArrowGlyph", G}, {"Normal" Second "ArrowGlyph", G},     \
      {"Over" Second "ArrowGlyph", G}, {"Click" Second "ArrowGlyph", G}, {"Disabled" Second "ArrowGlyph", G},     \
      {"NormalThumbGlyph", G}, {"OverThumbGlyph", G}, {"ClickThumbGlyph", G}, {"DisabledThumbGlyph", G}
constexpr SLGuiSkinKey kHScroll[] = {SL_SCROLLBAR_KEYS("Left", "Right")};
constexpr SLGuiSkinKey kVScroll[] = {SL_SCROLLBAR_KEYS("Up", "Down")};
#undef SL_SCROLLBAR_KEYS
constexpr SLGuiSkinKey kCaret[] = {{"Normal", E}};
constexpr SLGuiSkinKey kSlider[] = {
    {"NormalGlyph", G}, {"OverGlyph", G}, {"ClickGlyph", G}, {"DisabledGlyph", G}, {"Slider", E}};

#define SL_SECTION(name, keys) {name, keys, u32(sizeof(keys) / sizeof(keys[0]))}
constexpr SLGuiSkinSection kVocabulary[] = {
    SL_SECTION("Desktop", kDesktop),
    SL_SECTION("WindowWithCaption_Active", kCaptionFrame),
    SL_SECTION("WindowWithCaption_Inactive", kCaptionFrame),
    SL_SECTION("WindowWithCaption_Common", kCaptionCommon),
    SL_SECTION("WindowWithoutCaption_Active", kPlainFrame),
    SL_SECTION("WindowWithoutCaption_Inactive", kPlainFrame),
    SL_SECTION("WindowWithoutCaption_Common", kPlainCommon),
    SL_SECTION("PushButton", kPushButton),
    SL_SECTION("CheckBox", kCheck),
    SL_SECTION("RadioButton", kCheck),
    SL_SECTION("EditBox", kEditBox),
    SL_SECTION("Label", kLabel),
    SL_SECTION("GroupBox", kGroupBox),
    SL_SECTION("Frame", kFrame),
    SL_SECTION("Grid", kGrid),
    SL_SECTION("Menu", kMenu),
    SL_SECTION("MenuBar", kMenuBar),
    SL_SECTION("Scrollbar_Growbox", kGrowbox),
    SL_SECTION("Scrollbar_Horizontal", kHScroll),
    SL_SECTION("Scrollbar_Vertical", kVScroll),
    SL_SECTION("Caret_Cursor", kCaret),
    SL_SECTION("Slider_Horizontal", kSlider),
    SL_SECTION("Slider_Vertical", kSlider),
};
#undef SL_SECTION

constexpr const char* kSeparators = ";";
constexpr const char* kQuotes = "\"'";
// Dropped wherever they stand; blanks are only trimmed at the ends.
constexpr const char* kDropped = "\t\r\n";

bool IsBlank(char ch) { return ch == ' '; }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

bool Fail() { return SLFail(SL_E_MALFORMED, false); }

// Finds an image key case-insensitively, the first match in file order.
i32 FindName(const char* name, const char* const* names, u32 count) {
  for (u32 i = 0; i < count; ++i)
    if (SLStrICmpA(name, names[i]) == 0) return i32(i);
  return -1;
}

// Checks a source rectangle against its image, in 64 bits so that no sum can wrap.
bool RectInImage(const i32* r, const u32* size) {
  const i64 width = size[0], height = size[1];
  return r[0] >= 0 && r[1] >= 0 && r[2] >= 1 && r[3] >= 1 && r[0] < width && r[1] < height &&
         i64(r[0]) + r[2] <= width && i64(r[1]) + r[3] <= height;
}

// The image key and source rectangle shared by elements and glyphs.
bool ParseImageRect(const char* value, const char* const* imageNames, const u32* imageSizes, u32 imageCount,
                    u32* image, i32* rect, char* token) {
  SLGuiSkinGetToken(value, 1, token);
  if (!token[0]) return Fail();
  const i32 index = FindName(token, imageNames, imageCount);
  if (index < 0) return Fail();
  SLGuiSkinGetToken(value, 2, token);
  if (!SLGuiSkinParseTuple(token, rect, 4) || !RectInImage(rect, imageSizes + 2 * index)) return Fail();
  *image = u32(index);
  return true;
}

bool InByteRange(const i32* numbers, u32 count) {
  for (u32 i = 0; i < count; ++i)
    if (numbers[i] < 0 || numbers[i] > 255) return false;
  return true;
}
u32 ColorWord(const i32* rgb, u32 alpha) { return u32(rgb[0]) | u32(rgb[1]) << 8 | u32(rgb[2]) << 16 | alpha << 24; }

// Whether `token` starts with `prefix` (case-insensitive); `rest` receives what follows.
bool HasPrefix(const char* token, const char* prefix, const char** rest) {
  const u32 length = u32(SLStrLenA(prefix));
  if (SLStrNICmpA(token, prefix, length) != 0) return false;
  *rest = token + length;
  return true;
}

}  // namespace

const SLGuiSkinSection* SLGuiSkinVocabulary(u32* count) {
  if (count) *count = u32(sizeof(kVocabulary) / sizeof(kVocabulary[0]));
  return kVocabulary;
}

void SLGuiSkinGetToken(const char* value, u32 index, char* out) {
  out[0] = 0;
  if (!SLGetTokenA(out, kSLGuiSkinValueMax, value, index, kSeparators, kQuotes, kDropped, false)) return;
  char* start = out;
  while (IsBlank(*start)) ++start;
  u32 length = u32(SLStrLenA(start));
  while (length && IsBlank(start[length - 1])) --length;
  SLMemMove(out, start, length);
  out[length] = 0;
}

u32 SLGuiSkinCountTokens(const char* value) {
  u32 count = 1;
  bool quoted = false;
  for (const char* p = value; *p; ++p) {
    if (quoted) {
      quoted = *p != '"' && *p != '\'';
    } else if (*p == ';') {
      ++count;
    } else if (*p == '"' || *p == '\'') {
      quoted = true;
    }
  }
  return count;
}

// Optional blanks, "(", numbers separated by "," (blanks before each number and after
// its minus sign), optional blanks, ")", optional blanks to the end. A number without
// digits reads as 0; one outside i32 is refused rather than wrapped.
bool SLGuiSkinParseTuple(const char* token, i32* out, u32 count) {
  if (!token || count == 0) return Fail();
  const char* p = SkipBlanks(token);
  if (*p++ != '(') return Fail();
  for (u32 i = 0; i < count; ++i) {
    if (i > 0 && *p++ != ',') return Fail();
    p = SkipBlanks(p);
    bool negative = false;
    if (*p == '-') negative = true, p = SkipBlanks(p + 1);
    i64 magnitude = 0;
    for (; IsDigit(*p); ++p) {
      magnitude = magnitude * 10 + (*p - '0');
      if (magnitude > i64(1) << 31) return Fail();
    }
    const i64 number = negative ? -magnitude : magnitude;
    if (number > 0x7FFFFFFF) return Fail();
    out[i] = i32(number);
  }
  p = SkipBlanks(p);
  if (*p++ != ')') return Fail();
  return *SkipBlanks(p) == 0 ? SLSucceed(true) : Fail();
}

bool SLGuiSkinParseWords(const char* token, u32* stretchX, u32* stretchY) {
  *stretchX = *stretchY = 0;  // an axis that no word names tiles
  char word[kSLGuiSkinValueMax];
  for (const char* p = token; *p;) {
    const char* end = p;
    while (*end && *end != ',') ++end;
    const char* first = SkipBlanks(p);
    const char* last = end;
    while (last > first && IsBlank(last[-1])) --last;
    // Every word this list knows is short, so one that does not fit the buffer with its
    // terminator is refused here rather than trusted to the caller's value limit.
    const u64 length = u64(last - first);
    if (length >= sizeof word) return Fail();
    SLMemCopy(word, first, u32(length));
    word[length] = 0;
    if (SLStrICmpA(word, "StretchX") == 0) *stretchX = 1;
    else if (SLStrICmpA(word, "TileX") == 0) *stretchX = 0;
    else if (SLStrICmpA(word, "StretchY") == 0) *stretchY = 1;
    else if (SLStrICmpA(word, "TileY") == 0) *stretchY = 0;
    else return Fail();
    p = *end ? end + 1 : end;
    if (*end && !*p) return Fail();  // a trailing "," names no word
  }
  return SLSucceed(true);
}

bool SLGuiSkinParseColor(const char* value, SLGuiSkinColor* out) {
  *out = {};
  char token[kSLGuiSkinValueMax];
  i32 numbers[4];
  SLGuiSkinGetToken(value, 1, token);
  if (!SLGuiSkinParseTuple(token, numbers, 3) || !InByteRange(numbers, 3)) return Fail();
  out->color = ColorWord(numbers, 255);
  // Up to 98 decorations follow; the list ends at the first empty token.
  for (u32 index = 2; index <= 99; ++index) {
    SLGuiSkinGetToken(value, index, token);
    if (!token[0]) break;
    const char* rest;
    if (HasPrefix(token, "ShadowColor:", &rest)) {
      if (!SLGuiSkinParseTuple(rest, numbers, 4) || !InByteRange(numbers, 4)) return Fail();
      out->shadowColor = ColorWord(numbers, u32(numbers[3]));
    } else if (HasPrefix(token, "ShadowOffset:", &rest)) {
      if (!SLGuiSkinParseTuple(rest, numbers, 2)) return Fail();
      for (u32 i = 0; i < 2; ++i)
        if (numbers[i] < -999999 || numbers[i] > 999999) return Fail();
      out->shadowOffsetX = numbers[0], out->shadowOffsetY = numbers[1];
    } else if (HasPrefix(token, "BorderColor:", &rest)) {
      if (!SLGuiSkinParseTuple(rest, numbers, 3) || !InByteRange(numbers, 3)) return Fail();
      out->borderColor = ColorWord(numbers, 255);
    } else if (HasPrefix(token, "BorderSize:", &rest)) {
      if (!SLGuiSkinParseTuple(rest, numbers, 1) || numbers[0] < 1 || numbers[0] > 16) return Fail();
      out->borderSize = numbers[0];
    } else {
      return Fail();
    }
  }
  return SLSucceed(true);
}

bool SLGuiSkinParseElement(const char* value, const char* const* imageNames, const u32* imageSizes, u32 imageCount,
                           SLGuiSkinElement* out) {
  *out = {};
  char token[kSLGuiSkinValueMax];
  i32 rect[4];
  if (!ParseImageRect(value, imageNames, imageSizes, imageCount, &out->image, rect, token)) return false;
  out->x = rect[0], out->y = rect[1], out->width = rect[2], out->height = rect[3];
  // The insets are checked against the image, not the element: drawing and hit testing
  // take inner sizes as max(0, ...) so that any inset that passes here stays safe.
  SLGuiSkinGetToken(value, 3, token);
  if (token[0]) {
    i32 insets[4];
    if (!SLGuiSkinParseTuple(token, insets, 4)) return false;
    const u32* size = imageSizes + 2 * out->image;
    if (insets[0] < 0 || insets[1] < 0 || insets[2] < 0 || insets[3] < 0 ||
        i64(insets[0]) + insets[2] > i64(size[0]) || i64(insets[1]) + insets[3] > i64(size[1]))
      return Fail();
    out->left = insets[0], out->top = insets[1], out->right = insets[2], out->bottom = insets[3];
  }
  SLGuiSkinGetToken(value, 4, token);
  if (token[0] && !SLGuiSkinParseWords(token, &out->stretchX, &out->stretchY)) return false;
  return SLSucceed(true);
}

bool SLGuiSkinParseGlyph(const char* value, const char* const* imageNames, const u32* imageSizes, u32 imageCount,
                         SLGuiSkinGlyph* out) {
  *out = {};
  char token[kSLGuiSkinValueMax];
  i32 rect[4];
  if (!ParseImageRect(value, imageNames, imageSizes, imageCount, &out->image, rect, token)) return false;
  out->x = rect[0], out->y = rect[1], out->width = rect[2], out->height = rect[3];
  return SLSucceed(true);
}

bool SLGuiSkinParseInfo(const char* value, u32 count, char* texts, u32* offsets) {
  if (count != 2 && count != 4) return SLFail(SL_E_INVALID_ARG, false);
  const u32 tokens = SLGuiSkinCountTokens(value);
  char token[kSLGuiSkinValueMax];
  // Exactly `count` expressions; a separator left at the very end adds only an empty one.
  if (tokens < count) return Fail();
  for (u32 index = count + 1; index <= tokens; ++index) {
    SLGuiSkinGetToken(value, index, token);
    if (token[0] || index != tokens) return Fail();
  }
  u32 used = 0;
  for (u32 i = 0; i < count; ++i) {
    SLGuiSkinGetToken(value, i + 1, token);
    const u32 length = u32(SLStrLenA(token));
    if (!length || used + length + 1 > kSLGuiSkinValueMax) return Fail();
    offsets[i] = used;
    SLMemCopy(texts + used, token, length + 1);
    used += length + 1;
  }
  return SLSucceed(true);
}

void SLGuiSkinDeflateRect(const SLGuiSkinElement* element, SLGuiRect* rect) {
  if (!element || !rect) return;
  rect->x += element->left;
  rect->y += element->top;
  rect->width -= element->left + element->right;
  rect->height -= element->top + element->bottom;
}
