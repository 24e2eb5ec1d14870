// Internal to the "d3d9.dll" stand-in: a software device that keeps its back buffer,
// depth and stencil in memory and shows each presented frame in the device window
// through SDL2. Textures, vertex buffers and the rasteriser live in files of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wind3d.h"

namespace SLD3D9 {

// Bytes per pixel of a colour format the device keeps in memory, else 0.
unsigned BytesPerPixel(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);
// The formats a back buffer may have (A8R8G8B8 only in a window).
bool IsBackBufferFormat(D3DFORMAT format, bool windowed);
// One pixel of a colour format as 0xAARRGGBB (alpha 0xFF where the format has none).
std::uint32_t ReadArgb(D3DFORMAT format, const std::uint8_t* pixel);
void WriteArgb(D3DFORMAT format, std::uint8_t* pixel, std::uint32_t argb);
// Row kernels the device's bulk paths share: fill with one word, and copy with the alpha
// byte set (the screen's own pixels are opaque).
void FillWords(std::uint32_t* target, std::size_t count, std::uint32_t value);
void CopyOpaque(std::uint32_t* target, const std::uint32_t* source, std::size_t count);
// The rasteriser's row kernels. CopyWhileOpaque copies the leading texels with full alpha
// and returns how many. BlendTexels puts `count` texels over 4-byte pixels: each texel's
// channels times `factor`'s (0xAARRGGBB; 255 leaves a channel), kept where that alpha
// exceeds `alphaAbove` (-1: everywhere), then source x alpha plus the pixel x (255 - alpha),
// or plus the pixel itself when `additive`; `opaqueTarget` reads the pixels' alpha as 255.
std::size_t CopyWhileOpaque(std::uint32_t* target, const std::uint32_t* source, std::size_t count);
void BlendTexels(std::uint32_t* target, const std::uint32_t* source, std::size_t count, std::uint32_t factor,
                 int alphaAbove, bool additive, bool opaqueTarget);
// A test's scripted answer for the next such call, when one is queued.
bool TakeScriptedAnswer(SLD3D9TestScript::Call call, HRESULT* answer);
void LogCheck(const char* what, D3DFORMAT format, D3DFORMAT on);
bool ScissorHidden();
bool PixelByPixel();
// Runs the test hook of SLD3D9TestOnDraw, when one is set.
void RunDrawHook();
// Overrides the texture limits a device reports, when a test set some.
void TextureLimits(D3DCAPS9* caps);
// The desktop's mode as the display reports it (1024 x 768 X8R8G8B8 without a display).
D3DDISPLAYMODE DesktopMode();

template <class Interface>
class Counted : public Interface {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  ULONG References() const { return refs_; }

 protected:
  Counted() = default;
  virtual ~Counted() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

// A picture in memory: back buffers, off-screen surfaces and texture levels.
class Surface final : public Counted<IDirect3DSurface9> {
 public:
  // Null for a format the device does not keep, a zero size, or one past 16384 pixels a side.
  // A surface of the system-memory pools starts with undefined pixels, others black.
  static Surface* Make(unsigned width, unsigned height, D3DFORMAT format, D3DPOOL pool);

  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const D3DLOCKRECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;

  std::uint8_t* Row(unsigned y) { return reinterpret_cast<std::uint8_t*>(pixels_.get()) + std::size_t(y) * pitch_; }
  const std::uint8_t* Row(unsigned y) const {
    return reinterpret_cast<const std::uint8_t*>(pixels_.get()) + std::size_t(y) * pitch_;
  }
  // Rows of a 4-byte format as words.
  std::uint32_t* Row32(unsigned y) { return pixels_.get() + std::size_t(y) * (pitch_ / 4); }
  unsigned Width() const { return width_; }
  unsigned Height() const { return height_; }
  unsigned Pitch() const { return pitch_; }
  D3DFORMAT Format() const { return format_; }
  bool IsLocked() const { return locked_; }

 private:
  Surface() = default;
  std::unique_ptr<std::uint32_t[]> pixels_;  // words, so that 4-byte pixels are read as such
  unsigned width_ = 0, height_ = 0, pitch_ = 0;
  D3DFORMAT format_ = D3DFMT_UNKNOWN;
  D3DPOOL pool_ = D3DPOOL_DEFAULT;
  std::mutex lock_;
  bool locked_ = false;
};

// A texture of one level in memory (A8R8G8B8 or A1R5G5B5), kept across resets.
class Texture final : public Counted<IDirect3DTexture9> {
 public:
  static Texture* Make(unsigned width, unsigned height, D3DFORMAT format);
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const D3DLOCKRECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  const Surface* Level() const { return level_; }
  // Whether every texel of row y has full alpha (as of the last unlock).
  bool RowOpaque(unsigned y) const { return y < opaqueRows_.size() && opaqueRows_[y]; }

 private:
  Texture() = default;
  ~Texture() override;
  Surface* level_ = nullptr;
  std::vector<std::uint8_t> opaqueRows_;
};

// Vertices in memory, kept across resets.
class VertexBuffer final : public Counted<IDirect3DVertexBuffer9> {
 public:
  static VertexBuffer* Make(unsigned length, DWORD fvf);
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT Unlock() override;
  const std::uint8_t* Data() const { return bytes_.data(); }
  std::size_t Size() const { return bytes_.size(); }

 private:
  VertexBuffer() = default;
  std::vector<std::uint8_t> bytes_;
  DWORD fvf_ = 0;
  std::mutex lock_;
  bool locked_ = false;
};

// What shows a presented frame in the device window: an SDL renderer made on first use,
// an accelerated one with vertical sync where there is one, else the software one paced
// to 60 frames a second.
class Presenter {
 public:
  ~Presenter();
  // Follows new presentation parameters: full screen fills the desktop and the frame is
  // scaled with its aspect kept.
  void Configure(HWND window, unsigned width, unsigned height, bool windowed);
  // The next frame's X8R8G8B8 rows (`pitch` words apart) to be written before Show; null
  // when there is nothing to show on.
  std::uint32_t* Lock(unsigned width, unsigned height, unsigned* pitch);
  bool Show();
  // The last frame shown, shown again (the window was exposed while its thread waits for
  // a message box). Only on the thread that made the renderer, whose alone it is; nothing
  // before the first frame or while the next one is being written.
  void ShowAgain();
  void Drop();

 private:
  bool Prepare(unsigned width, unsigned height);
  void Present();
  HWND window_ = nullptr;
  void* native_ = nullptr;    // SDL_Window
  std::uint32_t nativeId_ = 0;
  void* renderer_ = nullptr;  // SDL_Renderer
  void* texture_ = nullptr;   // SDL_Texture
  unsigned textureWidth_ = 0, textureHeight_ = 0;
  unsigned logicalWidth_ = 0, logicalHeight_ = 0;
  std::thread::id rendererThread_;
  bool locked_ = false;
  bool hasFrame_ = false;  // the texture holds a frame shown
  int scaled_ = -1;     // the frame is scaled to the output: 1, copied as it is: 0, not known: -1
  bool paced_ = false;  // software renderer on a real display: sleep to the next frame
  std::uint64_t nextFrameNs_ = 0;
};

class Device final : public Counted<IDirect3DDevice9> {
 public:
  // Null with the reason in `result` (bad parameters, memory).
  static Device* Make(HWND focusWindow, const D3DPRESENT_PARAMETERS& parameters, HRESULT* result);

  HRESULT TestCooperativeLevel() override;
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
  HRESULT Present(const D3DRECT* source, const D3DRECT* dest, HWND window, const void* dirty) override;
  HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) override;
  HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* target) override;
  HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DSurface9** out, HANDLE* shared) override;
  void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;
  void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, DWORD color, float z, DWORD stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
  HRESULT SetVertexShader(void* shader) override;
  HRESULT SetScissorRect(const D3DLOCKRECT* rect) override;
  HRESULT SetClipPlane(DWORD index, const float* plane) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** out, HANDLE* shared) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                             HANDLE* shared) override;
  HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) override;

  static constexpr unsigned kStages = 8;
  static constexpr unsigned kSamplers = 16;
  static constexpr unsigned kClipPlanes = 4;
  static constexpr unsigned kMaxTextureSide = 2048;

 private:
  Device() = default;
  ~Device() override;
  // New buffers for `parameters` and every state back to its default.
  HRESULT Build(const D3DPRESENT_PARAMETERS& parameters);
  void DefaultStates();
  void ReleaseBindings();
  // Draws `count` vertices (position, colour, u, v: the one vertex format served) as a
  // triangle fan (Rasterizer.cpp).
  HRESULT DrawFan(const std::uint8_t* vertices, UINT stride, UINT count);

  std::recursive_mutex lock_;  // every call of the device runs under it
  HWND focus_ = nullptr;
  D3DPRESENT_PARAMETERS parameters_{};
  Surface* back_ = nullptr;
  std::vector<float> depth_;
  std::vector<std::uint8_t> stencil_;
  // The last presented frame, gamma applied: `front_` points into the storage, at the
  // place the last Present chose for it (see there).
  std::vector<std::uint32_t> frontStorage_;
  std::uint32_t* front_ = nullptr;
  unsigned frontWidth_ = 0, frontHeight_ = 0;
  D3DGAMMARAMP ramp_{};
  bool identityRamp_ = true;
  bool inScene_ = false;
  DWORD renderStates_[D3DRS_COUNT]{};
  DWORD stageStates_[kStages][D3DTSS_COUNT]{};
  DWORD samplerStates_[kSamplers][D3DSAMP_COUNT]{};
  D3DMATRIX world_{}, view_{}, projection_{};
  D3DVIEWPORT9 viewport_{};
  D3DLOCKRECT scissor_{};
  float clipPlanes_[kClipPlanes][4]{};
  IDirect3DTexture9* textures_[kStages]{};
  IDirect3DVertexBuffer9* stream_ = nullptr;
  UINT streamOffset_ = 0, streamStride_ = 0;
  DWORD fvf_ = 0;
  Presenter presenter_;
};

}  // namespace SLD3D9
