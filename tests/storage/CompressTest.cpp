// The deflate codec object: stream order and error codes, the gzip header skipper, bytes
// behind the stream, Deflate64 selection, and output identical to the system zlib's.
#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressZIP.h"
#include "tests/support/DeflateWriter.h"
#include "tests/support/TestCorpus.h"

namespace {

using Bytes = std::vector<u8>;

Bytes DrainCompressed(CSLBaseCompress& codec) {
  Bytes out;
  CSLCircularBuffer* ring = codec.GetCompressedOutput();
  u8 *first, *second;
  u32 firstLength, secondLength;
  if (!ring->GetReadRegions(&first, &firstLength, &second, &secondLength)) return out;
  out.insert(out.end(), first, first + firstLength);
  out.insert(out.end(), second, second + secondLength);
  ring->CommitRead(firstLength + secondLength);
  return out;
}

Bytes DrainDecompressed(CSLBaseCompress& codec) {
  Bytes out(codec.GetDecompressedSize());
  if (!out.empty()) {
    EXPECT_TRUE(codec.ReadDecompressed(out.data(), static_cast<u32>(out.size())));
  }
  return out;
}

Bytes CompressWhole(CSLBaseCompress& codec, const Bytes& data, std::mt19937& rng, u32 maxPiece) {
  EXPECT_TRUE(codec.BeginCompress());
  Bytes out;
  size_t pos = 0;
  while (pos < data.size()) {
    const u32 piece = static_cast<u32>(std::min<size_t>(1 + rng() % maxPiece, data.size() - pos));
    EXPECT_TRUE(codec.Compress(data.data() + pos, piece));
    pos += piece;
    if (rng() % 2) {
      Bytes part = DrainCompressed(codec);
      out.insert(out.end(), part.begin(), part.end());
    }
  }
  EXPECT_TRUE(codec.EndCompress());
  EXPECT_EQ(SLGetLastError(), 0u);
  Bytes part = DrainCompressed(codec);
  out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Feeds `stream` in random pieces; returns the output and the sum of the bytes each call
// reported unconsumed.
Bytes DecompressWhole(CSLBaseCompress& codec, const Bytes& stream, std::mt19937& rng, u32 maxPiece,
                      u32* lastRemaining = nullptr, bool end = true) {
  EXPECT_TRUE(codec.BeginDecompress());
  Bytes out;
  size_t pos = 0;
  u32 remaining = 0;
  u32 unconsumed = 0;
  while (pos < stream.size()) {
    const u32 piece = static_cast<u32>(std::min<size_t>(1 + rng() % maxPiece, stream.size() - pos));
    EXPECT_TRUE(codec.Decompress(stream.data() + pos, piece, &remaining)) << std::hex << SLGetLastError();
    pos += piece;
    unconsumed += remaining;
    Bytes part = DrainDecompressed(codec);
    out.insert(out.end(), part.begin(), part.end());
  }
  if (lastRemaining) *lastRemaining = unconsumed;
  if (end) {
    EXPECT_TRUE(codec.EndDecompress()) << std::hex << SLGetLastError();
    Bytes part = DrainDecompressed(codec);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

Bytes ZlibCompress(const Bytes& data, int windowBits, int level = 6) {
  ::z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&zs, data.size()) + 32);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

Bytes GzipWithAllFields(const Bytes& data) {
  ::z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  gz_header header{};
  Bytes extra(300, 0x5A);
  char name[] = "nombre.bin";
  char comment[] = "comentario largo";
  header.extra = extra.data();
  header.extra_len = static_cast<uInt>(extra.size());
  header.name = reinterpret_cast<Bytef*>(name);
  header.comment = reinterpret_cast<Bytef*>(comment);
  header.hcrc = 1;
  deflateSetHeader(&zs, &header);
  Bytes out(deflateBound(&zs, data.size()) + 400);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

TEST(CompressZIP, OutputEqualsSystemDeflateAndRoundTrips) {
  std::mt19937 rng(1);
  const Bytes data = SLTestCorpus::Text(700000, 3);
  for (u32 zlibHeader : {1u, 0u}) {
    CSLCompressZIP codec(zlibHeader);
    const Bytes packed = CompressWhole(codec, data, rng, 200000);
    EXPECT_EQ(packed, ZlibCompress(data, zlibHeader ? 15 : -15));
    // Both directions in one object, the second stream reusing the state.
    EXPECT_EQ(DecompressWhole(codec, packed, rng, 70000), data);
    EXPECT_EQ(DecompressWhole(codec, packed, rng, 3000), data);
  }
}

TEST(CompressZIP, StreamOrderErrors) {
  CSLCompressZIP codec(1);
  const u8 byte = 1;
  EXPECT_FALSE(codec.Compress(&byte, 1));
  EXPECT_EQ(SLGetLastError(), 0x80090004u);
  EXPECT_FALSE(codec.EndCompress());
  EXPECT_EQ(SLGetLastError(), 0x80090004u);
  ASSERT_TRUE(codec.BeginCompress());
  EXPECT_FALSE(codec.BeginCompress());
  EXPECT_EQ(SLGetLastError(), 0x80090005u);
  EXPECT_FALSE(codec.Compress(nullptr, 1));
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
  EXPECT_FALSE(codec.Compress(&byte, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001003u);
  EXPECT_TRUE(codec.Compress(&byte, 1));  // the first stream still runs
  EXPECT_TRUE(codec.EndCompress());
  EXPECT_FALSE(codec.Compress(&byte, 1));
  EXPECT_EQ(SLGetLastError(), 0x80090004u);
  EXPECT_EQ(DrainCompressed(codec), ZlibCompress(Bytes{1}, 15));

  u32 remaining = 77;
  EXPECT_FALSE(codec.Decompress(&byte, 1, &remaining));
  EXPECT_EQ(SLGetLastError(), 0x80090006u);
  EXPECT_EQ(remaining, 1u);
  EXPECT_FALSE(codec.EndDecompress());
  EXPECT_EQ(SLGetLastError(), 0x80090006u);
  EXPECT_TRUE(codec.IsStreamEnd());
  EXPECT_EQ(SLGetLastError(), 0x80090006u);
  ASSERT_TRUE(codec.BeginDecompress());
  EXPECT_FALSE(codec.BeginDecompress());
  EXPECT_EQ(SLGetLastError(), 0x80090007u);
  EXPECT_FALSE(codec.SetDeflate64(1));
  EXPECT_EQ(SLGetLastError(), 0x80090007u);
  EXPECT_FALSE(codec.Decompress(nullptr, 5, nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
  EXPECT_FALSE(codec.Decompress(&byte, 0, nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80001003u);
  EXPECT_FALSE(codec.IsStreamEnd());
  EXPECT_EQ(SLGetLastError(), 0u);
}

TEST(CompressZIP, ReadingTheRing) {
  CSLCompressZIP codec(1);
  EXPECT_EQ(codec.GetDecompressedSize(), 0u);
  EXPECT_EQ(SLGetLastError(), 0x80010002u);  // the ring never held storage
  u8 buffer[64];
  EXPECT_FALSE(codec.ReadDecompressed(buffer, 10));
  EXPECT_EQ(SLGetLastError(), 0x80010002u);
  EXPECT_FALSE(codec.ReadDecompressed(nullptr, 10));
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
  EXPECT_FALSE(codec.ReadDecompressed(buffer, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001003u);
  const Bytes plain = {'h', 'o', 'l', 'a'};
  const Bytes packed = ZlibCompress(plain, 15);
  ASSERT_TRUE(codec.BeginDecompress());
  ASSERT_TRUE(codec.Decompress(packed.data(), static_cast<u32>(packed.size()), nullptr));
  EXPECT_EQ(codec.GetDecompressedSize(), 4u);
  EXPECT_TRUE(codec.ReadDecompressed(buffer, sizeof(buffer)));  // more room than waits
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_EQ(Bytes(buffer, buffer + 4), plain);
  EXPECT_EQ(codec.GetDecompressedSize(), 0u);
  EXPECT_TRUE(codec.EndDecompress());
}

TEST(CompressZIP, BytesBehindTheStreamStayUnconsumed) {
  const Bytes plain = SLTestCorpus::Binary(50000, 7);
  Bytes stream = ZlibCompress(plain, 15);
  const Bytes tail = {1, 2, 3, 4, 5, 6, 7, 8};
  stream.insert(stream.end(), tail.begin(), tail.end());
  CSLCompressZIP codec(1);
  ASSERT_TRUE(codec.BeginDecompress());
  u32 remaining = 0;
  ASSERT_TRUE(codec.Decompress(stream.data(), static_cast<u32>(stream.size()), &remaining));
  EXPECT_EQ(remaining, 8u);
  EXPECT_TRUE(codec.IsStreamEnd());
  EXPECT_EQ(SLGetLastError(), 0u);
  ASSERT_TRUE(codec.Decompress(tail.data(), 8, &remaining));  // consumes nothing more
  EXPECT_EQ(remaining, 8u);
  EXPECT_EQ(DrainDecompressed(codec), plain);
  EXPECT_TRUE(codec.EndDecompress());
}

TEST(CompressZIP, GzipMembersDecodeSplitAnywhere) {
  const Bytes plain = SLTestCorpus::Text(20000, 9);
  for (const Bytes& member : {GzipWithAllFields(plain), ZlibCompress(plain, 31)}) {
    for (u32 maxPiece : {1u, 2u, 5u, 400u, 1u << 20}) {
      std::mt19937 rng(maxPiece);
      CSLCompressZIP codec(0);
      u32 remaining = 0;
      const Bytes out = DecompressWhole(codec, member, rng, maxPiece, &remaining, false);
      EXPECT_EQ(out, plain) << maxPiece;
      EXPECT_TRUE(codec.IsStreamEnd());
      EXPECT_EQ(remaining, 8u);  // the trailer is never consumed
      EXPECT_TRUE(codec.EndDecompress());
    }
    // The whole member at once reports exactly the 8 trailer bytes.
    CSLCompressZIP codec(0);
    ASSERT_TRUE(codec.BeginDecompress());
    u32 remaining = 0;
    ASSERT_TRUE(codec.Decompress(member.data(), static_cast<u32>(member.size()), &remaining));
    EXPECT_EQ(remaining, 8u);
    EXPECT_TRUE(codec.IsStreamEnd());
    EXPECT_EQ(DrainDecompressed(codec), plain);
  }
  // A zlib-wrapped object expects a zlib header behind the gzip header.
  CSLCompressZIP wrapped(1);
  ASSERT_TRUE(wrapped.BeginDecompress());
  const Bytes member = ZlibCompress(plain, 31);
  EXPECT_FALSE(wrapped.Decompress(member.data(), static_cast<u32>(member.size()), nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80090003u);
}

TEST(CompressZIP, BadGzipHeadersAndLoneMarkerFail) {
  const Bytes member = ZlibCompress(Bytes(100, 'a'), 31);
  struct Case {
    Bytes input;
    std::vector<u32> pieces;
  };
  Bytes badMethod = member;
  badMethod[2] = 7;
  Bytes badFlags = member;
  badFlags[3] = 0x20;
  const std::vector<Case> cases = {
      {{0x1F, 0x00, 0x01}, {3}},  // 0x1F not followed by 0x8B in the same call
      {{0x1F, 0x00, 0x01}, {1, 2}},  // ... or in the next one
      {badMethod, {static_cast<u32>(member.size())}},
      {badFlags, {2, 2, 100}},
  };
  for (const Case& c : cases) {
    CSLCompressZIP codec(0);
    ASSERT_TRUE(codec.BeginDecompress());
    size_t pos = 0;
    bool ok = true;
    for (u32 piece : c.pieces) {
      piece = std::min<u32>(piece, static_cast<u32>(c.input.size() - pos));
      ok = codec.Decompress(c.input.data() + pos, piece, nullptr);
      pos += piece;
      if (!ok) break;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(SLGetLastError(), 0x80090003u);
    EXPECT_FALSE(codec.EndDecompress());  // the failure ended the stream
    EXPECT_EQ(SLGetLastError(), 0x80090006u);
  }
}

TEST(CompressZIP, TruncatedStreamFailsAtTheEnd) {
  const Bytes plain = SLTestCorpus::Binary(30000, 12);
  const Bytes stream = ZlibCompress(plain, -15);
  CSLCompressZIP codec(0);
  ASSERT_TRUE(codec.BeginDecompress());
  ASSERT_TRUE(codec.Decompress(stream.data(), static_cast<u32>(stream.size() - 10), nullptr));
  EXPECT_FALSE(codec.IsStreamEnd());
  const Bytes partial = DrainDecompressed(codec);
  EXPECT_EQ(Bytes(plain.begin(), plain.begin() + partial.size()), partial);
  EXPECT_FALSE(codec.EndDecompress());
  EXPECT_EQ(SLGetLastError(), 0x80090003u);
  // A raw object does not read zlib-wrapped data.
  const Bytes wrapped = ZlibCompress(plain, 15);
  ASSERT_TRUE(codec.BeginDecompress());
  EXPECT_FALSE(codec.Decompress(wrapped.data(), static_cast<u32>(wrapped.size()), nullptr));
  EXPECT_EQ(SLGetLastError(), 0x80090003u);

  // A damaged stream: what inflate took before it failed is not reported as remaining.
  // A stored block of five bytes, a block of the reserved type, then bytes never reached.
  Bytes damaged = {0x00, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o', 0x07};
  damaged.insert(damaged.end(), 20, 0xAB);
  z_stream peer{};
  ASSERT_EQ(inflateInit2(&peer, -15), Z_OK);
  Bytes peerOut(64);
  peer.next_in = damaged.data();
  peer.avail_in = static_cast<uInt>(damaged.size());
  peer.next_out = peerOut.data();
  peer.avail_out = static_cast<uInt>(peerOut.size());
  EXPECT_EQ(inflate(&peer, Z_SYNC_FLUSH), Z_DATA_ERROR);
  const u32 peerLeft = peer.avail_in;
  inflateEnd(&peer);
  ASSERT_LT(peerLeft, damaged.size());
  ASSERT_TRUE(codec.BeginDecompress());
  u32 remaining = 0;
  EXPECT_FALSE(codec.Decompress(damaged.data(), static_cast<u32>(damaged.size()), &remaining));
  EXPECT_EQ(SLGetLastError(), 0x80090003u);
  EXPECT_EQ(remaining, peerLeft);
}

TEST(CompressZIP, Deflate64SelectionHoldsForOneStream) {
  using namespace SLTestDeflate;
  // 'a', then 1003 bytes at distance 1: length code 285 with extra 1000.
  const Bytes member = EncodeBlock({Literal('a'), {-1, 285, 16, 1000, 0, 0, 0}}, false);
  CSLCompressZIP codec(0);
  std::mt19937 rng(3);
  ASSERT_TRUE(codec.SetDeflate64(1));
  EXPECT_EQ(DecompressWhole(codec, member, rng, 3), Bytes(1004, 'a'));
  // The ending cleared the selection: plain deflate reads code 285 as 258 and then junk.
  ASSERT_TRUE(codec.BeginDecompress());
  codec.Decompress(member.data(), static_cast<u32>(member.size()), nullptr);
  codec.EndDecompress();
  EXPECT_NE(DrainDecompressed(codec), Bytes(1004, 'a'));
}

}  // namespace
