// The loop every screen runs: logic ticks at 60 per second that take one queued event
// under AppLock and update the GUI, frames that draw the screen's background, its own
// drawing, the GUI and the pointer, and the tests for a close request, the quit flag, the
// end of the message pump and the screen's own result.
#pragma once

#include "app/services/AppEvents.h"

struct SL_GS_Image;

struct AppScreen {
  const char* name;         // reported by the debug line at its start
  SL_GS_Image* background;  // drawn at (0, 0) when set
  bool usesGui;             // false: no GUI, no lock, no events (intro video, closing screens)
  void* context;
  // Events other than deferred calls (those always run); unknown types are dropped.
  void (*onEvent)(AppScreen* screen, const AppEvent& event);
  // The screen's own work in each logic tick, inside the lock when the screen uses it.
  void (*onTick)(AppScreen* screen);
  // The screen's own drawing after the background, outside the lock.
  void (*onDraw)(AppScreen* screen);
  // A close request while the close button is enabled; null: the exit prompt.
  void (*onCloseRequest)(AppScreen* screen);
  // Set by the handlers: the screen ends with it at the end of the pass (0: go on).
  i32 result;
  // False for the closing screens, which the user reaches by confirming the exit: they
  // end by their own advances, a close request or the end of the message pump.
  bool endsOnQuit = true;
};

// Runs the loop; the screen's positive result, -1 when the quit flag was seen, -1000
// when the main window is gone. The caller frees the screen's resources afterwards.
i32 AppScreen_Run(AppScreen* screen);

// True when a frame can be shown now. While it cannot (the window is minimised, or another
// program has the focus) the frame's turn is spent asleep for a moment instead: the loop
// would otherwise spin between its ticks on a full core, since nothing else paces it
// then. The ticks keep their rate.
bool AppScreen_ReadyToDraw();

// The exit prompt: a modal level that disables the close button, then the question
// "¿Desea salir de Quelvo Interactivo?" (box 1001, style 3). "Si" sets the quit flag.
void ExitPrompt_Show();
void ExitPrompt_OnAnswer(u32 answer, std::uintptr_t argument);

// "¿Desea volver al menú principal?" (box 1002, style 3): the loading screen's and the
// editor's way back to the start menu. "Si" sets the return flag.
void MainMenu_AskBackToMenu();
void MainMenu_OnBackToMenuAnswer(u32 answer, std::uintptr_t argument);
