// Loading the sample catalogue through the loading screen (its loader thread beside the
// screen's frames, the music and the GUI) against the same work done plainly: the
// screen's own pictures loaded and the three loaders called in a loop on the same packs,
// in the same run. The screen and the thread should add at most a tenth. The screen's
// pictures are the same work on both sides: they are loaded before the thread starts, a
// fixed cost whatever the size of the catalogue. Beside that pair, the screen against the
// loaders alone shows that fixed cost too. Runs the program's services on SDL's dummy
// drivers over the sample content (bench/BenchContent.h).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppClasses.h"
#include "app/services/AppServices.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/screens/LoadingScreen.h"
#include "bench/BenchContent.h"
#include "bench/BenchRatio.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "storage/SLFastFileStorage.h"
#include "platform/kernel32/Modules.h"

namespace {

const char* const kKindFolders[3] = {"Personajes", "Fondos", "Objetos"};

void EmptyCatalogues() {
  SceneCatalog_Free();
  ObjectCatalog_Free();
  CharacterCatalog_Free();
}

// The packs of each kind as the loader thread builds their paths, in its order.
std::vector<std::string> PackPaths(u32 kind) {
  std::vector<std::string> names;
  const std::string folder = std::string(App_ProgramDirectory()) + "Gfx/" + kKindFolders[kind];
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".DAT") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name = std::string(App_ProgramDirectory()) + "Gfx\\" + kKindFolders[kind] + "\\" + name;
  return names;
}

// The pictures the loading screen loads before it starts its thread, loaded and
// destroyed the same way; false when one is missing.
bool LoadScreenPictures() {
  AppServices& s = App_Services();
  std::vector<SL_GS_Image*> pictures;
  for (u32 i = 1; i <= 34; ++i) {
    char name[256];
    std::snprintf(name, sizeof name, "Interface/Carga Inicial/Flor/flor%02u.mximg", i);
    pictures.push_back(s.gfx->LoadImage(s.graphicsPack, name, CSLImageReaderMXIMG::GetClassRecord()));
  }
  pictures.push_back(
      s.gfx->LoadImage(s.graphicsPack, "Interface/Carga Inicial/Fondo/fondo.mximg", CSLImageReaderMXIMG::GetClassRecord()));
  bool ok = true;
  for (SL_GS_Image*& picture : pictures) {
    ok = picture && ok;
    s.gfx->DestroyImageAndClear(&picture);
  }
  return ok;
}

bool LoadPacks(const std::vector<std::string> (&packs)[3]) {
  bool ok = true;
  for (const std::string& path : packs[0]) ok = CharacterCatalog_LoadItem(path.c_str(), nullptr, nullptr, 0, 0) && ok;
  for (const std::string& path : packs[1]) ok = SceneCatalog_LoadItem(path.c_str(), nullptr) && ok;
  for (const std::string& path : packs[2]) ok = ObjectCatalog_LoadItem(path.c_str(), nullptr) && ok;
  return ok;
}

void LoadingScreen(benchmark::State& state) {
  for (auto _ : state) {
    if (LoadingScreen_Run() != 1) state.SkipWithError("the loading screen did not load the catalogue");
    state.PauseTiming();
    EmptyCatalogues();
    state.ResumeTiming();
  }
}

void PlainLoaders(benchmark::State& state) {
  const std::vector<std::string> packs[3] = {PackPaths(0), PackPaths(1), PackPaths(2)};
  for (auto _ : state) {
    if (!LoadPacks(packs)) state.SkipWithError("a pack did not load");
    state.PauseTiming();
    EmptyCatalogues();
    state.ResumeTiming();
  }
}

void PlainWork(benchmark::State& state) {
  const std::vector<std::string> packs[3] = {PackPaths(0), PackPaths(1), PackPaths(2)};
  for (auto _ : state) {
    if (!LoadScreenPictures()) state.SkipWithError("a picture of the loading screen did not load");
    if (!LoadPacks(packs)) state.SkipWithError("a pack did not load");
    state.PauseTiming();
    EmptyCatalogues();
    state.ResumeTiming();
  }
}

BENCHMARK(LoadingScreen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(PlainWork)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(PlainLoaders)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string content = SLBenchContentFolder("LoadingScreenBench");
  if (content.empty()) return 1;
  SLRegisterAppClasses();
  SLPlatformSetProgramFileName((content + "/Zarandulvortequimbaplastelo").c_str());
  App_Init();
  CommonUi_Load();
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"LoadingScreen", "PlainWork"}, {"LoadingScreen", "PlainLoaders"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  CommonUi_Free();
  App_Shutdown();
  return 0;
}
