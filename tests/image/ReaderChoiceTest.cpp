// Choosing an image reader by content and by extension, with test reader classes, and
// the writers' pre-check.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/SLError.h"
#include "image/SLImageReader.h"
#include "storage/SLMemoryStorage.h"

namespace {

// What the last IsFormat call of each test reader was shown.
u32 g_seen[4];

// A reader needing `Header` bytes that accepts data starting with `Tag` (when it got
// all its bytes), listing `Ext` and, for the first, a second extension.
template <int Id, u32 Header, char Tag>
class ProbeReader : public CSLBaseImageReader {
 public:
  static const SLClassRecord s_classRecord;
  const SLClassRecord* GetRuntimeClass() const override { return &s_classRecord; }
  u32 GetHeaderSize() override { return Header; }
  bool IsFormat(const u8* data, u32 count) override {
    g_seen[Id] = count;
    return count >= Header && (data[0] == Tag || data[0] == '*');
  }
  const char* GetExtensionA(u32 index) override {
    static const char* const names[4][3] = {{"aaa", "TGA", nullptr}, {"bbb", nullptr}, {"ccc", nullptr}, {"ddd", nullptr}};
    return index < 2 && names[Id][index] ? names[Id][index] : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
  }
};
const SLClassRecord* g_links[4];
template <int Id, u32 Header, char Tag>
const SLClassRecord ProbeReader<Id, Header, Tag>::s_classRecord = {
    "ProbeReader", u32(sizeof(ProbeReader)), &SLInternals::SLCreateObject<ProbeReader>,
    &SLInternals::SLCreateObjectInPlace<ProbeReader>, CSLBaseImageReader::GetClassRecord(), &g_links[Id]};

using ReaderA = ProbeReader<0, 8, 'A'>;
using ReaderB = ProbeReader<1, 10, 'B'>;
using ReaderC = ProbeReader<2, 18, 'C'>;
using ReaderD = ProbeReader<3, 4, 'D'>;

class ReaderChoice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Registered in this order, enumerated newest first: D, C, B, A.
    for (const SLClassRecord* record : {&ReaderA::s_classRecord, &ReaderB::s_classRecord,
                                        &ReaderC::s_classRecord, &ReaderD::s_classRecord})
      SLRegisterClass(record);
  }
  static const SLClassRecord* Choose(const std::vector<u8>& bytes, u64 start = 0) {
    CSLMemoryStorage storage;
    storage.Write(bytes.data(), bytes.size());
    storage.Seek(i64(start), SL_SEEK_BEGIN);
    std::fill(std::begin(g_seen), std::end(g_seen), 0xFFFFFFFFu);
    const SLClassRecord* chosen = CSLBaseImageReader::FindReaderClassByContent(&storage);
    const u32 code = SLGetLastError();
    u64 position = 99;
    storage.GetPosition(&position);
    EXPECT_EQ(position, start) << "the chooser puts a seekable storage back";
    SLSetLastError(code);
    return chosen;
  }
};

TEST_F(ReaderChoice, ProbeReadsTheLargestHeaderAndShowsEveryReaderTheSameBytes) {
  std::vector<u8> bytes(300, 'A');
  bytes[6] = 'x';
  EXPECT_EQ(Choose(bytes, 7), &ReaderA::s_classRecord);
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_GE(g_seen[0], 18u);
  EXPECT_LE(g_seen[0], 256u);
  for (u32 seen : g_seen) EXPECT_EQ(seen, g_seen[0]);

  // Five bytes: every reader sees 5, the one needing 8 rejects its own tag.
  EXPECT_EQ(Choose({'A', 'A', 'A', 'A', 'A'}), nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80010001u);
  for (u32 seen : g_seen) EXPECT_EQ(seen, 5u);
  EXPECT_EQ(Choose({'D', 'D', 'D', 'D', 'D'}), &ReaderD::s_classRecord);
}

TEST_F(ReaderChoice, TiesGoToTheNewestRegisteredReader) {
  EXPECT_EQ(Choose(std::vector<u8>(40, '*')), &ReaderD::s_classRecord);
  EXPECT_EQ(g_seen[0], 0xFFFFFFFFu) << "the enumeration stops at the first match";
  EXPECT_EQ(Choose(std::vector<u8>(12, 'B')), &ReaderB::s_classRecord);
  EXPECT_EQ(Choose({}), nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80010001u);
  EXPECT_EQ(CSLBaseImageReader::FindReaderClassByContent(nullptr), nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
}

TEST_F(ReaderChoice, ExtensionsMatchWithoutCase) {
  const struct {
    const char* name;
    const SLClassRecord* record;
    u32 code;
  } cases[] = {
      {"x.Tga", &ReaderA::s_classRecord, 0},
      {"dir.ddd/fondo.tga", &ReaderA::s_classRecord, 0},
      {"c:\\a\\b.CCC", &ReaderC::s_classRecord, 0},
      {"frente", nullptr, 0x80010001},
      {"dir.ccc/frente", nullptr, 0x80010001},
      {"x.", nullptr, 0x80010001},
      {"x.averyveryverylongextension", nullptr, 0x80010001},
      {"x.tga.zip", nullptr, 0x80010001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension(c.name), c.record);
    EXPECT_EQ(SLGetLastError(), c.code);
  }
  EXPECT_EQ(CSLBaseImageReader::FindReaderClassByExtension(nullptr), nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80001002u);
}

// Each element is checked in order: a good first one does not excuse a later one.
TEST(ImageWriterCheck, RefusesEachKindOfUnwritableArray) {
  EXPECT_FALSE(SLValidateImageArrayForWrite(nullptr));
  EXPECT_EQ(SLGetLastError(), 0x800d000au);
  // the second element's format, size and whether it gets pixels -> code (0: written)
  const struct {
    u32 format, width;
    bool pixels;
    u32 code;
  } cases[] = {{5, 3, true, 0}, {30, 4, true, 0}, {5, 3, false, 0x800d0006}, {0, 0, false, 0x800d0002}};
  for (const auto& c : cases) {
    CSLImageArray images;
    for (u32 i = 0; i < 2; ++i) {
      CSLImage* image = images.CreateElement(nullptr);
      if (i == 0 || c.format) image->Create(i ? c.format : 5, i ? c.width : 3, 4, i && !c.pixels);
      images.Add(image);
      image->Release();
    }
    EXPECT_EQ(SLValidateImageArrayForWrite(&images), c.code == 0);
    EXPECT_EQ(SLGetLastError(), c.code);
  }
  CSLImageArray empty;
  EXPECT_FALSE(SLValidateImageArrayForWrite(&empty));
  EXPECT_EQ(SLGetLastError(), 0x800d000au);
}

}  // namespace
