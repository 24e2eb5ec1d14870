// What the framed text widgets (the edit and the grid) share about their skin frame: the
// frame drawn from "Normal" (or "Disabled"), the smallest size its borders allow, a hit
// test that lets transparent frame pixels through, and painting a whole element; and the
// body of both widgets that only reads their state flags and frame elements.
#pragma once

#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

class CSL_GS_GuiManager;

namespace SLGuiSkinFrame {

// Paints a whole skin element over a rectangle: its border pieces and its centre.
void Paint(CSL_GS_GuiManager* manager, const SLGuiSkinElement* element, const SLGuiRect& rect, double opacity);
// The frame of a window: "Disabled" when the window is disabled and the skin has it.
void Draw(CSL_GS_GuiWindow* window, const SLGuiSkinElement* normal, const SLGuiSkinElement* disabled,
          const SLGuiRect* windowOnScreen);
// The minimum tracking size is at least the frame's borders.
void LimitMinimum(SLGuiMinMaxInfo* info, const SLGuiSkinElement* frame);
// A frame hit (14) on a transparent pixel of the frame hits nothing.
u32 HitTest(CSL_GS_GuiWindow* window, u32 hit, const SLGuiSkinElement* frame, i32 x, i32 y);

}  // namespace SLGuiSkinFrame

// State flags of the framed widgets (the edit's and the grid's names stand for these).
enum : u32 {
  SL_GUI_FRAMED_FOCUSED = 0x01,
  SL_GUI_FRAMED_PRESSED = 0x02,  // a mouse press holds the capture
  SL_GUI_FRAMED_OVER = 0x04,
};

// The shared body of the edit and the grid (not a class of its own to the class registry:
// both are plain windows to it): the visual state from the flags, which follow the focus
// and the mouse, and the skin frame's size limit, drawing and hit test, all while the
// widget is bordered.
class SLGuiFramedWidget : public CSL_GS_GuiWindow {
 public:
  u32 GetFlags() const { return m_flags; }

  // Disabled; else pressed while the mouse is pressed over the widget, hot while it has
  // the focus or the mouse; plus the focus bit.
  u32 GetState() override;
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;
  void OnSetFocus(CSL_GS_GuiWindow* window) override;
  void OnKillFocus(CSL_GS_GuiWindow* newFocus) override;
  void DrawFrame(const SLGuiRect* windowOnScreen) override;
  u32 HitTest(i32 x, i32 y) override;
  // The pointer flag follows the mouse over the frame and the client area alike.
  void OnNcMouseEnter(u32 hit, u32 keys, i32 x, i32 y) override;
  void OnNcMouseLeave() override;
  void OnMouseEnter(u32 keys, i32 x, i32 y) override;
  void OnMouseLeave() override;

 protected:
  // `borderlessStyle`: the widget's style bit that leaves the frame out.
  explicit SLGuiFramedWidget(u32 borderlessStyle);
  bool Bordered() const { return (m_style & m_borderlessStyle) == 0; }

  u32 m_flags;
  SLGuiSkinElement* m_normal;
  SLGuiSkinElement* m_normalOverride;
  SLGuiSkinElement* m_disabled;
  SLGuiSkinElement* m_disabledOverride;
  SLGuiSkinElement* m_selectedArea;

 private:
  u32 m_borderlessStyle;
};
