// The push button: a skinned background per visual state ("PushButton" section), an
// optional caller image per state, a text, and a command to its parent when clicked by
// the mouse (press and release over it) or by the space key (pressed and released while
// it has the focus).
#pragma once

#include "gui/SLGuiPressFlags.h"
#include "gui/SLGuiSkin.h"
#include "gui/SLGuiWindow.h"

// Style bits of a push button.
enum : u32 {
  SL_GUI_BS_IMAGE = 0x01,         // only the state's image, centred: no skin, no text
  SL_GUI_BS_IMAGE_AND_TEXT = 0x02,
  SL_GUI_BS_DEFAULT = 0x04,       // the dialog's default button
  SL_GUI_BS_NO_BACKGROUND = 0x08,
};

// Image slots and skin states of a push button.
enum : u32 {
  SL_GUI_BTN_IMG_NORMAL = 0,
  SL_GUI_BTN_IMG_OVER = 1,
  SL_GUI_BTN_IMG_CLICK = 2,
  SL_GUI_BTN_IMG_DISABLED = 3,
  SL_GUI_BTN_IMG_FOCUSED = 4,
};

class CSL_GS_GuiButton : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiButton)
 public:
  CSL_GS_GuiButton();
  ~CSL_GS_GuiButton() override;

  SL_GUI_DECLARE_STATE_IMAGE_SETTERS();
  // Bits 0-1 horizontal and 2-3 vertical placement of the image against the text; bit 4
  // puts the image right beside the text.
  bool SetImageAlignment(u32 style);
  u32 GetFlags() const { return m_flags; }
  u32 GetImageAlignment() const { return m_imageStyle; }

  SL_GUI_DECLARE_PRESS_SLOTS();
  u32 GetDialogCode() override;

 protected:
  void ReadSkin();
  // The image slot shown in a visual state: Click falls back to Over, then any empty slot
  // to Normal; null when that is empty too.
  const SLGuiImageSlot* ImageFor(u32 state) const;

  u32 m_flags;
  SLGuiImageSlot m_images[5];
  u32 m_imageStyle;
  // Normal, Over, Click, Disabled, Focused and their background overrides.
  SLGuiSkinElement* m_elements[5];
  SLGuiSkinElement* m_overrides[5];
  SL_GS_Font* m_font;
  SLGuiSkinColor* m_colors[5];
  i32 m_outlineMargin;
};
