// The MP3 finder on a small disk: drive C: stands for a temporary tree with MP3 files in
// every spelling of the extension, a link that loops back, and directories that a fake
// mounts table makes proc and tmpfs mount points.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/dialogs/AudioChooserRows.h"
#include "app/media/Mp3Finder.h"
#include "gui/SLGuiScrollBar.h"
#include "tests/support/AudioDialogsFixture.h"

using namespace AudioTest;

namespace {

class Mp3Finder : public AudioDialogsTest {
 protected:
  void SetUp() override {
    AudioDialogsTest::SetUp();
    char pattern[] = "/tmp/sldiscoXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    disk = pattern;
    SLPlatformSetDriveRoot(disk.c_str());
    ForgetList();
  }
  void TearDown() override {
    AudioDialogsTest::TearDown();
    SLPlatformSetDriveRoot(nullptr);
    SLPlatformSetMountsTable(nullptr);
    std::error_code ignored;
    std::filesystem::permissions(disk + "/Cerrado", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(disk, ignored);
  }
  void ForgetList() {
    CSLIniFile* settings = App_Services().settings;
    settings->DeleteKeyA("BuscaMP3", "EscaneoCompleto", 0);
    for (u32 n = 1; n < 200; ++n) settings->DeleteKeyA("BuscaMP3", ("Arch" + std::to_string(n)).c_str(), 0);
  }
  void File(const std::string& relative) {
    std::filesystem::create_directories(std::filesystem::path(disk + "/" + relative).parent_path());
    std::ofstream(disk + "/" + relative) << "ID3";
  }
  // The tree: what the finder must list, as C: paths.
  std::set<std::string> MakeTree() {
    File("Musica/uno.mp3");
    File("Musica/DOS.MP3");
    File("Musica/Rock/tres.Mp3");
    File("Musica/Rock/notas.txt");
    File("Musica/cuatro.mp3.bak");
    File("Sistema/proc/falso.mp3");
    File("Sistema/run/temporal.mp3");
    File("Cerrado/secreto.mp3");
    std::filesystem::create_directory_symlink(disk, disk + "/Musica/vuelta");
    const std::string table = "/dev/root / ext4 rw 0 0\nproc " + disk + "/Sistema/proc proc rw 0 0\ntmpfs " + disk +
                              "/Sistema/run tmpfs rw 0 0\n";
    SLPlatformSetMountsTable(table.c_str());
    std::set<std::string> expected = {"C:\\Musica\\DOS.MP3", "C:\\Musica\\uno.mp3", "C:\\Musica\\Rock\\tres.Mp3"};
    if (geteuid() == 0) {
      expected.insert("C:\\Cerrado\\secreto.mp3");  // no directory is closed to root
    } else {
      chmod((disk + "/Cerrado").c_str(), 0);
    }
    return expected;
  }
  static std::set<std::string> Listed(CMyMP3FinderDialog* dialog) {
    std::set<std::string> paths;
    for (char* path : dialog->files) paths.insert(path);
    return paths;
  }
  static bool ListShown(CMyMP3FinderDialog* dialog) { return Visible(dialog, MP3_RESCAN_ID); }

  std::string disk;
};

}  // namespace

TEST_F(Mp3Finder, FindsEveryMp3OfTheDiskButNotBelowMountPointsOrThroughLinks) {
  const std::set<std::string> expected = MakeTree();
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  EXPECT_TRUE(Visible(dialog, MP3_SEARCH_LABEL_ID));
  EXPECT_FALSE(Visible(dialog, 1));
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  EXPECT_EQ(Listed(dialog), expected);
  EXPECT_FALSE(Visible(dialog, MP3_SEARCH_LABEL_ID) || Visible(dialog, MP3_WAIT_LABEL_ID));
  EXPECT_TRUE(Visible(dialog, 1) && !Enabled(dialog, 1));
  // The list is remembered in order, and the walk marked complete.
  EXPECT_EQ(Setting("EscaneoCompleto"), "1");
  for (u32 n = 1; n <= dialog->FileCount(); ++n)
    EXPECT_EQ(Setting(("Arch" + std::to_string(n)).c_str()), dialog->files[n - 1]);
  EXPECT_EQ(Setting(("Arch" + std::to_string(dialog->FileCount() + 1)).c_str()), "<none>");
  // A row shows the name with its extension, without drive or folder.
  std::set<std::string> rows;
  for (u32 i = 0; i < dialog->FileCount(); ++i) rows.insert(Child(dialog, 101 + i)->GetText());
  EXPECT_TRUE(rows.count("DOS.MP3") && rows.count("tres.Mp3"));
  EXPECT_FALSE(Visible(dialog, 101 + dialog->FileCount()));

  // Accept hands the full path to the chooser's completion.
  dialog->OnCommand(Child(dialog, 101), 101);
  EXPECT_TRUE(Enabled(dialog, 1));
  dialog->OnCommand(dialog, 1);
  EXPECT_EQ(AppHarness::TopLevelWithId(MP3_FINDER_ID), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
}

TEST_F(Mp3Finder, TheSecondOpeningReadsTheRememberedListWithoutSearching) {
  CSLIniFile* settings = App_Services().settings;
  settings->SetStringA("BuscaMP3", "EscaneoCompleto", "1", 0);
  settings->SetStringA("BuscaMP3", "Arch1", "C:\\a\\uno.mp3", 0);
  settings->SetStringA("BuscaMP3", "Arch2", "C:\\b\\dos.mp3", 0);
  settings->SetStringA("BuscaMP3", "Arch3", "D:\\tres.mp3", 0);
  settings->SetStringA("BuscaMP3", "Arch5", "C:\\c\\cinco.mp3", 0);  // after the gap: not read
  File("nuevo.mp3");  // on the disk, but the list is not searched again
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  ASSERT_EQ(dialog->FileCount(), 3u);
  EXPECT_STREQ(dialog->files[2], "D:\\tres.mp3");
  EXPECT_STREQ(Child(dialog, 103)->GetText(), "tres.mp3");
  EXPECT_EQ(static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, AUDIO_SCROLL_BAR_ID))->GetRange(), 0u);
  dialog->OnCommand(dialog, 2);
}

TEST_F(Mp3Finder, RescanStartsFromAnEmptyListAndSection) {
  const std::set<std::string> expected = MakeTree();
  App_Services().settings->SetStringA("BuscaMP3", "Arch40", "C:\\viejo.mp3", 0);
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  File("Musica/cinco.mp3");
  for (int round = 0; round < 2; ++round) {
    dialog->OnCommand(dialog, MP3_RESCAN_ID);
    EXPECT_FALSE(ListShown(dialog));
    EXPECT_TRUE(Visible(dialog, MP3_SEARCH_LABEL_ID));
    ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
    EXPECT_EQ(dialog->FileCount(), expected.size() + 1);
    EXPECT_EQ(Setting("EscaneoCompleto"), "1");
    for (u32 n = 1; n <= dialog->FileCount(); ++n)
      EXPECT_EQ(Setting(("Arch" + std::to_string(n)).c_str()), dialog->files[n - 1]);
    EXPECT_EQ(Setting(("Arch" + std::to_string(dialog->FileCount() + 1)).c_str()), "<none>");
    EXPECT_EQ(Setting("Arch40"), "<none>");
  }
  dialog->OnCommand(dialog, 2);
}

TEST_F(Mp3Finder, ThirteenFilesScrollByOneLineAndRowsFollowTheBar) {
  for (int i = 0; i < 13; ++i) File("M/tema" + std::to_string(10 + i) + ".mp3");
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(Child(dialog, AUDIO_SCROLL_BAR_ID));
  EXPECT_EQ(bar->GetRange(), 1u);
  EXPECT_TRUE(bar->IsEnabled());
  bar->OnKeyDown(SL_GUI_KEY_DOWN);
  bar->OnKeyUp(SL_GUI_KEY_DOWN);
  ASSERT_EQ(bar->GetPosition(), 1u);
  EXPECT_STREQ(Child(dialog, 101)->GetText(), "tema12.mp3");
  EXPECT_FALSE(Visible(dialog, 112));  // 13 files: the last line holds one
  dialog->OnCommand(Child(dialog, 111), 111);
  EXPECT_EQ(dialog->selected, 12u);
  EXPECT_STREQ(Child(dialog, 111)->GetText(), "tema22.mp3");
  dialog->OnCommand(dialog, 2);
}

TEST_F(Mp3Finder, CancelDuringASearchReturnsNullAndKeepsTheListUnfinished) {
  MakeTree();
  for (int d = 0; d < 200; ++d)
    for (int f = 0; f < 50; ++f) File("Mucho/d" + std::to_string(d) + "/f" + std::to_string(f) + ".mp3");
  App_Services().settings->SetStringA("BuscaMP3", "EscaneoCompleto", "0", 0);
  CMyGameChooseAudioFileDialog* chooser = ChooseAudioFileDialog_Show(&OnChosen, 16);
  chooser->OnCommand(chooser, AUDIO_FIND_MP3_ID);
  auto* dialog = static_cast<CMyMP3FinderDialog*>(AppHarness::TopLevelWithId(MP3_FINDER_ID));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 2u);
  dialog->OnCommand(dialog, 2);
  EXPECT_EQ(AppHarness::TopLevelWithId(MP3_FINDER_ID), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 1u);
  // The chooser is still open, with no selection; the walk stays unfinished.
  EXPECT_TRUE(Results().empty());
  EXPECT_EQ(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), chooser);
  EXPECT_EQ(chooser->selected, AUDIO_NO_SELECTION);
  EXPECT_EQ(Setting("EscaneoCompleto"), "0");
  chooser->OnCommand(chooser, 2);
}

TEST_F(Mp3Finder, OverlongPathsAreNotKept) {
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  const u32 before = dialog->FileCount();
  const std::string longest = "C:\\" + std::string(MP3_FINDER_MAX_PATH - 7, 'a') + ".mp3";
  ASSERT_EQ(longest.size(), MP3_FINDER_MAX_PATH);
  Mp3FinderDialog_StoreEntry(longest.c_str(), dialog, 0);
  Mp3FinderDialog_StoreEntry((longest + "x").c_str(), dialog, 0);
  Mp3FinderDialog_StoreEntry(nullptr, dialog, 0x80000001);
  ASSERT_EQ(dialog->FileCount(), before + 1);
  EXPECT_EQ(std::string(dialog->files[before]), longest);
  dialog->OnCommand(dialog, 2);
}

TEST_F(Mp3Finder, TheRememberedListSkipsPathsLongerThanTheWalkKeeps) {
  // Cut to fit, the long one would name another file: "C:\xxx...x" without its end.
  const std::string longest = "C:\\" + std::string(MP3_FINDER_MAX_PATH - 7, 'a') + ".mp3";
  CSLIniFile* settings = App_Services().settings;
  settings->SetStringA("BuscaMP3", "EscaneoCompleto", "1", 0);
  settings->SetStringA("BuscaMP3", "Arch1", ("C:\\" + std::string(5000, 'x') + ".mp3").c_str(), 0);
  settings->SetStringA("BuscaMP3", "Arch2", "C:\\b.mp3", 0);
  settings->SetStringA("BuscaMP3", "Arch3", longest.c_str(), 0);
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  ASSERT_EQ(dialog->FileCount(), 2u);
  EXPECT_STREQ(dialog->files[0], "C:\\b.mp3");
  EXPECT_EQ(std::string(dialog->files[1]), longest);
  dialog->OnCommand(dialog, 2);
}

TEST_F(Mp3Finder, AWalkForgetsAnOlderLongerListSoItIsNotReadBackAfterTheNewOne) {
  const std::set<std::string> expected = MakeTree();
  CSLIniFile* settings = App_Services().settings;
  settings->SetStringA("BuscaMP3", "EscaneoCompleto", "0", 0);
  for (int n = 1; n <= 9; ++n)
    settings->SetStringA("BuscaMP3", ("Arch" + std::to_string(n)).c_str(), ("C:\\viejo" + std::to_string(n)).c_str(), 0);
  CMyMP3FinderDialog* dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  EXPECT_EQ(Listed(dialog), expected);
  dialog->OnCommand(dialog, 2);
  EXPECT_EQ(Setting(("Arch" + std::to_string(expected.size() + 1)).c_str()), "<none>");
  // The next opening reads back exactly what the walk found.
  dialog = Mp3FinderDialog_Show(nullptr, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return ListShown(dialog); }));
  EXPECT_EQ(Listed(dialog), expected);
  EXPECT_EQ(dialog->FileCount(), expected.size());
  dialog->OnCommand(dialog, 2);
}
