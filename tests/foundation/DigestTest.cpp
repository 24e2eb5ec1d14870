// CRC-32 against zlib and the published check value; SHA-1/2 and HMAC against python.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SLDigest.h"
#include "foundation/SLError.h"
#include "foundation/SLProcessor.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Hex(const u8* bytes, u32 n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (u32 i = 0; i < n; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::string DigestOf(u32 algorithm, const std::string& key, const std::string& message,
                     bool keyed) {
  CSLDigestAlgorithmSecureHash sha;
  EXPECT_TRUE(sha.InitializeAlgorithm(algorithm, keyed ? key.data() : nullptr, u32(key.size())));
  EXPECT_TRUE(sha.Update(message.data(), u32(message.size())));
  SL_EXPECT_OK(sha.Finalize());
  return Hex(sha.GetDigest(), sha.GetDigestSize());
}

u32 Crc(const void* data, size_t n) {
  CSLDigestAlgorithmCRC32 crc;
  crc.Initialize();
  crc.Update(data, u32(n));
  return crc.GetValue();
}

}  // namespace

TEST(Crc32, CheckValueAndDigestBytes) {
  CSLDigestAlgorithmCRC32 crc;
  EXPECT_TRUE(crc.Initialize());
  EXPECT_EQ(crc.GetValue(), 0u);  // CRC of no bytes
  EXPECT_TRUE(crc.Update("123456789", 9));
  EXPECT_TRUE(crc.Finalize());
  EXPECT_EQ(crc.GetValue(), 0xCBF43926u);
  const u8* d = crc.GetDigest();
  ASSERT_EQ(crc.GetDigestSize(), 4u);
  EXPECT_EQ(Hex(d, 4), "2639f4cb");

  // Byte by byte, and continuing after Finalize, gives the same value.
  CSLDigestAlgorithmCRC32 bytewise;
  bytewise.Initialize();
  for (const char* p = "12345"; *p; ++p) bytewise.Update(p, 1);
  bytewise.Finalize();
  bytewise.Update("6789", 4);
  EXPECT_EQ(bytewise.GetValue(), 0xCBF43926u);
}

TEST(Crc32, AgreesWithZlibAtEveryLengthAndAlignment) {
  std::mt19937 rng(7);
  std::vector<u8> data(4096 + 64);
  for (auto& b : data) b = u8(rng());
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t len = 0; len < 300; ++len) {
      u32 expected = u32(crc32(0, data.data() + offset, uInt(len)));
      ASSERT_EQ(Crc(data.data() + offset, len), expected) << offset << " " << len;
    }
  }
  // Split updates on a large buffer.
  CSLDigestAlgorithmCRC32 crc;
  crc.Initialize();
  size_t done = 0;
  while (done < data.size()) {
    size_t piece = std::min<size_t>(data.size() - done, 1 + rng() % 97);
    crc.Update(data.data() + done, u32(piece));
    done += piece;
  }
  EXPECT_EQ(crc.GetValue(), u32(crc32(0, data.data(), uInt(data.size()))));
}

// Each path on its own against zlib, continuing from a running value: the tables, and the
// carry-less folding (where the processor has it) with its block boundaries and the table
// tail at every length and alignment.
TEST(Crc32, TablesAndCarrylessFoldingEachAgreeWithZlib) {
  std::mt19937 rng(11);
  std::vector<u8> data(70000);
  for (auto& b : data) b = u8(rng());
  const bool folding = SLHasCarrylessMultiply();
  std::vector<size_t> lengths;
  for (size_t len = 0; len <= 300; ++len) lengths.push_back(len);
  for (size_t len : {1023u, 1024u, 4097u, 65536u, 69000u}) lengths.push_back(len);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t len : lengths) {
      const u8* p = data.data() + offset;
      const uLong seed = crc32(0, data.data() + 40000, uInt(offset * 7));
      const u32 expected = u32(crc32(seed, p, uInt(len)));
      ASSERT_EQ(~SLInternals::SLCrc32Tables(~u32(seed), p, len), expected) << offset << " " << len;
      u32 folded = 0;
      ASSERT_EQ(SLInternals::SLCrc32Carryless(~u32(seed), p, len, &folded), folding);
      if (folding) {
        ASSERT_EQ(~folded, expected) << offset << " " << len;
      }
    }
  }
}

TEST(Crc32, ByteStepAndTypedArraysAreLittleEndian) {
  // The single-byte step is the raw table step (no inversion).
  u32 c = 0xFFFFFFFFu;
  for (const char* p = "123456789"; *p; ++p) c = SLCrc32UpdateByte(c, u8(*p));
  EXPECT_EQ(~c, 0xCBF43926u);

  const u8 fileForm[] = {0x54, 0x6B, 0x03, 0x00, 0x78, 0x56, 0x34, 0x12,
                         0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  CSLDigestAlgorithmCRC32 typed;
  typed.Initialize();
  const u16 words[] = {0x6B54, 3};
  const u32 dword = 0x12345678;
  const u64 qword = 0x0102030405060708ull;
  EXPECT_TRUE(typed.UpdateUInt16Array(words, 2));
  EXPECT_TRUE(typed.UpdateUInt32Array(&dword, 1));
  EXPECT_TRUE(typed.UpdateUInt64Array(&qword, 1));
  SL_EXPECT_OK(typed.UpdateUInt64Array(nullptr, 0));
  EXPECT_EQ(typed.GetValue(), Crc(fileForm, sizeof fileForm));
}

std::string HexText(const std::string& bytes) {
  return Hex(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size()));
}

// Digests and HMACs of every algorithm against python's hashlib and hmac, over messages of
// every length around the block sizes and keys shorter and longer than a block.
TEST(SecureHash, DigestsAndHmacsAgreeWithPython) {
  std::mt19937 rng(180);
  std::vector<std::pair<std::string, std::string>> cases;  // key, message
  for (u32 length = 0; length < 300; length += 1 + length / 40) {
    std::string key(1 + rng() % 200, '\0'), message(length, '\0');
    for (char& c : key) c = char(rng());
    for (char& c : message) c = char(rng());
    cases.emplace_back(key, message);
  }
  std::string script =
      "import hashlib, hmac\nnames = ['sha1', 'sha224', 'sha256', 'sha384', 'sha512']\nfor k, m in [\n";
  for (const auto& [key, message] : cases) script += "  ('" + HexText(key) + "', '" + HexText(message) + "'),\n";
  script +=
      "]:\n  k, m = bytes.fromhex(k), bytes.fromhex(m)\n"
      "  print(' '.join([hashlib.new(n, m).hexdigest() for n in names] +\n"
      "                 [hmac.new(k, m, n).hexdigest() for n in names]))\n";
  std::istringstream expected(SLTestRunPython(script));
  for (const auto& [key, message] : cases) {
    for (u32 a = 0; a < 5; ++a) {
      std::string digest;
      expected >> digest;
      EXPECT_EQ(DigestOf(a, "", message, false), digest) << a << " length " << message.size();
    }
    for (u32 a = 0; a < 5; ++a) {
      std::string mac;
      expected >> mac;
      EXPECT_EQ(DigestOf(a, key, message, true), mac) << a << " key " << key.size();
    }
  }
  EXPECT_TRUE(expected.good());
}

TEST(SecureHash, MillionAsFedInPieces) {
  const char* expected[5] = {
      "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
      "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67",
      "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
      "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985",
      ("e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31b"
       "eb009c5c2c49aa2e4eadb217ad8cc09b")};  // one digest, in two pieces
  std::string as(1000, 'a');
  CSLDigestAlgorithmSecureHash sha;  // one object reused for every pass
  for (u32 a = 0; a < 5; ++a) {
    ASSERT_TRUE(sha.InitializeAlgorithm(a, nullptr, 12345));  // null key: length ignored
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(sha.Update(as.data(), 1000));
    ASSERT_TRUE(sha.Finalize());
    EXPECT_EQ(Hex(sha.GetDigest(), sha.GetDigestSize()), expected[a]);
  }
}
