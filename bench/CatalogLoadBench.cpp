// Loading 40 background packs into the catalogue beside the bare work on the same packs
// (pack attach, entry reads, Targa decode, the mask and colour conversions, the device
// images): what the catalogue adds is the header check, the depth scan, the identity and
// the sorted insertion.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/SceneCatalog.h"
#include "bench/BenchRatio.h"
#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderTGA.h"
#include "media/MediaClasses.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLIniFile.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tools/packwriter/PackWriter.h"

namespace {

constexpr int kPacks = 40;

std::vector<uint8_t> StagePicture(int seed) {
  std::vector<uint8_t> out(18 + size_t(kStageWidth) * kStageHeight * 4);
  const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, u8(kStageWidth), u8(kStageWidth >> 8),
                              u8(kStageHeight), u8(kStageHeight >> 8), 32, 0x28};
  std::copy(header, header + 18, out.begin());
  uint8_t* p = out.data() + 18;
  for (u32 y = 0; y < kStageHeight; ++y)
    for (u32 x = 0; x < kStageWidth; ++x, p += 4)
      p[0] = u8(x + seed), p[1] = u8(y), p[2] = u8(x * 3), p[3] = y < 100 ? 0 : u8(10 + y / 2);
  return out;
}

struct Fixture {
  std::filesystem::path folder;
  std::vector<std::string> paths;
  CMemoryGfxDevice gfx;
  Fixture() {
    SLRegisterMediaClasses();
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, nullptr, nullptr);
    folder = std::filesystem::temp_directory_path() / ("catalog_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string error;
    for (int i = 0; i < kPacks; ++i) {
      slpack::PackWriter pack(2, 0);
      const std::string info = "[General]\r\nClase=Lugar" + std::to_string(i % 7) + "\r\nNombre=Escena " +
                               std::to_string(i) + "\r\n";
      pack.AddFile(std::string("info.txt"), std::vector<uint8_t>(info.begin(), info.end()));
      pack.AddFile(std::string("fondo.tga"), StagePicture(i));
      std::vector<uint8_t> bytes;
      pack.Build(&bytes, &error);
      paths.push_back((folder / ("escena" + std::to_string(i) + ".DAT")).string());
      slpack::WriteFile(paths.back(), bytes, &error);
    }
  }
  ~Fixture() {
    AdventureDevices_Set(nullptr, nullptr, nullptr);
    std::filesystem::remove_all(folder);
  }
};

Fixture& Packs() {
  static Fixture fixture;
  return fixture;
}

void CatalogLoad(benchmark::State& state) {
  Fixture& f = Packs();
  for (auto _ : state) {
    for (const std::string& path : f.paths)
      if (!SceneCatalog_LoadItem(path.c_str(), nullptr)) state.SkipWithError("load failed");
    SceneCatalog_Free();
  }
}

void BareLoad(benchmark::State& state) {
  Fixture& f = Packs();
  std::vector<SL_GS_Image*> images;
  for (auto _ : state) {
    for (const std::string& path : f.paths) {
      CSLFastFileStorage pack;
      CSLImageReaderTGA reader;
      CSLImageArray pictures;
      CSLImage mask;
      CSLIniFile ini;
      char value[512];
      u32 size = sizeof value;
      if (!pack.AttachFile(path.c_str(), false, 0) || !pack.OpenA("fondo.tga", 0) ||
          !reader.Read(&pictures, &pack, 0) || !mask.CopyFrom(pictures[0]) || !mask.ConvertFormat(12) ||
          !pictures[0]->ConvertFormat(3) || !pack.OpenA("info.txt", 0) || !ini.Load(&pack) ||
          !ini.GetStringA("General", "Nombre", value, &size, ""))
        state.SkipWithError("bare load failed");
      images.push_back(f.gfx.CreateImage(pictures[0], false));
    }
    for (SL_GS_Image* image : images) f.gfx.DestroyImage(image);
    images.clear();
  }
}

BENCHMARK(CatalogLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BareLoad)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"CatalogLoad", "BareLoad"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
