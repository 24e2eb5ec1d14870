#include "app/dialogs/ThinLetterButton.h"

#include "app/services/CommonResources.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyThinLetterButton, CSL_GS_GuiButton)

bool CMyThinLetterButton::GetTextStyle(CSL_GS_GuiWindow* window, u32 state, SL_GS_Font** font,
                                       SLGuiSkinColor* color) {
  if (!CSL_GS_GuiButton::GetTextStyle(window, state, font, color)) return false;
  if (font && AppCommonFonts[APP_FONT_LETRA_8]) *font = AppCommonFonts[APP_FONT_LETRA_8];
  return SLSucceed(true);
}
