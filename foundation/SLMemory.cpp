// The framework's memory functions over the memory-manager singleton, the byte-block
// functions, and the sort and bisection search with caller callbacks.
//
// One of the five core files (SLError, SLLibrary, SLMemory, SLSingleton, SLSync) whose
// implementations call each other: the error code sits in a TLS slot of the kernel table,
// binding and singletons report through the error code and take locks, the allocator is a
// singleton. Only these .cpp files include each other's headers; the headers stand alone.
#include "foundation/SLMemory.h"

#include "foundation/SLSort.h"

#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLPooledAlloc.h"
#include "foundation/SLSingleton.h"

namespace SLInternals {

// The heap itself, so it lives in a static buffer of the registry, and it goes
// nearly last at exit so that every other clean-up can still allocate and free.
class CMXMemoryManager : public CSLBaseOODClass {
 public:
  ~CMXMemoryManager() override {
#if !defined(SL_SYSTEM_ALLOCATOR)
    SLPoolTrim();  // free arena space goes back to the system; live blocks stay valid
#endif
  }

  void* Alloc(u32 size) {
    if (size == 0) size = 1;
#if defined(SL_SYSTEM_ALLOCATOR)
    return std::malloc(size);
#else
    return nedmalloc(size);
#endif
  }

  void Free(void* block) {
    if (!block) return;
#if defined(SL_SYSTEM_ALLOCATOR)
    std::free(block);
#else
    nedpfree(nullptr, block);
#endif
  }

  void* Realloc(void* block, u32 size) {
    if (!block) return Alloc(size);
    if (size == 0) {
      Free(block);
      return nullptr;
    }
#if defined(SL_SYSTEM_ALLOCATOR)
    return std::realloc(block, size);
#else
    return nedprealloc(nullptr, block, size);
#endif
  }
};

CMXMemoryManager* g_memoryManager = nullptr;

}  // namespace SLInternals

using SLInternals::CMXMemoryManager;

namespace {
CMXMemoryManager* Manager() {
  return SLGetStaticSingleton(SLInternals::g_memoryManager, SL_OOD_PRIORITY_MEMORY);
}
}  // namespace

void* SLAllocRaw(u32 size) {
  CMXMemoryManager* manager = Manager();
  if (!manager) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  return manager->Alloc(size);
}

void SLFreeRaw(void* block) {
  if (!block) return;
  CMXMemoryManager* manager = Manager();
  if (!manager) {
    SLSetLastError(SL_E_OUT_OF_MEMORY);
    return;
  }
  manager->Free(block);
}

void* SLReallocRaw(void* block, u32 size) {
  CMXMemoryManager* manager = Manager();
  if (!manager) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  return manager->Realloc(block, size);
}

void SLMemoryThreadCleanup() {
#if !defined(SL_SYSTEM_ALLOCATOR)
  SLPoolThreadCleanup();
#endif
}

void* SLAlloc(u32 size) {
  void* block = SLAllocRaw(size);
  SLSetLastError(block ? SL_OK : SL_E_OUT_OF_MEMORY);
  return block;
}

void SLFree(void* block) {
  SLFreeRaw(block);
  SLSetLastError(SL_OK);
}

void* SLRealloc(void* block, u32 size) {
  if (size == 0) {
    // A real minimal block, as SLAlloc(0) gives: callers read non-null as success and
    // may hand the result to SLFree or SLRealloc later.
    SLFreeRaw(block);
    return SLAlloc(0);
  }
  void* moved = SLReallocRaw(block, size);
  SLSetLastError(moved ? SL_OK : SL_E_OUT_OF_MEMORY);
  return moved;
}

void* SLCalloc(u32 count, u32 size) {
  u64 total;
  if (!SLCheckedMul(count, size, &total) || !SLFitsU32(total)) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  return SLAllocZero(u32(total));
}

void* SLAllocZero(u32 size) {
  void* block = SLAlloc(size);
  if (block) std::memset(block, 0, size ? size : 1);
  return block;
}

// ---- byte blocks --------------------------------------------------------------------

void* SLMemSet(void* dst, int value, u32 n) { return n ? std::memset(dst, value, n) : dst; }
void* SLMemCopy(void* dst, const void* src, u32 n) { return n ? std::memcpy(dst, src, n) : dst; }
void* SLMemMove(void* dst, const void* src, u32 n) { return n ? std::memmove(dst, src, n) : dst; }

int SLMemCompare(const void* a, const void* b, u32 n) {
  const u8* x = static_cast<const u8*>(a);
  const u8* y = static_cast<const u8*>(b);
  u32 i = 0;
  // Whole words first; the first differing word is then settled byte by byte.
  for (; i + 8 <= n; i += 8) {
    u64 wx, wy;
    std::memcpy(&wx, x + i, 8);
    std::memcpy(&wy, y + i, 8);
    if (wx != wy) break;
  }
  for (; i < n; ++i)
    if (x[i] != y[i]) return int(x[i]) - int(y[i]);
  return 0;
}

void SLMemSwap(void* a, void* b, u32 n) {
  if (!a || !b) {
    SLSetLastError(SL_E_INVALID_ARG);
    return;
  }
  if (a != b) {
    u8* x = static_cast<u8*>(a);
    u8* y = static_cast<u8*>(b);
    u8 chunk[64];
    while (n > 0) {
      u32 step = n < sizeof(chunk) ? n : u32(sizeof(chunk));
      std::memcpy(chunk, x, step);
      std::memcpy(x, y, step);
      std::memcpy(y, chunk, step);
      x += step;
      y += step;
      n -= step;
    }
  }
  SLSetLastError(SL_OK);
}

// ---- sort -------------------------------------------------------------------------------

namespace {

inline void SwapElements(u8* a, u8* b, u32 width) {
  if (a == b) return;
  u8 chunk[32];
  while (width >= sizeof(chunk)) {
    std::memcpy(chunk, a, sizeof(chunk));
    std::memcpy(a, b, sizeof(chunk));
    std::memcpy(b, chunk, sizeof(chunk));
    a += sizeof(chunk);
    b += sizeof(chunk);
    width -= u32(sizeof(chunk));
  }
  // The rest in words, then bytes: record widths are mostly multiples of 4 or 8.
  for (; width >= 8; width -= 8, a += 8, b += 8) {
    u64 t;
    std::memcpy(&t, a, 8);
    std::memcpy(a, b, 8);
    std::memcpy(b, &t, 8);
  }
  if (width >= 4) {
    u32 t;
    std::memcpy(&t, a, 4);
    std::memcpy(a, b, 4);
    std::memcpy(b, &t, 4);
    a += 4, b += 4, width -= 4;
  }
  while (width--) {
    u8 t = *a;
    *a++ = *b;
    *b++ = t;
  }
}

// SLQSort's element access: a width known only at run time.
struct RuntimeAccess {
  u32 width;
  SLCompareFunc compare;
  void* context;
  u32 Width() const { return width; }
  void Swap(u8* a, u8* b) const { SwapElements(a, b, width); }
  int Compare(const u8* a, const u8* b) const { return compare(a, b, context); }
};

}  // namespace

void SLQSort(void* base, u32 count, u32 width, SLCompareFunc compare, void* context) {
  if (!base) return (void)SLSetLastError(SL_E_NULL_DATA);
  if (width == 0 || !compare) return (void)SLSetLastError(SL_E_INVALID_ARG);
  SLSetLastError(SL_OK);
  if (count < 2) return;

  RuntimeAccess access{width, compare, context};
  sl_sort_detail::QuickSort(static_cast<u8*>(base), count, access);
}

void* SLBSearch(const void* base, const void* key, u32 count, u32 width, SLCompareFunc compare, void* context) {
  if (!base) return SLFail(SL_E_NULL_DATA, (void*)nullptr);
  if (width == 0 || !compare) return SLFail(SL_E_INVALID_ARG, (void*)nullptr);
  const u8* bytes = static_cast<const u8*>(base);
  // Element indices (signed, so that "one below the first" is representable).
  i64 lo = 0;
  i64 hi = i64(count) - 1;
  u64 num = count;
  while (lo <= hi) {
    u64 half = num / 2;
    if (half == 0) {
      if (num && compare(bytes + u64(lo) * width, key, context) == 0) {
        SLSetLastError(SL_OK);
        return const_cast<u8*>(bytes + u64(lo) * width);
      }
      break;
    }
    i64 mid = lo + i64((num & 1) ? half : half - 1);
    int result = compare(bytes + u64(mid) * width, key, context);
    if (result == 0) {
      SLSetLastError(SL_OK);
      return const_cast<u8*>(bytes + u64(mid) * width);
    }
    if (result > 0) {
      hi = mid - 1;
      num = (num & 1) ? half : half - 1;
    } else {
      lo = mid + 1;
      num = half;
    }
  }
  return SLFail(SL_E_NOT_FOUND, (void*)nullptr);
}
