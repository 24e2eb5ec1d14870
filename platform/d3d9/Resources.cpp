// Textures and vertex buffers of the software device. Both live in memory the device
// keeps apart from its buffers, so they survive resets as the managed pool does.
#include <new>

#include "platform/d3d9/D3D9.h"

namespace SLD3D9 {

namespace {
constexpr DWORD kServedVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
}

Texture* Texture::Make(unsigned width, unsigned height, D3DFORMAT format) {
  if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_A1R5G5B5) return nullptr;
  if (width > Device::kMaxTextureSide || height > Device::kMaxTextureSide) return nullptr;
  auto* texture = new (std::nothrow) Texture();
  if (!texture) return nullptr;
  texture->level_ = Surface::Make(width, height, format, D3DPOOL_MANAGED);
  if (!texture->level_) {
    texture->Release();
    return nullptr;
  }
  return texture;
}

Texture::~Texture() {
  if (level_) level_->Release();
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level != 0 || !desc) return D3DERR_INVALIDCALL;
  const HRESULT result = level_->GetDesc(desc);
  desc->Type = D3DRTYPE_TEXTURE;
  return result;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const D3DLOCKRECT* rect, DWORD flags) {
  return level == 0 ? level_->LockRect(locked, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level != 0) return D3DERR_INVALIDCALL;
  const HRESULT result = level_->UnlockRect();
  if (result < 0) return result;
  // Which rows hold only opaque texels: drawing those needs no blend, only a copy.
  const unsigned height = level_->Height(), width = level_->Width();
  try {
    opaqueRows_.assign(height, 0);
  } catch (const std::bad_alloc&) {
    opaqueRows_.clear();
    return result;
  }
  if (level_->Format() != D3DFMT_A8R8G8B8) return result;
  for (unsigned y = 0; y < height; ++y) {
    const std::uint32_t* row = level_->Row32(y);
    std::uint32_t all = 0xFF000000u;
    for (unsigned x = 0; x < width; ++x) all &= row[x];
    opaqueRows_[y] = (all >> 24) == 0xFF;
  }
  return result;
}

VertexBuffer* VertexBuffer::Make(unsigned length, DWORD fvf) {
  if (length == 0 || length > (64u << 20)) return nullptr;
  auto* buffer = new (std::nothrow) VertexBuffer();
  if (!buffer) return nullptr;
  try {
    buffer->bytes_.assign(length, 0);
  } catch (const std::bad_alloc&) {
    buffer->Release();
    return nullptr;
  }
  buffer->fvf_ = fvf;
  return buffer;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = D3DVERTEXBUFFER_DESC{D3DFMT_UNKNOWN, D3DRTYPE_VERTEXBUFFER, 0, D3DPOOL_MANAGED, UINT(bytes_.size()), fvf_};
  return D3D_OK;
}

// Offset and size 0 lock the whole buffer.
HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (size == 0 && offset == 0) size = UINT(bytes_.size());
  if (std::uint64_t(offset) + size > bytes_.size()) return D3DERR_INVALIDCALL;
  std::lock_guard<std::mutex> guard(lock_);
  if (locked_) return D3DERR_INVALIDCALL;
  locked_ = true;
  *data = bytes_.data() + offset;
  return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** out, HANDLE* shared) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (levels > 1 || usage != 0 || pool != D3DPOOL_MANAGED || shared || width == 0 || height == 0)
    return D3DERR_INVALIDCALL;
  // Block-compressed pictures are not served: the caller falls back to plain pixels.
  if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_A1R5G5B5) return D3DERR_NOTAVAILABLE;
  *out = Texture::Make(width, height, format);
  return *out ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                   HANDLE* shared) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if ((usage & ~D3DUSAGE_WRITEONLY) != 0 || pool != D3DPOOL_MANAGED || shared || fvf != kServedVertexFormat)
    return D3DERR_INVALIDCALL;
  *out = VertexBuffer::Make(length, fvf);
  return *out ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

}  // namespace SLD3D9
