// The export soundtrack: element sounds and sound items read as PCM and mixed into
// 22,050 Hz 16-bit stereo for each exported frame. Sources are made with known sample
// values so that every output sample can be predicted: constant levels for gains and
// ends, ramps for positions.
#include <gtest/gtest.h>

#include <cmath>

#include "adventure/movie/ExportMix.h"
#include "adventure/movie/SceneRender.h"
#include "media/SLMoviePlayer.h"
#include "tests/support/MovieFixtures.h"

namespace {

constexpr u32 kWindow = 588;  // output frames per exported frame (a 37.5-per-second export)

class ExportMix : public OneSceneMovieTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(OneSceneMovieTest::SetUp());
    m_scene->length = 200000;
    m_frame = MovieCatalog::Solid(&m_gfx, 4, 4, 2, 4, 0xFF00FF00);
  }
  // A sound whose sample i (every channel) is value(i), in 8 or 16 bits.
  SL_GS_SoundRecord* Sound(u32 frames, u32 rate, u32 channels, u32 bits, const std::function<double(u32)>& value) {
    const u32 align = channels * bits / 8;
    const SLAudioFormat format{1, channels, bits, rate, rate * align, align};
    SL_GS_SoundRecord* sound = m_sfx.CreateSound(frames, &format, 3);
    for (u32 i = 0; i < frames; ++i)
      for (u32 c = 0; c < channels; ++c) {
        u8* at = sound->samples + u64(i) * align + c * bits / 8;
        if (bits == 8) *at = u8(128 + std::lround(value(i) * 128));
        else {
          const i16 s = i16(std::lround(value(i) * 32768));
          at[0] = u8(s), at[1] = u8(u16(s) >> 8);
        }
      }
    return sound;
  }
  // A character standing in one action from frame 0 to `end` with that sound.
  CharacterInstance* Speaker(const char* name, SL_GS_SoundRecord* sound, u32 loops, u32 end = 200000) {
    MovieCatalog::ActionSpec action;
    action.frames[0] = {m_frame};
    action.sound = sound, action.soundLoops = loops;
    const i32 index = MovieCatalog::AddCharacter(name, false, {{"Normal", 0}}, {action});
    CharacterInstance* c = CharacterInstance_New();
    c->scene = m_scene, c->character = index, c->endFrame = 0xFFFFFFFF, c->x = 300, c->y = 200;
    List_Append(&m_scene->characters, &c->link);
    CharacterActionEntry* e = CharacterActionEntry_Append(c);
    e->startFrame = 0, e->endFrame = end;
    return c;
  }
  std::vector<i16> Mix(u32 frame) {
    std::vector<i16> out(kWindow * 2, 0x5555);
    EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, frame, out.data(), kWindow), 1u) << std::hex << SLGetLastError();
    return out;
  }

  SL_GS_Image* m_frame = nullptr;
  CMovieExportMixer m_mixer;
  TempDir m_dir;
};

TEST_F(ExportMix, MonoIsHeardOnBothSidesAtFullGainAndSumsClamp) {
  Speaker("a", Sound(22050, 11025, 1, 8, [](u32) { return 0.5; }), 1);
  std::vector<i16> out = Mix(10);
  for (u32 k = 0; k < kWindow; ++k) {
    ASSERT_EQ(out[2 * k], 16512) << k;  // 8-bit 192 is 64 / 127 of full scale
    ASSERT_EQ(out[2 * k + 1], 16512) << k;
  }
  Speaker("b", Sound(22050, 22050, 2, 16, [](u32) { return 0.75; }), 1);
  out = Mix(10);
  EXPECT_EQ(out[0], 32767);
  Movie_Clear(&m_movie);
  m_scene = Movie_AppendScene(&m_movie);
  m_scene->length = 1000;
  Speaker("c", Sound(22050, 22050, 2, 16, [](u32) { return -0.75; }), 1);
  Speaker("d", Sound(22050, 44100, 1, 16, [](u32) { return -0.5; }), 1);
  out = Mix(3);
  EXPECT_EQ(out[0], -32767);
  EXPECT_EQ(out[2 * kWindow - 1], -32767);
}

TEST_F(ExportMix, SoundsEndingInsideTheWindowLeaveSilenceNotStaleBytes) {
  // A louder, long sound first, so that the working block holds its bytes when the short
  // one is copied in.
  Speaker("a", Sound(44100, 44100, 2, 16, [](u32) { return 0.5; }), 0);
  // 1000 frames at 44.1 kHz: at movie frame 1 the read starts at 735 and has 265 left.
  Speaker("b", Sound(1000, 44100, 2, 16, [](u32) { return 0.25; }), 0);
  std::vector<i16> out = Mix(1);
  for (u32 k = 0; k < 130; ++k) ASSERT_EQ(out[2 * k], 16384 + 8192) << k;  // 16-bit samples come back as they were
  for (u32 k = 135; k < kWindow; ++k) ASSERT_EQ(out[2 * k], 16384) << k;
  // Past its end a sound that does not loop is silent.
  out = Mix(3);
  for (u32 k = 0; k < kWindow; ++k) ASSERT_EQ(out[2 * k], 16384) << k;
}

TEST_F(ExportMix, LoopingSoundsWrapOnceAndPositionsKeep64Bits) {
  auto ramp = [](u32 i) { return (i % 100) / 200.0; };
  Speaker("a", Sound(100, 22050, 2, 16, ramp), 1);
  std::vector<i16> out = Mix(1);  // from 367 % 100 = 67
  for (u32 k = 0; k < 100; ++k)
    ASSERT_EQ(out[2 * k], std::lround(ramp((67 + k) % 100) * 32768)) << k;
  for (u32 k = 100; k < kWindow; ++k) ASSERT_EQ(out[2 * k], 0) << k;  // the rest of the window is silence
  Movie_Clear(&m_movie);
  m_scene = Movie_AppendScene(&m_movie);
  m_scene->length = 200000;
  // Thirty minutes into a segment at 44.1 kHz: t x r is past 32 bits.
  auto level = [](u32 i) { return i / 1000.0 - 0.5; };
  Speaker("b", Sound(997, 44100, 1, 16, level), 1);
  const u64 from = u64(108000) * 44100 / 60 % 997;
  out = Mix(108000);
  // Within one step of the ramp (the resampler weighs in the next sample); a position
  // wrapped at 32 bits would start 183 samples earlier.
  EXPECT_NEAR(out[0], std::lround(level(u32(from)) * 32768), 40);
}

TEST_F(ExportMix, ElementsKeepTheResultsOfTheRenderedFrame) {
  CharacterInstance* a = Speaker("a", Sound(500, 22050, 1, 16, [](u32) { return 0.1; }), 0, 30);
  CharacterActionEntry* walk = CharacterActionEntry_Append(a);
  walk->startFrame = 40, walk->endFrame = 100;
  ASSERT_TRUE(KeyPointArray_SetSize(&walk->path, 2));
  KeyPointArray_Data(&walk->path)[0] = {100, 100, 200};
  KeyPointArray_Data(&walk->path)[1] = {300, 100, 0};
  walk->pathLength = 200, walk->pathFrames = 60;
  a->endFrame = 90;
  const i32 crate = MovieCatalog::AddObject("caja", -1, {{"Normal", {m_frame}}});  // no sound
  ObjectInstance* o = ObjectInstance_New();
  o->scene = m_scene, o->object = crate, o->x = 50, o->y = 60;
  List_Append(&m_scene->objects, &o->link);
  Scene_RenderAtFrame(m_scene, 35, kModeEvaluate);
  const ElementResults keptA = *a, keptO = *o;
  for (u32 f = 35; f < 95; ++f) Mix(f);
  auto same = [](const ElementResults& x, const ElementResults& y) {
    return std::tie(x.visible, x.posX, x.posY, x.image, x.scale, x.left, x.top, x.width, x.height, x.segmentStart,
                    x.segmentEnd) == std::tie(y.visible, y.posX, y.posY, y.image, y.scale, y.left, y.top, y.width,
                                              y.height, y.segmentStart, y.segmentEnd);
  };
  EXPECT_TRUE(same(*a, keptA));
  EXPECT_TRUE(same(*o, keptO));
}

TEST_F(ExportMix, EndedMusicAndMissingFilesAreSilence) {
  const std::string music = m_dir.Host("musica.wav");
  ASSERT_EQ(std::system(("sox -n -r 22050 -b 16 -c 2 '" + music + "' synth 0.2 sine 440 vol 0.5").c_str()), 0);
  for (const std::string& name : {"*" + music, "*" + m_dir.Host("borrada.wav")}) {
    SoundItem* item = SoundItem_Append(m_scene);
    ASSERT_TRUE(SoundItem_AttachDevices(item));
    item->fileName = name.c_str();
    SoundItem_OpenFile(item);
    item->startFrame = 10, item->endFrame = 100, item->kind = kSoundMusic;
  }
  std::vector<i16> out = Mix(10);  // the music's first samples
  i32 loudest = 0;
  for (i16 s : out) loudest = std::max(loudest, std::abs(i32(s)));
  EXPECT_GT(loudest, 12000);
  for (u32 f : {22u, 30u, 99u}) {  // 0.2 s is 12 movie frames: the music has ended
    out = Mix(f);
    for (i16 s : out) ASSERT_EQ(s, 0) << f;
  }
  // A playing item cannot be read: the frame fails, so callers stop playback first.
  Scene_RenderAtFrame(m_scene, 10, kModeSeek);
  std::vector<i16> samples(kWindow * 2);
  EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, 12, samples.data(), kWindow), 0u);
  EXPECT_EQ(SLGetLastError(), SL_E_HELD);
  Scene_RenderAtFrame(m_scene, 10, kModeSilent);
  EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, 12, samples.data(), kWindow), 1u);
}

}  // namespace
