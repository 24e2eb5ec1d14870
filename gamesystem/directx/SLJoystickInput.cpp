#include "gamesystem/directx/SLJoystickInput.h"

#include <algorithm>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLInputDirectX.h"

namespace SLInternals {

struct SLJoystickRecord {
  i32 axes[6];  // X, Y, Z, RX, RY, RZ
  i32 sliders[2];
  i32 hats[4];
  u8 buttons[32];
};

struct SLJoystickState {
  CSL_GS_JoystickInput_DirectX* owner;
  HINSTANCE instance;
  HWND window;
  CSLWndProcHook* hook;
  IDirectInput8A* input;
  IDirectInputDevice8A* devices[SL_GS_JOYSTICK_DEVICES];
  char names[SL_GS_JOYSTICK_DEVICES][64];
  SLJoystickRecord records[SL_GS_JOYSTICK_DEVICES];
  u32 syncMessage;
  u32 phaseHook;
  bool phaseHookAdded;
};

}  // namespace SLInternals

using SLInternals::SLJoystickRecord;
using SLInternals::SLJoystickState;

namespace {

const GUID kAxisGuids[8] = {
    {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
};
const GUID kPovGuid = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The standard joystick format: axes, sliders, hats and buttons, all optional.
struct JoystickFormat {
  DIOBJECTDATAFORMAT objects[44];
  DIDATAFORMAT format;
  JoystickFormat() : objects{}, format{24, 16, DIDF_ABSAXIS, 80, 44, objects} {
    for (DWORD i = 0; i < 8; ++i)
      objects[i] = {&kAxisGuids[i], 4 * i, DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    for (DWORD i = 0; i < 4; ++i)
      objects[8 + i] = {&kPovGuid, 32 + 4 * i, DIDFT_POV | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
    for (DWORD i = 0; i < 32; ++i)
      objects[12 + i] = {nullptr, 48 + i, DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
  }
};
const JoystickFormat kJoystickFormat;

}  // namespace

SL_IMPLEMENT_CLASS(CSL_GS_BaseJoystickInput, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_JoystickInput_DirectX, CSL_GS_BaseJoystickInput)

CSL_GS_JoystickInput_DirectX::CSL_GS_JoystickInput_DirectX() : m_state(nullptr) {}

CSL_GS_JoystickInput_DirectX::~CSL_GS_JoystickInput_DirectX() {
  SLErrorKeeper keeper;
  Shutdown();
}

BOOL CSL_GS_JoystickInput_DirectX::EnumCallback(const DIDEVICEINSTANCEA* instance, void* reference) {
  auto* state = static_cast<SLJoystickState*>(reference);
  u32 slot = 0;
  while (slot < SL_GS_JOYSTICK_DEVICES && state->devices[slot]) ++slot;
  if (slot == SL_GS_JOYSTICK_DEVICES) return DIENUM_STOP;
  IDirectInputDevice8A* device = nullptr;
  if (state->input->CreateDevice(instance->guidInstance, &device, nullptr) < 0 || !device) return DIENUM_CONTINUE;
  auto skip = [device]() {
    device->Release();
    return DIENUM_CONTINUE;
  };
  if (device->SetDataFormat(&kJoystickFormat.format) < 0 ||
      device->SetCooperativeLevel(state->window, DISCL_EXCLUSIVE | DISCL_FOREGROUND) < 0)
    return skip();
  for (DWORD offset = 0; offset < 32; offset += 4) {
    DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET}, -1000, 1000};
    HRESULT rangeResult = device->SetProperty(DIMakeProperty(DIPROP_RANGE), &range.diph);
    DIPROPDWORD zone{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET}, 5000};
    HRESULT zoneResult = device->SetProperty(DIMakeProperty(DIPROP_DEADZONE), &zone.diph);
    if (offset == 0 && (rangeResult != 0 || zoneResult < 0)) return skip();
  }
  DIPROPDWORD mode{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, DIPROPAXISMODE_ABS};
  if (device->SetProperty(DIMakeProperty(DIPROP_AXISMODE), &mode.diph) < 0) return skip();
  DIPROPDWORD centre{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, DIPROPAUTOCENTER_ON};
  if (device->SetProperty(DIMakeProperty(DIPROP_AUTOCENTER), &centre.diph) < 0) return skip();
  state->devices[slot] = device;
  SLMemCopy(state->names[slot], instance->tszInstanceName, 64);
  state->names[slot][63] = 0;
  for (i32& hat : state->records[slot].hats) hat = -1;
  return DIENUM_CONTINUE;
}

bool CSL_GS_JoystickInput_DirectX::Init(HINSTANCE instance, HWND window) {
  SLJoystickState* state = SLInternals::SL_GS_BeginInput(m_state, this, this, instance, window);
  if (!state) return false;
  auto fail = [this](u32 code) { return SLInternals::SL_GS_AbortInit(this, code); };
  state->input->EnumDevices(DI8DEVCLASS_GAMECTRL, &EnumCallback, state, DIEDFL_ATTACHEDONLY);
  if (!SLInternals::SL_GS_StartPolling(state, "SL_GS_Input_DirectX_SYNCACQUIRE_JOYS", SL_GS_PHASE_PRIORITY_JOYSTICK,
                                       &Poll))
    return fail(SLGetLastError());
  return SLSucceed(true);
}

void CSL_GS_JoystickInput_DirectX::Shutdown() {
  SLInternals::SL_GS_EndInput(this, m_state, [](SLJoystickState* state) {
    for (IDirectInputDevice8A* device : state->devices) {
      if (!device) continue;
      device->Unacquire();
      device->Release();
    }
  });
}

const SLJoystickRecord* CSL_GS_JoystickInput_DirectX::Record(u32 device) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, static_cast<const SLJoystickRecord*>(nullptr));
  if (device >= SL_GS_JOYSTICK_DEVICES) return SLFail(SL_E_INVALID_ARG, static_cast<const SLJoystickRecord*>(nullptr));
  if (!m_state->devices[device])
    return SLFail(SL_E_NOT_AVAILABLE, static_cast<const SLJoystickRecord*>(nullptr));
  return SLSucceed(&m_state->records[device]);
}

i32 CSL_GS_JoystickInput_DirectX::Axis(u32 device, u32 axis) {
  const SLJoystickRecord* record = Record(device);
  return record ? record->axes[axis] : 0;
}

i32 CSL_GS_JoystickInput_DirectX::GetX(u32 device) { return Axis(device, 0); }
i32 CSL_GS_JoystickInput_DirectX::GetY(u32 device) { return Axis(device, 1); }
i32 CSL_GS_JoystickInput_DirectX::GetZ(u32 device) { return Axis(device, 2); }
i32 CSL_GS_JoystickInput_DirectX::GetRotationX(u32 device) { return Axis(device, 3); }
i32 CSL_GS_JoystickInput_DirectX::GetRotationY(u32 device) { return Axis(device, 4); }
i32 CSL_GS_JoystickInput_DirectX::GetRotationZ(u32 device) { return Axis(device, 5); }

u32 CSL_GS_JoystickInput_DirectX::GetButtonMask(u32 device) {
  const SLJoystickRecord* record = Record(device);
  if (!record) return 0;
  u32 mask = 0;
  for (u32 i = 0; i < 32; ++i)
    if (record->buttons[i] & 1) mask |= 1u << i;
  return mask;
}

u32 CSL_GS_JoystickInput_DirectX::IsButtonDown(u32 device, u32 button) {
  const SLJoystickRecord* record = Record(device);
  if (!record) return 0;
  if (button < 1 || button > 32) return SLFail(SL_E_INVALID_ARG, 0u);
  return record->buttons[button - 1] & 1;
}

u32 CSL_GS_JoystickInput_DirectX::HasButtonChanged(u32 device, u32 button) {
  const SLJoystickRecord* record = Record(device);
  if (!record) return 0;
  if (button < 1 || button > 32) return SLFail(SL_E_INVALID_ARG, 0u);
  return (record->buttons[button - 1] >> 1) & 1;
}

i32 CSL_GS_JoystickInput_DirectX::GetSlider(u32 device, u32 slider) {
  const SLJoystickRecord* record = Record(device);
  if (!record) return 0;
  if (slider < 1 || slider > 2) return SLFail(SL_E_INVALID_ARG, 0);
  return record->sliders[slider - 1];
}

i32 CSL_GS_JoystickInput_DirectX::GetPOV(u32 device, u32 hat) {
  const SLJoystickRecord* record = Record(device);
  if (!record) return -1;
  if (hat < 1 || hat > 4) return SLFail(SL_E_INVALID_ARG, -1);
  return record->hats[hat - 1];
}

bool CSL_GS_JoystickInput_DirectX::GetDeviceInfo(u32 device, SL_GS_JoystickDeviceInfo* info) {
  if (info) SLMemSet(info, 0, sizeof *info);
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (device >= SL_GS_JOYSTICK_DEVICES) return SLFail(SL_E_INVALID_ARG, false);
  if (!info) return SLFail(SL_E_NULL_OUTPUT, false);
  IDirectInputDevice8A* controller = m_state->devices[device];
  if (!controller) return SLFail(SL_E_NOT_AVAILABLE, false);
  DIDEVCAPS caps{};
  caps.dwSize = sizeof caps;
  if (controller->GetCapabilities(&caps) < 0) caps = DIDEVCAPS{};
  SLMemCopy(info->name, m_state->names[device], sizeof info->name);
  info->name[63] = 0;
  info->forceFeedback = (caps.dwFlags & DIDC_FORCEFEEDBACK) ? 1 : 0;
  info->axes = std::min<u32>(caps.dwAxes, 8);
  info->buttons = std::min<u32>(caps.dwButtons, 32);
  info->hats = std::min<u32>(caps.dwPOVs, 4);
  return SLSucceed(true);
}

void CSL_GS_JoystickInput_DirectX::Poll(std::uintptr_t argument) {
  auto* state = reinterpret_cast<SLJoystickState*>(argument);
  SLErrorKeeper keeper;
  for (u32 slot = 0; slot < SL_GS_JOYSTICK_DEVICES; ++slot) {
    IDirectInputDevice8A* device = state->devices[slot];
    if (!device) continue;
    device->Poll();
    DIJOYSTATE raw{};
    HRESULT result = device->GetDeviceState(sizeof raw, &raw);
    if (result == DIERR_INPUTLOST) device->Acquire();
    if (result < 0) continue;
    SLJoystickRecord& record = state->records[slot];
    const LONG axes[6] = {raw.lX, raw.lY, raw.lZ, raw.lRx, raw.lRy, raw.lRz};
    for (u32 i = 0; i < 6; ++i) record.axes[i] = std::clamp<i32>(axes[i], -1000, 1000);
    for (u32 i = 0; i < 2; ++i) record.sliders[i] = std::clamp<i32>(raw.rglSlider[i], -1000, 1000);
    for (u32 i = 0; i < 4; ++i)
      record.hats[i] = (raw.rgdwPOV[i] & 0xFFFF) == 0xFFFF ? -1 : i32(std::min<DWORD>(raw.rgdwPOV[i], 359999));
    for (u32 i = 0; i < 32; ++i) SLInternals::SL_GS_UpdateStateByte(record.buttons[i], (raw.rgbButtons[i] & 0x80) != 0);
  }
}

LRESULT CSL_GS_JoystickInput_DirectX::OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam,
                                                       LPARAM lParam) {
  SLJoystickState* state = m_state;
  if (!state) return hook->CallPrevious(message, wParam, lParam);
  if (message == WM_DESTROY) return SLInternals::SL_GS_PassDestroy(hook, wParam, lParam, [this] { Shutdown(); });
  constexpr u32 kExitMenuLoop = 0x212, kExitSizeMove = 0x232;
  if (message == kExitMenuLoop || message == kExitSizeMove) {
    // One sync message serves every controller.
    SLInternals::SL_GS_HandleFocusMessage(nullptr, window, state->syncMessage, message, wParam, lParam);
  } else {
    for (IDirectInputDevice8A* device : state->devices)
      if (device) SLInternals::SL_GS_HandleFocusMessage(device, window, state->syncMessage, message, wParam, lParam);
  }
  return hook->CallPrevious(message, wParam, lParam);
}
