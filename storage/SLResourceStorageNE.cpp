// The resource table of 16-bit (NE) modules.
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLTextConvert.h"
#include "storage/SLResourceStorage.h"
#include "storage/SLResourceStorageInternal.h"

namespace SLInternals::SLModuleResources {

// The resource table of an NE module: an alignment shift, then for each type its id,
// its count and a 12-byte record per resource (offset and length in units of the shift,
// flags, and either an id with the top bit set or the offset of a length-prefixed name).
// Only the standard resource types are listed.
bool ReadNE(CSLBaseStorage* source, u32 newHeader, TSLArray<SLResourceEntry>* entries) {
  u8 ne[64];
  if (!ReadAt(source, newHeader, ne, 64)) return SLFail(SL_E_BAD_CONTAINER, false);
  u64 tableStart = u64(newHeader) + SLLoadLE16(ne + 36);
  u64 tableEnd = u64(newHeader) + SLLoadLE16(ne + 38);
  if (tableEnd < tableStart || tableEnd - tableStart <= 6) return SLFail(SL_E_BAD_CONTAINER, false);
  u32 tableSize = u32(tableEnd - tableStart);
  auto* table = static_cast<u8*>(SLAlloc(tableSize));
  if (!table) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> tableOwner(table);
  if (!ReadAt(source, tableStart, table, tableSize)) return false;
  // The alignment shift scales every offset; a shift that does not fit 32 bits, or an
  // offset it pushes past 64 bits, cannot come from a real module.
  u32 shift = SLLoadLE16(table);
  if (shift > 31) return SLFail(SL_E_BAD_CONTAINER, false);
  u32 at = 2;
  bool ok = true;
  while (ok && tableSize - at >= 6) {
    u32 typeId = SLLoadLE16(table + at);
    u32 count = SLLoadLE16(table + at + 2);
    at += 6;
    bool listed = (typeId >= 0x8001 && typeId <= 0x800A) || typeId == 0x800C || typeId == 0x800E;
    for (u32 i = 0; i < count && tableSize - at >= 12; ++i, at += 12) {
      if (!listed) continue;
      SLResourceEntry e{};
      e.type = MakeIdText(typeId & 0x7FFF);
      u32 idValue = SLLoadLE16(table + at + 6);
      e.offset = u64(SLLoadLE16(table + at)) << shift;
      e.size = SLLoadLE16(table + at + 2);
      if (idValue & 0x8000) {
        e.name = MakeIdText(idValue ^ 0x8000);
      } else {
        // A string offset: the name is a length byte and that many 8-bit characters.
        u32 nameAt = idValue & 0x7FFF;
        u32 length = nameAt < tableSize ? table[nameAt] : 0;
        if (length == 0 || nameAt + 1 + length > tableSize) {
          FreeEntryTexts(e);
          ok = false;
          SLSetLastError(SL_E_BAD_CONTAINER);
          break;
        }
        SLWChar wide[256];
        u32 produced = 255;
        if (!SLAnsiToWide(wide, &produced, reinterpret_cast<const char*>(table + nameAt + 1), length, 0)) {
          FreeEntryTexts(e);
          ok = false;
          break;
        }
        e.name = MakeNameText(wide, produced);
      }
      if (!e.type || !e.name || !entries->Add(e)) {
        FreeEntryTexts(e);
        ok = false;
        SLSetLastError(SL_E_OUT_OF_MEMORY);
      }
    }
  }
  return ok;
}

}  // namespace SLInternals::SLModuleResources
