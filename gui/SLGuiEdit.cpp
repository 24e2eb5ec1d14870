// The edit control's editing: replacing the selection, the text filter, typed characters,
// the caret keys, the mouse selection with its auto-scroll, and the window slots that keep
// the state flags.
//
// Every change runs inside a hold on the window: OnTextChanged and the scroll notifications
// reach the application, which may destroy the edit; after each such call the operation
// stops when the window is gone.
#include "gui/SLGuiEdit.h"

#include <algorithm>

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLStr.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiPressFlags.h"
#include "gui/SLGuiSkinFrame.h"
#include "platform/wintext.h"

namespace {

using Hold = TSLObjPtr<CSL_GS_GuiWindow>;

// Bytes the edit keeps: TAB, CR, LF and everything from 32 up.
bool Kept(u8 byte) { return byte >= 32 || byte == '\t' || byte == '\r' || byte == '\n'; }

// The character classes a typed character may have: letters, digits, punctuation, blanks.
constexpr u32 kTypable = C1_UPPER | C1_LOWER | C1_DIGIT | C1_PUNCT | C1_BLANK;

bool IsLineBreakPair(const char* text, u32 length, u32 at) {
  return at + 1 < length && text[at] == '\r' && text[at + 1] == '\n';
}

}  // namespace

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiEdit, CSL_GS_GuiWindow)

CSL_GS_GuiEdit::CSL_GS_GuiEdit()
    : SLGuiFramedWidget(SL_GUI_ES_BORDERLESS), m_caretElement(nullptr), m_font(nullptr), m_normalColor(nullptr),
      m_overColor(nullptr), m_selectedColor(nullptr), m_disabledColor(nullptr), m_passwordChar('*'),
      m_scrollPolicy(0), m_spaceAdvance(2), m_passwordAdvance(2), m_maxLength(0), m_anchor(0), m_selEnd(0),
      m_caret(0), m_selLowLine(0), m_selLowX(0), m_selHighLine(0), m_selHighX(0), m_caretLine(0), m_caretX(0),
      m_lineHeight(1), m_visibleLines(1), m_widest(0), m_layoutBusy(false), m_widths(nullptr) {}

CSL_GS_GuiEdit::~CSL_GS_GuiEdit() { FreeWidthCache(); }

// --- Operations ---

bool CSL_GS_GuiEdit::ReplaceSelection(const char* text) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  // Text from our own buffer would move under us when the string grows.
  CSLStringAnsi copy;
  const char* own = m_text.CStr();
  if (text && text >= own && text <= own + m_text.GetCapacity()) {
    if (!copy.Assign(text)) return false;
    text = copy.CStr();
  }
  u32 accepted = 0;
  for (const char* p = text; p && *p; ++p) accepted += Kept(u8(*p));
  const u32 length = TextLength();
  const u32 low = std::min({m_anchor, m_selEnd, length}), high = std::min(std::max(m_anchor, m_selEnd), length);
  const u64 needed = u64(length) - (high - low) + accepted + 1;
  if (needed > 0xFFFFFFFFu) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!m_text.Reserve(u32(needed))) return false;
  char* buffer = m_text.GetBufferTerminated();
  if (!buffer) return SLFail(SL_E_OUT_OF_MEMORY, false);
  u32 caret = std::min(m_caret, length);
  if (high > low) {
    SLStrCopyCutA(buffer, buffer, low, high - low);
    if (caret >= high)
      caret -= high - low;
    else if (caret > low)
      caret = low;
  }
  if (accepted) {
    const u32 rest = length - (high - low) - caret;
    SLMemMove(buffer + caret + accepted, buffer + caret, rest + 1);
    u32 at = caret;
    for (const char* p = text; *p; ++p)
      if (Kept(u8(*p))) buffer[at++] = *p;
  }
  TextLength();
  m_caret = m_anchor = m_selEnd = caret;
  OnTextChanged(&m_text);
  if (!StillRegistered()) return false;
  RecalcLayout();
  return IsRegistered() ? SLSucceed(true) : SLFail(SL_E_NOT_INITIALISED, false);
}

bool CSL_GS_GuiEdit::SetSelection(u32 anchor, u32 end) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 length = TextLength();
  m_anchor = std::min(anchor, length);
  m_selEnd = m_caret = std::min(end, length);
  RecalcLayout();
  if (!IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  EnsureCaretVisible();
  return SLSucceed(true);
}

bool CSL_GS_GuiEdit::SetMaxLength(u32 length) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_maxLength = length;
  if (length && TextLength() > length) {
    m_text.Truncate(length);
    m_anchor = std::min(m_anchor, length);
    m_selEnd = std::min(m_selEnd, length);
    m_caret = std::min(m_caret, length);
    RecalcLayout();
  }
  return SLSucceed(true);
}

bool CSL_GS_GuiEdit::SetScrollBarPolicy(u32 policy) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return SLFail(SL_E_NOT_INITIALISED, false);
  m_scrollPolicy = policy & 0xFF;
  RecalcLayout();
  return SLSucceed(true);
}

void CSL_GS_GuiEdit::OnTextChanged(CSLStringAnsi* text) {
  if (text) {
    if (char* buffer = text->GetBufferTerminated()) {
      char* out = buffer;
      for (const char* in = buffer; *in; ++in)
        if (Kept(u8(*in))) *out++ = *in;
      *out = 0;
    }
    if (m_maxLength && text->GetLength(true) > m_maxLength) text->Truncate(m_maxLength);
  }
  const u32 length = TextLength();
  m_anchor = std::min(m_anchor, length);
  m_selEnd = std::min(m_selEnd, length);
  m_caret = std::min(m_caret, length);
  RecalcLayout();
}

// --- Characters ---

void CSL_GS_GuiEdit::DeleteAtCaret(bool before) {
  const char* text = m_text.CStr();
  const u32 length = TextLength();
  u32 at = std::min(m_caret, length), count;
  if (before) {
    if (at == 0) return;
    count = at >= 2 && IsLineBreakPair(text, length, at - 2) ? 2 : 1;
    at -= count;
  } else {
    if (at >= length) return;
    count = IsLineBreakPair(text, length, at) ? 2 : 1;
  }
  char* buffer = m_text.GetBufferTerminated();
  if (!buffer) return;
  SLStrCopyCutA(buffer, buffer, at, count);
  TextLength();
  m_caret = m_anchor = m_selEnd = at;
  OnTextChanged(&m_text);
}

void CSL_GS_GuiEdit::OnChar(u32 character) {
  Hold hold(this);
  if (!m_manager || !IsRegistered() || (m_style & SL_GUI_ES_READONLY)) return;
  // The text is 8-bit: a wider code would be cut into another letter.
  if (character > 255) return;
  const u32 length = TextLength();
  const bool selection = m_anchor != m_selEnd;
  const u32 selected = std::max(m_anchor, m_selEnd) - std::min(m_anchor, m_selEnd);
  // A typed insertion that would not fit whole is refused: cutting the text's end to make
  // room would silently lose what the child typed before.
  const auto fits = [&](u32 bytes) { return !m_maxLength || u64(length) - selected + bytes <= m_maxLength; };
  m_layoutBusy = true;
  if (character == SL_GUI_KEY_BACKSPACE) {
    if (selection) {
      m_caret = m_anchor;
      ReplaceSelection(nullptr);
    } else {
      DeleteAtCaret(true);
    }
  } else if (character == SL_GUI_KEY_ENTER) {
    if (MultiLine() && fits(2) && ReplaceSelection("\r\n")) m_caret += 2;
  } else if (character >= 32 && (SLCharClassA(u8(character)) & kTypable) && fits(1)) {
    const char typed[2] = {char(character), 0};
    if (ReplaceSelection(typed)) m_caret += 1;
  }
  m_layoutBusy = false;
  if (!IsRegistered()) return;
  m_caret = std::min(m_caret, TextLength());
  m_anchor = m_selEnd = m_caret;
  RecalcLayout();
  EnsureCaretVisible();
}

// --- Keys ---

void CSL_GS_GuiEdit::OnKeyDown(u32 key) {
  Hold hold(this);
  if (!m_manager || !IsRegistered()) return;
  const u32 lineCount = m_lines.GetCount();
  if (lineCount == 0 || (m_flags & SL_GUI_EF_SELECTING) || key < SL_GUI_KEY_DELETE || key > SL_GUI_KEY_DOWN ||
      (key > SL_GUI_KEY_PAGEDOWN && key < SL_GUI_KEY_LEFT)) {
    CSL_GS_GuiWindow::OnKeyDown(key);
    return;
  }
  CSL_GS_GuiManager* manager = m_manager;
  const auto held = [&](u32 a, u32 b) { return ((manager->GetKeyState(a) | manager->GetKeyState(b)) & SL_GUI_KEYF_DOWN) != 0; };
  const bool shift = held(SL_GUI_KEY_LSHIFT, SL_GUI_KEY_RSHIFT);
  const bool ctrl = held(SL_GUI_KEY_LCTRL, SL_GUI_KEY_RCTRL);
  const char* text = m_text.CStr();
  const u32 length = TextLength();
  const u32 caretLine = std::min(m_caretLine, lineCount - 1);
  bool follow = true;  // the view follows the caret afterwards
  if (m_selEnd != m_caret) m_anchor = m_caret;
  switch (key) {
    case SL_GUI_KEY_DELETE:
      if (m_style & SL_GUI_ES_READONLY) break;
      if (m_anchor != m_selEnd) {
        m_caret = m_anchor;
        ReplaceSelection(nullptr);
      } else {
        DeleteAtCaret(false);
      }
      if (!IsRegistered()) return;
      break;
    case SL_GUI_KEY_HOME:
      m_caret = MultiLine() && !ctrl ? m_lines[caretLine].start : 0;
      break;
    case SL_GUI_KEY_END:
      m_caret = MultiLine() && !ctrl && caretLine + 1 < lineCount ? LineEnd(caretLine) : length;
      break;
    case SL_GUI_KEY_PAGEUP:
    case SL_GUI_KEY_PAGEDOWN: {
      const u32 first = GetVScrollPos();
      u64 target;
      if (key == SL_GUI_KEY_PAGEUP)
        target = ctrl ? first : (caretLine > m_visibleLines ? caretLine - m_visibleLines : 0);
      else
        target = ctrl ? u64(first) + m_visibleLines - 1 : u64(caretLine) + m_visibleLines;
      target = std::min<u64>(target, lineCount - 1);
      if (target != caretLine) VerticalMove(u32(target));
      break;
    }
    case SL_GUI_KEY_LEFT: {
      u32 at = m_caret;
      if (!ctrl) {
        if (at > 0) at -= at >= 2 && IsLineBreakPair(text, length, at - 2) ? 2 : 1;
      } else {
        while (at > 0 && u8(text[at - 1]) > 32) --at;
        if (at > 0) {
          --at;
          while (at > 0 && u8(text[at]) <= 32) --at;
        }
      }
      m_caret = at;
      break;
    }
    case SL_GUI_KEY_RIGHT: {
      u32 at = m_caret;
      if (!ctrl) {
        if (at < length) at += IsLineBreakPair(text, length, at) ? 2 : 1;
      } else {
        while (at < length && u8(text[at]) > 32) ++at;
        while (at < length && u8(text[at]) <= 32) ++at;
      }
      m_caret = at;
      break;
    }
    case SL_GUI_KEY_UP:
    case SL_GUI_KEY_DOWN:
      if (ctrl) {
        const u32 first = GetVScrollPos();
        if (key == SL_GUI_KEY_UP && first > 0) ScrollTo(true, first - 1);
        if (key == SL_GUI_KEY_DOWN) ScrollTo(true, first + 1);
        if (!IsRegistered()) return;
        follow = false;
      } else if (key == SL_GUI_KEY_UP ? caretLine > 0 : caretLine + 1 < lineCount) {
        VerticalMove(key == SL_GUI_KEY_UP ? caretLine - 1 : caretLine + 1);
      }
      break;
    default:
      break;
  }
  m_caret = std::min(m_caret, TextLength());
  if (shift && !(m_style & SL_GUI_ES_NOSELECT))
    m_selEnd = m_caret;
  else
    m_anchor = m_selEnd = m_caret;
  RecalcLayout();
  if (follow) EnsureCaretVisible();
  if (IsRegistered()) CSL_GS_GuiWindow::OnKeyDown(key);
}

// --- Mouse ---

void CSL_GS_GuiEdit::EndMouseSelection() {
  const bool selecting = (m_flags & SL_GUI_EF_SELECTING) != 0;
  m_flags &= ~u32(SL_GUI_EF_SELECTING);
  if (selecting && m_manager) {
    SLErrorKeeper keep;
    m_manager->KillTimer(this, SL_GUI_TIMER_EDIT_SELECT);
  }
}

void CSL_GS_GuiEdit::TrackMouse(i32 x, i32 y) {
  if (!(m_flags & SL_GUI_EF_SELECTING)) return;
  u32 line = 0, position = 0, flags = 0;
  if (!CharFromPoint(x, y, &line, &position, &flags)) return;
  m_caret = m_selEnd = position;
  if (m_style & SL_GUI_ES_NOSELECT) m_anchor = position;
  RecalcLayout();
}

void CSL_GS_GuiEdit::OnLButtonDown(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  if (!SLGuiPress::TakeCaptureAndFocus(this)) return;
  {
    SLErrorKeeper keep;
    m_manager->SetInternalTimer(this, SL_GUI_TIMER_EDIT_SELECT, SL_GUI_EDIT_SELECT_MS);
  }
  m_flags |= SL_GUI_EF_SELECTING;
  u32 line = 0, position = 0, flags = 0;
  {
    SLErrorKeeper keep;
    if (CharFromPoint(x, y, &line, &position, &flags)) m_caret = m_anchor = m_selEnd = position;
  }
  RecalcLayout();
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonDown(keys, x, y);
}

void CSL_GS_GuiEdit::OnLButtonUp(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  const bool selecting = (m_flags & SL_GUI_EF_SELECTING) != 0;
  EndMouseSelection();
  if (selecting && m_manager && m_manager->GetCaptureWindow() == this) m_manager->ReleaseCapture();
  if (IsRegistered()) CSL_GS_GuiWindow::OnLButtonUp(keys, x, y);
}

void CSL_GS_GuiEdit::OnMouseMove(u32 keys, i32 x, i32 y) {
  Hold hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (manager && manager->GetCaptureWindow() == this) {
    i32 sx = x, sy = y;
    if (manager->ClientToScreen(this, &sx, &sy)) {
      if (HitTest(sx, sy) != SL_GUI_HIT_NOWHERE)
        m_flags |= SL_GUI_EF_OVER;
      else
        m_flags &= ~u32(SL_GUI_EF_OVER);
    }
    TrackMouse(x, y);
    if (!IsRegistered()) return;
  }
  CSL_GS_GuiWindow::OnMouseMove(keys, x, y);
}

void CSL_GS_GuiEdit::OnTimer(u32 id) {
  if (id != SL_GUI_TIMER_EDIT_SELECT) {
    CSL_GS_GuiWindow::OnTimer(id);
    return;
  }
  Hold hold(this);
  CSL_GS_GuiManager* manager = m_manager;
  if (!manager || !IsRegistered() || !(m_flags & SL_GUI_EF_SELECTING)) return;
  SLGuiRect client;
  if (!SLGuiPress::ClientOnScreen(this, &client)) return;
  const i32 x = i32(i64(manager->GetMouseX()) - client.x), y = i32(i64(manager->GetMouseY()) - client.y);
  u32 line = 0, position = 0, flags = 0;
  SLErrorKeeper keep;
  if (!CharFromPoint(x, y, &line, &position, &flags)) return;
  bool scrolled = false;
  // Sideways only once the pointer has left the client area: inside it, a point right of
  // a short line is an ordinary place to select to.
  const u32 across = GetHScrollPos();
  if ((flags & SL_GUI_EDIT_LEFT) && x < 0 && across > 0)
    scrolled |= ScrollTo(false, across > m_spaceAdvance ? across - m_spaceAdvance : 0);
  if ((flags & SL_GUI_EDIT_RIGHT) && x >= client.width)
    scrolled |= ScrollTo(false, u32(std::min<u64>(u64(across) + m_spaceAdvance, GetHScrollRange())));
  const u32 down = GetVScrollPos();
  if ((flags & SL_GUI_EDIT_ABOVE) && down > 0) scrolled |= ScrollTo(true, down - 1);
  if ((flags & SL_GUI_EDIT_BELOW) && down < GetVScrollRange()) scrolled |= ScrollTo(true, down + 1);
  if (!scrolled || !IsRegistered()) return;
  TrackMouse(x, y);  // the edit's own move: the base hears nothing of it
  RecalcLayout();
}

// --- Window slots ---

u32 CSL_GS_GuiEdit::GetDialogCode() {
  return MultiLine() ? SL_GUI_DLGC_WANTARROWS | SL_GUI_DLGC_WANTALLKEYS | SL_GUI_DLGC_WANTCHARS
                     : SL_GUI_DLGC_WANTARROWS | SL_GUI_DLGC_WANTCHARS;
}

bool CSL_GS_GuiEdit::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) {
  if (window != this) return CSL_GS_GuiWindow::GetTextStyle(window, state, font, color);
  if (font) *font = m_font;
  const bool selected = (state & 32) != 0;
  const SLGuiSkinColor* chosen;
  switch (state & 3) {
    case SL_GUI_STATE_DISABLED: chosen = m_disabledColor; break;
    case SL_GUI_STATE_HOT:
    case SL_GUI_STATE_PRESSED: chosen = selected ? m_selectedColor : m_overColor; break;
    default: chosen = selected ? m_selectedColor : m_normalColor; break;
  }
  SLGuiPress::CopyColor(chosen, color);
  return SLSucceed(true);
}

bool CSL_GS_GuiEdit::OnCreate() {
  if (!CSL_GS_GuiWindow::OnCreate()) return false;
  ReadSkin();
  // The caption passes the same filters as any text set later.
  Hold hold(this);
  OnTextChanged(&m_text);
  return IsRegistered();
}

void CSL_GS_GuiEdit::OnPositionChanged(SLGuiWindowPos* pos) {
  Hold hold(this);
  CSL_GS_GuiWindow::OnPositionChanged(pos);
  if (IsRegistered()) ReadSkin();
}

void CSL_GS_GuiEdit::OnEnable(bool enabled) {
  if (!enabled) m_flags &= ~u32(SL_GUI_EF_FOCUSED | SL_GUI_EF_SELECTING | SL_GUI_EF_OVER);
  CSL_GS_GuiWindow::OnEnable(enabled);
}

void CSL_GS_GuiEdit::OnShow(bool visible) {
  if (!visible) m_flags &= ~u32(SL_GUI_EF_FOCUSED | SL_GUI_EF_SELECTING | SL_GUI_EF_OVER);
  CSL_GS_GuiWindow::OnShow(visible);
}

void CSL_GS_GuiEdit::OnCancelMode() {
  Hold hold(this);
  EndMouseSelection();
  if (IsRegistered()) CSL_GS_GuiWindow::OnCancelMode();
}

void CSL_GS_GuiEdit::OnCaptureLost(CSL_GS_GuiWindow* newCapture) {
  Hold hold(this);
  EndMouseSelection();
  if (IsRegistered()) CSL_GS_GuiWindow::OnCaptureLost(newCapture);
}

void CSL_GS_GuiEdit::GetClientArea(SLGuiRect* rect) {
  if (!rect) return;
  ReadSkin();
  const SLGuiRect given = *rect;
  const auto inset = [&] {
    *rect = given;
    if (Bordered() && m_normal) SLGuiSkinDeflateRect(m_normal, rect);
    CSL_GS_GuiWindow::GetClientArea(rect);
  };
  inset();
  const u32 bars = m_style & (SL_GUI_WS_HSCROLL | SL_GUI_WS_VSCROLL);
  RecalcLayout();
  // The layout may have shown or hidden a bar: the area answered must count it.
  if ((m_style & (SL_GUI_WS_HSCROLL | SL_GUI_WS_VSCROLL)) != bars) inset();
}

void CSL_GS_GuiEdit::OnNcLButtonDown(u32 hit, u32 keys, i32 x, i32 y) {
  Hold hold(this);
  if (m_manager && IsRegistered()) {
    m_manager->SetFocus(this);
    if (!IsRegistered()) return;
  }
  m_flags |= SL_GUI_EF_OVER;
  // The internal bars lie outside the client area: their presses go on to the base.
  CSL_GS_GuiWindow::OnNcLButtonDown(hit, keys, x, y);
}

void CSL_GS_GuiEdit::OnNcLButtonUp(u32 hit, u32 keys, i32 x, i32 y) {
  EndMouseSelection();
  CSL_GS_GuiWindow::OnNcLButtonUp(hit, keys, x, y);
}

void CSL_GS_GuiEdit::OnGfxChanged(CSL_GS_BaseGfx* gfx) {
  // Fonts of another device measure differently, even under a handle of the same value.
  FreeWidthCache();
  CSL_GS_GuiWindow::OnGfxChanged(gfx);
}

void CSL_GS_GuiEdit::OnSkinChanged(u32 skin) {
  FreeWidthCache();
  Hold hold(this);
  CSL_GS_GuiWindow::OnSkinChanged(skin);
  if (IsRegistered()) SetPosition(0, 0, 0, 0, SL_GUI_SWP_KEEPZORDER | SL_GUI_SWP_NOMOVE | SL_GUI_SWP_NOSIZE |
                                                   SL_GUI_SWP_NOZORDER | SL_GUI_SWP_NOCHANGING,
                                  std::uintptr_t(0));
}
