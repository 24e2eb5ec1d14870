// On-demand singletons (created by their first user, destroyed by priority at exit),
// per-thread service objects in numbered slots.
#pragma once

#include <atomic>
#include <new>

#include "foundation/SLTypes.h"

class CSLBaseOODClass {
 public:
  CSLBaseOODClass() = default;
  virtual ~CSLBaseOODClass();
  void DeletingDtor(u32 flags);  // bit 0: also free the memory (heap instances)
  virtual bool Initialize();     // default: true
};

using SLOODFactory = CSLBaseOODClass* (*)(void* buffer);
using SLOODDestroy = void (*)(CSLBaseOODClass* object);

// Ensures *instance holds the singleton. Callers test the variable first.
bool SLGetOODInstance(void** instance, i16 priority, SLOODFactory factory, SLOODDestroy destroy,
                      void* buffer);
void SLDestroyInPlace(CSLBaseOODClass* object);  // DeletingDtor(0)

// Priorities of the framework's singletons (lowest destroyed first).
enum : i16 {
  SL_OOD_PRIORITY_DEVICE_LOADERS = -192,
  SL_OOD_PRIORITY_LOADERS = -48,
  SL_OOD_PRIORITY_MAINWINDOW_LOADER = -40,
  SL_OOD_PRIORITY_HELP_LOADER = -32,
  SL_OOD_PRIORITY_STR_API = -28,
  SL_OOD_PRIORITY_COMMON_LOCK = -24,
  SL_OOD_PRIORITY_TLS = -8,
  SL_OOD_PRIORITY_IMAGE_LOADER = -3,
  SL_OOD_PRIORITY_MEMORY = -2,
  SL_OOD_PRIORITY_DEBUG = -1,
};

// Typed access. The heap form creates the instance with new; the static form builds it
// in a static buffer of its own (for services that must not need the framework heap).
// Both return null (error code set) when the singleton cannot be had.
template <class T>
T* SLGetSingleton(T*& instance, i16 priority) {
  T* p = std::atomic_ref<T*>(instance).load(std::memory_order_acquire);
  if (p) return p;
  auto factory = [](void*) -> CSLBaseOODClass* { return new (std::nothrow) T(); };
  if (!SLGetOODInstance(reinterpret_cast<void**>(&instance), priority, factory, nullptr, nullptr))
    return nullptr;
  return std::atomic_ref<T*>(instance).load(std::memory_order_acquire);
}

template <class T>
T* SLGetStaticSingleton(T*& instance, i16 priority) {
  T* p = std::atomic_ref<T*>(instance).load(std::memory_order_acquire);
  if (p) return p;
  alignas(T) static unsigned char buffer[sizeof(T)];
  auto factory = [](void* b) -> CSLBaseOODClass* { return new (b) T(); };
  if (!SLGetOODInstance(reinterpret_cast<void**>(&instance), priority, factory, &SLDestroyInPlace,
                        buffer))
    return nullptr;
  return std::atomic_ref<T*>(instance).load(std::memory_order_acquire);
}

// Per-thread service objects. Each kind has one static slot variable.
class CSLBaseThreadData {
 public:
  CSLBaseThreadData() = default;
  virtual ~CSLBaseThreadData() = 0;
  void DeletingDtor(u32 flags);
  // Thread data lives on the process heap, zero-filled.
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;
};

struct SLThreadDataSlot {
  // Constant-initialised, so a slot is usable by static constructors of any file.
  constexpr SLThreadDataSlot() : index(0), spinFlag(0) {}
  ~SLThreadDataSlot();
  std::atomic<u32> index;     // 0 = not yet allocated
  std::atomic<u32> spinFlag;
};

using SLThreadDataFactory = CSLBaseThreadData* (*)();
CSLBaseThreadData* SLGetThreadData(SLThreadDataSlot* slot, SLThreadDataFactory factory);
CSLBaseThreadData* SLFindThreadData(SLThreadDataSlot* slot);

