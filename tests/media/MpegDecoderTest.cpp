// The MPEG audio decoder core: headers, frame sizes and the frame-offset table against
// ffmpeg's encoder and ffprobe's packet list, and crafted streams around the first sync.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TempDir.h"

using SLInternals::CMXMP3_DecoderHelper;

namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, got);
  pclose(pipe);
  return out;
}

struct Packet {
  u64 pos;
  u32 size;
};

// ffprobe's packets of a bare MPEG audio file.
std::vector<Packet> Packets(const std::string& path) {
  std::istringstream in(Capture("ffprobe -v error -show_entries packet=pos,size -of csv=p=0 '" + path + "'"));
  std::vector<Packet> packets;
  std::string line;
  while (std::getline(in, line)) {
    Packet p{};
    if (std::sscanf(line.c_str(), "%u,%llu", &p.size, reinterpret_cast<unsigned long long*>(&p.pos)) == 2)
      packets.push_back(p);
  }
  return packets;
}

// A decoder open on its own copy of `bytes`.
struct Opened {
  CSLMemoryStorage storage;
  CMXMP3_DecoderHelper decoder;
  bool ok = false;
  u32 code = 0;
  Opened(const std::string& bytes, u32 lenient, u32 seekable = 1) {
    storage.Write(bytes.data(), bytes.size());
    storage.Seek(0, SL_SEEK_BEGIN);
    ok = decoder.Open(&storage, seekable && storage.CanSeek(), lenient);
    code = SLGetLastError();
  }
};

std::string Word(u32 w) { return {char(w >> 24), char(w >> 16), char(w >> 8), char(w)}; }

// Frames of a stream from header words, their data zero.
std::string Frames(u32 word, u32 count, u32 paddedFirst = 0) {
  std::string out;
  for (u32 i = 0; i < count; ++i) {
    SLInternals::SLMpegFrameHeader h;
    const u32 w = (i == 0 && paddedFirst) ? word | 0x200 : word;
    EXPECT_TRUE(SLInternals::SLMpegParseHeader(w, &h));
    out += Word(w) + std::string(h.frameDataSize, '\0');
  }
  return out;
}

std::string Id3Tag(u32 size, bool footer, u32 seed) {
  std::string tag = "ID3";
  tag += char(footer ? 4 : 3);
  tag += '\0';
  tag += char(footer ? 0x10 : 0);
  for (int shift : {21, 14, 7, 0}) tag += char((size >> shift) & 0x7F);
  std::mt19937 rng(seed);
  for (u32 i = 0; i < size; ++i) tag += char(rng());  // false syncs included
  if (footer) tag += "3DI" + tag.substr(3, 7);
  return tag;
}

class MpegFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir = new TempDir(); }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  // An ffmpeg layer II file of a two-tone signal, made once per setting.
  static std::string Make(u32 rate, u32 channels, u32 kbits) {
    const std::string name = std::to_string(rate) + "_" + std::to_string(channels) + "_" + std::to_string(kbits) + ".mp2";
    if (dir->Read(name).empty()) {
      EXPECT_TRUE(Shell("ffmpeg -y -f lavfi -i 'sine=f=440:d=3' -f lavfi -i 'sine=f=660:d=3' -filter_complex amerge=inputs=2 -ac " +
                        std::to_string(channels) + " -ar " + std::to_string(rate) + " -c:a mp2 -b:a " + std::to_string(kbits) +
                        "k '" + dir->Host(name) + "'"));
    }
    return name;
  }
  static TempDir* dir;
};
TempDir* MpegFiles::dir = nullptr;

// Every frame's offset and length equals ffprobe's packets, walked in order and reached
// directly; streams whose frames carry no padding have an exact estimated length.
TEST_F(MpegFiles, FramesMatchTheProbe) {
  struct Case {
    u32 rate, channels, kbits;
  };
  const Case cases[] = {{48000, 2, 192}, {48000, 1, 64}, {44100, 2, 128}, {44100, 1, 56}, {32000, 2, 384},
                        {32000, 1, 48},  {22050, 2, 24}, {22050, 1, 128}, {24000, 2, 160}, {16000, 1, 8}};
  for (const Case& c : cases) {
    const std::string name = Make(c.rate, c.channels, c.kbits);
    SCOPED_TRACE(name);
    const std::vector<Packet> packets = Packets(dir->Host(name));
    ASSERT_GT(packets.size(), 10u);
    Opened a(dir->Read(name), 0);
    ASSERT_TRUE(a.ok) << std::hex << a.code;
    EXPECT_EQ(a.decoder.GetSampleRate(), c.rate);
    EXPECT_EQ(a.decoder.GetChannels(), c.channels);
    EXPECT_EQ(a.decoder.GetBitsPerSample(), 16u);
    const u64 exact = packets.size() * 1152ull;
    if (c.rate % 16000 == 0)
      EXPECT_EQ(a.decoder.GetTotalSamples(), exact);
    else  // padded streams are estimated from the unpadded length
      EXPECT_NEAR(double(a.decoder.GetTotalSamples()), double(exact), 1152.0 * packets.size() / 30);
    for (u32 i = 0; i < packets.size(); ++i) {
      ASSERT_TRUE(a.decoder.MakeFrameCurrent(i)) << i;
      ASSERT_EQ(a.decoder.GetFrameOffset(), packets[i].pos) << i;
      ASSERT_EQ(a.decoder.GetHeader().frameDataSize + 4, packets[i].size) << i;
    }
    // Random access on a fresh decoder walks forward; afterwards the table answers.
    Opened b(dir->Read(name), 0);
    ASSERT_TRUE(b.ok);
    std::mt19937 rng(c.rate + c.kbits);
    for (int trial = 0; trial < 40; ++trial) {
      const u32 i = rng() % packets.size();
      ASSERT_TRUE(b.decoder.MakeFrameCurrent(i)) << i;
      ASSERT_EQ(b.decoder.GetFrameOffset(), packets[i].pos) << i;
      ASSERT_EQ(b.decoder.GetFrameIndex(), i32(i));
    }
  }
}

// Whatever lies before the first frame: an ID3v2 tag far beyond the sync limit, junk
// beyond it (lenient only), a false first sync.
TEST_F(MpegFiles, FirstFrameIsFoundPastTagsAndJunk) {
  const std::string stream = dir->Read(Make(48000, 2, 192));
  const u64 total = stream.size() / 576 * 1152;
  u64 position = 0;
  for (bool footer : {false, true}) {
    const std::string tag = Id3Tag(200 * 1024, footer, footer);
    Opened a(tag + stream, 0);
    ASSERT_TRUE(a.ok) << std::hex << a.code;
    EXPECT_EQ(a.decoder.GetTotalSamples(), total);
    ASSERT_TRUE(a.decoder.MakeFrameCurrent(0));
    EXPECT_EQ(a.decoder.GetFrameOffset(), tag.size());
    // Read as a sequential stream, the tag is skipped and the length is unknown.
    Opened sequential(tag + stream, 0, 0);
    ASSERT_TRUE(sequential.ok) << std::hex << sequential.code;
    EXPECT_EQ(sequential.decoder.GetTotalSamples(), ~u64(0));
    EXPECT_EQ(sequential.decoder.GetHeader().frameDataSize, 572u);
  }
  // A sequential stream without a tag keeps the bytes looked at for one.
  Opened bare(stream, 0, 0);
  ASSERT_TRUE(bare.ok);
  EXPECT_EQ(bare.decoder.GetChannels(), 2u);
  EXPECT_EQ(bare.storage.GetPosition(&position) ? position : 0, 576u);
  std::string junk(70 * 1024, '\0');
  std::mt19937 rng(7);
  for (char& ch : junk) ch = char(rng() % 0xFF);
  // A false header (44.1 kHz) whose frame the stream's 48 kHz header does not agree with.
  junk.replace(junk.size() - 1000, 4, Word(0xFFFD9000));
  Opened strict(junk + stream, 0);
  EXPECT_FALSE(strict.ok);
  EXPECT_EQ(strict.code, SL_E_MPEG_NO_SYNC);
  Opened lenient(junk + stream, 1);
  ASSERT_TRUE(lenient.ok) << std::hex << lenient.code;
  EXPECT_EQ(lenient.decoder.GetSampleRate(), 48000u);
  ASSERT_TRUE(lenient.decoder.MakeFrameCurrent(3));
  EXPECT_EQ(lenient.decoder.GetFrameOffset(), junk.size() + 3 * 576);
  Opened shortJunk(junk.substr(junk.size() - 4000) + stream, 0);
  EXPECT_TRUE(shortJunk.ok);
}

// Header fields the standard's tables fix, and the headers it refuses.
TEST(MpegHeader, FieldsAndRefusals) {
  struct Case {
    u32 word;
    bool ok;
    u32 layer, subbands, bound, length;
  };
  const Case cases[] = {
      {0xFFFD24C0, true, 2, 8, 0, 144},     // 48 kHz mono 48 kbit/s: low-rate table
      {0xFFFD18C0, true, 2, 12, 0, 144},    // 32 kHz mono 32 kbit/s: low-rate table, 12 subbands
      {0xFFFD44C0, true, 2, 27, 0, 192},    // 48 kHz mono 64 kbit/s
      {0xFFFD4000, true, 2, 8, 0, 208},     // 44.1 kHz stereo 64 kbit/s: 32 per channel
      {0xFFFDA000, true, 2, 30, 0, 626},    // 44.1 kHz stereo 192 kbit/s
      {0xFFFDA400, true, 2, 27, 0, 576},    // 48 kHz stereo 192 kbit/s
      {0xFFFDA070, true, 2, 30, 16, 626},   // joint stereo, bound 4 * 3 + 4
      {0xFFFD1400, false, 0, 0, 0, 0},      // stereo 32 kbit/s
      {0xFFFD5000, false, 0, 0, 0, 0},      // stereo 80 kbit/s
      {0xFFFDB0C0, false, 0, 0, 0, 0},      // mono 224 kbit/s
      {0xFFF53000, true, 2, 30, 0, 156},    // MPEG-2 22.05 kHz stereo 24 kbit/s
      {0xFFF5C0C0, true, 2, 30, 0, 835},    // MPEG-2 22.05 kHz mono 128 kbit/s
      {0xFFF99000, false, 0, 0, 0, 0},      // reserved layer bits
      {0xFFFDF000, false, 0, 0, 0, 0},      // bit-rate index 15
      {0xFFFD0000, false, 0, 0, 0, 0},      // free format
      {0xFFFF1200, true, 1, 32, 0, 36},     // layer I 44.1 kHz 32 kbit/s padded: one 4-byte slot
      {0xFFFB9000, true, 3, 30, 0, 417},    // layer III 44.1 kHz 128 kbit/s
      {0xFFF39000, true, 3, 30, 0, 261},    // MPEG-2 layer III 22.05 kHz 64 kbit/s: half frames
  };
  for (const Case& c : cases) {
    SLInternals::SLMpegFrameHeader h;
    const bool ok = SLInternals::SLMpegParseHeader(c.word, &h);
    ASSERT_EQ(ok, c.ok) << std::hex << c.word;
    if (!ok) {
      EXPECT_EQ(SLGetLastError(), SL_E_MPEG_BAD_HEADER);
      continue;
    }
    EXPECT_EQ(h.layer, c.layer) << std::hex << c.word;
    if (c.layer != 3) {
      EXPECT_EQ(h.subbands, c.subbands) << std::hex << c.word;
    }
    EXPECT_EQ(h.intensityBound, c.bound) << std::hex << c.word;
    EXPECT_EQ(h.frameDataSize + 4, c.length) << std::hex << c.word;
  }
}

// Lengths: a layer I stream whose first frame is padded keeps its end; the first frame's
// Xing count wins over the estimate; a cut last frame still reads; a bad VBRI is refused.
TEST(MpegStream, LengthsAndFirstFrameHeaders) {
  Opened layer1(Frames(0xFFFF1000, 100, 1), 0);
  ASSERT_TRUE(layer1.ok) << std::hex << layer1.code;
  EXPECT_EQ(layer1.decoder.GetTotalSamples(), 100u * 384);
  EXPECT_EQ(layer1.decoder.GetSamplesPerFrame(), 384u);

  std::string xing = Frames(0xFFFB90C0, 10);
  xing.replace(4 + 17, 12, "Xing" + Word(1) + Word(1000));
  Opened withXing(xing, 0);
  ASSERT_TRUE(withXing.ok);
  EXPECT_EQ(withXing.decoder.GetTotalSamples(), 1000u * 1152);

  std::string vbri = Frames(0xFFFB90C0, 10);
  vbri.replace(36, 4, "VBRI");
  vbri[36 + 4 + 19] = 5;  // bytes per table entry
  Opened badVbri(vbri, 0);
  EXPECT_FALSE(badVbri.ok);
  EXPECT_EQ(badVbri.code, SL_E_MEDIA_BAD_FORMAT_RECORD);

  std::string cut = Frames(0xFFFDA400, 6);
  cut.resize(cut.size() - 100);
  Opened truncated(cut, 0);
  ASSERT_TRUE(truncated.ok);
  EXPECT_TRUE(truncated.decoder.MakeFrameCurrent(5));
  EXPECT_FALSE(truncated.decoder.MakeFrameCurrent(6));
  EXPECT_EQ(truncated.decoder.GetFrameIndex(), -2);

  // A lone frame is a stream only when nothing but an ID3v1 tag follows it; random bytes
  // holding a plausible header are not taken for seconds of silence.
  std::mt19937 rng(11);
  std::string noise(20000, '\0');
  for (char& ch : noise) ch = char(rng());
  std::string falseSync = noise;
  falseSync.replace(3000, 4, Word(0xFFFB90C0));
  const std::string one = Frames(0xFFFB90C0, 1);
  struct LoneFrame {
    const char* name;
    std::string bytes;
    bool opens;
  } loneFrames[] = {
      {"random bytes", noise, false},
      {"random bytes with a header", falseSync, false},
      {"one frame", one, true},
      {"one frame and an ID3v1 tag", one + "TAG" + std::string(125, 'x'), true},
      {"one frame and junk", one + noise.substr(0, 300), false},
  };
  for (const LoneFrame& c : loneFrames) {
    SCOPED_TRACE(c.name);
    Opened opened(c.bytes, 0);
    EXPECT_EQ(opened.ok, c.opens) << std::hex << opened.code;
    if (opened.ok) {
      EXPECT_EQ(opened.decoder.GetTotalSamples(), 1152u);
    } else {
      EXPECT_EQ(opened.code, SL_E_MPEG_NO_SYNC);
    }
  }

  Opened empty(std::string(1000, '\0'), 0);
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.decoder.GetSampleRate(), 0u);
  EXPECT_EQ(SLGetLastError(), SL_E_NOT_INITIALISED);
}

// A Xing tag declaring far more frames than the file holds keeps its length, but a read of
// that whole length gives the stream's frames and the silence its bytes could hold, not
// hundreds of megabytes of silence: the range ends early and the call succeeds.
TEST(MpegStream, TagCountBeyondTheBytesEndsTheRange) {
  std::string stream = Frames(0xFFFB90C0, 10);  // 44.1 kHz mono 128 kbit/s, 417 bytes a frame
  stream.replace(4 + 17, 12, "Xing" + Word(1) + Word(500000));
  Opened opened(stream, 0);
  ASSERT_TRUE(opened.ok);
  CMXMP3_DecoderHelper& decoder = opened.decoder;
  const u64 total = decoder.GetTotalSamples();
  EXPECT_EQ(total, 500000u * 1152);
  ASSERT_TRUE(decoder.Start());
  // No more frames than the bytes hold at the shortest legal frame (32 bytes: layer I).
  const u64 bound = (stream.size() / 32 + 1) * 1152;
  const i16* samples = nullptr;
  u32 got = 0;
  ASSERT_TRUE(decoder.DecodeFrame(0, u32(total), &samples, &got)) << std::hex << SLGetLastError();
  EXPECT_EQ(SLGetLastError(), SL_OK);
  EXPECT_GE(got, 9u * 1152);
  EXPECT_LE(got, bound);
  ASSERT_NE(samples, nullptr);
  EXPECT_EQ(std::vector<i16>(samples, samples + got), std::vector<i16>(got, 0));

  // Within the bytes' reach a read past the last frame is silence of the asked length;
  // beyond it (as from the middle of the declared length) a read ends at once.
  ASSERT_TRUE(decoder.DecodeFrame(12 * 1152, 1152, &samples, &got));
  EXPECT_EQ(got, 1152u);
  ASSERT_TRUE(decoder.DecodeFrame(bound + 5000, 1152, &samples, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_NE(samples, nullptr);
  ASSERT_TRUE(decoder.DecodeFrame(total / 2, u32(total / 2), &samples, &got));
  EXPECT_EQ(got, 0u);
}

}  // namespace
