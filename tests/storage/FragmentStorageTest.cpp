// The fragment storage over a memory storage: the window bounds reads, writes, seeks
// and locks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/SLFragmentStorage.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Source() {
  std::string s(1000, '\0');
  for (int i = 0; i < 1000; ++i) s[i] = char(i % 251);
  return s;
}

class FragmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source = new CSLMemoryStorage();
    std::string bytes = Source();
    ASSERT_EQ(source->Write(bytes.data(), bytes.size()), bytes.size());
    ASSERT_TRUE(fragment.AttachContainer(source));
    source->Release();  // the fragment holds the only reference now
  }
  CSLMemoryStorage* source = nullptr;
  CSLFragmentStorage fragment;
};

TEST_F(FragmentTest, ReadsStayInsideTheWindow) {
  ASSERT_TRUE(fragment.SetWindow(100, 50));
  EXPECT_EQ(SLTestSize(fragment), 50u);
  std::string buffer(80, '\x7F');
  EXPECT_EQ(fragment.Read(buffer.data(), 80), 50u);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
  EXPECT_EQ(buffer.substr(0, 50), Source().substr(100, 50));
  EXPECT_EQ(buffer.substr(50), std::string(30, '\x7F'));
  SL_EXPECT_FAIL(fragment.Read(buffer.data(), 80), SL_E_STORAGE_EOF);
  EXPECT_TRUE(fragment.IsEOF());
  // Seeks are cut to the window; the source follows.
  ASSERT_TRUE(fragment.Seek(-10, SL_SEEK_END));
  EXPECT_EQ(SLTestPosition(fragment), 40u);
  EXPECT_EQ(SLTestPosition(*source), 140u);
  ASSERT_TRUE(fragment.Seek(500, SL_SEEK_BEGIN));
  EXPECT_EQ(SLTestPosition(fragment), 50u);
}

TEST(Fragment, AFullBlockReadStaysInTheCallersBuffer) {
  CSLMemoryStorage source;
  std::string bytes(70000, 'b');
  ASSERT_EQ(source.Write(bytes.data(), bytes.size()), bytes.size());
  CSLFragmentStorage fragment;
  ASSERT_TRUE(fragment.AttachContainer(&source));
  ASSERT_TRUE(fragment.SetWindow(6000, 64000));
  std::vector<char> exact(64000);  // an overrun shows under the address sanitizer
  EXPECT_EQ(fragment.Read(exact.data(), exact.size()), 64000u);
  EXPECT_EQ(SLGetLastError(), SL_OK);
  EXPECT_TRUE(fragment.IsEOF());
  EXPECT_TRUE(fragment.DetachContainer());
}

TEST_F(FragmentTest, WritesAreCutToTheWindow) {
  ASSERT_TRUE(fragment.SetWindow(200, 50));
  ASSERT_TRUE(fragment.Seek(40, SL_SEEK_BEGIN));
  std::string thirty(30, 'W');
  EXPECT_EQ(fragment.Write(thirty.data(), 30), 10u);
  EXPECT_EQ(SLGetLastError(), SL_OK);
  std::string after(1000, '\0');
  ASSERT_TRUE(source->Seek(0, SL_SEEK_BEGIN));
  ASSERT_EQ(source->Read(after.data(), 1000), 1000u);
  std::string expected = Source();
  expected.replace(240, 10, std::string(10, 'W'));
  EXPECT_EQ(after, expected);
  u64 size = 0;
  source->GetSize(&size);
  EXPECT_EQ(size, 1000u);  // the window never grows its source
  SL_EXPECT_FAIL(fragment.Write("x", 1), SL_E_STORAGE_EOF);
}

}  // namespace

TEST_F(FragmentTest, NamesCloseAndDetach) {
  EXPECT_EQ(std::u16string(fragment.GetNameW()), u"(buffered)");
  fragment.Close();
  u64 size = 5;
  EXPECT_EQ(SLTestSize(fragment), 0u);
  EXPECT_EQ(fragment.GetContainer(), source);
  // A new window on the same source after closing.
  EXPECT_TRUE(fragment.SetWindow(0, 10));
  EXPECT_TRUE(fragment.DetachContainer());
  EXPECT_EQ(fragment.GetContainer(), nullptr);
  SL_EXPECT_FAIL(fragment.GetSize(&size), SL_E_STORAGE_NOT_OPEN);
  CSLDateTime date;
  SL_EXPECT_FAIL(fragment.GetTime(&date), SL_E_STORAGE_NO_CONTAINER);
  SL_EXPECT_FAIL(fragment.SetWindow(0, 0), SL_E_STORAGE_NOT_OPEN);

  // Over a named source: its name, a blank, "(buffered)".
  CSLMemoryStorage named;
  ASSERT_TRUE(named.SetNameA("pista.wav"));
  ASSERT_TRUE(fragment.AttachContainer(&named));
  EXPECT_EQ(std::u16string(fragment.GetNameW()), u"pista.wav (buffered)");
  EXPECT_TRUE(fragment.DetachContainer());
}
