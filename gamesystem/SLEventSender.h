// Event senders: a device carries a TSLEventSender as its second base, listeners
// register member functions on it, and Send delivers an event to all of them in
// registration order, synchronously, on the sending thread. One process-wide
// recursive lock (the event lock) guards every sender's list and every delivery.
//
// Deliveries are safe against what listeners do while they run:
// - a record removed during a delivery of its sender (its own or another's) is only
//   flagged; flagged records are skipped and unlinked when the outermost delivery of
//   that sender ends, so the walk's pointer to the following record stays valid;
// - a sender destroyed inside its own delivery hands its records to the delivery frame
//   on the stack of the running Send, which stops walking and frees them on its way out.
#pragma once

#include <cstring>
#include <new>

#include "foundation/SLBaseEvent.h"
#include "foundation/SLError.h"
#include "foundation/SLIntrusiveList.h"
#include "foundation/SLTypes.h"

// Empty base that marks every sender.
class CSLEventSenderBase {};

namespace SLInternals {

// Holds the event lock for one scope: {holder, held}. Released on the way out, normal
// or by an exception passing through.
class CSLEventLockHolder {
 public:
  CSLEventLockHolder();
  ~CSLEventLockHolder();
  bool IsHeld() const { return m_held; }
  CSLEventLockHolder(const CSLEventLockHolder&) = delete;
  CSLEventLockHolder& operator=(const CSLEventLockHolder&) = delete;

 private:
  bool m_held;
};

struct SLEventListLink : TSLListLink<SLEventListLink> {};

using SLPlainEventCallback = void (*)(void* sender, CSLBaseEvent* event, u32 user);

// One registration.
class CSLEventCallbackRecord : public SLEventListLink {
 public:
  CSLEventCallbackRecord() : SLEventListLink{{this, this}} {}
  virtual ~CSLEventCallbackRecord() = default;
  virtual void Invoke(void* sender, CSLBaseEvent*& event, u32 user) = 0;
  // 0: the listener object; 1: the address of the stored member-function pointer.
  virtual const void* GetTarget(u32 which) const = 0;
  virtual u32 GetMemberSize() const = 0;

  SLPlainEventCallback plainFunction = nullptr;  // honoured by Send; nothing registers one
  u32 user = 0;
  bool removed = false;  // flagged during a delivery, unlinked after it
};

struct SLEventDeliveryFrame;

// The list and delivery bookkeeping shared by every sender type.
class CSLEventSenderCore : private CSLEventSenderBase {
 public:
  CSLEventSenderCore();
  virtual ~CSLEventSenderCore();
  CSLEventSenderCore(const CSLEventSenderCore&) = delete;
  CSLEventSenderCore& operator=(const CSLEventSenderCore&) = delete;

 protected:
  // Takes a zero-filled record block from the framework allocator (error code set when
  // none) that the caller builds its record in.
  static void* AllocateRecord(u32 size);
  bool LinkRecord(CSLEventCallbackRecord* record);
  // Removes the records of `listener` (all of them for a null member; else those whose
  // member equals `member` over `memberSize` bytes, with `user` 0 or equal).
  bool RemoveRecords(const void* listener, const void* member, u32 memberSize, u32 user);
  void Deliver(void* sender, CSLBaseEvent* event);

  void* m_reportedSender;  // passed to listeners when not null

 private:
  friend struct SLEventDeliveryFrame;
  void Compact();
  static void FreeRecord(CSLEventCallbackRecord* record);

  SLEventListLink m_head;  // sentinel of the circular list
  SLEventDeliveryFrame* m_innermostDelivery;
  u32 m_flaggedRecords;  // removed during the running deliveries, not yet unlinked
};

template <class TListener, class TSender>
class TSLEventMemberCallback : public CSLEventCallbackRecord {
 public:
  using Member = void (TListener::*)(TSender* sender, CSLBaseEvent* event, u32 user);
  TSLEventMemberCallback(TListener* listener, Member member) : m_listener(listener), m_member(member) {}
  // A member inherited from a listener's second base is called on that base's part of
  // the listener; GCC's vptr check takes that adjusted pointer for the whole listener and
  // raises a false alarm, so the check is left out of this one call.
  __attribute__((no_sanitize("vptr"))) void Invoke(void* sender, CSLBaseEvent*& event, u32 userValue) override {
    (m_listener->*m_member)(static_cast<TSender*>(sender), event, userValue);
  }
  const void* GetTarget(u32 which) const override {
    return which == 0 ? static_cast<const void*>(m_listener) : static_cast<const void*>(&m_member);
  }
  u32 GetMemberSize() const override { return u32(sizeof(Member)); }

 private:
  TListener* m_listener;
  Member m_member;
};

}  // namespace SLInternals

// The sender of a device class TDevice (which derives from CSLObject first and from this
// second); listeners' members take (TDevice*, CSLBaseEvent*, u32 user).
template <class TDevice, class TEvent = CSLBaseEvent*>
class TSLEventSender : public SLInternals::CSLEventSenderCore {
 public:
  template <class TListener>
  using Member = void (TListener::*)(TDevice* sender, CSLBaseEvent* event, u32 user);

  TSLEventSender() = default;
  ~TSLEventSender() override = default;

  // Appends a registration (the same triple twice gives two registrations).
  // 0x80001001 null listener or member, 0x8001000b no event lock, 0x80000001 no memory.
  template <class TListener>
  bool AddCallback(TListener* listener, Member<TListener> member, u32 user) {
    SLInternals::CSLEventLockHolder lock;
    if (!listener || !member) return SLFail(SL_E_INVALID_ARG, false);
    if (!lock.IsHeld()) return SLFail(SL_E_LOCK_FAILED, false);
    using Record = SLInternals::TSLEventMemberCallback<TListener, TDevice>;
    void* block = AllocateRecord(u32(sizeof(Record)));
    if (!block) return false;
    auto* record = new (block) Record(listener, member);
    record->user = user;
    return LinkRecord(record);
  }

  // Removes every registration of `listener` (null member), or those of that member
  // with user value `user` (0: any). 0x80001001 null listener; 0x80010001 none removed.
  template <class TListener>
  bool RemoveCallback(TListener* listener, Member<TListener> member, u32 user) {
    if (!listener) return SLFail(SL_E_INVALID_ARG, false);
    // Member pointers are compared as stored, over their whole width.
    Member<TListener> stored = member;
    return RemoveRecords(listener, member ? &stored : nullptr, u32(sizeof(stored)), user);
  }

  // Delivers the event to every registration, in registration order.
  void Send(TEvent event) {
    Deliver(m_reportedSender ? m_reportedSender : static_cast<TDevice*>(this), event);
  }
};
