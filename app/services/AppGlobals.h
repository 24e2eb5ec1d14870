// The application's process-wide services and the fatal end every start-up or memory
// failure takes. The service objects exist before main runs and go after it returns.
#pragma once

#include "foundation/SLTypes.h"

class CSL_GS_MainWindow;

CSL_GS_MainWindow& App_MainWindow();

// Ends the program through the main window's fatal error: the report "Error %05ld: text"
// is shown when the window goes, and the exit status is the code's low byte.
[[noreturn]] void App_Fatal(i32 code, const char* text);
// Names the file a coming fatal end is about, for its report: `dataPath` below the
// program's folder ("Gfx\\Gfx.DAT", "Gfx\\Letra_8.FNT") and, for a pack, the member that
// failed. The report shows the whole path with "/" separators. The thread's error code
// stays as the failed load left it, for the report.
void App_NameFileAtFault(const char* dataPath, const char* member = nullptr);

// Has the main window destroyed first among the exit handlers (call once its hooks exist).
void App_ArrangeMainWindowTeardown();
// What App_Fatal runs first: the shutdown of the sound, input and graphics devices. The
// devices are the services' own, so the services install it when they are first reached;
// before that there are no devices to stop and App_Fatal runs nothing.
using AppFatalEndHook = void (*)();
void App_SetFatalEndHook(AppFatalEndHook stopDevices);
