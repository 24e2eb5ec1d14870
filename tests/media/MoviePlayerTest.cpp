// The movie player over a sound device whose voice the test moves and a back buffer in
// memory: the ring and the clock it gives, the end of playback and its one event, pacing
// without sound on the test clock, drawing, failures, and a real sound on SDL's dummy driver.
#include <gtest/gtest.h>

#include <atomic>

#include "foundation/SLLibrary.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "media/SLMoviePlayer.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/MoviePlayerFakes.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

// A WAV reader whose reads fail on request.
std::atomic<bool> g_failReads{false};
class CFailingWavReader : public CSLVideoAudioReaderWAV {
  SL_DECLARE_CLASS(CFailingWavReader)
 public:
  bool ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) override {
    if (g_failReads) return SLFail(SL_E_DECODE_DATA, false);
    return CSLVideoAudioReaderWAV::ReadAudio(stream, first, count, samples, got);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CFailingWavReader, CSLVideoAudioReaderWAV)

class MoviePlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(player.AddCallback(this, &MoviePlayer::OnStopping, 0));
    ASSERT_TRUE(player.SetSfx(&sfx) && player.SetGfx(&gfx));
  }
  void TearDown() override { SLPlatformSetTestClock(false); }
  void OnStopping(CSL_GS_MoviePlayer*, CSLBaseEvent* event, u32) {
    if (!event->IsKindOf(CSL_GS_MoviePlayerStoppingEvent::GetClassRecord())) return;
    eventThread = SLGetCurrentThreadId();
    ++stops;
  }
  u64 Frame() {
    u64 frame = ~0ull;
    return player.GetCurrentFrame(&frame) ? frame : ~0ull;
  }
  // Moves the voice and waits until the player shows `frame`.
  bool HearAt(u32 ringPosition, u64 frame) {
    sfx.position = ringPosition;
    return SLTestEventually([&] { return Frame() == frame; });
  }
  void SetClockMs(u64 ms) { SLPlatformSetTestClock(true, ms * 1000000); }

  TempDir dir;
  CFakeSfx sfx;
  CBackBufferGfx gfx;
  CSL_GS_MoviePlayer player;
  std::atomic<int> stops{0};
  std::atomic<u32> eventThread{0};
};

// Every block of the ring holds the samples the table says, from the block being heard on:
// checks the ring against the sound read straight from the file.
void ExpectRingFrom(SL_GS_SoundRecord* ring, u64 heardBlockStart, u32 heardBlock, u64 length, bool loop) {
  const u32 align = ring->format.blockAlign, block = ring->length / 50;
  const u8 silence = ring->format.bitsPerSample == 8 ? 128 : 0;
  for (u32 k = 0; k < 50; ++k) {
    const u64 start = loop ? (heardBlockStart + u64(k) * block) % length : heardBlockStart + u64(k) * block;
    const u8* bytes = ring->samples + u64((heardBlock + k) % 50) * block * align;
    for (u32 f = 0; f < block; ++f)
      for (u32 i = 0; i < align; ++i)
        ASSERT_EQ(bytes[f * align + i], start + f < length ? SLTestSampleByte(start + f, i) : silence)
            << "block " << k << " ahead, frame " << f;
  }
}

TEST_F(MoviePlayer, ShortSoundsPlayOnceIntoSilenceAndEndWithOneEvent) {
  struct Case {
    u32 bits, channels, rate, frames, blockFrames;
  } cases[] = {{8, 1, 11025, 3307, 1102}, {16, 2, 22050, 22711, 2205}, {16, 1, 44100, 45423, 4410}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    SLTestWriteWav(dir.Host("short.wav"), c.bits, c.channels, c.rate, c.frames);
    ASSERT_TRUE(player.Open(dir.Host("short.wav").c_str(), nullptr));
    u64 total = 0;
    EXPECT_TRUE(player.GetFrameCount(&total) && total == c.frames);
    stops = 0;
    ASSERT_TRUE(player.Play(0, 1.0, false, false) && HearAt(5, 5));
    EXPECT_EQ(sfx.ring.load()->length, 50 * c.blockFrames);
    ExpectRingFrom(sfx.ring, 0, 0, c.frames, false);
    // Past the end the voice hears only silence, even when no tick saw it leave the first
    // block: playback ends there, back at frame 0.
    sfx.position = u32(c.frames + 10);
    ASSERT_TRUE(SLTestEventually([&] { return stops == 1; }));
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(Frame(), 0u);
    EXPECT_NE(eventThread, SLGetCurrentThreadId());
    EXPECT_NE(eventThread, player.GetThreadId());
    ASSERT_TRUE(player.Stop());
    SLSleep(50);
    EXPECT_EQ(stops, 1);
  }
}

TEST_F(MoviePlayer, LoopingSoundFollowsTheVoiceAcrossRingWrapsAndRefills) {
  SLTestWriteWav(dir.Host("long.wav"), 16, 1, 22050, 12 * 22050);
  ASSERT_TRUE(player.Open(dir.Host("long.wav").c_str(), nullptr) && player.Play(1, 1.0, false, false));
  const u64 length = 12 * 22050, ring = 50 * 2205;
  u64 heard = 0;
  for (int step = 0; step < 60; ++step) {
    heard += 19000;  // less than the 49 blocks ahead of the voice
    ASSERT_TRUE(HearAt(u32(heard % ring), heard % length)) << step;
    ASSERT_NO_FATAL_FAILURE(ExpectRingFrom(sfx.ring, heard % length / 2205 * 2205, u32(heard % ring / 2205), length, true));
  }
  EXPECT_TRUE(player.IsPlaying());
  // Seeking while playing restarts there without an event.
  ASSERT_TRUE(player.SeekToFrame(50000) && player.IsPlaying() && HearAt(100, 50100));
  ASSERT_TRUE(player.Close());
  ASSERT_TRUE(SLTestEventually([&] { return stops == 1; }));
}

TEST_F(MoviePlayer, PlayAnswersForItsOwnStartOnly) {
  SLTestWriteWav(dir.Host("a.wav"), 16, 1, 22050, 30000);
  ASSERT_TRUE(player.Open(dir.Host("a.wav").c_str(), CFailingWavReader::GetClassRecord()));
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(player.Play(0, 1.0, false, false));
    ASSERT_TRUE(player.IsPlaying()) << i;
  }
  sfx.failCreate = true;
  SL_EXPECT_FAIL(player.Play(0, 1.0, false, false), 0x8001000F);
  EXPECT_FALSE(player.IsPlaying());
  sfx.failCreate = false, g_failReads = true;
  SL_EXPECT_FAIL(player.Play(0, 1.0, false, false), SL_E_DECODE_DATA);
  g_failReads = false;
  EXPECT_FALSE(player.IsPlaying());
  SL_EXPECT_FAIL(player.Play(0, -1, false, false), 0x80001001);  // nothing to play backward
  EXPECT_TRUE(player.SeekToFrame(1u << 30) && Frame() == 30000u);
  // A file no reader takes leaves nothing open.
  SLTestWriteWav(dir.Host("bad.wav"), 16, 1, 0, 10);
  EXPECT_FALSE(player.Open(dir.Host("bad.wav").c_str(), nullptr));
  SL_EXPECT_FAIL(player.Stop(), 0x80010002);
}

TEST_F(MoviePlayer, VideoWithoutSoundStepsWithTheClock) {
  struct Case {
    u32 fps;
    double speed;
    u32 start, ms, expected;
  } cases[] = {{10, 1, 0, 1000, 10}, {10, 1, 10, 1550, 25}, {25, 2, 0, 400, 20}, {30, -1, 45, 1000, 15}};
  int played = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fps);
    ASSERT_TRUE(SLTestWriteMovie(dir.Host("v.mxv"), 16, 16, 24, c.fps, 60));
    ASSERT_TRUE(player.Open(dir.Host("v.mxv").c_str(), nullptr) && player.SeekToFrame(c.start));
    SetClockMs(1000);
    ASSERT_TRUE(player.Play(0, c.speed, false, false));
    SetClockMs(1000 + c.ms);
    ASSERT_TRUE(SLTestEventually([&] { return Frame() == c.expected; })) << Frame();
    ASSERT_TRUE(player.Stop());
    ASSERT_TRUE(SLTestEventually([&] { return stops == played + 1; }));
    ++played;
  }
  // The end without looping: backward it stops on the last frame, with one event.
  ASSERT_TRUE(player.Play(0, -1.0, false, false));
  SetClockMs(1000000);
  ASSERT_TRUE(SLTestEventually([&] { return stops == played + 1; }));
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_EQ(Frame(), 59u);
  // Looping plays on past the end.
  ASSERT_TRUE(player.Play(1, 1.0, false, false));
  SetClockMs(1000000 + 6100);
  SLSleep(200);
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_EQ(stops, played + 1);
}

// The intro film as the content generator makes it (MJPG 640x480 at 15 fps, 16-bit stereo
// PCM at 22,050 Hz) opens by its extension and plays to its end with one stopping event.
TEST_F(MoviePlayer, IntroFilmPlaysToItsEndWithOneEvent) {
  const std::string path = dir.Host("Intro.AVI");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=640x480:rate=15:duration=8 -f lavfi -i "
                         "sine=f=330:r=22050:d=8 -c:v mjpeg -q:v 5 -c:a pcm_s16le -ac 2 " + path).c_str()),
            0);
  ASSERT_TRUE(player.Open(path.c_str(), nullptr));
  u64 total = 0;
  ASSERT_TRUE(player.GetFrameCount(&total));
  EXPECT_EQ(total, 120u);
  stops = 0;
  ASSERT_TRUE(player.Play(0, 1.0, false, false));
  // The voice goes round the ring of 50 tenths of a second a second at a time.
  const u32 ring = 50 * 2205;
  for (u32 second = 1; second < 8; ++second) ASSERT_TRUE(HearAt(second * 22050 % ring, 15 * second));
  sfx.position = (8 * 22050 + 10) % ring;
  ASSERT_TRUE(SLTestEventually([&] { return stops == 1; }));
  EXPECT_FALSE(player.IsPlaying());
  SLSleep(50);
  EXPECT_EQ(stops, 1);
}

TEST_F(MoviePlayer, PicturesLandInTheBackBufferClippedAndInTheirColours) {
  // Both streams: the sound of 22,050 Hz paces 10 fps, so 2,205 samples are one frame.
  ASSERT_TRUE(SLTestWriteMovie(dir.Host("m.mxv"), 320, 8, 24, 10, 5, 22050));
  ASSERT_TRUE(player.Open(dir.Host("m.mxv").c_str(), nullptr) && player.Play(0, 1.0, false, false));
  ASSERT_TRUE(HearAt(3 * 2205 + 7, 3) && player.RenderFrame(0, 0));
  const std::vector<u8> picture = SLTestPicture(320, 8, 3);
  for (u32 y = 0; y < 8; ++y)
    for (u32 x = 0; x < 320; ++x)
      for (u32 i = 0; i < 3; ++i) ASSERT_EQ(gfx.Pixel(x, y)[i], picture[(y * 320 + x) * 3 + i]) << x << "," << y;
  gfx.Clear();
  ASSERT_TRUE(player.RenderFrame(-50, 0));
  for (u32 x = 0; x < 320; ++x) ASSERT_EQ(gfx.Pixel(x, 0)[0], x < 270 ? picture[(x + 50) * 3] : 0xEE) << x;
  gfx.Clear();
  EXPECT_TRUE(player.RenderFrame(1000, 0));
  EXPECT_TRUE(player.RenderFrame(0, -8));
  EXPECT_EQ(gfx.m_back, std::vector<u8>(gfx.m_back.size(), 0xEE));

  ASSERT_TRUE(SLTestWriteMovie(dir.Host("p.mxv"), 24, 8, 8, 10, 1));
  ASSERT_TRUE(player.Open(dir.Host("p.mxv").c_str(), nullptr) && player.RenderFrame(700, 592));
  const auto indices = slmxv::MxvWriter::ConvertPicture(SLTestPicture(24, 8, 0).data(), 24, 8, 8);
  for (u32 y = 0; y < 8; ++y)
    for (u32 x = 0; x < 24; ++x) {
      const u8* colour = slmxv::MxvWriter::Palette() + 3 * indices[y * 24 + x];
      const u8* pixel = gfx.Pixel(700 + x, 592 + y);
      ASSERT_EQ((std::vector<u8>{pixel[2], pixel[1], pixel[0]}), (std::vector<u8>(colour, colour + 3))) << x;
    }
}

// The real sound device on SDL's dummy driver: a one-second sound plays to its end.
TEST_F(MoviePlayer, RealDevicePlaysASoundToItsEnd) {
  HWND window = SLTestMakeWindow("sonido");
  CSL_GS_Sfx_DirectX device;
  ASSERT_TRUE(device.Init(nullptr, window, nullptr) && player.SetSfx(&device));
  SLTestWriteWav(dir.Host("one.wav"), 16, 1, 22050, 22050);
  ASSERT_TRUE(player.Open(dir.Host("one.wav").c_str(), nullptr) && player.Play(0, 1.0, false, false));
  ASSERT_TRUE(SLTestEventually([&] { return stops == 1; }));
  EXPECT_FALSE(player.IsPlaying());
  device.Shutdown();  // the player lets the dying device go
  SL_EXPECT_FAIL(player.Play(0, 1.0, false, false), 0x80010002);
  DestroyWindow(window);
}

}  // namespace
