// Pack attach on arbitrary bytes, then a full listing of every directory and a read of every
// entry in uneven pieces: no crash, no read beyond the entry, and consistent position and size.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "storage/SLFastFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

namespace {

void Walk(CSLFastFileStorage& pack, const std::u16string& directory, int depth, std::vector<std::u16string>* files) {
  if (depth > 8) return;
  std::vector<std::pair<std::u16string, bool>> entries;
  for (SLStorageFindRecord* r = pack.FindFirstW((directory + u"*").c_str()); r; r = pack.FindNextW())
    entries.emplace_back(r->nameW, (r->flags & SL_FIND_DIRECTORY) != 0);
  for (auto& [name, isDirectory] : entries) {
    if (name == u"..") continue;
    if (isDirectory)
      Walk(pack, directory + name + u"/", depth + 1, files);
    else
      files->push_back(directory + name);
  }
  // The 8-bit listing of the same directory must not fail differently.
  for (SLStorageFindRecord* r = pack.FindFirstA("*"); r; r = pack.FindNextA()) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  if (size > (1 << 20)) return 0;
  auto* source = new CSLMemoryStorage();
  std::vector<uint8_t> copy(data, data + size);
  source->AttachBuffer(copy.data(), uint32_t(copy.size()), false);
  CSLFastFileStorage pack;
  if (pack.AttachContainer(source)) {
    std::vector<std::u16string> files;
    Walk(pack, u"", 0, &files);
    std::vector<uint8_t> buffer(4099);
    for (const auto& file : files) {
      if (!pack.OpenW(file.c_str(), 1)) continue;
      u64 entrySize = 0, position = 0, total = 0;
      pack.GetSize(&entrySize);
      for (u64 piece = 1; total < entrySize && piece < 64; piece = piece * 3 + 1) {
        u64 got = pack.Read(buffer.data(), piece > buffer.size() ? buffer.size() : piece);
        if (got == 0) break;
        total += got;
      }
      pack.GetPosition(&position);
      if (position != total || total > entrySize) std::abort();
    }
  }
  pack.AttachContainer(nullptr);
  source->Release();
  return 0;
}
