// ./run again while the program is open for the family (a parent who did not see the
// first window, a second child): tests/app/run_twice_xvfb.sh opens the program through
// ./run on a virtual display, runs ./run twice more without a display (the second time
// over a damaged pack, so that the content refresh swaps the family's folder under the
// open copy), then saves a movie with the open copy and closes it. The family's folder
// is a temporary one, made as the first ./run makes it (a copy of build/content) with the
// family's own files added. Runs alone (its name says it starts a display).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The count after `label` in the log, or -1 when the line is missing or holds no number.
long CountAfter(const std::string& log, const std::string& label) {
  const size_t at = log.find(label);
  if (at == std::string::npos) return -1;
  char* end = nullptr;
  const char* start = log.c_str() + at + label.size();
  const long count = std::strtol(start, &end, 10);
  return end == start ? -1 : count;
}

TEST(RunTwiceDisplay, ASecondRunOpensASecondCopyAndTheOpenOneKeepsWorking) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v compare >/dev/null && "
                  "command -v flock >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool, ImageMagick and flock are needed";
  // ./run builds and starts the normal tree, whatever tree this test was built in.
  std::error_code ec;
  if (!fs::equivalent(SL_BINARY_DIR, SL_SOURCE_DIR "/build", ec))
    GTEST_SKIP() << "./run builds and starts " SL_SOURCE_DIR "/build, not this build tree (" SL_BINARY_DIR
                    "): the normal build's run covers it";
  const fs::path content = SL_BINARY_DIR "/content";
  ASSERT_TRUE(fs::exists(content / "contentgen.stamp")) << "the content fixture has not run";

  TempDir temp;
  // The runs' logs and the first copy's screenshots stay in the build tree for a look.
  const fs::path family = temp.Host("familia"), work = SL_BINARY_DIR "/xvfb-run-twice";
  fs::copy(content, family, fs::copy_options::recursive);
  fs::remove_all(work);
  fs::create_directories(work);
  const Files own = {{"Aventuras Guardadas/Mi perro.ZQTR", ReadHost(content / "Aventuras Guardadas/Paseo en el parque.ZQTR")},
                     {"Sfx/Grabadas/Hola abuela.WAV", ReadHost(content / "Sfx/Grabadas/Mi voz.WAV")},
                     {"notas de mama.txt", "no borrar"}};
  for (const auto& [name, bytes] : own) std::ofstream(family / name, std::ios::binary) << bytes;
  const std::string settings = "[BuscaMP3]\r\nEscaneoCompleto=1\r\nArch0=/home/familia/Musica/cancion.mp3\r\n";
  std::ofstream(family / "Zarandulvortequimbaplastelo.ini", std::ios::binary) << settings;
  const std::string damaged = "Gfx/Fondos/Parque.DAT", movie = "Pelicula de la tarde";

  const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/app/run_twice_xvfb.sh '" +
                                        family.string() + "' '" + damaged + "' '" + movie + "' '" + work.string() +
                                        "' 2>&1");
  std::string logs = log;
  for (const char* name : {"SECOND.log", "THIRD.log"}) logs += std::string("\n--- ") + name + "\n" + ReadHost(work / name);
  for (const std::string run : {"SECOND", "THIRD"}) {
    SCOPED_TRACE(run);
    EXPECT_EQ(CountAfter(log, run + " STATUS "), 0) << logs;
    EXPECT_NE(log.find(run + " STILL RUNNING"), std::string::npos) << logs;
    // Both copies show the start menu, pointer and all, on screens of one size.
    const long differs = CountAfter(log, run + " START MENU DIFFERS ");
    EXPECT_GE(differs, 0) << logs;
    EXPECT_LT(differs, 800 * 600 / 100) << logs;
  }
  EXPECT_NE(logs.find("writing the content again"), std::string::npos) << logs;
  EXPECT_NE(log.find("SAVED"), std::string::npos) << logs;
  EXPECT_EQ(CountAfter(log, "FIRST STATUS "), 0) << logs;
  for (const char* report : {"Sanitizer", "runtime error:"}) EXPECT_EQ(log.find(report), std::string::npos) << log;

  // The open copy saved into the family's folder, as it stands after the refresh.
  EXPECT_EQ(ReadHost(family / "Aventuras Guardadas" / (movie + ".ZQTR")).rfind("Pel\xed" "cula", 0), 0u);
  for (const auto& [name, bytes] : own) EXPECT_EQ(ReadHost(family / name), bytes) << name;
  EXPECT_NE(ReadHost(family / "Zarandulvortequimbaplastelo.ini").find("Arch0=/home/familia/Musica/cancion.mp3"),
            std::string::npos);
  EXPECT_EQ(ReadHost(family / damaged), ReadHost(content / damaged));
  EXPECT_EQ(ReadHost(family / "Zarandulvortequimbaplastelo"), ReadHost(SL_BINARY_DIR "/Zarandulvortequimbaplastelo"));
  // Nothing of the runs is left beside the folder or in it.
  for (const fs::directory_entry& entry : fs::directory_iterator(temp.Host())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name, "familia");
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(family))
    EXPECT_NE(entry.path().filename().string().rfind('.', 0), 0u) << entry.path();
}

}  // namespace
