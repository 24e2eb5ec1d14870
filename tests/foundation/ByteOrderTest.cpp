// Byte-order loads and stores at every alignment, the UTF-16 name helpers and the block
// holder's error-code rule.
#include <gtest/gtest.h>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLWideText.h"
#include "tests/support/TestSupport.h"

TEST(ByteOrder, LoadsAndStoresAtEveryAlignment) {
  const u8 bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  for (int shift = 0; shift < 2; ++shift) {
    const u8* p = bytes + shift;
    u64 le = 0, be = 0;
    for (int i = 7; i >= 0; --i) le = (le << 8) | p[i];
    for (int i = 0; i < 8; ++i) be = (be << 8) | p[i];
    EXPECT_EQ(SLLoadLE64(p), le);
    EXPECT_EQ(SLLoadBE64(p), be);
    EXPECT_EQ(SLLoadLE32(p), u32(le));
    EXPECT_EQ(SLLoadBE32(p), u32(be >> 32));
    EXPECT_EQ(SLLoadLE16(p), u16(le));
    EXPECT_EQ(SLLoadBE16(p), u16(be >> 48));
    u8 out[9] = {};
    SLStoreBE64(out + shift, be);
    EXPECT_EQ(0, memcmp(out + shift, p, 8));
    SLStoreLE32(out + shift, 0xA1B2C3D4);
    EXPECT_EQ(SLLoadBE32(out + shift), 0xD4C3B2A1u);
    SLStoreBE16(out + shift, 0x1234);
    EXPECT_EQ(out[shift], 0x12);
  }
  static_assert(SLSwapBytes16(0x1234) == 0x3412 && SLSwapBytes64(1) == (u64(1) << 56));
}

TEST(WideText, NamesAndCopies) {
  EXPECT_EQ(SLTextLength(u"abc"), 3u);
  EXPECT_EQ(SLTextLength<char>(nullptr), 0u);
  EXPECT_TRUE(SLIsDotName(u".") && SLIsDotName("..") && !SLIsDotName(u"...") && !SLIsDotName(".a"));
  EXPECT_TRUE(SLIsDotName(u"..x", 2) && !SLIsDotName(u"..x", 3) && !SLIsDotName(u"", 0));
  EXPECT_TRUE(SLIsPathSeparator(u'\\') && SLIsPathSeparator('/') && !SLIsPathSeparator(u':'));
  SLWChar* copy = SLDuplicateText(u"name.txt", 4);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"name");
  SLFree(copy);
}

TEST(BlockHolder, ReleaseKeepsTheCallersCode) {
  {
    TSLAutoPtr<u32> owner(static_cast<u32*>(SLAlloc(16)));
    *owner.Get() = 7;
    owner.Reset(static_cast<u32*>(SLAlloc(8)));
    SLSetLastError(0x80020016);
  }
  EXPECT_EQ(SLGetLastError(), 0x80020016u);
  bool ran = false;
  {
    auto guard = SLMakeScopeGuard([&] {
      ran = true;
      SLSetLastError(SL_OK);
    });
    SLSetLastError(0x800d0002);
  }
  EXPECT_TRUE(ran);
  EXPECT_EQ(SLGetLastError(), 0x800d0002u);
  SL_EXPECT_OK(SLSucceed(true));
}
