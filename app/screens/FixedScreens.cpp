#include "app/screens/FixedScreens.h"

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/screens/BoxScreen.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorScreen.h"
#include "app/dialogs/MsgBox.h"
#include "app/screens/ScreenLoop.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/SLGuiButton.h"
#include "gui/SLHtmlHelp.h"
#include "media/SLMoviePlayer.h"
#include "storage/SLFastFileStorage.h"

namespace {

constexpr u32 kKeyEscape = 27, kKeyEnter = 13, kKeySpace = 32, kKeyLeftAlt = 324, kKeyRightAlt = 325;

// A picture name with its state: "%s%s" takes the state and an empty text, "%s" alone
// an empty text.
SL_GS_Image* LoadStatePicture(const char* pattern, const char* state) {
  char name[512];
  SLSnprintfA(name, sizeof name, pattern, state, "");
  return App_LoadInterfacePicture(name);
}

void DestroyPictures(SL_GS_Image** pictures, u32 count) {
  AppServices& s = App_Services();
  for (u32 i = 0; i < count; ++i) {
    if (pictures[i]) s.gfx->DestroyImage(pictures[i]);
    pictures[i] = nullptr;
  }
}

bool PressedThisTick(u32 key) {
  CSL_GS_KeyboardInput_DirectX* keyboard = App_Services().keyboard;
  return keyboard->IsKeyDown(key) && keyboard->HasKeyChanged(key);
}

bool LeftClickThisTick() {
  CSL_GS_MouseInput_DirectX* mouse = App_Services().mouse;
  return mouse->IsButtonDown(1) && mouse->HasButtonChanged(1);
}

CSL_GS_GuiWindow* CreatePictureButton(const char* caption, i32 x, i32 y, u32 id, SL_GS_Image* const* pictures,
                                      u32 count) {
  CSL_GS_GuiWindow* button = App_GuiManager().CreateWindow(CSL_GS_GuiButton::GetClassRecord(), caption, x, y, 100,
                                                           100, APP_STYLE_SCREEN_BUTTON, AppSkin, id, nullptr);
  if (button && !AppButton_SetPictures(button, pictures, count)) {
    App_GuiManager().DestroyWindow(button);
    return nullptr;
  }
  return button;
}

// --- Welcome screen ---

void WelcomeEvent(AppScreen* screen, const AppEvent& event) {
  if (event.type != APP_EVENT_COMMAND) return;
  if (event.data == APP_CLOSE_BUTTON_ID) ExitPrompt_Show();
  if (event.data == APP_WELCOME_CONTINUE_ID) screen->result = 1;
}

// --- Start menu ---

void MenuEvent(AppScreen* screen, const AppEvent& event) {
  if (event.type != APP_EVENT_COMMAND) return;
  switch (event.data) {
    case APP_CLOSE_BUTTON_ID:
      ExitPrompt_Show();
      break;
    case APP_MENU_PLAY_ID:
      screen->result = 1;
      break;
    case APP_MENU_BUILD_ID:
      screen->result = 2;
      break;
    case APP_MENU_HELP_ID:
      App_Services().help->ShowTopic("contenido.htm");
      break;
    default:
      break;
  }
}

// --- Intro video ---

void IntroTick(AppScreen* screen) {
  if (PressedThisTick(kKeyEscape) || PressedThisTick(kKeyEnter) || PressedThisTick(kKeySpace) ||
      PressedThisTick(kKeyLeftAlt) || PressedThisTick(kKeyRightAlt) || LeftClickThisTick())
    screen->result = 1;
  else if (!App_Services().moviePlayer->IsPlaying())
    screen->result = 1;
}

void IntroDraw(AppScreen*) {
  CSL_GS_MoviePlayer* player = App_Services().moviePlayer;
  if (player->IsPlaying()) player->RenderFrame(0, 0);
}

void IntroClose(AppScreen* screen) { screen->result = -1; }

// --- Closing screens ---

struct ClosingPages {
  SL_GS_Image* pages[2];
  u32 page;
};

void ClosingTick(AppScreen* screen) {
  auto* pages = static_cast<ClosingPages*>(screen->context);
  const bool advance = PressedThisTick(kKeyEscape) || PressedThisTick(kKeyEnter) || PressedThisTick(kKeySpace) ||
                       LeftClickThisTick();
  if (!advance) return;
  if (pages->page == 0) {
    pages->page = 1;
    screen->background = pages->pages[1];
  } else {
    screen->result = 1;
  }
}

void ClosingClose(AppScreen* screen) { screen->result = 1; }

}  // namespace

i32 WelcomeScreen_Run() {
  AppServices& s = App_Services();
  SL_GS_Image* pictures[5] = {};
  for (u32 i = 0; i < APP_STATE_COUNT; ++i) {
    pictures[i] = LoadStatePicture("Interface/Bienvenida/Bot\xf3n Seguir/seguir_%s%s.mximg", kAppStateNames[i]);
    if (!pictures[i]) {
      App_NameFileAtFault("Gfx\\Gfx.DAT");
      App_Fatal(APP_FATAL_WELCOME_PICTURES, "No puedo cargar im\xe1genes");
    }
  }
  pictures[4] = App_LoadInterfacePicture("Interface/Bienvenida/Fondo/fondo.mximg");
  if (!pictures[4]) {
    App_NameFileAtFault("Gfx\\Gfx.DAT");
    App_Fatal(APP_FATAL_WELCOME_PICTURES, "No puedo cargar im\xe1genes");
  }
  CSL_GS_GuiWindow* button = CreatePictureButton("Seguir", 688, 550, APP_WELCOME_CONTINUE_ID, pictures, 4);
  if (!button) App_Fatal(APP_FATAL_WELCOME_BUTTON, "Insuficiente memoria");

  char path[4096];
  App_DataPath(path, sizeof path, "Sfx\\Bienvenida.MXV");
  if (s.moviePlayer->Open(path, nullptr)) s.moviePlayer->Play(0, 1.0, false, false);

  AppScreen screen{"bienvenida", pictures[4], true, nullptr, &WelcomeEvent, nullptr, nullptr, nullptr, 0};
  const i32 result = AppScreen_Run(&screen);
  s.moviePlayer->Stop();
  DestroyPictures(pictures, 5);
  App_GuiManager().DestroyWindow(button);
  SLSetLastError(SL_OK);
  return result;
}

i32 IntroVideo_Play() {
  AppServices& s = App_Services();
  const SL_GS_DisplayMode small{1, 640, 480, 0, 0, 0, 0};
  if (!s.gfx->ChangeMode(&small)) App_Fatal(APP_FATAL_SCREEN_MODE, "No puedo cambiar la resoluci\xf3n de pantalla");
  char path[4096];
  App_DataPath(path, sizeof path, "Videos\\Intro.AVI");
  if (!s.moviePlayer->Open(path, CMyVIS_arVI::GetClassRecord())) {
    App_NameFileAtFault("Videos\\Intro.AVI");
    App_Fatal(APP_FATAL_INTRO_VIDEO, "No puedo cargar video");
  }
  s.moviePlayer->SeekToFrame(0);
  s.moviePlayer->Play(0, 1.0, false, false);

  AppScreen screen{"video de entrada", nullptr, false, nullptr, nullptr, &IntroTick, &IntroDraw, &IntroClose, 0};
  const i32 result = AppScreen_Run(&screen);
  s.moviePlayer->Close();
  if (result == -1000) return result;
  const SL_GS_DisplayMode normal{1, 800, 600, 0, 0, 0, 0};
  if (!s.gfx->ChangeMode(&normal)) App_Fatal(APP_FATAL_SCREEN_MODE, "No puedo cambiar la resoluci\xf3n de pantalla");
  SLSetLastError(SL_OK);
  return result;
}

i32 MainMenu_Run() {
  static const char* const kPatterns[3] = {"Interface/Menu Inicial/Botones/jugar_%s%s.mximg",
                                           "Interface/Menu Inicial/Botones/construir_%s%s.mximg",
                                           "Interface/Principal/Men\xfa/ayuda_%s.mximg"};
  SL_GS_Image* pictures[10] = {};
  for (u32 b = 0; b < 3; ++b) {
    for (u32 state = 0; state < 3; ++state) {
      pictures[b * 3 + state] = LoadStatePicture(kPatterns[b], kAppStateNames[state]);
      if (!pictures[b * 3 + state]) {
        App_NameFileAtFault("Gfx\\Gfx.DAT");
        App_Fatal(APP_FATAL_MENU_PICTURES, "No puedo cargar im\xe1genes");
      }
    }
  }
  pictures[9] = App_LoadInterfacePicture("Interface/Menu Inicial/Fondo/fondo.mximg");
  if (!pictures[9]) {
    App_NameFileAtFault("Gfx\\Gfx.DAT");
    App_Fatal(APP_FATAL_MENU_PICTURES, "No puedo cargar im\xe1genes");
  }
  static const struct {
    const char* caption;
    i32 x, y;
    u32 id;
  } kButtons[3] = {{"&Jugar", 50, 107, APP_MENU_PLAY_ID},
                   {"&Construir", 417, 107, APP_MENU_BUILD_ID},
                   {"&Ayuda", 764, 558, APP_MENU_HELP_ID}};
  CSL_GS_GuiWindow* buttons[3] = {};
  for (u32 b = 0; b < 3; ++b) {
    buttons[b] = CreatePictureButton(kButtons[b].caption, kButtons[b].x, kButtons[b].y, kButtons[b].id,
                                     pictures + b * 3, 3);
    if (!buttons[b]) App_Fatal(APP_FATAL_MENU_BUTTONS, "Insuficiente memoria");
  }
  AppScreen screen{"menu de inicio", pictures[9], true, nullptr, &MenuEvent, nullptr, nullptr, nullptr, 0};
  const i32 result = AppScreen_Run(&screen);
  DestroyPictures(pictures, 10);
  for (CSL_GS_GuiWindow* button : buttons) App_GuiManager().DestroyWindow(button);
  SLSetLastError(SL_OK);
  return result;
}

i32 ExitScreens_Run() {
  ClosingPages pages{{App_LoadInterfacePicture("Interface/Propaganda/Fondo/fondo.mximg"),
                      App_LoadInterfacePicture("Interface/Cr\xe9" "ditos/Fondo/fondo.mximg")},
                     0};
  if (!pages.pages[0] || !pages.pages[1]) {
    App_NameFileAtFault("Gfx\\Gfx.DAT");
    App_Fatal(APP_FATAL_CLOSING_PICTURES, "No puedo cargar im\xe1genes");
  }
  AppScreen screen{"despedida", pages.pages[0], false, &pages, nullptr, &ClosingTick, nullptr, &ClosingClose, 0, false};
  const i32 result = AppScreen_Run(&screen);
  DestroyPictures(pages.pages, 2);
  SLSetLastError(SL_OK);
  return result;
}

i32 Editor_Run() { return EditorScreen_Run(); }
i32 BuildingBox_Run() { return BoxVideosScreen_Run(); }

int App_WinMain() {
  App_Init();
  CommonUi_Load();
  i32 r = WelcomeScreen_Run();
  bool closing = r != -1000;
  if (r >= 0) {
    r = IntroVideo_Play();
    closing = r != -1000;
  }
  if (r >= 0) {
    r = MainMenu_Run();
    closing = r != -1000;
    while (r >= 0) {
      if (r == 1) {
        const i32 e = Editor_Run();
        if (e == -1 || e == -1000) {
          closing = e == -1;
          break;
        }
      } else if (r == 2) {
        if (BuildingBox_Run() == -1000) {
          closing = false;
          break;
        }
      }
      r = MainMenu_Run();
      closing = r != -1000;
    }
  }
  if (closing) ExitScreens_Run();
  CommonUi_Free();
  App_Shutdown();
  return 0;
}
