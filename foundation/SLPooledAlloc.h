// The pooled allocator under the memory manager: per-thread caches of small blocks
// in front of a pool of locked arenas. The framework always passes no pool (null),
// which means the one system pool.
#pragma once

#include "foundation/SLTypes.h"

struct SLNedPool;

void* nedmalloc(u32 size);
void nedpfree(SLNedPool* pool, void* block);
// flags: 0x8800 asks for address-space reservation with multiplier 8 (framework realloc).
void* nedprealloc(SLNedPool* pool, void* block, u32 size, u32 flags = 0x8800);
// Usable size of a block of this allocator.
u32 nedblksize(void* block);
// Gives free arena space back to the system; returns how many arenas released memory.
u32 SLPoolTrim();
// The calling thread's cache goes back to the arenas (framework thread exit).
void SLPoolThreadCleanup();
