#include "gamesystem/SLEventSender.h"

#include "foundation/SLArray.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSync.h"

namespace SLInternals {

CSLEventLockHolder::CSLEventLockHolder() : m_held(SLEventManagerLock()) {}

CSLEventLockHolder::~CSLEventLockHolder() {
  if (m_held) SLEventManagerUnlock();
}

// One running delivery of one sender, on the stack of its Send. The frames of a sender
// form a chain from the innermost delivery outwards (a listener may send again).
struct SLEventDeliveryFrame {
  explicit SLEventDeliveryFrame(CSLEventSenderCore* sender)
      : sender(sender), outer(sender->m_innermostDelivery) {
    sender->m_innermostDelivery = this;
  }
  // Runs on the way out, normal or by an exception (the event lock is still held).
  ~SLEventDeliveryFrame() {
    if (sender) {
      sender->m_innermostDelivery = outer;
      if (!outer && sender->m_flaggedRecords) sender->Compact();
      return;
    }
    // The sender went during the delivery: the outermost frame owns its records.
    if (outer) return;
    while (orphans) {
      CSLEventCallbackRecord* record = orphans;
      orphans = record->next == record ? nullptr : static_cast<CSLEventCallbackRecord*>(record->next);
      CSLEventSenderCore::FreeRecord(record);
    }
  }
  CSLEventSenderCore* sender;  // null once the sender is destroyed
  SLEventDeliveryFrame* outer;
  CSLEventCallbackRecord* orphans = nullptr;  // records of a destroyed sender, null-ended
};

CSLEventSenderCore::CSLEventSenderCore()
    : m_reportedSender(nullptr), m_head{{&m_head, &m_head}}, m_innermostDelivery(nullptr), m_flaggedRecords(0) {}

CSLEventSenderCore::~CSLEventSenderCore() {
  SLErrorKeeper keeper;
  CSLEventLockHolder lock;
  if (m_innermostDelivery) {
    // Destroyed by a listener of its own delivery: the running Sends stop, and the
    // outermost one frees the records once no call of a record is on the stack.
    SLEventDeliveryFrame* outermost = m_innermostDelivery;
    for (SLEventDeliveryFrame* frame = m_innermostDelivery; frame; frame = frame->outer) {
      frame->sender = nullptr;
      outermost = frame;
    }
    CSLEventCallbackRecord* chain = nullptr;
    for (SLEventListLink* link : SLListWalkBack(&m_head)) {
      auto* record = static_cast<CSLEventCallbackRecord*>(link);
      record->next = chain ? chain : record;  // a record pointing at itself ends the chain
      chain = record;
    }
    outermost->orphans = chain;
  } else {
    for (SLEventListLink* link : SLListWalk(&m_head)) FreeRecord(static_cast<CSLEventCallbackRecord*>(link));
  }
  m_head.InitEmpty();
}

void* CSLEventSenderCore::AllocateRecord(u32 size) { return SLAllocZeroed(size); }

// Records go after deliveries too, which set no error code of their own.
void CSLEventSenderCore::FreeRecord(CSLEventCallbackRecord* record) {
  record->~CSLEventCallbackRecord();
  SLFreeKeepingError(record);
}

bool CSLEventSenderCore::LinkRecord(CSLEventCallbackRecord* record) {
  m_head.Append(record);
  return SLSucceed(true);
}

bool CSLEventSenderCore::RemoveRecords(const void* listener, const void* member, u32 memberSize, u32 user) {
  CSLEventLockHolder lock;
  bool removedAny = false;
  for (SLEventListLink* link : SLListWalk(&m_head)) {
    auto* record = static_cast<CSLEventCallbackRecord*>(link);
    bool matches = !record->plainFunction && !record->removed && record->GetTarget(0) == listener &&
                   (!member || (record->GetMemberSize() == memberSize &&
                                std::memcmp(record->GetTarget(1), member, memberSize) == 0 &&
                                (user == 0 || user == record->user)));
    if (matches) {
      removedAny = true;
      if (m_innermostDelivery) {
        record->removed = true;
        ++m_flaggedRecords;
      } else {
        record->Unlink();
        FreeRecord(record);
      }
    }
  }
  return removedAny ? SLSucceed(true) : SLFail(SL_E_NOT_FOUND, false);
}

void CSLEventSenderCore::Compact() {
  m_flaggedRecords = 0;
  for (SLEventListLink* link : SLListWalk(&m_head)) {
    auto* record = static_cast<CSLEventCallbackRecord*>(link);
    if (record->removed) {
      record->Unlink();
      FreeRecord(record);
    }
  }
}

void CSLEventSenderCore::Deliver(void* sender, CSLBaseEvent* event) {
  CSLEventLockHolder lock;
  SLEventDeliveryFrame frame(this);
  // The following record is taken before each call: a record appended by the last one
  // called is not reached in this delivery, one appended earlier is.
  for (SLEventListLink* link : SLListWalk(&m_head)) {
    auto* record = static_cast<CSLEventCallbackRecord*>(link);
    if (!record->removed) {
      if (record->plainFunction)
        record->plainFunction(sender, event, record->user);
      else
        record->Invoke(sender, event, record->user);
      if (!frame.sender) return;  // the sender is gone: nothing of it may be touched
    }
  }
}

}  // namespace SLInternals
