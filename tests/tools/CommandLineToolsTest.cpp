// The command-line tools with bad input: --help on standard output with status 0, usage
// errors on standard error with status 2, failures in words with status 1 and never an
// abort, and no partial or lost output file when a step or the disk fails (a child with
// a small RLIMIT_FSIZE stands in for a full disk).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tools/slpack/PackWriter.h"

namespace {

const std::string kTools = std::string(SL_BINARY_DIR) + "/tools/";

struct Result {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out, err;
};

// Runs `command` through the shell with its outputs captured in `dir`.
Result Shell(const TempDir& dir, const std::string& command) {
  const std::string line = "(" + command + ") >'" + dir.Host(".out") + "' 2>'" + dir.Host(".err") + "' </dev/null";
  const int raw = std::system(line.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = dir.Read(".out");
  r.err = dir.Read(".err");
  std::filesystem::remove(dir.Host(".out"));
  std::filesystem::remove(dir.Host(".err"));
  return r;
}

// The names in `dir`, hidden ones included (temporary outputs start with a dot).
std::vector<std::string> Listing(const TempDir& dir, const std::string& folder = "") {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Host(folder)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A 24-bit bottom-up BMP of `side` x `side` pixels.
std::string Bmp(int side) {
  const int stride = (side * 3 + 3) / 4 * 4, image = stride * side;
  std::string file(54 + image, '\0');
  auto put = [&](size_t at, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = char(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(2, unsigned(file.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, unsigned(side), 4);
  put(22, unsigned(side), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int i = 0; i < image; ++i) file[54 + i] = char(i * 7 + i / 13);
  return file;
}

// Every tool: its place under the build, and arguments that are a usage error.
TEST(ToolCommandLine, HelpGoesToStandardOutputAndUsageErrorsExitWithTwo) {
  TempDir dir;
  struct Tool {
    const char* path;
    const char* badArguments;
  } tools[] = {
      {"slrescomp/slrescomp", "one"},       {"slpack/slpack", "-x a"},   {"mximgwrite/mximgwrite", "-e bogus a b"},
      {"mxvwrite/mxvwrite", "--codec h264 out.mxv"}, {"mediadump", "a.avi --bogus x"}, {"demos/windemo", "extra"},
      {"demos/inputdemo", "extra"},             {"fntwrite/fntwrite", "font"},     {"demos/sounddemo", ""},
  };
  for (const Tool& tool : tools) {
    SCOPED_TRACE(tool.path);
    const Result help = Shell(dir, "'" + kTools + tool.path + "' --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("us"), std::string::npos) << help.out;  // "usage:" or "uso:"
    EXPECT_EQ(help.err, "");
    const Result bad = Shell(dir, "'" + kTools + tool.path + "' " + tool.badArguments);
    EXPECT_EQ(bad.status, 2) << bad.err;
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("us"), std::string::npos) << bad.err;
  }
  const Result python = Shell(dir, "python3 '" SL_SOURCE_DIR "/tools/fixtures/make_image_fixtures.py'");
  EXPECT_EQ(python.status, 2);
  EXPECT_EQ(Listing(dir), std::vector<std::string>());
}

// Lists the resource compiler refuses: each names the list (and the line), exits with 1,
// and writes nothing.
TEST(ToolCommandLine, ResourceCompilerRefusesBadListsByName) {
  TempDir dir;
  dir.Write("data.bin", "payload");
  std::filesystem::create_directory(dir.Host("folder"));
  struct Case {
    const char* name;
    std::string list;
    const char* expected;  // in the message
  } cases[] = {
      {"random bytes", std::string("\x01\xFE\x80 \x9C\x02 7 data.bin\n", 17), "list.txt:1"},
      {"id not a number", "; a comment\n#7x #1 0 data.bin\n", "list.txt:2"},
      {"language not a number", "#10 #1 es data.bin\n", "list.txt:1"},
      {"id above 65535", "#10 #70000 0 data.bin\n", "list.txt:1"},
      {"language above 65535", "#10 #1 0x10000 data.bin\n", "list.txt:1"},
      {"five fields", "#10 #1 0 data.bin more\n", "list.txt:1"},
      {"a folder as entry", "#10 #1 0 folder\n", "not a file"},
      {"a missing entry", "#10 #1 0 missing.bin\n", "not a file"},
      {"an empty list", "; nothing\n\n", "no resource"},
      {"a bad icon", "ICON #1 0 data.bin\n", "not an icon"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("list.txt", c.list);
    const Result r = Shell(dir, "'" + kTools + "slrescomp/slrescomp' '" + dir.Host("list.txt") + "' '" +
                                  dir.Host("out.dll") + "'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Host("out.dll")));
  }
  const Result folderList =
      Shell(dir, "'" + kTools + "slrescomp/slrescomp' '" + dir.Host("folder") + "' '" + dir.Host("out.dll") + "'");
  EXPECT_EQ(folderList.status, 1);
  EXPECT_NE(folderList.err.find("folder"), std::string::npos) << folderList.err;
  // A good list into a folder that does not exist says so; into a good one it works.
  dir.Write("list.txt", "#10 #1 0x0C0A data.bin\n");
  const Result noFolder =
      Shell(dir, "'" + kTools + "slrescomp/slrescomp' '" + dir.Host("list.txt") + "' '" + dir.Host("none/out.dll") + "'");
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(Shell(dir, "'" + kTools + "slrescomp/slrescomp' '" + dir.Host("list.txt") + "' '" + dir.Host("out.dll") + "'")
                .status,
            0);
  EXPECT_GT(dir.Read("out.dll").size(), 0u);
}

// The movie writer's options: names its usage prints, ranges, and pictures that are no file.
TEST(ToolCommandLine, MovieWriterChecksItsOptionsAndInputs) {
  TempDir dir;
  dir.Write("frames.raw", std::string(16 * 16 * 3 * 2, '\x40'));
  std::filesystem::create_directory(dir.Host("folder"));
  const std::string tool = "'" + kTools + "mxvwrite/mxvwrite' ";
  struct Case {
    const char* arguments;
    int status;
  } cases[] = {
      {"--video frames.raw --size 16x16 --codec theora --quality 20 out.mxv", 0},
      {"--video frames.raw --size 16x16 --codec zip out.mxv", 0},
      {"--video frames.raw --size 16x16 --codec lzw out.mxv", 0},
      {"--video frames.raw --size 16x16 --codec 7 out.mxv", 2},
      {"--video frames.raw --size 16x16 --quality 64 out.mxv", 2},
      {"--video frames.raw --size 16x16 --quality -1 out.mxv", 2},
      {"--video frames.raw --size 16x16x out.mxv", 2},
      {"--video folder --size 16x16 out.mxv", 1},
      {"--video missing.raw --size 16x16 out.mxv", 1},
      {"--video frames.raw --size 15x16 out.mxv", 1},  // not whole pictures
      {"--video frames.raw --size 16x16 folder", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::filesystem::remove(dir.Host("out.mxv"));
    const Result r = Shell(dir, "cd '" + dir.Host() + "' && " + tool + c.arguments);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(std::filesystem::exists(dir.Host("out.mxv")), c.status == 0);
    if (c.status == 1) {
      EXPECT_NE(r.err.find("mxvwrite: "), std::string::npos);
    }
  }
}

// A full disk (a 4 KiB file size limit) in the middle of each writer: the status is 1, the
// earlier file is still there as it was, and no temporary file is left beside it.
TEST(ToolCommandLine, FullDiskLeavesNoPartialOutputAndKeepsTheOldFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.Host("in"));
  std::filesystem::create_directory(dir.Host("out"));
  std::string noise(100000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
  dir.Write("in/noise.bin", noise);
  dir.Write("in/picture.bmp", Bmp(64));
  dir.Write("in/frames.raw", noise.substr(0, 64 * 64 * 3 * 3));  // does not compress
  ASSERT_EQ(Shell(dir, "sox -n -r 22050 -b 16 -c 1 '" + dir.Host("in/tone.wav") + "' synth 1 sine 440").status, 0);
  const std::string limited = "trap '' XFSZ; ulimit -f 4; exec ";
  struct Case {
    const char* name;
    std::string command;
  } cases[] = {
      {"slpack", "'" + kTools + "slpack/slpack' '" + dir.Host("in") + "' '" + dir.Host("out/target") + "'"},
      {"mximgwrite", "'" + kTools + "mximgwrite/mximgwrite' -e raw '" + dir.Host("in/picture.bmp") + "' '" +
                         dir.Host("out/target") + "'"},
      {"mxvwrite", "'" + kTools + "mxvwrite/mxvwrite' --video '" + dir.Host("in/frames.raw") +
                       "' --size 64x64 --codec zip '" + dir.Host("out/target") + "'"},
      {"mediadump", "'" + kTools + "mediadump' '" + dir.Host("in/tone.wav") + "' --audio '" + dir.Host("out/target") + "'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("out/target", "the earlier file");
    const Result r = Shell(dir, limited + c.command);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(dir.Read("out/target"), "the earlier file");
    EXPECT_EQ(Listing(dir, "out"), std::vector<std::string>{"target"});
    // Without the limit the same command replaces the file.
    EXPECT_EQ(Shell(dir, c.command).status, 0);
    EXPECT_GT(dir.Read("out/target").size(), 4096u);
  }
  // Every output is checked before the first is written.
  std::filesystem::remove(dir.Host("out/target"));
  const Result both = Shell(dir, "'" + kTools + "mediadump' '" + dir.Host("in/tone.wav") + "' --audio '" +
                                   dir.Host("out/target") + "' --frames '" + dir.Host("none") + "'");
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(Listing(dir, "out"), std::vector<std::string>());
  // The index of a file that is no AVI says why.
  const Result index = Shell(dir, "'" + kTools + "mediadump' '" + dir.Host("in/noise.bin") + "' --index");
  EXPECT_EQ(index.status, 1);
  EXPECT_NE(index.err.find("noise.bin"), std::string::npos) << index.err;
  EXPECT_NE(index.err.find("code 0x"), std::string::npos) << index.err;
}

// A pack listed and extracted back: the listing in the pack's order with sizes, the files
// byte for byte under names with accents, keyed packs of both versions, and packs the
// program could not read (or a folder that is not empty) refused with nothing written.
TEST(ToolCommandLine, PackToolListsAndExtractsWhatItPacked) {
  TempDir dir;
  const std::string slpack = "'" + kTools + "slpack/slpack' ";
  std::string noise(70000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 11);
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Gfx/Fondos/\xC3\x91" "and\xC3\xBA.bin", noise}, {"Gfx/a.txt", "hola"}, {"vac\xC3\xADo", ""}};
  for (const auto& [name, bytes] : files) {
    std::filesystem::create_directories(std::filesystem::path(dir.Host("in/" + name)).parent_path());
    dir.Write("in/" + name, bytes);
  }
  for (const char* options : {"-3 -k 0x1234ABCD", "-2 -k 7", "-3"}) {
    SCOPED_TRACE(options);
    std::filesystem::remove_all(dir.Host("out"));
    ASSERT_EQ(Shell(dir, slpack + options + " '" + dir.Host("in") + "' '" + dir.Host("p.dat") + "'").status, 0);
    const Result list = Shell(dir, slpack + "-l '" + dir.Host("p.dat") + "'");
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "Gfx/Fondos/\xC3\x91" "and\xC3\xBA.bin\t70000\t70000\nGfx/a.txt\t4\t4\nvac\xC3\xADo\t0\t0\n");
    const Result extract = Shell(dir, slpack + "-x '" + dir.Host("p.dat") + "' '" + dir.Host("out") + "'");
    EXPECT_EQ(extract.status, 0) << extract.err;
    for (const auto& [name, bytes] : files) EXPECT_EQ(dir.Read("out/" + name), bytes) << name;
  }
  // A key given to -x must be the pack's; an empty folder takes the files, a full one not.
  std::filesystem::remove_all(dir.Host("out"));
  EXPECT_EQ(Shell(dir, slpack + "-k 5 '" + dir.Host("in") + "' '" + dir.Host("p.dat") + "'").status, 0);
  const Result wrongKey = Shell(dir, slpack + "-x -k 6 '" + dir.Host("p.dat") + "' '" + dir.Host("out") + "'");
  EXPECT_EQ(wrongKey.status, 1);
  EXPECT_NE(wrongKey.err.find("0x00000005"), std::string::npos) << wrongKey.err;
  std::filesystem::create_directory(dir.Host("out"));
  EXPECT_EQ(Shell(dir, slpack + "-x -k 5 '" + dir.Host("p.dat") + "' '" + dir.Host("out") + "'").status, 0);
  EXPECT_EQ(dir.Read("out/Gfx/a.txt"), "hola");
  EXPECT_EQ(Shell(dir, slpack + "-x '" + dir.Host("p.dat") + "' '" + dir.Host("out") + "'").status, 1);
  EXPECT_EQ(Listing(dir, "out"), (std::vector<std::string>{"Gfx", "vac\xC3\xADo"}));

  // A name that climbs out of the folder is not reached (the pack's listing never enters
  // ".."), so nothing lands outside it; an entry hidden by an earlier one of
  // the same name but for case is listed as such and not extracted over it.
  slpack::PackWriter writer(3, 0);
  writer.AddFile(std::string("../../fuera.txt"), {'a'});
  writer.AddFile(std::string("/abs/B.txt"), {'b'});
  writer.AddFile(std::string("abs\\b.TXT"), {'c'});
  std::vector<uint8_t> crafted;
  std::string error;
  ASSERT_TRUE(writer.Build(&crafted, &error)) << error;
  dir.Write("crafted.dat", std::string(crafted.begin(), crafted.end()));
  const Result craftedList = Shell(dir, slpack + "-l '" + dir.Host("crafted.dat") + "'");
  EXPECT_EQ(craftedList.out, "abs/B.txt\t1\t1\nabs/b.TXT\t1\t1\t(hidden by an earlier name)\n");
  std::filesystem::create_directory(dir.Host("deep"));
  EXPECT_EQ(Shell(dir, slpack + "-x '" + dir.Host("crafted.dat") + "' '" + dir.Host("deep/x") + "'").status, 0);
  EXPECT_EQ(Listing(dir, "deep"), std::vector<std::string>{"x"});
  EXPECT_FALSE(std::filesystem::exists(dir.Host("fuera.txt")));
  EXPECT_EQ(dir.Read("deep/x/abs/B.txt"), "b");
  EXPECT_EQ(Listing(dir, "deep/x/abs"), std::vector<std::string>{"B.txt"});

  // Damaged packs and a full disk: status 1 with the reader's code, and no folder made.
  const std::string pack = dir.Read("p.dat");
  std::string flipped = pack;
  flipped[40] ^= 1;  // inside the directory, which the CRC covers
  struct Case {
    const char* name;
    std::string bytes;
    std::string prefix;
  } cases[] = {{"not a pack", noise.substr(0, 5000), ""},
               {"cut short", pack.substr(0, pack.size() - 1000), ""},
               {"directory changed", flipped, ""},
               {"full disk", pack, "trap '' XFSZ; ulimit -f 16; exec "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("bad.dat", c.bytes);
    const Result r = Shell(dir, c.prefix + slpack + "-x '" + dir.Host("bad.dat") + "' '" + dir.Host("deep/y") + "'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("slpack: "), std::string::npos) << r.err;
    EXPECT_EQ(Listing(dir, "deep"), std::vector<std::string>{"x"});
    if (c.name[0] != 'c' && c.prefix.empty()) {  // the directory of a cut pack still lists
      EXPECT_EQ(Shell(dir, slpack + "-l '" + dir.Host("bad.dat") + "'").status, 1);
    }
  }
}

// The window demos without a display say so at once; on one, SIGTERM ends them. The sound
// demo blames sox only when sox is missing.
TEST(ToolCommandLine, DemosEndWithoutDisplayAndOnSignals) {
  TempDir dir;
  for (const char* demo : {"demos/windemo", "demos/inputdemo"}) {
    SCOPED_TRACE(demo);
    const Result none =
        Shell(dir, "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout -k 2 10 '" + kTools + demo + "'");
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_NE(none.err.find("display"), std::string::npos) << none.err;
    // The dummy driver: nothing ever closes the window, the signal ends it.
    const Result ended =
        Shell(dir, "SDL_VIDEODRIVER=dummy timeout -k 5 --preserve-status 2 '" + kTools + demo + "'");
    EXPECT_EQ(ended.status, 128 + 15) << ended.err;
  }
  const Result noSox = Shell(dir, "PATH=/nonexistent '" + kTools + "demos/sounddemo' '" + dir.Host("rec.wav") + "'");
  EXPECT_EQ(noSox.status, 1);
  EXPECT_NE(noSox.err.find("sox"), std::string::npos) << noSox.err;
  const Result noFolder = Shell(dir, "'" + kTools + "demos/sounddemo' '" + dir.Host("none/rec.wav") + "'");
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(noFolder.err.find("sox"), std::string::npos) << noFolder.err;
}

}  // namespace
