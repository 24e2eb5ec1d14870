// Writes fast data packs ("Fast Data File." + 0x1A, versions 2 and 3): header, directory,
// CRC-32 and entry data, with the data optionally XORed with the pack's key.
//
// Layout written (the reader only follows offsets, so any order would do):
//   version 2: magic, u16 0x6B54, u16 2, u16 count, u32 key, entries {8-bit name, 0, u32 offset,
//              u32 size}, entry data, u32 CRC-32 of every byte before it;
//   version 3: magic, u16 0x6B54, u16 3, u32 count, u32 key, entries {UTF-16LE name, 0 unit,
//              u64 offset, u64 size, u32 extra}, u32 CRC-32 of header and directory, entry data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace slpack {

struct PackEntry {
  std::u16string name;         // path with "/" (or "\") separators
  std::vector<uint8_t> data;   // stored after the directory (XORed with the key)
  bool raw = false;            // true: no data; offset and size are written as given
  uint64_t offset = 0;
  uint64_t size = 0;
  uint32_t extra = 0;          // version 3 only
};

class PackWriter {
 public:
  PackWriter(uint16_t version, uint32_t key) : m_version(version), m_key(key) {}

  // A file with its bytes. Names are UTF-8 here; version 2 takes only characters up to U+00FF.
  void AddFile(const std::string& name, std::vector<uint8_t> data, uint32_t extra = 0);
  void AddFile(const std::u16string& name, std::vector<uint8_t> data, uint32_t extra = 0);
  // An entry whose offset and size are written as given (directory-only names, entries
  // pointing outside the pack).
  void AddRaw(const std::u16string& name, uint64_t offset, uint64_t size, uint32_t extra = 0);
  // Every regular file under `folder`, in sorted path order, named by its relative path.
  bool AddFolder(const std::filesystem::path& folder, std::string* error);

  // The whole pack; false with a message when a name or size does not fit the version.
  bool Build(std::vector<uint8_t>* out, std::string* error) const;

  size_t EntryCount() const { return m_entries.size(); }

 private:
  uint16_t m_version;
  uint32_t m_key;
  std::vector<PackEntry> m_entries;
};

// UTF-8 to UTF-16 (invalid sequences become U+FFFD).
std::u16string Utf8ToUtf16(const std::string& text);
// The key byte that data byte `position` of an entry is XORed with.
inline uint8_t KeyByte(uint32_t key, uint64_t position) { return uint8_t(key >> (8 * (position % 4))); }
bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace slpack
