#include "app/services/AppServices.h"

#include "adventure/AdventureDevices.h"
#include "app/services/AppGlobals.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/ModalStack.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLDebug.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLJoystickInput.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "gui/SLHtmlHelp.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "media/SLMoviePlayer.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLIniFile.h"

u32 AppSkin = 0;
SL_GS_Image* AppPointerImage = nullptr;

namespace {

SL_GS_SoundRecord* g_interfaceSounds[3] = {};
const char kPointerPicture[] = "Interface/Puntero/puntero_mouse.mximg";

void ShutDownDevices() {
  AppServices& s = App_Services();
  s.moviePlayer->Close();
  s.mouse->Shutdown();
  s.joystick->Shutdown();
  s.keyboard->Shutdown();
  s.sfx->Shutdown();
  s.gfx->Shutdown();
}

// The devices' shutdown before a fatal end, keeping the thread's error code for its report.
void StopDevicesForFatalEnd() {
  SLErrorKeeper keep;
  ShutDownDevices();
}

// The start-up failure with the thread's error code, read and reset, in its text.
[[noreturn]] void FailWithCode(i32 code, const char* format) {
  const u32 error = SLGetLastError(true);
  StopDevicesForFatalEnd();
  App_ArrangeMainWindowTeardown();
  App_MainWindow().FatalError(code, format, error);
}

// The program's own module, through the system's kernel by name.
HINSTANCE ProgramModule() {
  using GetModuleHandleFn = HMODULE (*)(const char*);
  GetModuleHandleFn getModuleHandle = nullptr;
  if (HMODULE kernel = SLLoadLibrary(u"kernel32.dll")) SLBindProc(kernel, u"GetModuleHandleA", &getModuleHandle);
  return getModuleHandle ? reinterpret_cast<HINSTANCE>(getModuleHandle(nullptr)) : nullptr;
}

}  // namespace

AppServices& App_Services() {
  static CSL_GS_Gfx_DirectX gfx;
  static CSL_GS_Sfx_DirectX sfx;
  static CSL_GS_KeyboardInput_DirectX keyboard;
  static CSL_GS_MouseInput_DirectX mouse;
  static CSL_GS_JoystickInput_DirectX joystick;
  static CSL_GS_FrameTime frameTime;
  static CSL_GS_MoviePlayer moviePlayer;
  static CSLFastFileStorage graphicsPack;
  static CSLFastFileStorage soundPack;
  static CSL_WND_HtmlHelp help;
  static CSLIniFile settings;
  static AppServices services{&gfx,       &sfx,         &keyboard,     &mouse,     &joystick, &frameTime,
                              &moviePlayer, &graphicsPack, &soundPack, &help,     &settings};
  // From here on there are devices, and a fatal end stops them first.
  static const bool fatalEndHooked = (App_SetFatalEndHook(&StopDevicesForFatalEnd), true);
  (void)fatalEndHooked;
  return services;
}

void App_Init() {
  AppServices& s = App_Services();
  CSL_GS_MainWindow& window = App_MainWindow();
  CMyGuiManager& gui = App_GuiManager();
  const HINSTANCE module = ProgramModule();
  if (!window.Create(module, "Zarandulvortequimbaplastelo", 101, false)) FailWithCode(-101, "WinInit error: %08X\n");
  window.SetWaitWhenInactive(false);
  const HWND handle = window.GetHandle();

  const SL_GS_DisplayMode mode{65535, 800, 600, 32, 0, 0, 0};
  if (!s.gfx->Init(module, handle, &mode)) FailWithCode(-102, "GfxInit error: %08X\n");
  s.gfx->EnableScreenshotKey(true);
  const SLAudioFormat format{1, 2, 16, 22050, 0, 0};
  if (!s.sfx->Init(module, handle, &format)) FailWithCode(-103, "SfxInit error: %08X\n");
  if (!s.keyboard->Init(module, handle)) FailWithCode(-104, "InpKeybInit error: %08X\n");
  if (!s.mouse->Init(module, handle) || !s.mouse->SetArea(0, 0, 800, 600))
    FailWithCode(-105, "InpMouseInit error: %08X\n");
  App_ArrangeMainWindowTeardown();
  // The adventure model's loaders work through the same devices.
  AdventureDevices_Set(s.gfx, s.sfx, &window);

  char path[4096];
  App_DataPath(path, sizeof path, "Zarandulvortequimbaplastelo.CHM");
  s.help->SetHelpFile(path);
  s.help->SetOwnerWindow(handle);

  App_DataPath(path, sizeof path, "Gfx\\Gfx.DAT");
  if (!s.graphicsPack->AttachFile(path, false, 0)) {
    App_NameFileAtFault("Gfx\\Gfx.DAT");
    FailWithCode(-106, "GfxDataStgInit error: %08X\n");
  }
  App_DataPath(path, sizeof path, "Sfx\\Sfx.DAT");
  if (!s.soundPack->AttachFile(path, false, 0)) {
    App_NameFileAtFault("Sfx\\Sfx.DAT");
    FailWithCode(-107, "SfxDataStgInit error: %08X");
  }

  if (!gui.Init(&window) || !gui.SetGfx(s.gfx) || !gui.SetSfx(s.sfx) || !gui.SetKeyboard(s.keyboard) ||
      !gui.SetMouse(s.mouse))
    FailWithCode(-108, "GuiInit error: %08X");
  ModalStack_SetManager(&gui);
  App_DataPath(path, sizeof path, "Gfx\\Skin.DAT");
  AppSkin = gui.LoadSkin(path);
  if (AppSkin == 0) {
    App_NameFileAtFault("Gfx\\Skin.DAT");
    FailWithCode(-109, "GuiLoadSkin error: %08X");
  }

  if (!s.moviePlayer->SetGfx(s.gfx) || !s.moviePlayer->SetSfx(s.sfx)) FailWithCode(-110, "MoviePlayer error: %08X");

  if (s.gfx->SetImageGroup(1)) {
    AppPointerImage = App_LoadInterfacePicture(kPointerPicture);
  }
  if (!AppPointerImage) {
    App_NameFileAtFault("Gfx\\Gfx.DAT", kPointerPicture);
    App_Fatal(APP_FATAL_POINTER_PICTURE, "No puedo cargar im\xe1genes");
  }
  if (!s.sfx->SetSoundGroup(1)) App_Fatal(APP_FATAL_SOUND_GROUP, "No puedo cargar sonidos");
  static const struct {
    const char* name;
    u32 voices;
  } kSounds[3] = {{"boton_over.wav", 4}, {"boton_click.wav", 2}, {"tecla_press.wav", 2}};
  for (u32 i = 0; i < 3; ++i) {
    g_interfaceSounds[i] =
        s.sfx->LoadSound(s.soundPack, kSounds[i].name, kSounds[i].voices, CSLVideoAudioReaderWAV::GetClassRecord());
    if (!g_interfaceSounds[i]) {
      App_NameFileAtFault("Sfx\\Sfx.DAT", kSounds[i].name);
      App_Fatal(APP_FATAL_INTERFACE_SOUNDS, "No puedo cargar sonidos");
    }
  }

  // A missing settings file starts empty, bound to its name.
  SLSnprintfA(path, sizeof path, "%sZarandulvortequimbaplastelo.ini", App_ProgramDirectory());
  s.settings->LoadFileA(path, true);
  SLSetLastError(SL_OK);
}

CSL_GS_GuiWindow* App_CreateWindowOrFatal(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 width,
                                          i32 height, u32 style, u32 id, CSL_GS_GuiWindow* parent, i32 fatalCode) {
  CSL_GS_GuiWindow* window = App_GuiManager().CreateWindow(record, text, x, y, width, height, style, AppSkin, id, parent);
  if (!window) App_Fatal(fatalCode, "Insuficiente memoria");
  return window;
}

SL_GS_Image* App_LoadInterfacePicture(const char* name) {
  AppServices& s = App_Services();
  return s.gfx->LoadImage(s.graphicsPack, name, CSLImageReaderMXIMG::GetClassRecord());
}

u32 App_TickCount() {
  using TickCountFunction = u32 (*)();
  static const TickCountFunction tickCount = [] {
    TickCountFunction bound = nullptr;
    if (HMODULE kernel = SLLoadLibrary(u"kernel32.dll")) SLBindProc(kernel, u"GetTickCount", &bound);
    return bound;
  }();
  return tickCount ? tickCount() : 0;
}

void App_Shutdown() {
  AppServices& s = App_Services();
  s.settings->Save();
  if (AppPointerImage) s.gfx->DestroyImage(AppPointerImage);
  AppPointerImage = nullptr;
  for (SL_GS_SoundRecord*& sound : g_interfaceSounds) {
    if (sound) s.sfx->DestroySound(sound);
    sound = nullptr;
  }
  ModalStack_Destroy();
  App_GuiManager().Shutdown();
  AppSkin = 0;
  ShutDownDevices();
  AdventureDevices_Set(nullptr, nullptr, nullptr);
  App_MainWindow().Destroy();
  SLSetLastError(SL_OK);
}
