// The loader shared by the keyboard, mouse and joystick: binds "dinput8.dll" and the
// window-system calls by name and shares one DirectInput object per module instance.
#pragma once

#include <atomic>

#include "foundation/SLArray.h"
#include "foundation/SLBaseEvent.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"
#include "foundation/SLTypes.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLPhaseHooks.h"
#include "platform/dinput8/DInput8.h"
#include "platform/user32/User32.h"

namespace SLInternals {

class CSL_GS_InputDirectXInternal : public CSLBaseOODClass {
 public:
  CSL_GS_InputDirectXInternal();
  ~CSL_GS_InputDirectXInternal() override;
  bool Initialize() override;  // binds what there is; always true

  // The loader, made on first use (null with 0x80000001 when it cannot be made).
  static CSL_GS_InputDirectXInternal* GetInstance();

  IDirectInput8A* GetDirectInput(HINSTANCE instance);
  void ReleaseDirectInput(IDirectInput8A* object);

  HMODULE GetModuleHandle();
  UINT RegisterWindowMessage(const char* name);
  BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL SystemParametersInfo(UINT action, UINT param, void* data, UINT winIni);
  HWND GetActiveWindow();
  BOOL IsIconic(HWND window);
  int GetSystemMetrics(int index);

  const DIDATAFORMAT* KeyboardFormat() const { return &m_keyboardFormat; }

 private:
  struct Entry {
    HINSTANCE instance;
    IDirectInput8A* object;
    u32 uses;
  };
  void Lock();
  void Unlock();

  TSLArray<Entry> m_objects;
  SLFastLock m_lock;
  HMODULE m_dinput8;
  HRESULT (*m_pDirectInput8Create)(HINSTANCE, DWORD, const GUID&, void**, void*);
  HMODULE m_kernel32;
  HMODULE (*m_pGetModuleHandleA)(LPCSTR);
  HMODULE (*m_pGetModuleHandleW)(LPCWSTR);
  HMODULE m_user32;
  UINT (*m_pRegisterWindowMessageA)(LPCSTR);
  UINT (*m_pRegisterWindowMessageW)(LPCWSTR);
  BOOL (*m_pPostMessageA)(HWND, UINT, WPARAM, LPARAM);
  BOOL (*m_pPostMessageW)(HWND, UINT, WPARAM, LPARAM);
  BOOL (*m_pSystemParametersInfoA)(UINT, UINT, void*, UINT);
  BOOL (*m_pSystemParametersInfoW)(UINT, UINT, void*, UINT);
  HWND (*m_pGetActiveWindow)();
  BOOL (*m_pIsIconic)(HWND);
  int (*m_pGetSystemMetrics)(int);
  DIOBJECTDATAFORMAT m_keyboardObjects[256];
  DIDATAFORMAT m_keyboardFormat;
};

// Bit 0 of a key or button byte follows the key; bit 1 tells that it moved at this poll.
void SL_GS_UpdateStateByte(u8& b, bool down);

// The focus messages every input device handles the same way on `device` (null: none
// yet): activation acquires, deactivation and entering a menu or move loop unacquire,
// leaving them posts the device's sync message, which (un)acquires on the window's thread.
void SL_GS_HandleFocusMessage(IDirectInputDevice8A* device, HWND window, u32 syncMessage, u32 message,
                              WPARAM wParam, LPARAM lParam);

// The start every device's Init shares: the DirectInput object of the module instance
// (the program's own when *instance is null) and a window hook that hands the window's
// messages to `target`. False with the code set on failure; whatever was made is left in
// the outputs, for the device's Shutdown to give back through SL_GS_DisconnectInput.
bool SL_GS_ConnectInput(HWND window, CSLWndProcHookTarget* target, HINSTANCE* instance, IDirectInput8A** input,
                        CSLWndProcHook** hook);
// Detaches and releases the hook and gives the DirectInput object back (either may be null).
void SL_GS_DisconnectInput(CSLWndProcHook* hook, IDirectInput8A* input);

// The end every device's Init shares: registers the device's sync message, adds its poll
// to the logic tick and posts the sync message, so that the device is acquired by the
// window's own thread. False with the code set when the message or the hook cannot be had.
bool SL_GS_StartPolling(HWND window, const char* syncName, u32 priority, SLPhaseHookFunction poll,
                        std::uintptr_t argument, u32* syncMessage, u32* phaseHook, bool* phaseHookAdded);

// A failed Init after its state exists: undoes what was made, then sets `code`.
template <class Owner>
bool SL_GS_AbortInit(Owner* owner, u32 code) {
  owner->Shutdown();
  return SLFail(code, false);
}

// The start of every device's Init: refuses a null window and a started device, allocates
// the zero-filled state with its owner, module instance and window into `slot`, and
// connects it (SL_GS_ConnectInput) with `target` taking the window's messages. Null with
// the code set on failure, the device then not started.
template <class State, class Owner>
State* SL_GS_BeginInput(State*& slot, Owner* owner, CSLWndProcHookTarget* target, HINSTANCE instance, HWND window) {
  if (!window) return SLFail(SL_E_INVALID_ARG, static_cast<State*>(nullptr));
  if (slot) return SLFail(SL_E_ALREADY_INITIALISED, static_cast<State*>(nullptr));
  auto* state = static_cast<State*>(SLAllocZeroed(u32(sizeof(State))));
  if (!state) return nullptr;
  state->owner = owner;
  state->instance = instance;
  state->window = window;
  slot = state;
  if (!SL_GS_ConnectInput(window, target, &state->instance, &state->input, &state->hook)) {
    SL_GS_AbortInit(owner, SLGetLastError());
    return nullptr;
  }
  return state;
}

// After the device's own set-up: the shared start of SL_GS_StartPolling for any state.
template <class State>
bool SL_GS_StartPolling(State* state, const char* syncName, u32 priority, SLPhaseHookFunction poll) {
  return SL_GS_StartPolling(state->window, syncName, priority, poll, reinterpret_cast<std::uintptr_t>(state),
                            &state->syncMessage, &state->phaseHook, &state->phaseHookAdded);
}

// Every device's Shutdown: tells the listeners the device is going, removes the poll,
// lets `release` give back the device's own parts, then the hook and the DirectInput
// object, frees the state and clears `slot`. Nothing when not started; error 0.
template <class Sender, class State, class ReleaseFunction>
void SL_GS_EndInput(Sender* sender, State*& slot, ReleaseFunction release) {
  if (State* state = slot) {
    CSLEventSourceDying dying;
    sender->Send(&dying);
    if (state->phaseHookAdded) SL_GS_RemovePhaseHook(state->phaseHook);
    release(state);
    SL_GS_DisconnectInput(state->hook, state->input);
    SLFree(state);
    slot = nullptr;
  }
  SLSetLastError(0);
}

// WM_DESTROY as every device takes it: the message goes on to the window first, then the
// device shuts down; the hook is kept alive across, for the caller returns through it.
template <class ShutdownFunction>
LRESULT SL_GS_PassDestroy(CSLWndProcHook* hook, WPARAM wParam, LPARAM lParam, ShutdownFunction shutdown) {
  hook->AddRef();
  LRESULT result = hook->CallPrevious(WM_DESTROY, wParam, lParam);
  shutdown();
  hook->Release();
  return result;
}

}  // namespace SLInternals
