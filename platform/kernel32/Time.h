// System time of the kernel32 stand-in: the clock as SYSTEMTIME records and the
// conversion of FILETIME (100-ns ticks since 1601-01-01 UTC) into a SYSTEMTIME.
#pragma once

#include "platform/wintypes.h"

void GetSystemTime(SYSTEMTIME* time);
void GetLocalTime(SYSTEMTIME* time);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
