// Helpers of the stage that dragging, snapping and the timeline share: the nearest
// opaque point of a background's stage mask, the class-list test of support points and
// action references, the scene length and the key frames of the selected character.
#pragma once

#include "foundation/SLTypes.h"

struct SceneRecord;

// Moves (x, y) to the nearest opaque pixel of the stage mask, searching down the column,
// then up, then right along the row, then left, and returns its alpha (1-255); (x, y)
// stays and 0xFFFFFFFF is returned when nothing opaque lies on that row or column.
u32 Stage_FindNearestOpaquePoint(const SceneRecord* background, i32* x, i32* y);

// The 1-based position of the first token of a comma-separated class list that matches
// `name`, reading the tokens at 1, 1 + step, ...; "TODOS"/"TODAS" match anything and
// "-name" excludes the name (0 at once). With step 2 and `value`, the token after the match
// is read as an unsigned decimal number.
u32 ClassList_Match(const char* list, const char* name, u32 step, u32* value = nullptr);

// Recomputes the current scene's length, drops background music starting after it,
// resets the slider and renders the scene at the slider's position.
void EditorTimeline_Refresh();
// The key frame before (direction -1), nearest to (0) or after (+1) `frame`, over the
// action bounds of the selected character.
u32 EditorTimeline_FindKeyFrame(u32 frame, i32 direction);
