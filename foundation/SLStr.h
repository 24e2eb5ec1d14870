// The framework's C-string functions over zero-terminated 8-bit (A) and UTF-16 (W) text:
// length, copy, concatenation, comparison, trimming, removal, allocation, and the exact
// conversions of text into 32-bit integers and doubles. Lengths and counts are in
// characters; a length of SL_TEXT_TO_END runs up to the terminator.
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLTypes.h"

// Codes of the number conversions (besides SL_E_NULL_DATA, SL_E_INVALID_ARG and
// SL_E_OVERFLOW, too large: integers; doubles).
enum : u32 {
  SL_E_UNDERFLOW = 0x80002005,  // too small; a minus sign for an unsigned conversion
  SL_E_TEXT_LEFT = 0x80060008,  // text left after the number
};

u32 SLStrLenA(const char* text);
u32 SLStrLenW(const SLWChar* text);

// Each returns its target.
char* SLStrCopyA(char* target, const char* source);
SLWChar* SLStrCopyW(SLWChar* target, const SLWChar* source);
// At most n characters; a shorter source is padded with zeros up to n, a source of n or
// more characters leaves the target unterminated.
char* SLStrCopyNA(char* target, const char* source, u32 n);
SLWChar* SLStrCopyNW(SLWChar* target, const SLWChar* source, u32 n);
char* SLStrCatA(char* target, const char* source);
SLWChar* SLStrCatW(SLWChar* target, const SLWChar* source);
// Appends at most n characters and always terminates.
char* SLStrCatNA(char* target, const char* source, u32 n);
SLWChar* SLStrCatNW(SLWChar* target, const SLWChar* source, u32 n);

// -1, 0 or 1; characters compare as unsigned values, a text that ends first is smaller.
// The I forms compare differing characters by their upper-case forms (SLToUpperA/W).
int SLStrCmpA(const char* a, const char* b);
int SLStrCmpW(const SLWChar* a, const SLWChar* b);
int SLStrICmpA(const char* a, const char* b);
int SLStrICmpW(const SLWChar* a, const SLWChar* b);
int SLStrNCmpA(const char* a, const char* b, u32 n);
int SLStrNCmpW(const SLWChar* a, const SLWChar* b, u32 n);
int SLStrNICmpA(const char* a, const char* b, u32 n);
int SLStrNICmpW(const SLWChar* a, const SLWChar* b, u32 n);

// Target and source may be the same array. `set` null means " \t".
char* SLStrTrimLeftA(char* target, const char* source, const char* set);
SLWChar* SLStrTrimLeftW(SLWChar* target, const SLWChar* source, const SLWChar* set);
char* SLStrTrimRightA(char* target, const char* source, const char* set);
SLWChar* SLStrTrimRightW(SLWChar* target, const SLWChar* source, const SLWChar* set);
char* SLStrTrimA(char* target, const char* source, const char* set);
SLWChar* SLStrTrimW(SLWChar* target, const SLWChar* source, const SLWChar* set);
// Writes the source without the `count` characters that begin at `index`; index + count
// saturates at the source's length.
char* SLStrCopyCutA(char* target, const char* source, u32 index, u32 count);
SLWChar* SLStrCopyCutW(SLWChar* target, const SLWChar* source, u32 index, u32 count);

// Allocated with SLAlloc; the caller frees with SLFree. Null when memory is exhausted.
char* SLStrAllocA(u32 n);
SLWChar* SLStrAllocW(u32 n);
char* SLStrDupA(const char* source, bool emptyForNull);
SLWChar* SLStrDupW(const SLWChar* source, bool emptyForNull);

// Text to number. `length` bounds the characters examined; `base` is 2..36 (there is no
// automatic base); `end` (optional) receives where reading stopped.
i32 SLStrToIntA(const char* text, u32 length, u32 base, const char** end);
i32 SLStrToIntW(const SLWChar* text, u32 length, u32 base, const SLWChar** end);
u32 SLStrToUIntA(const char* text, u32 length, u32 base, const char** end);
u32 SLStrToUIntW(const SLWChar* text, u32 length, u32 base, const SLWChar** end);
// Correctly rounded (nearest, ties to even). `decimalPoint` null or empty means ".".
double SLStrToDoubleA(const char* text, u32 length, const char* decimalPoint, const char** end);
double SLStrToDoubleW(const SLWChar* text, u32 length, const SLWChar* decimalPoint,
                      const SLWChar** end);

// IEEE 754 binary64 taken apart and built (exponent = field - 1023; out pointers optional).
void SLSplitDouble(double value, u32* negative, u32* fractionLow, u32* fractionHigh, i32* exponent);
double SLMakeDouble(u32 negative, u32 fractionLow, u32 fractionHigh, i32 exponent);
int SLIsInfinite(double value);  // 0, 1 for +infinity, -1 for -infinity
int SLIsNaN(double value);       // 0, 1 with the sign bit clear, -1 with it set
