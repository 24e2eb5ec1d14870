// The module's own resources. Our executables are ELF files: their resources are a
// resource-only PE image embedded at build time (see sl_embed_resources in CMake), so
// that the same resource reader serves module files and the running program.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// The resource image of `module` (null or the program's own handle). FALSE with system
// error 1813 (no resources) when the program carries none.
BOOL SLGetModuleImage(HMODULE module, const void** data, std::uint64_t* size);

// One resource of the module's image, found by type and name (each a number of 0xFFFF
// or less in the pointer, or a UTF-16 name compared without regard to ASCII case); the
// first language present. The bytes stay inside the image. FALSE with error 1813 (type),
// 1814 (name) or 1812 (damaged image) when there is none.
BOOL SLFindModuleResource(HMODULE module, LPCWSTR type, LPCWSTR name, const void** data, DWORD* size);
// The same lookup in a resource image that the caller holds (a module file's bytes).
BOOL SLFindImageResource(const void* image, std::uint64_t imageSize, LPCWSTR type, LPCWSTR name,
                         const void** data, DWORD* size);
