// The readers that hand MPEG audio to the movie player: MP3 files through their own
// reader (and the media dump tool), and WAV files whose data is MPEG audio (tag 0x50).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLVideoAudioReaderMP3.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A storage holding `bytes`, positioned at the start.
CSLMemoryStorage* Storage(const std::string& bytes) {
  CSLMemoryStorage* storage = new CSLMemoryStorage();
  storage->Write(bytes.data(), bytes.size());
  storage->Seek(0, SL_SEEK_BEGIN);
  return storage;
}

TSLObjPtr<CSLMemoryStorage> Owned(CSLMemoryStorage* storage) {
  TSLObjPtr<CSLMemoryStorage> out;
  out.Attach(storage);
  return out;
}

// Every sample of a reader's stream 0.
std::vector<i16> ReadAll(CSLBaseVideoAudioReader* reader) {
  SLAudioFormat format{};
  u64 length = 0;
  EXPECT_TRUE(reader->GetAudioFormat(0, &format));
  EXPECT_TRUE(reader->GetAudioLength(0, &length));
  EXPECT_TRUE(reader->StartStream(0));
  const void* samples = nullptr;
  u32 got = 0;
  EXPECT_TRUE(reader->ReadAudio(0, 0, u32(length), &samples, &got)) << std::hex << SLGetLastError();
  const i16* pcm = static_cast<const i16*>(samples);
  std::vector<i16> out(pcm, pcm + u64(got) * format.channels);
  EXPECT_TRUE(reader->StopStream(0));
  return out;
}

class Mp3Readers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SLTestRegisterClasses();
    dir = new TempDir();
    ASSERT_TRUE(Shell("ffmpeg -y -f lavfi -i 'sine=f=523:d=2' -ar 44100 -ac 2 -c:a mp2 -b:a 160k -f mp2 '" + dir->Host("x.MP3") + "'"));
    ASSERT_TRUE(Shell("ffmpeg -y -i '" + dir->Host("x.MP3") + "' -c:a copy -f wav '" + dir->Host("x.wav") + "'"));
    // Layer III: in a WAV file (tag 0x55), and as a song whose ID3v2 tag holds a cover
    // picture of noise far beyond the first sync's search limit.
    ASSERT_TRUE(Shell("ffmpeg -y -f lavfi -i 'sine=f=330:d=2' -ar 44100 -ac 2 -c:a libmp3lame -b:a 128k -f wav '" +
                      dir->Host("l3.wav") + "'"));
    ASSERT_TRUE(Shell("python3 -c \"import random; random.seed(1); open('" + dir->Host("noise.rgb") +
                      "', 'wb').write(bytes(random.getrandbits(8) for _ in range(196608)))\""));
    ASSERT_TRUE(Shell("ffmpeg -y -f rawvideo -pix_fmt rgb24 -s 256x256 -i '" + dir->Host("noise.rgb") + "' '" +
                      dir->Host("cover.png") + "'"));
    ASSERT_TRUE(Shell("ffmpeg -y -f lavfi -i 'sine=f=660:d=3' -i '" + dir->Host("cover.png") +
                      "' -map 0 -map 1 -ar 44100 -ac 2 -c:a libmp3lame -q:a 2 -c:v copy -disposition:v attached_pic "
                      "-id3v2_version 3 -f mp3 '" + dir->Host("song.MP3") + "'"));
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  static TempDir* dir;
};
TempDir* Mp3Readers::dir = nullptr;

// The reader gives the decoder's samples and format, and refuses what is not stream 0 audio.
TEST_F(Mp3Readers, ReaderForwardsToTheDecoder) {
  const std::string stream = dir->Read("x.MP3");
  CSLVideoAudioReaderMP3 reader;
  u32 count = 7;
  EXPECT_FALSE(reader.GetStreamCount(&count));
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_NOT_OPEN);
  SLSetLastError(0x1234);
  EXPECT_TRUE(reader.Close());
  EXPECT_EQ(SLGetLastError(), 0x1234u);
  TSLObjPtr<CSLMemoryStorage> storage = Owned(Storage(stream));
  ASSERT_TRUE(reader.Open(storage.Get(), 0)) << std::hex << SLGetLastError();
  SLAudioFormat format{};
  ASSERT_TRUE(reader.GetAudioFormat(0, &format));
  EXPECT_EQ(format.channels * 100000 + format.samplesPerSecond, 244100u);
  u32 type = 0;
  EXPECT_TRUE(reader.GetStreamType(0, &type));
  EXPECT_EQ(type, u32(SL_STREAM_AUDIO));
  EXPECT_FALSE(reader.GetStreamType(1, &type));
  EXPECT_EQ(type, u32(SL_STREAM_UNKNOWN));
  EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_NO_STREAM);
  double rate = 5;
  EXPECT_FALSE(reader.GetVideoFrameRate(0, &rate));
  EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_NOT_VIDEO);
  EXPECT_EQ(rate, 0.0);

  SLInternals::CMXMP3_DecoderHelper decoder;
  TSLObjPtr<CSLMemoryStorage> copy = Owned(Storage(stream));
  ASSERT_TRUE(decoder.Open(copy.Get(), 1, 0) && decoder.Start());
  const i16* expected = nullptr;
  u32 expectedCount = 0;
  ASSERT_TRUE(decoder.DecodeFrame(0, u32(decoder.GetTotalSamples()), &expected, &expectedCount));
  const std::vector<i16> got = ReadAll(&reader);
  ASSERT_EQ(got.size(), expectedCount * 2u);
  EXPECT_EQ(std::memcmp(got.data(), expected, got.size() * 2), 0);

  // Signature: the frame sync, not an ID3 tag.
  const u8 sync[4] = {0xFF, 0xFD, 0xA0, 0x00}, tag[4] = {'I', 'D', '3', 3};
  EXPECT_TRUE(reader.CheckSignature(sync, 4));
  EXPECT_FALSE(reader.CheckSignature(tag, 4));
  EXPECT_FALSE(reader.CheckSignature(sync, 3));
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
}

// A storage that cannot seek: no length (0, not a huge number), samples in order.
TEST_F(Mp3Readers, SequentialStorageHasNoLength) {
  class Sequential : public CSLMemoryStorage {
   public:
    bool CanSeek() override { return false; }
  };
  const std::string stream = dir->Read("x.MP3");
  TSLObjPtr<CSLMemoryStorage> seekable = Owned(Storage(stream));
  CSLVideoAudioReaderMP3 whole;
  ASSERT_TRUE(whole.Open(seekable.Get(), 0));
  const std::vector<i16> expected = ReadAll(&whole);
  Sequential* raw = new Sequential();
  raw->Write(stream.data(), stream.size());
  raw->Seek(0, SL_SEEK_BEGIN);
  TSLObjPtr<CSLMemoryStorage> storage = Owned(raw);
  CSLVideoAudioReaderMP3 reader;
  ASSERT_TRUE(reader.Open(storage.Get(), 0)) << std::hex << SLGetLastError();
  u64 length = 7;
  EXPECT_TRUE(reader.GetAudioLength(0, &length));
  EXPECT_EQ(length, 0u);
  ASSERT_TRUE(reader.StartStream(0));
  std::vector<i16> got;
  for (;;) {
    const void* samples = nullptr;
    u32 count = 0;
    // The first sample asked for does not matter: decoding goes on where it stopped.
    ASSERT_TRUE(reader.ReadAudio(0, 12345, 4410, &samples, &count)) << std::hex << SLGetLastError();
    if (count == 0) break;
    got.insert(got.end(), static_cast<const i16*>(samples), static_cast<const i16*>(samples) + count * 2);
  }
  EXPECT_TRUE(got == expected);
}

// A WAV file of MPEG audio (tags 0x50 and 0x55, with a fact chunk) reads as its bare
// frames do; a format chunk too short for the MPEG fields is refused.
TEST_F(Mp3Readers, WavWithMpegDataDecodes) {
  for (const auto& [name, tag, shortExtra] : {std::tuple("x.wav", 0x50, 21), std::tuple("l3.wav", 0x55, 11)}) {
    SCOPED_TRACE(name);
    std::string wav = dir->Read(name);
    ASSERT_EQ(SLLoadLE16(reinterpret_cast<const u8*>(wav.data()) + 20), tag);
    const size_t data = wav.find("data");
    ASSERT_NE(data, std::string::npos);
    const std::string frames = wav.substr(data + 8, SLLoadLE32(reinterpret_cast<const u8*>(wav.data()) + data + 4));
    CSLVideoAudioReaderMP3 bare;
    TSLObjPtr<CSLMemoryStorage> bareStorage = Owned(Storage(frames));
    ASSERT_TRUE(bare.Open(bareStorage.Get(), 0));
    const std::vector<i16> expected = ReadAll(&bare);
    ASSERT_GT(expected.size(), 44100u);

    CSLVideoAudioReaderWAV reader;
    TSLObjPtr<CSLMemoryStorage> storage = Owned(Storage(wav));
    ASSERT_TRUE(reader.Open(storage.Get(), 0)) << std::hex << SLGetLastError();
    EXPECT_TRUE(ReadAll(&reader) == expected);

    std::string shortFormat = wav;
    shortFormat[36] = char(shortExtra);  // the extra-bytes count
    shortFormat[37] = 0;
    TSLObjPtr<CSLMemoryStorage> refused = Owned(Storage(shortFormat));
    EXPECT_FALSE(reader.Open(refused.Get(), 0));
    EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_BAD_FORMAT_RECORD);
  }
}

// A layer III song behind a large ID3v2 tag opens with flags 0 and dumps to a WAV file.
TEST_F(Mp3Readers, MediaDumpDecodesAnMp3File) {
  ASSERT_GT(dir->Read("song.MP3").size(), 150000u);
  ASSERT_EQ(std::system((std::string(SL_BINARY_DIR) + "/tools/mediadump '" + dir->Host("song.MP3") + "' --audio '" +
                         dir->Host("out.wav") + "' >'" + dir->Host("dump.txt") + "'").c_str()),
            0);
  EXPECT_NE(dir->Read("dump.txt").find("stream 0: audio, PCM 2 channels, 16 bits, 44100 Hz"), std::string::npos)
      << dir->Read("dump.txt");
  const std::string out = dir->Read("out.wav");
  ASSERT_GT(out.size(), 44u);
  CSLVideoAudioReaderMP3 reader;
  TSLObjPtr<CSLMemoryStorage> storage = Owned(Storage(dir->Read("song.MP3")));
  ASSERT_TRUE(reader.Open(storage.Get(), 0));
  const std::vector<i16> expected = ReadAll(&reader);
  EXPECT_NEAR(double(expected.size()), 3 * 44100 * 2, 2 * 1152 * 2);
  EXPECT_EQ(out.size() - 44, expected.size() * 2);
  EXPECT_EQ(std::memcmp(out.data() + 44, expected.data(), expected.size() * 2), 0);
}

}  // namespace
