// The user's videos and documents folders read from an arbitrary "user-dirs.dirs", with
// HOME and XDG_CONFIG_HOME in a scratch folder. Whatever the file holds, a folder handed
// back fits its 260 bytes with the NUL, is an existing folder with no "/" at its end, and
// is either the default below HOME or a value the file wrote out between quotes (after
// "$HOME" or as an absolute path); on failure the buffer is empty. Creating is asked for
// only when the file can name nothing outside HOME (no absolute value, no ".."), and a
// created folder must then exist.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/FuzzProgram.h"
#include "fuzz/FuzzScratch.h"
#include "platform/kernel32/FilePath.h"
#include "platform/shell32/Shell32.h"

namespace {

namespace fs = std::filesystem;

constexpr HRESULT kOk = 0;
constexpr HRESULT kInvalidArg = HRESULT(0x80070057u);
constexpr HRESULT kPathNotFound = HRESULT(0x80070003u);
constexpr HRESULT kFail = HRESULT(0x80004005u);

struct Scratch {
  Scratch() : root(SLFuzzScratchFolder("sluserdirsfuzz")) {
    home = root + "/casa";
    config = root + "/config";
    fs::create_directories(config);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  }
  std::string root, home, config;
};

void CheckFolder(const Scratch& scratch, const std::string& file, int folder, bool create) {
  char path[260 + 16];
  std::memset(path, 'x', sizeof path);
  const HRESULT result = SHGetFolderPathA(nullptr, folder | (create ? CSIDL_FLAG_CREATE : 0), nullptr, 0, path);
  SLFuzzCheck(result == kOk || result == kPathNotFound || result == kFail);
  if (result != kOk) {
    SLFuzzCheck(path[0] == 0);
    return;
  }
  const size_t length = strnlen(path, sizeof path);
  SLFuzzCheck(length > 0 && length < 260);
  const std::string found = SLPlatformFile::Cp1252ToUtf8(path);
  SLFuzzCheck(fs::is_directory(found));
  SLFuzzCheck(found == "/" || found.back() != '/');
  const std::string fallback = scratch.home + (folder == CSIDL_MYVIDEO ? "/Videos" : "/Documents");
  if (found == fallback || found == scratch.home) return;
  // Written in the file: "$HOME/rest" or the absolute path itself, then more "/" at most.
  const bool belowHome = found.compare(0, scratch.home.size() + 1, scratch.home + "/") == 0;
  SLFuzzCheck(file.find("\"" + found) != std::string::npos ||
              (belowHome && file.find("\"$HOME" + found.substr(scratch.home.size())) != std::string::npos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch& scratch = *new Scratch;
  if (size > 1 << 16) return 0;
  const std::string file(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(scratch.config + "/user-dirs.dirs", std::ios::binary | std::ios::trunc);
    out.write(file.data(), std::streamsize(file.size()));
  }
  std::error_code ignored;
  fs::remove_all(scratch.home, ignored);
  fs::create_directories(scratch.home + "/Documents");
  const bool onlyBelowHome = file.find("..") == std::string::npos && file.find("\"/") == std::string::npos;
  for (int folder : {CSIDL_MYVIDEO, CSIDL_PERSONAL}) {
    CheckFolder(scratch, file, folder, false);
    if (onlyBelowHome) CheckFolder(scratch, file, folder, true);
  }
  char path[260];
  SLFuzzCheck(SHGetFolderPathA(nullptr, CSIDL_COMMON_VIDEO, nullptr, 0, path) == kInvalidArg && path[0] == 0);
  return 0;
}
