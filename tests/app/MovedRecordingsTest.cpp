// A voice recorded from the chooser is kept in the movie as "*" and its full path. When the
// family's folder moves (a backup restored elsewhere), the movie finds the recording of
// the same name in the program's own "Sfx/Grabadas", plays the same samples and saves the
// path it played from; a recording that is nowhere still leaves the movie opening silent.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/project/ProjectFile.h"
#include "media/SLMoviePlayer.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/AppHarness.h"
#include "tests/support/CatalogScreenTest.h"
#include "tests/support/ContentFiles.h"
#include "tests/support/MoviePlayerFakes.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using content_test::Read;

const std::string kSample = "Paseo en el parque";
constexpr u32 kVoiceFrames = 4000;

class MovedRecordings : public CatalogScreenTest {
 protected:
  void TearDown() override {
    Movie_Clear(Movie_Get());
    SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
    CatalogScreenTest::TearDown();
  }

  // A family's folder with the sample movie and the recording "Mi voz.WAV", the program's
  // file named inside it.
  static void PlaceFamily(const TempDir& dir) {
    fs::create_directories(dir.Host("Aventuras Guardadas"));
    fs::create_directories(dir.Host("Sfx/Grabadas"));
    fs::copy_file(AppHarness::ContentDir() + "/Aventuras Guardadas/" + kSample + ".ZQTR",
                  dir.Host("Aventuras Guardadas/" + kSample + ".ZQTR"));
    SLTestWriteWav(dir.Host("Sfx/Grabadas/Mi voz.WAV"), 16, 1, 22050, kVoiceFrames);
    RunFrom(dir);
  }
  static void RunFrom(const TempDir& dir) {
    SLPlatformSetProgramFileName(dir.Host("Zarandulvortequimbaplastelo").c_str());
  }
  // The first scene's last sound: the voice the test added.
  static SoundItem* Voice() {
    Scene* first = Movie_SceneAt(Movie_Get(), 0);
    return Scene_SoundAt(first, Scene_SoundCount(first) - 1);
  }
  // The samples the voice's player reads, or "" when it has no sound.
  static std::string Samples(SoundItem* voice) {
    SLAudioFormat format{};
    if (!voice->player->GetAudioFormat(&format)) return "";
    const void* samples = nullptr;
    u32 got = 0;
    if (!voice->player->ReadAudio(0, kVoiceFrames, &samples, &got)) return "";
    return std::string(static_cast<const char*>(samples), size_t(got) * format.blockAlign);
  }
  static void Save(const TempDir& dir, const std::string& name) {
    ASSERT_EQ(ProjectFile_WriteMovie(Movie_Get(), dir.Host("Aventuras Guardadas/" + name + ".ZQTR").c_str()), u32(SL_OK));
  }
};

// The stored path in each spelling the program meets: the recorder's "\", the "/" of a
// path typed on this system, and a name whose letter case differs from the file's.
TEST_F(MovedRecordings, TheMovedFamilyFindsItsRecordingsAndSavesWhereTheyAre) {
  struct Row {
    const char* name;
    std::string stored;  // after the old folder
    const char* fileName;
  } rows[] = {
      {"recorder", "\\Sfx\\Grabadas\\Mi voz.WAV", "Mi voz.WAV"},
      {"slashes", "/Sfx/Grabadas/Mi voz.WAV", "Mi voz.WAV"},
      {"letter case", "\\Sfx\\Grabadas\\MI VOZ.wav", "MI VOZ.wav"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto old = std::make_unique<TempDir>();
    TempDir moved;
    PlaceFamily(*old);
    ASSERT_EQ(ProjectFile_Load(kSample.c_str()), 1u);
    Scene* first = Movie_SceneAt(Movie_Get(), 0);
    SoundItem* voice = SoundItem_Append(first);
    ASSERT_TRUE(SoundItem_AttachDevices(voice));
    voice->fileName = ("*" + old->Host() + row.stored).c_str();
    voice->startFrame = 10, voice->endFrame = 100, voice->speed = 1.0, voice->kind = kSoundEffect;
    ASSERT_TRUE(SoundItem_OpenFile(voice));
    const std::string samples = Samples(voice);
    EXPECT_EQ(samples, Read(old->Host("Sfx/Grabadas/Mi voz.WAV")).substr(44));
    Save(*old, "Con voz");
    Movie_Clear(Movie_Get());

    fs::copy(old->Host(), moved.Host(), fs::copy_options::recursive);
    old.reset();
    RunFrom(moved);
    ASSERT_EQ(ProjectFile_Load("Con voz"), 1u);
    const std::string found = std::string("*") + App_ProgramDirectory() + "Sfx\\Grabadas\\" + row.fileName;
    EXPECT_EQ(Voice()->fileName.CStr(), found);
    EXPECT_EQ(Samples(Voice()), samples);
    // Saved again, the movie keeps the path it played from.
    Save(moved, "Con voz");
    Movie_Clear(Movie_Get());
    ASSERT_EQ(ProjectFile_Load("Con voz"), 1u);
    EXPECT_EQ(Voice()->fileName.CStr(), found);
    EXPECT_EQ(Samples(Voice()), samples);
    Movie_Clear(Movie_Get());
  }
}

// Nowhere to be found, in the old place or among the recordings: the movie opens with
// the voice silent and its name as stored, as before; so does a path that ends in a
// separator, which names no file to look for.
TEST_F(MovedRecordings, ARecordingThatIsNowhereLeavesTheVoiceSilent) {
  TempDir family;
  PlaceFamily(family);
  for (const std::string stored : {"*/no/existe/Otra voz.WAV", "*/no/existe/"}) {
    SCOPED_TRACE(stored);
    ASSERT_EQ(ProjectFile_Load(kSample.c_str()), 1u);
    SoundItem* voice = SoundItem_Append(Movie_SceneAt(Movie_Get(), 0));
    ASSERT_TRUE(SoundItem_AttachDevices(voice));
    voice->fileName = stored.c_str();
    voice->startFrame = 10, voice->endFrame = 100, voice->speed = 1.0, voice->kind = kSoundEffect;
    EXPECT_FALSE(SoundItem_OpenFile(voice));
    Save(family, "Sin voz");
    Movie_Clear(Movie_Get());
    ASSERT_EQ(ProjectFile_Load("Sin voz"), 1u);
    EXPECT_EQ(Voice()->fileName.CStr(), stored);
    EXPECT_EQ(Samples(Voice()), "");
    Movie_Clear(Movie_Get());
  }
}

}  // namespace
