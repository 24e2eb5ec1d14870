// The software device's bindings: the stage-0 texture, stream 0 and the vertex format.
#include "platform/d3d9/D3D9.h"

namespace SLD3D9 {

HRESULT Device::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
  if (stage >= kStages) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (texture) texture->AddRef();
  if (textures_[stage]) textures_[stage]->Release();
  textures_[stage] = texture;
  return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
  if (stream != 0) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (buffer) buffer->AddRef();
  if (stream_) stream_->Release();
  stream_ = buffer;
  streamOffset_ = offset;
  streamStride_ = stride;
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  fvf_ = fvf;
  return D3D_OK;
}

void Device::ReleaseBindings() {
  for (auto*& texture : textures_) {
    if (texture) texture->Release();
    texture = nullptr;
  }
  if (stream_) stream_->Release();
  stream_ = nullptr;
  streamOffset_ = streamStride_ = 0;
}

}  // namespace SLD3D9
