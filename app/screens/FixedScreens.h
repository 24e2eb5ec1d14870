// The fixed screens around the editor: the welcome screen with its "Seguir" button and
// spoken welcome, the intro video, the start menu and the two closing pictures, with the
// prompt to return to the start menu. Each returns its own positive code, -1 when the
// quit flag was seen or -1000 when the main window is gone.
#pragma once

#include <cstdint>

#include "app/screens/ScreenLoop.h"
#include "foundation/SLTypes.h"

constexpr u32 APP_WELCOME_CONTINUE_ID = 100001;
constexpr u32 APP_MENU_PLAY_ID = 100001;
constexpr u32 APP_MENU_BUILD_ID = 100002;
constexpr u32 APP_MENU_HELP_ID = 100003;

i32 WelcomeScreen_Run();
i32 IntroVideo_Play();
i32 MainMenu_Run();
i32 ExitScreens_Run();

// The editor ("&Jugar", after the loading screen) and the building-box screen.
i32 Editor_Run();
i32 BuildingBox_Run();

// The prompt to return to the start menu (MainMenu_AskBackToMenu) is the exit prompt's
// sibling in app/screens/ScreenLoop.h, where the loading screen and the editor reach it too.

// The fixed chain of screens between start-up and shutdown; 0.
int App_WinMain();
