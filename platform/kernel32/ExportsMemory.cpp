// Entry points of "kernel32.dll" in this group.
#include "platform/modules.h"

const SLPlatformExportGroup g_kernel32Memory = {nullptr, 0};
