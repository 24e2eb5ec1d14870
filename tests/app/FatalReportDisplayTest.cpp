// A fatal report that comes while the main window stands, on a virtual display without a
// window manager: a damaged item pack stops the loader behind "&Jugar"; the report names
// the pack, draws, and is answered by Return or by a termination request, after which the
// program ends at once with the fatal code's status (tests/app/fatal_report_xvfb.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/ProgramFolder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The two ways a family's pack gets damaged: cut short (a copy that stopped half way), or
// with bytes changed behind its directory (a failing disk).
void Truncate(const std::string& path) { fs::resize_file(path, 5000); }

void FlipBytes(const std::string& path) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  for (size_t at = bytes.size() / 3; at < bytes.size(); at += 997) bytes[at] = char(~bytes[at]);
  file.seekp(0);
  file.write(bytes.data(), std::streamsize(bytes.size()));
}

struct Damage {
  const char* folder;
  const char* pack;
  void (*spoil)(const std::string& path);
  const char* report;
};

TEST(FatalReportDisplay, ALoaderReportOverTheMainWindowDrawsAndTakesItsAnswer) {
  if (std::system("command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null") != 0)
    GTEST_SKIP() << "xvfb-run, xdotool and ImageMagick are needed";
  ASSERT_TRUE(fs::exists(SL_BINARY_DIR "/content/contentgen.stamp")) << "the content fixture has not run";
  const Damage background{"Gfx/Fondos", "Playa.DAT", &Truncate,
                          "Error: Error 01014: No puedo cargar el escenario \"Playa.DAT\"\nArchivo: "};
  const Damage character{"Gfx/Personajes", "Sofia.DAT", &FlipBytes,
                         "Error: Error 01014: No puedo cargar el personaje \"Sofia.DAT\"\nArchivo: "};
  const struct {
    const Damage& damage;
    const char* answer;
  } runs[] = {{background, "return"}, {background, "sigterm"}, {character, "return"},
              {character, "sigterm"}, {character, "sigint"}};
  for (const auto& run : runs) {
    SCOPED_TRACE(std::string(run.damage.pack) + " " + run.answer);
    TempDir dir;
    SLPlaceProgram(dir, {run.damage.folder});
    const std::string pack = dir.Host(std::string(run.damage.folder) + "/" + run.damage.pack);
    run.damage.spoil(pack);
    const std::string shot = std::string(SL_BINARY_DIR) + "/xvfb-fatal-report-" +
                             fs::path(run.damage.pack).stem().string() + "-" + run.answer + ".png";
    std::remove(shot.c_str());
    const std::string log = SLTestCapture(std::string(SL_SOURCE_DIR) + "/tests/app/fatal_report_xvfb.sh '" +
                                          dir.Host() + "' " + run.answer + " '" + shot + "' 2>&1");
    ASSERT_NE(log.find("REPORT SHOWN"), std::string::npos) << log;
    // The loader's report names the pack, as the start-up reports name theirs.
    EXPECT_NE(log.find(run.damage.report + pack + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("NOT ENDED"), std::string::npos) << log;
    EXPECT_NE(log.find("STATUS 10\n"), std::string::npos) << "the low byte of -1014\n" << log;
    const size_t at = log.find("ENDED IN ");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_LT(std::stol(log.substr(at + 9)), 2000) << log;
    for (const char* fault : {"Sanitizer", "runtime error:"}) EXPECT_EQ(log.find(fault), std::string::npos) << log;
    // The report drew its text and button: its window is more than one flat colour.
    const std::string colours = SLTestCapture("convert '" + shot + "' -format %k info: 2>&1");
    EXPECT_GT(std::atoi(colours.c_str()), 8) << colours;
  }
}

}  // namespace
