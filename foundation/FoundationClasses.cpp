#include "foundation/FoundationClasses.h"

#include "foundation/SLArray.h"
#include "foundation/SLDebug.h"
#include "foundation/SLObject.h"

void SLRegisterFoundationClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      nullptr,
      &CSLCircularBuffer::s_classRecord,
      &CSLEnumerateModuleList::s_classRecord,
  };
  for (const SLClassRecord* record : records)
    if (record) SLRegisterClass(record);
}
