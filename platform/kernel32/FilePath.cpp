#include "platform/kernel32/FilePath.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Mounts.h"
#include "platform/kernel32/Text.h"
#include "platform/kernel32/Utf8.h"
#include "platform/toolbox.h"
#include "platform/winfile.h"

namespace SLPlatformFile {

namespace {

char32_t FoldChar(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137 && !(c & 1)) return c + 1;
  if (c >= 0x139 && c <= 0x148 && (c & 1)) return c + 1;
  if (c >= 0x14A && c <= 0x177 && !(c & 1)) return c + 1;
  if (c == 0x178) return 0xFF;
  if ((c == 0x179 || c == 0x17B || c == 0x17D)) return c + 1;
  return c;
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// The entry of `directory` whose name equals `name` without regard to case; the first
// in byte order when several do, so that the choice does not depend on the listing.
bool FindNoCase(const std::string& directory, const std::string& name, std::string* found) {
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return false;
  std::string folded = FoldCase(name);
  bool any = false;
  while (dirent* entry = readdir(dir)) {
    std::string candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (FoldCase(candidate) != folded) continue;
    if (!any || candidate < *found) *found = candidate;
    any = true;
  }
  closedir(dir);
  return any;
}

}  // namespace

// Windows-1252 through kernel32's own tables: every byte has a character (the five
// holes of the code page pass through as U+0081 and the like), so names round-trip.
std::string Cp1252ToUtf8(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    char16_t unit = 0;
    if (MultiByteToWideChar(1252, 0, p, 1, &unit, 1) != 1) unit = static_cast<unsigned char>(*p);
    SLPlatformAppendUtf8(&out, unit);
  }
  return out;
}

bool Utf8ToCp1252(const std::string& text, std::string* out) {
  constexpr DWORD kNoBestFit = 0x400;
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    if (!SLPlatformDecodeUtf8(text.data(), text.size(), &i, &c) || c > 0xFFFF) return false;
    char16_t unit = char16_t(c);
    char byte = 0;
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(1252, kNoBestFit, &unit, 1, &byte, 1, nullptr, &usedDefault) != 1 || usedDefault)
      return false;
    out->push_back(byte);
  }
  return true;
}

bool Utf16ToUtf8(const char16_t* text, std::string* out) {
  out->clear();
  for (const char16_t* p = text; *p; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (p[1] < 0xDC00 || p[1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    SLPlatformAppendUtf8(out, c);
  }
  return true;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    if (!SLPlatformDecodeUtf8(text.data(), text.size(), &i, &c)) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(char16_t(0xD800 + (c >> 10)));
      out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(char16_t(c));
    }
  }
  return true;
}

std::string FoldCase(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {  // ASCII, most names: one byte folds to one byte
      out.push_back(char(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte));
      ++i;
      continue;
    }
    char32_t c;
    if (SLPlatformDecodeUtf8(text.data(), text.size(), &i, &c)) {
      SLPlatformAppendUtf8(&out, FoldChar(c));
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); }

bool ToHostPath(const std::string& windowsPath, std::string* hostPath) {
  std::string path = SLPlatformSlashPath(windowsPath);
  // Long-path prefixes ("\\?\", "\\?\UNC\") carry no meaning here.
  if (path.compare(0, 4, "//?/") == 0) {
    path.erase(0, 4);
    if (path.size() >= 4 && EqualNoCase(path.substr(0, 3), "unc") && path[3] == '/') path.replace(0, 4, "//");
  }
  if (path.empty()) {
    SLPlatformSetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // A drive letter is the root of the one file system (or the tree a test put there).
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    path.erase(0, 2);
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
    path.insert(0, DriveRootHost());
  }

  std::vector<std::string> components;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  std::string result = path[0] == '/' ? "/" : "";
  bool resolving = true;
  for (size_t k = 0; k < components.size(); ++k) {
    const std::string& component = components[k];
    std::string candidate = result + component;
    if (resolving && component != "." && component != ".." && !Exists(candidate)) {
      std::string found;
      if (FindNoCase(result, component, &found))
        candidate = result + found;
      else
        resolving = false;  // nothing below a missing component can exist
    }
    result = candidate;
    if (k + 1 < components.size() || path.back() == '/') result += '/';
  }
  if (result.empty()) result = ".";
  *hostPath = result;
  return true;
}

bool HostPathA(const char* path, std::string* hostPath) {
  if (!path) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return ToHostPath(Cp1252ToUtf8(path), hostPath);
}

bool HostPathW(const char16_t* path, std::string* hostPath) {
  if (!path) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string utf8;
  if (!Utf16ToUtf8(path, &utf8)) {
    SLPlatformSetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return ToHostPath(utf8, hostPath);
}

DWORD ErrorFromErrno(int error, const std::string& path) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: {
      if (path.empty()) return ERROR_FILE_NOT_FOUND;
      std::string parent = path;
      while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
      size_t slash = parent.rfind('/');
      parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
      struct stat info;
      if (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return ERROR_FILE_NOT_FOUND;
      return ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;  // past the file-size limit: no room for this file
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ELOOP: return ERROR_INVALID_NAME;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_CALL_NOT_IMPLEMENTED;
    default: return ERROR_INVALID_PARAMETER;
  }
}

bool FailErrno(int error, const std::string& path) {
  SLPlatformSetLastError(ErrorFromErrno(error, path));
  return false;
}

}  // namespace SLPlatformFile
