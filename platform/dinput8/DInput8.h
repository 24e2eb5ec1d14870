// The "dinput8.dll" stand-in: the system keyboard as a 256-byte scan-code snapshot,
// the system mouse as a buffer of (object, data) elements, and game controllers
// through SDL's joystick API. Acquisition follows the keyboard focus of the window
// given to SetCooperativeLevel. Declared here from what the input devices call.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2, Data3;
  std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

extern const GUID IID_IDirectInput8A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;
extern const GUID GUID_Key;
extern const GUID GUID_XAxis;
extern const GUID GUID_YAxis;
extern const GUID GUID_ZAxis;
extern const GUID GUID_RxAxis;
extern const GUID GUID_RyAxis;
extern const GUID GUID_RzAxis;
extern const GUID GUID_Slider;
extern const GUID GUID_POV;
extern const GUID GUID_Button;

inline constexpr HRESULT DI_OK = 0;
inline constexpr HRESULT DI_NOEFFECT = 1;  // also: already acquired, nothing to poll
inline constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
inline constexpr HRESULT DIERR_NOTINITIALIZED = HRESULT(0x80070015);
inline constexpr HRESULT DIERR_INPUTLOST = HRESULT(0x8007001E);
inline constexpr HRESULT DIERR_NOTACQUIRED = HRESULT(0x8007000C);
inline constexpr HRESULT DIERR_OTHERAPPHASPRIO = HRESULT(0x80070005);
inline constexpr HRESULT DIERR_DEVICENOTREG = HRESULT(0x80040154);
inline constexpr HRESULT DIERR_NOINTERFACE = E_NOINTERFACE;
inline constexpr HRESULT DIERR_ACQUIRED = HRESULT(0x800700AA);
inline constexpr HRESULT DIERR_UNSUPPORTED = E_NOTIMPL;

inline constexpr DWORD DIRECTINPUT_VERSION = 0x0800;

inline constexpr DWORD DISCL_EXCLUSIVE = 0x1;
inline constexpr DWORD DISCL_NONEXCLUSIVE = 0x2;
inline constexpr DWORD DISCL_FOREGROUND = 0x4;
inline constexpr DWORD DISCL_BACKGROUND = 0x8;
inline constexpr DWORD DISCL_NOWINKEY = 0x10;

inline constexpr DWORD DIDF_ABSAXIS = 1;
inline constexpr DWORD DIDF_RELAXIS = 2;

inline constexpr DWORD DIDFT_AXIS = 0x3;
inline constexpr DWORD DIDFT_BUTTON = 0xC;
inline constexpr DWORD DIDFT_POV = 0x10;
inline constexpr DWORD DIDFT_ANYINSTANCE = 0xFFFF00;
inline constexpr DWORD DIDFT_OPTIONAL = 0x80000000;
constexpr DWORD DIDFT_MAKEINSTANCE(DWORD n) { return (n & 0xFFFF) << 8; }

inline constexpr DWORD DI8DEVCLASS_GAMECTRL = 4;
inline constexpr DWORD DIEDFL_ATTACHEDONLY = 1;
inline constexpr BOOL DIENUM_STOP = 0;
inline constexpr BOOL DIENUM_CONTINUE = 1;

inline constexpr DWORD DIDC_ATTACHED = 0x1;
inline constexpr DWORD DIDC_FORCEFEEDBACK = 0x100;

inline constexpr DWORD DIGDD_PEEK = 1;

// Property ids are small numbers passed in place of a GUID pointer.
using REFDIPROP = const GUID*;
inline REFDIPROP DIMakeProperty(std::uintptr_t id) { return reinterpret_cast<REFDIPROP>(id); }
inline constexpr std::uintptr_t DIPROP_BUFFERSIZE = 1;
inline constexpr std::uintptr_t DIPROP_AXISMODE = 2;
inline constexpr std::uintptr_t DIPROP_RANGE = 4;
inline constexpr std::uintptr_t DIPROP_DEADZONE = 5;
inline constexpr std::uintptr_t DIPROP_AUTOCENTER = 9;
inline constexpr DWORD DIPH_DEVICE = 0;
inline constexpr DWORD DIPH_BYOFFSET = 1;
inline constexpr DWORD DIPROPAXISMODE_ABS = 0;
inline constexpr DWORD DIPROPAUTOCENTER_ON = 1;

struct DIOBJECTDATAFORMAT {
  const GUID* pguid;
  DWORD dwOfs;
  DWORD dwType;
  DWORD dwFlags;
};
struct DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;
  DWORD dwNumObjs;
  DIOBJECTDATAFORMAT* rgodf;
};
struct DIDEVICEOBJECTDATA {
  DWORD dwOfs;
  DWORD dwData;
  DWORD dwTimeStamp;
  DWORD dwSequence;
  UINT_PTR uAppData;
};
struct DIPROPHEADER {
  DWORD dwSize;
  DWORD dwHeaderSize;
  DWORD dwObj;
  DWORD dwHow;
};
struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
};
struct DIPROPRANGE {
  DIPROPHEADER diph;
  LONG lMin;
  LONG lMax;
};
struct DIDEVCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwDevType;
  DWORD dwAxes;
  DWORD dwButtons;
  DWORD dwPOVs;
  DWORD dwFFSamplePeriod;
  DWORD dwFFMinTimeResolution;
  DWORD dwFirmwareRevision;
  DWORD dwHardwareRevision;
  DWORD dwFFDriverVersion;
};
struct DIDEVICEINSTANCEA {
  DWORD dwSize;
  GUID guidInstance;
  GUID guidProduct;
  DWORD dwDevType;
  char tszInstanceName[260];
  char tszProductName[260];
};
struct DIJOYSTATE {
  LONG lX, lY, lZ;
  LONG lRx, lRy, lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];
  BYTE rgbButtons[32];
};
struct DIMOUSESTATE {
  LONG lX, lY, lZ;
  BYTE rgbButtons[4];
};

// Offsets of the mouse's objects in its data format and in buffered elements.
inline constexpr DWORD DIMOFS_X = 0;
inline constexpr DWORD DIMOFS_Y = 4;
inline constexpr DWORD DIMOFS_Z = 8;
inline constexpr DWORD DIMOFS_BUTTON0 = 12;

struct IDirectInputDevice8A {
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetCapabilities(DIDEVCAPS* caps) = 0;
  virtual HRESULT SetProperty(REFDIPROP property, const DIPROPHEADER* header) = 0;
  virtual HRESULT Acquire() = 0;
  virtual HRESULT Unacquire() = 0;
  virtual HRESULT GetDeviceState(DWORD size, void* data) = 0;
  virtual HRESULT GetDeviceData(DWORD elementSize, DIDEVICEOBJECTDATA* data, DWORD* count, DWORD flags) = 0;
  virtual HRESULT SetDataFormat(const DIDATAFORMAT* format) = 0;
  virtual HRESULT SetEventNotification(HANDLE event) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT Poll() = 0;

 protected:
  ~IDirectInputDevice8A() = default;
};

using LPDIENUMDEVICESCALLBACKA = BOOL (*)(const DIDEVICEINSTANCEA* instance, void* reference);

struct IDirectInput8A {
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT CreateDevice(const GUID& guid, IDirectInputDevice8A** out, void* outer) = 0;
  virtual HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, void* reference,
                              DWORD flags) = 0;

 protected:
  ~IDirectInput8A() = default;
};

HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, const GUID& iid, void** out, void* outer);

// The keyboard and mouse formats every program passes (filled on first use).
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

// Fed by the display bridge (user32) from each SDL event.
namespace SLDInput8 {
void KeyEvent(int sdlScancode, bool down);
void MouseMotion(int dx, int dy);
// The system pointer at (x, y) of a picture of width x height, moved by (dx, dy) in the
// picture's pixels. A reader whose pointer was placed under the system pointer gets the
// movement that keeps it there. Otherwise, in a window, it gets the movement that brings
// it there; in full screen (the pointer grabbed) the relative movement, unless a
// placement is due (see MouseReplace).
void MousePosition(int x, int y, int width, int height, int dx, int dy, bool windowed);
// The pointer came into the window or the picture changed its size or scaling: the next
// position report places every reader's pointer under the system pointer.
void MouseReplace();
void MouseWheel(int delta);
void MouseButton(int button, bool down);  // 0 left, 1 right, 2 middle, 3 first extra
// The set-1 scan code (extended keys + 0x80) of an SDL scancode, 0 for none.
int ScanCodeOf(int sdlScancode);
}  // namespace SLDInput8
