// The kind adapter every catalogue list is made with: how the list code reads a record's
// class and name, destroys a record and registers the list's exit clean-up, for a record
// type that starts with a CatalogEntry and carries `itemClass`, `name` and `exitFlag`.
#pragma once

#include "adventure/catalog/CatalogList.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

template <class Record, void (*Destruct)(Record*), CatalogList* List>
struct TCatalogKind {
  static const char* GetClass(const CatalogEntry* entry) { return Of(entry)->itemClass.CStr(); }
  static const char* GetName(const CatalogEntry* entry) { return Of(entry)->name.CStr(); }
  // The record leaves with the list's exit flag, so its clean-up knows whether the
  // devices it used are still there; the caller's error code stays as it was.
  static void Destroy(CatalogEntry* entry, u32 exitFlag) {
    SLErrorKeeper keep;
    auto* record = static_cast<Record*>(entry);
    record->exitFlag = exitFlag;
    Destruct(record);
    SLFree(record);
  }
  static bool RegisterExit() { return TCatalogExitCleanup<List>::Register(); }

  static constexpr CatalogKind kKind{&GetClass, &GetName, &Destroy, &RegisterExit};

 private:
  // The text fields' accessors are not const.
  static Record* Of(const CatalogEntry* entry) { return const_cast<Record*>(static_cast<const Record*>(entry)); }
};
