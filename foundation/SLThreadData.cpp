// Per-thread service objects in numbered slots, kept by the TLS manager singleton.
// Each thread that stores an object gets a record (its object array, its id and a
// handle of its own); records of threads that have ended are swept now and then.
#include <atomic>
#include <cstring>
#include <new>

#include "foundation/SLDebug.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"
#include "foundation/SLThreadData.h"

CSLBaseThreadData::~CSLBaseThreadData() = default;

void CSLBaseThreadData::DeletingDtor(u32 flags) {
  if (flags & 1)
    delete this;
  else
    this->~CSLBaseThreadData();
}

void* CSLBaseThreadData::operator new(std::size_t size) noexcept {
  if (!SLFitsU32(size)) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  void* block = SLHeapAlloc(size ? u32(size) : 1);
  if (block) std::memset(block, 0, size);
  return block;
}

void CSLBaseThreadData::operator delete(void* block) noexcept { SLHeapFree(block); }

namespace SLInternals {

CMXTLSManager* g_tlsManager = nullptr;

bool CMXTLSManager::Initialize() {
  m_tlsIndex = SLTlsAlloc();
  if (m_tlsIndex == TLS_OUT_OF_INDEXES) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return true;
}

CMXTLSManager::~CMXTLSManager() {
  SLErrorKeeper keep;
  {
    SLCriticalSectionLock guard(&m_lock);
    while (!m_records.IsEmpty()) FreeRecord(m_records.next);
    SLHeapFree(m_slots);
    m_slots = nullptr;
    m_capacity = 0;
  }
  if (m_tlsIndex != TLS_OUT_OF_INDEXES) SLTlsFree(m_tlsIndex);
  m_tlsIndex = TLS_OUT_OF_INDEXES;
}

u32 CMXTLSManager::AllocSlot() {
  SLCriticalSectionLock guard(&m_lock);
  u32 slot = 0;
  if (m_hint < m_capacity && !m_slots[m_hint]) {
    slot = m_hint;
  } else {
    for (u32 i = 1; i < m_capacity; ++i)
      if (!m_slots[i]) {
        slot = i;
        break;
      }
  }
  if (slot == 0) {
    u64 bytes;
    if (!SLCheckedMul(u64(m_capacity) + kSlotStep, sizeof(u32), &bytes) || !SLFitsU32(bytes)) return 0;
    auto* grown = static_cast<u32*>(m_slots ? SLHeapReAlloc(m_slots, u32(bytes)) : SLHeapAlloc(u32(bytes)));
    if (!grown) return 0;
    std::memset(grown + m_capacity, 0, kSlotStep * sizeof(u32));
    slot = m_capacity ? m_capacity : 1;  // slot 0 is never handed out
    m_slots = grown;
    m_capacity += kSlotStep;
  }
  m_slots[slot] = 1;
  if (m_highWater < slot + 1) m_highWater = slot + 1;
  m_hint = slot + 1;
  return slot;
}

void CMXTLSManager::FreeSlot(u32 slot) {
  SLCriticalSectionLock guard(&m_lock);
  for (SLThreadRecord* record : SLListWalk(&m_records)) {
    if (slot >= record->objectCount) continue;
    CSLBaseThreadData* object =
        std::atomic_ref<CSLBaseThreadData*>(record->objects[slot]).exchange(nullptr, std::memory_order_acq_rel);
    if (object) object->DeletingDtor(1);
  }
  if (slot < m_capacity) m_slots[slot] = 0;
}

bool CMXTLSManager::SetThreadData(u32 slot, CSLBaseThreadData* object) {
  SLThreadRecord* record = OwnRecord();
  if (!object) {
    // Nothing to keep: clear an entry the record has; beyond its array there is none.
    if (record && slot < record->objectCount)
      std::atomic_ref<CSLBaseThreadData*>(record->objects[slot]).store(nullptr, std::memory_order_release);
    return true;
  }
  if (!record) {
    record = static_cast<SLThreadRecord*>(SLHeapAlloc(sizeof(SLThreadRecord)));
    if (!record) return false;
    std::memset(record, 0, sizeof(*record));
    record->InitEmpty();
    record->threadId = SLGetCurrentThreadId();
    HANDLE process = SLGetCurrentProcess();
    if (!SLDuplicateHandle(process, SLGetCurrentThread(), process, &record->thread)) {
      SLHeapFree(record);
      return false;
    }
    SLCriticalSectionLock guard(&m_lock);
    m_records.Prepend(record);
  }
  if (slot < record->objectCount) {
    std::atomic_ref<CSLBaseThreadData*>(record->objects[slot]).store(object, std::memory_order_release);
    return true;
  }
  // Grow to the highest slot handed out, under the lock: FreeSlot walks other
  // threads' arrays.
  SLCriticalSectionLock guard(&m_lock);
  u32 wanted = m_highWater > slot ? m_highWater : slot + 1;
  u64 bytes;
  if (!SLCheckedMul(wanted, sizeof(CSLBaseThreadData*), &bytes) || !SLFitsU32(bytes)) return false;
  auto* grown = static_cast<CSLBaseThreadData**>(record->objects ? SLHeapReAlloc(record->objects, u32(bytes))
                                                                 : SLHeapAlloc(u32(bytes)));
  if (!grown) return false;
  std::memset(grown + record->objectCount, 0, (wanted - record->objectCount) * sizeof(CSLBaseThreadData*));
  record->objects = grown;
  record->objectCount = wanted;
  SLTlsSetValue(m_tlsIndex, record);
  std::atomic_ref<CSLBaseThreadData*>(record->objects[slot]).store(object, std::memory_order_release);
  return true;
}

CSLBaseThreadData* CMXTLSManager::GetThreadData(u32 slot) {
  SLThreadRecord* record = OwnRecord();
  if (!record || slot >= record->objectCount) return nullptr;
  return std::atomic_ref<CSLBaseThreadData*>(record->objects[slot]).load(std::memory_order_acquire);
}

void CMXTLSManager::FreeRecord(SLThreadRecord* record) {
  for (u32 slot = 1; slot < record->objectCount; ++slot)
    if (record->objects[slot]) record->objects[slot]->DeletingDtor(1);
  SLHeapFree(record->objects);
  if (record->thread) SLCloseHandle(record->thread);
  record->Unlink();
  SLHeapFree(record);
}

void CMXTLSManager::SweepExitedThreads() {
  // Most lookups only count; every hundredth one walks the records.
  if (m_sweepCounter.fetch_add(1, std::memory_order_relaxed) + 1 < kSweepInterval) return;
  SLErrorKeeper keep;
  SLCriticalSectionLock guard(&m_lock);
  m_sweepCounter.store(0, std::memory_order_relaxed);
  // The calling thread is alive whatever the system says of it: a thread that calls exit()
  // has its thread-local storage taken down first and may look ended while the exit
  // handlers it runs still read its data (the window hooks, when the main window goes).
  const u32 self = SLGetCurrentThreadId();
  SLThreadRecord* record = m_records.next;
  while (record != &m_records) {
    if (record->threadId == self) {
      record = record->next;
      continue;
    }
    u32 exitCode = 0;
    bool ended = SLGetExitCodeThread(record->thread, &exitCode);
    if (ended || i32(SLGetLastError(false)) < 0) {
      FreeRecord(record);
      record = m_records.next;  // start again from the front
    } else {
      record = record->next;
    }
  }
}

}  // namespace SLInternals

using SLInternals::CMXTLSManager;

namespace {
CMXTLSManager* TlsManager(bool create) {
  CMXTLSManager* manager = std::atomic_ref<CMXTLSManager*>(SLInternals::g_tlsManager).load(std::memory_order_acquire);
  if (manager || !create) return manager;
  return SLGetStaticSingleton(SLInternals::g_tlsManager, SL_OOD_PRIORITY_TLS);
}

void TakeFlag(std::atomic<u32>& flag) {
  while (flag.exchange(1, std::memory_order_acquire) != 0) SLSleep(1);
}
void ReleaseFlag(std::atomic<u32>& flag) { flag.store(0, std::memory_order_release); }
}  // namespace

SLThreadDataSlot::~SLThreadDataSlot() {
  u32 slot = index.load(std::memory_order_acquire);
  CMXTLSManager* manager = TlsManager(false);
  if (slot && manager) {
    SLErrorKeeper keep;
    manager->FreeSlot(slot);
    SLDebugPrint("Slot ");
    SLDebugPrintNumber(slot);
    SLDebugPrint(" => Freed\n");
  }
  index.store(0, std::memory_order_release);
}

CSLBaseThreadData* SLGetThreadData(SLThreadDataSlot* slot, SLThreadDataFactory factory) {
  CMXTLSManager* manager = TlsManager(true);
  if (!manager) return SLFail(SL_E_OUT_OF_MEMORY, (CSLBaseThreadData*)nullptr);
  SLSetLastError(SL_OK);
  manager->SweepExitedThreads();

  if (slot->index.load(std::memory_order_acquire) == 0) {
    TakeFlag(slot->spinFlag);
    if (slot->index.load(std::memory_order_acquire) == 0) slot->index.store(manager->AllocSlot(), std::memory_order_release);
    ReleaseFlag(slot->spinFlag);
  }
  u32 index = slot->index.load(std::memory_order_acquire);
  if (index == 0) return SLFail(SL_E_OUT_OF_MEMORY, (CSLBaseThreadData*)nullptr);

  CSLBaseThreadData* object = manager->GetThreadData(index);
  if (!object) {
    u32 failure = SL_OK;
    TakeFlag(slot->spinFlag);
    object = manager->GetThreadData(index);
    if (!object) {
      object = factory ? factory() : nullptr;
      if (!object) {
        u32 code = SLGetLastError(false);
        failure = i32(code) < 0 ? code : SL_E_SYSTEM;
      } else if (!manager->SetThreadData(index, object)) {
        object->DeletingDtor(1);
        object = nullptr;
        failure = SL_E_OUT_OF_MEMORY;
      }
    }
    ReleaseFlag(slot->spinFlag);
    if (!object) return SLFail(failure, (CSLBaseThreadData*)nullptr);
  }
  SLSetLastError(SL_OK);
  return object;
}

CSLBaseThreadData* SLFindThreadData(SLThreadDataSlot* slot) {
  u32 index = slot->index.load(std::memory_order_acquire);
  if (index == 0) return nullptr;
  SLSetLastError(SL_OK);
  CMXTLSManager* manager = TlsManager(false);
  if (!manager) return nullptr;
  manager->SweepExitedThreads();
  return manager->GetThreadData(index);
}

SLInternals::CMXTLSManager* SLInternals::SLGetTLSManager() { return TlsManager(true); }
