// What the module resource storage shares with its NE and PE parsers: the entry each
// parser lists, and the small readers they have in common.
#pragma once

#include "foundation/SLArray.h"
#include "storage/SLBaseStorage.h"

namespace SLInternals {

struct SLResourceEntry {
  SLWChar* type;  // "#14", or " NAME" for a textual type
  SLWChar* name;
  u64 offset;
  u32 size;
  u32 language;  // LANGID: primary in bits 0-9, sublanguage in bits 10-15
  u32 codePage;
};

namespace SLModuleResources {

// "#" + the decimal id.
SLWChar* MakeIdText(u32 id);
// " " + the name, for textual names (the space keeps them apart from "#" ids).
SLWChar* MakeNameText(const SLWChar* name, u32 length);
void FreeEntryTexts(SLResourceEntry& e);
// Reads exactly `count` bytes at `offset` of the source; false keeps the source's code.
bool ReadAt(CSLBaseStorage* source, u64 offset, void* buffer, u32 count);

// The parsers add the module's entries, unsorted and unchecked against the source's size;
// false leaves the code of the failure (0x8002001d for a damaged table).
bool ReadNE(CSLBaseStorage* source, u32 newHeader, TSLArray<SLResourceEntry>* entries);
// *kind: 2 for PE32, 3 for PE32+.
bool ReadPE(CSLBaseStorage* source, u32 newHeader, u64 size, u32* kind, TSLArray<SLResourceEntry>* entries);

}  // namespace SLModuleResources
}  // namespace SLInternals
