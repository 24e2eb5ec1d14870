// The program's screens in a test process: App_Init on SDL's dummy drivers with the
// build tree's content/ as the program folder, and a script of events queued before a
// screen's loop starts (the loop takes one per tick, so commands and deferred calls play
// in order). Deferred calls are the way to act inside a running loop: answer a box, read
// a window, post a close request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/services/AppEvents.h"
#include "gui/SLGuiWindow.h"

namespace AppHarness {

// Where the content fixture writes the sample set and the program.
const std::string& ContentDir();
const std::string& ProgramPath();

// Queues a command event / a deferred call of `function` with `argument`.
void Command(u32 id);
void Later(AppDeferredFunction function, std::uintptr_t argument = 0);

// A top-level window of the GUI manager with this id, or null.
CSL_GS_GuiWindow* TopLevelWithId(u32 id);

// Deferred calls for scripts: answer the box whose id is `argument` with "&Si", or with
// its close answer, as soon as it is open; post a close request to the main window.
void AnswerYes(u32, std::uintptr_t id);
void AnswerByClosing(u32, std::uintptr_t id);
void PostClose(u32, std::uintptr_t);

// What AnswerYes saw of the box it answered.
struct Seen {
  u32 boxStyle = 0;
  bool closeEnabled = true;
  u32 depth = 0;
};
Seen& LastSeen();

// Drops every queued event (their deferred records are freed).
void DrainQueue();

// The GUI drawn on a screen cleared to `background` and captured: the width x height
// pixels at (x, y) as SLTestScreenCrop gives them.
std::string GuiCrop(u32 background, i32 x, i32 y, i32 width, i32 height);

}  // namespace AppHarness

// Fixture: the program is started once per suite (App_Init, common pictures) and its
// flags and queue are cleared around each test.
class AppScreenTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  static void Command(u32 id) { AppHarness::Command(id); }
  static void Later(AppDeferredFunction function, std::uintptr_t argument = 0) {
    AppHarness::Later(function, argument);
  }
  static CSL_GS_GuiWindow* TopLevelWithId(u32 id) { return AppHarness::TopLevelWithId(id); }
};
