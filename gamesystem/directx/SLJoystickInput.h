// The joystick device: up to eight game controllers found at Init, each with six axes
// and two sliders in -1000..1000, four hats and 32 buttons, read once per logic tick.
#pragma once

#include "foundation/SLBaseEvent.h"
#include "foundation/SLObject.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLEventSender.h"

struct DIDEVICEINSTANCEA;

enum : u32 { SL_GS_JOYSTICK_DEVICES = 8 };

// What GetDeviceInfo reports of one controller.
struct SL_GS_JoystickDeviceInfo {
  char name[64];
  u32 forceFeedback;
  u32 axes;     // at most 8
  u32 buttons;  // at most 32
  u32 hats;     // at most 4
};

class CSL_GS_BaseJoystickInput : public CSLObject,
                                 public TSLEventSender<CSL_GS_BaseJoystickInput, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseJoystickInput)
 public:
  virtual bool Init(HINSTANCE instance, HWND window) = 0;
  virtual void Shutdown() = 0;
  virtual i32 GetX(u32 device) = 0;
  virtual i32 GetY(u32 device) = 0;
  virtual i32 GetZ(u32 device) = 0;
  virtual i32 GetRotationX(u32 device) = 0;
  virtual i32 GetRotationY(u32 device) = 0;
  virtual i32 GetRotationZ(u32 device) = 0;
  virtual u32 GetButtonMask(u32 device) = 0;
  virtual u32 IsButtonDown(u32 device, u32 button) = 0;      // 1..32
  virtual u32 HasButtonChanged(u32 device, u32 button) = 0;  // 1..32
  virtual i32 GetSlider(u32 device, u32 slider) = 0;         // 1..2
  virtual i32 GetPOV(u32 device, u32 hat) = 0;               // 1..4; -1 centred
  virtual bool GetDeviceInfo(u32 device, SL_GS_JoystickDeviceInfo* info) = 0;
};

namespace SLInternals {
struct SLJoystickState;
struct SLJoystickRecord;
}  // namespace SLInternals

class CSL_GS_JoystickInput_DirectX : public CSL_GS_BaseJoystickInput, private CSLWndProcHookTarget {
  SL_DECLARE_CLASS(CSL_GS_JoystickInput_DirectX)
 public:
  CSL_GS_JoystickInput_DirectX();
  ~CSL_GS_JoystickInput_DirectX() override;

  bool Init(HINSTANCE instance, HWND window) override;
  void Shutdown() override;
  i32 GetX(u32 device) override;
  i32 GetY(u32 device) override;
  i32 GetZ(u32 device) override;
  i32 GetRotationX(u32 device) override;
  i32 GetRotationY(u32 device) override;
  i32 GetRotationZ(u32 device) override;
  u32 GetButtonMask(u32 device) override;
  u32 IsButtonDown(u32 device, u32 button) override;
  u32 HasButtonChanged(u32 device, u32 button) override;
  i32 GetSlider(u32 device, u32 slider) override;
  i32 GetPOV(u32 device, u32 hat) override;
  bool GetDeviceInfo(u32 device, SL_GS_JoystickDeviceInfo* info) override;

 private:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam, LPARAM lParam) override;
  static void Poll(std::uintptr_t argument);
  static BOOL EnumCallback(const DIDEVICEINSTANCEA* instance, void* reference);
  // The record of a device with a controller, or null with the error set.
  const SLInternals::SLJoystickRecord* Record(u32 device);
  i32 Axis(u32 device, u32 axis);

  SLInternals::SLJoystickState* m_state;
};
