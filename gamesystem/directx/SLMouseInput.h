// The mouse device: a pointer position of its own inside the pointer area, the movement
// during the last poll and four buttons, read once per logic tick from the buffered
// movement and button elements of the platform's mouse.
#pragma once

#include "foundation/SLBaseEvent.h"
#include "foundation/SLObject.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLEventSender.h"

class CSL_GS_BaseMouseInput : public CSLObject, public TSLEventSender<CSL_GS_BaseMouseInput, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseMouseInput)
 public:
  CSL_GS_BaseMouseInput();
  virtual bool Init(HINSTANCE instance, HWND window) = 0;
  virtual void Shutdown() = 0;
  virtual i32 GetX() = 0;
  virtual i32 GetY() = 0;
  virtual i32 GetDeltaX() = 0;
  virtual i32 GetDeltaY() = 0;
  virtual u32 GetButtonMask() = 0;
  virtual u32 IsButtonDown(u32 button) = 0;      // 1..4
  virtual u32 HasButtonChanged(u32 button) = 0;  // 1..4
  virtual bool SetPosition(i32 x, i32 y) = 0;
  // The rectangle the position stays in: [left, right - 1] x [top, bottom - 1].
  bool SetArea(i32 left, i32 top, i32 right, i32 bottom);
  bool GetArea(i32* left, i32* top, i32* right, i32* bottom);

 protected:
  i32 ClampX(i64 x) const { return Clamp(x, m_area[0], m_area[2]); }
  i32 ClampY(i64 y) const { return Clamp(y, m_area[1], m_area[3]); }

 private:
  static i32 Clamp(i64 c, i32 low, i32 high) {
    if (c < low) return low;
    if (c >= high) return high > low ? high - 1 : low;  // an empty area keeps its corner
    return i32(c);
  }
  i32 m_area[4];
};

namespace SLInternals {
struct SLMouseState;
}

class CSL_GS_MouseInput_DirectX : public CSL_GS_BaseMouseInput, private CSLWndProcHookTarget {
  SL_DECLARE_CLASS(CSL_GS_MouseInput_DirectX)
 public:
  CSL_GS_MouseInput_DirectX();
  ~CSL_GS_MouseInput_DirectX() override;

  bool Init(HINSTANCE instance, HWND window) override;
  void Shutdown() override;
  i32 GetX() override;
  i32 GetY() override;
  i32 GetDeltaX() override;
  i32 GetDeltaY() override;
  u32 GetButtonMask() override;
  u32 IsButtonDown(u32 button) override;
  u32 HasButtonChanged(u32 button) override;
  bool SetPosition(i32 x, i32 y) override;

 private:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam, LPARAM lParam) override;
  static void Poll(std::uintptr_t argument);
  void ReadMouseSettings();

  SLInternals::SLMouseState* m_state;
};
