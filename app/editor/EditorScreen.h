// The editor screen: the current scene on the stage inside its frame, the toolbar around
// it, the highlighted hover and selection, dragging, the counters, the tooltip, preview
// playback and the first part of the command dispatcher. Its state is EditorState.h.
#pragma once

#include <cstdint>

#include "foundation/SLTypes.h"

// The screen: -1 when the quit flag was set, 1 when the editor was left for the start
// menu, -1000 when the window is gone, the result a dispatched event set, or the loading
// screen's negative result.
i32 EditorScreen_Run();
// Loads the pictures, creates the controls and initialises the editor state; a picture
// that does not load is fatal (-901), a control that cannot be made too (-902).
void EditorScreen_Load();
void EditorScreen_Free();
// Step 1 of the screen: the loading screen that loads the catalogue (its negative result
// ends the editor at once). LoadingScreen_Run unless a test sets another; null: the
// catalogue is already loaded.
void EditorScreen_SetLoadingScreen(i32 (*run)());
// One logic tick and one drawn frame of the loop.
void EditorScreen_LogicTick(i32* result);
void EditorScreen_Draw();
// Destroys the pictures EditorScreen_Load loaded.
void EditorControls_DestroyPictures();

// One editor event: `result` is the loop's result variable (non-zero ends the editor).
void EditorScreen_OnEvent(u32 type, std::uintptr_t data, i32* result);

// The parts of one logic tick and one frame, callable on their own by tests.
void EditorScreen_UpdateToolbarTooltips();
void EditorScreen_StageInput();
void EditorScreen_DrawScene();
void EditorScreen_DrawOverlay();
void EditorScreen_DrawFrame();
void EditorScreen_DrawRectOutline(i32 left, i32 top, i32 right, i32 bottom, u32 colour);
void EditorScreen_DrawCrossHair(i32 x, i32 y, u32 colour);
// "h:mm:ss.hh / h:mm:ss.hh" of a frame and a length at 60 frames per second.
void EditorScreen_FormatTime(u32 frame, u32 length, char* text, u32 size);
// The tooltip text of a top-level control id, null when it has none.
const char* EditorScreen_TooltipText(u32 id);

// Preview playback.
void EditorPlayback_Start(u32 stopFrame, u32 jumpToStop, u32 wholeMovie);
void EditorPlayback_Tick();
void EditorPlayback_Stop();

// Zeroes the hover and selection records whose element is not shown at the current frame.
void EditorSelection_Clear();
// Selects the previous (next false) or next element of the character-then-object ring.
void EditorSelection_Step(bool next);
