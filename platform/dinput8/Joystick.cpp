// Game controllers through SDL's joystick API. A controller's instance GUID carries
// SDL's instance id, so a controller is found again while it stays attached. Axes and
// sliders are scaled to the range set for them, with the dead zone applied: inside it
// the axis reads centre, outside it the rest of the travel is stretched to the full range.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/dinput8/Devices.h"

namespace SLDInput8 {
namespace {

constexpr std::uint16_t kMarker = 0x534C;  // tells our controller GUIDs from others

bool JoysticksReady() {
  // Focus is the devices' own rule (acquisition follows the window), so SDL must not
  // drop controller input while its own idea of focus differs.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_WasInit(SDL_INIT_JOYSTICK)) return true;
  return SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
}

GUID InstanceGuid(SDL_JoystickID id) {
  GUID guid{};
  guid.Data1 = std::uint32_t(id);
  guid.Data2 = kMarker;
  guid.Data3 = 0x4A53;
  return guid;
}

struct AxisSetting {
  LONG min = 0, max = 65535;
  DWORD deadZone = 0;  // in 1/10000 of the travel
};

class Joystick final : public Device {
 public:
  explicit Joystick(SDL_Joystick* joystick) : Device(Kind::Joystick), joystick_(joystick) {}
  ~Joystick() override {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    SDL_JoystickClose(joystick_);
  }

  HRESULT GetCapabilities(DIDEVCAPS* caps) override {
    if (!caps) return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = sizeof *caps;
    caps->dwFlags = DIDC_ATTACHED;
    if (SDL_JoystickIsHaptic(joystick_) == 1) caps->dwFlags |= DIDC_FORCEFEEDBACK;
    caps->dwDevType = 0x14;  // game controller class
    caps->dwAxes = DWORD(std::max(0, SDL_JoystickNumAxes(joystick_)));
    caps->dwButtons = DWORD(std::max(0, SDL_JoystickNumButtons(joystick_)));
    caps->dwPOVs = DWORD(std::max(0, SDL_JoystickNumHats(joystick_)));
    return DI_OK;
  }

  HRESULT SetProperty(REFDIPROP property, const DIPROPHEADER* header) override {
    if (!header) return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto id = reinterpret_cast<std::uintptr_t>(property);
    if (id == DIPROP_AXISMODE || id == DIPROP_AUTOCENTER) {
      if (header->dwSize < sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
      return DI_OK;  // absolute axes are all there is; centring is the controller's own
    }
    if (id != DIPROP_RANGE && id != DIPROP_DEADZONE) return Device::SetProperty(property, header);
    AxisSetting* first = axes_;
    AxisSetting* last = axes_ + 8;
    if (header->dwHow == DIPH_BYOFFSET) {
      if (header->dwObj > 28 || header->dwObj % 4) return DIERR_INVALIDPARAM;
      first = axes_ + header->dwObj / 4;
      last = first + 1;
    } else if (header->dwHow != DIPH_DEVICE) {
      return DIERR_INVALIDPARAM;
    }
    if (id == DIPROP_RANGE) {
      if (header->dwSize < sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
      auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
      if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
      for (AxisSetting* axis = first; axis != last; ++axis) axis->min = range->lMin, axis->max = range->lMax;
    } else {
      if (header->dwSize < sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
      DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
      if (zone > 10000) return DIERR_INVALIDPARAM;
      for (AxisSetting* axis = first; axis != last; ++axis) axis->deadZone = zone;
    }
    return DI_OK;
  }

  HRESULT Poll() override {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    SDL_JoystickUpdate();
    return SDL_JoystickGetAttached(joystick_) ? DI_OK : DIERR_INPUTLOST;
  }

 protected:
  HRESULT ReadState(void* data) override {
    if (!SDL_JoystickGetAttached(joystick_)) return DIERR_INPUTLOST;
    auto* state = static_cast<DIJOYSTATE*>(data);
    std::memset(state, 0, sizeof *state);
    LONG* values[8] = {&state->lX,  &state->lY,  &state->lZ,           &state->lRx,
                       &state->lRy, &state->lRz, &state->rglSlider[0], &state->rglSlider[1]};
    int axisCount = SDL_JoystickNumAxes(joystick_);
    for (int i = 0; i < 8; ++i)
      *values[i] = Scale(i < axisCount ? SDL_JoystickGetAxis(joystick_, i) : 0, axes_[i]);
    int hatCount = std::min(4, SDL_JoystickNumHats(joystick_));
    for (int i = 0; i < 4; ++i) state->rgdwPOV[i] = i < hatCount ? HatAngle(SDL_JoystickGetHat(joystick_, i)) : 0xFFFFFFFF;
    int buttonCount = std::min(32, SDL_JoystickNumButtons(joystick_));
    for (int i = 0; i < buttonCount; ++i) state->rgbButtons[i] = SDL_JoystickGetButton(joystick_, i) ? 0x80 : 0;
    return DI_OK;
  }

 private:
  static LONG Scale(Sint16 raw, const AxisSetting& axis) {
    double v = std::clamp(raw / 32767.0, -1.0, 1.0);
    double zone = axis.deadZone / 10000.0;
    double magnitude = std::abs(v);
    if (magnitude <= zone) {
      v = 0;
    } else if (zone > 0) {
      v = (v < 0 ? -1 : 1) * (magnitude - zone) / (1 - zone);
    }
    double span = double(axis.max) - double(axis.min);
    double scaled = double(axis.min) + (v + 1) * span / 2;
    return LONG(std::clamp(std::floor(scaled + 0.5), double(axis.min), double(axis.max)));
  }

  static DWORD HatAngle(Uint8 hat) {
    switch (hat) {
      case SDL_HAT_UP: return 0;
      case SDL_HAT_RIGHTUP: return 4500;
      case SDL_HAT_RIGHT: return 9000;
      case SDL_HAT_RIGHTDOWN: return 13500;
      case SDL_HAT_DOWN: return 18000;
      case SDL_HAT_LEFTDOWN: return 22500;
      case SDL_HAT_LEFT: return 27000;
      case SDL_HAT_LEFTUP: return 31500;
      default: return 0xFFFFFFFF;
    }
  }

  SDL_Joystick* joystick_;
  AxisSetting axes_[8];
};

}  // namespace

HRESULT CreateJoystick(const GUID& instance, Device** out) {
  *out = nullptr;
  if (instance.Data2 != kMarker || !JoysticksReady()) return DIERR_DEVICENOTREG;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) {
    if (!(InstanceGuid(SDL_JoystickGetDeviceInstanceID(i)) == instance)) continue;
    SDL_Joystick* joystick = SDL_JoystickOpen(i);
    if (!joystick) return DIERR_DEVICENOTREG;
    *out = new (std::nothrow) Joystick(joystick);
    if (!*out) return SDL_JoystickClose(joystick), E_OUTOFMEMORY;
    return DI_OK;
  }
  return DIERR_DEVICENOTREG;
}

void EnumJoysticks(LPDIENUMDEVICESCALLBACKA callback, void* reference) {
  if (!JoysticksReady()) return;
  // The list is taken first so that the callback runs without the lock.
  std::deque<DIDEVICEINSTANCEA> found;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    SDL_JoystickUpdate();
    for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) {
      DIDEVICEINSTANCEA instance{};
      instance.dwSize = sizeof instance;
      instance.guidInstance = InstanceGuid(SDL_JoystickGetDeviceInstanceID(i));
      SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(i);
      std::memcpy(&instance.guidProduct, product.data, sizeof instance.guidProduct);
      instance.dwDevType = 0x14;
      const char* name = SDL_JoystickNameForIndex(i);
      std::snprintf(instance.tszInstanceName, sizeof instance.tszInstanceName, "%s", name ? name : "");
      std::snprintf(instance.tszProductName, sizeof instance.tszProductName, "%s", name ? name : "");
      found.push_back(instance);
    }
  }
  for (const DIDEVICEINSTANCEA& instance : found)
    if (callback(&instance, reference) == DIENUM_STOP) break;
}

}  // namespace SLDInput8
