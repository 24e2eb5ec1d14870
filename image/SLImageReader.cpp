#include "image/SLImageReader.h"

#include "foundation/SLArray.h"
#include "foundation/SLClassWalk.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLBaseImageReader, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSLBaseImageWriter, CSLObject)

bool CSLBaseImageReader::Read(CSLImageArray*, CSLBaseStorage*, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
u32 CSLBaseImageReader::GetHeaderSize() { return SLSucceed(0u); }
bool CSLBaseImageReader::IsFormat(const u8*, u32) { return SLSucceed(false); }
const char* CSLBaseImageReader::GetExtensionA(u32) { return SLFail(SL_E_INDEX, static_cast<const char*>(nullptr)); }
const SLWChar* CSLBaseImageReader::GetExtensionW(u32) {
  return SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}

bool CSLBaseImageWriter::Write(CSLImageArray*, CSLBaseStorage*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
const char* CSLBaseImageWriter::GetExtensionA(u32) { return SLFail(SL_E_INDEX, static_cast<const char*>(nullptr)); }
const SLWChar* CSLBaseImageWriter::GetExtensionW(u32) {
  return SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}

namespace {

using Record = const SLClassRecord*;

// Calls visit(reader) for every registered reader class, newest first, each built in
// place in one scratch block large enough for the largest; stops at the first class for
// which visit answers true and returns its record.
template <class Visit>
Record VisitReaders(Visit visit) {
  const SLClassRecord* base = CSLBaseImageReader::GetClassRecord();
  const u32 largest = SLLargestDerivedClassSize(base);
  if (largest == 0) return nullptr;
  CSLMemoryStorage scratch(true, 4096);
  if (!scratch.SetSize(largest)) return nullptr;
  void* memory = scratch.GetDataPointer();
  if (!memory) return nullptr;
  return SLFindDerivedClass(base, [&](Record record) {
    CSLObject* object = SLCallFactoryGuarded(record, memory);
    if (!object) return false;
    const bool chosen = visit(static_cast<CSLBaseImageReader*>(object));
    object->DeletingDtor(0);
    return chosen;
  });
}

}  // namespace

const SLClassRecord* CSLBaseImageReader::FindReaderClassByContent(CSLBaseStorage* storage) {
  if (!storage) return SLFail(SL_E_NULL_DATA, Record(nullptr));
  TSLObjPtr<CSLBaseStorage> hold(storage);
  u64 size = 0, start = 0;
  if (!storage->GetSize(&size) || !storage->GetPosition(&start)) return Record(nullptr);

  u32 headerSize = 0;
  VisitReaders([&](CSLBaseImageReader* reader) {
    const u32 wanted = reader->GetHeaderSize();
    if (wanted > headerSize) headerSize = wanted;
    return false;
  });
  if (headerSize > 256) headerSize = 256;
  u8 header[256];
  const u32 got = headerSize ? u32(storage->Read(header, headerSize)) : 0;
  const Record chosen = VisitReaders([&](CSLBaseImageReader* reader) { return reader->IsFormat(header, got); });
  if (storage->CanSeek()) storage->Seek(i64(start), SL_SEEK_BEGIN);
  return chosen ? SLSucceed(chosen) : SLFail(SL_E_NOT_FOUND, Record(nullptr));
}

const SLClassRecord* CSLBaseImageReader::FindReaderClassByExtension(const char* fileName) {
  if (!fileName) return SLFail(SL_E_NULL_DATA, Record(nullptr));
  const SLPathExtensionA extension(fileName);
  if (!extension.IsValid()) return Record(nullptr);
  const Record chosen = VisitReaders([&](CSLBaseImageReader* reader) {
    for (u32 index = 0;; ++index) {
      const char* candidate = reader->GetExtensionA(index);
      if (!candidate) return false;
      if (SLStrICmpA(candidate, extension.WithoutDot()) == 0) return true;
    }
  });
  return chosen ? SLSucceed(chosen) : SLFail(SL_E_NOT_FOUND, Record(nullptr));
}

bool SLValidateImageArrayForWrite(const CSLImageArray* images) {
  if (!images || images->GetCount() == 0) return SLFail(SL_E_IMAGE_ARRAY_EMPTY, false);
  for (u32 i = 0; i < images->GetCount(); ++i) {
    CSLImage* image = (*images)[i];
    if (!image) return SLFail(SL_E_IMAGE_MISSING, false);
    SLImageInfo info{};
    image->GetInfo(&info);
    if (info.format < SL_IMAGE_FORMAT_PALETTE || info.format > SL_IMAGE_FORMAT_LAST) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
    if (info.width == 0 || info.height == 0) return SLFail(SL_E_IMAGE_EMPTY, false);
    if (!info.pixels && !info.blockData) return SLFail(SL_E_IMAGE_NO_PIXELS, false);
  }
  return SLSucceed(true);
}

bool SLRunImageRead(CSLImageArray* images, CSLBaseStorage* storage, u32 flags,
                    bool (*decode)(CSLImageArray* images, CSLBaseStorage* storage, u32 flags)) {
  if (!images) return SLFail(SL_E_NULL_OUTPUT, false);
  images->RemoveAll();
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  if (!decode(images, storage, flags)) {
    SLErrorKeeper keep;
    images->RemoveAll();
    return false;
  }
  return SLSucceed(true);
}

CSLImage* SLAppendNewImage(CSLImageArray* images) {
  CSLImage* image = images->CreateElement(nullptr);
  if (!image) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLImage*>(nullptr));
  const bool added = images->Add(image);
  image->Release();
  return added ? image : nullptr;
}
