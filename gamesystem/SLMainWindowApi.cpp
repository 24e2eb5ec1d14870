#include "gamesystem/SLMainWindowApi.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLString.h"

namespace SLInternals {
namespace {

CSL_GS_MainWindowInternal* g_mainWindowApi = nullptr;

template <class R>
R Missing() {
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return R();
}

bool IsResourceNumber(const char* name) { return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF; }

// UTF-16 copy of an 8-bit text argument for the wide entry points: a null text and a
// resource number in the pointer pass through unchanged.
class CWideArgument {
 public:
  explicit CWideArgument(const char* text) : m_view(reinterpret_cast<const SLWChar*>(text)), m_ok(true) {
    if (IsResourceNumber(text)) return;
    SLErrorKeeper keeper;
    m_ok = m_text.AssignA(text);
    m_view = m_text.GetBufferTerminated();
    if (!m_ok || !m_view) {
      m_ok = false;
      SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
  }
  bool Ok() const { return m_ok; }
  const SLWChar* Get() const { return m_view; }

 private:
  CSLStringWide m_text;
  const SLWChar* m_view;
  bool m_ok;
};

}  // namespace

CSL_GS_MainWindowInternal::CSL_GS_MainWindowInternal()
    : m_user32(nullptr),
      m_gdi32(nullptr),
      m_ansi{},
      m_wide{},
      m_destroyIcon(nullptr),
      m_drawIconEx(nullptr),
      m_destroyWindow(nullptr),
      m_isWindow(nullptr),
      m_isIconic(nullptr),
      m_showWindow(nullptr),
      m_updateWindow(nullptr),
      m_setFocus(nullptr),
      m_setForegroundWindow(nullptr),
      m_beginPaint(nullptr),
      m_endPaint(nullptr),
      m_validateRect(nullptr),
      m_setCursor(nullptr),
      m_messageBeep(nullptr),
      m_translateMessage(nullptr),
      m_postQuitMessage(nullptr),
      m_waitMessage(nullptr),
      m_getKeyState(nullptr),
      m_getSystemMetrics(nullptr),
      m_getClientRect(nullptr),
      m_getDC(nullptr),
      m_releaseDC(nullptr),
      m_getSystemPaletteEntries(nullptr),
      m_createPalette(nullptr),
      m_selectPalette(nullptr),
      m_realizePalette(nullptr),
      m_deleteObject(nullptr) {}

bool CSL_GS_MainWindowInternal::Initialize() {
  m_user32 = SLLoadLibrary(u"user32.dll");
  m_gdi32 = SLLoadLibrary(u"gdi32.dll");
  if (HMODULE u = m_user32) {
    SLBindProc(u, u"RegisterClassExA", &m_registerClassEx.ansi);
    SLBindProc(u, u"RegisterClassExW", &m_registerClassEx.wide);
    SLBindProc(u, u"UnregisterClassA", &m_unregisterClass.ansi);
    SLBindProc(u, u"UnregisterClassW", &m_unregisterClass.wide);
    SLBindProc(u, u"GetWindowLongA", &m_getWindowLong.ansi);
    SLBindProc(u, u"GetWindowLongW", &m_getWindowLong.wide);
    SLBindProc(u, u"SetWindowLongA", &m_setWindowLong.ansi);
    SLBindProc(u, u"SetWindowLongW", &m_setWindowLong.wide);
    SLBindProc(u, u"LoadImageA", &m_loadImage.ansi);
    SLBindProc(u, u"LoadImageW", &m_loadImage.wide);
    SLBindProc(u, u"MessageBoxA", &m_messageBox.ansi);
    SLBindProc(u, u"MessageBoxW", &m_messageBox.wide);
    SLBindProc(u, u"SetWindowTextA", &m_setWindowText.ansi);
    SLBindProc(u, u"SetWindowTextW", &m_setWindowText.wide);
    SLBindProc(u, u"CreateWindowExA", &m_ansi.createWindowEx);
    SLBindProc(u, u"DefWindowProcA", &m_ansi.defWindowProc);
    SLBindProc(u, u"SendMessageA", &m_ansi.sendMessage);
    SLBindProc(u, u"PostMessageA", &m_ansi.postMessage);
    SLBindProc(u, u"PeekMessageA", &m_ansi.peekMessage);
    SLBindProc(u, u"GetMessageA", &m_ansi.getMessage);
    SLBindProc(u, u"DispatchMessageA", &m_ansi.dispatchMessage);
    SLBindProc(u, u"CreateWindowExW", &m_wide.createWindowEx);
    SLBindProc(u, u"DefWindowProcW", &m_wide.defWindowProc);
    SLBindProc(u, u"SendMessageW", &m_wide.sendMessage);
    SLBindProc(u, u"PostMessageW", &m_wide.postMessage);
    SLBindProc(u, u"PeekMessageW", &m_wide.peekMessage);
    SLBindProc(u, u"GetMessageW", &m_wide.getMessage);
    SLBindProc(u, u"DispatchMessageW", &m_wide.dispatchMessage);
    SLBindProc(u, u"DestroyIcon", &m_destroyIcon);
    SLBindProc(u, u"DrawIconEx", &m_drawIconEx);
    SLBindProc(u, u"DestroyWindow", &m_destroyWindow);
    SLBindProc(u, u"IsWindow", &m_isWindow);
    SLBindProc(u, u"IsIconic", &m_isIconic);
    SLBindProc(u, u"ShowWindow", &m_showWindow);
    SLBindProc(u, u"UpdateWindow", &m_updateWindow);
    SLBindProc(u, u"SetFocus", &m_setFocus);
    SLBindProc(u, u"SetForegroundWindow", &m_setForegroundWindow);
    SLBindProc(u, u"BeginPaint", &m_beginPaint);
    SLBindProc(u, u"EndPaint", &m_endPaint);
    SLBindProc(u, u"ValidateRect", &m_validateRect);
    SLBindProc(u, u"SetCursor", &m_setCursor);
    SLBindProc(u, u"MessageBeep", &m_messageBeep);
    SLBindProc(u, u"TranslateMessage", &m_translateMessage);
    SLBindProc(u, u"PostQuitMessage", &m_postQuitMessage);
    SLBindProc(u, u"WaitMessage", &m_waitMessage);
    SLBindProc(u, u"GetKeyState", &m_getKeyState);
    SLBindProc(u, u"GetSystemMetrics", &m_getSystemMetrics);
    SLBindProc(u, u"GetClientRect", &m_getClientRect);
    SLBindProc(u, u"GetDC", &m_getDC);
    SLBindProc(u, u"ReleaseDC", &m_releaseDC);
  }
  if (HMODULE g = m_gdi32) {
    SLBindProc(g, u"GetSystemPaletteEntries", &m_getSystemPaletteEntries);
    SLBindProc(g, u"CreatePalette", &m_createPalette);
    SLBindProc(g, u"SelectPalette", &m_selectPalette);
    SLBindProc(g, u"RealizePalette", &m_realizePalette);
    SLBindProc(g, u"DeleteObject", &m_deleteObject);
  }
  // A window is never created with one width and pumped with the other.
  if (!m_ansi.Complete()) m_ansi = {};
  if (!m_wide.Complete()) m_wide = {};
  return true;
}

CSL_GS_MainWindowInternal* CSL_GS_MainWindowInternal::Get() {
  return SLGetSingleton(g_mainWindowApi, SL_OOD_PRIORITY_MAINWINDOW_LOADER);
}

ATOM CSL_GS_MainWindowInternal::RegisterClassEx(const WNDCLASSEXA* windowClass) {
  if (m_registerClassEx.ansi) return m_registerClassEx.ansi(windowClass);
  if (!m_registerClassEx.wide || !windowClass) return Missing<ATOM>();
  CWideArgument name(windowClass->lpszClassName), menu(windowClass->lpszMenuName);
  if (!name.Ok() || !menu.Ok()) return 0;
  WNDCLASSEXW wide{u32(sizeof(WNDCLASSEXW)), windowClass->style,      windowClass->lpfnWndProc,
                   windowClass->cbClsExtra,  windowClass->cbWndExtra, windowClass->hInstance,
                   windowClass->hIcon,       windowClass->hCursor,    windowClass->hbrBackground,
                   menu.Get(),               name.Get(),              windowClass->hIconSm};
  return m_registerClassEx.wide(&wide);
}

BOOL CSL_GS_MainWindowInternal::UnregisterClass(const char* className, HINSTANCE instance) {
  if (m_unregisterClass.ansi) return m_unregisterClass.ansi(className, instance);
  if (!m_unregisterClass.wide) return Missing<BOOL>();
  CWideArgument name(className);
  return name.Ok() ? m_unregisterClass.wide(name.Get(), instance) : FALSE;
}

LONG_PTR CSL_GS_MainWindowInternal::GetWindowLong(HWND window, int index) {
  return SLCallEntry(m_getWindowLong.ansi ? m_getWindowLong.ansi : m_getWindowLong.wide, window, index);
}

LONG_PTR CSL_GS_MainWindowInternal::SetWindowLong(HWND window, int index, LONG_PTR value) {
  return SLCallEntry(m_setWindowLong.ansi ? m_setWindowLong.ansi : m_setWindowLong.wide, window, index, value);
}

HANDLE CSL_GS_MainWindowInternal::LoadImage(HINSTANCE instance, const char* name, UINT type, int width, int height,
                                            UINT flags) {
  if (m_loadImage.ansi) return m_loadImage.ansi(instance, name, type, width, height, flags);
  if (!m_loadImage.wide) return Missing<HANDLE>();
  CWideArgument wideName(name);
  return wideName.Ok() ? m_loadImage.wide(instance, wideName.Get(), type, width, height, flags) : nullptr;
}

int CSL_GS_MainWindowInternal::MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  if (m_messageBox.ansi) return m_messageBox.ansi(owner, text, caption, type);
  if (!m_messageBox.wide) return Missing<int>();
  CWideArgument wideText(text), wideCaption(caption);
  return wideText.Ok() && wideCaption.Ok() ? m_messageBox.wide(owner, wideText.Get(), wideCaption.Get(), type) : 0;
}

BOOL CSL_GS_MainWindowInternal::SetWindowText(HWND window, const char* text) {
  if (m_setWindowText.ansi) return m_setWindowText.ansi(window, text);
  if (!m_setWindowText.wide) return Missing<BOOL>();
  CWideArgument wideText(text);
  return wideText.Ok() ? m_setWindowText.wide(window, wideText.Get()) : FALSE;
}

HWND CSL_GS_MainWindowInternal::CreateWindowEx(DWORD exStyle, const char* className, const char* title, DWORD style,
                                               int x, int y, int width, int height, HWND parent, void* menu,
                                               HINSTANCE instance, void* param) {
  if (m_ansi.createWindowEx)
    return m_ansi.createWindowEx(exStyle, className, title, style, x, y, width, height, parent, menu, instance,
                                 param);
  if (!m_wide.createWindowEx) return Missing<HWND>();
  CWideArgument wideClass(className), wideTitle(title);
  if (!wideClass.Ok() || !wideTitle.Ok()) return nullptr;
  return m_wide.createWindowEx(exStyle, wideClass.Get(), wideTitle.Get(), style, x, y, width, height, parent, menu,
                               instance, param);
}

LRESULT CSL_GS_MainWindowInternal::DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SLCallEntry(m_ansi.defWindowProc ? m_ansi.defWindowProc : m_wide.defWindowProc, window, message, wParam,
                   lParam);
}

LRESULT CSL_GS_MainWindowInternal::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SLCallEntry(m_ansi.sendMessage ? m_ansi.sendMessage : m_wide.sendMessage, window, message, wParam, lParam);
}

BOOL CSL_GS_MainWindowInternal::PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SLCallEntry(m_ansi.postMessage ? m_ansi.postMessage : m_wide.postMessage, window, message, wParam, lParam);
}

BOOL CSL_GS_MainWindowInternal::PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  return SLCallEntry(m_ansi.peekMessage ? m_ansi.peekMessage : m_wide.peekMessage, msg, window, filterMin, filterMax,
                   removeFlags);
}

BOOL CSL_GS_MainWindowInternal::GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  return SLCallEntry(m_ansi.getMessage ? m_ansi.getMessage : m_wide.getMessage, msg, window, filterMin, filterMax);
}

LRESULT CSL_GS_MainWindowInternal::DispatchMessage(const MSG* msg) {
  return SLCallEntry(m_ansi.dispatchMessage ? m_ansi.dispatchMessage : m_wide.dispatchMessage, msg);
}

BOOL CSL_GS_MainWindowInternal::DestroyIcon(HICON icon) { return SLCallEntry(m_destroyIcon, icon); }
BOOL CSL_GS_MainWindowInternal::DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step,
                                           void* brush, UINT flags) {
  return SLCallEntry(m_drawIconEx, dc, x, y, icon, width, height, step, brush, flags);
}
BOOL CSL_GS_MainWindowInternal::DestroyWindow(HWND window) { return SLCallEntry(m_destroyWindow, window); }
BOOL CSL_GS_MainWindowInternal::IsWindow(HWND window) { return SLCallEntry(m_isWindow, window); }
BOOL CSL_GS_MainWindowInternal::IsIconic(HWND window) { return SLCallEntry(m_isIconic, window); }
BOOL CSL_GS_MainWindowInternal::ShowWindow(HWND window, int command) {
  return SLCallEntry(m_showWindow, window, command);
}
BOOL CSL_GS_MainWindowInternal::UpdateWindow(HWND window) { return SLCallEntry(m_updateWindow, window); }
HWND CSL_GS_MainWindowInternal::SetFocus(HWND window) { return SLCallEntry(m_setFocus, window); }
BOOL CSL_GS_MainWindowInternal::SetForegroundWindow(HWND window) { return SLCallEntry(m_setForegroundWindow, window); }
HDC CSL_GS_MainWindowInternal::BeginPaint(HWND window, PAINTSTRUCT* paint) {
  return SLCallEntry(m_beginPaint, window, paint);
}
BOOL CSL_GS_MainWindowInternal::EndPaint(HWND window, const PAINTSTRUCT* paint) {
  return SLCallEntry(m_endPaint, window, paint);
}
BOOL CSL_GS_MainWindowInternal::ValidateRect(HWND window, const RECT* rect) {
  return SLCallEntry(m_validateRect, window, rect);
}
HCURSOR CSL_GS_MainWindowInternal::SetCursor(HCURSOR cursor) { return SLCallEntry(m_setCursor, cursor); }
BOOL CSL_GS_MainWindowInternal::MessageBeep(UINT type) { return SLCallEntry(m_messageBeep, type); }
BOOL CSL_GS_MainWindowInternal::TranslateMessage(const MSG* msg) { return SLCallEntry(m_translateMessage, msg); }
void CSL_GS_MainWindowInternal::PostQuitMessage(int exitCode) { SLCallEntry(m_postQuitMessage, exitCode); }
BOOL CSL_GS_MainWindowInternal::WaitMessage() { return SLCallEntry(m_waitMessage); }
short CSL_GS_MainWindowInternal::GetKeyState(int virtualKey) { return SLCallEntry(m_getKeyState, virtualKey); }
int CSL_GS_MainWindowInternal::GetSystemMetrics(int index) { return SLCallEntry(m_getSystemMetrics, index); }
BOOL CSL_GS_MainWindowInternal::GetClientRect(HWND window, RECT* rect) {
  return SLCallEntry(m_getClientRect, window, rect);
}
HDC CSL_GS_MainWindowInternal::GetDC(HWND window) { return SLCallEntry(m_getDC, window); }
int CSL_GS_MainWindowInternal::ReleaseDC(HWND window, HDC dc) { return SLCallEntry(m_releaseDC, window, dc); }
UINT CSL_GS_MainWindowInternal::GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries) {
  return SLCallEntry(m_getSystemPaletteEntries, dc, start, count, entries);
}
HPALETTE CSL_GS_MainWindowInternal::CreatePalette(const LOGPALETTE* palette) {
  return SLCallEntry(m_createPalette, palette);
}
HPALETTE CSL_GS_MainWindowInternal::SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
  return SLCallEntry(m_selectPalette, dc, palette, forceBackground);
}
UINT CSL_GS_MainWindowInternal::RealizePalette(HDC dc) { return SLCallEntry(m_realizePalette, dc); }
BOOL CSL_GS_MainWindowInternal::DeleteObject(HGDIOBJ object) { return SLCallEntry(m_deleteObject, object); }

}  // namespace SLInternals
