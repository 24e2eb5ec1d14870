// The framed window: reading its skin, its frame geometry (client area, minimum size,
// hit codes), drawing, the window menu, and moving, sizing and the caption buttons.
#include "gui/SLGuiTopLevelWindow.h"

#include <algorithm>

#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"

namespace {

using WindowHold = TSLObjPtr<CSL_GS_GuiWindow>;

constexpr u32 kPressed = 2, kOver = 8;

i32 HeightOf(const SLGuiSkinElement* e) { return e ? e->height : 0; }
i32 WidthOf(const SLGuiSkinElement* e) { return e ? e->width : 0; }

bool Contains(const SLGuiRect& r, i32 x, i32 y) {
  return x >= r.x && y >= r.y && i64(x) < i64(r.x) + r.width && i64(y) < i64(r.y) + r.height;
}

}  // namespace

CSL_GS_GuiTopLevelWindow::CSL_GS_GuiTopLevelWindow()
    : m_mouseFlags(0), m_hoverCode(0), m_pressedCode(0), m_dragStart{}, m_dragStartRect{}, m_sizingEdges(0),
      m_menu(nullptr), m_closePos{}, m_maxRestorePos{}, m_minPos{}, m_caption{}, m_plain{}, m_captionRect{},
      m_buttonGlyphs{}, m_captionFont(nullptr), m_captionInfo(nullptr), m_closeInfo(nullptr),
      m_maxRestoreInfo(nullptr), m_minInfo(nullptr), m_activeNormalColor{}, m_activeDisabledColor{},
      m_inactiveNormalColor{}, m_inactiveDisabledColor{}, m_readingSkin(false) {}

CSL_GS_GuiTopLevelWindow::~CSL_GS_GuiTopLevelWindow() {
  if (m_menu && m_menu->m_attachedWindow == this) m_menu->m_attachedWindow = nullptr;
  if (m_menu) m_menu->Release();
}

// --- Skin ---

void CSL_GS_GuiTopLevelWindow::ReadSkin() {
  CSL_GS_GuiManager* m = m_manager;
  if (!m || m_readingSkin) return;
  m_readingSkin = true;
  SLErrorKeeper keep;
  const u32 skin = m_skin;
  static const char* const kPieces[4] = {"Top", "Bottom", "Left", "Right"};
  const SLGuiSkinColor none{};
  auto color = [&](const char* section, const char* key, const SLGuiSkinColor& fallback) {
    const SLGuiSkinColor* c = m->GetSkinColor(skin, section, key);
    return c ? *c : fallback;
  };
  for (int captioned = 0; captioned < 2; ++captioned) {
    Frame& f = captioned ? m_caption : m_plain;
    f = {};
    const char* active = captioned ? "WindowWithCaption_Active" : "WindowWithoutCaption_Active";
    const char* inactive = captioned ? "WindowWithCaption_Inactive" : "WindowWithoutCaption_Inactive";
    const char* common = captioned ? "WindowWithCaption_Common" : "WindowWithoutCaption_Common";
    for (int i = 0; i < 4; ++i) {
      f.active[i] = m->GetSkinImageElement(skin, active, kPieces[i]);
      f.inactive[i] = m->GetSkinImageElement(skin, inactive, kPieces[i]);
      if (!f.inactive[i]) f.inactive[i] = f.active[i];
    }
    f.clientBackground = m->GetSkinImageElement(skin, common, "ClientBackground");
    // Borders from the active set; the top is at least as deep as the bottom.
    f.borders[0] = WidthOf(f.active[kLeft]);
    f.borders[2] = WidthOf(f.active[kRight]);
    f.borders[3] = HeightOf(f.active[kBottom]);
    f.borders[1] = std::max(HeightOf(f.active[kBottom]), f.active[kTop] ? f.active[kTop]->top : 0);
    i32 values[4] = {};
    if (const SLGuiSkinInfo* info = m->GetSkinInfo(skin, common, "BorderSizeOverride"))
      if (m->EvaluateSkinInfo(info, 256, 256, values)) std::copy(values, values + 4, f.borders);
    if (const SLGuiSkinInfo* info = m->GetSkinInfo(skin, common, "MinWindowSizeOverride"))
      if (m->EvaluateSkinInfo(info, 256, 256, values)) f.minWidth = std::max(values[0], 0), f.minHeight = std::max(values[1], 0);
  }
  m_activeNormalColor = color("WindowWithCaption_Active", "NormalCaptionColor", none);
  m_activeDisabledColor = color("WindowWithCaption_Active", "DisabledCaptionColor", m_activeNormalColor);
  m_inactiveNormalColor = color("WindowWithCaption_Inactive", "NormalCaptionColor", m_activeNormalColor);
  m_inactiveDisabledColor = color("WindowWithCaption_Inactive", "DisabledCaptionColor", m_activeDisabledColor);

  const char* common = "WindowWithCaption_Common";
  m_captionFont = m->GetSkinFont(skin, common, "Font");
  static const char* const kButtons[4] = {"MinButton", "MaxButton", "RestoreButton", "CloseButton"};
  static const char* const kStates[3] = {"Normal", "Over", "Click"};
  char key[48];
  for (int b = 0; b < 4; ++b)
    for (int s = 0; s < 3; ++s) {
      snprintf(key, sizeof key, "%s%s", kButtons[b], kStates[s]);
      m_buttonGlyphs[b][s] = m->GetSkinGlyph(skin, common, key);
    }
  m_captionInfo = m->GetSkinInfo(skin, common, "CaptionInfo");
  m_closeInfo = m->GetSkinInfo(skin, common, "CloseButtonInfo");
  m_maxRestoreInfo = m->GetSkinInfo(skin, common, "MaxRestoreButtonInfo");
  m_minInfo = m->GetSkinInfo(skin, common, "MinButtonInfo");
  LayOutCaption();
  m_readingSkin = false;
}

void CSL_GS_GuiTopLevelWindow::LayOutCaption() {
  CSL_GS_GuiManager* m = m_manager;
  const i32 width = m_windowRect.width, height = m_windowRect.height;
  auto evaluate = [&](const SLGuiSkinInfo* info, i32* out, u32 count) {
    std::fill(out, out + count, 0);
    i32 values[4] = {};
    if (info && info->count == count && m->EvaluateSkinInfo(info, width, height, values))
      std::copy(values, values + count, out);
  };
  i32 rect[4], point[2];
  evaluate(m_captionInfo, rect, 4);
  m_captionRect = {rect[0], rect[1], rect[2], rect[3]};
  evaluate(m_closeInfo, point, 2);
  m_closePos = {point[0], point[1]};
  evaluate(m_maxRestoreInfo, point, 2);
  m_maxRestorePos = {point[0], point[1]};
  evaluate(m_minInfo, point, 2);
  m_minPos = {point[0], point[1]};
}

void CSL_GS_GuiTopLevelWindow::GetBorderSizes(i32 sizes[4]) const {
  std::copy(CurrentFrame().borders, CurrentFrame().borders + 4, sizes);
}

SLGuiPoint CSL_GS_GuiTopLevelWindow::GetFrameOrigin() const {
  const Frame& f = CurrentFrame();
  return {WidthOf(f.active[kLeft]), HeightOf(f.active[kTop])};
}

bool CSL_GS_GuiTopLevelWindow::IsActiveWindow() const {
  return m_manager && m_manager->GetState() && m_manager->GetState()->activeWindow == this;
}

u32 CSL_GS_GuiTopLevelWindow::CaptionButtons(Button buttons[3]) const {
  if (!(m_style & SL_GUI_TLS_CAPTION)) return 0;
  u32 n = 0;
  if (m_style & SL_GUI_TLS_MINIMIZEBOX) buttons[n++] = {SL_GUI_HIT_MINIMIZE, kMinimize, m_minPos};
  if (m_style & SL_GUI_TLS_MAXIMIZEBOX) {
    const bool maximized = (m_style & SL_GUI_WS_MAXIMIZED) != 0;
    buttons[n++] = {maximized ? SL_GUI_HIT_RESTORE : SL_GUI_HIT_MAXIMIZE, u32(maximized ? kRestore : kMaximize),
                    m_maxRestorePos};
  }
  if (m_style & SL_GUI_TLS_CLOSEBOX) buttons[n++] = {SL_GUI_HIT_CLOSE, kClose, m_closePos};
  return n;
}

SLGuiPoint CSL_GS_GuiTopLevelWindow::ToWindow(i32 screenX, i32 screenY) const {
  SLGuiRect screen{};
  GetScreenRectR(&screen);
  return {screenX - screen.x, screenY - screen.y};
}

// --- Window menu ---

bool CSL_GS_GuiTopLevelWindow::SetMenu(CSL_GS_GuiMenuPopup* menu) {
  WindowHold hold(this);
  if (!IsRegistered()) return SLFail(SL_E_INVALID_ARG, false);
  CSL_GS_GuiManager* manager = m_manager;
  if (menu && !manager->IsMenuPopup(menu)) return SLFail(SL_E_INVALID_ARG, false);
  if (menu == m_menu) return SLSucceed(true);
  if (menu && (menu->m_attachedWindow || menu->m_parentMenu || manager->IsMenuOpen(menu)))
    return SLFail(SL_E_BUSY, false);
  WindowHold menuHold(menu);
  {
    SLErrorKeeper keep;
    manager->CloseMenus(this);
    if (m_menu) manager->CloseMenus(m_menu);
    if (menu) manager->CloseMenus(menu);
  }
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (menu && (!menu->IsRegistered() || menu->m_attachedWindow || menu->m_parentMenu))
    return SLFail(SL_E_BUSY, false);
  if (CSL_GS_GuiMenuPopup* old = m_menu) {
    if (old->m_attachedWindow == this) old->m_attachedWindow = nullptr;
    old->m_highlighted = -1;
    m_menu = nullptr;
    old->Release();
  }
  if (menu) {
    menu->AddRef();
    menu->m_attachedWindow = this;
    menu->m_highlighted = -1;
    m_menu = menu;
  }
  SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH_LAYOUT, std::uintptr_t(0));
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  return SLSucceed(true);
}

i32 CSL_GS_GuiTopLevelWindow::MenuItemFromPoint(i32 x, i32 y) {
  if (!m_menu) return SLSucceed(-1);
  const SLGuiPoint origin = GetFrameOrigin();
  return m_menu->ItemFromPoint(true, x - origin.x, y - origin.y);
}

// --- Virtual operations ---

bool CSL_GS_GuiTopLevelWindow::CanMinimize() { return (m_style & SL_GUI_TLS_MINIMIZEBOX) != 0; }
bool CSL_GS_GuiTopLevelWindow::CanMaximize() { return (m_style & SL_GUI_TLS_MAXIMIZEBOX) != 0; }

u32 CSL_GS_GuiTopLevelWindow::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  u32 state = SL_GUI_STATE_NORMAL;
  if (m_mouseFlags & kOver) state = (m_mouseFlags & kPressed) ? SL_GUI_STATE_PRESSED : SL_GUI_STATE_HOT;
  return IsActiveWindow() ? state | SL_GUI_STATE_FOCUSED : state;
}

bool CSL_GS_GuiTopLevelWindow::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font,
                                            SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  const bool active = (state & 32) != 0, disabled = (state & 3) == 3;
  if (font) *font = m_captionFont;
  if (color)
    *color = active ? (disabled ? m_activeDisabledColor : m_activeNormalColor)
                    : (disabled ? m_inactiveDisabledColor : m_inactiveNormalColor);
  return SLSucceed(true);
}

bool CSL_GS_GuiTopLevelWindow::OnCreate() {
  if (!CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  return true;
}

void CSL_GS_GuiTopLevelWindow::OnClose() {
  if ((m_style & SL_GUI_TLS_CLOSEBOX) && m_manager) m_manager->DestroyWindow(this);
}

void CSL_GS_GuiTopLevelWindow::OnPositionChanged(SLGuiWindowPos* pos) {
  WindowHold hold(this);
  CSL_GS_GuiWindow::OnPositionChanged(pos);
  if (IsRegistered()) ReadSkin();
}

void CSL_GS_GuiTopLevelWindow::EndPress() {
  m_mouseFlags &= ~kPressed;
  m_pressedCode = 0;
  m_sizingEdges = 0;
}

void CSL_GS_GuiTopLevelWindow::OnCancelMode() {
  WindowHold hold(this);
  CSL_GS_GuiWindow::OnCancelMode();
  EndPress();
}

void CSL_GS_GuiTopLevelWindow::OnCaptureLost(CSL_GS_GuiWindow* newCapture) {
  WindowHold hold(this);
  CSL_GS_GuiWindow::OnCaptureLost(newCapture);
  EndPress();
}

void CSL_GS_GuiTopLevelWindow::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  if (!(m_style & SL_GUI_WS_MINIMIZED)) {
    const Frame& f = CurrentFrame();
    const i32 width = std::max(WidthOf(f.active[kLeft]) + WidthOf(f.active[kRight]), f.minWidth);
    const i32 height = std::max(HeightOf(f.active[kTop]) + HeightOf(f.active[kBottom]), f.minHeight);
    info->minTrackSize.x = std::max(info->minTrackSize.x, width);
    info->minTrackSize.y = std::max(info->minTrackSize.y, height);
  }
  CSL_GS_GuiWindow::GetMinMaxInfo(info);
}

void CSL_GS_GuiTopLevelWindow::GetClientArea(SLGuiRect* rect) {
  if (!(m_style & SL_GUI_WS_MINIMIZED)) {
    const Frame& f = CurrentFrame();
    const i32 top = HeightOf(f.active[kTop]), bottom = HeightOf(f.active[kBottom]);
    const i32 left = WidthOf(f.active[kLeft]), right = WidthOf(f.active[kRight]);
    rect->x += left, rect->y += top;
    rect->width = std::max(0, rect->width - left - right);
    rect->height = std::max(0, rect->height - top - bottom);
    if (m_menu && m_menu->IsRegistered()) {
      const i32 barHeight = std::min(m_menu->LayoutMenuBar(rect->width), rect->height);
      m_menu->SetBarRect({rect->x, rect->y, rect->width, barHeight});
      rect->y += barHeight;
      rect->height -= barHeight;
    }
  }
  CSL_GS_GuiWindow::GetClientArea(rect);
}

u32 CSL_GS_GuiTopLevelWindow::HitTest(i32 x, i32 y) {
  if (m_style & SL_GUI_WS_MINIMIZED) {
    SLGuiRect screen{};
    GetScreenRectR(&screen);
    return Contains(screen, x, y) ? SL_GUI_HIT_CLIENT : SL_GUI_HIT_NOWHERE;
  }
  const u32 base = CSL_GS_GuiWindow::HitTest(x, y);
  if (base != SL_GUI_HIT_FRAME) return base;
  const SLGuiPoint p = ToWindow(x, y);
  Button buttons[3];
  const u32 count = CaptionButtons(buttons);
  for (u32 i = 0; i < count; ++i) {
    const SLGuiSkinGlyph* glyph = m_buttonGlyphs[buttons[i].glyphRow][0];
    if (!glyph) continue;
    const SLGuiRect r{buttons[i].position.x, buttons[i].position.y, glyph->width, glyph->height};
    if (Contains(r, p.x, p.y) && !m_manager->HitTestSkinGlyph(glyph, p.x - r.x, p.y - r.y)) return buttons[i].code;
  }
  const Frame& f = CurrentFrame();
  const SLGuiRect inner{f.borders[0], f.borders[1], m_windowRect.width - f.borders[0] - f.borders[2],
                        m_windowRect.height - f.borders[1] - f.borders[3]};
  if (!Contains(inner, p.x, p.y)) return SL_GUI_HIT_FRAME;
  if ((m_style & SL_GUI_TLS_CAPTION) && p.y < HeightOf(f.active[kTop])) return SL_GUI_HIT_CAPTION;
  if (m_menu) {
    SLGuiRect bar;
    m_menu->GetBarRect(&bar);
    bar.x -= m_windowRect.x, bar.y -= m_windowRect.y;
    if (Contains(bar, p.x, p.y)) return SL_GUI_HIT_MENUBAR;
  }
  return SL_GUI_HIT_NOWHERE;
}

// --- Drawing ---

void CSL_GS_GuiTopLevelWindow::DrawFrame(const SLGuiRect* windowOnScreen) {
  CSL_GS_GuiManager* m = m_manager;
  if (!m || !windowOnScreen || (m_style & SL_GUI_WS_MINIMIZED)) return;
  WindowHold hold(this);
  SLErrorKeeper keep;
  const double opacity = m->GetEffectiveOpacity(this);
  const bool active = IsActiveWindow();
  const Frame& f = CurrentFrame();
  const SLGuiSkinElement* const* set = active ? f.active : f.inactive;
  const SLGuiRect& w = *windowOnScreen;
  auto piece = [&](const SLGuiSkinElement* e, const SLGuiRect& r) {
    if (!e || r.width < 1 || r.height < 1) return;
    if (!m->PushClipRect(r.x, r.y, r.width, r.height, false)) return;
    SLGuiDrawSkinPanel(m, e, r, opacity, nullptr);
    m->PopClipRect();
  };
  // Each piece keeps its own size; the band shrinks by the active piece's, so that the
  // inactive look never moves the client area.
  SLGuiRect band = w;
  piece(set[kTop], {w.x, w.y, w.width, HeightOf(set[kTop])});
  band.y += HeightOf(f.active[kTop]);
  band.height -= HeightOf(f.active[kTop]);
  piece(set[kBottom], {w.x, band.y + band.height - HeightOf(set[kBottom]), w.width, HeightOf(set[kBottom])});
  band.height -= HeightOf(f.active[kBottom]);
  piece(set[kLeft], {w.x, band.y, WidthOf(set[kLeft]), band.height});
  band.x += WidthOf(f.active[kLeft]);
  band.width -= WidthOf(f.active[kLeft]);
  piece(set[kRight], {band.x + band.width - WidthOf(set[kRight]), band.y, WidthOf(set[kRight]), band.height});
  band.width -= WidthOf(f.active[kRight]);

  if (m_style & SL_GUI_TLS_CAPTION) {
    Button buttons[3];
    const u32 count = CaptionButtons(buttons);
    for (u32 i = 0; i < count; ++i) {
      const u32 code = buttons[i].code;
      const u32 state = m_pressedCode == code && m_hoverCode == code ? 2 : m_hoverCode == code && !m_pressedCode ? 1 : 0;
      const SLGuiSkinGlyph* glyph = m_buttonGlyphs[buttons[i].glyphRow][state];
      if (!glyph) glyph = m_buttonGlyphs[buttons[i].glyphRow][0];
      if (glyph) m->DrawSkinGlyph(glyph, w.x + buttons[i].position.x, w.y + buttons[i].position.y, opacity);
    }
    if (!m_text.IsEmpty()) {
      const u32 asked = (m_style & SL_GUI_WS_DISABLED) ? 3u : active ? 32u : 0u;
      SL_GS_Font* font = nullptr;
      SLGuiSkinColor color{};
      GetTextStyle(this, asked, &font, &color);
      if (!IsRegistered()) return;
      const SLGuiRect text{w.x + m_captionRect.x, w.y + m_captionRect.y, m_captionRect.width, m_captionRect.height};
      m->DrawWidgetText(font, m_text.CStr(), &color, m_textFormat, &text, opacity);
    }
  }
  if (m_menu && m_menu->IsRegistered()) {
    SLGuiRect bar;
    m_menu->GetBarRect(&bar);
    bar.x += w.x - m_windowRect.x, bar.y += w.y - m_windowRect.y;
    if (m->PushClipRect(band.x, band.y, band.width, band.height, false)) {
      m_menu->DrawMenuBar(&bar);
      m->PopClipRect();
    }
  }
  if (IsRegistered()) CSL_GS_GuiWindow::DrawFrame(windowOnScreen);
}

void CSL_GS_GuiTopLevelWindow::Draw(const SLGuiRect* clientOnScreen) {
  CSL_GS_GuiManager* m = m_manager;
  if (!m || !clientOnScreen) return;
  SLErrorKeeper keep;
  const double opacity = m->GetEffectiveOpacity(this);
  if (m_style & SL_GUI_WS_MINIMIZED) {
    if (!m_icon.image) return;
    SLGuiRect screen{};
    GetScreenRectR(&screen);
    m->DrawImageWithOpacity(m_icon.image, screen.x + (screen.width - m_icon.width) / 2,
                            screen.y + (screen.height - m_icon.height) / 2, opacity, nullptr);
    return;
  }
  SLGuiDrawSkinPanel(m, CurrentFrame().clientBackground, *clientOnScreen, opacity, nullptr);
}

// --- Mouse ---

void CSL_GS_GuiTopLevelWindow::FireButton(u32 code) {
  switch (code) {
    case SL_GUI_HIT_CLOSE: OnClose(); break;
    case SL_GUI_HIT_MINIMIZE: Minimize(); break;
    case SL_GUI_HIT_MAXIMIZE: Maximize(); break;
    case SL_GUI_HIT_RESTORE: Restore(); break;
    default: break;
  }
}

void CSL_GS_GuiTopLevelWindow::OnNcLButtonDblClk(u32 hit, u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  if (hit == SL_GUI_HIT_CAPTION) {
    const bool maximized = IsMaximized();
    if (!IsRegistered()) return;
    SLErrorKeeper keep;
    maximized ? Restore() : Maximize();
    if (!IsRegistered()) return;
  }
  // The base treats the second press as a press: on the menu bar that opens the menu.
  CSL_GS_GuiWindow::OnNcLButtonDblClk(hit, keys, x, y);
}

void CSL_GS_GuiTopLevelWindow::OnNcLButtonDown(u32 hit, u32, i32 x, i32 y) {
  WindowHold hold(this);
  CSL_GS_GuiManager* m = m_manager;
  if (!m) return;
  m_mouseFlags |= kPressed;
  if (hit >= SL_GUI_HIT_CLOSE && hit <= SL_GUI_HIT_RESTORE) {
    m_hoverCode = m_pressedCode = hit;
    m->SetCapture(this);
  } else if (hit == SL_GUI_HIT_FRAME || hit == SL_GUI_HIT_CAPTION) {
    m_pressedCode = hit;
    m_dragStart = {x, y};
    m_dragStartRect = m_windowRect;
    m_sizingEdges = 0;
    if (hit == SL_GUI_HIT_FRAME) {
      const Frame& f = CurrentFrame();
      const SLGuiPoint p = ToWindow(x, y);
      if (p.x < f.borders[0]) m_sizingEdges |= SL_GUI_EDGE_LEFT;
      else if (p.x >= m_windowRect.width - f.borders[2]) m_sizingEdges |= SL_GUI_EDGE_RIGHT;
      if (p.y < f.borders[1]) m_sizingEdges |= SL_GUI_EDGE_TOP;
      else if (p.y >= m_windowRect.height - f.borders[3]) m_sizingEdges |= SL_GUI_EDGE_BOTTOM;
    }
    m->SetCapture(this);
  } else if (hit == SL_GUI_HIT_MENUBAR) {
    EndPress();
    m->TrackOwnerMenu(this, x, y, 0);
  }
}

void CSL_GS_GuiTopLevelWindow::OnNcLButtonUp(u32 hit, u32 keys, i32 x, i32 y) {
  EndPress();
  CSL_GS_GuiWindow::OnNcLButtonUp(hit, keys, x, y);
}

void CSL_GS_GuiTopLevelWindow::TrackHover(u32 hit, i32 screenX, i32 screenY) {
  m_mouseFlags |= kOver;
  m_hoverCode = hit;
  if (!m_menu) return;
  const SLGuiPoint p = ToWindow(screenX, screenY);
  m_menu->m_highlighted = hit == SL_GUI_HIT_MENUBAR ? MenuItemFromPoint(p.x, p.y) : -1;
}

void CSL_GS_GuiTopLevelWindow::OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) {
  CSL_GS_GuiWindow::OnNcMouseEnter(hit, keys, x, y);
  TrackHover(hit, x, y);
}

void CSL_GS_GuiTopLevelWindow::OnNcMouseMove(u32 hit, u32 keys, i32 x, i32 y) {
  CSL_GS_GuiWindow::OnNcMouseMove(hit, keys, x, y);
  TrackHover(hit, x, y);
}

void CSL_GS_GuiTopLevelWindow::OnNcMouseLeave() {
  CSL_GS_GuiWindow::OnNcMouseLeave();
  m_mouseFlags &= ~kOver;
  // A pressed caption button takes the capture, which turns the pointer into a client
  // pointer: the button keeps its hover code until the next move says otherwise.
  if (!(m_mouseFlags & kPressed)) m_hoverCode = 0;
  if (m_menu) m_menu->m_highlighted = -1;
}

void CSL_GS_GuiTopLevelWindow::OnLButtonDblClk(u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  if (m_style & SL_GUI_WS_MINIMIZED) {
    Restore();
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnLButtonDblClk(keys, x, y);
}

void CSL_GS_GuiTopLevelWindow::OnLButtonDown(u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  if ((m_style & SL_GUI_WS_MINIMIZED) && m_manager) {
    m_mouseFlags |= kPressed;
    m_pressedCode = SL_GUI_HIT_CLIENT;
    m_dragStart = {m_manager->GetMouseX(), m_manager->GetMouseY()};
    m_dragStartRect = m_windowRect;
    m_manager->SetCapture(this);
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnLButtonDown(keys, x, y);
}

void CSL_GS_GuiTopLevelWindow::OnMouseMove(u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  CSL_GS_GuiManager* m = m_manager;
  if (!m || !(m_mouseFlags & kPressed) || !m_pressedCode) return CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
  // Drags follow the pointer on the screen: the window moves under it.
  const i32 mouseX = m->GetMouseX(), mouseY = m->GetMouseY();
  const i64 dx = i64(mouseX) - m_dragStart.x, dy = i64(mouseY) - m_dragStart.y;
  const bool maximized = (m_style & SL_GUI_WS_MAXIMIZED) != 0, minimized = (m_style & SL_GUI_WS_MINIMIZED) != 0;
  const SLGuiRect& s = m_dragStartRect;
  SLErrorKeeper keep;
  if (m_pressedCode == SL_GUI_HIT_FRAME) {
    if (!(m_style & SL_GUI_TLS_SIZABLE) || maximized || minimized) return;
    SLGuiMinMaxInfo info;
    FillMinMaxInfo(&info, false);
    GetMinMaxInfo(&info);
    if (!IsRegistered()) return;
    i64 left = s.x, top = s.y, width = s.width, height = s.height;
    // The opposite edge stays put; the minimum size stops the dragged one.
    if (m_sizingEdges & SL_GUI_EDGE_LEFT) {
      width = std::max<i64>(s.width - dx, info.minTrackSize.x);
      left = i64(s.x) + s.width - width;
    } else if (m_sizingEdges & SL_GUI_EDGE_RIGHT) {
      width = std::max<i64>(s.width + dx, info.minTrackSize.x);
    }
    if (m_sizingEdges & SL_GUI_EDGE_TOP) {
      height = std::max<i64>(s.height - dy, info.minTrackSize.y);
      top = i64(s.y) + s.height - height;
    } else if (m_sizingEdges & SL_GUI_EDGE_BOTTOM) {
      height = std::max<i64>(s.height + dy, info.minTrackSize.y);
    }
    auto clampCoord = [](i64 v) { return i32(std::clamp<i64>(v, -32768, 32767)); };
    auto clampSize = [](i64 v) { return i32(std::clamp<i64>(v, 0, 65535)); };
    SetRect(clampCoord(left), clampCoord(top), clampSize(width), clampSize(height));
    return;
  }
  if (m_pressedCode == SL_GUI_HIT_CAPTION || m_pressedCode == SL_GUI_HIT_CLIENT) {
    if (!(m_style & SL_GUI_TLS_MOVABLE) || maximized) return;
    if (m_pressedCode == SL_GUI_HIT_CLIENT && !minimized) return;
    Move(i32(std::clamp<i64>(s.x + dx, -32768, 32767)), i32(std::clamp<i64>(s.y + dy, -32768, 32767)));
    return;
  }
  // A pressed caption button: the click look only while the pointer stays on it.
  m_hoverCode = HitTest(mouseX, mouseY);
}

void CSL_GS_GuiTopLevelWindow::OnLButtonUp(u32 keys, i32 x, i32 y) {
  WindowHold hold(this);
  CSL_GS_GuiManager* m = m_manager;
  if (!m) return;
  const u32 pressed = m_pressedCode, hover = m_hoverCode;
  const bool wasPressed = (m_mouseFlags & kPressed) != 0;
  EndPress();
  if (m->GetCaptureWindow() == this) {
    m->ReleaseCapture();
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnLButtonUp(keys, x, y);
  if (!IsRegistered()) return;
  if (wasPressed && pressed >= SL_GUI_HIT_CLOSE && pressed <= SL_GUI_HIT_RESTORE && hover == pressed) FireButton(pressed);
}

void CSL_GS_GuiTopLevelWindow::OnMouseEnter(u32 keys, i32 x, i32 y) {
  CSL_GS_GuiWindow::OnMouseEnter(keys, x, y);
  m_mouseFlags |= kOver;
  if (!(m_mouseFlags & kPressed)) m_hoverCode = SL_GUI_HIT_CLIENT;
}

void CSL_GS_GuiTopLevelWindow::OnMouseLeave() {
  CSL_GS_GuiWindow::OnMouseLeave();
  m_mouseFlags &= ~kOver;
  if (!(m_mouseFlags & kPressed)) m_hoverCode = 0;
}
