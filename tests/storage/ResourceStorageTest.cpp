// The resource storage over PE32, PE32+ and NE modules made by our writers, over a
// module linked by the system's own tools, and over the program's embedded resources.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"
#include "storage/SLMemoryStorage.h"
#include "storage/SLResourceStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tools/slrescomp/PeWriter.h"

using SLPeRes::Key;
using SLPeRes::Resource;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

Resource Make(Key type, Key name, std::uint16_t language, const std::string& data) {
  Resource r;
  r.type = std::move(type);
  r.name = std::move(name);
  r.language = language;
  r.data = Bytes(data);
  return r;
}

std::vector<Resource> SampleResources() {
  return {
      Make(Key::Id(10), Key::Id(101), 0x0C0A, "espanol"),
      Make(Key::Id(10), Key::Id(101), 0x0409, "english"),
      Make(Key::Id(10), Key::Id(102), 0x0407, "deutsch"),
      Make(Key::Id(6), Key::Text(u"abc"), 0, "textual"),
      Make(Key::Id(6), Key::Id(1), 0x0409, "s-en"),
      Make(Key::Id(6), Key::Id(1), 0x0C0A, "s-es"),
      Make(Key::Id(6), Key::Id(1), 0x040C, "s-fr"),
      Make(Key::Id(6), Key::Id(2), 0x0C0A, "block2"),
      Make(Key::Text(u"SKIN"), Key::Text(u"default"), 0, "skin bytes"),
  };
}

// A storage over a byte vector the test keeps alive.
class ModuleFixture : public ::testing::Test {
 protected:
  void Attach(std::vector<std::uint8_t> bytes) {
    image = std::move(bytes);
    ASSERT_TRUE(memory.AttachBuffer(image.empty() ? nullptr : image.data(), std::uint32_t(image.size()), false))
        << std::hex << SLGetLastError();
    ASSERT_TRUE(storage.AttachContainer(&memory)) << std::hex << SLGetLastError();
  }
  std::string ReadOpen() {
    u64 size = 0;
    EXPECT_TRUE(storage.GetSize(&size));
    std::string out(size, '\0');
    if (size) {
      EXPECT_EQ(storage.Read(out.data(), size), size);
    }
    return out;
  }
  std::string Open(const char* path) {
    if (!storage.OpenA(path, SL_STORAGE_READ)) return "<" + std::to_string(SLGetLastError()) + ">";
    return ReadOpen();
  }
  void TearDown() override { storage.AttachContainer(nullptr); }

  std::vector<std::uint8_t> image;
  CSLMemoryStorage memory;
  CSLResourceStorage storage;
};

std::string Code(u32 code) { return "<" + std::to_string(code) + ">"; }

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* value) {
    const char* old = std::getenv("LC_ALL");
    if (old) m_old = old, m_had = true;
    setenv("LC_ALL", value, 1);
  }
  ~ScopedLocale() {
    if (m_had)
      setenv("LC_ALL", m_old.c_str(), 1);
    else
      unsetenv("LC_ALL");
  }

 private:
  std::string m_old;
  bool m_had = false;
};

}  // namespace

TEST_F(ModuleFixture, PathFormsFindTheSameResource) {
  Attach(SLPeRes::WriteModule(SampleResources()));
  EXPECT_EQ(Open("#10/#101/10/3"), "espanol");
  EXPECT_EQ(Open("#10\\#101\\10\\3"), "espanol");
  EXPECT_EQ(Open("//#10//#101/10/3"), "espanol");
  EXPECT_EQ(Open("#10/#0101"), Code(SL_E_STORAGE_OPEN));      // a leading zero finds nothing
  EXPECT_EQ(Open("10/101"), Code(SL_E_STORAGE_OPEN));         // textual names "10" and "101"
  EXPECT_EQ(Open("#6/abc"), "textual");                // names compare without case
  EXPECT_EQ(Open("#6/ABC"), "textual");
  EXPECT_EQ(Open("skin/DEFAULT"), "skin bytes");
  EXPECT_EQ(Open("#10/#101/"), Code(SL_E_STORAGE_NAME));      // empty language part
  EXPECT_EQ(Open("#10/#10*"), Code(SL_E_STORAGE_NAME));       // wildcards never open
  EXPECT_EQ(Open("#10/#101/64"), Code(SL_E_STORAGE_NAME));    // primary language below 64
  EXPECT_EQ(Open("#10/#101/10/67"), Code(SL_E_STORAGE_NAME)); // a sublanguage past 6 bits is not sublanguage 3
  EXPECT_EQ(Open("#10/#101/9/1/7"), Code(SL_E_STORAGE_NAME)); // a fifth part
  EXPECT_EQ(Open("#10x/#101"), Code(SL_E_STORAGE_NAME));      // an id is digits up to a separator
  EXPECT_EQ(Open("#10/#101x"), Code(SL_E_STORAGE_NAME));
  EXPECT_EQ(Open("#10/#x101"), Code(SL_E_STORAGE_OPEN));      // not an id: a textual name
  SL_EXPECT_FAIL(storage.FindFirstA("#1*"), SL_E_INVALID_ARG);
  SL_EXPECT_FAIL(storage.OpenA("#10/#101", SL_STORAGE_WRITE), SL_E_STORAGE_FLAGS);
}

TEST_F(ModuleFixture, LanguageFallsBackThroughTheLocales) {
  Attach(SLPeRes::WriteModule(SampleResources()));
  {
    ScopedLocale locale("en_US.UTF-8");
    EXPECT_EQ(Open("#10/#101"), "english");
    EXPECT_EQ(Open("#6/#1"), "s-en");
  }
  {
    ScopedLocale locale("es_ES.UTF-8");
    EXPECT_EQ(Open("#10/#101"), "espanol");
  }
  {
    // Nothing in the locale's language: English (United States) before any other.
    ScopedLocale locale("fr_FR.UTF-8");
    EXPECT_EQ(Open("#10/#101"), "english");
    EXPECT_EQ(Open("#6/#1"), "s-fr");
    EXPECT_EQ(Open("#10/#102"), "deutsch");  // then whatever language there is
  }
  // A primary language alone tries only that language and neutral.
  EXPECT_EQ(Open("#10/#101/7"), Code(SL_E_STORAGE_OPEN));
  EXPECT_EQ(Open("#6/abc/7"), "textual");
}

TEST_F(ModuleFixture, ReadsAndSeeksInsideTheOpenResource) {
  Attach(SLPeRes::WriteModule(SampleResources()));
  ASSERT_TRUE(storage.OpenA("#10/#101/10/3", SL_STORAGE_READ));
  char buffer[16] = {};
  ASSERT_TRUE(storage.Seek(3, SL_SEEK_BEGIN));
  EXPECT_EQ(storage.Read(buffer, 10), 4u);  // 4 left of 7
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
  EXPECT_EQ(std::string(buffer, 4), "anol");
  SL_EXPECT_FAIL(storage.Read(buffer, 1), SL_E_STORAGE_EOF);
  ASSERT_TRUE(storage.Seek(-5, SL_SEEK_BEGIN));  // taken as unsigned: cut to the end
  EXPECT_EQ(SLTestPosition(storage), 7u);
  ASSERT_TRUE(storage.Seek(-100, SL_SEEK_CURRENT));
  EXPECT_EQ(SLTestPosition(storage), 0u);
  EXPECT_EQ(std::memcmp(storage.MapView(), "espanol", 7), 0);
}

TEST_F(ModuleFixture, ListingsGiveTypesOnceAndDotDotFirst) {
  Attach(SLPeRes::WriteModule(SampleResources()));
  std::vector<std::string> types;
  for (auto* r = storage.FindFirstA("*"); r; r = storage.FindNextA()) {
    types.push_back(r->nameA);
    EXPECT_EQ(r->flags, 0x24u);
  }
  EXPECT_EQ(SLGetLastError(), SL_E_NO_MORE);
  // Sorted by entry text: a textual type keeps its marking space, so it comes first.
  EXPECT_EQ(types, (std::vector<std::string>{"SKIN", "#10", "#6"}));

  std::vector<std::string> names;
  std::vector<u32> languages;
  for (auto* r = storage.FindFirstW(u"#6/*"); r; r = storage.FindNextW()) {
    std::string name;
    for (const SLWChar* p = r->nameW; *p; ++p) name += char(*p);
    names.push_back(name);
    auto* info = static_cast<SLResourceInfo*>(r->privateInfo);
    languages.push_back(info->primaryLanguage | (info->subLanguage << 10));
    EXPECT_EQ(r->reserved, 0u);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"..", "ABC", "#1", "#1", "#1", "#2"}));
  EXPECT_EQ(languages, (std::vector<u32>{0, 0, 0x0409, 0x040C, 0x0C0A, 0x0C0A}));

  // Language filters.
  names.clear();
  for (auto* r = storage.FindFirstA("#6/#1/10"); r; r = storage.FindNextA()) names.push_back(r->nameA);
  EXPECT_EQ(names, (std::vector<std::string>{"#1"}));
  SL_EXPECT_FAIL(storage.FindFirstA("#6/*/*/1"), SL_E_STORAGE_NAME);
  SL_EXPECT_FAIL(storage.FindNextA(), SL_E_STORAGE_NO_SEARCH);
}

TEST_F(ModuleFixture, Pe32PlusReadsLikePe32) {
  Attach(SLPeRes::WriteModule(SampleResources(), SLPeRes::Kind::Pe32Plus));
  EXPECT_EQ(Open("#10/#101/9/1"), "english");
  EXPECT_EQ(Open("skin/default"), "skin bytes");
}

namespace {

void Put16(std::vector<std::uint8_t>& v, std::size_t at, unsigned value) {
  v[at] = std::uint8_t(value);
  v[at + 1] = std::uint8_t(value >> 8);
}

// A 16-bit NE module: the resource table with an alignment shift, one string table
// (type 6) with a numeric and a named resource, and an icon group type (14).
std::vector<std::uint8_t> NeModule(unsigned shift, bool zeroLengthName = false) {
  std::vector<std::uint8_t> v(0x400, 0);
  v[0] = 'M';
  v[1] = 'Z';
  Put16(v, 60, 0x80);
  const std::size_t ne = 0x80;
  v[ne] = 'N';
  v[ne + 1] = 'E';
  const std::size_t table = ne + 0x40;
  Put16(v, ne + 36, 0x40);  // resource table
  std::size_t at = table;
  Put16(v, at, shift);
  at += 2;
  // type 6 (string table), two resources
  Put16(v, at, 0x8006);
  Put16(v, at + 2, 2);
  at += 6;
  Put16(v, at, shift < 16 ? 0x200u >> shift : 0);  // offset in alignment units
  Put16(v, at + 2, 5);
  Put16(v, at + 6, 0x8000 | 7);  // numeric id 7
  at += 12;
  const std::size_t nameOffset = 0x40;  // relative to the table, filled below
  Put16(v, at, shift < 16 ? 0x240u >> shift : 0);
  Put16(v, at + 2, 4);
  Put16(v, at + 6, nameOffset);  // a string offset: a textual name
  at += 12;
  // a named type: read and skipped
  Put16(v, at, 0x0010);
  Put16(v, at + 2, 1);
  at += 6 + 12;
  Put16(v, at, 0);  // end of types
  at += 2;
  v[table + nameOffset] = zeroLengthName ? 0 : 4;
  std::memcpy(&v[table + nameOffset + 1], "MENU", 4);
  Put16(v, ne + 38, std::uint16_t(0x40 + nameOffset + 8));  // resident names follow
  std::memcpy(&v[0x200], "hello", 5);
  std::memcpy(&v[0x240], "menu", 4);
  return v;
}

}  // namespace

TEST_F(ModuleFixture, NeModulesListStringTablesAndNames) {
  Attach(NeModule(4));
  EXPECT_EQ(Open("#6/#7"), "hello");
  EXPECT_EQ(Open("#6/menu"), "menu");
}

TEST_F(ModuleFixture, CraftedModulesAreRefused) {
  // An alignment shift no real module has.
  image = NeModule(40);
  ASSERT_TRUE(memory.AttachBuffer(image.data(), u32(image.size()), false));
  SL_EXPECT_FAIL(storage.AttachContainer(&memory), SL_E_BAD_CONTAINER);
  // A textual name of length 0.
  image = NeModule(4, true);
  ASSERT_TRUE(memory.AttachBuffer(image.data(), u32(image.size()), false));
  SL_EXPECT_FAIL(storage.AttachContainer(&memory), SL_E_BAD_CONTAINER);
  // Not a module at all.
  image = Bytes("MZ but nothing of the rest of a module header, far too short to be one");
  ASSERT_TRUE(memory.AttachBuffer(image.data(), u32(image.size()), false));
  SL_EXPECT_FAIL(storage.AttachContainer(&memory), SL_E_BAD_CONTAINER);
}

TEST_F(ModuleFixture, SharedSubdirectoriesCannotMultiplyEntries) {
  // A root whose many type entries all point at one name directory whose many entries
  // point at one language directory: entries would multiply without end.
  auto v = SLPeRes::WriteModule({Make(Key::Id(1), Key::Id(1), 0, "x")});
  const std::size_t raw = 0x200;  // the section's file offset in the writer's layout
  std::vector<std::uint8_t> section(0x8000, 0);
  auto put32 = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) section[at + i] = std::uint8_t(value >> (8 * i));
  };
  const unsigned fanout = 1000;
  // root at 0 with `fanout` id entries -> directory at 0x3000
  put32(12, fanout << 16);
  for (unsigned i = 0; i < fanout; ++i) {
    put32(16 + 8 * i, i + 1);
    put32(20 + 8 * i, 0x80000000u | 0x3000);
  }
  put32(0x3000 + 12, fanout << 16);
  for (unsigned i = 0; i < fanout; ++i) {
    put32(0x3000 + 16 + 8 * i, i + 1);
    put32(0x3000 + 20 + 8 * i, 0x7F00);  // one shared data entry
  }
  put32(0x7F00, 0x1000 + 0x7F10);
  put32(0x7F04, 1);
  v.resize(raw);
  v.insert(v.end(), section.begin(), section.end());
  // The section header: sizes of the new raw data.
  const std::size_t sec = 0x40 + 4 + 20 + 224;
  for (int i = 0; i < 4; ++i) {
    v[sec + 8 + i] = std::uint8_t(0x8000u >> (8 * i));
    v[sec + 16 + i] = std::uint8_t(0x8000u >> (8 * i));
  }
  image = v;
  ASSERT_TRUE(memory.AttachBuffer(image.data(), u32(image.size()), false));
  SL_EXPECT_FAIL(storage.AttachContainer(&memory), SL_E_BAD_CONTAINER);
}

TEST_F(ModuleFixture, FewerThanThreeDataDirectoriesMeanNoResources) {
  auto v = SLPeRes::WriteModule(SampleResources());
  v[0x40 + 4 + 20 + 92] = 2;  // NumberOfRvaAndSizes
  Attach(v);
  EXPECT_EQ(Open("#10/#101"), Code(SL_E_STORAGE_OPEN));
}

TEST_F(ModuleFixture, SectionTableCutShortFailsWithTheSourcesCode) {
  // More section headers than the file holds: the short read is the source's end of data,
  // not a module without resources.
  auto v = SLPeRes::WriteModule(SampleResources());
  v[0x40 + 4 + 2] = 0xFF;  // NumberOfSections
  v[0x40 + 4 + 3] = 0x00;
  image = v;
  ASSERT_TRUE(memory.AttachBuffer(image.data(), u32(image.size()), false));
  SL_EXPECT_FAIL(storage.AttachContainer(&memory), SL_E_STORAGE_EOF);
  SL_EXPECT_FAIL(storage.OpenA("#10/#101", SL_STORAGE_READ), SL_E_STORAGE_NO_CONTAINER);  // nothing stays attached
}

namespace {
// Records every progress report as {operation, percent, milliseconds}.
class ReportingStorage : public CSLResourceStorage {
 public:
  struct Report {
    u32 operation;
    double percent;
    u32 elapsedMs;
  };
  void OnProgress(u32 operation, double percent, u32 elapsedMs, u32*) override {
    reports.push_back({operation, percent, elapsedMs});
    if (operation == stallOperation && percent == 0.0) SLSleep(40);
  }
  std::vector<Report> reports;
  u32 stallOperation = 0;
};

class DatelessMemory : public CSLMemoryStorage {
 public:
  bool GetTime(CSLDateTime*) override { return SLFail(SL_E_NOT_SUPPORTED, false); }
};
}  // namespace

// One module in a source that cannot tell its date: null paths, listing dates, the
// progress of a read cut short, and the time a detach took.
TEST(ResourceStorage, ProgressDatesAndNullPathsOverAModuleInMemory) {
  ReportingStorage storage;
  SL_EXPECT_FAIL(storage.OpenA(nullptr, SL_STORAGE_READ), SL_E_STORAGE_NO_CONTAINER);  // nothing attached comes first
  auto image = SLPeRes::WriteModule(SampleResources());
  DatelessMemory memory;
  ASSERT_TRUE(memory.AttachBuffer(image.data(), u32(image.size()), false));
  ASSERT_TRUE(storage.AttachContainer(&memory));
  SL_EXPECT_FAIL(storage.OpenA(nullptr, SL_STORAGE_READ), SL_E_STORAGE_NAME);
  u32 listed = 0;
  for (auto* r = storage.FindFirstA("#10/*"); r; r = storage.FindNextA()) {
    EXPECT_EQ(r->time.GetTicks(), 0u);
    ++listed;
  }
  EXPECT_EQ(listed, 4u);  // "..", and #101 in two languages, #102

  ASSERT_TRUE(storage.OpenA("#10/#101/10/3", SL_STORAGE_READ));
  char buffer[16];
  ASSERT_TRUE(storage.Seek(3, SL_SEEK_BEGIN));
  storage.reports.clear();
  // Cut to the 4 bytes left: the copy is complete at 99.6, and no 100.0 follows an end.
  EXPECT_EQ(storage.Read(buffer, 10), 4u);
  ASSERT_EQ(storage.reports.size(), 2u);
  EXPECT_EQ(storage.reports[0].operation, 3u);
  EXPECT_EQ(storage.reports[0].percent, 0.0);
  EXPECT_EQ(storage.reports[0].elapsedMs, 0u);
  EXPECT_DOUBLE_EQ(storage.reports[1].percent, 99.6);

  storage.reports.clear();
  storage.stallOperation = 9;
  ASSERT_TRUE(storage.AttachContainer(nullptr));
  ASSERT_GE(storage.reports.size(), 2u);
  EXPECT_EQ(storage.reports.front().operation, 9u);
  EXPECT_EQ(storage.reports.front().elapsedMs, 0u);
  EXPECT_EQ(storage.reports.back().operation, 9u);
  EXPECT_EQ(storage.reports.back().percent, 100.0);
  EXPECT_GE(storage.reports.back().elapsedMs, 30u);
}

TEST(ResourceStorage, ProgramsOwnResourcesThroughTheModuleHandle) {
  CSLResourceStorage storage;
  ASSERT_TRUE(storage.AttachModule(nullptr)) << std::hex << SLGetLastError();
  ASSERT_TRUE(storage.OpenA("#10/#101", SL_STORAGE_READ));
  char text[64] = {};
  u64 got = storage.Read(text, sizeof text);
  EXPECT_EQ(std::string(text, got), "Hola desde los recursos del programa.\n");
  ASSERT_TRUE(storage.OpenA("#10/skin", SL_STORAGE_READ));
  storage.AttachContainer(nullptr);
}

TEST(ResourceStorage, ReadsAModuleLinkedByTheSystemTools) {
  // windres compiles a resource script, the cross linker makes a DLL of it.
  if (std::system("command -v x86_64-w64-mingw32-windres >/dev/null && command -v x86_64-w64-mingw32-ld "
                  ">/dev/null") != 0)
    GTEST_SKIP() << "binutils-mingw-w64 is not installed";
  const TempDir temp;
  const std::string dir = temp.Host();
  std::string script = "cd " + dir +
                       " && printf 'hola' > a.bin"
                       " && printf '101 RCDATA \"a.bin\"\\nLANGUAGE 10, 3\\nSTRINGTABLE { 1 \"uno\" }\\n' > r.rc"
                       " && x86_64-w64-mingw32-windres --preprocessor=cpp r.rc -O coff -o r.o"
                       " && x86_64-w64-mingw32-ld -shared -e 0 r.o -o r.dll";
  ASSERT_EQ(std::system(script.c_str()), 0);
  std::ifstream in(dir + "/r.dll", std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  CSLMemoryStorage memory;
  ASSERT_TRUE(memory.AttachBuffer(bytes.data(), u32(bytes.size()), false));
  CSLResourceStorage storage;
  ASSERT_TRUE(storage.AttachContainer(&memory)) << std::hex << SLGetLastError();
  ASSERT_TRUE(storage.OpenA("#10/#101", SL_STORAGE_READ)) << std::hex << SLGetLastError();
  char text[8] = {};
  EXPECT_EQ(storage.Read(text, 8), 4u);
  EXPECT_EQ(std::string(text, 4), "hola");
  // String table block 1 holds strings 0-15, in Spanish (10, 3).
  EXPECT_TRUE(storage.OpenA("#6/#1/10/3", SL_STORAGE_READ));
  storage.AttachContainer(nullptr);
}

// Every storage kind can be made by its class name, as a program's settings name it.
TEST(ResourceStorage, MadeByClassName) {
  const SLClassRecord* records[256];
  u32 count = SLEnumerateClasses(records, 256, CSLBaseStorage::GetClassRecord(), 0);
  const SLClassRecord* found = nullptr;
  for (u32 i = 0; i < count; ++i)
    if (std::strcmp(records[i]->name, "CSLResourceStorage") == 0) found = records[i];
  ASSERT_NE(found, nullptr);
  CSLObject* object = SLCallGuarded(found);
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(object->IsKindOf(CSLResourceStorage::GetClassRecord()));
  object->Release();
}
