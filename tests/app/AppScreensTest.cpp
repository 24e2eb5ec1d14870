// The program's start-up and screens. Fatal start-up ends run the program itself on a
// copy of the sample content with one file missing or damaged; the screens run in this
// process on SDL's dummy drivers, driven by events queued before each loop starts (the
// loop takes one per tick, so a script of commands and deferred calls plays in order).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/AppEvents.h"
#include "app/AppGlobals.h"
#include "app/AppServices.h"
#include "app/CMyGuiManager.h"
#include "app/CommonUi.h"
#include "app/ModalStack.h"
#include "app/MsgBox.h"
#include "app/Screens.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLHtmlHelp.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
const std::string kContent = SL_BINARY_DIR "/content";
const std::string kProgram = SL_BINARY_DIR "/Zarandulvortequimbaplastelo";

// --- Fatal start-up ends, in the program itself ------------------------------------------

struct Outcome {
  int status;
  std::string output;
};

// Places the content and the program in a fresh folder (links: the files are large),
// lets `damage` change it, runs the program there with dummy drivers and returns its exit
// status and standard error. A file to damage is first replaced by a copy of its own.
template <class Damage>
Outcome RunDamaged(const std::string& file, Damage damage) {
  TempDir dir;
  for (const fs::directory_entry& top : fs::directory_iterator(kContent)) {
    const fs::path name = top.path().filename();
    if (name == "Zarandulvortequimbaplastelo") continue;
    if (!top.is_directory()) {
      fs::create_symlink(top.path(), dir.Host(name));
      continue;
    }
    fs::create_directory(dir.Host(name));
    for (const fs::directory_entry& entry : fs::directory_iterator(top.path()))
      fs::create_symlink(entry.path(), dir.Host(name / entry.path().filename()));
  }
  fs::create_hard_link(kProgram, dir.Host("Zarandulvortequimbaplastelo"));
  fs::remove(dir.Host(file));
  fs::copy_file(kContent + "/" + file, dir.Host(file));
  damage(dir);
  const std::string command = "cd '" + dir.Host() +
                              "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout -s KILL 60 "
                              "./Zarandulvortequimbaplastelo 2>&1 >/dev/null";
  Outcome outcome{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) outcome.output.append(buffer, n);
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(AppStartup, MissingOrBrokenFilesEndWithTheirCodeAndText) {
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "the content fixture has not run";
  struct Row {
    const char* file;
    bool truncate;
    int status;
    const char* text;
  } rows[] = {
      {"Gfx/Gfx.DAT", false, 256 - 106 % 256, "Error 00106: GfxDataStgInit error: "},
      {"Sfx/Sfx.DAT", false, 256 - 107 % 256, "Error 00107: SfxDataStgInit error: "},
      {"Gfx/Skin.DAT", false, 256 - 109 % 256, "Error 00109: GuiLoadSkin error: "},
      {"Gfx/Skin.DAT", true, 256 - 109 % 256, "Error 00109: GuiLoadSkin error: "},
      {"Gfx/Letra_8.FNT", false, 256 - 301 % 256, "Error 00301: No puedo cargar im\xc3\xa1genes"},
      {"Gfx/ComicSans_11.FNT", true, 256 - 301 % 256, "Error 00301: No puedo cargar im\xc3\xa1genes"},
  };
  for (const Row& row : rows) {
    Outcome outcome = RunDamaged(row.file, [&](const TempDir& dir) {
      if (row.truncate)
        fs::resize_file(dir.Host(row.file), 9);
      else
        fs::remove(dir.Host(row.file));
    });
    EXPECT_EQ(outcome.status, row.status) << row.file << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.text), std::string::npos) << row.file << "\n" << outcome.output;
  }
}

// --- Screens in this process ---------------------------------------------------------------

using AppScreens = AppScreenTest;
using AppHarness::AnswerByClosing;
using AppHarness::AnswerYes;
using AppHarness::PostClose;

TEST_F(AppScreens, WelcomeAndMenuAnswerTheirButtons) {
  EXPECT_NE(AppCloseButton, nullptr);
  EXPECT_EQ(AppCloseButton->GetWindowRect().x, 768);
  EXPECT_EQ(AppCloseButton->GetWindowRect().y, 10);
  Command(APP_WELCOME_CONTINUE_ID);
  EXPECT_EQ(WelcomeScreen_Run(), 1);
  Command(APP_MENU_HELP_ID);
  Command(APP_MENU_BUILD_ID);
  EXPECT_EQ(MainMenu_Run(), 2);
  EXPECT_NE(std::string(App_Services().help->GetLastTopicString()).find("contenido.htm"), std::string::npos);
  Command(123456);  // unknown ids are dropped
  Command(APP_MENU_PLAY_ID);
  EXPECT_EQ(MainMenu_Run(), 1);
  EXPECT_EQ(App_GuiManager().GetWindowCount(), 1u);  // only the close button outlives the screens
}

TEST_F(AppScreens, ExitPromptEndsTheScreenOnlyWithYes) {
  // "No" (the close answer of style 3) leaves the menu running; the next command ends it.
  Command(APP_CLOSE_BUTTON_ID);
  Later(&AnswerByClosing, 1001);
  Command(APP_MENU_PLAY_ID);
  EXPECT_EQ(MainMenu_Run(), 1);
  EXPECT_FALSE(App_IsQuitRequested());
  EXPECT_EQ(ModalStack_GetDepth(), 0u);

  Command(APP_CLOSE_BUTTON_ID);
  Later(&AnswerYes, 1001);
  EXPECT_EQ(WelcomeScreen_Run(), -1);
  EXPECT_EQ(AppHarness::LastSeen().boxStyle, 3u);
  EXPECT_FALSE(AppHarness::LastSeen().closeEnabled);  // the prompt's level disables the close button
  EXPECT_EQ(AppHarness::LastSeen().depth, 1u);
  EXPECT_TRUE(AppCloseButton->IsEnabled());
  // The flag stays: every later screen ends on its first pass.
  EXPECT_EQ(MainMenu_Run(), -1);
}

TEST_F(AppScreens, CloseRequestOpensThePromptAndEndsTheClosingPages) {
  Later(&PostClose);
  Later(&AnswerYes, 1001);
  EXPECT_EQ(MainMenu_Run(), -1);
  EXPECT_EQ(AppHarness::LastSeen().boxStyle, 3u);
  App_ResetFlagsForTest();
  PostClose(0, 0);  // the closing pages take no events: the request comes from the window
  EXPECT_EQ(ExitScreens_Run(), 1);
}

TEST_F(AppScreens, IntroEndsByItselfOrOnCloseAndRestoresTheMode) {
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  EXPECT_EQ(IntroVideo_Play(), 1);
  EXPECT_EQ(gfx->GetWidth(), 800u);
  EXPECT_EQ(gfx->GetHeight(), 600u);
  PostClose(0, 0);
  EXPECT_EQ(IntroVideo_Play(), -1);
  EXPECT_EQ(gfx->GetWidth(), 800u);
}

TEST_F(AppScreens, MessageBoxLaysOutItsLinesAndAnswersOneTickLater) {
  CMyMsgBoxDialog* box = MsgBox_ShowWithCallback(0, 3, nullptr, 0, "uno\n\ndos", "Prueba", 77,
                                                 AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
  ASSERT_NE(box, nullptr);
  CSL_GS_GuiManager& m = App_GuiManager();
  ASSERT_NE(m.FindChildById(box, 113), nullptr);
  EXPECT_STREQ(m.FindChildById(box, 112)->GetText(), "");
  EXPECT_STREQ(m.FindChildById(box, 113)->GetText(), "dos");
  EXPECT_EQ(m.FindChildById(box, 114), nullptr);
  EXPECT_NE(m.FindChildById(box, MSGBOX_YES), nullptr);
  EXPECT_NE(m.FindChildById(box, MSGBOX_NO), nullptr);
  EXPECT_TRUE(AppCloseButton->IsEnabled());  // begun with 0
  box->OnClose();                            // style 3: "No"
  EXPECT_FALSE(m.IsRegistered(box));
  AppEvent event;
  ASSERT_TRUE(AppEventQueue_Take(&event));
  EXPECT_EQ(event.type, APP_EVENT_DEFERRED_CALL);
  EXPECT_EQ(reinterpret_cast<DeferredCall*>(event.data)->answer, MSGBOX_NO);
  AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
  SL_EXPECT_FAIL(MsgBox_Show("t", "x", 7, 1, nullptr, nullptr), SL_E_INVALID_ARG);
  // What a close request answers for each style (none outside 1..6).
  const u32 closeAnswers[8] = {0, MSGBOX_ACCEPT, MSGBOX_CANCEL, MSGBOX_NO, MSGBOX_CANCEL, MSGBOX_ABORT, MSGBOX_ABORT, 0};
  for (u32 style = 0; style < 8; ++style) EXPECT_EQ(MsgBox_CloseAnswer(style), closeAnswers[style]) << style;
}

}  // namespace
