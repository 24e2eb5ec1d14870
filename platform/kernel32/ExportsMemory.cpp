// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/Memory.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kMemoryExports[] = {
    SL_EXPORT(VirtualAlloc),
    SL_EXPORT(VirtualFree),
    SL_EXPORT(VirtualQuery),
};
}  // namespace

const SLPlatformExportGroup g_kernel32Memory = SLMakeExportGroup(kMemoryExports);
