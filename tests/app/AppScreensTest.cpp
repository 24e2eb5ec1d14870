// The program's start-up and screens. Fatal start-up ends run the program itself on a
// copy of the sample content with one file missing or damaged; the screens run in this
// process on SDL's dummy drivers, driven by events queued before each loop starts (the
// loop takes one per tick, so a script of commands and deferred calls plays in order).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "app/services/AppEvents.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/screens/FixedScreens.h"
#include "gamesystem/SLPhaseHooks.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLHtmlHelp.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLFastFileStorage.h"
#include "platform/user32/User32.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
const std::string kContent = SL_BINARY_DIR "/content";
const std::string kProgram = SL_BINARY_DIR "/Zarandulvortequimbaplastelo";

// --- Fatal start-up ends, in the program itself ------------------------------------------

struct Outcome {
  int status;
  std::string output;
};

// Places the content and the program in a fresh folder (links: the files are large),
// lets `damage` change it, runs the program there with dummy drivers and returns its exit
// status and standard error. A file to damage is first replaced by a copy of its own.
template <class Damage>
Outcome RunDamaged(const std::string& file, Damage damage) {
  TempDir dir;
  for (const fs::directory_entry& top : fs::directory_iterator(kContent)) {
    const fs::path name = top.path().filename();
    if (name == "Zarandulvortequimbaplastelo") continue;
    if (!top.is_directory()) {
      fs::create_symlink(top.path(), dir.Host(name));
      continue;
    }
    fs::create_directory(dir.Host(name));
    for (const fs::directory_entry& entry : fs::directory_iterator(top.path()))
      fs::create_symlink(entry.path(), dir.Host(name / entry.path().filename()));
  }
  fs::create_hard_link(kProgram, dir.Host("Zarandulvortequimbaplastelo"));
  fs::remove(dir.Host(file));
  fs::copy_file(kContent + "/" + file, dir.Host(file));
  damage(dir);
  const std::string command = "cd '" + dir.Host() +
                              "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout -s KILL 60 "
                              "./Zarandulvortequimbaplastelo 2>&1 >/dev/null";
  Outcome outcome{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) outcome.output.append(buffer, n);
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

// The error code, as the reports write it ("%08X"), that attaching the pack at `host`
// leaves as the program attaches it; empty when it attaches.
std::string AttachCode(const std::string& host) {
  CSLFastFileStorage pack;
  if (pack.AttachFile(host.c_str(), false, 0)) return "";
  char code[16];
  std::snprintf(code, sizeof code, "%08X", unsigned(SLGetLastError(true)));
  return code;
}

// A pack that fails its attach is reported with the attach's own code, never 0.
void ExpectAttachCode(const std::string& output, const std::string& text, const std::string& code,
                      const std::string& what) {
  if (text.find("DataStgInit error: ") == std::string::npos) return;
  EXPECT_FALSE(code.empty()) << what;
  EXPECT_NE(code, "00000000") << what;
  EXPECT_NE(output.find(text + code), std::string::npos) << what << " " << code << "\n" << output;
}

TEST(AppStartup, MissingOrBrokenFilesEndWithTheirCodeAndText) {
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "the content fixture has not run";
  struct Row {
    const char* file;
    bool truncate;
    int status;
    const char* text;
  } rows[] = {
      {"Gfx/Gfx.DAT", false, 256 - 106 % 256, "Error 00106: GfxDataStgInit error: "},
      {"Sfx/Sfx.DAT", false, 256 - 107 % 256, "Error 00107: SfxDataStgInit error: "},
      {"Gfx/Skin.DAT", false, 256 - 109 % 256, "Error 00109: GuiLoadSkin error: "},
      {"Gfx/Skin.DAT", true, 256 - 109 % 256, "Error 00109: GuiLoadSkin error: "},
      {"Gfx/Letra_8.FNT", false, 256 - 301 % 256, "Error 00301: No puedo cargar im\xc3\xa1genes"},
      {"Gfx/ComicSans_11.FNT", true, 256 - 301 % 256, "Error 00301: No puedo cargar im\xc3\xa1genes"},
  };
  for (const Row& row : rows) {
    std::string code;
    Outcome outcome = RunDamaged(row.file, [&](const TempDir& dir) {
      if (row.truncate)
        fs::resize_file(dir.Host(row.file), 9);
      else
        fs::remove(dir.Host(row.file));
      code = AttachCode(dir.Host(row.file));
    });
    EXPECT_EQ(outcome.status, row.status) << row.file << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.text), std::string::npos) << row.file << "\n" << outcome.output;
    ExpectAttachCode(outcome.output, row.text, code, row.file);
  }
}

// Renames one member of a fast data pack in place (same length, last character replaced by
// "#") and writes the pack's checksum again, so that the pack still opens and only that
// member is missing. Version 2 sums every byte before the checksum at the end; version 3
// sums header and directory, and its checksum follows the directory.
void HideMemberOfPack(const std::string& pack, const std::string& member) {
  const std::string script = R"(
import struct, sys, zlib
path, member = sys.argv[1], sys.argv[2]
data = bytearray(open(path, 'rb').read())
version, = struct.unpack_from('<H', data, 18)
if version == 2:
    name = member.encode('cp1252') + b'\0'
    at = data.index(name, 26)
    data[at + len(name) - 2] = ord('#')
    data[-4:] = struct.pack('<I', zlib.crc32(bytes(data[:-4])))
else:
    count, = struct.unpack_from('<I', data, 20)
    at, found = 28, False
    for _ in range(count):
        end = at
        while data[end:end + 2] != b'\0\0': end += 2
        if data[at:end].decode('utf-16-le') == member:
            data[end - 2:end] = '#'.encode('utf-16-le')
            found = True
        at = end + 2 + 8 + 8 + 4
    if not found: sys.exit('no such member')
    data[at:at + 4] = struct.pack('<I', zlib.crc32(bytes(data[:at])))
open(path, 'wb').write(data)
print('hidden')
)";
  const std::string file = testing::TempDir() + "hide_member.py";
  FILE* out = std::fopen(file.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs(script.c_str(), out);
  std::fclose(out);
  EXPECT_EQ(SLTestCapture("python3 '" + file + "' '" + pack + "' '" + member + "'"), "hidden\n") << member;
}

TEST(AppStartup, MissingPackMembersEndWithTheirCodeAndText) {
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "the content fixture has not run";
  struct Row {
    const char* pack;
    const char* member;
    int status;
    const char* text;
  } rows[] = {
      {"Gfx/Gfx.DAT", "Interface/Puntero/puntero_mouse.mximg", 256 - 111, "Error 00111: No puedo cargar im\xc3\xa1genes"},
      // Never played by any screen, yet start-up needs it.
      {"Sfx/Sfx.DAT", "tecla_press.wav", 256 - 114, "Error 00114: No puedo cargar sonidos"},
      {"Sfx/Sfx.DAT", "boton_over.wav", 256 - 114, "Error 00114: No puedo cargar sonidos"},
  };
  for (const Row& row : rows) {
    Outcome outcome =
        RunDamaged(row.pack, [&](const TempDir& dir) { HideMemberOfPack(dir.Host(row.pack), row.member); });
    EXPECT_EQ(outcome.status, row.status) << row.member << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.text), std::string::npos) << row.member << "\n" << outcome.output;
    // The fatal texts of the pictures and sounds carry no error code.
    EXPECT_EQ(outcome.output.find(std::string(row.text) + ":"), std::string::npos) << outcome.output;
  }
}

// Start-up on a system that lacks the entry points named in SL_HIDE ("module!entry ...").
TEST(AppStartupChild, WithHiddenEntryPoints) {
  SL_CHILD_ONLY();
  std::istringstream names(std::getenv("SL_HIDE"));
  for (std::string name; names >> name;) {
    const size_t bang = name.find('!');
    SLPlatformHideExport(name.substr(0, bang).c_str(), name.substr(bang + 1).c_str(), true);
  }
  SLTestRegisterClasses();
  SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
  App_Init();  // ends the process on failure
  std::puts("STARTED");
  App_Shutdown();
}

// The device start-ups that fail when the system's module lacks the entry point they
// bind. The mouse shares the keyboard's input module, so a missing one stops at the
// keyboard.
TEST(AppStartup, MissingSystemEntryPointsEndWithTheirCodeAndText) {
  struct Row {
    const char* hide;
    int status;
    const char* text;
  } rows[] = {
      {"user32.dll!CreateWindowExA user32.dll!CreateWindowExW", 256 - 101, "Error 00101: WinInit error: "},
      {"d3d9.dll!Direct3DCreate9", 256 - 102, "Error 00102: GfxInit error: "},
      {"dsound.dll!DirectSoundCreate8", 256 - 103, "Error 00103: SfxInit error: "},
      {"dinput8.dll!DirectInput8Create", 256 - 104, "Error 00104: InpKeybInit error: "},
  };
  for (const Row& row : rows) {
    SLChildResult child = SLRunChildTest("AppStartupChild.WithHiddenEntryPoints",
                                         std::string("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SL_HIDE='") + row.hide + "'");
    ASSERT_TRUE(WIFEXITED(child.status)) << child.output;
    EXPECT_EQ(WEXITSTATUS(child.status), row.status) << row.hide << "\n" << child.output;
    const size_t at = child.output.find(row.text);
    ASSERT_NE(at, std::string::npos) << row.hide << "\n" << child.output;
    // Eight hexadecimal digits of the thread's error code, then the line feed.
    const std::string code = child.output.substr(at + std::strlen(row.text), 9);
    EXPECT_EQ(code.find_first_not_of("0123456789ABCDEF"), 8u) << code;
    EXPECT_NE(code.substr(0, 8), "00000000") << row.hide;
    EXPECT_EQ(child.output.find("STARTED"), std::string::npos);
  }
}

// A report without a crash on the way out: the exit handlers that show it must find
// everything they use still standing (a sanitizer build says so on standard error).
void ExpectCleanEnd(const Outcome& outcome, const std::string& what) {
  for (const char* report : {"Sanitizer", "runtime error:", "Segmentation"})
    EXPECT_EQ(outcome.output.find(report), std::string::npos) << what << "\n" << outcome.output;
}

// Where a member's bytes start in a version-3 fast data pack: the directory follows the
// 28-byte header, each entry a UTF-16 name ending in a zero unit, then the offset (8
// bytes), the size (8) and the flags (4). The member's first bytes change what it decodes
// to, while the pack's checksum, which covers only header and directory, still holds.
size_t MemberOffset(const std::string& pack, const std::string& member) {
  std::ifstream in(pack, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < 28 || data[18] != 3) return std::string::npos;
  const u32 count = SLLoadLE32(&data[20]);
  size_t at = 28;
  for (u32 i = 0; i < count && at + 2 <= data.size(); ++i) {
    std::string name;
    for (; at + 2 <= data.size() && (data[at] || data[at + 1]); at += 2) name += data[at];
    at += 2;
    if (at + 20 > data.size()) break;
    if (name == member) return size_t(SLLoadLE64(&data[at]));
    at += 20;
  }
  return std::string::npos;
}

void FlipBytes(const std::string& host, size_t at, size_t count) {
  std::fstream file(host, std::ios::binary | std::ios::in | std::ios::out);
  for (size_t i = at; i < at + count; ++i) {
    file.seekg(std::streamoff(i));
    const int c = file.get();
    file.seekp(std::streamoff(i));
    file.put(char(c ^ 0xA5));
  }
}

// Every damaged start-up file ends the program with its own code and text, the file named
// in the report, and no crash in the teardown that shows it.
TEST(AppStartup, DamagedFilesEndCleanlyWithTheirCodeTextAndFile) {
  ASSERT_TRUE(fs::exists(kContent + "/contentgen.stamp")) << "the content fixture has not run";
  const std::string gfx = kContent + "/Gfx/Gfx.DAT";
  const size_t pointer = MemberOffset(gfx, "Interface/Puntero/puntero_mouse.mximg");
  const size_t welcome = MemberOffset(gfx, "Interface/Bienvenida/Fondo/fondo.mximg");
  const size_t icon = MemberOffset(gfx, "Interface/Iconos Varios/Error.mximg");
  ASSERT_NE(pointer, std::string::npos);
  ASSERT_NE(welcome, std::string::npos);
  ASSERT_NE(icon, std::string::npos);
  enum Kind { kCut, kFlip, kRemove };
  struct Row {
    const char* file;
    Kind kind;
    size_t at;
    int code;
    const char* text;
    const char* named;
  } rows[] = {
      {"Gfx/Gfx.DAT", kCut, 20, 106, "GfxDataStgInit error: ", "Gfx/Gfx.DAT"},
      {"Gfx/Gfx.DAT", kCut, 20000, 106, "GfxDataStgInit error: ", "Gfx/Gfx.DAT"},
      {"Gfx/Gfx.DAT", kCut, 600000, 111, "No puedo cargar im\xc3\xa1genes", "Gfx/Gfx.DAT (Interface/Puntero/"},
      {"Gfx/Gfx.DAT", kCut, pointer + 100, 111, "No puedo cargar im\xc3\xa1genes", "Gfx/Gfx.DAT (Interface/Puntero/"},
      {"Gfx/Gfx.DAT", kFlip, 100, 106, "GfxDataStgInit error: ", "Gfx/Gfx.DAT"},
      {"Gfx/Gfx.DAT", kFlip, pointer, 111, "No puedo cargar im\xc3\xa1genes", "puntero_mouse.mximg)"},
      {"Gfx/Gfx.DAT", kFlip, icon, 301, "No puedo cargar im\xc3\xa1genes", "Gfx/Gfx.DAT (Interface/Iconos Varios/Error"},
      {"Gfx/Gfx.DAT", kFlip, welcome, 601, "No puedo cargar im\xc3\xa1genes", "Gfx/Gfx.DAT"},
      {"Sfx/Sfx.DAT", kCut, 9, 107, "SfxDataStgInit error: ", "Sfx/Sfx.DAT"},
      // The sound pack's checksum covers every byte: any change fails its attach.
      {"Sfx/Sfx.DAT", kFlip, 70000, 107, "SfxDataStgInit error: ", "Sfx/Sfx.DAT"},
      {"Gfx/Skin.DAT", kRemove, 0, 109, "GuiLoadSkin error: ", "Gfx/Skin.DAT"},
      {"Gfx/Skin.DAT", kCut, 4096, 109, "GuiLoadSkin error: ", "Gfx/Skin.DAT"},
      {"Gfx/Letra_8.FNT", kCut, 1000, 301, "No puedo cargar im\xc3\xa1genes", "Gfx/Letra_8.FNT"},
      {"Gfx/Tahoma_8.FNT", kRemove, 0, 301, "No puedo cargar im\xc3\xa1genes", "Gfx/Tahoma_8.FNT"},
      {"Gfx/ComicSans_9B.FNT", kFlip, 0, 301, "No puedo cargar im\xc3\xa1genes", "Gfx/ComicSans_9B.FNT"},
      {"Gfx/ComicSans_11.FNT", kCut, 30, 301, "No puedo cargar im\xc3\xa1genes", "Gfx/ComicSans_11.FNT"},
  };
  for (const Row& row : rows) {
    const std::string what = std::string(row.file) + " at " + std::to_string(row.at);
    std::string code;
    Outcome outcome = RunDamaged(row.file, [&](const TempDir& dir) {
      if (row.kind == kRemove) fs::remove(dir.Host(row.file));
      if (row.kind == kCut) fs::resize_file(dir.Host(row.file), row.at);
      if (row.kind == kFlip) FlipBytes(dir.Host(row.file), row.at, 4);
      code = AttachCode(dir.Host(row.file));
    });
    ExpectAttachCode(outcome.output, row.text, code, what);
    EXPECT_EQ(outcome.status, (256 - row.code % 256) % 256) << what << "\n" << outcome.output;
    char report[64];
    std::snprintf(report, sizeof report, "Error: Error %05d: ", row.code);
    EXPECT_NE(outcome.output.find(report + std::string(row.text)), std::string::npos) << what << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find("Archivo: "), std::string::npos) << what << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(row.named), std::string::npos) << what << "\n" << outcome.output;
    ExpectCleanEnd(outcome, what);
  }
}

// --- The whole run, in a process of its own -------------------------------------------

// Posts a close request to the main window once the quit flag has been set for 30 logic
// ticks, and counts those ticks: the closing screens wait for an advance or a request.
u32 g_ticksAfterQuit = 0;
void CloseSomeTicksAfterQuit(std::uintptr_t) {
  if (!App_IsQuitRequested()) return;
  if (++g_ticksAfterQuit == 30) AppHarness::PostClose(0, 0);
}

// The end of the message pump, as when the system ends the session.
void EndMessagePump(u32, std::uintptr_t) { PostQuitMessage(0); }

// App_WinMain with a script chosen by SL_RUN: "end" ends the message pump during the welcome
// screen; "yes" asks to close the window there and answers "&Si".
TEST(AppRunChild, WholeRun) {
  SL_CHILD_ONLY();
  SLTestRegisterClasses();
  SLPlatformSetProgramFileName(AppHarness::ProgramPath().c_str());
  if (std::string(std::getenv("SL_RUN")) == "end") {
    AppHarness::Later(&EndMessagePump);
  } else {
    AppHarness::Later(&AppHarness::PostClose);
    AppHarness::Later(&AppHarness::AnswerYes, 1001);
  }
  u32 hook = 0;
  ASSERT_TRUE(SL_GS_AddPhaseHook(&hook, SL_GS_PHASE_LOGIC, 0, &CloseSomeTicksAfterQuit, 0));
  const int status = App_WinMain();
  std::printf("WINMAIN %d, %u TICKS AFTER QUIT\n", status, g_ticksAfterQuit);
}

TEST(AppRun, ClosingScreensFollowTheExitPromptButNotTheWindowsEnd) {
  const struct {
    const char* run;
    bool closing;
  } cases[] = {{"end", false}, {"yes", true}};
  for (const auto& c : cases) {
    SLChildResult child = SLRunChildTest("AppRunChild.WholeRun", std::string("SDL_VIDEODRIVER=dummy "
                                                                             "SDL_AUDIODRIVER=dummy SL_DEBUG=1 SL_RUN=") +
                                                                     c.run);
    ASSERT_TRUE(WIFEXITED(child.status)) << child.output;
    EXPECT_EQ(WEXITSTATUS(child.status), 0) << child.output;
    EXPECT_NE(child.output.find("Pantalla: bienvenida"), std::string::npos) << child.output;
    EXPECT_EQ(child.output.find("Pantalla: menu de inicio"), std::string::npos) << child.output;
    EXPECT_EQ(child.output.find("Pantalla: despedida") != std::string::npos, c.closing) << c.run << child.output;
    // The closing pages stay until they are advanced or closed, the quit flag set or not.
    const size_t at = child.output.find("WINMAIN 0, ");
    ASSERT_NE(at, std::string::npos) << child.output;
    const unsigned long ticks = std::stoul(child.output.substr(at + 11));
    if (c.closing)
      EXPECT_GE(ticks, 30u) << child.output;
    else
      EXPECT_EQ(ticks, 0u) << child.output;
  }
}

// --- Screens in this process ---------------------------------------------------------------

using AppScreens = AppScreenTest;
using AppHarness::AnswerByClosing;
using AppHarness::AnswerYes;
using AppHarness::PostClose;

TEST_F(AppScreens, WelcomeAndMenuAnswerTheirButtons) {
  EXPECT_NE(AppCloseButton, nullptr);
  EXPECT_EQ(AppCloseButton->GetWindowRect().x, 768);
  EXPECT_EQ(AppCloseButton->GetWindowRect().y, 10);
  Command(APP_WELCOME_CONTINUE_ID);
  EXPECT_EQ(WelcomeScreen_Run(), 1);
  Command(APP_MENU_HELP_ID);
  Command(APP_MENU_BUILD_ID);
  EXPECT_EQ(MainMenu_Run(), 2);
  EXPECT_NE(std::string(App_Services().help->GetLastTopicString()).find("contenido.htm"), std::string::npos);
  Command(123456);  // unknown ids are dropped
  Command(APP_MENU_PLAY_ID);
  EXPECT_EQ(MainMenu_Run(), 1);
  EXPECT_EQ(App_GuiManager().GetWindowCount(), 1u);  // only the close button outlives the screens
}

TEST_F(AppScreens, ExitPromptEndsTheScreenOnlyWithYes) {
  // "No" (the close answer of style 3) leaves the menu running; the next command ends it.
  Command(APP_CLOSE_BUTTON_ID);
  Later(&AnswerByClosing, 1001);
  Command(APP_MENU_PLAY_ID);
  EXPECT_EQ(MainMenu_Run(), 1);
  EXPECT_FALSE(App_IsQuitRequested());
  EXPECT_EQ(ModalStack_GetDepth(), 0u);

  Command(APP_CLOSE_BUTTON_ID);
  Later(&AnswerYes, 1001);
  EXPECT_EQ(WelcomeScreen_Run(), -1);
  EXPECT_EQ(AppHarness::LastSeen().boxStyle, 3u);
  EXPECT_FALSE(AppHarness::LastSeen().closeEnabled);  // the prompt's level disables the close button
  EXPECT_EQ(AppHarness::LastSeen().depth, 1u);
  EXPECT_TRUE(AppCloseButton->IsEnabled());
  // The flag stays: every later screen ends on its first pass.
  EXPECT_EQ(MainMenu_Run(), -1);
}

TEST_F(AppScreens, CloseRequestWhileThePromptIsOpenIsDropped) {
  Command(APP_CLOSE_BUTTON_ID);
  Later(&PostClose);
  Later([](u32, std::uintptr_t) {});  // a tick in which the request has surely been seen
  Later(&AnswerByClosing, 1001);
  // After the answer, which the closed box posts when it goes.
  Later([](u32, std::uintptr_t) { AppHarness::Command(APP_MENU_PLAY_ID); });
  EXPECT_EQ(MainMenu_Run(), 1);
  EXPECT_EQ(AppEventQueue_Get().GetCount(), 0u);
  // No second prompt was opened, then or after the first closed.
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(TopLevelWithId(1001), nullptr);
  EXPECT_FALSE(App_IsQuitRequested());
}

TEST_F(AppScreens, CloseRequestOpensThePromptAndEndsTheClosingPages) {
  Later(&PostClose);
  Later(&AnswerYes, 1001);
  EXPECT_EQ(MainMenu_Run(), -1);
  EXPECT_EQ(AppHarness::LastSeen().boxStyle, 3u);
  App_ResetFlagsForTest();
  PostClose(0, 0);  // the closing pages take no events: the request comes from the window
  EXPECT_EQ(ExitScreens_Run(), 1);
}

TEST_F(AppScreens, IntroEndsByItselfOrOnCloseAndRestoresTheMode) {
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  EXPECT_EQ(IntroVideo_Play(), 1);
  EXPECT_EQ(gfx->GetWidth(), 800u);
  EXPECT_EQ(gfx->GetHeight(), 600u);
  PostClose(0, 0);
  EXPECT_EQ(IntroVideo_Play(), -1);
  EXPECT_EQ(gfx->GetWidth(), 800u);
}

TEST_F(AppScreens, MessageBoxLaysOutItsLinesAndAnswersOneTickLater) {
  CMyMsgBoxDialog* box = MsgBox_ShowWithCallback(0, 3, nullptr, 0, "uno\n\ndos", "Prueba", 77,
                                                 AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
  ASSERT_NE(box, nullptr);
  CSL_GS_GuiManager& m = App_GuiManager();
  ASSERT_NE(m.FindChildById(box, 113), nullptr);
  EXPECT_STREQ(m.FindChildById(box, 112)->GetText(), "");
  EXPECT_STREQ(m.FindChildById(box, 113)->GetText(), "dos");
  EXPECT_EQ(m.FindChildById(box, 114), nullptr);
  EXPECT_NE(m.FindChildById(box, MSGBOX_YES), nullptr);
  EXPECT_NE(m.FindChildById(box, MSGBOX_NO), nullptr);
  // The icon is drawn where its label stands: hiding the label changes those pixels.
  CSL_GS_GuiWindow* icon = m.FindChildById(box, MSGBOX_ICON_ID);
  ASSERT_NE(icon, nullptr);
  i32 ix = 0, iy = 0, iw = 0, ih = 0;
  ASSERT_TRUE(icon->GetScreenRect(&ix, &iy, &iw, &ih));
  ASSERT_GT(iw, 0);
  const std::string withIcon = AppHarness::GuiCrop(0xFF000000, ix, iy, iw, ih);
  icon->Show(false);
  EXPECT_NE(withIcon, AppHarness::GuiCrop(0xFF000000, ix, iy, iw, ih));
  icon->Show(true);
  EXPECT_TRUE(AppCloseButton->IsEnabled());  // begun with 0
  box->OnClose();                            // style 3: "No"
  EXPECT_FALSE(m.IsRegistered(box));
  AppEvent event;
  ASSERT_TRUE(AppEventQueue_Take(&event));
  EXPECT_EQ(event.type, APP_EVENT_DEFERRED_CALL);
  EXPECT_EQ(reinterpret_cast<DeferredCall*>(event.data)->answer, MSGBOX_NO);
  AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
  SL_EXPECT_FAIL(MsgBox_Show("t", "x", 7, 1, nullptr, nullptr), SL_E_INVALID_ARG);
  // What a close request answers for each style (none outside 1..6).
  const u32 closeAnswers[8] = {0, MSGBOX_ACCEPT, MSGBOX_CANCEL, MSGBOX_NO, MSGBOX_CANCEL, MSGBOX_ABORT, MSGBOX_ABORT, 0};
  for (u32 style = 0; style < 8; ++style) EXPECT_EQ(MsgBox_CloseAnswer(style), closeAnswers[style]) << style;
}

}  // namespace
