// Bitmap fonts of the graphics device: the ".FNT" file, glyph and kerning look-ups and
// text measuring.
//
// The file, little-endian throughout:
//   "Font File." 0x1A              signature, 11 bytes
//   u16 version                    2
//   u16 glyph count N              1 or more
//   u32 transparent colour         colour key of every page (low 24 bits)
//   u32 page count P               1 or more
//   N x {u16 code, left, top, right, bottom, page}
//   u16 kerning count K, K x {u16 first, u16 second, i16 adjustment}
//   P pages of 256 x 256 pixels, bytes blue, green, red, alpha, top row first
// A glyph covers columns left..right-1 and rows top..bottom-1 of its page.
#include <cstdarg>

#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "storage/SLFileStorage.h"

namespace {

constexpr u8 kSignature[11] = {'F', 'o', 'n', 't', ' ', 'F', 'i', 'l', 'e', '.', 0x1A};
constexpr u32 kPageSide = 256;
constexpr u32 kPageFormat = SL_IMAGE_FORMAT_BGRA;
constexpr u32 kGlyphBytes = 12, kKerningBytes = 6;

// All `count` bytes or false. A file that ends early is a damaged font; other read
// failures keep the storage's code.
bool ReadFully(CSLBaseStorage* storage, void* buffer, u64 count) {
  if (storage->Read(buffer, count) == count) return true;
  const u32 code = SLGetLastError();
  return SLFail(code == SL_OK || code == SL_E_STORAGE_EOF ? SL_E_MALFORMED : code, false);
}

int CompareGlyphs(const void* a, const void* b, void*) {
  return int(static_cast<const SL_GS_FontGlyph*>(a)->code) - int(static_cast<const SL_GS_FontGlyph*>(b)->code);
}

int ComparePairs(const void* a, const void* b, void*) {
  const auto* x = static_cast<const SL_GS_FontKerningPair*>(a);
  const auto* y = static_cast<const SL_GS_FontKerningPair*>(b);
  if (x->first != y->first) return int(x->first) - int(y->first);
  return int(x->second) - int(y->second);
}

const SL_GS_FontGlyph* LookUpGlyph(const SL_GS_FontRecord* font, u32 code) {
  if (code > 0xFFFF) return nullptr;
  SL_GS_FontGlyph key{};
  key.code = u16(code);
  return static_cast<const SL_GS_FontGlyph*>(
      SLBSearch(font->glyphs, &key, font->glyphCount, u32(sizeof(SL_GS_FontGlyph)), &CompareGlyphs, nullptr));
}

const SL_GS_FontKerningPair* LookUpPair(const SL_GS_FontRecord* font, u32 first, u32 second) {
  if (first > 0xFFFF || second > 0xFFFF || font->kerningCount == 0) return nullptr;
  const SL_GS_FontKerningPair key{u16(first), u16(second), 0};
  return static_cast<const SL_GS_FontKerningPair*>(SLBSearch(
      font->kerning, &key, font->kerningCount, u32(sizeof(SL_GS_FontKerningPair)), &ComparePairs, nullptr));
}

bool GlyphFits(const SL_GS_FontGlyph& glyph, u32 pageCount) {
  return glyph.code >= 32 && glyph.left < kPageSide && glyph.right <= kPageSide && glyph.left < glyph.right &&
         glyph.top < kPageSide && glyph.bottom <= kPageSide && glyph.top < glyph.bottom && glyph.page < pageCount;
}

}  // namespace

bool CSL_GS_BaseGfx::IsValidFont(SL_GS_Font* font) { return FindFontRecord(font) ? SLSucceed(true) : false; }

void CSL_GS_BaseGfx::FreeFontRecord(SL_GS_FontRecord* record) {
  SLErrorKeeper keep;
  if (record->pages) record->pages->Release();
  SLFree(record->kerning);
  SLFree(record->glyphs);
  record->tag = 0;
  SLFree(record);
}

SL_GS_Font* CSL_GS_BaseGfx::LoadFontFromStorage(CSLBaseStorage* storage) {
  using Result = SL_GS_Font*;
  if (!storage) return SLFail(SL_E_NULL_DATA, Result(nullptr));
  u8 header[sizeof(kSignature) + 2];
  if (!ReadFully(storage, header, sizeof(header))) return Result(nullptr);
  if (SLMemCompare(header, kSignature, sizeof(kSignature)) != 0 || SLLoadLE16(header + sizeof(kSignature)) != 2)
    return SLFail(SL_E_MALFORMED, Result(nullptr));

  auto* record = static_cast<SL_GS_FontRecord*>(SLAllocZero(u32(sizeof(SL_GS_FontRecord))));
  if (!record) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  record->tag = SL_GS_FONT_TAG;
  auto fail = [record](u32 code) {
    FreeFontRecord(record);
    return SLFail(code, Result(nullptr));
  };
  auto failWithLast = [&] { return fail(SLGetLastError()); };

  u8 counts[10];
  if (!ReadFully(storage, counts, 2)) return failWithLast();
  const u32 glyphCount = SLLoadLE16(counts);
  if (glyphCount == 0) return fail(SL_E_MALFORMED);
  record->glyphs = static_cast<SL_GS_FontGlyph*>(SLAllocZero(glyphCount * u32(sizeof(SL_GS_FontGlyph))));
  if (!record->glyphs) return fail(SL_E_OUT_OF_MEMORY);
  if (!ReadFully(storage, counts + 2, 8)) return failWithLast();
  const u32 keyColor = SLLoadLE32(counts + 2), pageCount = SLLoadLE32(counts + 6);
  if (pageCount == 0) return fail(SL_E_MALFORMED);

  {
    TSLAutoPtr<u8> raw(static_cast<u8*>(SLAlloc(glyphCount * kGlyphBytes)));
    if (!raw) return fail(SL_E_OUT_OF_MEMORY);
    if (!ReadFully(storage, raw.Get(), glyphCount * kGlyphBytes)) return failWithLast();
    for (u32 i = 0; i < glyphCount; ++i) {
      const u8* field = raw.Get() + i * kGlyphBytes;
      SL_GS_FontGlyph& glyph = record->glyphs[i];
      glyph.code = SLLoadLE16(field);
      glyph.left = SLLoadLE16(field + 2);
      glyph.top = SLLoadLE16(field + 4);
      glyph.right = SLLoadLE16(field + 6);
      glyph.bottom = SLLoadLE16(field + 8);
      glyph.page = SLLoadLE16(field + 10);
      if (!GlyphFits(glyph, pageCount)) return fail(SL_E_MALFORMED);
    }
  }
  record->glyphCount = glyphCount;
  SLQSort(record->glyphs, glyphCount, u32(sizeof(SL_GS_FontGlyph)), &CompareGlyphs, nullptr);

  u8 kerningHeader[2];
  if (!ReadFully(storage, kerningHeader, 2)) return failWithLast();
  const u32 kerningCount = SLLoadLE16(kerningHeader);
  if (kerningCount > 0) {
    record->kerning = static_cast<SL_GS_FontKerningPair*>(SLAlloc(kerningCount * u32(sizeof(SL_GS_FontKerningPair))));
    TSLAutoPtr<u8> raw(static_cast<u8*>(SLAlloc(kerningCount * kKerningBytes)));
    if (!record->kerning || !raw) return fail(SL_E_OUT_OF_MEMORY);
    if (!ReadFully(storage, raw.Get(), kerningCount * kKerningBytes)) return failWithLast();
    for (u32 i = 0; i < kerningCount; ++i) {
      const u8* field = raw.Get() + i * kKerningBytes;
      SL_GS_FontKerningPair& pair = record->kerning[i];
      pair.first = SLLoadLE16(field);
      pair.second = SLLoadLE16(field + 2);
      pair.adjustment = i16(SLLoadLE16(field + 4));
      if (!LookUpGlyph(record, pair.first) || !LookUpGlyph(record, pair.second)) return fail(SL_E_MALFORMED);
    }
    record->kerningCount = kerningCount;
    SLQSort(record->kerning, kerningCount, u32(sizeof(SL_GS_FontKerningPair)), &ComparePairs, nullptr);
  }

  u64 widthSum = 0;
  for (u32 i = 0; i < glyphCount; ++i) widthSum += record->glyphs[i].right - record->glyphs[i].left;
  record->averageGlyphWidth = u32(widthSum / glyphCount);

  record->pages = new CSLImageArray();
  if (!record->pages) return fail(SL_E_OUT_OF_MEMORY);
  for (u32 p = 0; p < pageCount; ++p) {
    TSLObjPtr<CSLImage> page;
    page.Attach(new CSLImage());
    if (!page) return fail(SL_E_OUT_OF_MEMORY);
    if (!page->Create(kPageFormat, kPageSide, kPageSide, false) || !record->pages->Add(page.Get()))
      return failWithLast();
    for (u32 y = 0; y < kPageSide; ++y)
      if (!ReadFully(storage, page->GetPixelAddress(0, y), kPageSide * 4)) return failWithLast();
    page->SetTransparentColor(keyColor & 0xFFFFFF);
  }
  record->group = m_fontGroup;
  record->lineHeight = record->glyphs[0].bottom - record->glyphs[0].top;
  record->handle = static_cast<SL_GS_Font*>(const_cast<void*>(SLInternals::CSLGfxHandleTable::NewHandle()));

  if (!CreateFontTextures(record)) return failWithLast();
  if (!LinkFont(record)) {
    const u32 code = SLGetLastError();
    FreeFontTextures(record);
    return fail(code);
  }

  TSLObjPtr<CSLImage> white;
  white.Attach(new CSLImage());
  bool made = white && white->Create(kPageFormat, 1, 1, false);
  if (made) {
    SLStoreLE32(white->GetPixels(), 0xFFFFFFFFu);
    record->whiteImage = CreateImage(white.Get(), true);
    made = record->whiteImage && ReleaseImageSource(record->whiteImage);
  }
  if (!made) {
    const u32 code = white ? SLGetLastError() : SL_E_OUT_OF_MEMORY;
    DestroyFont(record->handle);
    return SLFail(code, Result(nullptr));
  }
  return SLSucceed(record->handle);
}

SL_GS_Font* CSL_GS_BaseGfx::LoadFontFromFile(const char* path) {
  using Result = SL_GS_Font*;
  TSLObjPtr<CSLFileStorage> file;
  file.Attach(new CSLFileStorage());
  if (!file) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  if (!file->OpenA(path, 0)) return Result(nullptr);
  SL_GS_Font* font = LoadFontFromStorage(file.Get());
  SLErrorKeeper keep;
  file->Close();
  return font;
}

bool CSL_GS_BaseGfx::DestroyFont(SL_GS_Font* font) {
  if (!FindFontRecord(font)) return false;
  CSL_GS_GfxDestroyingFontEvent event(font);
  Send(&event);
  SL_GS_FontRecord* record = UnlinkFont(font);
  if (!record) return SLFail(SL_E_INDEX, false);
  FreeFontTextures(record);
  // The white image may already be gone with the image group it was made in.
  if (record->whiteImage && IsValidImage(record->whiteImage)) DestroyImage(record->whiteImage);
  FreeFontRecord(record);
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::DestroyFontAndClear(SL_GS_Font** font) {
  if (!font) return SLFail(SL_E_NULL_DATA, false);
  const bool destroyed = DestroyFont(*font);
  *font = nullptr;
  return destroyed;
}

u32 CSL_GS_BaseGfx::GetFontHeight(SL_GS_Font* font) {
  SL_GS_FontRecord* record = FindFontRecord(font);
  return record ? SLSucceed(record->lineHeight) : 0;
}

u32 CSL_GS_BaseGfx::GetFontAverageGlyphWidth(SL_GS_Font* font) {
  SL_GS_FontRecord* record = FindFontRecord(font);
  return record ? SLSucceed(record->averageGlyphWidth) : 0;
}

const SL_GS_FontGlyph* CSL_GS_BaseGfx::FindGlyph(SL_GS_Font* font, u32 code) {
  using Result = const SL_GS_FontGlyph*;
  SL_GS_FontRecord* record = FindFontRecord(font);
  if (!record) return Result(nullptr);
  Result glyph = LookUpGlyph(record, code);
  return glyph ? SLSucceed(glyph) : SLFail(SL_E_NOT_FOUND, Result(nullptr));
}

const SL_GS_FontKerningPair* CSL_GS_BaseGfx::FindKerningPair(SL_GS_Font* font, u32 first, u32 second) {
  using Result = const SL_GS_FontKerningPair*;
  SL_GS_FontRecord* record = FindFontRecord(font);
  if (!record) return Result(nullptr);
  Result pair = LookUpPair(record, first, second);
  return pair ? SLSucceed(pair) : SLFail(SL_E_NOT_FOUND, Result(nullptr));
}

// Glyphs are set 2 pixels apart and the gap after the last one does not count. Negative
// kerning can make the running sum negative; such a text measures 0.
i32 CSL_GS_BaseGfx::GetTextWidth(SL_GS_Font* font, const SLWChar* text, u32 length) {
  SL_GS_FontRecord* record = FindFontRecord(font);
  if (!record) return 0;
  if (!text) return SLFail(SL_E_INVALID_ARG, 0);
  i64 width = 0;
  u32 previous = 0;
  bool any = false;
  for (u32 i = 0; length == 0xFFFFFFFFu ? text[i] != 0 : i < length; ++i) {
    const u32 code = text[i];
    const SL_GS_FontGlyph* glyph = LookUpGlyph(record, code);
    if (!glyph) {
      previous = 0;
      continue;
    }
    if (previous != 0)
      if (const SL_GS_FontKerningPair* pair = LookUpPair(record, previous, code)) width += pair->adjustment;
    previous = code;
    any = true;
    width += i64(glyph->right - glyph->left) + 2;
  }
  const i64 result = any && width > 2 ? width - 2 : 0;
  return SLSucceed(i32(result > 0x7FFFFFFF ? 0x7FFFFFFF : result));
}

i32 CSL_GS_BaseGfx::FormatToScratch(const char* format, va_list args) {
  if (!format) return SLFail(SL_E_INVALID_ARG, -1);
  if (!m_scratchA.FormatV(format, args)) return -1;
  const u32 length = m_scratchA.GetLength();
  if (!m_scratchW.AssignA(m_scratchA.CStr(), length)) return -1;
  return i32(m_scratchW.GetLength());
}

i32 CSL_GS_BaseGfx::GetTextWidthFormatV(SL_GS_Font* font, const char* format, va_list args) {
  if (!FindFontRecord(font)) return 0;
  const i32 length = FormatToScratch(format, args);
  if (length < 0) return 0;
  return GetTextWidth(font, m_scratchW.CStr(), u32(length));
}

i32 CSL_GS_BaseGfx::GetTextWidthFormat(SL_GS_Font* font, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const i32 width = GetTextWidthFormatV(font, format, args);
  va_end(args);
  return width;
}

i32 CSL_GS_BaseGfx::DrawTextFormatV(SL_GS_Font* font, i32 x, i32 y, u32 alignment,
                                    const SL_GS_DrawImageOptions* options, const char* format, va_list args) {
  if (!FindFontRecord(font)) return 0;
  const i32 length = FormatToScratch(format, args);
  if (length < 0) return 0;
  return DrawTextW(font, x, y, alignment, options, m_scratchW.CStr(), u32(length));
}

i32 CSL_GS_BaseGfx::DrawTextFormat(SL_GS_Font* font, i32 x, i32 y, u32 alignment,
                                   const SL_GS_DrawImageOptions* options, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const i32 width = DrawTextFormatV(font, x, y, alignment, options, format, args);
  va_end(args);
  return width;
}
