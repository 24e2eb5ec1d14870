// The module's own resources. Our executables are ELF files: their resources are a
// resource-only PE image embedded at build time (see sl_embed_resources in CMake), so
// that the same resource reader serves module files and the running program.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// The resource image of `module` (null or the program's own handle). FALSE with system
// error 1813 (no resources) when the program carries none.
BOOL SLGetModuleImage(HMODULE module, const void** data, std::uint64_t* size);
