// contentgen: writes every picture, font, sound, video and help page the program loads
// by name into DIR (see the README).
//
//   contentgen DIR
//   contentgen --fixtures DIR    the test fixtures (Fixtures.cpp) in place of the content
//   contentgen --from SOURCE DIR the content another run wrote into SOURCE, copied (the
//                                family's folder that ./run keeps outside the build tree)
//   contentgen --sheet DIR OUT.png  a contact sheet of what DIR holds (Sheet.cpp)
//   contentgen --layout          where each screen's letters and decorations fall, one
//                                box a line (screen, "texto" or the decoration, x y w h)
//
// It fills DIR.tmp and renames it to DIR only when everything was written, so a failed
// run leaves the previous content whole; the files the family keeps in DIR (movies,
// recordings, settings, anything it did not write) go into the new folder unchanged
// (Refresh.h). It replaces only what it made: a DIR (or a DIR.tmp, DIR.old left by an
// earlier run) that exists, is not an empty folder and holds neither a contentgen stamp
// nor its list is refused with status 2 and left untouched, so a mistyped DIR ("." or
// someone's folder) never loses a file. DIR/contentgen.stamp holds the generator's version
// and a hash of its inputs (its own program, the encoder driver, the font writer and the
// font files). A run that finds the same stamp reads the listed files outside the
// family's folders (about 30 MB, a tenth of a second) and does nothing more when each
// holds its listed bytes; one missing or changed (a pack cut short, a font deleted) makes
// it refresh the folder as for a new stamp, which writes those files again and keeps the
// family's. The output is the same for the same inputs: fixed seeds and no time stamps
// anywhere.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/contentgen/Content.h"
#include "tools/contentgen/Screens.h"
#include "tools/contentgen/Sheet.h"

namespace fs = std::filesystem;
using namespace contentgen;

namespace {

constexpr const char* kVersion = "contentgen 2";
std::string SelfPath() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).string();
}

// The stamp: the version and the SHA-256 of every input, in a fixed order.
bool Stamp(const std::vector<fs::path>& inputs, bool fixtures, std::string* out) {
  std::string hash;
  if (!Sha256Of(inputs, &hash)) return false;
  *out = std::string(kVersion) + (fixtures ? " fixtures" : "") + "\n" + hash + "\n";
  return true;
}

// Processor seconds of this process (who) or of its finished children.
long PeakKilobytes(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss;
}

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An argument naming a folder, absolute and without a trailing separator.
fs::path Folder(const char* argument) {
  const fs::path path = fs::absolute(fs::path(argument).lexically_normal()).lexically_normal();
  return path.filename().empty() ? path.parent_path() : path;
}

// One run at a time in a folder's parent: two runs on one DIR would each take the other's
// folder for a leftover, and a copy would read a source half swapped. The locks go with the
// process; taken in the order of their names, two runs never wait for each other.
void LockParents(std::vector<fs::path> folders) {
  std::vector<fs::path> parents;
  for (const fs::path& folder : folders)
    if (!folder.empty()) parents.push_back(folder.parent_path());
  std::sort(parents.begin(), parents.end());
  parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
  for (const fs::path& path : parents) {
    const int parent = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0 || flock(parent, LOCK_EX | LOCK_NB) == 0) continue;
    std::printf("contentgen: waiting for another contentgen run in %s\n", path.c_str());
    std::fflush(stdout);
    flock(parent, LOCK_EX);
  }
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "contentgen: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  static const char kUsage[] =
      "usage: contentgen DIR\n       contentgen --fixtures DIR\n       contentgen --from SOURCE DIR\n"
      "       contentgen --sheet DIR OUT.png\n";
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--layout") {
    auto layouts = ScreenLayouts();
    for (auto& frame : CinemaIntroLayouts()) layouts.push_back(std::move(frame));
    for (const auto& [screen, boxes] : layouts)
      for (const LayoutBox& b : boxes)
        std::printf("%s\t%s\t%.1f\t%.1f\t%.1f\t%.1f\t%s\n", screen.c_str(), b.text ? "texto" : b.label.c_str(), b.x, b.y,
                    b.w, b.h, b.text ? b.label.c_str() : "");
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (argc >= 2 && std::string(argv[1]) == "--sheet") {
    if (argc != 4 || argv[2][0] == 0 || argv[3][0] == 0) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    std::string error;
    if (!WriteSheet(argv[2], argv[3], &error)) {
      std::fprintf(stderr, "contentgen: %s\n", error.c_str());
      return 1;
    }
    std::printf("contentgen: wrote %s\n", argv[3]);
    return 0;
  }
  const bool fixtures = argc == 3 && std::string(argv[1]) == "--fixtures";
  if (fixtures) {
    --argc;
    ++argv;
  }
  fs::path from;
  if (argc == 4 && std::string(argv[1]) == "--from" && argv[2][0] != 0) {
    from = Folder(argv[2]);
    argc -= 2;
    argv += 2;
  }
  if (argc != 2 || argv[1][0] == '-' || argv[1][0] == 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const double started = Now();
  const fs::path dir = Folder(argv[1]);
  if (dir == from) {
    std::fprintf(stderr, "contentgen: %s cannot be its own source\n", dir.c_str());
    return 2;
  }
  Context context;
  const fs::path self = SelfPath(), tools = self.parent_path();
  context.driver = (tools / "encode.sh").string();
  context.fntwrite = (tools.parent_path() / "fntwrite" / "fntwrite").string();
  context.projectWriter = (tools / "make_sample_project.py").string();

  LockParents({dir, from});
  for (const char* suffix : {"", ".tmp", ".old"}) {
    std::string why;
    if (!OursOrAbsent(dir.string() + suffix, &why)) {
      std::fprintf(stderr, "contentgen: refusing to replace %s: %s\n", dir.c_str(), why.c_str());
      return 2;
    }
  }

  std::string error;
  if (!Recover(dir, &error)) return Fail(error);
  std::string stamp, previous;
  bool listed = false;
  const Manifest sourceList = from.empty() ? Manifest() : ReadManifest(from / kManifestName, &listed);
  if (!from.empty()) {
    if (!listed || !ReadBytes(from / kStampName, &stamp))
      return Fail(from.string() + " holds no content that contentgen wrote (no " + kManifestName + ")");
  } else {
    std::vector<fs::path> inputs{self, context.driver, context.fntwrite, context.projectWriter};
    for (const std::string& font : RequiredFonts()) {
      if (!fs::exists(font)) return Fail("missing font: " + font);
      inputs.push_back(font);
    }
    if (!Stamp(inputs, fixtures, &stamp))
      return Fail("cannot read the generator's inputs (" + context.driver + ", " + context.fntwrite + ")");
  }
  if (ReadBytes(dir / kStampName, &previous) && previous == stamp) {
    bool hasList = false;
    const std::vector<std::string> damaged = DamagedContent(dir, ReadManifest(dir / kManifestName, &hasList));
    if (hasList && damaged.empty()) {
      std::printf("contentgen: %s is up to date\n", dir.c_str());
      return 0;
    }
    if (!hasList)
      std::printf("contentgen: %s lost its %s: writing the content again\n", dir.c_str(), kManifestName);
    else
      std::printf("contentgen: %s: %zu of its files missing or changed (%s%s): writing the content again\n",
                  dir.c_str(), damaged.size(), damaged.front().c_str(), damaged.size() > 1 ? ", ..." : "");
    std::fflush(stdout);
  }

  struct Step {
    const char* name;
    bool (*write)(Context&, std::string*);
  };
  const Step contentSteps[] = {{"fonts", WriteFonts}, {"skin", WriteSkin},     {"pictures", WriteInterface},
                               {"sounds", WriteSounds}, {"videos", WriteVideos}, {"help", WriteHelp},
                               {"items", WriteItems}};
  const Step fixtureSteps[] = {{"fixtures", WriteFixtures}};
  auto write = [&](const fs::path& out, std::string* error) {
    context.out = out;
    context.scratch = out / ".obra";
    std::error_code ec;
    if (!fs::create_directories(context.scratch, ec)) {
      *error = "cannot create " + context.scratch.string();
      return false;
    }
    // The fixtures are drawn and synthesised in-process: they need no encoder.
    if (!fixtures && !RunDriver(context, {"check"}, error)) return false;
    if (!fixtures) StartSlowVideos(context);
    for (const Step& step : fixtures ? std::vector<Step>(std::begin(fixtureSteps), std::end(fixtureSteps))
                                     : std::vector<Step>(std::begin(contentSteps), std::end(contentSteps))) {
      const double before = Now(), childBefore = context.childSeconds.load();
      if (!step.write(context, error)) {
        std::string slowError;
        if (!fixtures && !FinishSlowVideos(context, &slowError)) *error += "\n(and the slow videos: " + slowError + ")";
        *error = std::string(step.name) + ": " + *error;
        return false;
      }
      std::printf("contentgen: %-8s %5.2f s (encoders %5.2f s)\n", step.name, Now() - before,
                  context.childSeconds.load() - childBefore);
    }
    if (!fixtures && !FinishSlowVideos(context, error)) {
      *error = "videos: " + *error;
      return false;
    }
    fs::remove_all(context.scratch, ec);
    return true;
  };
  if (!Refresh(dir, stamp, from.empty() ? ContentWriter(write) : CopyOf(from, sourceList), &error)) return Fail(error);
  // Processor time, so the figures hold however the work overlapped.
  const double own = CpuSeconds(RUSAGE_SELF), encoders = CpuSeconds(RUSAGE_CHILDREN);
  if (encoders > 0)
    std::printf("contentgen: wrote %s in %.2f s; processor time: contentgen %.2f s, encoders %.2f s (ratio %.2f)\n",
                dir.c_str(), Now() - started, own, encoders, own / encoders);
  else
    std::printf("contentgen: wrote %s in %.2f s; processor time %.2f s\n", dir.c_str(), Now() - started, own);
  std::printf("contentgen: peak memory: contentgen %ld KB, largest encoder %ld KB\n", PeakKilobytes(RUSAGE_SELF),
              PeakKilobytes(RUSAGE_CHILDREN));
  return 0;
}
