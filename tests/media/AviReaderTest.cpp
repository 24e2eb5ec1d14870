// The AVI reader against ffmpeg: pictures of lossless codecs equal ffmpeg's decode and lossy
// ones stay within 2 per channel, in order and at random frames, with the decoder driven
// along runs from key frames; every audio encoding equals ffmpeg's decode (MPEG audio the
// framework's decode of the bare stream) at random positions; damaged formats get their codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "foundation/SLLibrary.h"
#include "media/avi/AviStreamDecoder.h"
#include "media/avi/SLVideoAudioReaderAVI.h"
#include "media/mpeg/SLVideoAudioReaderMP3.h"
#include "platform/msvfw32/Vfw.h"
#include "storage/SLFileStorage.h"
#include "tests/support/TempDir.h"

namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
u32 Code(bool result) { return result ? SL_OK : SLGetLastError(); }

class AviFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir = new TempDir(); }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  // ffmpeg's output for `args`, made once.
  static std::string Make(const std::string& name, const std::string& args) {
    const std::string path = dir->Host(name);
    if (dir->Read(name).empty()) {
      EXPECT_TRUE(Shell("ffmpeg -v error -y " + args + " " + path)) << args;
    }
    return path;
  }
  static std::string Decode(const std::string& name, const std::string& args) {
    EXPECT_TRUE(Shell("ffmpeg -v error -y -i " + dir->Host(name) + " " + args + " " + dir->Host(name + ".ref")));
    return dir->Read(name + ".ref");
  }
  // MPEG audio layer II in AVI, and its stream bare as "bare.mp2".
  static std::string MakeMp2() {
    const std::string path =
        Make("mp2.avi", "-f lavfi -i testsrc=size=32x24:rate=5:duration=3 -f lavfi -i anoisesrc=d=3:a=0.4 "
                        "-c:v mjpeg -c:a mp2 -b:a 128k -ac 2 -ar 44100");
    EXPECT_TRUE(Shell("ffmpeg -v error -y -i " + path + " -map 0:a -c copy -f mp2 " + dir->Host("bare.mp2")));
    return path;
  }
  static TempDir* dir;
};
TempDir* AviFiles::dir = nullptr;

struct VideoCase {
  const char* name;
  const char* codec;
  u32 bits;
  const char* reference;  // ffmpeg pixel format of the reference pictures
  int tolerance;
};

// A picture handed out (bottom-up, padded rows, palette for 8 bits) as top-down packed
// pixels of the reference format: 8-bit pictures through their palette as BGR.
std::string TopDown(const u8* block, u32 width, u32 height, u32 bits) {
  const u8* palette = block + 40;
  const u8* rows = block + 40 + (bits == 8 ? 1024 : 0);
  const u32 stride = (width * bits + 31) / 32 * 4;
  std::string out;
  for (u32 y = height; y-- > 0;) {
    const u8* row = rows + u64(y) * stride;
    if (bits != 8) {
      out.append(reinterpret_cast<const char*>(row), width * bits / 8);
      continue;
    }
    for (u32 x = 0; x < width; ++x) out.append(reinterpret_cast<const char*>(palette + 4 * row[x]), 3);
  }
  return out;
}

int MaxDifference(const std::string& a, const std::string& b) {
  int most = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) most = std::max(most, std::abs(int(u8(a[i])) - int(u8(b[i]))));
  return a.size() == b.size() ? most : 1000;
}

TEST_F(AviFiles, PicturesMatchFfmpegInOrderAndAtRandomFrames) {
  const VideoCase cases[] = {
      {"bgr24.avi", "rawvideo -pix_fmt bgr24", 24, "bgr24", 0},
      {"pal8.avi", "rawvideo -pix_fmt pal8", 8, "bgr24", 0},
      {"rgb555.avi", "rawvideo -pix_fmt rgb555le", 16, "rgb555le", 0},
      {"msvideo1.avi", "msvideo1", 16, "rgb555le", 0},
      {"huffyuv.avi", "huffyuv -pix_fmt rgb24", 24, "bgr24", 0},
      {"cinepak.avi", "cinepak", 24, "bgr24", 2},
      {"mjpeg.avi", "mjpeg -q:v 3", 24, "bgr24", 2},
      {"mpeg4.avi", "mpeg4 -bf 0 -g 5", 24, "bgr24", 2},
  };
  const u32 width = 68, height = 52;
  for (const VideoCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Make(c.name, "-f lavfi -i testsrc=size=68x52:rate=10:duration=2 -c:v " +
                                              std::string(c.codec));
    const std::string reference = Decode(c.name, "-f rawvideo -pix_fmt " + std::string(c.reference));
    const size_t pictureBytes = reference.size() / 20;
    CSLVideoAudioReaderAVI reader;
    ASSERT_TRUE(reader.OpenFile(path.c_str(), 0));
    SLVideoFormat format;
    u64 frames = 0;
    ASSERT_TRUE(reader.GetVideoFormat(0, &format) && reader.GetVideoFrameCount(0, &frames));
    EXPECT_EQ(format.bitsPerPixel, c.bits);
    ASSERT_EQ(frames, 20u);
    ASSERT_TRUE(reader.StartStream(0));
    std::mt19937 rng(7);
    for (u32 step = 0; step < 60; ++step) {
      const u64 frame = step < 20 ? step : rng() % frames;
      const void* picture = nullptr;
      u32 size = 0;
      ASSERT_TRUE(reader.GetVideoFrame(0, frame, &picture, &size)) << frame;
      EXPECT_EQ(size, 40 + (c.bits == 8 ? 1024 : 0) + format.imageBytes);
      const std::string got = TopDown(static_cast<const u8*>(picture), width, height, c.bits);
      ASSERT_LE(MaxDifference(got, reference.substr(frame * pictureBytes, pictureBytes)), c.tolerance) << frame;
    }
    EXPECT_TRUE(reader.StopStream(0));
  }

  // Runs: the same frame decodes nothing, the next one frame, a jump from its key frame on.
  CSLVideoAudioReaderAVI reader;
  ASSERT_TRUE(reader.OpenFile(dir->Host("mpeg4.avi").c_str(), 0));
  ASSERT_TRUE(reader.StartStream(0));
  const struct {
    u64 frame;
    u64 decodes;
  } steps[] = {{7, 3}, {7, 0}, {8, 1}, {6, 2}, {0, 1}, {19, 5}, {12, 3}, {13, 1}, {5, 1}};
  for (const auto& step : steps) {
    const unsigned long long before = SLPlatformDecodedPictureCount();
    const void* picture = nullptr;
    ASSERT_TRUE(reader.GetVideoFrame(0, step.frame, &picture, nullptr));
    EXPECT_EQ(SLPlatformDecodedPictureCount() - before, step.decodes) << step.frame;
  }
  const void* picture = nullptr;
  EXPECT_EQ(Code(reader.GetVideoFrame(0, 20, &picture, nullptr)), SL_E_INVALID_ARG);
  EXPECT_EQ(picture, nullptr);
  EXPECT_EQ(Code(reader.StartStream(0)), SL_E_ALREADY_STARTED);
}

std::string PatchFormat(std::string file, int n, u32 offset, u32 value);

struct AudioCase {
  const char* name;
  const char* codec;
  u32 channels, bits, rate;
  const char* reference;  // ffmpeg sample format of the reference
};

// Reads everything in one call and at random positions; all of it must equal `reference`.
void ExpectAudio(CSLBaseVideoAudioReader* reader, u32 stream, const std::string& reference, u32 block) {
  u64 length = 0;
  ASSERT_TRUE(reader->GetAudioLength(stream, &length));
  ASSERT_EQ(length * block, reference.size());
  ASSERT_TRUE(reader->StartStream(stream));
  std::mt19937 rng{u32(length)};
  for (u32 trial = 0; trial < 40; ++trial) {
    u64 first = trial == 0 ? 0 : rng() % (length + 100);
    u32 count = trial == 0 ? u32(length) : rng() % 30000;
    const void* samples = nullptr;
    u32 got = 0;
    ASSERT_TRUE(reader->ReadAudio(stream, first, count, &samples, &got)) << first;
    ASSERT_EQ(got, first >= length ? 0 : std::min<u64>(count, length - first)) << first;
    if (got == 0) continue;
    ASSERT_TRUE(std::string(static_cast<const char*>(samples), u64(got) * block) ==
                reference.substr(first * block, u64(got) * block))
        << first << " " << count;
  }
  EXPECT_TRUE(reader->StopStream(stream));
}

// mediadump writes a plain 16-bit AVI's pictures as they are: x-5-5-5 rows right after
// the 40-byte header (no masks), each colour equal to ffmpeg's decode in its five bits.
TEST_F(AviFiles, MediaDumpWritesPlainSixteenBitPicturesAsFiveFiveFive) {
  const std::string path =
      Make("rgb555.avi", "-f lavfi -i testsrc=size=68x52:rate=10:duration=2 -c:v rawvideo -pix_fmt rgb555le");
  const std::string reference = Decode("rgb555.avi", "-f rawvideo -pix_fmt rgb555le");
  const u32 width = 68, height = 52, pictureBytes = width * height * 2;
  ASSERT_EQ(reference.size(), 20u * pictureBytes);
  const std::string frames = dir->Host("dump555");
  ASSERT_TRUE(Shell("mkdir -p " + frames + " && " + SL_BINARY_DIR + "/tools/mediadump " + path + " --frames " + frames));
  for (u32 frame : {0u, 9u, 19u}) {
    SCOPED_TRACE(frame);
    const std::string name = "dump555/frame000" + std::string(frame < 10 ? "0" : "") + std::to_string(frame);
    ASSERT_TRUE(Shell("convert " + dir->Host(name + ".bmp") + " -depth 8 rgb:" + dir->Host(name + ".rgb")));
    const std::string got = dir->Read(name + ".rgb");
    ASSERT_EQ(got.size(), width * height * 3);
    u32 wrong = 0;
    for (u32 i = 0; i < width * height; ++i) {
      const u32 pixel = SLLoadLE16(reinterpret_cast<const u8*>(reference.data()) + frame * pictureBytes + i * 2);
      const u32 expected[3] = {pixel >> 10 & 31, pixel >> 5 & 31, pixel & 31};
      for (u32 c = 0; c < 3; ++c) wrong += u32(u8(got[i * 3 + c]) >> 3 != expected[c]);
    }
    EXPECT_EQ(wrong, 0u);
  }
}

TEST_F(AviFiles, SoundsMatchFfmpegAtRandomPositions) {
  const AudioCase cases[] = {
      {"s16.avi", "pcm_s16le", 2, 16, 22050, "s16le"},
      {"u8.avi", "pcm_u8", 1, 8, 11025, "u8"},
      {"s24.avi", "pcm_s24le", 2, 16, 44100, "s16le"},  // stored as extensible PCM: reported as 16 bits
      {"ima.avi", "adpcm_ima_wav", 2, 16, 22050, "s16le"},
      {"imamono.avi", "adpcm_ima_wav", 1, 16, 11025, "s16le"},
      {"msadpcm.avi", "adpcm_ms", 1, 16, 22050, "s16le"},
      {"alaw.avi", "pcm_alaw", 1, 16, 8000, "s16le"},
      {"mulaw.avi", "pcm_mulaw", 2, 16, 8000, "s16le"},
      {"gsm.avi", "libgsm_ms", 1, 16, 8000, "s16le"},
  };
  for (const AudioCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        Make(c.name, "-f lavfi -i testsrc=size=32x24:rate=5:duration=3 -f lavfi -i anoisesrc=d=3:a=0.4 -c:v mjpeg -c:a " +
                         std::string(c.codec) + " -ac " + std::to_string(c.channels) + " -ar " + std::to_string(c.rate));
    const std::string reference = Decode(c.name, "-map 0:a -f " + std::string(c.reference));
    CSLVideoAudioReaderAVI reader;
    ASSERT_TRUE(reader.OpenFile(path.c_str(), 0));
    SLAudioFormat f;
    ASSERT_TRUE(reader.GetAudioFormat(1, &f));
    EXPECT_EQ(std::tuple(f.formatTag, f.channels, f.bitsPerSample, f.samplesPerSecond),
              std::tuple(1u, c.channels, c.bits, c.rate));
    ExpectAudio(&reader, 1, reference, f.blockAlign);
  }

  // The same 24-bit samples stored as plain PCM are widened to 32 bits, left-justified.
  {
    const std::string plain = PatchFormat(dir->Read("s24.avi"), 1, 0, 0x00020001);
    dir->Write("s24plain.avi", plain);
    CSLVideoAudioReaderAVI reader;
    SLAudioFormat f;
    ASSERT_TRUE(reader.OpenFile(dir->Host("s24plain.avi").c_str(), 0) && reader.GetAudioFormat(1, &f));
    EXPECT_EQ(f.bitsPerSample, 32u);
    ExpectAudio(&reader, 1, Decode("s24.avi", "-map 0:a -f s32le"), f.blockAlign);
  }

  // MPEG audio in AVI decodes as the bare stream does.
  const std::string path = MakeMp2();
  CSLVideoAudioReaderMP3 bare;
  ASSERT_TRUE(bare.OpenFile(dir->Host("bare.mp2").c_str(), 0));
  u64 length = 0;
  ASSERT_TRUE(bare.GetAudioLength(0, &length) && bare.StartStream(0));
  const void* samples = nullptr;
  u32 got = 0;
  ASSERT_TRUE(bare.ReadAudio(0, 0, u32(length), &samples, &got));
  CSLVideoAudioReaderAVI reader;
  ASSERT_TRUE(reader.OpenFile(path.c_str(), 0));
  // The stream's length may end within the last frame the decoder finds.
  ASSERT_TRUE(reader.GetAudioLength(1, &length));
  const std::string reference(static_cast<const char*>(samples), std::min<u64>(got, length) * 4u);
  ExpectAudio(&reader, 1, reference, 4);
}

// Patches the little-endian u32 at `offset` of the stream format chunk ("strf") number `n`.
std::string PatchFormat(std::string file, int n, u32 offset, u32 value) {
  size_t at = 0;
  for (int i = 0; i <= n; ++i) at = file.find("strf", at + 1);
  SLStoreLE32(reinterpret_cast<u8*>(&file[at + 8 + offset]), value);
  return file;
}

// A stream header that misstates MPEG audio (3 channels over a stereo stream):
// once started, the format reported is the decoder's, and the samples handed out fill it.
TEST_F(AviFiles, MpegAudioReportsTheDecodersFormat) {
  MakeMp2();
  const std::string plain = dir->Read("mp2.avi");
  const std::string wrong = PatchFormat(plain, 1, 0, 0x00030050);
  dir->Write("mp2wrong.avi", wrong);
  CSLVideoAudioReaderAVI good, bad;
  ASSERT_TRUE(good.OpenFile(dir->Host("mp2.avi").c_str(), 0) && good.StartStream(1));
  ASSERT_TRUE(bad.OpenFile(dir->Host("mp2wrong.avi").c_str(), 0) && bad.StartStream(1));
  SLAudioFormat f;
  ASSERT_TRUE(bad.GetAudioFormat(1, &f));
  EXPECT_EQ(std::tuple(f.channels, f.samplesPerSecond, f.blockAlign, f.bytesPerSecond),
            std::tuple(2u, 44100u, 4u, 44100u * 4));
  const void* expected = nullptr;
  const void* samples = nullptr;
  u32 expectedGot = 0, got = 0;
  ASSERT_TRUE(good.ReadAudio(1, 1000, 20000, &expected, &expectedGot));
  ASSERT_TRUE(bad.ReadAudio(1, 1000, 20000, &samples, &got));
  ASSERT_GT(got, 0u);
  ASSERT_EQ(got, expectedGot);
  EXPECT_TRUE(std::string(static_cast<const char*>(samples), u64(got) * f.blockAlign) ==
              std::string(static_cast<const char*>(expected), u64(got) * f.blockAlign));
}

TEST_F(AviFiles, DamagedFormatsAndChunksGetTheirCodes) {
  Make("small.avi", "-f lavfi -i testsrc=size=32x24:rate=30000/1001:duration=1 -f lavfi -i anoisesrc=d=1 "
                    "-c:v mjpeg -c:a pcm_s16le -ac 1 -ar 8000");
  const std::string small = dir->Read("small.avi");
  struct Case {
    const char* name;
    std::string bytes;
    u32 stream;
    u32 startCode;
  } cases[] = {
      {"plain", small, 0, SL_OK},
      {"wide", PatchFormat(small, 0, 4, 16385), 0, SL_E_MEDIA_VIDEO_FORMAT},
      {"tall", PatchFormat(small, 0, 8, 0x80000000u), 0, SL_E_MEDIA_VIDEO_FORMAT},
      {"rate", PatchFormat(small, 1, 4, 0x7FFFFFFF), 1, SL_E_AUDIO_FORMAT},  // a second past 64 MiB
      {"notag", PatchFormat(small, 1, 0, 0x00011234), 1, SL_E_AUDIO_FORMAT},  // tag without decoder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir->Write(std::string(c.name) + ".avi", c.bytes);
    CSLVideoAudioReaderAVI reader;
    ASSERT_TRUE(reader.OpenFile(dir->Host(std::string(c.name) + ".avi").c_str(), 0));
    EXPECT_EQ(Code(reader.StartStream(c.stream)), c.startCode);
    EXPECT_EQ(Code(reader.StopStream(c.stream)), c.startCode ? u32(SL_E_NOT_STARTED) : SL_OK);
  }

  // 30000/1001 is kept; a chunk the index places past the end of the file fails to decode.
  CSLVideoAudioReaderAVI reader;
  ASSERT_TRUE(reader.OpenFile(dir->Host("plain.avi").c_str(), 0));
  double rate = 0;
  ASSERT_TRUE(reader.GetVideoFrameRate(0, &rate));
  EXPECT_DOUBLE_EQ(rate, 30000.0 / 1001.0);
  ASSERT_TRUE(reader.StartStream(0));
  u64 frames = 0;
  ASSERT_TRUE(reader.GetVideoFrameCount(0, &frames));
  // The last "00dc" entry of "idx1" claims a chunk reaching past the end.
  std::string damaged = small;
  const size_t entry = damaged.rfind("00dc");
  SLStoreLE32(reinterpret_cast<u8*>(&damaged[entry + 12]), u32(damaged.size()));
  dir->Write("cut.avi", damaged);
  CSLVideoAudioReaderAVI cut;
  ASSERT_TRUE(cut.OpenFile(dir->Host("cut.avi").c_str(), 0));
  ASSERT_TRUE(cut.StartStream(0));
  const void* picture = nullptr;
  EXPECT_EQ(Code(cut.GetVideoFrame(0, frames - 1, &picture, nullptr)), SL_E_STORAGE_READ);
}

// A derived reader's decoder driver gets the whole message protocol; a FOURCC with a zero
// byte never asks for one.
std::u16string DriverPath() {
  const std::string path = SL_TEST_CODEC_DRIVER;
  return std::u16string(path.begin(), path.end());
}

class DriverReader : public CSLVideoAudioReaderAVI {
 public:
  HMODULE LoadCodecModule(const char* fourcc) override {
    asked += fourcc;
    return SLLoadLibrary(DriverPath().c_str());
  }
  std::string asked;
};

TEST_F(AviFiles, DecoderDriversReceiveTheirMessagesInOrder) {
  // Held here, the module and its log outlive the reader's own loading and freeing.
  HMODULE module = SLLoadLibrary(DriverPath().c_str());
  Make("driver.avi", "-f lavfi -i testsrc=size=32x24:rate=5:duration=1 -c:v rawvideo -pix_fmt bgr24");
  std::string file = dir->Read("driver.avi");
  DriverReader plain;
  ASSERT_TRUE(plain.OpenFile(dir->Host("driver.avi").c_str(), 0) && plain.StartStream(0));
  EXPECT_EQ(plain.asked, "");
  // The stream becomes "TEST" pictures, frames 1 and 2 not key frames.
  const size_t strh = file.find("strh"), strf = file.find("strf");
  file.replace(strh + 12, 4, "TEST");
  file.replace(strf + 24, 4, "TEST");
  size_t entry = file.rfind("idx1") + 8;
  for (int n = 0; n < 3; entry += 16)
    if (file.compare(entry, 2, "00") == 0 && n++ > 0) file[entry + 4] = 0;
  dir->Write("test.avi", file);
  DriverReader reader;
  ASSERT_TRUE(reader.OpenFile(dir->Host("test.avi").c_str(), 0) && reader.StartStream(0));
  const void* picture = nullptr;
  ASSERT_TRUE(reader.GetVideoFrame(0, 2, &picture, nullptr));
  EXPECT_EQ(static_cast<const u8*>(picture)[40], u8(file[file.find("00db") + 8 + 2 * (32 * 24 * 3 + 8)]));
  ASSERT_TRUE(reader.GetVideoFrame(0, 2, &picture, nullptr) && reader.StopStream(0));
  EXPECT_EQ(reader.asked, "TEST");
  size_t (*take)(u32*, size_t) = nullptr;
  ASSERT_TRUE(SLBindProc(module, u"TestDriverTakeLog", &take));
  u32 log[64];
  const std::vector<u32> messages(log, log + take(log, 64));
  const std::vector<u32> expected = {DRV_LOAD, DRV_ENABLE, DRV_OPEN, ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_BEGIN,
                                     ICM_DECOMPRESS, 0, ICM_DECOMPRESS, 0x88000000u, ICM_DECOMPRESS, 0x88000000u,
                                     ICM_DECOMPRESS_END, DRV_CLOSE, DRV_DISABLE, DRV_FREE};
  EXPECT_EQ(messages, expected);
  SLFreeLibrary(module);
}

// The program's intro film as the content generator makes it opens by its extension and
// plays to its end: every picture, and the sound up to its last sample.
TEST_F(AviFiles, IntroRecipePlaysToItsEnd) {
  const std::string path = Make("Intro.AVI", "-f lavfi -i testsrc=size=640x480:rate=15:duration=8 -f lavfi -i "
                                             "sine=f=330:r=22050:d=8 -c:v mjpeg -q:v 5 -c:a pcm_s16le -ac 2");
  const SLClassRecord* record = CSLBaseVideoAudioReader::FindReaderClassByExtension(path.c_str());
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(record->name, "CSLVideoAudioReaderAVI");
  CSLVideoAudioReaderAVI reader;
  ASSERT_TRUE(reader.OpenFile(path.c_str(), 0));
  u64 frames = 0, samples = 0;
  double rate = 0;
  ASSERT_TRUE(reader.GetVideoFrameCount(0, &frames) && reader.GetVideoFrameRate(0, &rate));
  ASSERT_TRUE(reader.GetAudioLength(1, &samples));
  EXPECT_EQ(std::tuple(frames, rate, samples), std::tuple(u64(120), 15.0, u64(8 * 22050)));
  ASSERT_TRUE(reader.StartStream(0) && reader.StartStream(1));
  u64 played = 0;
  for (u64 frame = 0; frame < frames; ++frame) {
    const void* picture = nullptr;
    const void* sound = nullptr;
    u32 got = 0;
    ASSERT_TRUE(reader.GetVideoFrame(0, frame, &picture, nullptr)) << frame;
    ASSERT_TRUE(reader.ReadAudio(1, played, 1470, &sound, &got));
    played += got;
  }
  EXPECT_EQ(played, samples);
  EXPECT_TRUE(reader.Close());
}

// The MPEG decoder's view of an audio stream: seeks stop at the ends as a file's would not.
TEST_F(AviFiles, MpegStorageAdapterSeeksWithinItsStream) {
  CSLVideoAudioReaderAVI reader;
  ASSERT_TRUE(reader.OpenFile(MakeMp2().c_str(), 0));
  ASSERT_TRUE(reader.StartStream(1));
  AviParser parser;
  CSLFileStorage file;
  ASSERT_TRUE(file.OpenA(dir->Host("mp2.avi").c_str(), 0) && parser.Open(&file, 0));
  AviStreamDecoder record = {};
  record.info = parser.GetStream(1);
  record.stream = 1;
  SLInternals::CSL_VideoAvi_Mp3DecoderStg adapter;
  adapter.Attach(&record, &file);
  u64 size = 0, position = 0;
  ASSERT_TRUE(adapter.GetSize(&size));
  EXPECT_EQ(size, record.info->totalBytes);
  const struct {
    i64 offset;
    u32 origin;
    u64 expected;
  } seeks[] = {{100, 0, 100}, {-200, 1, 0}, {50, 1, 50}, {i64(size) + 9, 0, size}, {-10, 2, size - 10},
               {1, 1, size - 9}, {100, 1, size}, {5, 2, size + 5}, {-i64(size) - 5, 2, 0}, {3, 7, 0}};
  for (const auto& s : seeks) {
    EXPECT_TRUE(adapter.Seek(s.offset, s.origin));
    ASSERT_TRUE(adapter.GetPosition(&position));
    EXPECT_EQ(position, s.expected) << s.offset << " " << s.origin;
    EXPECT_EQ(adapter.IsEOF(), position >= size);
  }
  u8 bytes[16];
  EXPECT_EQ(adapter.Read(bytes, 4), 4u);
  EXPECT_EQ(Code(adapter.Write(bytes, 4) != 0), SL_E_NOT_SUPPORTED);
  std::string whole = dir->Read("bare.mp2");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 4), whole.substr(0, 4));
}

}  // namespace
