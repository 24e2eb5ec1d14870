// The application's harness pieces without a display: the event queue and deferred calls,
// the GUI manager's commands and slider events, the modal stack's states and opacities,
// the message box's line breaking and layout, the AVI reader's codec library and the
// fatal end's report and status.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/services/AppClasses.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBoxLayout.h"
#include "foundation/SLLibrary.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

// A stand-in for the toolkit's slider base, recognised by its class name.
namespace {
class CSL_GS_GuiSliderBase : public CSL_GS_GuiWindow {
  SL_DECLARE_CLASS(CSL_GS_GuiSliderBase)
};
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_GuiSliderBase, CSL_GS_GuiWindow)

std::vector<AppEvent> Drain() {
  std::vector<AppEvent> events;
  AppEvent event;
  while (AppEventQueue_Take(&event)) events.push_back(event);
  return events;
}

struct Answer {
  u32 answer = 0;
  std::uintptr_t argument = 0;
  u32 calls = 0;
} g_answer;
void Remember(u32 answer, std::uintptr_t argument) {
  g_answer.answer = answer;
  g_answer.argument = argument;
  ++g_answer.calls;
}

class AppQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    Drain();
    g_answer = {};
  }
};

TEST_F(AppQueue, EventsComeOutInPostingOrderOneAtATime) {
  for (u32 id = 1; id <= 70; ++id) AppEventQueue_PostEvent(APP_EVENT_COMMAND, id);
  // Capacity grows in steps of 32.
  EXPECT_EQ(AppEventQueue_Get().GetCapacity(), 96u);
  EXPECT_EQ(AppEventQueue_Get()[0].data, 70u);  // the newest stands at index 0
  std::vector<AppEvent> events = Drain();
  ASSERT_EQ(events.size(), 70u);
  for (u32 i = 0; i < 70; ++i) EXPECT_EQ(events[i].data, i + 1);
  AppEvent event;
  SL_EXPECT_FAIL(AppEventQueue_Take(&event), SL_E_INDEX);
}

TEST_F(AppQueue, RemoveAtChecksTheIndex) {
  AppEventQueue_PostEvent(APP_EVENT_EXPORT_STEP, 1);
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, 2);
  SL_EXPECT_FAIL(AppEventQueue_RemoveAt(2), 0x80001008u);
  SL_EXPECT_OK(AppEventQueue_RemoveAt(1));
  std::vector<AppEvent> events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, APP_EVENT_COMMAND);
}

TEST_F(AppQueue, DeferredCallRunsWithItsWordsAndFreesItsRecord) {
  DeferredCall* record = AppEvent_NewDeferredCall(3, &Remember, 0x1234567890ull);
  ASSERT_NE(record, nullptr);
  AppEventQueue_PostEvent(APP_EVENT_DEFERRED_CALL, reinterpret_cast<std::uintptr_t>(record));
  AppEvent event;
  ASSERT_TRUE(AppEventQueue_Take(&event));
  EXPECT_EQ(g_answer.calls, 0u);  // nothing runs before the loop takes the event
  AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
  EXPECT_EQ(g_answer.calls, 1u);
  EXPECT_EQ(g_answer.answer, 3u);
  EXPECT_EQ(g_answer.argument, 0x1234567890ull);  // pointer-sized arguments survive
}

TEST_F(AppQueue, ManagerTurnsCommandsAndSliderMovesIntoEvents) {
  CMyGuiManager manager;
  ASSERT_TRUE(manager.Init());
  EXPECT_TRUE(manager.OnCommand(nullptr, 401));
  CSL_GS_GuiWindow* slider =
      manager.CreateWindow(CSL_GS_GuiSliderBase::GetClassRecord(), "", 0, 0, 10, 10, 0, 0, 7, nullptr);
  CSL_GS_GuiWindow* bar = manager.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "", 0, 0, 10, 10, 0, 0, 8, nullptr);
  ASSERT_TRUE(slider && bar);
  // A drag reports several codes: one event per slider until a handler takes it.
  for (u32 code : {1u, 5u, 2u, 6u}) EXPECT_TRUE(manager.OnHScroll(slider, code, 3, 2));
  EXPECT_TRUE(manager.OnVScroll(bar, 1, 3, 2));  // not a slider: nothing
  std::vector<AppEvent> events = Drain();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].type, APP_EVENT_COMMAND);
  EXPECT_EQ(events[0].data, 401u);
  EXPECT_EQ(events[1].type, APP_EVENT_SLIDER);
  EXPECT_EQ(events[1].data, reinterpret_cast<std::uintptr_t>(slider));
  manager.OnVScroll(slider, 6, 0, 0);  // end of tracking alone posts nothing
  EXPECT_TRUE(Drain().empty());
  manager.Shutdown();
}

TEST(AppGrid, CellFormatFollowsRowAndColumn) {
  struct Case {
    u32 row, column, format;
  } cases[] = {{0, 0, 8}, {1, 0, 10}, {2, 0, 9}, {0, 1, 0}, {1, 1, 2}, {2, 2, 5}, {4, 5, 6}, {3, 4, 0}};
  for (const Case& c : cases) EXPECT_EQ(CMyGuiManager_GridCellFormat(c.row, c.column), c.format) << c.row << "," << c.column;
}

// --- Modal stack -----------------------------------------------------------------------

class AppModal : public ::testing::Test {
 protected:
  void SetUp() override {
    SLTestRegisterClasses();
    ASSERT_TRUE(m.Init());
    ModalStack_SetManager(&m);
    screenButton = Make(CSL_GS_GuiButton::GetClassRecord(), 100001);
    frame = Make(CSL_GS_GuiTopLevelWindow::GetClassRecord(), 5);
    close = Make(CSL_GS_GuiButton::GetClassRecord(), APP_CLOSE_BUTTON_ID);
  }
  void TearDown() override {
    ModalStack_Destroy();
    ModalStack_SetManager(nullptr);
    m.Shutdown();
  }
  CSL_GS_GuiWindow* Make(const SLClassRecord* record, u32 id) {
    return m.CreateWindow(record, "", 0, 0, 50, 50, SL_GUI_WS_VISIBLE, 0, id, nullptr);
  }
  CMyGuiManager m;
  CSL_GS_GuiWindow* screenButton = nullptr;
  CSL_GS_GuiWindow* frame = nullptr;
  CSL_GS_GuiWindow* close = nullptr;
};

TEST_F(AppModal, NestedLevelsDimFramesAndGiveEverythingBack) {
  screenButton->Enable(false);  // disabled before any dialog
  ModalStack_Begin(0);
  CSL_GS_GuiWindow* dialog = Make(CSL_GS_GuiTopLevelWindow::GetClassRecord(), 6);
  EXPECT_FALSE(frame->IsEnabled());
  EXPECT_NEAR(frame->GetOpacity(), 66.6667, 1e-3);
  EXPECT_EQ(screenButton->GetOpacity(), 100.0);  // buttons keep their opacity
  EXPECT_TRUE(close->IsEnabled());               // kept for the exit prompt
  EXPECT_EQ(m.GetFirstChild(nullptr), dialog);

  ModalStack_Begin(1);  // a message box over the dialog
  EXPECT_FALSE(dialog->IsEnabled());
  EXPECT_FALSE(close->IsEnabled());
  EXPECT_NEAR(frame->GetOpacity(), 44.4444, 1e-3);
  EXPECT_NEAR(dialog->GetOpacity(), 66.6667, 1e-3);
  EXPECT_EQ(ModalStack_GetDepth(), 2u);

  ModalStack_End();
  EXPECT_TRUE(dialog->IsEnabled());
  EXPECT_TRUE(close->IsEnabled());
  EXPECT_EQ(m.GetActiveWindow(), dialog);
  EXPECT_EQ(m.GetNextSibling(dialog), close);  // the close button directly below the dialog
  m.DestroyWindow(dialog);
  ModalStack_End();
  EXPECT_TRUE(frame->IsEnabled());
  EXPECT_EQ(frame->GetOpacity(), 100.0);  // exactly, not 100 after rounding
  EXPECT_FALSE(screenButton->IsEnabled());
  ModalStack_End();  // none open: nothing
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(AppModal, WindowDestroyedDuringALevelIsSkipped) {
  ModalStack_Begin(0);
  EXPECT_EQ(m.GetFirstChild(nullptr), close);  // brought to the top
  ASSERT_TRUE(m.DestroyWindow(frame));
  ModalStack_End();
  EXPECT_FALSE(m.IsRegistered(frame));
  EXPECT_TRUE(screenButton->IsEnabled());
}

// --- Message box arithmetic ------------------------------------------------------------

struct Widths {
  i32 perChar[256];
};
i32 MeasureTable(void* context, const char* text, u32 length) {
  const auto* widths = static_cast<const Widths*>(context);
  i32 total = 0;
  for (u32 i = 0; i < length; ++i) total += widths->perChar[u8(text[i])];
  return total;
}
Widths UniformWidths(i32 width) {
  Widths w;
  for (i32& v : w.perChar) v = width;
  return w;
}
std::vector<std::string> Break(const std::string& text, i32 limit, Widths widths) {
  TSLArray<MsgBoxLine> lines;
  EXPECT_TRUE(MsgBox_BreakLines(text.data(), u32(text.size()), limit, MsgBoxMeasure{&MeasureTable, &widths}, &lines));
  std::vector<std::string> out;
  for (const MsgBoxLine& line : lines) out.push_back(text.substr(line.start, line.length));
  return out;
}
using Lines = std::vector<std::string>;

TEST(AppMsgBox, TextsBreakAtSpacesLineFeedsAndOneCharacterEarly) {
  struct Case {
    const char* text;
    i32 limit;
    Lines lines;
  } cases[] = {
      {"Hola", 100, {"Hola"}},                              // fits: one line as it is
      {"  Hola  ", 100, {"  Hola  "}},                      // a fitting text is not trimmed
      {"uno\n\ndos", 100, {"uno", "", "dos"}},              // "\n\n": an empty middle line
      {"uno dos tres", 80, {"uno dos", "tres"}},            // at the last space, dropped
      {"uno dos tres", 75, {"uno", "dos", "tres"}},
      {"abcdefghijklmn", 45, {"abc", "def", "ghi", "jkl", "mn"}},  // each ends one character early
      {"abcd efgh", 40, {"abc", "d e", "fgh"}},             // width equal to the limit ends before c
      {"ab     cd", 30, {"ab", "cd"}},                      // spaces that start a line are skipped
  };
  for (const Case& c : cases) EXPECT_EQ(Break(c.text, c.limit, UniformWidths(10)), c.lines) << c.text;
}

TEST(AppMsgBox, GlyphsWiderThanTheLimitStillMoveOn) {
  // Every second character already passes the limit: each line takes one character
  // instead of starting again where it started.
  EXPECT_EQ(Break("WWW", 25, UniformWidths(20)), (Lines{"W", "W", "W"}));
  EXPECT_EQ(Break("WW", 15, UniformWidths(20)), (Lines{"W", "W"}));
  EXPECT_EQ(Break("WWW", 20, UniformWidths(20)), (Lines{"W", "W", "W"}));  // exactly the limit
}

TEST(AppMsgBox, LimitsButtonsAndLayout) {
  EXPECT_EQ(MsgBox_WidthLimit(800, 0), 523);
  EXPECT_EQ(MsgBox_WidthLimit(800, 32), 481);
  const MsgBoxButtonSize b = MsgBox_ButtonSize(40, 14);  // B = 2 * max(40, 28)
  EXPECT_EQ(b.width, 80);
  EXPECT_EQ(b.height, 21);
  EXPECT_EQ(b.gap, 26);
  EXPECT_EQ(MsgBox_ButtonSize(0, 0).width, 4);  // both at least 1

  // A short text without icon over two buttons: centred, the box as wide as the row.
  MsgBoxLayoutInput in{30, 1, 14, false, 0, 0, 2, b};
  MsgBoxLayoutResult r = MsgBox_Layout(in);
  EXPECT_EQ(r.clientWidth, 26 + 2 * 106);
  EXPECT_EQ(r.textX, (238 - 30) / 2);
  EXPECT_EQ(r.labelWidth, 238 - 104 - 10);
  EXPECT_EQ(r.buttonRowY, 10 + 14 + 10);
  EXPECT_EQ(r.clientHeight, 34 + 21 + 10);
  EXPECT_EQ(MsgBox_ButtonRect(r, in, 0).x, (238 - 212 + 26) / 2);
  EXPECT_EQ(MsgBox_ButtonRect(r, in, 1).x, 26 + 106);

  // A tall icon beside two lines: lines centred on the icon, buttons below the icon.
  in = MsgBoxLayoutInput{300, 2, 14, true, 32, 48, 1, b};
  r = MsgBox_Layout(in);
  EXPECT_EQ(r.clientWidth, 300 + 20 + 32 + 10);
  EXPECT_EQ(r.icon.x, (362 - 300 - 32 - 10) / 2);
  EXPECT_EQ(r.icon.y, 10);
  EXPECT_EQ(r.textX, r.icon.x + 42);
  EXPECT_EQ(r.firstLineTop, (48 - 28) / 2 + 10);
  EXPECT_EQ(MsgBox_LineRect(r, in, 1).y, 20 + 14);
  EXPECT_EQ(r.buttonRowY, 48 + 10 + 10);
}

// --- AVI reader and fatal end ------------------------------------------------------------

TEST(AppVideo, Indeo5LoadsTheLibraryBesideTheProgram) {
  SLTestRegisterClasses();
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::canonical("/lib/x86_64-linux-gnu/libz.so.1"), dir.Host("IR50_32.DLL"));
  SLPlatformSetProgramFileName(dir.Host("Zarandulvortequimbaplastelo").c_str());
  EXPECT_EQ(std::string(App_ProgramDirectory()), dir.Host() + "/");
  CMyVIS_arVI reader;
  HMODULE module = reader.LoadCodecModule("iv50");
  EXPECT_NE(module, nullptr);
  if (module) SLFreeLibrary(module);
  EXPECT_EQ(reader.LoadCodecModule("MJPG"), nullptr);
  std::filesystem::remove(dir.Host("IR50_32.DLL"));
  EXPECT_EQ(reader.LoadCodecModule("IV50"), nullptr);
  SLPlatformSetProgramFileName(nullptr);
  // The framework's reader still answers for ".avi".
  EXPECT_EQ(CSLBaseVideoAudioReader::FindReaderClassByExtension("Intro.AVI"),
            CSLVideoAudioReaderAVI::GetClassRecord());
}

TEST(AppFatal, ReportAndStatusCarryTheCode) {
  EXPECT_EXIT(App_Fatal(-109, "GuiLoadSkin error: 80010001"), ::testing::ExitedWithCode(147),
              "Error 00109: GuiLoadSkin error: 80010001");
  EXPECT_EXIT(App_Fatal(-201, "Insuficiente memoria"),
              ::testing::ExitedWithCode(55), "Error 00201: Insuficiente memoria");
}

}  // namespace
