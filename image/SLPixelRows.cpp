// Row kernels between the pixel formats and the intermediate 0xAABBGGRR form. Every
// layout's reading and writing is a template over its format id, so masks and byte
// positions are compile-time constants and each loop is plain shifts and masks the
// compiler can vectorise. The pairs the devices convert every frame also get a fused
// kernel that reads and writes in one pass.
#include "foundation/SLByteOrder.h"
#include "image/SLPixelConvert.h"
#include "image/SLPixelFormatTable.h"

using SLInternals::SLAlphaRule;
using SLInternals::SLPixelLayout;

namespace {

constexpr u32 kAlphaMax = 0xFF000000u;

constexpr const SLPixelLayout& Layout(u32 format) { return SLInternals::kPixelLayouts[format]; }

// The 8-bit channel under a byte-wide mask, or the widened field under a 16-bit one:
// colour fields widen by a left shift (31 -> 248, 63 -> 252, 15 -> 240), a 4-bit alpha
// times 17 (15 -> 255), a 1-bit alpha to 0 or 255.
template <u32 Mask, bool Alpha>
inline u32 ReadField(u32 value) {
  if constexpr (Mask == 0) {
    return 0;
  } else {
    constexpr u32 shift = u32(__builtin_ctz(Mask)), width = u32(__builtin_popcount(Mask));
    const u32 field = (value >> shift) & (Mask >> shift);
    if constexpr (Alpha && width == 1) return field * 255;
    if constexpr (Alpha && width == 4) return field * 17;
    return field << (8 - width);
  }
}

// The reverse: drops the low bits (so a 1-bit alpha is set from 128 on) and places them.
template <u32 Mask>
inline u32 WriteField(u32 channel) {
  if constexpr (Mask == 0) {
    return 0;
  } else {
    constexpr u32 shift = u32(__builtin_ctz(Mask)), width = u32(__builtin_popcount(Mask));
    return ((channel & 0xFF) >> (8 - width)) << shift;
  }
}

// The alpha a source without alpha gives.
constexpr u32 MissingAlpha(u32 format, SLAlphaRule rule) {
  if (rule == SLAlphaRule::ToAlpha) return 0;
  if (rule == SLAlphaRule::Sample && Layout(format).bytesPerPixel == 3) return 0;
  return kAlphaMax;
}

// Reads one pixel of a format other than the palette one. `missingAlpha` is what a
// source without alpha gives; with KeepSpare the spare byte of 6, 7, 10 and 11 passes
// on as alpha instead (32-bit targets).
template <u32 Format, bool KeepSpare>
inline u32 ReadPixel(const u8* p, u32 missingAlpha) {
  constexpr SLPixelLayout layout = Layout(Format);
  if constexpr (Format == SL_IMAGE_FORMAT_ALPHA) {
    return u32(*p) << 24;
  } else if constexpr (layout.bytesPerPixel == 3) {
    constexpr u32 redAt = __builtin_ctz(layout.redMask) / 8, blueAt = __builtin_ctz(layout.blueMask) / 8;
    return u32(p[redAt]) | u32(p[1]) << 8 | u32(p[blueAt]) << 16 | missingAlpha;
  } else {
    const u32 v = layout.bytesPerPixel == 4 ? SLLoadLE32(p) : SLLoadLE16(p);
    u32 alpha = ReadField<layout.alphaMask, true>(v) << 24;
    if constexpr (layout.alphaMask == 0) {
      constexpr u32 spare = ~(layout.redMask | layout.greenMask | layout.blueMask);
      if constexpr (KeepSpare && layout.bytesPerPixel == 4)
        alpha = ReadField<spare, false>(v) << 24;
      else
        alpha = missingAlpha;
    }
    return ReadField<layout.redMask, false>(v) | ReadField<layout.greenMask, false>(v) << 8 |
           ReadField<layout.blueMask, false>(v) << 16 | alpha;
  }
}

template <u32 Format>
inline void WritePixel(u8* p, u32 c) {
  constexpr SLPixelLayout layout = Layout(Format);
  if constexpr (Format == SL_IMAGE_FORMAT_ALPHA) {
    *p = u8(c >> 24);
  } else if constexpr (layout.bytesPerPixel == 3) {
    constexpr u32 redAt = __builtin_ctz(layout.redMask) / 8, blueAt = __builtin_ctz(layout.blueMask) / 8;
    p[redAt] = u8(c);
    p[1] = u8(c >> 8);
    p[blueAt] = u8(c >> 16);
  } else {
    const u32 v = WriteField<layout.redMask>(c) | WriteField<layout.greenMask>(c >> 8) |
                  WriteField<layout.blueMask>(c >> 16) | WriteField<layout.alphaMask>(c >> 24);
    if constexpr (layout.bytesPerPixel == 4)
      SLStoreLE32(p, v);
    else
      SLStoreLE16(p, u16(v));
  }
}

template <u32 Format>
void DecodeLoop(const u8* source, u32 count, SLAlphaRule rule, u32* out) {
  constexpr size_t step = Layout(Format).bytesPerPixel;
  const u32 missing = MissingAlpha(Format, rule);
  if (rule == SLAlphaRule::To32)
    for (size_t i = 0; i < count; ++i) out[i] = ReadPixel<Format, true>(source + step * i, missing);
  else
    for (size_t i = 0; i < count; ++i) out[i] = ReadPixel<Format, false>(source + step * i, missing);
}

template <u32 Format>
void EncodeLoop(const u32* pixels, u32 count, u8* destination) {
  constexpr size_t step = Layout(Format).bytesPerPixel;
  for (size_t i = 0; i < count; ++i) WritePixel<Format>(destination + step * i, pixels[i]);
}

// Calls f.template operator()<Format>() for the format id, if it names a layout other
// than the palette one.
template <class F>
inline bool ForFormat(u32 format, F&& f) {
  switch (format) {
#define SL_FORMAT_CASE(id) \
  case id:                 \
    f.template operator()<id>(); \
    return true;
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_RGB) SL_FORMAT_CASE(SL_IMAGE_FORMAT_BGR)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_RGBA) SL_FORMAT_CASE(SL_IMAGE_FORMAT_BGRA)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_RGBX) SL_FORMAT_CASE(SL_IMAGE_FORMAT_BGRX)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_ARGB) SL_FORMAT_CASE(SL_IMAGE_FORMAT_ABGR)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_XRGB) SL_FORMAT_CASE(SL_IMAGE_FORMAT_XBGR)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_ALPHA)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_565_RED_LOW) SL_FORMAT_CASE(SL_IMAGE_FORMAT_565_BLUE_LOW)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_1555_RED_LOW) SL_FORMAT_CASE(SL_IMAGE_FORMAT_1555_BLUE_LOW)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_X555_RED_LOW) SL_FORMAT_CASE(SL_IMAGE_FORMAT_X555_BLUE_LOW)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_4444_RED_LOW) SL_FORMAT_CASE(SL_IMAGE_FORMAT_4444_BLUE_LOW)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_X444_RED_LOW) SL_FORMAT_CASE(SL_IMAGE_FORMAT_X444_BLUE_LOW)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_DXT1) SL_FORMAT_CASE(SL_IMAGE_FORMAT_DXT2)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_DXT3) SL_FORMAT_CASE(SL_IMAGE_FORMAT_DXT4)
    SL_FORMAT_CASE(SL_IMAGE_FORMAT_DXT5)
#undef SL_FORMAT_CASE
    default:
      return false;
  }
}

// A byte-wide channel of a 32-bit pixel moved straight into a 16-bit field: the same
// bits ReadField and WriteField select, in one shift and mask. A missing source alpha
// reads as 255 for 16-bit targets, which sets every alpha bit.
template <u32 SourceMask, u32 TargetMask>
inline u32 MoveField(u32 value) {
  if constexpr (TargetMask == 0) {
    return 0;
  } else if constexpr (SourceMask == 0) {
    return TargetMask;
  } else {
    constexpr u32 from = u32(__builtin_ctz(SourceMask)), width = u32(__builtin_popcount(TargetMask));
    constexpr u32 to = u32(__builtin_ctz(TargetMask));
    return ((value >> (from + 8 - width)) & ((1u << width) - 1)) << to;
  }
}

// One pass from one layout to another, without flags. Wide builds have a byte shuffle.
template <u32 From, u32 To, bool Wide>
__attribute__((always_inline)) inline void FusedLoop(const u8* source, u32 count, u8* destination) {
  constexpr SLAlphaRule rule = SLInternals::SLAlphaRuleFor(To);
  constexpr u32 missing = MissingAlpha(From, rule);
  constexpr SLPixelLayout from = Layout(From), to = Layout(To);
  constexpr size_t fromStep = from.bytesPerPixel, toStep = to.bytesPerPixel;
  if constexpr (fromStep == 4 && toStep == 2) {
    for (size_t i = 0; i < count; ++i) {
      const u32 v = SLLoadLE32(source + 4 * i);
      SLStoreLE16(destination + 2 * i, u16(MoveField<from.redMask, to.redMask>(v) | MoveField<from.greenMask, to.greenMask>(v) |
                                           MoveField<from.blueMask, to.blueMask>(v) |
                                           MoveField<from.alphaMask, to.alphaMask>(v)));
    }
  } else if constexpr (fromStep == 3 && toStep == 4 && from.redMask == to.redMask && from.greenMask == to.greenMask &&
                       from.blueMask == to.blueMask) {
    // The colour bytes stay where they are (24-bit pictures drawn on 32-bit screens): copy
    // them and put in the fourth byte what the general loop puts there, which depends only
    // on the alpha that 24-bit pixels lack.
    if (count == 0) return;
    u8 first[4];
    WritePixel<To>(first, ReadPixel<From, rule == SLAlphaRule::To32>(source, missing));
    const u32 fourth = SLLoadLE32(first) & 0xFF000000u;
    // Four pixels at a time: sixteen bytes read, twelve spread to four words, and the
    // fourth byte filled in (one byte shuffle where the processor has it).
    typedef u8 Bytes16 __attribute__((vector_size(16)));
    const u8 top = u8(fourth >> 24);
    const Bytes16 fill = {0, 0, 0, top, 0, 0, 0, top, 0, 0, 0, top, 0, 0, 0, top};
    const Bytes16 zero = {};
    size_t i = 0;
    if constexpr (Wide)
      for (; i + 6 <= count; i += 4) {
        Bytes16 in;
        __builtin_memcpy(&in, source + 3 * i, 16);
        const Bytes16 out = __builtin_shufflevector(in, zero, 0, 1, 2, 16, 3, 4, 5, 16, 6, 7, 8, 16, 9, 10, 11, 16) | fill;
        __builtin_memcpy(destination + 4 * i, &out, 16);
      }
    // Four bytes read at each pixel but the last, which has no fourth byte behind it.
    for (; i + 1 < count; ++i)
      SLStoreLE32(destination + 4 * i, (SLLoadLE32(source + 3 * i) & 0x00FFFFFFu) | fourth);
    const u8* last = source + 3 * (count - 1);
    SLStoreLE32(destination + 4 * (count - 1), u32(last[0]) | u32(last[1]) << 8 | u32(last[2]) << 16 | fourth);
  } else {
    for (size_t i = 0; i < count; ++i)
      WritePixel<To>(destination + toStep * i,
                     ReadPixel<From, rule == SLAlphaRule::To32>(source + fromStep * i, missing));
  }
}

template <u32 From, u32 To, bool Wide>
__attribute__((always_inline)) inline bool TryFused(u32 to, const u8* source, u32 count, u8* destination) {
  if constexpr (From == To) {
    return false;
  } else {
    if (to != To) return false;
    FusedLoop<From, To, Wide>(source, count, destination);
    return true;
  }
}

// The layouts of screens, textures, movie frames and files: 24-bit, 32-bit with alpha or
// a spare byte, 5-6-5 and alpha only.
template <bool Wide, u32 From, u32... To>
__attribute__((always_inline)) inline bool FusedFrom(u32 to, const u8* source, u32 count, u8* destination) {
  return (TryFused<From, To, Wide>(to, source, count, destination) || ...);
}

}  // namespace

namespace SLInternals {

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
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    for (size_t i = 0; i < count; ++i) out[i] = colors[source[i]];
    return;
  }
  ForFormat(format, [&]<u32 Format>() { DecodeLoop<Format>(source, count, rule, out); });
}

void SLEncodeRow(u32 format, const u32* pixels, u32 count, u8* destination) {
  ForFormat(format, [&]<u32 Format>() { EncodeLoop<Format>(pixels, count, destination); });
}

namespace {

// One body for both builds below; inlined into each, so each gets its own instruction set.
template <bool Wide>
__attribute__((always_inline)) inline bool ConvertRowFusedBody(u32 from, u32 to, const u8* source, u32 count,
                                                               u8* destination) {
  switch (from) {
#define SL_FUSED_FROM(id) \
  case id:                \
    return FusedFrom<Wide, id, 2, 3, 4, 5, 6, 7, 12, 13, 14>(to, source, count, destination);
    SL_FUSED_FROM(2) SL_FUSED_FROM(3) SL_FUSED_FROM(4) SL_FUSED_FROM(5) SL_FUSED_FROM(13) SL_FUSED_FROM(14)
#undef SL_FUSED_FROM
    default:
      return false;
  }
}

bool ConvertRowFusedPlain(u32 from, u32 to, const u8* source, u32 count, u8* destination) {
  return ConvertRowFusedBody<false>(from, to, source, count, destination);
}

#if defined(__x86_64__)
// The fused kernels also come in an AVX2 build: twice the lanes and a true 32-to-16-bit
// pack. It is chosen by a plain test of the processor on first use, not by a load-time
// resolver, which runs before sanitizer run-times are ready.
__attribute__((target("avx2"))) bool ConvertRowFusedAvx2(u32 from, u32 to, const u8* source, u32 count,
                                                         u8* destination) {
  return ConvertRowFusedBody<true>(from, to, source, count, destination);
}
#endif

}  // namespace

bool SLConvertRowFused(u32 from, u32 to, const u8* source, u32 count, u8* destination) {
#if defined(__x86_64__)
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  if (hasAvx2) return ConvertRowFusedAvx2(from, to, source, count, destination);
#endif
  return ConvertRowFusedPlain(from, to, source, count, destination);
}

u32 SLReadPixelColor(u32 format, const u8* address, const SLImagePalette* palette) {
  if (format == SL_IMAGE_FORMAT_PALETTE) {
    SLPaletteEntry entry;
    if (palette)
      entry = palette->entries[*address];
    else
      SLDefaultPaletteColor(*address, &entry);
    return u32(entry.red) | u32(entry.green) << 8 | u32(entry.blue) << 16 | u32(entry.alpha) << 24;
  }
  u32 color = kAlphaMax;
  ForFormat(format, [&]<u32 Format>() { color = ReadPixel<Format, false>(address, MissingAlpha(Format, SLAlphaRule::Sample)); });
  return color;
}

}  // namespace SLInternals
