#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/File.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Sync.h"
#include "platform/kernel32/Utf8.h"
#include "tests/foundation/ChildProcess.h"

TEST(Kernel32Tls, FreedIndexReadsEmptyWhenHandedOutAgain) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  int value;
  ASSERT_TRUE(TlsSetValue(index, &value));
  SetLastError(5);
  EXPECT_EQ(TlsGetValue(index), &value);
  EXPECT_EQ(GetLastError(), 0u);  // success clears, so a stored null is not a failure
  ASSERT_TRUE(TlsFree(index));
  EXPECT_FALSE(TlsFree(index));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DWORD again = TlsAlloc();
  EXPECT_EQ(again, index);  // the lowest free index
  EXPECT_EQ(TlsGetValue(again), nullptr);
  EXPECT_FALSE(TlsSetValue(TLS_MINIMUM_AVAILABLE, &value));
  TlsFree(again);
}

TEST(Kernel32Tls, ThreadExitHooksRunWhenTheThreadEnds) {
  std::atomic<int> ran{0};
  std::thread worker([&] {
    SLPlatformAtThreadExit([](void* counter) { ++*static_cast<std::atomic<int>*>(counter); }, &ran);
    EXPECT_EQ(ran, 0);
  });
  worker.join();
  EXPECT_EQ(ran, 1);
}

TEST(Kernel32Errors, LastErrorIsPerThread) {
  SetLastError(31);
  DWORD other = 99;
  std::thread([&] {
    other = GetLastError();
    SetLastError(7);
  }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 31u);
  EXPECT_EQ(SLPlatformGetLastError(), 31u);
}

TEST(Kernel32Modules, BuiltInNamesAndTheProgram) {
  HMODULE kernel32 = LoadLibraryA("KERNEL32.dll");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_TRUE(SLPlatformIsBuiltinModule(kernel32));
  EXPECT_EQ(GetModuleHandleA("kernel32"), kernel32);
  EXPECT_EQ(GetModuleHandleW(u"Kernel32.DLL"), kernel32);
  EXPECT_EQ(LoadLibraryW(u"kernel32.dll"), kernel32);
  EXPECT_NE(LoadLibraryA("user32.dll"), kernel32);
  EXPECT_TRUE(FreeLibrary(kernel32));
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  // The system's own lookup is exact; the binder's ignores case.
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(kernel32, "TlsAlloc")), reinterpret_cast<void*>(&TlsAlloc));
  EXPECT_EQ(GetProcAddress(kernel32, "tlsalloc"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(SLPlatformFindExport(kernel32, "tlsalloc"), reinterpret_cast<void*>(&TlsAlloc));
  EXPECT_EQ(SLPlatformFindExport(kernel32, reinterpret_cast<const char*>(3)), nullptr);
  EXPECT_EQ(LoadLibraryA("no-such-library.so"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(GetModuleHandleA("libnot-loaded-at-all.so.3"), nullptr);
}

TEST(Kernel32Modules, HiddenEntryLooksMissingUntilShownAgain) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  SLPlatformHideExport("kernel32.dll", "GetErrorMode", true);
  EXPECT_EQ(SLPlatformFindExport(kernel32, "GetErrorMode"), nullptr);
  SLPlatformHideExport("KERNEL32", "geterrormode", false);
  EXPECT_NE(SLPlatformFindExport(kernel32, "GetErrorMode"), nullptr);
}

TEST(Kernel32Modules, SharedLibraryPathAndEntries) {
  HMODULE zlib = LoadLibraryA("libz.so.1");
  ASSERT_NE(zlib, nullptr);
  EXPECT_FALSE(SLPlatformIsBuiltinModule(zlib));
  EXPECT_NE(GetProcAddress(zlib, "deflate"), nullptr);
  char path[1024];
  DWORD n = GetModuleFileNameA(zlib, path, sizeof(path));
  EXPECT_GT(n, 0u);
  EXPECT_NE(std::string(path).find("libz.so"), std::string::npos) << path;
  EXPECT_EQ(GetModuleHandleA("libz.so.1"), zlib);
  EXPECT_TRUE(FreeLibrary(zlib));
}

// A handle that names no module is refused, never followed.
TEST(Kernel32Modules, HandlesThatNameNoModuleAreRefused) {
  int notAModule[64] = {};
  for (HMODULE module : {reinterpret_cast<HMODULE>(notAModule), reinterpret_cast<HMODULE>(0x1234)}) {
    char narrow[64] = "x";
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(module, narrow, sizeof(narrow)), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_STREQ(narrow, "");
    char16_t wide[64] = {u'x'};
    EXPECT_EQ(GetModuleFileNameW(module, wide, 64), 0u);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(GetProcAddress(module, "deflate"), nullptr);
    EXPECT_EQ(SLPlatformFindExport(module, "deflate"), nullptr);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }

  // A library that only this layer loaded goes with its last free, and so does its handle.
  HMODULE gmp = LoadLibraryA("libgmpxx.so.4");
  ASSERT_NE(gmp, nullptr);
  EXPECT_EQ(LoadLibraryA("libgmpxx.so.4"), gmp);
  EXPECT_TRUE(FreeLibrary(gmp));
  char path[1024];
  EXPECT_GT(GetModuleFileNameA(gmp, path, sizeof(path)), 0u);  // still loaded once
  EXPECT_TRUE(FreeLibrary(gmp));
  EXPECT_EQ(GetModuleFileNameA(gmp, path, sizeof(path)), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_FALSE(FreeLibrary(gmp));

  // One the program was linked with stays, and so does its handle.
  HMODULE bzip2 = LoadLibraryA("libbz2.so.1.0");
  ASSERT_NE(bzip2, nullptr);
  EXPECT_TRUE(FreeLibrary(bzip2));
  EXPECT_GT(GetModuleFileNameA(bzip2, path, sizeof(path)), 0u);
  EXPECT_NE(GetProcAddress(bzip2, "BZ2_bzlibVersion"), nullptr);
}

TEST(Kernel32Process, ModuleFileNameInBothWidths) {
  std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  char narrow[4096];
  EXPECT_EQ(GetModuleFileNameA(nullptr, narrow, sizeof(narrow)), exe.size());
  EXPECT_EQ(std::string(narrow), exe);
  char16_t wide[4096];
  DWORD n = GetModuleFileNameW(nullptr, wide, 4096);
  EXPECT_EQ(n, exe.size());  // the build path is ASCII
  EXPECT_EQ(SLPlatformUtf16ToUtf8(wide), exe);
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, wide, 3), 3u);
  EXPECT_EQ(wide[2], 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// The program finds its data and the family's work beside its own file, whose folder
// moves under it in two ways. A family's folder renamed by hand: the program follows its
// file to where the folder went. A content refresh renames the family's folder aside,
// puts the refreshed one under its name and removes the old one: the program keeps the
// name it started under, so that its saves land in the refreshed folder. With the folder
// deleted it keeps that name too (where saves then fail and say so).
TEST(Kernel32Process, ModuleFileNameFollowsTheProgramsFolder) {
  namespace fs = std::filesystem;
  const TempDir dir;
  const fs::path program = dir.Host("familia/programa");
  fs::create_directory(dir.Host("familia"));
  fs::copy_file(fs::read_symlink("/proc/self/exe"), program);
  const std::string command = "SL_CHILD_TEST=1 '" + program.string() +
                              "' --gtest_filter=Kernel32Process.FolderMovesUnderChild >'" + dir.Host("log") + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << dir.Read("log");
  EXPECT_NE(dir.Read("log").find("CHILD-PASSED"), std::string::npos) << dir.Read("log");
}

TEST(Kernel32Process, FolderMovesUnderChild) {
  SL_CHILD_ONLY();
  namespace fs = std::filesystem;
  const std::string started = fs::read_symlink("/proc/self/exe").string();
  const fs::path folder = fs::path(started).parent_path();
  auto expectName = [](const std::string& expected) {
    char narrow[4096];
    EXPECT_EQ(GetModuleFileNameA(nullptr, narrow, sizeof(narrow)), expected.size());
    EXPECT_EQ(std::string(narrow), expected);
    char16_t wide[4096];
    EXPECT_GT(GetModuleFileNameW(nullptr, wide, 4096), 0u);
    EXPECT_EQ(SLPlatformUtf16ToUtf8(wide), expected);
  };
  expectName(started);

  // Renamed by hand, and moved on into another folder.
  const fs::path moved = folder.string() + "-movido", further = folder.parent_path() / "otra/familia";
  fs::rename(folder, moved);
  expectName((moved / "programa").string());
  fs::create_directory(folder.parent_path() / "otra");
  fs::rename(moved, further);
  expectName((further / "programa").string());
  fs::rename(further, folder);
  expectName(started);

  // The refresh's swap: the name holds while the old folder is aside and once it is gone.
  const fs::path aside = folder.string() + ".old";
  fs::rename(folder, aside);
  fs::create_directory(folder);
  expectName(started);
  fs::remove_all(aside);
  expectName(started);

  // Deleted: nothing to follow.
  fs::remove_all(folder);
  expectName(started);
  if (!::testing::Test::HasFailure()) SL_CHILD_DONE();
}

TEST(Kernel32Process, SystemFacts) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  EXPECT_EQ(info.dwAllocationGranularity, 0x10000u);
  EXPECT_GE(info.dwPageSize, 4096u);
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0C0A);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0C0A);
  EXPECT_FALSE(IsDebuggerPresent());
  UINT old = SetErrorMode(3);
  EXPECT_EQ(GetErrorMode(), 3u);
  SetErrorMode(old);
  auto filter = [](void*) -> LONG { return 1; };
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(filter);
  EXPECT_EQ(SetUnhandledExceptionFilter(previous), static_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(filter));
  EXPECT_NE(GetCurrentProcessId(), 0u);
  EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
}

TEST(Kernel32Heap, ZeroFillOnGrowthAndForeignHeaps) {
  HANDLE heap = GetProcessHeap();
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 10));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(block[i], 0);
  std::memset(block, 0xEE, 10);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 5000));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[9], 0xEE);
  EXPECT_EQ(block[4999], 0);
  EXPECT_TRUE(HeapFree(heap, 0, block));
  int notAHeap;
  EXPECT_EQ(HeapAlloc(&notAHeap, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Kernel32Text, Utf8AndUtf16RoundTrip) {
  const char16_t text[] = u"a\u00f1\u20ac\U0001F600z";
  std::string utf8 = SLPlatformUtf16ToUtf8(text);
  EXPECT_EQ(utf8, "a\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(SLPlatformUtf8ToUtf16(utf8.c_str()), std::u16string(text));
  EXPECT_EQ(SLPlatformUtf8ToUtf16("\xFF"), u"\uFFFD");
  const char16_t lone[] = {0xD800, u'x', 0};
  EXPECT_EQ(SLPlatformUtf16ToUtf8(lone), "\xEF\xBF\xBDx");
}

// The debug output in both widths, in a process started with SL_DEBUG=1.
TEST(Kernel32DebugChild, WritesBothWidths) {
  SL_CHILD_ONLY();
  OutputDebugStringA("Pantalla: construcci\xf3n, \x80 5\n");
  OutputDebugStringW(u"Ni\u00f1o \u20ac\n");
}

TEST(Kernel32Debug, OutputReachesTheTerminalInUtf8) {
  const SLChildResult child = SLRunChildTest("Kernel32DebugChild.WritesBothWidths", "SL_DEBUG=1");
  // The 8-bit text is the system code page's: "\xf3" is ó, "\x80" the euro sign.
  EXPECT_NE(child.output.find("Pantalla: construcci\xc3\xb3n, \xe2\x82\xac 5\n"), std::string::npos) << child.output;
  EXPECT_NE(child.output.find("Ni\xc3\xb1o \xe2\x82\xac\n"), std::string::npos) << child.output;
}

// A file-size limit fails a write as a full disk (the part that fits goes down) and the
// process goes on: its start-up set SIGXFSZ ignored. A handler someone installed stays.
TEST(Kernel32SizeLimitChild, WritesPastItFailAsAFullDisk) {
  SL_CHILD_ONLY();
  struct sigaction current {};
  ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, SIG_IGN);

  const TempDir dir;
  HANDLE file = CreateFileA(dir.Host("limitado").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string data(4096, 'x');
  DWORD done = 0;
  const BOOL wrote = WriteFile(file, data.data(), DWORD(data.size()), &done, nullptr);
  const DWORD error = GetLastError();
  DWORD doneAgain = 1;
  const BOOL wroteAgain = WriteFile(file, data.data(), 1, &doneAgain, nullptr);
  setrlimit(RLIMIT_FSIZE, &old);
  CloseHandle(file);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(error, ERROR_DISK_FULL);
  EXPECT_EQ(done, 1000u);
  EXPECT_FALSE(wroteAgain);
  EXPECT_EQ(doneAgain, 0u);
  EXPECT_EQ(dir.Read("limitado"), data.substr(0, 1000));

  struct sigaction handler {};
  handler.sa_handler = [](int) {};
  ASSERT_EQ(sigaction(SIGXFSZ, &handler, nullptr), 0);
  SLPlatformFailWritesPastTheSizeLimit();
  ASSERT_EQ(sigaction(SIGXFSZ, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, handler.sa_handler);
  if (!HasFailure()) SL_CHILD_DONE();
}

TEST(Kernel32SizeLimit, AProcessStartedWithTheSignalAtItsDefaultOrIgnoredLivesOn) {
  SL_EXPECT_CHILD_PASSES("Kernel32SizeLimitChild.WritesPastItFailAsAFullDisk", "env --default-signal=XFSZ");
  SL_EXPECT_CHILD_PASSES("Kernel32SizeLimitChild.WritesPastItFailAsAFullDisk", "env --ignore-signal=XFSZ");
}
