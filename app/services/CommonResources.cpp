#include "app/services/CommonResources.h"

#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "storage/SLFastFileStorage.h"

const char* const kAppStateNames[APP_STATE_COUNT] = {"Normal", "Over", "Click", "Disabled"};

SL_GS_Image* AppCommonPictures[APP_PICTURE_COUNT] = {};
SL_GS_Font* AppCommonFonts[APP_FONT_COUNT] = {};
CSL_GS_GuiWindow* AppCloseButton = nullptr;

namespace {

const char* const kPictureNames[APP_PICTURE_COUNT] = {
    "Interface/Iconos Varios/Bulb Electric.mximg",  "Interface/Iconos Varios/Bulb Idea.mximg",
    "Interface/Iconos Varios/Error.mximg",          "Interface/Iconos Varios/Information.mximg",
    "Interface/Iconos Varios/Question.mximg",       "Interface/Iconos Varios/Warning.mximg",
    "Interface/Iconos Varios/Recycle Bin.mximg",    "Interface/Iconos Varios/Recycle Bin 2.mximg",
    "Interface/Iconos Varios/Recycle Bin Full.mximg", "Interface/Miscelaneos/black_pixel.mximg",
    "Interface/Miscelaneos/white_pixel.mximg",      "Interface/Miscelaneos/puntero_mira.mximg",
};
const char* const kFontFiles[APP_FONT_COUNT] = {"Gfx\\Letra_8.FNT", "Gfx\\Tahoma_8.FNT", "Gfx\\ComicSans_9B.FNT",
                                                "Gfx\\ComicSans_11.FNT"};

SL_GS_Image* g_closePictures[APP_STATE_COUNT] = {};

}  // namespace

bool AppButton_SetPictures(CSL_GS_GuiWindow* button, SL_GS_Image* const* pictures, u32 count) {
  if (!button || !pictures || count == 0 || !pictures[0]) return SLFail(SL_E_INVALID_ARG, false);
  if (!button->SizeToImage(pictures[0])) return false;
  // A push button shows the picture of its state (normal, pointer over, pressed, disabled)
  // and takes clicks on that picture's visible pixels.
  if (!button->IsKindOf(CSL_GS_GuiButton::GetClassRecord())) return true;
  auto* pushButton = static_cast<CSL_GS_GuiButton*>(button);
  for (u32 state = 0; state < APP_STATE_COUNT && state < count; ++state) {
    SL_GS_Image* picture = pictures[state];
    if (!picture) continue;
    bool set = false;
    switch (state) {
      case APP_STATE_NORMAL: set = pushButton->SetNormalImage(picture); break;
      case APP_STATE_OVER: set = pushButton->SetOverImage(picture); break;
      case APP_STATE_CLICK: set = pushButton->SetClickImage(picture); break;
      default: set = pushButton->SetDisabledImage(picture); break;
    }
    if (!set) return false;
  }
  return true;
}

void CommonUi_Load() {
  AppServices& s = App_Services();
  for (u32 i = 0; i < APP_PICTURE_COUNT; ++i) {
    AppCommonPictures[i] = App_LoadInterfacePicture(kPictureNames[i]);
    if (!AppCommonPictures[i]) {
      App_NameFileAtFault("Gfx\\Gfx.DAT", kPictureNames[i]);
      App_Fatal(APP_FATAL_SHARED_PICTURES, "No puedo cargar im\xe1genes");
    }
  }
  char path[4096];
  for (u32 i = 0; i < APP_FONT_COUNT; ++i) {
    App_DataPath(path, sizeof path, kFontFiles[i]);
    AppCommonFonts[i] = s.gfx->LoadFontFromFile(path);
    if (!AppCommonFonts[i]) {
      App_NameFileAtFault(kFontFiles[i]);
      App_Fatal(APP_FATAL_SHARED_PICTURES, "No puedo cargar im\xe1genes");
    }
  }
  for (u32 i = 0; i < APP_STATE_COUNT; ++i) {
    char name[256];
    SLSnprintfA(name, sizeof name, "Interface/Principal/Bot\xf3n Cerrar/cerrar_%s.mximg", kAppStateNames[i]);
    g_closePictures[i] = App_LoadInterfacePicture(name);
    if (!g_closePictures[i]) {
      App_NameFileAtFault("Gfx\\Gfx.DAT", name);
      App_Fatal(APP_FATAL_SHARED_PICTURES, "No puedo cargar im\xe1genes");
    }
  }
  AppCloseButton = App_GuiManager().CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "Cerrar", 768, 10, 100, 100,
                                                 APP_STYLE_SCREEN_BUTTON, AppSkin, APP_CLOSE_BUTTON_ID, nullptr);
  if (!AppCloseButton || !AppButton_SetPictures(AppCloseButton, g_closePictures, APP_STATE_COUNT))
    App_Fatal(APP_FATAL_CLOSE_BUTTON, "Insuficiente memoria");
  SLSetLastError(SL_OK);
}

void CommonUi_Free() {
  SLErrorKeeper keep;
  AppServices& s = App_Services();
  if (AppCloseButton) App_GuiManager().DestroyWindow(AppCloseButton);
  AppCloseButton = nullptr;
  for (SL_GS_Image*& picture : g_closePictures) {
    if (picture) s.gfx->DestroyImage(picture);
    picture = nullptr;
  }
  for (SL_GS_Image*& picture : AppCommonPictures) {
    if (picture) s.gfx->DestroyImage(picture);
    picture = nullptr;
  }
  for (SL_GS_Font*& font : AppCommonFonts) {
    if (font) s.gfx->DestroyFont(font);
    font = nullptr;
  }
}

bool CommonUi_CloseButtonEnabled() {
  CSL_GS_GuiManager& manager = App_GuiManager();
  return !AppCloseButton || !manager.IsRegistered(AppCloseButton) || AppCloseButton->IsEnabled();
}
