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
    : m_spin(0),
      m_dinput8(nullptr),
      m_directInput8Create(nullptr),
      m_kernel32(nullptr),
      m_getModuleHandleA(nullptr),
      m_getModuleHandleW(nullptr),
      m_user32(nullptr),
      m_registerWindowMessageA(nullptr),
      m_registerWindowMessageW(nullptr),
      m_postMessageA(nullptr),
      m_postMessageW(nullptr),
      m_systemParametersInfoA(nullptr),
      m_systemParametersInfoW(nullptr),
      m_getActiveWindow(nullptr),
      m_isIconic(nullptr),
      m_getSystemMetrics(nullptr),
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
  m_directInput8Create = nullptr;
  m_objects.Free();
}

bool CSL_GS_InputDirectXInternal::Initialize() {
  m_dinput8 = SLLoadLibrary(u"dinput8.dll");
  if (m_dinput8) SLBindProc(m_dinput8, u"DirectInput8Create", &m_directInput8Create);
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetModuleHandleA", &m_getModuleHandleA);
    SLBindProc(m_kernel32, u"GetModuleHandleW", &m_getModuleHandleW);
  }
  m_user32 = SLLoadLibrary(u"user32.dll");
  if (m_user32) {
    SLBindProc(m_user32, u"RegisterWindowMessageA", &m_registerWindowMessageA);
    SLBindProc(m_user32, u"RegisterWindowMessageW", &m_registerWindowMessageW);
    SLBindProc(m_user32, u"PostMessageA", &m_postMessageA);
    SLBindProc(m_user32, u"PostMessageW", &m_postMessageW);
    SLBindProc(m_user32, u"SystemParametersInfoA", &m_systemParametersInfoA);
    SLBindProc(m_user32, u"SystemParametersInfoW", &m_systemParametersInfoW);
    SLBindProc(m_user32, u"GetActiveWindow", &m_getActiveWindow);
    SLBindProc(m_user32, u"IsIconic", &m_isIconic);
    SLBindProc(m_user32, u"GetSystemMetrics", &m_getSystemMetrics);
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

void CSL_GS_InputDirectXInternal::Lock() {
  while (m_spin.exchange(1, std::memory_order_acquire) == 1) SLSleep(1);
}

void CSL_GS_InputDirectXInternal::Unlock() { m_spin.exchange(0, std::memory_order_release); }

IDirectInput8A* CSL_GS_InputDirectXInternal::GetDirectInput(HINSTANCE instance) {
  Lock();
  auto unlock = SLMakeScopeGuard([this] { Unlock(); });
  for (Entry& entry : m_objects) {
    if (entry.instance == instance) {
      ++entry.uses;
      return SLSucceed(entry.object);
    }
  }
  if (!m_dinput8) return SLFail(SL_E_INPUT_NO_LIBRARY, static_cast<IDirectInput8A*>(nullptr));
  if (!m_directInput8Create) return SLFail(SL_E_INPUT_NO_ENTRY, static_cast<IDirectInput8A*>(nullptr));
  void* object = nullptr;
  if (m_directInput8Create(instance, DIRECTINPUT_VERSION, kDirectInput8A, &object, nullptr) < 0 || !object)
    return SLFail(SL_E_INPUT_DEVICE_SETUP, static_cast<IDirectInput8A*>(nullptr));
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
  if (m_getModuleHandleA) return m_getModuleHandleA(nullptr);
  return m_getModuleHandleW ? m_getModuleHandleW(nullptr) : nullptr;
}

UINT CSL_GS_InputDirectXInternal::RegisterWindowMessage(const char* name) {
  if (m_registerWindowMessageA) return m_registerWindowMessageA(name);
  if (!m_registerWindowMessageW) return 0;
  CSLStringWide wide;
  if (!wide.AssignA(name)) return 0;
  return m_registerWindowMessageW(wide.GetBufferTerminated());
}

BOOL CSL_GS_InputDirectXInternal::PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_postMessageA) return m_postMessageA(window, message, wParam, lParam);
  return m_postMessageW ? m_postMessageW(window, message, wParam, lParam) : FALSE;
}

BOOL CSL_GS_InputDirectXInternal::SystemParametersInfo(UINT action, UINT param, void* data, UINT winIni) {
  if (m_systemParametersInfoA) return m_systemParametersInfoA(action, param, data, winIni);
  return m_systemParametersInfoW ? m_systemParametersInfoW(action, param, data, winIni) : FALSE;
}

HWND CSL_GS_InputDirectXInternal::GetActiveWindow() { return m_getActiveWindow ? m_getActiveWindow() : nullptr; }

BOOL CSL_GS_InputDirectXInternal::IsIconic(HWND window) { return m_isIconic ? m_isIconic(window) : FALSE; }

int CSL_GS_InputDirectXInternal::GetSystemMetrics(int index) {
  return m_getSystemMetrics ? m_getSystemMetrics(index) : 0;
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

}  // namespace SLInternals
