// Sample reads of a minute of PCM stored in AVI chunks of 1/25 s: sequential and random
// ReadSamples beside pread of the same byte ranges of the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "media/avi/AviParser.h"
#include "storage/SLFileStorage.h"
#include "storage/StorageClasses.h"

namespace {

constexpr u32 kSequentialSamples = 4096;
constexpr u32 kRandomSamples = 1024;
constexpr int kRandomReads = 2000;

struct Piece {
  u64 offset;
  u32 length;
};

struct Fixture {
  std::filesystem::path dir;
  CSLFileStorage file;
  AviParser parser;
  int descriptor = -1;
  std::vector<u8> buffer = std::vector<u8>(kSequentialSamples * 4);
  std::vector<u64> randomFirsts;
  Fixture() {
    SLRegisterStorageClasses();
    dir = std::filesystem::temp_directory_path() / ("avi_read_bench_" + std::to_string(getpid()));
    std::string command = std::string("python3 ") + SL_SOURCE_DIR + "/tools/fixtures/make_avi_variants.py --synthetic " +
                          dir.string();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not write the files\n");
    std::string path = (dir / "minute_pcm.avi").string();
    file.OpenA(path.c_str(), SL_STORAGE_READ);
    if (!parser.Open(&file, 0)) std::fprintf(stderr, "open failed: %x\n", SLGetLastError());
    descriptor = open(path.c_str(), O_RDONLY);
    std::mt19937_64 random(7);
    for (int i = 0; i < kRandomReads; ++i) randomFirsts.push_back(random() % (Length() - kRandomSamples));
  }
  ~Fixture() {
    close(descriptor);
    std::filesystem::remove_all(dir);
  }
  u64 Length() { return parser.GetStream(1)->length; }

  // The file ranges a read of `count` samples from `first` covers, from the index.
  std::vector<Piece> Pieces(u64 first, u32 count) {
    AviStreamInfo* audio = parser.GetStream(1);
    std::vector<Piece> pieces;
    u64 begin = first * 4, end = begin + u64(count) * 4, start = 0;
    for (u64 e = 0; e < audio->entryCount && start < end; ++e) {
      u64 size = audio->entries[e].Size();
      if (start + size > begin) {
        u64 from = std::max(begin, start), to = std::min(end, start + size);
        pieces.push_back({audio->entries[e].offset + 8 + (from - start), u32(to - from)});
      }
      start += size;
    }
    return pieces;
  }
};

Fixture& Get() {
  static Fixture fixture;
  return fixture;
}

std::vector<std::vector<Piece>> SequentialPieces() {
  std::vector<std::vector<Piece>> all;
  for (u64 first = 0; first < Get().Length(); first += kSequentialSamples)
    all.push_back(Get().Pieces(first, kSequentialSamples));
  return all;
}

std::vector<std::vector<Piece>> RandomPieces() {
  std::vector<std::vector<Piece>> all;
  for (u64 first : Get().randomFirsts) all.push_back(Get().Pieces(first, kRandomSamples));
  return all;
}

void ReadSequential() {
  Fixture& f = Get();
  u64 bytes;
  u32 samples;
  for (u64 first = 0; first < f.Length(); first += kSequentialSamples)
    f.parser.ReadSamples(1, first, kSequentialSamples, f.buffer.data(), u32(f.buffer.size()), &bytes, &samples);
}

void ReadRandom() {
  Fixture& f = Get();
  u64 bytes;
  u32 samples;
  for (u64 first : f.randomFirsts)
    f.parser.ReadSamples(1, first, kRandomSamples, f.buffer.data(), kRandomSamples * 4, &bytes, &samples);
}

void Pread(const std::vector<std::vector<Piece>>& reads) {
  Fixture& f = Get();
  for (const auto& pieces : reads) {
    u8* out = f.buffer.data();
    for (const Piece& piece : pieces) {
      if (pread(f.descriptor, out, piece.length, off_t(piece.offset)) != ssize_t(piece.length)) std::abort();
      out += piece.length;
    }
  }
}

// Sequential reads within 1.2x of pread; random reads are reported beside theirs.
void BM_ReadSamplesSequential(benchmark::State& state) {
  for (auto _ : state) ReadSequential();
}
void BM_PreadSequential(benchmark::State& state) {
  auto reads = SequentialPieces();
  for (auto _ : state) Pread(reads);
}
void BM_ReadSamplesRandom(benchmark::State& state) {
  for (auto _ : state) ReadRandom();
}
void BM_PreadRandom(benchmark::State& state) {
  auto reads = RandomPieces();
  for (auto _ : state) Pread(reads);
}
BENCHMARK(BM_ReadSamplesSequential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreadSequential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSamplesRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreadRandom)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Get();  // the file is written before anything is timed
  SLBenchRatioReporter reporter({{"BM_ReadSamplesSequential", "BM_PreadSequential"},
                                 {"BM_ReadSamplesRandom", "BM_PreadRandom"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
