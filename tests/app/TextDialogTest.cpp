// The text dialog in the program started on the dummy drivers: what its completion gets
// for each way of leaving it, and the message about an empty text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/services/CMyGuiManager.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/TextDialog.h"
#include "tests/support/AppHarness.h"

namespace {

std::vector<std::string> g_results;  // "(null)" for no text
void Record(const char* text) { g_results.push_back(text ? text : "(null)"); }

class TextDialog : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    g_results.clear();
  }
  static CSL_GS_GuiWindow* Show(u32 noTextButton) {
    AddEditTextDialog_Show(noTextButton, Record);
    return TopLevelWithId(1005);
  }
  static CSL_GS_GuiWindow* Child(CSL_GS_GuiWindow* dialog, u32 id) { return App_GuiManager().FindChildById(dialog, id); }
};

TEST_F(TextDialog, TheSecondButtonGivesNoTextUnderEitherLabel) {
  for (u32 flag : {0u, 1u}) {
    CSL_GS_GuiWindow* dialog = Show(flag);
    ASSERT_NE(dialog, nullptr);
    EXPECT_STREQ(Child(dialog, 2)->GetText(), flag ? "&Sin texto" : "&Cancelar");
    EXPECT_EQ(App_GuiManager().GetFocusWindow(), Child(dialog, 201));
    if (flag)
      dialog->OnClose();
    else
      dialog->OnCommand(Child(dialog, 2), 2);
    EXPECT_EQ(TopLevelWithId(1005), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
  }
  EXPECT_EQ(g_results, (std::vector<std::string>{"(null)", "(null)"}));
}

TEST_F(TextDialog, AnEmptyTextIsRefusedAndBlanksAndLineBreaksAreKept) {
  CSL_GS_GuiWindow* dialog = Show(0);
  ASSERT_NE(dialog, nullptr);
  CSL_GS_GuiWindow* edit = Child(dialog, 201);
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(TopLevelWithId(1005), dialog);
  CSL_GS_GuiWindow* box = TopLevelWithId(1006);
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(App_GuiManager().FindChildById(box, MSGBOX_FIRST_LINE_ID)->GetText(), "Debes ingresar el texto a mostrar.");
  EXPECT_EQ(ModalStack_GetDepth(), 2u);
  box->OnCommand(box, MSGBOX_ACCEPT);
  AppHarness::DrainQueue();
  EXPECT_TRUE(g_results.empty());
  EXPECT_STREQ(edit->GetText(), "");

  // Enter in the multi-line edit breaks the line; the dialog stays.
  for (u32 c : {u32(' '), u32(' '), 13u, u32(' ')}) edit->OnChar(c);
  EXPECT_STREQ(edit->GetText(), "  \r\n ");
  EXPECT_EQ(TopLevelWithId(1005), dialog);
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(TopLevelWithId(1005), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(g_results, (std::vector<std::string>{"  \r\n "}));
}

}  // namespace
