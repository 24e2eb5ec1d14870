// Processor-feature detection through CPUID and the barriers that follow the features word.
#include "foundation/SLProcessor.h"

#include <atomic>

namespace {
std::atomic<u32> g_features{0};

#if defined(__x86_64__)
void Cpuid(u32 leaf, u32 regs[4]) {
  __asm__ volatile("cpuid" : "=a"(regs[0]), "=b"(regs[1]), "=c"(regs[2]), "=d"(regs[3]) : "a"(leaf), "c"(0));
}
#endif
}  // namespace

u32 SLDetectProcessorFeatures() {
  g_features.store(0, std::memory_order_relaxed);
  u32 word = 0;
#if defined(__x86_64__)
  // Every 64-bit processor of this family has CPUID, so the EFLAGS probe is not needed.
  u32 regs[4];
  Cpuid(0, regs);
  if (regs[0] >= 1) {
    Cpuid(1, regs);
    u32 family = (regs[0] >> 8) & 0xF;
    if (family == 0 || family == 7 || family == 15) word |= SL_CPU_FENCES;
    u32 edx = regs[3], ecx = regs[2];
    if (edx & (1u << 23)) word |= SL_CPU_MMX;
    if (edx & (1u << 25)) word |= SL_CPU_SSE;
    if (edx & (1u << 26)) word |= SL_CPU_SSE2;
    if (edx & (1u << 4)) word |= SL_CPU_TSC;
    if (edx & (1u << 15)) word |= SL_CPU_CMOV;
    if (ecx & (1u << 0)) word |= SL_CPU_SSE3;
    if (ecx & (1u << 19)) word |= SL_CPU_SSE41;
    Cpuid(0x80000000u, regs);
    if (regs[0] >= 0x80000001u) {
      Cpuid(0x80000001u, regs);
      if (regs[3] & (1u << 31)) word |= SL_CPU_3DNOW;
    }
  }
#endif
  g_features.store(word, std::memory_order_release);
  return 1;
}

u32 SLGetProcessorFeatures() { return g_features.load(std::memory_order_acquire); }
u32 SLHasMMX() { return SLGetProcessorFeatures() & SL_CPU_MMX; }
u32 SLHasTSC() { return SLGetProcessorFeatures() & SL_CPU_TSC; }
u32 SLHasCMOV() { return SLGetProcessorFeatures() & SL_CPU_CMOV; }
u32 SLHas3DNow() { return SLGetProcessorFeatures() & SL_CPU_3DNOW; }
u32 SLHasSSE() { return SLGetProcessorFeatures() & SL_CPU_SSE; }
u32 SLHasSSE2() { return SLGetProcessorFeatures() & SL_CPU_SSE2; }
u32 SLHasSSE3() { return SLGetProcessorFeatures() & SL_CPU_SSE3; }
u32 SLHasSSE41() { return SLGetProcessorFeatures() & SL_CPU_SSE41; }

bool SLHasCarrylessMultiply() {
#if defined(__x86_64__)
  static const bool s_present = [] {
    u32 regs[4];
    Cpuid(0, regs);
    if (regs[0] < 1) return false;
    Cpuid(1, regs);
    return (regs[2] & (1u << 1)) != 0;  // ECX bit 1: PCLMULQDQ
  }();
  return s_present;
#else
  return false;
#endif
}

bool SLHasAVX2() {
#if defined(__x86_64__)
  static const bool s_present = [] {
    __builtin_cpu_init();  // may run before the C library's own initialisers
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return s_present;
#else
  return false;
#endif
}

namespace {
// ThreadSanitizer does not model fences; a read-modify-write of one shared word orders
// the same way and is what it understands.
template <std::memory_order Order>
inline void Fence() {
#if defined(__SANITIZE_THREAD__)
  static std::atomic<u32> s_fenceWord{0};
  s_fenceWord.fetch_add(0, Order);
#else
  std::atomic_thread_fence(Order);
#endif
}
}  // namespace

void SLMemoryBarrier() {
  if (SLGetProcessorFeatures() & SL_CPU_FENCES) Fence<std::memory_order_seq_cst>();
}
void SLLoadBarrier() {
  if (SLGetProcessorFeatures() & SL_CPU_FENCES) Fence<std::memory_order_acquire>();
}
void SLStoreBarrier() {
  if (SLGetProcessorFeatures() & SL_CPU_FENCES) Fence<std::memory_order_release>();
}
