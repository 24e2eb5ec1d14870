// Scroll bars: a position between 0 and a range, changed with two arrow buttons, the
// track on either side of the thumb, the thumb itself and the arrow keys, and reported to
// the window that scrolls. The same classes serve as the internal bars that any window
// can show around its client area: such a bar is flagged internal, is never registered
// with the manager, lives in screen coordinates and is driven by its owner window, which
// forwards the mouse and its own repeat timer to it.
//
// Parts along the bar, as the hit test numbers them: 1 decrement button (left or top),
// 2 increment button, 3 track before the thumb, 4 track after it, 5 the thumb. Every
// notification may destroy the bar (or its owner); an operation that finds it gone stops
// with 0x80010002.
#pragma once

#include "gui/SLGuiWindow.h"

struct SLGuiSkinElement;
struct SLGuiSkinGlyph;

// Orientation word of a bar.
enum : u32 {
  SL_GUI_SB_GROWBOX = 0,
  SL_GUI_SB_HORIZONTAL = 1,
  SL_GUI_SB_VERTICAL = 2,
  SL_GUI_SB_KIND_MASK = 3,
  SL_GUI_SB_INTERNAL = 0x80000000,
};

// Notification codes of OnHScroll and OnVScroll.
enum : u32 {
  SL_GUI_SB_LINEBACK = 1,
  SL_GUI_SB_LINEFORWARD = 2,
  SL_GUI_SB_PAGEBACK = 3,
  SL_GUI_SB_PAGEFORWARD = 4,
  SL_GUI_SB_THUMBTRACK = 5,
  SL_GUI_SB_ENDSCROLL = 6,
};

// Pressed part values of a key repeat, and the bar's own repeat timer.
enum : u32 {
  SL_GUI_SB_KEY_BACK = 104,
  SL_GUI_SB_KEY_FORWARD = 108,
  SL_GUI_TIMER_SCROLLBAR = 0xFFFFFFF8,
};

class CSL_GS_GuiScrollBarBase : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiScrollBarBase)
 public:
  explicit CSL_GS_GuiScrollBarBase(u32 orientation = SL_GUI_SB_HORIZONTAL);

  using CSL_GS_GuiWindow::SetPosition;
  u32 GetPosition() const { return m_position; }
  u32 GetRange() const { return m_range; }
  // position = min(position, range); no notification.
  bool SetPosition(u32 position);
  // Clamps the position to the new range and reads the skin again; no notification.
  bool SetRange(u32 range);

  u32 GetOrientation() const { return m_orientation; }
  bool IsInternal() const { return (m_orientation & SL_GUI_SB_INTERNAL) != 0; }
  u32 GetBarFlags() const { return m_flags; }
  u32 GetBarHoverPart() const { return m_barHoverPart; }
  u32 GetBarPressedPart() const { return m_barPressedPart; }
  // End of the decrement button, start and end of the thumb, start of the increment
  // button, in pixels along the bar.
  i32 GetBoundary(u32 index) const { return index < 4 ? m_bounds[index] : 0; }
  // The part under a point in bar coordinates (0 outside the bar).
  u32 PartAt(i32 x, i32 y) const;
  // Reads the skin's elements of the bar again (an owner window does it on layout).
  void ReadSkin();
  void PlaceParts();

  u32 GetState() override;
  u32 GetDialogCode() override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void OnEnable(bool enabled) override;
  void OnShow(bool visible) override;
  void OnCancelMode() override;
  void OnCaptureLost(CSL_GS_GuiWindow* newCapture) override;
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;
  void OnSetFocus(CSL_GS_GuiWindow* window) override;
  void OnKillFocus(CSL_GS_GuiWindow* newFocus) override;
  void DrawFrame(const SLGuiRect* windowOnScreen) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;
  u32 HitTest(i32 x, i32 y) override;
  void OnLButtonDblClk(u32 keys, i32 x, i32 y) override;
  void OnLButtonDown(u32 keys, i32 x, i32 y) override;
  void OnLButtonUp(u32 keys, i32 x, i32 y) override;
  void OnMouseEnter(u32 keys, i32 x, i32 y) override;
  void OnMouseMove(u32 keys, i32 x, i32 y) override;
  void OnMouseLeave() override;
  void OnKeyDown(u32 key) override;
  void OnKeyUp(u32 key) override;
  void OnTimer(u32 id) override;
  void OnSkinChanged(u32 skin) override;

 protected:
  friend class CSL_GS_GuiWindow;
  struct StateElements {
    const SLGuiSkinElement* element[4];
    const SLGuiSkinElement* background[4];
  };
  bool IsHorizontal() const { return (m_orientation & SL_GUI_SB_KIND_MASK) == SL_GUI_SB_HORIZONTAL; }
  bool IsVertical() const { return (m_orientation & SL_GUI_SB_KIND_MASK) == SL_GUI_SB_VERTICAL; }
  bool IsGrowBox() const { return (m_orientation & SL_GUI_SB_KIND_MASK) == SL_GUI_SB_GROWBOX; }
  // Still usable after a call out: registered, or for an internal bar still owned by a
  // live window. Otherwise 0x80010002.
  bool BarAlive() const;
  // The bar's rectangle on screen.
  SLGuiRect ScreenRect() const;
  // The span of a part along the bar.
  void PartSpan(u32 part, i32* start, i32* end) const;
  SLGuiRect PartRect(u32 part, const SLGuiRect& bar) const;
  // Moves to `position`, re-places the parts and tells the receiver; a refusal puts the
  // old position back. False when the bar went away meanwhile.
  bool MoveAndNotify(u32 position, u32 code);
  // Tells the receiver; the answer decides whether the new position stays.
  bool Notify(u32 code, u32 newPosition, u32 oldPosition);
  void RepeatStep();
  // The end of a press or key repeat: code 6 when something was pressed.
  void EndPress(bool releaseCapture);
  void DrawPart(u32 part, const SLGuiRect& bar, const StateElements& elements, const SLGuiSkinGlyph* const* glyphs,
                double opacity);
  double Opacity();

  u32 m_flags;
  u32 m_orientation;
  u32 m_barHoverPart;
  u32 m_barPressedPart;
  i32 m_pressX, m_pressY;
  u32 m_repeatCount;
  StateElements m_buttons;
  StateElements m_thumbs;
  const SLGuiSkinElement* m_track;
  const SLGuiSkinGlyph* m_glyphs[12];  // decrement arrow, increment arrow, thumb; four states each
  i32 m_bounds[4];
  u32 m_position, m_range, m_page;
};

class CSL_GS_GuiHScrollBar : public CSL_GS_GuiScrollBarBase {
  SL_DECLARE_CLASS(CSL_GS_GuiHScrollBar)
 public:
  CSL_GS_GuiHScrollBar() : CSL_GS_GuiScrollBarBase(SL_GUI_SB_HORIZONTAL) {}
};

class CSL_GS_GuiVScrollBar : public CSL_GS_GuiScrollBarBase {
  SL_DECLARE_CLASS(CSL_GS_GuiVScrollBar)
 public:
  CSL_GS_GuiVScrollBar() : CSL_GS_GuiScrollBarBase(SL_GUI_SB_VERTICAL) {}
};

// The size grip between two bars: one element and a glyph in its bottom corner.
class CSL_GS_GuiGrowBoxScrollBar : public CSL_GS_GuiScrollBarBase {
  SL_DECLARE_CLASS(CSL_GS_GuiGrowBoxScrollBar)
 public:
  CSL_GS_GuiGrowBoxScrollBar() : CSL_GS_GuiScrollBarBase(SL_GUI_SB_GROWBOX) {}
};

class CSL_GS_GuiInternalHScrollBar : public CSL_GS_GuiHScrollBar {
  SL_DECLARE_CLASS(CSL_GS_GuiInternalHScrollBar)
 public:
  CSL_GS_GuiInternalHScrollBar() { m_orientation |= SL_GUI_SB_INTERNAL; }
};

class CSL_GS_GuiInternalVScrollBar : public CSL_GS_GuiVScrollBar {
  SL_DECLARE_CLASS(CSL_GS_GuiInternalVScrollBar)
 public:
  CSL_GS_GuiInternalVScrollBar() { m_orientation |= SL_GUI_SB_INTERNAL; }
};

// What a window keeps of the grow box's skin, fetched on first use.
struct SLGuiGrowBoxLookups {
  const SLGuiSkinElement* element;
  const SLGuiSkinGlyph* leftGlyph;
  const SLGuiSkinGlyph* rightGlyph;
};

// Hand-computable placement of the parts, shared by the bar and its tests' fuzz target:
// length and button size along the bar, the thumb's minimum from the skin, the range and
// the position. Fills the four boundaries.
void SLGuiPlaceScrollParts(i32 length, i32 button, i32 minThumb, u32 range, u32 position, i32* bounds);
