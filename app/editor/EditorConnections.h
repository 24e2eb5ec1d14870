// The editor's connections to the screens and dialogs built on it.
#pragma once

#include <cstdint>

#include "foundation/SLTypes.h"

// Handles one event the editor's own dispatcher passed on: the project flow, the cinema
// and the export, then the command table. True when it was one of theirs.
bool EditorConnections_OnEvent(u32 type, std::uintptr_t data, i32* result);

// Fills the editor's seams: start-up dialog, menus, dialogs, reference input, events.
void EditorConnections_Install();
