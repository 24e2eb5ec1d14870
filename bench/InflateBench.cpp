// The own inflater beside the system zlib's inflate on the same 64 MB of zlib streams (text,
// binary and image-like data at level 6), fed in 64 KB pieces into 256 KB of output room,
// as the codec wrapper and the archive reader feed it. Prints both times and their ratio.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "storage/SLInflate.h"
#include "tests/support/TestCorpus.h"
#include "bench/BenchRatio.h"

namespace {

using Bytes = std::vector<u8>;

struct Corpus {
  std::vector<Bytes> streams;
  size_t plainBytes = 0;
};

const Corpus& GetCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    const size_t part = 8u << 20;
    for (u32 seed = 0; seed < 3; ++seed) {
      for (const Bytes& plain : {SLTestCorpus::Text(part, seed), SLTestCorpus::Binary(part, seed + 10),
                                 SLTestCorpus::Image(part, seed + 20)}) {
        uLongf size = compressBound(plain.size());
        Bytes packed(size);
        compress2(packed.data(), &size, plain.data(), plain.size(), 6);
        packed.resize(size);
        c.streams.push_back(std::move(packed));
        c.plainBytes += plain.size();
      }
    }
    return c;
  }();
  return corpus;
}

template <class Stream, class Init, class Inflate, class End>
size_t DecodeAll(Init init, Inflate inflateCall, End end) {
  static Bytes out(256 << 10);
  size_t total = 0;
  for (const Bytes& packed : GetCorpus().streams) {
    Stream s{};
    init(&s);
    size_t pos = 0;
    int result = Z_OK;
    while (result == Z_OK) {
      s.next_in = const_cast<u8*>(packed.data() + pos);
      s.avail_in = static_cast<unsigned>(std::min<size_t>(64 << 10, packed.size() - pos));
      s.next_out = out.data();
      s.avail_out = static_cast<unsigned>(out.size());
      const unsigned before = s.avail_in;
      result = inflateCall(&s);
      pos += before - s.avail_in;
      total += out.size() - s.avail_out;
    }
    end(&s);
  }
  return total;
}

void SystemZlib(benchmark::State& state) {
  for (auto _ : state) {
    const size_t n = DecodeAll<::z_stream>([](::z_stream* s) { inflateInit(s); },
                                           [](::z_stream* s) { return ::inflate(s, Z_SYNC_FLUSH); },
                                           [](::z_stream* s) { inflateEnd(s); });
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * GetCorpus().plainBytes));
}

void OwnInflate(benchmark::State& state) {
  for (auto _ : state) {
    const size_t n = DecodeAll<SLInflate::z_stream>(
        [](SLInflate::z_stream* s) { SLInflate::inflateInit2_(s, 15, "1.2.5", sizeof(*s)); },
        [](SLInflate::z_stream* s) { return SLInflate::inflate(s, Z_SYNC_FLUSH); },
        [](SLInflate::z_stream* s) { SLInflate::inflateEnd(s); });
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * GetCorpus().plainBytes));
}

BENCHMARK(SystemZlib)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(OwnInflate)->Unit(benchmark::kMillisecond)->MinTime(2.0);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("corpus: %zu MB of plain data in %zu zlib streams\n", GetCorpus().plainBytes >> 20,
              GetCorpus().streams.size());
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("OwnInflate", "SystemZlib");
  benchmark::Shutdown();
  return 0;
}
