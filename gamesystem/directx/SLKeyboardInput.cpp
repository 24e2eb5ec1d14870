#include "gamesystem/directx/SLKeyboardInput.h"

#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLInputDirectX.h"

using SLInternals::CSL_GS_InputDirectXInternal;

namespace SLInternals {

struct SLKeyboardState {
  CSL_GS_KeyboardInput_DirectX* owner;
  HINSTANCE instance;
  HWND window;
  CSLWndProcHook* hook;
  IDirectInput8A* input;
  IDirectInputDevice8A* device;
  u8 keys[SL_GS_KEY_COUNT];
  TSLArray<SLWChar>* queue;
  u32 delivered;
  u32 syncMessage;
  u32 phaseHook;
  bool phaseHookAdded;
};

}  // namespace SLInternals

using SLInternals::SLKeyboardState;

namespace {

const GUID kSysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

constexpr u32 kFirstScanCode = 1, kLastScanCode = 239;

struct ScanMap {
  i16 code[256];
  bool first[256];  // the lowest scan code of its key code: where the key's byte is updated
  constexpr ScanMap() : code{}, first{} {
    for (i16& c : code) c = -1;
    const u8 digits[10] = {0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    for (int i = 0; i < 10; ++i) code[digits[i]] = i16(48 + i);
    const u8 letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                            0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    for (int i = 0; i < 26; ++i) code[letters[i]] = i16(65 + i);
    const u8 keypad[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
    for (int i = 0; i < 10; ++i) code[keypad[i]] = i16(336 + i);
    for (int i = 0; i < 10; ++i) code[0x3B + i] = i16(368 + i);  // F1-F10
    for (int i = 0; i < 6; ++i) code[0xE5 + i] = i16(529 + i);   // web search .. back
    const u16 pairs[][2] = {
        {0x0E, 8},   {0x0F, 9},   {0x1C, 13},  {0x01, 27},  {0x39, 32},  {0x28, 39},  {0x33, 44},  {0x0C, 45},
        {0x34, 46},  {0x35, 47},  {0x92, 58},  {0x27, 59},  {0x0D, 61},  {0x91, 64},  {0x1A, 91},  {0x2B, 92},
        {0x1B, 93},  {0x29, 96},  {0x56, 124}, {0xD2, 256}, {0xD3, 257}, {0xC7, 258}, {0xCF, 259}, {0xC9, 260},
        {0xD1, 261}, {0xCB, 272}, {0xC8, 273}, {0xCD, 274}, {0xD0, 275}, {0xB7, 289}, {0x46, 290}, {0xC5, 291},
        {0xDE, 304}, {0xDF, 305}, {0xE3, 306}, {0x2A, 320}, {0x36, 321}, {0x1D, 322}, {0x9D, 323}, {0x38, 324},
        {0xB8, 325}, {0x3A, 326}, {0xDB, 327}, {0xDC, 328}, {0xDD, 329}, {0x37, 346}, {0x4E, 347}, {0x53, 348},
        {0x4A, 349}, {0xB5, 351}, {0x9C, 352}, {0x8D, 353}, {0xB3, 354}, {0x45, 355}, {0x57, 378}, {0x58, 379},
        {0x64, 380}, {0x65, 381}, {0x66, 382}, {0x70, 400}, {0x79, 401}, {0x7B, 402}, {0x7D, 403}, {0x94, 404},
        {0x96, 405}, {0x73, 416}, {0x7E, 417}, {0xA2, 432}, {0x95, 433}, {0xA4, 433}, {0x90, 434}, {0x99, 435},
        {0xED, 436}, {0xAE, 448}, {0xB0, 449}, {0xA0, 450}, {0xA1, 480}, {0xEB, 496}, {0xEC, 512}, {0xB2, 528},
    };
    for (const auto& pair : pairs) code[pair[0]] = i16(pair[1]);
    for (u32 scan = kFirstScanCode; scan <= kLastScanCode; ++scan) {
      first[scan] = code[scan] >= 0;
      for (u32 earlier = kFirstScanCode; earlier < scan && first[scan]; ++earlier)
        if (code[earlier] == code[scan]) first[scan] = false;
    }
  }
};
constexpr ScanMap kScanMap;

}  // namespace

SL_IMPLEMENT_CLASS(CSL_GS_BaseKeyboardInput, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_KeyboardInput_DirectX, CSL_GS_BaseKeyboardInput)

i32 CSL_GS_KeyboardInput_DirectX::KeyCodeOfScanCode(u32 scanCode) {
  return (scanCode >= kFirstScanCode && scanCode <= kLastScanCode) ? kScanMap.code[scanCode] : -1;
}

CSL_GS_KeyboardInput_DirectX::CSL_GS_KeyboardInput_DirectX() : m_state(nullptr) {}

CSL_GS_KeyboardInput_DirectX::~CSL_GS_KeyboardInput_DirectX() {
  SLErrorKeeper keeper;
  Shutdown();
}

bool CSL_GS_KeyboardInput_DirectX::Init(HINSTANCE instance, HWND window) {
  SLKeyboardState* state = SLInternals::SL_GS_BeginInput(m_state, this, this, instance, window);
  if (!state) return false;
  auto fail = [this](u32 code) { return SLInternals::SL_GS_AbortInit(this, code); };
  state->queue = new (std::nothrow) TSLArray<SLWChar>();
  if (!state->queue) return fail(SL_E_OUT_OF_MEMORY);
  IDirectInputDevice8A* device = nullptr;
  if (state->input->CreateDevice(kSysKeyboard, &device, nullptr) < 0 || !device)
    return fail(SL_E_SETUP_FAILED);
  state->device = device;
  if (device->SetDataFormat(CSL_GS_InputDirectXInternal::GetInstance()->KeyboardFormat()) < 0 ||
      device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY) < 0)
    return fail(SL_E_SETUP_FAILED);
  if (!SLInternals::SL_GS_StartPolling(state, "SL_GS_Input_DirectX_SYNCACQUIRE_KEYB", SL_GS_PHASE_PRIORITY_KEYBOARD,
                                       &Poll))
    return fail(SLGetLastError());
  return SLSucceed(true);
}

void CSL_GS_KeyboardInput_DirectX::Shutdown() {
  SLInternals::SL_GS_EndInput(this, m_state, [](SLKeyboardState* state) {
    if (state->device) {
      state->device->Unacquire();
      state->device->Release();
    }
    if (state->queue) {
      state->queue->Free();
      delete state->queue;
    }
  });
}

bool CSL_GS_KeyboardInput_DirectX::GetState(u8* buffer, u32 size) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (size > SL_GS_KEY_COUNT) size = SL_GS_KEY_COUNT;
  if (size && !buffer) return SLFail(SL_E_NULL_OUTPUT, false);
  if (size) SLMemCopy(buffer, m_state->keys, size);
  return SLSucceed(true);
}

u32 CSL_GS_KeyboardInput_DirectX::IsKeyDown(u32 code) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  if (code >= SL_GS_KEY_COUNT) return SLFail(SL_E_INVALID_ARG, 0u);
  return SLSucceed(u32(m_state->keys[code] & 1));
}

u32 CSL_GS_KeyboardInput_DirectX::HasKeyChanged(u32 code) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  if (code >= SL_GS_KEY_COUNT) return SLFail(SL_E_INVALID_ARG, 0u);
  return SLSucceed(u32((m_state->keys[code] >> 1) & 1));
}

SLWChar CSL_GS_KeyboardInput_DirectX::GetNextChar() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, SLWChar(0));
  m_state->delivered = 1;
  TSLArray<SLWChar>& queue = *m_state->queue;
  return SLSucceed(queue.GetCount() ? queue[0] : SLWChar(0));
}

void CSL_GS_KeyboardInput_DirectX::Poll(std::uintptr_t argument) {
  auto* state = reinterpret_cast<SLKeyboardState*>(argument);
  SLErrorKeeper keeper;
  TSLArray<SLWChar>& queue = *state->queue;
  if (queue.GetCount()) {
    if (state->delivered) queue.RemoveAt(0);
    else state->delivered = 1;
  }
  u8 snapshot[256];
  HRESULT result = state->device->GetDeviceState(256, snapshot);
  if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) {
    state->device->Acquire();
    result = state->device->GetDeviceState(256, snapshot);
  }
  if (result < 0) return;
  // A key is down while any of its scan codes is: Stop has two, and holding one must not
  // read as a fresh press at every poll because the other one is up.
  bool down[SL_GS_KEY_COUNT] = {};
  for (u32 scan = kFirstScanCode; scan <= kLastScanCode; ++scan)
    if (kScanMap.code[scan] >= 0 && (snapshot[scan] & 0x80)) down[kScanMap.code[scan]] = true;
  for (u32 scan = kFirstScanCode; scan <= kLastScanCode; ++scan) {
    i16 code = kScanMap.code[scan];
    if (kScanMap.first[scan]) SLInternals::SL_GS_UpdateStateByte(state->keys[code], down[code]);
  }
}

LRESULT CSL_GS_KeyboardInput_DirectX::OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam,
                                                       LPARAM lParam) {
  SLKeyboardState* state = m_state;
  if (!state) return hook->CallPrevious(message, wParam, lParam);
  IDirectInputDevice8A* device = state->device;
  switch (message) {
    case WM_DESTROY:
      return SLInternals::SL_GS_PassDestroy(hook, wParam, lParam, [this] { Shutdown(); });
    case WM_CHAR:
    case WM_SYSCHAR:
      if (state->queue->GetCount() == 0) state->delivered = 0;
      state->queue->Add(SLWChar(wParam & 0xFFFF));
      break;
    default:
      SLInternals::SL_GS_HandleFocusMessage(device, window, state->syncMessage, message, wParam, lParam);
      break;
  }
  return hook->CallPrevious(message, wParam, lParam);
}
