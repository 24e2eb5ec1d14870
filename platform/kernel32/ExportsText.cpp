// Entry points of "kernel32.dll" in this group.
#include "platform/kernel32/Text.h"
#include "platform/modules.h"

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(MultiByteToWideChar), SL_EXPORT(WideCharToMultiByte), SL_EXPORT(GetCPInfo),
    SL_EXPORT(IsDBCSLeadByteEx),    SL_EXPORT(GetStringTypeExW),    SL_EXPORT(LCMapStringA),
    SL_EXPORT(GetLocaleInfoA),      SL_EXPORT(GetLocaleInfoW),      SL_EXPORT(GetThreadLocale),
    SL_EXPORT(GetACP),              SL_EXPORT(GetOEMCP),
};
}  // namespace

const SLPlatformExportGroup g_kernel32Text = SLMakeExportGroup(kExports);
