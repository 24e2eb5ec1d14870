// Icon groups of the program's resources. A group (type 14) lists its images with their
// sizes and resource ids; each image (type 3) is a DIB of the icon's colours (twice the
// height in its header) followed by the 1-bit AND mask, or a whole PNG file, which the
// display bridge does not decode and so is passed over.
#include "platform/user32/Icons.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Resource.h"
#include "platform/modules.h"
#include "platform/toolbox.h"
#include "platform/user32/WindowSystem.h"

namespace {

constexpr DWORD ERROR_INVALID_ICON_HANDLE = 1402;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr std::uintptr_t kIconGroupType = 14, kIconImageType = 3;

std::mutex g_lock;
std::unordered_map<std::uintptr_t, SDL_Surface*> g_icons;
std::uintptr_t g_nextIcon = 0x40010;
std::map<HWND, std::pair<HICON, HICON>> g_windowIcons;  // {small, big}


struct DibShape {
  int width = 0, height = 0, bitCount = 0;
};

// The shape of an image entry's DIB; false for PNG entries and for DIBs this reader
// does not take (compressed, or of an unusual depth).
bool ReadDibShape(const unsigned char* data, DWORD size, DibShape* shape) {
  if (size < 40 || SLPlatformLoadLE32(data) < 40 || SLPlatformLoadLE32(data) > size) return false;
  std::int32_t width = std::int32_t(SLPlatformLoadLE32(data + 4)), height = std::int32_t(SLPlatformLoadLE32(data + 8));
  int bitCount = int(SLPlatformLoadLE16(data + 14));
  if (SLPlatformLoadLE32(data + 16) != 0) return false;  // only uncompressed colour data
  if (width < 1 || width > 256 || height < 2 || height > 512) return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
  *shape = DibShape{width, height / 2, bitCount};
  return true;
}

// Decodes the DIB into a surface; null when its data is cut short.
SDL_Surface* DecodeDib(const unsigned char* data, DWORD size) {
  DibShape shape;
  if (!ReadDibShape(data, size, &shape)) return nullptr;
  const std::uint64_t headerSize = SLPlatformLoadLE32(data);
  std::uint64_t paletteCount = 0;
  if (shape.bitCount <= 8) {
    std::uint64_t used = SLPlatformLoadLE32(data + 32), full = 1ull << shape.bitCount;
    paletteCount = used && used < full ? used : full;
  }
  const std::uint64_t colourStride = (std::uint64_t(shape.width) * shape.bitCount + 31) / 32 * 4;
  const std::uint64_t maskStride = (std::uint64_t(shape.width) + 31) / 32 * 4;
  const std::uint64_t colours = headerSize + 4 * paletteCount;
  const std::uint64_t mask = colours + colourStride * shape.height;
  if (mask > size) return nullptr;
  // A 32-bit image may leave its mask out: its alpha says everything.
  const bool hasMask = mask + maskStride * shape.height <= size;
  if (!hasMask && shape.bitCount != 32) return nullptr;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, shape.width, shape.height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!surface) return nullptr;
  bool anyAlpha = false;
  if (shape.bitCount == 32)
    for (int y = 0; y < shape.height && !anyAlpha; ++y)
      for (int x = 0; x < shape.width; ++x)
        if (data[colours + colourStride * y + 4 * x + 3]) {
          anyAlpha = true;
          break;
        }
  for (int y = 0; y < shape.height; ++y) {
    // Rows are stored bottom-up.
    const unsigned char* row = data + colours + colourStride * (shape.height - 1 - y);
    const unsigned char* maskRow = hasMask ? data + mask + maskStride * (shape.height - 1 - y) : nullptr;
    auto* out = reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(surface->pixels) + surface->pitch * y);
    for (int x = 0; x < shape.width; ++x) {
      std::uint32_t b, g, r, a = 0xFF;
      if (shape.bitCount >= 24) {
        const unsigned char* p = row + x * (shape.bitCount / 8);
        b = p[0], g = p[1], r = p[2];
        if (anyAlpha) a = p[3];
      } else {
        int shift = 8 - shape.bitCount - (x * shape.bitCount) % 8;
        std::uint32_t index = (row[x * shape.bitCount / 8] >> shift) & ((1u << shape.bitCount) - 1);
        const unsigned char* entry = data + headerSize + 4 * (index < paletteCount ? index : 0);
        b = entry[0], g = entry[1], r = entry[2];
      }
      if (!anyAlpha && maskRow && (maskRow[x / 8] & (0x80 >> (x % 8)))) a = 0;
      out[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  return surface;
}

HICON RegisterIcon(SDL_Surface* surface) {
  std::lock_guard<std::mutex> guard(g_lock);
  std::uintptr_t key = g_nextIcon;
  g_nextIcon += 0x10;
  g_icons[key] = surface;
  return reinterpret_cast<HICON>(key);
}

SDL_Surface* IconSurface(HICON icon) {
  auto found = g_icons.find(reinterpret_cast<std::uintptr_t>(icon));
  return found == g_icons.end() ? nullptr : found->second;
}

HICON LoadIconGroup(const void* resources, std::uint64_t resourcesSize, LPCWSTR name, int width, int height) {
  auto find = [&](std::uintptr_t type, LPCWSTR key, const void** data, DWORD* size) {
    return SLFindImageResource(resources, resourcesSize, reinterpret_cast<LPCWSTR>(type), key, data, size);
  };
  const void* group = nullptr;
  DWORD groupSize = 0;
  if (!find(kIconGroupType, name, &group, &groupSize)) return nullptr;
  auto* bytes = static_cast<const unsigned char*>(group);
  if (groupSize < 6 || SLPlatformLoadLE16(bytes + 2) != 1 || 6 + 14ull * SLPlatformLoadLE16(bytes + 4) > groupSize) {
    SLPlatformSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const int wantedWidth = width > 0 ? width : GetSystemMetrics(SM_CXICON);
  const int wantedHeight = height > 0 ? height : GetSystemMetrics(SM_CYICON);
  const unsigned char* best = nullptr;
  DWORD bestSize = 0;
  long bestDistance = 0;
  int bestDepth = 0;
  for (std::uint32_t i = 0, count = SLPlatformLoadLE16(bytes + 4); i < count; ++i) {
    std::uintptr_t id = SLPlatformLoadLE16(bytes + 6 + 14 * i + 12);
    const void* image = nullptr;
    DWORD imageSize = 0;
    DibShape shape;
    if (!find(kIconImageType, reinterpret_cast<LPCWSTR>(id), &image, &imageSize) ||
        !ReadDibShape(static_cast<const unsigned char*>(image), imageSize, &shape))
      continue;
    long distance = std::labs(long(shape.width) - wantedWidth) + std::labs(long(shape.height) - wantedHeight);
    if (!best || distance < bestDistance || (distance == bestDistance && shape.bitCount > bestDepth)) {
      best = static_cast<const unsigned char*>(image);
      bestSize = imageSize;
      bestDistance = distance;
      bestDepth = shape.bitCount;
    }
  }
  SDL_Surface* surface = best ? DecodeDib(best, bestSize) : nullptr;
  if (!surface) {
    SLPlatformSetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return RegisterIcon(surface);
}

}  // namespace

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags) {
  if (type != IMAGE_ICON || (flags & LR_LOADFROMFILE) || !name) {
    SLPlatformSetLastError(name ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const void* resources = nullptr;
  std::uint64_t resourcesSize = 0;
  if (!SLGetModuleImage(instance, &resources, &resourcesSize)) return nullptr;
  return LoadIconGroup(resources, resourcesSize, name, width, height);
}

HICON SLUser32LoadIconFromImage(const void* image, std::uint64_t size, LPCWSTR name, int width, int height) {
  return LoadIconGroup(image, size, name, width, height);
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags) {
  if (reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF)
    return LoadImageW(instance, reinterpret_cast<LPCWSTR>(name), type, width, height, flags);
  std::u16string wide = SLUser32::AnsiToWide(name);
  return LoadImageW(instance, wide.c_str(), type, width, height, flags);
}

BOOL DestroyIcon(HICON icon) {
  SDL_Surface* surface = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_icons.find(reinterpret_cast<std::uintptr_t>(icon));
    if (found != g_icons.end()) {
      surface = found->second;
      g_icons.erase(found);
    }
  }
  if (!surface) {
    SLPlatformSetLastError(ERROR_INVALID_ICON_HANDLE);
    return FALSE;
  }
  SDL_FreeSurface(surface);  // a window keeps its own copy of its icon
  return TRUE;
}

BOOL DrawIconEx(HDC dc, int, int, HICON icon, int, int, UINT, void*, UINT) {
  std::lock_guard<std::mutex> guard(g_lock);
  if (!dc || !IconSurface(icon)) {
    SLPlatformSetLastError(ERROR_INVALID_ICON_HANDLE);
    return FALSE;
  }
  return TRUE;
}

namespace SLUser32 {

LRESULT SetWindowIconMessage(HWND window, WPARAM kind, HICON icon) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto& icons = g_windowIcons[window];
  HICON& slot = kind == ICON_BIG ? icons.second : icons.first;
  HICON previous = slot;
  slot = icon;
  // The display shows one icon: the large one, or the small one while there is no large.
  HICON shown = icons.second ? icons.second : icons.first;
  SDL_Surface* surface = IconSurface(shown);
  if (void* native = NativeWindow(window); native && surface)
    SDL_SetWindowIcon(static_cast<SDL_Window*>(native), surface);
  return reinterpret_cast<LRESULT>(previous);
}

}  // namespace SLUser32

bool SLUser32GetIconPixels(HICON icon, int* width, int* height, std::vector<std::uint32_t>* pixels) {
  std::lock_guard<std::mutex> guard(g_lock);
  SDL_Surface* surface = IconSurface(icon);
  if (!surface) return false;
  *width = surface->w;
  *height = surface->h;
  pixels->resize(std::size_t(surface->w) * surface->h);
  for (int y = 0; y < surface->h; ++y)
    std::memcpy(pixels->data() + std::size_t(y) * surface->w,
                static_cast<unsigned char*>(surface->pixels) + surface->pitch * y, 4 * std::size_t(surface->w));
  return true;
}

namespace {
const SLPlatformExport kExports[] = {
    SL_EXPORT(LoadImageA),
    SL_EXPORT(LoadImageW),
    SL_EXPORT(DestroyIcon),
    SL_EXPORT(DrawIconEx),
};
}  // namespace

const SLPlatformExportGroup g_user32Icons = SLMakeExportGroup(kExports);
