#include "gui/SLGuiCheckRadio.h"

#include <algorithm>

#include "foundation/SLError.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiManager.h"

namespace {

const char* const kGlyphKeys[SL_GUI_CHECK_SLOTS] = {"NormalChecked",   "OverChecked",   "ClickChecked",
                                                    "DisabledChecked", "NormalUnchecked", "OverUnchecked",
                                                    "ClickUnchecked",  "DisabledUnchecked"};
const char* const kColorKeys[4] = {"NormalColor", "OverColor", "ClickColor", "DisabledColor"};

// State 2 falls back to 1, and an empty one to 0, within the check state's four.
template <class Present>
u32 StateWithFallback(u32 base, u32 state, Present present) {
  if (state == 2 && !present(base + 2)) state = 1;
  if (!present(base + state)) state = 0;
  return base + state;
}

}  // namespace

SLGuiTwoStateButton::SLGuiTwoStateButton()
    : m_flags(0), m_images{}, m_glyphs{}, m_font(nullptr), m_colors{}, m_outlineMargin(0) {}

SLGuiTwoStateButton::~SLGuiTwoStateButton() { SLGuiPress::ClearSlots(m_images, SL_GUI_CHECK_SLOTS); }

SL_GUI_DEFINE_STATE_IMAGE_SETTERS(SLGuiTwoStateButton)
bool SLGuiTwoStateButton::SetImage5(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SLGuiPress::SetImage(this, &m_images[5], image, options);
}
bool SLGuiTwoStateButton::SetImage6(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SLGuiPress::SetImage(this, &m_images[6], image, options);
}
bool SLGuiTwoStateButton::SetImage7(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SLGuiPress::SetImage(this, &m_images[7], image, options);
}

bool SLGuiTwoStateButton::SetCheck(bool checked) {
  const bool was = IsChecked();
  if (checked)
    m_flags |= SL_GUI_BTN_CHECKED;
  else
    m_flags &= ~u32(SL_GUI_BTN_CHECKED);
  if (checked && !was) {
    TSLObjPtr<CSL_GS_GuiWindow> hold(this);
    OnChecked();
  }
  return SLSucceed(true);
}

void SLGuiTwoStateButton::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;
  const char* section = SkinSection();
  for (u32 i = 0; i < SL_GUI_CHECK_SLOTS; ++i) m_glyphs[i] = m_manager->GetSkinGlyph(m_skin, section, kGlyphKeys[i]);
  for (u32 i = 0; i < 4; ++i) m_colors[i] = m_manager->GetSkinColor(m_skin, section, kColorKeys[i]);
  m_font = m_manager->GetSkinFont(m_skin, section, "Font");
  if (!m_colors[1]) m_colors[1] = m_colors[0];
  if (!m_colors[2]) m_colors[2] = m_colors[1];
  if (!m_colors[3]) m_colors[3] = m_colors[0];
  m_outlineMargin = SLGuiPress::OutlineMargin(m_colors, 4);
}

u32 SLGuiTwoStateButton::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  const bool focused = (m_flags & SL_GUI_BTN_FOCUSED) != 0;
  const bool pressedOver = (m_flags & (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER)) == (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER);
  if (focused && ((m_flags & SL_GUI_BTN_SPACE) || pressedOver)) return SL_GUI_STATE_FOCUSED | SL_GUI_STATE_PRESSED;
  if (pressedOver) return focused ? SL_GUI_STATE_FOCUSED | SL_GUI_STATE_PRESSED : SL_GUI_STATE_PRESSED;
  if (focused) return SL_GUI_STATE_FOCUSED | SL_GUI_STATE_HOT;
  return (m_flags & SL_GUI_BTN_OVER) ? SL_GUI_STATE_HOT : SL_GUI_STATE_NORMAL;
}

bool SLGuiTwoStateButton::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  return SLGuiPress::OwnTextStyle(m_font, m_colors[state & 3], font, color);
}

SL_GUI_DEFINE_SKIN_READING(SLGuiTwoStateButton)

void SLGuiTwoStateButton::OnEnable(bool enabled) { SLGuiPress::OnEnableOrShow(&m_flags, enabled); }
void SLGuiTwoStateButton::OnShow(bool visible) { SLGuiPress::OnEnableOrShow(&m_flags, visible); }
void SLGuiTwoStateButton::OnCancelMode() {
  SLGuiPress::OnCancelMode(&m_flags);
  CSL_GS_GuiWindow::OnCancelMode();
}
void SLGuiTwoStateButton::OnCaptureLost(CSL_GS_GuiWindow* newCapture) {
  SLGuiPress::OnCaptureLost(&m_flags);
  CSL_GS_GuiWindow::OnCaptureLost(newCapture);
}
void SLGuiTwoStateButton::OnSetFocus(CSL_GS_GuiWindow* window) {
  SLGuiPress::OnSetFocus(&m_flags);
  CSL_GS_GuiWindow::OnSetFocus(window);
}
void SLGuiTwoStateButton::OnKillFocus(CSL_GS_GuiWindow* newFocus) {
  SLGuiPress::OnKillFocus(&m_flags);
  CSL_GS_GuiWindow::OnKillFocus(newFocus);
}

void SLGuiTwoStateButton::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  CSL_GS_GuiWindow::GetMinMaxInfo(info);
  if (!info) return;
  for (u32 i : {0u, u32(SL_GUI_CHECK_UNCHECKED_BASE)}) {
    if (!m_glyphs[i]) continue;
    info->minTrackSize.x = std::max(info->minTrackSize.x, m_glyphs[i]->width);
    info->minTrackSize.y = std::max(info->minTrackSize.y, m_glyphs[i]->height);
  }
}

void SLGuiTwoStateButton::Layout(const SLGuiRect& client, SLGuiRect* glyphBox, SLGuiRect* textBox) {
  const SLGuiSkinGlyph* glyph = m_glyphs[CheckBase()];
  const i32 gw = glyph ? glyph->width : 0, gh = glyph ? glyph->height : 0;
  i32 tw = 0, th = 0;
  if (m_manager) {
    SL_GS_Font* font = nullptr;
    SLGuiSkinColor color{};
    SLErrorKeeper keep;
    GetTextStyle(this, SL_GUI_STATE_NORMAL, &font, &color);
    m_manager->MeasureText(font, GetText(), &tw, &th, &color);
  }
  const i32 W = client.width, H = client.height, L = std::max(gh, th);
  const u32 vertical = m_textFormat & 12;
  const i32 top = vertical == 4 ? H - L : vertical == 8 ? 0 : (H - L) / 2;
  i32 glyphX, textX, room;
  if ((m_textFormat & 0xFF) > 15) {
    glyphX = W - gw, textX = 0, room = W - gw - 2;
  } else {
    glyphX = 0, textX = gw + 2, room = W - textX;
  }
  if (room >= 1) {
    // A text wider than its room is cut at the room's end, never moved over the glyph.
    const i32 spare = std::max(0, room - tw);
    if ((m_textFormat & 3) == 1) textX += spare;
    if ((m_textFormat & 3) == 2) textX += spare / 2;
    tw = std::min(tw, room);
  } else {
    tw = 0;
  }
  *glyphBox = {client.x + glyphX, client.y + top + (L - gh) / 2, gw, gh};
  *textBox = {client.x + textX, client.y + top + (L - th) / 2, tw, th};
}

void SLGuiTwoStateButton::Draw(const SLGuiRect* client) {
  if (!m_manager || !client) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  u32 state = 0;
  if (m_style & SL_GUI_WS_DISABLED) {
    state = 3;
  } else if (m_flags & (SL_GUI_BTN_OVER | SL_GUI_BTN_FOCUSED)) {
    const bool focusedSpace = (m_flags & (SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE)) == (SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE);
    const bool pressedOver = (m_flags & (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER)) == (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER);
    state = focusedSpace || pressedOver ? 2 : 1;
  }
  const u32 base = CheckBase();
  if (m_style & SL_GUI_CS_IMAGE) {
    const u32 index = StateWithFallback(base, state, [this](u32 i) { return m_images[i].image != nullptr; });
    const SLGuiImageSlot& slot = m_images[index];
    if (slot.image) {
      const SLGuiPoint at = SLGuiPress::Centred(*client, slot.width, slot.height);
      manager->DrawImageSlot(&slot, at.x, at.y, opacity);
    }
    return;
  }
  SLGuiRect glyphBox, textBox;
  Layout(*client, &glyphBox, &textBox);
  if (!IsRegistered()) return;
  const u32 index = StateWithFallback(base, state, [this](u32 i) { return m_glyphs[i] != nullptr; });
  if (m_glyphs[index]) manager->DrawSkinGlyph(m_glyphs[index], glyphBox.x, glyphBox.y, opacity);
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  GetTextStyle(this, state, &font, &color);
  if (!IsRegistered()) return;
  manager->DrawWidgetText(font, GetText(), &color, m_textFormat, &textBox, opacity);
}

u32 SLGuiTwoStateButton::HitTest(i32 x, i32 y) {
  const u32 hit = CSL_GS_GuiWindow::HitTest(x, y);
  if (hit != SL_GUI_HIT_CLIENT || !m_manager) return hit;
  SLGuiRect client;
  if (!SLGuiPress::ClientOnScreen(this, &client)) return SL_GUI_HIT_NOWHERE;
  const u32 base = CheckBase();
  if (m_style & SL_GUI_CS_IMAGE) return SLGuiPress::HitCentredImage(m_manager, client, m_images[base], x, y);
  SLGuiRect glyphBox, textBox;
  Layout(client, &glyphBox, &textBox);
  const auto inside = [x, y](const SLGuiRect& r) {
    return x >= r.x && y >= r.y && i64(x) < i64(r.x) + r.width && i64(y) < i64(r.y) + r.height;
  };
  if (inside(textBox)) return SL_GUI_HIT_CLIENT;
  const SLGuiSkinGlyph* glyph = m_glyphs[base];
  if (!glyph) return SL_GUI_HIT_NOWHERE;
  return m_manager->HitTestSkinGlyph(glyph, i32(i64(x) - glyphBox.x), i32(i64(y) - glyphBox.y)) ? SL_GUI_HIT_NOWHERE
                                                                                               : SL_GUI_HIT_CLIENT;
}

void SLGuiTwoStateButton::OnLButtonDblClk(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiPress::OnButtonDown(this, &m_flags);
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDblClk(keys, x, y);
}
void SLGuiTwoStateButton::OnLButtonDown(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiPress::OnButtonDown(this, &m_flags);
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDown(keys, x, y);
}

void SLGuiTwoStateButton::Click() {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if ((m_style & SL_GUI_CS_AUTO) && !ApplyClick()) return;
  if (IsRegistered()) SLGuiPress::NotifyCommand(this);
}

void SLGuiTwoStateButton::OnLButtonUp(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  // The release point decides, even when the pointer jumped off within the same tick.
  SLGuiPress::OnMouseMove(this, &m_flags, x, y, [this](i32 sx, i32 sy) { return HitTest(sx, sy) != SL_GUI_HIT_NOWHERE; });
  if (!IsRegistered()) return;
  u32 before;
  if (!SLGuiPress::BeginMouseClick(this, &m_flags, &before)) return;
  CSL_GS_GuiWindow::OnLButtonUp(keys, x, y);
  if (!IsRegistered()) return;
  if ((before & (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER)) == (SL_GUI_BTN_PRESSED | SL_GUI_BTN_OVER) && Accepts()) Click();
}

void SLGuiTwoStateButton::OnMouseEnter(u32 keys, i32 x, i32 y) {
  SLGuiPress::OnMouseEnter(&m_flags);
  CSL_GS_GuiWindow::OnMouseEnter(keys, x, y);
}
void SLGuiTwoStateButton::OnMouseMove(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  SLGuiPress::OnMouseMove(this, &m_flags, x, y, [this](i32 sx, i32 sy) { return HitTest(sx, sy) != SL_GUI_HIT_NOWHERE; });
  if (IsRegistered()) CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
}
void SLGuiTwoStateButton::OnMouseLeave() {
  SLGuiPress::OnMouseLeave(&m_flags);
  CSL_GS_GuiWindow::OnMouseLeave();
}
void SLGuiTwoStateButton::OnKeyDown(u32 key) {
  SLGuiPress::OnKeyDown(&m_flags, key);
  CSL_GS_GuiWindow::OnKeyDown(key);
}

void SLGuiTwoStateButton::OnKeyUp(u32 key) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  bool fires = false;
  if (key == SL_GUI_KEY_SPACE) {
    fires = (m_flags & (SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE)) == (SL_GUI_BTN_FOCUSED | SL_GUI_BTN_SPACE) && Accepts();
    m_flags &= ~u32(SL_GUI_BTN_PRESSED | SL_GUI_BTN_SPACE);
  }
  CSL_GS_GuiWindow::OnKeyUp(key);
  if (fires && IsRegistered()) Click();
}

void SLGuiTwoStateButton::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  SLGuiPress::ClearSlots(m_images, SL_GUI_CHECK_SLOTS);
  ReadSkin();
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
}

// --- Check box ---

u32 CSL_GS_GuiCheckBox::GetDialogCode() { return SL_GUI_DLGC_BUTTON; }

bool CSL_GS_GuiCheckBox::ApplyClick() {
  SetCheck(!IsChecked());
  return IsRegistered();
}

// --- Radio button ---

u32 CSL_GS_GuiRadioButton::GetDialogCode() { return SL_GUI_DLGC_BUTTON | SL_GUI_DLGC_RADIOBUTTON; }

bool CSL_GS_GuiRadioButton::ApplyClick() {
  SetCheck(true);
  return IsRegistered();
}

void CSL_GS_GuiRadioButton::OnChecked() {
  if (!m_manager || !IsRegistered()) return;
  CSL_GS_GuiManager* manager = m_manager;
  SLErrorKeeper keep;
  const u32 group = m_style & SL_GUI_CS_GROUP_MASK;
  // Unchecking sends nothing, but a window that vanishes under the walk (some handler
  // of a later version) restarts it from the first sibling; each pass unchecks at least
  // one button or ends, so the walk is finite.
  for (bool restart = true; restart && IsRegistered();) {
    restart = false;
    for (CSL_GS_GuiWindow* w = manager->GetFirstSibling(this); w;) {
      TSLObjPtr<CSL_GS_GuiWindow> hold(w);
      if (w != this && w->IsKindOf(CSL_GS_GuiRadioButton::GetClassRecord()) &&
          (w->GetStyle() & SL_GUI_CS_GROUP_MASK) == group) {
        auto* radio = static_cast<CSL_GS_GuiRadioButton*>(w);
        if (radio->IsChecked()) radio->SetCheck(false);
      }
      if (!w->IsRegistered()) {
        restart = true;
        break;
      }
      w = manager->GetNextSibling(w);
    }
  }
}

// --- Group box ---

CSL_GS_GuiGroupBox::CSL_GS_GuiGroupBox()
    : m_left(0), m_top(0), m_right(0), m_bottom(0), m_border(nullptr), m_font(nullptr), m_normalColor(nullptr),
      m_disabledColor(nullptr) {
  m_textFormat = 10;
}

void CSL_GS_GuiGroupBox::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;
  m_border = m_manager->GetSkinImageElement(m_skin, "GroupBox", "Border");
  m_font = m_manager->GetSkinFont(m_skin, "GroupBox", "Font");
  m_normalColor = m_manager->GetSkinColor(m_skin, "GroupBox", "NormalColor");
  m_disabledColor = m_manager->GetSkinColor(m_skin, "GroupBox", "DisabledColor");
  if (!m_disabledColor) m_disabledColor = m_normalColor;
  m_left = m_border ? m_border->left : 0;
  m_top = m_border ? m_border->top : 0;
  m_right = m_border ? m_border->right : 0;
  m_bottom = m_border ? m_border->bottom : 0;
  // The caption's strip is as high as a line of text with ascent and descent.
  i32 height = 0;
  m_manager->MeasureText(m_font, "Wj", nullptr, &height, m_normalColor);
  if ((m_textFormat & 12) == 4)
    m_bottom = std::max(m_bottom, height);
  else
    m_top = std::max(m_top, height);
}

void CSL_GS_GuiGroupBox::RecomputeFrame() {
  if (!IsRegistered()) return;
  SLErrorKeeper keep;
  SetPosition(0, 0, 0, 0,
              SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOSIZE | SL_GUI_SWP_NOZORDER, std::uintptr_t(0));
}

u32 CSL_GS_GuiGroupBox::GetState() { return SLGuiStaticState(m_style); }
u32 CSL_GS_GuiGroupBox::GetDialogCode() { return SL_GUI_DLGC_STATIC; }

bool CSL_GS_GuiGroupBox::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  return SLGuiPress::OwnTextStyle(m_font, (state & 3) == SL_GUI_STATE_DISABLED ? m_disabledColor : m_normalColor, font,
                                  color);
}

SL_GUI_DEFINE_SKIN_READING(CSL_GS_GuiGroupBox)

void CSL_GS_GuiGroupBox::OnTextFormatChanged(u32 format) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiWindow::OnTextFormatChanged(format);
  if (!IsRegistered()) return;
  // The caption may move between the top and the bottom edge.
  ReadSkin();
  RecomputeFrame();
}

void CSL_GS_GuiGroupBox::OnTextChanged(CSLStringAnsi* text) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiWindow::OnTextChanged(text);
  RecomputeFrame();
}

void CSL_GS_GuiGroupBox::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  CSL_GS_GuiWindow::GetMinMaxInfo(info);
  if (!info) return;
  info->minTrackSize.x = std::max(info->minTrackSize.x, m_left + m_right);
  info->minTrackSize.y = std::max(info->minTrackSize.y, m_top + m_bottom);
}

void CSL_GS_GuiGroupBox::GetClientArea(SLGuiRect* rect) {
  if (rect) {
    rect->x += m_left, rect->y += m_top;
    rect->width -= m_left + m_right, rect->height -= m_top + m_bottom;
  }
  CSL_GS_GuiWindow::GetClientArea(rect);
}

void CSL_GS_GuiGroupBox::DrawFrame(const SLGuiRect* r) {
  if (!m_manager || !r) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  GetTextStyle(this, (m_style & SL_GUI_WS_DISABLED) ? SL_GUI_STATE_DISABLED : SL_GUI_STATE_NORMAL, &font, &color);
  if (!IsRegistered()) return;
  const char* text = GetText();
  i32 tw = 0, th = 0;
  manager->MeasureText(font, text, &tw, &th, &color);
  const bool bottom = (m_textFormat & 12) == 4;
  const i32 stripY = bottom ? r->y + r->height - th : r->y;
  const i32 stripH = bottom ? m_bottom : m_top;
  const i64 insets = i64(m_left) + m_right;
  const i32 captionW = i32(std::min<i64>(tw, std::max<i64>(0, r->width - 4 * insets)));
  // The caption sits in the room between twice the side insets.
  const i64 spare = std::max<i64>(0, r->width - 2 * insets - captionW);
  i64 captionX = i64(r->x) + 2 * i64(m_left);
  if ((m_textFormat & 3) == 1) captionX += spare;
  if ((m_textFormat & 3) == 2) captionX += spare / 2;
  const bool hasText = text && *text;
  if (m_border && !hasText) {
    manager->DrawSkinElement(m_border, r, opacity);
  } else if (m_border) {
    // The border's caption side runs through the middle of the strip, with a gap behind
    // the caption: three clipped passes, the band outside the strip and the strip's two
    // pieces beside the caption.
    SLGuiRect border = *r;
    if (bottom) {
      border.height -= m_bottom / 2;
    } else {
      border.y += m_top / 2;
      border.height -= m_top / 2;
    }
    const i64 captionEnd = captionX + captionW;
    const SLGuiRect clips[3] = {
        bottom ? SLGuiRect{r->x, r->y, r->width, i32(std::max<i64>(0, i64(stripY) - r->y))}
               : SLGuiRect{r->x, r->y + stripH, r->width, std::max(0, r->height - stripH)},
        {r->x, stripY, i32(std::max<i64>(0, captionX - r->x)), stripH},
        {i32(captionEnd), stripY, i32(std::max<i64>(0, i64(r->x) + r->width - captionEnd)), stripH},
    };
    for (const SLGuiRect& clip : clips) {
      if (clip.width < 1 || clip.height < 1) continue;
      if (!manager->PushClipRect(clip.x, clip.y, clip.width, clip.height, false)) continue;
      manager->DrawSkinElement(m_border, &border, opacity);
      manager->PopClipRect();
    }
  }
  if (hasText) {
    const SLGuiRect box{i32(captionX), stripY, captionW, stripH};
    // A caption cut to its room keeps its start in view.
    manager->DrawWidgetText(font, text, &color, captionW < tw ? 0 : m_textFormat & 3, &box, opacity);
  }
  CSL_GS_GuiWindow::DrawFrame(r);
}

void CSL_GS_GuiGroupBox::Draw(const SLGuiRect* client) {
  if (m_manager && client && m_border)
    m_manager->DrawSkinElementInRect(m_border, client, m_manager->GetEffectiveOpacity(this), nullptr);
}
