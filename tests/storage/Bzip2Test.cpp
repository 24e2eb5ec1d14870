// The bzip2 codec object against libbz2's one-shot functions and the bzip2 command.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <cstdio>
#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressBZIP2.h"
#include "tests/support/CodecPump.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCorpus.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace SLTestCodec;

Bytes LibraryCompress(const Bytes& data, int blockSize) {
  unsigned size = static_cast<unsigned>(data.size() + data.size() / 100 + 700);
  Bytes out(size);
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                     const_cast<char*>(reinterpret_cast<const char*>(data.data())),
                                     static_cast<unsigned>(data.size()), blockSize, 0, 30),
            BZ_OK);
  out.resize(size);
  return out;
}

TEST(CompressBZIP2, BlockSizesMatchTheLibraryAndRoundTrip) {
  const Bytes data = SLTestCorpus::Text(300000, 5);
  CSLCompressBZIP2 codec;
  for (int blockSize : {1, 9}) {
    ASSERT_TRUE(codec.SetBlockSize(blockSize));
    const Bytes packed = CompressInPieces(codec, data, 70001);
    EXPECT_EQ(packed, LibraryCompress(data, blockSize));
    u32 unconsumed = 0;
    EXPECT_EQ(DecompressInPieces(codec, packed, 1 + 4096 * blockSize, nullptr, &unconsumed, false), data);
    EXPECT_TRUE(codec.IsStreamEnd());
    EXPECT_EQ(unconsumed, 0u);
    EXPECT_TRUE(codec.EndDecompress());
  }
}

TEST(CompressBZIP2, BytesBehindTheStreamAndOneBytePieces) {
  const Bytes data = SLTestCorpus::Image(60000, 2);
  Bytes stream = LibraryCompress(data, 1);
  stream.insert(stream.end(), {9, 9, 9, 9, 9});
  CSLCompressBZIP2 codec;
  u32 unconsumed = 0;
  EXPECT_EQ(DecompressInPieces(codec, stream, 1, nullptr, &unconsumed, false), data);
  EXPECT_EQ(unconsumed, 5u);
  SL_EXPECT_OK(codec.IsStreamEnd());
  EXPECT_TRUE(codec.EndDecompress());
  ASSERT_TRUE(codec.BeginDecompress());
  u32 remaining = 0;
  ASSERT_TRUE(codec.Decompress(stream.data(), static_cast<u32>(stream.size()), &remaining));
  EXPECT_EQ(remaining, 5u);
}

TEST(CompressBZIP2, TruncatedAndDamagedStreamsFail) {
  const Bytes data = SLTestCorpus::Text(40000, 8);
  const Bytes stream = LibraryCompress(data, 9);
  CSLCompressBZIP2 codec;
  ASSERT_TRUE(codec.BeginDecompress());
  ASSERT_TRUE(codec.Decompress(stream.data(), static_cast<u32>(stream.size() - 20), nullptr));
  EXPECT_FALSE(codec.IsStreamEnd());
  SL_EXPECT_FAIL(codec.EndDecompress(), SL_E_DECODE_DATA);

  std::mt19937 rng(4);
  int failures = 0;
  for (int round = 0; round < 60; ++round) {
    Bytes damaged = stream;
    damaged[rng() % damaged.size()] ^= static_cast<u8>(1 + rng() % 255);
    ASSERT_TRUE(codec.BeginDecompress());
    const bool decoded = codec.Decompress(damaged.data(), static_cast<u32>(damaged.size()), nullptr);
    if (!decoded) {
      EXPECT_EQ(SLGetLastError(), SL_E_DECODE_DATA);
      ++failures;
      continue;
    }
    if (!codec.EndDecompress()) {
      EXPECT_EQ(SLGetLastError(), SL_E_DECODE_DATA);
      ++failures;
    }
  }
  EXPECT_GT(failures, 30);

  // What libbz2 took before it failed is not reported as remaining: a damaged block magic
  // behind a sound stream header, then bytes never reached.
  Bytes badMagic = stream;
  badMagic[4] ^= 0xFF;
  bz_stream peer{};
  ASSERT_EQ(BZ2_bzDecompressInit(&peer, 0, 0), BZ_OK);
  Bytes peerOut(4096);
  peer.next_in = reinterpret_cast<char*>(badMagic.data());
  peer.avail_in = static_cast<unsigned>(badMagic.size());
  peer.next_out = reinterpret_cast<char*>(peerOut.data());
  peer.avail_out = static_cast<unsigned>(peerOut.size());
  EXPECT_EQ(BZ2_bzDecompress(&peer), BZ_DATA_ERROR);
  const u32 peerLeft = peer.avail_in;
  BZ2_bzDecompressEnd(&peer);
  ASSERT_LT(peerLeft, badMagic.size());
  ASSERT_TRUE(codec.BeginDecompress());
  u32 remaining = 0;
  EXPECT_FALSE(codec.Decompress(badMagic.data(), static_cast<u32>(badMagic.size()), &remaining));
  EXPECT_EQ(SLGetLastError(), SL_E_DECODE_DATA);
  EXPECT_EQ(remaining, peerLeft);
}

// The bzip2 command's output decodes too.
TEST(CompressBZIP2, CommandLineStreamsDecode) {
  if (std::system("command -v bzip2 >/dev/null 2>&1") != 0) GTEST_SKIP() << "bzip2 not installed";
  const Bytes data = SLTestCorpus::Binary(200000, 31);
  const TempDir dir;
  const std::string path = dir.Host("input");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(data.data(), 1, data.size(), file);
  std::fclose(file);
  ASSERT_EQ(std::system(("bzip2 -f -3 '" + path + "'").c_str()), 0);
  file = std::fopen((path + ".bz2").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  Bytes stream;
  int c;
  while ((c = std::fgetc(file)) != EOF) stream.push_back(static_cast<u8>(c));
  std::fclose(file);
  CSLCompressBZIP2 codec;
  u32 unconsumed = 0;
  EXPECT_EQ(DecompressInPieces(codec, stream, 777, nullptr, &unconsumed, false), data);
  EXPECT_TRUE(codec.EndDecompress());
}

}  // namespace
