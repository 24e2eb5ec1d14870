// The microphone recorder with SDL's disk driver as the microphone: a raw file of known
// samples is what it hears. What it writes, when it stops by itself, what a full disk
// and a failing rename leave behind, how it asks before replacing a recording, and how
// copies of the program recording on one folder keep apart.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/dialogs/AudioChooserRows.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/ProjectDialogs.h"
#include "app/dialogs/Recorder.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLString.h"
#include "storage/SLFileReplacement.h"
#include "tests/support/AudioDialogsFixture.h"
#include "app/media/CMyVIS_arVI.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TestSupport.h"
#include "tests/foundation/ChildProcess.h"

using namespace AudioTest;

namespace {

constexpr u32 kSecond = 44100;  // bytes of one second at 22,050 Hz, 16-bit mono
const std::string kTemporary = "Sfx/Grabadas/Grabaci\xc3\xb3n.TMP";
// The voice each child process hears (SL_RECORDER_VOICE picks one); the test's own is 12345.
constexpr u32 kChildVoices[] = {1001, 2002, 3003};

// Ten seconds of a known, never silent signal.
std::string Voice(u32 seed) {
  std::string voice(10 * kSecond, '\0');
  u32 state = seed;
  for (size_t i = 0; i < voice.size(); i += 2) {
    state = state * 1103515245u + 12345u;
    SLStoreLE16(&voice[i], u16((state >> 16) | 1));
  }
  return voice;
}

std::string& Input() {
  static std::string input;
  return input;
}

u32 VoiceOfThisProcess() {
  const char* child = std::getenv("SL_RECORDER_VOICE");
  return child ? kChildVoices[child[0] - '0'] : 12345;
}

// Marks reached by the copies of the program that one test runs at once, beside the
// program folder they share.
void Mark(const std::string& mark) { std::ofstream(Host("../" + mark)) << mark; }
bool AwaitMark(const std::string& mark) {
  for (int wait = 0; wait < 6000 && !fs::exists(Host("../" + mark)); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return fs::exists(Host("../" + mark));
}

std::string Read(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& relative) { return std::filesystem::exists(Host(relative)); }

// Takes the queued events and runs the deferred calls among them (the box answers).
void RunQueued() {
  AppEvent event;
  while (AppEventQueue_Take(&event))
    if (event.type == APP_EVENT_DEFERRED_CALL) AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(event.data));
}

class Recorder : public AudioDialogsTest {
 protected:
  static void SetUpTestSuite() {
    Input() = Voice(VoiceOfThisProcess());
    UseDiskMicrophone(Input(), "slrecorder-in.raw");
    AudioDialogsTest::SetUpTestSuite();
  }

  void SetUp() override {
    AudioDialogsTest::SetUp();
    chooser = ChooseAudioFileDialog_Show(&OnChosen, 8);
    chooser->OnCommand(chooser, AUDIO_MIC_ID);
    dialog = static_cast<CMyMicRecorderDialog*>(AppHarness::TopLevelWithId(RECORDER_ID));
    ASSERT_NE(dialog, nullptr);
  }

  std::string Status() { return Child(dialog, RECORDER_STATUS_ID)->GetText(); }
  // Starts a recording that stops by itself after `bytes` of samples.
  void StartRecording(u64 bytes) {
    dialog->dataLimit = bytes;
    dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
    ASSERT_EQ(Status(), "Grabando...");
  }
  // Records until the dialog stops by itself after `bytes` of samples.
  void RecordBytes(u64 bytes) {
    ASSERT_NO_FATAL_FAILURE(StartRecording(bytes));
    ASSERT_TRUE(PumpUntil([&] { return Visible(dialog, RECORDER_RECORD_ID); }));
  }
  void Accept() { dialog->OnCommand(Child(dialog, 1), 1); }
  void Name(const char* name) { ASSERT_TRUE(Child(dialog, RECORDER_NAME_ID)->SetText(name)); }
  std::vector<std::string> BoxLines() {
    std::vector<std::string> lines;
    CSL_GS_GuiWindow* box = AppHarness::TopLevelWithId(RECORDER_BOX_ID);
    for (u32 id = MSGBOX_FIRST_LINE_ID; box; ++id) {
      CSL_GS_GuiWindow* line = Child(box, id);
      if (!line) break;
      lines.push_back(line->GetText());
    }
    return lines;
  }
  // The box's lines joined by spaces (a long folder may wrap), the empty ones left out.
  std::string BoxText() {
    std::string text;
    for (const std::string& line : BoxLines())
      if (!line.empty()) text += (text.empty() ? "" : " ") + line;
    return text;
  }
  void Answer(u32 answer) {
    auto* box = static_cast<CMyMsgBoxDialog*>(AppHarness::TopLevelWithId(RECORDER_BOX_ID));
    ASSERT_NE(box, nullptr);
    box->OnCommand(box, answer);
    RunQueued();
  }

  CMyGameChooseAudioFileDialog* chooser = nullptr;
  CMyMicRecorderDialog* dialog = nullptr;
};

}  // namespace

TEST_F(Recorder, OneSecondMakesAWaveOtherProgramsRead) {
  EXPECT_EQ(Status(), "No se ha grabado nada a\xfan");
  EXPECT_FALSE(Enabled(dialog, 1) || Enabled(dialog, RECORDER_PLAY_ID));
  RecordBytes(kSecond);
  EXPECT_EQ(Status(), "Audio grabado en forma satisfactoria");
  EXPECT_TRUE(Enabled(dialog, 1) && Enabled(dialog, RECORDER_PLAY_ID));
  const std::string wave = Read(Host(kTemporary));
  ASSERT_EQ(wave.size(), 44u + kSecond);
  EXPECT_EQ(wave.compare(0, 4, "RIFF"), 0);
  EXPECT_EQ(SLLoadLE32(&wave[4]), 44136u);
  EXPECT_EQ(SLLoadLE32(&wave[40]), 44100u);
  EXPECT_EQ(wave.substr(44), Input().substr(0, kSecond));
  const std::string python = SLTestRunPython(
      "import wave\n"
      "w = wave.open('" + Host(kTemporary) + "')\n"
      "print(w.getframerate(), w.getnchannels(), w.getsampwidth(), w.getnframes())\n");
  EXPECT_EQ(python, "22050 1 2 22050\n");

  // Played back, then kept under its name; the chooser closes with it.
  dialog->OnCommand(Child(dialog, RECORDER_PLAY_ID), RECORDER_PLAY_ID);
  EXPECT_TRUE(Visible(dialog, RECORDER_STOP_PLAYING_ID));
  EXPECT_FALSE(Enabled(dialog, RECORDER_RECORD_ID));
  Name("Prueba uno");
  dialog->OnCommand(Child(dialog, 1), 1);
  EXPECT_EQ(AppHarness::TopLevelWithId(RECORDER_ID), nullptr);
  EXPECT_EQ(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), nullptr);
  ASSERT_EQ(Results().size(), 1u);
  EXPECT_EQ(Results()[0].kind, 8u);
  EXPECT_EQ(Results()[0].name, std::string("*") + App_ProgramDirectory() + "Sfx\\Grabadas\\Prueba uno.WAV");
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Prueba uno.WAV")), wave);
  EXPECT_FALSE(Exists(kTemporary));
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  std::filesystem::remove(Host("Sfx/Grabadas/Prueba uno.WAV"));
}

TEST_F(Recorder, StopWithoutRecordingAndAcceptWithoutNameDoNothingHarmful) {
  dialog->OnCommand(dialog, RECORDER_STOP_RECORDING_ID);
  EXPECT_EQ(Status(), "No se ha grabado nada a\xfan");
  EXPECT_FALSE(Exists(kTemporary));
  dialog->OnCommand(dialog, 1);  // nothing recorded: no question, no box
  EXPECT_EQ(AppHarness::TopLevelWithId(RECORDER_BOX_ID), nullptr);
  RecordBytes(4410);
  dialog->OnCommand(dialog, 1);
  EXPECT_EQ(BoxLines(), std::vector<std::string>{"Debes ingresar el nombre del archivo de audio"});
  Answer(MSGBOX_ACCEPT);
  EXPECT_EQ(App_GuiManager().GetFocusWindow(), Child(dialog, RECORDER_NAME_ID));
  EXPECT_TRUE(Exists(kTemporary));
}

TEST_F(Recorder, AsksBeforeReplacingARecordingOnTwoLines) {
  const std::string old = Read(Host("Sfx/Grabadas/Mi voz.WAV"));
  ASSERT_FALSE(old.empty());
  RecordBytes(4410);
  Name("Mi voz");
  dialog->OnCommand(Child(dialog, 1), 1);
  const std::vector<std::string> lines = BoxLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Ya existe un archivo con ese nombre.");
  EXPECT_EQ(lines.back(), "\xbf" "Desea sobreescribirlo?");
  for (const std::string& line : lines) EXPECT_EQ(line.find('\r'), std::string::npos);
  // "No" leaves everything as it was.
  Answer(MSGBOX_NO);
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Mi voz.WAV")), old);
  EXPECT_TRUE(Exists(kTemporary));
  EXPECT_NE(AppHarness::TopLevelWithId(RECORDER_ID), nullptr);
  // "Si" replaces it.
  const std::string recording = Read(Host(kTemporary));
  dialog->OnCommand(Child(dialog, 1), 1);
  Answer(MSGBOX_YES);
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Mi voz.WAV")), recording);
  EXPECT_FALSE(Exists(kTemporary));
  ASSERT_EQ(Results().size(), 1u);
  EXPECT_EQ(Results()[0].kind, 8u);
  std::ofstream(Host("Sfx/Grabadas/Mi voz.WAV"), std::ios::binary) << old;
}

TEST_F(Recorder, AFailingRenameKeepsTheOldRecordingAndTheNewOne) {
  const std::string old = Read(Host("Sfx/Grabadas/Mi voz.WAV"));
  RecordBytes(4410);
  const std::string recording = Read(Host(kTemporary));
  Name("Mi voz");
  SLPlatformHideExport("kernel32.dll", "MoveFileExW", true);
  dialog->OnCommand(Child(dialog, 1), 1);
  Answer(MSGBOX_YES);
  SLPlatformHideExport("kernel32.dll", "MoveFileExW", false);
  const std::vector<std::string> lines = BoxLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "No puedo crear el archivo de audio.");
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Mi voz.WAV")), old);
  EXPECT_EQ(Read(Host(kTemporary)), recording);
  Answer(MSGBOX_ACCEPT);
  EXPECT_EQ(App_GuiManager().GetFocusWindow(), Child(dialog, RECORDER_NAME_ID));
  EXPECT_TRUE(Results().empty());
}

TEST_F(Recorder, AFullDiskEndsTheRecordingWithinATick) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  sigaction(SIGXFSZ, &ignore, &before);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 44 + 8000;  // the disk is full a fifth of a second in
  setrlimit(RLIMIT_FSIZE, &small);
  dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  EXPECT_EQ(Status(), "Grabando...");
  const bool ended = PumpUntil([&] { return dialog->writeFailed.load() != 0; }, 10000);
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &before, nullptr);
  ASSERT_TRUE(ended);
  // The next run of timer 1 stops the recording.
  ASSERT_TRUE(PumpUntil([&] { return Visible(dialog, RECORDER_RECORD_ID); }, 400));
  EXPECT_EQ(Status(), "Error al grabar audio");
  EXPECT_FALSE(Exists(kTemporary));
  EXPECT_FALSE(Enabled(dialog, 1) || Enabled(dialog, RECORDER_PLAY_ID));
}

// A file-size limit (ulimit -f) in a process started with SIGXFSZ at its default: a
// recording whose header does not fit cannot start, one that reaches the limit ends, both
// say the disk had no room, the process lives on, the earlier recording stays byte for
// byte and no temporary file is left; with the limit lifted a recording is made again.
TEST_F(Recorder, ChildRecordsAtTheFileSizeLimit) {
  SL_CHILD_ONLY();
  const std::string old = Read(Host("Sfx/Grabadas/Mi voz.WAV"));
  ASSERT_FALSE(old.empty());
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;

  small.rlim_cur = 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  setrlimit(RLIMIT_FSIZE, &before);
  std::vector<std::string> lines = BoxLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "No puedo comenzar la grabaci\xf3n");
  EXPECT_EQ(lines.back(), "No hay espacio suficiente en el disco.");
  EXPECT_FALSE(Exists(kTemporary));
  EXPECT_TRUE(Visible(dialog, RECORDER_RECORD_ID));
  Answer(MSGBOX_ACCEPT);

  small.rlim_cur = 44 + 8000;  // a fifth of a second in
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  EXPECT_EQ(Status(), "Grabando...");
  const bool ended = PumpUntil([&] { return dialog->writeFailed.load() != 0; }, 10000);
  setrlimit(RLIMIT_FSIZE, &before);
  ASSERT_TRUE(ended);
  ASSERT_TRUE(PumpUntil([&] { return Visible(dialog, RECORDER_RECORD_ID); }, 400));
  EXPECT_EQ(Status(), "Error al grabar audio");
  lines = BoxLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "Error al grabar audio");
  EXPECT_EQ(lines.back(), "No hay espacio suficiente en el disco.");
  EXPECT_FALSE(Exists(kTemporary));
  EXPECT_FALSE(Enabled(dialog, 1) || Enabled(dialog, RECORDER_PLAY_ID));
  Answer(MSGBOX_ACCEPT);
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Mi voz.WAV")), old);

  RecordBytes(4410);
  EXPECT_EQ(Status(), "Audio grabado en forma satisfactoria");
  Name("Sin limite");
  dialog->OnCommand(Child(dialog, 1), 1);
  ASSERT_EQ(Results().size(), 1u);
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Sin limite.WAV")).size(), 44u + 4410u);
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Mi voz.WAV")), old);
  if (!HasFailure()) SL_CHILD_DONE();
}

TEST_F(Recorder, PastTheFileSizeLimitARecordingSaysTheDiskIsFull) {
  SL_EXPECT_CHILD_PASSES("Recorder.ChildRecordsAtTheFileSizeLimit", "env --default-signal=XFSZ");
}

TEST_F(Recorder, CancelAfterRecordingLeavesNothingAndTheChooserOpen) {
  RecordBytes(4410);
  ASSERT_TRUE(Exists(kTemporary));
  dialog->OnCommand(dialog, 2);
  EXPECT_FALSE(Exists(kTemporary));
  EXPECT_EQ(AppHarness::TopLevelWithId(RECORDER_ID), nullptr);
  EXPECT_EQ(AppHarness::TopLevelWithId(AUDIO_CHOOSER_ID), chooser);
  EXPECT_EQ(chooser->selected, AUDIO_NO_SELECTION);
  EXPECT_TRUE(Results().empty());
  EXPECT_EQ(ModalStack_GetDepth(), 1u);
}

TEST_F(Recorder, ARecordingThatCannotStartSaysSo) {
  // The temporary file cannot be made: folders have every name it may take.
  std::vector<std::string> names;
  for (u32 n = 1; n <= SL_CLAIM_NAMES; ++n) {
    names.push_back(n == 1 ? kTemporary : "Sfx/Grabadas/Grabaci\xc3\xb3n." + std::to_string(n) + ".TMP");
    ASSERT_TRUE(fs::create_directory(Host(names.back())));
  }
  dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  EXPECT_EQ(BoxLines(), std::vector<std::string>{"No puedo comenzar la grabaci\xf3n"});
  EXPECT_TRUE(Visible(dialog, RECORDER_RECORD_ID));
  EXPECT_EQ(dialog->capture, nullptr);
  Answer(MSGBOX_ACCEPT);
  // With one name free the recording goes there, past the folders, which stay.
  ASSERT_TRUE(fs::remove(Host(names[6])));
  RecordBytes(4410);
  EXPECT_EQ(Status(), "Audio grabado en forma satisfactoria");
  EXPECT_EQ(fs::file_size(Host(names[6])), 44u + 4410u);
  dialog->OnCommand(dialog, 2);
  EXPECT_FALSE(Exists(names[6]));
  for (const std::string& name : names) {
    if (name != names[6]) {
      EXPECT_TRUE(fs::is_directory(Host(name)) && fs::remove(Host(name))) << name;
    }
  }
}

// A recordings folder the family may not write in, or one that is gone: the box says so
// under its own line and names the folder. With the folder back, recording works.
TEST_F(Recorder, ARecordingThatCannotStartNamesAFolderClosedOrGone) {
  const std::string folder = Host("Sfx/Grabadas");
  // The folders on the way, the microphone's among them, open to an ordinary user.
  for (const fs::path& path : {fs::path(ProgramDir()).parent_path(), fs::path(std::getenv("SDL_DISKAUDIOFILEIN")).parent_path()})
    ASSERT_EQ(chmod(path.c_str(), 0755), 0) << path;
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  {
    SLTestAsOrdinaryUser user;
    ASSERT_TRUE(user.Active());
    dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  }
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  EXPECT_EQ(BoxText(), "No puedo comenzar la grabaci\xf3n No puedo escribir en la carpeta de grabaciones: " + folder);
  EXPECT_EQ(dialog->capture, nullptr);
  Answer(MSGBOX_ACCEPT);

  fs::rename(folder, Host("Sfx/Grabadas aparte"));
  dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  EXPECT_EQ(BoxText(), "No puedo comenzar la grabaci\xf3n No encuentro la carpeta de grabaciones: " + folder);
  EXPECT_TRUE(Visible(dialog, RECORDER_RECORD_ID));
  Answer(MSGBOX_ACCEPT);
  EXPECT_FALSE(fs::exists(folder));

  fs::rename(Host("Sfx/Grabadas aparte"), folder);
  RecordBytes(4410);
  EXPECT_EQ(Status(), "Audio grabado en forma satisfactoria");
}

// The family's folder renamed while a child records (the program follows its own file
// there): the recording is kept under the child's name in the renamed folder.
TEST_F(Recorder, ARecordingFollowsTheFamilysFolderWhenItIsRenamed) {
  const std::string folder = ProgramDir(), moved = folder + "-movido";
  ASSERT_NO_FATAL_FAILURE(StartRecording(4410));
  fs::rename(folder, moved);
  SLPlatformSetProgramFileName((moved + "/Zarandulvortequimbaplastelo").c_str());
  ProgramDir() = moved;
  ASSERT_TRUE(PumpUntil([&] { return Visible(dialog, RECORDER_RECORD_ID); }));
  EXPECT_EQ(Status(), "Audio grabado en forma satisfactoria");
  Name("Mudanza");
  Accept();
  EXPECT_EQ(AppHarness::TopLevelWithId(RECORDER_BOX_ID), nullptr) << BoxText();
  EXPECT_EQ(fs::file_size(Host("Sfx/Grabadas/Mudanza.WAV")), 44u + 4410u);
  EXPECT_EQ(RecorderTemporaries(), std::vector<std::string>{});
  ASSERT_EQ(Results().size(), 1u);
  fs::remove(Host("Sfx/Grabadas/Mudanza.WAV"));
  fs::rename(moved, folder);
  SLPlatformSetProgramFileName((folder + "/Zarandulvortequimbaplastelo").c_str());
  ProgramDir() = folder;
}

// The recording's file removed by hand, or another file put under its name (another
// recorder's), before "Aceptar": the child is told, nothing is kept under the chosen
// name, and what now has the temporary's name stays as it is.
TEST_F(Recorder, ARecordingWhoseFileWentIsNeverKeptInSilence) {
  for (const bool replaced : {false, true}) {
    SCOPED_TRACE(replaced ? "replaced" : "removed");
    RecordBytes(4410);
    ASSERT_TRUE(fs::remove(Host(kTemporary)));
    if (replaced) std::ofstream(Host(kTemporary), std::ios::binary) << "de otra grabadora";
    Name("Perdida");
    Accept();
    const std::vector<std::string> lines = BoxLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "No puedo crear el archivo de audio.");
    EXPECT_EQ(Status(), "Error al grabar audio");
    EXPECT_FALSE(Enabled(dialog, 1) || Enabled(dialog, RECORDER_PLAY_ID));
    EXPECT_FALSE(Exists("Sfx/Grabadas/Perdida.WAV"));
    Answer(MSGBOX_ACCEPT);
    EXPECT_TRUE(Results().empty());
  }
  // Leaving the dialog leaves the other recorder's file too.
  dialog->OnCommand(dialog, 2);
  EXPECT_EQ(Read(Host(kTemporary)), "de otra grabadora");
  fs::remove(Host(kTemporary));
}

// One of two copies of the program recording at once on one folder, each hearing its own
// voice. The second copy records while the first one's recording runs, drops that
// recording ("Cancelar") and records again; the first one stops only after that drop.
// Each keeps its recording under its own name.
TEST_F(Recorder, ChildRecordsBesideAnother) {
  SL_CHILD_ONLY();
  const std::string variant = std::getenv("SL_RECORDER_VOICE"), other = variant == "0" ? "1" : "0";
  ASSERT_NO_FATAL_FAILURE(StartRecording(kSecond));
  Mark("grabando-" + variant);
  ASSERT_TRUE(AwaitMark("grabando-" + other));
  if (variant == "1") {
    dialog->OnCommand(dialog, 2);
    ASSERT_EQ(AppHarness::TopLevelWithId(RECORDER_ID), nullptr);
    chooser->OnCommand(chooser, AUDIO_MIC_ID);
    dialog = static_cast<CMyMicRecorderDialog*>(AppHarness::TopLevelWithId(RECORDER_ID));
    ASSERT_NE(dialog, nullptr);
    ASSERT_NO_FATAL_FAILURE(StartRecording(kSecond));
    Mark("descartada");
  } else {
    ASSERT_TRUE(AwaitMark("descartada"));
  }
  ASSERT_TRUE(PumpUntil([&] { return Visible(dialog, RECORDER_RECORD_ID); }));
  EXPECT_EQ(Status(), "Audio grabado en forma satisfactoria");
  Name(variant == "0" ? "Uno" : "Dos");
  Accept();
  EXPECT_EQ(Results().size(), 1u);
  if (!HasFailure()) SL_CHILD_DONE();
}

TEST_F(Recorder, TwoProgramsRecordingAtOnceKeepEachTheirOwnVoice) {
  SLExpectTwoChildrenPassAtOnce("Recorder.ChildRecordsBesideAnother", SharedProgramEnvironment() + " SL_RECORDER_VOICE=");
  const char* names[2] = {"Uno", "Dos"};
  for (u32 variant : {0u, 1u}) {
    SCOPED_TRACE(names[variant]);
    const std::string saved = "Sfx/Grabadas/" + std::string(names[variant]) + ".WAV";
    const std::string wave = Read(Host(saved));
    ASSERT_EQ(wave.size(), 44u + kSecond);
    EXPECT_EQ(SLLoadLE32(&wave[4]), 44136u);
    EXPECT_EQ(SLLoadLE32(&wave[40]), 44100u);
    EXPECT_TRUE(wave.substr(44) == Voice(kChildVoices[variant]).substr(0, kSecond));
    fs::remove(Host(saved));
  }
  EXPECT_EQ(RecorderTemporaries(), std::vector<std::string>{});
  for (const char* mark : {"grabando-0", "grabando-1", "descartada"}) fs::remove(Host(std::string("../") + mark));
}

// A copy of the program killed (SIGKILL) halfway through a recording.
TEST_F(Recorder, ChildIsKilledWhileRecording) {
  SL_CHILD_ONLY();
  ASSERT_NO_FATAL_FAILURE(StartRecording(10 * kSecond));
  ASSERT_TRUE(PumpUntil([&] { return dialog->dataBytes.load() >= 4410; }));
  kill(getpid(), SIGKILL);
}

TEST_F(Recorder, AKilledRecordersTemporaryIsTakenOverByTheNext) {
  const SLChildResult killed =
      SLRunChildTest("Recorder.ChildIsKilledWhileRecording", SharedProgramEnvironment() + " SL_RECORDER_VOICE=2");
  ASSERT_TRUE(Exists(kTemporary)) << killed.output;
  ASSERT_GE(fs::file_size(Host(kTemporary)), 44u + 4410u);
  RecordBytes(4410);
  EXPECT_EQ(RecorderTemporaries(), std::vector<std::string>{"Grabaci\xc3\xb3n.TMP"});
  const std::string wave = Read(Host(kTemporary));
  ASSERT_EQ(wave.size(), 44u + 4410u);
  EXPECT_EQ(wave.substr(44), Input().substr(0, 4410));
  Name("Tras el corte");
  Accept();
  ASSERT_EQ(Results().size(), 1u);
  EXPECT_EQ(Read(Host("Sfx/Grabadas/Tras el corte.WAV")), wave);
  EXPECT_EQ(RecorderTemporaries(), std::vector<std::string>{});
  fs::remove(Host("Sfx/Grabadas/Tras el corte.WAV"));
}

TEST_F(Recorder, AMissingMicrophoneIsNamed) {
  // The disk driver's microphone reads a file: without it the capture device cannot open.
  const std::string input = std::getenv("SDL_DISKAUDIOFILEIN");
  setenv("SDL_DISKAUDIOFILEIN", "/nonexistent/slrecorder-in.raw", 1);
  dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID);
  setenv("SDL_DISKAUDIOFILEIN", input.c_str(), 1);
  EXPECT_EQ(BoxLines(), std::vector<std::string>{"No se encontr\xf3 un micr\xf3" "fono"});
  EXPECT_FALSE(Exists(kTemporary));
  EXPECT_TRUE(Visible(dialog, RECORDER_RECORD_ID));
  EXPECT_EQ(dialog->capture, nullptr);
  Answer(MSGBOX_ACCEPT);
  // With the microphone back, recording works again.
  RecordBytes(4410);
  EXPECT_TRUE(Exists(kTemporary));
}

TEST_F(Recorder, TheNameTakesOnlyTheAllowedCharacters) {
  CSL_GS_GuiWindow* edit = Child(dialog, RECORDER_NAME_ID);
  App_GuiManager().SetFocus(edit);
  for (u32 c : {u32('M'), u32('i'), u32(' '), u32('/'), u32('*'), u32(0xF1), u32('?'), u32('\\'), u32('-'), u32('9')})
    edit->OnChar(c);
  EXPECT_STREQ(edit->GetText(), "Mi \xf1-9");
  edit->SetText("Hola: <Mundo>.wav");
  EXPECT_STREQ(edit->GetText(), "Hola Mundowav");
  edit->SetText("1234567890123456789012345678901234567890");
  EXPECT_EQ(std::strlen(edit->GetText()), 30u);
  struct {
    u32 character;
    bool typed;
  } cases[] = {{'a', true},  {'Z', true},   {0xD1, true}, {0xFC, true},  {'.', false},
               {':', false}, {0xE0, false}, {8, true},    {' ', true},   {0x100, false}};
  for (const auto& c : cases) EXPECT_EQ(ProjectName_AcceptsTyped(c.character), c.typed) << c.character;
}
