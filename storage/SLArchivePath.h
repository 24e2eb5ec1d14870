// Entry paths and listing patterns of the archive storages (ZIP archives and packs), whose
// trees name entries with "/" and no leading separator.
#pragma once

#include "foundation/SLTypes.h"

namespace SLInternals {

// "\" becomes "/", runs of separators collapse to one and leading ones go, in place.
void SLNormaliseEntryPath(SLWChar* path);

// A listing pattern in the form the trees are searched with: normalised, in lower case,
// its wildcards tidied (SLIsWildcardPatternW). A pattern with a root part (a drive, a UNC
// or "\\?\" prefix) or with a wildcard before a "/" is refused (0x80000003). A new block
// (SLFree), or null with the code.
SLWChar* SLMakeEntryPattern(const SLWChar* pattern);

}  // namespace SLInternals
