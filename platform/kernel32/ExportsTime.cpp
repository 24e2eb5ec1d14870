// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/Time.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kTimeExports[] = {
    SL_EXPORT(GetSystemTime),
    SL_EXPORT(GetLocalTime),
    SL_EXPORT(FileTimeToSystemTime),
};
}

const SLPlatformExportGroup g_kernel32Time = SLMakeExportGroup(kTimeExports);
