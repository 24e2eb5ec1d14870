// Check boxes and radio buttons: two-state buttons drawn as a skin glyph (or caller
// images) beside a text, from the "CheckBox" and "RadioButton" skin sections; a radio
// button unchecks the other radio buttons of its group. And the group box: a skinned
// border with a caption ("GroupBox" section) that frames other widgets.
#pragma once

#include "gui/SLGuiPressFlags.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

// Style bits of check boxes and radio buttons.
enum : u32 {
  SL_GUI_CS_AUTO = 0x01,         // a click toggles (check box) or checks and unchecks the group (radio)
  SL_GUI_CS_IMAGE = 0x02,        // only the caller image of the state, centred: no glyph, no text
  SL_GUI_CS_GROUP_MASK = 0xF0,   // radio buttons: equal bits under one parent form a group
};

// Image slots: 0-3 checked Normal, Over, Click, Disabled; 4-7 the same unchecked.
enum : u32 {
  SL_GUI_CHECK_SLOTS = 8,
  SL_GUI_CHECK_UNCHECKED_BASE = 4,
};

// The shared body of check boxes and radio buttons (not a class of its own to the class
// registry: both are plain windows to the dialog navigation).
class SLGuiTwoStateButton : public CSL_GS_GuiWindow {
 public:
  SLGuiTwoStateButton();
  ~SLGuiTwoStateButton() override;

  // Slots 0-4 (checked Normal, Over, Click, Disabled, then unchecked Normal) and 5-7.
  SL_GUI_DECLARE_STATE_IMAGE_SETTERS();
  bool SetImage5(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetImage6(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  bool SetImage7(SL_GS_Image* image, const SL_GS_DrawImageOptions* options = nullptr);
  // Checking a radio button unchecks the rest of its group when it was clear. No
  // notification either way.
  bool SetCheck(bool checked);
  bool IsChecked() const { return (m_flags & SL_GUI_BTN_CHECKED) != 0; }
  u32 GetFlags() const { return m_flags; }

  SL_GUI_DECLARE_PRESS_SLOTS();
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;

  // Glyph and text boxes in a client rectangle (glyph mode), as drawn and hit.
  void Layout(const SLGuiRect& client, SLGuiRect* glyph, SLGuiRect* text);

 protected:
  virtual const char* SkinSection() const = 0;
  // Whether a click or the space key applies: a radio button already checked ignores both.
  virtual bool Accepts() const { return true; }
  // The change an automatic click makes; false when the window went away.
  virtual bool ApplyClick() = 0;
  // After the checked flag was set from clear.
  virtual void OnChecked() {}
  void ReadSkin();
  void Click();
  u32 CheckBase() const { return IsChecked() ? 0u : u32(SL_GUI_CHECK_UNCHECKED_BASE); }

  u32 m_flags;
  SLGuiImageSlot m_images[SL_GUI_CHECK_SLOTS];
  SLGuiSkinGlyph* m_glyphs[SL_GUI_CHECK_SLOTS];
  SL_GS_Font* m_font;
  SLGuiSkinColor* m_colors[4];  // Normal, Over, Click, Disabled
  i32 m_outlineMargin;
};

class CSL_GS_GuiCheckBox : public SLGuiTwoStateButton {
  SL_DECLARE_CLASS(CSL_GS_GuiCheckBox)
 public:
  u32 GetDialogCode() override;

 protected:
  const char* SkinSection() const override { return "CheckBox"; }
  bool ApplyClick() override;
};

class CSL_GS_GuiRadioButton : public SLGuiTwoStateButton {
  SL_DECLARE_CLASS(CSL_GS_GuiRadioButton)
 public:
  u32 GetDialogCode() override;

 protected:
  const char* SkinSection() const override { return "RadioButton"; }
  bool Accepts() const override { return !IsChecked(); }
  bool ApplyClick() override;
  void OnChecked() override;
};

class CSL_GS_GuiGroupBox : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiGroupBox)
 public:
  CSL_GS_GuiGroupBox();

  u32 GetState() override;
  u32 GetDialogCode() override;
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
  bool OnCreate() override;
  void OnPositionChanged(SLGuiWindowPos* pos) override;
  void OnTextFormatChanged(u32 format) override;
  void OnTextChanged(CSLStringAnsi* text) override;
  void GetMinMaxInfo(SLGuiMinMaxInfo* info) override;
  void DrawFrame(const SLGuiRect* windowOnScreen) override;
  void Draw(const SLGuiRect* clientOnScreen) override;
  void GetClientArea(SLGuiRect* rect) override;

 protected:
  void ReadSkin();
  void RecomputeFrame();

  i32 m_left, m_top, m_right, m_bottom;
  SLGuiSkinElement* m_border;
  SL_GS_Font* m_font;
  SLGuiSkinColor* m_normalColor;
  SLGuiSkinColor* m_disabledColor;
};
