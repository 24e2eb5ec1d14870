// Diagnostic text to the system's debug output.
#pragma once

#include "foundation/SLObject.h"

void SLDebugPrint(const char* text);
void SLDebugPrintNumber(u32 value);
