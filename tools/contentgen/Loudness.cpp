#include "tools/contentgen/Loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/contentgen/Content.h"

namespace contentgen {

namespace {

// A direct-form biquad, b over a (a0 = 1).
struct Biquad {
  double b0, b1, b2, a1, a2;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double Run(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};

// The K-weighting filters at any rate: the standard gives them at 48 kHz; these are the
// analogue prototypes they come from (a high shelf of +4 dB above about 1.7 kHz and a
// high-pass at about 38 Hz) through the bilinear transform.
void KWeighting(uint32_t rate, Biquad* shelf, Biquad* highPass) {
  double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
  double k = std::tan(M_PI * f0 / rate);
  const double vh = std::pow(10.0, gain / 20.0), vb = std::pow(vh, 0.4996667741545416);
  double a0 = 1.0 + k / q + k * k;
  *shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  f0 = 38.13547087602444, q = 0.5003270373238773;
  k = std::tan(M_PI * f0 / rate);
  a0 = 1.0 + k / q + k * k;
  *highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

double ToLufs(double meanSquare) { return -0.691 + 10.0 * std::log10(meanSquare); }

double Measure(const std::vector<double>& samples, uint32_t rate, uint32_t channels) {
  const size_t frames = channels ? samples.size() / channels : 0;
  if (frames == 0) return -std::numeric_limits<double>::infinity();
  // Squares of the K-weighted signal, summed over the channels, per frame.
  std::vector<double> power(frames, 0.0);
  for (uint32_t c = 0; c < channels; ++c) {
    Biquad shelf, highPass;
    KWeighting(rate, &shelf, &highPass);
    for (size_t i = 0; i < frames; ++i) {
      const double y = highPass.Run(shelf.Run(samples[i * channels + c]));
      power[i] += y * y;
    }
  }
  const size_t block = std::min(frames, size_t(rate) * 4 / 10), step = std::max<size_t>(1, size_t(rate) / 10);
  std::vector<double> blocks;
  std::vector<double> prefix(frames + 1, 0.0);
  for (size_t i = 0; i < frames; ++i) prefix[i + 1] = prefix[i] + power[i];
  for (size_t start = 0; start + block <= frames; start += step) blocks.push_back((prefix[start + block] - prefix[start]) / block);
  auto gatedMean = [&](double gate) {
    double sum = 0;
    size_t count = 0;
    for (double z : blocks)
      if (z > 0 && ToLufs(z) > gate) sum += z, ++count;
    return count ? sum / count : 0.0;
  };
  const double absolute = gatedMean(-70.0);
  if (absolute <= 0) return -std::numeric_limits<double>::infinity();
  const double relative = gatedMean(ToLufs(absolute) - 10.0);
  return ToLufs(relative > 0 ? relative : absolute);
}

std::vector<double> Scaled(const std::vector<int16_t>& samples, double gain) {
  const double ceiling = std::pow(10.0, kPeakCeiling / 20.0), knee = 0.6 * ceiling;
  std::vector<double> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const double x = samples[i] / 32768.0 * gain, magnitude = std::fabs(x);
    // Above the knee the curve bends smoothly towards the ceiling and never reaches it.
    const double limited =
        magnitude <= knee ? magnitude : knee + (ceiling - knee) * std::tanh((magnitude - knee) / (ceiling - knee));
    out[i] = std::copysign(limited, x);
  }
  return out;
}

}  // namespace

double Loudness(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels) {
  std::vector<double> scaled(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) scaled[i] = samples[i] / 32768.0;
  return Measure(scaled, rate, channels);
}

std::vector<int16_t> Normalised(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels) {
  const double measured = Loudness(samples, rate, channels);
  if (!std::isfinite(measured)) return samples;
  double gainDb = kTargetLoudness - measured;
  std::vector<double> out = Scaled(samples, std::pow(10.0, gainDb / 20.0));
  // The limiter lowers the loudness of sounds with tall peaks: make up for it a few times.
  for (int round = 0; round < 6; ++round) {
    const double reached = Measure(out, rate, channels);
    if (std::fabs(reached - kTargetLoudness) < 0.2) break;
    gainDb += kTargetLoudness - reached;
    out = Scaled(samples, std::pow(10.0, gainDb / 20.0));
  }
  std::vector<int16_t> result(out.size());
  for (size_t i = 0; i < out.size(); ++i) result[i] = int16_t(std::lround(std::clamp(out[i] * 32768.0, -32768.0, 32767.0)));
  return result;
}

std::string NormalisedWaveFile(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels) {
  return WaveFile(Normalised(samples, rate, channels), rate, channels);
}

}  // namespace contentgen
