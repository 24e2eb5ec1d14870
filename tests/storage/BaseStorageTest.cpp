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
