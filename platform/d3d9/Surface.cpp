// Pictures in memory and the colour formats the software device keeps.
#include <cwchar>
#include <new>

#include "platform/d3d9/D3D9.h"

namespace SLD3D9 {

unsigned BytesPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: return 2;
    default: return 0;
  }
}

bool IsDepthFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_D32:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D16:
    case D3DFMT_D24FS8: return true;
    default: return false;
  }
}

// Three-byte pixels are refused, as most display hardware does.
bool IsBackBufferFormat(D3DFORMAT format, bool windowed) {
  switch (format) {
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5: return true;
    case D3DFMT_A8R8G8B8: return windowed;
    default: return false;
  }
}

namespace {
// A field of `bits` bits widened to 8 by repeating its top bits.
inline std::uint32_t Widen(std::uint32_t value, unsigned bits) {
  value <<= 8 - bits;
  return value | (value >> bits);
}
}  // namespace

std::uint32_t ReadArgb(D3DFORMAT format, const std::uint8_t* p) {
  const std::uint32_t v16 = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8);
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
             (std::uint32_t(p[3]) << 24);
    case D3DFMT_X8R8G8B8:
      return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | 0xFF000000u;
    case D3DFMT_R5G6B5:
      return 0xFF000000u | (Widen(v16 >> 11, 5) << 16) | (Widen((v16 >> 5) & 63, 6) << 8) | Widen(v16 & 31, 5);
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
      const std::uint32_t alpha = format == D3DFMT_X1R5G5B5 || (v16 & 0x8000) ? 0xFF000000u : 0;
      return alpha | (Widen((v16 >> 10) & 31, 5) << 16) | (Widen((v16 >> 5) & 31, 5) << 8) | Widen(v16 & 31, 5);
    }
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: {
      const std::uint32_t alpha = format == D3DFMT_X4R4G4B4 ? 0xFF : (v16 >> 12) * 17;
      return (alpha << 24) | (((v16 >> 8) & 15) * 17 << 16) | (((v16 >> 4) & 15) * 17 << 8) | (v16 & 15) * 17;
    }
    default: return 0;
  }
}

void WriteArgb(D3DFORMAT format, std::uint8_t* p, std::uint32_t argb) {
  const std::uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  std::uint32_t v16;
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      p[0] = std::uint8_t(b), p[1] = std::uint8_t(g), p[2] = std::uint8_t(r), p[3] = std::uint8_t(a);
      return;
    case D3DFMT_R5G6B5: v16 = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: v16 = ((a >> 7) << 15) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); break;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: v16 = ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4); break;
    default: return;
  }
  p[0] = std::uint8_t(v16), p[1] = std::uint8_t(v16 >> 8);
}

// Built for the wide vector units too where the processor has them: these run over every
// pixel of a frame. Not under ThreadSanitizer: the variant chooser runs while the program is
// being loaded, before the sanitizer's run-time is ready.
#if defined(__SANITIZE_THREAD__)
#define SL_SURFACE_CLONES
#else
#define SL_SURFACE_CLONES __attribute__((target_clones("avx2", "default")))
#endif

namespace {
SL_SURFACE_CLONES void FillWordsVector(std::uint32_t* target, std::size_t count, std::uint32_t value) {
  for (std::size_t i = 0; i < count; ++i) target[i] = value;
}
}  // namespace

void FillWords(std::uint32_t* target, std::size_t count, std::uint32_t value) {
  // Past a few kilobytes the C library's 32-bit fill is the fastest: it switches to the
  // processor's string store, which writes whole cache lines without reading them first.
  static_assert(sizeof(wchar_t) == sizeof(std::uint32_t));
  if (count >= 1024) {
    std::wmemset(reinterpret_cast<wchar_t*>(target), static_cast<wchar_t>(value), count);
    return;
  }
  FillWordsVector(target, count, value);
}

SL_SURFACE_CLONES void CopyOpaque(std::uint32_t* target, const std::uint32_t* source,
                                                                   std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) target[i] = source[i] | 0xFF000000u;
}

Surface* Surface::Make(unsigned width, unsigned height, D3DFORMAT format, D3DPOOL pool) {
  constexpr unsigned kMaxSide = 16384;
  const unsigned bytes = BytesPerPixel(format);
  if (!bytes || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  auto* surface = new (std::nothrow) Surface();
  if (!surface) return nullptr;
  // Rows start on 4-byte boundaries, as the display hardware lays them out.
  surface->pitch_ = (width * bytes + 3) & ~3u;
  const std::size_t words = std::size_t(surface->pitch_ / 4) * height;
  // A copy target is written whole by its maker: no need to clear it first.
  const bool scratch = pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH;
  surface->pixels_.reset(scratch ? new (std::nothrow) std::uint32_t[words] : new (std::nothrow) std::uint32_t[words]());
  if (!surface->pixels_) {
    surface->Release();
    return nullptr;
  }
  surface->width_ = width;
  surface->height_ = height;
  surface->format_ = format;
  surface->pool_ = pool;
  return surface;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = D3DSURFACE_DESC{format_, D3DRTYPE_SURFACE, 0, pool_, width_, height_};
  return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const D3DLOCKRECT* rect, DWORD) {
  if (!locked) return D3DERR_INVALIDCALL;
  D3DLOCKRECT area{0, 0, LONG(width_), LONG(height_)};
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > LONG(width_) || rect->bottom > LONG(height_))
      return D3DERR_INVALIDCALL;
    area = *rect;
  }
  std::lock_guard<std::mutex> guard(lock_);
  if (locked_) return D3DERR_INVALIDCALL;
  locked_ = true;
  locked->Pitch = int(pitch_);
  locked->pBits = Row(unsigned(area.top)) + std::size_t(area.left) * BytesPerPixel(format_);
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

}  // namespace SLD3D9
