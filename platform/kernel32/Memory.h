// Virtual memory of the kernel32 stand-in: reservations of address space whose pages
// are committed and decommitted in place, as the pooled allocator and its growable
// direct mappings need. A reservation is an inaccessible anonymous mapping; committing
// makes a page range readable and writable, decommitting drops its contents. Failures
// set the system last error: 87 bad arguments, 487 an address outside any reservation,
// 8 no memory.
#pragma once

#include "platform/wintypes.h"

inline constexpr DWORD MEM_COMMIT = 0x1000;
inline constexpr DWORD MEM_RESERVE = 0x2000;
inline constexpr DWORD MEM_DECOMMIT = 0x4000;
inline constexpr DWORD MEM_RELEASE = 0x8000;
inline constexpr DWORD MEM_FREE = 0x10000;
inline constexpr DWORD MEM_PRIVATE = 0x20000;
inline constexpr DWORD MEM_TOP_DOWN = 0x100000;

inline constexpr DWORD PAGE_NOACCESS = 0x01;
inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD PAGE_READWRITE = 0x04;

inline constexpr DWORD ERROR_INVALID_ADDRESS = 487;

struct MEMORY_BASIC_INFORMATION {
  LPVOID BaseAddress;     // the queried address rounded down to its page
  LPVOID AllocationBase;  // start of the reservation holding it (null when free)
  DWORD AllocationProtect;
  SIZE_T RegionSize;      // bytes from BaseAddress on that share the same state
  DWORD State;            // MEM_COMMIT, MEM_RESERVE or MEM_FREE
  DWORD Protect;
  DWORD Type;             // MEM_PRIVATE for reservations, 0 for free space
};

// Reserve (MEM_RESERVE, optionally with MEM_COMMIT; MEM_TOP_DOWN is accepted) a new
// region at a free address (address null), or commit pages inside an existing
// reservation (MEM_COMMIT with an address). Null on failure.
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// MEM_RELEASE (size 0, the reservation's base) gives the whole reservation back;
// MEM_DECOMMIT returns the pages of a range (size 0: the whole reservation).
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);
// Describes the run of pages that starts at `address`; the bytes written or 0.
SIZE_T VirtualQuery(LPCVOID address, MEMORY_BASIC_INFORMATION* buffer, SIZE_T length);

// Moves the first `bytes` of reservation `from` (committed pages) to the start of
// reservation `to`, whose first pages must be uncommitted, without copying them (the
// kernel moves the pages), then releases `from`. FALSE with both unchanged when it cannot.
BOOL SLPlatformMovePages(LPVOID from, SIZE_T bytes, LPVOID to);

// The page size: the unit of commitment and of reservation addresses.
SIZE_T SLPlatformPageSize();
