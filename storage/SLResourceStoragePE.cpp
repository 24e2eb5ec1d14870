// The resource directory of 32- and 64-bit (PE32, PE32+) modules.
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "storage/SLResourceStorage.h"
#include "storage/SLResourceStorageInternal.h"

namespace SLInternals::SLModuleResources {
namespace {

struct Walker {
  CSLBaseStorage* source;
  TSLArray<SLResourceEntry>* entries;
  u64 root;            // file offset of the root directory
  u32 sectionRva;
  u64 sectionRaw;
  u64 entryLimit;      // shared subdirectories could multiply entries without end

  // A directory entry's name: a counted UTF-16 string or a numeric id.
  bool ReadName(u32 field, SLWChar** text, u32* id) {
    *text = nullptr;
    *id = 0;
    if (!(field & 0x80000000u)) {
      *id = field & 0x7FFFFFFFu;
      return true;
    }
    u8 lengthBytes[2];
    if (!ReadAt(source, root + (field & 0x7FFFFFFFu), lengthBytes, 2)) return false;
    u32 length = SLLoadLE16(lengthBytes);
    if (length > 255) length = 255;
    SLWChar chars[256];
    u8 raw[512];
    if (length && !ReadAt(source, root + (field & 0x7FFFFFFFu) + 2, raw, length * 2)) return false;
    for (u32 i = 0; i < length; ++i) chars[i] = SLWChar(SLLoadLE16(raw + 2 * i));
    *text = MakeNameText(chars, length);
    return *text ? true : SLFail(SL_E_OUT_OF_MEMORY, false);
  }

  static SLWChar* KeyText(const SLWChar* text, u32 id) {
    if (text) {
      u32 n = SLStrLenW(text);
      auto* copy = static_cast<SLWChar*>(SLAlloc((n + 1) * 2));
      if (copy) SLMemCopy(copy, text, (n + 1) * 2);
      return copy;
    }
    return MakeIdText(id);
  }

  bool Walk(u64 directory, int level, const SLWChar* typeText, u32 typeId, const SLWChar* nameText, u32 nameId) {
    u8 header[16];
    if (!ReadAt(source, root + directory, header, 16)) return false;
    u32 count = u32(SLLoadLE16(header + 12)) + SLLoadLE16(header + 14);
    if (count == 0) return true;
    u32 bytes = count * 8;
    auto* list = static_cast<u8*>(SLAlloc(bytes));
    if (!list) return false;
    TSLAutoPtr<u8> listOwner(list);
    bool ok = ReadAt(source, root + directory + 16, list, bytes);
    for (u32 i = 0; ok && i < count; ++i) {
      u32 nameField = SLLoadLE32(list + 8 * i);
      u32 dataField = SLLoadLE32(list + 8 * i + 4);
      SLWChar* text = nullptr;
      u32 id = 0;
      if (!ReadName(nameField, &text, &id)) {
        ok = false;
        break;
      }
      TSLAutoPtr<SLWChar> textOwner(text);
      if (dataField & 0x80000000u) {
        if (level == 1)
          ok = Walk(dataField & 0x7FFFFFFFu, 2, text, id, nullptr, 0);
        else if (level == 2)
          ok = Walk(dataField & 0x7FFFFFFFu, 3, typeText, typeId, text, id);
      } else if (level >= 2 && (level == 2 || !text)) {
        ok = AddLeaf(dataField, typeText, typeId, level == 2 ? text : nameText, level == 2 ? id : nameId,
                     level == 3 ? id : 0);
      }
    }
    return ok;
  }

  bool AddLeaf(u32 dataEntry, const SLWChar* typeText, u32 typeId, const SLWChar* nameText, u32 nameId,
               u32 language) {
    if (entries->GetCount() >= entryLimit) return SLFail(SL_E_BAD_CONTAINER, false);
    u8 data[16];
    if (!ReadAt(source, root + dataEntry, data, 16)) return false;
    SLResourceEntry e{};
    e.type = KeyText(typeText, typeId);
    e.name = KeyText(nameText, nameId);
    // Data RVAs below the section start would wrap; such entries fall outside the source
    // and are dropped with the others that do not lie inside it.
    u32 rva = SLLoadLE32(data);
    e.offset = rva >= sectionRva ? u64(rva - sectionRva) + sectionRaw : ~u64(0);
    e.size = SLLoadLE32(data + 4);
    e.codePage = SLLoadLE32(data + 8);
    e.language = language;
    if (!e.type || !e.name || !entries->Add(e)) {
      FreeEntryTexts(e);
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    return true;
  }
};

}  // namespace

// The resource directory of a PE32 or PE32+ module: the third data directory of the
// optional header gives its address, the section holding that address turns it into a
// file offset, and a three-level tree (type, name, language) of directories leads to the
// data entries. A module without one lists nothing.
bool ReadPE(CSLBaseStorage* source, u32 newHeader, u64 size, u32* kind, TSLArray<SLResourceEntry>* entries) {
  u8 headers[260] = {};
  if (!ReadAt(source, u64(newHeader) + 4, headers, 244)) return SLFail(SL_E_BAD_CONTAINER, false);
  const u8* file = headers;
  const u8* optional = headers + 20;
  bool plus = SLLoadLE16(optional) == 0x20B;
  if (plus && !ReadAt(source, u64(newHeader) + 4 + 244, headers + 244, 16))
    return SLFail(SL_E_BAD_CONTAINER, false);
  *kind = plus ? 3 : 2;
  u32 sectionCount = SLLoadLE16(file + 2);
  u32 optionalSize = SLLoadLE16(file + 16);
  // The resource directory is the third data directory; a header that stores fewer
  // has none, whatever bytes follow it.
  u32 directoryCount = SLLoadLE32(optional + (plus ? 108 : 92));
  u32 directoriesEnd = (plus ? 112 : 96) + 8 * 3;
  if (directoryCount < 3 || optionalSize < directoriesEnd) return true;
  u32 resourceRva = SLLoadLE32(optional + (plus ? 128 : 112));
  if (resourceRva == 0) return true;

  // Section headers follow the optional header as large as the file says it is.
  u64 sectionsAt = u64(newHeader) + 24 + optionalSize;
  u64 tableBytes = u64(sectionCount) * 40;
  if (tableBytes == 0) return true;
  auto* sections = static_cast<u8*>(SLAlloc(u32(tableBytes)));
  if (!sections) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> sectionsOwner(sections);
  if (!ReadAt(source, sectionsAt, sections, u32(tableBytes))) return false;
  const u8* taken = nullptr;
  for (u32 i = 0; i < sectionCount && !taken; ++i) {
    const u8* s = sections + 40 * i;
    u32 virtualSize = SLLoadLE32(s + 8), virtualAddress = SLLoadLE32(s + 12);
    u32 rawSize = SLLoadLE32(s + 16), rawPointer = SLLoadLE32(s + 20), characteristics = SLLoadLE32(s + 36);
    if (characteristics & 0x80) continue;
    if (u64(rawPointer) + rawSize > size) continue;
    u64 extent = virtualSize ? virtualSize : rawSize;
    if (resourceRva >= virtualAddress && resourceRva < u64(virtualAddress) + extent) taken = s;
  }
  if (!taken || SLLoadLE32(taken + 20) == 0) return true;
  Walker walker;
  walker.source = source;
  walker.entries = entries;
  walker.sectionRva = SLLoadLE32(taken + 12);
  walker.sectionRaw = SLLoadLE32(taken + 20);
  walker.root = walker.sectionRaw + (resourceRva - walker.sectionRva);
  // Every listed resource needs an 8-byte directory entry of its own in a well-formed
  // section; anything beyond that comes from directories shared to multiply entries.
  walker.entryLimit = u64(SLLoadLE32(taken + 16)) / 8 + 1;
  if (walker.root >= size) return SLFail(SL_E_BAD_CONTAINER, false);
  return walker.Walk(0, 1, nullptr, 0, nullptr, 0);
}

}  // namespace SLInternals::SLModuleResources
