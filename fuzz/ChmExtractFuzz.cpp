// Compiled help files from arbitrary bytes through the help's extraction and its topic
// lookup. Whatever the file says, everything extracted is a plain file or folder inside
// the extraction folder (no link, nothing beside it), within the object and byte limits;
// a topic found is a safe object name that matches the one asked for but for letter case.
// The reading runs in a child process (a crash or hang of chmlib ends only the child), so
// libFuzzer sees the coverage of this side and of what the child left on disk.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/FuzzProgram.h"
#include "fuzz/FuzzScratch.h"
#include "platform/hhctrl/HtmlHelp.h"
#include "platform/kernel32/FilePath.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
  Scratch() : root(SLFuzzScratchFolder("slchmfuzz")) {
    // A file that keeps the reader looping costs this much, twice, instead of half a minute.
    SLPlatformHelp::SetHelpTimeLimit(2000);
  }
  std::string root;
};

// Every entry below `folder`, not following links: plain files and folders only, inside.
void CheckExtracted(const std::string& folder) {
  unsigned long long bytes = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::file_status status = it->symlink_status();
    SLFuzzCheck(fs::is_regular_file(status) || fs::is_directory(status));
    const std::string path = it->path().lexically_normal().string();
    SLFuzzCheck(path.compare(0, folder.size() + 1, folder + "/") == 0);
    if (fs::is_regular_file(status)) bytes += fs::file_size(it->path());
  }
  SLFuzzCheck(!error);
  SLFuzzCheck(bytes <= SLPlatformHelp::kMaxHelpBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch& scratch = *new Scratch;
  const std::string file = scratch.root + "/ayuda.chm", folder = scratch.root + "/extraida";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  SLFuzzCheck(fs::create_directory(folder));

  SLPlatformHelp::ExtractHelpFile(file, folder);
  CheckExtracted(folder);
  // Nothing is written beside the extraction folder.
  for (const auto& entry : fs::directory_iterator(scratch.root))
    SLFuzzCheck(entry.path() == file || entry.path() == folder);

  static const char* const kTopics[] = {"/contenido.htm", "/CONTENIDO.HTM", "/sub/dibujo.htm", "/Sub/Punto.png"};
  const std::string topic = kTopics[size % 4];
  const std::string found = SLPlatformHelp::ResolveHelpTopic(file, topic);
  if (!found.empty()) {
    SLFuzzCheck(SLPlatformHelp::IsSafeObjectName(found) && found.back() != '/');
    SLFuzzCheck(SLPlatformFile::EqualNoCase(found, topic));
  }
  return 0;
}
