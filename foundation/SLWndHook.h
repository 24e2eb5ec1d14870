// Window-procedure hooks: an object sees every message of a window it did not create,
// answers it or passes it on. Up to 16 hooks sit on one window; the newest sees a
// message first and each passes it down with CallPrevious to the window's own procedure.
#pragma once

#include "foundation/SLObject.h"
#include "platform/wintypes.h"

enum : u32 {
  SL_E_HOOK_ATTACHED = 0x80010005,
  SL_E_HOOK_LIMIT = 0x8000200d,
};

class CSLWndProcHook;

class CSLWndProcHookTarget {
 public:
  virtual ~CSLWndProcHookTarget() = default;
  virtual LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam,
                                  LPARAM lParam) = 0;
};

namespace SLInternals {
struct SLWndProcHookRecord;
}

class CSLWndProcHook : public CSLObject {
  SL_DECLARE_CLASS(CSLWndProcHook)
 public:
  CSLWndProcHook();
  ~CSLWndProcHook() override;

  virtual HWND CreateHookedWindowW(u32 exStyle, const SLWChar* className, const SLWChar* windowName, u32 style,
                                   i32 x, i32 y, i32 width, i32 height, HWND parent, void* menu,
                                   HINSTANCE instance, void* param, CSLWndProcHookTarget* target);
  virtual HWND CreateHookedWindowA(u32 exStyle, const char* className, const char* windowName, u32 style, i32 x,
                                   i32 y, i32 width, i32 height, HWND parent, void* menu, HINSTANCE instance,
                                   void* param, CSLWndProcHookTarget* target);
  // The base passes the message being processed on to the previous procedure.
  virtual LRESULT WindowProc(HWND window, u32 message, WPARAM wParam, LPARAM lParam);

  bool Attach(HWND window, CSLWndProcHookTarget* target);
  bool Detach();
  LRESULT CallPrevious(u32 message, WPARAM wParam, LPARAM lParam);
  bool IsAttached() const { return m_record != nullptr; }
  HWND GetWindow() const;

 private:
  friend struct SLInternals::SLWndProcHookRecord;
  SLInternals::SLWndProcHookRecord* m_record;
};
