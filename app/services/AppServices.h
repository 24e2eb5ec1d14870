// The program's services and their start-up and shutdown. The service objects exist
// before main and go after it; App_Init brings them up in a fixed order, and every
// failure on the way ends the program with its own code and text.
#pragma once

#include "foundation/SLTypes.h"

class CSL_GS_Gfx_DirectX;
class CSL_GS_Sfx_DirectX;
class CSL_GS_KeyboardInput_DirectX;
class CSL_GS_MouseInput_DirectX;
class CSL_GS_JoystickInput_DirectX;
class CSL_GS_FrameTime;
class CSL_GS_MoviePlayer;
class CSLFastFileStorage;
class CSL_WND_HtmlHelp;
class CSLIniFile;
class CSL_GS_GuiWindow;
struct SLClassRecord;
struct SL_GS_Image;
struct SL_GS_SoundRecord;

struct AppServices {
  CSL_GS_Gfx_DirectX* gfx;
  CSL_GS_Sfx_DirectX* sfx;
  CSL_GS_KeyboardInput_DirectX* keyboard;
  CSL_GS_MouseInput_DirectX* mouse;
  CSL_GS_JoystickInput_DirectX* joystick;
  CSL_GS_FrameTime* frameTime;
  CSL_GS_MoviePlayer* moviePlayer;
  CSLFastFileStorage* graphicsPack;
  CSLFastFileStorage* soundPack;
  CSL_WND_HtmlHelp* help;
  CSLIniFile* settings;
};
AppServices& App_Services();

// Set by start-up and read everywhere in the application.
extern u32 AppSkin;
extern SL_GS_Image* AppPointerImage;

// An interface picture of the graphics pack ("Interface/...mximg") in the current image
// group; null when it cannot be read.
SL_GS_Image* App_LoadInterfacePicture(const char* name);

// Milliseconds since the system started, from the kernel bound by name as everywhere in
// the framework; 0 when it cannot be bound. Animations that follow the wall clock read it.
u32 App_TickCount();

// Creates a window of the program's skin through its GUI manager, or ends the program with
// `fatalCode` and "Insuficiente memoria" when it cannot: how every screen and dialog builds
// the controls it cannot do without.
CSL_GS_GuiWindow* App_CreateWindowOrFatal(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 width,
                                          i32 height, u32 style, u32 id, CSL_GS_GuiWindow* parent, i32 fatalCode);

// Brings every service up; returns only on success.
void App_Init();
// Takes the services down again (settings saved, pictures and sounds freed, devices shut
// down, the main window destroyed).
void App_Shutdown();
