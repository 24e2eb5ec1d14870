// On-demand singletons: created under one registry by their first user, destroyed by
// priority after every static destructor has run.
//
// One of the five core files (SLError, SLLibrary, SLMemory, SLSingleton, SLSync) whose
// implementations call each other: the error code sits in a TLS slot of the kernel table,
// binding and singletons report through the error code and take locks, the allocator is a
// singleton. Only these .cpp files include each other's headers; the headers stand alone.
#include "foundation/SLSingleton.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLProcessor.h"
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
