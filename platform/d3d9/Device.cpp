// The software device: buffers in memory, the fixed-function state table, clearing,
// presentation with the gamma ramp applied, lost-device answers and the buffer copies.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3d9/D3D9.h"
#include "platform/user32/User32.h"

namespace SLD3D9 {

namespace {

// Words of room before the front buffer's first pixel, so that it can start at any place
// within a page.
constexpr std::size_t kFrontSlack = 1024;

// Where the front buffer starts in `storage` (within the slack) for a frame copied from
// `back` into it and from it to `screen`. Copies between buffers whose addresses agree in
// their low 12 bits stall on every load (4K aliasing) and run several times slower than
// the memory allows, so the start keeps both distances between a quarter and three
// quarters of a page.
std::uint32_t* FrontStart(std::uint32_t* storage, const void* back, const void* screen) {
  const auto page = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p) & 4095; };
  const std::uintptr_t apart = (page(screen) - page(back)) & 4095;
  const std::uintptr_t fromScreen = (apart / 2 + (apart < 2048 ? 2048 : 0)) & ~std::uintptr_t(63);
  const std::uintptr_t wanted = (page(screen) - fromScreen) & 4095;
  return storage + ((wanted - page(storage)) & 4095) / 4;
}

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

bool ValidParameters(const D3DPRESENT_PARAMETERS& p) {
  if (!p.hDeviceWindow || p.BackBufferWidth == 0 || p.BackBufferHeight == 0 || p.BackBufferCount > 1) return false;
  if (!IsBackBufferFormat(p.BackBufferFormat, p.Windowed != FALSE)) return false;
  if (p.EnableAutoDepthStencil) {
    const D3DFORMAT depth = p.AutoDepthStencilFormat;
    if (depth != D3DFMT_D16 && depth != D3DFMT_D24X8 && depth != D3DFMT_D24S8 && depth != D3DFMT_D32) return false;
  }
  return p.BackBufferWidth <= 16384 && p.BackBufferHeight <= 16384;
}

}  // namespace

Device* Device::Make(HWND focusWindow, const D3DPRESENT_PARAMETERS& parameters, HRESULT* result) {
  D3DPRESENT_PARAMETERS p = parameters;
  if (!p.hDeviceWindow) p.hDeviceWindow = focusWindow;
  auto* device = new (std::nothrow) Device();
  if (!device) return *result = D3D_E_OUTOFMEMORY, nullptr;
  device->focus_ = focusWindow;
  *result = device->Build(p);
  if (*result < 0) {
    device->Release();
    return nullptr;
  }
  return device;
}

Device::~Device() {
  ReleaseBindings();
  if (back_) back_->Release();
  presenter_.Drop();
}

HRESULT Device::Build(const D3DPRESENT_PARAMETERS& p) {
  if (!ValidParameters(p)) return D3DERR_INVALIDCALL;
  Surface* back = Surface::Make(p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat, D3DPOOL_DEFAULT);
  if (!back) return D3DERR_OUTOFVIDEOMEMORY;
  const std::size_t pixels = std::size_t(p.BackBufferWidth) * p.BackBufferHeight;
  try {
    std::vector<float> depth(p.EnableAutoDepthStencil ? pixels : 0, 1.0f);
    std::vector<std::uint8_t> stencil(p.EnableAutoDepthStencil ? pixels : 0, 0);
    std::vector<std::uint32_t> front(pixels + kFrontSlack, 0xFF000000u);
    depth_.swap(depth);
    stencil_.swap(stencil);
    frontStorage_.swap(front);
    front_ = frontStorage_.data();
  } catch (const std::bad_alloc&) {
    back->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  if (back_) back_->Release();
  back_ = back;
  parameters_ = p;
  parameters_.BackBufferCount = 1;
  frontWidth_ = p.BackBufferWidth;
  frontHeight_ = p.BackBufferHeight;
  inScene_ = false;
  ReleaseBindings();
  DefaultStates();
  // A new mode starts with the display's own colours, as a mode switch of the monitor does.
  for (unsigned i = 0; i < 256; ++i) ramp_.red[i] = ramp_.green[i] = ramp_.blue[i] = WORD(i * 257);
  identityRamp_ = true;
  presenter_.Configure(p.hDeviceWindow, p.BackBufferWidth, p.BackBufferHeight, p.Windowed != FALSE);
  return D3D_OK;
}

void Device::DefaultStates() {
  std::fill(std::begin(renderStates_), std::end(renderStates_), 0);
  renderStates_[D3DRS_ZENABLE] = parameters_.EnableAutoDepthStencil ? 1 : 0;
  renderStates_[D3DRS_ZWRITEENABLE] = 1;
  renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
  renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  renderStates_[D3DRS_LIGHTING] = 1;
  for (unsigned stage = 0; stage < kStages; ++stage) {
    DWORD* s = stageStates_[stage];
    std::fill(s, s + D3DTSS_COUNT, 0);
    s[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    s[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    s[D3DTSS_COLORARG1] = s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
  }
  for (auto& s : samplerStates_) {
    std::fill(s, s + D3DSAMP_COUNT, 0);
    s[D3DSAMP_ADDRESSU] = s[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    s[D3DSAMP_MAGFILTER] = s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
  }
  world_ = view_ = projection_ = kIdentity;
  viewport_ = D3DVIEWPORT9{0, 0, parameters_.BackBufferWidth, parameters_.BackBufferHeight, 0.0f, 1.0f};
  scissor_ = D3DLOCKRECT{0, 0, LONG(parameters_.BackBufferWidth), LONG(parameters_.BackBufferHeight)};
  std::memset(clipPlanes_, 0, sizeof clipPlanes_);
}

HRESULT Device::TestCooperativeLevel() {
  HRESULT answer;
  if (TakeScriptedAnswer(SLD3D9TestScript::kTestCooperativeLevel, &answer)) return answer;
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  // Gamma is applied as frames are presented, so the display's own ramp is never needed.
  *caps = D3DCAPS9{D3DCAPS2_FULLSCREENGAMMA, ScissorHidden() ? 0 : D3DPRASTERCAPS_SCISSORTEST, 0, kMaxTextureSide,
                   kMaxTextureSide, kMaxTextureSide, kClipPlanes};
  TextureLimits(caps);
  return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* parameters) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  HRESULT answer;
  if (TakeScriptedAnswer(SLD3D9TestScript::kReset, &answer) && answer < 0) return answer;
  if (!parameters) return D3DERR_INVALIDCALL;
  // The back buffer may not be held by the caller across a reset.
  if (back_ && (back_->References() > 1 || back_->IsLocked())) return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS p = *parameters;
  if (!p.hDeviceWindow) p.hDeviceWindow = focus_;
  return Build(p);
}

HRESULT Device::Present(const D3DRECT*, const D3DRECT*, HWND, const void*) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  HRESULT answer;
  if (TakeScriptedAnswer(SLD3D9TestScript::kPresent, &answer) && answer < 0) return answer;
  const unsigned width = back_->Width(), height = back_->Height();
  const D3DFORMAT format = back_->Format();
  const unsigned bytes = BytesPerPixel(format);
  std::uint8_t red[256], green[256], blue[256];
  const bool copy = identityRamp_ && bytes == 4;
  if (!copy)
    for (unsigned i = 0; i < 256; ++i) {
      red[i] = std::uint8_t(ramp_.red[i] >> 8);
      green[i] = std::uint8_t(ramp_.green[i] >> 8);
      blue[i] = std::uint8_t(ramp_.blue[i] >> 8);
    }
  // Each row goes to the kept front buffer and, while it is still in the cache, to the screen.
  unsigned screenPitch = 0;
  std::uint32_t* screen = presenter_.Lock(width, height, &screenPitch);
  front_ = FrontStart(frontStorage_.data(), back_->Row(0), screen ? static_cast<const void*>(screen) : back_->Row(0));
  for (unsigned y = 0; y < height; ++y) {
    std::uint32_t* target = front_ + std::size_t(y) * width;
    if (copy) {
      std::memcpy(target, back_->Row(y), std::size_t(width) * 4);
    } else if (bytes == 4) {
      const std::uint32_t* source = back_->Row32(y);
      for (unsigned x = 0; x < width; ++x) {
        const std::uint32_t v = source[x];
        target[x] = 0xFF000000u | (std::uint32_t(red[(v >> 16) & 0xFF]) << 16) |
                    (std::uint32_t(green[(v >> 8) & 0xFF]) << 8) | blue[v & 0xFF];
      }
    } else {
      const std::uint8_t* source = back_->Row(y);
      for (unsigned x = 0; x < width; ++x, source += bytes) {
        const std::uint32_t argb = ReadArgb(format, source);
        target[x] = 0xFF000000u | (std::uint32_t(red[(argb >> 16) & 0xFF]) << 16) |
                    (std::uint32_t(green[(argb >> 8) & 0xFF]) << 8) | blue[argb & 0xFF];
      }
    }
    if (screen) std::memcpy(screen + std::size_t(y) * screenPitch, target, std::size_t(width) * 4);
  }
  presenter_.Show();
  return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  back_->AddRef();
  *out = back_;
  return D3D_OK;
}

HRESULT Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* target) {
  auto* surface = dynamic_cast<Surface*>(target);
  if (swapChain != 0 || !surface || surface->Format() != D3DFMT_A8R8G8B8 || surface->IsLocked())
    return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const D3DDISPLAYMODE desktop = DesktopMode();
  if (surface->Width() < desktop.Width || surface->Height() < desktop.Height) return D3DERR_INVALIDCALL;
  // The desktop as the device shows it: the last frame at the client area's origin.
  POINT origin{0, 0};
  if (parameters_.Windowed) ClientToScreen(parameters_.hDeviceWindow, &origin);
  const long width = surface->Width(), height = surface->Height();
  const long left = std::clamp<long>(origin.x, 0, width), top = std::clamp<long>(origin.y, 0, height);
  const long right = std::clamp<long>(long(origin.x) + frontWidth_, left, width);
  const long bottom = std::clamp<long>(long(origin.y) + frontHeight_, top, height);
  constexpr std::uint32_t kBlack = 0xFF000000u;
  for (long y = 0; y < height; ++y) {
    std::uint32_t* row = surface->Row32(unsigned(y));
    if (y < top || y >= bottom) {
      FillWords(row, std::size_t(width), kBlack);
      continue;
    }
    FillWords(row, std::size_t(left), kBlack);
    CopyOpaque(row + left, front_ + std::size_t(y - origin.y) * frontWidth_ + (left - origin.x), std::size_t(right - left));
    FillWords(row + right, std::size_t(width - right), kBlack);
  }
  return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** out, HANDLE* shared) {
  if (!out || shared || pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  *out = Surface::Make(width, height, format, pool);
  return *out ? D3D_OK : D3DERR_INVALIDCALL;
}

void Device::SetGammaRamp(UINT swapChain, DWORD, const D3DGAMMARAMP* ramp) {
  if (swapChain != 0 || !ramp) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  ramp_ = *ramp;
  identityRamp_ = true;
  for (unsigned i = 0; i < 256 && identityRamp_; ++i)
    identityRamp_ = ramp_.red[i] >> 8 == i && ramp_.green[i] >> 8 == i && ramp_.blue[i] >> 8 == i;
}

void Device::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) {
  if (swapChain != 0 || !ramp) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  *ramp = ramp_;
}

HRESULT Device::BeginScene() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, DWORD color, float z, DWORD stencil) {
  if ((count && !rects) || !(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depth_.empty()) return D3DERR_INVALIDCALL;
  // Everything outside the viewport (and the scissor rectangle when it is on) stays.
  D3DRECT bounds{LONG(viewport_.X), LONG(viewport_.Y), LONG(viewport_.X + viewport_.Width),
                 LONG(viewport_.Y + viewport_.Height)};
  if (renderStates_[D3DRS_SCISSORTESTENABLE]) {
    bounds.x1 = std::max(bounds.x1, scissor_.left), bounds.y1 = std::max(bounds.y1, scissor_.top);
    bounds.x2 = std::min(bounds.x2, scissor_.right), bounds.y2 = std::min(bounds.y2, scissor_.bottom);
  }
  const D3DFORMAT format = back_->Format();
  std::uint8_t pattern[4];
  WriteArgb(format, pattern, color);
  const unsigned bytes = BytesPerPixel(format);
  const std::uint32_t word = bytes == 4 ? color : std::uint32_t(pattern[0]) | (std::uint32_t(pattern[1]) << 8);
  const std::size_t width = back_->Width();
  const float depth = std::clamp(z, 0.0f, 1.0f);
  for (DWORD i = 0; i < (count ? count : 1); ++i) {
    D3DRECT r = count ? rects[i] : bounds;
    r.x1 = std::max(r.x1, bounds.x1), r.y1 = std::max(r.y1, bounds.y1);
    r.x2 = std::min(r.x2, bounds.x2), r.y2 = std::min(r.y2, bounds.y2);
    if (r.x1 >= r.x2 || r.y1 >= r.y2) continue;
    const std::size_t span = std::size_t(r.x2 - r.x1);
    // A rectangle of whole rows is one run of memory: filled at once, with no per-row
    // start-up (a full-screen clear is then as fast as memset).
    if (span == width && back_->Pitch() == width * bytes) {
      const std::size_t at = std::size_t(r.y1) * width, pixels = std::size_t(r.y2 - r.y1) * width;
      if (flags & D3DCLEAR_TARGET) {
        // Rows 4-byte aligned and unpadded: a 2-byte format has an even width, so two
        // pixels make one word.
        if (bytes == 4) FillWords(back_->Row32(unsigned(r.y1)), pixels, word);
        else FillWords(back_->Row32(unsigned(r.y1)), pixels / 2, word | (word << 16));
      }
      if (flags & D3DCLEAR_ZBUFFER) std::fill_n(depth_.data() + at, pixels, depth);
      if (flags & D3DCLEAR_STENCIL) std::memset(stencil_.data() + at, int(stencil & 0xFF), pixels);
      continue;
    }
    for (LONG y = r.y1; y < r.y2; ++y) {
      if (flags & D3DCLEAR_TARGET) {
        if (bytes == 4) {
          FillWords(back_->Row32(unsigned(y)) + r.x1, span, word);
        } else {
          std::uint8_t* p = back_->Row(unsigned(y)) + std::size_t(r.x1) * 2;
          for (std::size_t x = 0; x < span; ++x, p += 2) std::memcpy(p, pattern, 2);
        }
      }
      const std::size_t at = std::size_t(y) * width + std::size_t(r.x1);
      if (flags & D3DCLEAR_ZBUFFER) std::fill_n(depth_.data() + at, span, depth);
      if (flags & D3DCLEAR_STENCIL) std::fill_n(stencil_.data() + at, span, std::uint8_t(stencil));
    }
  }
  return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  switch (state) {
    case D3DTS_WORLD: world_ = *matrix; return D3D_OK;
    case D3DTS_VIEW: view_ = *matrix; return D3D_OK;
    case D3DTS_PROJECTION: projection_ = *matrix; return D3D_OK;
    default: return D3DERR_INVALIDCALL;
  }
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  switch (state) {
    case D3DTS_WORLD: *matrix = world_; return D3D_OK;
    case D3DTS_VIEW: *matrix = view_; return D3D_OK;
    case D3DTS_PROJECTION: *matrix = projection_; return D3D_OK;
    default: return D3DERR_INVALIDCALL;
  }
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!viewport || viewport->Width == 0 || viewport->Height == 0 ||
      std::uint64_t(viewport->X) + viewport->Width > back_->Width() ||
      std::uint64_t(viewport->Y) + viewport->Height > back_->Height() || !(viewport->MinZ >= 0.0f) ||
      !(viewport->MaxZ <= 1.0f) || viewport->MinZ > viewport->MaxZ)
    return D3DERR_INVALIDCALL;
  viewport_ = *viewport;
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  renderStates_[state] = value;
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= D3DRS_COUNT || !value) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= kStages || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  stageStates_[stage][type] = value;
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (stage >= kStages || type >= D3DTSS_COUNT || !value) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  *value = stageStates_[stage][type];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  if (sampler >= kSamplers || type >= D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  samplerStates_[sampler][type] = value;
  return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  if (sampler >= kSamplers || type >= D3DSAMP_COUNT || !value) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  *value = samplerStates_[sampler][type];
  return D3D_OK;
}

// Only the fixed-function pipeline exists: the one shader accepted is none.
HRESULT Device::SetVertexShader(void* shader) { return shader ? D3DERR_INVALIDCALL : D3D_OK; }

HRESULT Device::SetScissorRect(const D3DLOCKRECT* rect) {
  if (!rect) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  scissor_ = *rect;
  return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane) {
  if (index >= kClipPlanes || !plane) return D3DERR_INVALIDCALL;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  std::memcpy(clipPlanes_[index], plane, sizeof clipPlanes_[index]);
  return D3D_OK;
}

}  // namespace SLD3D9
