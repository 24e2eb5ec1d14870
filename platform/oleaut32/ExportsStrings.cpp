// Entry points of "oleaut32.dll" in this group.
#include "platform/modules.h"

const SLPlatformExportGroup g_oleaut32Strings = {nullptr, 0};
