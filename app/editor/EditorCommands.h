// The editor's command table beyond its toolbar: the context-menu entries, starting an
// action on the selected character, the movie commands (new, save, help) and the
// questions asked before a modified movie is left. It handles what the editor's own
// dispatcher passes on.
#pragma once

#include <cstdint>

#include "foundation/SLTypes.h"

// Handles one application event the editor's dispatcher did not take; `result` is the
// editor loop's result variable. True when the event was one of this table's.
bool EditorCommands_OnEvent(u32 type, std::uintptr_t data, i32* result);

// Starts placing an action on the selected character for command 110001-110004.
void EditorAction_Start(u32 command);
