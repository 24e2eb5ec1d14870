// MPEG audio layers I, II and III decoded against libmpg123 and ffmpeg's decoders (SNR
// over every sample), reads in pieces and at random positions against one whole read,
// damaged frames, the layer III Huffman tables and transforms, and the synthesis filter's
// transform and sample conversion.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegLayer3.h"
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
  EXPECT_TRUE(Shell("python3 '" SL_SOURCE_DIR "/tools/fixtures/make_mpa_streams.py' '" + dir->Host(name) + "' " + args)) << args;
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

// Layer III files from lame: a 4-second signal of tones, a sweep, noise and clicks (the
// clicks bring short blocks) at the file's rate and channels.
struct Layer3Fixture {
  const char* name;
  const char* lame;
  u32 rate, channels;
};

const Layer3Fixture kLayer3[] = {
    {"j44_128", "-b 128", 44100, 2},
    {"s48_320", "-m s -b 320", 48000, 2},
    {"j32_32", "-b 32", 32000, 2},
    {"j48_32", "-b 32", 48000, 2},
    {"m44_64", "-m m -b 64", 44100, 1},
    {"v0", "-V 0", 44100, 2},
    {"v2", "-V 2", 44100, 2},
    {"v9", "-V 9", 44100, 2},
    {"v2_notag", "-V 2 -t", 44100, 2},
    {"cbr_notag", "-b 160 -t", 44100, 2},
    {"crc", "-p -b 128", 44100, 2},
    {"lsf22", "-b 64", 22050, 2},
    {"lsf24m", "-m m -b 32", 24000, 1},
    {"lsf16", "-b 24", 16000, 2},
    {"lsf16_8", "-b 8", 16000, 1},
};

std::string MakeLayer3(TempDir* dir, const std::string& name, const std::string& lame, u32 rate, u32 channels) {
  const std::string path = dir->Host(name + ".mp3");
  if (dir->Read(name + ".mp3").empty()) {
    const std::string wav = dir->Host(name + ".wav");
    EXPECT_TRUE(Shell("ffmpeg -y -f lavfi -i 'sine=f=440:d=4' -f lavfi -i "
                      "'aevalsrc=0.4*sin(2*PI*(200+900*t)*t)+0.8*lt(mod(t\\,0.37)\\,0.003)|0.3*random(0)-0.15:d=4' "
                      "-filter_complex '[0][1]amerge=inputs=2,pan=stereo|c0=c0+c2|c1=c1+c0' -ar " +
                      std::to_string(rate) + " -ac " + std::to_string(channels) + " '" + wav + "'"));
    const std::string resample = std::to_string(rate / 1000.0);
    EXPECT_TRUE(Shell("lame --quiet --resample " + resample + " " + lame + " '" + wav + "' '" + path + "'")) << name;
  }
  return dir->Read(name + ".mp3");
}

// Every sample of every lame file against both references; the total is the Info tag's
// frame count (or the size estimate without a tag).
TEST_F(MpegDecodeFiles, LayerThreeMatchesReferences) {
  for (const Layer3Fixture& f : kLayer3) {
    SCOPED_TRACE(f.name);
    const std::string stream = MakeLayer3(dir, f.name, f.lame, f.rate, f.channels);
    ASSERT_FALSE(stream.empty());
    Decoding d(stream);
    ASSERT_TRUE(d.ok) << std::hex << SLGetLastError();
    EXPECT_EQ(d.decoder.GetSampleRate(), f.rate);
    EXPECT_EQ(d.decoder.GetChannels(), f.channels);
    const std::vector<i16> ours = d.Whole();
    const std::vector<i16> mpg123 = Mpg123Decode(stream);
    const std::string raw = dir->Host(std::string(f.name) + ".ff.raw");
    ASSERT_TRUE(Shell("ffmpeg -y -flags2 +skip_manual -c:a mp3float -i '" + dir->Host(std::string(f.name) + ".mp3") +
                      "' -f s16le '" + raw + "'"));
    const std::vector<i16> ffmpeg = ToSamples(dir->Read(std::string(f.name) + ".ff.raw"));
    ASSERT_GT(mpg123.size(), 3 * f.rate * f.channels);
    const bool tagged = std::string(f.lame).find("-t") == std::string::npos;
    if (tagged) {
      EXPECT_EQ(ours.size(), mpg123.size());
    } else {
      // The estimate from the first frame's length is close for constant bit rates.
      if (f.lame[1] == 'b') {
        EXPECT_NEAR(double(ours.size()), double(mpg123.size()), 1152.0 * f.channels);
      }
    }
    EXPECT_GE(SnrDb(ours, mpg123), 60.0);
    // On lame's 24 kHz mono file ffmpeg departs from libmpg123 (and from this decoder,
    // which agrees with libmpg123).
    if (std::string(f.name) == "lsf24m")
      EXPECT_LT(SnrDb(mpg123, ffmpeg), 60.0);
    else
      EXPECT_GE(SnrDb(ours, ffmpeg), 60.0);
  }
  // 8 kHz is MPEG-2.5, which is not decoded.
  const std::string low = MakeLayer3(dir, "m8", "-m m -b 16", 8000, 1);
  CSLMemoryStorage storage;
  storage.Write(low.data(), low.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  CMXMP3_DecoderHelper decoder;
  EXPECT_FALSE(decoder.Open(&storage, 1, 0));
}

// Pieces and random reads of layer III (reservoirs reaching several frames back, VBR,
// one-granule frames) equal the whole read bit for bit.
TEST_F(MpegDecodeFiles, LayerThreePiecesAndRandomReadsEqualTheWholeRead) {
  for (const Layer3Fixture* f : {&kLayer3[3], &kLayer3[6], &kLayer3[13], &kLayer3[14]}) {
    SCOPED_TRACE(f->name);
    Decoding d(MakeLayer3(dir, f->name, f->lame, f->rate, f->channels));
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
    std::mt19937 rng(11);
    for (int trial = 0; trial < 1000; ++trial) {
      const u64 first = rng() % total;
      const u32 count = 1 + rng() % 2205;
      const std::vector<i16> slice = d.Read(first, count);
      ASSERT_EQ(slice.size(), std::min<u64>(count, total - first) * channels) << first;
      ASSERT_TRUE(std::equal(slice.begin(), slice.end(), whole.begin() + first * channels)) << first << " " << count;
    }
  }
}

// Streams rewritten with what encoders do not write. Mixed blocks and intensity stereo
// (MPEG-1 and the lower sample rates) decode as libmpg123 or ffmpeg decode them; the
// fields out of range decode without reading or writing outside the decoder's arrays, and
// keep every frame's samples in place.
TEST_F(MpegDecodeFiles, MutatedLayerThreeStreams) {
  const struct {
    const char* source;
    const char* mutation;
    bool valid;
  } cases[] = {
      {"j44_128", "copy", true},       {"j44_128", "mixed", true},      {"lsf22", "mixed", true},
      {"j44_128", "intensity", true},  {"lsf22", "intensity", true},    {"j44_128", "bigvalues", false},
      {"lsf22", "bigvalues", false},   {"j44_128", "regions", false},   {"j44_128", "tables", false},
      {"j44_128", "count1", false},    {"lsf22", "count1", false},      {"j44_128", "reservoir", false},
      {"j44_128", "linbits", false},   {"lsf22", "linbits", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.mutation);
    const Layer3Fixture& f = *std::find_if(std::begin(kLayer3), std::end(kLayer3),
                                           [&](const Layer3Fixture& x) { return std::string(x.name) == c.source; });
    ASSERT_FALSE(MakeLayer3(dir, f.name, f.lame, f.rate, f.channels).empty());
    const std::string name = std::string(c.source) + "." + c.mutation + ".mp3";
    const std::string changed = dir->Host(name + ".count");
    ASSERT_TRUE(Shell("(python3 '" SL_SOURCE_DIR "/tools/fixtures/make_mp3_mutations.py' " + std::string(c.mutation) + " '" +
                      dir->Host(std::string(c.source) + ".mp3") + "' '" + dir->Host(name) + "' >'" + changed + "')"));
    const std::string stream = dir->Read(name);
    if (std::string(c.mutation) != "copy") {
      EXPECT_GT(std::atoi(dir->Read(name + ".count").c_str()), 0);
    }
    Decoding d(stream);
    ASSERT_TRUE(d.ok) << std::hex << SLGetLastError();
    const std::vector<i16> ours = d.Whole();
    const std::vector<i16> mpg123 = Mpg123Decode(stream);
    EXPECT_EQ(ours.size(), mpg123.size());
    if (!c.valid) continue;
    ASSERT_TRUE(Shell("ffmpeg -y -flags2 +skip_manual -c:a mp3float -i '" + dir->Host(name) + "' -f s16le '" +
                      dir->Host(name + ".raw") + "'"));
    // The references part on intensity stereo: libmpg123 on MPEG-1 streams, ffmpeg on the
    // lower sample rates (where this decoder follows the largest-value rule).
    const double snr = std::max(SnrDb(ours, mpg123), SnrDb(ours, ToSamples(dir->Read(name + ".raw"))));
    EXPECT_GE(snr, 60.0);
  }
}

// Every code of every table, with its linbits and signs, decodes to its value and takes
// exactly its bits.
TEST(MpegLayer3, HuffmanTablesDecodeEveryCode) {
  using namespace SLInternals;
  auto check = [](const SLMp3HuffmanTable& table, bool quad, u32 number) {
    for (u32 c = 0; c < table.codeCount; ++c) {
      const SLMp3HuffmanCode& code = kMp3HuffmanCodes[table.codes + c];
      std::vector<bool> bits;
      for (u32 b = code.length; b-- > 0;) bits.push_back((code.code >> b) & 1);
      std::vector<i32> expected;
      const u32 fields = quad ? 4 : 2;
      for (u32 f = 0; f < fields; ++f) {
        i32 value = quad ? (code.value >> (3 - f)) & 1 : f == 0 ? code.value >> 4 : code.value & 15;
        if (value == 15 && table.linbits) {
          const u32 extra = (c * 2654435761u + f) & ((1u << table.linbits) - 1);
          for (u32 b = table.linbits; b-- > 0;) bits.push_back((extra >> b) & 1);
          value += i32(extra);
        }
        if (value) {
          bits.push_back((c + f) & 1);
          if ((c + f) & 1) value = -value;
        }
        expected.push_back(value);
      }
      CMXMP3_Bit_Reserve reserve;
      for (size_t i = 0; i < bits.size() + 64; i += 8) {
        u32 byte = 0;
        for (size_t b = i; b < i + 8; ++b) byte = byte << 1 | (b < bits.size() ? bits[b] : (b & 1));
        reserve.PutByte(byte);
      }
      i32 x, y, v, w;
      ASSERT_EQ(CMXMP3_LayerIII_Decoder::HuffmanDecode(table, &x, &y, &v, &w, &reserve), 0u);
      const std::vector<i32> got = quad ? std::vector<i32>{v, w, x, y} : std::vector<i32>{x, y};
      ASSERT_EQ(got, expected) << "table " << number << " code " << c;
      ASSERT_EQ(reserve.GetTotalBits(), bits.size()) << "table " << number << " code " << c;
    }
  };
  for (u32 t = 0; t < 32; ++t) check(kMp3HuffmanTables[t], false, t);
  for (u32 q = 0; q < 2; ++q) check(kMp3QuadTables[q], true, 32 + q);
  i32 x = 9, y = 9, v = 9, w = 9;
  CMXMP3_Bit_Reserve reserve;
  EXPECT_EQ(CMXMP3_LayerIII_Decoder::HuffmanDecode(kMp3HuffmanTables[4], &x, &y, &v, &w, &reserve), 2u);
  EXPECT_EQ(x | y, 0);
  EXPECT_EQ(CMXMP3_LayerIII_Decoder::HuffmanDecode(kMp3HuffmanTables[0], &x, &y, &v, &w, &reserve), 0u);
  EXPECT_EQ(reserve.GetTotalBits(), 0u);
}

// The IMDCTs by symmetry against the defining sums.
TEST(MpegLayer3, TransformsAgreeWithTheDirectFormula) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int trial = 0; trial < 100; ++trial) {
    double in[18], out[36], shortOut[12];
    for (double& v : in) v = value(rng);
    SLInternals::SLMp3Imdct36(in, out);
    for (int i = 0; i < 36; ++i) {
      double direct = 0;
      for (int k = 0; k < 18; ++k) direct += in[k] * std::cos(M_PI / 72 * (2 * i + 19) * (2 * k + 1));
      ASSERT_NEAR(out[i], direct, 1e-13) << i;
    }
    SLInternals::SLMp3Imdct12(in + 1, shortOut);
    for (int i = 0; i < 12; ++i) {
      double direct = 0;
      for (int k = 0; k < 6; ++k) direct += in[1 + 3 * k] * std::cos(M_PI / 24 * (2 * i + 7) * (2 * k + 1));
      ASSERT_NEAR(shortOut[i], direct, 1e-13) << i;
    }
  }
}

// The codes of the decoding calls, the range rules at the end, and layer III frames of
// empty granules decoded as silence.
TEST_F(MpegDecodeFiles, CallsAndRanges) {
  Decoding d(Make("m48_48.mp2", kFixtures[4].encoder));
  ASSERT_TRUE(d.ok);
  EXPECT_FALSE(d.decoder.Start());
  EXPECT_EQ(SLGetLastError(), SL_E_ALREADY_STARTED);
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
  EXPECT_EQ(SLGetLastError(), SL_E_NOT_STARTED);

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
  ASSERT_TRUE(Shell("python3 '" SL_SOURCE_DIR "/tools/gen/make_mpeg_tables.py' '" SL_SOURCE_DIR "/tools/gen/mpeg_tables.txt' '" +
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
