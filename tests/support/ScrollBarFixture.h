// What the scroll-bar tests share: a manager with the default skin on the fake clock,
// scripted keyboard and mouse that each case replaces, and the receivers' log.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "gui/SLGuiManager.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/ScrollReceiver.h"
#include "tests/support/TestSupport.h"

class ScrollBarFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    CScrollReceiver::Reset();
    SetClock(1000);
    ASSERT_TRUE(m.Init());
  }
  void TearDown() override {
    m.Shutdown();
    SLPlatformSetTestClock(false);
    CScrollReceiver::Reset();
  }
  void SetClock(u64 ms) { SLPlatformSetTestClock(true, ms * 1000000ull); }
  // Devices playing `script` from its tick 0.
  void UseScript(const std::string& script) {
    // The manager lets go of the devices of an earlier case before they are replaced.
    m.SetKeyboard(nullptr);
    m.SetMouse(nullptr);
    keyboard = std::make_unique<CScriptedKeyboard>(script);
    mouse = std::make_unique<CScriptedMouse>(script);
    m.SetKeyboard(keyboard.get());
    m.SetMouse(mouse.get());
  }
  // Line `n` of the script at `ms` on the clock.
  void Tick(u32 n, u64 ms) {
    SetClock(ms);
    keyboard->Advance(n);
    mouse->Advance(n);
    ASSERT_TRUE(m.Update(false));
  }
  static std::string TakeLog() { return std::exchange(CScrollReceiver::s_log, std::string()); }

  CSL_GS_GuiManager m;
  std::unique_ptr<CScriptedKeyboard> keyboard;
  std::unique_ptr<CScriptedMouse> mouse;
};
