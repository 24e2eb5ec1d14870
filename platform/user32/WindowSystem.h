// Internal to the user32 stand-in: the window table and the bridge to the display.
#pragma once

#include <cstdint>
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
// The display moved the window: the table's rectangle follows, keeping its size.
void MoveFromDisplay(HWND window, int x, int y);
bool WindowIsUnicode(HWND window);
// The program's main window: the first top-level window on the display that still stands.
HWND MainWindow();
// The display's window behind a top-level window, or null.
void* NativeWindow(HWND window);
// The desktop window: a handle of its own whose client rectangle is the desktop.
inline HWND const kDesktopWindow = reinterpret_cast<HWND>(std::uintptr_t(0x10000));
// Device contexts are tokens: the window's handle (a multiple of 16) with 0xD in the low bits.
inline HDC DeviceContextOf(HWND window) { return reinterpret_cast<HDC>(reinterpret_cast<std::uintptr_t>(window) | 0xD); }
inline HWND WindowOfDeviceContext(HDC dc) {
  const auto value = reinterpret_cast<std::uintptr_t>(dc);
  return (value & 0xF) == 0xD ? reinterpret_cast<HWND>(value & ~std::uintptr_t(0xF)) : nullptr;
}
// The desktop's rectangle (1024 x 768 without a display).
RECT DesktopRect();

// The display bridge (SDL2). All of it runs on the thread that owns the windows, but for
// ShowMessage, which any thread may call: it has the display's events to itself meanwhile.
namespace Display {
bool Available();
void* CreateTopLevel(HWND window, const std::u16string& title, const RECT& rect, bool visible);
void Destroy(void* native);
void Show(void* native, int command);
void SetTitle(void* native, const std::u16string& title);
void SetRect(void* native, const RECT& rect);
void SetPosition(void* native, int x, int y);
void Raise(void* native);
// Full screen covers the desktop (the monitor's mode stays); otherwise a window with or
// without a title bar, never resizable by the user.
void SetFrame(void* native, bool fullScreen, bool decorated);
void ShowPointer(bool show);
// The picture shown in the window changed its size or scaling: the program's pointer
// goes under the system pointer (at once while the pointer is over the window).
void PictureChanged(void* native);
// Fills the window black on the display until its next frame is shown.
void PaintBlack(void* native);
// The desktop's size, colour depth (as the system counts it: 32 for four-byte pixels) and
// refresh rate; false (and nothing written) without a display.
bool DesktopMode(int* width, int* height, int* bits, int* refresh);
// The part of the desktop that windows may use (without panels and docks).
bool UsableBounds(RECT* rect);
// Translates pending display events into messages; true when any arrived.
bool Pump();
// Waits up to `ms` for a display event (0: just look).
bool WaitForEvent(int ms);
// Shows a message box on the display and waits for it to be answered: ShowOwnMessage's,
// else the desktop's own. The box belongs to `owner`, else to the window active when it
// was asked for. Without a display, or on the dummy and offscreen drivers, nothing.
void ShowMessage(const std::u16string& caption, const std::u16string& text, UINT type, HWND owner);
// The platform's own message window (MessageWindow.cpp), modal for the display's window
// `owner` when there is one; false when it cannot be made.
bool ShowOwnMessage(const std::u16string& caption, const std::u16string& text, void* owner);
// Tells the window manager that `window`, not yet shown, is modal for `owner` (OwnedWindow.cpp).
void MakeModalFor(void* window, void* owner);
// True when `window` is on an X display that no window manager runs on at this moment
// (WindowManager.cpp; round trips to the server). False where one runs, and on every
// other video driver, whose focus is not ours to give.
bool WithoutWindowManager(void* window);
// How the graphics device shows a window's last picture again (its renderer keeps it): a
// message box, which holds the thread that would draw the next frame, asks for it when
// the window is exposed meanwhile. `show` may be asked on any thread and does nothing
// on another than the one that draws. A null `show` forgets the window's.
void KeepPicture(void* native, void (*show)(void* context), void* context);
void ShowPictureAgain(void* native);
}  // namespace Display

}  // namespace SLUser32
