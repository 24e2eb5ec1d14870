// MPEG audio layers I and II decoded against libmpg123 and ffmpeg's decoders (SNR over
// every sample), reads in pieces and at random positions against one whole read, damaged
// frames, and the synthesis filter's transform and sample conversion.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegSynthesis.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TempDir.h"

using SLInternals::CMXMP3_DecoderHelper;

namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<i16> ToSamples(const std::string& bytes) {
  std::vector<i16> out(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

// libmpg123 with gapless decoding off: every sample of every frame, 16-bit interleaved.
std::vector<i16> Mpg123Decode(const std::string& stream) {
  mpg123_init();
  int error = 0;
  mpg123_handle* handle = mpg123_new(nullptr, &error);
  std::vector<i16> out;
  if (!handle) return out;
  mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_open_feed(handle);
  std::vector<unsigned char> chunk(1 << 16);
  size_t done = 0;
  int result = mpg123_decode(handle, reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), chunk.data(),
                             chunk.size(), &done);
  for (;;) {
    out.insert(out.end(), reinterpret_cast<i16*>(chunk.data()), reinterpret_cast<i16*>(chunk.data() + done));
    if (result == MPG123_ERR || result == MPG123_NEED_MORE) break;
    result = mpg123_decode(handle, nullptr, 0, chunk.data(), chunk.size(), &done);
  }
  mpg123_delete(handle);
  return out;
}

// SNR of `ours` against `reference` over the samples both hold, the reference shifted by
// whole sample frames of `channels` (a decoder that drops a leading frame is aligned).
double SnrDb(const std::vector<i16>& ours, const std::vector<i16>& reference, u32 channels = 1, i64 shift = 0,
             size_t from = 0) {
  double signal = 0, noise = 0;
  for (size_t i = from; i < ours.size(); ++i) {
    const i64 at = i64(i) - shift * channels;
    if (at < 0 || at >= i64(reference.size())) continue;
    const double r = reference[size_t(at)];
    signal += r * r;
    noise += (ours[i] - r) * (ours[i] - r);
  }
  return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

// The SNR at the best whole-frame shift of the reference (up to two layer II frames),
// leaving out the first three frames: ffmpeg drops a leading frame of some streams and
// starts the next one with empty synthesis history.
double AlignedSnrDb(const std::vector<i16>& ours, const std::vector<i16>& reference, u32 channels) {
  double best = -1000;
  for (i64 shift = -2304; shift <= 2304; shift += 1152)
    best = std::max(best, SnrDb(ours, reference, channels, shift, 3 * 1152 * channels));
  return best;
}

// A decoder started on its own copy of a stream.
struct Decoding {
  CSLMemoryStorage storage;
  CMXMP3_DecoderHelper decoder;
  bool ok = false;
  explicit Decoding(const std::string& bytes, u32 lenient = 0) {
    storage.Write(bytes.data(), bytes.size());
    storage.Seek(0, SL_SEEK_BEGIN);
    ok = decoder.Open(&storage, 1, lenient) && decoder.Start();
  }
  std::vector<i16> Read(u64 first, u32 count, bool* success = nullptr) {
    const i16* samples = nullptr;
    u32 got = 0;
    const bool done = decoder.DecodeFrame(first, count, &samples, &got);
    if (success) *success = done;
    EXPECT_TRUE(done || success) << std::hex << SLGetLastError();
    return std::vector<i16>(samples, samples + u64(got) * decoder.GetChannels());
  }
  std::vector<i16> Whole() { return Read(0, u32(decoder.GetTotalSamples())); }
};

class MpegDecodeFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir = new TempDir(); }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  // A layer II file of music-like content (tones, a sweep and noise) from ffmpeg.
  static std::string Make(const std::string& name, const std::string& encoder) {
    if (dir->Read(name).empty()) {
      EXPECT_TRUE(Shell("ffmpeg -y -f lavfi -i 'sine=f=440:d=4' -f lavfi -i 'aevalsrc=0.4*sin(2*PI*(200+900*t)*t)|0.3*random(0)-0.15:d=4' "
                        "-filter_complex '[0][1]amerge=inputs=2,pan=stereo|c0=c0+c2|c1=c1+c0' " + encoder + " '" + dir->Host(name) + "'"))
          << name;
    }
    return dir->Read(name);
  }
  static std::vector<i16> FfmpegDecode(const std::string& name, const std::string& decoder) {
    const std::string raw = name + "." + decoder + ".raw";
    EXPECT_TRUE(Shell("ffmpeg -y -c:a " + decoder + " -i '" + dir->Host(name) + "' -f s16le '" + dir->Host(raw) + "'"));
    return ToSamples(dir->Read(raw));
  }
  static TempDir* dir;
};
TempDir* MpegDecodeFiles::dir = nullptr;

struct Fixture {
  const char* name;
  const char* encoder;
  u32 rate, channels;
};

const Fixture kFixtures[] = {
    {"s48_192.mp2", "-ar 48000 -ac 2 -c:a mp2 -b:a 192k", 48000, 2},
    {"s44_128.mp2", "-ar 44100 -ac 2 -c:a mp2 -b:a 128k", 44100, 2},
    {"s32_384.mp2", "-ar 32000 -ac 2 -c:a mp2 -b:a 384k", 32000, 2},
    {"s44_64.mp2", "-ar 44100 -ac 2 -c:a mp2 -b:a 64k", 44100, 2},
    {"m48_48.mp2", "-ar 48000 -ac 1 -c:a mp2 -b:a 48k", 48000, 1},
    {"m32_32.mp2", "-ar 32000 -ac 1 -c:a mp2 -b:a 32k", 32000, 1},
    {"m44_160.mp2", "-ar 44100 -ac 1 -c:a mp2 -b:a 160k", 44100, 1},
    {"js44_128.mp2", "-ar 44100 -ac 2 -c:a libtwolame -b:a 128k -mode joint_stereo", 44100, 2},
    {"js48_96.mp2", "-ar 48000 -ac 2 -c:a libtwolame -b:a 96k -mode joint_stereo", 48000, 2},
    {"crc44_192.mp2", "-ar 44100 -ac 2 -c:a libtwolame -b:a 192k -error_protection 1", 44100, 2},
    {"lsf22_24.mp2", "-ar 22050 -ac 2 -c:a mp2 -b:a 24k", 22050, 2},
    {"lsf22m_128.mp2", "-ar 22050 -ac 1 -c:a mp2 -b:a 128k", 22050, 1},
    {"lsf16_64.mp2", "-ar 16000 -ac 2 -c:a libtwolame -b:a 64k -mode joint_stereo", 16000, 2},
};

// Every sample of every fixture against both references.
TEST_F(MpegDecodeFiles, LayerTwoMatchesReferences) {
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.name);
    const std::string stream = Make(f.name, f.encoder);
    ASSERT_FALSE(stream.empty());
    Decoding d(stream);
    ASSERT_TRUE(d.ok) << std::hex << SLGetLastError();
    EXPECT_EQ(d.decoder.GetSampleRate(), f.rate);
    EXPECT_EQ(d.decoder.GetChannels(), f.channels);
    const std::vector<i16> ours = d.Whole();
    const std::vector<i16> mpg123 = Mpg123Decode(stream);
    const std::vector<i16> ffmpeg = FfmpegDecode(f.name, "mp2float");
    ASSERT_GT(mpg123.size(), 3 * f.rate * f.channels);
    EXPECT_EQ(ours.size(), mpg123.size());
    EXPECT_GE(SnrDb(ours, mpg123), 60.0);
    EXPECT_GE(AlignedSnrDb(ours, ffmpeg, f.channels), 60.0);
  }
}

// Reads in 2,205-frame pieces and at random positions give exactly the whole read.
TEST_F(MpegDecodeFiles, PiecesAndRandomReadsEqualTheWholeRead) {
  for (const Fixture* f : {&kFixtures[1], &kFixtures[4], &kFixtures[8]}) {
    SCOPED_TRACE(f->name);
    Decoding d(Make(f->name, f->encoder));
    ASSERT_TRUE(d.ok);
    const u32 channels = d.decoder.GetChannels();
    const std::vector<i16> whole = d.Whole();
    const u64 total = whole.size() / channels;
    std::vector<i16> pieces;
    for (u64 at = 0; at < total; at += 2205) {
      const std::vector<i16> piece = d.Read(at, 2205);
      pieces.insert(pieces.end(), piece.begin(), piece.end());
    }
    ASSERT_TRUE(pieces == whole);
    std::mt19937 rng(7);
    for (int trial = 0; trial < 1000; ++trial) {
      const u64 first = rng() % total;
      const u32 count = 1 + rng() % 3000;
      const std::vector<i16> slice = d.Read(first, count);
      const u64 expected = std::min<u64>(count, total - first);
      ASSERT_EQ(slice.size(), expected * channels) << first;
      ASSERT_TRUE(std::equal(slice.begin(), slice.end(), whole.begin() + first * channels)) << first << " " << count;
    }
  }
}

// A frame whose CRC does not match gives one frame of silence, and every later sample
// keeps its place; so does a frame past the stream's cut end.
TEST_F(MpegDecodeFiles, DamagedFramesGiveSilenceInPlace) {
  std::string stream = Make("crc44_192.mp2", kFixtures[9].encoder);
  Decoding clean(stream);
  ASSERT_TRUE(clean.ok);
  const std::vector<i16> whole = clean.Whole();
  ASSERT_TRUE(clean.decoder.MakeFrameCurrent(10));
  const u64 offset = clean.decoder.GetFrameOffset();
  stream[offset + 6] ^= 0x40;  // an allocation bit of frame 10
  Decoding damaged(stream);
  ASSERT_TRUE(damaged.ok);
  const std::vector<i16> got = damaged.Whole();
  ASSERT_EQ(got.size(), whole.size());
  const size_t start = 10 * 1152 * 2, end = 11 * 1152 * 2;
  for (size_t i = start; i < end; ++i) ASSERT_EQ(got[i], 0) << i;
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + start, whole.begin()));
  // Two frames later the synthesis history is the undamaged one again.
  EXPECT_TRUE(std::equal(got.begin() + end + 1152 * 2, got.end(), whole.begin() + end + 1152 * 2));
}

// A stream written by the generator from the standard's syntax (random legal content).
std::string Generate(TempDir* dir, const std::string& name, const std::string& args) {
  EXPECT_TRUE(Shell("python3 '" SL_SOURCE_DIR "/tools/make_mpa_streams.py' '" + dir->Host(name) + "' " + args)) << args;
  return dir->Read(name);
}

// Layer I (which no Debian encoder writes) and more layer II settings against both references.
TEST_F(MpegDecodeFiles, GeneratedStreamsMatchReferences) {
  const char* const settings[] = {
      "--layer 1 --rate 44100 --kbps 384 --mode stereo",      "--layer 1 --rate 48000 --kbps 128 --mode mono",
      "--layer 1 --rate 32000 --kbps 256 --mode joint --crc", "--layer 1 --rate 44100 --kbps 64 --mode dual",
      "--layer 2 --rate 48000 --kbps 256 --mode joint --crc", "--layer 2 --rate 32000 --kbps 48 --mode mono",
      "--layer 2 --rate 44100 --kbps 96 --mode dual",         "--layer 2 --rate 24000 --kbps 8 --mode joint",
      "--layer 2 --rate 16000 --kbps 160 --mode mono --crc",
  };
  int seed = 0;
  for (const char* args : settings) {
    SCOPED_TRACE(args);
    const std::string name = "gen" + std::to_string(++seed);
    const std::string stream = Generate(dir, name, std::string(args) + " --seed " + std::to_string(seed));
    Decoding d(stream);
    ASSERT_TRUE(d.ok) << std::hex << SLGetLastError();
    const std::vector<i16> ours = d.Whole();
    const std::vector<i16> mpg123 = Mpg123Decode(stream);
    EXPECT_EQ(ours.size(), mpg123.size());
    EXPECT_GE(SnrDb(ours, mpg123), 60.0);
    const bool layer1 = std::string(args).find("--layer 1") != std::string::npos;
    EXPECT_GE(AlignedSnrDb(ours, FfmpegDecode(name, layer1 ? "mp1float" : "mp2float"), d.decoder.GetChannels()), 60.0);
  }
}

// Damage against the clean stream of the same seed: frames that fail their CRC or hold an
// impossible codeword are silent in place; allocation 15, a reserved-layer header, junk
// between frames, a false first sync, a cut end and an ID3v2 tag in front change nothing else.
TEST_F(MpegDecodeFiles, GeneratedDamageKeepsPositions) {
  struct Case {
    const char* base;
    const char* damage;
    int silentFrom, silentTo;  // frames of silence
    int differentTo;           // frames after the silence whose history differs
  };
  const Case cases[] = {
      {"--layer 2 --rate 44100 --kbps 192 --mode stereo --crc", "--bad-crc 5,6", 5, 7, 1},
      {"--layer 1 --rate 48000 --kbps 192 --mode joint --crc", "--bad-crc 9", 9, 10, 2},
      {"--layer 2 --rate 48000 --kbps 192 --mode mono", "--bad-group 4", 4, 5, 1},
      {"--layer 1 --rate 44100 --kbps 128 --mode mono", "--alloc15 3", 0, 0, 0},
      {"--layer 2 --rate 32000 --kbps 192 --mode joint", "--reserved-layer 3 --junk 7", 0, 0, 0},
      {"--layer 1 --rate 32000 --kbps 96 --mode stereo", "--false-sync --junk 2", 0, 0, 0},
      {"--layer 2 --rate 48000 --kbps 160 --mode stereo", "--id3 3", 0, 0, 0},
      {"--layer 2 --rate 48000 --kbps 160 --mode stereo", "--id3 4 --footer", 0, 0, 0},
      {"--layer 2 --rate 24000 --kbps 64 --mode stereo", "--cut 100", 0, 0, 0},
  };
  int seed = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " " + c.damage);
    const std::string common = std::string(c.base) + " --frames 30 --seed " + std::to_string(++seed);
    Decoding clean(Generate(dir, "clean", common));
    Decoding damaged(Generate(dir, "damaged", common + " " + c.damage));
    ASSERT_TRUE(clean.ok && damaged.ok) << std::hex << SLGetLastError();
    const u32 channels = clean.decoder.GetChannels();
    const u32 frame = clean.decoder.GetSamplesPerFrame() * channels;
    const std::vector<i16> expected = clean.Whole();
    const std::vector<i16> got = damaged.Read(0, u32(clean.decoder.GetTotalSamples()));
    // A cut last frame no longer counts in the length estimated from the size.
    const bool cut = std::string(c.damage).find("--cut") != std::string::npos;
    ASSERT_EQ(got.size(), expected.size() - (cut ? frame : 0));
    const size_t silentFrom = size_t(c.silentFrom) * frame, silentTo = size_t(c.silentTo) * frame;
    for (size_t i = silentFrom; i < silentTo; ++i) ASSERT_EQ(got[i], 0) << i;
    const size_t sameFrom = silentTo == 0 ? 0 : silentTo + size_t(c.differentTo) * frame;
    const size_t sameTo = got.size();
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + silentFrom, expected.begin()));
    EXPECT_TRUE(std::equal(got.begin() + sameFrom, got.begin() + sameTo, expected.begin() + sameFrom));
  }
  // A layer I stream whose first frame is padded (one 4-byte slot) keeps its last frames.
  Decoding padded(Generate(dir, "padded", "--layer 1 --rate 44100 --kbps 32 --mode mono --frames 50 --pad-first"));
  ASSERT_TRUE(padded.ok);
  EXPECT_EQ(padded.decoder.GetTotalSamples(), 50u * 384);
}

// The codes of the decoding calls, the range rules at the end, and layer III frames of
// empty granules decoded as silence.
TEST_F(MpegDecodeFiles, CallsAndRanges) {
  Decoding d(Make("m48_48.mp2", kFixtures[4].encoder));
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.decoder.Start());
  EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_STARTED);
  const i16* samples = nullptr;
  u32 got = 9;
  EXPECT_FALSE(d.decoder.DecodeFrame(0, 10, nullptr, &got));
  EXPECT_EQ(SLGetLastError(), SL_E_INVALID_ARG);
  EXPECT_EQ(got, 0u);
  const u64 total = d.decoder.GetTotalSamples();
  EXPECT_TRUE(d.decoder.DecodeFrame(total, 10, &samples, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(d.decoder.DecodeFrame(total - 5, 1000, &samples, &got));
  EXPECT_EQ(got, 5u);
  ASSERT_TRUE(d.decoder.Stop());
  EXPECT_FALSE(d.decoder.DecodeFrame(0, 10, &samples, &got));
  EXPECT_EQ(SLGetLastError(), SL_E_MEDIA_NOT_STARTED);

  std::string layer3;
  for (int i = 0; i < 10; ++i) layer3 += std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0');
  Decoding third(layer3);
  ASSERT_TRUE(third.ok);
  ASSERT_TRUE(third.decoder.DecodeFrame(0, 100, &samples, &got));
  ASSERT_EQ(got, 100u);
  EXPECT_EQ(std::vector<i16>(samples, samples + 200), std::vector<i16>(200, 0));
}

// The checked-in tables are what the generator makes of the data file.
TEST(MpegTables, CheckedInTablesAreGenerated) {
  TempDir dir;
  ASSERT_TRUE(Shell("python3 '" SL_SOURCE_DIR "/tools/make_mpeg_tables.py' '" SL_SOURCE_DIR "/tools/mpeg_tables.txt' '" +
                    dir.Host("tables.h") + "' '" + dir.Host("layer3.h") + "'"));
  for (const char* name : {"tables.h", "layer3.h"}) {
    std::ifstream in(std::string(SL_SOURCE_DIR "/media/mpeg/") + (name[0] == 't' ? "SLMpegTables.h" : "SLMpegLayer3Tables.h"),
                     std::ios::binary);
    EXPECT_TRUE(dir.Read(name) == std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())) << name;
  }
}

// The fast matrixing against the defining sum.
TEST(MpegSynthesis, TransformAgreesWithTheDirectFormula) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    double in[32], out[32];
    for (double& v : in) v = value(rng);
    SLInternals::SLMpegDct32(in, out);
    for (int m = 0; m < 32; ++m) {
      double direct = 0;
      for (int k = 0; k < 32; ++k) direct += in[k] * std::cos(M_PI * m * (2 * k + 1) / 64.0);
      ASSERT_NEAR(out[m], direct, 1e-9) << m;
    }
  }
}

TEST(MpegSynthesis, SampleConversionClampsAndTruncates) {
  const struct {
    double value;
    i16 sample;
  } cases[] = {{1.0 * 32768, 32767},      {-1.0 * 32768, -32768}, {0.99999 * 32768, 32767}, {-0.5, 0},
               {-1.5, -1},                {1e300, 32767},         {-1e300, -32768},        {std::nan(""), 0},
               {32766.9, 32766},          {-32767.9, -32767}};
  for (const auto& c : cases) EXPECT_EQ(SLInternals::SLMpegToSample(c.value), c.sample) << c.value;
}

}  // namespace
