// The storage interface's shared parts: typed reads and writes, byte swaps, the
// 64-bit conversion, names, the not-supported defaults and AttachFile.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "storage/SLBaseStorage.h"
#include "storage/SLFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(StorageTypedReads, ByteOrder) {
  CSLMemoryStorage m;
  const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22};
  ASSERT_EQ(m.Write(bytes, sizeof bytes), sizeof bytes);
  ASSERT_TRUE(m.Seek(0, SL_SEEK_BEGIN));
  u16 big = 0, little = 0;
  EXPECT_TRUE(m.ReadU16BE(&big));
  EXPECT_EQ(big, 0x1234);
  ASSERT_TRUE(m.Seek(0, SL_SEEK_BEGIN));
  EXPECT_TRUE(m.ReadU16(&little));
  EXPECT_EQ(little, 0x3412);
  u32 word = 0;
  EXPECT_TRUE(m.ReadU32BE(&word));
  EXPECT_EQ(word, 0x56789ABCu);
  ASSERT_TRUE(m.Seek(0, SL_SEEK_BEGIN));
  u64 wide = 0;
  EXPECT_TRUE(m.ReadU64(&wide));
  EXPECT_EQ(wide, 0xF0DEBC9A78563412ull);
  SL_EXPECT_FAIL(m.ReadU32(&word), SL_E_STORAGE_EOF);  // two bytes left
  SL_EXPECT_FAIL(m.ReadU16(nullptr), SL_E_NULL_OUTPUT);

  CSLMemoryStorage out;
  EXPECT_TRUE(out.WriteU16(0xBEEF));
  EXPECT_TRUE(out.WriteU32(0x01020304));
  unsigned char written[6];
  ASSERT_TRUE(out.Seek(0, SL_SEEK_BEGIN));
  ASSERT_EQ(out.Read(written, 6), 6u);
  const unsigned char expected[6] = {0xEF, 0xBE, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(written, expected, 6), 0);
}

// A container that only takes a source, to watch AttachFile.
class Container : public CSLMemoryStorage {
 public:
  ~Container() override {
    if (source) source->Release();
  }
  bool AttachContainer(CSLBaseStorage* s) override {
    if (source) source->Release();
    source = s;
    if (s) s->AddRef();
    return SLFail(SL_OK, true);
  }
  CSLBaseStorage* source = nullptr;
};

TEST(StorageAttachFile, OpensAFileStorageAsTheSource) {
  TempDir dir;
  dir.Write("pack.DAT", "data");
  Container container;
  SL_EXPECT_FAIL(container.AttachFile(dir.Win("missing.DAT").c_str(), false, 0), SL_E_STORAGE_OPEN);
  EXPECT_EQ(container.source, nullptr);
  ASSERT_TRUE(container.AttachFile(dir.Win("PACK.dat").c_str(), false, 0));
  ASSERT_NE(container.source, nullptr);
  EXPECT_TRUE(container.source->IsKindOf(CSLFileStorage::GetClassRecord()));
  EXPECT_EQ(container.source->GetRefCount(), 1);  // the container's reference only
  char text[4];
  EXPECT_EQ(container.source->Read(text, 4), 4u);
  EXPECT_EQ(std::string(text, 4), "data");
  // A storage that takes no source refuses, and the file storage goes again.
  CSLMemoryStorage plain;
  SL_EXPECT_FAIL(plain.AttachFile(dir.Win("pack.DAT").c_str(), false, 0), SL_E_NOT_SUPPORTED);
}

}  // namespace

TEST(StorageFunctions, SwapsAndUnsignedToDouble) {
  unsigned char items[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  SLSwapBytes64(items, 2);
  const unsigned char swapped64[16] = {8, 7, 6, 5, 4, 3, 2, 1, 16, 15, 14, 13, 12, 11, 10, 9};
  EXPECT_EQ(std::memcmp(items, swapped64, 16), 0);
  SLSwapBytes32(items, 1);
  const unsigned char swapped32[4] = {5, 6, 7, 8};
  EXPECT_EQ(std::memcmp(items, swapped32, 4), 0);
  SLSwapBytes16(items + 1, 1);  // items need no alignment
  EXPECT_EQ(items[1], 7);
  EXPECT_EQ(items[2], 6);
  SLSwapBytes16(items, 0);
  EXPECT_EQ(items[0], 5);

  EXPECT_EQ(SLUInt64ToDouble(0, 0x80000000u), std::ldexp(1.0, 63));
  EXPECT_EQ(SLUInt64ToDouble(0xFFFFFFFFu, 0xFFFFFFFFu), std::ldexp(1.0, 64));
  EXPECT_EQ(SLUInt64ToDouble(1, 0x80000000u), std::ldexp(1.0, 63));  // 2^63 + 1 rounds to 2^63
  EXPECT_EQ(SLUInt64ToDouble(0x800, 0x80000000u), std::ldexp(1.0, 63) + 2048.0);
  EXPECT_EQ(SLUInt64ToDouble(12345, 0), 12345.0);
  EXPECT_EQ(SLUInt64ToDouble(0, 1), 4294967296.0);
}

TEST(StorageNames, SetAndClearTogether) {
  CSLMemoryStorage m;
  ASSERT_NE(m.GetNameW(), nullptr);
  EXPECT_EQ(m.GetNameW()[0], 0);
  ASSERT_TRUE(m.SetNameA("Aventuras Guardadas\\pel\xED" "cula.ZQTR"));  // Windows-1252 "í"
  EXPECT_EQ(std::u16string(m.GetNameW()), u"Aventuras Guardadas\\pel\u00EDcula.ZQTR");
  ASSERT_TRUE(m.SetNameW(u"a\u00F1o"));
  EXPECT_STREQ(m.GetNameA(), "a\xF1o");
  EXPECT_TRUE(m.SetNameA(nullptr));
  EXPECT_EQ(m.GetNameW()[0], 0);
  EXPECT_EQ(m.GetNameA()[0], 0);
  ASSERT_TRUE(m.SetNameA("x"));
  EXPECT_TRUE(m.SetNameA(""));
  SL_EXPECT_FAIL(m.GetNameW()[0], SL_OK);
}
