// Walks over the registered classes derived from a base: how the readers find the one
// class that takes a file, by name, extension or content.
#pragma once

#include <cstring>

#include "foundation/SLObject.h"

// Calls visit(record) for every registered class derived from `base`, base itself left
// out, newest first; stops at the first record visit answers true for and returns it
// (null when none). The registry is read in pages of 32, so nothing is allocated.
template <class Visit>
const SLClassRecord* SLFindDerivedClass(const SLClassRecord* base, Visit&& visit) {
  constexpr u32 kPage = 32;
  const SLClassRecord* page[kPage];
  for (u32 skip = 0;; skip += kPage) {
    const u32 count = SLEnumerateClasses(page, kPage, base, skip);
    for (u32 i = 0; i < count; ++i)
      if (page[i] != base && visit(page[i])) return page[i];
    if (count < kPage) return nullptr;
  }
}

// The largest object size of the classes derived from `base` (0 when there are none):
// one scratch block of that size can hold any of them built in place.
inline u32 SLLargestDerivedClassSize(const SLClassRecord* base) {
  u32 largest = 0;
  SLFindDerivedClass(base, [&largest](const SLClassRecord* record) {
    if (record->objectSize > largest) largest = record->objectSize;
    return false;
  });
  return largest;
}

// The registered class derived from `base` named `name` (case counts), or `fallback` when
// none is: how a caller picks a class it has no link to, such as a widget of a layer above.
inline const SLClassRecord* SLFindDerivedClassByName(const SLClassRecord* base, const char* name,
                                                     const SLClassRecord* fallback) {
  const SLClassRecord* found = SLFindDerivedClass(
      base, [name](const SLClassRecord* record) { return std::strcmp(record->name, name) == 0; });
  return found ? found : fallback;
}
