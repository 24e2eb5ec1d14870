#include "storage/StorageClasses.h"

#include "foundation/FoundationClasses.h"
#include "foundation/SLObject.h"
#include "storage/SLBaseStorage.h"
#include "storage/SLCompress.h"
#include "storage/SLCompressBZIP2.h"
#include "storage/SLCompressLZW.h"
#include "storage/SLCompressZIP.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileStorage.h"
#include "storage/SLFragmentStorage.h"
#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLResourceStorage.h"
#include "storage/SLZipFileStorage.h"

void SLRegisterStorageClasses() {
  SLRegisterFoundationClasses();
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      nullptr,
      CSLBaseStorage::GetClassRecord(),
      CSLFileStorage::GetClassRecord(),
      CSLMemoryStorage::GetClassRecord(),
      CSLFragmentStorage::GetClassRecord(),
      CSLFileFinder::GetClassRecord(),
      CSLFastFileStorage::GetClassRecord(),
      CSLBaseCompress::GetClassRecord(),
      CSLCompressZIP::GetClassRecord(),
      CSLCompressBZIP2::GetClassRecord(),
      CSLCompressLZW::GetClassRecord(),
      CSLZipFileStorage::GetClassRecord(),
      CSLIniFile::GetClassRecord(),
      CSLResourceStorage::GetClassRecord(),
  };
  for (const SLClassRecord* record : records)
    if (record) SLRegisterClass(record);
}
