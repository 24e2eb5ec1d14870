#include "gui/SLGuiSkinFrame.h"

#include <algorithm>

#include "foundation/SLError.h"
#include "gui/SLGuiManager.h"

namespace SLGuiSkinFrame {

void Paint(CSL_GS_GuiManager* manager, const SLGuiSkinElement* element, const SLGuiRect& rect, double opacity) {
  if (!manager || !element) return;
  manager->DrawSkinElement(element, &rect, opacity);
  SLGuiRect inner = rect;
  SLGuiSkinDeflateRect(element, &inner);
  manager->DrawSkinElementInRect(element, &inner, opacity, nullptr);
}

void Draw(CSL_GS_GuiWindow* window, const SLGuiSkinElement* normal, const SLGuiSkinElement* disabled,
          const SLGuiRect* windowOnScreen) {
  CSL_GS_GuiManager* manager = window->GetManager();
  if (!manager || !windowOnScreen) return;
  const SLGuiSkinElement* element = (window->GetStyle() & SL_GUI_WS_DISABLED) && disabled ? disabled : normal;
  if (element) manager->DrawSkinElement(element, windowOnScreen, manager->GetEffectiveOpacity(window));
}

void LimitMinimum(SLGuiMinMaxInfo* info, const SLGuiSkinElement* frame) {
  if (!info || !frame) return;
  info->minTrackSize.x = std::max(info->minTrackSize.x, frame->left + frame->right);
  info->minTrackSize.y = std::max(info->minTrackSize.y, frame->top + frame->bottom);
}

u32 HitTest(CSL_GS_GuiWindow* window, u32 hit, const SLGuiSkinElement* frame, i32 x, i32 y) {
  CSL_GS_GuiManager* manager = window->GetManager();
  if (hit != SL_GUI_HIT_FRAME || !manager || !frame) return hit;
  SLGuiRect rect;
  if (!window->GetScreenRectR(&rect)) return SL_GUI_HIT_NOWHERE;
  SLErrorKeeper keep;
  return manager->HitTestSkinElement(frame, &rect, x, y) ? SL_GUI_HIT_NOWHERE : SL_GUI_HIT_FRAME;
}

}  // namespace SLGuiSkinFrame
