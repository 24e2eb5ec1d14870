// The file storage over the kernel32 stand-in: transfers in 64 KiB system calls with
// their progress reports, open flags, mapping, closing, and the wrappers' fall-backs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/SLDateTime.h"
#include "foundation/SLLibrary.h"
#include "platform/kernel32/Modules.h"
#include "storage/SLFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {

using SLInternals::CSLFileStorageInternal;

struct Report {
  u32 operation;
  double percent;
};

// Records every progress report; optionally cancels the n-th one.
class RecordingStorage : public CSLFileStorage {
 public:
  void OnProgress(u32 operation, double percent, u32, u32* cancel) override {
    reports.push_back({operation, percent});
    if (reports.size() == cancelAt) *cancel = 1;
  }
  std::vector<Report> reports;
  size_t cancelAt = 0;
};

CSLFileStorageInternal* Api() {
  CSLFileStorageInternal* api = SLGetFileStorageApi(false);
  EXPECT_NE(api, nullptr);
  return api;
}

// Swaps one entry of the function table for the length of a test.
template <class F>
class SwapEntry {
 public:
  SwapEntry(F* slot, F replacement) : m_slot(slot), m_saved(*slot) { *slot = replacement; }
  ~SwapEntry() { *m_slot = m_saved; }
  F saved() const { return m_saved; }

 private:
  F* m_slot;
  F m_saved;
};

std::vector<DWORD> g_readSizes;
CSLFileStorageInternal::PReadFile g_realReadFile;
BOOL CountingReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* done, LPOVERLAPPED overlapped) {
  g_readSizes.push_back(count);
  return g_realReadFile(file, buffer, count, done, overlapped);
}

TEST(FileStorage, ReadOfTwoChunksAndAHundredBytesMakesThreeSystemReads) {
  TempDir dir;
  const u64 count = 65536 * 2 + 100;  // 131,172
  std::string content(count + 50, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 7 + 3);
  dir.Write("big.bin", content);

  SwapEntry swap(&Api()->m_pReadFile, &CountingReadFile);
  g_realReadFile = swap.saved();
  g_readSizes.clear();
  RecordingStorage file;
  ASSERT_TRUE(file.OpenA(dir.Win("big.bin").c_str(), 0));
  file.reports.clear();
  std::string buffer(count, '\0');
  EXPECT_EQ(file.Read(buffer.data(), count), count);
  EXPECT_EQ(SLGetLastError(), SL_OK);
  EXPECT_EQ(buffer, content.substr(0, count));
  EXPECT_EQ(g_readSizes, (std::vector<DWORD>{65536, 65536, 100}));
  ASSERT_EQ(file.reports.size(), 5u);
  const double expected[5] = {0.0, 99.6 * 65536 / count, 99.6 * 131072 / count, 99.6, 100.0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(file.reports[i].operation, SL_PROGRESS_READ);
    EXPECT_NEAR(file.reports[i].percent, expected[i], 1e-9) << i;
  }

  // Near the end: what is there, with the end-of-data code.
  ASSERT_TRUE(file.Seek(-10, SL_SEEK_END));
  EXPECT_EQ(file.Read(buffer.data(), 100), 10u);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
  // Nothing asked: nothing read, reports 0 and 100, no error.
  file.reports.clear();
  SL_EXPECT_FAIL(file.Read(buffer.data(), 0), SL_OK);
  ASSERT_EQ(file.reports.size(), 2u);
  EXPECT_EQ(file.reports[1].percent, 100.0);
}

TEST(FileStorage, OpenFlags) {
  TempDir dir;
  std::string path = dir.Win("flags.bin");
  CSLFileStorage file;
  ASSERT_TRUE(file.CreateA(path.c_str(), 0));
  EXPECT_EQ(file.GetFlags(), 0x12u);  // write, exclusive
  EXPECT_EQ(file.Write("abc", 3), 3u);
  ASSERT_TRUE(file.OpenA(path.c_str(), 0));
  EXPECT_EQ(file.GetFlags(), 0x21u);  // read, others may read and write
  EXPECT_TRUE(file.CanRead());
  EXPECT_FALSE(file.CanWrite());
  // Append: open-always creates the missing file at 0; reopening lands at the end.
  std::string log = dir.Win("log.txt");
  ASSERT_TRUE(file.OpenA(log.c_str(), 0x804));
  EXPECT_EQ(SLTestPosition(file), 0u);
  EXPECT_FALSE(file.CanWrite());  // append answers false...
  EXPECT_EQ(file.Write("12345", 5), 5u);  // ...and writes all the same
  ASSERT_TRUE(file.OpenA(log.c_str(), 4));
  EXPECT_EQ(SLTestPosition(file), 5u);
  EXPECT_EQ(file.Write("67", 2), 2u);
  // Append is a first position, not a mode: a seek back overwrites.
  ASSERT_TRUE(file.Seek(0, SL_SEEK_BEGIN));
  EXPECT_EQ(file.Write("A", 1), 1u);
  file.Close();
  EXPECT_EQ(dir.Read("log.txt"), "A234567");

  // A create shares nothing by default; an open shares reading and writing.
  CSLFileStorage other;
  ASSERT_TRUE(file.CreateA(path.c_str(), 0));
  SL_EXPECT_FAIL(other.OpenA(path.c_str(), 0), SL_E_STORAGE_OPEN);
  ASSERT_TRUE(file.OpenA(path.c_str(), 0));
  EXPECT_TRUE(other.OpenA(path.c_str(), SL_STORAGE_READWRITE));
  file.Close();
}

TEST(FileStorage, CancelAtTheFirstReportLeavesTheOpenFileOpen) {
  TempDir dir;
  dir.Write("a.txt", "first");
  dir.Write("b.txt", "second");
  RecordingStorage file;
  ASSERT_TRUE(file.OpenA(dir.Win("a.txt").c_str(), 0));
  file.reports.clear();
  file.cancelAt = 1;
  SL_EXPECT_FAIL(file.OpenA(dir.Win("b.txt").c_str(), 0), SL_E_CANCELLED);
  file.cancelAt = 0;
  char text[5];
  EXPECT_EQ(file.Read(text, 5), 5u);
  EXPECT_EQ(std::string(text, 5), "first");
  // A cancel during a read stops after the chunk and keeps what came.
  ASSERT_TRUE(file.Seek(0, SL_SEEK_BEGIN));
  file.cancelAt = file.reports.size() + 2;
  EXPECT_EQ(file.Read(text, 5), 5u);
  EXPECT_EQ(SLGetLastError(), SL_E_CANCELLED);
}

int g_closeCalls = 0;
BOOL FailingCloseHandle(HANDLE) {
  ++g_closeCalls;
  return FALSE;
}

TEST(FileStorage, CloseClosesOnceEvenWhenTheSystemRefuses) {
  TempDir dir;
  CSLFileStorage file;
  ASSERT_TRUE(file.CreateA(dir.Win("once.bin").c_str(), 0));
  HANDLE handle = file.GetHandle();
  {
    SwapEntry swap(&Api()->m_pCloseHandle, &FailingCloseHandle);
    g_closeCalls = 0;
    file.Close();
  }
  EXPECT_EQ(g_closeCalls, 1);
  SL_EXPECT_FAIL(file.GetHandle(), SL_OK);
  Api()->CloseHandle(handle);  // the refused close, done for real
}

TEST(FileStorage, SizeTimeDeleteAndTypedReads) {
  TempDir dir;
  CSLFileStorage file;
  ASSERT_TRUE(file.CreateA(dir.Win("data.bin").c_str(), SL_STORAGE_READWRITE));
  ASSERT_TRUE(file.WriteU16(0x3412));
  ASSERT_TRUE(file.WriteU32(0x12345678));
  ASSERT_TRUE(file.SetSize(4));
  EXPECT_EQ(SLTestSize(file), 4u);
  EXPECT_EQ(SLTestPosition(file), 4u);
  // A size no seek can reach fails as the seek does and leaves the file alone.
  SL_EXPECT_FAIL(file.SetSize(~0ull), SL_E_STORAGE_SEEK);
  EXPECT_EQ(SLTestSize(file), 4u);
  ASSERT_TRUE(file.Seek(0, SL_SEEK_BEGIN));
  u16 big = 0;
  EXPECT_TRUE(file.ReadU16BE(&big));
  EXPECT_EQ(big, 0x1234);
  u32 word = 0;
  SL_EXPECT_FAIL(file.ReadU32(&word), SL_E_STORAGE_EOF);  // two bytes left
  EXPECT_TRUE(file.IsEOF());
  // An origin outside 0..2 leaves the position and succeeds.
  EXPECT_TRUE(file.Seek(-3, 7));
  EXPECT_EQ(SLTestPosition(file), 4u);

  // Deleting does not depend on what the storage has open (the system refuses an
  // open file without delete sharing).
  SL_EXPECT_FAIL(file.DeleteA(dir.Win("data.bin").c_str()), SL_E_STORAGE_DELETE);
  file.Close();
  EXPECT_TRUE(file.DeleteA(dir.Win("DATA.BIN").c_str()));
  SL_EXPECT_FAIL(file.DeleteA(dir.Win("data.bin").c_str()), SL_E_STORAGE_DELETE);
}

TEST(FileStorage, WideAndEightBitNamesOfOneFile) {
  TempDir dir;
  CSLFileStorage file;
  // "Canción.txt" in Windows-1252 is stored as UTF-8.
  std::string path = dir.Win("Canci\xF3n.txt");
  ASSERT_TRUE(file.CreateA(path.c_str(), 0));
  EXPECT_STREQ(file.GetNameA(), path.c_str());
  EXPECT_EQ(std::u16string(file.GetNameW()).back(), u't');
  EXPECT_NE(std::u16string(file.GetNameW()).find(u"Canci\u00F3n"), std::u16string::npos);
  file.Close();
  EXPECT_EQ(dir.Read("Canci\xC3\xB3n.txt"), "");
  std::u16string wide(file.GetNameW());
  std::string host = dir.Host();
  std::u16string widePath(host.begin(), host.end());
  widePath += u"\\CANCI\u00D3N.TXT";
  EXPECT_TRUE(file.OpenW(widePath.c_str(), 0));
  // A wide name without an 8-bit form still reaches its file (the 8-bit name gets "?").
  std::u16string japanese(host.begin(), host.end());
  japanese += u"/\u65E5\u672C.txt";
  ASSERT_TRUE(file.CreateW(japanese.c_str(), 0));
  EXPECT_EQ(file.Write("jp", 2), 2u);
  file.Close();
  EXPECT_EQ(dir.Read("\xE6\x97\xA5\xE6\x9C\xAC.txt"), "jp");
}

// A claimed file is its writer's alone, yet its own process may read it (a recording
// played back before it is kept).
TEST(FileStorage, AClaimedFileIsReadInItsProcessAndWrittenByItsWriterOnly) {
  TempDir dir;
  const std::string path = dir.Win("voz.TMP");
  CSLFileStorage claimed, other;
  ASSERT_TRUE(claimed.CreateA(path.c_str(), SL_STORAGE_WRITE | SL_STORAGE_CLAIM));
  ASSERT_EQ(claimed.Write("hola", 4), 4u);
  ASSERT_TRUE(other.OpenA(path.c_str(), SL_STORAGE_READ));
  char text[4] = {};
  EXPECT_EQ(other.Read(text, 4), 4u);
  EXPECT_EQ(std::string(text, 4), "hola");
  other.Close();
  SL_EXPECT_FAIL(other.OpenA(path.c_str(), SL_STORAGE_READWRITE), SL_E_STORAGE_OPEN);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_SHARING_VIOLATION);
  SL_EXPECT_FAIL(other.CreateA(path.c_str(), SL_STORAGE_WRITE | SL_STORAGE_SHARE_READWRITE), SL_E_STORAGE_CREATE);
  EXPECT_EQ(dir.Read("voz.TMP"), "hola");
}

// A writer about to rename or remove its file by name asks whether the name still
// reaches that file: not when it was removed, nor when another file took the name.
TEST(FileStorage, IsNamedTellsItsFileFromAnotherUnderTheName) {
  TempDir dir;
  const std::string path = dir.Win("voz.TMP");
  CSLFileStorage file;
  SL_EXPECT_FAIL(file.IsNamedA(path.c_str()), SL_E_STORAGE_NOT_OPEN);
  ASSERT_TRUE(file.CreateA(path.c_str(), SL_STORAGE_WRITE | SL_STORAGE_CLAIM));
  SL_EXPECT_OK(file.IsNamedA(path.c_str()));
  // Another spelling, or a second link, reaches the file itself.
  ASSERT_EQ(link(dir.Host("voz.TMP").c_str(), dir.Host("enlace").c_str()), 0);
  SL_EXPECT_OK(file.IsNamedA(dir.Win("VOZ.tmp").c_str()));
  SL_EXPECT_OK(file.IsNamedA(dir.Win("enlace").c_str()));

  ASSERT_TRUE(std::filesystem::remove(dir.Host("voz.TMP")));
  SL_EXPECT_FAIL(file.IsNamedA(path.c_str()), SL_E_STORAGE_OPEN);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_FILE_NOT_FOUND);
  dir.Write("voz.TMP", "otra");
  EXPECT_TRUE(SLAnsweredWith(file.IsNamedA(path.c_str()), false, SL_OK));
  // A pipe under the name is answered at once, not waited on until it has a writer.
  ASSERT_TRUE(std::filesystem::remove(dir.Host("voz.TMP")));
  ASSERT_EQ(mkfifo(dir.Host("voz.TMP").c_str(), 0666), 0);
  EXPECT_TRUE(SLAnsweredWith(file.IsNamedA(path.c_str()), false, SL_OK));
}

// ---- the wrappers' rules ----

std::u16string g_widePath;
HANDLE RecordingCreateFileW(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  g_widePath = path;
  return INVALID_HANDLE_VALUE;
}

TEST(FileStorageApi, LongEightBitPathsGoWideWithAPrefix) {
  CSLFileStorageInternal* api = Api();
  SwapEntry wide(&api->m_pCreateFileW, &RecordingCreateFileW);
  // 261 bytes starting with two backslashes: a network path too long for the 8-bit call.
  std::string path = "\\\\server\\" + std::string(261 - 9, 'x');
  ASSERT_EQ(path.size(), 261u);
  g_widePath.clear();
  api->CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  std::u16string expected = u"\\\\?\\UNC\\server\\" + std::u16string(261 - 9, u'x');
  EXPECT_EQ(g_widePath, expected);
  std::string local = "C:\\" + std::string(300, 'y');
  api->CreateFileA(local.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(g_widePath, u"\\\\?\\C:\\" + std::u16string(300, u'y'));
  // Short paths stay with the 8-bit function.
  g_widePath.clear();
  api->CreateFileA("C:\\short", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(g_widePath.empty());
}

TEST(FileStorageApi, WidePathsWithoutTheWideFunction) {
  TempDir dir;
  dir.Write("a\xC3\xB1o.txt", "x");
  CSLFileStorageInternal* api = Api();
  SwapEntry wide(&api->m_pCreateFileW, CSLFileStorageInternal::PCreateFileW(nullptr));
  // Converted to the 8-bit code page: "año" exists in it.
  std::string host = dir.Host();
  std::u16string path = std::u16string(host.begin(), host.end()) + u"/A\u00D1O.TXT";
  HANDLE file = api->CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  api->CloseHandle(file);
  // An 8-bit path cannot be long.
  std::u16string longPath = u"C:\\" + std::u16string(258, u'y');
  EXPECT_EQ(api->CreateFileW(longPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_INVALID_PARAMETER);
  SwapEntry narrow(&api->m_pCreateFileA, CSLFileStorageInternal::PCreateFileA(nullptr));
  EXPECT_EQ(api->CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_EQ(api->CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_INVALID_PARAMETER);
  // The storage maps all of it to its own open failure.
  CSLFileStorage storage;
  SL_EXPECT_FAIL(storage.OpenW(path.c_str(), 0), SL_E_STORAGE_OPEN);
}

TEST(FileStorageApi, MissingFunctionsFallBackOrFail) {
  TempDir dir;
  dir.Write("f.bin", "0123456789");
  CSLFileStorageInternal* api = Api();
  CSLFileStorage file;
  ASSERT_TRUE(file.OpenA(dir.Win("f.bin").c_str(), 0));
  {
    // Without the 64-bit calls the older ones take over.
    SwapEntry seek(&api->m_pSetFilePointerEx, CSLFileStorageInternal::PSetFilePointerEx(nullptr));
    SwapEntry size(&api->m_pGetFileSizeEx, CSLFileStorageInternal::PGetFileSizeEx(nullptr));
    SwapEntry lock(&api->m_pLockFileEx, CSLFileStorageInternal::PLockFileEx(nullptr));
    EXPECT_TRUE(file.Seek(4, SL_SEEK_BEGIN));
    EXPECT_EQ(SLTestPosition(file), 4u);
    EXPECT_EQ(SLTestSize(file), 10u);
    EXPECT_TRUE(file.Lock(0, 1));
    EXPECT_TRUE(file.Unlock(0, 1));
  }
  {
    SwapEntry read(&api->m_pReadFile, CSLFileStorageInternal::PReadFile(nullptr));
    char buffer[4];
    SL_EXPECT_FAIL(file.Read(buffer, 4), SL_E_STORAGE_READ);
    DWORD done = 7;
    EXPECT_FALSE(api->ReadFile(file.GetHandle(), buffer, 4, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(SLGetSystemLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  }
  {
    // Only the wide search: the 8-bit caller gets its names converted.
    SwapEntry first(&api->m_pFindFirstFileA, CSLFileStorageInternal::PFindFirstFileA(nullptr));
    SwapEntry next(&api->m_pFindNextFileA, CSLFileStorageInternal::PFindNextFileA(nullptr));
    dir.Write("a\xC3\xB1o.txt", "");
    CSLFileStorage search;
    SLStorageFindRecord* record = search.FindFirstA((dir.Win() + "\\*.txt").c_str());
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->nameA, "a\xF1o.txt");
    EXPECT_EQ(search.FindNextA(), nullptr);
  }
  EXPECT_EQ(api->FindClose(nullptr), FALSE);
}

}  // namespace

TEST(FileStorage, ClosedStorageAnswers) {
  CSLFileStorage file;
  EXPECT_TRUE(file.IsEOF());
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_NOT_OPEN);
  u64 size = 5;
  SL_EXPECT_FAIL(file.GetSize(&size), SL_E_STORAGE_NOT_OPEN);
  EXPECT_EQ(size, 0u);
  char byte;
  SL_EXPECT_FAIL(file.Read(&byte, 1), SL_E_STORAGE_NOT_OPEN);
  SL_EXPECT_FAIL(file.MapView(), SL_E_STORAGE_NOT_OPEN);
  SL_EXPECT_FAIL(file.GetContainer(), SL_E_NOT_SUPPORTED);
}

TEST(FileStorage, OneViewAtATime) {
  TempDir dir;
  dir.Write("map.bin", "mapped");
  CSLFileStorage file;
  ASSERT_TRUE(file.OpenA(dir.Win("map.bin").c_str(), SL_STORAGE_READ));
  // Read-only: the read-write mapping is refused and the read-only one is used.
  void* view = file.MapView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view), 6), "mapped");
  SL_EXPECT_FAIL(file.MapView(), SL_E_STORAGE_ALREADY_MAPPED);
  file.UnmapView();
  EXPECT_NE(file.MapView(), nullptr);
  file.Close();  // unmaps
  ASSERT_TRUE(file.OpenA(dir.Win("map.bin").c_str(), SL_STORAGE_READWRITE));
  auto* bytes = static_cast<char*>(file.MapView());
  ASSERT_NE(bytes, nullptr);
  bytes[0] = 'M';
  file.Close();
  EXPECT_EQ(dir.Read("map.bin"), "Mapped");
}

TEST(FileStorage, KeepHandleAndTemporaryFlags) {
  TempDir dir;
  CSLFileStorage file;
  ASSERT_TRUE(file.CreateA(dir.Win("temp.bin").c_str(), SL_STORAGE_TEMPORARY | SL_STORAGE_READWRITE));
  struct stat info;
  EXPECT_EQ(stat(dir.Host("temp.bin").c_str(), &info), 0);
  file.Close();
  EXPECT_NE(stat(dir.Host("temp.bin").c_str(), &info), 0);

  ASSERT_TRUE(file.CreateA(dir.Win("kept.bin").c_str(), SL_STORAGE_KEEP_HANDLE));
  HANDLE handle = file.GetHandle();
  file.Close();
  EXPECT_EQ(file.GetHandle(), handle);  // still the storage's, still open
  DWORD put = 0;
  EXPECT_TRUE(Api()->WriteFile(handle, "k", 1, &put, nullptr));
  EXPECT_TRUE(Api()->CloseHandle(handle));
}

TEST(FileStorage, ReplaceFileSwapsInTheNewFileOrLeavesTheOldOne) {
  TempDir dir;
  dir.Write("nuevo.tmp", "the new one");
  dir.Write("Pel\xC3\xAD" "cula.WMV", "the old one");
  const std::string target = dir.Win("Pel\xED" "cula.WMV");  // the program's 8-bit name
  EXPECT_TRUE(SLReplaceFileA(dir.Win("nuevo.tmp").c_str(), target.c_str()));
  EXPECT_EQ(dir.Read("Pel\xC3\xAD" "cula.WMV"), "the new one");
  EXPECT_FALSE(std::filesystem::exists(dir.Host("nuevo.tmp")));

  // A source that is not there: the target stays, and the system says why.
  SL_EXPECT_FAIL(SLReplaceFileA(dir.Win("nuevo.tmp").c_str(), target.c_str()), SL_E_STORAGE_WRITE);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(dir.Read("Pel\xC3\xAD" "cula.WMV"), "the new one");
  // A system without the call.
  SLPlatformHideExport("kernel32.dll", "MoveFileExW", true);
  dir.Write("otro.tmp", "x");
  SL_EXPECT_FAIL(SLReplaceFileA(dir.Win("otro.tmp").c_str(), target.c_str()), SL_E_ENTRY_MISSING);
  SLPlatformHideExport("kernel32.dll", "MoveFileExW", false);
  EXPECT_EQ(dir.Read("Pel\xC3\xAD" "cula.WMV"), "the new one");
}
