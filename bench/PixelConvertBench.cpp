// Pixel conversion beside pixman's SRC composite on the same buffers (the screen's
// 800x600 and the stage's 664x372), row by row through SLConvertPixelRow and whole
// images through ConvertFormat; and the 4x4-block encoder beside libsquish's range fit on
// a 1024x1024 picture. Prints every time and the ratio of ours to the peer's.
#include <benchmark/benchmark.h>
#include <pixman.h>
#include <dlfcn.h>
#include <squish.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "image/ImageClasses.h"
#include "image/SLImage.h"
#include "image/SLPixelConvert.h"

namespace {

struct Pair {
  u32 from, to;
  pixman_format_code_t pixmanFrom, pixmanTo;
};
const Pair kPairs[] = {
    {3, 5, PIXMAN_r8g8b8, PIXMAN_a8r8g8b8},  {5, 3, PIXMAN_a8r8g8b8, PIXMAN_r8g8b8},
    {14, 5, PIXMAN_r5g6b5, PIXMAN_a8r8g8b8}, {5, 14, PIXMAN_a8r8g8b8, PIXMAN_r5g6b5},
    {5, 12, PIXMAN_a8r8g8b8, PIXMAN_a8},
};
const u32 kSizes[][2] = {{800, 600}, {664, 372}};

// A picture with smooth areas, edges and noise, in format 4 (R, G, B, A).
CSLImage* MakePicture(u32 width, u32 height) {
  auto* image = new CSLImage();
  image->Create(4, width, height, false);
  std::mt19937 random(width * 31 + height);
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      u8* p = image->GetPixelAddress(x, y);
      const u32 noise = random() & 15;
      p[0] = u8(x * 255 / width + noise);
      p[1] = u8((x / 37 + y / 29) % 2 ? 200 - noise : 40 + noise);
      p[2] = u8(y * 255 / height);
      p[3] = u8((x + y) % 256);
    }
  return image;
}

CSLImage* PictureIn(u32 format, u32 width, u32 height) {
  CSLImage* image = MakePicture(width, height);
  image->ConvertFormat(format);
  return image;
}

void OwnRows(benchmark::State& state, Pair pair, u32 width, u32 height) {
  CSLImage* source = PictureIn(pair.from, width, height);
  CSLImage target;
  target.Create(pair.to, width, height, false);
  for (auto _ : state)
    for (u32 y = 0; y < height; ++y)
      SLConvertPixelRow(pair.to, target.GetPixelAddress(0, y), pair.from, source->GetPixelAddress(0, y), width,
                        nullptr);
  source->Release();
}

void OwnImage(benchmark::State& state, Pair pair, u32 width, u32 height) {
  CSLImage* source = PictureIn(pair.from, width, height);
  CSLImage image;
  for (auto _ : state) {
    state.PauseTiming();
    source->CopyTo(&image);
    state.ResumeTiming();
    image.ConvertFormat(pair.to);
  }
  source->Release();
}

void Pixman(benchmark::State& state, Pair pair, u32 width, u32 height) {
  CSLImage* source = PictureIn(pair.from, width, height);
  CSLImage target;
  target.Create(pair.to, width, height, false);
  pixman_image_t* from = pixman_image_create_bits(pair.pixmanFrom, int(width), int(height),
                                                  reinterpret_cast<uint32_t*>(source->GetPixels()),
                                                  int(source->GetStride()));
  pixman_image_t* to = pixman_image_create_bits(pair.pixmanTo, int(width), int(height),
                                                reinterpret_cast<uint32_t*>(target.GetPixels()),
                                                int(target.GetStride()));
  for (auto _ : state)
    pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, 0, 0, int(width), int(height));
  pixman_image_unref(from);
  pixman_image_unref(to);
  source->Release();
}

void OwnBlocks(benchmark::State& state, u32 format) {
  CSLImage* picture = MakePicture(1024, 1024);
  picture->ConvertFormat(format);
  for (auto _ : state) {
    picture->SetBlockDataStale(true);
    benchmark::DoNotOptimize(picture->GetBlockData());
  }
  picture->Release();
}

// Debian's libsquish compresses on every core through OpenMP, while our encoder uses one.
// The like-for-like case limits it to one thread; the as-shipped case keeps its default.
// The OpenMP run-time reads its environment when it loads, so the count is set through
// its own call, found at run time (the library may be built without OpenMP).
void SetSquishThreads(int threads) {
  using SetThreads = void (*)(int);
  static auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
  static auto get = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "omp_get_num_procs"));
  if (set) set(threads > 0 ? threads : (get ? get() : 1));
}

void Squish(benchmark::State& state, u32 format, bool allCores) {
  SetSquishThreads(allCores ? 0 : 1);
  CSLImage* picture = MakePicture(1024, 1024);
  const int kind = format == 30 ? squish::kDxt1 : format <= 32 ? squish::kDxt3 : squish::kDxt5;
  std::vector<u8> blocks(size_t(squish::GetStorageRequirements(1024, 1024, kind)));
  for (auto _ : state)
    squish::CompressImage(picture->GetPixels(), 1024, 1024, blocks.data(), kind | squish::kColourRangeFit);
  picture->Release();
}

// Registers every case and returns the (ours, peer) pairs whose ratio is printed.
std::vector<std::pair<std::string, std::string>> RegisterAll() {
  std::vector<std::pair<std::string, std::string>> ratios;
  for (const Pair& pair : kPairs)
    for (const auto& size : kSizes) {
      const std::string name =
          std::to_string(pair.from) + "->" + std::to_string(pair.to) + "/" + std::to_string(size[0]) + "x" +
          std::to_string(size[1]);
      benchmark::RegisterBenchmark(("Pixman/" + name).c_str(), Pixman, pair, size[0], size[1]);
      benchmark::RegisterBenchmark(("OwnRows/" + name).c_str(), OwnRows, pair, size[0], size[1]);
      benchmark::RegisterBenchmark(("OwnImage/" + name).c_str(), OwnImage, pair, size[0], size[1]);
      ratios.push_back({"OwnRows/" + name, "Pixman/" + name});
      ratios.push_back({"OwnImage/" + name, "Pixman/" + name});
    }
  for (u32 format = 30; format <= 34; ++format) {
    const std::string name = "/format" + std::to_string(format) + "/1024x1024";
    benchmark::RegisterBenchmark(("Squish" + name).c_str(), Squish, format, false);
    benchmark::RegisterBenchmark(("SquishAsShipped" + name).c_str(), Squish, format, true)->UseRealTime();
    benchmark::RegisterBenchmark(("OwnBlocks" + name).c_str(), OwnBlocks, format);
    ratios.push_back({"OwnBlocks" + name, "Squish" + name});
    ratios.push_back({"OwnBlocks" + name, "SquishAsShipped" + name});
  }
  return ratios;
}

}  // namespace

int main(int argc, char** argv) {
  SLRegisterImageClasses();
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(RegisterAll());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
