#include "tools/contentgen/Refresh.h"

#include <mbedtls/sha256.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace contentgen {

namespace fs = std::filesystem;

namespace {

// The generator's marks: what makes a folder its own, removed last.
bool IsMark(const fs::path& name) { return name == kStampName || name == kManifestName || name == kPartialName; }

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// The folders where the program saves the family's work: a sample there that holds other
// bytes than the list says was saved over by the family and is the family's.
bool InFamilyFolder(const std::string& key) {
  for (const std::string folder : {"aventuras guardadas/", "sfx/grabadas/", "videos exportados/"}) {
    if (key.size() <= folder.size()) continue;
    bool same = true;
    for (size_t i = 0; same && i < folder.size(); ++i)
      same = char(std::tolower(static_cast<unsigned char>(key[i]))) == folder[i];
    if (same) return true;
  }
  return false;
}

// Whether `file`, at `key` in an old folder, is the generator's: see Refresh.h.
bool Generated(const fs::path& file, const std::string& key, const Manifest& oldList, bool hasOldList,
               const Manifest& newList) {
  const Manifest& list = hasOldList ? oldList : newList;
  const auto listed = list.find(key);
  if (listed == list.end()) return false;
  if (!InFamilyFolder(key) && newList.count(key)) return true;
  std::string hash;
  return FileSha256(file, &hash) && hash == listed->second;
}

// Puts `from` at `to`: a second name for the same file where the file system allows it,
// else a copy that keeps its modification time (a link stays a link).
bool Place(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code ec;
  fs::create_hard_link(from, to, ec);
  if (!ec) return true;
  const fs::file_status status = fs::symlink_status(from, ec);
  if (fs::is_symlink(status)) {
    fs::copy_symlink(from, to, ec);
  } else if (fs::is_regular_file(status)) {
    if (fs::copy_file(from, to, ec)) {
      const fs::file_time_type modified = fs::last_write_time(from, ec);
      if (!ec) fs::last_write_time(to, modified, ec);
    }
  } else if (!ec) {
    ec = std::make_error_code(std::errc::not_supported);
  }
  if (ec) *error = "cannot carry " + from.string() + " into " + to.string() + ": " + ec.message();
  return !ec;
}

// Whether two names hold one file: linked, or copied with the same size and time.
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::file_status first = fs::symlink_status(a, ec), second = fs::symlink_status(b, ec);
  if (!fs::is_regular_file(first) || !fs::is_regular_file(second)) return false;
  std::error_code sizeError, timeError;
  return fs::file_size(a, sizeError) == fs::file_size(b, sizeError) &&
         fs::last_write_time(a, timeError) == fs::last_write_time(b, timeError) && !sizeError && !timeError;
}

// Carries every file of `from` that is not the generator's into `into`. `replace`: a file
// of `into` at the same name gives way (and leaves `newList`); otherwise it stays.
bool Carry(const fs::path& from, const fs::path& into, const Manifest& oldList, bool hasOldList, Manifest* newList,
           bool replace, std::string* error) {
  std::error_code ec;
  fs::recursive_directory_iterator entry(from, ec), end;
  for (; !ec && entry != end; entry.increment(ec)) {
    const fs::path relative = entry->path().lexically_relative(from);
    const std::string key = relative.generic_string();
    if (entry.depth() == 0 && IsMark(relative)) continue;
    const fs::path target = into / relative;
    std::error_code statusError;
    const fs::file_status status = entry->symlink_status(statusError);
    if (fs::is_directory(status)) {
      if (!fs::is_directory(fs::symlink_status(target, statusError)) && !fs::create_directories(target, statusError)) {
        *error = "cannot make the folder " + target.string() + " for the files kept from " + from.string();
        return false;
      }
      continue;
    }
    if (fs::is_regular_file(status) && Generated(entry->path(), key, oldList, hasOldList, *newList)) continue;
    if (Exists(target)) {
      if (!replace || SameFile(entry->path(), target)) continue;
      if (fs::is_directory(fs::symlink_status(target, statusError)) || !fs::remove(target, statusError)) {
        *error = "cannot keep " + entry->path().string() + ": the new content has " + target.string();
        return false;
      }
      newList->erase(key);
    }
    if (!Place(entry->path(), target, error)) return false;
  }
  if (ec) *error = "cannot read " + from.string() + ": " + ec.message();
  return !ec;
}

// Removes a folder of the generator's, its marks last: a removal cut short leaves a
// folder that a later run still knows as its own.
void RemoveOwn(const fs::path& folder) {
  std::error_code ec;
  if (!Exists(folder)) return;
  std::vector<fs::path> contents;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
    if (!IsMark(entry.path().filename())) contents.push_back(entry.path());
  for (const fs::path& path : contents) fs::remove_all(path, ec);
  fs::remove_all(folder, ec);
}

}  // namespace

bool ReadBytes(const fs::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteBytes(const fs::path& path, const std::string& bytes, std::string* error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  out.close();
  if (!out) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool Sha256Of(const std::vector<fs::path>& files, std::string* hex) {
  mbedtls_sha256_context sha;
  mbedtls_sha256_init(&sha);
  mbedtls_sha256_starts_ret(&sha, 0);
  bool read = true;
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    read = read && bool(in);
    char buffer[65536];
    while (read && (in.read(buffer, sizeof buffer) || in.gcount() > 0))
      mbedtls_sha256_update_ret(&sha, reinterpret_cast<const unsigned char*>(buffer), size_t(in.gcount()));
    read = read && in.eof();
  }
  unsigned char digest[32];
  mbedtls_sha256_finish_ret(&sha, digest);
  mbedtls_sha256_free(&sha);
  hex->clear();
  for (unsigned char b : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", b);
    *hex += pair;
  }
  return read;
}

bool FileSha256(const fs::path& path, std::string* hex) { return Sha256Of({path}, hex); }

// One line a file: the hash, two spaces and the path (the layout of sha256sum).
Manifest ReadManifest(const fs::path& file, bool* found) {
  Manifest list;
  std::ifstream in(file, std::ios::binary);
  *found = bool(in);
  std::string line;
  while (std::getline(in, line))
    if (line.size() > 66 && line.compare(64, 2, "  ") == 0) list[line.substr(66)] = line.substr(0, 64);
  return list;
}

bool OursOrAbsent(const fs::path& path, std::string* why) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec) {
    *why = path.string() + ": " + ec.message();
    return false;
  }
  if (status.type() != fs::file_type::directory) {
    *why = path.string() + " exists and is not a folder";
    return false;
  }
  if (fs::is_empty(path, ec) && !ec) return true;
  for (const char* mark : {kStampName, kManifestName, kPartialName})
    if (fs::is_regular_file(fs::symlink_status(path / mark, ec))) return true;
  *why = path.string() + " holds files contentgen did not write (no " + kStampName + " or " + kManifestName +
         " in it)";
  return false;
}

// Moves the family's files of DIR.old that DIR lacks into DIR (`replace`: also those that
// changed since they were carried), then removes DIR.old.
bool Merge(const fs::path& dir, const fs::path& old, bool replace, std::string* error) {
  bool hasOldList = false, hasNewList = false;
  const Manifest oldList = ReadManifest(old / kManifestName, &hasOldList);
  Manifest newList = ReadManifest(dir / kManifestName, &hasNewList);
  if (!Carry(old, dir, oldList, hasOldList, &newList, replace, error)) return false;
  RemoveOwn(old);
  return true;
}

bool Recover(const fs::path& dir, std::string* error) {
  const fs::path old = dir.string() + ".old";
  if (!Exists(old)) return true;
  std::error_code ec;
  if (!Exists(dir)) {
    fs::rename(old, dir, ec);
    if (ec) *error = "cannot put " + old.string() + " back as " + dir.string() + ": " + ec.message();
    return !ec;
  }
  // The new folder is in place and holds everything kept from the old one, unless an
  // older generator made the swap: what the family had there and DIR lacks goes in. A
  // file in both stays as DIR has it: the program may have saved it there since.
  return Merge(dir, old, false, error);
}

std::vector<std::string> DamagedContent(const fs::path& dir, const Manifest& list) {
  std::vector<std::string> damaged;
  for (const auto& [key, hash] : list) {
    if (InFamilyFolder(key)) continue;
    std::string found;
    if (!FileSha256(dir / key, &found) || found != hash) damaged.push_back(key);
  }
  return damaged;
}

ContentWriter CopyOf(const fs::path& source, const Manifest& list) {
  return [source, list](const fs::path& out, std::string* error) {
    std::error_code ec;
    for (const auto& [key, hash] : list) {
      std::string found;
      if (!FileSha256(source / key, &found)) {
        *error = "cannot read " + (source / key).string();
        return false;
      }
      if (found != hash) continue;
      fs::create_directories((out / key).parent_path(), ec);
      if (!fs::copy_file(source / key, out / key, ec)) {
        *error = "cannot copy " + (source / key).string() + ": " + ec.message();
        return false;
      }
    }
    return true;
  };
}

bool Refresh(const fs::path& dir, const std::string& stamp, const ContentWriter& write, std::string* error) {
  const fs::path temporary = dir.string() + ".tmp", old = dir.string() + ".old";
  auto fail = [&](const std::string& message) {
    if (!message.empty()) *error = message;
    RemoveOwn(temporary);
    return false;
  };
  RemoveOwn(temporary);
  std::error_code ec;
  fs::create_directories(temporary, ec);
  if (ec) return fail("cannot create " + temporary.string() + ": " + ec.message());
  if (!WriteBytes(temporary / kPartialName, "", error) || !write(temporary, error)) return fail("");

  Manifest written;
  fs::recursive_directory_iterator entry(temporary, ec), end;
  for (; !ec && entry != end; entry.increment(ec)) {
    const fs::path relative = entry->path().lexically_relative(temporary);
    std::error_code statusError;
    if (relative == kPartialName || !entry->is_regular_file(statusError)) continue;
    if (!FileSha256(entry->path(), &written[relative.generic_string()]))
      return fail("cannot read " + entry->path().string());
  }
  if (ec) return fail("cannot list " + temporary.string() + ": " + ec.message());
  if (Exists(dir)) {
    bool hasOldList = false;
    const Manifest oldList = ReadManifest(dir / kManifestName, &hasOldList);
    if (!Carry(dir, temporary, oldList, hasOldList, &written, true, error)) return fail("");
  }
  std::string list;
  for (const auto& [key, hash] : written) list += hash + "  " + key + "\n";
  if (!WriteBytes(temporary / kManifestName, list, error) || !WriteBytes(temporary / kStampName, stamp, error))
    return fail("");
  fs::remove(temporary / kPartialName, ec);

  if (Exists(old)) return fail(old.string() + " is in the way (is another contentgen writing " + dir.string() + "?)");
  const bool replacing = Exists(dir);
  if (replacing && (fs::rename(dir, old, ec), ec))
    return fail("cannot move " + dir.string() + " aside: " + ec.message());
  fs::rename(temporary, dir, ec);
  if (ec) {
    const std::string message = "cannot rename " + temporary.string() + " to " + dir.string() + ": " + ec.message();
    std::error_code back;
    if (replacing) fs::rename(old, dir, back);
    return fail(message);
  }
  // A program still open in the old folder may have saved there since the files were
  // carried: a last pass brings what is new or changed.
  if (replacing && !Merge(dir, old, true, error)) {
    *error += " (the new content is in place; " + old.string() + " stays for the next run)";
    return false;
  }
  return true;
}

}  // namespace contentgen
