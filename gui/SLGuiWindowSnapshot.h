// A list of windows with one reference on each, taken before a walk that calls handlers:
// a handler may destroy any window of the tree, so the walk goes over the list and asks
// the registry before each call instead of following links that may have been freed.
#pragma once

#include "foundation/SLArray.h"
#include "gui/SLGuiWindow.h"

namespace SLInternals {

class CSLGuiWindowSnapshot {
 public:
  CSLGuiWindowSnapshot() = default;
  ~CSLGuiWindowSnapshot() {
    SLErrorKeeper keep;
    for (CSL_GS_GuiWindow* window : m_windows) window->Release();
  }
  bool Add(CSL_GS_GuiWindow* window) {
    if (!m_windows.Add(window)) return false;
    window->AddRef();
    return true;
  }
  // The windows of a list from its top (first) or from its bottom.
  bool AddList(const SLGuiListNode* head, bool bottomFirst) {
    if (bottomFirst) {
      for (const SLGuiListNode* n : SLListWalkBack(head))
        if (!Add(n->window)) return false;
    } else {
      for (const SLGuiListNode* n : SLListWalk(head))
        if (!Add(n->window)) return false;
    }
    return true;
  }
  u32 GetCount() const { return m_windows.GetCount(); }
  CSL_GS_GuiWindow* operator[](u32 index) const { return m_windows[index]; }
  CSL_GS_GuiWindow* const* begin() const { return m_windows.begin(); }
  CSL_GS_GuiWindow* const* end() const { return m_windows.end(); }

  CSLGuiWindowSnapshot(const CSLGuiWindowSnapshot&) = delete;
  CSLGuiWindowSnapshot& operator=(const CSLGuiWindowSnapshot&) = delete;

 private:
  TSLArray<CSL_GS_GuiWindow*> m_windows;
};

}  // namespace SLInternals
