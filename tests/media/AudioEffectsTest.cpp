// PCM to doubles, the channel mix and the resampler: exact conversions, the error codes
// of bad arguments, levels kept through resampling and the sinc modes' streaming.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "media/SLAudioEffect.h"
#include "media/SLPcmConvert.h"

namespace {

std::vector<double> Sine(u32 frames, u32 channels, double frequency, double rate, double amplitude) {
  std::vector<double> samples(size_t(frames) * channels);
  for (u32 i = 0; i < frames; ++i)
    for (u32 c = 0; c < channels; ++c)
      samples[size_t(i) * channels + c] = amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate + c);
  return samples;
}

// Level in dB of channel 0 over frames [from, to) relative to a sine of amplitude 1.
double LevelDb(const std::vector<double>& samples, u32 channels, u32 from, u32 to) {
  double sum = 0.0;
  for (u32 i = from; i < to; ++i) sum += samples[size_t(i) * channels] * samples[size_t(i) * channels];
  return 10.0 * std::log10(sum / (to - from) * 2.0);
}

TEST(PcmToDouble, ConvertsEveryLayoutExactly) {
  // Independent expectations: the signed value of the stored bits over the container's
  // largest positive value, the most negative value taken as its neighbour.
  struct Case {
    SLAudioFormat format;
    std::vector<u8> bytes;
    std::vector<double> expected;
  } cases[] = {
      {{1, 1, 8, 8000, 8000, 1}, {0x00, 0x80, 0xFF, 0x01}, {-1.0, 0.0, 1.0, -127.0 / 127}},
      {{1, 2, 16, 8000, 32000, 4}, {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0xFF, 0xFF},
       {-1.0, 1.0, 1.0 / 32767, -1.0 / 32767}},
      {{1, 1, 12, 8000, 16000, 2}, {0xFF, 0x07, 0x00, 0x08}, {32752.0 / 32767, -1.0}},
      // 24-bit stereo packed in 6-byte frames: exactly two frames, nothing after them.
      {{1, 2, 24, 8000, 48000, 6}, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x56, 0x34, 0x12},
       {-1.0, 2147483392.0 / 2147483647, 256.0 / 2147483647, 305419776.0 / 2147483647}},
      {{1, 1, 32, 8000, 32000, 4}, {0x00, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00}, {-1.0, 1.0 / 2147483647}},
      // 16-bit samples in frames with two bytes of padding.
      {{1, 1, 16, 8000, 32000, 4}, {0x01, 0x00, 0xEE, 0xEE, 0xFF, 0x7F, 0xEE, 0xEE}, {1.0 / 32767, 1.0}},
      {{1, 1, 64, 8000, 64000, 8}, {0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x40},
       {-1.0 + std::ldexp(1.0, -63), 0.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format.bitsPerSample);
    const u32 frames = u32(c.bytes.size() / c.format.blockAlign);
    std::vector<u8> exact(c.bytes);  // sized exactly: an overrun shows under ASan
    std::vector<double> out(c.expected.size(), 9.0);
    ASSERT_TRUE(SLConvertPcmToDouble(out.data(), exact.data(), frames, &c.format));
    EXPECT_EQ(out, c.expected);
  }
  // Every 8- and 16-bit value against the division itself.
  std::vector<u8> all(2 * 65536);
  for (u32 v = 0; v < 65536; ++v) all[2 * v] = u8(v), all[2 * v + 1] = u8(v >> 8);
  std::vector<double> out(65536);
  const SLAudioFormat s16{1, 2, 16, 8000, 32000, 4}, u8Stereo{1, 2, 8, 8000, 16000, 2};
  ASSERT_TRUE(SLConvertPcmToDouble(out.data(), all.data(), 32768, &s16));
  for (u32 v = 0; v < 65536; ++v) ASSERT_EQ(out[v], std::max(double(i16(v)), -32767.0) / 32767.0) << v;
  ASSERT_TRUE(SLConvertPcmToDouble(out.data(), all.data(), 128, &u8Stereo));
  for (u32 i = 0; i < 256; ++i) ASSERT_EQ(out[i], std::max(double(all[i]) - 128.0, -127.0) / 127.0) << i;
}

TEST(PcmToDouble, RefusesBadArguments) {
  double out[4];
  const u8 in[16] = {};
  auto code = [](double* o, const void* i, u32 frames, u32 channels, u32 bits, u32 align, bool format = true) {
    const SLAudioFormat f{1, channels, bits, 8000, 0, align};
    return SLConvertPcmToDouble(o, i, frames, format ? &f : nullptr) ? 0u : SLGetLastError();
  };
  EXPECT_EQ(code(nullptr, in, 1, 2, 16, 4), 0x80001005u);
  EXPECT_EQ(code(out, nullptr, 1, 2, 16, 4), 0x80001002u);
  EXPECT_EQ(code(out, in, 0, 2, 16, 4), 0x80001003u);
  EXPECT_EQ(code(out, in, 1, 2, 16, 4, false), 0x80001001u);
  EXPECT_EQ(code(out, in, 1, 0, 16, 4), 0x80001004u);
  EXPECT_EQ(code(out, in, 1, 2, 65, 4), 0x80001004u);
  EXPECT_EQ(code(out, in, 1, 2, 16, 1), 0x80001004u);  // less than a byte per channel
  EXPECT_EQ(code(out, in, 0x4000000, 64, 16, 128), 0x80002004u);
  EXPECT_EQ(SLBytesPerSample(8) + SLBytesPerSample(9) + SLBytesPerSample(17) + SLBytesPerSample(33), 15u);
}

TEST(ChannelMix, RoutesSumAndClamp) {
  CSLAudioEffectChannelMix mix;
  const double mono[3] = {0.25, -0.5, 0.75};
  double out[6];
  u32 count = 7;
  EXPECT_FALSE(mix.Process(out, &count, mono, 3, 1));  // no routes
  EXPECT_EQ(SLGetLastError() + count, 0x80010002u);
  ASSERT_TRUE(mix.AddRoute(0, 100.0, 0));
  ASSERT_TRUE(mix.AddRoute(0, 100.0, 1));
  ASSERT_TRUE(mix.Process(out, &count, mono, 3, 1));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::vector<double>(out, out + 6), (std::vector<double>{0.25, 0.25, -0.5, -0.5, 0.75, 0.75}));
  // A third route into channel 1 pushes it past 1 and -1.
  ASSERT_TRUE(mix.AddRoute(0, 50.0, 1));
  ASSERT_TRUE(mix.Process(nullptr, &count, mono, 3, 1));
  EXPECT_EQ(count, 3u);
  ASSERT_TRUE(mix.Process(out, nullptr, mono, 3, 1));
  EXPECT_EQ(std::vector<double>(out, out + 6), (std::vector<double>{0.25, 0.375, -0.5, -0.75, 0.75, 1.0}));
  const double loud[2] = {-0.9, 0.9};
  ASSERT_TRUE(mix.Process(out, &count, loud, 1, 2));
  EXPECT_EQ(out[1], -1.0);

  auto code = [](bool result) { return result ? 0u : SLGetLastError(); };
  EXPECT_EQ(code(mix.Process(out, &count, nullptr, 3, 1)), 0x80001002u);
  EXPECT_EQ(code(mix.Process(out, &count, mono, 3, 65)), 0x80001001u);
  ASSERT_TRUE(mix.AddRoute(2, 10.0, 0));
  EXPECT_EQ(code(mix.Process(out, &count, mono, 1, 2)), 0x8000100eu);
  for (auto [source, percent, destination] : {std::tuple{64u, 50.0, 0u}, {0u, 50.0, 64u}, {0u, 0.0, 0u},
                                              {0u, 1e-11, 0u}, {0u, 100.5, 0u}, {0u, NAN, 0u}})
    EXPECT_EQ(code(mix.AddRoute(source, percent, destination)), 0x80001001u);
}

TEST(Resample, SettingsAndCounts) {
  CSLAudioEffectResample resample;
  auto code = [](bool result) { return result ? 0u : SLGetLastError(); };
  EXPECT_TRUE(resample.SetRatio(1.0 / 240.0) && resample.SetRatio(240.0));
  for (double bad : {0.004166, 240.0001, 0.0, -1.0, double(NAN)}) EXPECT_EQ(code(resample.SetRatio(bad)), 0x80001001u);
  EXPECT_EQ(code(resample.SetRates(0.0, 44100.0)), 0x80001001u);
  EXPECT_EQ(code(resample.SetQuality(3)) | code(resample.SetQuality(-3)), 0x80001001u);
  // A count beyond 32 bits fails instead of wrapping; nothing is read for a count only.
  const double one = 0.0;
  u32 count = 5;
  ASSERT_TRUE(resample.SetRatio(2.0));
  EXPECT_EQ(code(resample.Process(nullptr, &count, &one, 0x80000000u, 1)) + count, 0x80002004u);
  EXPECT_TRUE(resample.Process(nullptr, &count, &one, 0x7FFFFFFFu, 1));
  EXPECT_EQ(count, 0xFFFFFFFEu);

  // Equal in and out counts copy the input, whatever the mode.
  const std::vector<double> in = Sine(100, 2, 1000.0, 8000.0, 1.5);
  for (i32 quality = -2; quality <= 2; ++quality) {
    for (double ratio : {1.0, 1.0049}) {
      ASSERT_TRUE(resample.SetRatio(ratio) && resample.SetQuality(quality));
      std::vector<double> out(200);
      ASSERT_TRUE(resample.Process(out.data(), &count, in.data(), 100, 2));
      EXPECT_EQ(count, 100u);
      EXPECT_EQ(out, in);
    }
  }
}

TEST(Resample, NearestAndLinearKeepTheLevel) {
  CSLAudioEffectResample resample;
  ASSERT_TRUE(resample.SetRates(44100.0, 22050.0) && resample.SetQuality(-1));
  const std::vector<double> in = Sine(44100, 2, 1000.0, 44100.0, 0.5);
  std::vector<double> out(44100);
  u32 count = 0;
  ASSERT_TRUE(resample.Process(out.data(), &count, in.data(), 44100, 2));
  EXPECT_EQ(count, 22050u);
  EXPECT_NEAR(LevelDb(out, 2, 0, 22050), 20 * std::log10(0.5), 0.1);
  // Upward and in the nearest mode the last output frame stays on the last input frame.
  for (i32 quality : {-2, -1}) {
    ASSERT_TRUE(resample.SetRatio(240.0) && resample.SetQuality(quality));
    std::vector<double> up(240 * 7 * 2 + 2, 9.0);
    const double ramp[14] = {0, 0, 0.1, 0.1, 0.2, 0.2, 0.3, 0.3, 0.4, 0.4, 0.5, 0.5, 0.6, 0.6};
    ASSERT_TRUE(resample.Process(up.data(), &count, ramp, 7, 2));
    EXPECT_EQ(count, 240u * 7);
    EXPECT_NEAR(up[2 * (count - 1)], 0.6, 0.0025);
    EXPECT_EQ(up[2 * count], 9.0);
  }
}

TEST(Resample, SincModesStreamAcrossCallsAndKeepTheLevel) {
  // 100 Hz at 1/100 runs through two stages; the level holds away from the padded end.
  CSLAudioEffectResample resample;
  ASSERT_TRUE(resample.SetRatio(0.01));
  const std::vector<double> in = Sine(441000, 1, 100.0, 44100.0, 0.5);
  std::vector<double> out(4410);
  u32 count = 0;
  ASSERT_TRUE(resample.Process(out.data(), &count, in.data(), 441000, 1));
  EXPECT_EQ(count, 4410u);
  EXPECT_NEAR(LevelDb(out, 1, 200, 3800), 20 * std::log10(0.5), 0.5);

  // Two calls give what one gives: the first call's unready tail comes first in the second.
  for (i32 quality = 0; quality <= 2; ++quality) {
    SCOPED_TRACE(quality);
    const std::vector<double> signal = Sine(30000, 2, 3000.0, 48000.0, 0.4);
    CSLAudioEffectResample whole, split;
    ASSERT_TRUE(whole.SetRates(48000, 44100) && whole.SetQuality(quality));
    ASSERT_TRUE(split.SetRates(48000, 44100) && split.SetQuality(quality));
    std::vector<double> expected(60000), first(60000), second(60000);
    u32 wholeCount = 0, firstCount = 0, secondCount = 0;
    ASSERT_TRUE(whole.Process(expected.data(), &wholeCount, signal.data(), 30000, 2));
    ASSERT_TRUE(split.Process(first.data(), &firstCount, signal.data(), 12345, 2));
    ASSERT_TRUE(split.Process(second.data(), &secondCount, signal.data() + 2 * 12345, 30000 - 12345, 2));
    u32 ready = firstCount;
    while (ready > 0 && first[2 * (ready - 1)] == 0.0 && first[2 * ready - 1] == 0.0) --ready;
    ASSERT_GT(ready, 10000u);
    ASSERT_LT(ready, firstCount);
    for (u32 i = 0; i < 2 * ready; ++i) ASSERT_NEAR(first[i], expected[i], 1e-9) << i;
    for (u32 i = 0; i < 2 * (wholeCount - 200 - ready); ++i) ASSERT_NEAR(second[i], expected[2 * ready + i], 1e-9) << i;
    EXPECT_NEAR(LevelDb(expected, 2, 1000, wholeCount - 1000), 20 * std::log10(0.4), 0.1);
  }
}

}  // namespace
