// menudemo: a framed dialog with a window menu, drawn by the GUI manager on the software
// device in one real window. A right click in the dialog opens a context menu with its
// top-left corner at the pointer; every command chosen, from either menu, prints
// "COMMAND <id>", and each opening "MENU <x> <y> OPEN" (or FAILED), with the KEY, BUTTON and
// POINTER lines of what its devices saw (sldemo::ReportInput). Ends when the window is
// closed or after two minutes.
//   xvfb-run build/tools/demos/menudemo
#include <cstdio>

#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "platform/user32/User32.h"
#include "tools/common/DemoWindow.h"

namespace {

CSL_GS_GuiMenuPopup* g_context = nullptr;

class CDemoManager : public CSL_GS_GuiManager {
 public:
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override {
    std::printf("COMMAND %u\n", id);
    std::fflush(stdout);
    return true;
  }
};

class CDemoDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CDemoDialog)
 public:
  void OnRButtonDown(u32, i32, i32) override {
    CSL_GS_GuiManager* m = GetManager();
    if (!m || !g_context) return;
    const bool opened = m->TrackPopupMenu(g_context, m->GetMouseX(), m->GetMouseY(), nullptr, 8);
    std::printf("MENU %d %d %s\n", m->GetMouseX(), m->GetMouseY(), opened ? "OPEN" : "FAILED");
    std::fflush(stdout);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CDemoDialog, CSL_GS_GuiTopLevelWindow)

CSL_GS_GuiMenuPopup* NewMenu(CSL_GS_GuiManager& m, u32 id) {
  return static_cast<CSL_GS_GuiMenuPopup*>(
      m.CreateWindow(CSL_GS_GuiMenuPopup::GetClassRecord(), "", 0, 0, 0, 0, 0, 0, id, nullptr));
}

}  // namespace

int main() {
  SLRegisterGuiClasses();
  HWND window = sldemo::OpenDemoWindow("Demostraci\xf3n de men\xfas", 640, 480);
  if (!window) return 2;
  CSL_GS_Gfx_DirectX gfx;
  const SL_GS_DisplayMode mode{0xFFFF, 640, 480, 32, 1, 0, 0};
  if (!gfx.Init(nullptr, window, &mode)) return 3;
  CSL_GS_KeyboardInput_DirectX keyboard;
  CSL_GS_MouseInput_DirectX mouse;
  if (!keyboard.Init(nullptr, window) || !mouse.Init(nullptr, window)) return 4;
  mouse.SetArea(0, 0, 640, 480);

  CDemoManager manager;
  if (!manager.Init() || !manager.SetGfx(&gfx) || !manager.SetKeyboard(&keyboard) || !manager.SetMouse(&mouse))
    return 5;
  auto* dialog = static_cast<CDemoDialog*>(manager.CreateWindow(CDemoDialog::GetClassRecord(), "Di\xe1logo", 40, 30,
                                                                400, 300, SL_GUI_WS_VISIBLE | 0x3F, 0, 0, nullptr));
  if (!dialog) return 6;
  CSL_GS_GuiMenuPopup* bar = NewMenu(manager, 1);
  CSL_GS_GuiMenuPopup* file = NewMenu(manager, 2);
  file->InsertItem(301, "&Nuevo", 0, nullptr, 9);
  file->InsertItem(302, "&Salir", 0, nullptr, 9);
  bar->InsertItem(300, "&Archivo", 0, file, 9);
  bar->InsertItem(401, "A&yuda", 0, nullptr, 9);
  dialog->SetMenu(bar);
  g_context = NewMenu(manager, 3);
  CSL_GS_GuiMenuPopup* more = NewMenu(manager, 4);
  more->InsertItem(201, "Uno", 0, nullptr, 9);
  g_context->InsertItem(101, "Copiar", 0, nullptr, 9);
  g_context->InsertItem(102, "Pegar", SL_GUI_MF_CHECK, nullptr, 9);
  g_context->InsertSeparator(9);
  g_context->InsertItem(103, "M\xe1s", 0, more, 9);
  const auto frame = [&] {
    gfx.Clear(0xFF604020u, false, false);
    manager.Draw();
    gfx.EndFrame();
  };
  // The first frame shown may make the window anew (a renderer of another kind than the
  // window's): READY tells a driving script that the window it finds is the one that stays.
  frame();
  std::printf("READY\n");
  std::fflush(stdout);

  sldemo::InputReport last;
  sldemo::RunDemoLoop(mouse, 120, [&] {
    manager.Update(false);
    frame();
    sldemo::ReportInput(keyboard, mouse, &last, false);
  });
  manager.Shutdown();
  gfx.Shutdown();
  std::printf("QUIT\n");
  return 0;
}
