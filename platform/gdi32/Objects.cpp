// The GDI object table: handles are keys of this table, never pointers, so deleting a
// handle twice or one that was never made fails instead of freeing memory twice.
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/gdi32/Gdi32.h"
#include "platform/kernel32/Handles.h"
#include "platform/modules.h"

namespace {

struct GdiObject {
  SLGdiKind kind;
  void* data;
  void (*destroy)(void* data);
};

std::mutex g_lock;
std::unordered_map<std::uintptr_t, GdiObject> g_objects;
std::uintptr_t g_nextHandle = 0x30010;

}  // namespace

HGDIOBJ SLGdiRegisterObject(SLGdiKind kind, void* data, void (*destroy)(void* data)) {
  std::lock_guard<std::mutex> guard(g_lock);
  std::uintptr_t key = g_nextHandle;
  g_nextHandle += 0x10;
  g_objects[key] = GdiObject{kind, data, destroy};
  return reinterpret_cast<HGDIOBJ>(key);
}

void* SLGdiObjectData(HGDIOBJ object, SLGdiKind kind) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto found = g_objects.find(reinterpret_cast<std::uintptr_t>(object));
  return found != g_objects.end() && found->second.kind == kind ? found->second.data : nullptr;
}

bool SLGdiCopyObjectData(HGDIOBJ object, SLGdiKind kind, void* out, std::size_t size) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto found = g_objects.find(reinterpret_cast<std::uintptr_t>(object));
  if (found == g_objects.end() || found->second.kind != kind) return false;
  std::memcpy(out, found->second.data, size);
  return true;
}

BOOL DeleteObject(HGDIOBJ object) {
  constexpr std::uintptr_t kFirstStockObject = 0x30000, kLastStockObject = 0x3000F;
  const auto key = reinterpret_cast<std::uintptr_t>(object);
  if (key >= kFirstStockObject && key <= kLastStockObject) return TRUE;  // stock objects stay
  GdiObject taken;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_objects.find(key);
    if (found == g_objects.end()) {
      SLPlatformSetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    taken = found->second;
    g_objects.erase(found);
  }
  if (taken.destroy) taken.destroy(taken.data);
  return TRUE;
}

namespace {
const SLPlatformExport kExports[] = {SL_EXPORT(DeleteObject)};
}  // namespace

const SLPlatformExportGroup g_gdi32Objects = SLMakeExportGroup(kExports);
