#include "gui/SLGuiScrollBar.h"

#include <algorithm>

#include "gui/SLGuiManager.h"

SL_IMPLEMENT_CLASS(CSL_GS_GuiScrollBarBase, CSL_GS_GuiWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiHScrollBar, CSL_GS_GuiScrollBarBase)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiVScrollBar, CSL_GS_GuiScrollBarBase)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiGrowBoxScrollBar, CSL_GS_GuiScrollBarBase)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiInternalHScrollBar, CSL_GS_GuiHScrollBar)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiInternalVScrollBar, CSL_GS_GuiVScrollBar)

namespace {

// State flags of a bar.
enum : u32 {
  kFocused = 0x01,
  kMousePressed = 0x02,
  kBackKeyHeld = 0x04,
  kForwardKeyHeld = 0x08,
  kMouseOver = 0x10,
  kPressFlags = kMousePressed | kBackKeyHeld | kForwardKeyHeld,
};

constexpr u32 kRepeatInterval = 50;
constexpr u32 kRepeatCountMax = 1000;
constexpr const char* kStateNames[4] = {"Normal", "Over", "Click", "Disabled"};

using BarHold = TSLObjPtr<CSL_GS_GuiWindow>;

}  // namespace

void SLGuiPlaceScrollParts(i32 length, i32 button, i32 minThumb, u32 range, u32 position, i32* bounds) {
  length = std::max(length, 0);
  button = std::max(button, 0);
  if (length <= 2 * i64(button)) {
    bounds[0] = bounds[1] = bounds[2] = bounds[3] = length / 2;
    return;
  }
  const i32 track = length - 2 * button;
  // 64 bits: range + 1 wraps to 0 in 32 at the largest range.
  const i64 fromRange = i64(track) / (i64(range) + 1);
  const i64 thumb = std::max<i64>(fromRange, std::max(minThumb, 8));
  i32 start = button, end = length - button;
  if (track > thumb && range != 0) {
    const double share = double(std::min(position, range)) / double(range);
    start = button + i32(share * double(track - thumb));
    end = i32(start + thumb);
  }
  bounds[0] = button;
  bounds[1] = start;
  bounds[2] = end;
  bounds[3] = length - button;
}

CSL_GS_GuiScrollBarBase::CSL_GS_GuiScrollBarBase(u32 orientation)
    : m_flags(0),
      m_orientation(orientation),
      m_barHoverPart(0),
      m_barPressedPart(0),
      m_pressX(0),
      m_pressY(0),
      m_repeatCount(0),
      m_buttons{},
      m_thumbs{},
      m_track(nullptr),
      m_glyphs{},
      m_bounds{},
      m_position(0),
      m_range(0),
      m_page(1) {}

bool CSL_GS_GuiScrollBarBase::BarAlive() const {
  if (IsInternal()) {
    if (m_manager && m_parent && m_parent->IsRegistered()) return true;
    return SLFail(SL_E_NOT_INITIALISED, false);
  }
  return StillRegistered();
}

SLGuiRect CSL_GS_GuiScrollBarBase::ScreenRect() const {
  SLGuiRect rect = m_windowRect;
  if (!IsInternal()) {
    SLErrorKeeper keep;
    GetScreenRectR(&rect);
  }
  return rect;
}

// --- Position and range ---

bool CSL_GS_GuiScrollBarBase::SetPosition(u32 position) {
  m_position = std::min(position, m_range);
  PlaceParts();
  return SLSucceed(true);
}

bool CSL_GS_GuiScrollBarBase::SetRange(u32 range) {
  m_range = range;
  m_position = std::min(m_position, m_range);
  ReadSkin();
  PlaceParts();
  return SLSucceed(true);
}

// --- Skin and layout ---

void CSL_GS_GuiScrollBarBase::ReadSkin() {
  SLErrorKeeper keep;
  m_buttons = {};
  m_thumbs = {};
  m_track = nullptr;
  for (auto& glyph : m_glyphs) glyph = nullptr;
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !manager->IsInitialised()) return;
  if (IsGrowBox()) {
    m_buttons.element[0] = manager->GetSkinImageElement(m_skin, "Scrollbar_Growbox", "Normal");
    m_glyphs[0] = manager->GetSkinGlyph(m_skin, "Scrollbar_Growbox", "LeftGlyph");
    m_glyphs[1] = manager->GetSkinGlyph(m_skin, "Scrollbar_Growbox", "RightGlyph");
    return;
  }
  const bool horizontal = IsHorizontal();
  const char* section = horizontal ? "Scrollbar_Horizontal" : "Scrollbar_Vertical";
  const char* arrows[2] = {horizontal ? "Left" : "Up", horizontal ? "Right" : "Down"};
  char key[64];
  for (u32 s = 0; s < 4; ++s) {
    auto element = [&](const char* what, const char* suffix) {
      snprintf(key, sizeof key, "%s%s%s", kStateNames[s], what, suffix);
      return manager->GetSkinImageElement(m_skin, section, key);
    };
    m_buttons.element[s] = element("Button", "");
    m_buttons.background[s] = element("Button", "BackgroundOverride");
    m_thumbs.element[s] = element("Thumb", "");
    m_thumbs.background[s] = element("Thumb", "BackgroundOverride");
    for (u32 g = 0; g < 3; ++g) {
      snprintf(key, sizeof key, "%s%s%s", kStateNames[s], g < 2 ? arrows[g] : "Thumb", g < 2 ? "ArrowGlyph" : "Glyph");
      m_glyphs[g * 4 + s] = manager->GetSkinGlyph(m_skin, section, key);
    }
  }
  m_track = manager->GetSkinImageElement(m_skin, section, "TrackArea");
}

void CSL_GS_GuiScrollBarBase::PlaceParts() {
  if (IsGrowBox()) return;
  const bool horizontal = IsHorizontal();
  const i32 length = horizontal ? m_windowRect.width : m_windowRect.height;
  const i32 thickness = horizontal ? m_windowRect.height : m_windowRect.width;
  const SLGuiSkinElement* button = m_buttons.element[0];
  const SLGuiSkinElement* thumb = m_thumbs.element[0];
  const i32 buttonSize = button ? (horizontal ? button->width : button->height) : thickness;
  auto borders = [horizontal](const SLGuiSkinElement* e) {
    return horizontal ? i64(e->left) + e->right : i64(e->top) + e->bottom;
  };
  i64 minThumb = thumb ? 2 * borders(thumb) : button ? 2 * borders(button) : thickness;
  if (const SLGuiSkinGlyph* glyph = m_glyphs[8])
    minThumb = std::max(minThumb, (horizontal ? glyph->width : glyph->height) + (thumb ? borders(thumb) : 0));
  SLGuiPlaceScrollParts(length, buttonSize, i32(std::clamp<i64>(minThumb, 0, 0x7FFFFFFF)), m_range, m_position,
                        m_bounds);
}

void CSL_GS_GuiScrollBarBase::PartSpan(u32 part, i32* start, i32* end) const {
  const i32 length = IsHorizontal() ? m_windowRect.width : m_windowRect.height;
  static constexpr i32 kFrom[6] = {0, -1, 3, 0, 2, 1}, kTo[6] = {0, 0, -1, 1, 3, 2};
  *start = kFrom[part] < 0 ? 0 : m_bounds[kFrom[part]];
  *end = kTo[part] < 0 ? length : m_bounds[kTo[part]];
}

SLGuiRect CSL_GS_GuiScrollBarBase::PartRect(u32 part, const SLGuiRect& bar) const {
  i32 start, end;
  PartSpan(part, &start, &end);
  if (IsHorizontal()) return {bar.x + start, bar.y, end - start, bar.height};
  return {bar.x, bar.y + start, bar.width, end - start};
}

u32 CSL_GS_GuiScrollBarBase::PartAt(i32 x, i32 y) const {
  if (IsGrowBox() || x < 0 || y < 0 || x >= m_windowRect.width || y >= m_windowRect.height) return 0;
  const i32 along = IsHorizontal() ? x : y;
  if (along < m_bounds[0]) return 1;
  if (along >= m_bounds[3]) return 2;
  if (along < m_bounds[1]) return 3;
  if (along < m_bounds[2]) return 5;
  return 4;
}

// --- Notifications ---

bool CSL_GS_GuiScrollBarBase::Notify(u32 code, u32 newPosition, u32 oldPosition) {
  BarHold hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager) return SLFail(SL_E_NOT_INITIALISED, true);
  CSL_GS_GuiWindow* receiver = nullptr;
  {
    SLErrorKeeper keep;
    receiver = IsInternal() ? m_parent : manager->GetOwnerOrParent(this);
  }
  // An internal bar speaks for its window, which knows its own bars.
  CSL_GS_GuiWindow* source = IsInternal() ? nullptr : this;
  const i32 now = i32(newPosition), before = i32(oldPosition);
  if (!receiver)
    return IsHorizontal() ? manager->OnHScroll(source, code, now, before)
                          : manager->OnVScroll(source, code, now, before);
  BarHold receiverHold(receiver);
  return IsHorizontal() ? receiver->OnHScroll(source, code, now, before)
                        : receiver->OnVScroll(source, code, now, before);
}

bool CSL_GS_GuiScrollBarBase::MoveAndNotify(u32 position, u32 code) {
  BarHold hold(this);
  const u32 old = m_position;
  m_position = std::min(position, m_range);
  PlaceParts();
  const bool keep = Notify(code, m_position, old);
  if (!BarAlive()) return false;
  if (!keep) {
    // The receiver may have changed the range meanwhile.
    m_position = std::min(old, m_range);
    PlaceParts();
  }
  return true;
}

void CSL_GS_GuiScrollBarBase::RepeatStep() {
  BarHold hold(this);
  if (m_repeatCount < kRepeatCountMax) ++m_repeatCount;
  // The first step runs at the press; ticks 2 and 3 idle so the repetition starts 150 ms
  // after it.
  if (m_repeatCount == 2 || m_repeatCount == 3) return;
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !manager->IsInitialised()) return;
  const SLGuiRect bar = ScreenRect();
  u32 under;
  {
    SLErrorKeeper keep;
    under = PartAt(i32(i64(manager->GetMouseX()) - bar.x), i32(i64(manager->GetMouseY()) - bar.y));
  }
  u32 target = m_position, code = 0;
  switch (m_barPressedPart) {
    case 1:
      if (under == 1 && m_position > 0) target = m_position - 1, code = SL_GUI_SB_LINEBACK;
      break;
    case 2:
      if (under == 2 && m_position < m_range) target = m_position + 1, code = SL_GUI_SB_LINEFORWARD;
      break;
    case 3:
      if (under == 3) target = m_position < m_page ? 0 : m_position - m_page, code = SL_GUI_SB_PAGEBACK;
      break;
    case 4:
      if (under == 4) target = m_position + std::min(m_page, m_range - m_position), code = SL_GUI_SB_PAGEFORWARD;
      break;
    case SL_GUI_SB_KEY_BACK:
      if ((m_flags & kBackKeyHeld) && m_position > 0) target = m_position - 1, code = SL_GUI_SB_LINEBACK;
      break;
    case SL_GUI_SB_KEY_FORWARD:
      if ((m_flags & kForwardKeyHeld) && m_position < m_range) target = m_position + 1, code = SL_GUI_SB_LINEFORWARD;
      break;
  }
  if (code && target != m_position) MoveAndNotify(target, code);
}

void CSL_GS_GuiScrollBarBase::EndPress(bool releaseCapture) {
  BarHold hold(this);
  const bool pressed = m_barPressedPart != 0;
  m_barPressedPart = 0;
  m_flags &= ~kPressFlags;
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !manager->IsInitialised()) return;
  if (!IsInternal()) {
    SLErrorKeeper keep;
    manager->KillTimer(this, SL_GUI_TIMER_SCROLLBAR);
  }
  if (pressed) {
    Notify(SL_GUI_SB_ENDSCROLL, m_position, m_position);
    if (!BarAlive()) return;
  }
  if (releaseCapture && !IsInternal() && manager->GetCaptureWindow() == this) manager->ReleaseCapture();
}

// --- Virtual operations ---

u32 CSL_GS_GuiScrollBarBase::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  const bool focused = (m_flags & kFocused) != 0;
  u32 state = SL_GUI_STATE_NORMAL;
  if ((focused && (m_flags & (kBackKeyHeld | kForwardKeyHeld))) ||
      ((m_flags & kMousePressed) && (m_flags & kMouseOver)))
    state = SL_GUI_STATE_PRESSED;
  else if (focused || (m_flags & kMouseOver))
    state = SL_GUI_STATE_HOT;
  return focused ? state | SL_GUI_STATE_FOCUSED : state;
}

u32 CSL_GS_GuiScrollBarBase::GetDialogCode() { return SL_GUI_DLGC_WANTARROWS; }

bool CSL_GS_GuiScrollBarBase::OnCreate() {
  if (!IsInternal() && !CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  PlaceParts();
  return true;
}

void CSL_GS_GuiScrollBarBase::OnPositionChanged(SLGuiWindowPos* pos) {
  BarHold hold(this);
  if (!IsInternal()) {
    CSL_GS_GuiWindow::OnPositionChanged(pos);
    if (!IsRegistered()) return;
  }
  ReadSkin();
  PlaceParts();
}

void CSL_GS_GuiScrollBarBase::OnEnable(bool enabled) {
  if (!enabled) m_flags &= ~(kFocused | kPressFlags | kMouseOver);
}

void CSL_GS_GuiScrollBarBase::OnShow(bool visible) {
  if (!visible) m_flags &= ~(kFocused | kPressFlags | kMouseOver);
}

void CSL_GS_GuiScrollBarBase::OnCancelMode() {
  BarHold hold(this);
  EndPress(false);
  if (!IsInternal() && IsRegistered()) CSL_GS_GuiWindow::OnCancelMode();
}

void CSL_GS_GuiScrollBarBase::OnCaptureLost(CSL_GS_GuiWindow* newCapture) {
  BarHold hold(this);
  EndPress(false);
  if (!IsInternal() && IsRegistered()) CSL_GS_GuiWindow::OnCaptureLost(newCapture);
}

void CSL_GS_GuiScrollBarBase::GetMinMaxInfo(SLGuiMinMaxInfo* info) {
  if (!IsInternal()) CSL_GS_GuiWindow::GetMinMaxInfo(info);
}
void CSL_GS_GuiScrollBarBase::DrawFrame(const SLGuiRect* windowOnScreen) {
  if (!IsInternal()) CSL_GS_GuiWindow::DrawFrame(windowOnScreen);
}
void CSL_GS_GuiScrollBarBase::GetClientArea(SLGuiRect* rect) {
  if (!IsInternal()) CSL_GS_GuiWindow::GetClientArea(rect);
}

void CSL_GS_GuiScrollBarBase::OnSetFocus(CSL_GS_GuiWindow*) { m_flags |= kFocused; }

void CSL_GS_GuiScrollBarBase::OnKillFocus(CSL_GS_GuiWindow*) {
  // Losing the focus ends a key repeat: the key up goes elsewhere.
  const bool keyRepeat = m_barPressedPart == SL_GUI_SB_KEY_BACK || m_barPressedPart == SL_GUI_SB_KEY_FORWARD;
  m_flags &= ~(kFocused | kBackKeyHeld | kForwardKeyHeld);
  if (keyRepeat) EndPress(false);
}

u32 CSL_GS_GuiScrollBarBase::HitTest(i32 x, i32 y) {
  if (IsGrowBox()) return IsInternal() ? 0 : CSL_GS_GuiWindow::HitTest(x, y);
  const SLGuiRect bar = ScreenRect();
  const u32 part = PartAt(i32(i64(x) - bar.x), i32(i64(y) - bar.y));
  if (!part) return SL_GUI_HIT_NOWHERE;
  CSL_GS_GuiManager* manager = m_manager;
  if (manager && manager->GetGfx()) {
    const SLGuiSkinElement* element = nullptr;
    const SLGuiSkinElement* background = nullptr;
    if (part == 3 || part == 4) {
      element = m_track;
    } else {
      const StateElements& set = part == 5 ? m_thumbs : m_buttons;
      element = set.element[0], background = set.background[0];
    }
    const SLGuiRect rect = PartRect(part, bar);
    SLErrorKeeper keep;
    if (element && manager->HitTestSkinElementInRect(element, &rect, x, y, background)) return SL_GUI_HIT_NOWHERE;
  }
  // A stand-alone bar takes its presses as client clicks; its owner window maps an
  // internal bar's parts to its own hit codes.
  return IsInternal() ? part : SL_GUI_HIT_CLIENT;
}

void CSL_GS_GuiScrollBarBase::OnLButtonDblClk(u32 keys, i32 x, i32 y) { OnLButtonDown(keys, x, y); }

void CSL_GS_GuiScrollBarBase::OnLButtonDown(u32, i32 x, i32 y) {
  if (IsGrowBox()) return;
  BarHold hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !manager->IsInitialised()) return;
  if (!IsInternal()) {
    manager->SetCapture(this);
    if (!BarAlive()) return;
    manager->SetFocus(this);
    if (!BarAlive()) return;
  }
  m_pressX = x, m_pressY = y;
  m_barHoverPart = m_barPressedPart = PartAt(x, y);
  m_flags |= kMousePressed;
  m_repeatCount = 0;
  // An internal bar's window runs the repeat with its own timer.
  if (IsInternal() || m_barPressedPart < 1 || m_barPressedPart > 4) return;
  {
    SLErrorKeeper keep;
    manager->SetInternalTimer(this, SL_GUI_TIMER_SCROLLBAR, kRepeatInterval);
  }
  RepeatStep();
}

void CSL_GS_GuiScrollBarBase::OnLButtonUp(u32, i32, i32) { EndPress(true); }

void CSL_GS_GuiScrollBarBase::OnMouseEnter(u32 keys, i32 x, i32 y) {
  if (!IsInternal()) CSL_GS_GuiWindow::OnMouseEnter(keys, x, y);
  m_barHoverPart = PartAt(x, y);
  m_flags |= kMouseOver;
}

void CSL_GS_GuiScrollBarBase::OnMouseMove(u32 keys, i32 x, i32 y) {
  if (!IsInternal()) CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
  m_barHoverPart = PartAt(x, y);
  CSL_GS_GuiManager* manager = m_manager;
  if (m_barPressedPart != 5 || !manager || !manager->IsInitialised()) return;
  CSL_GS_GuiWindow* holder = IsInternal() ? m_parent : this;
  if (!holder || manager->GetCaptureWindow() != holder) return;
  const i32 along = IsHorizontal() ? x : y;
  u32 target;
  if (along < m_bounds[0])
    target = 0;
  else if (along >= m_bounds[3])
    target = m_range;
  else  // in 64 bits: range + 1 wraps, and the product overflows 32, at large ranges
    target = u32(u64(along - m_bounds[0]) * (u64(m_range) + 1) / u64(m_bounds[3] - m_bounds[0]));
  if (target != m_position) MoveAndNotify(target, SL_GUI_SB_THUMBTRACK);
}

void CSL_GS_GuiScrollBarBase::OnMouseLeave() {
  if (!IsInternal()) CSL_GS_GuiWindow::OnMouseLeave();
  m_flags &= ~kMouseOver;
  m_barHoverPart = 0;
}

void CSL_GS_GuiScrollBarBase::OnKeyDown(u32 key) {
  const u32 back = IsHorizontal() ? u32(SL_GUI_KEY_LEFT) : IsVertical() ? u32(SL_GUI_KEY_UP) : 0u;
  const u32 forward = IsHorizontal() ? u32(SL_GUI_KEY_RIGHT) : IsVertical() ? u32(SL_GUI_KEY_DOWN) : 0u;
  if (!back || (key != back && key != forward)) {
    if (!IsInternal()) CSL_GS_GuiWindow::OnKeyDown(key);
    return;
  }
  BarHold hold(this);
  if (key == back)
    m_flags |= kBackKeyHeld, m_barPressedPart = SL_GUI_SB_KEY_BACK;
  else
    m_flags |= kForwardKeyHeld, m_barPressedPart = SL_GUI_SB_KEY_FORWARD;
  m_repeatCount = 0;
  if (!IsInternal() && m_manager && m_manager->IsInitialised()) {
    SLErrorKeeper keep;
    m_manager->SetInternalTimer(this, SL_GUI_TIMER_SCROLLBAR, kRepeatInterval);
  }
  RepeatStep();
}

void CSL_GS_GuiScrollBarBase::OnKeyUp(u32 key) {
  const bool own = IsHorizontal() ? key == SL_GUI_KEY_LEFT || key == SL_GUI_KEY_RIGHT
                                  : IsVertical() && (key == SL_GUI_KEY_UP || key == SL_GUI_KEY_DOWN);
  if (!own) {
    if (!IsInternal()) CSL_GS_GuiWindow::OnKeyUp(key);
    return;
  }
  EndPress(false);
}

void CSL_GS_GuiScrollBarBase::OnTimer(u32 id) {
  if (id == SL_GUI_TIMER_SCROLLBAR)
    RepeatStep();
  else if (!IsInternal())
    CSL_GS_GuiWindow::OnTimer(id);
}

void CSL_GS_GuiScrollBarBase::OnSkinChanged(u32 skin) {
  if (IsInternal()) {
    ReadSkin();
    PlaceParts();
    return;
  }
  CSL_GS_GuiWindow::OnSkinChanged(skin);
  if (IsRegistered()) CSL_GS_GuiWindow::SetPosition(0, 0, 0, 0, SL_GUI_SWP_REFRESH, std::uintptr_t(0));
}

// --- Drawing ---

double CSL_GS_GuiScrollBarBase::Opacity() {
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager) return 100;
  if (!IsInternal()) return manager->GetEffectiveOpacity(this);
  return m_parent ? manager->GetEffectiveOpacity(m_parent) * m_opacity / 100 : m_opacity;
}

void CSL_GS_GuiScrollBarBase::DrawPart(u32 part, const SLGuiRect& bar, const StateElements& elements,
                                       const SLGuiSkinGlyph* const* glyphs, double opacity) {
  const SLGuiRect rect = PartRect(part, bar);
  if (rect.width < 1 || rect.height < 1) return;
  u32 state = 0;
  if (m_style & SL_GUI_WS_DISABLED)
    state = 3;
  else if (m_barPressedPart == part && m_barHoverPart == part)
    state = 2;
  else if (!m_barPressedPart && m_barHoverPart == part)
    state = 1;
  u32 elementState = state;
  if (elementState == 2 && !elements.element[2]) elementState = 1;
  if (!elements.element[elementState]) elementState = 0;
  CSL_GS_GuiManager* manager = m_manager;
  if (const SLGuiSkinElement* element = elements.element[elementState]) {
    manager->DrawSkinElement(element, &rect, opacity);
    if (const SLGuiSkinElement* background = elements.background[elementState]) {
      SLGuiRect inside = rect;
      SLGuiSkinDeflateRect(element, &inside);
      if (inside.width > 0 && inside.height > 0) manager->DrawSkinElement(background, &inside, opacity);
    }
  }
  const SLGuiSkinGlyph* glyph = glyphs[state] ? glyphs[state] : glyphs[0];
  if (!glyph) return;
  const i32 shift = state == 2 && elements.element[0] ? 2 : 0;
  manager->DrawSkinGlyph(glyph, rect.x + (rect.width - glyph->width) / 2 + shift,
                         rect.y + (rect.height - glyph->height) / 2 + shift, opacity);
}

void CSL_GS_GuiScrollBarBase::Draw(const SLGuiRect* clientOnScreen) {
  CSL_GS_GuiManager* manager = m_manager;
  if (!clientOnScreen || !manager || !manager->GetGfx()) return;
  SLErrorKeeper keep;
  const SLGuiRect& bar = *clientOnScreen;
  const double opacity = Opacity();
  if (IsGrowBox()) {
    if (m_buttons.element[0]) manager->DrawSkinElement(m_buttons.element[0], &bar, opacity);
    const bool left = (m_style & SL_GUI_WS_LEFTSCROLLBAR) != 0;
    if (const SLGuiSkinGlyph* glyph = m_glyphs[left ? 0 : 1])
      manager->DrawSkinGlyph(glyph, left ? bar.x : bar.x + bar.width - glyph->width,
                             bar.y + bar.height - glyph->height, opacity);
    return;
  }
  // The track element spans the whole track; each side of the thumb shows its share.
  SLGuiRect track = bar;
  if (IsHorizontal())
    track.x += m_bounds[0], track.width = m_bounds[3] - m_bounds[0];
  else
    track.y += m_bounds[0], track.height = m_bounds[3] - m_bounds[0];
  for (u32 part : {3u, 4u}) {
    const SLGuiRect rect = PartRect(part, bar);
    if (!m_track || rect.width < 1 || rect.height < 1) continue;
    if (!manager->PushClipRect(rect.x, rect.y, rect.width, rect.height, false)) continue;
    manager->DrawSkinElement(m_track, &track, opacity);
    manager->PopClipRect();
  }
  DrawPart(1, bar, m_buttons, &m_glyphs[0], opacity);
  DrawPart(2, bar, m_buttons, &m_glyphs[4], opacity);
  if (m_bounds[2] > m_bounds[1]) DrawPart(5, bar, m_thumbs, &m_glyphs[8], opacity);
}
