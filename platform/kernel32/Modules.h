// Module loading of the stand-in "kernel32.dll": the registry of built-in modules
// (kernel32, user32, oleaut32, ...) whose entry points are this layer's own functions,
// and real shared libraries through the dynamic loader for every other name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

// Built-in names are compared without regard to ASCII case, with or without ".dll".
// Built-in modules are always loaded: loading one returns its handle and freeing it
// does nothing. Other names go to the dynamic loader (system error 126 when absent).
HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryW(LPCWSTR name);
// Null name: the program itself.
HMODULE GetModuleHandleA(LPCSTR name);
HMODULE GetModuleHandleW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);
// Exact lookup as the system does; ordinals (values up to 0xFFFF) find nothing here.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// The lookup the framework's binder uses: the entry called `name` (ASCII case ignored
// in built-in modules, exact in shared libraries), or null.
void* SLPlatformFindExport(HMODULE module, const char* name);
// True when the handle names one of the built-in modules.
bool SLPlatformIsBuiltinModule(HMODULE module);
// The file of a shared library whose handle this layer handed out (LoadLibrary,
// GetModuleHandle); *known is false for any other handle, which is never followed.
std::string SLPlatformLibraryPath(HMODULE module, bool* known);

// Test tooling: makes a built-in entry point look missing (or present again), as on
// a system that lacks it. Takes effect for lookups made afterwards.
void SLPlatformHideExport(const char* moduleName, const char* entryName, bool hidden);
// Test tooling: while enabled, file writes succeed for `bytes` more bytes in all and then
// fail with ERROR_DISK_FULL (a write that crosses the limit puts its first part down and
// reports the count it wrote), as on a disk that fills up. Disabled again with false.
void SLPlatformSetDiskFullAfter(bool enabled, std::uint64_t bytes = 0);
// Test tooling: the host directory that drive letters ("C:\") stand for, so that a walk of
// the disk can be tried on a small tree; null or "" gives "/" back.
void SLPlatformSetDriveRoot(const char* utf8Directory);
// Test tooling: the mounts table (the text of /proc/self/mounts) that decides which
// directories of listings are mount points a walk must not enter; null reads the real one.
void SLPlatformSetMountsTable(const char* text);
// Test tooling: the program's own file name (UTF-8) that GetModuleFileName reports for the
// program, so that a test can place "the program's directory" in a fixture; null or ""
// gives the real one back.
void SLPlatformSetProgramFileName(const char* utf8Path);

// Test tooling: while enabled, the monotonic clock behind QueryPerformanceCounter and
// timeGetTime reads the given time instead of the system's, so that callers binding by
// name and callers calling directly see the same fake time. Set it again to move it.
void SLPlatformSetTestClock(bool enabled, std::uint64_t nanoseconds = 0);
// The monotonic clock in nanoseconds (the test clock while it is enabled).
std::uint64_t SLPlatformMonotonicNs();

inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
