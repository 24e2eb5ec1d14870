#include "tools/slpack/PackReading.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLTextConvert.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"
#include "tools/common/ToolSupport.h"
#include "tools/slpack/PackWriter.h"

namespace slpack {

namespace {

namespace fs = std::filesystem;

std::string ToUtf8(const std::u16string& text) {
  if (text.empty()) return {};
  u32 size = 0;
  if (!SLWideToUtf8(nullptr, &size, text.data(), u32(text.size()), 0)) return "?";
  std::string out(size_t(size) + 1, '\0');
  if (!SLWideToUtf8(out.data(), &size, text.data(), u32(text.size()), 0)) return "?";
  out.resize(size);
  return out;
}

bool SameIgnoringCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (SLToUpperW(a[i]) != SLToUpperW(b[i])) return false;
  return true;
}

struct Found {
  std::u16string path;  // with "\" separators, as the storage takes it
  PackListing::Entry entry;
};

// The pack opened on its file, with the version and key read from its header (the
// storage keeps them to itself; the header has been checked by the time it attached).
class OpenPack {
 public:
  bool Open(const std::string& path, std::string* error, uint32_t* code) {
    const std::u16string wide = Utf8ToUtf16(path);
    if (!m_file.OpenW(wide.c_str(), SL_STORAGE_READ)) {
      *code = SLGetLastError();
      *error = "cannot open the pack";
      return false;
    }
    if (!m_pack.AttachContainer(&m_file)) {
      *code = SLGetLastError();
      *error = *code == SL_E_BAD_CONTAINER ? "not a fast data pack, or a damaged one" : "cannot read the pack";
      return false;
    }
    u8 header[28] = {};
    if (!m_file.Seek(0, SL_SEEK_BEGIN) || m_file.Read(header, sizeof header) < 26) {
      *code = SLGetLastError();
      *error = "cannot read the pack";
      return false;
    }
    version = u16(header[18] | header[19] << 8);
    const u8* key = header + (version == 2 ? 22 : 24);
    this->key = u32(key[0]) | u32(key[1]) << 8 | u32(key[2]) << 16 | u32(key[3]) << 24;
    return true;
  }

  // Every file of the pack, depth first in the pack's own order. A search holds one
  // position per storage, so a folder is listed whole before its subfolders are entered.
  bool Walk(const std::u16string& folder, const std::string& folderUtf8, std::vector<Found>* out,
            std::string* error, uint32_t* code) {
    std::vector<std::pair<std::u16string, bool>> names;
    std::vector<Found> files;
    const std::u16string pattern = folder + u"*";
    for (SLStorageFindRecord* r = m_pack.FindFirstW(pattern.c_str()); r; r = m_pack.FindNextW()) {
      std::u16string name(r->nameW);
      if (name == u"." || name == u"..") continue;
      names.emplace_back(name, (r->flags & SL_FIND_DIRECTORY) != 0);
      if (names.back().second) continue;
      Found found;
      found.path = folder + name;
      found.entry.name = folderUtf8 + ToUtf8(name);
      found.entry.size = r->size;
      found.entry.storedSize = r->storedSize;
      for (size_t i = 0; i + 1 < names.size(); ++i)
        if (!names[i].second && SameIgnoringCase(names[i].first, name)) found.entry.shadowed = true;
      files.push_back(std::move(found));
    }
    if (SLGetLastError() != SL_E_NO_MORE) {
      *code = SLGetLastError();
      *error = "cannot list the pack";
      return false;
    }
    size_t next = 0;
    for (const auto& [name, directory] : names) {
      if (!directory) {
        out->push_back(std::move(files[next++]));
        continue;
      }
      if (!Walk(folder + name + u"\\", folderUtf8 + ToUtf8(name) + "/", out, error, code)) return false;
    }
    return true;
  }

  CSLFileStorage m_file;
  CSLFastFileStorage m_pack;
  uint16_t version = 0;
  uint32_t key = 0;
};

// One entry's bytes streamed into `target` through a temporary name beside it.
bool ExtractEntry(CSLFastFileStorage& pack, const Found& found, const fs::path& target, std::string* error,
                  uint32_t* code) {
  if (!pack.OpenW(found.path.c_str(), SL_STORAGE_READ)) {
    *code = SLGetLastError();
    *error = "cannot open the entry " + found.entry.name;
    return false;
  }
  const std::string temporary = sltool::TemporaryNameBeside(target.string());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    pack.Close();
    *error = "cannot create " + target.string() + ": " + sltool::SystemError();
    return false;
  }
  static u8 buffer[1 << 20];
  uint64_t done = 0;
  bool ok = true;
  while (ok && done < found.entry.size) {
    const u64 want = std::min<uint64_t>(sizeof buffer, found.entry.size - done);
    const u64 got = pack.Read(buffer, want);
    if (got != want) {
      *code = SLGetLastError();
      *error = "the entry " + found.entry.name + " is cut short in the pack";
      ok = false;
    } else if (std::fwrite(buffer, 1, size_t(got), file) != got) {
      *error = "cannot write " + target.string() + ": " + sltool::SystemError();
      ok = false;
    }
    done += got;
  }
  pack.Close();
  if (std::fclose(file) != 0 && ok) {
    *error = "cannot write " + target.string() + ": " + sltool::SystemError();
    ok = false;
  }
  if (!ok) {
    std::remove(temporary.c_str());
    return false;
  }
  return sltool::CommitTemporary(temporary, target.string(), error);
}

}  // namespace

bool ListPack(const std::string& path, PackListing* listing, std::string* error, uint32_t* code) {
  *code = 0;
  OpenPack pack;
  std::vector<Found> found;
  if (!pack.Open(path, error, code) || !pack.Walk(u"", "", &found, error, code)) return false;
  listing->version = pack.version;
  listing->key = pack.key;
  listing->entries.clear();
  for (Found& f : found) listing->entries.push_back(std::move(f.entry));
  return true;
}

bool ExtractPack(const std::string& path, const std::string& folder, const uint32_t* expectedKey, size_t* written,
                 std::string* error, uint32_t* code) {
  *code = 0;
  *written = 0;
  std::error_code ec;
  const fs::path target = fs::path(folder).lexically_normal();
  const fs::file_status status = fs::symlink_status(target, ec);
  const bool exists = status.type() != fs::file_type::not_found;
  if (exists && !(status.type() == fs::file_type::directory && fs::is_empty(target, ec) && !ec)) {
    *error = "the output must be a new or an empty folder: " + folder;
    return false;
  }
  OpenPack pack;
  std::vector<Found> found;
  if (!pack.Open(path, error, code) || !pack.Walk(u"", "", &found, error, code)) return false;
  if (expectedKey && *expectedKey != pack.key) {
    char text[96];
    std::snprintf(text, sizeof text, "the pack's key is 0x%08X, not 0x%08X", unsigned(pack.key), unsigned(*expectedKey));
    *error = text;
    return false;
  }
  const fs::path base = target.filename().empty() ? target.parent_path() : target;
  const fs::path temporary = sltool::TemporaryNameBeside(base.string());
  if (!fs::create_directory(temporary, ec)) {
    *error = "cannot create a folder beside " + folder + ": " + ec.message();
    return false;
  }
  auto fail = [&] {
    std::error_code ignored;
    fs::remove_all(temporary, ignored);
    return false;
  };
  for (const Found& f : found) {
    if (f.entry.shadowed) {
      std::fprintf(stderr, "slpack: skipped %s: an earlier entry has the same name but for case\n",
                   f.entry.name.c_str());
      continue;
    }
    // The storage split the name at its separators and dropped "." and ".." components,
    // so the joined path stays inside the folder.
    const fs::path out = temporary / fs::path(f.entry.name);
    fs::create_directories(out.parent_path(), ec);
    if (ec) {
      *error = "cannot create " + out.parent_path().string() + ": " + ec.message();
      return fail();
    }
    if (!ExtractEntry(pack.m_pack, f, out, error, code)) return fail();
    ++*written;
  }
  if (exists) fs::remove(base, ec);
  fs::rename(temporary, base, ec);
  if (ec) {
    *error = "cannot rename the extracted folder to " + folder + ": " + ec.message();
    return fail();
  }
  return true;
}

}  // namespace slpack
