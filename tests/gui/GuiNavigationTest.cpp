// The dialog keyboard navigation, end to end through the manager's tick: Tab and
// Shift+Tab, arrow groups of push buttons, Enter and Escape, mnemonics of buttons and
// labels (Windows-1252 characters included) and Alt+F4.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gamesystem/SLMainWindow.h"
#include "gui/SLGuiManager.h"
#include "platform/kernel32/Modules.h"
#include "platform/user32/User32.h"
#include "tests/support/GuiInputWindow.h"
#include "tests/support/ScriptedInput.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr u32 kTop = SL_GUI_WS_VISIBLE;
constexpr u32 kChild = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;
constexpr u32 kTab = kChild | SL_GUI_WS_TABSTOP;

// A dialog: a label, an edit that wants no characters, and three push buttons (the
// first two answering Enter and Escape by their ids).
class GuiNavigation : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    CTestGuiWindow::Reset();
    SLPlatformSetTestClock(true, 5000000000ull);
    ASSERT_TRUE(m.Init());
    dialog = Make<CInputTestWindow>("D", "Mensaje", kTop, nullptr, 0, 0);
    label = Make<CInputTestWindow>("L", "&Ingresa el texto a mostrar:", kChild, dialog, 0, SL_GUI_DLGC_STATIC);
    edit = Make<CInputTestWindow>("E", "", kTab, dialog, 0, 0);
    ok = Make<CInputTestButton>("OK", "&Aceptar", kTab, dialog, 1, SL_GUI_DLGC_BUTTON);
    cancel = Make<CInputTestButton>("C", "&Cancelar", kTab, dialog, 2, SL_GUI_DLGC_BUTTON);
    nandu = Make<CInputTestButton>("N", "&\xD1" "and\xFA", kTab, dialog, 7, SL_GUI_DLGC_BUTTON);
  }
  void TearDown() override {
    m.Shutdown();
    SLPlatformSetTestClock(false);
    CTestGuiWindow::Reset();
  }
  template <class Window>
  Window* Make(const char* name, const char* text, u32 style, CSL_GS_GuiWindow* parent, u32 id, u32 dialogCode) {
    CTestGuiWindow::s_nextName = name;
    auto* w = static_cast<Window*>(
        m.CreateWindow(Window::GetClassRecord(), text, parent ? 0 : 200, 0, 40, 20, style, 0, id, parent));
    if (w) w->m_dialogCode = dialogCode;
    return w;
  }
  // Runs one tick of `commands` ("key 9 down; char 97") and a tick releasing every key.
  std::string Press(const std::string& commands) {
    std::string script = "tick 1: " + commands + "\ntick 2:";
    for (u32 key : {9u, 13u, 27u, 65u, 272u, 273u, 274u, 275u, 320u, 322u, 324u, 371u})
      script += " key " + std::to_string(key) + " up;";
    CScriptedKeyboard keyboard(script);
    EXPECT_TRUE(m.SetKeyboard(&keyboard));
    CTestGuiWindow::s_log.clear();
    std::string log;
    for (u32 tick = 1; tick <= 2; ++tick) {
      keyboard.Advance(tick);
      EXPECT_TRUE(m.Update(false));
      if (tick == 1) log = CTestGuiWindow::s_log;
    }
    m.SetKeyboard(nullptr);
    return log;
  }
  static std::string Name(CSL_GS_GuiWindow* w) {
    if (auto* t = dynamic_cast<CInputTestWindow*>(w)) return t->m_name;
    if (auto* b = dynamic_cast<CInputTestButton*>(w)) return b->m_name;
    return w ? "?" : "0";
  }

  CSL_GS_GuiManager m;
  CInputTestWindow *dialog, *label, *edit;
  CInputTestButton *ok, *cancel, *nandu;
};

TEST_F(GuiNavigation, KeysAndCharactersMoveTheFocusOrPressButtons) {
  struct Case {
    const char* name;
    const char* focus;  // "" for none: the dialog itself takes the keys
    u32 editCode;       // the edit's dialog code
    const char* commands;
    const char* focusAfter;
    const char* log;
  };
  const Case cases[] = {
      {"Tab", "E", 0, "key 9 down", "OK", "OK:SetFocus() "},
      {"Tab from the last wraps to the first", "N", 0, "key 9 down", "E", "E:SetFocus() "},
      // Tab (9) comes before Shift (320): moving the focus ends the tick's keys.
      {"Shift+Tab goes back", "C", 0, "key 320 down; key 9 down", "OK", "OK:SetFocus() "},
      {"Shift+Tab at the first is consumed", "E", 0, "key 320 down; key 9 down", "E", "E:KeyDown(320) "},
      {"Tab kept by a control that wants it", "E", SL_GUI_DLGC_WANTTAB, "key 9 down", "E", "E:KeyDown(9) "},
      {"Tab without a focus window", "", 0, "key 9 down", "E", "E:SetFocus() "},
      {"Shift+Tab without a focus window", "", 0, "key 320 down; key 9 down", "N", "N:SetFocus() "},
      {"Enter presses the button with id 1", "E", 0, "key 13 down", "E", "D:Command(1) "},
      {"Enter on a push button is its own", "C", 0, "key 13 down", "C", "C:KeyDown(13) "},
      {"Escape presses the button with id 2", "E", 0, "key 27 down", "E", "D:Command(2) "},
      {"Right moves through the button group", "OK", 0, "key 274 down", "C", "C:SetFocus() "},
      {"Left from the first button wraps", "OK", 0, "key 272 down", "N", "N:SetFocus() "},
      {"Arrows in an edit stay there", "E", 0, "key 274 down", "E", "E:KeyDown(274) "},
      {"Label mnemonic moves past the focus", "E", 0, "char 105", "OK", "OK:SetFocus() "},
      {"Button mnemonic", "E", 0, "char 97", "E", "D:Command(1) "},
      {"Button mnemonic from no focus", "", 0, "char 67", "", "D:Command(2) "},
      {"Windows-1252 mnemonic", "E", 0, "char 241", "E", "D:Command(7) "},
      {"Plain character", "E", 0, "char 122", "E", "E:Char(122) "},
      {"Characters kept by an edit", "E", SL_GUI_DLGC_WANTCHARS, "char 105", "E", "E:Char(105) "},
      {"Beyond 8 bits reaches nobody", "E", 0, "char 8364", "E", ""},
      {"Every key kept", "E", SL_GUI_DLGC_WANTALLKEYS, "key 9 down; char 9", "E", "E:KeyDown(9) E:Char(9) "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    edit->m_dialogCode = c.editCode;
    CSL_GS_GuiWindow* focus = nullptr;
    for (CSL_GS_GuiWindow* w : std::initializer_list<CSL_GS_GuiWindow*>{edit, ok, cancel, nandu})
      if (Name(w) == c.focus) focus = w;
    m.SetFocus(focus);
    ASSERT_EQ(m.GetFocusWindow(), focus);
    EXPECT_EQ(Press(c.commands), c.log);
    EXPECT_EQ(Name(m.GetFocusWindow()), std::string(*c.focusAfter ? c.focusAfter : "0"));
    EXPECT_EQ(m.GetActiveWindow(), dialog);
  }
  CSL_GS_GuiWindow loose;
  SL_EXPECT_FAIL(m.ProcessKeyboardNavigation(&loose, SL_GUI_KEY_TAB, SL_GUI_NAV_KEYDOWN), SL_E_INVALID_ARG);
}

// Alt+F4 closes a framed window through its own handler and drops the close request
// that the display may have queued for the main window meanwhile.
TEST_F(GuiNavigation, AltF4ClosesTheActiveWindowAndDiscardsTheMainWindowsCloseRequest) {
  m.Shutdown();
  CSL_GS_MainWindow mainWindow;
  ASSERT_TRUE(mainWindow.Create(GetModuleHandleA(nullptr), "Prueba", 0, false));
  ASSERT_TRUE(m.Init(&mainWindow));
  CInputTestWindow* top = Make<CInputTestWindow>("T", "Ventana", kTop | 8, nullptr, 0, 0);
  ASSERT_EQ(m.GetActiveWindow(), top);
  PostMessageA(mainWindow.GetHandle(), WM_CLOSE, 0, 0);
  mainWindow.PumpMessages();
  EXPECT_EQ(Press("key 324 down; key 371 down"), "T:SysKeyDown(324) T:SysKeyDown(371) T:Close() T:Activate(0,0) ");
  EXPECT_EQ(m.GetWindowCount(), 0u);
  EXPECT_FALSE(mainWindow.TakeCloseRequest());
  m.Shutdown();
  mainWindow.Destroy();
}

}  // namespace
