// The per-thread error code, kept in one process-wide TLS index of the kernel table.
//
// One of the five core files (SLError, SLLibrary, SLMemory, SLSingleton, SLSync) whose
// implementations call each other: the error code sits in a TLS slot of the kernel table,
// binding and singletons report through the error code and take locks, the allocator is a
// singleton. Only these .cpp files include each other's headers; the headers stand alone.
#include "foundation/SLError.h"

#include <atomic>
#include <cstdint>

#include "foundation/SLLibrary.h"
#include "foundation/SLProcessor.h"
#include "foundation/SLSync.h"

namespace {

std::atomic<u32> g_errorIndex{TLS_OUT_OF_INDEXES};
std::atomic<u32> g_errorIndexFlag{0};

// Allocates the index once; false when none can be had (codes are then dropped).
bool AllocateErrorIndex() {
  // Bind first: the binder may itself report through here, which must not find the
  // spin flag taken by its own thread.
  if (!SLKernelTableIsBound() && !SLKernelTableLoad()) return false;
  while (g_errorIndexFlag.exchange(1, std::memory_order_acquire) != 0) SLSleep(1);
  if (g_errorIndex.load(std::memory_order_acquire) == TLS_OUT_OF_INDEXES) {
    u32 index = SLTlsAlloc();
    SLMemoryBarrier();
    g_errorIndex.store(index, std::memory_order_release);
  }
  g_errorIndexFlag.store(0, std::memory_order_release);
  return g_errorIndex.load(std::memory_order_acquire) != TLS_OUT_OF_INDEXES;
}

}  // namespace

bool SLSetLastError(u32 code) {
  u32 index = g_errorIndex.load(std::memory_order_acquire);
  if (index == TLS_OUT_OF_INDEXES) {
    if (!AllocateErrorIndex()) return false;
    index = g_errorIndex.load(std::memory_order_acquire);
  }
  return SLTlsSetValue(index, reinterpret_cast<void*>(std::uintptr_t(code))) != 0;
}

u32 SLGetLastError(bool reset) {
  u32 index = g_errorIndex.load(std::memory_order_acquire);
  if (index == TLS_OUT_OF_INDEXES) return 0;
  u32 code = u32(reinterpret_cast<std::uintptr_t>(SLTlsGetValue(index)));
  if (reset) SLTlsSetValue(index, nullptr);
  return code;
}
