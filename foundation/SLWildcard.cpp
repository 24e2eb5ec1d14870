// Wildcard matching of names ("*" any run, "?" any one character but ".") and the
// normalisation of patterns.
#include "foundation/SLWildcard.h"

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"

namespace {

inline u32 Lower(char c) { return SLToLowerA(u8(c)); }
inline u32 Lower(SLWChar c) { return SLToLowerW(c); }

template <class C>
bool Match(const C* pattern, const C* text, bool ignoreCase, bool dotRule) {
  if (!pattern || !text) return SLFail(SL_E_INVALID_ARG, false);
  const C* restartPattern = nullptr;  // the pattern after the last star
  const C* restartText = nullptr;     // where that star's run ends so far
  const C* p = pattern;
  const C* t = text;
  while (*t) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return SLSucceed(true);  // a final star takes the rest
      restartPattern = p;
      restartText = t;
      continue;
    }
    bool same;
    if (*p == '?')
      same = !(dotRule && *t == '.');
    else if (!*p)
      same = false;
    else
      same = *p == *t || (ignoreCase && Lower(*p) == Lower(*t));
    if (same) {
      ++p, ++t;
      continue;
    }
    if (!restartPattern) return SLFail(SL_E_NO_MATCH, false);
    // The last star takes one more character and the rest of the pattern tries again.
    p = restartPattern;
    t = ++restartText;
  }
  while (*p == '*') ++p;  // stars match the empty end, however many there are
  return *p ? SLFail(SL_E_NO_MATCH, false) : SLSucceed(true);
}

template <class C>
C* Normalise(C* pattern) {
  if (!pattern) return SLFail(SL_E_INVALID_ARG, static_cast<C*>(nullptr));
  C* out = pattern;
  for (const C* in = pattern; *in;) {
    if (*in != '*' && *in != '?') {
      *out++ = *in++;
      continue;
    }
    const C* run = in;
    bool hasStar = false;
    while (*in == '*' || *in == '?') hasStar |= *in++ == '*';
    if (hasStar)
      *out++ = '*';
    else
      while (run < in) *out++ = *run++;
  }
  *out = 0;
  return SLSucceed(pattern);
}

}  // namespace

bool SLWildcardMatchA(const char* pattern, const char* text, bool ignoreCase) {
  return Match(pattern, text, ignoreCase, true);
}

bool SLWildcardMatchW(const SLWChar* pattern, const SLWChar* text, bool ignoreCase) {
  return Match(pattern, text, ignoreCase, true);
}

char* SLIsWildcardPatternA(char* pattern) { return Normalise(pattern); }
SLWChar* SLIsWildcardPatternW(SLWChar* pattern) { return Normalise(pattern); }
