#include "platform/kernel32/Modules.h"

#include <dlfcn.h>

#include <link.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Utf8.h"
#include "platform/modules.h"

namespace {

struct BuiltinModule {
  const char* name;  // without ".dll"; other extensions stay ("hhctrl.ocx")
  const SLPlatformExportGroup* const* groups;
  std::size_t groupCount;
};

const SLPlatformExportGroup* const kKernel32Groups[] = {
    &g_kernel32Core, &g_kernel32Sync,     &g_kernel32Text,   &g_kernel32File,
    &g_kernel32Time, &g_kernel32Resource, &g_kernel32Memory, &g_kernel32FileMove,
};
const SLPlatformExportGroup* const kUser32Groups[] = {&g_user32Window, &g_user32Text, &g_user32Icons,
                                                     &g_user32Desktop};
const SLPlatformExportGroup* const kOleaut32Groups[] = {&g_oleaut32Strings};
const SLPlatformExportGroup* const kGdi32Groups[] = {&g_gdi32Objects, &g_gdi32Palette, &g_gdi32Bitmaps,
                                                    &g_gdi32DeviceContext};
const SLPlatformExportGroup* const kWinmmGroups[] = {&g_winmmTime};
const SLPlatformExportGroup* const kDinput8Groups[] = {&g_dinput8Input};
const SLPlatformExportGroup* const kDsoundGroups[] = {&g_dsoundPlayback, &g_dsoundCapture};
const SLPlatformExportGroup* const kMsvfw32Groups[] = {&g_msvfw32Decompress};
const SLPlatformExportGroup* const kMsacm32Groups[] = {&g_msacm32Streams};
const SLPlatformExportGroup* const kD3d9Groups[] = {&g_d3d9Device};
const SLPlatformExportGroup* const kHhctrlGroups[] = {&g_hhctrlHelp};
const SLPlatformExportGroup* const kWmvcoreGroups[] = {&g_wmvcoreWriter};
const SLPlatformExportGroup* const kShell32Groups[] = {&g_shell32Folders};

template <std::size_t N>
constexpr BuiltinModule MakeModule(const char* name, const SLPlatformExportGroup* const (&groups)[N]) {
  return {name, groups, N};
}

// A module handle of a built-in module is the address of its record here.
const BuiltinModule kBuiltins[] = {
    MakeModule("kernel32", kKernel32Groups),
    MakeModule("user32", kUser32Groups),
    MakeModule("oleaut32", kOleaut32Groups),
    MakeModule("gdi32", kGdi32Groups),
    MakeModule("winmm", kWinmmGroups),
    MakeModule("dinput8", kDinput8Groups),
    MakeModule("dsound", kDsoundGroups),
    MakeModule("msvfw32", kMsvfw32Groups),
    MakeModule("msacm32", kMsacm32Groups),
    MakeModule("d3d9", kD3d9Groups),
    MakeModule("hhctrl.ocx", kHhctrlGroups),
    MakeModule("wmvcore", kWmvcoreGroups),
    MakeModule("shell32", kShell32Groups),
};

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool EqualNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  return *a == *b;
}

// "KERNEL32.DLL", "kernel32" and "Kernel32.dll" all name the built-in kernel32.
const BuiltinModule* FindBuiltin(const char* name) {
  std::string plain(name);
  if (plain.size() > 4 && EqualNoCase(plain.c_str() + plain.size() - 4, ".dll")) plain.resize(plain.size() - 4);
  for (const BuiltinModule& module : kBuiltins)
    if (EqualNoCase(plain.c_str(), module.name)) return &module;
  return nullptr;
}

const BuiltinModule* AsBuiltin(HMODULE module) {
  for (const BuiltinModule& builtin : kBuiltins)
    if (module == static_cast<const void*>(&builtin)) return &builtin;
  return nullptr;
}

struct HiddenExports {
  std::mutex lock;
  std::set<std::string> names;  // "MODULE!ENTRY", upper case
};
HiddenExports& Hidden() {
  static HiddenExports* hidden = new HiddenExports;  // never destroyed: used up to the end
  return *hidden;
}
std::atomic<bool> g_anyHidden{false};

std::string HiddenKey(const char* module, const char* entry) {
  std::string key;
  for (const char* p = module; *p; ++p) key += FoldAscii(*p);
  key += '!';
  for (const char* p = entry; *p; ++p) key += FoldAscii(*p);
  return key;
}

void* FindInBuiltin(const BuiltinModule* module, const char* name, bool ignoreCase) {
  for (std::size_t g = 0; g < module->groupCount; ++g) {
    const SLPlatformExportGroup* group = module->groups[g];
    for (std::size_t i = 0; i < group->count; ++i) {
      const char* exportName = group->exports[i].name;
      bool same = ignoreCase ? EqualNoCase(exportName, name) : std::strcmp(exportName, name) == 0;
      if (!same) continue;
      if (g_anyHidden.load(std::memory_order_acquire)) {
        HiddenExports& hidden = Hidden();
        std::lock_guard<std::mutex> guard(hidden.lock);
        if (hidden.names.count(HiddenKey(module->name, exportName))) return nullptr;
      }
      return group->exports[i].address;
    }
  }
  return nullptr;
}

bool IsOrdinal(const char* name) { return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF; }

// Shared libraries whose handles this layer handed out. The dynamic loader follows any
// handle it is given as a pointer, so a handle is looked up here first: a made-up or
// freed one is refused instead of being followed.
struct KnownLibraries {
  std::mutex lock;
  std::map<void*, unsigned> loads;  // handle -> loads through LoadLibrary not yet freed
};
KnownLibraries& Known() {
  static KnownLibraries* known = new KnownLibraries;  // never destroyed: used up to the end
  return *known;
}

void RememberLibrary(void* handle, unsigned loads) {
  KnownLibraries& known = Known();
  std::lock_guard<std::mutex> guard(known.lock);
  known.loads[handle] += loads;
}

bool IsKnownLibrary(HMODULE module) {
  KnownLibraries& known = Known();
  std::lock_guard<std::mutex> guard(known.lock);
  return known.loads.count(module) != 0;
}

}  // namespace

std::string SLPlatformLibraryPath(HMODULE module, bool* known) {
  *known = false;
  if (!module || !IsKnownLibrary(module)) return std::string();
  *known = true;
  struct link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) return map->l_name;
  return std::string();
}

bool SLPlatformIsBuiltinModule(HMODULE module) { return AsBuiltin(module) != nullptr; }

void SLPlatformHideExport(const char* moduleName, const char* entryName, bool hidden) {
  const BuiltinModule* module = FindBuiltin(moduleName);
  if (!module || !entryName) return;
  HiddenExports& set = Hidden();
  std::lock_guard<std::mutex> guard(set.lock);
  std::string key = HiddenKey(module->name, entryName);
  if (hidden)
    set.names.insert(key);
  else
    set.names.erase(key);
  g_anyHidden.store(!set.names.empty(), std::memory_order_release);
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (const BuiltinModule* module = FindBuiltin(name)) return const_cast<BuiltinModule*>(module);
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    SLPlatformSetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  RememberLibrary(handle, 1);
  return handle;
}

HMODULE LoadLibraryW(LPCWSTR name) {
  if (!name || !*name) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryA(SLPlatformUtf16ToUtf8(name).c_str());
}

HMODULE GetModuleHandleA(LPCSTR name) {
  if (!name) {
    static void* self = dlopen(nullptr, RTLD_LAZY);
    return self;
  }
  if (const BuiltinModule* module = FindBuiltin(name)) return const_cast<BuiltinModule*>(module);
  // Loaded already? Asking without loading still takes a reference; give it back.
  void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) {
    SLPlatformSetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  dlclose(handle);
  RememberLibrary(handle, 0);
  return handle;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (!name) return GetModuleHandleA(nullptr);
  return GetModuleHandleA(SLPlatformUtf16ToUtf8(name).c_str());
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (AsBuiltin(module) || module == GetModuleHandleA(nullptr)) return TRUE;
  KnownLibraries& known = Known();
  bool unknownPath = false;
  std::string path = SLPlatformLibraryPath(module, &unknownPath);
  {
    std::lock_guard<std::mutex> guard(known.lock);
    auto found = known.loads.find(module);
    if (found == known.loads.end()) {
      SLPlatformSetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    // Only asked for by GetModuleHandle: nothing loaded through here to give back.
    if (found->second == 0) return TRUE;
    --found->second;
  }
  if (dlclose(module) != 0) {
    RememberLibrary(module, 1);
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A library that others still hold (or that the program was linked with) stays loaded,
  // and so does its handle; one that went is forgotten.
  void* again = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (again) dlclose(again);
  std::lock_guard<std::mutex> guard(known.lock);
  auto found = known.loads.find(module);
  if (found != known.loads.end() && found->second == 0 && again != module) known.loads.erase(found);
  return TRUE;
}

void* SLPlatformFindExport(HMODULE module, const char* name) {
  if (!module || !name || IsOrdinal(name)) return nullptr;
  if (const BuiltinModule* builtin = AsBuiltin(module)) return FindInBuiltin(builtin, name, true);
  if (module != GetModuleHandleA(nullptr) && !IsKnownLibrary(module)) return nullptr;
  return dlsym(module, name);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  void* address = nullptr;
  if (module && name && !IsOrdinal(name)) {
    if (const BuiltinModule* builtin = AsBuiltin(module))
      address = FindInBuiltin(builtin, name, false);
    else if (module == GetModuleHandleA(nullptr) || IsKnownLibrary(module))
      address = dlsym(module, name);
  }
  if (!address) SLPlatformSetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<FARPROC>(address);
}
