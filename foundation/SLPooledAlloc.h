// The pooled allocator under the memory manager: per-thread caches of small blocks
// in front of a pool of locked arenas. The framework always passes no pool (null),
// which means the one system pool.
#pragma once

#include "foundation/SLTypes.h"

struct SLNedPool;

// Flags of nedprealloc. Bits 8 to 14 give an address-space reservation amount for
// directly mapped blocks: with SL_NED_RESERVE_IS_MULTIPLIER the block reserves that many
// times its size, else 2^amount bytes; either way at least its size.
inline constexpr u32 SL_NED_ZERO_MEMORY = 0x1;
inline constexpr u32 SL_NED_RESERVE_IS_MULTIPLIER = 0x8000;
inline constexpr u32 SL_NED_RESERVE_MASK = 0x7F00;
inline constexpr u32 SL_NED_FRAMEWORK_REALLOC = 0x8800;  // reserve 8 times the size

void* nedmalloc(u32 size);
void nedpfree(SLNedPool* pool, void* block);
// flags: 0x8800 asks for address-space reservation with multiplier 8 (framework realloc).
void* nedprealloc(SLNedPool* pool, void* block, u32 size, u32 flags = 0x8800);
// Usable size of a block of this allocator.
u32 nedblksize(void* block);
// Gives free arena space and kept mappings back to the system; returns how many arenas
// released memory.
u32 SLPoolTrim();
// The calling thread's cache goes back to the arenas (framework thread exit).
void SLPoolThreadCleanup();

namespace SLInternals {
// State of the system pool for diagnostics: cache slots in use, whether the calling
// thread allocates through a cache, whether a block is a direct mapping, and the bytes
// the calling thread's cache holds.
u32 SLPoolCacheSlotsInUse();
bool SLPoolThreadHasCache();
bool SLPoolIsDirectMapping(void* block);
u64 SLPoolThreadCacheBytes();
}  // namespace SLInternals
