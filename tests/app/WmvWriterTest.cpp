// The movie file writer, checked against ffprobe and ffmpeg as the readers of its files.
#include "app/media/WmvWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr WmvWriterSettings kExportSettings = {664, 372, 15, 0, 100.0, 22050, 2, 16, 0};

struct OpenWriter {
  WmvWriter writer;
  OpenWriter() { WmvWriter_Init(&writer); }
  ~OpenWriter() { WmvWriter_Destroy(&writer); }
};

// A bottom-up picture whose top half on screen is red and bottom half blue, with a
// moving bar so that consecutive pictures differ.
std::vector<std::uint8_t> Picture(u32 width, u32 height, u32 index) {
  const u32 row = WmvWriter_RowBytes(width);
  std::vector<std::uint8_t> pixels(std::size_t(row) * height);
  for (u32 y = 0; y < height; ++y) {
    const u32 screenY = height - 1 - y;  // memory row y is screen row height-1-y
    for (u32 x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[std::size_t(y) * row + x * 3];
      const bool bar = (x / 8) == (index % (width / 8));
      if (bar) {
        p[0] = p[1] = p[2] = 255;
      } else if (screenY < height / 2) {
        p[0] = 0, p[1] = 0, p[2] = 220;  // BGR: red
      } else {
        p[0] = 220, p[1] = 0, p[2] = 0;  // blue
      }
    }
  }
  return pixels;
}

std::vector<std::int16_t> Tone(u32 frames, u32 start) {
  std::vector<std::int16_t> samples(std::size_t(frames) * 2);
  for (u32 i = 0; i < frames; ++i) {
    const std::int16_t value = std::int16_t(((start + i) % 100) < 50 ? 8000 : -8000);
    samples[2 * i] = samples[2 * i + 1] = value;
  }
  return samples;
}

// Writes `seconds` seconds of pictures at 15 per second and sound at 22,050 Hz.
HRESULT WriteMovie(const std::string& path, u32 seconds) {
  OpenWriter w;
  HRESULT hr = WmvWriter_Open(&w.writer, path.c_str(), &kExportSettings);
  if (hr != 0) return hr;
  for (u32 s = 0; s < seconds; ++s) {
    const std::vector<std::int16_t> tone = Tone(22050, s * 22050);
    if ((hr = WmvWriter_WriteAudioSamples(&w.writer, tone.data(), 22050)) != 0) return hr;
    for (u32 f = 0; f < 15; ++f) {
      const std::vector<std::uint8_t> picture = Picture(664, 372, s * 15 + f);
      if ((hr = WmvWriter_WriteVideoFrame(&w.writer, picture.data())) != 0) return hr;
    }
  }
  return WmvWriter_Finish(&w.writer);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool HaveFfmpeg() { return std::system("command -v ffprobe >/dev/null && command -v ffmpeg >/dev/null") == 0; }

// The names in a folder, hidden ones too, sorted.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Pictures of noise, with a second of sound before every fifteenth, until a write fails
// or `pictures` were written: noise does not compress, so the file grows fast.
HRESULT WriteNoise(WmvWriter* writer, u32 pictures) {
  std::vector<std::uint8_t> noise(std::size_t(WmvWriter_RowBytes(664)) * 372);
  const std::vector<std::int16_t> second = Tone(22050, 0);
  std::uint32_t seed = 1;
  HRESULT hr = 0;
  for (u32 written = 0; written < pictures && hr == 0; ++written) {
    if (written % 15 == 0 && (hr = WmvWriter_WriteAudioSamples(writer, second.data(), 22050)) != 0) break;
    for (std::uint8_t& byte : noise) byte = std::uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    hr = WmvWriter_WriteVideoFrame(writer, noise.data());
  }
  return hr;
}

// Runs `child` in a forked process.
template <class Child>
pid_t StartChild(Child child) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(child());
  return pid;
}

// How a child ended: its exit status, or 128 + the signal that ended it.
int EndOfChild(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

template <class Child>
int InChild(Child child) {
  return EndOfChild(StartChild(child));
}

// A pipe between forked processes: words written, or a signal to every reader at once
// when the last process holding the write end closes it.
struct Pipe {
  int ends[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe(ends), 0); }
  ~Pipe() {
    CloseWrites();
    close(ends[0]);
  }
  void CloseWrites() {
    if (ends[1] >= 0) close(ends[1]);
    ends[1] = -1;
  }
  bool Write(u32 word) const { return write(ends[1], &word, sizeof word) == ssize_t(sizeof word); }
  // The next word, or ~0 once every writer closed.
  u32 Read() const {
    u32 word = 0;
    ssize_t got;
    while ((got = read(ends[0], &word, sizeof word)) < 0 && errno == EINTR) {
    }
    return got == ssize_t(sizeof word) ? word : ~0u;
  }
};

constexpr u32 kInUse = 0x80070020u;  // ERROR_SHARING_VIOLATION as an HRESULT

// `pictures` pictures of 664 x 372 that a reader decodes without an error.
void ExpectWholeMovie(const std::string& path, u32 pictures) {
  EXPECT_EQ(ReadAll(path).substr(0, 4), std::string("\x30\x26\xB2\x75"));  // the ASF header object
  if (!HaveFfmpeg()) return;
  EXPECT_EQ(SLTestCapture("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames "
                          "-of csv=p=0 '" + path + "'"),
            std::to_string(pictures) + "\n");
  EXPECT_EQ(SLTestCapture("ffmpeg -v error -i '" + path + "' -f null - 2>&1"), "");
}

constexpr char kEarlier[] = "the earlier video, byte for byte";

}  // namespace

TEST(WmvWriter, BitRatesAndTimesFollowTheSettings) {
  EXPECT_EQ(WmvWriter_VideoBitRate(&kExportSettings), 1482045u);
  EXPECT_EQ(WmvWriter_AudioBitRate(&kExportSettings), 705600u);
  EXPECT_EQ(WmvWriter_RowBytes(664), 1992u);
  EXPECT_EQ(WmvWriter_RowBytes(2), 8u);  // 6 bytes padded to 8
  EXPECT_EQ(WmvWriter_SampleTime(9, 15), 6000000u);
  EXPECT_EQ(WmvWriter_SampleTime(22050, 22050), 10000000u);
}

TEST(WmvWriter, RefusedSettingsLeaveAnOpenWriterAsItWas) {
  TempDir dir;
  OpenWriter w;
  ASSERT_EQ(WmvWriter_Open(&w.writer, dir.Host("a.wmv").c_str(), &kExportSettings), 0);
  struct Case {
    const char* what;
    WmvWriterSettings settings;
  } cases[] = {
      {"odd width", {663, 372, 15, 0, 100.0, 22050, 2, 16, 0}},
      {"odd height", {664, 371, 15, 0, 100.0, 22050, 2, 16, 0}},
      {"no pictures per second", {664, 372, 0, 0, 100.0, 22050, 2, 16, 0}},
      {"height without width", {0, 372, 0, 0, 100.0, 22050, 2, 16, 0}},
      {"audio rate below 4000", {664, 372, 15, 0, 100.0, 3999, 2, 16, 0}},
      {"24-bit audio", {664, 372, 15, 0, 100.0, 22050, 2, 24, 0}},
      {"no channels", {664, 372, 15, 0, 100.0, 22050, 0, 16, 0}},
      {"channels without a rate", {664, 372, 15, 0, 100.0, 0, 2, 16, 0}},
  };
  for (const Case& c : cases) {
    WmvWriter before = w.writer;
    EXPECT_EQ(u32(WmvWriter_Open(&w.writer, dir.Host("b.wmv").c_str(), &c.settings)), 0x80070057u) << c.what;
    EXPECT_EQ(SLGetLastError(), 0x80070057u) << c.what;
    EXPECT_EQ(std::memcmp(&before, &w.writer, sizeof before), 0) << c.what;
  }
  // The writer still writes where it was opened, and nothing was made for the refusals.
  const std::vector<std::uint8_t> picture = Picture(664, 372, 0);
  EXPECT_EQ(WmvWriter_WriteVideoFrame(&w.writer, picture.data()), 0);
  EXPECT_FALSE(std::ifstream(dir.Host("b.wmv")).good());
}

TEST(WmvWriter, QualityIsClampedIntoOneToHundred) {
  TempDir dir;
  const struct {
    double asked, kept;
  } cases[] = {{0.5, 1.0}, {250.0, 100.0}, {42.0, 42.0}};
  for (const auto& c : cases) {
    OpenWriter w;
    WmvWriterSettings settings = kExportSettings;
    settings.quality = c.asked;
    ASSERT_EQ(WmvWriter_Open(&w.writer, dir.Host("q.wmv").c_str(), &settings), 0);
    EXPECT_EQ(w.writer.settings.quality, c.kept);
  }
}

TEST(WmvWriter, WritingToAStreamThatDoesNotExistFails) {
  TempDir dir;
  const std::vector<std::uint8_t> picture = Picture(664, 372, 0);
  const std::vector<std::int16_t> tone = Tone(100, 0);
  {
    OpenWriter w;  // never opened
    EXPECT_EQ(u32(WmvWriter_WriteAudioSamples(&w.writer, tone.data(), 100)), 0x80004005u);
    EXPECT_EQ(u32(WmvWriter_WriteVideoFrame(&w.writer, picture.data())), 0x80004005u);
  }
  {
    OpenWriter w;  // opened, then reset
    ASSERT_EQ(WmvWriter_Open(&w.writer, dir.Host("r.wmv").c_str(), &kExportSettings), 0);
    WmvWriter_Reset(&w.writer);
    EXPECT_EQ(u32(WmvWriter_WriteAudioSamples(&w.writer, tone.data(), 100)), 0x80004005u);
    EXPECT_EQ(SLGetLastError(), 0x80004005u);
    EXPECT_EQ(u32(WmvWriter_WriteVideoFrame(&w.writer, picture.data())), 0x80004005u);
    EXPECT_EQ(w.writer.writer, nullptr);
    EXPECT_EQ(w.writer.videoInput, kWmvNoInput);
  }
  {
    OpenWriter w;  // video only: there is no audio input
    WmvWriterSettings settings = {664, 372, 15, 0, 100.0, 0, 0, 0, 0};
    ASSERT_EQ(WmvWriter_Open(&w.writer, dir.Host("v.wmv").c_str(), &settings), 0);
    EXPECT_EQ(w.writer.audioInput, kWmvNoInput);
    EXPECT_EQ(u32(WmvWriter_WriteAudioSamples(&w.writer, tone.data(), 100)), 0x80004005u);
    EXPECT_EQ(WmvWriter_WriteVideoFrame(&w.writer, picture.data()), 0);
  }
}

TEST(WmvWriter, InputsComeAudioFirstAndCountWhatWasWritten) {
  TempDir dir;
  OpenWriter w;
  ASSERT_EQ(WmvWriter_Open(&w.writer, dir.Host("c.wmv").c_str(), &kExportSettings), 0);
  EXPECT_EQ(w.writer.audioInput, 0u);
  EXPECT_EQ(w.writer.videoInput, 1u);
  const std::vector<std::int16_t> tone = Tone(3675, 0);
  ASSERT_EQ(WmvWriter_WriteAudioSamples(&w.writer, tone.data(), 3675), 0);
  // An empty block is refused: a caller with nothing to say writes nothing.
  EXPECT_EQ(u32(WmvWriter_WriteAudioSamples(&w.writer, tone.data(), 0)), 0x80070057u);
  EXPECT_EQ(w.writer.audioFrames, 3675u);
}

TEST(WmvWriter, FilesAreAsfWithWmv2AndWmav2ThatPlayersRead) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffprobe and ffmpeg are the reference readers";
  TempDir dir;
  const std::string path = dir.Host("movie.WMV");
  ASSERT_EQ(WriteMovie(path, 2), 0);
  const std::string probe = SLTestCapture("ffprobe -v error -count_frames -show_format -show_streams "
                                          "-of flat '" + path + "'");
  for (const char* expected :
       {"format.format_name=\"asf\"", "format.nb_streams=2", "format.tags.WM_Writer=\"Quelvo\"",
        "codec_name=\"wmv2\"", "width=664", "height=372", "r_frame_rate=\"15/1\"", "nb_read_frames=\"30\"",
        "codec_name=\"wmav2\"", "sample_rate=\"44100\"", "channels=2"}) {
    if (std::string(expected).find("WM_Writer") != std::string::npos &&
        probe.find("format.tags.WM/Writer=\"Quelvo\"") != std::string::npos)
      continue;  // ffprobe's flat writer may keep the name's slash
    EXPECT_NE(probe.find(expected), std::string::npos) << expected << "\n" << probe;
  }
  EXPECT_EQ(SLTestCapture("ffmpeg -v error -i '" + path + "' -f null - 2>&1"), "");

  // The tenth picture is stamped 9 / 15 s.
  const std::string times = SLTestCapture("ffprobe -v error -select_streams v -show_entries packet=pts_time "
                                          "-of csv=p=0 '" + path + "'");
  std::istringstream lines(times);
  std::vector<double> stamps;
  for (std::string line; std::getline(lines, line);) stamps.push_back(std::stod(line));
  ASSERT_GE(stamps.size(), 10u);
  const double first = stamps[0];
  EXPECT_NEAR(stamps[9] - first, 0.6, 0.0015);

  // Bottom-up rows: the picture's top half (the last rows in memory) is red on screen.
  const std::string rgb = SLTestCapture("ffmpeg -v error -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  ASSERT_EQ(rgb.size(), std::size_t(664) * 372 * 3);
  auto at = [&](u32 x, u32 y, int c) { return std::uint8_t(rgb[(std::size_t(y) * 664 + x) * 3 + c]); };
  EXPECT_GT(at(300, 40, 0), 150);  // red on top
  EXPECT_LT(at(300, 40, 2), 80);
  EXPECT_GT(at(300, 330, 2), 150);  // blue below
  EXPECT_LT(at(300, 330, 0), 80);
  // The sound lasts its two seconds.
  const std::string audio = SLTestCapture("ffmpeg -v error -i '" + path + "' -vn -f s16le -ac 2 -ar 44100 -");
  EXPECT_NEAR(double(audio.size()) / 4 / 44100, 2.0, 0.1);
}

TEST(WmvWriter, TheSameInputGivesTheSameBytes) {
  TempDir dir;
  ASSERT_EQ(WriteMovie(dir.Host("a.wmv"), 1), 0);
  ASSERT_EQ(WriteMovie(dir.Host("b.wmv"), 1), 0);
  const std::string a = ReadAll(dir.Host("a.wmv"));
  EXPECT_GT(a.size(), 10000u);
  EXPECT_TRUE(a == ReadAll(dir.Host("b.wmv")));
}

TEST(WmvWriter, FileErrorsComeBackAsTheirCodes) {
  TempDir dir;
  OpenWriter w;
  EXPECT_EQ(u32(WmvWriter_Open(&w.writer, dir.Host("missing/folder/x.wmv").c_str(), &kExportSettings)),
            0x80070003u);
  EXPECT_EQ(w.writer.writer, nullptr);
  EXPECT_EQ(w.writer.settings.width, 0u);

  // A disk that fills up while the movie is written: the failing write says so, every
  // later one too, and the writer can be reset and opened again.
  SLPlatformWmvSetWriteLimit(20000);
  HRESULT hr = WmvWriter_Open(&w.writer, dir.Host("full.wmv").c_str(), &kExportSettings);
  ASSERT_EQ(hr, 0);
  u32 written = 0;
  std::vector<std::uint8_t> noise(std::size_t(WmvWriter_RowBytes(664)) * 372);
  std::uint32_t seed = 1;
  const std::vector<std::int16_t> second = Tone(22050, 0);
  for (; written < 200 && hr == 0; ++written) {
    // Sound every second, as the export writes it: the muxer interleaves the streams.
    if (written % 15 == 0 && (hr = WmvWriter_WriteAudioSamples(&w.writer, second.data(), 22050)) != 0) break;
    for (std::uint8_t& byte : noise) byte = std::uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    hr = WmvWriter_WriteVideoFrame(&w.writer, noise.data());
  }
  SLPlatformWmvSetWriteLimit(0);
  EXPECT_EQ(u32(hr), 0x80070070u);
  EXPECT_LT(written, 200u);
  const std::vector<std::uint8_t> picture = Picture(664, 372, 0);
  EXPECT_EQ(u32(WmvWriter_WriteVideoFrame(&w.writer, picture.data())), 0x80070070u);
  WmvWriter_Reset(&w.writer);
  EXPECT_EQ(WmvWriter_Open(&w.writer, dir.Host("again.wmv").c_str(), &kExportSettings), 0);
  WmvWriter_Reset(&w.writer);

  // A folder under the name would refuse the finished file: it is refused at the open.
  std::filesystem::create_directory(dir.Host("folder.wmv"));
  EXPECT_EQ(u32(WmvWriter_Open(&w.writer, dir.Host("folder.wmv").c_str(), &kExportSettings)), 0x80070005u);
  EXPECT_EQ(w.writer.writer, nullptr);
  EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{"folder.wmv"}));
}

TEST(WmvWriter, AFileTakesItsNameOnlyWhenItIsWhole) {
  TempDir dir;
  const std::string path = dir.Host("Peli.WMV");
  const std::vector<std::string> justTheVideo = {"Peli.WMV"};
  std::ofstream(path) << kEarlier;

  // A writer reset before its finish (a cancel), and one whose disk fills: the earlier
  // file stays and nothing else is left.
  {
    OpenWriter w;
    ASSERT_EQ(WmvWriter_Open(&w.writer, path.c_str(), &kExportSettings), 0);
    EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{".Peli.WMV.tmp", "Peli.WMV"}));  // hidden, beside it
    ASSERT_EQ(WriteNoise(&w.writer, 20), 0);
    WmvWriter_Reset(&w.writer);
    EXPECT_EQ(ReadAll(path), kEarlier);
    EXPECT_EQ(Listing(dir.Host()), justTheVideo);

    SLPlatformWmvSetWriteLimit(60000);
    ASSERT_EQ(WmvWriter_Open(&w.writer, path.c_str(), &kExportSettings), 0);
    EXPECT_EQ(u32(WriteNoise(&w.writer, 200)), 0x80070070u);
    SLPlatformWmvSetWriteLimit(0);
    EXPECT_EQ(u32(WmvWriter_Finish(&w.writer)), 0x80070070u);
    EXPECT_EQ(w.writer.writer, nullptr);
    EXPECT_EQ(ReadAll(path), kEarlier);
    EXPECT_EQ(Listing(dir.Host()), justTheVideo);
    EXPECT_EQ(u32(WmvWriter_Finish(&w.writer)), 0x80004005u);  // nothing open
  }

  // A finished file replaces the earlier one, also over the sibling a killed run left.
  std::ofstream(dir.Host(".Peli.WMV.tmp")) << "left by a run that was killed";
  ASSERT_EQ(WriteMovie(path, 1), 0);
  EXPECT_EQ(Listing(dir.Host()), justTheVideo);
  const std::string video = ReadAll(path);
  ASSERT_GT(video.size(), 16u);
  EXPECT_EQ(video.substr(0, 4), std::string("\x30\x26\xB2\x75"));  // the ASF header object
}

TEST(WmvWriter, ProcessesThatEndOrHitTheirSizeLimitKeepTheEarlierFile) {
  TempDir dir;
  const std::string path = dir.Host("Peli.WMV");
  std::ofstream(path) << kEarlier;

  // A file-size limit (ulimit -f) fails the write as a full disk, and the process lives
  // on (no SIGXFSZ): the earlier file stays, and no sibling is left.
  const int limited = InChild([&] {
    const rlimit limit{150000, 150000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    WmvWriter writer;
    WmvWriter_Init(&writer);
    if (WmvWriter_Open(&writer, path.c_str(), &kExportSettings) != 0) return 11;
    const HRESULT wrote = WriteNoise(&writer, 300);
    const HRESULT finished = WmvWriter_Finish(&writer);
    return u32(wrote) == 0x80070070u && u32(finished) == 0x80070070u ? 0 : 12;
  });
  EXPECT_EQ(limited, 0);
  EXPECT_EQ(ReadAll(path), kEarlier);
  EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{"Peli.WMV"}));

  // A process killed while it writes leaves its hidden sibling and the earlier file; the
  // next writer of the name removes the sibling.
  const int killed = InChild([&] {
    WmvWriter writer;
    WmvWriter_Init(&writer);
    if (WmvWriter_Open(&writer, path.c_str(), &kExportSettings) != 0 || WriteNoise(&writer, 30) != 0) return 11;
    raise(SIGKILL);
    return 12;
  });
  EXPECT_EQ(killed, 128 + SIGKILL);
  EXPECT_EQ(ReadAll(path), kEarlier);
  EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{".Peli.WMV.tmp", "Peli.WMV"}));
  ASSERT_EQ(WriteMovie(path, 1), 0);
  EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{"Peli.WMV"}));
  EXPECT_NE(ReadAll(path), kEarlier);
}

TEST(WmvWriter, ASecondExportOfTheSameNameLeavesTheFirstWhole) {
  TempDir dir;
  const std::string path = dir.Host("Peli.WMV"), sibling = dir.Host(".Peli.WMV.tmp");
  std::ofstream(path) << kEarlier;
  Pipe ready, go;
  const pid_t first = StartChild([&] {
    go.CloseWrites();
    WmvWriter writer;
    WmvWriter_Init(&writer);
    if (WmvWriter_Open(&writer, path.c_str(), &kExportSettings) != 0 || WriteNoise(&writer, 15) != 0) return 11;
    if (!ready.Write(1) || go.Read() != ~0u || WriteNoise(&writer, 15) != 0) return 12;
    return WmvWriter_Finish(&writer) == 0 ? 0 : 13;
  });
  ready.CloseWrites();
  ASSERT_EQ(ready.Read(), 1u);
  struct stat before {}, after {};
  ASSERT_EQ(stat(sibling.c_str(), &before), 0);
  {
    OpenWriter second;  // another copy of the program, exporting the same movie
    EXPECT_EQ(u32(WmvWriter_Open(&second.writer, path.c_str(), &kExportSettings)), kInUse);
    EXPECT_EQ(SLGetLastError(), kInUse);
    EXPECT_EQ(second.writer.writer, nullptr);
    EXPECT_EQ(second.writer.temporaryName, nullptr);
  }
  ASSERT_EQ(stat(sibling.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the first one's, still there
  EXPECT_EQ(ReadAll(path), kEarlier);
  go.CloseWrites();
  EXPECT_EQ(EndOfChild(first), 0);
  EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{"Peli.WMV"}));
  ExpectWholeMovie(path, 30);
}

TEST(WmvWriter, ExportsThatStartTogetherLeaveOneWriting) {
  TempDir dir;
  const std::string path = dir.Host("Peli.WMV");
  // First with no sibling, then each time over one that a killed run left.
  for (int round = 0; round < 3; ++round) {
    if (round) std::ofstream(dir.Host(".Peli.WMV.tmp")) << "left by a run that was killed";
    Pipe start, results, go;
    std::vector<pid_t> exports;
    for (int i = 0; i < 4; ++i)
      exports.push_back(StartChild([&] {
        start.CloseWrites();
        go.CloseWrites();
        start.Read();
        WmvWriter writer;
        WmvWriter_Init(&writer);
        const HRESULT opened = WmvWriter_Open(&writer, path.c_str(), &kExportSettings);
        const bool told = results.Write(u32(opened));
        results.CloseWrites();
        if (!told || opened != 0) return told && u32(opened) == kInUse ? 0 : 11;
        if (WriteNoise(&writer, 5) != 0) return 12;
        go.Read();  // every other export tried meanwhile
        return WmvWriter_Finish(&writer) == 0 ? 0 : 13;
      }));
    start.CloseWrites();
    results.CloseWrites();
    std::vector<u32> codes;
    for (int i = 0; i < 4; ++i) codes.push_back(results.Read());
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0u), 1) << round;
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kInUse), 3) << round;
    go.CloseWrites();
    for (pid_t pid : exports) EXPECT_EQ(EndOfChild(pid), 0) << round;
    EXPECT_EQ(Listing(dir.Host()), (std::vector<std::string>{"Peli.WMV"})) << round;
    ExpectWholeMovie(path, 5);
  }
}
