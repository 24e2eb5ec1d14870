#include "tests/support/TestSupport.h"

#include "gamesystem/GameSystemClasses.h"

void SLTestRegisterClasses() { SLRegisterGameSystemClasses(); }
