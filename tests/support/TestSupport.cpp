#include "tests/support/TestSupport.h"

#include "image/ImageClasses.h"

void SLTestRegisterClasses() { SLRegisterImageClasses(); }
