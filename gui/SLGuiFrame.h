// A passive decoration: a skinned rectangle around its client area, or a horizontal or
// vertical rule. The kind is the low two bits of the style (0 and 3 rectangle,
// 1 horizontal rule, 2 vertical rule); rules are placed by the text format.
#pragma once

#include "gui/SLGuiWindow.h"

struct SLGuiSkinElement;

enum : u32 {
  SL_GUI_FRAME_RECTANGLE = 0,
  SL_GUI_FRAME_HORIZONTAL = 1,
  SL_GUI_FRAME_VERTICAL = 2,
  SL_GUI_FRAME_KIND_MASK = 3,
};

class CSL_GS_GuiFrame : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiFrame)
 public:
  CSL_GS_GuiFrame();

  u32 GetState() override;
  u32 GetDialogCode() override;
  bool OnCreate() override;
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;
  void DrawFrame(const SLGuiRect* windowOnScreen) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;
  void OnSkinChanged(u32 skin) override;

 private:
  u32 Kind() const;
  void ReadSkin();

  i32 m_borders[4];  // left, top, right, bottom of the rectangle element
  const SLGuiSkinElement* m_rectangle;
  const SLGuiSkinElement* m_horizontal;
  const SLGuiSkinElement* m_vertical;
};
