// The loading screen and its loader thread: the sample set loads with a progress that
// only rises, the flower and its glow follow the progress and the clock, the close
// button returns to the start menu with the catalogues emptied, and a missing or broken
// pack ends the program with its code and the pack's name.
#include <gtest/gtest.h>

#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/screens/LoadingScreen.h"
#include "app/services/ModalStack.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "media/SLMoviePlayer.h"
#include "platform/kernel32/Modules.h"
#include "tests/app/LoadingFixtures.h"
#include "tests/support/AppHarness.h"

namespace {

struct Samples {
  std::vector<u32> progress;
  bool musicPlayed = false;
};

void SampleFrame(std::uintptr_t argument) {
  auto* samples = reinterpret_cast<Samples*>(argument);
  samples->progress.push_back(LoaderProgress_Get().progress.load());
  if (App_Services().moviePlayer->IsPlaying()) samples->musicPlayed = true;
}

u32 PacksIn(const std::string& folder) {
  u32 count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".DAT") ++count;
  return count;
}

void EmptyCatalogues() {
  SceneCatalog_Free();
  ObjectCatalog_Free();
  CharacterCatalog_Free();
}

using LoadingScreen = AppScreenTest;

TEST_F(LoadingScreen, SampleSetLoadsWithAProgressThatOnlyRises) {
  Samples samples;
  u32 hook = 0;
  ASSERT_TRUE(SL_GS_AddPhaseHook(&hook, SL_GS_PHASE_DRAW, 0, &SampleFrame, reinterpret_cast<std::uintptr_t>(&samples)));
  const i32 result = LoadingScreen_Run();
  SL_GS_RemovePhaseHook(hook);
  ASSERT_EQ(result, 1);

  const std::string gfx = AppHarness::ContentDir() + "/Gfx/";
  const u32 characters = PacksIn(gfx + "Personajes"), scenes = PacksIn(gfx + "Fondos"), objects = PacksIn(gfx + "Objetos");
  EXPECT_NE(CharacterCatalog_GetAt(characters - 1), nullptr);
  EXPECT_NE(SceneCatalog_GetAt(scenes - 1), nullptr);
  EXPECT_NE(ObjectCatalog_GetAt(objects - 1), nullptr);
  EXPECT_EQ(ObjectCatalog_GetAt(objects), nullptr);
  // The objects' loader leaves the progress where the last object began.
  EXPECT_EQ(LoaderProgress_Get().progress.load(), 33 * (objects - 1) / objects + 66);
  EXPECT_EQ(LoaderProgress_Get().errorCode, 0);
  EXPECT_EQ(App_Services().gfx->GetImageGroup(), 1u);

  ASSERT_FALSE(samples.progress.empty());
  for (size_t i = 0; i < samples.progress.size(); ++i) {
    EXPECT_LE(samples.progress[i], 99u);
    if (i > 0) {
      EXPECT_GE(samples.progress[i], samples.progress[i - 1]) << "frame " << i;
    }
  }
  EXPECT_TRUE(samples.musicPlayed);
  EXPECT_FALSE(App_Services().moviePlayer->IsPlaying()) << "the loading music stops with the screen";
  EmptyCatalogues();
}

TEST(LoadingScreenDrawing, FlowerFollowsTheProgressAndTheGlowTheClock) {
  const struct {
    u32 progress, frame;
  } flowers[] = {{0, 0}, {2, 0}, {3, 1}, {50, 17}, {66, 22}, {99, 33}};
  for (const auto& row : flowers) EXPECT_EQ(LoadingScreen_FlowerFrame(row.progress), row.frame) << row.progress;

  // The tint for t = clock / 20 mod 1000: blue-violet, fading to white and back.
  const struct {
    u32 ms;
    u8 red, green, blue;
  } glows[] = {{0, 81, 22, 237},         {7999, 81, 22, 237},     {8020, 82, 24, 237},
               {9000, 168, 138, 246},    {10000, 255, 255, 255},  {17980, 255, 255, 255},
               {19000, 168, 138, 246},   {20000, 81, 22, 237},    {20000 * 7 + 9000, 168, 138, 246}};
  for (const auto& row : glows) {
    const u32 tint = LoadingScreen_GlowTint(row.ms);
    EXPECT_EQ(tint, 0xFF000000u | u32(row.blue) << 16 | u32(row.green) << 8 | row.red) << row.ms;
  }
}

TEST_F(LoadingScreen, CloseButtonAsksAndYesReturnsWithTheCataloguesEmptied) {
  AppHarness::LastSeen() = {};
  Command(APP_CLOSE_BUTTON_ID);
  Later(&AppHarness::AnswerYes, 1002);
  EXPECT_EQ(LoadingScreen_Run(), -2);
  EXPECT_EQ(AppHarness::LastSeen().boxStyle, 3u);
  EXPECT_FALSE(App_IsReturnToMenu()) << "the screen takes the flag";
  EXPECT_EQ(CharacterCatalog_GetAt(0), nullptr);
  EXPECT_EQ(SceneCatalog_GetAt(0), nullptr);
  EXPECT_EQ(ObjectCatalog_GetAt(0), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(LoaderProgress_Get().errorCode, 0) << "a stop is no failure";
  EXPECT_EQ(App_Services().gfx->GetImageGroup(), 1u) << "a stopped loading leaves the program's group";
}

TEST_F(LoadingScreen, CloseButtonAnsweredNoKeepsLoading) {
  Command(APP_CLOSE_BUTTON_ID);
  Later(&AppHarness::AnswerByClosing, 1002);
  EXPECT_EQ(LoadingScreen_Run(), 1);
  EXPECT_NE(ObjectCatalog_GetAt(0), nullptr);
  EmptyCatalogues();
}

// A failing pack ends the program once the thread has stopped: the code's low byte is the
// exit status and the report names the pack.
TEST_F(LoadingScreen, MissingOrBrokenPacksEndTheProgramWithTheirCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string variants = LoadingFixtures::Dir() + "/Variantes/";
  const struct {
    const char* variant;
    int status;
    const char* report;
  } rows[] = {
      {"sin_objetos", 256 - 1013 % 256,
       "Error 01013: No se han encontrado los objetos del juego\nArchivo: /.*/sin_objetos/Gfx/Objetos\n"},
      {"crc_malo", 256 - 1014 % 256,
       "Error 01014: No puedo cargar el escenario \"Roto.DAT\"\nArchivo: /.*/crc_malo/Gfx/Fondos/Roto.DAT\n"},
      {"linea_mala", 256 - 1014 % 256,
       "Error 01014: No puedo cargar el objeto \"Linea.DAT\"\nArchivo: /.*/linea_mala/Gfx/Objetos/Linea.DAT\n"},
      {"duplicado", 256 - 1014 % 256,
       "Error 01014: No puedo cargar el objeto \"(Bueno|Copia).DAT\"\nArchivo: /.*/duplicado/Gfx/Objetos/(Bueno|Copia).DAT\n"},
  };
  for (const auto& row : rows) {
    const std::string program = LoadingFixtures::ProgramIn(variants + row.variant);
    EXPECT_EXIT(
        {
          SLPlatformSetProgramFileName(program.c_str());
          LoadingScreen_Run();
        },
        ::testing::ExitedWithCode(row.status), row.report)
        << row.variant;
  }
}

// The objects are missing only once the characters and backgrounds were loaded.
TEST_F(LoadingScreen, EmptyObjectsFolderIsFoundAfterTheOtherKinds) {
  const std::string gfx = LoadingFixtures::Dir() + "/Variantes/sin_objetos/Gfx/";
  LoaderProgress block{};
  SLPlatformSetProgramFileName(LoadingFixtures::ProgramIn(LoadingFixtures::Dir() + "/Variantes/sin_objetos").c_str());
  Catalog_LoadAll(nullptr, reinterpret_cast<std::uintptr_t>(&block));
  SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
  EXPECT_EQ(App_Services().gfx->GetImageGroup(), 1u) << "a failed loading leaves the program's group";
  EXPECT_EQ(block.errorCode, -1013);
  EXPECT_STREQ(block.text, "No se han encontrado los objetos del juego");
  EXPECT_NE(CharacterCatalog_GetAt(0), nullptr);
  EXPECT_NE(SceneCatalog_GetAt(0), nullptr);
  EXPECT_EQ(block.progress.load(), 33u);
  EmptyCatalogues();
}

}  // namespace
