// Modality for dialogs that never block: opening a level disables, and dims, every
// top-level window on screen; ending it gives each its former state back. Levels nest (a
// message box over a dialog dims the dialog again). Windows recorded in a level, and the
// window to activate when it ends, are held by counted references, so a window destroyed
// meanwhile is skipped rather than touched.
#pragma once

#include "foundation/SLTypes.h"

class CSL_GS_GuiManager;
class CSL_GS_GuiWindow;

// Opens a level. With `disableCloseButton` 0 the close button (id 401) is left as it is,
// so a close request still reaches the exit prompt; with 1 it is disabled too. Memory
// exhaustion is fatal: -311 "Insuficiente memoria".
void ModalStack_Begin(u32 disableCloseButton);
// Closes the newest level; nothing when none is open. A level that disabled the close
// button discards the main window's close requests as it ends: one that came meanwhile
// counts as answered, so the system's next request to end asks again.
void ModalStack_End();
// Releases every level without touching any window (process exit; tests).
void ModalStack_Destroy();
u32 ModalStack_GetDepth();
// Enables or disables `window`. While levels are open a window they recorded stays
// disabled, and `enable` becomes the state it gets back when the last level ends, so that a
// change made under a box (a queued command, a callback) is not undone by the box closing.
void ModalStack_Enable(CSL_GS_GuiWindow* window, bool enable);

// The manager the stack works on (the application's by default; tests set their own).
void ModalStack_SetManager(CSL_GS_GuiManager* manager);
