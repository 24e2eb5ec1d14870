// Phase hooks: a process-wide table of callbacks that the screen loops run at two
// points of each pass, phase 1 at each logic tick (where the input devices poll) and
// phase 2 before each drawn frame; lower priorities run first, equal ones in the order
// they were added.
#pragma once

#include <cstdint>

#include "foundation/SLTypes.h"

enum : u32 {
  SL_GS_PHASE_LOGIC = 1,
  SL_GS_PHASE_DRAW = 2,
};

// The priorities of the input devices' poll hooks: the keyboard before the mouse and
// the joystick.
enum : u32 {
  SL_GS_PHASE_PRIORITY_KEYBOARD = 0xF0000001,
  SL_GS_PHASE_PRIORITY_MOUSE = 0xF0000002,
  SL_GS_PHASE_PRIORITY_JOYSTICK = 0xF0000002,
};

// The argument is pointer-sized: a device passes its own state.
using SLPhaseHookFunction = void (*)(std::uintptr_t argument);

// Adds a hook and writes its id (-1 on failure). 0x80001005 null id pointer;
// 0x80001001 phase not 1 or 2 or null function; 0x80000001 no memory or no lock.
bool SL_GS_AddPhaseHook(u32* id, u32 phase, u32 priority, SLPhaseHookFunction function, std::uintptr_t argument);
// Removes a hook. During a dispatch it is only marked (and no longer called); the
// outermost dispatch drops it when it ends. 0x80010001 for an id not in the table.
bool SL_GS_RemovePhaseHook(u32 id);
// Runs the hooks of `phase` in table order. 0x80001001 phase not 1 or 2.
bool SL_GS_RunPhaseHooks(u32 phase);
