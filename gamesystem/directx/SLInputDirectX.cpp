#include "gamesystem/directx/SLInputDirectX.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"

namespace SLInternals {
namespace {

CSL_GS_InputDirectXInternal* g_inputApi = nullptr;

// GUIDs as the platform spells them; the framework keeps its own copies so that it
// needs nothing but the entry point from the library.
const GUID kKeyGuid = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};

}  // namespace

CSL_GS_InputDirectXInternal::CSL_GS_InputDirectXInternal()
    : m_dinput8(nullptr),
      m_pDirectInput8Create(nullptr),
      m_kernel32(nullptr),
      m_pGetModuleHandleA(nullptr),
      m_pGetModuleHandleW(nullptr),
      m_user32(nullptr),
      m_pRegisterWindowMessageA(nullptr),
      m_pRegisterWindowMessageW(nullptr),
      m_pPostMessageA(nullptr),
      m_pPostMessageW(nullptr),
      m_pSystemParametersInfoA(nullptr),
      m_pSystemParametersInfoW(nullptr),
      m_pGetActiveWindow(nullptr),
      m_pIsIconic(nullptr),
      m_pGetSystemMetrics(nullptr),
      m_keyboardObjects{},
      m_keyboardFormat{} {}

CSL_GS_InputDirectXInternal::~CSL_GS_InputDirectXInternal() {
  SLErrorKeeper keeper;
  while (m_objects.GetCount() > 0) {
    m_objects[0].object->Release();
    m_objects.RemoveAt(0);
  }
  if (m_dinput8) SLFreeLibrary(m_dinput8);
  if (m_user32) SLFreeLibrary(m_user32);
  if (m_kernel32) SLFreeLibrary(m_kernel32);
  m_dinput8 = m_user32 = m_kernel32 = nullptr;
  m_pDirectInput8Create = nullptr;
  m_objects.Free();
}

bool CSL_GS_InputDirectXInternal::Initialize() {
  m_dinput8 = SLLoadLibrary(u"dinput8.dll");
  if (m_dinput8) SLBindProc(m_dinput8, u"DirectInput8Create", &m_pDirectInput8Create);
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetModuleHandleA", &m_pGetModuleHandleA);
    SLBindProc(m_kernel32, u"GetModuleHandleW", &m_pGetModuleHandleW);
  }
  m_user32 = SLLoadLibrary(u"user32.dll");
  if (m_user32) {
    SLBindProc(m_user32, u"RegisterWindowMessageA", &m_pRegisterWindowMessageA);
    SLBindProc(m_user32, u"RegisterWindowMessageW", &m_pRegisterWindowMessageW);
    SLBindProc(m_user32, u"PostMessageA", &m_pPostMessageA);
    SLBindProc(m_user32, u"PostMessageW", &m_pPostMessageW);
    SLBindProc(m_user32, u"SystemParametersInfoA", &m_pSystemParametersInfoA);
    SLBindProc(m_user32, u"SystemParametersInfoW", &m_pSystemParametersInfoW);
    SLBindProc(m_user32, u"GetActiveWindow", &m_pGetActiveWindow);
    SLBindProc(m_user32, u"IsIconic", &m_pIsIconic);
    SLBindProc(m_user32, u"GetSystemMetrics", &m_pGetSystemMetrics);
  }
  // The standard keyboard format: one optional button per scan code.
  for (u32 i = 0; i < 256; ++i)
    m_keyboardObjects[i] = {&kKeyGuid, i, DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i) | DIDFT_OPTIONAL, 0};
  m_keyboardFormat = {24, 16, DIDF_RELAXIS, 256, 256, m_keyboardObjects};
  return true;
}

CSL_GS_InputDirectXInternal* CSL_GS_InputDirectXInternal::GetInstance() {
  CSL_GS_InputDirectXInternal* instance = SLGetSingleton(g_inputApi, SL_OOD_PRIORITY_DEVICE_LOADERS);
  if (!instance) SLSetLastError(SL_E_OUT_OF_MEMORY);
  return instance;
}

void CSL_GS_InputDirectXInternal::Lock() { SLSpinLock(&m_lock); }

void CSL_GS_InputDirectXInternal::Unlock() { SLSpinUnlock(&m_lock); }

IDirectInput8A* CSL_GS_InputDirectXInternal::GetDirectInput(HINSTANCE instance) {
  Lock();
  auto unlock = SLMakeScopeGuard([this] { Unlock(); });
  for (Entry& entry : m_objects) {
    if (entry.instance == instance) {
      ++entry.uses;
      return SLSucceed(entry.object);
    }
  }
  if (!m_dinput8) return SLFail(SL_E_LIBRARY_NOT_LOADED, static_cast<IDirectInput8A*>(nullptr));
  if (!m_pDirectInput8Create) return SLFail(SL_E_ENTRY_MISSING, static_cast<IDirectInput8A*>(nullptr));
  void* object = nullptr;
  if (m_pDirectInput8Create(instance, DIRECTINPUT_VERSION, kDirectInput8A, &object, nullptr) < 0 || !object)
    return SLFail(SL_E_SETUP_FAILED, static_cast<IDirectInput8A*>(nullptr));
  auto* input = static_cast<IDirectInput8A*>(object);
  if (!m_objects.Add(Entry{instance, input, 1})) {
    SLErrorKeeper keeper;
    input->Release();
    return nullptr;
  }
  return SLSucceed(input);
}

void CSL_GS_InputDirectXInternal::ReleaseDirectInput(IDirectInput8A* object) {
  Lock();
  auto unlock = SLMakeScopeGuard([this] { Unlock(); });
  for (u32 i = 0; i < m_objects.GetCount(); ++i) {
    if (m_objects[i].object != object) continue;
    if (--m_objects[i].uses == 0) {
      object->Release();
      SLErrorKeeper keeper;
      m_objects.RemoveAt(i);
    }
    return;
  }
}

HMODULE CSL_GS_InputDirectXInternal::GetModuleHandle() {
  if (m_pGetModuleHandleA) return m_pGetModuleHandleA(nullptr);
  return m_pGetModuleHandleW ? m_pGetModuleHandleW(nullptr) : nullptr;
}

UINT CSL_GS_InputDirectXInternal::RegisterWindowMessage(const char* name) {
  if (m_pRegisterWindowMessageA) return m_pRegisterWindowMessageA(name);
  if (!m_pRegisterWindowMessageW) return 0;
  CSLStringWide wide;
  if (!wide.AssignA(name)) return 0;
  return m_pRegisterWindowMessageW(wide.GetBufferTerminated());
}

BOOL CSL_GS_InputDirectXInternal::PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pPostMessageA) return m_pPostMessageA(window, message, wParam, lParam);
  return m_pPostMessageW ? m_pPostMessageW(window, message, wParam, lParam) : FALSE;
}

BOOL CSL_GS_InputDirectXInternal::SystemParametersInfo(UINT action, UINT param, void* data, UINT winIni) {
  if (m_pSystemParametersInfoA) return m_pSystemParametersInfoA(action, param, data, winIni);
  return m_pSystemParametersInfoW ? m_pSystemParametersInfoW(action, param, data, winIni) : FALSE;
}

HWND CSL_GS_InputDirectXInternal::GetActiveWindow() { return m_pGetActiveWindow ? m_pGetActiveWindow() : nullptr; }

BOOL CSL_GS_InputDirectXInternal::IsIconic(HWND window) { return m_pIsIconic ? m_pIsIconic(window) : FALSE; }

int CSL_GS_InputDirectXInternal::GetSystemMetrics(int index) {
  return m_pGetSystemMetrics ? m_pGetSystemMetrics(index) : 0;
}

void SL_GS_UpdateStateByte(u8& b, bool down) {
  bool held = b & 1;
  if (down) b = u8((held ? (b & ~2u) : (b | 2u)) | 1u);
  else b = u8((held ? (b | 2u) : (b & ~2u)) & ~1u);
}

void SL_GS_HandleFocusMessage(IDirectInputDevice8A* device, HWND window, u32 syncMessage, u32 message,
                              WPARAM wParam, LPARAM lParam) {
  constexpr u32 kEnterMenuLoop = 0x211, kExitMenuLoop = 0x212, kEnterSizeMove = 0x231, kExitSizeMove = 0x232;
  switch (message) {
    case WM_ACTIVATE:
      if (!device) break;
      if (wParam == 1 || wParam == 2) device->Acquire();
      else device->Unacquire();
      break;
    case kEnterMenuLoop:
    case kEnterSizeMove:
      if (device) device->Unacquire();
      break;
    case kExitMenuLoop:
    case kExitSizeMove:
      if (CSL_GS_InputDirectXInternal* api = CSL_GS_InputDirectXInternal::GetInstance()) {
        bool active = api->GetActiveWindow() == window && !api->IsIconic(window);
        api->PostMessage(window, syncMessage, 0, active ? 1 : 0);
      }
      break;
    default:
      if (message == syncMessage && device) {
        if (lParam) device->Acquire();
        else device->Unacquire();
      }
      break;
  }
}

bool SL_GS_ConnectInput(HWND window, CSLWndProcHookTarget* target, HINSTANCE* instance, IDirectInput8A** input,
                        CSLWndProcHook** hook) {
  CSL_GS_InputDirectXInternal* api = CSL_GS_InputDirectXInternal::GetInstance();
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!*instance) *instance = api->GetModuleHandle();
  if (!*instance) return SLFail(SL_E_LIBRARY_NOT_LOADED, false);
  *input = api->GetDirectInput(*instance);
  if (!*input) return false;
  *hook = new CSLWndProcHook();
  return (*hook)->Attach(window, target);
}

void SL_GS_DisconnectInput(CSLWndProcHook* hook, IDirectInput8A* input) {
  if (hook) {
    hook->Detach();
    hook->Release();
  }
  if (input) {
    if (CSL_GS_InputDirectXInternal* api = CSL_GS_InputDirectXInternal::GetInstance()) api->ReleaseDirectInput(input);
  }
}

bool SL_GS_StartPolling(HWND window, const char* syncName, u32 priority, SLPhaseHookFunction poll,
                        std::uintptr_t argument, u32* syncMessage, u32* phaseHook, bool* phaseHookAdded) {
  CSL_GS_InputDirectXInternal* api = CSL_GS_InputDirectXInternal::GetInstance();
  if (!api) return false;
  *syncMessage = api->RegisterWindowMessage(syncName);
  if (!*syncMessage) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!SL_GS_AddPhaseHook(phaseHook, SL_GS_PHASE_LOGIC, priority, poll, argument))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  *phaseHookAdded = true;
  api->PostMessage(window, *syncMessage, 0, 1);
  return SLSucceed(true);
}

}  // namespace SLInternals
