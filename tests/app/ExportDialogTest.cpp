// The movie export, headless: movies built here are exported through the dialog, driven
// by its events inside the program's screen loop as the editor drives it, and the files
// are read back with ffprobe and ffmpeg.
#include "app/dialogs/ExportDialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/screens/ScreenLoop.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "foundation/SLStr.h"
#include "tests/support/AppHarness.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr u32 kStepEvent = APP_EVENT_EXPORT_STEP;

// What one export run saw.
struct ExportRun {
  CMyExportVideoDialog* dialog = nullptr;
  std::vector<u32> rendered;  // the frames the steps rendered, in order
  std::string outputPath;
  std::string finalLabel;  // label 101 when the export finished
  std::string errorText;   // the error box's lines, joined
  bool dialogUnderBox = false;
  u32 closes = 0;  // events of the type with data 0
  u32 ticks = 0;
  u32 finishedTicks = 0;
  u32 errorTicks = 0;
};
ExportRun* g_run = nullptr;

std::string BoxText(CSL_GS_GuiWindow* box) {
  std::string text;
  CSL_GS_GuiManager& m = App_GuiManager();
  for (u32 id = MSGBOX_FIRST_LINE_ID; CSL_GS_GuiWindow* line = m.FindChildById(box, id); ++id)
    text += std::string(text.empty() ? "" : " ") + line->GetText();
  return text;
}

// The driver the editor is: one step per event of the type; the data-0 event ends it.
void OnEvent(AppScreen* screen, const AppEvent& event) {
  if (event.type != kStepEvent) return;
  ExportRun& run = *g_run;
  if (event.data == 0) {
    ++run.closes;
  } else if (run.dialog->tickCount == 4 && !run.dialog->failed && !run.dialog->finished) {
    run.rendered.push_back(run.dialog->currentFrame);
  }
  if (ExportVideoDialog_HandleEvent(event.type, event.data)) screen->result = 1;
}

// The user: accepts an error box; reads the label of a finished export and closes it.
void OnTick(AppScreen* screen) {
  ExportRun& run = *g_run;
  if (++run.ticks > 60 * 120) screen->result = 2;  // a broken export never ends
  if (CSL_GS_GuiWindow* box = AppHarness::TopLevelWithId(EXPORT_ERROR_BOX_ID)) {
    run.errorText = BoxText(box);
    run.dialogUnderBox = AppHarness::TopLevelWithId(EXPORT_DIALOG_ID) != nullptr;
    if (++run.errorTicks <= 3) return;  // shown for a few frames (SL_SCREENSHOT_DIR keeps one)
    static u32 shots = 0;
    if (const char* dir = getenv("SL_SCREENSHOT_DIR"))
      App_Services().gfx->SaveScreenshotToFile(
          (std::string(dir) + "/exportar-error-" + std::to_string(++shots) + ".bmp").c_str());
    box->OnCommand(box, MSGBOX_ACCEPT);
  } else if (AppHarness::TopLevelWithId(EXPORT_DIALOG_ID) && run.dialog->finished && run.finalLabel.empty() &&
             ++run.finishedTicks > 3) {
    // A few frames show the finished dialog first (SL_SCREENSHOT_DIR keeps a picture of it).
    if (const char* dir = getenv("SL_SCREENSHOT_DIR"))
      App_Services().gfx->SaveScreenshotToFile((std::string(dir) + "/exportar-terminado.bmp").c_str());
    run.finalLabel = App_GuiManager().FindChildById(run.dialog, EXPORT_LABEL_ID)->GetText();
    CSL_GS_GuiWindow* button = App_GuiManager().FindChildById(run.dialog, EXPORT_CANCEL_ID);
    EXPECT_STREQ(button->GetText(), "&Cerrar");
    run.dialog->OnCommand(button, EXPORT_CANCEL_ID);
  }
}

ExportRun Export() {
  ExportRun run;
  g_run = &run;
  run.dialog = ExportVideoDialog_Show(kStepEvent);
  if (!run.dialog) return run;
  run.outputPath = run.dialog->outputPath;
  AppEventQueue_PostEvent(kStepEvent, reinterpret_cast<std::uintptr_t>(run.dialog));
  AppScreen screen{"exportar", nullptr, true, nullptr, &OnEvent, &OnTick, nullptr, nullptr, 0};
  EXPECT_EQ(AppScreen_Run(&screen), 1);
  g_run = nullptr;
  return run;
}

std::string Probe(const std::string& path, const std::string& what) {
  return SLTestCapture("ffprobe -v error " + what + " -of flat '" + path + "'");
}

// The host name of an 8-bit path the program built ("\" separators, Windows-1252).
std::string HostOf(const std::string& programPath) {
  std::string host;
  for (char c : programPath) {
    if (c == '\\')
      host += '/';
    else if (static_cast<unsigned char>(c) >= 0x80)
      host += char(0xC0 | static_cast<unsigned char>(c) >> 6), host += char(0x80 | (c & 0x3F));
    else
      host += c;
  }
  return host;
}

class ExportDialogTest : public AppScreenTest {
 protected:
  void SetUp() override {
    AppScreenTest::SetUp();
    if (const char* home = getenv("HOME")) savedHome_ = home;
    setenv("HOME", home_.Host().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::create_directories(home_.Host(".config"));
    std::ofstream(home_.Host(".config/user-dirs.dirs")) << "XDG_VIDEOS_DIR=\"$HOME/V\xC3\xAD" "deos\"\n";
    CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
    red_ = MovieCatalog::AddBackground(gfx, "a-rojo", [](i32, i32) { return u8(128); },
                                       MovieCatalog::Solid(gfx, 664, 372, 0, 0, 0xFFD01010));
    green_ = MovieCatalog::AddBackground(gfx, "b-verde", [](i32, i32) { return u8(128); },
                                         MovieCatalog::Solid(gfx, 664, 372, 0, 0, 0xFF10C010));
  }
  void TearDown() override {
    Movie_Clear(Movie_Get());
    MovieCatalog::Free();
    AppHarness::DrainQueue();
    setenv("HOME", savedHome_.c_str(), 1);
    AppScreenTest::TearDown();
  }
  // A movie of scenes of these lengths, alternately red and green.
  Movie* Build(const std::vector<u32>& lengths, const char* name = "Peli") {
    Movie* movie = Movie_Get();
    Movie_Clear(movie);
    movie->name = name ? SLStrDupA(name, false) : nullptr;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      Scene* scene = Movie_AppendScene(movie);
      scene->length = lengths[i];
      scene->background = i % 2 ? green_ : red_;
    }
    movie->modified = 0;
    return movie;
  }
  // A 44,100 Hz stereo tone of `seconds` from the movie's first frame.
  void AddEffect(double seconds) {
    const std::string wav = home_.Host("efecto.wav");
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + std::to_string(seconds) +
                           " sine 440 vol 0.5 2>/dev/null")
                              .c_str()),
              0);
    Scene* scene = Movie_SceneAt(Movie_Get(), 0);
    SoundItem* item = SoundItem_Append(scene);
    ASSERT_TRUE(SoundItem_AttachDevices(item));
    item->fileName = ("*" + wav).c_str();
    ASSERT_TRUE(SoundItem_OpenFile(item));
    item->startFrame = 0, item->endFrame = scene->length;
  }
  std::string VideoFolder() const { return home_.Host("V\xC3\xAD" "deos"); }

  TempDir home_;
  std::string savedHome_;
  i32 red_ = -1, green_ = -1;
};

bool HaveFfmpeg() { return std::system("command -v ffprobe >/dev/null && command -v ffmpeg >/dev/null") == 0; }

// The names in a folder, hidden ones too, sorted.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

constexpr char kEarlier[] = "the video of the export before, byte for byte";

}  // namespace

TEST_F(ExportDialogTest, MoviesBecomeFilesOfEveryFourthFrameAndTheirWholeSound) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffprobe and ffmpeg read the files";
  const struct {
    std::vector<u32> scenes;
    std::vector<u32> rendered;
  } cases[] = {
      {{10}, {0, 4, 8, 10}},
      {{70, 60}, {}},  // 0, 4, ..., 124, 128, then 130
  };
  for (const auto& c : cases) {
    Movie* movie = Build(c.scenes);
    AddEffect(0.1);
    u32 length = 0;
    for (u32 l : c.scenes) length += l;
    // A file of the same name is replaced.
    std::filesystem::create_directories(VideoFolder());
    std::ofstream(VideoFolder() + "/Peli.WMV") << "not a movie";

    const ExportRun run = Export();
    SCOPED_TRACE(length);
    if (!c.rendered.empty()) {
      EXPECT_EQ(run.rendered, c.rendered);
    } else {
      ASSERT_EQ(run.rendered.size(), 34u);
      EXPECT_EQ(run.rendered[31], 124u);
      EXPECT_EQ(run.rendered[32], 128u);
      EXPECT_EQ(run.rendered[33], 130u);
    }
    EXPECT_EQ(run.errorText, "");
    EXPECT_EQ(run.closes, 1u);
    EXPECT_EQ(AppHarness::TopLevelWithId(EXPORT_DIALOG_ID), nullptr);
    EXPECT_EQ(ModalStack_GetDepth(), 0u);
    EXPECT_EQ(movie->modified, 0u);
    EXPECT_EQ(Movie_SceneCount(movie), c.scenes.size());

    // The file is in the user's video folder, and the label says where with room to wrap.
    const std::string path = VideoFolder() + "/Peli.WMV";
    EXPECT_EQ(HostOf(run.outputPath), path);
    EXPECT_EQ(Listing(VideoFolder()), std::vector<std::string>{"Peli.WMV"});
    char expected[8192];
    VideoExport_SuccessText(run.outputPath.c_str(), expected, sizeof expected);
    EXPECT_EQ(run.finalLabel, expected);
    // The folder as the system names it, "/" between its parts (spaced, so that it wraps).
    std::string spaced;
    for (char c : run.outputPath) spaced += c == '\\' ? std::string(" / ") : std::string(1, c);
    EXPECT_EQ(run.finalLabel, "Pel\xed" "cula exportada satisfactoriamente. Buscala en:\r" + spaced);

    const std::string streams = Probe(path, "-count_frames -show_format -show_streams");
    const u32 pictures = (length - 1) / 4 + 2;
    for (const std::string& expectedField :
         {std::string("format_name=\"asf\""), std::string("codec_name=\"wmv2\""), std::string("width=664"),
          std::string("height=372"), std::string("r_frame_rate=\"15/1\""),
          "nb_read_frames=\"" + std::to_string(pictures) + "\"", std::string("codec_name=\"wmav2\""),
          std::string("sample_rate=\"44100\""), std::string("channels=2"), std::string("Quelvo")})
      EXPECT_NE(streams.find(expectedField), std::string::npos) << expectedField << "\n" << streams;
    EXPECT_EQ(SLTestCapture("ffmpeg -v error -i '" + path + "' -f null - 2>&1"), "");
    // For a look by hand (players, VLC): SL_KEEP_EXPORT=<folder> keeps a copy of each file.
    if (const char* keep = getenv("SL_KEEP_EXPORT"))
      std::filesystem::copy_file(path, std::string(keep) + "/export-" + std::to_string(length) + ".wmv",
                                 std::filesystem::copy_options::overwrite_existing);

    // The sound lasts the movie, and the effect is heard at its start.
    const std::string pcm = SLTestCapture("ffmpeg -v error -i '" + path + "' -vn -f s16le -ac 1 -ar 44100 -");
    const double seconds = double(pcm.size()) / 2 / 44100;
    EXPECT_NEAR(seconds, length / 60.0, 0.1);
    double peak = 0;
    for (std::size_t i = 0; i + 1 < pcm.size() && i < 2 * 3000; i += 2)
      peak = std::max(peak, std::abs(double(std::int16_t(u8(pcm[i]) | u8(pcm[i + 1]) << 8))));
    EXPECT_GT(peak, 3000.0);

    // Every picture shows its scene: red first, and green last when there are two scenes.
    const std::string first = SLTestCapture("ffmpeg -v error -i '" + path +
                                            "' -frames:v 1 -vf crop=2:2:300:180 -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(first.size(), 12u);
    EXPECT_GT(u8(first[0]), 150);
    EXPECT_LT(u8(first[1]), 80);
    if (c.scenes.size() > 1) {
      const std::string last = SLTestCapture("ffmpeg -v error -sseof -0.2 -i '" + path +
                                             "' -update 1 -vf crop=2:2:300:180 -f rawvideo -pix_fmt rgb24 -");
      ASSERT_GE(last.size(), 12u);
      const std::size_t at = last.size() - 12;
      EXPECT_GT(u8(last[at + 1]), 150);
      EXPECT_LT(u8(last[at]), 80);
    }
  }
}

TEST_F(ExportDialogTest, ShortMoviesAndWholeSecondsEndWithTheSuccessText) {
  // A 2-frame movie renders frame 0, then frame 4 past its end, and is done; a movie of
  // whole seconds has nothing left to mix at its last step and still finishes.
  const struct {
    u32 length;
    std::vector<u32> rendered;
  } cases[] = {{2, {0, 4}}, {120, {}}};
  for (const auto& c : cases) {
    Build({c.length});
    const ExportRun run = Export();
    SCOPED_TRACE(c.length);
    if (!c.rendered.empty()) {
      EXPECT_EQ(run.rendered, c.rendered);
    }
    if (c.length == 120) {
      EXPECT_EQ(run.rendered.size(), 31u);
      EXPECT_EQ(run.rendered.back(), 120u);
    }
    EXPECT_EQ(run.errorText, "");
    EXPECT_EQ(run.finalLabel.rfind("Pel\xed" "cula exportada satisfactoriamente.", 0), 0u) << run.finalLabel;
    EXPECT_TRUE(std::filesystem::exists(VideoFolder() + "/Peli.WMV"));
  }
}

TEST_F(ExportDialogTest, FailuresShowTheirBoxAndTheDialogClosesWhenItIsAnswered) {
  // A disk that fills during the export (said in words beside the code); then an output
  // name that cannot be a file.
  Movie* movie = Build({600});
  std::filesystem::create_directories(VideoFolder());
  std::ofstream(VideoFolder() + "/Peli.WMV") << kEarlier;
  SLPlatformWmvSetWriteLimit(30000);
  ExportRun run = Export();
  SLPlatformWmvSetWriteLimit(0);
  EXPECT_EQ(run.errorText,
            "Error: No puedo completar la exportaci\xf3n del video. (80070070)  No hay espacio suficiente en el disco.");
  // (the lines of the box, joined: the words stand after an empty line)
  EXPECT_TRUE(run.dialogUnderBox);
  EXPECT_EQ(run.finalLabel, "");
  EXPECT_EQ(run.closes, 1u);
  EXPECT_EQ(AppHarness::TopLevelWithId(EXPORT_DIALOG_ID), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(movie->modified, 0u);

  // The earlier video is as it was, and nothing of the failed one is left.
  EXPECT_EQ(ReadAll(VideoFolder() + "/Peli.WMV"), kEarlier);
  EXPECT_EQ(Listing(VideoFolder()), std::vector<std::string>{"Peli.WMV"});

  // A folder takes the video's name: refused before any picture is made.
  EXPECT_TRUE(std::filesystem::remove(VideoFolder() + "/Peli.WMV"));
  std::filesystem::create_directories(VideoFolder() + "/Peli.WMV");
  run = Export();
  // The folder as the system names it: "/" between its parts, in the program's code page.
  std::string folder = run.outputPath.substr(0, run.outputPath.rfind('\\'));
  std::replace(folder.begin(), folder.end(), '\\', '/');
  EXPECT_EQ(run.errorText, "Error: No puedo inicializar compresor de video y audio. (80070005)  "
                           "No puedo escribir en la carpeta de videos: " + folder);
  EXPECT_TRUE(run.rendered.empty());
  EXPECT_EQ(run.closes, 1u);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_TRUE(std::filesystem::is_directory(VideoFolder() + "/Peli.WMV"));
  EXPECT_EQ(Listing(VideoFolder()), std::vector<std::string>{"Peli.WMV"});
}

TEST_F(ExportDialogTest, AVideoAnotherCopyIsWritingIsLeftToItAndTheBoxSaysSo) {
  // Another copy of the program exporting a movie of this name holds the video's
  // temporary file locked while it writes.
  Build({60});
  std::filesystem::create_directories(VideoFolder());
  std::ofstream(VideoFolder() + "/Peli.WMV") << kEarlier;
  const std::string held = VideoFolder() + "/.Peli.WMV.tmp";
  const int fd = ::open(held.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(::write(fd, "otra", 4), 4);
  const ExportRun run = Export();
  EXPECT_EQ(run.errorText,
            "Error: No puedo inicializar compresor de video y audio. (80070020)  Otra copia del programa est\xe1 "
            "exportando un video con este nombre. Esper\xe1 a que termine o guard\xe1 la pel\xed" "cula con otro nombre.");
  EXPECT_TRUE(run.rendered.empty());
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  EXPECT_EQ(ReadAll(held), "otra");
  EXPECT_EQ(ReadAll(VideoFolder() + "/Peli.WMV"), kEarlier);
  ::close(fd);
}

TEST(ExportErrorText, NamesTheCausesAFamilyCanMendUnderTheCodesLine) {
  const char* kOpen = "Error: No puedo inicializar compresor de video y audio. (%08X)";
  const struct {
    HRESULT code;
    const char* expected;
  } cases[] = {
      {HRESULT(0x80070070u),
       "Error: No puedo inicializar compresor de video y audio. (80070070)\n\nNo hay espacio suficiente en el disco."},
      {HRESULT(0x80070020u),
       "Error: No puedo inicializar compresor de video y audio. (80070020)\n\nOtra copia del programa est\xe1 "
       "exportando un video con este nombre. Esper\xe1 a que termine o guard\xe1 la pel\xed" "cula con otro nombre."},
      {HRESULT(0x80070005u),
       "Error: No puedo inicializar compresor de video y audio. (80070005)\n\nNo puedo escribir en la carpeta de "
       "videos:\n/home/ana/V\xed" "deos"},
      {HRESULT(0x80004005u), "Error: No puedo inicializar compresor de video y audio. (80004005)"},
  };
  for (const auto& c : cases) {
    char text[kExportErrorTextSize];
    VideoExport_ErrorText("\\home\\ana\\V\xed" "deos\\Peli.WMV", kOpen, c.code, text, sizeof text);
    EXPECT_STREQ(text, c.expected);
  }
  // A folder at the root, and a name too long for the code's line: the code's line is cut
  // to its 255 bytes and what follows still says why.
  char text[kExportErrorTextSize];
  VideoExport_ErrorText("\\Peli.WMV", kOpen, HRESULT(0x80070005u), text, sizeof text);
  EXPECT_STREQ(std::strstr(text, "videos:\n"), "videos:\n/");
  const std::string longFormat = std::string(300, 'x') + " (%08X)";
  VideoExport_ErrorText("\\V\\Peli.WMV", longFormat.c_str(), HRESULT(0x80070070u), text, sizeof text);
  EXPECT_EQ(std::string(text), std::string(255, 'x') + "\n\nNo hay espacio suficiente en el disco.");
}

TEST_F(ExportDialogTest, NothingOpensForAMovieWithoutScenesOrName) {
  Build({});
  EXPECT_EQ(ExportVideoDialog_Show(kStepEvent), nullptr);
  Build({10}, nullptr);
  EXPECT_EQ(ExportVideoDialog_Show(kStepEvent), nullptr);
  EXPECT_EQ(AppHarness::TopLevelWithId(EXPORT_DIALOG_ID), nullptr);
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  // A step event that names no live dialog (a stale or made-up value, or another
  // window) is dropped: no step, nothing posted again.
  AppHarness::DrainQueue();
  CSL_GS_GuiWindow* other = AppCloseButton;
  ASSERT_NE(other, nullptr);
  for (std::uintptr_t data : {std::uintptr_t(0x1234), reinterpret_cast<std::uintptr_t>(other)}) {
    SL_EXPECT_FAIL(ExportVideoDialog_HandleEvent(kStepEvent, data), SL_E_INVALID_ARG);
    AppEvent event;
    EXPECT_FALSE(AppEventQueue_Take(&event));
  }
}

TEST_F(ExportDialogTest, CancelLeavesOneEndEventAndTheEarlierVideo) {
  Build({300});
  std::filesystem::create_directories(VideoFolder());
  std::ofstream(VideoFolder() + "/Peli.WMV") << kEarlier;
  CMyExportVideoDialog* dialog = ExportVideoDialog_Show(kStepEvent);
  ASSERT_NE(dialog, nullptr);
  const std::string path = HostOf(dialog->outputPath);
  // Some pictures are written before the cancel.
  for (int i = 0; i < 5 * 8; ++i) VideoExport_Step(dialog);
  ASSERT_EQ(dialog->currentFrame, 32u);
  EXPECT_EQ(ReadAll(path), kEarlier);
  for (int i = 0; i < 5; ++i) AppEventQueue_PostEvent(kStepEvent, reinterpret_cast<std::uintptr_t>(dialog));
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, 77);
  EXPECT_TRUE(dialog->OnCommand(dialog, EXPORT_CANCEL_ID));
  u32 ofType = 0, ends = 0;
  TSLArray<AppEvent>& queue = AppEventQueue_Get();
  for (u32 i = 0; i < queue.GetCount(); ++i)
    if (queue[i].type == kStepEvent) ++ofType, ends += queue[i].data == 0;
  EXPECT_EQ(ofType, 1u);
  EXPECT_EQ(ends, 1u);
  EXPECT_EQ(queue.GetCount(), 2u);  // other events stay
  EXPECT_EQ(ModalStack_GetDepth(), 0u);
  // The earlier video is as it was, and the part written is gone.
  EXPECT_EQ(ReadAll(path), kEarlier);
  EXPECT_EQ(Listing(VideoFolder()), std::vector<std::string>{"Peli.WMV"});
}
