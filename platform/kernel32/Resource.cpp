#include "platform/kernel32/Resource.h"

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Modules.h"

// Defined by the object that sl_embed_resources generates; absent in programs without
// resources (weak references are null then).
extern "C" {
extern const unsigned char sl_module_resources_begin[] __attribute__((weak));
extern const unsigned char sl_module_resources_end[] __attribute__((weak));
}

namespace {
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
}  // namespace

BOOL SLGetModuleImage(HMODULE module, const void** data, std::uint64_t* size) {
  if (!data || !size) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *data = nullptr;
  *size = 0;
  if (module && module != GetModuleHandleA(nullptr)) {
    SLPlatformSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);  // other modules carry no image here
    return FALSE;
  }
  if (!sl_module_resources_begin || !sl_module_resources_end) {
    SLPlatformSetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  *data = sl_module_resources_begin;
  *size = std::uint64_t(sl_module_resources_end - sl_module_resources_begin);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}
