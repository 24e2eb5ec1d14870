// slpack: packs a folder into a fast data pack.
//   slpack [-2|-3] [-k KEY] FOLDER OUTPUT
// Version 3 is the default; KEY is a 32-bit number (decimal or 0x...), 0 for plain data.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/packwriter/PackWriter.h"

int main(int argc, char** argv) {
  uint16_t version = 3;
  uint32_t key = 0;
  std::string folder, output;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-2" || arg == "-3") {
      version = uint16_t(arg[1] - '0');
    } else if (arg == "-k" && i + 1 < argc) {
      char* end = nullptr;
      unsigned long long value = std::strtoull(argv[++i], &end, 0);
      if (!end || *end || value > 0xFFFFFFFFull) {
        std::fprintf(stderr, "slpack: bad key %s\n", argv[i]);
        return 2;
      }
      key = uint32_t(value);
    } else if (folder.empty()) {
      folder = arg;
    } else if (output.empty()) {
      output = arg;
    } else {
      folder.clear();
      break;
    }
  }
  if (folder.empty() || output.empty()) {
    std::fprintf(stderr, "usage: slpack [-2|-3] [-k KEY] FOLDER OUTPUT\n");
    return 2;
  }
  slpack::PackWriter writer(version, key);
  std::string error;
  std::vector<uint8_t> pack;
  if (!writer.AddFolder(folder, &error) || !writer.Build(&pack, &error) ||
      !slpack::WriteFile(output, pack, &error)) {
    std::fprintf(stderr, "slpack: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: version %u, %zu entries, %zu bytes\n", output.c_str(), unsigned(version), writer.EntryCount(),
              pack.size());
  return 0;
}
