// The graphics device's life: Init from a display mode, the format choice, the fixed
// device state, mode changes and Shutdown. Frames, buffers, gamma and the window hook
// are in SLGfxDirectXFrame.cpp; drawing in SLGfxDirectXDraw.cpp.
#include "gamesystem/directx/SLGfxDirectX.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"

using SLInternals::CSL_GS_GfxDirectXInternalApi;
using SLInternals::SL_GS_DeviceRecord;

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_Gfx_DirectX, CSL_GS_BaseGfx)

namespace {

constexpr i32 kOriginUnknown = 0x7fffffff;
constexpr DWORD kWindowedStyle = WS_CAPTION | WS_MINIMIZEBOX;
constexpr DWORD kBehaviourHardware =
    D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED | D3DCREATE_DISABLE_DRIVER_MANAGEMENT;
constexpr DWORD kBehaviourSoftware =
    D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED | D3DCREATE_DISABLE_DRIVER_MANAGEMENT;

CSL_GS_GfxDirectXInternalApi* Api() { return CSL_GS_GfxDirectXInternalApi::GetInstance(); }

// Colour depth of the desktop format in a window; 0 for a format the device cannot use.
u32 BitsOfDesktopFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8: return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: return 16;
    default: return 0;
  }
}

void DepthBitsOf(D3DFORMAT format, u32* depth, u32* stencil) {
  switch (format) {
    case D3DFMT_D32: *depth = 32, *stencil = 0; break;
    case D3DFMT_D15S1: *depth = 15, *stencil = 1; break;
    case D3DFMT_D24S8:
    case D3DFMT_D24FS8: *depth = 24, *stencil = 8; break;
    case D3DFMT_D24X8: *depth = 24, *stencil = 0; break;
    case D3DFMT_D24X4S4: *depth = 24, *stencil = 4; break;
    case D3DFMT_D16: *depth = 16, *stencil = 0; break;
    default: *depth = *stencil = 0; break;
  }
}

D3DMATRIX ToMatrix(const double (&m)[16]) {
  D3DMATRIX out;
  for (int i = 0; i < 16; ++i) out.m[i / 4][i % 4] = float(m[i]);
  return out;
}

}  // namespace

CSL_GS_Gfx_DirectX::CSL_GS_Gfx_DirectX() : m_record(nullptr) {}

CSL_GS_Gfx_DirectX::~CSL_GS_Gfx_DirectX() {
  const u32 error = SLGetLastError();
  Shutdown();
  SLSetLastError(error);
}

bool CSL_GS_Gfx_DirectX::CompleteMode(SL_GS_DisplayMode* mode, bool fromDevice) {
  if (fromDevice) {
    const SL_GS_DeviceRecord* r = m_record;
    if (!(mode->validMask & 1)) mode->width = r->width, mode->height = r->height;
    if (!(mode->validMask & 2)) mode->bitsPerPixel = r->bitsPerPixel;
    if (!(mode->validMask & 4)) mode->windowed = r->windowed;
    if (!(mode->validMask & 8)) mode->stencil = r->stencilBits > 0 ? 1 : 0;
  } else {
    CSL_GS_GfxDirectXInternalApi* api = Api();
    if (!(mode->validMask & 1)) {
      mode->width = api ? u32(api->GetSystemMetrics(SM_CXSCREEN)) : 0;
      mode->height = api ? u32(api->GetSystemMetrics(SM_CYSCREEN)) : 0;
    }
    if (!(mode->validMask & 2)) {
      int bits = 0;
      if (api) {
        HDC screen = api->GetDC(nullptr);
        bits = api->GetDeviceCaps(screen, BITSPIXEL);
        if (screen) api->ReleaseDC(nullptr, screen);
      }
      mode->bitsPerPixel = bits <= 0 ? 0 : bits <= 16 ? 16 : bits <= 24 ? 24 : 32;
    }
    if (!(mode->validMask & 4)) mode->windowed = 0;
    if (!(mode->validMask & 8)) mode->stencil = 0;
  }
  mode->reserved = 0;
  if (mode->width == 0 || mode->height == 0) return SLFail(SL_E_INVALID_ARG, false);
  if (!mode->windowed && mode->bitsPerPixel != 16 && mode->bitsPerPixel != 24 && mode->bitsPerPixel != 32)
    return SLFail(SL_E_INVALID_ARG, false);
  return true;
}

u32 CSL_GS_Gfx_DirectX::BackBufferCandidates(const SL_GS_DisplayMode& mode, D3DFORMAT* out, u32* bits) {
  if (mode.windowed) {
    *bits = BitsOfDesktopFormat(m_record->desktop.Format);
    if (!*bits) return SLFail(SL_E_SETUP_FAILED, 0u);
    out[0] = m_record->desktop.Format;
    return 1;
  }
  *bits = mode.bitsPerPixel;
  switch (mode.bitsPerPixel) {
    case 16: out[0] = D3DFMT_R5G6B5, out[1] = D3DFMT_X1R5G5B5; break;
    case 24: out[0] = D3DFMT_R8G8B8, out[1] = D3DFMT_X8R8G8B8; break;
    default: out[0] = D3DFMT_X8R8G8B8, out[1] = D3DFMT_R8G8B8; break;
  }
  return 2;
}

bool CSL_GS_Gfx_DirectX::PickDepthFormat(D3DFORMAT back, const SL_GS_DisplayMode& mode, D3DFORMAT* depth) {
  IDirect3D9* d3d = m_record->direct3d;
  if (!mode.windowed && d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, back, back, FALSE) < 0) return false;
  static const D3DFORMAT kSmallPlain[] = {D3DFMT_D16, D3DFMT_D32, D3DFMT_D24X8};
  static const D3DFORMAT kSmallStencil[] = {D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D24FS8, D3DFMT_D24X4S4};
  static const D3DFORMAT kLargePlain[] = {D3DFMT_D32, D3DFMT_D24X8, D3DFMT_D16};
  static const D3DFORMAT kLargeStencil[] = {D3DFMT_D24S8, D3DFMT_D24FS8, D3DFMT_D24X4S4, D3DFMT_D15S1};
  const bool small = back == D3DFMT_R5G6B5 || back == D3DFMT_X1R5G5B5 || back == D3DFMT_A1R5G5B5 ||
                     back == D3DFMT_A4R4G4B4 || back == D3DFMT_X4R4G4B4 || back == D3DFMT_X8B8G8R8;
  const D3DFORMAT* list = small ? (mode.stencil ? kSmallStencil : kSmallPlain)
                                : (mode.stencil ? kLargeStencil : kLargePlain);
  const u32 count = mode.stencil ? 4 : 3;
  for (u32 i = 0; i < count; ++i) {
    if (d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, back, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, list[i]) < 0)
      continue;
    if (d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, back, back, list[i]) < 0) continue;
    *depth = list[i];
    return true;
  }
  return false;
}

D3DPRESENT_PARAMETERS CSL_GS_Gfx_DirectX::MakeParameters(const SL_GS_DisplayMode& mode, D3DFORMAT back,
                                                         D3DFORMAT depth) {
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = mode.width;
  p.BackBufferHeight = mode.height;
  p.BackBufferFormat = back;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.hDeviceWindow = m_record->window;
  p.Windowed = mode.windowed ? TRUE : FALSE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = depth;
  p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER | D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
  return p;
}

void CSL_GS_Gfx_DirectX::ApplyWindowStyle(bool windowed, bool fromInit) {
  CSL_GS_GfxDirectXInternalApi* api = Api();
  const HWND window = m_record->window;
  DWORD style = kWindowedStyle, exStyle = WS_EX_CLIENTEDGE;
  if (!windowed) style = WS_POPUP, exStyle = WS_EX_TOPMOST;
  if (!fromInit) {
    style = DWORD(api->GetWindowLong(window, GWL_STYLE));
    exStyle = DWORD(api->GetWindowLong(window, GWL_EXSTYLE));
    if (windowed) {
      style = (style & 0x7F3DFFFF) | kWindowedStyle;
      exStyle = (exStyle & ~WS_EX_TOPMOST) | WS_EX_CLIENTEDGE;
    } else {
      style = (style & 0xFF3DFFFF) | WS_POPUP;
      exStyle = (exStyle & ~WS_EX_CLIENTEDGE) | WS_EX_TOPMOST;
    }
  }
  api->SetWindowLong(window, GWL_EXSTYLE, LONG_PTR(exStyle));
  api->SetWindowLong(window, GWL_STYLE, LONG_PTR(style));
}

void CSL_GS_Gfx_DirectX::PlaceWindow(bool windowed, u32 width, u32 height) {
  CSL_GS_GfxDirectXInternalApi* api = Api();
  const HWND window = m_record->window;
  if (!windowed) {
    api->SetWindowPos(window, HWND_TOP, 0, 0, int(width), int(height),
                      SWP_NOSENDCHANGING | SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOREDRAW);
    return;
  }
  RECT outer{0, 0, LONG(width), LONG(height)};
  api->AdjustWindowRectEx(&outer, DWORD(api->GetWindowLong(window, GWL_STYLE)), api->GetMenu(window) != nullptr,
                          DWORD(api->GetWindowLong(window, GWL_EXSTYLE)));
  const int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
  api->SetWindowPos(window, HWND_TOP, 0, 0, outerWidth, outerHeight,
                    SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  RECT desktop{};
  api->GetClientRect(api->GetDesktopWindow(), &desktop);
  const RECT work = api->GetWorkArea();
  int x = (int(desktop.right - desktop.left) - outerWidth) / 2;
  int y = (int(desktop.bottom - desktop.top) - outerHeight) / 2;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  api->SetWindowPos(window, HWND_NOTOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void CSL_GS_Gfx_DirectX::BringToFront(bool withBringToTop) {
  CSL_GS_GfxDirectXInternalApi* api = Api();
  const HWND window = m_record->window;
  const HWND foreground = api->GetForegroundWindow();
  if (foreground != window) {
    const DWORD theirs = api->GetWindowThreadProcessId(foreground, nullptr);
    const DWORD ours = api->GetWindowThreadProcessId(window, nullptr);
    if (theirs != ours) api->AttachThreadInput(theirs, ours, TRUE);
    api->SetForegroundWindow(window);
    if (theirs != ours) api->AttachThreadInput(theirs, ours, FALSE);
  }
  if (withBringToTop) api->BringWindowToTop(window);
  api->SetFocus(window);
}

void CSL_GS_Gfx_DirectX::RecordMode(const D3DPRESENT_PARAMETERS& p, u32 bits) {
  SL_GS_DeviceRecord* r = m_record;
  r->parameters = p;
  r->width = p.BackBufferWidth;
  r->height = p.BackBufferHeight;
  r->bitsPerPixel = bits;
  r->windowed = p.Windowed ? 1 : 0;
  r->backFormat = p.BackBufferFormat;
  r->depthFormat = p.AutoDepthStencilFormat;
  DepthBitsOf(p.AutoDepthStencilFormat, &r->depthBits, &r->stencilBits);
  r->lost = 0;
  r->currentTexture = nullptr;
  r->originX = r->originY = kOriginUnknown;
  r->active = 1;
  r->minimised = 0;
  r->sceneOpen = 0;
  r->gamma = 1.0;
  r->depthTest = 0;
}

bool CSL_GS_Gfx_DirectX::Init(HINSTANCE instance, HWND window, const SL_GS_DisplayMode* requested) {
  if (!window || !requested) return SLFail(SL_E_INVALID_ARG, false);
  if (m_record) return SLFail(SL_E_ALREADY_INITIALISED, false);
  SL_GS_DisplayMode mode = *requested;
  if (!CompleteMode(&mode, false)) return false;
  auto* record = static_cast<SL_GS_DeviceRecord*>(SLAllocZeroed(u32(sizeof(SL_GS_DeviceRecord))));
  if (!record) return false;
  record->owner = this;
  record->instance = instance;
  record->window = window;
  m_record = record;
  auto fail = [this](u32 code) {
    Shutdown();
    return SLFail(code, false);
  };

  CSL_GS_GfxDirectXInternalApi* api = Api();
  if (!api) return fail(SL_E_OUT_OF_MEMORY);
  if (!record->instance) record->instance = api->GetModuleHandle();
  if (!record->instance) return fail(SL_E_LIBRARY_NOT_LOADED);
  record->direct3d = api->CreateDirect3D();
  if (!record->direct3d) return fail(SLGetLastError());
  record->hook = new CSLWndProcHook();
  if (!record->hook) return fail(SL_E_OUT_OF_MEMORY);
  if (!record->hook->Attach(window, this)) return fail(SLGetLastError());

  // The window's answers to our own placement are not activation changes of the user's.
  record->modeSwitch = 1;
  ApplyWindowStyle(mode.windowed != 0, true);
  PlaceWindow(mode.windowed != 0, mode.width, mode.height);
  api->ShowWindow(window, SW_RESTORE);
  api->ShowWindow(window, SW_SHOW);
  BringToFront(true);
  if (!mode.windowed)
    api->SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0,
                      SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOSENDCHANGING);
  record->modeSwitch = 0;

  record->bitsPerPixel = mode.bitsPerPixel;
  if (record->direct3d->GetAdapterDisplayMode(0, &record->desktop) < 0) return fail(SL_E_SETUP_FAILED);
  D3DFORMAT candidates[2];
  u32 bits = 0;
  const u32 count = BackBufferCandidates(mode, candidates, &bits);
  if (!count) return fail(SL_E_SETUP_FAILED);
  D3DPRESENT_PARAMETERS parameters{};
  for (u32 i = 0; i < count && !record->device; ++i) {
    D3DFORMAT depth;
    if (!PickDepthFormat(candidates[i], mode, &depth)) continue;
    parameters = MakeParameters(mode, candidates[i], depth);
    D3DPRESENT_PARAMETERS copy = parameters;
    if (record->direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, kBehaviourHardware, &copy, &record->device) < 0 ||
        !record->device) {
      record->device = nullptr;
      copy = parameters;
      if (record->direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, kBehaviourSoftware, &copy, &record->device) < 0)
        record->device = nullptr;
    }
  }
  if (!record->device) return fail(SL_E_SETUP_FAILED);
  StoreClipRect(0, 0, mode.width, mode.height);
  RecordMode(parameters, bits);

  D3DCAPS9 caps{};
  if (record->device->GetDeviceCaps(&caps) < 0) caps = D3DCAPS9{};
  if (caps.RasterCaps & D3DPRASTERCAPS_SCISSORTEST)
    record->clipMethod = 1;
  else if (caps.MaxUserClipPlanes >= 4)
    record->clipMethod = 2;
  else
    return fail(SL_E_SETUP_FAILED);
  record->maxTextureWidth = caps.MaxTextureWidth;
  record->maxTextureHeight = caps.MaxTextureHeight;
  record->maxTextureAspect = caps.MaxTextureAspectRatio ? caps.MaxTextureAspectRatio : 1;
  record->squareOnly = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : 0;
  if (caps.Caps2 & D3DCAPS2_FULLSCREENGAMMA) {
    record->savedRamp = static_cast<D3DGAMMARAMP*>(SLAllocZeroed(u32(sizeof(D3DGAMMARAMP))));
    if (!record->savedRamp) return fail(SL_E_OUT_OF_MEMORY);
    record->device->GetGammaRamp(0, record->savedRamp);
  }
  if (!SetUpDeviceState()) return fail(SL_E_SETUP_FAILED);
  return SLSucceed(true);
}

bool CSL_GS_Gfx_DirectX::SetUpDeviceState() {
  SLCriticalSectionLock stage(&m_stageLock);
  SLCriticalSectionLock hold(GetDeviceLock());
  SL_GS_DeviceRecord* r = m_record;
  IDirect3DDevice9* d = r->device;
  const double w = r->width, h = r->height;
  r->currentTexture = nullptr;
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const double view[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, -w / 2 - 0.5, h / 2 + 0.5, -1, 1};
  const double projection[16] = {2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, -1.0 / 4096, -1.0 / 4096, 0, 0, 0.5, 1};
  const D3DMATRIX world = ToMatrix(identity), viewMatrix = ToMatrix(view), projectionMatrix = ToMatrix(projection);
  const D3DVIEWPORT9 viewport{0, 0, r->width, r->height, 0.0f, 1.0f};
  struct StageState {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
  };
  static const StageState kStages[] = {
      {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},   {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
      {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},   {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
      {0, D3DTSS_COLOROP, D3DTOP_MODULATE},   {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
      {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},   {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
  };
  const std::pair<D3DRENDERSTATETYPE, DWORD> renderStates[] = {
      {D3DRS_CULLMODE, D3DCULL_NONE},       {D3DRS_LIGHTING, FALSE},
      {D3DRS_ALPHABLENDENABLE, TRUE},       {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
      {D3DRS_DESTBLEND, D3DBLEND_ONE},      {D3DRS_ZENABLE, r->depthTest ? 1u : 0u},
      {D3DRS_ZWRITEENABLE, FALSE},          {D3DRS_ALPHATESTENABLE, TRUE},
      {D3DRS_ALPHAREF, 1},                  {D3DRS_ALPHAFUNC, D3DCMP_GREATER},
  };
  bool ok = d->SetTexture(0, nullptr) >= 0 && d->SetTransform(D3DTS_WORLD, &world) >= 0 &&
            d->SetTransform(D3DTS_VIEW, &viewMatrix) >= 0 &&
            d->SetTransform(D3DTS_PROJECTION, &projectionMatrix) >= 0 && d->SetViewport(&viewport) >= 0 &&
            d->SetVertexShader(nullptr) >= 0;
  for (const auto& [state, value] : renderStates) ok = ok && d->SetRenderState(state, value) >= 0;
  for (const StageState& s : kStages) ok = ok && d->SetTextureStageState(s.stage, s.type, s.value) >= 0;
  ok = ok && d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP) >= 0 &&
       d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP) >= 0 &&
       d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT) >= 0 &&
       d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR) >= 0;
  return ok ? SLSucceed(true) : SLFail(SL_E_SETUP_FAILED, false);
}

void CSL_GS_Gfx_DirectX::UnbindStream() {
  SLCriticalSectionLock stage(&m_stageLock);
  SLCriticalSectionLock hold(GetDeviceLock());
  m_record->device->SetStreamSource(0, nullptr, 0, 0);
}

void CSL_GS_Gfx_DirectX::Shutdown() {
  SL_GS_DeviceRecord* r = m_record;
  if (r) {
    CSLEventSourceDying dying;
    Send(&dying);
  }
  DestroyAllHandles();
  if (r) {
    if (r->hook) {
      r->hook->Detach();
      r->hook->Release();
    }
    if (r->backSurface) {
      r->backSurface->UnlockRect();
      r->backSurface->Release();
    }
    if (r->frontSurface) {
      r->frontSurface->UnlockRect();
      r->frontSurface->Release();
    }
    if (r->savedRamp) {
      if (r->device) r->device->SetGammaRamp(0, 0, r->savedRamp);
      SLFree(r->savedRamp);
    }
    if (r->device) {
      UnbindStream();
      r->device->Release();
    }
    if (r->direct3d)
      if (CSL_GS_GfxDirectXInternalApi* api = Api()) api->ReleaseDirect3D(r->direct3d);
    SLFree(r);
    m_record = nullptr;
  }
  SLSetLastError(SL_OK);
}

bool CSL_GS_Gfx_DirectX::ChangeMode(const SL_GS_DisplayMode* requested) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!requested) return SLFail(SL_E_INVALID_ARG, false);
  SL_GS_DisplayMode mode = *requested;
  if (!CompleteMode(&mode, true)) return false;
  D3DFORMAT candidates[2], depth = D3DFMT_UNKNOWN;
  u32 bits = 0;
  const u32 count = BackBufferCandidates(mode, candidates, &bits);
  u32 chosen = count;
  for (u32 i = 0; i < count && chosen == count; ++i)
    if (PickDepthFormat(candidates[i], mode, &depth)) chosen = i;
  if (chosen == count) return SLFail(SL_E_SETUP_FAILED, false);
  D3DPRESENT_PARAMETERS parameters = MakeParameters(mode, candidates[chosen], depth);
  parameters.hDeviceWindow = r->parameters.hDeviceWindow;
  parameters.Flags = r->parameters.Flags;

  if (r->sceneOpen) {
    r->device->EndScene();
    r->sceneOpen = 0;
  }
  UnbindStream();
  D3DPRESENT_PARAMETERS copy = parameters;
  if (r->device->Reset(&copy) < 0) {
    r->lost = 1;
    return SLFail(SL_E_OPERATION_FAILED, false);
  }

  CSL_GS_GfxDirectXInternalApi* api = Api();
  r->modeSwitch = 1;
  const bool windowed = mode.windowed != 0;
  if (windowed != (r->windowed != 0)) ApplyWindowStyle(windowed, false);
  PlaceWindow(windowed, mode.width, mode.height);
  api->ShowWindow(r->window, SW_RESTORE);
  api->ShowWindow(r->window, SW_SHOW);
  BringToFront(true);
  api->SetWindowPos(r->window, windowed ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                    SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOSENDCHANGING);
  RecordMode(parameters, bits);
  r->modeSwitch = 0;
  if (!SetUpDeviceState()) return false;
  return SLSucceed(true);
}
