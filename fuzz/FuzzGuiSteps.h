// What the widget targets share: one manager with the default skin on a 320 x 240 memory
// device for every input (loading the skin's pictures would take longer than the steps),
// a test clock that only goes forward, across inputs too (the shared manager's timers
// count on it), and the modifier keys a step's operation byte holds down.
#pragma once

#include <cstdint>

#include "fuzz/FuzzProgram.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/MemoryGfxDevice.h"

namespace SLFuzzGui {

inline std::uint64_t& ClockMs() {
  static std::uint64_t clockMs = 100000;
  return clockMs;
}

// Starts an input: the widget classes registered, the clock where the last input left it.
// Answers the shared manager, or null when it could not start.
inline CSL_GS_GuiManager* BeginInput() {
  SLRegisterGuiClasses();
  SLPlatformSetTestClock(true, ClockMs() * 1000000u);
  static CMemoryGfxDevice* gfx = [] {
    auto* made = new CMemoryGfxDevice();
    const SL_GS_DisplayMode mode{1, 320, 240, 32, 1, 0, 0};
    made->Init(nullptr, nullptr, &mode);
    return made;
  }();
  static CSL_GS_GuiManager* shared = [] {
    auto* made = new CSL_GS_GuiManager();
    if (!made->Init() || !made->SetGfx(gfx) || !made->LoadDefaultSkin()) return static_cast<CSL_GS_GuiManager*>(nullptr);
    return made;
  }();
  return shared;
}

// Shift is down while bit 0x40 of the step's operation is set, Ctrl while bit 0x80 is.
inline void HoldModifiers(CSL_GS_GuiManager& manager, unsigned op) {
  u8* keys = manager.GetState()->keyState;
  keys[SL_GUI_KEY_LSHIFT] = (op & 0x40) ? SL_GUI_KEYF_DOWN : 0;
  keys[SL_GUI_KEY_RCTRL] = (op & 0x80) ? SL_GUI_KEYF_DOWN : 0;
}

// Ends a step: the modifiers come up; while `widget` lives, the clock moves on by the
// input's next byte in milliseconds and the manager runs its timers. False once the
// widget is gone.
inline bool EndStep(CSL_GS_GuiManager& manager, CSL_GS_GuiWindow* widget, SLFuzzProgram& input) {
  u8* keys = manager.GetState()->keyState;
  keys[SL_GUI_KEY_LSHIFT] = keys[SL_GUI_KEY_RCTRL] = 0;
  if (!manager.IsRegistered(widget)) return false;
  ClockMs() += input.Take();
  SLPlatformSetTestClock(true, ClockMs() * 1000000u);
  manager.Update(true);
  return manager.IsRegistered(widget);
}

}  // namespace SLFuzzGui
