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

SLGuiFramedWidget::SLGuiFramedWidget(u32 borderlessStyle)
    : m_flags(0), m_normal(nullptr), m_normalOverride(nullptr), m_disabled(nullptr), m_disabledOverride(nullptr),
      m_selectedArea(nullptr), m_borderlessStyle(borderlessStyle) {}

u32 SLGuiFramedWidget::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  const bool focused = (m_flags & SL_GUI_FRAMED_FOCUSED) != 0, over = (m_flags & SL_GUI_FRAMED_OVER) != 0;
  u32 state = SL_GUI_STATE_NORMAL;
  if ((m_flags & SL_GUI_FRAMED_PRESSED) && over)
    state = SL_GUI_STATE_PRESSED;
  else if (focused || over)
    state = SL_GUI_STATE_HOT;
  return focused ? state | SL_GUI_STATE_FOCUSED : state;
}

void SLGuiFramedWidget::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  CSL_GS_GuiWindow::GetMinMaxInfo(info);
  if (Bordered()) SLGuiSkinFrame::LimitMinimum(info, m_normal);
}

void SLGuiFramedWidget::OnSetFocus(CSL_GS_GuiWindow* window) {
  m_flags |= SL_GUI_FRAMED_FOCUSED;
  CSL_GS_GuiWindow::OnSetFocus(window);
}

void SLGuiFramedWidget::OnKillFocus(CSL_GS_GuiWindow* newFocus) {
  m_flags &= ~u32(SL_GUI_FRAMED_FOCUSED);
  CSL_GS_GuiWindow::OnKillFocus(newFocus);
}

void SLGuiFramedWidget::DrawFrame(const SLGuiRect* windowOnScreen) {
  if (Bordered()) SLGuiSkinFrame::Draw(this, m_normal, m_disabled, windowOnScreen);
  CSL_GS_GuiWindow::DrawFrame(windowOnScreen);
}

u32 SLGuiFramedWidget::HitTest(i32 x, i32 y) {
  const u32 hit = CSL_GS_GuiWindow::HitTest(x, y);
  return Bordered() ? SLGuiSkinFrame::HitTest(this, hit, m_normal, x, y) : hit;
}

void SLGuiFramedWidget::OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) {
  m_flags |= SL_GUI_FRAMED_OVER;
  CSL_GS_GuiWindow::OnNcMouseEnter(hit, keys, x, y);
}

void SLGuiFramedWidget::OnNcMouseLeave() {
  m_flags &= ~u32(SL_GUI_FRAMED_OVER);
  CSL_GS_GuiWindow::OnNcMouseLeave();
}

void SLGuiFramedWidget::OnMouseEnter(u32 keys, i32 x, i32 y) {
  m_flags |= SL_GUI_FRAMED_OVER;
  CSL_GS_GuiWindow::OnMouseEnter(keys, x, y);
}

void SLGuiFramedWidget::OnMouseLeave() {
  m_flags &= ~u32(SL_GUI_FRAMED_OVER);
  CSL_GS_GuiWindow::OnMouseLeave();
}
