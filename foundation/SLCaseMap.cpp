// Case mapping of UTF-16 units (generated delta tables) and of ANSI bytes.
#include "foundation/SLCaseTables.h"
#include "foundation/SLError.h"
#include "foundation/SLTranscoder.h"

namespace {

inline SLWChar MapThrough(const u16* table, SLWChar unit) {
  u16 start = table[u16(unit) >> 8];
  return SLWChar(u16(unit + table[start + (u16(unit) & 0xFF)]));
}

}  // namespace

SLWChar SLToLowerW(SLWChar unit) { return MapThrough(SLInternals::g_slLowerCaseDelta, unit); }
SLWChar SLToUpperW(SLWChar unit) { return MapThrough(SLInternals::g_slUpperCaseDelta, unit); }

SLWChar* SLStrLowerW(SLWChar* text) {
  for (SLWChar* p = text; *p; ++p) *p = SLToLowerW(*p);
  return text;
}

// Interim until the ANSI case tables: bytes from 128 up keep their case.
u8 SLToLowerA(u8 byte) { return byte < 128 ? u8(SLToLowerW(byte)) : byte; }
u8 SLToUpperA(u8 byte) { return byte < 128 ? u8(SLToUpperW(byte)) : byte; }
