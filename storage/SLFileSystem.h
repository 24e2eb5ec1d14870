// The directory operations and searches of the file storage (members of CSLFileStorage,
// defined in SLFileSystem.cpp) and the free functions they share with the platform's
// find wrappers.
#pragma once

#include "platform/winfile.h"
#include "storage/SLFileStorage.h"

// Pattern check of the searches: not null or empty, wildcards only in the last component.
bool SLIsValidFindPatternA(const char* pattern);
bool SLIsValidFindPatternW(const SLWChar* pattern);
// Converts find data between the widths (system 8-bit code page <-> UTF-16).
void SLFindDataWToA(const WIN32_FIND_DATAW* source, WIN32_FIND_DATAA* target);
void SLFindDataAToW(const WIN32_FIND_DATAA* source, WIN32_FIND_DATAW* target);
