// Interim: the C library's malloc behind the allocator's entry points.
#include "foundation/SLPooledAlloc.h"

#include <cstdlib>
#include <malloc.h>

void* nedmalloc(u32 size) { return std::malloc(size < 20 ? 20 : size); }
void nedpfree(SLNedPool*, void* block) { std::free(block); }
void* nedprealloc(SLNedPool*, void* block, u32 size, u32) { return std::realloc(block, size < 20 ? 20 : size); }
u32 nedblksize(void* block) { return block ? u32(malloc_usable_size(block)) : 0; }
u32 SLPoolTrim() { return 0; }
void SLPoolThreadCleanup() {}
