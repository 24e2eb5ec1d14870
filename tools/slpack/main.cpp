// slpack: packs a folder into a fast data pack, lists a pack, or extracts one.
//   slpack [-2|-3] [-k KEY] FOLDER OUTPUT
//   slpack -l PACK               one line per entry: name, size, stored size (tab-separated)
//   slpack -x [-k KEY] PACK DIR  every entry into DIR (new or empty), made whole or not at all
// Version 3 is the default; KEY is a 32-bit number (decimal or 0x...), 0 for plain data. A
// pack carries its key, so reading needs none; given with -x, it must be the pack's.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "tools/common/ToolSupport.h"
#include "tools/slpack/PackReading.h"
#include "tools/slpack/PackWriter.h"

namespace {

const sltool::CommandLine kCommandLine("slpack", "usage: slpack [-2|-3] [-k KEY] FOLDER OUTPUT\n       slpack -l PACK\n       slpack -x [-k KEY] PACK DIR");

int List(const std::string& pack) {
  slpack::PackListing listing;
  std::string error;
  uint32_t code = 0;
  if (!slpack::ListPack(pack, &listing, &error, &code)) return kCommandLine.Failure(error, pack, code);
  for (const auto& entry : listing.entries)
    std::printf("%s\t%llu\t%llu%s\n", entry.name.c_str(), static_cast<unsigned long long>(entry.size),
                static_cast<unsigned long long>(entry.storedSize), entry.shadowed ? "\t(hidden by an earlier name)" : "");
  return std::fflush(stdout) == 0 ? sltool::kExitOk : kCommandLine.Failure("cannot write the listing");
}

int Extract(const std::string& pack, const std::string& folder, const uint32_t* key) {
  std::string error;
  uint32_t code = 0;
  size_t written = 0;
  try {
    if (!slpack::ExtractPack(pack, folder, key, &written, &error, &code))
      return kCommandLine.Failure(error, pack + " -> " + folder, code);
  } catch (const std::exception& e) {
    return kCommandLine.Failure(std::string("cannot extract the pack: ") + e.what(), pack);
  }
  std::printf("%s: %zu entries extracted to %s\n", pack.c_str(), written, folder.c_str());
  return sltool::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  uint16_t version = 3;
  uint32_t key = 0;
  bool keyGiven = false, versionGiven = false;
  char mode = 0;  // 'l' list, 'x' extract, 0 pack
  std::string folder, output;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-2" || arg == "-3") {
      version = uint16_t(arg[1] - '0');
      versionGiven = true;
    } else if ((arg == "-l" || arg == "-x") && mode == 0) {
      mode = arg[1];
    } else if (arg == "-k" && i + 1 < argc) {
      char* end = nullptr;
      unsigned long long value = std::strtoull(argv[++i], &end, 0);
      if (!end || *end || value > 0xFFFFFFFFull) return kCommandLine.UsageError(std::string("bad key ") + argv[i]);
      key = uint32_t(value);
      keyGiven = true;
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
  if (mode == 'l') {
    if (folder.empty() || !output.empty() || keyGiven || versionGiven) return kCommandLine.UsageError("-l takes one PACK");
    return List(folder);
  }
  if (mode == 'x') {
    if (folder.empty() || output.empty() || versionGiven) return kCommandLine.UsageError("-x takes PACK and DIR");
    return Extract(folder, output, keyGiven ? &key : nullptr);
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
