// The help control stand-in over a help file compiled by chmcmd, with a stub viewer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/hhctrl/HtmlHelp.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/HelpFixture.h"

namespace {

using SLPlatformHelp::HelpTarget;

TEST(HelpNames, TopicTextsAndObjectNamesAreCheckedBeforeUse) {
  struct Case {
    const char* text;
    const char* file;
    const char* topic;
    const char* window;
  } accepted[] = {
      {"C:\\Juego\\Ayuda.CHM::contenido.htm", "C:\\Juego\\Ayuda.CHM", "/contenido.htm", ""},
      {"a.chm::/sub/dibujo.htm>principal", "a.chm", "/sub/dibujo.htm", "principal"},
      {"a.chm::sub\\dibujo.htm#arriba", "a.chm", "/sub/dibujo.htm", ""},
      {"Ni\xf1os.chm::Canci\xf3n.htm", "Ni\xc3\xb1os.chm", "/Canci\xc3\xb3n.htm", ""},
  };
  for (const Case& c : accepted) {
    HelpTarget target;
    ASSERT_TRUE(SLPlatformHelp::ParseHelpTarget(c.text, &target)) << c.text;
    EXPECT_EQ(target.file, c.file);
    EXPECT_EQ(target.topic, c.topic);
    EXPECT_EQ(target.window, c.window);
  }
  const char* refused[] = {nullptr,        "a.chm",           "::x.htm",           "a.chm::",
                           "a.chm::/",     "a.chm::sub/",     "a.chm::../x.htm",   "a.chm::sub/../../x.htm",
                           "a.chm::a\x01.htm", "a.chm::./x.htm", "a.chm::sub//x.htm", "a.chm::#solo"};
  for (const char* text : refused) {
    HelpTarget target;
    EXPECT_FALSE(SLPlatformHelp::ParseHelpTarget(text, &target)) << (text ? text : "null");
  }
  struct Name {
    const char* name;
    bool safe;
  } names[] = {{"/a.htm", true},  {"/sub/", true},    {"/sub/b.png", true}, {"a.htm", false},
               {"/", false},      {"/a//b", false},   {"/./a", false},      {"/a/..", false},
               {"/../a", false},  {"/a\\b", false},   {"/a\x7f", false},    {"/a\nb", false}};
  for (const Name& n : names) EXPECT_EQ(SLPlatformHelp::IsSafeObjectName(n.name), n.safe) << n.name;
}

class HelpControl : public ::testing::Test {
 protected:
  void TearDown() override { HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0); }
  HWND Show(const std::string& file, const std::string& topic) {
    return HtmlHelpA(nullptr, (file + "::" + topic).c_str(), HH_DISPLAY_TOPIC, 0);
  }
  HelpFixture help;
};

TEST_F(HelpControl, ShowsExtractedPagesAndEndsViewersOnCloseAll) {
  ASSERT_EQ(help.chm.substr(0, 4), "ITSF");
  ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr);
  std::string log = help.WaitForLog(1);
  ASSERT_FALSE(log.empty());
  const std::string page = log.substr(0, log.find('\n'));
  std::ifstream in(page, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), HelpFixture::kContents);
  // A private folder in the runtime folder, the sub-folder's picture beside its page, no
  // system objects.
  const std::string folder = page.substr(0, page.rfind('/'));
  EXPECT_EQ(folder.rfind(help.Runtime() + "/", 0), 0u);
  struct stat info;
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  std::ifstream picture(folder + "/sub/punto.png", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(picture), {}), help.dir.Read("src/sub/punto.png"));
  EXPECT_NE(stat((folder + "/#SYSTEM").c_str(), &info), 0);

  // Topics differing in letter case, in the sub-folder, in Windows-1252: the same folder.
  ASSERT_NE(Show(help.WinName(), "PAGINAS.HTM"), nullptr);
  ASSERT_NE(Show(help.WinName(), "sub\\dibujo.htm"), nullptr);
  // Each viewer is its own process, so the two may write their lines in either order.
  log = help.WaitForLog(3);
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = log.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(log.substr(at, end - at));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], page);
  std::sort(lines.begin() + 1, lines.end());
  EXPECT_EQ(lines[1], folder + "/Paginas.htm");
  EXPECT_EQ(lines[2], folder + "/sub/dibujo.htm");
  std::ifstream latin(folder + "/Paginas.htm", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(latin), {}), help.dir.Read("src/Paginas.htm"));

  // Closing all ends each viewer with SIGTERM and removes the folder.
  EXPECT_EQ(HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0), nullptr);
  log = help.WaitForLog(6);
  EXPECT_EQ(log.substr(log.size() - 15), "term\nterm\nterm\n");
  EXPECT_TRUE(help.RuntimeEmpty());
}

TEST_F(HelpControl, AChangedFileIsExtractedAgain) {
  ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr);
  std::string first = help.WaitForLog(1);
  first = first.substr(0, first.rfind('/'));
  SLTestCapture("touch -d '2001-02-03' '" + help.dir.Host("Ayuda Ni\xc3\xb1os.chm") + "'");
  ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr);
  std::string second = help.WaitForLog(2);
  second = second.substr(first.size() + 15);
  second = second.substr(0, second.rfind('/'));
  EXPECT_NE(first, second);
  struct stat info;
  EXPECT_NE(stat(first.c_str(), &info), 0);
  EXPECT_EQ(stat(second.c_str(), &info), 0);
}

TEST_F(HelpControl, BadFilesTopicsAndViewersShowNothing) {
  struct Case {
    std::string file, topic;
  } cases[] = {
      {help.WinName(), "falta.htm"},                 // not in the file
      {help.WinName(), "../contenido.htm"},          // no name leaves the folder
      {help.dir.Win("corto.chm"), "contenido.htm"},  // truncated
      {help.dir.Win("fuera.chm"), "contenido.htm"},  // an object named "/../a.htm"
      {help.dir.Win("nada.chm"), "contenido.htm"},
      {help.dir.Win("src"), "contenido.htm"},        // a folder
  };
  for (const Case& c : cases) EXPECT_EQ(Show(c.file, c.topic), nullptr) << c.file << " " << c.topic;
  EXPECT_TRUE(help.RuntimeEmpty());
  struct stat info;
  EXPECT_NE(stat(help.dir.Host("a.htm").c_str(), &info), 0);
  EXPECT_EQ(HtmlHelpA(nullptr, "x", 7, 0), nullptr);
  EXPECT_EQ(HtmlHelpA(nullptr, nullptr, HH_DISPLAY_TOPIC, 0), nullptr);

  // No viewer to start: neither the chosen one nor any of the usual ones in PATH.
  const std::string path = std::getenv("PATH");
  setenv("PATH", help.dir.Host("runtime").c_str(), 1);
  setenv("SL_HELP_VIEWER", help.dir.Host("no-viewer").c_str(), 1);
  EXPECT_EQ(Show(help.WinName(), "contenido.htm"), nullptr);
  setenv("SL_HELP_VIEWER", "no-such-viewer-anywhere", 1);
  EXPECT_EQ(Show(help.WinName(), "contenido.htm"), nullptr);
  setenv("PATH", path.c_str(), 1);
}

// Without $SL_HELP_VIEWER (or with one that cannot run) the desktop's opener is tried,
// then the usual browsers, in that order: each program made present ahead of those already
// there is the one that opens the page.
TEST_F(HelpControl, TheUsualViewersAreTriedInTurn) {
  const std::string path = std::getenv("PATH");
  const std::string bin = help.dir.Host("bin");
  ASSERT_TRUE(std::filesystem::create_directory(bin));
  setenv("PATH", bin.c_str(), 1);
  setenv("SL_HELP_VIEWER", "no-such-viewer-anywhere", 1);
  int lines = 0;
  for (const char* name : {"chromium", "firefox", "sensible-browser", "x-www-browser", "xdg-open"}) {
    help.dir.Write("bin/" + std::string(name),
                   "#!/bin/sh\necho \"${0##*/} $1\" >> \"" + help.dir.Host("viewer.log") + "\"\n");
    chmod((bin + "/" + name).c_str(), 0755);
    ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr) << name;
    const std::string log = help.WaitForLog(++lines);
    const std::string last = log.substr(log.rfind('\n', log.size() - 2) == std::string::npos ? 0 : log.rfind('\n', log.size() - 2) + 1);
    EXPECT_EQ(last.rfind(std::string(name) + " /", 0), 0u) << log;
    EXPECT_NE(last.find("/contenido.htm\n"), std::string::npos) << log;
    EXPECT_EQ(HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0), nullptr);
  }
  // The chosen viewer goes before all of them.
  help.dir.Write("bin/elegido", "#!/bin/sh\necho \"elegido $1\" >> \"" + help.dir.Host("viewer.log") + "\"\n");
  chmod((bin + "/elegido").c_str(), 0755);
  setenv("SL_HELP_VIEWER", "elegido", 1);
  ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr);
  const std::string log = help.WaitForLog(++lines);
  EXPECT_NE(log.find("\nelegido /"), std::string::npos) << log;
  setenv("PATH", path.c_str(), 1);
}

// This process's children that ended and were never reaped.
int DefunctChildren() {
  int defunct = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "stat");
    std::string line;
    if (!std::getline(in, line) || line.rfind(')') == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &parent) == 2 && parent == getpid() &&
        state == 'Z')
      ++defunct;
  }
  return defunct;
}

// A stub viewer in `bin` that logs its name and page, then exits with `status` after
// `seconds`, leaving "bin/NAME.fin" on its way out (or waits for SIGTERM when `seconds` is
// negative). Only the shell's own commands and absolute paths: PATH names `bin` alone.
void WriteViewer(HelpFixture& help, const std::string& name, int status, double seconds) {
  std::string script = "#!/bin/sh\necho \"${0##*/} $1\" >> \"" + help.dir.Host("viewer.log") + "\"\n";
  if (status) script += "echo \"Couldn't find a suitable web browser!\" >&2\n";
  script += seconds < 0 ? "trap 'exit 0' TERM\nwhile :; do sleep 0.02; done\n"
                        : "/bin/sleep " + std::to_string(seconds) + "\n: > \"$0.fin\"\nexit " +
                              std::to_string(status) + "\n";
  help.dir.Write("bin/" + name, script);
  chmod(help.dir.Host("bin/" + name).c_str(), 0755);
}

// A launcher that finds no browser fails at once: the next viewer shows the page, and
// neither leaves a defunct process, nor does one that stays open and ends later by itself.
TEST_F(HelpControl, AViewerThatFailsAtOnceGivesWayToTheNext) {
  const std::string path = std::getenv("PATH");
  ASSERT_TRUE(std::filesystem::create_directory(help.dir.Host("bin")));
  setenv("PATH", help.dir.Host("bin").c_str(), 1);
  setenv("SL_HELP_VIEWER", "no-such-viewer-anywhere", 1);
  WriteViewer(help, "xdg-open", 3, 0.3);
  WriteViewer(help, "sensible-browser", 1, 0);
  WriteViewer(help, "firefox", 0, 2.5);
  ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr);
  std::string log = help.WaitForLog(3);
  EXPECT_EQ(log.rfind("xdg-open /", 0), 0u) << log;
  EXPECT_NE(log.find("\nsensible-browser /"), std::string::npos) << log;
  EXPECT_NE(log.find("\nfirefox /"), std::string::npos) << log;
  EXPECT_EQ(DefunctChildren(), 0);
  // The viewer that stayed open ends by itself, with no further call: reaped all the same.
  for (int i = 0; i < 6000 && !std::filesystem::exists(help.dir.Host("bin/firefox.fin")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(DefunctChildren(), 0);

  // A viewer that hands the page on and exits 0 at once showed it.
  WriteViewer(help, "sensible-browser", 0, 0);
  ASSERT_NE(Show(help.WinName(), "contenido.htm"), nullptr);
  log = help.WaitForLog(5);
  EXPECT_EQ(log.substr(log.rfind("\n", log.size() - 2) + 1, 18), "sensible-browser /") << log;
  EXPECT_EQ(DefunctChildren(), 0);
  setenv("PATH", path.c_str(), 1);
}

// When no viewer starts, or each one that starts fails at once, the control itself says
// so, in Spanish, and refuses the topic; the pages it extracted are gone by then, so that
// a program killed while the box is up leaves none behind.
TEST(HelpControlChild, SaysWhenNoViewerStarts) {
  SL_CHILD_ONLY();
  HelpFixture help;
  setenv("PATH", help.dir.Host("runtime").c_str(), 1);
  setenv("SL_HELP_VIEWER", "no-such-viewer-anywhere", 1);
  if (std::getenv("SL_FAILING_VIEWERS")) {
    std::filesystem::create_directory(help.dir.Host("bin"));
    setenv("PATH", help.dir.Host("bin").c_str(), 1);
    WriteViewer(help, "xdg-open", 1, 0);
    WriteViewer(help, "sensible-browser", 1, 0.5);
    WriteViewer(help, "chromium", 0, -1);
    chmod(help.dir.Host("bin/chromium").c_str(), 0644);  // present, but it cannot run
  }
  const HWND window = HtmlHelpA(nullptr, (help.WinName() + "::contenido.htm").c_str(), HH_DISPLAY_TOPIC, 0);
  std::printf("WINDOW %s, %d DEFUNCT, %s\n", window ? "shown" : "refused", DefunctChildren(),
              std::filesystem::is_empty(help.Runtime()) ? "NO PAGES" : "PAGES LEFT");  // PATH has no ls
  std::fputs(help.dir.Read("viewer.log").c_str(), stdout);
}

TEST(HelpControlBox, SaysWhenNoViewerStarts) {
  for (const char* environment : {"SDL_VIDEODRIVER=dummy", "SDL_VIDEODRIVER=dummy SL_FAILING_VIEWERS=1"}) {
    const SLChildResult child = SLRunChildTest("HelpControlChild.SaysWhenNoViewerStarts", environment);
    EXPECT_NE(child.output.find("Ayuda: No se encontr\xc3\xb3 ning\xc3\xban programa para mostrar la ayuda.\n"),
              std::string::npos)
        << environment << "\n" << child.output;
    EXPECT_NE(child.output.find("WINDOW refused, 0 DEFUNCT, NO PAGES"), std::string::npos)
        << environment << "\n" << child.output;
  }
  const SLChildResult child =
      SLRunChildTest("HelpControlChild.SaysWhenNoViewerStarts", "SDL_VIDEODRIVER=dummy SL_FAILING_VIEWERS=1");
  EXPECT_NE(child.output.find("xdg-open /"), std::string::npos) << child.output;
  EXPECT_NE(child.output.find("sensible-browser /"), std::string::npos) << child.output;
}

// chmlib divides by the window size of the file's compression header; with it zero, the
// reading dies of SIGFPE, which must end the child that reads rather than the program.
TEST_F(HelpControl, AFileThatCrashesItsReaderShowsNothingAndTheProgramGoesOn) {
  std::string damaged = help.chm;
  const size_t control = damaged.find("LZXC");
  ASSERT_NE(control, std::string::npos);
  damaged.replace(control + 12, 4, std::string(4, '\0'));  // the window size
  help.dir.Write("roto.chm", damaged);
  const std::string host = help.dir.Host("roto.chm");
  EXPECT_EQ(SLPlatformHelp::ResolveHelpTopic(host, "/contenido.htm"), "");
  ASSERT_EQ(mkdir(help.dir.Host("extraida").c_str(), 0700), 0);
  EXPECT_FALSE(SLPlatformHelp::ExtractHelpFile(host, help.dir.Host("extraida")));
  EXPECT_EQ(Show(help.dir.Win("roto.chm"), "contenido.htm"), nullptr);
  EXPECT_TRUE(help.RuntimeEmpty());
  // The good file still shows.
  EXPECT_EQ(SLPlatformHelp::ResolveHelpTopic(help.dir.Host("Ayuda Ni\xc3\xb1os.chm"), "/CONTENIDO.htm"),
            "/contenido.htm");
}

}  // namespace
