// CRC-32 against zlib and the published value; SHA-1/2 and HMAC against the published
// test vectors (FIPS 180 examples, RFC 2202, RFC 4231).
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/SLDigest.h"
#include "foundation/SLError.h"
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

TEST(Crc32, NullPointer) {
  CSLDigestAlgorithmCRC32 crc;
  crc.Initialize();
  crc.Update("abc", 3);
  u32 before = crc.GetValue();
  EXPECT_TRUE(crc.Update(nullptr, 0));
  EXPECT_EQ(crc.GetValue(), before);
  SL_EXPECT_FAIL(crc.Update(nullptr, 1), SL_E_NULL_DATA);
  EXPECT_EQ(crc.GetValue(), before);
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

struct ShaVector {
  const char* message;
  const char* digests[5];  // SHA-1, -224, -256, -384, -512
};

TEST(SecureHash, Fips180Examples) {
  const ShaVector vectors[] = {
      {"abc",
       {"a9993e364706816aba3e25717850c26c9cd0d89d",
        "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7",
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
        "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7",
        "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
        "454d4423643ce80e2a9ac94fa54ca49f"}},
      {"",
       {"da39a3ee5e6b4b0d3255bfef95601890afd80709",
        "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f",
        "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
        "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b",
        "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f"
        "63b931bd47417a81a538327af927da3e"}},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       {"84983e441c3bd26ebaae4aa1f95129e5e54670f1",
        "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525",
        "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
        "3391fdddfc8dc7393707a65b1b4709397cf8b1d162af05abfe8f450de5f36bc6b0455a8520bc4e6f5fe95b1fe3c8452b",
        "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca0"
        "31ad85c7a71dd70354ec631238ca3445"}},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmn"
       "opqrstnopqrstu",
       {"a49b2446a02c645bf419f995b67091253a04a259",
        "c97ca9a559850ce97a04a96def6d99a9e0e0e2ab14e6b8df265fc0b3",
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
        "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039",
        "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
        "c7d329eeb6dd26545e96e55b874be909"}},
  };
  for (const auto& v : vectors)
    for (u32 a = 0; a < 5; ++a) EXPECT_EQ(DigestOf(a, "", v.message, false), v.digests[a]) << a << " " << v.message;
}

TEST(SecureHash, MillionAsFedInPieces) {
  const char* expected[5] = {
      "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
      "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67",
      "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
      "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985",
      "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31b"
      "eb009c5c2c49aa2e4eadb217ad8cc09b"};
  std::string as(1000, 'a');
  CSLDigestAlgorithmSecureHash sha;  // one object reused for every pass
  for (u32 a = 0; a < 5; ++a) {
    ASSERT_TRUE(sha.InitializeAlgorithm(a, nullptr, 12345));  // null key: length ignored
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(sha.Update(as.data(), 1000));
    ASSERT_TRUE(sha.Finalize());
    EXPECT_EQ(Hex(sha.GetDigest(), sha.GetDigestSize()), expected[a]);
  }
}

TEST(SecureHash, HmacSha1Rfc2202) {
  struct Case {
    std::string key, data;
    const char* mac;
  };
  const Case cases[] = {
      {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19",
       std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestOf(0, c.key, c.data, true), c.mac) << c.data;
}

TEST(SecureHash, HmacSha2Rfc4231) {
  struct Case {
    std::string key, data;
    const char* macs[4];  // SHA-224, -256, -384, -512
  };
  const std::string bigKey(131, '\xaa');
  const Case cases[] = {
      {std::string(20, '\x0b'), "Hi There",
       {"896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22",
        "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
        "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6",
        "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4"
        "be9d914eeb61f1702e696c203a126854"}},
      {"Jefe", "what do ya want for nothing?",
       {"a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44",
        "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
        "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649",
        "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fd"
        "caeab1a34d4a6b4b636e070a38bce737"}},
      {std::string(20, '\xaa'), std::string(50, '\xdd'),
       {"7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea",
        "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe",
        "88062608d3e6ad8a0aa2ace014c8a86f0aa635d947ac9febe83ef4e55966144b2a5ab39dc13814b94e3ab6e101a34f27",
        "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39bf3e848279a722c806b485a47e67c807"
        "b946a337bee8942674278859e13292fb"}},
      {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19",
       std::string(50, '\xcd'),
       {"6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a",
        "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b",
        "3e8a69b7783c25851933ab6290af6ca77a9981480850009cc5577c6e1f573b4e6801dd23c4a7d679ccf8a386c674cffb",
        "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3dba91ca5c11aa25eb4d679275cc5788063"
        "a5f19741120c4f2de2adebeb10a298dd"}},
      {bigKey, "Test Using Larger Than Block-Size Key - Hash Key First",
       {"95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e",
        "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
        "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952",
        "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e52"
        "95e64f73f63f0aec8b915a985d786598"}},
      {bigKey,
       "This is a test using a larger than block-size key and a larger than block-size data. The key needs "
       "to be hashed before being used by the HMAC algorithm.",
       {"3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1",
        "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2",
        "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c46523e",
        "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e4de15"
        "134676fb6de0446065c97440fa8c6a58"}},
  };
  for (const auto& c : cases)
    for (u32 a = 1; a < 5; ++a) EXPECT_EQ(DigestOf(a, c.key, c.data, true), c.macs[a - 1]) << a << " " << c.data;

  // Test case 5 truncates the output to 128 bits.
  std::string mac = DigestOf(2, std::string(20, '\x0c'), "Test With Truncation", true);
  EXPECT_EQ(mac.substr(0, 32), "a3b6167473100ee06e0c796c2955552b");
}

TEST(SecureHash, PassStatesAndCodes) {
  CSLDigestAlgorithmSecureHash sha;
  EXPECT_EQ(sha.GetDigestSize(), 0u);
  const u8* zeros = sha.GetDigest();
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(SLGetLastError(), SL_E_NOT_INITIALISED);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(zeros[i], 0);

  SL_EXPECT_FAIL(sha.Update("x", 1), SL_E_DIGEST_NOT_ACTIVE);
  SL_EXPECT_FAIL(sha.Finalize(), SL_E_DIGEST_NOT_ACTIVE);
  SL_EXPECT_FAIL(sha.InitializeAlgorithm(5, nullptr, 0), SL_E_DIGEST_UNSUPPORTED);

  ASSERT_TRUE(sha.Initialize());
  ASSERT_TRUE(sha.Update("ab", 2));
  SL_EXPECT_FAIL(sha.Initialize(), SL_E_DIGEST_ALREADY_ACTIVE);  // a pass is running
  EXPECT_TRUE(sha.Update(nullptr, 0));
  SL_EXPECT_FAIL(sha.Update(nullptr, 3), SL_E_NULL_DATA);
  ASSERT_TRUE(sha.Update("c", 1));  // the running pass was left untouched
  ASSERT_TRUE(sha.Finalize());
  EXPECT_EQ(Hex(sha.GetDigest(), sha.GetDigestSize()), "a9993e364706816aba3e25717850c26c9cd0d89d");

  ASSERT_TRUE(sha.InitializeAlgorithm(2, nullptr, 0));
  EXPECT_EQ(sha.GetDigestSize(), 0u);  // the previous digest is gone until this pass ends
  EXPECT_EQ(sha.GetDigest()[0], 0);
  ASSERT_TRUE(sha.Finalize());
  EXPECT_EQ(sha.GetDigestSize(), 32u);
}

TEST(SecureHash, HmacKeyLengthLimits) {
  CSLDigestAlgorithmSecureHash sha;
  std::string key(0x100001, 'k');
  SL_EXPECT_FAIL(sha.InitializeAlgorithm(2, key.data(), 0), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(sha.InitializeAlgorithm(2, key.data(), 0x100001), SL_E_INVALID_ARG);
  std::string largest(0x100000, 'k');
  EXPECT_EQ(DigestOf(2, largest, "x", true),
            "ad6e41175908d816305e850c6299ad4b7a2a8b499c18df160c0ecca8956cd4fc");
}

TEST(SecureHash, UpdateLargerThanOnePiece) {
  // More than 81,920,000 bytes in one Update equals the same bytes fed in small pieces.
  std::vector<u8> data(81920000 + 4099);
  for (size_t i = 0; i < data.size(); ++i) data[i] = u8(i * 131 + (i >> 13));
  CSLDigestAlgorithmSecureHash whole, pieces;
  ASSERT_TRUE(whole.InitializeAlgorithm(0, nullptr, 0));
  ASSERT_TRUE(whole.Update(data.data(), u32(data.size())));
  ASSERT_TRUE(whole.Finalize());
  ASSERT_TRUE(pieces.InitializeAlgorithm(0, nullptr, 0));
  for (size_t done = 0; done < data.size(); done += 1 << 20)
    ASSERT_TRUE(pieces.Update(data.data() + done, u32(std::min<size_t>(1 << 20, data.size() - done))));
  ASSERT_TRUE(pieces.Finalize());
  EXPECT_EQ(Hex(whole.GetDigest(), 20), Hex(pieces.GetDigest(), 20));
}
