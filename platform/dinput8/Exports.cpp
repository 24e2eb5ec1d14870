// Entry points of "dinput8.dll".
#include "platform/dinput8/DInput8.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kExports[] = {SL_EXPORT(DirectInput8Create)};
}  // namespace

const SLPlatformExportGroup g_dinput8Input = SLMakeExportGroup(kExports);
