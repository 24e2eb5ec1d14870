#include "storage/SLArchivePath.h"

#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLStr.h"
#include "foundation/SLWideText.h"
#include "foundation/SLWildcard.h"
#include "storage/SLPath.h"

namespace SLInternals {

void SLNormaliseEntryPath(SLWChar* path) {
  SLConvertSeparatorsW(path, 0);
  SLCollapseSeparatorsW(path);
  // Collapsing keeps the two separators of a UNC or long-path prefix; both go.
  u32 lead = 0;
  while (path[lead] == u'/') ++lead;
  if (lead != 0) std::memmove(path, path + lead, (SLTextLength(path + lead) + 1) * sizeof(SLWChar));
}

SLWChar* SLMakeEntryPattern(const SLWChar* pattern) {
  TSLAutoPtr<SLWChar> copy(SLDuplicateText(pattern, SLTextLength(pattern)));
  if (!copy) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLWChar*>(nullptr));
  SLWChar* text = copy.Get();
  if (SLGetPathPartsW(nullptr, text, SL_PATH_ROOT) != 0)
    return SLFail(SL_E_INVALID_ARG, static_cast<SLWChar*>(nullptr));
  SLNormaliseEntryPath(text);
  SLIsWildcardPatternW(text);
  SLStrLowerW(text);
  // A wildcard stands for part of one name: the directories above it must be named whole.
  bool wildcardSeen = false;
  for (const SLWChar* p = text; *p != 0; ++p) {
    if (*p == u'*' || *p == u'?') wildcardSeen = true;
    if (*p == u'/' && wildcardSeen) return SLFail(SL_E_INVALID_ARG, static_cast<SLWChar*>(nullptr));
  }
  return copy.Detach();
}

}  // namespace SLInternals
