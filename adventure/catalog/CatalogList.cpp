#include "adventure/catalog/CatalogList.h"

#include <cstring>

#include "foundation/SLDigest.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLStr.h"
#include "foundation/SLThread.h"

bool operator==(const ItemId& a, const ItemId& b) { return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0; }

bool ItemId_Compute(ItemId* out, const char* const* fields, u32 count) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  CSLDigestAlgorithmSecureHash sha;
  if (!sha.InitializeAlgorithm(CSLDigestAlgorithmSecureHash::SHA1, nullptr, 0)) return false;
  u8 chunk[256];
  u32 used = 0;
  for (u32 f = 0; f < count; ++f) {
    for (const char* p = fields[f]; p && *p; ++p) {
      if (u8(*p) >= 0x80) continue;
      chunk[used++] = u8(*p);
      if (used == sizeof chunk) {
        if (!sha.Update(chunk, used)) return false;
        used = 0;
      }
    }
  }
  if ((used && !sha.Update(chunk, used)) || !sha.Finalize()) return false;
  std::memcpy(out->bytes, sha.GetDigest(), sizeof out->bytes);
  return SLSucceed(true);
}

namespace {
CatalogEntry* EntryOf(CatalogLink* link) { return SLListElement<CatalogEntry>(link, offsetof(CatalogEntry, link)); }
const CatalogEntry* EntryOf(const CatalogLink* link) {
  return SLListElement<CatalogEntry>(link, offsetof(CatalogEntry, link));
}
// A list never used yet still has null links.
bool IsEmpty(const CatalogList* list) { return !list->head.next || list->head.IsEmpty(); }
}  // namespace

CatalogEntry* CatalogList_GetAt(CatalogList* list, u32 index) {
  if (!list) return SLFail(SL_E_NULL_DATA, static_cast<CatalogEntry*>(nullptr));
  if (IsEmpty(list)) return SLFail(SL_E_INDEX, static_cast<CatalogEntry*>(nullptr));
  for (CatalogLink* link : SLListWalk(&list->head))
    if (index-- == 0) return SLSucceed(EntryOf(link));
  return SLFail(SL_E_INDEX, static_cast<CatalogEntry*>(nullptr));
}

i32 CatalogList_FindById(const CatalogList* list, const ItemId& id) {
  if (!list) return SLFail(SL_E_NULL_DATA, -1);
  if (IsEmpty(list)) return SLFail(SL_E_NOT_FOUND, -1);
  i32 position = 0;
  for (const CatalogLink* link : SLListWalk(&list->head)) {
    if (EntryOf(link)->id == id) return SLSucceed(position);
    ++position;
  }
  return SLFail(SL_E_NOT_FOUND, -1);
}

bool CatalogList_Insert(CatalogList* list, CatalogEntry* entry) {
  if (!list || !entry) return SLFail(SL_E_NULL_DATA, false);
  if (!list->kind->registerExit()) return false;
  if (!list->head.next) list->head.InitEmpty();
  const char* itemClass = list->kind->getClass(entry);
  const char* name = list->kind->getName(entry);
  CatalogLink* before = &list->head;
  for (CatalogLink* link : SLListWalk(&list->head)) {
    const CatalogEntry* other = EntryOf(link);
    const int byClass = SLStrICmpA(list->kind->getClass(other), itemClass);
    const int order = byClass != 0 ? byClass : SLStrICmpA(list->kind->getName(other), name);
    if (order == 0) return SLFail(SL_E_ALREADY_EXISTS, false);
    if (order > 0) {
      before = link;
      break;
    }
  }
  // Names that differ only in bytes from 0x80 up share an identity; a saved project
  // could not tell them apart, so the second is refused like a duplicate.
  if (CatalogList_FindById(list, entry->id) >= 0) return SLFail(SL_E_ALREADY_EXISTS, false);
  entry->link.InsertBefore(before);
  return SLSucceed(true);
}

void CatalogList_Free(CatalogList* list) {
  if (!list) return;
  SLErrorKeeper keep;
  while (!IsEmpty(list)) {
    CatalogLink* first = list->head.next;
    first->Unlink();
    list->kind->destroy(EntryOf(first), list->exitFlag);
  }
}

bool CatalogLoader_StopRequested(CSLThread* thread) {
  return thread && SLWaitForSingleObject(thread->GetStopEvent(), 0) == 0;
}
