// The audio chooser on the program's sound folders: which categories it offers, what
// its rows and bar show, what it hands back, and how it waits for the recorder and the
// MP3 finder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/dialogs/AudioChooserRows.h"
#include "gui/SLGuiScrollBar.h"
#include "gui/SLGuiWindow.h"
#include "tests/support/AudioDialogsFixture.h"

using namespace AudioTest;

namespace {

CMyGameChooseAudioFileDialog* Open(u32 flags) { return ChooseAudioFileDialog_Show(&OnChosen, flags); }

CSL_GS_GuiScrollBarBase* Bar(CSL_GS_GuiWindow* dialog) {
  return static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, AUDIO_SCROLL_BAR_ID));
}

// The bar moved one line down the way the user does it (its down-arrow key).
void ScrollDown(CSL_GS_GuiWindow* dialog) {
  CSL_GS_GuiScrollBarBase* bar = Bar(dialog);
  bar->OnKeyDown(SL_GUI_KEY_DOWN);
  bar->OnKeyUp(SL_GUI_KEY_DOWN);
}

void Touch(const std::string& relative, const std::string& content = "") {
  std::ofstream(Host(relative), std::ios::binary) << content;
}

}  // namespace

TEST_F(AudioDialogsTest, OffersOnlyTheAskedCategoriesAndStartsInTheFirst) {
  struct Case {
    u32 flags;
    std::vector<u32> tabs;  // in order, at x 5, 90, 175...
    u32 first;
    const char* title;
  } cases[] = {
      {14, {201, 202, 203}, 201, "Elije un sonido"},
      {1, {205}, 205, "Elije un sonido"},
      {16 | 1, {204, 205}, 204, "Elije una canci\xf3n o un sonido"},
      {8, {203}, 203, "Elije un sonido"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    CMyGameChooseAudioFileDialog* dialog = Open(c.flags);
    ASSERT_NE(dialog, nullptr);
    EXPECT_STREQ(dialog->GetText(), c.title);
    EXPECT_EQ(dialog->category, c.first);
    for (u32 id = 201; id <= 205; ++id) {
      const auto at = std::find(c.tabs.begin(), c.tabs.end(), id);
      CSL_GS_GuiWindow* tab = Child(dialog, id);
      ASSERT_EQ(tab != nullptr, at != c.tabs.end()) << id;
      if (!tab) continue;
      const SLGuiRect& r = tab->GetWindowRect();
      EXPECT_EQ(r.x, 5 + 85 * i32(at - c.tabs.begin()));
      // The current tab stands 10 pixels taller.
      EXPECT_EQ(r.y, id == c.first ? 5 : 15);
      EXPECT_EQ(r.height, id == c.first ? 30 : 20);
    }
    EXPECT_EQ(Visible(dialog, AUDIO_MIC_ID), c.first == 203);
    EXPECT_EQ(Visible(dialog, AUDIO_FIND_MP3_ID), c.first == 204);
    EXPECT_FALSE(Enabled(dialog, 1));
    dialog->OnCommand(dialog, 2);
    ASSERT_EQ(Results().size(), 1u);
    EXPECT_EQ(Results().back().name, "<null>");
    EXPECT_EQ(Results().back().kind, 0u);
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
    Results().clear();
  }
}

TEST_F(AudioDialogsTest, ScrollRangeFollowsTheNumberOfFiles) {
  // The recordings folder holds one file; grown to 12, then 13.
  for (int i = 0; i < 11; ++i) Touch("Sfx/Grabadas/Voz " + std::to_string(i) + ".WAV");
  CMyGameChooseAudioFileDialog* dialog = Open(8 | 1);
  EXPECT_EQ(dialog->FileCount(), 12u);
  EXPECT_EQ(Bar(dialog)->GetRange(), 0u);
  EXPECT_FALSE(Bar(dialog)->IsEnabled());
  for (u32 row = 0; row < 12; ++row) EXPECT_TRUE(Visible(dialog, AUDIO_FIRST_ROW_ID + row));

  Touch("Sfx/Grabadas/Voz 11.WAV");
  dialog->OnCommand(dialog, 205);
  dialog->OnCommand(dialog, 203);
  EXPECT_EQ(dialog->FileCount(), 13u);
  EXPECT_EQ(Bar(dialog)->GetRange(), 1u);
  EXPECT_TRUE(Bar(dialog)->IsEnabled());
  EXPECT_EQ(AudioRows_ScrollRange(0), 0u);
  EXPECT_EQ(AudioRows_ScrollRange(14), 1u);
  EXPECT_EQ(AudioRows_ScrollRange(100), 44u);
  dialog->OnCommand(dialog, 2);
  for (int i = 0; i < 12; ++i) std::filesystem::remove(Host("Sfx/Grabadas/Voz " + std::to_string(i) + ".WAV"));
}

TEST_F(AudioDialogsTest, SelectionEnablesAcceptAndTabsDropIt) {
  CMyGameChooseAudioFileDialog* dialog = Open(1 | 2);
  EXPECT_EQ(dialog->category, 201u);
  dialog->OnCommand(Child(dialog, 103), 103);
  EXPECT_EQ(dialog->selected, 2u);
  EXPECT_TRUE(Enabled(dialog, 1) && Enabled(dialog, AUDIO_PLAY_ID));
  // The current tab again: nothing changes.
  dialog->OnCommand(dialog, 201);
  EXPECT_EQ(dialog->selected, 2u);
  EXPECT_TRUE(Enabled(dialog, 1));
  // Another tab: the selection goes and accept waits for a new one.
  dialog->OnCommand(dialog, 205);
  EXPECT_EQ(dialog->selected, AUDIO_NO_SELECTION);
  EXPECT_FALSE(Enabled(dialog, 1));
  EXPECT_FALSE(Enabled(dialog, AUDIO_PLAY_ID));
  dialog->OnCommand(dialog, 1);  // accept without a selection: nothing
  EXPECT_TRUE(Results().empty());
  EXPECT_NE(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), nullptr);
}

TEST_F(AudioDialogsTest, AfterScrollingARowPlaysAndReturnsTheFileItShows) {
  CMyGameChooseAudioFileDialog* dialog = Open(1);
  ASSERT_EQ(dialog->FileCount(), 14u);
  EXPECT_STREQ(Child(dialog, 101)->GetText(), "Aplausos");
  ScrollDown(dialog);
  ASSERT_EQ(Bar(dialog)->GetPosition(), 1u);
  // The rows moved with the bar: two names per line.
  EXPECT_STREQ(Child(dialog, 101)->GetText(), "Campanita");
  EXPECT_STREQ(Child(dialog, 112)->GetText(), "Zumbido");
  dialog->OnCommand(Child(dialog, 101), 101);
  EXPECT_EQ(dialog->selected, 2u);
  dialog->OnCommand(dialog, AUDIO_PLAY_ID);
  EXPECT_TRUE(Visible(dialog, AUDIO_STOP_ID));
  EXPECT_FALSE(Visible(dialog, AUDIO_PLAY_ID));
  EXPECT_TRUE(dialog->preview.IsPlaying());
  dialog->OnCommand(dialog, 1);
  ASSERT_EQ(Results().size(), 1u);
  EXPECT_EQ(Results()[0].name, "Efectos\\Campanita.WAV");
  EXPECT_EQ(Results()[0].kind, 1u);
  EXPECT_EQ(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), nullptr);
}

TEST_F(AudioDialogsTest, SelectionFrameFollowsTheRowOnView) {
  CMyGameChooseAudioFileDialog* dialog = Open(1);
  dialog->OnCommand(Child(dialog, 101), 101);  // entry 0
  EXPECT_TRUE(Visible(dialog, AUDIO_SELECTION_FRAME_ID));
  ScrollDown(dialog);  // entry 0 scrolled away: the frame hides and stops blinking
  EXPECT_FALSE(Visible(dialog, AUDIO_SELECTION_FRAME_ID));
  dialog->OnTimer(1);
  EXPECT_FALSE(Visible(dialog, AUDIO_SELECTION_FRAME_ID));
  dialog->OnCommand(Child(dialog, 104), 104);  // entry 5, on row 104 at position 1
  const SLGuiRect& row = Child(dialog, 104)->GetWindowRect();
  const SLGuiRect& frame = Child(dialog, AUDIO_SELECTION_FRAME_ID)->GetWindowRect();
  EXPECT_EQ(frame.x, row.x - 4);
  EXPECT_EQ(frame.y, row.y - 4);
  dialog->OnTimer(1);
  EXPECT_FALSE(Visible(dialog, AUDIO_SELECTION_FRAME_ID));
  dialog->OnTimer(1);
  EXPECT_TRUE(Visible(dialog, AUDIO_SELECTION_FRAME_ID));
}

TEST_F(AudioDialogsTest, AFileThatDoesNotOpenIsNotPreviewed) {
  Touch("Sfx/Grabadas/Roto.WAV", "RIFF not really a wave");
  CMyGameChooseAudioFileDialog* dialog = Open(8);
  u32 row = 0;
  for (; row < dialog->FileCount(); ++row)
    if (std::string(dialog->files[row]) == "Roto") break;
  ASSERT_LT(row, dialog->FileCount());
  dialog->OnCommand(Child(dialog, 101 + row), 101 + row);
  dialog->OnCommand(dialog, AUDIO_PLAY_ID);
  EXPECT_TRUE(Visible(dialog, AUDIO_PLAY_ID));
  EXPECT_FALSE(Visible(dialog, AUDIO_STOP_ID));
  EXPECT_FALSE(dialog->preview.IsPlaying());
  dialog->OnCommand(dialog, 2);
  std::filesystem::remove(Host("Sfx/Grabadas/Roto.WAV"));
}

TEST_F(AudioDialogsTest, ResultsOfTheFinderAndTheRecorderCloseTheChooser) {
  struct Case {
    void (*handBack)(const char*, void*);
    u32 flags;
    const char* argument;
    const char* expected;
    u32 kind;
  } cases[] = {
      {&ChooseAudioFileDialog_OnMp3Chosen, 16, nullptr, nullptr, 0},
      {&ChooseAudioFileDialog_OnRecordingSaved, 8, nullptr, nullptr, 0},
      {&ChooseAudioFileDialog_OnMp3Chosen, 16, "C:\\M\xfasica\\tema.mp3", "*C:\\M\xfasica\\tema.mp3", 16},
      {&ChooseAudioFileDialog_OnRecordingSaved, 8, "C:\\Sfx\\Grabadas\\Yo.WAV", "*C:\\Sfx\\Grabadas\\Yo.WAV", 8},
  };
  for (const Case& c : cases) {
    Results().clear();
    CMyGameChooseAudioFileDialog* dialog = Open(c.flags);
    const u32 depth = ModalStack_GetDepth();
    c.handBack(c.argument, dialog);
    if (!c.expected) {
      // The other dialog was cancelled: the chooser stays, with its level.
      EXPECT_TRUE(Results().empty());
      EXPECT_EQ(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), dialog);
      EXPECT_EQ(ModalStack_GetDepth(), depth);
      dialog->OnCommand(dialog, 2);
      continue;
    }
    ASSERT_EQ(Results().size(), 1u);
    EXPECT_EQ(Results()[0].name, c.expected);
    EXPECT_EQ(Results()[0].kind, c.kind);
    EXPECT_EQ(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), depth - 1);
  }
}
