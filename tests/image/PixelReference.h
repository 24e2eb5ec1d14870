// A reference of the pixel formats for tests and fuzz targets, built from the format table
// and the reading and writing rules alone (no code shared with the converters).
#pragma once

#include <cstring>

#include "image/SLPixelFormat.h"

namespace pixel_reference {

// The format table: bytes per pixel and the red, green, blue and alpha masks (R, G, B, A
// name the bytes 0 to 3 of a 32-bit value).
struct Layout {
  u32 bytes, masks[4];
};
constexpr u32 R = 0xFF, G = 0xFF00, B = 0xFF0000, A = 0xFF000000;
inline const Layout kLayouts[35] = {
    {}, {1, {0, 0, 0, 0}}, {3, {R, G, B, 0}}, {3, {B, G, R, 0}},                        // 0-3
    {4, {R, G, B, A}}, {4, {B, G, R, A}}, {4, {R, G, B, 0}}, {4, {B, G, R, 0}},        // 4-7
    {4, {G, B, A, R}}, {4, {A, B, G, R}}, {4, {G, B, A, 0}}, {4, {A, B, G, 0}},        // 8-11
    {1, {0, 0, 0, R}}, {2, {0x1F, 0x7E0, 0xF800, 0}}, {2, {0xF800, 0x7E0, 0x1F, 0}},   // 12-14
    {2, {0x1F, 0x3E0, 0x7C00, 0x8000}}, {2, {0x7C00, 0x3E0, 0x1F, 0x8000}},            // 15-16
    {2, {0x1F, 0x3E0, 0x7C00, 0}}, {2, {0x7C00, 0x3E0, 0x1F, 0}},                      // 17-18
    {2, {0xF, 0xF0, 0xF00, 0xF000}}, {2, {0xF00, 0xF0, 0xF, 0xF000}},                  // 19-20
    {2, {0xF, 0xF0, 0xF00, 0}}, {2, {0xF00, 0xF0, 0xF, 0}},                            // 21-22
    {}, {}, {}, {}, {}, {}, {},                                                        // 23-29
    {4, {R, G, B, A}}, {4, {R, G, B, A}}, {4, {R, G, B, A}}, {4, {R, G, B, A}}, {4, {R, G, B, A}},
};
inline const u32 kAssigned[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 30, 31, 32, 33, 34};

struct Rgba {
  u32 channel[4];  // red, green, blue, alpha
};

inline u32 LoadValue(const u8* p, u32 bytes) {
  u32 v = 0;
  for (u32 i = 0; i < bytes; ++i) v |= u32(p[i]) << (8 * i);
  return v;
}
inline void StoreValue(u32 v, u32 bytes, u8* out) {
  for (u32 i = 0; i < bytes; ++i) out[i] = u8(v >> (8 * i));
}

// Reading rules. `target` is the destination format, 0 for GetPixel.
inline Rgba ReferenceRead(u32 format, const u8* p, const SLImagePalette* palette, u32 target) {
  const u32 i = *p;
  const SLPaletteEntry e = palette ? palette->entries[i] : SLPaletteEntry{};
  if (format == 1 && palette) return {{e.red, e.green, e.blue, e.alpha}};
  if (format == 1) return {{((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3, 255}};
  const Layout& layout = kLayouts[format];
  const u32 v = LoadValue(p, layout.bytes);
  Rgba c = {};
  for (u32 k = 0; k < 4; ++k) {
    const u32 mask = layout.masks[k];
    if (!mask) continue;
    const u32 width = __builtin_popcount(mask), field = (v & mask) >> __builtin_ctz(mask);
    if (k == 3 && width == 1) c.channel[k] = field ? 255 : 0;
    else if (k == 3 && width == 4) c.channel[k] = field * 17;
    else c.channel[k] = field << (8 - width);
  }
  if (layout.masks[3] == 0) {
    if (target == 12 || (target == 0 && layout.bytes == 3)) c.channel[3] = 0;
    else if (target && kLayouts[target].bytes == 4 && layout.bytes == 4) {
      const u32 used = layout.masks[0] | layout.masks[1] | layout.masks[2];
      c.channel[3] = (v & ~used) >> __builtin_ctz(~used);
    } else c.channel[3] = 255;
  }
  return c;
}

// Writing rules, flags included.
inline void ReferenceWrite(u32 format, Rgba c, u32 flags, u8* out) {
  for (u32 k = 0; k < 3; ++k)
    if (flags & (1u << k)) c.channel[k] = 0;
  if (flags & 8) c.channel[3] = 255;
  const Layout& layout = kLayouts[format];
  u32 v = 0;
  for (u32 k = 0; k < 4; ++k) {
    const u32 mask = layout.masks[k];
    if (!mask) continue;
    const u32 width = __builtin_popcount(mask);
    const u32 field = width == 1 ? (c.channel[k] >= 128 ? 1 : 0) : c.channel[k] >> (8 - width);
    v |= field << __builtin_ctz(mask);
  }
  StoreValue(v, layout.bytes, out);
}

inline void SameFormatFlags(u32 format, const u8* pixel, u32 flags, u8* out) {
  const Layout& layout = kLayouts[format];
  u32 v = LoadValue(pixel, layout.bytes);
  for (u32 k = 0; k < 3; ++k)
    if (flags & (1u << k)) v &= ~layout.masks[k];
  if (flags & 8) v |= layout.masks[3];
  StoreValue(v, layout.bytes, out);
}

// The colour GetPixel reports for a reference colour.
inline u32 Packed(const Rgba& c) { return c.channel[0] | c.channel[1] << 8 | c.channel[2] << 16 | c.channel[3] << 24; }

}  // namespace pixel_reference
