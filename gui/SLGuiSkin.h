// Skins: the records a loaded skin is made of, the fixed vocabulary of sections and keys
// the toolkit reads from "layout.inf", and the value grammar of each kind of key.
//
// A skin is an INI text that names images and bitmap fonts and, per widget kind, cuts
// rectangles out of the images (nine-slice elements and plain glyphs), gives text colours
// with an optional outline and shadow, names fonts and carries layout expressions. The
// manager keeps the loaded skins in a list and answers lookups by (skin id, section, key)
// with the value records below; widgets keep pointers to them for as long as the skin
// lives.
#pragma once

#include "foundation/SLTypes.h"

class CSLImageArray;
struct SL_GS_Image;
struct SL_GS_Font;
struct SL_GS_DrawImageOptions;
struct SLGuiSkin;

// The kinds of keys, and so of value records.
enum : u32 {
  SL_GUI_SKIN_ELEMENT = 1,
  SL_GUI_SKIN_GLYPH = 2,
  SL_GUI_SKIN_COLOR = 3,
  SL_GUI_SKIN_FONT = 4,
  SL_GUI_SKIN_INFO4 = 5,
  SL_GUI_SKIN_INFO2 = 6,
};

// A nine-slice piece of an image: the source rectangle, the insets that split it into
// corners, edges and centre, and whether each axis stretches (1) or tiles (0).
struct SLGuiSkinElement {
  u32 image;
  i32 x, y, width, height;
  i32 left, top, right, bottom;
  u32 stretchX, stretchY;
  SLGuiSkin* skin;
};

// A plain rectangle of an image, drawn unscaled.
struct SLGuiSkinGlyph {
  u32 image;
  i32 x, y, width, height;
  SLGuiSkin* skin;
};

// A text colour (0xAABBGGRR, red in the low byte, as the text drawing takes it) with an
// optional outline (alpha 0 when absent) and drop shadow (its own alpha; 0 when absent).
struct SLGuiSkinColor {
  u32 color;
  u32 borderColor;
  i32 borderSize;
  u32 shadowColor;
  i32 shadowOffsetX, shadowOffsetY;
  SLGuiSkin* skin;
};

// A reference to one of the skin's fonts.
struct SLGuiSkinFont {
  u32 font;
  const char* name;
  SLGuiSkin* skin;
};

// Two or four layout expressions over WIDTH, HEIGHT, CENTERX and CENTERY; the texts live
// in the same allocation as the record.
struct SLGuiSkinInfo {
  u32 count;
  SLGuiSkin* skin;
  const char* expressions[4];
};

struct SLGuiSkinKey {
  const char* name;
  u32 kind;
};
struct SLGuiSkinSection {
  const char* name;
  const SLGuiSkinKey* keys;
  u32 keyCount;
};

// One present key of a skin: its place in the vocabulary and its value record.
struct SLGuiSkinEntry {
  const SLGuiSkinSection* section;
  const SLGuiSkinKey* key;
  void* value;
};

// A font file as the skin holds it, so that a device attached later can load it.
struct SLGuiSkinFontFile {
  u8* bytes;
  u32 size;
  char* name;
};

// A loaded skin, one record in the manager's list.
struct SLGuiSkin {
  SLGuiSkin* next;
  u32 id;  // 0: the built-in default skin
  u32 imageCount;
  CSLImageArray* images;
  SL_GS_Image** imageHandles;  // 0 while no device is attached
  u32 fontCount;
  SLGuiSkinFontFile* fonts;
  SL_GS_Font** fontHandles;
  SLGuiSkinEntry* entries;  // sorted by section name, then key name (byte-wise)
  u32 entryCount;
};

// A caller's image as a widget shows it: the handle, the size it is drawn at and a
// private copy of its drawing options.
struct SLGuiImageSlot {
  SL_GS_Image* image;
  i32 width, height;
  SL_GS_DrawImageOptions* options;
};

// The vocabulary: the only sections and keys a skin is read for.
const SLGuiSkinSection* SLGuiSkinVocabulary(u32* count);

// --- The value grammar, exposed for the loader and its fuzz targets ---
// Values are split at ";" outside quotes; tabs and line breaks are dropped and each
// token is trimmed of blanks. Longer values than this never parse.
constexpr u32 kSLGuiSkinValueMax = 2048;

// The index-th token (from 1) of a value into `out` (kSLGuiSkinValueMax bytes): empty
// past the last.
void SLGuiSkinGetToken(const char* value, u32 index, char* out);
// The number of tokens of a value (separators outside quotes, plus one).
u32 SLGuiSkinCountTokens(const char* value);
// "(n, n, ...)" with exactly `count` numbers, each inside i32; false on anything else.
bool SLGuiSkinParseTuple(const char* token, i32* out, u32 count);
// The stretch words "StretchX", "TileX", "StretchY", "TileY", separated by ",".
bool SLGuiSkinParseWords(const char* token, u32* stretchX, u32* stretchY);
// A colour value: a (r,g,b) triple and optional outline and shadow tokens.
bool SLGuiSkinParseColor(const char* value, SLGuiSkinColor* out);
// An element value against images of the given sizes, looked up by key name
// (case-insensitive, first match). `imageNames[i]` names image i.
bool SLGuiSkinParseElement(const char* value, const char* const* imageNames, const u32* imageSizes, u32 imageCount,
                           SLGuiSkinElement* out);
bool SLGuiSkinParseGlyph(const char* value, const char* const* imageNames, const u32* imageSizes, u32 imageCount,
                         SLGuiSkinGlyph* out);
// An info value: exactly `count` non-empty expressions; the texts are copied into
// `texts` (kSLGuiSkinValueMax bytes) one after another, each zero-terminated.
bool SLGuiSkinParseInfo(const char* value, u32 count, char* texts, u32* offsets);

// Rectangle arithmetic of the nine-slice drawing: x += left, y += top, width -= left +
// right, height -= top + bottom.
struct SLGuiRect;
void SLGuiSkinDeflateRect(const SLGuiSkinElement* element, SLGuiRect* rect);
