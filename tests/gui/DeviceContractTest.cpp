// What the GUI relies on from the input devices and the event senders: the pointer area
// the manager follows, and the senders' codes and dying event. (The graphics device's
// side of the contract is tested with the devices, in tests/gamesystem.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/SLGuiManager.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(InputContract, PointerAreaOrdersItsCorners) {
  CScriptedMouse mouse("tick 1: mouse 900,-5\ntick 2: mouse 100,40\n");
  ASSERT_TRUE(mouse.SetArea(800, 600, 0, 0));
  i32 area[4];
  mouse.GetArea(&area[0], &area[1], &area[2], &area[3]);
  EXPECT_EQ(std::vector<i32>(area, area + 4), (std::vector<i32>{0, 0, 800, 600}));
  mouse.Advance(1);
  EXPECT_EQ(mouse.GetX(), 799);
  EXPECT_EQ(mouse.GetY(), 0);
  // The GUI manager follows the pointer at each tick and finds the window under it.
  SLTestRegisterClasses();
  CSL_GS_GuiManager manager;
  ASSERT_TRUE(manager.Init());
  SL_EXPECT_OK(manager.SetMouse(&mouse));
  CSL_GS_GuiWindow* window = manager.CreateWindow(CSL_GS_GuiWindow::GetClassRecord(), "", 90, 30, 20, 20,
                                                  SL_GUI_WS_VISIBLE, 0, 0, nullptr);
  mouse.Advance(2);
  ASSERT_TRUE(manager.Update(false));
  u32 hit = 0;
  EXPECT_EQ(manager.GetHoverWindow(&hit), window);
  EXPECT_EQ(hit, SL_GUI_HIT_CLIENT);
}

// Event senders' codes, and the dying event that detaches a device from the manager.
TEST(InputContract, EventSendersAnswerWithTheirCodes) {
  SLTestRegisterClasses();
  CScriptedKeyboard keyboard("");
  CSL_GS_GuiManager manager;
  ASSERT_TRUE(manager.Init());
  using Member = void (CSL_GS_GuiManager::*)(CSL_GS_BaseKeyboardInput*, CSLBaseEvent*, u32);
  SL_EXPECT_FAIL(keyboard.AddCallback(&manager, Member(nullptr), 0), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(keyboard.RemoveCallback(static_cast<CSL_GS_GuiManager*>(nullptr), Member(nullptr), 0),
                 SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(keyboard.RemoveCallback(&manager, Member(nullptr), 0), SL_E_NOT_FOUND);
  SL_EXPECT_OK(manager.SetKeyboard(&keyboard));
  CSLEventSourceDying dying;
  keyboard.Send(&dying);
  EXPECT_EQ(manager.GetKeyboard(), nullptr);
  SL_EXPECT_FAIL(keyboard.RemoveCallback(&manager, Member(nullptr), 0), SL_E_NOT_FOUND);
}

}  // namespace
