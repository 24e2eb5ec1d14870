// Sliders: a track with a draggable thumb that selects an integer position between 0 and
// a range. The thumb is dragged, the track pressed before or after the thumb pages by
// the step (repeating while held), and the arrow keys move by one (repeating); every
// change goes to the notification target as OnHScroll or OnVScroll, which may refuse it.
// The editor's timeline is one of these.
#pragma once

#include "gui/SLGuiScrollBar.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

enum : u32 {
  SL_GUI_SLS_IMAGE = 0x01,  // caller images instead of the skin's track and thumb
};

// The auto-repeat of a held track press or arrow key: one step at once, a pause of two
// ticks, then one step every tick.
enum : u32 {
  SL_GUI_TIMER_SLIDER_REPEAT = 0xFFFFFFF8,
  SL_GUI_SLIDER_REPEAT_MS = 50,
};

// Flags of a slider.
enum : u32 {
  SL_GUI_SLF_FOCUSED = 0x01,
  SL_GUI_SLF_PRESSED = 0x02,
  SL_GUI_SLF_DEC_KEY = 0x04,
  SL_GUI_SLF_INC_KEY = 0x08,
  SL_GUI_SLF_OVER = 0x10,
};

// Parts under a point, and what a press holds.
enum : u32 {
  SL_GUI_SLIDER_NONE = 0,
  SL_GUI_SLIDER_BEFORE = 1,  // track before the thumb: pages down
  SL_GUI_SLIDER_AFTER = 2,   // track after the thumb: pages up
  SL_GUI_SLIDER_THUMB = 3,
  SL_GUI_SLIDER_DEC_KEY = 104,
  SL_GUI_SLIDER_INC_KEY = 108,
};

// Codes of the scroll notifications, as a slider names them; the thumb and end codes are the
// scroll bars' (SL_GUI_SB_THUMBTRACK, and SL_GUI_SB_ENDSCROLL at the end of a press or drag,
// with new and old both the current position).
enum : u32 {
  SL_GUI_SB_LINEDOWN = 1,  // one unit down (key)
  SL_GUI_SB_LINEUP = 2,
  SL_GUI_SB_PAGEDOWN = 3,  // one step down (track before the thumb)
  SL_GUI_SB_PAGEUP = 4,
};

class CSL_GS_GuiSliderBase : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiSliderBase)
 public:
  ~CSL_GS_GuiSliderBase() override;

  using CSL_GS_GuiWindow::SetPosition;
  u32 GetPosition() const { return m_position; }
  u32 GetRange() const { return m_range; }
  u32 GetStep() const { return m_step; }
  // The position, at most the range. No notification.
  bool SetPosition(u32 value);
  // The largest position; the position is clamped to it. No notification.
  bool SetRange(u32 value);
  // The page step; 0 counts as 1.
  bool SetStep(u32 value);
  bool SetThumbNormalImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetThumbOverImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetThumbClickImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetThumbDisabledImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetTrackImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);

  bool IsHorizontal() const { return m_orientation == 1; }
  u32 GetFlags() const { return m_flags; }
  u32 GetSliderHoverPart() const { return m_sliderHover; }
  u32 GetSliderPressedPart() const { return m_sliderPressed; }
  i32 GetThumbStart() const { return m_thumbStart; }
  i32 GetThumbEnd() const { return m_thumbEnd; }
  // The part under a client point: 0 outside the client area.
  u32 PartAt(i32 x, i32 y) const;

  u32 GetState() override;
  u32 GetDialogCode() override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void OnStyleChanged(u32 newStyle) override;
  void OnEnable(bool enabled) override;
  void OnShow(bool visible) override;
  void OnCancelMode() override;
  void OnCaptureLost(CSL_GS_GuiWindow* newCapture) override;
  void OnSetFocus(CSL_GS_GuiWindow* window) override;
  void OnKillFocus(CSL_GS_GuiWindow* newFocus) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void OnLButtonDblClk(u32 keys, i32 x, i32 y) override;
  void OnLButtonDown(u32 keys, i32 x, i32 y) override;
  void OnLButtonUp(u32 keys, i32 x, i32 y) override;
  void OnMouseEnter(u32 keys, i32 x, i32 y) override;
  void OnMouseMove(u32 keys, i32 x, i32 y) override;
  void OnMouseLeave() override;
  void OnKeyDown(u32 key) override;
  void OnKeyUp(u32 key) override;
  void OnTimer(u32 id) override;
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override;

 protected:
  explicit CSL_GS_GuiSliderBase(u32 orientation);
  u32 m_orientation;  // 1 horizontal, 2 vertical

 private:
  void ReadSkin();
  void PlaceThumb();
  i32 AxisLength() const;
  i32 ThumbLength() const;
  void Press(i32 x, i32 y);
  // Ends a press or a held key: code 6 when one was active, the repeat timer stops.
  void EndPress();
  void RepeatStep();
  // Stores a new position and tells the target; a refusal takes it back.
  void Change(u32 position, u32 code);
  // OnHScroll or OnVScroll of the target, else of the manager.
  bool Notify(u32 code, u32 newPosition, u32 oldPosition);
  void StartRepeat();
  bool SetSlot(u32 index, SL_GS_Image* image, const SL_GS_DrawImageOptions* options);

  u32 m_flags;
  u32 m_sliderHover;
  u32 m_sliderPressed;
  i32 m_pressX, m_pressY;
  u32 m_repeatCount;
  SLGuiImageSlot m_images[5];  // thumb Normal, Over, Click, Disabled; track
  SLGuiSkinElement* m_track;
  SLGuiSkinGlyph* m_thumbGlyphs[4];
  i32 m_thumbStart, m_thumbEnd;
  u32 m_position, m_range, m_step;
};

class CSL_GS_GuiHSlider : public CSL_GS_GuiSliderBase {
  SL_DECLARE_CLASS(CSL_GS_GuiHSlider)
 public:
  CSL_GS_GuiHSlider() : CSL_GS_GuiSliderBase(1) {}
  ~CSL_GS_GuiHSlider() override = default;
};

class CSL_GS_GuiVSlider : public CSL_GS_GuiSliderBase {
  SL_DECLARE_CLASS(CSL_GS_GuiVSlider)
 public:
  CSL_GS_GuiVSlider() : CSL_GS_GuiSliderBase(2) {}
  ~CSL_GS_GuiVSlider() override = default;
};
