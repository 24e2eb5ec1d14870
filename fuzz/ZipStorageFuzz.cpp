// The ZIP storage over arbitrary archive bytes held in a block of exactly their size:
// attach, list, open every entry with and without a password, read, seek back, read again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "storage/StorageClasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  if (size == 0 || size > (1u << 20)) return 0;
  std::vector<u8> bytes(data, data + size);
  CSLMemoryStorage source;
  source.AttachBuffer(bytes.data(), static_cast<u32>(bytes.size()), false);
  CSLZipFileStorage zip;
  if (!zip.AttachContainer(&source)) return 0;
  zip.GetComment();
  std::vector<std::u16string> paths;
  // Walk the whole tree breadth-first through listings.
  std::vector<std::u16string> directories = {u""};
  for (size_t d = 0; d < directories.size() && d < 64; ++d) {
    std::vector<char16_t> pattern(directories[d].begin(), directories[d].end());
    pattern.push_back(u'*');
    pattern.resize((pattern.size() + 4) & ~size_t(3), 0);
    for (SLStorageFindRecord* r = zip.FindFirstW(pattern.data()); r != nullptr; r = zip.FindNextW()) {
      const std::u16string name = r->nameW;
      if (name == u"..") continue;
      const std::u16string path = directories[d] + name;
      if (r->flags & SL_FIND_DIRECTORY) {
        directories.push_back(path + u"/");
      } else {
        paths.push_back(path);
      }
      if (paths.size() > 64) break;
    }
  }
  std::vector<u8> buffer(4096);
  for (int withPassword = 0; withPassword < 2; ++withPassword) {
    zip.SetPassword(reinterpret_cast<const u8*>("clave"), withPassword ? 5 : 0);
    for (const std::u16string& path : paths) {
      // The path in whole zero-filled words, as framework strings are kept.
      std::vector<char16_t> units(path.begin(), path.end());
      units.resize((units.size() + 4) & ~size_t(3), 0);
      if (!zip.OpenW(units.data(), 0)) continue;
      u64 total = 0;
      for (int i = 0; i < 64; ++i) {
        const u64 got = zip.Read(buffer.data(), buffer.size());
        total += got;
        if (got < buffer.size()) break;
      }
      zip.Seek(0, SL_SEEK_BEGIN);
      zip.Read(buffer.data(), buffer.size());
      zip.Seek(i64(total / 2), SL_SEEK_BEGIN);
      zip.Read(buffer.data(), 100);
      zip.Close();
    }
  }
  zip.AttachContainer(nullptr);
  return 0;
}
