#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/kernel32/FilePath.h"
#include "platform/modules.h"
#include "platform/shell32/Shell32.h"

namespace {

constexpr HRESULT kOk = 0;
constexpr HRESULT kInvalidArg = E_INVALIDARG;
constexpr HRESULT kPathNotFound = HRESULT(0x80070003u);
constexpr HRESULT kFail = E_FAIL;
constexpr std::size_t kMaxPath = 260;

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) : std::string();
}

// The value of `key` in user-dirs.dirs: a line KEY="value", where the value is an
// absolute path or one starting with $HOME/. Empty when the file or the line is missing.
// A value holding a NUL byte is no path (the system would read it only up to the NUL,
// another folder), so its line is passed over like any other malformed one.
std::string UserDir(const char* key, const std::string& home) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config = configHome && *configHome ? std::string(configHome) : home + "/.config";
  std::ifstream file(config + "/user-dirs.dirs");
  std::string line, value;
  const std::string prefix = std::string(key) + "=";
  while (std::getline(file, line)) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
    std::string raw = line.substr(start + prefix.size());
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == ' ' || raw.back() == '\t')) raw.pop_back();
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"' || raw.find('\0') != std::string::npos) continue;
    raw = raw.substr(1, raw.size() - 2);
    if (raw.compare(0, 6, "$HOME/") == 0)
      value = home + raw.substr(5);
    else if (raw == "$HOME")
      value = home;
    else if (!raw.empty() && raw.front() == '/')
      value = raw;
  }
  return value;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates the folder and any missing parents.
bool MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return IsDirectory(path);
}

}  // namespace

HRESULT SHGetFolderPathA(HWND, int folder, HANDLE, DWORD flags, char* path) {
  if (!path) return kInvalidArg;
  path[0] = 0;
  const bool create = (folder & CSIDL_FLAG_CREATE) || (flags & CSIDL_FLAG_CREATE);
  const int which = folder & 0xFF;
  const std::string home = Home();
  std::string found;
  if (which == CSIDL_MYVIDEO || which == CSIDL_PERSONAL) {
    if (home.empty()) return kPathNotFound;
    const bool video = which == CSIDL_MYVIDEO;
    found = UserDir(video ? "XDG_VIDEOS_DIR" : "XDG_DOCUMENTS_DIR", home);
    if (found.empty()) found = home + (video ? "/Videos" : "/Documents");
  } else {
    return kInvalidArg;  // no folders shared by all users here
  }
  while (found.size() > 1 && found.back() == '/') found.pop_back();
  std::string narrow;
  if (!SLPlatformFile::Utf8ToCp1252(found, &narrow) || narrow.size() >= kMaxPath) return kFail;
  if (!IsDirectory(found) && !(create && MakeDirectories(found))) return kPathNotFound;
  std::memcpy(path, narrow.c_str(), narrow.size() + 1);
  return kOk;
}

namespace {
const SLPlatformExport kShell32Exports[] = {SL_EXPORT(SHGetFolderPathA)};
}  // namespace
const SLPlatformExportGroup g_shell32Folders = SLMakeExportGroup(kShell32Exports);
