// The LZW codec against the format's example vectors and a plain reference coder written
// from the format rules (map-based dictionary, explicit code counting).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompressLZW.h"
#include "tests/support/CodecPump.h"
#include "tests/support/TestCorpus.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace SLTestCodec;

// Reference coder: code k since the last reset is 9 bits for k < 256, 10 below 768, 11
// below 1792, 12 below 3840; after 3840 codes the dictionary starts over.
Bytes ReferenceCompress(const Bytes& input) {
  Bytes out;
  if (input.empty()) return out;
  u64 acc = 0;
  int accBits = 0;
  std::map<std::pair<int, int>, int> dictionary;
  int nextCode = 256, codesSinceReset = 0;
  auto emit = [&](int code) {
    const int k = codesSinceReset++;
    const int width = k < 256 ? 9 : k < 768 ? 10 : k < 1792 ? 11 : 12;
    acc = (acc << width) | static_cast<u64>(code);
    accBits += width;
    while (accBits >= 8) {
      accBits -= 8;
      out.push_back(static_cast<u8>(acc >> accBits));
    }
  };
  int current = input[0];
  for (size_t i = 1; i < input.size(); ++i) {
    const auto found = dictionary.find({current, input[i]});
    if (found != dictionary.end()) {
      current = found->second;
      continue;
    }
    emit(current);
    dictionary[{current, input[i]}] = nextCode++;
    if (codesSinceReset == 3840) {
      dictionary.clear();
      nextCode = 256;
      codesSinceReset = 0;
    }
    current = input[i];
  }
  emit(current);
  if (accBits) out.push_back(static_cast<u8>(acc << (8 - accBits)));
  return out;
}

// The format has no end marker: every byte is taken and the stream never ends by itself.
Bytes DecompressAll(CSLCompressLZW& codec, const Bytes& stream, u32 piece) {
  u32 unconsumed = 99;
  Bytes out = DecompressInPieces(codec, stream, piece, nullptr, &unconsumed, false);
  EXPECT_EQ(unconsumed, 0u);
  SL_EXPECT_FAIL(codec.IsStreamEnd(), SL_OK);
  EXPECT_TRUE(codec.EndDecompress());
  Append(&out, DrainDecompressed(codec));
  return out;
}

// One megabyte crosses many dictionary resets; the decoder is fed one byte per call.
TEST(CompressLZW, MegabyteAcrossResetsMatchesReference) {
  std::vector<Bytes> inputs = {SLTestCorpus::Text(1 << 20, 2), SLTestCorpus::Binary(300000, 3),
                               Bytes(200000, 0x55)};
  std::mt19937 rng(8);
  Bytes noise(50000);
  for (auto& b : noise) b = static_cast<u8>(rng());
  inputs.push_back(noise);
  CSLCompressLZW codec;
  for (const Bytes& input : inputs) {
    const Bytes packed = CompressInPieces(codec, input, 65537);
    ASSERT_EQ(packed, ReferenceCompress(input));
    EXPECT_EQ(DecompressAll(codec, packed, 1), input);
    EXPECT_EQ(DecompressAll(codec, packed, 100000), input);
  }
}

TEST(CompressLZW, CodesBeyondTheDictionaryFail) {
  CSLCompressLZW codec;
  // 0x41 then 0x102 (next free is 0x100): 001000001 100000010 -> 20 C0 80
  const Bytes beyond = {0x20, 0xC0, 0x80};
  ASSERT_TRUE(codec.BeginDecompress());
  u32 remaining = 0;
  SL_EXPECT_FAIL(codec.Decompress(beyond.data(), 3, &remaining), SL_E_DECODE);
  EXPECT_EQ(remaining, 0u);
  SL_EXPECT_FAIL(codec.EndDecompress(), SL_E_NOT_STARTED);  // the stream ended

  // A first code of 256 or more has no previous string to extend.
  const Bytes firstTooBig = {0x80, 0x00, 0x41, 0x42};  // code 0x100, then more bytes
  ASSERT_TRUE(codec.BeginDecompress());
  SL_EXPECT_FAIL(codec.Decompress(firstTooBig.data(), 4, &remaining), SL_E_DECODE);
  EXPECT_EQ(remaining, 2u);

  // The same after a reset: 3840 codes, then a 9-bit code 0x1FF.
  Bytes input;
  for (int i = 0; input.size() < 2000000; ++i) input.push_back(static_cast<u8>(i * 7 + i / 256));
  Bytes packed = ReferenceCompress(input);
  const size_t cycleBits = 256 * 9 + 512 * 10 + 1024 * 11 + 2048 * 12;
  ASSERT_GT(packed.size() * 8, cycleBits + 9);
  Bytes cut(packed.begin(), packed.begin() + cycleBits / 8 + 3);
  // Overwrite the 9 bits after the first cycle with ones.
  for (size_t bit = cycleBits; bit < cycleBits + 9; ++bit) cut[bit / 8] |= static_cast<u8>(0x80 >> (bit % 8));
  ASSERT_TRUE(codec.BeginDecompress());
  SL_EXPECT_FAIL(codec.Decompress(cut.data(), static_cast<u32>(cut.size()), &remaining), SL_E_DECODE);
  // Without the damage the same prefix decodes.
  Bytes clean(packed.begin(), packed.begin() + cycleBits / 8 + 3);
  ASSERT_TRUE(codec.BeginDecompress());
  EXPECT_TRUE(codec.Decompress(clean.data(), static_cast<u32>(clean.size()), &remaining));
  EXPECT_TRUE(codec.EndDecompress());
}

TEST(CompressLZW, RandomStreamsNeverOverrun) {
  std::mt19937 rng(21);
  CSLCompressLZW codec;
  for (int round = 0; round < 200; ++round) {
    Bytes junk(1 + rng() % 6000);
    for (auto& b : junk) b = static_cast<u8>(rng());
    ASSERT_TRUE(codec.BeginDecompress());
    u32 remaining = 0;
    if (codec.Decompress(junk.data(), static_cast<u32>(junk.size()), &remaining)) {
      EXPECT_EQ(remaining, 0u);
      EXPECT_TRUE(codec.EndDecompress());
    } else {
      EXPECT_EQ(SLGetLastError(), SL_E_DECODE);
      EXPECT_LE(remaining, junk.size());
    }
  }
}

}  // namespace
