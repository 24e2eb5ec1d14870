// The graphics device's loader: "d3d9.dll", the module handle and the window-system
// entry points it calls, bound by name.
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLSync.h"
#include "gamesystem/directx/SLGfxDirectX.h"

namespace SLInternals {

namespace {
CSL_GS_GfxDirectXInternalApi* g_gfxApi = nullptr;

// The 8-bit entry when bound, else the UTF-16 one, else 0.
template <class A, class W, class... Args>
auto CallEither(A ansi, W wide, Args... args) -> decltype(ansi(args...)) {
  if (ansi) return ansi(args...);
  return wide ? wide(args...) : decltype(ansi(args...))();
}

template <class F, class... Args>
auto CallBound(F entry, Args... args) -> decltype(entry(args...)) {
  return entry ? entry(args...) : decltype(entry(args...))();
}
}  // namespace

CSL_GS_GfxDirectXInternalApi::CSL_GS_GfxDirectXInternalApi()
    : m_d3d9(nullptr),
      m_kernel32(nullptr),
      m_user32(nullptr),
      m_gdi32(nullptr),
      m_pDirect3DCreate9(nullptr),
      m_pGetModuleHandleA(nullptr),
      m_pGetModuleHandleW(nullptr),
      m_pGetWindowLongA(nullptr),
      m_pGetWindowLongW(nullptr),
      m_pSetWindowLongA(nullptr),
      m_pSetWindowLongW(nullptr),
      m_pSetWindowPos(nullptr),
      m_pAdjustWindowRectEx(nullptr),
      m_pGetClientRect(nullptr),
      m_pClientToScreen(nullptr),
      m_pGetMenu(nullptr),
      m_pGetDesktopWindow(nullptr),
      m_pSystemParametersInfoA(nullptr),
      m_pSystemParametersInfoW(nullptr),
      m_pShowWindow(nullptr),
      m_pGetForegroundWindow(nullptr),
      m_pSetForegroundWindow(nullptr),
      m_pGetWindowThreadProcessId(nullptr),
      m_pAttachThreadInput(nullptr),
      m_pBringWindowToTop(nullptr),
      m_pSetFocus(nullptr),
      m_pSetCursor(nullptr),
      m_pLoadCursorA(nullptr),
      m_pLoadCursorW(nullptr),
      m_pBeginPaint(nullptr),
      m_pEndPaint(nullptr),
      m_pValidateRect(nullptr),
      m_pRedrawWindow(nullptr),
      m_pPatBlt(nullptr),
      m_pGetSystemMetrics(nullptr),
      m_pGetDC(nullptr),
      m_pReleaseDC(nullptr),
      m_pGetDeviceCaps(nullptr) {}

CSL_GS_GfxDirectXInternalApi::~CSL_GS_GfxDirectXInternalApi() {
  SLErrorKeeper keeper;
  for (IDirect3D9* object : m_objects) object->Release();
  m_objects.Free();
  for (HMODULE module : {m_d3d9, m_kernel32, m_user32, m_gdi32})
    if (module) SLFreeLibrary(module);
  m_d3d9 = m_kernel32 = m_user32 = m_gdi32 = nullptr;
}

bool CSL_GS_GfxDirectXInternalApi::Initialize() {
  if ((m_d3d9 = SLLoadLibrary(u"d3d9.dll"))) SLBindProc(m_d3d9, u"Direct3DCreate9", &m_pDirect3DCreate9);
  if (HMODULE k = m_kernel32 = SLLoadLibrary(u"kernel32.dll")) {
    SLBindProc(k, u"GetModuleHandleA", &m_pGetModuleHandleA);
    SLBindProc(k, u"GetModuleHandleW", &m_pGetModuleHandleW);
  }
  if (HMODULE u = m_user32 = SLLoadLibrary(u"user32.dll")) {
    SLBindProc(u, u"GetWindowLongA", &m_pGetWindowLongA);
    SLBindProc(u, u"GetWindowLongW", &m_pGetWindowLongW);
    SLBindProc(u, u"SetWindowLongA", &m_pSetWindowLongA);
    SLBindProc(u, u"SetWindowLongW", &m_pSetWindowLongW);
    SLBindProc(u, u"SetWindowPos", &m_pSetWindowPos);
    SLBindProc(u, u"AdjustWindowRectEx", &m_pAdjustWindowRectEx);
    SLBindProc(u, u"GetClientRect", &m_pGetClientRect);
    SLBindProc(u, u"ClientToScreen", &m_pClientToScreen);
    SLBindProc(u, u"GetMenu", &m_pGetMenu);
    SLBindProc(u, u"GetDesktopWindow", &m_pGetDesktopWindow);
    SLBindProc(u, u"SystemParametersInfoA", &m_pSystemParametersInfoA);
    SLBindProc(u, u"SystemParametersInfoW", &m_pSystemParametersInfoW);
    SLBindProc(u, u"ShowWindow", &m_pShowWindow);
    SLBindProc(u, u"GetForegroundWindow", &m_pGetForegroundWindow);
    SLBindProc(u, u"SetForegroundWindow", &m_pSetForegroundWindow);
    SLBindProc(u, u"GetWindowThreadProcessId", &m_pGetWindowThreadProcessId);
    SLBindProc(u, u"AttachThreadInput", &m_pAttachThreadInput);
    SLBindProc(u, u"BringWindowToTop", &m_pBringWindowToTop);
    SLBindProc(u, u"SetFocus", &m_pSetFocus);
    SLBindProc(u, u"SetCursor", &m_pSetCursor);
    SLBindProc(u, u"LoadCursorA", &m_pLoadCursorA);
    SLBindProc(u, u"LoadCursorW", &m_pLoadCursorW);
    SLBindProc(u, u"BeginPaint", &m_pBeginPaint);
    SLBindProc(u, u"EndPaint", &m_pEndPaint);
    SLBindProc(u, u"ValidateRect", &m_pValidateRect);
    SLBindProc(u, u"RedrawWindow", &m_pRedrawWindow);
    // The screen's size and depth fill a mode's missing fields.
    SLBindProc(u, u"GetSystemMetrics", &m_pGetSystemMetrics);
    SLBindProc(u, u"GetDC", &m_pGetDC);
    SLBindProc(u, u"ReleaseDC", &m_pReleaseDC);
  }
  if (HMODULE g = m_gdi32 = SLLoadLibrary(u"gdi32.dll")) {
    SLBindProc(g, u"PatBlt", &m_pPatBlt);
    SLBindProc(g, u"GetDeviceCaps", &m_pGetDeviceCaps);
  }
  return true;
}

CSL_GS_GfxDirectXInternalApi* CSL_GS_GfxDirectXInternalApi::GetInstance(bool existingOnly) {
  if (existingOnly) return g_gfxApi;
  CSL_GS_GfxDirectXInternalApi* instance = SLGetSingleton(g_gfxApi, SL_OOD_PRIORITY_DEVICE_LOADERS);
  if (!instance) SLSetLastError(SL_E_OUT_OF_MEMORY);
  return instance;
}

void CSL_GS_GfxDirectXInternalApi::Lock() { SLSpinLock(&m_lock); }

void CSL_GS_GfxDirectXInternalApi::Unlock() { SLSpinUnlock(&m_lock); }

IDirect3D9* CSL_GS_GfxDirectXInternalApi::CreateDirect3D() {
  if (!m_d3d9) return SLFail(SL_E_LIBRARY_NOT_LOADED, static_cast<IDirect3D9*>(nullptr));
  if (!m_pDirect3DCreate9) return SLFail(SL_E_ENTRY_MISSING, static_cast<IDirect3D9*>(nullptr));
  IDirect3D9* object = m_pDirect3DCreate9(D3D_SDK_VERSION);
  if (!object) return SLFail(SL_E_SETUP_FAILED, static_cast<IDirect3D9*>(nullptr));
  Lock();
  const bool added = m_objects.Add(object);
  Unlock();
  if (!added) {
    SLErrorKeeper keeper;
    object->Release();
    return nullptr;
  }
  return SLSucceed(object);
}

void CSL_GS_GfxDirectXInternalApi::ReleaseDirect3D(IDirect3D9* object) {
  if (!object) return;
  Lock();
  for (u32 i = 0; i < m_objects.GetCount(); ++i) {
    if (m_objects[i] != object) continue;
    m_objects.RemoveAt(i);
    break;
  }
  Unlock();
  object->Release();
}

HMODULE CSL_GS_GfxDirectXInternalApi::GetModuleHandle() {
  if (m_pGetModuleHandleA) return m_pGetModuleHandleA(nullptr);
  return m_pGetModuleHandleW ? m_pGetModuleHandleW(nullptr) : nullptr;
}
LONG_PTR CSL_GS_GfxDirectXInternalApi::GetWindowLong(HWND window, int index) {
  return CallEither(m_pGetWindowLongA, m_pGetWindowLongW, window, index);
}
LONG_PTR CSL_GS_GfxDirectXInternalApi::SetWindowLong(HWND window, int index, LONG_PTR value) {
  return CallEither(m_pSetWindowLongA, m_pSetWindowLongW, window, index, value);
}
BOOL CSL_GS_GfxDirectXInternalApi::SetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags) {
  return CallBound(m_pSetWindowPos, window, after, x, y, cx, cy, flags);
}
BOOL CSL_GS_GfxDirectXInternalApi::AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
  return CallBound(m_pAdjustWindowRectEx, rect, style, menu, exStyle);
}
BOOL CSL_GS_GfxDirectXInternalApi::GetClientRect(HWND window, RECT* rect) {
  return CallBound(m_pGetClientRect, window, rect);
}
BOOL CSL_GS_GfxDirectXInternalApi::ClientToScreen(HWND window, POINT* point) {
  return CallBound(m_pClientToScreen, window, point);
}
void* CSL_GS_GfxDirectXInternalApi::GetMenu(HWND window) { return CallBound(m_pGetMenu, window); }
HWND CSL_GS_GfxDirectXInternalApi::GetDesktopWindow() { return CallBound(m_pGetDesktopWindow); }
RECT CSL_GS_GfxDirectXInternalApi::GetWorkArea() {
  RECT area{};
  if (!CallEither(m_pSystemParametersInfoA, m_pSystemParametersInfoW, SPI_GETWORKAREA, 0u, static_cast<void*>(&area), 0u))
    area = RECT{};
  return area;
}
BOOL CSL_GS_GfxDirectXInternalApi::ShowWindow(HWND window, int command) {
  return CallBound(m_pShowWindow, window, command);
}
HWND CSL_GS_GfxDirectXInternalApi::GetForegroundWindow() { return CallBound(m_pGetForegroundWindow); }
BOOL CSL_GS_GfxDirectXInternalApi::SetForegroundWindow(HWND window) {
  return CallBound(m_pSetForegroundWindow, window);
}
DWORD CSL_GS_GfxDirectXInternalApi::GetWindowThreadProcessId(HWND window, DWORD* process) {
  return CallBound(m_pGetWindowThreadProcessId, window, process);
}
BOOL CSL_GS_GfxDirectXInternalApi::AttachThreadInput(DWORD attach, DWORD to, BOOL doAttach) {
  return CallBound(m_pAttachThreadInput, attach, to, doAttach);
}
BOOL CSL_GS_GfxDirectXInternalApi::BringWindowToTop(HWND window) { return CallBound(m_pBringWindowToTop, window); }
HWND CSL_GS_GfxDirectXInternalApi::SetFocus(HWND window) { return CallBound(m_pSetFocus, window); }
HCURSOR CSL_GS_GfxDirectXInternalApi::SetCursor(HCURSOR cursor) { return CallBound(m_pSetCursor, cursor); }
HCURSOR CSL_GS_GfxDirectXInternalApi::LoadArrowCursor() {
  if (m_pLoadCursorA) return m_pLoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  return CallBound(m_pLoadCursorW, static_cast<HINSTANCE>(nullptr), reinterpret_cast<LPCWSTR>(IDC_ARROW));
}
HDC CSL_GS_GfxDirectXInternalApi::BeginPaint(HWND window, PAINTSTRUCT* paint) {
  return CallBound(m_pBeginPaint, window, paint);
}
BOOL CSL_GS_GfxDirectXInternalApi::EndPaint(HWND window, const PAINTSTRUCT* paint) {
  return CallBound(m_pEndPaint, window, paint);
}
BOOL CSL_GS_GfxDirectXInternalApi::ValidateRect(HWND window, const RECT* rect) {
  return CallBound(m_pValidateRect, window, rect);
}
BOOL CSL_GS_GfxDirectXInternalApi::RedrawWindow(HWND window, const RECT* rect, void* region, UINT flags) {
  return CallBound(m_pRedrawWindow, window, rect, region, flags);
}
BOOL CSL_GS_GfxDirectXInternalApi::PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  return CallBound(m_pPatBlt, dc, x, y, width, height, rop);
}
int CSL_GS_GfxDirectXInternalApi::GetSystemMetrics(int index) { return CallBound(m_pGetSystemMetrics, index); }
HDC CSL_GS_GfxDirectXInternalApi::GetDC(HWND window) { return CallBound(m_pGetDC, window); }
int CSL_GS_GfxDirectXInternalApi::ReleaseDC(HWND window, HDC dc) { return CallBound(m_pReleaseDC, window, dc); }
int CSL_GS_GfxDirectXInternalApi::GetDeviceCaps(HDC dc, int index) {
  return CallBound(m_pGetDeviceCaps, dc, index);
}

}  // namespace SLInternals
