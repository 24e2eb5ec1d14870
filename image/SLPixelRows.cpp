// Row kernels between the pixel formats and the intermediate 0xAABBGGRR form. One tight
// loop per layout; the 16-bit layouts go through lookup tables built once per process.
#include "foundation/SLByteOrder.h"
#include "image/SLPixelConvert.h"
#include "image/SLPixelFormatTable.h"

using SLInternals::SLAlphaRule;

namespace {

constexpr u32 kAlphaMax = 0xFF000000u;

inline u32 SwapRedBlue(u32 v) { return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16); }
inline u32 RotateRight8(u32 v) { return (v >> 8) | (v << 24); }

// Widening of a 16-bit field to 8 bits: colour fields by a left shift (31 -> 248,
// 63 -> 252, 15 -> 240), a 4-bit alpha times 17 (15 -> 255), a 1-bit alpha to 0 or 255.
u32 WidenField(u32 field, u32 width, bool alpha) {
  if (alpha && width == 1) return field ? 255 : 0;
  if (alpha && width == 4) return field * 17;
  return field << (8 - width);
}

// Per-byte decode tables of the 16-bit formats (13..22) and per-channel encode tables.
// Every field widens by a shift or a multiple of 17 inside one nibble, so the low and
// high byte contribute disjoint bits and their decoded values combine by OR.
struct SL16BitTables {
  u32 decodeLow[10][256];
  u32 decodeHigh[10][256];
  u16 encode[10][4][256] = {};  // red, green, blue, alpha, already shifted into place

  SL16BitTables() {
    for (u32 format = 13; format <= 22; ++format) {
      const SLInternals::SLPixelLayout& layout = SLInternals::SLFormatLayout(format);
      const u32 masks[4] = {layout.redMask, layout.greenMask, layout.blueMask, layout.alphaMask};
      const u32 slot = format - 13;
      for (u32 byte = 0; byte < 256; ++byte) {
        u32 low = 0, high = 0;
        for (u32 channel = 0; channel < 4; ++channel) {
          if (masks[channel] == 0) continue;
          const u32 shift = u32(__builtin_ctz(masks[channel]));
          const u32 width = u32(__builtin_popcount(masks[channel]));
          low |= WidenField((byte & masks[channel]) >> shift, width, channel == 3) << (channel * 8);
          high |= WidenField(((byte << 8) & masks[channel]) >> shift, width, channel == 3) << (channel * 8);
          u32 packed = width == 1 ? (byte >= 128 ? 1 : 0) : byte >> (8 - width);
          encode[slot][channel][byte] = u16(packed << shift);
        }
        decodeLow[slot][byte] = low;
        decodeHigh[slot][byte] = high;
      }
    }
  }
};

const SL16BitTables& Tables16() {
  static const SL16BitTables tables;
  return tables;
}

// The alpha a source without alpha gives.
u32 MissingAlpha(u32 format, SLAlphaRule rule) {
  if (rule == SLAlphaRule::ToAlpha) return 0;
  if (rule == SLAlphaRule::Sample && (format == 2 || format == 3)) return 0;
  return kAlphaMax;
}

template <class Op>
inline void Decode32(const u8* source, u32 count, u32* out, Op op) {
  for (u32 i = 0; i < count; ++i) out[i] = op(SLLoadLE32(source + 4 * i));
}

template <class Op>
inline void Encode32(const u32* pixels, u32 count, u8* destination, Op op) {
  for (u32 i = 0; i < count; ++i) SLStoreLE32(destination + 4 * i, op(pixels[i]));
}

// The spare byte of 6, 7, 10 and 11 passes on as alpha to 32-bit targets; elsewhere it
// reads as the source-without-alpha value.
template <class Op>
inline void DecodeSpare(const u8* source, u32 count, u32* out, SLAlphaRule rule, Op op) {
  if (rule == SLAlphaRule::To32) return Decode32(source, count, out, op);
  const u32 alpha = rule == SLAlphaRule::ToAlpha ? 0 : kAlphaMax;
  Decode32(source, count, out, [&](u32 v) { return (op(v) & 0x00FFFFFFu) | alpha; });
}

}  // namespace

namespace SLInternals {

SLAlphaRule SLAlphaRuleFor(u32 destinationFormat) {
  if (destinationFormat == SL_IMAGE_FORMAT_ALPHA) return SLAlphaRule::ToAlpha;
  if (destinationFormat >= 13 && destinationFormat <= 22) return SLAlphaRule::To16;
  return SLAlphaRule::To32;  // 24-bit and palette targets drop alpha anyway
}

void SLPaletteColors(const SLImagePalette* palette, u32 out[256]) {
  for (u32 index = 0; index < 256; ++index) {
    SLPaletteEntry entry;
    if (palette)
      entry = palette->entries[index];
    else
      SLDefaultPaletteColor(index, &entry);
    out[index] = u32(entry.red) | u32(entry.green) << 8 | u32(entry.blue) << 16 | u32(entry.alpha) << 24;
  }
}

void SLDecodeRow(u32 format, const u8* source, u32 count, const u32* colors, SLAlphaRule rule, u32* out) {
  switch (format) {
    case 1:
      for (u32 i = 0; i < count; ++i) out[i] = colors[source[i]];
      return;
    case 2:
    case 3: {
      const u32 alpha = MissingAlpha(format, rule);
      const u32 redAt = format == 2 ? 0 : 2, blueAt = 2 - redAt;
      for (u32 i = 0; i < count; ++i, source += 3)
        out[i] = u32(source[redAt]) | u32(source[1]) << 8 | u32(source[blueAt]) << 16 | alpha;
      return;
    }
    case 4:
    case 30:
    case 31:
    case 32:
    case 33:
    case 34:
      return Decode32(source, count, out, [](u32 v) { return v; });
    case 5:
      return Decode32(source, count, out, SwapRedBlue);
    case 6:
      return DecodeSpare(source, count, out, rule, [](u32 v) { return v; });
    case 7:
      return DecodeSpare(source, count, out, rule, SwapRedBlue);
    case 8:
      return Decode32(source, count, out, RotateRight8);
    case 9:
      return Decode32(source, count, out, [](u32 v) { return __builtin_bswap32(v); });
    case 10:
      return DecodeSpare(source, count, out, rule, RotateRight8);
    case 11:
      return DecodeSpare(source, count, out, rule, [](u32 v) { return __builtin_bswap32(v); });
    case 12:
      for (u32 i = 0; i < count; ++i) out[i] = u32(source[i]) << 24;
      return;
    default: {
      if (format < 13 || format > 22) return;
      const SL16BitTables& tables = Tables16();
      const u32* low = tables.decodeLow[format - 13];
      const u32* high = tables.decodeHigh[format - 13];
      const u32 alpha = SLFormatLayout(format).alphaMask ? 0 : MissingAlpha(format, rule);
      for (u32 i = 0; i < count; ++i, source += 2) out[i] = low[source[0]] | high[source[1]] | alpha;
      return;
    }
  }
}

void SLEncodeRow(u32 format, const u32* pixels, u32 count, u8* destination) {
  switch (format) {
    case 2:
    case 3: {
      const u32 redAt = format == 2 ? 0 : 2, blueAt = 2 - redAt;
      for (u32 i = 0; i < count; ++i, destination += 3) {
        destination[redAt] = u8(pixels[i]);
        destination[1] = u8(pixels[i] >> 8);
        destination[blueAt] = u8(pixels[i] >> 16);
      }
      return;
    }
    case 4:
    case 30:
    case 31:
    case 32:
    case 33:
    case 34:
      return Encode32(pixels, count, destination, [](u32 v) { return v; });
    case 5:
      return Encode32(pixels, count, destination, SwapRedBlue);
    case 6:
      return Encode32(pixels, count, destination, [](u32 v) { return v & 0x00FFFFFFu; });
    case 7:
      return Encode32(pixels, count, destination, [](u32 v) { return SwapRedBlue(v) & 0x00FFFFFFu; });
    case 8:
      return Encode32(pixels, count, destination, [](u32 v) { return (v << 8) | (v >> 24); });
    case 9:
      return Encode32(pixels, count, destination, [](u32 v) { return __builtin_bswap32(v); });
    case 10:
      return Encode32(pixels, count, destination, [](u32 v) { return v << 8; });
    case 11:
      return Encode32(pixels, count, destination, [](u32 v) { return __builtin_bswap32(v) & 0xFFFFFF00u; });
    case 12:
      for (u32 i = 0; i < count; ++i) destination[i] = u8(pixels[i] >> 24);
      return;
    default: {
      if (format < 13 || format > 22) return;
      const auto& encode = Tables16().encode[format - 13];
      for (u32 i = 0; i < count; ++i, destination += 2) {
        const u32 v = pixels[i];
        SLStoreLE16(destination, u16(encode[0][v & 0xFF] | encode[1][(v >> 8) & 0xFF] |
                                     encode[2][(v >> 16) & 0xFF] | encode[3][v >> 24]));
      }
      return;
    }
  }
}

u32 SLReadPixelColor(u32 format, const u8* address, const SLImagePalette* palette) {
  u32 color = 0xFF000000u;
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    SLPaletteEntry entry;
    if (palette)
      entry = palette->entries[*address];
    else
      SLDefaultPaletteColor(*address, &entry);
    return u32(entry.red) | u32(entry.green) << 8 | u32(entry.blue) << 16 | u32(entry.alpha) << 24;
  }
  if (SLHasLayout(format)) SLDecodeRow(format, address, 1, nullptr, SLAlphaRule::Sample, &color);
  return color;
}

}  // namespace SLInternals
