// CRC-32 over a pack-sized buffer: the digest class beside zlib's crc32 on the same bytes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <vector>

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

double SecondsPerPass(auto&& pass) {
  auto best = 1e9;
  for (int round = 0; round < 20; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    pass();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  const auto& data = Buffer();
  CSLDigestAlgorithmCRC32 crc;
  volatile u32 sink = 0;
  double ours = SecondsPerPass([&] {
    crc.Initialize();
    crc.Update(data.data(), u32(data.size()));
    sink = crc.GetValue();
  });
  double peer = SecondsPerPass([&] { sink = u32(crc32(0, data.data(), uInt(data.size()))); });
  std::printf("CRC-32 over 16 MiB: digest %.3f ms, zlib %.3f ms, ratio %.2f (goal <= 0.5)\n", ours * 1e3,
              peer * 1e3, ours / peer);
  return 0;
}
