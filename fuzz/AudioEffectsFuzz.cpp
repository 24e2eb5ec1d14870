// The channel mix and the resampler with random routes, ratios, qualities, channel
// counts and block splits: outputs stay in [-1, 1] and inside the counts reported.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/SLAudioEffect.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  u32 Take(int bytes) {
    u32 value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | (at < size ? data[at++] : 0);
    return value;
  }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

// Runs `blocks` through the effect and checks each output block.
void Run(CSLBaseAudioEffect* effect, Input* in, u32 channels, u32 outChannels, u32 maxFrames) {
  for (u32 block = 0; block < 4; ++block) {
    const u32 frames = in->Take(2) % maxFrames;
    std::vector<double> samples(size_t(frames) * channels + 1);
    // Samples in [-1, 1): equal counts copy the input unchanged, so it must already be in range.
    for (double& s : samples) s = (int(in->Take(1)) - 128) / 128.0;
    u32 count = 0;
    if (!effect->Process(nullptr, &count, samples.data(), frames, channels)) continue;
    std::vector<double> out(size_t(count) * outChannels + 1, 7.0);
    u32 written = 0;
    Check(effect->Process(out.data(), &written, samples.data(), frames, channels) && written == count);
    for (size_t i = 0; i + 1 < out.size(); ++i) Check(out[i] >= -1.0 && out[i] <= 1.0);
    Check(out.back() == 7.0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const u32 channels = 1 + in.Take(1) % 4;
  if (in.Take(1) & 1) {
    CSLAudioEffectChannelMix mix;
    u32 outChannels = 0;
    for (u32 routes = in.Take(1) % 6; routes > 0; --routes) {
      const u32 source = in.Take(1) % 10, destination = in.Take(1) % 10;
      if (mix.AddRoute(source, in.Take(1) * 0.5, destination) && destination >= outChannels)
        outChannels = destination + 1;
    }
    Run(&mix, &in, channels, outChannels ? outChannels : 1, 512);
    return 0;
  }
  CSLAudioEffectResample resample;
  // Ratios from 1/240 to 240 on a logarithmic scale, now and then exactly 1.
  const u32 step = in.Take(2);
  const double ratio = step % 97 == 0 ? 1.0 : std::exp((double(step) / 65535.0 * 2.0 - 1.0) * std::log(240.0));
  resample.SetRatio(ratio);
  resample.SetQuality(i32(in.Take(1) % 5) - 2);
  // Blocks of at most some 1,000 output frames (and 256 input frames) keep each input to a
  // fraction of a millisecond: the long filters of the high qualities cost thousands of
  // products per output frame, and the filter's state is what the fuzzer explores, not the
  // block length.
  Run(&resample, &in, channels, channels, ratio > 1.0 ? 2 + u32(1000 / ratio) : 256);
  return 0;
}
