// Internal to the user32 stand-in: the window table and the bridge to the display.
#pragma once

#include <string>

#include "platform/user32/User32.h"

namespace SLUser32 {

// Text of A entry points is Windows-1252.
std::u16string AnsiToWide(const char* text);
std::string WideToAnsi(const char16_t* text);
char16_t AnsiCharToWide(unsigned char c);
int WideCharToAnsi(char16_t c);  // -1 when it has no 1252 byte

// Posts a message from the display bridge to the window's owning queue.
void PostFromDisplay(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A pointer move: a WM_MOUSEMOVE of the window still waiting at the end of its thread's
// queue takes the new position and buttons (keeping its time), as the system keeps one
// pending move.
void PostMouseMoveFromDisplay(HWND window, WPARAM wParam, LPARAM lParam);
// Sends (synchronously, on the calling thread which owns the window).
LRESULT SendFromDisplay(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetKeyState(int virtualKey, bool down);
void SetCursorPosition(int x, int y);
void MarkActive(HWND window, bool active);
void MarkMinimized(HWND window, bool minimized);
void MarkNeedsPaint(HWND window);
bool WindowIsUnicode(HWND window);
// The display's window behind a top-level window, or null.
void* NativeWindow(HWND window);

// The display bridge (SDL2). All of it runs on the thread that owns the windows.
namespace Display {
bool Available();
void* CreateTopLevel(HWND window, const std::u16string& title, const RECT& rect, bool visible);
void Destroy(void* native);
void Show(void* native, int command);
void SetTitle(void* native, const std::u16string& title);
void SetRect(void* native, const RECT& rect);
// Translates pending display events into messages; true when any arrived.
bool Pump();
// Waits up to `ms` for a display event (0: just look).
bool WaitForEvent(int ms);
void ShowMessage(const std::u16string& caption, const std::u16string& text);
}  // namespace Display

}  // namespace SLUser32
