// The keyboard device: once per logic tick it tells which keys are held and which
// changed at that poll, and hands out the typed characters one per tick. Keys are
// named by framework key codes 0..543 that do not depend on the platform.
#pragma once

#include "foundation/SLBaseEvent.h"
#include "foundation/SLObject.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLEventSender.h"

enum : u32 {
  SL_GS_KEY_COUNT = 544,
};

// The bits of a key's state byte: held now, and changed at the last poll; other bits mean nothing.
enum : u8 {
  SL_GS_KEYSTATE_HELD = 0x01,
  SL_GS_KEYSTATE_CHANGED = 0x02,
};

class CSL_GS_BaseKeyboardInput : public CSLObject, public TSLEventSender<CSL_GS_BaseKeyboardInput, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseKeyboardInput)
 public:
  virtual bool Init(HINSTANCE instance, HWND window) = 0;
  virtual void Shutdown() = 0;
  // Copies min(size, 544) bytes of the key states (SL_GS_KEYSTATE_HELD, SL_GS_KEYSTATE_CHANGED).
  virtual bool GetState(u8* buffer, u32 size) = 0;
  virtual u32 IsKeyDown(u32 code) = 0;
  virtual u32 HasKeyChanged(u32 code) = 0;
  // The character of this tick (the same one on every call during the tick), 0 for none.
  virtual SLWChar GetNextChar() = 0;
};

namespace SLInternals {
struct SLKeyboardState;
}

class CSL_GS_KeyboardInput_DirectX : public CSL_GS_BaseKeyboardInput, private CSLWndProcHookTarget {
  SL_DECLARE_CLASS(CSL_GS_KeyboardInput_DirectX)
 public:
  CSL_GS_KeyboardInput_DirectX();
  ~CSL_GS_KeyboardInput_DirectX() override;

  bool Init(HINSTANCE instance, HWND window) override;
  void Shutdown() override;
  bool GetState(u8* buffer, u32 size) override;
  u32 IsKeyDown(u32 code) override;
  u32 HasKeyChanged(u32 code) override;
  SLWChar GetNextChar() override;

  // The framework code of a set-1 scan code (extended keys + 0x80), -1 for none.
  static i32 KeyCodeOfScanCode(u32 scanCode);

 private:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam, LPARAM lParam) override;
  static void Poll(std::uintptr_t argument);

  SLInternals::SLKeyboardState* m_state;
};
