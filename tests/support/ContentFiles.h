// What the content tests share: where the built content and the generator are, and a
// reader for the packs in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/SLByteOrder.h"
#include "storage/SLFastFileStorage.h"
#include "tools/slpack/PackWriter.h"

namespace content_test {

namespace fs = std::filesystem;
inline const std::string kContent = std::string(SL_BINARY_DIR) + "/content";
inline const std::string kGenerator = std::string(SL_BINARY_DIR) + "/tools/contentgen/contentgen";

// The program's 8-bit paths are Windows-1252; every name here stays below U+0100.
inline std::string Narrow(const std::string& utf8) {
  std::string out;
  for (char16_t c : slpack::Utf8ToUtf16(utf8)) out.push_back(char(c));
  return out;
}

inline std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Pack {
  explicit Pack(const std::string& path) {
    attached = storage.AttachFile(Narrow(path).c_str(), false, SL_STORAGE_READ | SL_STORAGE_SHARE_READ);
    const std::string head = Read(path).substr(0, 28);
    version = SLLoadLE16(reinterpret_cast<const u8*>(head.data()) + 18);
    key = version == 3 ? SLLoadLE32(reinterpret_cast<const u8*>(head.data()) + 24)
                       : SLLoadLE32(reinterpret_cast<const u8*>(head.data()) + 22);
  }
  bool Open(const std::string& name) { return storage.OpenW(slpack::Utf8ToUtf16(name).c_str(), SL_STORAGE_READ); }
  std::string Bytes(const std::string& name) {
    u64 size = 0;
    if (!Open(name) || !storage.GetSize(&size)) return {};
    std::string out(size, '\0');
    return storage.Read(out.data(), size) == size ? out : std::string();
  }
  CSLFastFileStorage storage;
  bool attached = false;
  u32 version = 0, key = 0;
};

}  // namespace content_test
