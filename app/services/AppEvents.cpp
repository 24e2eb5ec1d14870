#include "app/services/AppEvents.h"

#include "app/services/AppGlobals.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace {

// Released by its own destructor at process exit; the array keeps the caller's error code.
TSLArray<AppEvent> g_queue;
bool g_quitRequested = false;
bool g_returnToMenu = false;

}  // namespace

TSLArray<AppEvent>& AppEventQueue_Get() { return g_queue; }

bool AppEventQueue_Push(const AppEvent& event) {
  if (!g_queue.InsertAt(event, 0)) return false;
  SLSetLastError(SL_OK);
  return true;
}

void AppEventQueue_PostEvent(u32 type, std::uintptr_t data) {
  if (!AppEventQueue_Push(AppEvent{type, data})) App_Fatal(APP_FATAL_EVENT_QUEUE, "Insuficiente memoria");
}

bool AppEventQueue_RemoveAt(u32 index) {
  if (index >= g_queue.GetCount()) return SLFail(SL_E_INDEX, false);
  return SLSucceed(g_queue.RemoveAt(index));
}

bool AppEventQueue_Take(AppEvent* event) {
  const u32 count = g_queue.GetCount();
  if (count == 0) return SLFail(SL_E_INDEX, false);
  *event = g_queue[count - 1];
  return SLSucceed(g_queue.RemoveAt(count - 1));
}

bool AppEventQueue_TakeOfType(u32 type, AppEvent* event) {
  // Posts go to the front, so the oldest one of the type is the last in the array.
  for (u32 i = g_queue.GetCount(); i-- > 0;) {
    if (g_queue[i].type != type) continue;
    *event = g_queue[i];
    return SLSucceed(g_queue.RemoveAt(i));
  }
  return SLFail(SL_E_NOT_FOUND, false);
}

bool AppEventQueue_Contains(u32 type, std::uintptr_t data) {
  for (const AppEvent& event : g_queue) {
    if (event.type == type && event.data == data) return SLSucceed(true);
  }
  return SLSucceed(false);
}

DeferredCall* AppEvent_NewDeferredCall(u32 answer, AppDeferredFunction function, std::uintptr_t argument) {
  auto* record = static_cast<DeferredCall*>(SLAlloc(sizeof(DeferredCall)));
  if (!record) return nullptr;
  record->answer = answer;
  record->function = function;
  record->argument = argument;
  return SLSucceed(record);
}

void AppEvent_RunDeferredCall(DeferredCall* record) {
  if (!record) {
    SLSetLastError(SL_E_INVALID_ARG);
    return;
  }
  const DeferredCall call = *record;
  SLFree(record);
  SLSetLastError(SL_OK);
  if (call.function) call.function(call.answer, call.argument);
}

CSLCriticalSection& AppLock_Get() {
  static CSLCriticalSection lock;
  return lock;
}

bool App_IsQuitRequested() { return g_quitRequested; }
void App_SetQuitRequested() { g_quitRequested = true; }
bool App_IsReturnToMenu() { return g_returnToMenu; }
void App_SetReturnToMenu() { g_returnToMenu = true; }
bool App_TakeReturnToMenu() {
  const bool was = g_returnToMenu;
  g_returnToMenu = false;
  return was;
}

void App_ResetFlagsForTest() {
  g_quitRequested = false;
  g_returnToMenu = false;
}
