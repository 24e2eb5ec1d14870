#include "media/reader/SLBaseVideoAudioReader.h"

#include "foundation/SLArray.h"
#include "foundation/SLClassWalk.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "storage/SLFileStorage.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS(CSLBaseVideoAudioReader, CSLObject)

CSLBaseVideoAudioReader::CSLBaseVideoAudioReader() : m_source(nullptr) {}

CSLBaseVideoAudioReader::~CSLBaseVideoAudioReader() { ReleaseSource(); }

void CSLBaseVideoAudioReader::HoldSource(CSLBaseStorage* storage) {
  // The new reference first: the old one may be the last on the same storage.
  if (storage) storage->AddRef();
  ReleaseSource();
  m_source = storage;
}

void CSLBaseVideoAudioReader::ReleaseSource() {
  if (!m_source) return;
  SLErrorKeeper keep;
  CSLBaseStorage* source = m_source;
  m_source = nullptr;
  source->Release();
}

bool CSLBaseVideoAudioReader::ReadRawFrame(u32, u64, void*, u64* size) {
  if (size) *size = 0;
  return SLFail(SL_E_NOT_SUPPORTED, false);
}

u32 CSLBaseVideoAudioReader::GetSignatureSize() { return SLSucceed(0u); }

bool CSLBaseVideoAudioReader::CheckSignature(const void*, u32) { return SLSucceed(false); }

const char* CSLBaseVideoAudioReader::GetExtensionA(u32) {
  return SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLBaseVideoAudioReader::GetExtensionW(u32) {
  return SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}

bool CSLBaseVideoAudioReader::OpenFile(const char* path, u32 flags) {
  CSLFileStorage* storage = new CSLFileStorage();
  if (!storage) return SLFail(SL_E_OUT_OF_MEMORY, false);
  // Open takes its own reference; ours goes either way, which destroys the storage
  // when Open failed (or never ran).
  const bool opened = storage->OpenA(path, 0) && Open(storage, flags);
  {
    SLErrorKeeper keep;
    storage->Release();
  }
  return opened ? SLSucceed(true) : false;
}

namespace {

// Builds each candidate class in the caller's scratch memory to ask it for its
// extensions, then destroys it again without freeing the memory.
bool ClassHasExtension(const SLClassRecord* record, void* scratch, const char* extension) {
  CSLObject* object = SLCallFactoryGuarded(record, scratch);
  if (!object) return false;
  auto* reader = static_cast<CSLBaseVideoAudioReader*>(object);
  bool match = false;
  for (u32 index = 0; !match; ++index) {
    const char* candidate = reader->GetExtensionA(index);
    if (!candidate) break;
    match = SLStrICmpA(candidate, extension) == 0;
  }
  object->DeletingDtor(0);
  return match;
}

}  // namespace

const SLClassRecord* CSLBaseVideoAudioReader::FindReaderClassByExtension(const char* path) {
  using Record = const SLClassRecord*;
  if (!path) return SLFail(SL_E_NULL_DATA, Record(nullptr));
  const SLPathExtensionA extension(path);
  if (!extension.IsValid()) return Record(nullptr);

  const SLClassRecord* base = GetClassRecord();
  const u32 largest = SLLargestDerivedClassSize(base);
  if (largest == 0) return SLFail(SL_E_NOT_FOUND, Record(nullptr));
  TSLAutoPtr<void> scratch(SLAlloc(largest));
  if (!scratch) return SLFail(SL_E_OUT_OF_MEMORY, Record(nullptr));

  Record found = SLFindDerivedClass(base, [&](Record record) {
    return ClassHasExtension(record, scratch.Get(), extension.WithoutDot());
  });
  return found ? SLSucceed(found) : SLFail(SL_E_NOT_FOUND, Record(nullptr));
}
