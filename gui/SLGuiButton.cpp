#include "gui/SLGuiButton.h"

#include <algorithm>

#include "foundation/SLError.h"

namespace {

const char* const kElementKeys[5] = {"Normal", "Over", "Click", "Disabled", "Focused"};
const char* const kOverrideKeys[5] = {"NormalBackgroundOverride", "OverBackgroundOverride", "ClickBackgroundOverride",
                                      "DisabledBackgroundOverride", "FocusedBackgroundOverride"};
const char* const kColorKeys[5] = {"NormalColor", "OverColor", "ClickColor", "DisabledColor", "FocusedColor"};

// Click falls back to Over, and every state at last to Normal.
u32 FallbackIndex(u32 state, bool (*present)(const void*, u32), const void* context) {
  if (present(context, state)) return state;
  if (state == 2 && present(context, 1)) return 1;
  return 0;
}

}  // namespace

CSL_GS_GuiButton::CSL_GS_GuiButton()
    : m_flags(0), m_images{}, m_imageStyle(2), m_elements{}, m_overrides{}, m_font(nullptr), m_colors{},
      m_outlineMargin(0) {
  m_textFormat = 2;
}

CSL_GS_GuiButton::~CSL_GS_GuiButton() { SLGuiPress::ClearSlots(m_images, 5); }

SL_GUI_DEFINE_STATE_IMAGE_SETTERS(CSL_GS_GuiButton)
bool CSL_GS_GuiButton::SetImageAlignment(u32 style) {
  m_imageStyle = style;
  return SLSucceed(true);
}

void CSL_GS_GuiButton::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;  // absent keys are ordinary
  for (u32 i = 0; i < 5; ++i) {
    m_elements[i] = m_manager->GetSkinImageElement(m_skin, "PushButton", kElementKeys[i]);
    m_overrides[i] = m_manager->GetSkinImageElement(m_skin, "PushButton", kOverrideKeys[i]);
    m_colors[i] = m_manager->GetSkinColor(m_skin, "PushButton", kColorKeys[i]);
  }
  m_font = m_manager->GetSkinFont(m_skin, "PushButton", "Font");
  if (!m_colors[1]) m_colors[1] = m_colors[0];
  if (!m_colors[2]) m_colors[2] = m_colors[1];
  if (!m_colors[3]) m_colors[3] = m_colors[0];
  if (!m_colors[4]) m_colors[4] = m_colors[0];
  m_outlineMargin = SLGuiPress::OutlineMargin(m_colors, 5);
}

const SLGuiImageSlot* CSL_GS_GuiButton::ImageFor(u32 state) const {
  const u32 index = FallbackIndex(
      state, [](const void* c, u32 i) { return static_cast<const SLGuiImageSlot*>(c)[i].image != nullptr; },
      m_images);
  return m_images[index].image ? &m_images[index] : nullptr;
}

u32 CSL_GS_GuiButton::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  const bool focused = (m_flags & SL_GUI_BTN_FOCUSED) != 0;
  if (focused && (m_flags & SL_GUI_BTN_SPACE)) return SL_GUI_STATE_FOCUSED | SL_GUI_STATE_PRESSED;
  u32 state = SL_GUI_STATE_NORMAL;
  if (m_flags & SL_GUI_BTN_OVER) state = (m_flags & SL_GUI_BTN_PRESSED) ? SL_GUI_STATE_PRESSED : SL_GUI_STATE_HOT;
  return state | (focused ? u32(SL_GUI_STATE_FOCUSED) : 0u);
}

u32 CSL_GS_GuiButton::GetDialogCode() {
  return (m_style & SL_GUI_BS_DEFAULT) ? SL_GUI_DLGC_BUTTON | SL_GUI_DLGC_DEFBUTTON : SL_GUI_DLGC_BUTTON;
}

bool CSL_GS_GuiButton::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  // Focused alone takes its own colour when the skin has one.
  const bool focusedColour = (state & 19) == SL_GUI_STATE_FOCUSED && m_colors[4];
  return SLGuiPress::OwnTextStyle(m_font, focusedColour ? m_colors[4] : m_colors[state & 3], font, color);
}

SL_GUI_DEFINE_SKIN_READING(CSL_GS_GuiButton)

void CSL_GS_GuiButton::OnEnable(bool enabled) { SLGuiPress::OnEnableOrShow(&m_flags, enabled); }
void CSL_GS_GuiButton::OnShow(bool visible) { SLGuiPress::OnEnableOrShow(&m_flags, visible); }
void CSL_GS_GuiButton::OnCancelMode() {
  SLGuiPress::OnCancelMode(&m_flags);
  CSL_GS_GuiWindow::OnCancelMode();
}
void CSL_GS_GuiButton::OnCaptureLost(CSL_GS_GuiWindow* newCapture) {
  SLGuiPress::OnCaptureLost(&m_flags);
  CSL_GS_GuiWindow::OnCaptureLost(newCapture);
}
void CSL_GS_GuiButton::OnSetFocus(CSL_GS_GuiWindow* window) {
  SLGuiPress::OnSetFocus(&m_flags);
  CSL_GS_GuiWindow::OnSetFocus(window);
}
void CSL_GS_GuiButton::OnKillFocus(CSL_GS_GuiWindow* newFocus) {
  SLGuiPress::OnKillFocus(&m_flags);
  CSL_GS_GuiWindow::OnKillFocus(newFocus);
}

void CSL_GS_GuiButton::Draw(const SLGuiRect* client) {
  if (!m_manager || !client) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  // Visual state: 0 Normal, 1 Over, 2 Click, 3 Disabled, 4 Focused.
  u32 state = 0;
  if (m_style & SL_GUI_WS_DISABLED)
    state = 3;
  else if (m_flags & SL_GUI_BTN_OVER)
    state = (m_flags & SL_GUI_BTN_PRESSED) ? 2 : 1;
  else if (m_flags & SL_GUI_BTN_FOCUSED)
    state = (m_flags & SL_GUI_BTN_SPACE) ? 2 : 4;
  const u32 textState = state == 4 ? u32(SL_GUI_STATE_FOCUSED) : state;

  if (m_style & SL_GUI_BS_IMAGE) {
    if (const SLGuiImageSlot* slot = ImageFor(state)) {
      const SLGuiPoint at = SLGuiPress::Centred(*client, slot->width, slot->height);
      manager->DrawImageSlot(slot, at.x, at.y, opacity);
    }
    return;
  }

  const u32 index = FallbackIndex(
      state, [](const void* c, u32 i) { return static_cast<SLGuiSkinElement* const*>(c)[i] != nullptr; },
      m_elements);
  const SLGuiSkinElement* element = m_elements[index];
  SLGuiRect area = *client;
  if (element && !(m_style & SL_GUI_BS_NO_BACKGROUND)) {
    manager->DrawSkinElement(element, client, opacity);
    SLGuiSkinDeflateRect(element, &area);
    manager->DrawSkinElementInRect(element, &area, opacity, m_overrides[index]);
  }

  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  GetTextStyle(this, textState, &font, &color);
  if (!IsRegistered()) return;
  const char* text = GetText();
  SLGuiRect textBox{0, 0, 0, 0};
  manager->MeasureText(font, text, &textBox.width, &textBox.height, &color);
  SLGuiRect imageBox{0, 0, 0, 0};
  const bool withImage = (m_style & SL_GUI_BS_IMAGE_AND_TEXT) != 0;
  if (withImage && m_images[0].image) imageBox.width = m_images[0].width, imageBox.height = m_images[0].height;
  manager->LayoutImageAndText(&area, &textBox, m_textFormat, &imageBox, m_imageStyle & 15, (m_imageStyle & 16) != 0, 2);
  if (state == 2 && m_elements[0]) {
    const i32 dx = std::min(m_elements[0]->left, 2), dy = std::min(m_elements[0]->top, 2);
    textBox.x += dx, textBox.y += dy, imageBox.x += dx, imageBox.y += dy;
  }
  if (withImage)
    if (const SLGuiImageSlot* slot = ImageFor(state)) manager->DrawImageSlot(slot, imageBox.x, imageBox.y, opacity);
  manager->DrawWidgetText(font, text, &color, m_textFormat, &textBox, opacity);
}

u32 CSL_GS_GuiButton::HitTest(i32 x, i32 y) {
  const u32 hit = CSL_GS_GuiWindow::HitTest(x, y);
  if (hit != SL_GUI_HIT_CLIENT || !m_manager) return hit;
  SLGuiRect client;
  if (!SLGuiPress::ClientOnScreen(this, &client)) return SL_GUI_HIT_NOWHERE;
  if (m_style & SL_GUI_BS_IMAGE) return SLGuiPress::HitCentredImage(m_manager, client, m_images[0], x, y);
  const SLGuiSkinElement* normal = m_elements[0];
  if (!normal) return SL_GUI_HIT_NOWHERE;
  switch (m_manager->SkinElementZoneAt(normal, &client, x, y)) {
    case SL_GUI_ZONE_INSET:
      return m_manager->HitTestSkinElement(normal, &client, x, y) ? SL_GUI_HIT_NOWHERE : SL_GUI_HIT_CLIENT;
    case SL_GUI_ZONE_INNER: {
      SLGuiRect inner = client;
      SLGuiSkinDeflateRect(normal, &inner);
      return m_manager->HitTestSkinElementInRect(normal, &inner, x, y, m_overrides[0]) ? SL_GUI_HIT_NOWHERE
                                                                                       : SL_GUI_HIT_CLIENT;
    }
    default:
      return SL_GUI_HIT_NOWHERE;
  }
}

void CSL_GS_GuiButton::OnLButtonDblClk(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiPress::OnButtonDown(this, &m_flags);
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDblClk(keys, x, y);
}
void CSL_GS_GuiButton::OnLButtonDown(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiPress::OnButtonDown(this, &m_flags);
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDown(keys, x, y);
}

void CSL_GS_GuiButton::OnLButtonUp(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  // The release point decides, even when the pointer jumped off within the same tick.
  SLGuiPress::OnMouseMove(this, &m_flags, x, y, [this](i32 sx, i32 sy) { return HitTest(sx, sy) == SL_GUI_HIT_CLIENT; });
  if (!IsRegistered()) return;
  u32 before;
  if (!SLGuiPress::BeginMouseClick(this, &m_flags, &before)) return;
  CSL_GS_GuiWindow::OnLButtonUp(keys, x, y);
  if (!IsRegistered()) return;
  if ((before & (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER)) == (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER))
    SLGuiPress::NotifyCommand(this);
}

void CSL_GS_GuiButton::OnMouseEnter(u32 keys, i32 x, i32 y) {
  SLGuiPress::OnMouseEnter(&m_flags);
  CSL_GS_GuiWindow::OnMouseEnter(keys, x, y);
}
void CSL_GS_GuiButton::OnMouseMove(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiPress::OnMouseMove(this, &m_flags, x, y, [this](i32 sx, i32 sy) { return HitTest(sx, sy) == SL_GUI_HIT_CLIENT; });
  if (IsRegistered()) CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
}
void CSL_GS_GuiButton::OnMouseLeave() {
  SLGuiPress::OnMouseLeave(&m_flags);
  CSL_GS_GuiWindow::OnMouseLeave();
}
void CSL_GS_GuiButton::OnKeyDown(u32 key) {
  SLGuiPress::OnKeyDown(&m_flags, key);
  CSL_GS_GuiWindow::OnKeyDown(key);
}

void CSL_GS_GuiButton::OnKeyUp(u32 key) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  bool fires = false;
  if (key == SL_GUI_KEY_SPACE) {
    fires = (m_flags & (SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE)) == (SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE);
    m_flags &= ~u32(SL_GUI_BTN_PRESSED | SL_GUI_BTN_SPACE);
  }
  CSL_GS_GuiWindow::OnKeyUp(key);
  if (fires && IsRegistered()) SLGuiPress::NotifyCommand(this);
}

void CSL_GS_GuiButton::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  SLGuiPress::ClearSlots(m_images, 5);
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
}
