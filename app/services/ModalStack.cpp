#include "app/services/ModalStack.h"

#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLMainWindow.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

struct ModalEntry {
  CSL_GS_GuiWindow* window;  // counted reference
  u32 enabled;
  double opacity;
};

struct ModalLevel {
  TSLArray<ModalEntry> entries;
  CSL_GS_GuiWindow* previous;  // counted reference or null
  u32 closeButtonDisabled;
};

struct ModalStackStorage {
  TSLArray<ModalLevel*> levels;
  CSL_GS_GuiManager* manager = nullptr;
  ~ModalStackStorage() { ModalStack_Destroy(); }
};

ModalStackStorage g_stack;

CSL_GS_GuiManager* Manager() { return g_stack.manager ? g_stack.manager : &App_GuiManager(); }

void ReleaseWindow(CSL_GS_GuiWindow* window) {
  if (window) window->Release();
}

void FreeLevel(ModalLevel* level) {
  SLErrorKeeper keep;
  for (ModalEntry& entry : level->entries) ReleaseWindow(entry.window);
  ReleaseWindow(level->previous);
  level->~ModalLevel();
  SLFree(level);
}

CSL_GS_GuiWindow* FindCloseButton(CSL_GS_GuiManager* manager) {
  for (CSL_GS_GuiWindow* w = manager->GetFirstChild(nullptr); w; w = manager->GetNextSibling(w)) {
    if (w->GetId() == APP_CLOSE_BUTTON_ID) return w;
  }
  return nullptr;
}

[[noreturn]] void OutOfMemory(ModalLevel* level) {
  if (level) FreeLevel(level);
  App_Fatal(APP_FATAL_MODAL_LEVEL, "Insuficiente memoria");
}

}  // namespace

void ModalStack_SetManager(CSL_GS_GuiManager* manager) { g_stack.manager = manager; }

u32 ModalStack_GetDepth() { return g_stack.levels.GetCount(); }

void ModalStack_Begin(u32 disableCloseButton) {
  CSL_GS_GuiManager* manager = Manager();
  void* memory = SLAllocZero(sizeof(ModalLevel));
  if (!memory) OutOfMemory(nullptr);
  auto* level = new (memory) ModalLevel{};
  level->closeButtonDisabled = disableCloseButton ? 1 : 0;

  // The window to activate again when this level ends: the dialog of the level below.
  if (g_stack.levels.GetCount() > 0) {
    for (CSL_GS_GuiWindow* w = manager->GetFirstChild(nullptr); w; w = manager->GetNextSibling(w)) {
      if (w->GetId() != APP_CLOSE_BUTTON_ID && w->IsVisibleInTree()) {
        w->AddRef();
        level->previous = w;
        break;
      }
    }
  }

  for (CSL_GS_GuiWindow* w = manager->GetFirstChild(nullptr); w; w = manager->GetNextSibling(w)) {
    if (!disableCloseButton && w->GetId() == APP_CLOSE_BUTTON_ID) continue;
    const ModalEntry entry{w, w->IsEnabled() ? 1u : 0u, w->GetOpacity()};
    if (!level->entries.Add(entry)) OutOfMemory(level);
    w->AddRef();
    w->Enable(false);
    if (w->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord())) w->SetOpacity(entry.opacity / 1.5);
  }
  if (!g_stack.levels.Add(level)) OutOfMemory(level);
  if (CSL_GS_GuiWindow* close = FindCloseButton(manager)) close->BringToTop();
  SLSetLastError(SL_OK);
}

void ModalStack_Enable(CSL_GS_GuiWindow* window, bool enable) {
  if (g_stack.levels.GetCount() > 0) {
    // The outermost level holds the state from before any level opened.
    for (ModalEntry& entry : g_stack.levels[0]->entries)
      if (entry.window == window) {
        entry.enabled = enable ? 1u : 0u;
        SLSetLastError(SL_OK);
        return;
      }
  }
  window->Enable(enable);
  SLSetLastError(SL_OK);
}

void ModalStack_End() {
  const u32 count = g_stack.levels.GetCount();
  if (count == 0) return;
  ModalLevel* level = g_stack.levels[count - 1];
  g_stack.levels.RemoveAt(count - 1);
  CSL_GS_GuiManager* manager = Manager();
  for (const ModalEntry& entry : level->entries) {
    // A window destroyed while the level was open is no longer the manager's.
    if (!manager->IsRegistered(entry.window)) continue;
    entry.window->Enable(entry.enabled != 0);
    entry.window->SetOpacity(entry.opacity);
  }
  CSL_GS_GuiWindow* previous =
      level->previous && manager->IsRegistered(level->previous) ? level->previous : nullptr;
  manager->ActivateWindow(previous);
  if (g_stack.levels.GetCount() > 0 && previous) {
    if (CSL_GS_GuiWindow* close = FindCloseButton(manager)) {
      // Only the z-order changes: the window activated above keeps the activation.
      close->SetPosition(0, 0, 0, 0, SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOSIZE, previous);
    }
  }
  // A close request that came while the close button was disabled went unheeded; were the
  // system's request to end left pending, the next one, however much later, would end the
  // program without asking. The box that kept it out answers it: the next request asks.
  if (level->closeButtonDisabled) App_MainWindow().DiscardCloseRequests();
  FreeLevel(level);
  SLSetLastError(SL_OK);
}

void ModalStack_Destroy() {
  SLErrorKeeper keep;
  while (g_stack.levels.GetCount() > 0) {
    const u32 last = g_stack.levels.GetCount() - 1;
    ModalLevel* level = g_stack.levels[last];
    g_stack.levels.RemoveAt(last);
    FreeLevel(level);
  }
  g_stack.levels.Free();
}
