// INI files: the line grammar, queries and edits on the kept text, byte-exact saves in the
// loaded encoding and line-end style, refusal of what would not read back, safe saving and
// sharing one object between threads.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLBaseStorage.h"
#include "storage/SLIniFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A file in this program's temporary folder.
std::string TempPath(const std::string& name) {
  static const TempDir dir;
  return dir.Host(name);
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Expected files are written out by hand from a text: UTF-16LE with its BOM, Windows-1252
// (the text below only uses characters the two share with Latin-1) or UTF-8 with its BOM.
Bytes Utf16LeWithBom(const std::u16string& text) {
  Bytes out = {0xFF, 0xFE};
  for (char16_t unit : text) {
    out.push_back(uint8_t(unit));
    out.push_back(uint8_t(unit >> 8));
  }
  return out;
}

Bytes Ansi(const std::u16string& text) {
  Bytes out;
  for (char16_t unit : text) out.push_back(uint8_t(unit));
  return out;
}

Bytes Utf8WithBom(const std::u16string& text) {
  Bytes out = {0xEF, 0xBB, 0xBF};
  for (char16_t unit : text) {
    if (unit < 0x80) {
      out.push_back(uint8_t(unit));
    } else {
      out.push_back(uint8_t(0xC0 | (unit >> 6)));
      out.push_back(uint8_t(0x80 | (unit & 0x3F)));
    }
  }
  return out;
}

std::u16string WithLineEnds(const std::u16string& lfText, const std::u16string& lineEnd) {
  std::u16string out;
  for (char16_t unit : lfText) {
    if (unit == u'\n')
      out += lineEnd;
    else
      out.push_back(unit);
  }
  return out;
}

std::u16string Get(CSLIniFile& ini, const char16_t* section, const char16_t* key, u32 occurrence = 0) {
  CSLStringWide value;
  if (!ini.GetStringW(section, key, value, nullptr, occurrence)) return u"<" + std::u16string(u"missing") + u">";
  return value.IsEmpty() ? u"" : value.CStr();
}

bool LoadText(CSLIniFile& ini, const std::u16string& lfText) {
  std::string path = TempPath("load.ini");
  WriteBytes(path, Utf16LeWithBom(lfText));
  return ini.LoadFileA(path.c_str(), false);
}

const std::u16string kSettings =
    u"; Ajustes del programa\n"
    u"[General]\n"
    u"Carpeta = M\u00fasica\n"
    u"Idioma = es\n"
    u"Volumen=80\n"
    u"# comentario\n"
    u"\n"
    u"[Skin]\n"
    u"IMAGE1 = DefSkin.GIF; (255,0,255)\n"
    u"IMAGE1 = Segunda.GIF\n"
    u"Borrar = si\n"
    u"\n"
    u"Despues = 1\n";

const std::u16string kEdited =
    u"; Ajustes del programa\n"
    u"[General]\n"
    u"Carpeta = M\u00fasica\n"
    u"Idioma=en\n"
    u"VOLUMEN=95\n"
    u"# comentario\n"
    u"Nuevo=x\n"
    u"\n"
    u"[Skin]\n"
    u"IMAGE1 = DefSkin.GIF; (255,0,255)\n"
    u"image1=Cambiada.GIF\n"
    u"Despues = 1\n"
    u"IMAGE1=Tercera.GIF\n"
    u"\n"
    u"[Nueva]\n"
    u"Clave=Valor con ; y # dentro\n";

// Every kind of edit, in one sequence.
void EditSettings(CSLIniFile& ini) {
  ASSERT_TRUE(ini.SetStringW(u"General", u"VOLUMEN", u"95", 0));         // replaced in place
  ASSERT_TRUE(ini.SetStringA("general", "Idioma", "en", 0));            // blanks around "=" go
  ASSERT_TRUE(ini.SetStringW(u"General", u"Nuevo", u"x", 0));           // after the comment, before the blank
  ASSERT_TRUE(ini.SetStringW(u"Skin", u"IMAGE1", u"Tercera.GIF", -1));  // added after the last line
  ASSERT_TRUE(ini.SetStringW(u"Skin", u"image1", u"Cambiada.GIF", 2));  // only the second occurrence
  ASSERT_TRUE(ini.DeleteKeyW(u"Skin", u"Borrar", 0));                   // with the empty line after it
  ASSERT_TRUE(ini.SetStringW(u"Nueva", u"Clave", u"Valor con ; y # dentro", 0));  // new section
}

struct EncodingCase {
  const char* name;
  Bytes (*encode)(const std::u16string&);
  const char16_t* lineEnd;
  SLTextEncoding encoding;
};

class IniRoundTrip : public ::testing::TestWithParam<EncodingCase> {};

}  // namespace

TEST_P(IniRoundTrip, EditedFileIsSavedByteExact) {
  const EncodingCase& c = GetParam();
  std::string path = TempPath(std::string(c.name) + ".ini");
  WriteBytes(path, c.encode(WithLineEnds(kSettings, c.lineEnd)));
  CSLIniFile ini;
  ASSERT_TRUE(ini.LoadFileA(path.c_str(), false)) << std::hex << SLGetLastError();
  EXPECT_EQ(ini.GetEncoding(), c.encoding);
  EXPECT_EQ(Get(ini, u"General", u"Carpeta"), u"M\u00fasica");
  EditSettings(ini);
  EXPECT_EQ(std::u16string(ini.GetText()), WithLineEnds(kEdited, u"\r\n"));  // kept with CR LF
  ASSERT_TRUE(ini.Save()) << std::hex << SLGetLastError();
  EXPECT_EQ(ReadBytes(path), c.encode(WithLineEnds(kEdited, c.lineEnd)));
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  // What was saved loads again and answers the same.
  CSLIniFile again;
  ASSERT_TRUE(again.LoadFileA(path.c_str(), false));
  EXPECT_EQ(Get(again, u"Skin", u"IMAGE1", 1), u"Cambiada.GIF");
  EXPECT_EQ(Get(again, u"Nueva", u"clave"), u"Valor con ; y # dentro");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, IniRoundTrip,
    ::testing::Values(EncodingCase{"Utf16LeBomLf", Utf16LeWithBom, u"\n", SLTextEncoding(SL_TEXT_UTF16LE | SL_TEXT_LF)},
                      EncodingCase{"AnsiCrLf", Ansi, u"\r\n", SLTextEncoding(SL_TEXT_ANSI | SL_TEXT_CRLF)},
                      EncodingCase{"Utf8BomLf", Utf8WithBom, u"\n", SLTextEncoding(SL_TEXT_UTF8 | SL_TEXT_LF)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, LineGrammar) {
  struct Row {
    const char16_t* line;
    i32 kind;
  };
  const Row rows[] = {
      {u"", 1}, {u" \t ", 1}, {u"; comment", 2},
      {u"  # comment", 2},
      {u"// comment", 2},
      {u"/ not = comment", 4}, {u"[Skin]", 3}, {u"\t[ Skin  Name ]\t; trailing comment", 3},
      {u"[Skin] # comment", 3}, {u"[Skin] x", -1}, {u"[Skin", -2},
      {u"[   ]", -2}, {u"[Ski\tn]", -2}, {u"[Skin\t]", -2},
      {u"\x01key=1", -1}, {u"key", -3}, {u"   =1", -3},
      {u"ke\ty=1", -3}, {u"key\t=1", -3}, {u"key=\tvalue\twith tabs\t", 4},
      {u"key=va\x02lue", -4}, {u"a/b = c", 4}, {u"IMAGE1      = DefSkin.GIF; (255,0,255)", 4},
  };
  for (const Row& r : rows) {
    std::u16string line = std::u16string(r.line) + u"\r\nnext";
    u32 lineLength = 0;
    EXPECT_EQ(CSLIniFile::ClassifyLine(line.c_str(), u32(line.size()), 0, &lineLength), r.kind)
        << std::string(line.begin(), line.end());
    EXPECT_EQ(lineLength, std::u16string(r.line).size() + 2);
  }
  // Line ends: CR LF, LF CR, lone CR, lone LF, and the end of the text.
  const char16_t* text = u"a=1\n\rb=2\rc=3\nd=4";
  u32 length = 16, position = 0, lineLength = 0;
  std::vector<u32> lengths;
  for (; position < length; position += lineLength) {
    CSLIniFile::ClassifyLine(text, length, position, &lineLength);
    lengths.push_back(lineLength);
  }
  EXPECT_EQ(lengths, (std::vector<u32>{5, 4, 4, 3}));
  EXPECT_FALSE(CSLIniFile::CheckText(u"k=v\r\n[S]\r\n", 10));  // a key before the first header
  EXPECT_TRUE(CSLIniFile::CheckText(u"; c\r\n\r\n[S]\r\nk=v", 15));
}

TEST(IniFile, QueriesFindKeysWhateverTheirCase) {
  CSLIniFile ini;
  ASSERT_TRUE(LoadText(ini, u"[Images]\nIMAGE1    = DefSkin.GIF; (255,0,255)\n  key = two words \t\n"
                            u"dup=1\ndup=2\n[images]\nhidden=1\n[Otra]\nx = \n"));
  EXPECT_EQ(Get(ini, u"images", u"image1"), u"DefSkin.GIF; (255,0,255)");
  EXPECT_EQ(Get(ini, u"IMAGES", u"KEY"), u"two words");
  EXPECT_EQ(Get(ini, u"Images", u"dup", 0), u"1");
  EXPECT_EQ(Get(ini, u"Images", u"dup", 1), u"2");
  EXPECT_EQ(Get(ini, u"Otra", u"x"), u"");

  CSLStringWide value;
  SL_EXPECT_FAIL(ini.GetStringW(u"Images", u"dup", value, u"def", 2), SL_E_INI_KEY_NOT_FOUND);
  EXPECT_EQ(std::u16string(value.CStr()), u"def");
  EXPECT_FALSE(ini.GetStringW(u"Images", u"hidden", value, nullptr, 0));  // only the first header counts
  EXPECT_EQ(SLGetLastError(), SL_E_INI_KEY_NOT_FOUND);
  EXPECT_TRUE(value.IsEmpty());

  CSLStringWide name;
  EXPECT_TRUE(ini.GetKeyNameW(u"images", 3, name));
  EXPECT_EQ(std::u16string(name.CStr()), u"dup");
  SL_EXPECT_FAIL(ini.GetKeyNameW(u"images", 4, name), SL_E_INDEX);
  CSLStringAnsi nameA;
  EXPECT_TRUE(ini.GetKeyNameA("Images", 1, nameA));
  EXPECT_STREQ(nameA.CStr(), "key");
}

TEST(IniFile, BufferFormsTouchOnlyAGivenBuffer) {
  CSLIniFile ini;
  ASSERT_TRUE(LoadText(ini, u"[S]\nseis=abcdef\nclave_larga=1\n"));
  char buffer[4] = {'x', 'x', 'x', 'x'};
  u32 size = 4;
  EXPECT_TRUE(ini.GetStringA("S", "seis", buffer, &size, nullptr));
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buffer, "abc");
  // A null buffer asks for the length: nothing is written anywhere.
  size = 1;
  EXPECT_TRUE(ini.GetStringA("S", "seis", nullptr, &size, nullptr));
  EXPECT_EQ(size, 6u);
  size = 1;
  EXPECT_TRUE(ini.GetKeyNameBufA("S", 1, nullptr, &size));
  EXPECT_EQ(size, 11u);
  size = 4;
  EXPECT_TRUE(ini.GetKeyNameBufA("S", 1, buffer, &size));
  EXPECT_STREQ(buffer, "cla");
  EXPECT_EQ(size, 3u);
  size = 1;
  SL_EXPECT_FAIL(ini.GetStringA("S", "nada", nullptr, &size, "def"), SL_E_INI_KEY_NOT_FOUND);
  size = 4;
  SL_EXPECT_FAIL(ini.GetStringA("", "seis", buffer, &size, nullptr), SL_E_INI_BAD_SECTION_NAME);
  EXPECT_STREQ(buffer, "");
  CSLStringAnsi value;
  EXPECT_FALSE(ini.GetStringStrA("S", "nada", value, "def"));  // the 8-bit form stays empty on failure
  EXPECT_TRUE(value.IsEmpty());
}

TEST(IniFile, SettersRefuseWhatWouldNotReadBack) {
  CSLIniFile ini;
  ASSERT_TRUE(LoadText(ini, u"[S]\nk=v\n"));
  const std::u16string before = ini.GetText();
  struct Bad {
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;
  };
  const Bad bad[] = {
      {u"S", u"k", u"one\r\ntwo=2"}, {u"S", u"k", u"line\nbreak"}, {u"S", u"k", u"bell\x07"},
      {u"S", u"k", u" padded"},      {u"S", u"k", u"padded\t"},    {u"S", u"a=b", u"v"},
      {u"S", u"[k", u"v"},           {u"S", u";k", u"v"},          {u"S", u"#k", u"v"},
      {u"S", u"//k", u"v"},          {u"S", u" k", u"v"},          {u"S", u"k\tk", u"v"},
      {u"S]x", u"k", u"v"},          {u"S\r\n[T", u"k", u"v"},     {u" S", u"k", u"v"},
      {u"S\t", u"k", u"v"},
  };
  for (const Bad& b : bad) {
    SL_EXPECT_FAIL(ini.SetStringW(b.section, b.key, b.value, 0), SL_E_INVALID_ARG);
  }
  SL_EXPECT_FAIL(ini.SetStringA("S", "k", "a\rb", 0), SL_E_INVALID_ARG);
  EXPECT_EQ(std::u16string(ini.GetText()), before);
  // What is accepted reads back as itself.
  const Bad good[] = {{u"S", u"a/b]c", u"x\ty ; # //"}, {u"[Raro", u"k k", u""}, {u"Nuevo Grupo", u"k", u"="}};
  for (const Bad& g : good) {
    ASSERT_TRUE(ini.SetStringW(g.section, g.key, g.value, 0)) << std::hex << SLGetLastError();
    EXPECT_EQ(Get(ini, g.section, g.key), g.value);
  }
  EXPECT_TRUE(CSLIniFile::CheckText(ini.GetText(), u32(std::u16string(ini.GetText()).size())));
}

TEST(IniFile, EditsAtTheEdgesOfTheText) {
  CSLIniFile ini;
  // A new INI: the header comes first, without a leading line end.
  std::string path = TempPath("new.ini");
  ASSERT_TRUE(ini.LoadFileA(path.c_str(), true)) << std::hex << SLGetLastError();
  ASSERT_TRUE(ini.SetStringA("A", "x", "1", 0));
  ASSERT_TRUE(ini.SetStringA("B", "y", "2", 0));
  EXPECT_EQ(std::u16string(ini.GetText()), u"[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(path), Ansi(u"[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"));  // ANSI, CR LF, no BOM

  // A last line without its line end does not swallow a new key.
  ASSERT_TRUE(LoadText(ini, u"[S]\nk=v"));
  ASSERT_TRUE(ini.SetStringW(u"S", u"n", u"w", 0));
  EXPECT_EQ(std::u16string(ini.GetText()), u"[S]\r\nk=v\r\nn=w\r\n");
  ASSERT_TRUE(LoadText(ini, u"[S]"));
  ASSERT_TRUE(ini.SetStringW(u"S", u"n", u"w", 0));
  EXPECT_EQ(std::u16string(ini.GetText()), u"[S]\r\nn=w\r\n");

  // occurrence 0 leaves one line at the place of the first; a null value deletes.
  ASSERT_TRUE(LoadText(ini, u"[S]\nd=1\nz=0\nd=2\n"));
  ASSERT_TRUE(ini.SetStringW(u"S", u"D", u"3", 0));
  EXPECT_EQ(std::u16string(ini.GetText()), u"[S]\r\nD=3\r\nz=0\r\n");
  ASSERT_TRUE(ini.SetStringW(u"S", u"z", nullptr, 0));
  EXPECT_EQ(std::u16string(ini.GetText()), u"[S]\r\nD=3\r\n");
  const std::u16string before = ini.GetText();
  SL_EXPECT_FAIL(ini.DeleteKeyW(u"S", u"nada", 0), SL_E_INI_KEY_NOT_FOUND);
  EXPECT_EQ(std::u16string(ini.GetText()), before);
}

TEST(IniFile, LoadRefusesBadTexts) {
  CSLIniFile ini;
  ASSERT_TRUE(LoadText(ini, u"[S]\nk=v\n"));
  for (const char16_t* bad : {u"; comment\nkey=1\n[S]\n", u"[S] trailing\n", u"[S]\nno equals sign\n"}) {
    SL_EXPECT_FAIL(LoadText(ini, bad), SL_E_INI_BAD_TEXT);
    EXPECT_EQ(std::u16string(ini.GetText() ? ini.GetText() : u""), u"");
    CSLStringWide value;
    SL_EXPECT_FAIL(ini.GetStringW(u"S", u"k", value, nullptr, 0), SL_E_INI_SECTION_NOT_FOUND);
  }
  SL_EXPECT_FAIL(ini.Load(nullptr), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(ini.Save(), SL_E_INI_NO_FILE_NAME);
  SL_EXPECT_FAIL(ini.LoadFileA(TempPath("does_not_exist.ini").c_str(), false), SL_E_STORAGE_OPEN);
}

TEST(IniFile, FailedSaveKeepsTheOldFile) {
  std::string path = TempPath("keep.ini");
  const Bytes original = Ansi(u"[S]\r\nk=old\r\n");
  WriteBytes(path, original);
  CSLIniFile ini;
  ASSERT_TRUE(ini.LoadFileA(path.c_str(), false));
  ASSERT_TRUE(ini.SetStringA("S", "k", "new", 0));
  // The sibling file cannot be written (the disk is full): the save fails and the
  // settings on disk are the old ones, whole.
  SLPlatformSetDiskFullAfter(true, 4);
  EXPECT_FALSE(ini.Save());
  SLPlatformSetDiskFullAfter(false);
  EXPECT_NE(SLGetLastError(), 0u);
  EXPECT_EQ(ReadBytes(path), original);
  EXPECT_FALSE(fs::exists(TempPath(".keep.ini.1.tmp")));
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadBytes(path), Ansi(u"[S]\r\nk=new\r\n"));
  EXPECT_FALSE(fs::exists(TempPath(".keep.ini.1.tmp")));
}

// Under a file-size limit (ulimit -f) the settings' sibling file cannot be written whole:
// the save fails, the process lives on, and the settings on disk are the old ones.
TEST(IniFile, SaveAtTheFileSizeLimitKeepsTheOldFileAndTheProcess) {
  std::string path = TempPath("limit.ini");
  const Bytes original = Ansi(u"[S]\r\nk=old\r\n");
  WriteBytes(path, original);
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    CSLIniFile ini;
    if (!ini.LoadFileA(path.c_str(), false) || !ini.SetStringA("S", "k", std::string(4000, 'n').c_str(), 0)) _exit(10);
    const rlimit limit{1024, 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(11);
    _exit(ini.Save() ? 12 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), original);
  EXPECT_FALSE(fs::exists(TempPath(".limit.ini.1.tmp")));
}

// Two processes saving one large settings file (several writes each) again and again at
// once: the file always holds one whole text, one of theirs, both saves succeed, and
// nothing is left beside it.
TEST(IniFile, TwoProcessesSavingOneFileAtOnceLeaveOneWholeText) {
  const TempDir dir;
  const std::string path = dir.Host("ajustes.ini");
  std::string body;
  for (int i = 0; i < 4000; ++i) body += "clave" + std::to_string(i) + "=" + std::string(90, 'v') + "\r\n";
  auto text = [&](char variant) {
    const std::string whole = std::string("[S]\r\nvariante=") + variant + "\r\n" + body;
    return Bytes(whole.begin(), whole.end());
  };
  WriteBytes(path, text('x'));
  const Bytes expected[2] = {text('0'), text('1')};
  CSLIniFile ini;
  ASSERT_TRUE(ini.LoadFileA(path.c_str(), false));
  std::fflush(nullptr);
  pid_t children[2];
  for (int variant = 0; variant < 2; ++variant) {
    children[variant] = fork();
    if (children[variant] != 0) continue;
    if (!ini.SetStringA("S", "variante", variant ? "1" : "0", 0)) _exit(10);
    for (int round = 0; round < 30; ++round) {
      if (!ini.Save()) _exit(11);
      const Bytes now = ReadBytes(path);
      if (now != expected[0] && now != expected[1]) _exit(12);
    }
    _exit(0);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  const Bytes last = ReadBytes(path);
  EXPECT_TRUE(last == expected[0] || last == expected[1]);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Host()), fs::directory_iterator()), 1);
}

TEST(IniFile, OneObjectSharedByTwoThreads) {
  CSLIniFile ini;
  ASSERT_TRUE(LoadText(ini, u"[Comun]\ncontador=0\n"));
  constexpr int kRounds = 400;
  std::atomic<bool> failed{false};
  auto worker = [&](const char* section, int id) {
    char key[32], value[32];
    for (int i = 0; i < kRounds; ++i) {
      std::snprintf(key, sizeof key, "k%d", i);
      std::snprintf(value, sizeof value, "%d_%d", id, i);
      if (!ini.SetStringA(section, key, value, 0)) failed = true;
      char read[32];
      u32 size = sizeof read;
      if (!ini.GetStringA(section, key, read, &size, nullptr) || std::string(read) != value) failed = true;
      if (i % 7 == 0 && !ini.SetStringA("Comun", "contador", value, 0)) failed = true;
      if (i % 11 == 0 && !ini.DeleteKeyA(section, key, 0)) failed = true;
    }
  };
  std::thread a(worker, "Uno", 1), b(worker, "Dos", 2);
  a.join();
  b.join();
  EXPECT_FALSE(failed);
  const std::u16string text = ini.GetText();
  EXPECT_TRUE(CSLIniFile::CheckText(text.c_str(), u32(text.size())));
  CSLStringWide name;
  u32 keys = 0;
  while (ini.GetKeyNameW(u"Uno", keys, name)) ++keys;
  EXPECT_EQ(keys, u32(kRounds - (kRounds + 10) / 11));
  EXPECT_EQ(Get(ini, u"Dos", u"k399"), u"2_399");
}
