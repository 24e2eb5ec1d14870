#include "foundation/SLBaseEvent.h"

SL_IMPLEMENT_CLASS(CSLBaseEvent, CSLObject)
SL_IMPLEMENT_CLASS(CSLEventSourceDying, CSLBaseEvent)
