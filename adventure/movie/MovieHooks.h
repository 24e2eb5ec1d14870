// Where the movie reaches the layers that sit above it or beside it without calling up:
// the editor's timeline slider (window 256 among the GUI manager's top-level windows,
// set through two operations that the application hands in, so that this layer does not
// depend on the slider class) and the editor's hit records, which undo clears.
#pragma once

#include "foundation/SLTypes.h"

class CSL_GS_GuiManager;
class CSL_GS_GuiWindow;

inline constexpr u32 kTimelineSliderId = 256;

struct MovieTimelineSeam {
  CSL_GS_GuiManager* manager;  // null: there is no timeline to set
  bool (*setRange)(CSL_GS_GuiWindow* slider, u32 range);
  bool (*setPosition)(CSL_GS_GuiWindow* slider, u32 position);
};
void MovieTimeline_Set(const MovieTimelineSeam& seam);
// The slider window, null without a manager or without window 256.
CSL_GS_GuiWindow* MovieTimeline_Find();
void MovieTimeline_SetRange(u32 range);
void MovieTimeline_SetPosition(u32 position);

// Undo clears the editor's hover and selection records through this hook (null: none).
void Movie_SetSelectionClearHook(void (*clear)());
void Movie_ClearEditorSelection();
