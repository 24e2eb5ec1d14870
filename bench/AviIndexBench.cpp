// Opening a one-hour AVI (90,000 video and 36,000 audio chunks) with an idx1 index, with
// OpenDML indexes and with no index at all, beside libavformat opening the same files.
#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchRatio.h"
#include "media/avi/AviParser.h"
#include "storage/SLFileStorage.h"
#include "storage/StorageClasses.h"

namespace {

struct Fixture {
  std::filesystem::path dir;
  Fixture() {
    SLRegisterStorageClasses();
    dir = std::filesystem::temp_directory_path() / ("avi_index_bench_" + std::to_string(getpid()));
    std::string command = std::string("python3 ") + SL_SOURCE_DIR + "/tools/fixtures/make_avi_variants.py --synthetic " +
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

void OpenParser(const std::string& path) {
  CSLFileStorage file;
  file.OpenA(path.c_str(), SL_STORAGE_READ);
  AviParser parser;
  if (!parser.Open(&file, 0)) std::fprintf(stderr, "open failed: %x\n", SLGetLastError());
}

void OpenLibav(const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) == 0) avformat_close_input(&context);
}

// Each form of the file opened by the parser and by libavformat. Without an index the
// parser scans the movie data for its chunks where libavformat defers that work to the
// reads, so that pair shows the scan's cost and has no goal.
void BM_ParserOpen(benchmark::State& state, const char* file) {
  std::string path = Get().Path(file);
  for (auto _ : state) OpenParser(path);
}
void BM_LibavOpen(benchmark::State& state, const char* file) {
  std::string path = Get().Path(file);
  for (auto _ : state) OpenLibav(path);
}
BENCHMARK_CAPTURE(BM_ParserOpen, idx1, "hour_idx1.avi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavOpen, idx1, "hour_idx1.avi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParserOpen, opendml, "hour_opendml.avi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavOpen, opendml, "hour_opendml.avi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParserOpen, scan, "hour_noindex.avi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibavOpen, scan, "hour_noindex.avi")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  Get();  // the files are written before anything is timed
  SLBenchRatioReporter reporter({{"BM_ParserOpen/idx1", "BM_LibavOpen/idx1"},
                                 {"BM_ParserOpen/opendml", "BM_LibavOpen/opendml"},
                                 {"BM_ParserOpen/scan", "BM_LibavOpen/scan"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
