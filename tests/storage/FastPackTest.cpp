// The fast data pack reader on packs made by the pack writer (versions 2 and 3, with and
// without a key), through a file storage and through an in-memory source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tools/slpack/PackWriter.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// An in-memory source that cannot tell its date and counts its reads.
class VectorSource : public CSLBaseStorage {
 public:
  explicit VectorSource(Bytes data) : m_data(std::move(data)) {}
  bool CanRead() override { return SLSetLastError(0); }
  u64 Read(void* buffer, u64 count) override {
    ++reads;
    u64 available = m_pos < m_data.size() ? m_data.size() - m_pos : 0;
    u64 n = count < available ? count : available;
    if (n) std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += n;
    SLSetLastError(n < count ? u32(SL_E_STORAGE_EOF) : 0u);
    return n;
  }
  bool CanWrite() override { return false; }
  u64 Write(const void*, u64) override { return 0; }
  bool CanSeek() override { return canSeek ? SLSetLastError(0) : false; }
  bool Seek(i64 offset, u32 origin) override {
    i64 base = origin == SL_SEEK_BEGIN ? 0 : origin == SL_SEEK_CURRENT ? i64(m_pos) : i64(m_data.size());
    m_pos = u64(base + offset);
    return SLSetLastError(0);
  }
  bool GetPosition(u64* out) override {
    *out = m_pos;
    return SLSetLastError(0);
  }
  bool IsEOF() override { return m_pos >= m_data.size(); }
  bool Flush() override { return SLSetLastError(0); }
  bool Lock(u64, u64) override { return true; }
  bool Unlock(u64, u64) override { return true; }
  bool SetSize(u64) override { return false; }
  bool GetSize(u64* out) override {
    *out = m_data.size();
    return SLSetLastError(0);
  }
  u32 reads = 0;
  bool canSeek = true;

 private:
  Bytes m_data;
  u64 m_pos = 0;
};

// Attaches a pack held in memory; the pack keeps the only reference to its source.
bool AttachBytes(CSLFastFileStorage& pack, Bytes bytes) {
  auto* source = new VectorSource(std::move(bytes));
  const bool attached = pack.AttachContainer(source);
  SLErrorKeeper keep;
  source->Release();
  return attached;
}

// Records attach progress and cancels at a chosen percentage.
class WatchedPack : public CSLFastFileStorage {
 public:
  void OnProgress(u32 operation, double percent, u32, u32* cancel) override {
    if (operation == SL_PROGRESS_ATTACH) attachSteps.push_back(percent);
    if (operation == cancelOperation && percent >= cancelAt) *cancel = 1;
  }
  std::vector<double> attachSteps;
  u32 cancelOperation = 0;
  double cancelAt = 1e9;
};

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  std::mt19937 rng(seed);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

Bytes BuildPack(const slpack::PackWriter& writer) {
  Bytes pack;
  std::string error;
  EXPECT_TRUE(writer.Build(&pack, &error)) << error;
  return pack;
}

// A file in this program's temporary folder.
std::string TempPath(const std::string& name) {
  static const TempDir dir;
  return dir.Host(name);
}

// Attaches a pack given as bytes through a temporary file and a file storage.
bool AttachFileBytes(CSLFastFileStorage& pack, const Bytes& bytes, const std::string& name) {
  std::string path = TempPath(name);
  std::string error;
  EXPECT_TRUE(slpack::WriteFile(path, bytes, &error)) << error;
  return pack.AttachFile(path.c_str(), false, SL_STORAGE_READ | SL_STORAGE_SHARE_READ);
}

Bytes ReadEntry(CSLBaseStorage& pack, const char* path) {
  Bytes out;
  if (!pack.OpenA(path, SL_STORAGE_READ)) return out;
  u64 size = 0;
  EXPECT_TRUE(pack.GetSize(&size));
  out.resize(size);
  EXPECT_EQ(pack.Read(out.data(), size), size);
  return out;
}

std::vector<std::string> ListA(CSLBaseStorage& pack, const char* pattern) {
  std::vector<std::string> names;
  for (SLStorageFindRecord* r = pack.FindFirstA(pattern); r; r = pack.FindNextA())
    names.push_back(std::string(r->nameA) + ((r->flags & SL_FIND_DIRECTORY) ? "/" : ""));
  return names;
}

struct Variant {
  uint16_t version;
  uint32_t key;
};

class FastPackVariants : public ::testing::TestWithParam<Variant> {};

}  // namespace

TEST_P(FastPackVariants, ListsAndReadsEveryEntryByteEqual) {
  const Variant v = GetParam();
  slpack::PackWriter writer(v.version, v.key);
  std::vector<std::pair<std::string, Bytes>> files = {
      {"Interface/Puntero/puntero_mouse.mximg", Pattern(70001, 1)},
      {"Interface/boton.png", Pattern(13, 2)},
      {"info.txt", Pattern(5, 3)},
      {"vacio.bin", {}},
      {"Sonidos\\clic.wav", Pattern(200000, 4)},
  };
  for (auto& [name, data] : files) writer.AddFile(name, data);
  Bytes bytes = BuildPack(writer);

  CSLFastFileStorage pack;
  ASSERT_TRUE(AttachFileBytes(pack, bytes, "variants.dat")) << std::hex << SLGetLastError();
  for (auto& [name, data] : files) {
    std::string forward = name;
    for (char& c : forward)
      if (c == '\\') c = '/';
    EXPECT_EQ(ReadEntry(pack, forward.c_str()), data) << name;
    EXPECT_STREQ(pack.GetNameA(), forward.c_str());
  }
  EXPECT_EQ(ListA(pack, "*"), (std::vector<std::string>{"Interface/", "info.txt", "vacio.bin", "Sonidos/"}));
  EXPECT_EQ(SLGetLastError(), SL_E_NO_MORE);
  EXPECT_EQ(ListA(pack, "interface/*"), (std::vector<std::string>{"../", "Puntero/", "boton.png"}));
  SLStorageFindRecord* record = pack.FindFirstW(u"Sonidos/*.wav");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::u16string(record->nameW), u"clic.wav");
  EXPECT_EQ(record->flags, 1u);
  EXPECT_EQ(record->size, 200000u);
  EXPECT_EQ(record->storedSize, 200000u);
  EXPECT_EQ(record->reserved, 0u);
}

INSTANTIATE_TEST_SUITE_P(VersionsAndKeys, FastPackVariants,
                         ::testing::Values(Variant{2, 0}, Variant{2, 0xA1B2C3D4}, Variant{3, 0},
                                           Variant{3, 0x5E6F7081}),
                         [](const auto& info) {
                           return "v" + std::to_string(info.param.version) + (info.param.key ? "Keyed" : "Plain");
                         });

TEST(FastPack, CrcCoversWholeVersion2PackButOnlyVersion3Directory) {
  for (uint16_t version : {2, 3}) {
    slpack::PackWriter writer(version, 0);
    writer.AddFile("a.bin", Bytes{1, 2, 3, 4, 5});
    Bytes bytes = BuildPack(writer);
    Bytes corruptData = bytes;
    size_t dataAt = version == 2 ? bytes.size() - 4 - 5 : bytes.size() - 5;
    corruptData[dataAt + 1] ^= 0xFF;

    CSLFastFileStorage pack;
    if (version == 2) {
      auto* source = new VectorSource(corruptData);
      SL_EXPECT_FAIL(pack.AttachContainer(source), SL_E_BAD_CONTAINER);
      EXPECT_EQ(pack.GetContainer(), nullptr);
      EXPECT_EQ(source->GetRefCount(), 1);  // a refused pack keeps no reference
      source->Release();
    } else {
      VectorSource* source = new VectorSource(corruptData);
      ASSERT_TRUE(pack.AttachContainer(source));
      source->Release();  // the pack holds its own reference
      // The data is not covered: the corrupted byte reads back as stored.
      EXPECT_EQ(ReadEntry(pack, "a.bin"), (Bytes{1, 2 ^ 0xFF, 3, 4, 5}));
      // A corrupted directory is refused.
      Bytes corruptName = bytes;
      corruptName[28] ^= 0x20;  // first unit of the first name
      SL_EXPECT_FAIL(AttachBytes(pack, corruptName), SL_E_BAD_CONTAINER);
      SL_EXPECT_FAIL(pack.OpenA("a.bin", 1), SL_E_STORAGE_NO_CONTAINER);
    }
  }
}

TEST(FastPack, MalformedHeadersAreBadPacks) {
  slpack::PackWriter writer(3, 0);
  writer.AddFile("x", Bytes{9});
  const Bytes good = BuildPack(writer);
  std::vector<Bytes> bad;
  bad.push_back(Bytes(good.begin(), good.begin() + 23));  // below the minimum size
  for (uint8_t version : {1, 4}) {
    Bytes b = good;
    b[18] = version;
    bad.push_back(b);
  }
  Bytes magic = good;
  magic[15] = 0x1B;
  bad.push_back(magic);
  Bytes signature = good;
  signature[16] = 0x55;
  bad.push_back(signature);
  for (const Bytes& b : bad) {
    CSLFastFileStorage pack;
    SL_EXPECT_FAIL(AttachBytes(pack, b), SL_E_BAD_CONTAINER);
  }
  // A truncated directory fails with the source's end-of-data code and leaves no pack.
  CSLFastFileStorage pack;
  auto* truncated = new VectorSource(Bytes(good.begin(), good.begin() + 30));
  SL_EXPECT_FAIL(pack.AttachContainer(truncated), SL_E_STORAGE_EOF);
  EXPECT_EQ(pack.GetContainer(), nullptr);
  truncated->Release();
  // A source that cannot seek.
  auto* unseekable = new VectorSource(good);
  unseekable->canSeek = false;
  SL_EXPECT_FAIL(pack.AttachContainer(unseekable), SL_E_CANNOT_SEEK);
  unseekable->Release();
}

TEST(FastPack, KeyByteFollowsPositionInEntry) {
  const uint32_t key = 0x44332211;
  const Bytes plain = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0};
  for (uint16_t version : {2, 3}) {
    slpack::PackWriter writer(version, key);
    writer.AddFile("pad", Bytes{1, 2, 3});  // the next entry starts at an odd pack offset
    writer.AddFile("k.bin", plain);
    Bytes bytes = BuildPack(writer);
    // Stored bytes: byte p XORed with key byte p mod 4, the key's first stored byte first.
    size_t at = (version == 2 ? bytes.size() - 4 : bytes.size()) - plain.size();
    EXPECT_EQ(bytes[at + 0], 0x10 ^ 0x11);
    EXPECT_EQ(bytes[at + 1], 0x20 ^ 0x22);
    EXPECT_EQ(bytes[at + 4], 0x50 ^ 0x11);
    EXPECT_EQ(bytes[at + 7], 0x80 ^ 0x44);

    CSLFastFileStorage pack;
    ASSERT_TRUE(AttachBytes(pack, bytes));
    ASSERT_TRUE(pack.OpenA("K.BIN", 0));
    Bytes split(5);
    EXPECT_EQ(pack.Read(split.data(), 3), 3u);
    EXPECT_EQ(pack.Read(split.data() + 3, 2), 2u);
    EXPECT_EQ(split, Bytes(plain.begin(), plain.begin() + 5));
  }
}

TEST(FastPack, PathFormsFoundOrRefused) {
  slpack::PackWriter writer(3, 0);
  writer.AddFile("A/b.txt", Bytes{'b'});
  writer.AddFile("A/x/c.txt", Bytes{'c'});
  writer.AddFile("a/y", Bytes{'y'});  // joins the directory made by A/...
  writer.AddRaw(u"only/dirs/", 12345, 99);  // a name ending in a separator makes directories only
  writer.AddRaw(u"A/..", 1, 1);             // a last component ".." makes no file
  CSLFastFileStorage pack;
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer)));

  for (const char* path : {"a/B.TXT", "/a//b.txt", "a\\b.txt", "./a/b.txt", "a/x/../b.txt", "A/./x/../../A/b.txt"}) {
    EXPECT_TRUE(pack.OpenA(path, SL_STORAGE_READ)) << path;
    EXPECT_STREQ(pack.GetNameA(), "A/b.txt") << path;
  }
  EXPECT_TRUE(pack.OpenW(u"a/y", 0));
  EXPECT_STREQ(pack.GetNameA(), "A/y");
  for (const char* path : {"a/?/b.txt", "../a/b.txt", "a", "a/", "only/dirs", "a/x/d.txt", "b.txt", ""}) {
    SL_EXPECT_FAIL(pack.OpenA(path, SL_STORAGE_READ), SL_E_STORAGE_OPEN) << path;
    EXPECT_STREQ(pack.GetNameA(), "") << path;  // the failed open closed the previous entry
  }
  SL_EXPECT_FAIL(pack.OpenA("a/b.txt", SL_STORAGE_WRITE), SL_E_STORAGE_FLAGS);
  EXPECT_EQ(ListA(pack, "*"), (std::vector<std::string>{"A/", "only/"}));
  EXPECT_EQ(ListA(pack, "only/dirs/*"), (std::vector<std::string>{"../"}));
  EXPECT_EQ(ListA(pack, "a/*"), (std::vector<std::string>{"../", "b.txt", "x/", "y"}));
  EXPECT_EQ(ListA(pack, "a/"), ListA(pack, "a/*"));
  EXPECT_EQ(ListA(pack, "\\A\\X\\*.TXT"), (std::vector<std::string>{"c.txt"}));
  for (const char* pattern : {"C:/x", "*/b.txt", "a/?/c.txt", "missing/*", ""}) {
    SL_EXPECT_FAIL(pack.FindFirstA(pattern), SL_E_INVALID_ARG) << pattern;
  }
  SL_EXPECT_FAIL(pack.FindNextA(), SL_E_STORAGE_NO_SEARCH);
}

// Raw names with mixed separators, runs of them, other case or a directory left and
// entered again build the same tree as their normalised forms; a long-path or UNC prefix
// stays as normalising leaves it.
TEST(FastPack, RawNamesBuildTheTreeOfTheirNormalisedForms) {
  slpack::PackWriter writer(3, 0x01020304);
  const std::vector<std::pair<std::string, u8>> files = {
      {"Gfx/Fondos/a.png", 1},        {"Gfx/Fondos/b.png", 2},        {"gfx/FONDOS/c.png", 3},
      {"Gfx/Otros/d.png", 4},         {"Gfx/Fondos/e.png", 5},        {"/Gfx//Fondos\\\\f.png", 6},
      {"\\\\?\\\\Pref/x.bin", 7},     {"//?/Pref\\y.bin", 8},         {"\\\\server\\share\\h.bin", 9},
      {"Gfx\\Fondos\\", 0},           {"Gfx/Fondos/..", 0},           {"Gfx/Otros/Sub/", 0},
  };
  for (auto& [name, byte] : files) {
    if (byte)
      writer.AddFile(name, Bytes{byte});
    else
      writer.AddRaw(slpack::Utf8ToUtf16(name), 1, 1);
  }
  CSLFastFileStorage pack;
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer))) << std::hex << SLGetLastError();

  EXPECT_EQ(ListA(pack, "*"), (std::vector<std::string>{"Gfx/", "?/", "server/"}));
  EXPECT_EQ(ListA(pack, "gfx/*"), (std::vector<std::string>{"../", "Fondos/", "Otros/"}));
  EXPECT_EQ(ListA(pack, "gfx/fondos/*"),
            (std::vector<std::string>{"../", "a.png", "b.png", "c.png", "e.png", "f.png"}));
  EXPECT_EQ(ListA(pack, "gfx/otros/*"), (std::vector<std::string>{"../", "d.png", "Sub/"}));
  EXPECT_EQ(ListA(pack, "server/share/*"), (std::vector<std::string>{"../", "h.bin"}));
  const std::vector<std::pair<const char*, u8>> reads = {
      {"GFX/fondos/C.PNG", 3}, {"Gfx/Fondos/f.png", 6}, {"gfx/otros/d.png", 4}, {"SERVER/share/h.bin", 9}};
  for (auto& [path, byte] : reads) EXPECT_EQ(ReadEntry(pack, path), Bytes{byte}) << path;
  EXPECT_TRUE(pack.OpenA("gfx/fondos/c.png", 0));
  EXPECT_STREQ(pack.GetNameA(), "Gfx/Fondos/c.png");
}

// Generated directories, checked against a plain model of the tree: runs of entries in
// one directory (whose names repeat the previous name's first units), directories spelt
// in other case, either separator and runs of them, a leading one, names ending in one
// (directories only), "." and ".." as the last part, paths deeper than the attach keeps
// of the previous entry, and names long enough to straddle the attach's read buffer.
class FastPackGenerated : public ::testing::TestWithParam<uint16_t> {};

TEST_P(FastPackGenerated, TreeMatchesAPlainModel) {
  struct ModelNode {
    std::u16string name;
    bool directory;
    uint64_t size;
    std::vector<size_t> children;
  };
  std::vector<ModelNode> model(1, ModelNode{u"", true, 0, {}});
  // The pack compares names without regard to case; the generated ones use ASCII and n-tilde.
  auto fold = [](std::u16string text) {
    for (char16_t& c : text)
      if ((c >= u'a' && c <= u'z') || c == u'\u00F1') c = char16_t(c - 32);
    return text;
  };
  auto addToModel = [&](const std::u16string& raw, uint64_t size) {
    std::vector<std::u16string> parts(1);
    for (char16_t c : raw) {
      if (c == u'/' || c == u'\\')
        parts.emplace_back();
      else
        parts.back() += c;
    }
    size_t at = 0;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      if (parts[i].empty()) continue;
      size_t found = 0;
      for (size_t child : model[at].children)
        if (model[child].directory && fold(model[child].name) == fold(parts[i])) found = child;
      if (!found) {
        model.push_back(ModelNode{parts[i], true, 0, {}});
        found = model.size() - 1;
        model[at].children.push_back(found);
      }
      at = found;
    }
    const std::u16string& file = parts.back();
    if (file.empty() || file == u"." || file == u"..") return;
    model.push_back(ModelNode{file, false, size, {}});
    model[at].children.push_back(model.size() - 1);
  };

  std::mt19937 rng(GetParam() * 7919u);
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  const std::vector<std::u16string> pool = {u"Gfx", u"gfx", u"GFX", u"Personajes", u"personajes", u"A\u00F1o",
                                            u"A\u00D1O", u"a", u"b", u"x", u"Fondos", u"LongDirectoryNameForTheScan",
                                            u"sub_0", u"sub_1", u"SUB_1", u"sub_22"};
  auto separator = [&] {
    std::u16string s(1, pick(2) ? u'/' : u'\\');
    if (pick(10) == 0) s += pick(2) ? u'/' : u'\\';
    return s;
  };
  slpack::PackWriter writer(GetParam(), 0);
  uint64_t entries = 0;
  while (entries < 4000) {
    const size_t depth = pick(12) == 0 ? 33 + pick(8) : pick(6);
    std::vector<std::u16string> directories;
    for (size_t d = 0; d < depth; ++d) directories.push_back(pool[pick(pool.size())]);
    const size_t run = 1 + pick(30);
    for (size_t r = 0; r < run; ++r, ++entries) {
      std::u16string name = pick(15) == 0 ? separator().substr(0, 1) : u"";
      for (size_t d = 0; d < directories.size(); ++d) {
        // Now and then a directory of the run in another case.
        name += pick(25) == 0 ? fold(directories[d]) : directories[d];
        name += separator();
      }
      const size_t kind = pick(40);
      if (kind == 0) {
        name += u".";
      } else if (kind == 1) {
        name += u"..";
      } else if (kind > 2) {  // kind 2: the name ends in a separator
        name += u"frame_" + slpack::Utf8ToUtf16(std::to_string(entries));
        name += std::u16string(pick(12), u'q');
        if (pick(60) == 0) name += std::u16string(20000 + pick(30000), u'L');  // straddles the buffer
        name += u".img";
      }
      writer.AddRaw(name, 1000 + entries, entries);
      addToModel(name, entries);
    }
  }
  CSLFastFileStorage pack;
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer))) << std::hex << SLGetLastError();

  // Every directory's listing, in the order the entries made them.
  std::vector<std::pair<size_t, std::u16string>> pending = {{0, u""}};
  size_t listed = 0;
  while (!pending.empty()) {
    auto [at, path] = pending.back();
    pending.pop_back();
    std::vector<std::u16string> expected, got;
    if (at != 0) expected.push_back(u"../");
    for (size_t child : model[at].children) {
      const ModelNode& node = model[child];
      expected.push_back(node.name + (node.directory ? u"/" : u":" + slpack::Utf8ToUtf16(std::to_string(node.size))));
      if (node.directory) pending.push_back({child, path + node.name + u"/"});
    }
    for (SLStorageFindRecord* r = pack.FindFirstW((path + u"*").c_str()); r; r = pack.FindNextW()) {
      const std::u16string name(r->nameW);
      got.push_back(name + ((r->flags & SL_FIND_DIRECTORY) ? u"/" : u":" + slpack::Utf8ToUtf16(std::to_string(r->size))));
    }
    ASSERT_EQ(got, expected) << std::string(path.begin(), path.end());  // the path, roughly
    ++listed;
  }
  EXPECT_GT(listed, 100u);
}

INSTANTIATE_TEST_SUITE_P(Versions, FastPackGenerated, ::testing::Values(uint16_t(2), uint16_t(3)),
                         [](const auto& info) { return "v" + std::to_string(info.param); });

// The attach reads the directory through a 64 KiB buffer: a name that ends just before
// the buffer's end, with its entry's fields running past it, keeps its own units.
TEST(FastPack, NameBeforeFieldsThatCrossTheReadBufferKeepsItsUnits) {
  // The reader's buffer starts at the entry count (pack offset 20); the first name at 8.
  const std::u16string longName = u"d/" + std::u16string((65536 - 8 - 2 - 10) / 2 - 2, u'N');
  slpack::PackWriter writer(3, 0x01020304);
  writer.AddRaw(longName, 1, 7);
  writer.AddRaw(u"d/e", 1, 8);
  CSLFastFileStorage pack;
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer)));
  std::vector<std::pair<std::u16string, u64>> listed;
  for (SLStorageFindRecord* r = pack.FindFirstW(u"d/*"); r; r = pack.FindNextW()) listed.push_back({r->nameW, r->size});
  const std::vector<std::pair<std::u16string, u64>> expected = {{u"..", 0}, {longName.substr(2), 7}, {u"e", 8}};
  EXPECT_EQ(listed, expected);
}

// A read that the end of the entry cuts short is a failure of its own: it does not
// announce completion, while a whole read does.
TEST(FastPack, ReadsStopAtEntryEnd) {
  class ReadWatch : public CSLFastFileStorage {
   public:
    void OnProgress(u32 operation, double percent, u32, u32*) override {
      if (operation == SL_PROGRESS_READ) steps.push_back(percent);
    }
    std::vector<double> steps;
  };
  slpack::PackWriter writer(3, 0x01020304);
  Bytes data = Pattern(100, 9);
  writer.AddFile("e", data);
  writer.AddFile("after", Bytes(50, 0xEE));
  ReadWatch pack;
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer)));
  ASSERT_TRUE(pack.OpenA("e", 0));
  u8 buffer[10] = {};
  EXPECT_EQ(pack.Read(buffer, 10), 10u);
  EXPECT_EQ(pack.steps.back(), 100.0);
  pack.steps.clear();
  ASSERT_TRUE(pack.Seek(96, SL_SEEK_BEGIN));
  EXPECT_EQ(pack.Read(buffer, 10), 4u);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
  ASSERT_FALSE(pack.steps.empty());
  EXPECT_LT(pack.steps.back(), 100.0);
  EXPECT_EQ(Bytes(buffer, buffer + 4), Bytes(data.begin() + 96, data.end()));
  SL_EXPECT_FAIL(pack.Read(buffer, 10), SL_E_STORAGE_EOF);
  SL_EXPECT_OK(pack.IsEOF());

  ASSERT_TRUE(pack.Seek(5, SL_SEEK_END));
  EXPECT_EQ(SLTestPosition(pack), 105u);
  EXPECT_EQ(pack.Read(buffer, 1), 0u);
  EXPECT_TRUE(pack.IsEOF());
  ASSERT_TRUE(pack.Seek(-200, SL_SEEK_CURRENT));
  EXPECT_EQ(SLTestPosition(pack), 0u);
  ASSERT_TRUE(pack.Seek(-1, SL_SEEK_BEGIN));
  EXPECT_EQ(SLTestPosition(pack), 100u);
  ASSERT_TRUE(pack.Seek(-30, SL_SEEK_END));
  ASSERT_TRUE(pack.Seek(500, SL_SEEK_CURRENT));
  EXPECT_EQ(SLTestPosition(pack), 100u);
  ASSERT_TRUE(pack.Seek(-30, SL_SEEK_END));
  ASSERT_TRUE(pack.Seek(10, 7));  // unknown origin: unchanged
  EXPECT_EQ(SLTestPosition(pack), 70u);
  EXPECT_EQ(SLTestSize(pack), 100u);
}

TEST(FastPack, DirectoryIsReadInFewSourceReadsWithTheSameProgress) {
  const int count = 3000;
  slpack::PackWriter writer(3, 0);
  for (int i = 0; i < count; ++i)
    writer.AddFile("dir" + std::to_string(i / 100) + "/entry_" + std::to_string(i) + ".bin", Bytes{u8(i)});
  const Bytes bytes = BuildPack(writer);
  // Cancelled at the first report or late in the directory: no pack, the source let go.
  for (double cancelAt : {0.0, 80.0}) {
    WatchedPack cancelled;
    cancelled.cancelOperation = SL_PROGRESS_ATTACH;
    cancelled.cancelAt = cancelAt;
    auto* source = new VectorSource(bytes);
    SL_EXPECT_FAIL(cancelled.AttachContainer(source), SL_E_CANCELLED);
    EXPECT_EQ(cancelled.GetContainer(), nullptr);
    EXPECT_EQ(source->GetRefCount(), 1);
    source->Release();
    SL_EXPECT_FAIL(cancelled.FindFirstA("*"), SL_E_STORAGE_NO_CONTAINER);
  }
  WatchedPack pack;
  auto* source = new VectorSource(bytes);
  ASSERT_TRUE(pack.AttachContainer(source));
  EXPECT_LT(source->reads, 20u);  // one read per name unit would be well over 60,000
  source->Release();
  ASSERT_EQ(pack.attachSteps.size(), size_t(count) + 3);
  EXPECT_EQ(pack.attachSteps[0], 0.0);
  EXPECT_EQ(pack.attachSteps[1], 10.0);
  for (int i = 0; i < count; ++i) ASSERT_DOUBLE_EQ(pack.attachSteps[2 + i], 75.0 + i * 20.0 / count);
  EXPECT_EQ(pack.attachSteps.back(), 100.0);
  EXPECT_EQ(ReadEntry(pack, "DIR29/ENTRY_2999.BIN"), Bytes{u8(2999)});
  EXPECT_EQ(ListA(pack, "dir7/*").size(), 101u);
}

// A hook slow enough for the millisecond clock sees the time since its previous report on
// every report once the attach has noticed it.
TEST(FastPack, SlowProgressHookSeesElapsedTimeOnEveryReport) {
  struct SlowPack : CSLFastFileStorage {
    void OnProgress(u32 operation, double, u32 elapsedMs, u32*) override {
      if (operation != SL_PROGRESS_ATTACH) return;
      elapsed.push_back(elapsedMs);
      std::this_thread::sleep_for(std::chrono::microseconds(1500));
    }
    std::vector<u32> elapsed;
  };
  const int count = 80;
  slpack::PackWriter writer(3, 0);
  for (int i = 0; i < count; ++i) writer.AddFile("d/f" + std::to_string(i), Bytes{u8(i)});
  SlowPack pack;
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer)));
  ASSERT_EQ(pack.elapsed.size(), size_t(count) + 3);
  EXPECT_GE(pack.elapsed[2 + 64], 64u);  // the reports before passed their time on
  for (int i = 65; i < count; ++i) EXPECT_GE(pack.elapsed[2 + i], 1u) << i;
}

// The same entries in a keyed pack, an unkeyed one, and a keyed one whose progress hook
// listens (so its reads all go through the source with their reports), each step compared
// with the plain bytes: small reads served ahead of the source, larger ones, seeks, typed
// reads, reads cut at an entry's end, and switches between entries.
TEST(FastPack, KeyedSmallAndLargeReadsMatchAnUnkeyedPack) {
  class ListeningPack : public CSLFastFileStorage {
   public:
    void OnProgress(u32, double, u32, u32*) override { ++reports; }
    u32 reports = 0;
  };
  const std::vector<std::pair<std::string, Bytes>> entries = {
      {"a/uno.bin", Pattern(200003, 31)}, {"b/dos.bin", Pattern(70001, 32)}, {"tres.bin", Pattern(5, 33)}};
  auto build = [&](uint32_t key) {
    slpack::PackWriter writer(3, key);
    for (const auto& [name, data] : entries) writer.AddFile(name, data);
    return BuildPack(writer);
  };
  CSLFastFileStorage keyed, plain;
  ListeningPack listening;
  for (auto [pack, key] : {std::pair<CSLFastFileStorage*, uint32_t>{&keyed, 0x9E3779B9}, {&plain, 0}, {&listening, 0x1234567}}) {
    auto* source = new VectorSource(build(key));
    ASSERT_TRUE(pack->AttachContainer(source));
    source->Release();
    ASSERT_TRUE(pack->OpenA(entries[0].first.c_str(), SL_STORAGE_READ));
  }
  CSLFastFileStorage* packs[] = {&keyed, &plain, &listening};
  std::mt19937 rng(5);
  u64 position = 0;
  size_t current = 0;
  for (int step = 0; step < 4000; ++step) {
    const Bytes& data = entries[current].second;
    const u32 action = rng() % 100;
    if (action < 2) {
      current = rng() % entries.size();
      position = 0;
      for (auto* pack : packs) ASSERT_TRUE(pack->OpenA(entries[current].first.c_str(), SL_STORAGE_READ));
    } else if (action < 10) {
      position = rng() % (data.size() + 10);
      for (auto* pack : packs) ASSERT_TRUE(pack->Seek(i64(position), SL_SEEK_BEGIN));
      position = std::min<u64>(position, data.size());
    } else if (action < 20) {
      const u64 left = data.size() - position;
      for (auto* pack : packs) {
        u32 value = 0;
        ASSERT_TRUE(pack->Seek(i64(position), SL_SEEK_BEGIN));
        ASSERT_EQ(pack->ReadU32BE(&value), left >= 4) << step;
        if (left >= 4)
          ASSERT_EQ(value, u32(data[position] << 24 | data[position + 1] << 16 | data[position + 2] << 8 | data[position + 3]));
        else
          ASSERT_EQ(SLGetLastError(), 0x80020036u);
      }
      position = std::min<u64>(position + 4, data.size());
      for (auto* pack : packs) ASSERT_TRUE(pack->Seek(i64(position), SL_SEEK_BEGIN));
    } else {
      const u64 count = action < 90 ? 1 + rng() % 24 : 1 + rng() % 9000;
      const u64 expected = std::min<u64>(count, data.size() - position);
      for (auto* pack : packs) {
        Bytes got(count, 0xCC);
        ASSERT_EQ(pack->Read(got.data(), count), expected) << step;
        ASSERT_EQ(SLGetLastError(), expected < count ? 0x80020036u : 0u) << step;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + expected, data.begin() + position)) << step;
      }
      position += expected;
    }
  }
  EXPECT_GT(listening.reports, 0u);
}

TEST(FastPack, StateCodesWithoutPackOrEntry) {
  CSLFastFileStorage pack;
  u64 value = 9;
  u8 byte;
  SL_EXPECT_FAIL(pack.GetSize(&value), SL_E_STORAGE_NO_CONTAINER);
  EXPECT_EQ(value, 0u);
  SL_EXPECT_FAIL(pack.Read(&byte, 1), SL_E_STORAGE_NO_CONTAINER);
  SL_EXPECT_FAIL(pack.CanWrite(), SL_E_STORAGE_NO_CONTAINER);
  EXPECT_TRUE(pack.IsEOF());
  SL_EXPECT_FAIL(pack.FindFirstA("*"), SL_E_STORAGE_NO_CONTAINER);

  slpack::PackWriter writer(2, 0);
  writer.AddFile("f", Bytes{1, 2});
  ASSERT_TRUE(AttachBytes(pack, BuildPack(writer)));
  EXPECT_NE(pack.GetContainer(), nullptr);
  // A source without a date lists its entries with a zero date and no error, while the
  // storage's own date still reports the source's failure.
  SLStorageFindRecord* record = pack.FindFirstA("f");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_EQ(record->time.GetTicks(), 0u);
  CSLDateTime date;
  EXPECT_FALSE(pack.GetTime(&date));
  SL_EXPECT_FAIL(pack.GetSize(&value), SL_E_STORAGE_GET_SIZE);
  SL_EXPECT_FAIL(pack.GetPosition(&value), SL_E_STORAGE_NOT_OPEN);
  SL_EXPECT_FAIL(pack.GetPosition(nullptr), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(pack.CanRead(), SL_E_STORAGE_NOT_OPEN);
  SL_EXPECT_FAIL(pack.SetSize(1), SL_E_STORAGE_NOT_OPEN);
  SL_EXPECT_FAIL(pack.Write(&byte, 1), SL_E_STORAGE_NOT_OPEN);
  SL_EXPECT_FAIL(pack.Write(nullptr, 1), SL_E_NULL_DATA);
  ASSERT_TRUE(pack.OpenA("f", 0));
  EXPECT_TRUE(pack.CanRead());
  EXPECT_TRUE(pack.Lock(0, 1));
  SL_EXPECT_FAIL(pack.SetSize(1), SL_E_STORAGE_SET_SIZE);
  SL_EXPECT_FAIL(pack.Read(nullptr, 1), SL_E_NULL_OUTPUT);
  pack.Close();
  EXPECT_STREQ(pack.GetNameA(), "");
  EXPECT_TRUE(pack.AttachContainer(nullptr));
  EXPECT_EQ(pack.GetContainer(), nullptr);
  SL_EXPECT_FAIL(pack.OpenA("f", 0), SL_E_STORAGE_NO_CONTAINER);
}
