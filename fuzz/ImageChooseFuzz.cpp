// The reader choice by content on arbitrary bytes, then a read by the chosen reader.
#include "fuzz/ImageReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::Setup();
  std::vector<uint8_t> copy(data, data + size);
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(copy.data(), uint32_t(copy.size()), false);
  const SLClassRecord* record = CSLBaseImageReader::FindReaderClassByContent(storage);
  storage->Release();
  if (!record) return 0;
  CSLObject* object = SLCallGuarded(record);
  image_fuzz::Check(object && object->IsKindOf(CSLBaseImageReader::GetClassRecord()));
  image_fuzz::ReadWith(static_cast<CSLBaseImageReader*>(object), data, size);
  object->Release();
  return 0;
}
