// Module files from outside: attach, list every type, open and read every resource.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/SLMemoryStorage.h"
#include "storage/SLResourceStorage.h"
#include "storage/StorageClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  if (size > (1u << 20)) return 0;
  std::vector<std::uint8_t> bytes(data, data + size);
  CSLMemoryStorage memory;
  if (!memory.AttachBuffer(bytes.empty() ? nullptr : bytes.data(), std::uint32_t(bytes.size()), false)) return 0;
  CSLResourceStorage storage;
  if (!storage.AttachContainer(&memory)) return 0;
  std::vector<std::vector<char16_t>> types;
  for (auto* r = storage.FindFirstW(u"*"); r; r = storage.FindNextW()) {
    std::vector<char16_t> name;
    for (const char16_t* p = r->nameW; *p; ++p) name.push_back(*p);
    types.push_back(name);
  }
  char buffer[4096];
  for (auto& type : types) {
    std::vector<char16_t> pattern = type;
    pattern.push_back(u'/');
    pattern.push_back(u'*');
    pattern.push_back(0);
    std::vector<std::vector<char16_t>> paths;
    for (auto* r = storage.FindFirstW(pattern.data()); r; r = storage.FindNextW()) {
      if (r->nameW[0] == u'.' && r->nameW[1] == u'.') continue;
      std::vector<char16_t> path = type;
      path.push_back(u'/');
      for (const char16_t* p = r->nameW; *p; ++p) path.push_back(*p);
      path.push_back(0);
      paths.push_back(path);
      if (paths.size() > 64) break;
    }
    for (auto& path : paths) {
      if (!storage.OpenW(path.data(), 1)) continue;
      while (storage.Read(buffer, sizeof buffer) == sizeof buffer) {
      }
      storage.Seek(-3, 2);
      storage.Read(buffer, 10);
      storage.Close();
    }
  }
  storage.AttachContainer(nullptr);
  return 0;
}
