// The keyboard and mouse of the GUI fuzz targets: plain state that the target writes
// from its input before each tick and that the GUI manager reads back as it would from
// a real device (bit 0 down, bit 1 changed since the last poll; buttons 1-4).
#pragma once

#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"

class SLFuzzKeyboard : public CSL_GS_BaseKeyboardInput {
 public:
  u8 state[SL_GS_KEY_COUNT] = {};
  SLWChar next = 0;
  bool Init(HINSTANCE, HWND) override { return true; }
  void Shutdown() override {}
  bool GetState(u8* buffer, u32 size) override {
    for (u32 i = 0; i < size && i < SL_GS_KEY_COUNT; ++i) buffer[i] = state[i];
    return true;
  }
  u32 IsKeyDown(u32 code) override { return code < SL_GS_KEY_COUNT ? state[code] & 1 : 0; }
  u32 HasKeyChanged(u32 code) override { return code < SL_GS_KEY_COUNT ? (state[code] >> 1) & 1 : 0; }
  SLWChar GetNextChar() override { return next; }
};

class SLFuzzMouse : public CSL_GS_BaseMouseInput {
 public:
  i32 x = 0, y = 0;
  u32 buttons = 0, changed = 0;
  bool Init(HINSTANCE, HWND) override { return true; }
  void Shutdown() override {}
  i32 GetX() override { return x; }
  i32 GetY() override { return y; }
  i32 GetDeltaX() override { return 0; }
  i32 GetDeltaY() override { return 0; }
  u32 GetButtonMask() override { return buttons; }
  u32 IsButtonDown(u32 b) override { return b >= 1 && b <= 4 ? (buttons >> (b - 1)) & 1 : 0; }
  u32 HasButtonChanged(u32 b) override { return b >= 1 && b <= 4 ? (changed >> (b - 1)) & 1 : 0; }
  bool SetPosition(i32 nx, i32 ny) override { return x = nx, y = ny, true; }
};
