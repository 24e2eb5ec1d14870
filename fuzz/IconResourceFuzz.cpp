// Reads the input as a module's resource image: finds icon groups and their images
// through the resource directory and decodes them. Every answer must stay inside the
// image and every icon made must have the size it claims.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzProgram.h"
#include "platform/kernel32/Resource.h"
#include "platform/user32/Icons.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::uintptr_t group : {1, 101, 102}) {
    const void* found = nullptr;
    DWORD foundSize = 0;
    if (SLFindImageResource(data, size, reinterpret_cast<LPCWSTR>(14), reinterpret_cast<LPCWSTR>(group), &found,
                            &foundSize))
      SLFuzzCheck(found >= data && static_cast<const std::uint8_t*>(found) + foundSize <= data + size);
    for (int asked : {0, 16}) {
      HICON icon = SLUser32LoadIconFromImage(data, size, reinterpret_cast<LPCWSTR>(group), asked, asked);
      if (!icon) continue;
      int width = 0, height = 0;
      std::vector<std::uint32_t> pixels;
      SLFuzzCheck(SLUser32GetIconPixels(icon, &width, &height, &pixels));
      SLFuzzCheck(width > 0 && width <= 256 && height > 0 && height <= 256 &&
                  pixels.size() == std::size_t(width) * std::size_t(height));
      SLFuzzCheck(DestroyIcon(icon));
    }
  }
  const void* found = nullptr;
  DWORD foundSize = 0;
  if (SLFindImageResource(data, size, u"ICONO", u"NOMBRE", &found, &foundSize))
    SLFuzzCheck(found >= data && static_cast<const std::uint8_t*>(found) + foundSize <= data + size);
  return 0;
}
