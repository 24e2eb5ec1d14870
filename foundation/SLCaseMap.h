// Case mapping of UTF-16 units and ANSI bytes, ANSI characters as units and their classes.
// These per-character functions cannot fail and leave the error code alone.
#pragma once

#include "foundation/SLTypes.h"

SLWChar SLToLowerW(SLWChar unit);
SLWChar SLToUpperW(SLWChar unit);
SLWChar* SLStrLowerW(SLWChar* text);
u8 SLToLowerA(u8 byte);
u8 SLToUpperA(u8 byte);
char* SLStrLowerA(char* text);
char* SLStrUpperA(char* text);
SLWChar SLAnsiCharToWide(u8 lead, u8 trail);
// CT_CTYPE1 bits of the ANSI character (lead, trail); 0 when unavailable.
u32 SLCharClassA(u8 lead, u8 trail);
inline u32 SLCharClassA(u8 byte) { return SLCharClassA(byte, 0); }
bool SLIsDBCSLeadByte(u8 byte, u32 codePage);
