// The application's event queue. Controls, dialogs and worker code never act on a screen
// directly: they post small events here, and the screen loop that is running takes them
// out one per logic tick, on the main thread, under AppLock. Posting puts the new event at
// index 0 and taking removes the last one, so the queue is first in, first out.
#pragma once

#include <cstdint>

#include "foundation/SLArray.h"
#include "foundation/SLSync.h"
#include "foundation/SLTypes.h"

// Kinds of event; no kind lies between 4 and 10.
enum : u32 {
  APP_EVENT_DEFERRED_CALL = 1,  // data: a DeferredCall record, owned by the event
  APP_EVENT_COMMAND = 2,        // data: a control id
  APP_EVENT_SLIDER = 3,         // data: the slider whose position changed
  APP_EVENT_STARTUP_ANSWER = 11,
  APP_EVENT_CLOSE_REQUEST = 12,  // data: 0
  APP_EVENT_PROJECT_LOADED = 13,
  APP_EVENT_PROJECT_LOAD_FAILED = 14,
  APP_EVENT_PROJECT_CANCELLED = 15,
  APP_EVENT_EXPORT_STEP = 16,
  APP_EVENT_EXPORT_END = 17,
};

// One queued event. `data` is pointer-sized: it may carry a window or a record.
struct AppEvent {
  u32 type;
  std::uintptr_t data;
};

using AppDeferredFunction = void (*)(u32 answer, std::uintptr_t argument);

// A call made one tick later by the screen loop (message-box answers).
struct DeferredCall {
  u32 answer;
  AppDeferredFunction function;
  std::uintptr_t argument;
};

// Window id of the close button shared by every screen.
constexpr u32 APP_CLOSE_BUTTON_ID = 401;

// The process-wide queue (released at process exit, keeping the caller's error code).
TSLArray<AppEvent>& AppEventQueue_Get();
// Inserts the event at the front; false (allocator's error) when the queue cannot grow.
bool AppEventQueue_Push(const AppEvent& event);
// Push, or the fatal end -201 "Insuficiente memoria".
void AppEventQueue_PostEvent(u32 type, std::uintptr_t data);
// Removes the event at `index`; 0x80001008 when index >= count.
bool AppEventQueue_RemoveAt(u32 index);
// Takes the oldest event (the last entry); false when the queue is empty.
bool AppEventQueue_Take(AppEvent* event);
// Takes the oldest queued event of `type` out of turn; false (0x80010001) when none is.
bool AppEventQueue_TakeOfType(u32 type, AppEvent* event);
// True when an event of `type` with `data` is queued.
bool AppEventQueue_Contains(u32 type, std::uintptr_t data);

// Allocates a DeferredCall record; null with the allocator's error.
DeferredCall* AppEvent_NewDeferredCall(u32 answer, AppDeferredFunction function, std::uintptr_t argument);
// Reads the record, frees it, then calls function(answer, argument): the function may post
// or run another screen without the record outliving its use.
void AppEvent_RunDeferredCall(DeferredCall* record);

// The application lock: held while a tick takes and handles its event and updates the GUI,
// and while the GUI and the pointer are drawn. Recursive: the cinema's loop runs inside
// the editor's dispatch.
CSLCriticalSection& AppLock_Get();

// Set when the user confirms the exit prompt; never cleared.
bool App_IsQuitRequested();
void App_SetQuitRequested();
// Set by "Si" in the prompt to return to the start menu; cleared by its reader.
bool App_TakeReturnToMenu();
bool App_IsReturnToMenu();
void App_SetReturnToMenu();
// Clears the quit and return-to-menu flags (tests run several screens in one process).
void App_ResetFlagsForTest();
