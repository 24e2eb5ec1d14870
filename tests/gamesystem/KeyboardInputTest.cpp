// The keyboard device on the platform's input layer under SDL's dummy video driver:
// the scan-code map end to end, key bytes across polls, the character queue, focus
// changes and the device's lifecycle.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <map>

#include "foundation/SLError.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "platform/dinput8/DInput8.h"
#include "platform/user32/User32.h"
#include "tests/support/InputEvents.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestWindow.h"

namespace {

// Framework codes by set-1 scan code, written out from the key table.
const std::map<u32, i32> kExpected = {
    {0x0E, 8},   {0x0F, 9},   {0x1C, 13},  {0x01, 27},  {0x39, 32},  {0x28, 39},  {0x33, 44},  {0x0C, 45},
    {0x34, 46},  {0x35, 47},  {0x0B, 48},  {0x02, 49},  {0x03, 50},  {0x04, 51},  {0x05, 52},  {0x06, 53},
    {0x07, 54},  {0x08, 55},  {0x09, 56},  {0x0A, 57},  {0x92, 58},  {0x27, 59},  {0x0D, 61},  {0x91, 64},
    {0x1E, 65},  {0x30, 66},  {0x2E, 67},  {0x20, 68},  {0x12, 69},  {0x21, 70},  {0x22, 71},  {0x23, 72},
    {0x17, 73},  {0x24, 74},  {0x25, 75},  {0x26, 76},  {0x32, 77},  {0x31, 78},  {0x18, 79},  {0x19, 80},
    {0x10, 81},  {0x13, 82},  {0x1F, 83},  {0x14, 84},  {0x16, 85},  {0x2F, 86},  {0x11, 87},  {0x2D, 88},
    {0x15, 89},  {0x2C, 90},  {0x1A, 91},  {0x2B, 92},  {0x1B, 93},  {0x29, 96},  {0x56, 124}, {0xD2, 256},
    {0xD3, 257}, {0xC7, 258}, {0xCF, 259}, {0xC9, 260}, {0xD1, 261}, {0xCB, 272}, {0xC8, 273}, {0xCD, 274},
    {0xD0, 275}, {0xB7, 289}, {0x46, 290}, {0xC5, 291}, {0xDE, 304}, {0xDF, 305}, {0xE3, 306}, {0x2A, 320},
    {0x36, 321}, {0x1D, 322}, {0x9D, 323}, {0x38, 324}, {0xB8, 325}, {0x3A, 326}, {0xDB, 327}, {0xDC, 328},
    {0xDD, 329}, {0x52, 336}, {0x4F, 337}, {0x50, 338}, {0x51, 339}, {0x4B, 340}, {0x4C, 341}, {0x4D, 342},
    {0x47, 343}, {0x48, 344}, {0x49, 345}, {0x37, 346}, {0x4E, 347}, {0x53, 348}, {0x4A, 349}, {0xB5, 351},
    {0x9C, 352}, {0x8D, 353}, {0xB3, 354}, {0x45, 355}, {0x3B, 368}, {0x3C, 369}, {0x3D, 370}, {0x3E, 371},
    {0x3F, 372}, {0x40, 373}, {0x41, 374}, {0x42, 375}, {0x43, 376}, {0x44, 377}, {0x57, 378}, {0x58, 379},
    {0x64, 380}, {0x65, 381}, {0x66, 382}, {0x70, 400}, {0x79, 401}, {0x7B, 402}, {0x7D, 403}, {0x94, 404},
    {0x96, 405}, {0x73, 416}, {0x7E, 417}, {0xA2, 432}, {0x95, 433}, {0xA4, 433}, {0x90, 434}, {0x99, 435},
    {0xED, 436}, {0xAE, 448}, {0xB0, 449}, {0xA0, 450}, {0xA1, 480}, {0xEB, 496}, {0xEC, 512}, {0xB2, 528},
    {0xE5, 529}, {0xE6, 530}, {0xE7, 531}, {0xE8, 532}, {0xE9, 533}, {0xEA, 534},
};

class KeyboardInput : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    window = SLTestMakeWindow("teclado");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetForegroundWindow(window));
    ASSERT_TRUE(keyboard.Init(nullptr, window));
    Pump();  // the posted sync message acquires the device
  }
  void TearDown() override {
    keyboard.Shutdown();
    if (IsWindow(window)) DestroyWindow(window);
    Pump();
  }
  void Pump() { SLTestPump(); }
  void Tick() {
    Pump();
    ASSERT_TRUE(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));
  }
  void Key(SDL_Scancode code, bool down) { ASSERT_TRUE(SLTestPushKey(window, code, down)); }
  void Focus(bool gained) { ASSERT_TRUE(SLTestPushFocus(window, gained)); }
  u32 Byte(u32 code) { return keyboard.IsKeyDown(code) | (keyboard.HasKeyChanged(code) << 1); }

  HWND window = nullptr;
  CSL_GS_KeyboardInput_DirectX keyboard;
};

TEST_F(KeyboardInput, EveryScanCodeReachesItsKeyCodeAndNoOtherDoes) {
  for (u32 scan = 0; scan < 256; ++scan) {
    auto it = kExpected.find(scan);
    EXPECT_EQ(CSL_GS_KeyboardInput_DirectX::KeyCodeOfScanCode(scan), it == kExpected.end() ? -1 : it->second)
        << std::hex << scan;
  }
  // End to end through the display: every key SDL can name for a mapped scan code.
  int sent = 0;
  for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
    int scan = SLDInput8::ScanCodeOf(sdl);
    auto it = kExpected.find(u32(scan));
    if (it == kExpected.end()) continue;
    Key(SDL_Scancode(sdl), true);
    Tick();
    u8 state[SL_GS_KEY_COUNT];
    ASSERT_TRUE(keyboard.GetState(state, sizeof state));
    for (u32 code = 0; code < SL_GS_KEY_COUNT; ++code)
      ASSERT_EQ(state[code], code == u32(it->second) ? 3 : 0) << "sdl " << sdl << " code " << code;
    Tick();
    ASSERT_EQ(Byte(it->second), 1u) << "held, sdl " << sdl;  // also Stop, which has two scan codes
    Key(SDL_Scancode(sdl), false);
    Tick();
    ASSERT_EQ(Byte(it->second), 2u) << "sdl " << sdl;
    Tick();
    ++sent;
  }
  EXPECT_GT(sent, 120);
}

TEST_F(KeyboardInput, KeyBytesAcrossPollsAndFocus) {
  Key(SDL_SCANCODE_A, true);
  Tick();
  EXPECT_EQ(Byte('A'), 3u);
  Tick();
  EXPECT_EQ(Byte('A'), 1u);
  Key(SDL_SCANCODE_A, false);
  Tick();
  EXPECT_EQ(Byte('A'), 2u);
  Tick();
  EXPECT_EQ(Byte('A'), 0u);

  // Down and up between two polls: nothing seen.
  Key(SDL_SCANCODE_B, true);
  Key(SDL_SCANCODE_B, false);
  Tick();
  EXPECT_EQ(Byte('B'), 0u);

  // Focus leaves with a key held: it stays held until the device is acquired again.
  Key(SDL_SCANCODE_LSHIFT, true);
  Tick();
  Focus(false);
  Key(SDL_SCANCODE_LSHIFT, false);
  Tick();
  Tick();
  EXPECT_EQ(keyboard.IsKeyDown(320), 1u);  // the failed reads leave the bytes as they were
  Focus(true);
  Tick();
  EXPECT_EQ(Byte(320), 2u);

  // Out of range and bad sizes.
  EXPECT_EQ(keyboard.IsKeyDown(SL_GS_KEY_COUNT), 0u);
  EXPECT_EQ(SLGetLastError(false), 0x80001001u);
  EXPECT_EQ(keyboard.HasKeyChanged(0xFFFFFFFF), 0u);
  EXPECT_EQ(SLGetLastError(false), 0x80001001u);
  u8 big[600];
  std::fill(std::begin(big), std::end(big), u8(0xEE));
  EXPECT_TRUE(keyboard.GetState(big, sizeof big));
  EXPECT_EQ(big[543], 0);
  EXPECT_EQ(big[544], 0xEE);
  EXPECT_TRUE(keyboard.GetState(nullptr, 0));
}

TEST_F(KeyboardInput, TypedCharactersComeOnePerTickAsWindows1252) {
  SLUser32InjectKey(window, true, 'N', u'ñ');
  SLUser32InjectKey(window, true, 'E', u'€');
  SLUser32InjectKey(window, true, 'O', u'Ω');  // no 1252 byte: dropped
  SLUser32InjectKey(window, true, 'A', u'á');
  Tick();
  EXPECT_EQ(keyboard.GetNextChar(), 0xF1);
  EXPECT_EQ(keyboard.GetNextChar(), 0xF1);
  Tick();
  EXPECT_EQ(keyboard.GetNextChar(), 0x80);
  Tick();
  EXPECT_EQ(keyboard.GetNextChar(), 0xE1);
  Tick();
  EXPECT_EQ(keyboard.GetNextChar(), 0);

  // Nobody asks: the character goes at the second poll after it came.
  SLUser32InjectKey(window, true, 'X', u'x');
  Tick();
  Tick();
  EXPECT_EQ(keyboard.GetNextChar(), 0);
}

TEST_F(KeyboardInput, LifecycleAndItsErrors) {
  CSL_GS_KeyboardInput_DirectX other;
  EXPECT_EQ(other.IsKeyDown(65), 0u);
  EXPECT_EQ(SLGetLastError(false), 0x80010002u);
  EXPECT_EQ(other.GetNextChar(), 0);
  EXPECT_EQ(SLGetLastError(false), 0x80010002u);
  EXPECT_FALSE(other.Init(nullptr, nullptr));
  EXPECT_EQ(SLGetLastError(false), 0x80001001u);

  // A second Init fails and keeps the first.
  EXPECT_FALSE(keyboard.Init(nullptr, window));
  EXPECT_EQ(SLGetLastError(false), 0x80010003u);
  Key(SDL_SCANCODE_Z, true);
  Tick();
  EXPECT_EQ(Byte('Z'), 3u);
  Key(SDL_SCANCODE_Z, false);
  Tick();

  // The window's end shuts the keyboard down.
  DestroyWindow(window);
  Pump();
  EXPECT_FALSE(keyboard.GetState(nullptr, 0));
  EXPECT_EQ(SLGetLastError(false), 0x80010002u);
  EXPECT_TRUE(SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC));  // the poll is gone with it
}

}  // namespace
