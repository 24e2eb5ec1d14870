#include <gtest/gtest.h>

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

namespace {
std::string ExePath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }
}  // namespace

// ---- loading and lookup ------------------------------------------------------------------

TEST(Library, Kernel32UnderEveryNameForm) {
  HMODULE kernel32 = SLLoadLibrary(u"kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  for (const char16_t* name : {u"KERNEL32.DLL", u"Kernel32", u"kernel32.Dll"}) EXPECT_EQ(SLLoadLibrary(name), kernel32);
  EXPECT_NE(SLLoadLibrary(u"user32.dll"), nullptr);
  EXPECT_NE(SLLoadLibrary(u"OLEAUT32"), nullptr);
  EXPECT_EQ(SLLoadLibrary(u"kernel33.dll"), nullptr);
  EXPECT_EQ(SLLoadLibrary(u""), nullptr);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SLLoadLibrary(nullptr), nullptr);
  SLFreeLibrary(kernel32);  // built in: stays
  EXPECT_EQ(SLLoadLibrary(u"kernel32.dll"), kernel32);
}

TEST(Library, RealSharedLibraryGivesACallableEntry) {
  HMODULE zlib = SLLoadLibrary(u"libz.so.1");
  ASSERT_NE(zlib, nullptr);
  using VersionFunc = const char* (*)();
  auto version = reinterpret_cast<VersionFunc>(SLGetProcAddress(zlib, u"zlibVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(std::string(version()).substr(0, 2), "1.");
  using Crc32Func = unsigned long (*)(unsigned long, const unsigned char*, unsigned);
  auto crc32 = reinterpret_cast<Crc32Func>(SLGetProcAddress(zlib, u"crc32"));
  ASSERT_NE(crc32, nullptr);
  EXPECT_EQ(crc32(0, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926ul);
  EXPECT_EQ(SLGetProcAddress(zlib, u"noSuchEntry"), nullptr);
  SLFreeLibrary(zlib);
  EXPECT_EQ(SLLoadLibrary(u"libnot-there.so.9"), nullptr);
}

// ---- heap ---------------------------------------------------------------------------------

// ---- wrappers -------------------------------------------------------------------------------

TEST(LibraryWrappers, ModuleFileNameIsTheProgramAndTruncates) {
  std::string exe = ExePath();
  char buffer[4096];
  u32 n = SLGetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  EXPECT_EQ(n, exe.size());
  EXPECT_EQ(std::string(buffer), exe);
  EXPECT_EQ(SLGetLastError(), 0u);

  std::memset(buffer, 'x', sizeof(buffer));
  n = SLGetModuleFileNameA(nullptr, buffer, 5);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(std::string(buffer), exe.substr(0, 4));  // cut and terminated at size - 1
  EXPECT_EQ(SLGetLastError(), SL_E_BUFFER_TOO_SMALL);
  n = SLGetModuleFileNameA(nullptr, buffer, u32(exe.size()));  // no room for the terminator
  EXPECT_EQ(std::string(buffer), exe.substr(0, exe.size() - 1));
  EXPECT_EQ(SLGetLastError(), SL_E_BUFFER_TOO_SMALL);

  SL_EXPECT_FAIL(SLGetModuleFileNameA(nullptr, nullptr, 10), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(SLGetModuleFileNameA(nullptr, buffer, 0), SL_E_OUTPUT_SIZE_ZERO);
}

TEST(LibraryWrappers, ModuleFileNameOfAHandleThatNamesNoModule) {
  int notAModule[16] = {};
  char buffer[64] = "x";
  SL_EXPECT_FAIL(SLGetModuleFileNameA(reinterpret_cast<HMODULE>(notAModule), buffer, sizeof(buffer)), SL_E_SYSTEM);
  EXPECT_STREQ(buffer, "");
}

// ---- the first binding (each in a fresh process) --------------------------------------------

// The first binding of the kernel table happens once per process: each case below runs
// in a process of its own (eight first callers completing through one binding, a free
// before binding that does not bind, fall-backs for missing entries and for a missing
// debugger query, the longest name through the eight-bit entry).
TEST(LibraryBinding, EachCaseInAFreshProcess) {
  if (SLInChildProcess()) return;
  for (const char* child : {"EightFirstCallers", "FreeBeforeBinding", "MissingEntries", "MissingDebuggerQuery", "LongestName"})
    SL_EXPECT_CHILD_PASSES(std::string("LibraryBindingChild.") + child, "");
}

TEST(LibraryBindingChild, EightFirstCallers) {
  SL_CHILD_ONLY();
  ASSERT_FALSE(SLKernelTableIsBound());
  std::atomic<int> ready{0};
  std::atomic<int> right{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      ++ready;
      while (ready < 8) {
      }
      // Each first call goes through a different lazy slot.
      bool ok = false;
      switch (t % 4) {
        case 0: ok = SLGetSystemDefaultLangID() == 0x0C0A; break;
        case 1: ok = SLGetCurrentThreadId() != 0; break;
        case 2: ok = SLGetCurrentProcess() != nullptr; break;
        case 3: {
          void* block = SLHeapAlloc(8);
          ok = block != nullptr;
          SLHeapFree(block);
          break;
        }
      }
      if (ok) ++right;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(right, 8);
  EXPECT_EQ(SLKernelTableBindCount(), 1u);
  SL_CHILD_DONE();
}

TEST(LibraryBindingChild, FreeBeforeBinding) {
  SL_CHILD_ONLY();
  ASSERT_FALSE(SLKernelTableIsBound());
  SLFreeLibrary(reinterpret_cast<HMODULE>(0x1234));
  EXPECT_FALSE(SLKernelTableIsBound());
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  SL_CHILD_DONE();
}

TEST(LibraryBindingChild, MissingEntries) {
  SL_CHILD_ONLY();
  ASSERT_FALSE(SLKernelTableIsBound());
  // As on a system whose kernel32 lacks these entries.
  for (const char* entry : {"GetSystemDefaultLangID", "LoadLibraryW", "GetModuleFileNameA", "DuplicateHandle",
                            "GetErrorMode", "TerminateThread"})
    SLPlatformHideExport("kernel32", entry, true);
  SLSetSystemLastError(0);
  EXPECT_EQ(SLGetSystemDefaultLangID(), 0x409u);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_CALL_NOT_IMPLEMENTED);

  // Without LoadLibraryW the name goes through the 8-bit entry.
  HMODULE kernel32 = SLLoadLibrary(u"kernel32.dll");
  EXPECT_NE(kernel32, nullptr);
  EXPECT_NE(SLLoadLibrary(u"libz.so.1"), nullptr);

  // Without GetModuleFileNameA the path comes through the UTF-16 entry.
  char buffer[4096];
  EXPECT_GT(SLGetModuleFileNameA(nullptr, buffer, sizeof(buffer)), 0u);
  EXPECT_EQ(std::string(buffer), ExePath());
  EXPECT_EQ(SLGetLastError(), 0u);

  HANDLE target = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(SLDuplicateHandle(SLGetCurrentProcess(), SLGetCurrentThread(), SLGetCurrentProcess(), &target));
  EXPECT_EQ(target, nullptr);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_FALSE(SLTerminateThread(SLGetCurrentThread(), 0));
  EXPECT_EQ(SLGetSystemLastError(), ERROR_CALL_NOT_IMPLEMENTED);

  // The binder asked for quiet error handling; SetErrorMode was there.
  EXPECT_EQ(GetErrorMode(), 0x8003u);
  SL_CHILD_DONE();
}

// Without the entry point the debugger query still tells a traced process from an
// untraced one.
TEST(LibraryBindingChild, MissingDebuggerQuery) {
  SL_CHILD_ONLY();
  ASSERT_FALSE(SLKernelTableIsBound());
  SLPlatformHideExport("kernel32", "IsDebuggerPresent", true);
  EXPECT_FALSE(SLIsDebuggerPresent());
  ASSERT_TRUE(SLKernelTableIsBound());

  // A process of our own that this one traces answers through the same slot.
  pid_t traced = fork();
  ASSERT_GE(traced, 0);
  if (traced == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(3);
    _exit(SLIsDebuggerPresent() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(traced, &status, 0), traced);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  SL_CHILD_DONE();
}

// Through the 8-bit entry a name may use the whole 1024-byte buffer: 1023 characters.
TEST(LibraryBindingChild, LongestName) {
  SL_CHILD_ONLY();
  SLPlatformHideExport("kernel32", "LoadLibraryW", true);
  HMODULE zlib = SLLoadLibrary(u"libz.so.1");
  ASSERT_NE(zlib, nullptr);
  char target[4096];
  ASSERT_GT(GetModuleFileNameA(zlib, target, sizeof(target)), 0u);

  const TempDir temp;
  std::string dir = temp.Host();
  while (1022 - dir.size() > 250) dir += "/" + std::string(200, 'd');
  std::filesystem::create_directories(dir);
  const std::string link = dir + "/" + std::string(1022 - dir.size(), 'z');
  ASSERT_EQ(link.size(), 1023u);
  std::filesystem::create_symlink(target, link);
  const std::u16string wide(link.begin(), link.end());
  EXPECT_NE(SLLoadLibrary(wide.c_str()), nullptr);
  SL_CHILD_DONE();
}

TEST(LibraryFallbacks, AsciiOnlyConverters) {
  char narrow[16];
  EXPECT_EQ(SLWideCharToMultiByteFallback(0, 0, u"a\u00e9b", -1, narrow, sizeof(narrow), nullptr, nullptr), 3);
  EXPECT_STREQ(narrow, "ab");  // the character above 127 is dropped, not replaced
  EXPECT_EQ(SLWideCharToMultiByteFallback(0, 0, u"a\u00e9b", -1, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(SLWideCharToMultiByteFallback(0, 0, u"abcdef", 4, narrow, 3, nullptr, nullptr), 3);
  EXPECT_STREQ(narrow, "ab");  // target size - 1 bytes, then the terminator
  EXPECT_EQ(SLWideCharToMultiByteFallback(0, 0, nullptr, -1, narrow, 16, nullptr, nullptr), 0);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SLWideCharToMultiByteFallback(0, 0, u"ab", -1, nullptr, 4, nullptr, nullptr), 0);

  SLWChar wide[16];
  EXPECT_EQ(SLMultiByteToWideCharFallback(0, 0, "x\xE9y", -1, wide, 16), 3);
  EXPECT_EQ(std::u16string(wide), u"xy");
  EXPECT_EQ(SLMultiByteToWideCharFallback(0, 0, "", -1, wide, 16), 1);
  EXPECT_EQ(SLMultiByteToWideCharFallback(0, 0, "abc", 0, nullptr, 0), 1);
  EXPECT_EQ(SLMultiByteToWideCharFallback(0, 0, "abc", -1, nullptr, 0), 0);  // no size query
  EXPECT_EQ(SLGetSystemLastError(), ERROR_INVALID_PARAMETER);
}

TEST(LibraryFallbacks, LanguageErrorAndModuleName) {
  SLSetSystemLastError(0);
  EXPECT_EQ(SLGetLangIDFallback(), 0x409u);
  EXPECT_EQ(SLGetSystemLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  EXPECT_EQ(SLGetLastErrorFallback(), ERROR_CALL_NOT_IMPLEMENTED);
  char narrow[8] = "zzz";
  EXPECT_EQ(SLGetModuleFileNameAFallback(nullptr, narrow, 8), 0u);
  EXPECT_STREQ(narrow, "");
  SLWChar wide[8] = u"zzz";
  EXPECT_EQ(SLGetModuleFileNameWFallback(nullptr, wide, 8), 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(SLGetModuleFileNameAFallback(nullptr, nullptr, 8), 0u);
}

TEST(LibraryHeap, SizesAndFailures) {
  SL_EXPECT_FAIL(SLHeapAlloc(0), SL_E_OUT_OF_MEMORY);
  SL_EXPECT_FAIL(SLHeapAlloc(0xFFFFFFFFu), SL_E_OUT_OF_MEMORY);
  char* block = static_cast<char*>(SLHeapReAlloc(nullptr, 16));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(SLGetLastError(), 0u);
  std::strcpy(block, "kept");
  SL_EXPECT_FAIL(SLHeapReAlloc(block, 0), SL_E_INVALID_ARG);
  EXPECT_EQ(SLHeapReAlloc(block, 0xFFFFFFFFu), nullptr);
  EXPECT_STREQ(block, "kept");  // untouched by the failures
  block = static_cast<char*>(SLHeapReAlloc(block, 100000));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "kept");
  SLSetLastError(0x80020001u);
  SLHeapFree(block);
  SLHeapFree(nullptr);
  EXPECT_EQ(SLGetLastError(), 0x80020001u);  // sets no code
}

TEST(LibraryWrappers, LanguageTlsAndIdentity) {
  EXPECT_EQ(SLGetSystemDefaultLangID(), 0x0C0Au);
  u32 index = SLTlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  int value = 0;
  EXPECT_TRUE(SLTlsSetValue(index, &value));
  EXPECT_EQ(SLTlsGetValue(index), &value);
  void* seenElsewhere = &value;
  std::thread([&] { seenElsewhere = SLTlsGetValue(index); }).join();
  EXPECT_EQ(seenElsewhere, nullptr);
  EXPECT_TRUE(SLTlsFree(index));
  EXPECT_NE(SLGetCurrentThreadId(), 0u);
  u32 otherId = 0;
  std::thread([&] { otherId = SLGetCurrentThreadId(); }).join();
  EXPECT_NE(otherId, SLGetCurrentThreadId());
  EXPECT_FALSE(SLIsDebuggerPresent());
  u32 processors = SLGetProcessorCount();
  EXPECT_GE(processors, 1u);
  EXPECT_EQ(SLGetProcessorCount(), processors);
  HANDLE handles[1] = {nullptr};
  EXPECT_EQ(SLWaitForMultipleObjects(1, handles, false, 0), WAIT_FAILED);
}
