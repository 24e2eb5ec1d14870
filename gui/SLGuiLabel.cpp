#include "gui/SLGuiLabel.h"

#include <algorithm>

#include "foundation/SLError.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiPressFlags.h"

CSL_GS_GuiLabel::CSL_GS_GuiLabel()
    : m_images{}, m_normal(nullptr), m_normalOverride(nullptr), m_disabled(nullptr), m_disabledOverride(nullptr),
      m_font(nullptr), m_normalColor(nullptr), m_disabledColor(nullptr) {
  m_textFormat = 2;
}

CSL_GS_GuiLabel::~CSL_GS_GuiLabel() { SLGuiPress::ClearSlots(m_images, 2); }

bool CSL_GS_GuiLabel::SetImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SLGuiPress::SetImage(this, &m_images[0], image, options);
}
bool CSL_GS_GuiLabel::SetDisabledImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SLGuiPress::SetImage(this, &m_images[1], image, options);
}

void CSL_GS_GuiLabel::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;
  m_normal = m_manager->GetSkinImageElement(m_skin, "Label", "Normal");
  m_normalOverride = m_manager->GetSkinImageElement(m_skin, "Label", "NormalBackgroundOverride");
  m_disabled = m_manager->GetSkinImageElement(m_skin, "Label", "Disabled");
  m_disabledOverride = m_manager->GetSkinImageElement(m_skin, "Label", "DisabledBackgroundOverride");
  m_font = m_manager->GetSkinFont(m_skin, "Label", "Font");
  m_normalColor = m_manager->GetSkinColor(m_skin, "Label", "NormalColor");
  m_disabledColor = m_manager->GetSkinColor(m_skin, "Label", "DisabledColor");
  if (!m_disabledColor) m_disabledColor = m_normalColor;
}

u32 CSL_GS_GuiLabel::GetState() { return SLGuiStaticState(m_style); }
u32 CSL_GS_GuiLabel::GetDialogCode() { return SL_GUI_DLGC_STATIC; }

bool CSL_GS_GuiLabel::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  return SLGuiPress::OwnTextStyle(m_font, (state & 3) == SL_GUI_STATE_DISABLED ? m_disabledColor : m_normalColor, font,
                                  color);
}

SL_GUI_DEFINE_SKIN_READING(CSL_GS_GuiLabel)

void CSL_GS_GuiLabel::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  CSL_GS_GuiWindow::GetMinMaxInfo(info);
  if (!info || !SkinMode() || !m_normal) return;
  info->minTrackSize.x = std::max(info->minTrackSize.x, m_normal->left + m_normal->right);
  info->minTrackSize.y = std::max(info->minTrackSize.y, m_normal->top + m_normal->bottom);
}

void CSL_GS_GuiLabel::DrawFrame(const SLGuiRect* window) {
  if (m_manager && window && SkinMode()) {
    const SLGuiSkinElement* element = Disabled() && m_disabled ? m_disabled : m_normal;
    if (element) m_manager->DrawSkinElement(element, window, m_manager->GetEffectiveOpacity(this));
  }
  CSL_GS_GuiWindow::DrawFrame(window);
}

void CSL_GS_GuiLabel::Draw(const SLGuiRect* client) {
  if (!m_manager || !client) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  const bool disabled = Disabled();
  if (m_style & SL_GUI_LS_IMAGE) {
    const SLGuiImageSlot* slot = disabled && m_images[1].image ? &m_images[1] : &m_images[0];
    if (slot->image) {
      const SLGuiPoint at = SLGuiPress::Centred(*client, slot->width, slot->height);
      manager->DrawImageSlot(slot, at.x, at.y, opacity);
    }
    return;
  }
  if (!(m_style & SL_GUI_LS_TEXT_ONLY)) {
    const bool useDisabled = disabled && m_disabled;
    const SLGuiSkinElement* element = useDisabled ? m_disabled : m_normal;
    if (element) manager->DrawSkinElementInRect(element, client, opacity, useDisabled ? m_disabledOverride : m_normalOverride);
  }
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  GetTextStyle(this, disabled ? SL_GUI_STATE_DISABLED : SL_GUI_STATE_NORMAL, &font, &color);
  if (!IsRegistered()) return;
  manager->DrawWidgetText(font, GetText(), &color, m_textFormat, client, opacity);
}

void CSL_GS_GuiLabel::GetClientArea(SLGuiRect* rect) {
  if (rect && SkinMode() && m_normal) SLGuiSkinDeflateRect(m_normal, rect);
  CSL_GS_GuiWindow::GetClientArea(rect);
}

u32 CSL_GS_GuiLabel::HitTest(i32 x, i32 y) {
  const u32 hit = CSL_GS_GuiWindow::HitTest(x, y);
  if (!m_manager) return hit;
  if (hit == SL_GUI_HIT_FRAME) {
    if (!SkinMode() || !m_normal) return SL_GUI_HIT_NOWHERE;
    SLGuiRect window;
    if (!GetScreenRectR(&window)) return SL_GUI_HIT_NOWHERE;
    return m_manager->HitTestSkinElement(m_normal, &window, x, y) ? SL_GUI_HIT_NOWHERE : SL_GUI_HIT_FRAME;
  }
  if (hit != SL_GUI_HIT_CLIENT) return hit;
  SLGuiRect client;
  if (!SLGuiPress::ClientOnScreen(this, &client)) return SL_GUI_HIT_NOWHERE;
  if (m_style & SL_GUI_LS_IMAGE) return SLGuiPress::HitCentredImage(m_manager, client, m_images[0], x, y);
  // Text only, or a skin without "Normal": the whole client area belongs to the label.
  if (!SkinMode() || !m_normal) return SL_GUI_HIT_CLIENT;
  return m_manager->HitTestSkinElementInRect(m_normal, &client, x, y, m_normalOverride) ? SL_GUI_HIT_NOWHERE
                                                                                         : SL_GUI_HIT_CLIENT;
}

void CSL_GS_GuiLabel::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  SLGuiPress::ClearSlots(m_images, 2);
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
}
