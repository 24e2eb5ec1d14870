// Find patterns: the validity test in both widths against its rule, and searches of a
// fixed tree whose results must match the pattern's last component.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/SLStr.h"
#include "foundation/SLWildcard.h"
#include "storage/SLFileSystem.h"
#include "storage/SLPath.h"
#include "storage/StorageClasses.h"

namespace {

std::string MakeTree() {
  char pattern[] = "/tmp/slfindfuzzXXXXXX";
  std::string root = mkdtemp(pattern);
  const char* names[] = {"a.txt", "B.TXT", "a.txt.bak", "Canci\xC3\xB3n.mp3", ".hidden", "x", "xy", "x.y.z", "no ext"};
  for (const char* name : names) close(open((root + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644));
  mkdir((root + "/sub").c_str(), 0777);
  close(open((root + "/sub/inner.mp3").c_str(), O_CREAT | O_WRONLY, 0644));
  symlink(root.c_str(), (root + "/sub/up").c_str());
  return root;
}

bool ValidByRule(const std::string& p) {
  if (p.empty()) return false;
  bool wildcard = false;
  for (char c : p) {
    if (c == '*' || c == '?') wildcard = true;
    if ((c == '/' || c == '\\') && wildcard) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  static std::string root = MakeTree();
  (void)registered;
  if (size > 200) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  if (SLIsValidFindPatternA(text.c_str()) != ValidByRule(text)) std::abort();
  std::u16string wide(text.begin(), text.end());
  for (char16_t& c : wide) c = char16_t(static_cast<unsigned char>(c));
  if (SLIsValidFindPatternW(wide.c_str()) != ValidByRule(text)) std::abort();

  // Searches stay inside the tree's directories: the text is the last component only.
  if (text.find_first_of("/\\") != std::string::npos) return 0;
  std::string pattern = root + "\\" + text;
  // The name pattern is the component's name and extension (a ":stream" is not part
  // of it), with runs of wildcards simplified.
  std::string name(pattern.size() + 1, '\0');
  SLGetPathPartsA(name.data(), pattern.c_str(), 4 | 8);
  name.resize(SLStrLenA(name.c_str()));
  SLIsWildcardPatternA(name.data());
  name.resize(SLStrLenA(name.c_str()));
  CSLFileStorage storage;
  int count = 0;
  for (SLStorageFindRecord* r = storage.FindFirstA(pattern.c_str()); r && count < 100; r = storage.FindNextA(), ++count) {
    if (!SLWildcardMatchA(name.c_str(), r->nameA, true)) std::abort();
    if (r->nameA[0] == '.' && r->nameA[1] == 0) std::abort();  // "." is never reported
    if (((r->flags & SL_FIND_DIRECTORY) != 0) == ((r->flags & SL_FIND_FILE) != 0)) std::abort();
  }
  if (count >= 100) std::abort();  // the tree holds a dozen entries
  return 0;
}
