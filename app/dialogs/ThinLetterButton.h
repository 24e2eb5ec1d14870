// The push button of the pickers, the audio lists and the action dialog: a plain push
// button whose caption is drawn in the thin "Letra_8" font in every state.
#pragma once

#include "gui/SLGuiButton.h"

class CMyThinLetterButton : public CSL_GS_GuiButton {
  SL_DECLARE_CLASS(CMyThinLetterButton)
 public:
  CMyThinLetterButton() = default;
  ~CMyThinLetterButton() override = default;

  // The push button's colours with the thin font (when the common fonts are loaded).
  bool GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font, SLGuiSkinColor* color) override;
};
