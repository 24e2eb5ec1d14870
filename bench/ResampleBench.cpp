// The resampler beside libsamplerate on one second of stereo per run, each streaming on
// across runs: linear 44,100 -> 22,050 Hz (the movie export's case) against SRC_LINEAR,
// and the sinc modes at 48,000 -> 44,100 Hz against SRC_SINC_FASTEST, MEDIUM and BEST.
// Before the table it prints each mode's signal-to-noise ratio against SRC_SINC_BEST.
#include <samplerate.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "bench/BenchRatio.h"
#include "media/SLAudioEffect.h"

namespace {

// Three tones well inside the pass band of every mode, interleaved stereo.
template <class T>
std::vector<T> Tones(u32 frames, double rate) {
  std::vector<T> out(size_t(frames) * 2);
  for (u32 i = 0; i < frames; ++i) {
    const double t = i / rate;
    out[2 * i] = T(0.3 * std::sin(2 * std::numbers::pi * 440 * t) + 0.2 * std::sin(2 * std::numbers::pi * 3000 * t));
    out[2 * i + 1] = T(0.4 * std::sin(2 * std::numbers::pi * 9000 * t + 1.0));
  }
  return out;
}

void Ours(benchmark::State& state, double inRate, double outRate, i32 quality) {
  const u32 frames = u32(inRate);
  const std::vector<double> in = Tones<double>(frames, inRate);
  std::vector<double> out(size_t(outRate + 2) * 2);
  CSLAudioEffectResample resample;
  resample.SetRates(inRate, outRate);
  resample.SetQuality(quality);
  u32 count = 0;
  resample.Process(out.data(), &count, in.data(), frames, 2);  // builds the filter
  for (auto _ : state) {
    resample.Process(out.data(), &count, in.data(), frames, 2);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * frames);
}

void Samplerate(benchmark::State& state, double inRate, double outRate, int converter) {
  const u32 frames = u32(inRate);
  const std::vector<float> in = Tones<float>(frames, inRate);
  std::vector<float> out(size_t(outRate + 64) * 2);
  int error = 0;
  SRC_STATE* src = src_new(converter, 2, &error);
  SRC_DATA data{};
  data.src_ratio = outRate / inRate;
  for (auto _ : state) {
    data.data_in = in.data();
    data.input_frames = frames;
    data.data_out = out.data();
    data.output_frames = long(out.size() / 2);
    src_process(src, &data);
    benchmark::DoNotOptimize(out.data());
  }
  src_delete(src);
  state.SetItemsProcessed(int64_t(state.iterations()) * frames);
}

BENCHMARK_CAPTURE(Ours, linear, 44100, 22050, -1)->MinTime(1.0);
BENCHMARK_CAPTURE(Samplerate, linear, 44100, 22050, SRC_LINEAR)->MinTime(1.0);
BENCHMARK_CAPTURE(Ours, sinc3, 48000, 44100, 0)->MinTime(1.0);
BENCHMARK_CAPTURE(Samplerate, fastest, 48000, 44100, SRC_SINC_FASTEST)->MinTime(1.0);
BENCHMARK_CAPTURE(Ours, sinc4, 48000, 44100, 1)->MinTime(1.0);
BENCHMARK_CAPTURE(Samplerate, medium, 48000, 44100, SRC_SINC_MEDIUM_QUALITY)->MinTime(1.0);
BENCHMARK_CAPTURE(Ours, sinc5, 48000, 44100, 2)->MinTime(1.0);
BENCHMARK_CAPTURE(Samplerate, best, 48000, 44100, SRC_SINC_BEST_QUALITY)->MinTime(1.0);

// Ours in one call over two seconds against SRC_SINC_BEST, away from both ends.
void PrintSignalToNoise() {
  const u32 frames = 96000;
  const std::vector<float> inFloat = Tones<float>(frames, 48000);
  const std::vector<double> in = Tones<double>(frames, 48000);
  std::vector<float> best(size_t(frames) * 2);
  SRC_DATA data{};
  data.data_in = inFloat.data();
  data.input_frames = frames;
  data.data_out = best.data();
  data.output_frames = frames;
  data.src_ratio = 44100.0 / 48000.0;
  src_simple(&data, SRC_SINC_BEST_QUALITY, 2);
  for (i32 quality = -2; quality <= 2; ++quality) {
    CSLAudioEffectResample resample;
    resample.SetRates(48000, 44100);
    resample.SetQuality(quality);
    std::vector<double> out(size_t(frames) * 2);
    u32 count = 0;
    resample.Process(out.data(), &count, in.data(), frames, 2);
    double signal = 0.0, noise = 0.0;
    for (u32 i = 2000 * 2; i < u32(data.output_frames_gen - 2000) * 2; ++i) {
      signal += double(best[i]) * best[i];
      noise += (out[i] - best[i]) * (out[i] - best[i]);
    }
    std::printf("mode %d: SNR against SRC_SINC_BEST %.1f dB\n", quality + 3, 10 * std::log10(signal / noise));
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PrintSignalToNoise();
  SLBenchRatioReporter reporter({{"Ours/linear", "Samplerate/linear"},
                            {"Ours/sinc3", "Samplerate/fastest"},
                            {"Ours/sinc4", "Samplerate/medium"},
                            {"Ours/sinc5", "Samplerate/best"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
