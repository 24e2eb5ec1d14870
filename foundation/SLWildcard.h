// Wildcard matching of names and the normalisation of patterns.
#pragma once

#include "foundation/SLTypes.h"

enum : u32 {
  SL_E_NO_MATCH = 0x80060008,  // wildcard pattern does not match
};

// "*" matches any run, "?" any one character but ".". False with 0x80060008 on no match.
bool SLWildcardMatchA(const char* pattern, const char* text, bool ignoreCase);
bool SLWildcardMatchW(const SLWChar* pattern, const SLWChar* text, bool ignoreCase);
// Normalises the pattern in place (runs of "*" and "?" holding a "*" become one "*") and
// returns it; null with 0x80001001 for a null pattern.
char* SLIsWildcardPatternA(char* pattern);
SLWChar* SLIsWildcardPatternW(SLWChar* pattern);
