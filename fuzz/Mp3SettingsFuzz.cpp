// The MP3 finder's use of its settings section "BuscaMP3" on arbitrary settings files, with
// drive C: standing for a small scratch tree (so no walk ever leaves it). The finder's
// thread runs as the dialog runs it; what it lists must be either the remembered list
// ("EscaneoCompleto" 1: "Arch1", "Arch2", ... up to the first missing or empty one, at most
// 10,000, paths that do not fit skipped, the settings untouched) or what is on the scratch
// disk (after which the section remembers exactly that list, and a second opening reads it
// back the same).
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/services/AppServices.h"
#include "app/media/Mp3Finder.h"
#include "foundation/SLString.h"
#include "fuzz/FuzzProgram.h"
#include "fuzz/FuzzScratch.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLIniFile.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

namespace {

constexpr char kSection[] = "BuscaMP3";

// The scratch disk and the MP3 files on it, as the finder names them.
struct Disk {
  Disk() : root(SLFuzzScratchFolder("slmp3fuzz")) {
    SLRegisterStorageClasses();
    for (const char* relative : {"Musica/uno.mp3", "Musica/Rock/DOS.MP3", "Musica/notas.txt", "tres.Mp3"}) {
      const std::filesystem::path path = root + "/" + relative;
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path) << "ID3";
    }
    found = {"C:\\Musica\\uno.mp3", "C:\\Musica\\Rock\\DOS.MP3", "C:\\tres.Mp3"};
    SLPlatformSetDriveRoot(root.c_str());
    const std::string table = "/dev/root / ext4 rw 0 0\n";
    SLPlatformSetMountsTable(table.c_str());
  }
  std::string root;
  std::multiset<std::string> found;
};

std::string Value(CSLIniFile* settings, const std::string& key) {
  CSLStringAnsi value;
  if (!settings->GetStringStrA(kSection, key.c_str(), value, "")) return std::string();
  return std::string(value.CStr(), value.GetLength());
}

// The remembered list as the finder must read it.
std::vector<std::string> Remembered(CSLIniFile* settings) {
  std::vector<std::string> paths;
  for (u32 n = 1; n <= 10000; ++n) {
    const std::string path = Value(settings, "Arch" + std::to_string(n));
    if (path.empty()) break;
    if (path.size() <= MP3_FINDER_MAX_PATH) paths.push_back(path);
  }
  return paths;
}

// Runs the finder's thread to its end and answers what it listed.
std::vector<std::string> Listed() {
  CMyMP3FinderDialog dialog;
  SLFuzzCheck(dialog.StartThread());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!dialog.listReady.load(std::memory_order_acquire)) {
    SLFuzzCheck(std::chrono::steady_clock::now() < deadline);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  dialog.StopThread();
  return std::vector<std::string>(dialog.files.begin(), dialog.files.end());
}

std::u16string Text(CSLIniFile* settings) {
  const SLWChar* text = settings->GetText();
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Disk& disk = *new Disk;
  if (size > 1 << 20) return 0;
  CSLIniFile* settings = App_Services().settings;
  settings->Clear();
  std::vector<uint8_t> bytes(data, data + size);
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(bytes.data(), uint32_t(bytes.size()), false);
  const bool loaded = settings->Load(storage);
  storage->Release();
  if (!loaded) return 0;

  const std::vector<std::string> remembered = Remembered(settings);
  const std::u16string before = Text(settings);
  const std::vector<std::string> listed = Listed();
  if (listed == remembered && Text(settings) == before) return 0;  // the remembered list, settings untouched

  // Otherwise the disk was walked: the files on it, each once, and the section now
  // remembers exactly them.
  SLFuzzCheck(std::multiset<std::string>(listed.begin(), listed.end()) == disk.found);
  SLFuzzCheck(Value(settings, "EscaneoCompleto") == "1");
  SLFuzzCheck(Remembered(settings) == listed);
  SLFuzzCheck(Value(settings, "Arch" + std::to_string(listed.size() + 1)).empty());
  SLFuzzCheck(Listed() == listed);
  return 0;
}
