// The reader interface: extension lookup over the class registry (newest registration
// first, a subclass never shadowing its base when registered before it) and OpenFile's
// ownership of the storage it makes.
#include <gtest/gtest.h>

#include <string>

#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLFileStorage.h"
#include "tests/support/TempDir.h"

namespace {

// A reader with one extension that opens anything and holds the storage.
class CTestReader : public CSLBaseVideoAudioReader {
 public:
  ~CTestReader() override { Close(); }
  bool Open(CSLBaseStorage* storage, u32) override { return HoldSource(storage), SLSucceed(true); }
  bool Close() override { return ReleaseSource(), SLSucceed(true); }
  bool GetStreamCount(u32*) override { return false; }
  bool GetStreamType(u32, u32*) override { return false; }
  bool GetVideoFormat(u32, SLVideoFormat*) override { return false; }
  bool GetVideoFrameRate(u32, double*) override { return false; }
  bool IsKeyFrame(u32, u64) override { return false; }
  bool GetAudioFormat(u32, SLAudioFormat*) override { return false; }
  bool GetAudioLength(u32, u64*) override { return false; }
  bool GetVideoFrameCount(u32, u64*) override { return false; }
  bool StartStream(u32) override { return false; }
  bool GetVideoFrame(u32, u64, const void**, u32*) override { return false; }
  bool ReadAudio(u32, u64, u32, const void**, u32*) override { return false; }
  bool StopStream(u32) override { return false; }
  CSLBaseStorage* Source() const { return m_source; }
};

#define TEST_READER(cls, base, extension)                                                      \
  class cls : public base {                                                                    \
    SL_DECLARE_CLASS(cls)                                                                      \
   public:                                                                                     \
    const char* GetExtensionA(u32 i) override { return i ? nullptr : extension; }              \
  };                                                                                           \
  SL_IMPLEMENT_CLASS_CREATABLE(cls, base)

TEST_READER(CTestMxvReader, CTestReader, "MXV")
TEST_READER(CTestLongReader, CTestReader, "mxvextralongname")
TEST_READER(CTestOlderDup, CTestReader, "dup")
TEST_READER(CTestNewerDup, CTestReader, "DUP")
TEST_READER(CTestAvxReader, CTestReader, "AVX")
// Derives from the AVX reader and keeps its extension; registered before its base, as
// the application's own reader classes are.
class CTestAvxSubclass : public CTestAvxReader {
  SL_DECLARE_CLASS(CTestAvxSubclass)
};
SL_IMPLEMENT_CLASS_CREATABLE(CTestAvxSubclass, CTestAvxReader)

class ReaderLookup : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    for (const SLClassRecord* record :
         {CTestMxvReader::GetClassRecord(), CTestLongReader::GetClassRecord(),
          CTestOlderDup::GetClassRecord(), CTestNewerDup::GetClassRecord(),
          CTestAvxSubclass::GetClassRecord(), CTestAvxReader::GetClassRecord()})
      SLRegisterClass(record);
  }
};

TEST_F(ReaderLookup, FindsClassesByExtension) {
  struct Case {
    const char* path;
    const SLClassRecord* expected;
  } cases[] = {
      {"C:\\Videos\\intro.mxv", CTestMxvReader::GetClassRecord()},
      {"Videos/INTRO.MXV", CTestMxvReader::GetClassRecord()},
      {"clip.mxvextralongname", CTestLongReader::GetClassRecord()},
      {"x.dup", CTestNewerDup::GetClassRecord()},
      {"x.avx", CTestAvxReader::GetClassRecord()},
      {"Videos\\intro", nullptr},
      {"intro.", nullptr},
      {"dir.mxv\\intro", nullptr},
      {"intro.xyz", nullptr},
      {"clip.mxvextralongnam", nullptr},
  };
  for (const Case& c : cases) {
    SLSetLastError(0x1234);
    EXPECT_EQ(CSLBaseVideoAudioReader::FindReaderClassByExtension(c.path), c.expected) << c.path;
    EXPECT_EQ(SLGetLastError(), c.expected ? SL_OK : SL_E_NOT_FOUND) << c.path;
  }
  EXPECT_EQ(CSLBaseVideoAudioReader::FindReaderClassByExtension(nullptr), nullptr);
  EXPECT_EQ(SLGetLastError(), SL_E_NULL_DATA);
}

TEST_F(ReaderLookup, OpenFileHandsTheStorageToTheReader) {
  TempDir dir;
  dir.Write("clip.mxv", "some bytes");
  CTestMxvReader reader;
  CSLFileStorage probe;  // a missing file: the storage's own code, nothing held
  EXPECT_FALSE(probe.OpenA(dir.Host("missing.mxv").c_str(), 0));
  const u32 storageCode = SLGetLastError();
  EXPECT_FALSE(reader.OpenFile(dir.Host("missing.mxv").c_str(), 0));
  EXPECT_EQ(SLGetLastError(), storageCode);
  EXPECT_EQ(reader.Source(), nullptr);
  ASSERT_TRUE(reader.OpenFile(dir.Win("clip.mxv").c_str(), 0));
  ASSERT_NE(reader.Source(), nullptr);
  EXPECT_EQ(reader.Source()->GetRefCount(), 1);  // the reader's reference only
  char bytes[4] = {};
  EXPECT_EQ(reader.Source()->Read(bytes, 4), 4u);
  EXPECT_EQ(std::string(bytes, 4), "some");
  EXPECT_EQ(reader.CSLBaseVideoAudioReader::GetExtensionA(0), nullptr);  // the base has none
  EXPECT_EQ(SLGetLastError(), SL_E_INDEX);
}

}  // namespace
