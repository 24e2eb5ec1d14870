// The own inflater against the system zlib's inflate: both decoders get the same input and
// output pieces call by call and must agree on every return code, count, message and byte.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "storage/SLInflate.h"
#include "storage/SLInflateTables.h"
#include "tests/support/CodecPump.h"
#include "tests/support/DeflateWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCorpus.h"

namespace {

using Bytes = std::vector<u8>;

using SLTestCodec::ZlibDeflate;

struct Outcome {
  Bytes output;
  int lastResult = Z_OK;
  std::string message;
  bool agreed = true;
};

// Runs both decoders over `stream` in random pieces (input and output room from 1 byte up to
// the given maxima, random flush values) and checks that they agree after every call.
Outcome Lockstep(const Bytes& stream, int windowBits, std::mt19937& rng, unsigned maxIn,
                 unsigned maxOut, bool randomFlush = true) {
  Outcome result;
  ::z_stream peer{};
  SLInflate::z_stream own{};
  EXPECT_EQ(inflateInit2(&peer, windowBits), Z_OK);
  EXPECT_EQ(SLInflate::inflateInit2_(&own, windowBits, "1.2.5", sizeof(SLInflate::z_stream)), Z_OK);
  // The check value is compared once output exists, and from the start for zlib-only
  // streams: before a gzip header is complete the two libraries hold different start values.
  const bool zlibOnly = windowBits >= 0 && windowBits < 16;
  Bytes peerOut, ownOut;
  size_t pos = 0;
  static const int kFlushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FINISH, Z_BLOCK, Z_TREES, Z_NO_FLUSH};
  for (int call = 0; call < 4000000; ++call) {
    const unsigned inSize = std::min<size_t>(1 + rng() % maxIn, stream.size() - pos);
    const unsigned outSize = 1 + rng() % maxOut;
    const int flush = randomFlush ? kFlushes[rng() % 6] : Z_NO_FLUSH;
    const size_t peerHave = peerOut.size(), ownHave = ownOut.size();
    peerOut.resize(peerHave + outSize);
    ownOut.resize(ownHave + outSize);
    peer.next_in = const_cast<Bytef*>(stream.data() + pos);
    peer.avail_in = inSize;
    peer.next_out = peerOut.data() + peerHave;
    peer.avail_out = outSize;
    own.next_in = stream.data() + pos;
    own.avail_in = inSize;
    own.next_out = ownOut.data() + ownHave;
    own.avail_out = outSize;
    const int peerResult = ::inflate(&peer, flush);
    const int ownResult = SLInflate::inflate(&own, flush);
    const std::string peerMsg = peer.msg ? peer.msg : "";
    const std::string ownMsg = own.msg ? own.msg : "";
    bool same = peerResult == ownResult && peer.avail_in == own.avail_in &&
                peer.avail_out == own.avail_out && peer.total_in == own.total_in &&
                peer.total_out == own.total_out && peerMsg == ownMsg &&
                peer.data_type == own.data_type && (windowBits < 0 || (!zlibOnly && peer.total_out == 0 && peerResult != Z_STREAM_END) ||
                 peer.adler == own.adler);
    peerOut.resize(peerHave + outSize - peer.avail_out);
    ownOut.resize(ownHave + outSize - own.avail_out);
    same = same && peerOut == ownOut;
    if (!same) {
      ADD_FAILURE() << "call " << call << " flush " << flush << ": result " << peerResult << "/"
                    << ownResult << " avail_in " << peer.avail_in << "/" << own.avail_in
                    << " avail_out " << peer.avail_out << "/" << own.avail_out << " msg '"
                    << peerMsg << "'/'" << ownMsg << "' data_type " << peer.data_type << "/"
                    << own.data_type << " adler " << peer.adler << "/" << own.adler;
      result.agreed = false;
      break;
    }
    pos += inSize - peer.avail_in;
    result.lastResult = peerResult;
    result.message = peerMsg;
    if (peerResult != Z_OK && peerResult != Z_BUF_ERROR) break;
    if (pos == stream.size() && peer.avail_out != 0 && peerResult == Z_BUF_ERROR &&
        flush != Z_BLOCK && flush != Z_TREES) {
      break;
    }
  }
  result.output = ownOut;
  inflateEnd(&peer);
  EXPECT_EQ(SLInflate::inflateEnd(&own), Z_OK);
  return result;
}

std::vector<Bytes> Samples() {
  return {SLTestCorpus::Text(100000, 1), SLTestCorpus::Binary(100000, 2),
          SLTestCorpus::Image(100000, 3), Bytes{}, Bytes{'x'}};
}

TEST(Inflate, CorpusAtEveryLevelAndWrapperMatchesZlib) {
  std::mt19937 rng(1234);
  const int kWrappers[] = {-15, 15, 31, 47};
  for (const Bytes& sample : Samples()) {
    for (int level = 0; level <= 9; ++level) {
      for (int windowBits : kWrappers) {
        const int makeBits = windowBits == 47 ? (level % 2 ? 15 : 31) : windowBits;
        const Bytes stream = ZlibDeflate(sample, level, makeBits);
        // Small pieces now and then (down to one byte), large pieces mostly.
        const unsigned maxIn = (level == 0 || level == 9) ? 3 : 70000;
        const unsigned maxOut = (level == 1 || level == 9) ? 2 : 300000;
        const Outcome outcome = Lockstep(stream, windowBits, rng, maxIn, maxOut);
        ASSERT_TRUE(outcome.agreed) << "level " << level << " window " << windowBits;
        EXPECT_EQ(outcome.lastResult, Z_STREAM_END);
        EXPECT_EQ(outcome.output, sample);
      }
    }
  }
}

TEST(Inflate, StrategiesAndGzipHeaderFieldsMatchZlib) {
  std::mt19937 rng(99);
  const Bytes sample = SLTestCorpus::Binary(80000, 5);
  const int kStrategies[] = {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (int strategy : kStrategies) {
    for (int windowBits : {-9, -15, 9, 15, 25, 31}) {
      const Bytes stream = ZlibDeflate(sample, 6, windowBits, strategy, windowBits > 16);
      const int readBits = windowBits == 9 ? 0 : windowBits;  // 0: size from the header
      const Outcome outcome = Lockstep(stream, readBits, rng, 40, 5000);
      ASSERT_TRUE(outcome.agreed) << "strategy " << strategy << " window " << windowBits;
      EXPECT_EQ(outcome.output, sample);
    }
  }
}

// Output room just above a longest match, with literals before it: the fast path must not
// write past the room it was given (found by fuzzing).
TEST(Inflate, OutputRoomAroundTheLongestMatch) {
  // Two fresh bytes, then 300 bytes seen before: two literals and a 258-byte match.
  std::mt19937 bytes(77);
  Bytes base(300);
  for (auto& b : base) b = static_cast<u8>(bytes());
  Bytes plain = base;
  for (int i = 0; i < 400; ++i) {
    plain.push_back(static_cast<u8>(bytes()));
    plain.push_back(static_cast<u8>(bytes()));
    plain.insert(plain.end(), base.begin(), base.end());
  }
  for (int windowBits : {-15, 15}) {
    const Bytes stream = ZlibDeflate(plain, 9, windowBits);
    for (unsigned room = 255; room <= 263; ++room) {
      std::mt19937 rng(room);
      ::z_stream peer{};
      SLInflate::z_stream own{};
      ASSERT_EQ(inflateInit2(&peer, windowBits), Z_OK);
      ASSERT_EQ(SLInflate::inflateInit2_(&own, windowBits, "1.2.5", sizeof(own)), Z_OK);
      Bytes peerOut, ownOut;
      int result = Z_OK;
      own.next_in = stream.data();
      own.avail_in = static_cast<unsigned>(stream.size());
      peer.next_in = const_cast<Bytef*>(stream.data());
      peer.avail_in = static_cast<unsigned>(stream.size());
      while (result == Z_OK) {
        // Exactly `room` bytes each time, in a block of exactly that size.
        std::vector<u8> peerPiece(room), ownPiece(room);
        peer.next_out = peerPiece.data();
        peer.avail_out = room;
        own.next_out = ownPiece.data();
        own.avail_out = room;
        result = ::inflate(&peer, Z_NO_FLUSH);
        ASSERT_EQ(SLInflate::inflate(&own, Z_NO_FLUSH), result);
        ASSERT_EQ(own.avail_in, peer.avail_in);
        ASSERT_EQ(own.avail_out, peer.avail_out);
        peerOut.insert(peerOut.end(), peerPiece.begin(), peerPiece.end() - peer.avail_out);
        ownOut.insert(ownOut.end(), ownPiece.begin(), ownPiece.end() - own.avail_out);
      }
      EXPECT_EQ(result, Z_STREAM_END);
      EXPECT_EQ(ownOut, plain) << room;
      inflateEnd(&peer);
      SLInflate::inflateEnd(&own);
    }
  }
}

// Damaged streams: bit flips, byte changes, cuts and appended junk must give the same
// messages, codes and partial output as zlib.
TEST(Inflate, CorruptedStreamsFailLikeZlib) {
  std::mt19937 rng(777);
  std::map<std::string, int> messages;
  const Bytes samples[] = {SLTestCorpus::Text(6000, 8), SLTestCorpus::Binary(6000, 9)};
  for (int round = 0; round < 3000; ++round) {
    const Bytes& sample = samples[round % 2];
    const int kWrappers[] = {-15, 15, 31};
    const int windowBits = kWrappers[rng() % 3];
    const int level = static_cast<int>(rng() % 10);
    const int strategy = rng() % 4 == 0 ? Z_FIXED : Z_DEFAULT_STRATEGY;
    Bytes stream = ZlibDeflate(Bytes(sample.begin(), sample.begin() + rng() % sample.size()), level,
                           windowBits, strategy, windowBits == 31 && rng() % 2);
    const int damage = 1 + static_cast<int>(rng() % 4);
    for (int d = 0; d < damage; ++d) {
      const size_t at = rng() % stream.size();
      switch (rng() % 4) {
        case 0: stream[at] ^= static_cast<u8>(1u << (rng() % 8)); break;
        case 1: stream[at] = static_cast<u8>(rng()); break;
        case 2: stream.resize(at + 1); break;
        default: stream.insert(stream.begin() + at, static_cast<u8>(rng())); break;
      }
    }
    const Outcome outcome = Lockstep(stream, windowBits, rng, 1 + rng() % 64, 1 + rng() % 600);
    ASSERT_TRUE(outcome.agreed) << "round " << round;
    messages[outcome.message]++;
  }
  // The damage reaches the decoder's checks broadly, not only one of them.
  for (const char* text : {"invalid block type", "invalid stored block lengths",
                           "invalid distance too far back", "incorrect data check",
                           "invalid code lengths set", "incorrect header check"}) {
    EXPECT_GT(messages[text], 0) << text;
  }
}

TEST(Inflate, HeaderErrorsMatchZlib) {
  std::mt19937 rng(5);
  const Bytes plain = SLTestCorpus::Text(2000, 4);
  struct Case {
    Bytes stream;
    int windowBits;
  };
  Bytes gzipStream = ZlibDeflate(plain, 6, 31, Z_DEFAULT_STRATEGY, true);
  Bytes badFlags = gzipStream;
  badFlags[3] |= 0x20;
  Bytes badMethod = gzipStream;
  badMethod[2] = 7;
  Bytes badHeaderCrc = gzipStream;
  badHeaderCrc[10] ^= 1;  // inside the extra field, covered by the header CRC
  Bytes zlibStream = ZlibDeflate(plain, 6, 15);
  Bytes bigWindow = zlibStream;
  bigWindow[0] = 0x78 + 0x10;  // CINFO 8: a 64 KB window is not zlib
  bigWindow[1] = static_cast<u8>(bigWindow[1] - (bigWindow[1] % 31));
  while (((bigWindow[0] << 8) | bigWindow[1]) % 31 != 0) bigWindow[1]++;
  Bytes dictionary = zlibStream;
  dictionary[1] |= 0x20;
  while (((dictionary[0] << 8) | dictionary[1]) % 31 != 0) dictionary[1]++;
  Bytes gzipTail = gzipStream;
  gzipTail[gzipTail.size() - 1] ^= 0x40;  // length trailer
  const std::vector<Case> cases = {
      {badFlags, 31},  {badMethod, 31}, {badHeaderCrc, 31}, {bigWindow, 15}, {bigWindow, 0},
      {dictionary, 15}, {gzipTail, 31}, {gzipStream, 15},   {zlibStream, 31}, {zlibStream, 9},
      {gzipStream, 47}, {gzipStream, 32}, {zlibStream, 32}};
  for (const Case& c : cases) {
    for (unsigned piece : {1u, 7u, 100000u}) {
      const Outcome outcome = Lockstep(c.stream, c.windowBits, rng, piece, 100000, false);
      ASSERT_TRUE(outcome.agreed) << "window " << c.windowBits;
    }
  }
}

// ---- Deflate64 ----

using SLTestDeflate::BitWriter;
using SLTestDeflate::EncodeBlock;
using SLTestDeflate::Symbol;

// 65536 literal bytes, then a match of 65538 bytes at distance 65536 (code 285 with extra
// 65535, distance code 31 with all 14 extra bits set), then one of 3 bytes (extra 0) at 1.
struct Deflate64Case {
  std::vector<Symbol> symbols;
  Bytes expected;
};

Deflate64Case LongMatchCase() {
  Deflate64Case c;
  std::mt19937 rng(64);
  for (int i = 0; i < 65536; ++i) {
    const int b = static_cast<int>(rng() % 256);
    c.symbols.push_back({b, 0, 0, 0, 0, 0, 0});
    c.expected.push_back(static_cast<u8>(b));
  }
  c.symbols.push_back({-1, 285, 16, 65535, 31, 14, 16383});
  for (int i = 0; i < 65538; ++i) c.expected.push_back(c.expected[c.expected.size() - 65536]);
  c.symbols.push_back({-1, 285, 16, 0, 0, 0, 0});
  for (int i = 0; i < 3; ++i) c.expected.push_back(c.expected.back());
  // distance code 30: base 32769, here with extra 100
  c.symbols.push_back({-1, 270, 2, 1, 30, 14, 100});
  for (int i = 0; i < 24; ++i) c.expected.push_back(c.expected[c.expected.size() - 32869]);
  return c;
}

Bytes DecodeOwn(const Bytes& stream, int windowBits, unsigned inPiece, unsigned outPiece,
                int* result, std::string* message) {
  SLInflate::z_stream s{};
  EXPECT_EQ(SLInflate::inflateInit2_(&s, windowBits, "1.2.5", sizeof(s)), Z_OK);
  Bytes out;
  size_t pos = 0;
  int r = Z_OK;
  while (r == Z_OK) {
    const size_t had = out.size();
    out.resize(had + outPiece);
    s.next_out = out.data() + had;
    s.avail_out = outPiece;
    s.next_in = stream.data() + pos;
    s.avail_in = static_cast<unsigned>(std::min<size_t>(inPiece, stream.size() - pos));
    const unsigned before = s.avail_in;
    r = SLInflate::inflate(&s, Z_SYNC_FLUSH);
    pos += before - s.avail_in;
    out.resize(had + outPiece - s.avail_out);
    if (r == Z_BUF_ERROR && pos < stream.size()) r = Z_OK;
  }
  *result = r;
  *message = s.msg ? s.msg : "";
  SLInflate::inflateEnd(&s);
  return out;
}

TEST(Inflate, Deflate64LongLengthsAndFarDistances) {
  const Deflate64Case c = LongMatchCase();
  for (bool dynamic : {false, true}) {
    const Bytes stream = EncodeBlock(c.symbols, dynamic);
    for (auto [inPiece, outPiece] : {std::pair{1u << 20, 1u << 20}, {1u, 1000u}, {17u, 70000u}, {5000u, 1u << 17}}) {
      int result;
      std::string message;
      const Bytes out = DecodeOwn(stream, -16, inPiece, outPiece, &result, &message);
      EXPECT_EQ(result, Z_STREAM_END) << message;
      EXPECT_EQ(out, c.expected) << "dynamic " << dynamic << " pieces " << inPiece << "/" << outPiece;
    }
    // The same stream is not plain deflate.
    int result;
    std::string message;
    DecodeOwn(stream, -15, 1 << 20, 1 << 20, &result, &message);
    EXPECT_EQ(result, Z_DATA_ERROR);
    EXPECT_EQ(message, dynamic ? "too many length or distance symbols" : "invalid distance code");
  }
  // 31 distance codes are too many for deflate as well.
  const Bytes stream31 = EncodeBlock({{'a', 0, 0, 0, 0, 0, 0}}, true, 31);
  int result;
  std::string message;
  DecodeOwn(stream31, -15, 100, 100, &result, &message);
  EXPECT_EQ(message, "too many length or distance symbols");
  EXPECT_EQ(DecodeOwn(stream31, 16, 100, 100, &result, &message), Bytes{'a'});
  EXPECT_EQ(result, Z_STREAM_END);
}

TEST(Inflate, Deflate64ShortMatchIsThreeBytesNotTwoHundredFiftyEight) {
  const std::vector<Symbol> symbols = {{'q', 0, 0, 0, 0, 0, 0}, {-1, 285, 16, 0, 0, 0, 0}};
  int result;
  std::string message;
  EXPECT_EQ(DecodeOwn(EncodeBlock(symbols, false), -16, 64, 64, &result, &message), Bytes(4, 'q'));
  EXPECT_EQ(result, Z_STREAM_END);
  // Plain deflate reads the same code as 258 bytes and no extra bits.
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  w.Code(0x30 + 'q', 8);
  w.Code(0xC5, 8);  // length code 285
  w.Code(0, 5);     // distance 1
  w.Code(0, 7);     // end of block
  EXPECT_EQ(DecodeOwn(w.Finish(), -15, 64, 64, &result, &message), Bytes(259, 'q'));
}

// Members written by 7-Zip's Deflate64 encoder decode to their sources.
TEST(Inflate, SevenZipDeflate64MembersDecode) {
  if (std::system("command -v 7zz >/dev/null 2>&1") != 0) GTEST_SKIP() << "7zz not installed";
  const TempDir temp;
  const std::filesystem::path dir = temp.Host();
  const std::vector<Bytes> sources = {SLTestCorpus::Text(300000, 21), SLTestCorpus::Binary(400000, 22),
                                      SLTestCorpus::Image(300000, 23), Bytes(200000, 'z')};
  std::string names;
  for (size_t i = 0; i < sources.size(); ++i) {
    std::ofstream(dir / ("f" + std::to_string(i)), std::ios::binary)
        .write(reinterpret_cast<const char*>(sources[i].data()), static_cast<std::streamsize>(sources[i].size()));
    names += " f" + std::to_string(i);
  }
  const std::string command = "cd '" + dir.string() + "' && 7zz a -tzip -mm=Deflate64 -mx=9 a.zip" + names + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream file(dir / "a.zip", std::ios::binary);
  const Bytes zip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // Walk the local headers in order.
  auto le16 = [&](size_t at) { return static_cast<u32>(zip[at] | zip[at + 1] << 8); };
  auto le32 = [&](size_t at) { return le16(at) | le16(at + 2) << 16; };
  size_t pos = 0;
  size_t found = 0;
  while (pos + 30 <= zip.size() && le32(pos) == 0x04034B50) {
    const u32 method = le16(pos + 8), packed = le32(pos + 18);
    const u32 nameLength = le16(pos + 26), extraLength = le16(pos + 28);
    const std::string name(zip.begin() + pos + 30, zip.begin() + pos + 30 + nameLength);
    const size_t data = pos + 30 + nameLength + extraLength;
    ASSERT_EQ(method, 9u) << name;
    const Bytes member(zip.begin() + data, zip.begin() + data + packed);
    const size_t index = static_cast<size_t>(std::stoi(name.substr(1)));
    for (unsigned piece : {1u << 20, 333u}) {
      int result;
      std::string message;
      EXPECT_EQ(DecodeOwn(member, -16, piece, piece * 3, &result, &message), sources[index]) << name;
      EXPECT_EQ(result, Z_STREAM_END) << message;
    }
    ++found;
    pos = data + packed;
  }
  EXPECT_EQ(found, sources.size());
}

}  // namespace

TEST(Inflate, BuilderRefusesBadCodeSets) {
  u16 work[288];
  SLInflate::SLInflateCode area[SLInflate::kTableArea];
  auto build = [&](SLInflate::SLCodeType type, std::vector<u16> lens, unsigned root, bool d64) {
    SLInflate::SLInflateCode* next = area;
    unsigned bits = root;
    return (d64 ? SLInflate::inflate_table9 : SLInflate::inflate_table)(
        type, lens.data(), static_cast<unsigned>(lens.size()), &next, &bits, work, SLInflate::kTableArea);
  };
  for (bool d64 : {false, true}) {
    EXPECT_EQ(build(SLInflate::CODES, {1, 1, 1}, 7, d64), -1);          // over-subscribed
    EXPECT_EQ(build(SLInflate::CODES, {1, 2}, 7, d64), -1);             // incomplete
    EXPECT_EQ(build(SLInflate::DISTS, {1}, 6, d64), 0);                 // one distance code
    EXPECT_EQ(build(SLInflate::DISTS, {2, 2, 2}, 6, d64), -1);          // incomplete, longer
    EXPECT_EQ(build(SLInflate::DISTS, std::vector<u16>(32, 0), 6, d64), 0);  // none at all
    EXPECT_EQ(build(SLInflate::DISTS, std::vector<u16>(32, 5), 6, d64), 0);
    // A room too small for the tables is reported rather than overrun.
    SLInflate::SLInflateCode* next = area;
    unsigned bits = 9;
    std::vector<u16> lens(286, 9);
    for (int i = 0; i < 256; ++i) lens[i] = 8;
    for (int i = 256; i < 286; ++i) lens[i] = 0;
    lens[256] = 0;
    EXPECT_EQ(SLInflate::inflate_table(SLInflate::LENS, lens.data(), 286, &next, &bits, work, 100), 1);
  }
}
