// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/Locale.h"
#include "platform/kernel32/Resource.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(GetSystemDefaultLCID),
    SL_EXPORT(GetUserDefaultLCID),
    SL_EXPORT(SLGetModuleImage),
};
}  // namespace

const SLPlatformExportGroup g_kernel32Resource = SLMakeExportGroup(kExports);
