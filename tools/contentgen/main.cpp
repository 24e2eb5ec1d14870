// contentgen: writes every picture, font, sound, video and help page the program loads
// by name into DIR (see the README).
//
//   contentgen DIR
//   contentgen --fixtures DIR    the test fixtures (Fixtures.cpp) in place of the content
//   contentgen --sheet DIR OUT.png  a contact sheet of what DIR holds (Sheet.cpp)
//   contentgen --layout          where each screen's letters and decorations fall, one
//                                box a line (screen, "texto" or the decoration, x y w h)
//
// It fills DIR.tmp and renames it to DIR only when everything was written, so a failed
// run leaves the previous content whole. It replaces only what it made: a DIR (or a
// DIR.tmp, DIR.old left by an earlier run) that exists, is not an empty folder and holds
// no contentgen stamp is refused with status 2 and left untouched, so a mistyped DIR
// ("." or someone's folder) never loses a file. DIR/contentgen.stamp holds the generator's version
// and a hash of its inputs (its own program, the encoder driver, the font writer and the
// font files); a run that finds the same stamp does nothing. The output is the same for
// the same inputs: fixed seeds and no time stamps anywhere.
#include <mbedtls/sha256.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/contentgen/Content.h"
#include "tools/contentgen/Screens.h"
#include "tools/contentgen/Sheet.h"

namespace fs = std::filesystem;
using namespace contentgen;

namespace {

constexpr const char* kVersion = "contentgen 2";
constexpr const char* kStampName = "contentgen.stamp";
// Put in DIR.tmp the moment it is made, so a run cut short leaves a folder a later run
// knows as its own.
constexpr const char* kPartialName = "contentgen.partial";

// Whether contentgen may replace or remove `path`: nothing there, an empty folder, or a
// folder holding one of its own marks. A link, a file or anything else is someone's.
bool OursOrAbsent(const fs::path& path, std::string* why) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec) {
    *why = path.string() + ": " + ec.message();
    return false;
  }
  if (status.type() != fs::file_type::directory) {
    *why = path.string() + " exists and is not a folder";
    return false;
  }
  if (fs::is_empty(path, ec) && !ec) return true;
  if (fs::is_regular_file(fs::symlink_status(path / kStampName, ec)) ||
      fs::is_regular_file(fs::symlink_status(path / kPartialName, ec)))
    return true;
  *why = path.string() + " holds files contentgen did not write (no " + kStampName + " in it)";
  return false;
}

std::string SelfPath() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).string();
}

// The stamp: the version and the SHA-256 of every input, in a fixed order.
bool Stamp(const std::vector<std::string>& inputs, bool fixtures, std::string* out) {
  mbedtls_sha256_context sha;
  mbedtls_sha256_init(&sha);
  mbedtls_sha256_starts_ret(&sha, 0);
  for (const std::string& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      mbedtls_sha256_free(&sha);
      return false;
    }
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
      mbedtls_sha256_update_ret(&sha, reinterpret_cast<const unsigned char*>(buffer), size_t(in.gcount()));
  }
  unsigned char digest[32];
  mbedtls_sha256_finish_ret(&sha, digest);
  mbedtls_sha256_free(&sha);
  *out = std::string(kVersion) + (fixtures ? " fixtures" : "") + "\n";
  for (unsigned char b : digest) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", b);
    *out += hex;
  }
  *out += "\n";
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

int Fail(const std::string& message, const fs::path& partial) {
  std::fprintf(stderr, "contentgen: %s\n", message.c_str());
  std::error_code ec;
  if (!partial.empty()) fs::remove_all(partial, ec);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  static const char kUsage[] =
      "usage: contentgen DIR\n       contentgen --fixtures DIR\n       contentgen --sheet DIR OUT.png\n";
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
  if (argc != 2 || argv[1][0] == '-' || argv[1][0] == 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const double started = Now();
  std::error_code ec;
  const fs::path target = fs::absolute(fs::path(argv[1]).lexically_normal()).lexically_normal();
  const fs::path dir = target.filename().empty() ? target.parent_path() : target;
  Context context;
  const fs::path self = SelfPath(), tools = self.parent_path();
  context.driver = (tools / "encode.sh").string();
  context.fntwrite = (tools.parent_path() / "fntwrite" / "fntwrite").string();
  context.projectWriter = (tools / "make_sample_project.py").string();

  for (const char* suffix : {"", ".tmp", ".old"}) {
    std::string why;
    if (!OursOrAbsent(dir.string() + suffix, &why)) {
      std::fprintf(stderr, "contentgen: refusing to replace %s: %s\n", dir.c_str(), why.c_str());
      return 2;
    }
  }

  std::vector<std::string> inputs{self.string(), context.driver, context.fntwrite, context.projectWriter};
  for (const std::string& font : RequiredFonts()) {
    if (!fs::exists(font)) return Fail("missing font: " + font, {});
    inputs.push_back(font);
  }
  std::string stamp, previous;
  if (!Stamp(inputs, fixtures, &stamp)) return Fail("cannot read the generator's inputs (" + context.driver + ", " + context.fntwrite + ")", {});
  if (ReadBytes(dir / kStampName, &previous) && previous == stamp) {
    std::printf("contentgen: %s is up to date\n", dir.c_str());
    return 0;
  }

  const fs::path temporary = dir.string() + ".tmp";
  fs::remove_all(temporary, ec);
  context.out = temporary;
  context.scratch = temporary / ".obra";
  if (!fs::create_directories(context.scratch, ec)) return Fail("cannot create " + context.scratch.string(), {});
  std::string error;
  if (!WriteBytes(temporary / kPartialName, "", &error)) return Fail(error, temporary);
  // The fixtures are drawn and synthesised in-process: they need no encoder.
  if (!fixtures && !RunDriver(context, {"check"}, &error)) return Fail(error, temporary);

  struct Step {
    const char* name;
    bool (*write)(Context&, std::string*);
  };
  const Step contentSteps[] = {{"fonts", WriteFonts}, {"skin", WriteSkin},     {"pictures", WriteInterface},
                               {"sounds", WriteSounds}, {"videos", WriteVideos}, {"help", WriteHelp},
                               {"items", WriteItems}};
  const Step fixtureSteps[] = {{"fixtures", WriteFixtures}};
  if (!fixtures) StartSlowVideos(context);
  for (const Step& step : fixtures ? std::vector<Step>(std::begin(fixtureSteps), std::end(fixtureSteps))
                                   : std::vector<Step>(std::begin(contentSteps), std::end(contentSteps))) {
    const double before = Now(), childBefore = context.childSeconds.load();
    if (!step.write(context, &error)) {
      std::string slowError;
      if (!fixtures && !FinishSlowVideos(context, &slowError)) error += "\n(and the slow videos: " + slowError + ")";
      return Fail(std::string(step.name) + ": " + error, temporary);
    }
    std::printf("contentgen: %-8s %5.2f s (encoders %5.2f s)\n", step.name, Now() - before,
                context.childSeconds.load() - childBefore);
  }
  if (!fixtures && !FinishSlowVideos(context, &error)) return Fail("videos: " + error, temporary);
  fs::remove_all(context.scratch, ec);
  if (!WriteBytes(temporary / kStampName, stamp, &error)) return Fail(error, temporary);
  fs::remove(temporary / kPartialName, ec);

  // Swap the new content in; the old folder goes only once the new one is in place.
  const fs::path old = dir.string() + ".old";
  fs::remove_all(old, ec);
  if (fs::exists(dir) && (fs::rename(dir, old, ec), ec)) return Fail("cannot move " + dir.string() + " aside", temporary);
  fs::rename(temporary, dir, ec);
  if (ec) {
    fs::rename(old, dir, ec);
    return Fail("cannot rename " + temporary.string() + " to " + dir.string(), temporary);
  }
  fs::remove_all(old, ec);
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
