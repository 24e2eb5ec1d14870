#include "adventure/movie/MovieHooks.h"

#include "foundation/SLError.h"
#include "gui/SLGuiManager.h"

namespace {
constinit MovieTimelineSeam g_timeline{nullptr, nullptr, nullptr};
using SelectionClearHook = void (*)();
constinit SelectionClearHook g_clearSelection = nullptr;
}  // namespace

void MovieTimeline_Set(const MovieTimelineSeam& seam) { g_timeline = seam; }

CSL_GS_GuiWindow* MovieTimeline_Find() {
  if (!g_timeline.manager) return nullptr;
  // Setting the slider is a courtesy to the editor: its absence is no error of the caller.
  SLErrorKeeper keep;
  return g_timeline.manager->FindChildById(nullptr, kTimelineSliderId);
}

void MovieTimeline_SetRange(u32 range) {
  if (CSL_GS_GuiWindow* slider = MovieTimeline_Find(); slider && g_timeline.setRange) {
    SLErrorKeeper keep;
    g_timeline.setRange(slider, range);
  }
}

void MovieTimeline_SetPosition(u32 position) {
  if (CSL_GS_GuiWindow* slider = MovieTimeline_Find(); slider && g_timeline.setPosition) {
    SLErrorKeeper keep;
    g_timeline.setPosition(slider, position);
  }
}

void Movie_SetSelectionClearHook(void (*clear)()) { g_clearSelection = clear; }

void Movie_ClearEditorSelection() {
  if (g_clearSelection) g_clearSelection();
}
