#include "tests/support/TestSupport.h"

#include "storage/StorageClasses.h"

void SLTestRegisterClasses() { SLRegisterStorageClasses(); }
