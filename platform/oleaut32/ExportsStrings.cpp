// Entry points of "oleaut32.dll" in this group: OLE Automation strings. A string is a
// block of a 32-bit byte length, the UTF-16 units and a terminating 0 unit; the handle
// points at the units.
#include <cstdlib>
#include <cstring>

#include "platform/modules.h"
#include "platform/toolbox.h"
#include "platform/wintext.h"

namespace {

BSTR SysAllocStringLen(const WCHAR* text, UINT length) {
  // The byte length must fit its 32-bit field.
  if (length > (0xFFFFFFFFu - 8) / 2) return nullptr;
  std::uint32_t bytes = length * 2;
  auto* block = static_cast<unsigned char*>(std::malloc(std::size_t(4) + bytes + 2));
  if (!block) return nullptr;
  std::memcpy(block, &bytes, 4);
  BSTR units = reinterpret_cast<BSTR>(block + 4);
  if (text)
    std::memcpy(units, text, bytes);
  else
    std::memset(units, 0, bytes);
  units[length] = 0;
  return units;
}

BSTR SysAllocString(const WCHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, UINT(SLPlatformTextLength(text)));
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - 4);
}

UINT SysStringLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - 4, 4);
  return bytes / 2;
}

const SLPlatformExport kExports[] = {SL_EXPORT(SysAllocString), SL_EXPORT(SysAllocStringLen),
                                     SL_EXPORT(SysFreeString), SL_EXPORT(SysStringLen)};

}  // namespace

const SLPlatformExportGroup g_oleaut32Strings = SLMakeExportGroup(kExports);
