// The label: a text on a skinned background ("Label" section) or a caller image. It
// takes no input of its own; its shape decides which points belong to it, so a label
// also serves its parent as a shaped click area.
#pragma once

#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

// Style bits of a label (both clear: skin mode).
enum : u32 {
  SL_GUI_LS_IMAGE = 0x01,      // only the image, centred: no background, no text
  SL_GUI_LS_TEXT_ONLY = 0x02,  // no skin background
};

class CSL_GS_GuiLabel : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiLabel)
 public:
  CSL_GS_GuiLabel();
  ~CSL_GS_GuiLabel() override;

  bool SetImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetDisabledImage(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);

  u32 GetState() override;
  u32 GetDialogCode() override;
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;
  void DrawFrame(const SLGuiRect* windowOnScreen) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;
  u32 HitTest(i32 x, i32 y) override;
  void OnGfxChanged(CSL_GS_BaseGfx* gfx) override;

 private:
  void ReadSkin();
  bool SkinMode() const { return !(m_style & (SL_GUI_LS_IMAGE | SL_GUI_LS_TEXT_ONLY)); }
  bool Disabled() const { return (m_style & SL_GUI_WS_DISABLED) != 0; }

  SLGuiImageSlot m_images[2];  // Normal, Disabled
  SLGuiSkinElement* m_normal;
  SLGuiSkinElement* m_normalOverride;
  // Looked up as "Disabled" and "DisabledBackgroundOverride"; the "Label" section has
  // neither key, so with the skins we know these stay empty and the normal ones serve.
  SLGuiSkinElement* m_disabled;
  SLGuiSkinElement* m_disabledOverride;
  SL_GS_Font* m_font;
  SLGuiSkinColor* m_normalColor;
  SLGuiSkinColor* m_disabledColor;
};

// What labels, frames and group boxes answer alike: disabled or normal, and a static
// control to the dialog navigation.
inline u32 SLGuiStaticState(u32 style) { return (style & SL_GUI_WS_DISABLED) ? u32(SL_GUI_STATE_DISABLED) : 0u; }
