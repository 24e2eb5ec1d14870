#include "gui/SLGuiFrame.h"

#include <algorithm>

#include "gui/SLGuiManager.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiFrame, CSL_GS_GuiWindow)

namespace {
// Text format bits that place a rule: a vertical rule at the left (0) or centred (1, 2);
// a horizontal rule at the top with 8 in bits 2-3, else centred.
constexpr u32 kHorizontalAlignMask = 0x03;
constexpr u32 kVerticalAlignMask = 0x0C;
constexpr u32 kAlignTop = 0x08;
}  // namespace

CSL_GS_GuiFrame::CSL_GS_GuiFrame()
    : m_borders{}, m_rectangle(nullptr), m_horizontal(nullptr), m_vertical(nullptr) {
  m_textFormat = 2;
}

u32 CSL_GS_GuiFrame::Kind() const {
  const u32 kind = m_style & SL_GUI_FRAME_KIND_MASK;
  return kind == 3 ? SL_GUI_FRAME_RECTANGLE : kind;
}

void CSL_GS_GuiFrame::ReadSkin() {
  SLErrorKeeper keep;
  m_rectangle = m_horizontal = m_vertical = nullptr;
  for (i32& border : m_borders) border = 0;
  if (!m_manager || !m_manager->IsInitialised()) return;
  m_rectangle = m_manager->GetSkinImageElement(m_skin, "Frame", "Rectangle");
  m_horizontal = m_manager->GetSkinImageElement(m_skin, "Frame", "Horizontal");
  m_vertical = m_manager->GetSkinImageElement(m_skin, "Frame", "Vertical");
  if (m_rectangle) {
    m_borders[0] = m_rectangle->left, m_borders[1] = m_rectangle->top;
    m_borders[2] = m_rectangle->right, m_borders[3] = m_rectangle->bottom;
  }
}

u32 CSL_GS_GuiFrame::GetState() { return (m_style & SL_GUI_WS_DISABLED) ? u32(SL_GUI_STATE_DISABLED) : 0u; }
u32 CSL_GS_GuiFrame::GetDialogCode() { return SL_GUI_DLGC_STATIC; }

bool CSL_GS_GuiFrame::OnCreate() {
  if (!CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  return true;
}

void CSL_GS_GuiFrame::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  CSL_GS_GuiWindow::GetMinMaxInfo(info);
  if (Kind() != SL_GUI_FRAME_RECTANGLE) return;
  const i64 width = i64(m_borders[0]) + m_borders[2], height = i64(m_borders[1]) + m_borders[3];
  info->minTrackSize.x = i32(std::clamp<i64>(std::max<i64>(info->minTrackSize.x, width), 0, 65535));
  info->minTrackSize.y = i32(std::clamp<i64>(std::max<i64>(info->minTrackSize.y, height), 0, 65535));
}

void CSL_GS_GuiFrame::GetClientArea(SLGuiRect* rect) {
  CSL_GS_GuiWindow::GetClientArea(rect);
  if (Kind() != SL_GUI_FRAME_RECTANGLE) return;
  rect->x += m_borders[0];
  rect->y += m_borders[1];
  rect->width -= m_borders[0] + m_borders[2];
  rect->height -= m_borders[1] + m_borders[3];
}

void CSL_GS_GuiFrame::DrawFrame(const SLGuiRect* windowOnScreen) {
  if (!windowOnScreen || !m_manager || Kind() != SL_GUI_FRAME_RECTANGLE || !m_rectangle) return;
  SLErrorKeeper keep;
  m_manager->DrawSkinElement(m_rectangle, windowOnScreen, m_manager->GetEffectiveOpacity(this));
}

void CSL_GS_GuiFrame::Draw(const SLGuiRect* clientOnScreen) {
  if (!clientOnScreen || !m_manager) return;
  SLErrorKeeper keep;
  const double opacity = m_manager->GetEffectiveOpacity(this);
  switch (Kind()) {
    case SL_GUI_FRAME_RECTANGLE:
      if (m_rectangle) m_manager->DrawSkinElementInRect(m_rectangle, clientOnScreen, opacity, nullptr);
      return;
    case SL_GUI_FRAME_HORIZONTAL: {
      if (!m_horizontal) return;
      SLGuiRect rule = *clientOnScreen;
      rule.height = std::min(m_horizontal->height, clientOnScreen->height);
      if ((m_textFormat & kVerticalAlignMask) != kAlignTop) rule.y += (clientOnScreen->height - rule.height) / 2;
      m_manager->DrawSkinElement(m_horizontal, &rule, opacity);
      return;
    }
    case SL_GUI_FRAME_VERTICAL: {
      if (!m_vertical) return;
      SLGuiRect rule = *clientOnScreen;
      rule.width = std::min(m_vertical->width, clientOnScreen->width);
      if (m_textFormat & kHorizontalAlignMask) rule.x += (clientOnScreen->width - rule.width) / 2;
      m_manager->DrawSkinElement(m_vertical, &rule, opacity);
      return;
    }
  }
}

void CSL_GS_GuiFrame::OnSkinChanged(u32 skin) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiWindow::OnSkinChanged(skin);
  if (!IsRegistered()) return;
  ReadSkin();
  SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH, std::uintptr_t(0));
}
