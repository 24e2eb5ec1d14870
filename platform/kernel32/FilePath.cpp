#include "platform/kernel32/FilePath.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/kernel32/Handles.h"
#include "platform/winfile.h"

namespace SLPlatformFile {

namespace {

// tools/gen_cp1252_high.py
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | (c >> 6)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(char(0xE0 | (c >> 12)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (c >> 18)));
    out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 character at text[*i]; false (index unchanged) on a malformed,
// overlong or surrogate sequence.
bool DecodeUtf8(const std::string& text, size_t* i, char32_t* out) {
  size_t at = *i;
  auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *out = lead;
    *i = at + 1;
    return true;
  }
  int extra;
  char32_t c;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (at + extra >= text.size()) return false;
  for (int k = 1; k <= extra; ++k) {
    auto b = static_cast<unsigned char>(text[at + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  *out = c;
  *i = at + 1 + extra;
  return true;
}

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

std::string Cp1252ToUtf8(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    auto b = static_cast<unsigned char>(*p);
    if (b < 0x80)
      out.push_back(char(b));
    else if (b < 0xA0)
      AppendUtf8(&out, kCp1252High[b - 0x80]);
    else
      AppendUtf8(&out, b);
  }
  return out;
}

bool Utf8ToCp1252(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    if (!DecodeUtf8(text, &i, &c)) return false;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out->push_back(char(c));
      continue;
    }
    int byte = -1;
    for (int k = 0; k < 32; ++k)
      if (kCp1252High[k] == c) byte = 0x80 + k;
    if (byte < 0) return false;
    out->push_back(char(byte));
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
    AppendUtf8(out, c);
  }
  return true;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    if (!DecodeUtf8(text, &i, &c)) return false;
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
    char32_t c;
    if (DecodeUtf8(text, &i, &c)) {
      AppendUtf8(&out, FoldChar(c));
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); }

bool ToHostPath(const std::string& windowsPath, std::string* hostPath) {
  std::string path = windowsPath;
  for (char& c : path)
    if (c == '\\') c = '/';
  // Long-path prefixes ("\\?\", "\\?\UNC\") carry no meaning here.
  if (path.compare(0, 4, "//?/") == 0) {
    path.erase(0, 4);
    if (path.size() >= 4 && EqualNoCase(path.substr(0, 3), "unc") && path[3] == '/') path.replace(0, 4, "//");
  }
  if (path.empty()) {
    SLPlatformSetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  // A drive letter is the root of the one file system.
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    path.erase(0, 2);
    if (path.empty() || path[0] != '/') path.insert(0, "/");
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
    case EDQUOT: return ERROR_DISK_FULL;
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
