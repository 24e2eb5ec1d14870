// The ZIP storage over archives made at test time by python's zipfile, Info-ZIP zip, 7-Zip
// and crafted ones (tools/fixtures/make_zip_fixtures.py): every entry reads back byte-equal, bad
// archives are refused without reading outside the source.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLTextConvert.h"
#include "storage/SLCompress.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

using Bytes = std::vector<u8>;
namespace fs = std::filesystem;

fs::path g_fixtures;

Bytes ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::u16string Utf16(const std::string& utf8) {
  std::u16string out(utf8.size() + 1, u'\0');
  u32 units = u32(out.size());
  EXPECT_TRUE(SLUtf8ToWide(out.data(), &units, utf8.data(), u32(utf8.size()), 0)) << utf8;
  out.resize(units);
  return out;
}

class ZipEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    m_dir = std::make_unique<TempDir>();
    g_fixtures = m_dir->Host();
    const std::string command = "python3 '" SL_SOURCE_DIR "/tools/fixtures/make_zip_fixtures.py' '" + g_fixtures.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  void TearDown() override { m_dir.reset(); }

 private:
  std::unique_ptr<TempDir> m_dir;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ZipEnvironment);

// An archive held in memory in a block of exactly its size, so that any read past it is
// seen by the address sanitizer.
struct Archive {
  Bytes bytes;
  CSLMemoryStorage source;
  CSLZipFileStorage zip;

  explicit Archive(const std::string& name) : bytes(ReadFile(g_fixtures / name)) {
    EXPECT_FALSE(bytes.empty()) << name;
    source.AttachBuffer(bytes.data(), static_cast<u32>(bytes.size()), false);
  }
  bool Attach() { return zip.AttachContainer(&source); }
  ~Archive() { zip.AttachContainer(nullptr); }
};

Bytes ReadAll(CSLZipFileStorage& zip, std::mt19937& rng, u64 size) {
  Bytes out(size + 16);
  u64 got = 0;
  while (got < size) {
    const u64 piece = std::min<u64>(1 + rng() % 70000, size - got);
    const u64 n = zip.Read(out.data() + got, piece);
    EXPECT_EQ(n, piece);
    EXPECT_EQ(SLGetLastError(), 0u);
    if (n != piece) break;
    got += n;
  }
  out.resize(got);
  return out;
}

TEST(ZipStorage, EveryArchiveReadsBackByteEqual) {
  std::ifstream manifest(g_fixtures / "manifest.txt");
  std::string line;
  std::map<std::string, std::vector<std::string>> entries;
  while (std::getline(manifest, line)) {
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    entries[line.substr(0, tab)].push_back(line.substr(tab + 1));
  }
  ASSERT_GE(entries.size(), 10u);
  std::mt19937 rng(5);
  for (const auto& [name, paths] : entries) {
    Archive archive(name);
    ASSERT_TRUE(archive.Attach()) << name << " " << std::hex << SLGetLastError();
    const std::string password = "secreto";
    archive.zip.SetPassword(reinterpret_cast<const u8*>(password.data()), static_cast<u32>(password.size()));
    for (const std::string& path : paths) {
      const Bytes expected = ReadFile(g_fixtures / "expected" / name / path);
      const std::u16string wide = Utf16(path);
      ASSERT_TRUE(archive.zip.OpenW(wide.c_str(), SL_STORAGE_READ))
          << name << " " << path << std::hex << " " << SLGetLastError();
      u64 size = 0;
      ASSERT_TRUE(archive.zip.GetSize(&size));
      ASSERT_EQ(size, expected.size()) << name << " " << path;
      EXPECT_EQ(ReadAll(archive.zip, rng, size), expected) << name << " " << path;
      EXPECT_TRUE(archive.zip.IsEOF());
      u8 byte;
      SL_EXPECT_FAIL(archive.zip.Read(&byte, 1), SL_E_STORAGE_EOF) << name << " " << path;
      // Back to the start and once more in one piece.
      ASSERT_TRUE(archive.zip.Seek(0, SL_SEEK_BEGIN));
      Bytes again(size + 1);
      EXPECT_EQ(archive.zip.Read(again.data(), size + 1), size);
      EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF) << name << " " << path;
      again.resize(size);
      EXPECT_EQ(again, expected);
    }
  }
}

TEST(ZipStorage, NamesAreFoundWithoutRegardToCaseAndCleaned) {
  Archive archive("py_deflate.zip");
  ASSERT_TRUE(archive.Attach());
  EXPECT_TRUE(archive.zip.OpenA("CARPETA\\sub/PROFUNDO.TXT", 0));
  EXPECT_STREQ(archive.zip.GetNameA(), "Carpeta/Sub/profundo.txt");
  EXPECT_TRUE(archive.zip.OpenA("//carpeta/./sub/../UNO.txt", SL_STORAGE_READ));
  SL_EXPECT_FAIL(archive.zip.OpenA("carpeta/*/uno.txt", SL_STORAGE_READ), SL_E_STORAGE_OPEN);
  SL_EXPECT_FAIL(archive.zip.OpenA("../texto.txt", SL_STORAGE_READ), SL_E_STORAGE_OPEN);
  SL_EXPECT_FAIL(archive.zip.OpenA("Carpeta", SL_STORAGE_READ), SL_E_STORAGE_OPEN);  // a directory
  SL_EXPECT_FAIL(archive.zip.OpenA("texto.txt", SL_STORAGE_WRITE), SL_E_STORAGE_FLAGS);

  Archive names("names.zip");
  ASSERT_TRUE(names.Attach());
  const struct {
    const char* path;
    const char* content;
  } cases[] = {{"win/estilo.txt", "barras invertidas"}, {"WIN\\ESTILO.TXT", "barras invertidas"},
               {"lead/slash.txt", "barra inicial"},     {"drive/part.txt", "unidad"},
               {"dup.txt", "primero"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(names.zip.OpenA(c.path, 0)) << c.path;
    char buffer[64] = {};
    names.zip.Read(buffer, sizeof(buffer) - 1);
    EXPECT_STREQ(buffer, c.content) << c.path;
  }
  EXPECT_TRUE(names.zip.OpenW(u"CAFÉ.TXT", 0));  // CP437 0x82 is é
}

TEST(ZipStorage, ListingsShowDirectoriesEntriesAndDuplicates) {
  Archive names("names.zip");
  ASSERT_TRUE(names.Attach());
  std::vector<std::pair<std::string, u32>> seen;
  for (SLStorageFindRecord* r = names.zip.FindFirstA("*"); r != nullptr; r = names.zip.FindNextA()) {
    seen.emplace_back(r->nameA, r->flags);
  }
  EXPECT_EQ(SLGetLastError(), SL_E_NO_MORE);
  const std::vector<std::pair<std::string, u32>> expected = {
      {"win", 0x24}, {"lead", 0x24}, {"drive", 0x24}, {"caf\xe9.txt", 0x21}, {"dup.txt", 0x21},
      {"dup.txt", 0x21}, {"solo", 0x24}, {"oculto.txt", 0x11}, {"escribible.txt", 0x1}};
  EXPECT_EQ(seen, expected);

  Archive archive("py_deflate.zip");
  ASSERT_TRUE(archive.Attach());
  std::vector<std::u16string> inside;
  for (SLStorageFindRecord* r = archive.zip.FindFirstW(u"carpeta\\*"); r != nullptr; r = archive.zip.FindNextW()) {
    inside.push_back(r->nameW);
    if (inside.size() == 3) {
      EXPECT_EQ(r->flags & 0x1u, 1u);
      EXPECT_EQ(r->size, 400u);
    }
  }
  EXPECT_EQ(inside, (std::vector<std::u16string>{u"..", u"Sub", u"uno.txt"}));
  SLStorageFindRecord* txt = archive.zip.FindFirstA("*.TXT");
  ASSERT_NE(txt, nullptr);
  EXPECT_STREQ(txt->nameA, "texto.txt");
  SL_EXPECT_FAIL(archive.zip.FindFirstA("carpeta/*/x"), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(archive.zip.FindFirstA(""), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(archive.zip.FindFirstA("nada/*"), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(archive.zip.FindNextA(), SL_E_STORAGE_NO_SEARCH);
}

TEST(ZipStorage, PasswordsAndEncryption) {
  for (const char* name : {"zip_encrypted.zip", "zip_encrypted_stored.zip"}) {
    for (const char* password : {"", "incorrecta"}) {
      Archive archive(name);
      archive.zip.SetPassword(reinterpret_cast<const u8*>("secreto"), 7);  // dropped by attaching
      ASSERT_TRUE(archive.Attach());
      // Attaching dropped the right password given before it; none or a wrong one now.
      if (*password) archive.zip.SetPassword(reinterpret_cast<const u8*>(password), static_cast<u32>(strlen(password)));
      SLStorageFindRecord* record = archive.zip.FindFirstA("texto.txt");
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->flags & 0x8u, 0x8u);
      ASSERT_TRUE(archive.zip.OpenA("texto.txt", 0));  // a wrong password is not seen here
      Bytes buffer(record->size);
      archive.zip.Read(buffer.data(), buffer.size());
      EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_READ) << name << " '" << password << "'";
    }
  }
}

TEST(ZipStorage, UnsupportedAndStrongEncryptionAreRefusedAtOpen) {
  Archive lzma("py_lzma.zip");
  ASSERT_TRUE(lzma.Attach());
  SL_EXPECT_FAIL(lzma.zip.OpenA("texto.txt", 0), SL_E_CODEC_UNSUPPORTED_METHOD);
  EXPECT_STREQ(lzma.zip.GetNameA(), "");
  u8 byte;
  SL_EXPECT_FAIL(lzma.zip.Read(&byte, 1), SL_E_STORAGE_NOT_OPEN);
  Archive strong("strong.zip");
  ASSERT_TRUE(strong.Attach());
  SL_EXPECT_FAIL(strong.zip.OpenA("h.txt", 0), SL_E_ZIP_STRONG_ENCRYPTION);
  Archive badLocal("bad_local.zip");
  ASSERT_TRUE(badLocal.Attach());
  EXPECT_NE(badLocal.zip.FindFirstA("e.txt"), nullptr);
  SL_EXPECT_FAIL(badLocal.zip.OpenA("e.txt", 0), SL_E_STORAGE_OPEN);
  Archive beyond("local_beyond.zip");
  ASSERT_TRUE(beyond.Attach());
  EXPECT_FALSE(beyond.zip.OpenA("f.txt", 0));
  EXPECT_NE(SLGetLastError(), 0u);
}

// Damaged archives are refused whole and leave the storage detached.
TEST(ZipStorage, BadArchivesAreRefused) {
  const struct {
    const char* name;
    u32 code;
  } cases[] = {
      {"tiny21.bin", SL_E_BAD_CONTAINER},          {"no_end_record.zip", SL_E_BAD_CONTAINER},
      {"bad_offset.zip", SL_E_BAD_CONTAINER},      {"bad_disk.zip", SL_E_BAD_CONTAINER},
      {"zip64_no_locator.zip", SL_E_BAD_CONTAINER}, {"bad_zip64_short_field.zip", SL_E_BAD_CONTAINER},
      {"bad_zip64_cut_field.zip", SL_E_BAD_CONTAINER}, {"bad_signature.zip", SL_E_BAD_CONTAINER},
      {"central_cut.zip", SL_E_STORAGE_EOF},
  };
  for (const auto& c : cases) {
    Archive archive(c.name);
    SL_EXPECT_FAIL(archive.Attach(), c.code) << c.name;
    SL_EXPECT_FAIL(archive.zip.OpenA("a.txt", 0), SL_E_STORAGE_NO_CONTAINER) << c.name;
  }
  CSLMemoryStorage empty;
  CSLZipFileStorage zip;
  EXPECT_FALSE(zip.AttachContainer(&empty));
  EXPECT_NE(SLGetLastError(), 0u);
}

TEST(ZipStorage, CommentsAreKeptAndCutToTheBytesPresent) {
  Archive longComment("py_zip64_utf8.zip");
  ASSERT_TRUE(longComment.Attach());
  const std::string comment = longComment.zip.GetComment();
  ASSERT_EQ(comment.size(), 65535u);
  for (size_t i = 0; i < comment.size(); ++i) ASSERT_EQ(static_cast<u8>(comment[i]), (i * 7) % 251 + 1);
  Archive cut("comment_past_end.zip");
  ASSERT_TRUE(cut.Attach());
  EXPECT_STREQ(cut.zip.GetComment(), "corto");
  EXPECT_TRUE(cut.zip.SetComment("otro"));
  EXPECT_STREQ(cut.zip.GetComment(), "otro");
  EXPECT_TRUE(cut.zip.SetComment(nullptr));
  EXPECT_STREQ(cut.zip.GetComment(), "");
  CSLZipFileStorage fresh;
  EXPECT_STREQ(fresh.GetComment(), "");
  EXPECT_EQ(SLGetLastError(), 0u);
  SL_EXPECT_FAIL(fresh.SetCompressionLevel(10), SL_E_INVALID_ARG);
  EXPECT_TRUE(fresh.SetCompressionLevel(9));
}

TEST(ZipStorage, WrongCrcFailsAtTheLastByteUntilRewound) {
  Archive archive("bad_crc.zip");
  ASSERT_TRUE(archive.Attach());
  ASSERT_TRUE(archive.zip.OpenA("g.txt", 0));
  u64 size = 0;
  archive.zip.GetSize(&size);
  Bytes buffer(size);
  EXPECT_EQ(archive.zip.Read(buffer.data(), size - 1), size - 1);
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_EQ(archive.zip.Read(buffer.data(), 1), 1u);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_READ);
  SL_EXPECT_FAIL(archive.zip.Read(buffer.data(), 1), SL_E_STORAGE_READ);
  ASSERT_TRUE(archive.zip.Seek(0, SL_SEEK_BEGIN));
  EXPECT_EQ(archive.zip.Read(buffer.data(), 10), 10u);
  EXPECT_EQ(SLGetLastError(), 0u);
}

TEST(ZipStorage, StreamEndingShortOfItsSizeIsDamaged) {
  Archive archive("short_stream.zip");
  ASSERT_TRUE(archive.Attach());
  ASSERT_TRUE(archive.zip.OpenA("short.t", 0));
  u64 size = 0;
  archive.zip.GetSize(&size);
  Bytes buffer(size);
  EXPECT_EQ(archive.zip.Read(buffer.data(), size), size - 100);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_READ);
  SL_EXPECT_FAIL(archive.zip.Read(buffer.data(), 1), SL_E_STORAGE_READ);
}

TEST(ZipStorage, SeekingRestartsAndSkips) {
  Archive archive("7z_deflate64.zip");
  ASSERT_TRUE(archive.Attach());
  ASSERT_TRUE(archive.zip.OpenA("texto.txt", 0));
  const Bytes expected = ReadFile(g_fixtures / "expected" / "7z_deflate64.zip" / "texto.txt");
  std::mt19937 rng(17);
  for (int round = 0; round < 40; ++round) {
    const u64 target = rng() % (expected.size() + 1);
    const u32 origin = rng() % 3;
    u64 position = 0;
    archive.zip.GetPosition(&position);
    const i64 offset = origin == 0 ? i64(target) : origin == 1 ? i64(target) - i64(position) : i64(target) - i64(expected.size());
    ASSERT_TRUE(archive.zip.Seek(offset, origin)) << std::hex << SLGetLastError();
    ASSERT_EQ(SLTestPosition(archive.zip), target);
    u8 chunk[300];
    const u64 n = archive.zip.Read(chunk, sizeof(chunk));
    ASSERT_EQ(n, std::min<u64>(sizeof(chunk), expected.size() - target));
    EXPECT_TRUE(std::equal(chunk, chunk + n, expected.begin() + static_cast<long>(target)));
  }
  EXPECT_TRUE(archive.zip.Seek(i64(expected.size()) + 1000, SL_SEEK_BEGIN));  // stops at the end
  EXPECT_EQ(SLTestPosition(archive.zip), expected.size());
  EXPECT_TRUE(archive.zip.Seek(-5, SL_SEEK_BEGIN) || true);
  SL_EXPECT_FAIL(archive.zip.Seek(10, 7), SL_E_INVALID_ARG);
}

// A 1 GB deflate bomb in 1 MB: reading its start decodes only a little of it.
TEST(ZipStorage, BombIsDecodedOnlyAsFarAsRead) {
  Archive archive("bomb.zip");
  ASSERT_TRUE(archive.Attach());
  ASSERT_TRUE(archive.zip.OpenA("bomb.bin", 0));
  const auto start = std::chrono::steady_clock::now();
  Bytes buffer(1000, 0xFF);
  EXPECT_EQ(archive.zip.Read(buffer.data(), buffer.size()), buffer.size());
  EXPECT_EQ(buffer, Bytes(1000, 0));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 0.5);
  archive.zip.Close();
}

TEST(ZipStorage, ProgressCancelLeavesNoArchive) {
  Archive archive("py_stored.zip");
  ASSERT_TRUE(archive.Attach());
  struct Cancelling : CSLZipFileStorage {
    double at = -1;
    void OnProgress(u32 operation, double percent, u32, u32* cancel) override {
      if (operation == SL_PROGRESS_ATTACH && percent == at) *cancel = 1;
    }
  };
  for (double at : {0.0, 10.0, 50.0, 90.0, 100.0}) {
    Cancelling cancelling;
    cancelling.at = at;
    SL_EXPECT_FAIL(cancelling.AttachContainer(&archive.source), SL_E_CANCELLED) << at;
    SL_EXPECT_FAIL(cancelling.OpenA("datos.bin", 0), SL_E_STORAGE_NO_CONTAINER);
  }
}

}  // namespace
