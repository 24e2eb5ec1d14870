// The MP3 finder's walk of a disk of 100,000 files (300 of them MP3, in three spellings
// of the extension), each find remembered in the settings as the dialog does, against
// find(1) listing the same files on the same tree in the same run.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/services/AppClasses.h"
#include "app/services/AppServices.h"
#include "app/media/Mp3Finder.h"
#include "bench/BenchRatio.h"
#include "foundation/SLSync.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLFileFinder.h"
#include "storage/SLIniFile.h"

namespace {

constexpr int kDirectories = 1000;
constexpr int kFilesPerDirectory = 100;
constexpr int kMp3Every = 333;  // 300 of the 100,000 files

// The tree, made once and kept between runs (a stamp file marks it complete).
const std::string& Tree() {
  static const std::string root = [] {
    const std::string dir = "/tmp/sl-mp3search-tree";
    const std::string stamp = dir + "/.complete";
    if (std::filesystem::exists(stamp)) return dir;
    std::filesystem::remove_all(dir);
    const char* const extensions[3] = {".mp3", ".MP3", ".Mp3"};
    int made = 0;
    for (int d = 0; d < kDirectories; ++d) {
      const std::string folder = dir + "/grupo" + std::to_string(d / 50) + "/carpeta" + std::to_string(d);
      std::filesystem::create_directories(folder);
      for (int f = 0; f < kFilesPerDirectory; ++f, ++made) {
        const bool mp3 = made % kMp3Every == 0 && made / kMp3Every < 300;
        const std::string name =
            "archivo" + std::to_string(f) + (mp3 ? extensions[(made / kMp3Every) % 3] : ".dat");
        std::ofstream(folder + "/" + name);
      }
    }
    std::ofstream(stamp) << "ok";
    return dir;
  }();
  return root;
}

void BM_FinderWalkWithSettings(benchmark::State& state) {
  SLRegisterAppClasses();
  SLPlatformSetDriveRoot(Tree().c_str());
  size_t found = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto* dialog = new CMyMP3FinderDialog();
    CSLIniFile* settings = App_Services().settings;
    settings->Clear();
    state.ResumeTiming();
    CSLFileFinder finder;
    finder.Start(&Mp3FinderDialog_StoreEntry, dialog, "C:\\", "*.MP3", true);
    while (finder.IsRunning()) SLSleep(1);
    finder.Stop();
    state.PauseTiming();
    found = dialog->FileCount();
    dialog->Release();
    state.ResumeTiming();
  }
  SLPlatformSetDriveRoot(nullptr);
  state.counters["files"] = double(found);
}
BENCHMARK(BM_FinderWalkWithSettings)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FindPeer(benchmark::State& state) {
  const std::string command = "find '" + Tree() + "' -xdev -type f -iname '*.mp3'";
  size_t found = 0;
  for (auto _ : state) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
      state.SkipWithError("find did not start");
      return;
    }
    char line[4096];
    found = 0;
    while (fgets(line, sizeof line, pipe)) ++found;
    pclose(pipe);
  }
  state.counters["files"] = double(found);
}
BENCHMARK(BM_FindPeer)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Tree();
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"BM_FinderWalkWithSettings", "BM_FindPeer"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
