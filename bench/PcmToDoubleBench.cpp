// PCM to doubles, ours beside libswresample's sample-format conversion (same rate, so it
// only converts), for 16-bit and 8-bit stereo: one second of 44,100 Hz noise per run.
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <random>
#include <vector>

#include "bench/BenchRatio.h"
#include "media/SLPcmConvert.h"

namespace {

constexpr u32 kFrames = 44100;

std::vector<u8> Noise(size_t bytes) {
  std::mt19937 rng(7);
  std::vector<u8> out(bytes);
  for (u8& b : out) b = u8(rng());
  return out;
}

void Ours(benchmark::State& state, u32 bits) {
  const SLAudioFormat format{1, 2, bits, 44100, 44100 * bits / 4, bits / 4};
  const std::vector<u8> in = Noise(size_t(kFrames) * format.blockAlign);
  std::vector<double> out(size_t(kFrames) * 2);
  for (auto _ : state) {
    SLConvertPcmToDouble(out.data(), in.data(), kFrames, &format);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
}

void Swresample(benchmark::State& state, AVSampleFormat from, u32 bytes) {
  SwrContext* swr = nullptr;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_DBL, 44100, &stereo, from, 44100, 0, nullptr);
  swr_init(swr);
  const std::vector<u8> in = Noise(size_t(kFrames) * 2 * bytes);
  std::vector<double> out(size_t(kFrames) * 2);
  for (auto _ : state) {
    const u8* input = in.data();
    u8* output = reinterpret_cast<u8*>(out.data());
    swr_convert(swr, &output, kFrames, &input, kFrames);
    benchmark::DoNotOptimize(out.data());
  }
  swr_free(&swr);
  state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
}

BENCHMARK_CAPTURE(Ours, s16, 16)->MinTime(1.0);
BENCHMARK_CAPTURE(Swresample, s16, AV_SAMPLE_FMT_S16, 2)->MinTime(1.0);
BENCHMARK_CAPTURE(Ours, u8, 8)->MinTime(1.0);
BENCHMARK_CAPTURE(Swresample, u8, AV_SAMPLE_FMT_U8, 1)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"Ours/s16", "Swresample/s16"}, {"Ours/u8", "Swresample/u8"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
