// The locale the stand-in reports, taken from the environment as the C library reads
// it (LC_ALL, then LC_MESSAGES, then LANG).
#pragma once

#include "platform/wintypes.h"

// The LCID of the environment's locale: "es_ES" is 0x0C0A, "es" 0x000A, "en_US" 0x0409.
// With no variable set the system's own language (Spanish, 0x0C0A); a locale this
// table does not know ("C", "POSIX", ...) gives 0, which callers take as "no answer".
LCID SLPlatformEnvironmentLCID();

LCID GetSystemDefaultLCID();
LCID GetUserDefaultLCID();
