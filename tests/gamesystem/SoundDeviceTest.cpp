// The sound device over the platform's software mixer: handle and format checks, loads
// through lying readers, voices, locks and cursors, and what is heard and recorded,
// measured through SDL's disk driver against sox-made tones.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "foundation/SLError.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "platform/dsound/Mixer.h"
#include "platform/user32/User32.h"
#include "storage/SLFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/ScriptedAudioReader.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

using Sound = SL_GS_SoundRecord*;
using Bytes = std::vector<std::uint8_t>;

SLAudioFormat Pcm(u32 channels, u32 rate, u32 bits) { return {1, channels, bits, rate, 0, 0}; }

bool HaveSox() { return std::system("command -v sox >/dev/null") == 0; }

// The little-endian signed 16-bit samples of a raw file.
std::vector<std::int16_t> ReadSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::int16_t> out(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

// Mono 16-bit samples at 22050 Hz made by sox into the raw file "sox.raw" and the WAV
// file "tone.wav".
std::vector<std::int16_t> Sox(const TempDir& dir, const std::string& effect) {
  const std::string raw = dir.Host("sox.raw"), args = " -r 22050 -b 16 -c 1 -e signed -L ";
  const std::string command = "sox -D -R -n" + args + "-t raw '" + raw + "' " + effect + " && sox -D -t raw" + args +
                              "'" + raw + "' '" + dir.Host("tone.wav") + "' 2>/dev/null";
  return std::system(command.c_str()) == 0 ? ReadSamples(raw) : std::vector<std::int16_t>{};
}

// What the scripted reader says in one case: the loader must not trust any of it.
struct ReaderScript {
  u32 streamType = SL_STREAM_AUDIO;
  SLAudioFormat format = {1, 1, 16, 22050, 44100, 2};
  u64 length = 30000;
  i64 extraFrames = 0;  // added to every delivery (negative: short reads)
};

class SoundDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("sonido");
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    device.Shutdown();
    SLPlatformSoundSetManualPull(false);
    SLPlatformSoundHideCapture(false);
    if (IsWindow(window)) DestroyWindow(window);
  }
  // The device on SDL's disk driver: the mix goes to `out`, capture reads `in`.
  void InitOnDisk(const std::string& out, const std::string& in = "") {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    if (!in.empty()) setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);
    ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  }

  HWND window = nullptr;
  CSL_GS_Sfx_DirectX device;
};

TEST_F(SoundDevice, CreateChecksFormatsAndStartsSilent) {
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  const SLAudioFormat pcm16 = Pcm(1, 22050, 16);
  struct Case {
    u32 frames, channels, bits, rate, voices;
    u32 code;
  } cases[] = {
      {100, 1, 8, 22050, 1, 0},          {100, 2, 16, 22050, 3, 0},
      {100, 2, 24, 400, 1, 0},           {100, 1, 32, 96000, 1, 0},
      {100, 1, 16, 399, 1, 0x80001007},  {100, 1, 16, 96001, 1, 0x80001007},
      {100, 65, 16, 22050, 1, 0x80001007}, {100, 1, 7, 22050, 1, 0x80001007},
      {0, 1, 16, 22050, 1, 0x80001001},  {100, 1, 16, 22050, 0, 0x80001001},
      // Formats the device accepts but the mixer cannot play.
      {100, 3, 16, 22050, 1, 0x8001000F}, {100, 1, 12, 22050, 1, 0x8001000F},
      // Sizes past 2^31 - 1 bytes are refused before anything is allocated.
      {0x40000000, 2, 16, 22050, 1, 0x80000001}, {0xFFFFFFFF, 64, 64, 22050, 1, 0x80000001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frames << " " << c.channels << "x" << c.bits << " @" << c.rate);
    const SLAudioFormat format = Pcm(c.channels, c.rate, c.bits);
    Sound sound = device.CreateSound(c.frames, &format, c.voices);
    EXPECT_TRUE(SLAnsweredWith(sound, !c.code, c.code));
    if (c.code) continue;
    SL_GS_SoundInfo info;
    ASSERT_TRUE(device.GetSoundInfo(sound, &info));
    EXPECT_TRUE(info.length == c.frames && info.voices == c.voices);
    EXPECT_EQ(info.format.bytesPerSecond, (c.bits + 7) / 8 * c.channels * c.rate);
    const Bytes samples(sound->samples, sound->samples + c.frames * info.format.blockAlign);
    EXPECT_EQ(samples, Bytes(samples.size(), c.bits == 8 ? 128 : 0));
  }
  SL_EXPECT_FAIL(device.CreateSound(100, nullptr, 1), 0x80001001);
  SL_EXPECT_FAIL(device.CreateCaptureSound(nullptr), 0x80001001);
  EXPECT_TRUE(!device.SetSoundGroup(0) && device.SetSoundGroup(7));
  Sound grouped = device.CreateSound(10, &pcm16, 1);
  EXPECT_TRUE(grouped && grouped->group == 7);
}

TEST_F(SoundDevice, HandlesAndVoiceSettingsAreChecked) {
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  const SLAudioFormat format = Pcm(1, 22050, 16);
  Sound sound = device.CreateSound(1000, &format, 1);
  Sound capture = device.CreateCaptureSound(&format);
  SL_GS_SoundInfo info;
  ASSERT_TRUE(device.GetSoundInfo(capture, &info));
  EXPECT_TRUE(info.length == 22050 && info.voices == 1);
  SL_EXPECT_FAIL(device.GetSoundInfo(sound, nullptr), 0x80001005);

  // An image handle carries the capture sound's tag word; another device's sound is
  // live memory that this device does not own; a destroyed one is freed memory.
  struct {
    u32 tag = SL_GS_CAPTURE_SOUND_TAG;
    u8 rest[256] = {};
  } image;
  CSL_GS_Sfx_DirectX other;
  ASSERT_TRUE(other.Init(nullptr, window, nullptr));
  Sound foreign = other.CreateSound(1000, &format, 1);
  Sound stale = device.CreateSound(1000, &format, 2);
  Sound cleared = stale;
  ASSERT_TRUE(device.DestroySoundAndClear(&cleared) && !cleared);
  SL_EXPECT_FAIL(device.DestroySoundAndClear(&cleared), 0x80001008);
  SL_EXPECT_FAIL(device.DestroySoundAndClear(nullptr), 0x80001002);

  EXPECT_TRUE(device.IsValidSound(sound) && device.IsValidCaptureSound(capture));
  EXPECT_FALSE(device.IsValidSound(capture) || device.IsValidCaptureSound(sound));
  for (Sound bad : {Sound(nullptr), reinterpret_cast<Sound>(&image), foreign, stale}) {
    SL_EXPECT_FAIL(device.IsValidSound(bad), 0x80001008);
    SL_EXPECT_FAIL(device.IsValidCaptureSound(bad), 0x80001008);
    SL_EXPECT_FAIL(device.GetSoundInfo(bad, &info), 0x80001008);
    SL_EXPECT_FAIL(device.SetVolume(bad, 1, 50), 0x80001008);
    SL_EXPECT_FAIL(device.Play(bad, 0, nullptr, 0, 1.0), 0x80002002);
    device.DestroySound(bad);
    EXPECT_EQ(SLGetLastError(), 0x80001008u);
  }
  EXPECT_TRUE(other.IsValidSound(foreign));

  // The range, voice and kind rules of the setters are the fuzz target's; these are the
  // values the platform is given or refuses, and a failure keeps the old setting.
  ASSERT_TRUE(device.SetVolume(sound, 1, 40) && device.SetSpeed(sound, 1, 1.5));
  SL_EXPECT_FAIL(device.SetVolume(sound, 1, 101), 0x80001001);
  SL_EXPECT_FAIL(device.SetVolume(sound, 2, 50), 0x80001008);
  SL_EXPECT_FAIL(device.SetSpeed(sound, 1, std::nan("")), 0x80001001);
  // 220500 Hz is past what the platform plays; a capture sound has no speed.
  SL_EXPECT_FAIL(device.SetSpeed(sound, 1, 10.0), 0x80002020);
  SL_EXPECT_FAIL(device.SetSpeed(capture, 1, 2.0), 0x80002020);
  SL_EXPECT_FAIL(device.SetPan(capture, 1, 20), 0x80002020);
  EXPECT_TRUE(sound->voices[0].volume == 40 && sound->voices[0].speed == 1.5 && capture->voices[0].speed == 1.0);
  const std::pair<u32, LONG> attenuation[] = {{0, -10000}, {1, -10000}, {10, -5000}, {50, -1505}, {99, -21}, {100, 0}};
  for (auto [percent, hundredths] : attenuation)
    EXPECT_EQ(CSL_GS_Sfx_DirectX::AttenuationOfVolume(percent), hundredths);
}

TEST_F(SoundDevice, VoicesTakeTurnsAndLocksWrapIntoWhatIsHeard) {
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  SLPlatformSoundSetManualPull(true);  // cursors move only as the test pulls the mix
  const SLAudioFormat format = Pcm(1, 22050, 16);
  const u32 length = 1000;
  Sound sound = device.CreateSound(length, &format, 2);
  ASSERT_NE(sound, nullptr);
  u32 voice = 0, frame = 99;
  for (u32 expected : {1u, 2u, 1u}) {
    ASSERT_TRUE(device.Play(sound, 0, &voice, length + 5, 1.0));
    EXPECT_EQ(voice, expected);
  }
  ASSERT_TRUE(device.GetPlayPosition(sound, 1, &frame));
  EXPECT_EQ(frame, 5u);
  ASSERT_TRUE(device.Stop(sound, 0));
  EXPECT_TRUE(device.GetPlayPosition(sound, 2, &frame) && SLGetLastError() == 0x000F0001 && frame == 0);

  void *first = nullptr, *second = nullptr, *again = nullptr;
  u32 firstFrames = 0, secondFrames = 0, againFrames = 0;
  ASSERT_TRUE(device.Lock(&first, &firstFrames, &second, &secondFrames, sound, length - 40, 100));
  EXPECT_TRUE(first == sound->samples + (length - 40) * 2 && second == sound->samples);
  EXPECT_TRUE(firstFrames == 40 && secondFrames == 60);
  SL_EXPECT_FAIL(device.Lock(&again, &againFrames, nullptr, nullptr, sound, 0, 1), 0x80010011);
  std::vector<std::int16_t> written(100);
  for (u32 i = 0; i < 100; ++i) written[i] = std::int16_t(1000 + 37 * i);
  std::memcpy(first, written.data(), 80);
  std::memcpy(second, written.data() + 40, 120);
  ASSERT_TRUE(device.Unlock(sound));
  SL_EXPECT_FAIL(device.Unlock(sound), 0x80010012);

  // Voice 1 plays from the locked range on: both regions come out, in order, unchanged.
  ASSERT_TRUE(device.Play(sound, 1, &voice, length - 40, 1.0));
  std::vector<std::int16_t> mix(200);
  ASSERT_TRUE(SLPlatformSoundPull(mix.data(), mix.size() * 2));
  for (u32 i = 0; i < 200; ++i) ASSERT_EQ(mix[i], written[i / 2]) << i;
  ASSERT_TRUE(device.GetPlayPosition(sound, voice, &frame));
  EXPECT_EQ(frame, 60u);
}

TEST_F(SoundDevice, InitSetsTheOutputAndRunsWithoutMicrophone) {
  WAVEFORMATEX out{};
  const SLAudioFormat bad = Pcm(2, 22050, 33), mono8 = Pcm(1, 11025, 8), format = Pcm(1, 22050, 16);
  SL_EXPECT_FAIL(device.Init(nullptr, nullptr, nullptr), 0x80001001);
  SL_EXPECT_FAIL(device.Init(nullptr, window, &bad), 0x800F0007);
  SL_EXPECT_FAIL(device.Play(nullptr, 0, nullptr, 0, 1.0), 0x80010002);
  ASSERT_TRUE(device.Init(nullptr, window, &mono8));
  ASSERT_TRUE(SLPlatformSoundOutputFormat(&out));
  EXPECT_TRUE(out.nChannels == 1 && out.nSamplesPerSec == 11025 && out.wBitsPerSample == 8);
  SL_EXPECT_FAIL(device.Init(nullptr, window, nullptr), 0x80010003);
  device.Shutdown();
  SLPlatformSoundHideCapture(true);
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  ASSERT_TRUE(SLPlatformSoundOutputFormat(&out));
  EXPECT_TRUE(out.nChannels == 2 && out.nSamplesPerSec == 22050 && out.wBitsPerSample == 16);
  SL_EXPECT_FAIL(device.CreateCaptureSound(&format), 0x80010010);
}

TEST_F(SoundDevice, LoadsTrustNothingTheReaderSays) {
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  CSLMemoryStorage storage;
  const SLClassRecord* reader = CScriptedAudioReader::GetClassRecord();
  struct Case {
    const char* what;
    ReaderScript script;
    u32 code;
  } cases[] = {
      {"whole sound in pieces", {}, 0},
      {"reader hands more than asked", {SL_STREAM_AUDIO, {1, 2, 8, 8000, 16000, 2}, 9000, 500}, 0},
      {"short read", {SL_STREAM_AUDIO, {1, 1, 16, 22050, 44100, 2}, 30000, -1}, 0x800F0008},
      {"video only", {SL_STREAM_VIDEO, {1, 1, 16, 22050, 44100, 2}, 30000, 0}, 0x800F000A},
      {"empty", {SL_STREAM_AUDIO, {1, 1, 16, 22050, 44100, 2}, 0, 0}, 0x80001002},
      {"not PCM", {SL_STREAM_AUDIO, {2, 1, 16, 22050, 44100, 2}, 100, 0}, 0x80001007},
      {"block align too small", {SL_STREAM_AUDIO, {1, 2, 16, 22050, 22050, 1}, 100, 0}, 0x80001007},
      {"65 channels", {SL_STREAM_AUDIO, {1, 65, 16, 22050, 0, 130}, 100, 0}, 0x80001007},
      // Lengths whose byte counts wrap in 32 bits; the first is also past 2^32 - 1 frames.
      {"longer than 2^32 frames", {SL_STREAM_AUDIO, {1, 1, 16, 22050, 44100, 2}, 0x100000005ull, 0}, 0x80000001},
      {"length times align wraps", {SL_STREAM_AUDIO, {1, 64, 64, 22050, 0, 512}, 0x800001, 0}, 0x80000001},
      {"just past 2^31 - 1 bytes", {SL_STREAM_AUDIO, {1, 1, 8, 22050, 22050, 1}, 0x80000000ull, 0}, 0x80000001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_audioScript = SLAudioScript{};
    g_audioScript.types[0] = c.script.streamType;
    g_audioScript.format = c.script.format;
    g_audioScript.length = c.script.length;
    g_audioScript.deliver = [extra = c.script.extraFrames](u32 asked) { return u32(std::max<i64>(0, i64(asked) + extra)); };
    Sound sound = device.LoadSoundFromStorage(&storage, 2, reader);
    EXPECT_TRUE(SLAnsweredWith(sound, !c.code, c.code));
    if (c.code) continue;
    EXPECT_TRUE(sound->length == c.script.length && sound->voiceCount == 2);
    const u32 align = c.script.format.blockAlign;
    for (u64 i = 0; i < c.script.length * align; ++i)
      ASSERT_EQ(sound->samples[i], std::uint8_t(i / align + i % align)) << i;
  }
  SL_EXPECT_FAIL(device.LoadSoundFromStorage(nullptr, 1, reader), 0x80020016);
  SL_EXPECT_FAIL(device.LoadSoundFromStorage(&storage, 1, CSLMemoryStorage::GetClassRecord()), 0x80001001);
  SL_EXPECT_FAIL(device.LoadSoundFromStorage(&storage, 0, reader), 0x80001001);
  SL_EXPECT_FAIL(device.LoadSound(nullptr, "x.wav", 1, reader), 0x80020016);
}

// The process's address space in bytes (what an untouched allocation takes at once).
u64 AddressSpaceBytes() {
  std::ifstream statm("/proc/self/statm");
  u64 pages = 0;
  statm >> pages;
  return pages * u64(sysconf(_SC_PAGESIZE));
}

// A length the file declares (an MPEG tag's frame count) takes no memory before its
// samples arrive: a reader declaring 2 GB that ends after one second fails as a short read
// without the loader having reserved the 2 GB.
TEST_F(SoundDevice, LoadTakesMemoryAsSamplesArrive) {
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  CSLMemoryStorage storage;
  g_audioScript = SLAudioScript{};
  g_audioScript.format = {1, 1, 8, 22050, 22050, 1};
  g_audioScript.length = 0x7FFF0000;
  const u64 before = AddressSpaceBytes();
  u64 during = 0;
  u32 calls = 0;
  g_audioScript.deliver = [&](u32 asked) {
    during = std::max(during, AddressSpaceBytes());
    return ++calls == 1 ? asked : 0u;
  };
  SL_EXPECT_FAIL(device.LoadSoundFromStorage(&storage, 1, CScriptedAudioReader::GetClassRecord()), 0x800F0008);
  EXPECT_EQ(calls, 2u);
  EXPECT_LT(during, before + (u64(1) << 30));
}

// Plays a sox tone looping through the disk driver, with `setup` applied to its voice,
// and returns the stereo 16-bit mix from the tone's first sample on.
class SoundDeviceMix : public SoundDevice {
 protected:
  template <class Setup>
  std::vector<std::int16_t> Render(const TempDir& dir, Setup setup) {
    InitOnDisk(dir.Host("mix.raw"));
    CSLFileStorage file;
    Sound sound = device.LoadSound(&file, dir.Host("tone.wav").c_str(), 1, CSLVideoAudioReaderWAV::GetClassRecord());
    EXPECT_NE(sound, nullptr);
    if (!sound) return {};
    setup(sound);
    EXPECT_TRUE(device.Play(sound, 1, nullptr, 0, sound->voices[0].speed));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    device.Shutdown();
    auto mix = ReadSamples(dir.Host("mix.raw"));
    std::size_t start = 0;
    while (start < mix.size() && mix[start] == 0) ++start;
    return {mix.begin() + std::ptrdiff_t(start & ~std::size_t(1)), mix.end()};
  }
  // RMS of one channel over 0.2 s starting 0.1 s into the tone (whole periods of 1 kHz).
  static double Rms(const std::vector<std::int16_t>& mix, int channel) {
    double sum = 0;
    for (std::size_t i = 2205; i < 2205 + 4410; ++i) sum += std::pow(double(mix.at(2 * i + channel)), 2);
    return std::sqrt(sum / 4410);
  }
  static double Frequency(const std::vector<std::int16_t>& mix) {
    int crossings = 0;
    for (std::size_t i = 2205; i < 2205 + 4410; ++i) crossings += (mix.at(2 * i) < 0) != (mix.at(2 * i + 2) < 0);
    return crossings / 2 / 0.2;
  }
};

TEST_F(SoundDeviceMix, VolumePanAndSpeedAreHeard) {
  if (!HaveSox()) GTEST_SKIP() << "sox is needed";
  TempDir dir;
  const auto tone = Sox(dir, "synth 1 sine 1000 vol 0.5");
  ASSERT_EQ(tone.size(), 22050u);
  const auto full = Render(dir, [](Sound) {});
  ASSERT_GT(full.size(), 2 * 8000u);
  // At full volume, centred and at its own rate the tone comes out as sox wrote it.
  for (std::size_t i = 0; i < 8000; ++i) {
    ASSERT_EQ(full[2 * i], tone[i]) << i;
    ASSERT_EQ(full[2 * i + 1], tone[i]) << i;
  }
  const auto half = Render(dir, [&](Sound s) { ASSERT_TRUE(device.SetVolume(s, 1, 50)); });
  EXPECT_NEAR(20 * std::log10(Rms(half, 0) / Rms(full, 0)), -15.05, 0.1);
  EXPECT_NEAR(20 * std::log10(Rms(half, 1) / Rms(full, 1)), -15.05, 0.1);
  const auto left = Render(dir, [&](Sound s) { ASSERT_TRUE(device.SetPan(s, 1, -100)); });
  EXPECT_NEAR(Rms(left, 0), Rms(full, 0), 1.0);
  EXPECT_LT(Rms(left, 1), 1.0);
  const auto fast = Render(dir, [&](Sound s) { ASSERT_TRUE(device.SetSpeed(s, 1, 2.0)); });
  EXPECT_NEAR(Frequency(full), 1000, 10);
  EXPECT_NEAR(Frequency(fast), 2000, 20);
}

// A ring of half a second fed by another thread, as the movie player streams: every
// frame written comes out once, in order, and the play cursor keeps real time.
TEST_F(SoundDeviceMix, StreamingRingPlaysWithoutGaps) {
  TempDir dir;
  InitOnDisk(dir.Host("mix.raw"));
  const SLAudioFormat format = Pcm(1, 22050, 16);
  const u32 length = 11025;
  Sound ring = device.CreateSound(length, &format, 1);
  ASSERT_NE(ring, nullptr);
  auto value = [](u64 n) { return std::int16_t(1000 + (n * 7919) % 20000); };
  u64 written = 0;
  auto write = [&](u32 first, u32 count) {
    void *a = nullptr, *b = nullptr;
    u32 na = 0, nb = 0;
    if (!device.Lock(&a, &na, &b, &nb, ring, first, count)) return false;
    for (u32 i = 0; i < na; ++i) static_cast<std::int16_t*>(a)[i] = value(written++);
    for (u32 i = 0; i < nb; ++i) static_cast<std::int16_t*>(b)[i] = value(written++);
    return device.Unlock(ring);
  };
  ASSERT_TRUE(write(0, length));
  ASSERT_TRUE(device.Play(ring, 1, nullptr, 0, 1.0));
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> ok{true};
  std::atomic<int> wraps{0};
  double worstDrift = 0;
  std::thread feeder([&] {
    u32 last = 0;
    u32 writePos = 0;  // frames before the cursor are free again
    auto lastTime = start;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      u32 cursor = 0;
      if (!device.GetPlayPosition(ring, 1, &cursor)) ok = false;
      const auto now = std::chrono::steady_clock::now();
      // Between two readings the cursor moves as far as the time that passed.
      const double moved = (cursor + length - last) % length;
      const double expected = std::chrono::duration<double>(now - lastTime).count() * 22050;
      worstDrift = std::max(worstDrift, std::fabs(moved - expected));
      if (cursor < last) ++wraps;
      last = cursor;
      lastTime = now;
      const u32 freeFrames = (cursor + length - writePos) % length;
      if (freeFrames && !write(writePos, freeFrames)) ok = false;
      writePos = (writePos + freeFrames) % length;
    }
  });
  feeder.join();
  device.Shutdown();
  EXPECT_TRUE(ok);
  EXPECT_GE(wraps, 2);
  // One callback of the device is 1024 frames; the disk driver's thread may wake late
  // on a busy machine (40 ms allowed).
  EXPECT_LT(worstDrift, 1024 + 882);
  const auto mix = ReadSamples(dir.Host("mix.raw"));
  std::size_t at = 0;
  while (at < mix.size() && mix[at] == 0) at += 2;
  const u64 heard = std::min<u64>((mix.size() - at) / 2, written - length);
  ASSERT_GT(heard, 22050u);
  for (u64 n = 0; n < heard; ++n) ASSERT_EQ(mix[at + 2 * n], value(n)) << n;
}

void Collect(Sound, std::uintptr_t user, const void* samples, u32 frames) {
  auto* got = reinterpret_cast<std::vector<std::int16_t>*>(user);
  const auto* p = static_cast<const std::int16_t*>(samples);
  got->insert(got->end(), p, p + frames);
}

TEST_F(SoundDeviceMix, CaptureHandsTheInputOnInOrderAcrossTheWrap) {
  if (!HaveSox()) GTEST_SKIP() << "sox is needed";
  TempDir dir;
  const auto expected = Sox(dir, "synth 3 whitenoise vol 0.5");
  ASSERT_EQ(expected.size(), 3 * 22050u);
  InitOnDisk(dir.Host("mix.raw"), dir.Host("sox.raw"));
  const SLAudioFormat format = Pcm(1, 22050, 16);
  Sound capture = device.CreateCaptureSound(&format);
  ASSERT_NE(capture, nullptr);
  SL_EXPECT_FAIL(device.StartCapture(capture, nullptr, 0), 0x80001001);
  std::vector<std::int16_t> got;
  ASSERT_TRUE(device.StartCapture(capture, &Collect, reinterpret_cast<std::uintptr_t>(&got)));
  std::this_thread::sleep_for(std::chrono::milliseconds(2600));
  ASSERT_TRUE(device.Stop(capture, 0));
  const std::size_t count = got.size();  // the worker has ended: nothing more comes
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(got.size(), count);
  ASSERT_GT(count, 2 * 22050u);
  ASSERT_LE(count, expected.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
}

// The main window's end shuts the device down: its own end announced, then every sound
// destroyed with its event, newest first.
class DestroyListener {
 public:
  void OnEvent(CSL_GS_BaseSfx*, CSLBaseEvent* event, u32) {
    if (event->GetRuntimeClass() == CSL_GS_SfxDestroyingSoundEvent::GetClassRecord())
      seen.push_back(static_cast<CSL_GS_SfxDestroyingSoundEvent*>(event)->m_sound);
    else if (event->GetRuntimeClass() == CSLEventSourceDying::GetClassRecord())
      seen.push_back(nullptr);
  }
  std::vector<Sound> seen;
};

TEST_F(SoundDevice, WindowDestructionShutsTheDeviceDown) {
  ASSERT_TRUE(device.Init(nullptr, window, nullptr));
  const SLAudioFormat format = Pcm(2, 22050, 16);
  Sound a = device.CreateSound(500, &format, 1);
  Sound b = device.CreateCaptureSound(&format);
  Sound c = device.CreateSound(500, &format, 3);
  ASSERT_TRUE(a && b && c);
  ASSERT_TRUE(device.StartCapture(b, [](Sound, std::uintptr_t, const void*, u32) {}, 0));
  ASSERT_TRUE(device.Play(c, 1, nullptr, 0, 1.0));
  DestroyListener listener;
  ASSERT_TRUE(device.AddCallback(&listener, &DestroyListener::OnEvent, 0));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ(listener.seen, (std::vector<Sound>{nullptr, c, b, a}));
  SL_EXPECT_FAIL(device.Play(nullptr, 0, nullptr, 0, 1.0), 0x80010002);
  window = SLTestMakeWindow("otra");
  EXPECT_TRUE(device.Init(nullptr, window, nullptr));
  device.RemoveCallback(&listener, &DestroyListener::OnEvent, 0);  // the listener ends before the device
}

}  // namespace
