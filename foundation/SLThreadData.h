// The TLS manager behind the thread-data slots (internal; the slots of SLSingleton.h
// are the interface).
#pragma once

#include <atomic>

#include "foundation/SLIntrusiveList.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"
#include "foundation/SLLibrary.h"
#include "platform/wintypes.h"

namespace SLInternals {

// Links itself into the manager's list of records (the manager's own is the sentinel).
struct SLThreadRecord : TSLListLink<SLThreadRecord> {
  u32 objectCount;
  CSLBaseThreadData** objects;  // indexed by slot; entries read by the owner without a lock
  u32 threadId;
  HANDLE thread;  // a handle of its own, to ask later whether the thread has ended
};

class CMXTLSManager : public CSLBaseOODClass {
 public:
  CMXTLSManager() {
    m_records.InitEmpty();
  }
  ~CMXTLSManager() override;
  bool Initialize() override;

  u32 AllocSlot();
  void FreeSlot(u32 slot);
  bool SetThreadData(u32 slot, CSLBaseThreadData* object);
  CSLBaseThreadData* GetThreadData(u32 slot);
  void SweepExitedThreads();

 private:
  static constexpr u32 kSlotStep = 32;
  static constexpr u32 kSweepInterval = 100;

  u32 m_capacity = 0;
  u32 m_hint = 1;
  u32 m_highWater = 0;
  u32* m_slots = nullptr;
  std::atomic<u32> m_sweepCounter{0};
  SLThreadRecord m_records{};  // sentinel of the circular list
  CSLCriticalSection m_lock;
  u32 m_tlsIndex = TLS_OUT_OF_INDEXES;

  SLThreadRecord* OwnRecord() const {
    return static_cast<SLThreadRecord*>(SLTlsGetValue(m_tlsIndex));
  }
  void FreeRecord(SLThreadRecord* record);
};

// The manager, created on first use (null with the error code set when it cannot be had).
CMXTLSManager* SLGetTLSManager();

}  // namespace SLInternals
