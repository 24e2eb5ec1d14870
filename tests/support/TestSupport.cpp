#include "tests/support/TestSupport.h"

#include "media/MediaClasses.h"

void SLTestRegisterClasses() { SLRegisterMediaClasses(); }
