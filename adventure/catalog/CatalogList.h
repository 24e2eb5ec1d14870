// The catalogue lists: every background, object and character an item pack provided,
// one process-wide list per kind, kept sorted by class and then name (both compared
// without letter case in the system code page). The list position is the item's index
// at run time; the 20-byte identity is how saved projects find the item again.
//
// A list is circular and doubly linked through a link that every record carries right
// after its identity. The lists take no lock: the loader thread fills them while the main
// thread leaves them alone, and the main thread uses them once loading has ended.
#pragma once

#include "foundation/SLIntrusiveList.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLTypes.h"

// SHA-1 over text fields of the item description (see ItemId_Compute).
struct ItemId {
  u8 bytes[20];
};
bool operator==(const ItemId& a, const ItemId& b);

// The identity of an item: the bytes below 0x80 of each 8-bit field in turn, with
// nothing between the fields. Bytes from 0x80 up never enter it, so stored projects
// keep finding items whatever code page their names were written in.
bool ItemId_Compute(ItemId* out, const char* const* fields, u32 count);

struct CatalogLink : TSLListLink<CatalogLink> {};

// The start of every catalogue record.
struct CatalogEntry {
  ItemId id;
  CatalogLink link;
};

// What the list code needs to know of one kind of record.
struct CatalogKind {
  const char* (*getClass)(const CatalogEntry* entry);
  const char* (*getName)(const CatalogEntry* entry);
  // Destroys a record that is in no list, with that exit flag, and frees its memory.
  void (*destroy)(CatalogEntry* entry, u32 exitFlag);
  // Registers the list's process-exit clean-up (once; later calls only answer).
  bool (*registerExit)();
};

struct CatalogList {
  CatalogLink head;  // head.next is the first record; the list is empty when it points at head
  u32 exitFlag;      // 1 once the process-exit clean-up has begun: records leave the devices alone
  const CatalogKind* kind;
};

// The record at a 0-based position, null past the end.
CatalogEntry* CatalogList_GetAt(CatalogList* list, u32 index);
// The position of the record with that identity, -1 when none.
i32 CatalogList_FindById(const CatalogList* list, const ItemId& id);
// Links the record in at its sorted place. A record with the same class and name, or the
// same identity, is already there: 0x80010006, the list unchanged and the record still
// the caller's.
bool CatalogList_Insert(CatalogList* list, CatalogEntry* entry);
// Unlinks and destroys every record, first to last, each taking the list's exit flag.
void CatalogList_Free(CatalogList* list);

// The exit clean-up of one list: registered with the singleton registry when the list
// gets its first record, so it runs after the program's devices are gone (never from a
// static destructor, whose order against the devices is not fixed). Records are freed
// to the framework heap, whose singleton goes later.
inline constexpr i16 kCatalogExitPriority = -64;

template <CatalogList* List>
class TCatalogExitCleanup : public CSLBaseOODClass {
 public:
  ~TCatalogExitCleanup() override {
    List->exitFlag = 1;
    CatalogList_Free(List);
  }
  static bool Register() { return SLGetSingleton(s_instance, kCatalogExitPriority) != nullptr; }

 private:
  static inline TCatalogExitCleanup* s_instance = nullptr;
};

class CSLThread;
// The loaders' poll of the loader thread's stop request (false for a null thread).
bool CatalogLoader_StopRequested(CSLThread* thread);
