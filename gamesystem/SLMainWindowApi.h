// The window, message and palette entry points of the main window, bound by name from
// "user32.dll" and "gdi32.dll". Each call prefers the 8-bit entry point and falls back
// to the UTF-16 one with its texts converted (a failed conversion: system error 8,
// result 0); without either it sets system error 120 and answers 0.
#pragma once

#include "foundation/SLSingleton.h"
#include "foundation/SLTypes.h"
#include "platform/gdi32/Gdi32.h"
#include "platform/user32/Icons.h"
#include "platform/user32/User32.h"

namespace SLInternals {

class CSL_GS_MainWindowInternal : public CSLBaseOODClass {
 public:
  CSL_GS_MainWindowInternal();
  bool Initialize() override;  // binds what there is; a missing entry never fails it

  // The loader, made on first use (null with 0x80000001 when it cannot be made).
  static CSL_GS_MainWindowInternal* Get();

  ATOM RegisterClassEx(const WNDCLASSEXA* windowClass);
  BOOL UnregisterClass(const char* className, HINSTANCE instance);
  LONG_PTR GetWindowLong(HWND window, int index);
  LONG_PTR SetWindowLong(HWND window, int index, LONG_PTR value);
  HANDLE LoadImage(HINSTANCE instance, const char* name, UINT type, int width, int height, UINT flags);
  BOOL DestroyIcon(HICON icon);
  BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step, void* brush, UINT flags);
  HWND CreateWindowEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                      int height, HWND parent, void* menu, HINSTANCE instance, void* param);
  BOOL DestroyWindow(HWND window);
  BOOL IsWindow(HWND window);
  BOOL IsIconic(HWND window);
  BOOL ShowWindow(HWND window, int command);
  BOOL UpdateWindow(HWND window);
  HWND SetFocus(HWND window);
  BOOL SetForegroundWindow(HWND window);
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
  BOOL ValidateRect(HWND window, const RECT* rect);
  HCURSOR SetCursor(HCURSOR cursor);
  BOOL MessageBeep(UINT type);
  int MessageBox(HWND owner, const char* text, const char* caption, UINT type);
  BOOL SetWindowText(HWND window, const char* text);
  LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
  BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
  LRESULT DispatchMessage(const MSG* msg);
  BOOL TranslateMessage(const MSG* msg);
  void PostQuitMessage(int exitCode);
  BOOL WaitMessage();
  short GetKeyState(int virtualKey);
  int GetSystemMetrics(int index);
  BOOL GetClientRect(HWND window, RECT* rect);
  HDC GetDC(HWND window);
  int ReleaseDC(HWND window, HDC dc);
  UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);
  HPALETTE CreatePalette(const LOGPALETTE* palette);
  HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
  UINT RealizePalette(HDC dc);
  BOOL DeleteObject(HGDIOBJ object);

 private:
  template <class A, class W>
  struct Pair {
    A ansi = nullptr;
    W wide = nullptr;
  };
  // The entry points of one character width that must come as a set.
  template <class CreateWindowExFn, class Char>
  struct MessagePath {
    CreateWindowExFn createWindowEx;
    LRESULT (*defWindowProc)(HWND, UINT, WPARAM, LPARAM);
    LRESULT (*sendMessage)(HWND, UINT, WPARAM, LPARAM);
    BOOL (*postMessage)(HWND, UINT, WPARAM, LPARAM);
    BOOL (*peekMessage)(MSG*, HWND, UINT, UINT, UINT);
    BOOL (*getMessage)(MSG*, HWND, UINT, UINT);
    LRESULT (*dispatchMessage)(const MSG*);
    bool Complete() const {
      return createWindowEx && defWindowProc && sendMessage && postMessage && peekMessage && getMessage &&
             dispatchMessage;
    }
  };

  HMODULE m_user32;
  HMODULE m_gdi32;
  Pair<ATOM (*)(const WNDCLASSEXA*), ATOM (*)(const WNDCLASSEXW*)> m_registerClassEx;
  Pair<BOOL (*)(LPCSTR, HINSTANCE), BOOL (*)(LPCWSTR, HINSTANCE)> m_unregisterClass;
  Pair<LONG_PTR (*)(HWND, int), LONG_PTR (*)(HWND, int)> m_getWindowLong;
  Pair<LONG_PTR (*)(HWND, int, LONG_PTR), LONG_PTR (*)(HWND, int, LONG_PTR)> m_setWindowLong;
  Pair<HANDLE (*)(HINSTANCE, LPCSTR, UINT, int, int, UINT), HANDLE (*)(HINSTANCE, LPCWSTR, UINT, int, int, UINT)>
      m_loadImage;
  Pair<int (*)(HWND, LPCSTR, LPCSTR, UINT), int (*)(HWND, LPCWSTR, LPCWSTR, UINT)> m_messageBox;
  Pair<BOOL (*)(HWND, LPCSTR), BOOL (*)(HWND, LPCWSTR)> m_setWindowText;
  MessagePath<HWND (*)(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, void*, HINSTANCE, LPVOID), char>
      m_ansi;
  MessagePath<HWND (*)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, void*, HINSTANCE, LPVOID),
              SLWChar>
      m_wide;
  BOOL (*m_destroyIcon)(HICON);
  BOOL (*m_drawIconEx)(HDC, int, int, HICON, int, int, UINT, void*, UINT);
  BOOL (*m_destroyWindow)(HWND);
  BOOL (*m_isWindow)(HWND);
  BOOL (*m_isIconic)(HWND);
  BOOL (*m_showWindow)(HWND, int);
  BOOL (*m_updateWindow)(HWND);
  HWND (*m_setFocus)(HWND);
  BOOL (*m_setForegroundWindow)(HWND);
  HDC (*m_beginPaint)(HWND, PAINTSTRUCT*);
  BOOL (*m_endPaint)(HWND, const PAINTSTRUCT*);
  BOOL (*m_validateRect)(HWND, const RECT*);
  HCURSOR (*m_setCursor)(HCURSOR);
  BOOL (*m_messageBeep)(UINT);
  BOOL (*m_translateMessage)(const MSG*);
  void (*m_postQuitMessage)(int);
  BOOL (*m_waitMessage)();
  short (*m_getKeyState)(int);
  int (*m_getSystemMetrics)(int);
  BOOL (*m_getClientRect)(HWND, RECT*);
  HDC (*m_getDC)(HWND);
  int (*m_releaseDC)(HWND, HDC);
  UINT (*m_getSystemPaletteEntries)(HDC, UINT, UINT, PALETTEENTRY*);
  HPALETTE (*m_createPalette)(const LOGPALETTE*);
  HPALETTE (*m_selectPalette)(HDC, HPALETTE, BOOL);
  UINT (*m_realizePalette)(HDC);
  BOOL (*m_deleteObject)(HGDIOBJ);
};

}  // namespace SLInternals
