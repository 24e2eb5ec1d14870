// Feeds the keyboard, mouse and joystick devices streams of display events decoded from
// the input (keys, typed text in any bytes, motion, buttons, wheel, focus changes and
// virtual-controller changes), interleaved with logic ticks and with queries and settings
// using any numbers. After every step: every key and button byte holds only its two
// bits, the pointer stays inside its area, every queued character is a Windows-1252 unit,
// controller values stay in their ranges, and an out-of-range number is refused.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLJoystickInput.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "platform/user32/User32.h"
#include "platform/user32/WindowSystem.h"
#include "tests/support/InputEvents.h"
#include "tests/support/TestWindow.h"

namespace {

using Input = SLFuzzProgram;

// SLFuzzCheck that names the failed line: many checks share one entry point here.
void Check(bool condition, int line = __builtin_LINE()) {
  if (!condition) std::fprintf(stderr, "check failed at line %d (error 0x%x)\n", line, SLGetLastError());
  SLFuzzCheck(condition);
}

struct World {
  HWND window = nullptr;
  Uint32 windowId = 0;
  SDL_Joystick* pad = nullptr;  // our handle on the virtual controller, to move it
};

World& Setup() {
  static World world = [] {
    World w;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    w.window = SLTestMakeWindow("entrada");
    Check(w.window != nullptr);
    w.windowId = SDL_GetWindowID(static_cast<SDL_Window*>(SLUser32::NativeWindow(w.window)));
    Check(SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0);
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 8, 12, 4);
    Check(index >= 0);
    w.pad = SDL_JoystickOpen(index);
    Check(w.pad != nullptr);
    return w;
  }();
  return world;
}

void Pump() { SLTestPump(); }

u32 Take32(Input& in) {
  u32 v = in.Take();
  v |= in.Take() << 8;
  v |= in.Take() << 16;
  return v | (in.Take() << 24);
}

// A number for a query: mostly near the valid range, sometimes anything.
u32 AnyNumber(Input& in) {
  u32 kind = in.Take();
  if (kind & 0x80) return Take32(in);
  return (kind & 0x7F) - 8;  // -8 .. 119, as u32
}

void Push(SDL_Event& event) { Check(SDL_PushEvent(&event) == 1); }

struct Devices {
  CSL_GS_KeyboardInput_DirectX keyboard;
  CSL_GS_MouseInput_DirectX mouse;
  CSL_GS_JoystickInput_DirectX joystick;
};

// A getter's answer, bit 0 or 1; a number out of range gives 0 and the argument error.
void CheckBit(u32 answer, bool inRange) {
  Check(answer <= 1);
  Check(SLGetLastError() == (inRange ? 0u : 0x80001001u));
  if (!inRange) Check(answer == 0);
}

// Off while an area set by the program waits for the next tick or SetPosition to hold the pointer.
bool g_checkPointer = true;

void CheckInvariants(Devices& d) {
  u8 keys[SL_GS_KEY_COUNT + 16];
  std::memset(keys, 0xEE, sizeof keys);
  Check(d.keyboard.GetState(keys, sizeof keys));
  for (u32 i = 0; i < SL_GS_KEY_COUNT; ++i) Check((keys[i] & ~3u) == 0);
  for (u32 i = SL_GS_KEY_COUNT; i < sizeof keys; ++i) Check(keys[i] == 0xEE);

  i32 left, top, right, bottom;
  d.mouse.GetArea(&left, &top, &right, &bottom);
  Check(left <= right && top <= bottom);
  i32 x = d.mouse.GetX(), y = d.mouse.GetY();
  if (g_checkPointer) {
    Check(x >= left && (x < right || x == left));
    Check(y >= top && (y < bottom || y == top));
  }
  Check(d.mouse.GetButtonMask() < 16);

  for (u32 device = 0; device < SL_GS_JOYSTICK_DEVICES; ++device) {
    i32 axes[6] = {d.joystick.GetX(device),         d.joystick.GetY(device),         d.joystick.GetZ(device),
                   d.joystick.GetRotationX(device), d.joystick.GetRotationY(device), d.joystick.GetRotationZ(device)};
    for (i32 a : axes) Check(a >= -1000 && a <= 1000);
    for (u32 s = 1; s <= 2; ++s) {
      i32 v = d.joystick.GetSlider(device, s);
      Check(v >= -1000 && v <= 1000);
    }
    for (u32 h = 1; h <= 4; ++h) {
      i32 v = d.joystick.GetPOV(device, h);
      Check(v == -1 || (v >= 0 && v <= 359999));
    }
  }
}

void Query(Devices& d, Input& in) {
  u32 n = AnyNumber(in), m = AnyNumber(in);
  switch (in.Take() % 9) {
    case 0: CheckBit(d.keyboard.IsKeyDown(n), n < SL_GS_KEY_COUNT); break;
    case 1: CheckBit(d.keyboard.HasKeyChanged(n), n < SL_GS_KEY_COUNT); break;
    case 2: CheckBit(d.mouse.IsButtonDown(n), n >= 1 && n <= 4); break;
    case 3: CheckBit(d.mouse.HasButtonChanged(n), n >= 1 && n <= 4); break;
    case 4: {
      u32 answer = d.joystick.IsButtonDown(n, m);
      u32 code = SLGetLastError();
      Check(answer <= 1);
      if (n >= SL_GS_JOYSTICK_DEVICES || m < 1 || m > 32) Check(answer == 0 && code != 0);
      break;
    }
    case 5: {
      i32 answer = d.joystick.GetSlider(n, m);
      if (n >= SL_GS_JOYSTICK_DEVICES || m < 1 || m > 2) Check(answer == 0 && SLGetLastError() != 0);
      break;
    }
    case 6: {
      i32 answer = d.joystick.GetPOV(n, m);
      if (n >= SL_GS_JOYSTICK_DEVICES || m < 1 || m > 4) Check(answer == -1 && SLGetLastError() != 0);
      break;
    }
    case 7: {
      SL_GS_JoystickDeviceInfo info;
      bool ok = d.joystick.GetDeviceInfo(n, (m & 1) ? nullptr : &info);
      if (ok) Check(info.axes <= 8 && info.buttons <= 32 && info.hats <= 4 && info.name[63] == 0);
      if (n >= SL_GS_JOYSTICK_DEVICES) Check(!ok && SLGetLastError() == 0x80001001u);
      break;
    }
    case 8: {
      u8 keys[SL_GS_KEY_COUNT];
      u32 size = n % (SL_GS_KEY_COUNT + 1);
      Check(d.keyboard.GetState(size ? keys : nullptr, size));
      break;
    }
  }
}

void Step(World& w, Devices& d, Input& in) {
  SDL_Event event{};
  switch (in.Take() % 12) {
    case 0:
    case 1: {  // a key, by any scan code SDL can carry
      event.type = (in.Take() & 1) ? SDL_KEYDOWN : SDL_KEYUP;
      event.key.windowID = w.windowId;
      event.key.keysym.scancode = SDL_Scancode(in.Take() | ((in.Take() & 1) << 8));
      event.key.keysym.sym = SDL_GetKeyFromScancode(event.key.keysym.scancode);
      Push(event);
      break;
    }
    case 2: {  // typed text: any bytes, also not UTF-8 or outside the 1252 set
      event.type = SDL_TEXTINPUT;
      event.text.windowID = w.windowId;
      u32 length = in.Take() % sizeof event.text.text;
      for (u32 i = 0; i < length; ++i) event.text.text[i] = char(in.Take());
      Push(event);
      break;
    }
    case 3: {  // motion, up to any relative size
      event.type = SDL_MOUSEMOTION;
      event.motion.windowID = w.windowId;
      bool large = in.Take() & 1;
      event.motion.xrel = large ? i32(Take32(in)) : i8(in.Take());
      event.motion.yrel = large ? i32(Take32(in)) : i8(in.Take());
      Push(event);
      break;
    }
    case 4: {  // a button of any number, or the wheel
      u32 b = in.Take();
      if (b & 0x80) {
        event.type = SDL_MOUSEWHEEL;
        event.wheel.windowID = w.windowId;
        event.wheel.y = i8(in.Take());
      } else {
        event.type = (b & 1) ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.windowID = w.windowId;
        event.button.button = Uint8((b >> 1) % 8);
      }
      Push(event);
      break;
    }
    case 5: {  // focus comes and goes
      event.type = SDL_WINDOWEVENT;
      event.window.windowID = w.windowId;
      event.window.event = (in.Take() & 1) ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
      Push(event);
      break;
    }
    case 6: {  // the controller moves
      u32 what = in.Take(), index = in.Take(), value = in.Take() | (in.Take() << 8);
      if (what % 3 == 0) SDL_JoystickSetVirtualAxis(w.pad, int(index % 8), Sint16(value));
      else if (what % 3 == 1) SDL_JoystickSetVirtualHat(w.pad, int(index % 4), Uint8(value & 0x0F));
      else SDL_JoystickSetVirtualButton(w.pad, int(index % 12), Uint8(value & 1));
      break;
    }
    case 7:
    case 8: {  // a logic tick; the character of the tick, asked or not
      Pump();
      Check(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));
      g_checkPointer = true;
      if (in.Take() & 1) {
        SLWChar c = d.keyboard.GetNextChar();
        Check(c < 0x100);
      }
      CheckInvariants(d);
      break;
    }
    case 9: Query(d, in); break;
    case 10: {  // the program moves the pointer or changes its area
      i32 a = i32(Take32(in)), b = i32(Take32(in));
      g_checkPointer = in.Take() & 1;
      if (g_checkPointer) Check(d.mouse.SetPosition(a, b));
      else Check(d.mouse.SetArea(a, b, i32(Take32(in)), i32(Take32(in))));
      CheckInvariants(d);
      break;
    }
    case 11: {  // the desktop's mouse settings change; read again at the next activation
      u32 t = in.Take();
      SLUser32SetMouseParameters(int(t % 16), int(in.Take() % 32), int(in.Take() % 3), t & 0x80);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  World& w = Setup();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SetForegroundWindow(w.window);
  SLUser32SetMouseParameters(6, 10, 0, false);
  {
    Devices d;
    Check(d.keyboard.Init(nullptr, w.window));
    Check(d.mouse.Init(nullptr, w.window));
    Check(d.mouse.SetArea(0, 0, 800, 600));
    g_checkPointer = true;
    Check(d.joystick.Init(nullptr, w.window));
    Pump();
    Input in{data, size};
    while (in.at < in.size) Step(w, d, in);
    Pump();
    Check(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));
    g_checkPointer = true;
    CheckInvariants(d);
  }
  // Detached window hooks leave the window's chain when a message next passes them.
  SendMessageA(w.window, WM_NULL, 0, 0);
  Pump();
  return 0;
}
