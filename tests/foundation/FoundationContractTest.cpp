// What the layers above rely on from the foundation's arrays and tokens: 16-byte arrays
// that append at -1 and grow by 32 elements, and tokens split outside quotes.
#include <gtest/gtest.h>

#include "foundation/SLArray.h"
#include "foundation/SLString.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(FoundationContract, SixteenByteArraysAppendAtMinusOneAndGrowBy32) {
  SLArrayHeader header;
  for (u32 i = 0; i < 33; ++i) {
    const u32 element[4] = {i, i, i, i};
    ASSERT_TRUE(SLArray16InsertAt(&header, element, u32(-1)));
  }
  EXPECT_EQ(header.count, 33u);
  EXPECT_EQ(header.capacity, 64u);
  EXPECT_EQ(static_cast<u32*>(header.data)[32 * 4], 32u);
  SL_EXPECT_FAIL(SLArray16RemoveAt(&header, 33, 1), SL_E_INDEX);
  SL_EXPECT_FAIL(SLArray16RemoveAt(&header, 0, 0), SL_E_INDEX);
  SL_EXPECT_OK(SLArray16RemoveAt(&header, 30, 100));  // the count is cut at the end
  EXPECT_EQ(header.count, 30u);
  SLArrayFreeAll(&header);
  EXPECT_EQ(header.capacity, 0u);
}

TEST(FoundationContract, TokensSplitOutsideQuotes) {
  const struct {
    const char* text;
    u32 index, size;
    const char *separators, *blanks;
    bool keepInner;
    const char* expected;
    u32 code;
  } cases[] = {
      {"a; \"b;c\" ;d", 2, 64, ";", " \t", false, "b;c", 0},
      {"uno, dos tres ,x", 2, 64, ",", " \t", true, "dos tres", 0},
      {"'a,b',c", 1, 64, ",", nullptr, false, "a,b", 0},
      {"a,b", 5, 64, ",", nullptr, false, "", 0},
      {"a,b", 0, 64, ",", nullptr, false, nullptr, SL_E_INDEX},
      {"a,b", 1, 64, nullptr, nullptr, false, nullptr, SL_E_INVALID_ARG},
  };
  for (const auto& c : cases) {
    char token[64] = "junk";
    const char* result = SLGetTokenA(token, c.size, c.text, c.index, c.separators, "\"'", c.blanks, c.keepInner);
    EXPECT_EQ(SLGetLastError(), c.code) << (c.text ? c.text : "null") << " #" << c.index;
    EXPECT_STREQ(result, c.expected) << (c.text ? c.text : "null") << " #" << c.index;
  }
}

}  // namespace
