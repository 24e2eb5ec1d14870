// Interim: memory functions over the C library until the memory manager lands.
#include "foundation/SLMemory.h"

#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"

void* SLAllocRaw(u32 size) { return std::malloc(size ? size : 1); }
void SLFreeRaw(void* block) { std::free(block); }
void* SLReallocRaw(void* block, u32 size) { return std::realloc(block, size ? size : 1); }
void SLMemoryThreadCleanup() {}

void* SLAlloc(u32 size) {
  void* p = SLAllocRaw(size);
  SLSetLastError(p ? SL_OK : SL_E_OUT_OF_MEMORY);
  return p;
}

void SLFree(void* block) {
  SLFreeRaw(block);
  SLSetLastError(SL_OK);
}

void* SLRealloc(void* block, u32 size) {
  void* p = SLReallocRaw(block, size);
  SLSetLastError(p ? SL_OK : SL_E_OUT_OF_MEMORY);
  return p;
}

void* SLCalloc(u32 count, u32 size) {
  u64 total;
  if (!SLCheckedMul(count, size, &total) || !SLFitsU32(total)) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  return SLAllocZero(u32(total));
}

void* SLAllocZero(u32 size) {
  void* p = SLAlloc(size);
  if (p) std::memset(p, 0, size);
  return p;
}

void* SLMemSet(void* dst, int value, u32 n) { return std::memset(dst, value, n); }
void* SLMemCopy(void* dst, const void* src, u32 n) { return n ? std::memcpy(dst, src, n) : dst; }
void* SLMemMove(void* dst, const void* src, u32 n) { return n ? std::memmove(dst, src, n) : dst; }
int SLMemCompare(const void* a, const void* b, u32 n) {
  const u8* x = static_cast<const u8*>(a);
  const u8* y = static_cast<const u8*>(b);
  for (u32 i = 0; i < n; ++i)
    if (x[i] != y[i]) return int(x[i]) - int(y[i]);
  return 0;
}
