// Entry points of "user32.dll" in this group.
#include "platform/modules.h"
#include "platform/user32/User32.h"

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(RegisterClassExA),  SL_EXPORT(RegisterClassExW),   SL_EXPORT(UnregisterClassA),
    SL_EXPORT(UnregisterClassW),  SL_EXPORT(CreateWindowExA),    SL_EXPORT(CreateWindowExW),
    SL_EXPORT(DestroyWindow),     SL_EXPORT(IsWindow),           SL_EXPORT(GetWindowThreadProcessId),
    SL_EXPORT(GetWindowLongA),    SL_EXPORT(GetWindowLongW),     SL_EXPORT(SetWindowLongA),
    SL_EXPORT(SetWindowLongW),    SL_EXPORT(CallWindowProcA),    SL_EXPORT(CallWindowProcW),
    SL_EXPORT(DefWindowProcA),    SL_EXPORT(DefWindowProcW),     SL_EXPORT(DefMDIChildProcA),
    SL_EXPORT(DefMDIChildProcW),  SL_EXPORT(SetWindowTextA),     SL_EXPORT(SetWindowTextW),
    SL_EXPORT(ShowWindow),        SL_EXPORT(UpdateWindow),       SL_EXPORT(IsIconic),
    SL_EXPORT(SetFocus),          SL_EXPORT(GetFocus),           SL_EXPORT(GetActiveWindow),
    SL_EXPORT(SetForegroundWindow), SL_EXPORT(GetClientRect),    SL_EXPORT(GetWindowRect),
    SL_EXPORT(SetWindowPos),      SL_EXPORT(MoveWindow),         SL_EXPORT(AdjustWindowRectEx),
    SL_EXPORT(InvalidateRect),    SL_EXPORT(ValidateRect),       SL_EXPORT(BeginPaint),
    SL_EXPORT(EndPaint),          SL_EXPORT(GetDC),              SL_EXPORT(ReleaseDC),
    SL_EXPORT(GetSystemMetrics),  SL_EXPORT(GetKeyState),        SL_EXPORT(GetAsyncKeyState),
    SL_EXPORT(GetCursorPos),      SL_EXPORT(ScreenToClient),     SL_EXPORT(ClientToScreen),
    SL_EXPORT(SetCursor),         SL_EXPORT(ShowCursor),         SL_EXPORT(MessageBeep),
    SL_EXPORT(MessageBoxA),       SL_EXPORT(MessageBoxW),        SL_EXPORT(RegisterWindowMessageA),
    SL_EXPORT(RegisterWindowMessageW), SL_EXPORT(SetWindowsHookExA), SL_EXPORT(SetWindowsHookExW),
    SL_EXPORT(UnhookWindowsHookEx), SL_EXPORT(CallNextHookEx),   SL_EXPORT(PostMessageA),
    SL_EXPORT(PostMessageW),      SL_EXPORT(PostThreadMessageA), SL_EXPORT(SendMessageA),
    SL_EXPORT(SendMessageW),      SL_EXPORT(PeekMessageA),       SL_EXPORT(PeekMessageW),
    SL_EXPORT(GetMessageA),       SL_EXPORT(GetMessageW),        SL_EXPORT(TranslateMessage),
    SL_EXPORT(DispatchMessageA),  SL_EXPORT(DispatchMessageW),   SL_EXPORT(PostQuitMessage),
    SL_EXPORT(WaitMessage),       SL_EXPORT(MsgWaitForMultipleObjects), SL_EXPORT(SystemParametersInfoA),
    SL_EXPORT(SystemParametersInfoW), SL_EXPORT(GetDoubleClickTime),
};
}  // namespace

const SLPlatformExportGroup g_user32Window = SLMakeExportGroup(kExports);
