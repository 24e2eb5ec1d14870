// Drawing a movie picture: the player's RenderFrame of a 24-bit bottom-up picture into a
// 32-bit back buffer (664x372 and 800x600, the picture already decoded), against
// libswscale's BGR24 to BGRA of the same rows read with the flip (a negative stride).
// Prints the times and their ratios.
#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <stdlib.h>

#include <string>

#include "bench/BenchRatio.h"
#include "media/MediaClasses.h"
#include "media/SLMoviePlayer.h"
#include "tests/support/MoviePlayerFakes.h"

namespace {

struct Size {
  u32 width, height;
};
constexpr Size kSizes[] = {{664, 372}, {800, 600}};

void PlayerRender(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  char folder[] = "/tmp/slrenderbenchXXXXXX";
  if (!mkdtemp(folder)) return state.SkipWithError("no temporary folder");
  const std::string path = std::string(folder) + "/movie.mxv";
  SLRegisterMediaClasses();
  CBackBufferGfx gfx;
  {
    CSL_GS_MoviePlayer player;
    if (!SLTestWriteMovie(path, size.width, size.height, 24, 10, 1) || !player.SetGfx(&gfx) ||
        !player.Open(path.c_str(), nullptr) || !player.RenderFrame(0, 0))
      state.SkipWithError("the movie did not open");
    for (auto _ : state) benchmark::DoNotOptimize(player.RenderFrame(0, 0));
  }
  std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

void SwscaleFlip(benchmark::State& state) {
  const Size size = kSizes[state.range(0)];
  const int stride = int((size.width * 3 + 3) & ~3u);
  std::vector<uint8_t> picture(size_t(stride) * size.height, 0x5A), target(size_t(800) * 600 * 4);
  SwsContext* context = sws_getContext(int(size.width), int(size.height), AV_PIX_FMT_BGR24, int(size.width),
                                       int(size.height), AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
  // The bottom row first: the last stored row with a negative stride.
  const uint8_t* source[1] = {picture.data() + size_t(stride) * (size.height - 1)};
  const int sourceStride[1] = {-stride};
  uint8_t* destination[1] = {target.data()};
  const int destinationStride[1] = {800 * 4};
  for (auto _ : state) {
    sws_scale(context, source, sourceStride, 0, int(size.height), destination, destinationStride);
    benchmark::DoNotOptimize(target.data());
  }
  sws_freeContext(context);
}

BENCHMARK(PlayerRender)->Arg(0)->Arg(1);
BENCHMARK(SwscaleFlip)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"PlayerRender/0", "SwscaleFlip/0"}, {"PlayerRender/1", "SwscaleFlip/1"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
