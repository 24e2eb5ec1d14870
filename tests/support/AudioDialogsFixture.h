// The program started for the audio dialogs' tests, on a private copy of the content's
// sound folders (the tests add and remove recordings) with the rest of the content
// linked in, and a disk tree that drive C: stands for while the MP3 finder walks it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/dialogs/AudioChooser.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLIniFile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TempDir.h"

namespace AudioTest {

namespace fs = std::filesystem;

// What the chooser handed to its completion, in order ("<null>" for a null name).
struct Chosen {
  std::string name;
  u32 kind;
};
inline std::vector<Chosen>& Results() {
  static std::vector<Chosen> results;
  return results;
}
inline void OnChosen(const char* name, u32 kind) { Results().push_back({name ? name : "<null>", kind}); }

inline std::string& ProgramDir() {
  static std::string dir;
  return dir;
}
// A host path inside the private program folder.
inline std::string Host(const std::string& relative) { return ProgramDir() + "/" + relative; }

// The recorders' temporaries ("*.TMP") left in the recordings folder.
inline std::vector<std::string> RecorderTemporaries() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Host("Sfx/Grabadas"))) {
    std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".TMP") == 0) names.push_back(name);
  }
  return names;
}

// Runs GUI ticks (timers included) until `done` or `ms` milliseconds have passed.
inline bool PumpUntil(const std::function<bool()>& done, u32 ms = 20000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    App_GuiManager().Update(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline CSL_GS_GuiWindow* Child(CSL_GS_GuiWindow* dialog, u32 id) {
  return dialog ? App_GuiManager().FindChildById(dialog, id) : nullptr;
}
inline bool Visible(CSL_GS_GuiWindow* dialog, u32 id) {
  CSL_GS_GuiWindow* w = Child(dialog, id);
  return w && (w->GetStyle() & SL_GUI_WS_VISIBLE);
}
inline bool Enabled(CSL_GS_GuiWindow* dialog, u32 id) {
  CSL_GS_GuiWindow* w = Child(dialog, id);
  return w && w->IsEnabled();
}

inline std::string Setting(const char* key) {
  char value[4096];
  u32 size = sizeof value;
  if (!App_Services().settings->GetStringA("BuscaMP3", key, value, &size, nullptr)) return "<none>";
  return value;
}

// Makes a raw file of samples (16-bit mono at 22,050 Hz) what the microphone hears, through
// SDL's disk driver; the program's own sound goes nowhere. Call before the program starts.
// The file lives in a folder of this process until it ends: every test runs in a process
// of its own, and one writing the file must not cut short the file another one is reading.
inline void UseDiskMicrophone(const std::string& samples, const std::string& fileName) {
  static const TempDir folder;
  const std::string in = folder.Host(fileName);
  std::ofstream(in, std::ios::binary) << samples;
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
}

}  // namespace AudioTest

// A child test started by `SharedProgramEnvironment` works on its parent's program folder
// (two copies of the program on one family's folder) instead of a private one.
class AudioDialogsTest : public ::testing::Test {
 protected:
  static std::string SharedProgramEnvironment() { return "SL_SHARED_PROGRAM='" + AudioTest::ProgramDir() + "'"; }

  static void SetUpTestSuite() {
    namespace fs = std::filesystem;
    if (const char* shared = std::getenv("SL_SHARED_PROGRAM")) {
      s_root.clear();
      StartProgram(shared);
      return;
    }
    char pattern[] = "/tmp/slaudioXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    s_root = pattern;
    const fs::path content = AppHarness::ContentDir();
    const fs::path program = s_root + "/programa";
    fs::create_directories(program / "Sfx");
    for (const auto& entry : fs::directory_iterator(content)) {
      const std::string name = entry.path().filename().string();
      if (name == "Sfx" || name.ends_with(".ini")) continue;
      fs::create_symlink(entry.path(), program / name);
    }
    for (const auto& entry : fs::directory_iterator(content / "Sfx")) {
      if (entry.is_directory())
        fs::copy(entry.path(), program / "Sfx" / entry.path().filename(), fs::copy_options::recursive);
      else
        fs::create_symlink(entry.path(), program / "Sfx" / entry.path().filename());
    }
    StartProgram(program);
  }
  static void StartProgram(const std::filesystem::path& program) {
    AudioTest::ProgramDir() = program.string();
    SLPlatformSetProgramFileName((program / "Zarandulvortequimbaplastelo").c_str());
    App_Init();
    CommonUi_Load();
  }
  static void TearDownTestSuite() {
    CommonUi_Free();
    App_Shutdown();
    SLPlatformSetProgramFileName(nullptr);
    SLPlatformSetDriveRoot(nullptr);
    SLPlatformSetMountsTable(nullptr);
    std::error_code ignored;
    if (!s_root.empty()) std::filesystem::remove_all(s_root, ignored);
  }
  void SetUp() override {
    App_ResetFlagsForTest();
    AppHarness::DrainQueue();
    AudioTest::Results().clear();
  }
  void TearDown() override {
    // Every dialog a test left open goes, with its modal level.
    for (u32 id : {1030u, 1029u, 1028u, 1007u}) {
      while (CSL_GS_GuiWindow* w = AppHarness::TopLevelWithId(id)) {
        App_GuiManager().DestroyWindow(w);
        ModalStack_End();
      }
    }
    AppHarness::DrainQueue();
    App_ResetFlagsForTest();
  }

  static std::string s_root;
};
inline std::string AudioDialogsTest::s_root;
