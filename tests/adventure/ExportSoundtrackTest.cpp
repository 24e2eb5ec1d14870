// Whole soundtracks as the video export makes them: one mix per movie frame, written into
// a one-second buffer frame after frame. The sources are real files (sox WAVs, an MP3 from
// ffmpeg, an MXV with Vorbis sound) and readers written here: a two-hour sine made on
// demand and one that fails part-way. tools/export_mix_reference.py computes the same
// soundtrack on its own from the WAVs and counts zero crossings per tenth of a second.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "adventure/movie/ExportMix.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLByteOrder.h"
#include "media/SLMoviePlayer.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLBaseStorage.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TestWindow.h"
#include "tools/common/WavHeader.h"
#include "tools/mxvwrite/MxvWriter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 44,100 Hz mono sine of 1/7 Hz, two hours long, made on demand: a frame's value says
// which second of the file it came from. From the frame in g_failFrom on, reads fail.
inline u64 g_failFrom = ~u64(0);
class CLongSineReader : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CLongSineReader)
 public:
  static constexpr u64 kLength = u64(2) * 3600 * 44100;
  static double Value(u64 frame) { return 0.5 * std::sin(2 * kPi * double(frame) / 44100.0 / 7.0); }
  ~CLongSineReader() override { Close(); }
  bool Open(CSLBaseStorage* storage, u32) override { return HoldSource(storage), SLSucceed(true); }
  bool Close() override { return ReleaseSource(), SLSucceed(true); }
  bool GetStreamCount(u32* count) override { return *count = 1, SLSucceed(true); }
  bool GetStreamType(u32, u32* type) override { return *type = SL_STREAM_AUDIO, SLSucceed(true); }
  bool GetVideoFormat(u32, SLVideoFormat*) override { return false; }
  bool GetVideoFrameRate(u32, double*) override { return false; }
  bool IsKeyFrame(u32, u64) override { return false; }
  bool GetAudioFormat(u32, SLAudioFormat* out) override {
    return *out = SLAudioFormat{1, 1, 16, 44100, 88200, 2}, SLSucceed(true);
  }
  bool GetAudioLength(u32, u64* frames) override { return *frames = kLength, SLSucceed(true); }
  bool GetVideoFrameCount(u32, u64*) override { return false; }
  bool StartStream(u32) override { return SLSucceed(true); }
  bool GetVideoFrame(u32, u64, const void**, u32*) override { return false; }
  bool ReadAudio(u32, u64 first, u32 count, const void** samples, u32* got) override {
    if (first + count > g_failFrom) return SLFail(SL_E_STORAGE_READ, false);
    const u64 frames = first >= kLength ? 0 : std::min<u64>(count, kLength - first);
    m_piece.resize(frames);
    for (u64 i = 0; i < frames; ++i) m_piece[i] = i16(std::lround(Value(first + i) * 32767));
    *samples = m_piece.data();
    *got = u32(frames);
    return SLSucceed(true);
  }
  bool StopStream(u32) override { return SLSucceed(true); }

 private:
  std::vector<i16> m_piece;
};
SL_IMPLEMENT_CLASS_CREATABLE(CLongSineReader, CSLBaseVideoAudioReader)

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

class ExportSoundtrack : public OneSceneMovieTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(OneSceneMovieTest::SetUp());
    m_frame = MovieCatalog::Solid(&m_gfx, 4, 4, 2, 4, 0xFF00FF00);
  }
  void TearDown() override {
    OneSceneMovieTest::TearDown();
    g_failFrom = ~u64(0);
  }

  // A sox sine; `format` holds sox's output options (rate, bits, channels).
  std::string Sine(const std::string& name, const std::string& format, double seconds, u32 hertz, double volume) {
    const std::string path = m_dir.Host(name);
    std::ostringstream command;
    command << "sox -n " << format << " '" << path << "' synth " << seconds << " sine " << hertz << " vol " << volume;
    Shell(command.str());
    return path;
  }
  // A PCM WAV file's sound in the recording device, as the catalogue loads element sounds.
  SL_GS_SoundRecord* LoadWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SLAudioFormat format{};
    const u8* data = nullptr;
    u32 dataBytes = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
      const u8* chunk = reinterpret_cast<const u8*>(bytes.data()) + at;
      const u32 size = SLLoadLE32(chunk + 4);
      if (!std::memcmp(chunk, "fmt ", 4))
        format = SLAudioFormat{SLLoadLE16(chunk + 8), SLLoadLE16(chunk + 10), SLLoadLE16(chunk + 22),
                               SLLoadLE32(chunk + 12), SLLoadLE32(chunk + 16), SLLoadLE16(chunk + 20)};
      if (!std::memcmp(chunk, "data", 4)) data = chunk + 8, dataBytes = u32(std::min<size_t>(size, bytes.size() - at - 8));
      at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(data && format.blockAlign) << path;
    if (!data || !format.blockAlign) return nullptr;
    // Written through Lock, as into any device's sound.
    CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
    const u32 frames = dataBytes / format.blockAlign;
    SL_GS_SoundRecord* sound = sfx->CreateSound(frames, &format, 3);
    void *first = nullptr, *second = nullptr;
    u32 firstFrames = 0, secondFrames = 0;
    EXPECT_TRUE(sound && sfx->Lock(&first, &firstFrames, &second, &secondFrames, sound, 0, frames));
    if (!sound || !first || firstFrames != frames) return nullptr;
    std::memcpy(first, data, size_t(frames) * format.blockAlign);
    sfx->Unlock(sound);
    return sound;
  }
  SoundItem* Item(const std::string& path, u32 start, u32 end, u32 kind, const SLClassRecord* reader = nullptr) {
    SoundItem* item = SoundItem_Append(m_scene);
    EXPECT_TRUE(SoundItem_AttachDevices(item));
    item->fileName = ("*" + path).c_str();
    if (reader) EXPECT_TRUE(item->player->Open(path.c_str(), reader));
    else EXPECT_TRUE(SoundItem_OpenFile(item)) << path;
    item->startFrame = start, item->endFrame = end, item->kind = kind;
    return item;
  }
  // The export's loop over whole seconds: at every multiple of 60, each of the next 60
  // frames is mixed at k x 22050 / 60 for its share plus 220 frames (each call
  // overwriting the tail of the one before), and the first (last k + 1) x 22050 / 60
  // frames of the second are kept.
  std::vector<i16> Export(u32 total) {
    std::vector<i16> soundtrack, second((kExportRate + 220) * 2);
    for (u32 current = 0; current < total; current += 60) {
      std::fill(second.begin(), second.end(), 0);
      u32 end = 0;
      for (u32 k = 0; k < 60 && current + k < total; ++k) {
        i32 sceneIndex = -1;
        u32 local = 0;
        Movie_FindSceneForFrame(&m_movie, current + k, &sceneIndex, &local);
        const u32 start = k * kExportRate / 60;
        end = (k + 1) * kExportRate / 60;
        EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, Movie_SceneAt(&m_movie, u32(sceneIndex)), local, &second[start * 2],
                                         end - start + 220),
                  1u)
            << "frame " << current + k << ", code " << std::hex << SLGetLastError();
      }
      soundtrack.insert(soundtrack.end(), second.begin(), second.begin() + end * 2);
    }
    return soundtrack;
  }
  void WriteWav(const std::string& path, const std::vector<i16>& samples) {
    u8 header[44];
    const u32 bytes = u32(samples.size() * 2);
    SLToolWavHeader(header, SLAudioFormat{1, 2, 16, kExportRate, kExportRate * 4, 4}, bytes + 36, bytes);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), 44);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
  }
  std::vector<i16> ReadWavSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<i16> samples(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
    std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
    return samples;
  }
  void ExpectReferenceSoundtrack();
  std::vector<u32> Crossings(const std::string& wav) {
    std::istringstream lines(SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/export_mix_reference.py' --crossings '" +
                                           wav + "'"));
    std::vector<u32> counts;
    for (u32 count; lines >> count;) counts.push_back(count);
    return counts;
  }
  // Each tenth of a second in [from, to) seconds has the zero crossings of `hertz` (two
  // a period), within 3; tenths at the edges of a span are left out.
  void ExpectTone(const std::vector<u32>& counts, double from, double to, u32 hertz) {
    for (u32 tenth = u32(std::lround(from * 10)) + 1; tenth + 1 < u32(std::lround(to * 10)); ++tenth) {
      ASSERT_LT(tenth, counts.size());
      EXPECT_NEAR(double(counts[tenth]), hertz / 5.0, 3.0) << "tenth " << tenth << " of " << from << "-" << to << " s";
    }
  }

  SL_GS_Image* m_frame = nullptr;
  CMovieExportMixer m_mixer;
  TempDir m_dir;
};

// One source after the other, so that each can be heard on its own and every sample can be
// computed by the reference: a one-second 11,025 Hz 8-bit mono action sound (not looped),
// a looping 22,050 Hz stereo state sound of 441 frames (shorter than one frame's source
// window) while the object is in that state, a 44,100 Hz stereo sound item, and music of
// 1.5 s in a span of 2.5 s.
void ExportSoundtrack::ExpectReferenceSoundtrack() {
  constexpr u32 kFrames = 330;
  m_scene->length = kFrames;
  const std::string action = Sine("accion.wav", "-r 11025 -b 8 -e unsigned-integer -c 1", 1.0, 300, 0.6);
  const std::string state = Sine("estado.wav", "-r 22050 -b 16 -c 2", 0.02, 1000, 0.4);
  const std::string item = Sine("item.wav", "-r 44100 -b 16 -c 2", 1.0, 600, 0.5);
  const std::string music = Sine("musica.wav", "-r 22050 -b 16 -c 1", 1.5, 200, 0.7);

  MovieCatalog::ActionSpec speak;
  speak.frames[0] = {m_frame};
  speak.sound = LoadWav(action);
  const i32 who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}}, {speak});
  CharacterInstance* ana = CharacterInstance_New();
  ana->scene = m_scene, ana->character = who, ana->endFrame = 0xFFFFFFFF, ana->x = 300, ana->y = 200;
  List_Append(&m_scene->characters, &ana->link);
  CharacterActionEntry* talking = CharacterActionEntry_Append(ana);
  talking->startFrame = 0, talking->endFrame = kFrames;

  MovieCatalog::ObjectStateSpec quiet, humming;
  quiet.name = "Normal", quiet.frames = {m_frame};
  humming.name = "Zumbido", humming.frames = {m_frame}, humming.sound = LoadWav(state), humming.soundLoops = 1;
  const i32 fan = MovieCatalog::AddObject("ventilador", -1, {quiet, humming});
  ObjectInstance* o = ObjectInstance_New();
  o->scene = m_scene, o->object = fan, o->x = 50, o->y = 60;
  List_Append(&m_scene->objects, &o->link);
  ObjectStateEntry* on = ObjectStateEntry_Append(o);
  on->state = 1, on->startFrame = 60, on->endFrame = 120;
  ObjectStateEntry* off = ObjectStateEntry_Append(o);
  off->state = 0, off->startFrame = 120, off->endFrame = 121;

  Item(item, 120, 180, kSoundEffect);
  Item(music, 180, kFrames, kSoundMusic);

  const std::vector<i16> soundtrack = Export(kFrames);
  ASSERT_EQ(soundtrack.size(), (5 * kExportRate + kExportRate / 2) * 2);
  WriteWav(m_dir.Host("exportada.wav"), soundtrack);

  m_dir.Write("escena.json", "{\"frames\": " + std::to_string(kFrames) + ", \"elements\": [" +
                                 "{\"wav\": \"" + action + "\", \"loop\": 0, \"segments\": [[0, 329, 0]]}," +
                                 "{\"wav\": \"" + state + "\", \"loop\": 1, \"segments\": [[60, 119, 60]]}]," +
                                 "\"items\": [{\"wav\": \"" + item + "\", \"start\": 120, \"end\": 180}," +
                                 "{\"wav\": \"" + music + "\", \"start\": 180, \"end\": 330}]}");
  SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/export_mix_reference.py' '" + m_dir.Host("escena.json") + "' '" +
                m_dir.Host("referencia.wav") + "'");
  const std::vector<i16> expected = ReadWavSamples(m_dir.Host("referencia.wav"));
  ASSERT_EQ(expected.size(), soundtrack.size());
  u32 wrong = 0;
  for (size_t i = 0; i < expected.size(); ++i)
    if (std::abs(i32(expected[i]) - soundtrack[i]) > 1 && wrong++ < 5)
      ADD_FAILURE() << "sample " << i << " (frame " << i / 2 << "): " << soundtrack[i] << ", reference " << expected[i];
  EXPECT_EQ(wrong, 0u);

  const std::vector<u32> counts = Crossings(m_dir.Host("exportada.wav"));
  ASSERT_EQ(counts.size(), 55u);
  ExpectTone(counts, 0.0, 1.0, 300);
  ExpectTone(counts, 1.0, 2.0, 1000);
  ExpectTone(counts, 2.0, 3.0, 600);
  ExpectTone(counts, 3.0, 4.5, 200);
  for (u32 tenth = 46; tenth < 55; ++tenth) EXPECT_EQ(counts[tenth], 0u) << "tenth " << tenth << " after the music";
}

TEST_F(ExportSoundtrack, EqualsTheReferenceSoundtrackAndEachToneKeepsItsSpan) { ExpectReferenceSoundtrack(); }

// The same with the element sounds in the real sound device (SDL's dummy driver): its
// Lock hands out the sounds' samples, wrapped, as the recording device's does.
TEST_F(ExportSoundtrack, TheRealSoundDeviceGivesTheSameSoundtrack) {
  HWND window = SLTestMakeWindow("sonido");
  ASSERT_NE(window, nullptr);
  {
    CSL_GS_Sfx_DirectX device;
    ASSERT_TRUE(device.Init(nullptr, window, nullptr));
    AdventureDevices_Set(&m_gfx, &device, nullptr);
    ExpectReferenceSoundtrack();
    Movie_Clear(&m_movie);
    MovieCatalog::Free();
    AdventureDevices_Set(nullptr, nullptr, nullptr);
    device.Shutdown();
  }
  DestroyWindow(window);
}

// Sound items of the other formats the editor offers: an MP3 and a movie's Vorbis sound.
TEST_F(ExportSoundtrack, Mp3AndMovieSoundItemsAreHeardInTheirSpans) {
  m_scene->length = 180;
  const std::string mp3 = m_dir.Host("voz.mp3");
  Shell("ffmpeg -loglevel error -y -f lavfi -i 'sine=f=440:d=1.5' -ar 44100 -ac 2 -c:a libmp3lame -b:a 128k '" + mp3 + "'");
  const std::string movie = m_dir.Host("corto.mxv");
  {
    slmxv::MxvWriter writer;
    slmxv::VideoSettings video;
    video.width = 16, video.height = 16, video.bitsPerPixel = 24, video.framesPerSecond = 10;
    slmxv::AudioSettings audio;
    audio.codec = 2;  // Vorbis
    std::string error;
    ASSERT_TRUE(writer.Create(movie, 2, &video, &audio, &error)) << error;
    std::vector<i16> samples(22050 * 3 / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = i16(std::lround(12000 * std::sin(2 * kPi * 250 * i / 22050.0)));
    ASSERT_TRUE(writer.SetAudio(reinterpret_cast<const u8*>(samples.data()), samples.size(), &error)) << error;
    std::vector<u8> picture(16 * 16 * 3, 0x80);
    for (u32 f = 0; f < 15; ++f) ASSERT_TRUE(writer.AddFrame(picture.data(), &error)) << error;
    ASSERT_TRUE(writer.Finish(&error)) << error;
  }
  Item(mp3, 0, 60, kSoundEffect);
  Item(movie, 90, 180, kSoundEffect);
  const std::vector<i16> soundtrack = Export(180);
  WriteWav(m_dir.Host("exportada.wav"), soundtrack);
  const std::vector<u32> counts = Crossings(m_dir.Host("exportada.wav"));
  ASSERT_EQ(counts.size(), 30u);
  ExpectTone(counts, 0.0, 1.0, 440);
  for (u32 tenth = 11; tenth < 15; ++tenth) EXPECT_EQ(counts[tenth], 0u) << "tenth " << tenth;
  ExpectTone(counts, 1.5, 3.0, 250);
}

// Forty minutes into a two-hour item the samples are those of that time (t x rate is past
// 32 bits there); a reader that fails part-way fails the frames it cannot give, and only
// those.
TEST_F(ExportSoundtrack, LongItemsStartAtTheirTimeAndFailingReadsFailTheFrame) {
  const u32 fortyMinutes = 40 * 60 * 60;
  m_scene->length = 2 * 3600 * 60;
  m_dir.Write("largo.raw", "x");
  Item(m_dir.Host("largo.raw"), 0, m_scene->length, kSoundMusic, CLongSineReader::GetClassRecord());
  std::vector<i16> out(588 * 2);
  ASSERT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, fortyMinutes, out.data(), 588), 1u);
  const u64 first = u64(fortyMinutes) * 44100 / 60;
  for (u32 k : {0u, 100u, 587u}) {
    const double expected = CLongSineReader::Value(first + 2 * k) * 32767;
    EXPECT_NEAR(out[2 * k], expected, 8) << k;
    EXPECT_EQ(out[2 * k], out[2 * k + 1]) << k;
  }
  EXPECT_LT(CLongSineReader::Value(first), -0.3);  // a position wrapped at 32 bits would be near -0.09

  g_failFrom = 44100 * 10;  // the file breaks ten seconds in
  EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, 60 * 9, out.data(), 588), 1u);
  EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, 60 * 10, out.data(), 588), 0u);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_READ);
  EXPECT_EQ(Scene_MixAudioForFrame(&m_mixer, m_scene, fortyMinutes, out.data(), 588), 0u);
}

}  // namespace
