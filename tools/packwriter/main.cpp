// slpack: packs a folder into a fast data pack.
//   slpack [-2|-3] [-k KEY] FOLDER OUTPUT
// Version 3 is the default; KEY is a 32-bit number (decimal or 0x...), 0 for plain data.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "tools/common/ToolSupport.h"
#include "tools/packwriter/PackWriter.h"

namespace {

const sltool::CommandLine kCommandLine("slpack", "usage: slpack [-2|-3] [-k KEY] FOLDER OUTPUT");

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
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
      if (!end || *end || value > 0xFFFFFFFFull) return kCommandLine.UsageError(std::string("bad key ") + argv[i]);
      key = uint32_t(value);
    } else if (!arg.empty() && arg[0] == '-') {
      return kCommandLine.UsageError("unknown option " + arg);
    } else if (folder.empty()) {
      folder = arg;
    } else if (output.empty()) {
      output = arg;
    } else {
      return kCommandLine.UsageError("too many arguments");
    }
  }
  if (folder.empty() || output.empty()) return kCommandLine.UsageError("expected FOLDER and OUTPUT");
  std::error_code code;
  if (!std::filesystem::is_directory(folder, code)) return kCommandLine.Failure("not a folder", folder);
  slpack::PackWriter writer(version, key);
  std::string error;
  std::vector<uint8_t> pack;
  try {
    if (!writer.AddFolder(folder, &error) || !writer.Build(&pack, &error) || !slpack::WriteFile(output, pack, &error))
      return kCommandLine.Failure(error);
  } catch (const std::exception& e) {
    return kCommandLine.Failure(std::string("cannot pack the folder: ") + e.what(), folder);
  }
  std::printf("%s: version %u, %zu entries, %zu bytes\n", output.c_str(), unsigned(version), writer.EntryCount(),
              pack.size());
  return sltool::kExitOk;
}
