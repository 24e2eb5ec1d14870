// The deflate codec object: stream order and error codes, the gzip header skipper, bytes
// behind the stream, Deflate64 selection, and output identical to the system zlib's.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressZIP.h"
#include "tests/support/CodecPump.h"
#include "tests/support/DeflateWriter.h"
#include "tests/support/TestCorpus.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace SLTestCodec;

Bytes ZlibCompress(const Bytes& data, int windowBits) { return ZlibDeflate(data, 6, windowBits); }

TEST(CompressZIP, OutputEqualsSystemDeflateAndRoundTrips) {
  std::mt19937 rng(1);
  const Bytes data = SLTestCorpus::Text(700000, 3);
  for (u32 zlibHeader : {1u, 0u}) {
    CSLCompressZIP codec(zlibHeader);
    const Bytes packed = CompressInPieces(codec, data, 200000, &rng);
    EXPECT_EQ(packed, ZlibCompress(data, zlibHeader ? 15 : -15));
    // Both directions in one object, the second stream reusing the state.
    EXPECT_EQ(DecompressInPieces(codec, packed, 70000, &rng), data);
    EXPECT_EQ(DecompressInPieces(codec, packed, 3000, &rng), data);
  }
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
  SL_EXPECT_OK(codec.IsStreamEnd());
  ASSERT_TRUE(codec.Decompress(tail.data(), 8, &remaining));  // consumes nothing more
  EXPECT_EQ(remaining, 8u);
  EXPECT_EQ(DrainDecompressed(codec), plain);
  EXPECT_TRUE(codec.EndDecompress());
}

TEST(CompressZIP, GzipMembersDecodeSplitAnywhere) {
  const Bytes plain = SLTestCorpus::Text(20000, 9);
  for (const Bytes& member : {ZlibDeflate(plain, 6, 31, Z_DEFAULT_STRATEGY, true), ZlibCompress(plain, 31)}) {
    for (u32 maxPiece : {1u, 2u, 5u, 400u, 1u << 20}) {
      std::mt19937 rng(maxPiece);
      CSLCompressZIP codec(0);
      u32 remaining = 0;
      const Bytes out = DecompressInPieces(codec, member, maxPiece, &rng, &remaining, false);
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
  EXPECT_EQ(SLGetLastError(), SL_E_DECODE_DATA);
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
    SL_EXPECT_FAIL(ok, SL_E_DECODE_DATA);
    SL_EXPECT_FAIL(codec.EndDecompress(), SL_E_NOT_STARTED);  // the failure ended the stream
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
  SL_EXPECT_FAIL(codec.EndDecompress(), SL_E_DECODE_DATA);
  // A raw object does not read zlib-wrapped data.
  const Bytes wrapped = ZlibCompress(plain, 15);
  ASSERT_TRUE(codec.BeginDecompress());
  EXPECT_FALSE(codec.Decompress(wrapped.data(), static_cast<u32>(wrapped.size()), nullptr));
  EXPECT_EQ(SLGetLastError(), SL_E_DECODE_DATA);

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
  EXPECT_EQ(SLGetLastError(), SL_E_DECODE_DATA);
  EXPECT_EQ(remaining, peerLeft);
}

}  // namespace
