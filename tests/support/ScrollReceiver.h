// A window that logs the scroll notifications it receives ("H2:5<4" is a horizontal
// code 2 moving from 4 to 5, "v" marks a source of 0, an internal bar) and answers them
// as the test says; a hook runs inside each, so that a test can destroy windows there.
#pragma once

#include <functional>
#include <string>

#include "gui/SLGuiManager.h"

class CScrollReceiver : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CScrollReceiver)
 public:
  static inline std::string s_log;
  // Codes answered 0, as a bit mask (bit n for code n).
  static inline u32 s_refused = 0;
  static inline std::function<void(u32 code)> s_hook;
  static void Reset() {
    s_log.clear();
    s_refused = 0;
    s_hook = nullptr;
  }
  bool OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32 now, i32 before) override {
    return Note(source ? "H" : "h", code, now, before);
  }
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 now, i32 before) override {
    return Note(source ? "V" : "v", code, now, before);
  }

 private:
  bool Note(const char* kind, u32 code, i32 now, i32 before) {
    s_log += std::string(kind) + std::to_string(code) + ":" + std::to_string(u32(now)) + "<" +
             std::to_string(u32(before)) + " ";
    if (s_hook) s_hook(code);
    return !((s_refused >> code) & 1);
  }
};
