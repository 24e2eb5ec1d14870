#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "foundation/SLError.h"
#include "foundation/SLString.h"
#include "storage/SLBaseStorage.h"
#include "storage/SLFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

// A byte stream over a std::string, with an optional size it claims instead of its own.
class TestStorage : public CSLBaseStorage {
 public:
  std::string data;
  u64 position = 0;
  u64 claimedSize = ~u64(0);
  u64 writeLimit = ~u64(0);

  bool CanRead() override { return true; }
  u64 Read(void* buffer, u64 count) override {
    u64 available = position < data.size() ? data.size() - position : 0;
    u64 n = count < available ? count : available;
    std::memcpy(buffer, data.data() + position, n);
    position += n;
    SLSetLastError(n < count ? u32(SL_E_STORAGE_EOF) : 0u);
    return n;
  }
  bool CanWrite() override { return true; }
  u64 Write(const void* buffer, u64 count) override {
    u64 n = count < writeLimit ? count : writeLimit;
    data.replace(position, n, static_cast<const char*>(buffer), n);
    position += n;
    SLSetLastError(n < count ? u32(SL_E_STORAGE_WRITE) : 0u);
    return n;
  }
  bool CanSeek() override { return true; }
  bool Seek(i64 offset, u32 origin) override {
    position = u64(offset) + (origin == SL_SEEK_END ? data.size() : origin == SL_SEEK_CURRENT ? position : 0);
    return SLFail(SL_OK, true);
  }
  bool GetPosition(u64* out) override { *out = position; return SLFail(SL_OK, true); }
  bool IsEOF() override { return position >= data.size(); }
  bool Flush() override { return true; }
  bool Lock(u64, u64) override { return true; }
  bool Unlock(u64, u64) override { return true; }
  bool SetSize(u64 size) override { data.resize(size); return true; }
  bool GetSize(u64* out) override {
    *out = claimedSize != ~u64(0) ? claimedSize : data.size();
    return SLFail(SL_OK, true);
  }
};

std::u16string Text(CSLStringWide& s) { return std::u16string(s.CStr(), s.GetLength()); }

bool Load(const std::string& bytes, CSLStringWide* out) {
  TestStorage storage;
  storage.data = bytes;
  return out->LoadFromStorage(&storage);
}

std::string Save(CSLStringWide& text, SLTextEncoding encoding) {
  TestStorage storage;
  EXPECT_TRUE(text.SaveToStorage(&storage, encoding)) << std::hex << SLGetLastError();
  return storage.data;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

class TextFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_temp = new TempDir;
    s_dir = s_temp->Host();
    std::string command = "python3 " + std::string(SL_SOURCE_DIR) + "/tools/gen_text_files.py " + s_dir;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { delete s_temp; }
  static TempDir* s_temp;
  static std::string s_dir;
};
TempDir* TextFiles::s_temp;
std::string TextFiles::s_dir;

// Files python wrote in each encoding and line style load to the same UTF-16 text with
// CR LF line ends, and save back to the bytes of the file with its byte-order mark.
TEST_F(TextFiles, LoadAndSaveBackEveryEncodingAndStyle) {
  const std::u16string expected = u"[General]\r\nNombre=Canción del ñandú\r\nPosición=10,20\r\nPrecio=5 €\r\n\r\nÚltimo=sí, señor";
  const struct { const char* name; u32 encoding; } encodings[] = {
      {"ansi", SL_TEXT_ANSI}, {"utf8", SL_TEXT_UTF8}, {"utf16le", SL_TEXT_UTF16LE}, {"utf16be", SL_TEXT_UTF16BE}};
  const struct { const char* name; u32 style; } styles[] = {
      {"crlf", SL_TEXT_CRLF}, {"lf", SL_TEXT_LF}, {"cr", SL_TEXT_CR}, {"lfcr", SL_TEXT_LFCR}};
  u32 files = 0;
  for (auto& enc : encodings) {
    for (auto& style : styles) {
      std::string base = s_dir + "/" + enc.name + "_" + style.name;
      std::string withBom = enc.encoding == SL_TEXT_ANSI ? base + "_nobom.txt" : base + "_bom.txt";
      for (const std::string& path : {base + "_bom.txt", base + "_nobom.txt"}) {
        if (access(path.c_str(), F_OK) != 0) continue;
        SCOPED_TRACE(path);
        CSLFileStorage file;
        ASSERT_TRUE(file.OpenA(path.c_str(), SL_STORAGE_READ)) << std::hex << SLGetLastError();
        CSLStringWide text;
        ASSERT_TRUE(text.LoadFromStorage(&file)) << std::hex << SLGetLastError();
        file.Close();
        EXPECT_EQ(Text(text), expected);
        EXPECT_EQ(text.GetEncoding(), enc.encoding | style.style);

        std::string saved = ReadFile(path + ".out");
        CSLFileStorage out;
        ASSERT_TRUE(out.CreateA((path + ".out").c_str(), SL_STORAGE_WRITE));
        ASSERT_TRUE(text.SaveToStorage(&out, text.GetEncoding()));
        out.Close();
        EXPECT_EQ(ReadFile(path + ".out"), ReadFile(withBom));
        ++files;
      }
    }
  }
  EXPECT_EQ(files, 28u);
}

// Texts loaded into one string one after another (each load replaces what was there):
// zero padding after 8-bit text and whole zero units after UTF-16 go, the last UTF-16
// character keeps its zero half without a final line end, a zero inside the text fails
// and leaves the string empty, and a bare LF inside CR LF text is a line break too (INI
// lines must not merge) while a stray CR is dropped without swallowing what follows.
TEST(StringStorage, LoadsOfPaddedAndMixedTexts) {
  constexpr u32 kAny = ~0u;
  const struct {
    std::string bytes;
    const char16_t* text;  // null: the load fails with SL_E_TEXT_ZERO_CHAR
    u32 encoding;
  } cases[] = {
      {"", u"", 0},
      {std::string("ab\ncd") + std::string(40, '\0'), u"ab\r\ncd", SL_TEXT_ANSI | SL_TEXT_LF},
      {std::string("ab\0cd", 5), nullptr, 0},
      {std::string("\xFF\xFE" "a\0b\0", 6), u"ab", kAny},
      {std::string("\xFF\xFE" "a\0b\0\0\0\0\0\0\0", 12), u"ab", kAny},
      {std::string("\xFE\xFF" "\0a\0b\0\0\0\0", 10), u"ab", kAny},
      {std::string("\xE9\0x\0y\0z\0\0\0", 10), u"éxyz", SL_TEXT_UTF16LE},  // no mark
      {std::string("\xFF\xFE" "a\0\0\0b\0", 8), nullptr, kAny},
      {"a=1\r\nb=2\nc=3", u"a=1\r\nb=2\r\nc=3", kAny},
      {"a=1\r\nb\rX=2\r\n", u"a=1\r\nbX=2\r\n", kAny},
      {"a\r\nb\r\rc", u"a\r\nbc", kAny},
      {"x\ny\rz\n", u"x\r\nyz\r\n", kAny},
  };
  CSLStringWide text;
  text = u"old";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    if (!c.text) {
      SL_EXPECT_FAIL(Load(c.bytes, &text), SL_E_TEXT_ZERO_CHAR);
      EXPECT_TRUE(text.IsEmpty());
    } else {
      EXPECT_TRUE(Load(c.bytes, &text));
      EXPECT_EQ(Text(text), c.text);
    }
    if (c.encoding != kAny) {
      EXPECT_EQ(text.GetEncoding(), c.encoding);
    }
  }
  EXPECT_EQ(Save(text, text.GetEncoding()), "x\nyz\n");  // LF text is saved with LF again
  // Saving an empty string writes nothing at all, not even a byte-order mark.
  CSLStringWide empty;
  EXPECT_EQ(Save(empty, SL_TEXT_UTF8), "");
}

TEST(StringStorage, HugeClaimedSizesAreRefused) {
  TestStorage storage;
  storage.data = "abc";
  CSLStringWide text;
  storage.claimedSize = 0x100000000ull;
  SL_EXPECT_FAIL(text.LoadFromStorage(&storage), 0x80020012u);  // too large
  // Sizes whose rounding to 32 bytes would wrap, and anything past 64 MiB.
  storage.claimedSize = 0xFFFFFFF0ull;
  SL_EXPECT_FAIL(text.LoadFromStorage(&storage), SL_E_OUT_OF_MEMORY);
  storage.claimedSize = SL_TEXT_FILE_MAX_SIZE + 1;
  SL_EXPECT_FAIL(text.LoadFromStorage(&storage), SL_E_OUT_OF_MEMORY);
  EXPECT_TRUE(text.IsEmpty());
  // A claim larger than the data is a short read.
  storage.claimedSize = 10;
  SL_EXPECT_FAIL(text.LoadFromStorage(&storage), SL_E_STORAGE_EOF);
}

}  // namespace
