// Framework memory functions, byte blocks, sort and bisection search.
// Every block is freed with SLFree.
#pragma once

#include <cstddef>

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

// memcpy for the small copies of typed reads: up to 16 bytes are moved inline as two
// overlapping words, larger blocks go to memcpy. The blocks must not overlap.
inline void SLCopyBytes(void* dst, const void* src, size_t n) {
  auto* d = static_cast<u8*>(dst);
  auto* s = static_cast<const u8*>(src);
  if (n > 16) {
    __builtin_memcpy(d, s, n);
  } else if (n >= 8) {
    u64 a, b;
    __builtin_memcpy(&a, s, 8);
    __builtin_memcpy(&b, s + n - 8, 8);
    __builtin_memcpy(d, &a, 8);
    __builtin_memcpy(d + n - 8, &b, 8);
  } else if (n >= 4) {
    u32 a, b;
    __builtin_memcpy(&a, s, 4);
    __builtin_memcpy(&b, s + n - 4, 4);
    __builtin_memcpy(d, &a, 4);
    __builtin_memcpy(d + n - 4, &b, 4);
  } else {
    for (size_t i = 0; i < n; ++i) d[i] = s[i];
  }
}

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
