// The events that event senders deliver to their listeners.
#pragma once

#include "foundation/SLObject.h"

// Base of every event class; a listener tells the kinds apart by their class records.
class CSLBaseEvent : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseEvent)
 public:
  CSLBaseEvent() = default;
};

// Sent by a source when it is destroyed, so that listeners drop their pointers to it.
class CSLEventSourceDying : public CSLBaseEvent {
  SL_DECLARE_CLASS(CSLEventSourceDying)
 public:
  CSLEventSourceDying() = default;
};
