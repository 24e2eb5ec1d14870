// The DirectInput object and the keyboard and mouse devices. Controllers are in
// Joystick.cpp. All device state is kept under one lock: the display bridge feeds it
// on the window's thread, and a device may be read from another.
#include "platform/dinput8/DInput8.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <set>

#include "platform/dinput8/Devices.h"
#include "platform/kernel32/Sync.h"
#include "platform/user32/User32.h"

const GUID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RxAxis = {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RyAxis = {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Slider = {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Button = {0xA36D02F0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Key = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_POV = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

DIOBJECTDATAFORMAT g_keyboardObjects[256];
DIOBJECTDATAFORMAT g_mouseObjects[7] = {
    {&GUID_XAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
    {&GUID_YAxis, 4, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0},
    {&GUID_ZAxis, 8, DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0},
    {nullptr, 12, DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0},
    {nullptr, 13, DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0},
    {nullptr, 14, DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0},
    {nullptr, 15, DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0},
};
DIOBJECTDATAFORMAT g_joystickObjects[44];

bool FillFormats() {
  for (DWORD i = 0; i < 256; ++i)
    g_keyboardObjects[i] = {&GUID_Key, i, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i) | DIDFT_OPTIONAL, 0};
  const GUID* axes[8] = {&GUID_XAxis,  &GUID_YAxis,  &GUID_ZAxis,  &GUID_RxAxis,
                         &GUID_RyAxis, &GUID_RzAxis, &GUID_Slider, &GUID_Slider};
  for (DWORD i = 0; i < 8; ++i)
    g_joystickObjects[i] = {axes[i], 4 * i, DIDFT_AXIS | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
  for (DWORD i = 0; i < 4; ++i)
    g_joystickObjects[8 + i] = {&GUID_POV, 32 + 4 * i, DIDFT_POV | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
  for (DWORD i = 0; i < 32; ++i)
    g_joystickObjects[12 + i] = {nullptr, 48 + i, DIDFT_BUTTON | DIDFT_ANYINSTANCE | DIDFT_OPTIONAL, 0};
  return true;
}
const bool g_formatsFilled = FillFormats();

}  // namespace

const DIDATAFORMAT c_dfDIKeyboard = {24, 16, DIDF_RELAXIS, 256, 256, g_keyboardObjects};
const DIDATAFORMAT c_dfDIMouse = {24, 16, DIDF_RELAXIS, 16, 7, g_mouseObjects};
const DIDATAFORMAT c_dfDIJoystick = {24, 16, DIDF_ABSAXIS, 80, 44, g_joystickObjects};

namespace SLDInput8 {

std::recursive_mutex g_lock;

namespace {

unsigned char g_keys[256];      // bit 7 while the key with that scan code is down
std::set<Device*> g_devices;    // every live device, for the bridge's feed
DWORD g_sequence = 0;

// Puts a reader's pointer at the system pointer's last position in a window, when known.
void PlaceAtLastPosition(Device* device);

}  // namespace

Device::Device(Kind kind) : kind_(kind) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  g_devices.insert(this);
}

Device::~Device() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  g_devices.erase(this);
}

HRESULT Device::QueryInterface(const GUID&, void** out) {
  if (out) *out = nullptr;
  return DIERR_NOINTERFACE;
}

ULONG Device::AddRef() { return ++references_; }

ULONG Device::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT Device::GetCapabilities(DIDEVCAPS* caps) {
  if (!caps) return DIERR_INVALIDPARAM;
  std::memset(caps, 0, sizeof *caps);
  caps->dwSize = sizeof *caps;
  caps->dwFlags = DIDC_ATTACHED;
  if (kind_ == Kind::Keyboard) {
    caps->dwButtons = 256;
  } else {
    caps->dwAxes = 3;
    caps->dwButtons = 4;
  }
  return DI_OK;
}

HRESULT Device::SetProperty(REFDIPROP property, const DIPROPHEADER* header) {
  if (!header) return DIERR_INVALIDPARAM;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (property == DIMakeProperty(DIPROP_BUFFERSIZE) && header->dwHow == DIPH_DEVICE &&
      header->dwSize >= sizeof(DIPROPDWORD)) {
    if (acquired_) return DIERR_ACQUIRED;
    bufferSize_ = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
    return DI_OK;
  }
  return DIERR_UNSUPPORTED;
}

bool Device::HasFocus() const {
  // Foreground devices work only while their window has the keyboard focus.
  return window_ && (!(level_ & DISCL_FOREGROUND) || GetActiveWindow() == window_);
}

HRESULT Device::Acquire() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (!format_ || !window_) return DIERR_INVALIDPARAM;
  if (!HasFocus()) return DIERR_OTHERAPPHASPRIO;
  if (acquired_) return DI_NOEFFECT;
  acquired_ = true;
  buffer_.clear();
  OnAcquire();
  return DI_OK;
}

HRESULT Device::Unacquire() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (!acquired_) return DI_NOEFFECT;
  acquired_ = false;
  buffer_.clear();
  return DI_OK;
}

HRESULT Device::CheckReadable() {
  if (!acquired_) return DIERR_NOTACQUIRED;
  if (!HasFocus()) {
    acquired_ = false;
    buffer_.clear();
    return DIERR_INPUTLOST;
  }
  return DI_OK;
}

HRESULT Device::GetDeviceState(DWORD size, void* data) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (!data || !format_ || size != format_->dwDataSize) return DIERR_INVALIDPARAM;
  if (HRESULT result = CheckReadable(); result != DI_OK) return result;
  return ReadState(data);
}

HRESULT Device::ReadState(void* data) {
  if (kind_ == Kind::Keyboard) {
    std::memcpy(data, g_keys, 256);
  } else {
    auto* mouse = static_cast<DIMOUSESTATE*>(data);
    *mouse = mouseState_;
    mouseState_.lX = mouseState_.lY = mouseState_.lZ = 0;
  }
  return DI_OK;
}

HRESULT Device::GetDeviceData(DWORD elementSize, DIDEVICEOBJECTDATA* data, DWORD* count, DWORD flags) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (!count || (data && elementSize < sizeof(DIDEVICEOBJECTDATA) - sizeof(UINT_PTR))) return DIERR_INVALIDPARAM;
  if (!format_ || bufferSize_ == 0) return DIERR_NOTINITIALIZED;
  if (HRESULT result = CheckReadable(); result != DI_OK) return *count = 0, result;
  DWORD taken = std::min<DWORD>(*count, DWORD(buffer_.size()));
  for (DWORD i = 0; data && i < taken; ++i) {
    // Callers may pass the older, shorter element: copy only what they asked for.
    std::memcpy(reinterpret_cast<BYTE*>(data) + std::size_t(i) * elementSize, &buffer_[i],
                std::min<std::size_t>(elementSize, sizeof(DIDEVICEOBJECTDATA)));
  }
  if (!(flags & DIGDD_PEEK)) buffer_.erase(buffer_.begin(), buffer_.begin() + taken);
  *count = taken;
  return DI_OK;
}

HRESULT Device::SetDataFormat(const DIDATAFORMAT* format) {
  if (!format || format->dwObjSize != 16 || format->dwSize != 24) return DIERR_INVALIDPARAM;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (acquired_) return DIERR_ACQUIRED;
  if (!AcceptsFormat(*format)) return DIERR_INVALIDPARAM;
  format_ = format;
  return DI_OK;
}

bool Device::AcceptsFormat(const DIDATAFORMAT& format) const {
  switch (kind_) {
    case Kind::Keyboard: return format.dwDataSize == 256;
    case Kind::Mouse: return format.dwDataSize == sizeof(DIMOUSESTATE);
    case Kind::Joystick: return format.dwDataSize == sizeof(DIJOYSTATE);
  }
  return false;
}

HRESULT Device::SetEventNotification(HANDLE event) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (acquired_) return DIERR_ACQUIRED;
  event_ = event;
  return DI_OK;
}

HRESULT Device::SetCooperativeLevel(HWND window, DWORD flags) {
  bool exclusive = flags & DISCL_EXCLUSIVE, shared = flags & DISCL_NONEXCLUSIVE;
  bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
  if (exclusive == shared || foreground == background || !IsWindow(window)) return DIERR_INVALIDPARAM;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  window_ = window;
  level_ = flags;
  return DI_OK;
}

HRESULT Device::Poll() { return DI_NOEFFECT; }

bool Device::Append(DWORD offset, DWORD data) { return AppendPair(offset, data, 0, 0); }

bool Device::AppendPair(DWORD offset, DWORD data, DWORD offset2, DWORD data2) {
  if (!acquired_ || !HasFocus()) return false;
  // A full buffer drops what comes; the event is signalled once per report.
  bool queued = buffer_.size() < bufferSize_;
  if (queued) buffer_.push_back({offset, data, SDL_GetTicks(), ++g_sequence, 0});
  if (offset2) {
    queued = queued && buffer_.size() < bufferSize_;
    if (queued) buffer_.push_back({offset2, data2, SDL_GetTicks(), ++g_sequence, 0});
  }
  if (event_) SetEvent(event_);
  return queued;
}

void Device::OnAcquire() {
  mouseState_ = DIMOUSESTATE{};
  pointerPlaced_ = false;
  // A reader that was not listening when the pointer last moved (a window just shown, the
  // focus just back) starts where the system pointer is, not where its own was left.
  if (kind_ == Kind::Mouse) PlaceAtLastPosition(this);
}

void KeyEvent(int sdlScancode, bool down) {
  int code = ScanCodeOf(sdlScancode);
  if (code == 0) return;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  g_keys[code] = down ? 0x80 : 0;
}

namespace {

// The immediate state's movement since the last read stays in range however much comes.
void Accumulate(LONG& total, int delta) {
  total = LONG(std::clamp<std::int64_t>(std::int64_t(total) + delta, INT32_MIN, INT32_MAX));
}

// One report gives an X element and a Y element, in that order, for the axes that moved;
// false when an element could not be queued.
bool ReportMovement(Device* device, int dx, int dy) {
  bool queued = true;
  if (dx && dy) queued = device->AppendPair(DIMOFS_X, DWORD(dx), DIMOFS_Y, DWORD(dy));
  else if (dx || dy) queued = device->Append(dx ? DIMOFS_X : DIMOFS_Y, DWORD(dx ? dx : dy));
  Accumulate(device->mouseState_.lX, dx);
  Accumulate(device->mouseState_.lY, dy);
  return queued;
}

// The last position report: where the placed readers' pointers stand, in a picture of
// that size (0 x 0: none yet), and whether it came from a window.
struct PointerSpace {
  int x = 0, y = 0, width = 0, height = 0;
  bool windowed = false;
};
PointerSpace g_pointer;

// Farther than any pointer area: a reader keeps its pointer inside its area after each
// element, so this movement stops it at the area's top-left corner whatever it held.
constexpr int kToCorner = -(1 << 20);

// Readers keep pointers of their own, moved only by relative movement: the pointer is
// driven into the corner, then out by the position.
void Place(Device* device) {
  const bool cornered = ReportMovement(device, kToCorner, kToCorner);
  device->pointerPlaced_ = cornered && ReportMovement(device, g_pointer.x, g_pointer.y);
  if (device->pointerPlaced_) device->placeWanted_ = false;
}

void PlaceAtLastPosition(Device* device) {
  if (g_pointer.windowed && g_pointer.width > 0) Place(device);
}

}  // namespace

void MouseMotion(int dx, int dy) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (Device* device : g_devices) {
    if (device->kind() != Device::Kind::Mouse) continue;
    ReportMovement(device, dx, dy);
    device->pointerPlaced_ = false;
  }
  g_pointer = PointerSpace{};
}

void MousePosition(int x, int y, int width, int height, int dx, int dy, bool windowed) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  width = std::max(width, 1);
  height = std::max(height, 1);
  x = std::clamp(x, 0, width - 1);
  y = std::clamp(y, 0, height - 1);
  const PointerSpace last = g_pointer;
  const bool sameSpace = width == last.width && height == last.height;
  g_pointer = PointerSpace{x, y, width, height, windowed};
  for (Device* device : g_devices) {
    if (device->kind() != Device::Kind::Mouse) continue;
    if (device->pointerPlaced_ && sameSpace) {
      device->pointerPlaced_ = ReportMovement(device, x - last.x, y - last.y);
    } else if (windowed || device->placeWanted_) {
      Place(device);
    } else {
      ReportMovement(device, dx, dy);
      device->pointerPlaced_ = false;
    }
  }
}

void MouseReplace() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (Device* device : g_devices)
    if (device->kind() == Device::Kind::Mouse) device->pointerPlaced_ = false, device->placeWanted_ = true;
}

void MouseWheel(int delta) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (Device* device : g_devices)
    if (device->kind() == Device::Kind::Mouse && delta)
      device->Append(DIMOFS_Z, DWORD(delta)), Accumulate(device->mouseState_.lZ, delta);
}

void MouseButton(int button, bool down) {
  if (button < 0 || button > 3) return;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (Device* device : g_devices) {
    if (device->kind() != Device::Kind::Mouse) continue;
    device->Append(DIMOFS_BUTTON0 + DWORD(button), down ? 0x80 : 0);
    device->mouseState_.rgbButtons[button] = down ? 0x80 : 0;
  }
}

namespace {

class DirectInput final : public IDirectInput8A {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (!out) return DIERR_INVALIDPARAM;
    if (iid == IID_IDirectInput8A) return AddRef(), *out = this, DI_OK;
    *out = nullptr;
    return DIERR_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT CreateDevice(const GUID& guid, IDirectInputDevice8A** out, void* outer) override {
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DIERR_NOINTERFACE;
    Device* device = nullptr;
    if (guid == GUID_SysKeyboard) {
      device = new (std::nothrow) Device(Device::Kind::Keyboard);
    } else if (guid == GUID_SysMouse) {
      device = new (std::nothrow) Device(Device::Kind::Mouse);
    } else {
      HRESULT result = CreateJoystick(guid, &device);
      if (result != DI_OK) return result;
    }
    if (!device) return E_OUTOFMEMORY;
    *out = device;
    return DI_OK;
  }
  HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, void* reference, DWORD) override {
    if (!callback) return DIERR_INVALIDPARAM;
    if (deviceClass == DI8DEVCLASS_GAMECTRL) EnumJoysticks(callback, reference);
    return DI_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace

}  // namespace SLDInput8

HRESULT DirectInput8Create(HINSTANCE, DWORD version, const GUID& iid, void** out, void* outer) {
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (version < DIRECTINPUT_VERSION) return HRESULT(0x8007047E);  // the old-version error
  if (outer) return DIERR_NOINTERFACE;
  if (!(iid == IID_IDirectInput8A)) return DIERR_NOINTERFACE;
  auto* object = new (std::nothrow) SLDInput8::DirectInput;
  if (!object) return E_OUTOFMEMORY;
  *out = static_cast<IDirectInput8A*>(object);
  return DI_OK;
}
