#include "gamesystem/directx/SLMouseInput.h"

#include <algorithm>
#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSync.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLInputDirectX.h"

using SLInternals::CSL_GS_InputDirectXInternal;

namespace SLInternals {

struct SLMouseState {
  CSL_GS_MouseInput_DirectX* owner;
  HINSTANCE instance;
  HWND window;
  CSLWndProcHook* hook;
  IDirectInput8A* input;
  IDirectInputDevice8A* device;
  CSLSyncEvent* notification;
  i32 x, y;
  i32 dx, dy;
  u8 buttons[4];
  i32 threshold1, threshold2, acceleration;
  u32 swapped;
  u32 syncMessage;
  u32 phaseHook;
  bool phaseHookAdded;
};

}  // namespace SLInternals

using SLInternals::SLMouseState;

namespace {

const GUID kSysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kXAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kYAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The standard mouse format: three axes and four buttons, relative movement.
DIOBJECTDATAFORMAT g_mouseObjects[7] = {
    {&kXAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
    {&kYAxis, 4, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
    {&kZAxis, 8, DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0},
    {nullptr, 12, DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0},
    {nullptr, 13, DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0},
    {nullptr, 14, DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0},
    {nullptr, 15, DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0},
};
const DIDATAFORMAT kMouseFormat = {24, 16, DIDF_RELAXIS, 16, 7, g_mouseObjects};

constexpr u32 kBufferedElements = 32;

}  // namespace

SL_IMPLEMENT_CLASS(CSL_GS_BaseMouseInput, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_MouseInput_DirectX, CSL_GS_BaseMouseInput)

CSL_GS_BaseMouseInput::CSL_GS_BaseMouseInput() : m_area{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX} {}

bool CSL_GS_BaseMouseInput::SetArea(i32 left, i32 top, i32 right, i32 bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  m_area[0] = left;
  m_area[1] = top;
  m_area[2] = right;
  m_area[3] = bottom;
  return SLSucceed(true);
}

bool CSL_GS_BaseMouseInput::GetArea(i32* left, i32* top, i32* right, i32* bottom) {
  if (left) *left = m_area[0];
  if (top) *top = m_area[1];
  if (right) *right = m_area[2];
  if (bottom) *bottom = m_area[3];
  return SLSucceed(true);
}

CSL_GS_MouseInput_DirectX::CSL_GS_MouseInput_DirectX() : m_state(nullptr) {}

CSL_GS_MouseInput_DirectX::~CSL_GS_MouseInput_DirectX() {
  SLErrorKeeper keeper;
  Shutdown();
}

void CSL_GS_MouseInput_DirectX::ReadMouseSettings() {
  CSL_GS_InputDirectXInternal* api = CSL_GS_InputDirectXInternal::GetInstance();
  int values[3] = {999999, 999999, 999999};
  if (!api || !api->SystemParametersInfo(SPI_GETMOUSE, 0, values, 0)) values[0] = values[1] = values[2] = 999999;
  m_state->threshold1 = values[0];
  m_state->threshold2 = values[1];
  m_state->acceleration = values[2];
  m_state->swapped = (api && api->GetSystemMetrics(SM_SWAPBUTTON) != 0) ? 1 : 0;
}

bool CSL_GS_MouseInput_DirectX::Init(HINSTANCE instance, HWND window) {
  SLMouseState* state = SLInternals::SL_GS_BeginInput(m_state, this, this, instance, window);
  if (!state) return false;
  auto fail = [this](u32 code) { return SLInternals::SL_GS_AbortInit(this, code); };
  ReadMouseSettings();

  IDirectInputDevice8A* device = nullptr;
  if (state->input->CreateDevice(kSysMouse, &device, nullptr) < 0 || !device) return fail(SL_E_SETUP_FAILED);
  state->device = device;
  if (device->SetDataFormat(&kMouseFormat) < 0 ||
      device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND) < 0)
    return fail(SL_E_SETUP_FAILED);
  state->notification = new (std::nothrow) CSLSyncEvent();
  if (!state->notification || !state->notification->Create(false, false, nullptr) ||
      device->SetEventNotification(state->notification->GetHandle()) < 0)
    return fail(SL_E_SETUP_FAILED);
  DIPROPDWORD size{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, kBufferedElements};
  if (device->SetProperty(DIMakeProperty(DIPROP_BUFFERSIZE), &size.diph) < 0) return fail(SL_E_SETUP_FAILED);

  if (!SLInternals::SL_GS_StartPolling(state, "SL_GS_Input_DirectX_SYNCACQUIRE_MOUSE", SL_GS_PHASE_PRIORITY_MOUSE, &Poll))
    return fail(SLGetLastError());
  return SLSucceed(true);
}

void CSL_GS_MouseInput_DirectX::Shutdown() {
  SLInternals::SL_GS_EndInput(this, m_state, [](SLMouseState* state) {
    if (state->device) {
      state->device->Unacquire();
      state->device->SetEventNotification(nullptr);
      state->device->Release();
    }
    if (state->notification) {
      state->notification->Close();
      delete state->notification;
    }
  });
}

i32 CSL_GS_MouseInput_DirectX::GetX() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0);
  return SLSucceed(m_state->x);
}

i32 CSL_GS_MouseInput_DirectX::GetY() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0);
  return SLSucceed(m_state->y);
}

i32 CSL_GS_MouseInput_DirectX::GetDeltaX() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0);
  return SLSucceed(m_state->dx);
}

i32 CSL_GS_MouseInput_DirectX::GetDeltaY() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0);
  return SLSucceed(m_state->dy);
}

u32 CSL_GS_MouseInput_DirectX::GetButtonMask() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  u32 mask = 0;
  for (u32 i = 0; i < 4; ++i)
    if (m_state->buttons[i] & 1) mask |= 1u << i;
  return SLSucceed(mask);
}

u32 CSL_GS_MouseInput_DirectX::IsButtonDown(u32 button) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  if (button < 1 || button > 4) return SLFail(SL_E_INVALID_ARG, 0u);
  return SLSucceed(u32(m_state->buttons[button - 1] & 1));
}

u32 CSL_GS_MouseInput_DirectX::HasButtonChanged(u32 button) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, 0u);
  if (button < 1 || button > 4) return SLFail(SL_E_INVALID_ARG, 0u);
  return SLSucceed(u32((m_state->buttons[button - 1] >> 1) & 1));
}

bool CSL_GS_MouseInput_DirectX::SetPosition(i32 x, i32 y) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  m_state->x = ClampX(x);
  m_state->y = ClampY(y);
  return SLSucceed(true);
}

void CSL_GS_MouseInput_DirectX::Poll(std::uintptr_t argument) {
  auto* state = reinterpret_cast<SLMouseState*>(argument);
  CSL_GS_MouseInput_DirectX* self = state->owner;
  SLErrorKeeper keeper;
  state->dx = state->dy = 0;
  for (u8& b : state->buttons) b &= u8(~2u);
  // An area set since the last poll holds the pointer from this poll on, moved or not.
  state->x = self->ClampX(state->x);
  state->y = self->ClampY(state->y);
  for (;;) {
    DIDEVICEOBJECTDATA element{};
    DWORD count = 1;
    if (state->device->GetDeviceData(sizeof element, &element, &count, 0) < 0) {
      if (CSL_GS_InputDirectXInternal* api = CSL_GS_InputDirectXInternal::GetInstance())
        api->PostMessage(state->window, state->syncMessage, 0, 1);
      return;
    }
    if (count == 0) return;
    if (element.dwOfs == DIMOFS_X || element.dwOfs == DIMOFS_Y) {
      i64 d = i32(element.dwData);
      i64 magnitude = d < 0 ? -d : d;
      i64 m = 1;
      if (state->acceleration != 0 && magnitude > state->threshold1) m = 2;
      if (state->acceleration == 2 && magnitude > state->threshold2) m *= 2;
      // 64-bit sums: a stream of large movements saturates instead of wrapping.
      if (element.dwOfs == DIMOFS_X) {
        state->dx = i32(std::clamp<i64>(i64(state->dx) + d * m, INT32_MIN, INT32_MAX));
        state->x = self->ClampX(i64(state->x) + d * m);
      } else {
        state->dy = i32(std::clamp<i64>(i64(state->dy) + d * m, INT32_MIN, INT32_MAX));
        state->y = self->ClampY(i64(state->y) + d * m);
      }
    } else if (element.dwOfs >= DIMOFS_BUTTON0 && element.dwOfs < DIMOFS_BUTTON0 + 4) {
      u32 index = element.dwOfs - DIMOFS_BUTTON0;
      if (state->swapped && index < 2) index ^= 1;
      // The change bit, cleared at the start of the poll, stays set once an edge came:
      // a click inside one poll leaves the button up and changed.
      u8& b = state->buttons[index];
      bool held = b & 1;
      if (element.dwData & 0x80) b = u8(b | (held ? 0 : 2) | 1);
      else b = u8((b | (held ? 2 : 0)) & ~1u);
    }
  }
}

LRESULT CSL_GS_MouseInput_DirectX::OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam,
                                                    LPARAM lParam) {
  SLMouseState* state = m_state;
  if (!state) return hook->CallPrevious(message, wParam, lParam);
  if (message == WM_DESTROY) return SLInternals::SL_GS_PassDestroy(hook, wParam, lParam, [this] { Shutdown(); });
  if (message == WM_ACTIVATE) ReadMouseSettings();
  SLInternals::SL_GS_HandleFocusMessage(state->device, window, state->syncMessage, message, wParam, lParam);
  return hook->CallPrevious(message, wParam, lParam);
}
