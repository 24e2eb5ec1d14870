// CRC-32 over a pack-sized buffer: the digest class beside zlib's crc32 on the same bytes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchRatio.h"
#include "foundation/SLDigest.h"

namespace {

const std::vector<u8>& Buffer() {
  static std::vector<u8> data = [] {
    std::vector<u8> d(16 << 20);
    u32 x = 12345;
    for (auto& b : d) b = u8((x = x * 1103515245u + 12345u) >> 16);
    return d;
  }();
  return data;
}

void BM_Crc32Digest(benchmark::State& state) {
  const auto& data = Buffer();
  CSLDigestAlgorithmCRC32 crc;
  for (auto _ : state) {
    crc.Initialize();
    crc.Update(data.data(), u32(data.size()));
    benchmark::DoNotOptimize(crc.GetValue());
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(data.size()));
}
BENCHMARK(BM_Crc32Digest);

void BM_Crc32Zlib(benchmark::State& state) {
  const auto& data = Buffer();
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, data.data(), uInt(data.size())));
  state.SetBytesProcessed(i64(state.iterations()) * i64(data.size()));
}
BENCHMARK(BM_Crc32Zlib);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Both must give the same digest, or the ratio compares a wrong answer with a right one.
  CSLDigestAlgorithmCRC32 crc;
  crc.Initialize();
  crc.Update(Buffer().data(), u32(Buffer().size()));
  if (crc.GetValue() != u32(crc32(0, Buffer().data(), uInt(Buffer().size())))) {
    std::fprintf(stderr, "DigestBench: the digest's CRC-32 differs from zlib's\n");
    return 1;
  }
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"BM_Crc32Digest", "BM_Crc32Zlib"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
