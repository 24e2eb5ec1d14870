#include "tests/support/AppHarness.h"

#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/editor/EditorConnections.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"
#include "tests/support/ScreenGolden.h"
#include "tests/support/TestSupport.h"

namespace AppHarness {

const std::string& ContentDir() {
  static const std::string dir = SL_BINARY_DIR "/content";
  return dir;
}

const std::string& ProgramPath() {
  static const std::string path = ContentDir() + "/Zarandulvortequimbaplastelo";
  return path;
}

void Command(u32 id) { AppEventQueue_PostEvent(APP_EVENT_COMMAND, id); }

void Later(AppDeferredFunction function, std::uintptr_t argument) {
  AppEventQueue_PostEvent(APP_EVENT_DEFERRED_CALL,
                          reinterpret_cast<std::uintptr_t>(AppEvent_NewDeferredCall(0, function, argument)));
}

CSL_GS_GuiWindow* TopLevelWithId(u32 id) {
  CSL_GS_GuiManager& m = App_GuiManager();
  for (CSL_GS_GuiWindow* w = m.GetFirstChild(nullptr); w; w = m.GetNextSibling(w))
    if (w->GetId() == id) return w;
  return nullptr;
}

Seen& LastSeen() {
  static Seen seen;
  return seen;
}

namespace {

// A box opens a tick or more after what asks for it (a close request is seen only once the
// message pump has run, which may be after the next tick). Until it is there the answer
// runs again at the next tick, ahead of the events queued after it; it gives up after ten
// seconds of ticks, so that a box that never opens fails the test rather than hanging it.
CSL_GS_GuiWindow* BoxOrRetry(AppDeferredFunction self, std::uintptr_t id) {
  static u32 waited = 0;
  CSL_GS_GuiWindow* box = TopLevelWithId(static_cast<u32>(id));
  if (box || ++waited > 600) {
    waited = 0;
    return box;
  }
  if (DeferredCall* again = AppEvent_NewDeferredCall(0, self, id))
    AppEventQueue_Get().Add(AppEvent{APP_EVENT_DEFERRED_CALL, reinterpret_cast<std::uintptr_t>(again)});
  return nullptr;
}

}  // namespace

void AnswerYes(u32, std::uintptr_t id) {
  auto* box = static_cast<CMyMsgBoxDialog*>(BoxOrRetry(&AnswerYes, id));
  if (!box) return;
  LastSeen().boxStyle = box->GetBoxStyle();
  LastSeen().closeEnabled = AppCloseButton->IsEnabled();
  LastSeen().depth = ModalStack_GetDepth();
  box->OnCommand(box, MSGBOX_YES);
}

void AnswerByClosing(u32, std::uintptr_t id) {
  if (CSL_GS_GuiWindow* w = BoxOrRetry(&AnswerByClosing, id)) w->OnClose();
}

void PostClose(u32, std::uintptr_t) { PostMessageA(App_MainWindow().GetHandle(), WM_CLOSE, 0, 0); }

void DrainQueue() {
  AppEvent stale;
  while (AppEventQueue_Take(&stale)) {
    if (stale.type == APP_EVENT_DEFERRED_CALL) SLFree(reinterpret_cast<DeferredCall*>(stale.data));
  }
}

std::string GuiCrop(u32 background, i32 x, i32 y, i32 width, i32 height) {
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  EXPECT_TRUE(gfx->Clear(background, false, false));
  App_GuiManager().Draw();
  EXPECT_TRUE(gfx->EndFrame());
  TSLObjPtr<CSLImage> screen;
  screen.Attach(new CSLImage());
  EXPECT_TRUE(gfx->CaptureScreen(screen.Get()));
  return SLTestScreenCrop(*screen.Get(), x, y, width, height);
}

}  // namespace AppHarness

void AppScreenTest::SetUpTestSuite() {
  SLTestRegisterClasses();
  SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
  App_Init();
  EditorConnections_Install();
  CommonUi_Load();
}

void AppScreenTest::TearDownTestSuite() {
  CommonUi_Free();
  App_Shutdown();
  SLPlatformSetProgramFileName(nullptr);
}

void AppScreenTest::SetUp() {
  App_ResetFlagsForTest();
  AppHarness::DrainQueue();
}

void AppScreenTest::TearDown() {
  App_ResetFlagsForTest();
  AppHarness::DrainQueue();  // what a screen left unanswered is freed with its test
}
