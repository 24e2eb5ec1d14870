// The "dsound.dll" stand-in: buffers, locks and cursors, and the measured software mix
// of sox-made tones pulled from the mixer sample by sample.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/dsound/Mixer.h"
#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Sync.h"
#include "tests/support/TempDir.h"

namespace {

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
  const WORD align = WORD(channels * ((bits + 7) / 8));
  return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// Raw little-endian signed PCM (unsigned for 8 bits) made by sox.
std::vector<std::uint8_t> Sox(const std::string& effect, DWORD rate, int bits, int channels) {
  TempDir dir;
  const std::string out = dir.Host("tone.raw");
  const std::string command = "sox -D -n -r " + std::to_string(rate) + " -b " + std::to_string(bits) + " -c " +
                              std::to_string(channels) + " -e " + (bits == 8 ? "unsigned" : "signed") +
                              " -L -t raw '" + out + "' " + effect + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sox >/dev/null") != 0) GTEST_SKIP() << "sox is needed";
    setenv("SDL_AUDIODRIVER", "dummy", 0);  // headless unless a test asks for a driver
    HMODULE module = LoadLibraryA("DSOUND.DLL");
    ASSERT_NE(module, nullptr);
    auto create = reinterpret_cast<SLDirectSoundCreate8Fn>(GetProcAddress(module, "DirectSoundCreate8"));
    ASSERT_NE(create, nullptr);
    ASSERT_EQ(create(&DSDEVID_DefaultPlayback, &sound_, nullptr), DS_OK);
    ASSERT_EQ(sound_->SetCooperativeLevel(reinterpret_cast<HWND>(1), DSSCL_PRIORITY), DS_OK);
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, {}};
    IDirectSoundBuffer8* primary = nullptr;
    ASSERT_EQ(sound_->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    WAVEFORMATEX out = Pcm(2, 22050, 16);
    ASSERT_EQ(primary->SetFormat(&out), DS_OK);
    primary->Release();
    SLPlatformSoundSetManualPull(true);
  }
  void TearDown() override {
    SLPlatformSoundSetManualPull(false);
    if (sound_) sound_->Release();
  }

  IDirectSoundBuffer8* Buffer(const WAVEFORMATEX& format, const std::vector<std::uint8_t>& samples) {
    WAVEFORMATEX f = format;
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x101E2, DWORD(samples.size()), 0, &f, {}};
    IDirectSoundBuffer8* buffer = nullptr;
    EXPECT_EQ(sound_->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    if (!buffer) return nullptr;
    void* p = nullptr;
    DWORD n = 0;
    EXPECT_EQ(buffer->Lock(0, 0, &p, &n, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
    std::memcpy(p, samples.data(), n);
    EXPECT_EQ(buffer->Unlock(p, n, nullptr, 0), DS_OK);
    return buffer;
  }

  // `frames` stereo frames of the mix, left and right apart.
  static void Pull(std::size_t frames, std::vector<double>* left, std::vector<double>* right) {
    std::vector<std::int16_t> mix(frames * 2);
    ASSERT_TRUE(SLPlatformSoundPull(mix.data(), mix.size() * 2));
    left->clear();
    right->clear();
    for (std::size_t i = 0; i < frames; ++i) {
      left->push_back(mix[2 * i] / 32768.0);
      right->push_back(mix[2 * i + 1] / 32768.0);
    }
  }

  IDirectSound8* sound_ = nullptr;
};

double Rms(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x * x;
  return std::sqrt(sum / double(v.size()));
}

double Hertz(const std::vector<double>& v, double rate) {
  int crossings = 0;
  for (std::size_t i = 1; i < v.size(); ++i) crossings += (v[i - 1] < 0) != (v[i] < 0);
  return crossings / 2.0 * rate / double(v.size());
}

TEST_F(DSoundTest, BufferFormatsAndSizes) {
  struct Case {
    WAVEFORMATEX format;
    DWORD bytes;
    HRESULT expected;
  } cases[] = {
      {Pcm(1, 22050, 8), 100, DS_OK},        {Pcm(2, 44100, 16), 400, DS_OK},
      {Pcm(1, 11025, 24), 300, DS_OK},       {Pcm(2, 8000, 32), 800, DS_OK},
      {Pcm(1, 22050, 12), 100, DSERR_BADFORMAT}, {Pcm(3, 22050, 16), 120, DSERR_BADFORMAT},
      {Pcm(1, 99, 16), 100, DSERR_BADFORMAT},    {Pcm(2, 22050, 16), 402, DSERR_INVALIDPARAM},
      {Pcm(1, 22050, 8), 2, DSERR_INVALIDPARAM},
  };
  for (Case& c : cases) {
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0x101E2, c.bytes, 0, &c.format, {}};
    IDirectSoundBuffer8* buffer = nullptr;
    EXPECT_EQ(sound_->CreateSoundBuffer(&desc, &buffer, nullptr), c.expected) << c.format.wBitsPerSample;
    if (buffer) buffer->Release();
  }
  WAVEFORMATEX wrongTag = Pcm(1, 22050, 16);
  wrongTag.wFormatTag = 3;
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0, 100, 0, &wrongTag, {}};
  IDirectSoundBuffer8* buffer = nullptr;
  EXPECT_EQ(sound_->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
}

// One tone in every sample size mixes to the same output; volume, pan and frequency
// change it as measured.
TEST_F(DSoundTest, MixMeasuresVolumePanAndSpeed) {
  std::vector<double> reference;
  for (int bits : {16, 8, 24, 32}) {
    auto tone = Sox("synth 1 sine 1000 vol 0.5", 22050, bits, 1);
    ASSERT_EQ(tone.size(), 22050u * (bits / 8));
    IDirectSoundBuffer8* buffer = Buffer(Pcm(1, 22050, WORD(bits)), tone);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    std::vector<double> left, right;
    Pull(11025, &left, &right);
    EXPECT_EQ(left, right);
    EXPECT_NEAR(Hertz(left, 22050), 1000, 5);
    if (reference.empty()) reference = left;
    for (std::size_t i = 0; i < left.size(); ++i) ASSERT_NEAR(left[i], reference[i], 0.01) << bits << " " << i;
    buffer->Release();
  }
  auto tone = Sox("synth 2 sine 1000 vol 0.5", 22050, 16, 2);
  IDirectSoundBuffer8* buffer = Buffer(Pcm(2, 22050, 16), tone);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  std::vector<double> left, right;
  Pull(4410, &left, &right);
  const double full = Rms(left);
  EXPECT_NEAR(full, 0.5 / std::sqrt(2.0), 0.01);
  EXPECT_EQ(buffer->SetVolume(-1505), DS_OK);
  EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
  Pull(4410, &left, &right);
  EXPECT_NEAR(20 * std::log10(full / Rms(left)), 15.05, 0.1);
  EXPECT_EQ(buffer->SetVolume(0), DS_OK);
  EXPECT_EQ(buffer->SetPan(-10000), DS_OK);
  EXPECT_EQ(buffer->SetPan(10001), DSERR_INVALIDPARAM);
  Pull(4410, &left, &right);
  EXPECT_NEAR(Rms(left), full, 0.01);
  EXPECT_LT(Rms(right), 0.001);
  EXPECT_EQ(buffer->SetPan(0), DS_OK);
  EXPECT_EQ(buffer->SetFrequency(44100), DS_OK);
  Pull(8820, &left, &right);
  EXPECT_NEAR(Hertz(left, 22050), 2000, 10);
  EXPECT_NEAR(Rms(left), full, 0.01);
  buffer->Release();
}

// A wrapping lock gives two regions; writes land at Unlock, in every duplicate, and a
// buffer played once stops at its end while a looping one wraps its cursor.
TEST_F(DSoundTest, LocksDuplicatesAndCursors) {
  const DWORD length = 1000;
  std::vector<std::uint8_t> silence(length * 2, 0);
  IDirectSoundBuffer8* buffer = Buffer(Pcm(1, 22050, 16), silence);
  IDirectSoundBuffer8* copy = nullptr;
  ASSERT_EQ(sound_->DuplicateSoundBuffer(buffer, &copy), DS_OK);

  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0, secondBytes = 0;
  ASSERT_EQ(buffer->Lock((length - 40) * 2, 200, &first, &firstBytes, &second, &secondBytes, 0), DS_OK);
  EXPECT_EQ(firstBytes, 80u);
  EXPECT_EQ(secondBytes, 120u);
  void* again = nullptr;
  DWORD againBytes = 0;
  EXPECT_EQ(buffer->Lock(0, 2, &again, &againBytes, nullptr, nullptr, 0), DSERR_INVALIDCALL);
  for (DWORD i = 0; i < firstBytes / 2; ++i) static_cast<std::int16_t*>(first)[i] = 16384;
  for (DWORD i = 0; i < secondBytes / 2; ++i) static_cast<std::int16_t*>(second)[i] = -16384;
  ASSERT_EQ(copy->Play(0, 0, 0), DS_OK);
  std::vector<double> left, right;
  Pull(10, &left, &right);
  EXPECT_EQ(left[0], 0.0);  // not written before Unlock
  ASSERT_EQ(buffer->Unlock(first, firstBytes, second, secondBytes), DS_OK);
  EXPECT_EQ(buffer->Unlock(first, firstBytes, second, secondBytes), DSERR_INVALIDPARAM);

  // The copy plays what was written through the original: -0.5 at 10..59, 0.5 at the end.
  ASSERT_EQ(copy->SetCurrentPosition(10 * 2), DS_OK);
  Pull(50, &left, &right);
  EXPECT_EQ(left.front(), -0.5);
  EXPECT_EQ(left.back(), -0.5);
  ASSERT_EQ(copy->SetCurrentPosition((length - 40) * 2), DS_OK);
  Pull(60, &left, &right);
  EXPECT_EQ(left[39], 0.5);
  EXPECT_EQ(left[40], 0.0);  // played once: ended
  DWORD play = 1, write = 1;
  ASSERT_EQ(copy->GetCurrentPosition(&play, &write), DS_OK);
  EXPECT_EQ(play, 0u);

  ASSERT_EQ(copy->SetCurrentPosition((length - 40) * 2), DS_OK);
  ASSERT_EQ(copy->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  Pull(101, &left, &right);
  EXPECT_EQ(left[39], 0.5);
  EXPECT_EQ(left[40], -0.5);  // wrapped to frame 0
  EXPECT_EQ(left[100], 0.0);
  ASSERT_EQ(copy->GetCurrentPosition(&play, nullptr), DS_OK);
  EXPECT_EQ(play, 61u * 2);
  EXPECT_EQ(copy->SetCurrentPosition(length * 2), DSERR_INVALIDPARAM);
  copy->Release();
  buffer->Release();
}

// Played by the device itself, the cursor follows real time within one callback.
TEST_F(DSoundTest, CursorAdvancesInRealTime) {
  SLPlatformSoundSetManualPull(false);
  std::vector<std::uint8_t> silence(22050 * 2, 0);
  IDirectSoundBuffer8* buffer = Buffer(Pcm(1, 22050, 16), silence);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  const auto start = std::chrono::steady_clock::now();
  DWORD last = 0;
  for (int i = 0; i < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DWORD play = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_GE(play, last);
    last = play;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_NEAR(last / 2.0, seconds * 22050, 2 * 1024 + 22050 * 0.03);
  buffer->Release();
}

// The disk driver feeds capture from a sox file: what the ring hands out, read from
// one notification to the next, is the file's samples in order across the wraps.
TEST(DSoundCaptureTest, RingDeliversInputInOrder) {
  if (std::system("command -v sox >/dev/null") != 0) GTEST_SKIP() << "sox is needed";
  HMODULE module = LoadLibraryA("dsound");
  auto create = reinterpret_cast<SLDirectSoundCaptureCreate8Fn>(GetProcAddress(module, "DirectSoundCaptureCreate8"));
  ASSERT_NE(create, nullptr);
  IDirectSoundCapture8* capture = nullptr;
  SLPlatformSoundHideCapture(true);
  EXPECT_EQ(create(nullptr, &capture, nullptr), DSERR_NODRIVER);
  SLPlatformSoundHideCapture(false);

  TempDir dir;
  const auto input = Sox("synth 1 whitenoise vol 0.5", 22050, 16, 1);
  ASSERT_EQ(input.size(), 44100u);
  const std::string in = dir.Host("in.raw");
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);
  setenv("SDL_DISKAUDIOFILE", dir.Host("out.raw").c_str(), 1);
  ASSERT_EQ(create(&DSDEVID_DefaultCapture, &capture, nullptr), DS_OK);

  const DWORD size = 8820;  // 0.2 s
  WAVEFORMATEX format = Pcm(1, 22050, 16);
  DSCBUFFERDESC desc{sizeof(DSCBUFFERDESC), DSCBCAPS_WAVEMAPPED, size, 0, &format, 0, nullptr};
  IDirectSoundCaptureBuffer8* buffer = nullptr;
  ASSERT_EQ(capture->CreateCaptureBuffer(&desc, &buffer, nullptr), DS_OK);
  IDirectSoundNotify8* notify = nullptr;
  ASSERT_EQ(buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)), DS_OK);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DSBPOSITIONNOTIFY positions[4];
  for (DWORD i = 0; i < 4; ++i) positions[i] = {size / 4 * (i + 1) - 1, event};
  ASSERT_EQ(notify->SetNotificationPositions(4, positions), DS_OK);
  positions[0].dwOffset = size;
  EXPECT_EQ(notify->SetNotificationPositions(1, positions), DSERR_INVALIDPARAM);

  ASSERT_EQ(buffer->Start(DSCBSTART_LOOPING), DS_OK);
  std::vector<std::uint8_t> got;
  DWORD readOffset = 0;
  while (got.size() < input.size()) {
    ASSERT_EQ(WaitForSingleObject(event, 3000), WAIT_OBJECT_0) << got.size();
    DWORD cursor = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(nullptr, &cursor), DS_OK);
    DWORD available = cursor >= readOffset ? cursor - readOffset : cursor + size - readOffset;
    if (available == 0) continue;
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    ASSERT_EQ(buffer->Lock(readOffset, available, &first, &firstBytes, &second, &secondBytes, 0), DS_OK);
    EXPECT_EQ(firstBytes % 2, 0u);
    got.insert(got.end(), static_cast<std::uint8_t*>(first), static_cast<std::uint8_t*>(first) + firstBytes);
    if (second) got.insert(got.end(), static_cast<std::uint8_t*>(second), static_cast<std::uint8_t*>(second) + secondBytes);
    ASSERT_EQ(buffer->Unlock(first, firstBytes, second, secondBytes), DS_OK);
    readOffset = (readOffset + available) % size;
  }
  ASSERT_EQ(buffer->Stop(), DS_OK);
  got.resize(input.size());
  EXPECT_TRUE(got == input);
  notify->Release();
  buffer->Release();
  capture->Release();
  CloseHandle(event);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

}  // namespace
