// The WAV reader against sox and ffmpeg files and python-crafted ones, with a python
// reader (tests/media/wavfixtures.py) as the reference for every sample handed out.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>

#include "media/SLVideoAudioReaderWAV.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kScript = std::string(SL_SOURCE_DIR) + "/tests/media/wavfixtures.py";

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
u32 Code(bool result) { return result ? SL_OK : SLGetLastError(); }

class WavFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new TempDir();
    ASSERT_TRUE(Shell("python3 " + kScript + " craft " + dir->Host()));
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  // The reference samples of a file, widened as the reader must hand them out.
  static std::string Reference(const std::string& name) {
    EXPECT_TRUE(Shell("python3 " + kScript + " ref " + dir->Host(name) + " " + dir->Host(name + ".ref")));
    return dir->Read(name + ".ref");
  }
  static TempDir* dir;
};
TempDir* WavFiles::dir = nullptr;

// Every sample at `trials` random positions, the end included, equals the reference.
void ExpectSamples(CSLBaseVideoAudioReader* reader, const std::string& reference, u32 trials) {
  SLAudioFormat format;
  u64 length = 0;
  ASSERT_TRUE(reader->GetAudioFormat(0, &format));
  ASSERT_TRUE(reader->GetAudioLength(0, &length));
  ASSERT_EQ(length * format.blockAlign, reference.size());
  ASSERT_TRUE(reader->StartStream(0));
  std::mt19937 rng(length);
  for (u32 trial = 0; trial < trials; ++trial) {
    u64 first = rng() % (length + 16);
    u32 count = rng() % 5000;
    if (trial == 0) first = length - 1, count = 1000;  // the last frame only
    if (trial == 1) first = 0, count = u32(length);
    const void* samples = nullptr;
    u32 got = 99;
    ASSERT_TRUE(reader->ReadAudio(0, first, count, &samples, &got)) << first;
    const u64 expected = first >= length ? 0 : std::min<u64>(count, length - first);
    ASSERT_EQ(got, expected) << first << " " << count;
    ASSERT_EQ(std::string(static_cast<const char*>(samples), got * format.blockAlign),
              reference.substr(std::min<u64>(first * format.blockAlign, reference.size()), got * format.blockAlign))
        << first << " " << count;
  }
  EXPECT_TRUE(reader->StopStream(0));
}

TEST_F(WavFiles, ToolFilesMatchThePythonReader) {
  struct Fixture {
    const char* command;  // %s is the output file
    u32 channels, bits, rate;
  } fixtures[] = {
      {"sox -V1 -n -r 11025 -c 1 -b 8 -e unsigned-integer -t wav %s synth 1.3 whitenoise", 1, 8, 11025},
      {"sox -V1 -n -r 22050 -c 1 -b 16 -t wav %s synth 1.3 whitenoise vol 0.5", 1, 16, 22050},
      {"sox -V1 -n -r 44100 -c 2 -b 16 -t wav %s synth 1.3 whitenoise vol 0.5", 2, 16, 44100},
      {"sox -V1 -n -r 48000 -c 2 -b 24 -t wav %s synth 1.3 whitenoise vol 0.5", 2, 32, 48000},
      {"sox -V1 -n -r 44100 -c 2 -b 32 -e signed-integer -t wav %s synth 1.3 whitenoise vol 0.5", 2, 32, 44100},
      {"ffmpeg -v error -f lavfi -i anoisesrc=d=1.3:r=44100 -ac 2 -c:a pcm_s16le -f wav -y %s", 2, 16, 44100},
      {"ffmpeg -v error -f lavfi -i anoisesrc=d=1.3:r=22050 -ac 1 -c:a pcm_s24le -f wav -y %s", 1, 32, 22050},
      {"ffmpeg -v error -f lavfi -i anoisesrc=d=1.3:r=8000 -ac 3 -c:a pcm_u8 -f wav -y %s", 3, 8, 8000},
  };
  int index = 0;
  for (const Fixture& fixture : fixtures) {
    const std::string name = "tool" + std::to_string(index++) + ".WaV";
    char command[512];
    std::snprintf(command, sizeof command, fixture.command, dir->Host(name).c_str());
    ASSERT_TRUE(Shell(command)) << command;
    SCOPED_TRACE(command);
    const SLClassRecord* record = CSLBaseVideoAudioReader::FindReaderClassByExtension(dir->Win(name).c_str());
    ASSERT_EQ(record, CSLVideoAudioReaderWAV::GetClassRecord());
    auto* reader = static_cast<CSLBaseVideoAudioReader*>(record->CreateObject());
    ASSERT_TRUE(reader->OpenFile(dir->Host(name).c_str(), 0));
    SLAudioFormat f;
    ASSERT_TRUE(reader->GetAudioFormat(0, &f));
    const u32 align = fixture.bits / 8 * fixture.channels;
    EXPECT_EQ(std::tuple(f.formatTag, f.channels, f.bitsPerSample, f.samplesPerSecond, f.bytesPerSecond, f.blockAlign),
              std::tuple(1u, fixture.channels, fixture.bits, fixture.rate, fixture.rate * align, align));
    ExpectSamples(reader, Reference(name), 1000);
    reader->Release();
  }
}

TEST_F(WavFiles, CraftedFilesOpenOrFailWithTheirCodes) {
  struct Case {
    const char* name;
    u32 code;
    u32 channels = 0, bits = 0, rate = 0;
    u64 length = 0;
  } cases[] = {
      {"fmt14.wav", SL_OK, 1, 8, 8000, 100},  // no bits field: 8 bits
      {"fmt15.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"fmt16.wav", SL_OK, 2, 16, 22050, 100},
      {"fmt20big.wav", SL_OK, 1, 16, 22050, 200},
      {"fmt40.wav", SL_OK, 2, 32, 48000, 100},  // extensible PCM, 24 bits
      {"fmt40float.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},  // not PCM and no "fact"
      {"listpadded.wav", SL_OK, 1, 16, 11025, 150},
      {"listunpadded.wav", SL_OK, 1, 16, 11025, 150},
      {"factodd.wav", SL_OK, 1, 16, 11025, 150},
      {"packed24.wav", SL_OK, 2, 32, 44100, 333},
      {"align4.wav", SL_OK, 1, 16, 8000, 100},
      {"datafirst.wav", SL_E_MALFORMED},
      {"dataempty.wav", SL_E_MALFORMED},
      {"factshort.wav", SL_E_MALFORMED},
      {"notwave.wav", SL_E_MALFORMED},
      {"short.wav", SL_E_STORAGE_EOF},
      {"adpcmnofact.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"adpcmfact.wav", SL_OK, 1, 8, 8000, 1010},  // converted: 4 stored bits read as 8
      {"mp3short.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"rate0.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"bytesrate.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"facthuge.wav", SL_E_STORAGE_EOF},  // refused before memory is taken for it
      {"channels0.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"bits0.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"bits33.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
      {"align0.wav", SL_E_MEDIA_BAD_FORMAT_RECORD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSLVideoAudioReaderWAV reader;
    EXPECT_EQ(Code(reader.OpenFile(dir->Host(c.name).c_str(), 0)), c.code);
    u32 streams = 9;  // a failed Open leaves the reader closed
    EXPECT_EQ(Code(reader.GetStreamCount(&streams)), c.code ? u32(SL_E_STORAGE_NOT_OPEN) : 0u);
    EXPECT_EQ(streams, c.code ? 0u : 1u);
    if (c.code != SL_OK) continue;
    SLAudioFormat f;
    u64 length = 0;
    ASSERT_TRUE(reader.GetAudioFormat(0, &f) && reader.GetAudioLength(0, &length));
    EXPECT_EQ(std::tuple(f.channels, f.bitsPerSample, f.samplesPerSecond, length),
              std::tuple(c.channels, c.bits, c.rate, c.length));
    if (std::string(c.name).rfind("adpcm", 0) != 0) ExpectSamples(&reader, Reference(c.name), 50);
  }
}

TEST_F(WavFiles, DataBeyondTheFileFailsOrEndsEarlyWhenLenient) {
  CSLVideoAudioReaderWAV strict, lenient, wide;
  u64 strictLength = 0, lenientLength = 0, wideLength = 0;
  ASSERT_TRUE(strict.OpenFile(dir->Host("databeyond.wav").c_str(), 0) && strict.GetAudioLength(0, &strictLength));
  ASSERT_TRUE(lenient.OpenFile(dir->Host("databeyond.wav").c_str(), 1) && lenient.GetAudioLength(0, &lenientLength));
  EXPECT_EQ(strictLength, 50000u);
  EXPECT_EQ(lenientLength, 500u);
  const void* samples = nullptr;
  u32 got = 0;
  ASSERT_TRUE(strict.StartStream(0) && strict.ReadAudio(0, 0, 500, &samples, &got));
  EXPECT_EQ(got, 500u);
  EXPECT_EQ(Code(strict.ReadAudio(0, 400, 200, &samples, &got)), SL_E_STORAGE_EOF);
  ASSERT_TRUE(lenient.StartStream(0) && lenient.ReadAudio(0, 400, 200, &samples, &got));
  EXPECT_EQ(got, 100u);
  // Frames of 524,280 bytes: 10,000 of them do not fit a 32-bit buffer size; one does,
  // and then the file is too short.
  ASSERT_TRUE(wide.OpenFile(dir->Host("wide64.wav").c_str(), 0) && wide.GetAudioLength(0, &wideLength));
  EXPECT_EQ(wideLength, 65536u);
  ASSERT_TRUE(wide.StartStream(0));
  EXPECT_EQ(Code(wide.ReadAudio(0, 0, 10000, &samples, &got)), SL_E_OUT_OF_MEMORY);
  EXPECT_EQ(Code(wide.ReadAudio(0, 0, 1, &samples, &got)), SL_E_STORAGE_EOF);
}

TEST_F(WavFiles, CallingOrderAndStreamRules) {
  std::string bytes = dir->Read("fmt16.wav");
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(bytes.data(), u32(bytes.size()), false);
  CSLVideoAudioReaderWAV reader;
  const void* samples = nullptr;
  u32 got = 0, type = 0, streams = 1;
  SLVideoFormat video{7, 7, 7, 7, 7};
  EXPECT_EQ(Code(reader.Open(nullptr, 0)), SL_E_NULL_DATA);
  EXPECT_EQ(Code(reader.ReadAudio(0, 0, 1, &samples, &got)), SL_E_STORAGE_NOT_OPEN);
  ASSERT_TRUE(reader.Open(storage, 0));
  EXPECT_EQ(storage->GetRefCount(), 2);
  EXPECT_EQ(Code(reader.ReadAudio(0, 0, 1, &samples, &got)), SL_E_NOT_STARTED);
  EXPECT_EQ(Code(reader.ReadAudio(0, 0, 1, nullptr, &got)), SL_E_NULL_OUTPUT);
  EXPECT_EQ(Code(reader.ReadAudio(0, 0, 1, &samples, nullptr)), SL_E_MEDIA_NULL_COUNT);
  ASSERT_TRUE(reader.StartStream(0));
  EXPECT_EQ(Code(reader.StartStream(0)), SL_E_ALREADY_STARTED);
  EXPECT_EQ(Code(reader.GetStreamType(1, &type)), SL_E_MEDIA_NO_STREAM);
  EXPECT_EQ(type, u32(SL_STREAM_UNKNOWN));
  EXPECT_EQ(Code(reader.GetVideoFormat(0, &video)), SL_E_MEDIA_NOT_VIDEO);
  EXPECT_EQ(video.width + video.imageBytes, 0u);
  ASSERT_TRUE(reader.StopStream(0));
  EXPECT_EQ(Code(reader.StopStream(0)), SL_E_NOT_STARTED);
  // Opening again the storage the reader holds, as its only holder: Open closes the first
  // file without losing the storage. A failed Open (the storage stands at the samples
  // now) leaves the reader closed, and the storage goes.
  ASSERT_TRUE(storage->Seek(0, SL_SEEK_BEGIN));
  storage->Release();
  ASSERT_TRUE(reader.Open(storage, 0));
  EXPECT_EQ(storage->GetRefCount(), 1);
  EXPECT_EQ(Code(reader.Open(storage, 0)), SL_E_MALFORMED);
  EXPECT_EQ(Code(reader.GetStreamCount(&streams)), SL_E_STORAGE_NOT_OPEN);
  EXPECT_EQ(streams, 0u);

  u8 header[12] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  EXPECT_TRUE(reader.CheckSignature(header, 12));
  EXPECT_EQ(Code(reader.CheckSignature(header, 11)), SL_E_INVALID_ARG);
  header[8] = 'A';
  EXPECT_EQ(Code(reader.CheckSignature(header, 12)), SL_OK);
}

// Compressed encodings through the system's converter equal ffmpeg's decode of the same
// file, read whole, on from where the last read ended, and from anywhere (a restart).
TEST_F(WavFiles, ConvertedEncodingsMatchFfmpeg) {
  const struct {
    const char* name;
    const char* make;  // %s: the file
    u32 bits;
    const char* reference;  // ffmpeg's sample format for the reported width
  } cases[] = {
      {"ima_ff.wav", "ffmpeg -v error -f lavfi -i anoisesrc=d=2.5:a=0.4 -ac 2 -ar 22050 -c:a adpcm_ima_wav -y %s", 8, "u8"},
      {"ima_sox.wav", "sox -V1 -n -r 11025 -c 1 -e ima-adpcm -t wav %s synth 2.5 pinknoise vol 0.5", 8, "u8"},
      {"ms_sox.wav", "sox -V1 -n -r 22050 -c 2 -e ms-adpcm -t wav %s synth 2.5 pinknoise vol 0.5", 8, "u8"},
      {"alaw.wav", "sox -V1 -n -r 8000 -c 1 -e a-law -t wav %s synth 3 sine 440 vol 0.5", 8, "u8"},
      {"mulaw.wav", "ffmpeg -v error -f lavfi -i anoisesrc=d=3:a=0.4 -ar 8000 -c:a pcm_mulaw -y %s", 8, "u8"},
      {"gsm.wav", "ffmpeg -v error -f lavfi -i anoisesrc=d=3:a=0.4 -ar 8000 -c:a libgsm_ms -y %s", 16, "s16le"},
      {"float.wav", "ffmpeg -v error -f lavfi -i anoisesrc=d=2:a=0.4 -ac 2 -c:a pcm_f32le -y %s", 32, "s32le"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char command[512];
    std::snprintf(command, sizeof command, c.make, dir->Host(c.name).c_str());
    ASSERT_TRUE(Shell(command)) << command;
    ASSERT_TRUE(Shell("ffmpeg -v error -i " + dir->Host(c.name) + " -f " + c.reference + " -y " +
                      dir->Host(std::string(c.name) + ".ref")));
    std::string reference = dir->Read(std::string(c.name) + ".ref");
    CSLVideoAudioReaderWAV reader;
    ASSERT_TRUE(reader.OpenFile(dir->Host(c.name).c_str(), 0));
    SLAudioFormat f;
    u64 length = 0;
    ASSERT_TRUE(reader.GetAudioFormat(0, &f) && reader.GetAudioLength(0, &length));
    EXPECT_EQ(f.bitsPerSample, c.bits);
    // The "fact" count ends inside the last block decoded.
    ASSERT_LE(length * f.blockAlign, reference.size());
    ASSERT_GT(length * f.blockAlign + 2048 * f.blockAlign, reference.size());
    reference.resize(length * f.blockAlign);
    ExpectSamples(&reader, reference, 25);
    // 8000 frames from 0, the next 8000 (no restart), then from 1000 again.
    ASSERT_TRUE(reader.StartStream(0));
    for (u64 first : {0, 8000, 1000}) {
      const void* samples = nullptr;
      u32 got = 0;
      ASSERT_TRUE(reader.ReadAudio(0, first, 8000, &samples, &got));
      ASSERT_EQ(got, 8000u);
      EXPECT_TRUE(std::string(static_cast<const char*>(samples), got * f.blockAlign) ==
                  reference.substr(first * f.blockAlign, got * f.blockAlign));
    }
  }
  // A tag no converter knows.
  std::string unknown = dir->Read("adpcmfact.wav");
  unknown[20] = 0x34, unknown[21] = 0x12;
  dir->Write("unknown.wav", unknown);
  CSLVideoAudioReaderWAV reader;
  EXPECT_EQ(Code(reader.OpenFile(dir->Host("unknown.wav").c_str(), 0)), SL_E_AUDIO_FORMAT);
}

TEST_F(WavFiles, MediaDumpWritesTheAudioBack) {
  const std::string in = dir->Host("dump.wav");
  ASSERT_TRUE(Shell("sox -V1 -n -r 22050 -c 2 -b 16 -t wav " + in + " synth 0.7 whitenoise vol 0.5"));
  ASSERT_EQ(std::system((std::string(SL_BINARY_DIR) + "/tools/mediadump " + in + " --audio " +
                         dir->Host("dump-out.wav") + " >" + dir->Host("dump.txt")).c_str()), 0);
  EXPECT_NE(dir->Read("dump.txt").find("stream 0: audio, PCM 2 channels, 16 bits, 22050 Hz, 4 bytes per frame, "
                                       "15435 frames"),
            std::string::npos)
      << dir->Read("dump.txt");
  EXPECT_EQ(dir->Read("dump-out.wav"), dir->Read("dump.wav"));
}

}  // namespace
