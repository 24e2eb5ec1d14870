// The look of a menu: its skin ("Menu" for popups, "MenuBar" for the bar a window
// draws), the text style it answers for its own items, and the drawing of both
// arrangements.
#include <algorithm>

#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

// Item states as the text style and the glyphs take them.
constexpr u32 kStateNormal = 0, kStateSelected = 32, kStateDisabled = SL_GUI_STATE_DISABLED;

u32 GlyphColumn(u32 state) { return state == kStateDisabled ? 2 : state == kStateSelected ? 1 : 0; }

}  // namespace

void SLGuiDrawSkinPanel(CSL_GS_GuiManager* manager, const SLGuiSkinElement* element, const SLGuiRect& rect,
                        double opacity, const SLGuiSkinElement* backgroundOverride) {
  if (!manager || !element) return;
  SLErrorKeeper keep;
  manager->DrawSkinElement(element, &rect, opacity);
  SLGuiRect inner = rect;
  SLGuiSkinDeflateRect(element, &inner);
  manager->DrawSkinElementInRect(element, &inner, opacity, backgroundOverride);
}

void CSL_GS_GuiMenuPopup::ReadSkin() {
  CSL_GS_GuiManager* m = m_manager;
  if (!m) return;
  SLErrorKeeper keep;
  const u32 skin = m_skin;
  for (int bar = 0; bar < 2; ++bar) {
    const char* section = bar ? "MenuBar" : "Menu";
    Look& look = bar ? m_barLook : m_popupLook;
    look = {};
    look.normal = m->GetSkinImageElement(skin, section, "Normal");
    look.normalBackground = m->GetSkinImageElement(skin, section, "NormalBackgroundOverride");
    look.selectedArea = m->GetSkinImageElement(skin, section, "SelectedArea");
    if (bar) {
      look.disabled = m->GetSkinImageElement(skin, section, "Disabled");
      look.disabledBackground = m->GetSkinImageElement(skin, section, "DisabledBackgroundOverride");
    } else {
      look.horizontalSeparator = m->GetSkinImageElement(skin, section, "HorizontalSeparator");
      look.verticalSeparator = m->GetSkinImageElement(skin, section, "VerticalSeparator");
    }
    look.font = m->GetSkinFont(skin, section, "Font");
    look.normalColor = m->GetSkinColor(skin, section, "NormalColor");
    look.selectedColor = m->GetSkinColor(skin, section, "SelectedColor");
    look.disabledColor = m->GetSkinColor(skin, section, "DisabledColor");
    if (!look.selectedColor) look.selectedColor = look.normalColor;
    if (!look.disabledColor) look.disabledColor = look.normalColor;
  }
  static const char* const kKinds[kGlyphKinds] = {"CheckMark", "CheckedRadioMark", "UncheckedRadioMark", "Submenu"};
  static const char* const kStates[3] = {"Normal", "Selected", "Disabled"};
  char key[64];
  for (u32 kind = 0; kind < kGlyphKinds; ++kind)
    for (u32 state = 0; state < 3; ++state) {
      snprintf(key, sizeof key, "%s%sGlyph", kStates[state], kKinds[kind]);
      m_glyphs[kind][state] = m->GetSkinGlyph(skin, "Menu", key);
    }
}

const SLGuiSkinGlyph* CSL_GS_GuiMenuPopup::GlyphFor(u32 kind, u32 state) const {
  const SLGuiSkinGlyph* glyph = m_glyphs[kind][GlyphColumn(state)];
  return glyph ? glyph : m_glyphs[kind][0];
}

const SLGuiSkinGlyph* CSL_GS_GuiMenuPopup::IndicatorGlyph(u32 flags, u32 state) const {
  if (flags == SL_GUI_MF_SEPARATOR) return nullptr;
  switch (flags & SL_GUI_MF_INDICATOR_MASK) {
    case SL_GUI_MF_CHECK: return GlyphFor(kGlyphCheck, state);
    case SL_GUI_MF_RADIO_OFF: return GlyphFor(kGlyphRadioOff, state);
    case SL_GUI_MF_RADIO_ON: return GlyphFor(kGlyphRadioOn, state);
    default: return nullptr;
  }
}

// --- Virtual operations ---

u32 CSL_GS_GuiMenuPopup::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  // The menu the keys move is the one with the tracking's focus.
  if (m_manager && m_manager->GetCurrentMenu() == this) return SL_GUI_STATE_HOT | SL_GUI_STATE_FOCUSED;
  return SL_GUI_STATE_NORMAL;
}

bool CSL_GS_GuiMenuPopup::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  const bool asBar = m_arranging ? m_arranging == 2 : m_attachedWindow != nullptr;
  const Look& look = asBar ? m_barLook : m_popupLook;
  const SLGuiSkinColor* chosen = (state & 0xFF) == kStateDisabled ? look.disabledColor
                                 : (state & kStateSelected)       ? look.selectedColor
                                                                  : look.normalColor;
  if (font) *font = look.font;
  if (color) {
    if (chosen)
      *color = *chosen;
    else
      *color = SLGuiSkinColor{0xFF000000u, 0, 0, 0, 0, 0, nullptr};
  }
  return SLSucceed(true);
}

bool CSL_GS_GuiMenuPopup::OnCreate() {
  if (!CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  return true;
}

void CSL_GS_GuiMenuPopup::OnPositionChanged(SLGuiWindowPos* pos) {
  WindowHold hold(this);
  CSL_GS_GuiWindow::OnPositionChanged(pos);
  if (IsRegistered()) ReadSkin();
}

void CSL_GS_GuiMenuPopup::OnCancelMode() {
  WindowHold hold(this);
  if (m_manager && m_manager->GetCaptureWindow() == this) m_manager->ReleaseCapture();
}

void CSL_GS_GuiMenuPopup::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
  ReadSkin();
  ItemsChanged(true);
}

void CSL_GS_GuiMenuPopup::OnSkinChanged(u32 skin) {
  CSL_GS_GuiWindow::OnSkinChanged(skin);
  ReadSkin();
  ItemsChanged(true);
}

// --- Drawing ---

void CSL_GS_GuiMenuPopup::DrawItem(u32 index, const SLGuiMenuItemGeometry& g, i32 originX, i32 originY, bool asBar,
                                   double opacity) {
  CSL_GS_GuiManager* m = m_manager;
  const SLGuiMenuItem& item = m_items[index];
  const Look& look = asBar ? m_barLook : m_popupLook;
  const u32 state = IsDisabledMenu() || (item.flags & SL_GUI_MF_DISABLED) ? kStateDisabled
                    : m_highlighted == i32(index)                            ? kStateSelected
                                                                             : kStateNormal;
  SLGuiRect r;
  GetItemRect(asBar, index, &r);
  r.x += originX, r.y += originY;
  if (state == kStateSelected && look.selectedArea) SLGuiDrawSkinPanel(m, look.selectedArea, r, opacity, nullptr);
  i32 x = r.x + 3;
  if (g.checkWidth > 0) {
    if (const SLGuiSkinGlyph* glyph = IndicatorGlyph(item.flags, state))
      m->DrawSkinGlyph(glyph, x + (g.checkWidth - glyph->width) / 2, r.y + (g.height - glyph->height) / 2, opacity);
    x += g.checkWidth + 4;
  }
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  m_arranging = asBar ? 2 : 1;
  GetTextStyle(this, state, &font, &color);
  m_arranging = 0;
  const SLGuiRect text{x, r.y, g.textWidth, g.height};
  m->DrawWidgetText(font, item.text, &color, 0, &text, opacity);
  if (!asBar && item.submenu && g.rightWidth > 0) {
    if (const SLGuiSkinGlyph* glyph = GlyphFor(kGlyphSubmenu, state)) {
      const i32 columnX = x + g.textWidth + 4;
      m->DrawSkinGlyph(glyph, columnX + (g.rightWidth - glyph->width) / 2, r.y + (g.height - glyph->height) / 2,
                       opacity);
    }
  }
}

void CSL_GS_GuiMenuPopup::Draw(const SLGuiRect* clientOnScreen) {
  CSL_GS_GuiManager* m = m_manager;
  if (!m || !clientOnScreen) return;
  WindowHold hold(this);
  SLErrorKeeper keep;
  const double opacity = m->GetEffectiveOpacity(this);
  const SLGuiRect& rect = *clientOnScreen;
  SLGuiDrawSkinPanel(m, m_popupLook.normal, rect, opacity, m_popupLook.normalBackground);
  SLGuiRect inner = rect;
  if (m_popupLook.normal) SLGuiSkinDeflateRect(m_popupLook.normal, &inner);
  for (u32 i = 0; i < m_items.GetCount() && IsRegistered(); ++i) {
    const SLGuiMenuItem& item = m_items[i];
    const SLGuiMenuItemGeometry& g = item.popup;
    if (i > 0 && item.flags != SL_GUI_MF_SEPARATOR && (item.flags & SL_GUI_MF_BREAK) && m_popupLook.verticalSeparator) {
      // In the middle of the gap before the column.
      const SLGuiSkinElement* v = m_popupLook.verticalSeparator;
      SLGuiDrawSkinPanel(m, v, SLGuiRect{rect.x + g.x - 2 - v->width, inner.y, v->width, inner.height}, opacity,
                         nullptr);
    }
    if (item.flags == SL_GUI_MF_SEPARATOR) {
      SLGuiRect r;
      GetItemRect(false, i, &r);
      SLGuiDrawSkinPanel(m, m_popupLook.horizontalSeparator, SLGuiRect{rect.x + r.x, rect.y + r.y, r.width, r.height},
                         opacity, nullptr);
      continue;
    }
    DrawItem(i, g, rect.x, rect.y, false, opacity);
  }
}

void CSL_GS_GuiMenuPopup::DrawMenuBar(const SLGuiRect* rect) {
  CSL_GS_GuiManager* m = m_manager;
  if (!m || !rect) return;
  WindowHold hold(this);
  SLErrorKeeper keep;
  const double opacity = m->GetEffectiveOpacity(this);
  const bool disabled = IsDisabledMenu() && m_barLook.disabled;
  SLGuiDrawSkinPanel(m, disabled ? m_barLook.disabled : m_barLook.normal, *rect, opacity,
                     disabled ? m_barLook.disabledBackground : m_barLook.normalBackground);
  // While a context menu is tracked the bar shows no highlight of its own.
  const i32 saved = m_highlighted;
  if (m->IsContextMenuTracked()) m_highlighted = -1;
  if (m_highlighted >= 0 && !IsSelectable(u32(m_highlighted))) m_highlighted = -1;
  for (u32 i = 0; i < m_items.GetCount(); ++i)
    if (m_items[i].flags != SL_GUI_MF_SEPARATOR) DrawItem(i, m_items[i].bar, rect->x, rect->y, true, opacity);
  m_highlighted = saved;
}
