// Framework memory functions, byte blocks, sort and bisection search.
// Every block is freed with SLFree.
#pragma once

#include "foundation/SLTypes.h"

void* SLAlloc(u32 size);
void SLFree(void* block);
void* SLRealloc(void* block, u32 size);
void* SLCalloc(u32 count, u32 size);
void* SLAllocZero(u32 size);
inline void* SLAllocZeroed(u32 size) { return SLAllocZero(size); }

// Straight to the memory manager, without the error-code bookkeeping of the above.
void* SLAllocRaw(u32 size);
void SLFreeRaw(void* block);
void* SLReallocRaw(void* block, u32 size);

// Gives the calling thread's allocator cache back (framework thread exit).
void SLMemoryThreadCleanup();

void* SLMemSet(void* dst, int value, u32 n);
void* SLMemCopy(void* dst, const void* src, u32 n);
void* SLMemMove(void* dst, const void* src, u32 n);
int SLMemCompare(const void* a, const void* b, u32 n);
void SLMemSwap(void* a, void* b, u32 n);

using SLCompareFunc = int (*)(const void* a, const void* b, void* context);
void SLQSort(void* base, u32 count, u32 width, SLCompareFunc compare, void* context);
void* SLBSearch(const void* base, const void* key, u32 count, u32 width, SLCompareFunc compare,
                void* context);

// Checked size arithmetic for sizes that come from files or callers: false on overflow.
inline bool SLCheckedMul(u64 a, u64 b, u64* out) { return !__builtin_mul_overflow(a, b, out); }
inline bool SLCheckedAdd(u64 a, u64 b, u64* out) { return !__builtin_add_overflow(a, b, out); }
// Rounds up to a multiple of `unit` (a power of two or not); false on overflow.
inline bool SLCheckedRoundUp(u64 value, u64 unit, u64* out) {
  u64 sum;
  if (unit == 0 || __builtin_add_overflow(value, unit - 1, &sum)) return false;
  *out = sum - sum % unit;
  return true;
}
// True when a 64-bit size fits the framework's 32-bit size arguments.
inline bool SLFitsU32(u64 value) { return value <= 0xFFFFFFFFu; }
