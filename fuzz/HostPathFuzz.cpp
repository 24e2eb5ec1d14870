// Stored Windows paths (project files and settings carry them) turned into host paths,
// with drive letters standing for a small scratch tree. The 8-bit and UTF-16 forms of one
// path give one host path; a drive path lands inside the tree; and a plain drive path
// ("X:\a\b", no "." or "..") resolves as the tree says: each component as spelt when it
// exists, else the first entry in byte order that differs only in letter case, and from
// the first component that matches nothing on, the rest as given.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzProgram.h"
#include "fuzz/FuzzScratch.h"
#include "platform/kernel32/FilePath.h"
#include "platform/kernel32/Modules.h"

namespace {

namespace fs = std::filesystem;

struct Tree {
  Tree() : root(SLFuzzScratchFolder("slhostpathfuzz")) {
    for (const char* relative : {"Aventuras Guardadas/Pel\xc3\xad" "cula.ZQTR", "Aventuras Guardadas/sub/a.txt",
                                 "M\xc3\x9aSICA/Canci\xc3\xb3n.mp3", "dup/ABC", "dup/abc", "dup/Abc/x", "Sfx/x.wav"}) {
      const fs::path path = root + "/" + relative;
      fs::create_directories(path.parent_path());
      std::ofstream(path) << "x";
    }
    SLPlatformSetDriveRoot(root.c_str());
  }
  std::string root;
};

// The host path a plain drive path must give, walked on the tree itself: the root's
// folder (with its "/") and then the components, with the path's trailing "/".
std::string Expected(const std::string& root, const std::vector<std::string>& components, bool trailingSlash) {
  std::string result = root;
  bool resolving = true;
  for (const std::string& component : components) {
    std::string chosen = component;
    std::error_code error;
    if (resolving && !fs::exists(fs::symlink_status(result + "/" + component, error))) {
      std::vector<std::string> matches;
      for (const auto& entry : fs::directory_iterator(result, error)) {
        const std::string name = entry.path().filename().string();
        if (SLPlatformFile::EqualNoCase(name, component)) matches.push_back(name);
      }
      if (matches.empty())
        resolving = false;
      else
        chosen = *std::min_element(matches.begin(), matches.end());
    }
    result += "/" + chosen;
  }
  return components.empty() || trailingSlash ? result + "/" : result;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void CheckPath(const Tree& tree, const std::string& utf8, const std::string& host) {
  SLFuzzCheck(!host.empty() && host.find('\\') == std::string::npos);
  std::string path = utf8;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.size() < 2 || path[1] != ':' || !IsLetter(path[0])) return;
  // A drive path lands inside the tree.
  SLFuzzCheck(host.compare(0, tree.root.size() + 1, tree.root + "/") == 0);
  std::vector<std::string> components;
  for (size_t start = 2; start <= path.size();) {
    size_t end = std::min(path.find('/', start), path.size());
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& component : components)
    if (component == "." || component == "..") return;
  SLFuzzCheck(host == Expected(tree.root, components, path.back() == '/'));
}

// A path fails only when nothing is left of it once a long-path prefix goes.
bool Empty(const std::string& utf8) {
  std::string path = utf8;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path.empty() || path == "//?/";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Tree& tree = *new Tree;
  if (size < 1 || size > 4096) return 0;
  std::string utf8, host;
  if (data[0] % 2 == 0) {
    // An 8-bit path (Windows-1252), as the program stores most of them.
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string text = bytes.substr(0, bytes.find('\0'));
    utf8 = SLPlatformFile::Cp1252ToUtf8(text.c_str());
    const bool ok = SLPlatformFile::HostPathA(text.c_str(), &host);
    SLFuzzCheck(ok == !Empty(utf8));
    if (!ok) return 0;
    std::u16string wide;
    SLFuzzCheck(SLPlatformFile::Utf8ToUtf16(utf8, &wide));
    std::string fromWide;
    SLFuzzCheck(SLPlatformFile::HostPathW(wide.c_str(), &fromWide) && fromWide == host);
  } else {
    // A UTF-16 path: units little-endian up to the first zero.
    std::u16string wide;
    for (size_t at = 1; at + 1 < size; at += 2) {
      const char16_t unit = char16_t(data[at] | data[at + 1] << 8);
      if (!unit) break;
      wide.push_back(unit);
    }
    const bool converts = SLPlatformFile::Utf16ToUtf8(wide.c_str(), &utf8);
    const bool ok = SLPlatformFile::HostPathW(wide.c_str(), &host);
    SLFuzzCheck(ok == (converts && !Empty(utf8)));
    if (!ok) return 0;
  }
  CheckPath(tree, utf8, host);
  // The same path again gives the same host path.
  std::string again;
  SLFuzzCheck(SLPlatformFile::ToHostPath(utf8, &again) && again == host);
  return 0;
}
