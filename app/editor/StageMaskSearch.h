// Where an element dropped or dragged on the stage may stand: the stage mask of the
// background says which pixels are floor.
#pragma once

#include "foundation/SLTypes.h"

struct SceneRecord;

// Moves (x, y) to the nearest opaque pixel of the stage mask, searching down the column,
// then up, then right along the row, then left, and returns its alpha (1-255); (x, y)
// stays and 0xFFFFFFFF is returned when nothing opaque lies on that row or column.
u32 Stage_FindNearestOpaquePoint(const SceneRecord* background, i32* x, i32* y);

