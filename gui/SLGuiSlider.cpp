#include "gui/SLGuiSlider.h"

#include <algorithm>

#include "foundation/SLError.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiPressFlags.h"

namespace {
const char* const kThumbKeys[4] = {"NormalGlyph", "OverGlyph", "ClickGlyph", "DisabledGlyph"};
constexpr u32 kRepeatMax = 1000;
constexpr u32 kActive = SL_GUI_SLF_PRESSED | SL_GUI_SLF_DEC_KEY | SL_GUI_SLF_INC_KEY;
}  // namespace

CSL_GS_GuiSliderBase::CSL_GS_GuiSliderBase(u32 orientation)
    : m_orientation(orientation), m_flags(0), m_sliderHover(0), m_sliderPressed(0), m_pressX(0), m_pressY(0),
      m_repeatCount(0), m_images{}, m_track(nullptr), m_thumbGlyphs{}, m_thumbStart(0), m_thumbEnd(0), m_position(0),
      m_range(0), m_step(1) {}

CSL_GS_GuiSliderBase::~CSL_GS_GuiSliderBase() { SLGuiPress::ClearSlots(m_images, 5); }

// --- Values ---

bool CSL_GS_GuiSliderBase::SetPosition(u32 value) {
  m_position = std::min(value, m_range);
  PlaceThumb();
  return SLSucceed(true);
}

bool CSL_GS_GuiSliderBase::SetRange(u32 value) {
  m_range = value;
  m_position = std::min(m_position, m_range);
  ReadSkin();
  PlaceThumb();
  return SLSucceed(true);
}

bool CSL_GS_GuiSliderBase::SetStep(u32 value) {
  m_step = value ? value : 1;
  return SLSucceed(true);
}

bool CSL_GS_GuiSliderBase::SetSlot(u32 index, SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  if (!SLGuiPress::SetImage(this, &m_images[index], image, options)) return false;
  if (index < 4) PlaceThumb();
  return SLSucceed(true);
}
bool CSL_GS_GuiSliderBase::SetThumbNormalImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SetSlot(0, image, options);
}
bool CSL_GS_GuiSliderBase::SetThumbOverImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SetSlot(1, image, options);
}
bool CSL_GS_GuiSliderBase::SetThumbClickImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SetSlot(2, image, options);
}
bool CSL_GS_GuiSliderBase::SetThumbDisabledImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SetSlot(3, image, options);
}
bool CSL_GS_GuiSliderBase::SetTrackImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options) {
  return SetSlot(4, image, options);
}

// --- Geometry ---

void CSL_GS_GuiSliderBase::ReadSkin() {
  if (!m_manager) return;
  SLErrorKeeper keep;
  const char* section = IsHorizontal() ? "Slider_Horizontal" : "Slider_Vertical";
  m_track = m_manager->GetSkinImageElement(m_skin, section, "Slider");
  for (u32 i = 0; i < 4; ++i) m_thumbGlyphs[i] = m_manager->GetSkinGlyph(m_skin, section, kThumbKeys[i]);
}

i32 CSL_GS_GuiSliderBase::AxisLength() const {
  return std::max(0, IsHorizontal() ? m_clientRect.width : m_clientRect.height);
}

i32 CSL_GS_GuiSliderBase::ThumbLength() const {
  const i32 axis = AxisLength();
  i32 length = axis;
  if (m_style & SL_GUI_SLS_IMAGE) {
    if (m_images[0].image) length = IsHorizontal() ? m_images[0].width : m_images[0].height;
  } else if (const SLGuiSkinGlyph* glyph = m_thumbGlyphs[0]) {
    length = IsHorizontal() ? glyph->width : glyph->height;
  }
  return std::clamp(length, 0, axis);
}

void CSL_GS_GuiSliderBase::PlaceThumb() {
  const i32 axis = AxisLength(), thumb = ThumbLength();
  m_thumbStart = m_range ? i32(u64(m_position) * u64(axis - thumb) / m_range) : 0;
  m_thumbEnd = m_thumbStart + thumb;
}

u32 CSL_GS_GuiSliderBase::PartAt(i32 x, i32 y) const {
  if (x < 0 || y < 0 || x >= m_clientRect.width || y >= m_clientRect.height) return SL_GUI_SLIDER_NONE;
  const i32 p = IsHorizontal() ? x : y;
  if (p < m_thumbStart) return SL_GUI_SLIDER_BEFORE;
  if (p < m_thumbEnd) return SL_GUI_SLIDER_THUMB;
  return SL_GUI_SLIDER_AFTER;
}

// --- Notification ---

bool CSL_GS_GuiSliderBase::Notify(u32 code, u32 newPosition, u32 oldPosition) {
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !IsRegistered()) return true;
  CSL_GS_GuiWindow* target = nullptr;
  {
    SLErrorKeeper keep;
    target = manager->GetOwnerOrParent(this);
  }
  // Positions travel as the i32 the scroll notifications carry.
  const i32 n = i32(newPosition), o = i32(oldPosition);
  if (target) {
    TSLObjPtr<CSL_GS_GuiWindow> hold(target);
    if (!target->IsRegistered()) return true;
    return IsHorizontal() ? target->OnHScroll(this, code, n, o) : target->OnVScroll(this, code, n, o);
  }
  return IsHorizontal() ? manager->OnHScroll(this, code, n, o) : manager->OnVScroll(this, code, n, o);
}

void CSL_GS_GuiSliderBase::Change(u32 position, u32 code) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  const u32 old = m_position;
  if (position == old) return;
  m_position = position;
  PlaceThumb();
  const bool accepted = Notify(code, position, old);
  if (!accepted && IsRegistered()) {
    m_position = old;
    PlaceThumb();
  }
}

void CSL_GS_GuiSliderBase::EndPress() {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  const bool active = (m_flags & kActive) != 0;
  m_flags &= ~kActive;
  m_sliderPressed = SL_GUI_SLIDER_NONE;
  if (m_manager) {
    SLErrorKeeper keep;
    m_manager->KillTimer(this, SL_GUI_TIMER_SLIDER_REPEAT);
  }
  if (active) Notify(SL_GUI_SB_ENDSCROLL, m_position, m_position);
}

// --- Repeat ---

void CSL_GS_GuiSliderBase::StartRepeat() {
  m_repeatCount = 0;
  if (m_manager) {
    SLErrorKeeper keep;
    m_manager->SetInternalTimer(this, SL_GUI_TIMER_SLIDER_REPEAT, SL_GUI_SLIDER_REPEAT_MS);
  }
  RepeatStep();
}

void CSL_GS_GuiSliderBase::RepeatStep() {
  if (!m_manager) return;
  m_repeatCount = std::min(m_repeatCount + 1, kRepeatMax);
  if (m_repeatCount == 2 || m_repeatCount == 3) return;
  u32 part = SL_GUI_SLIDER_NONE;
  SLGuiRect client;
  if (SLGuiPress::ClientOnScreen(this, &client))
    part = PartAt(i32(i64(m_manager->GetMouseX()) - client.x), i32(i64(m_manager->GetMouseY()) - client.y));
  const u32 position = m_position;
  switch (m_sliderPressed) {
    case SL_GUI_SLIDER_BEFORE:
      if (part == SL_GUI_SLIDER_BEFORE) Change(position > m_step ? position - m_step : 0, SL_GUI_SB_PAGEDOWN);
      break;
    case SL_GUI_SLIDER_AFTER:
      if (part == SL_GUI_SLIDER_AFTER)
        Change(u32(std::min<u64>(u64(position) + m_step, m_range)), SL_GUI_SB_PAGEUP);
      break;
    case SL_GUI_SLIDER_DEC_KEY:
      if ((m_flags & SL_GUI_SLF_DEC_KEY) && position > 0) Change(position - 1, SL_GUI_SB_LINEDOWN);
      break;
    case SL_GUI_SLIDER_INC_KEY:
      if ((m_flags & SL_GUI_SLF_INC_KEY) && position < m_range) Change(position + 1, SL_GUI_SB_LINEUP);
      break;
    default:
      break;
  }
}

void CSL_GS_GuiSliderBase::OnTimer(u32 id) {
  if (id == SL_GUI_TIMER_SLIDER_REPEAT)
    RepeatStep();
  else
    CSL_GS_GuiWindow::OnTimer(id);
}

// --- Virtual operations ---

u32 CSL_GS_GuiSliderBase::GetState() {
  if (m_style & SL_GUI_WS_DISABLED) return SL_GUI_STATE_DISABLED;
  const bool focused = (m_flags & SL_GUI_SLF_FOCUSED) != 0;
  const bool pressedOver = (m_flags & (SL_GUI_SLF_PRESSED | SL_GUI_SLF_OVER)) == (SL_GUI_SLF_PRESSED | SL_GUI_SLF_OVER);
  const bool keyHeld = (m_flags & (SL_GUI_SLF_DEC_KEY | SL_GUI_SLF_INC_KEY)) != 0;
  if (focused && (keyHeld || pressedOver)) return SL_GUI_STATE_FOCUSED | SL_GUI_STATE_PRESSED;
  if (pressedOver) return SL_GUI_STATE_PRESSED;
  if (focused) return SL_GUI_STATE_FOCUSED | SL_GUI_STATE_HOT;
  return (m_flags & SL_GUI_SLF_OVER) ? SL_GUI_STATE_HOT : SL_GUI_STATE_NORMAL;
}

u32 CSL_GS_GuiSliderBase::GetDialogCode() { return SL_GUI_DLGC_WANTARROWS; }

bool CSL_GS_GuiSliderBase::OnCreate() {
  if (!CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  PlaceThumb();
  return true;
}

void CSL_GS_GuiSliderBase::OnPositionChanged(SLGuiWindowPos* pos) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiWindow::OnPositionChanged(pos);
  if (IsRegistered()) PlaceThumb();
}

void CSL_GS_GuiSliderBase::OnStyleChanged(u32 newStyle) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiWindow::OnStyleChanged(newStyle);
  if (IsRegistered()) PlaceThumb();
}

void CSL_GS_GuiSliderBase::OnEnable(bool enabled) {
  if (!enabled) m_flags = 0;
}
void CSL_GS_GuiSliderBase::OnShow(bool visible) {
  if (!visible) m_flags = 0;
}

void CSL_GS_GuiSliderBase::OnCancelMode() {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  EndPress();
  if (IsRegistered()) CSL_GS_GuiWindow::OnCancelMode();
}

void CSL_GS_GuiSliderBase::OnCaptureLost(CSL_GS_GuiWindow* newCapture) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  EndPress();
  if (IsRegistered()) CSL_GS_GuiWindow::OnCaptureLost(newCapture);
}

void CSL_GS_GuiSliderBase::OnSetFocus(CSL_GS_GuiWindow* window) {
  m_flags |= SL_GUI_SLF_FOCUSED;
  CSL_GS_GuiWindow::OnSetFocus(window);
}

void CSL_GS_GuiSliderBase::OnKillFocus(CSL_GS_GuiWindow* newFocus) {
  m_flags &= ~u32(SL_GUI_SLF_FOCUSED | SL_GUI_SLF_DEC_KEY | SL_GUI_SLF_INC_KEY);
  // A held key's repeat ends with the focus; a mouse press keeps its own.
  if (m_sliderPressed == SL_GUI_SLIDER_DEC_KEY || m_sliderPressed == SL_GUI_SLIDER_INC_KEY) {
    m_sliderPressed = SL_GUI_SLIDER_NONE;
    if (m_manager) {
      SLErrorKeeper keep;
      m_manager->KillTimer(this, SL_GUI_TIMER_SLIDER_REPEAT);
    }
  }
  CSL_GS_GuiWindow::OnKillFocus(newFocus);
}

void CSL_GS_GuiSliderBase::Draw(const SLGuiRect* client) {
  if (!m_manager || !client) return;
  CSL_GS_GuiManager* manager = m_manager;
  const double opacity = manager->GetEffectiveOpacity(this);
  const bool images = (m_style & SL_GUI_SLS_IMAGE) != 0;
  if (images) {
    if (m_images[4].image) {
      const SLGuiPoint at = SLGuiPress::Centred(*client, m_images[4].width, m_images[4].height);
      manager->DrawImageSlot(&m_images[4], at.x, at.y, opacity);
    }
  } else if (m_track) {
    manager->DrawSkinElement(m_track, client, opacity);
    SLGuiRect inner = *client;
    SLGuiSkinDeflateRect(m_track, &inner);
    manager->DrawSkinElementInRect(m_track, &inner, opacity, nullptr);
  }
  u32 state = 0;
  if (m_style & SL_GUI_WS_DISABLED)
    state = 3;
  else if (m_sliderPressed == SL_GUI_SLIDER_THUMB)
    state = 2;
  else if (m_sliderPressed == SL_GUI_SLIDER_NONE && m_sliderHover == SL_GUI_SLIDER_THUMB)
    state = 1;
  const auto present = [&](u32 i) { return images ? m_images[i].image != nullptr : m_thumbGlyphs[i] != nullptr; };
  if (state == 2 && !present(2)) state = 1;
  if (!present(state)) state = 0;
  if (!present(state)) return;
  SLGuiRect thumb = *client;
  if (IsHorizontal())
    thumb.x += m_thumbStart, thumb.width = m_thumbEnd - m_thumbStart;
  else
    thumb.y += m_thumbStart, thumb.height = m_thumbEnd - m_thumbStart;
  if (images) {
    const SLGuiPoint at = SLGuiPress::Centred(thumb, m_images[state].width, m_images[state].height);
    manager->DrawImageSlot(&m_images[state], at.x, at.y, opacity);
  } else {
    const SLGuiPoint at = SLGuiPress::Centred(thumb, m_thumbGlyphs[state]->width, m_thumbGlyphs[state]->height);
    manager->DrawSkinGlyph(m_thumbGlyphs[state], at.x, at.y, opacity);
  }
}

void CSL_GS_GuiSliderBase::Press(i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !IsRegistered()) return;
  manager->SetCapture(this);
  if (!IsRegistered()) return;
  manager->SetFocus(this);
  if (!IsRegistered()) return;
  m_pressX = x, m_pressY = y;
  m_flags |= SL_GUI_SLF_PRESSED;
  m_sliderHover = m_sliderPressed = PartAt(x, y);
  m_repeatCount = 0;
  if (m_sliderPressed == SL_GUI_SLIDER_BEFORE || m_sliderPressed == SL_GUI_SLIDER_AFTER) StartRepeat();
}

void CSL_GS_GuiSliderBase::OnLButtonDblClk(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  Press(x, y);
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDblClk(keys, x, y);
}

void CSL_GS_GuiSliderBase::OnLButtonDown(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  Press(x, y);
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDown(keys, x, y);
}

void CSL_GS_GuiSliderBase::OnLButtonUp(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  EndPress();
  if (!IsRegistered()) return;
  if (m_manager && m_manager->GetCaptureWindow() == this) m_manager->ReleaseCapture();
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonUp(keys, x, y);
}

void CSL_GS_GuiSliderBase::OnMouseEnter(u32 keys, i32 x, i32 y) {
  m_flags |= SL_GUI_SLF_OVER;
  m_sliderHover = PartAt(x, y);
  CSL_GS_GuiWindow::OnMouseEnter(keys, x, y);
}

void CSL_GS_GuiSliderBase::OnMouseMove(u32 keys, i32 x, i32 y) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  m_sliderHover = PartAt(x, y);
  if (m_sliderPressed == SL_GUI_SLIDER_THUMB && m_manager && m_manager->GetCaptureWindow() == this) {
    // Positions computed in 64 bits: (range + 1) wraps to 0 at the largest range.
    const i64 axis = AxisLength(), thumb = ThumbLength(), half = thumb / 2;
    const i64 p = IsHorizontal() ? x : y;
    u32 position;
    if (p < half)
      position = 0;
    else if (p >= axis - thumb + half)
      position = m_range;
    else
      position = u32((u64(m_range) + 1) * u64(p - half) / u64(axis - thumb));
    Change(position, SL_GUI_SB_THUMBTRACK);
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
}

void CSL_GS_GuiSliderBase::OnMouseLeave() {
  m_flags &= ~u32(SL_GUI_SLF_OVER);
  m_sliderHover = SL_GUI_SLIDER_NONE;
  CSL_GS_GuiWindow::OnMouseLeave();
}

void CSL_GS_GuiSliderBase::OnKeyDown(u32 key) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  const u32 dec = IsHorizontal() ? SL_GUI_KEY_LEFT : SL_GUI_KEY_UP;
  const u32 inc = IsHorizontal() ? SL_GUI_KEY_RIGHT : SL_GUI_KEY_DOWN;
  if (key == dec || key == inc) {
    const u32 flag = key == dec ? SL_GUI_SLF_DEC_KEY : SL_GUI_SLF_INC_KEY;
    // The keyboard's own auto-repeat is not a new press: the repeat timer paces it.
    if (!(m_flags & flag)) {
      m_flags |= flag;
      m_sliderPressed = key == dec ? SL_GUI_SLIDER_DEC_KEY : SL_GUI_SLIDER_INC_KEY;
      StartRepeat();
      if (!IsRegistered()) return;
    }
  }
  CSL_GS_GuiWindow::OnKeyDown(key);
}

void CSL_GS_GuiSliderBase::OnKeyUp(u32 key) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  const u32 dec = IsHorizontal() ? SL_GUI_KEY_LEFT : SL_GUI_KEY_UP;
  const u32 inc = IsHorizontal() ? SL_GUI_KEY_RIGHT : SL_GUI_KEY_DOWN;
  if (key == dec || key == inc) {
    const bool held = (m_flags & (SL_GUI_SLF_DEC_KEY | SL_GUI_SLF_INC_KEY)) != 0;
    m_flags &= ~kActive;
    if (m_sliderPressed == SL_GUI_SLIDER_DEC_KEY || m_sliderPressed == SL_GUI_SLIDER_INC_KEY)
      m_sliderPressed = SL_GUI_SLIDER_NONE;
    if (m_manager) {
      SLErrorKeeper keep;
      m_manager->KillTimer(this, SL_GUI_TIMER_SLIDER_REPEAT);
    }
    if (held) Notify(SL_GUI_SB_ENDSCROLL, m_position, m_position);
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnKeyUp(key);
}

void CSL_GS_GuiSliderBase::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  SLGuiPress::ClearSlots(m_images, 5);
  PlaceThumb();
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
}
