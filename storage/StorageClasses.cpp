#include "storage/StorageClasses.h"

#include "foundation/FoundationClasses.h"
#include "foundation/SLObject.h"
#include "storage/SLCompress.h"
#include "storage/SLCompressBZIP2.h"
#include "storage/SLCompressLZW.h"
#include "storage/SLCompressZIP.h"

void SLRegisterStorageClasses() {
  SLRegisterFoundationClasses();
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      nullptr,
      CSLBaseCompress::GetClassRecord(),
      CSLCompressZIP::GetClassRecord(),
      CSLCompressBZIP2::GetClassRecord(),
      CSLCompressLZW::GetClassRecord(),
  };
  for (const SLClassRecord* record : records)
    if (record) SLRegisterClass(record);
}
