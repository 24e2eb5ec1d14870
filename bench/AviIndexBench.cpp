// Opening a one-hour AVI (90,000 video and 36,000 audio chunks) with an idx1 index, with
// OpenDML indexes and with no index at all, beside libavformat opening the same files.
#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/BenchTiming.h"
#include "media/avi/AviParser.h"
#include "storage/SLFileStorage.h"
#include "storage/StorageClasses.h"

namespace {

struct Fixture {
  std::filesystem::path dir;
  Fixture() {
    SLRegisterStorageClasses();
    dir = std::filesystem::temp_directory_path() / ("avi_index_bench_" + std::to_string(getpid()));
    std::string command = std::string("python3 ") + SL_SOURCE_DIR + "/tools/make_avi_variants.py --synthetic " +
                          dir.string();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not write the files: %s\n", command.c_str());
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
  std::string Path(const char* name) const { return (dir / name).string(); }
};

Fixture& Get() {
  static Fixture fixture;
  return fixture;
}

u64 OpenParser(const std::string& path) {
  CSLFileStorage file;
  file.OpenA(path.c_str(), SL_STORAGE_READ);
  AviParser parser;
  if (!parser.Open(&file, 0)) std::fprintf(stderr, "open failed: %x\n", SLGetLastError());
  return parser.GetStream(0) ? parser.GetStream(0)->entryCount : 0;
}

void OpenLibav(const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) == 0) avformat_close_input(&context);
}

void BM_ParserOpenIdx1(benchmark::State& state) {
  for (auto _ : state) OpenParser(Get().Path("hour_idx1.avi"));
}
BENCHMARK(BM_ParserOpenIdx1)->Unit(benchmark::kMillisecond);

void BM_LibavOpenIdx1(benchmark::State& state) {
  for (auto _ : state) OpenLibav(Get().Path("hour_idx1.avi"));
}
BENCHMARK(BM_LibavOpenIdx1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  Get();  // the files are written before anything is timed
  benchmark::RunSpecifiedBenchmarks();
  struct Form {
    const char* file;
    const char* what;
    const char* goal;
  } const forms[] = {
      {"hour_idx1.avi", "idx1", "goal <= 1.5"},
      {"hour_opendml.avi", "OpenDML", "goal <= 1.5"},
      {"hour_noindex.avi", "no index (scan)", "reported"},
  };
  for (const Form& form : forms) {
    std::string path = Get().Path(form.file);
    u64 entries = OpenParser(path);
    auto [ours, theirs] = BestAlternating<2>({[&] { OpenParser(path); }, [&] { OpenLibav(path); }}, 15);
    std::printf("open of a one-hour AVI with %s (%llu video entries): parser %.3f ms, libavformat %.3f ms: "
                "ratio %.2f (%s)\n",
                form.what, static_cast<unsigned long long>(entries), ours * 1e3, theirs * 1e3, ours / theirs, form.goal);
  }
  return 0;
}
