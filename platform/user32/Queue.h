// Internal to the user32 stand-in: per-thread message queues.
#pragma once

#include "platform/user32/User32.h"

namespace SLUser32 {

bool WindowOwner(HWND window, DWORD* threadId);
WNDPROC WindowProcedure(HWND window);
HWND TakePaintWindow(DWORD threadId, HWND filter, bool remove);
bool WindowIsDescendantOrSelf(HWND window, HWND filter);

namespace Queue {
// Wakes the thread's waiters (new input or a window needing paint).
void Wake(DWORD threadId);
// Drops the queued messages of a destroyed window.
void DropWindow(DWORD threadId, HWND window);
// True when the calling thread's queue holds input (posted, sent, quit or paint).
bool HasInput();
// Waits up to `ms` for input in the calling thread's queue; false on time-out.
bool WaitInput(DWORD ms);
// Registers the thread that owns the display windows (its waits pump the display).
void SetDisplayThread(DWORD threadId);
}  // namespace Queue

}  // namespace SLUser32
