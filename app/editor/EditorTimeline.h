// The editor's timeline: the current scene's length, which its slider spans, and the key
// frames of the selected character that the arrow keys step between.
#pragma once

#include "foundation/SLTypes.h"

// Recomputes the current scene's length, drops background music starting after it,
// resets the slider and renders the scene at the slider's position.
void EditorTimeline_Refresh();
// The key frame before (direction -1), nearest to (0) or after (+1) `frame`, over the
// action bounds of the selected character.
u32 EditorTimeline_FindKeyFrame(u32 frame, i32 direction);
