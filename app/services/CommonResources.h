// Pictures, fonts and the close button shared by every screen and dialog: the message
// box icons, the one-pixel pictures, the crosshair pointer, the four bitmap fonts and the
// close button at the top right. Loaded once after start-up, freed before shutdown.
#pragma once

#include "foundation/SLTypes.h"

struct SL_GS_Image;
struct SL_GS_Font;
class CSL_GS_GuiWindow;

enum AppCommonPicture : u32 {
  APP_PICTURE_BULB_ELECTRIC,
  APP_PICTURE_BULB_IDEA,
  APP_PICTURE_ERROR,
  APP_PICTURE_INFORMATION,
  APP_PICTURE_QUESTION,
  APP_PICTURE_WARNING,
  APP_PICTURE_RECYCLE_BIN,
  APP_PICTURE_RECYCLE_BIN_2,
  APP_PICTURE_RECYCLE_BIN_FULL,
  APP_PICTURE_BLACK_PIXEL,
  APP_PICTURE_WHITE_PIXEL,
  APP_PICTURE_CROSSHAIR,
  APP_PICTURE_COUNT
};

enum AppCommonFont : u32 { APP_FONT_LETRA_8, APP_FONT_TAHOMA_8, APP_FONT_COMIC_9B, APP_FONT_COMIC_11, APP_FONT_COUNT };

// Button state pictures, in the order the screens give them.
enum : u32 { APP_STATE_NORMAL, APP_STATE_OVER, APP_STATE_CLICK, APP_STATE_DISABLED, APP_STATE_COUNT };
extern const char* const kAppStateNames[APP_STATE_COUNT];

extern SL_GS_Image* AppCommonPictures[APP_PICTURE_COUNT];
extern SL_GS_Font* AppCommonFonts[APP_FONT_COUNT];
extern CSL_GS_GuiWindow* AppCloseButton;

// Fatal -301 "No puedo cargar imágenes" for a missing picture or font, -302 "Insuficiente
// memoria" when the close button cannot be made.
void CommonUi_Load();
void CommonUi_Free();

// True when the close button is enabled (or absent): screens open the exit prompt on a
// close request only then.
bool CommonUi_CloseButtonEnabled();

// Gives a picture button its state pictures (null entries are skipped) and sizes it to
// the normal one.
bool AppButton_SetPictures(CSL_GS_GuiWindow* button, SL_GS_Image* const* pictures, u32 count);
