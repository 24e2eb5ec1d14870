#include "app/screens/ScreenLoop.h"

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/dialogs/MsgBox.h"
#include "foundation/SLDebug.h"
#include "foundation/SLError.h"
#include "foundation/SLSync.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLMouseInput.h"

namespace {

// Short beside a tick (1000 / 60 ms), so that the activation that shows the window again
// is answered at once.
constexpr u32 kHiddenFramePauseMs = 10;

void LogicTick(AppScreen* screen) {
  SL_GS_RunPhaseHooks(1);
  if (!screen->usesGui) {
    if (screen->onTick) screen->onTick(screen);
    return;
  }
  SLCriticalSectionLock lock(&AppLock_Get());
  AppEvent event;
  if (AppEventQueue_Get().GetCount() > 0 && AppEventQueue_Take(&event)) {
    if (event.type == APP_EVENT_DEFERRED_CALL)
      AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
    else if (screen->onEvent)
      screen->onEvent(screen, event);
  }
  if (screen->onTick) screen->onTick(screen);
  App_GuiManager().Update(false);
}

void DrawFrame(AppScreen* screen) {
  AppServices& s = App_Services();
  if (!AppScreen_ReadyToDraw()) return;
  SL_GS_RunPhaseHooks(2);
  s.frameTime->BeginFrame();
  if (screen->background) s.gfx->DrawImage(screen->background, 0, 0, nullptr);
  if (screen->onDraw) screen->onDraw(screen);
  {
    SLCriticalSectionLock lock(screen->usesGui ? &AppLock_Get() : nullptr);
    if (screen->usesGui) App_GuiManager().Draw();
    if (AppPointerImage) s.gfx->DrawImage(AppPointerImage, s.mouse->GetX(), s.mouse->GetY(), nullptr);
  }
  s.gfx->EndFrame();
  s.frameTime->EndFrame();
}

}  // namespace

bool AppScreen_ReadyToDraw() {
  if (App_Services().gfx->IsReady()) return true;
  SLSleep(kHiddenFramePauseMs);
  return false;
}

i32 AppScreen_Run(AppScreen* screen) {
  AppServices& s = App_Services();
  CSL_GS_MainWindow& window = App_MainWindow();
  if (screen->name) {
    SLDebugPrint("Pantalla: ");
    SLDebugPrint(screen->name);
    SLDebugPrint("\n");
  }
  s.frameTime->SetRate(60);
  for (;;) {
    if (s.frameTime->IsDrawTime())
      DrawFrame(screen);
    else
      LogicTick(screen);
    if (window.TakeCloseRequest() && CommonUi_CloseButtonEnabled()) {
      if (screen->onCloseRequest)
        screen->onCloseRequest(screen);
      else
        ExitPrompt_Show();
    }
    if (screen->endsOnQuit && App_IsQuitRequested()) return -1;
    if (window.ProcessMessages(false)) return -1000;
    if (screen->result) return screen->result;
  }
}

void ExitPrompt_OnAnswer(u32 answer, std::uintptr_t) {
  if (answer == MSGBOX_YES)
    App_SetQuitRequested();
  else
    App_MainWindow().DiscardCloseRequests();  // the system's request to end, if it was one, is answered
}

void ExitPrompt_Show() {
  SLDebugPrint("Pregunta: salir\n");
  MsgBox_ShowWithCallback(1, 3, &ExitPrompt_OnAnswer, 0, "\xbf" "Desea salir de Quelvo Interactivo?", "Salir...",
                          1001, AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
}

void MainMenu_OnBackToMenuAnswer(u32 answer, std::uintptr_t) {
  if (answer == MSGBOX_YES) App_SetReturnToMenu();
}

void MainMenu_AskBackToMenu() {
  MsgBox_ShowWithCallback(1, 3, &MainMenu_OnBackToMenuAnswer, 0, "\xbf" "Desea volver al men\xfa principal?",
                          "Salir...", 1002, AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
}
