// On-demand singletons: created under one registry by their first user, destroyed by
// priority after every static destructor has run.
#include "foundation/SLSingleton.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSync.h"

CSLBaseOODClass::~CSLBaseOODClass() = default;
bool CSLBaseOODClass::Initialize() { return true; }

void CSLBaseOODClass::DeletingDtor(u32 flags) {
  if (flags & 1)
    delete this;
  else
    this->~CSLBaseOODClass();
}

void SLDestroyInPlace(CSLBaseOODClass* object) {
  if (object) object->DeletingDtor(0);
}

namespace {

struct RegistryEntry {
  void** instance;  // the caller's static pointer; null: a free entry
  u32 priority;     // the 16-bit priority zero-extended, so -192 sorts before -1
  void* buffer;     // static storage of an in-place instance, or null
  SLOODDestroy destroy;
};

constexpr u32 kEntryStep = 32;

void DestroySingleton(CSLBaseOODClass* object, void* buffer, SLOODDestroy destroy) {
  if (buffer && destroy)
    destroy(object);
  else
    object->DeletingDtor(1);
}

void RegisterShutdown();

}  // namespace

class SLOODRegistry {
 public:
  static SLOODRegistry* Instance();
  static void Shutdown();

  bool GetOrCreate(void** instance, i16 priority, SLOODFactory factory, SLOODDestroy destroy, void* buffer);
  void DestroyAll();

 private:
  RegistryEntry* m_entries = nullptr;
  u32 m_capacity = 0;
  SLRecursiveFastLock m_lock;

  bool MakeRoom();
};

namespace {
std::atomic<SLOODRegistry*> g_registry{nullptr};
std::atomic<u32> g_registryFlag{0};
alignas(SLOODRegistry) unsigned char g_registryBuffer[sizeof(SLOODRegistry)];
std::atomic<bool> g_shutdownRegistered{false};

void TakeFlag(std::atomic<u32>& flag) {
  while (flag.exchange(1, std::memory_order_acquire) != 0) SLSleep(1);
}
void ReleaseFlag(std::atomic<u32>& flag) { flag.store(0, std::memory_order_release); }

// The registry's shutdown must run after every static destructor. Exit handlers run
// in the reverse order of their registration, and a static object's destructor is
// registered when its construction completes; so the shutdown is registered before
// any other static object of the program is built (the earliest initialisation
// priority), and again by the first registry use should that ever come first.
void RegisterShutdown() {
  if (!g_shutdownRegistered.exchange(true)) std::atexit(&SLOODRegistry::Shutdown);
}

struct ShutdownRegistrar {
  ShutdownRegistrar() { RegisterShutdown(); }
};
__attribute__((init_priority(101))) ShutdownRegistrar g_shutdownRegistrar;

}  // namespace

SLOODRegistry* SLOODRegistry::Instance() {
  SLOODRegistry* registry = g_registry.load(std::memory_order_acquire);
  if (registry) return registry;
  TakeFlag(g_registryFlag);
  registry = g_registry.load(std::memory_order_acquire);
  if (!registry) {
    RegisterShutdown();
    registry = new (g_registryBuffer) SLOODRegistry;
    registry->m_lock.sleepFlag = SLGetProcessorCount() > 1 ? 1 : 0;
    SLMemoryBarrier();
    g_registry.store(registry, std::memory_order_release);
  }
  ReleaseFlag(g_registryFlag);
  return registry;
}

void SLOODRegistry::Shutdown() {
  SLOODRegistry* registry = g_registry.load(std::memory_order_acquire);
  if (!registry) return;
  registry->DestroyAll();
  TakeFlag(g_registryFlag);
  SLHeapFree(registry->m_entries);
  registry->m_entries = nullptr;
  registry->m_capacity = 0;
  g_registry.store(nullptr, std::memory_order_release);
  // A registry built again by a later user gets its own shutdown.
  g_shutdownRegistered.store(false);
  ReleaseFlag(g_registryFlag);
}

bool SLOODRegistry::MakeRoom() {
  if (m_entries && m_entries[m_capacity - 1].instance == nullptr) return true;
  u64 bytes;
  if (!SLCheckedMul(u64(m_capacity) + kEntryStep, sizeof(RegistryEntry), &bytes) || !SLFitsU32(bytes)) return false;
  auto* grown = static_cast<RegistryEntry*>(m_entries ? SLHeapReAlloc(m_entries, u32(bytes)) : SLHeapAlloc(u32(bytes)));
  if (!grown) return false;
  std::memset(grown + m_capacity, 0, kEntryStep * sizeof(RegistryEntry));
  m_entries = grown;
  m_capacity += kEntryStep;
  return true;
}

bool SLOODRegistry::GetOrCreate(void** instance, i16 priority, SLOODFactory factory, SLOODDestroy destroy,
                                void* buffer) {
  CSLAutoFastRecursiveMutex guard(&m_lock);
  SLMemoryBarrier();
  if (std::atomic_ref<void*>(*instance).load(std::memory_order_acquire)) return SLSucceed(true);

  CSLBaseOODClass* object = nullptr;
  try {
    object = factory ? factory(buffer) : nullptr;
  } catch (...) {
    object = nullptr;
  }
  if (!object) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!object->Initialize()) {
    SLErrorKeeper keep;  // the code Initialize left is the caller's answer
    DestroySingleton(object, buffer, destroy);
    return false;
  }
  if (!MakeRoom()) {
    DestroySingleton(object, buffer, destroy);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }

  u32 key = u16(priority);
  u32 at = 0;
  while (at < m_capacity && m_entries[at].instance && m_entries[at].priority < key) ++at;
  std::memmove(m_entries + at + 1, m_entries + at, (m_capacity - at - 1) * sizeof(RegistryEntry));
  m_entries[at] = RegistryEntry{instance, key, buffer, destroy};

  SLMemoryBarrier();
  std::atomic_ref<void*>(*instance).store(object, std::memory_order_release);
  return SLSucceed(true);
}

void SLOODRegistry::DestroyAll() {
  for (;;) {
    RegistryEntry entry{};
    void* object = nullptr;
    {
      CSLAutoFastRecursiveMutex guard(&m_lock);
      if (!m_entries || !m_entries[0].instance) break;
      entry = m_entries[0];
      std::memmove(m_entries, m_entries + 1, (m_capacity - 1) * sizeof(RegistryEntry));
      m_entries[m_capacity - 1] = RegistryEntry{};
      SLMemoryBarrier();
      object = std::atomic_ref<void*>(*entry.instance).exchange(nullptr, std::memory_order_acq_rel);
    }
    // Outside the lock: a destructor may need (and re-create) another singleton,
    // which then lands in the array again and goes in a later pass.
    if (object) DestroySingleton(static_cast<CSLBaseOODClass*>(object), entry.buffer, entry.destroy);
  }
  SLSetLastError(SL_OK);
}

bool SLGetOODInstance(void** instance, i16 priority, SLOODFactory factory, SLOODDestroy destroy, void* buffer) {
  if (!instance) return SLFail(SL_E_INVALID_ARG, false);
  SLOODRegistry* registry = SLOODRegistry::Instance();
  return registry->GetOrCreate(instance, priority, factory, destroy, buffer);
}

// ---- processor features ---------------------------------------------------------------

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
