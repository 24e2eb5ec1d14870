// Entry points of "user32.dll" in this group.
#include "platform/modules.h"

const SLPlatformExportGroup g_user32Text = {nullptr, 0};
