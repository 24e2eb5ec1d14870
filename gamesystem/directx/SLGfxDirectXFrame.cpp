// The graphics device between Init and Shutdown: clearing, the end of a frame with
// presentation and lost-device recovery, the state getters, gamma, the front-buffer
// capture, the back-buffer lock and the window hook.
#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLSync.h"
#include "gamesystem/directx/SLGfxDirectX.h"

using SLInternals::CSL_GS_GfxDirectXInternalApi;
using SLInternals::SL_GS_DeviceRecord;

namespace {

constexpr i32 kOriginUnknown = 0x7fffffff;
constexpr u32 kPresentAttempts = 10;

CSL_GS_GfxDirectXInternalApi* Api() { return CSL_GS_GfxDirectXInternalApi::GetInstance(); }

// The framework's pixel-format id of a back-buffer format.
u32 FormatIdOf(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R8G8B8: return SL_IMAGE_FORMAT_BGR;
    case D3DFMT_A8R8G8B8: return SL_IMAGE_FORMAT_BGRA;
    case D3DFMT_X8R8G8B8: return SL_IMAGE_FORMAT_BGRX;
    case D3DFMT_R5G6B5: return SL_IMAGE_FORMAT_565_BLUE_LOW;
    case D3DFMT_X1R5G5B5: return SL_IMAGE_FORMAT_X555_BLUE_LOW;
    case D3DFMT_A1R5G5B5: return SL_IMAGE_FORMAT_1555_BLUE_LOW;
    case D3DFMT_A4R4G4B4: return SL_IMAGE_FORMAT_4444_BLUE_LOW;
    case D3DFMT_X4R4G4B4: return SL_IMAGE_FORMAT_X444_BLUE_LOW;
    default: return 0;
  }
}

bool IsLostAnswer(HRESULT result) {
  return result == D3DERR_DEVICELOST || result == D3DERR_DEVICENOTRESET || result == D3DERR_DRIVERINTERNALERROR;
}

}  // namespace

bool CSL_GS_Gfx_DirectX::Clear(u32 color, bool depth, bool stencil) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  DWORD flags = D3DCLEAR_TARGET;
  if (depth && r->depthBits > 0) flags |= D3DCLEAR_ZBUFFER;
  if (stencil && r->stencilBits > 0) flags |= D3DCLEAR_STENCIL;
  // The framework's colour word has red in the low byte; the device's has blue there.
  const DWORD argb = (color & 0xFF00FF00u) | ((color & 0xFF) << 16) | ((color >> 16) & 0xFF);
  if (r->clipActive) {
    u32 x, y, width, height;
    GetClipRect(&x, &y, &width, &height);
    const D3DRECT rect{LONG(x), LONG(y), LONG(x + width), LONG(y + height)};
    r->device->Clear(1, &rect, flags, argb, 1.0f, 0);
  } else {
    r->device->Clear(0, nullptr, flags, argb, 1.0f, 0);
  }
  return SLSucceed(true);
}

bool CSL_GS_Gfx_DirectX::EndFrame() {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  if (r->sceneOpen) {
    r->device->EndScene();
    r->sceneOpen = 0;
  }
  if (!r->active || r->minimised) return SLFail(SL_E_NOT_AVAILABLE, false);
  if (r->lost) {
    SLSleep(100);
    const HRESULT level = r->device->TestCooperativeLevel();
    if (level == D3DERR_DEVICENOTRESET) {
      UnbindStream();
      D3DPRESENT_PARAMETERS copy = r->parameters;
      const HRESULT reset = r->device->Reset(&copy);
      if (reset < 0)
        return SLFail(reset == D3DERR_DRIVERINTERNALERROR ? u32(SL_E_GFX_RESET_INTERNAL) : u32(SL_E_NOT_AVAILABLE), false);
      SetUpDeviceState();
      return SLSucceed(true);
    }
    if (level < 0) return SLFail(SL_E_NOT_AVAILABLE, false);
    r->lost = 0;
  }
  for (u32 attempt = 0; attempt < kPresentAttempts; ++attempt) {
    const HRESULT result = r->device->Present(nullptr, nullptr, nullptr, nullptr);
    if (result >= 0) return SLSucceed(true);
    if (IsLostAnswer(result)) {
      r->lost = 1;
      return SLFail(SL_E_NOT_AVAILABLE, false);
    }
  }
  return SLFail(SL_E_OPERATION_FAILED, false);
}

i32 CSL_GS_Gfx_DirectX::GetClientScreenX() {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, 0);
  if (r->originX == kOriginUnknown) {
    POINT origin{0, 0};
    if (r->windowed)
      if (CSL_GS_GfxDirectXInternalApi* api = Api())
        if (!api->ClientToScreen(r->window, &origin)) origin = POINT{0, 0};
    r->originX = origin.x;
    r->originY = origin.y;
  }
  return SLSucceed(r->originX);
}

i32 CSL_GS_Gfx_DirectX::GetClientScreenY() {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, 0);
  GetClientScreenX();
  return SLSucceed(m_record->originY);
}

u32 CSL_GS_Gfx_DirectX::GetWidth() { return m_record ? SLSucceed(m_record->width) : SLFail(SL_E_NOT_INITIALISED, 0u); }
u32 CSL_GS_Gfx_DirectX::GetHeight() {
  return m_record ? SLSucceed(m_record->height) : SLFail(SL_E_NOT_INITIALISED, 0u);
}
u32 CSL_GS_Gfx_DirectX::GetBitsPerPixel() {
  return m_record ? SLSucceed(m_record->bitsPerPixel) : SLFail(SL_E_NOT_INITIALISED, 0u);
}
bool CSL_GS_Gfx_DirectX::IsWindowed() {
  return m_record ? SLSucceed(m_record->windowed != 0) : SLFail(SL_E_NOT_INITIALISED, false);
}
bool CSL_GS_Gfx_DirectX::IsReady() {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, false);
  return SLSucceed(m_record->active && !m_record->minimised);
}

SL_GS_SurfaceAccess* CSL_GS_Gfx_DirectX::GrabFrontBuffer(u32 which) {
  using Access = SL_GS_SurfaceAccess*;
  if (which != 0) return SLFail(SL_E_GFX_BAD_SELECTOR, Access(nullptr));
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, Access(nullptr));
  if (r->frontSurface) return SLFail(SL_E_HELD, Access(nullptr));
  auto fail = [r] {
    if (r->frontSurface) r->frontSurface->Release();
    r->frontSurface = nullptr;
    return SLFail(SL_E_OPERATION_FAILED, Access(nullptr));
  };
  D3DDISPLAYMODE desktop{};
  if (r->direct3d->GetAdapterDisplayMode(0, &desktop) < 0) return fail();
  if (r->device->CreateOffscreenPlainSurface(desktop.Width, desktop.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                            &r->frontSurface, nullptr) < 0)
    r->frontSurface = nullptr;
  if (!r->frontSurface || r->device->GetFrontBufferData(0, r->frontSurface) < 0) return fail();
  const i32 x = GetClientScreenX(), y = GetClientScreenY();
  D3DLOCKRECT rect{x, y, LONG(i64(x) + r->width), LONG(i64(y) + r->height)};
  if (rect.left < 0) rect.left = 0;
  if (rect.top < 0) rect.top = 0;
  if (rect.right > LONG(desktop.Width)) rect.right = LONG(desktop.Width);
  if (rect.bottom > LONG(desktop.Height)) rect.bottom = LONG(desktop.Height);
  D3DLOCKED_RECT locked{};
  if (rect.left >= rect.right || rect.top >= rect.bottom ||
      r->frontSurface->LockRect(&locked, &rect, D3DLOCK_READONLY) < 0)
    return fail();
  r->frontAccess = SL_GS_SurfaceAccess{0, 5, u32(rect.right - rect.left), u32(rect.bottom - rect.top),
                                       u32(locked.Pitch), static_cast<u8*>(locked.pBits)};
  return SLSucceed(&r->frontAccess);
}

bool CSL_GS_Gfx_DirectX::ReleaseFrontBufferGrab() {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!r->frontSurface) return SLFail(SL_E_NOT_HELD, false);
  r->frontSurface->UnlockRect();
  r->frontSurface->Release();
  r->frontSurface = nullptr;
  r->frontAccess = SL_GS_SurfaceAccess{};
  return SLSucceed(true);
}

SL_GS_SurfaceAccess* CSL_GS_Gfx_DirectX::LockBackBuffer(bool write) {
  using Access = SL_GS_SurfaceAccess*;
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, Access(nullptr));
  if (r->backSurface) return SLFail(SL_E_HELD, Access(nullptr));
  if (r->device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &r->backSurface) < 0) r->backSurface = nullptr;
  const D3DLOCKRECT rect{0, 0, LONG(r->width), LONG(r->height)};
  D3DLOCKED_RECT locked{};
  if (!r->backSurface || r->backSurface->LockRect(&locked, &rect, write ? 0 : D3DLOCK_READONLY) < 0) {
    if (r->backSurface) r->backSurface->Release();
    r->backSurface = nullptr;
    return SLFail(SL_E_OPERATION_FAILED, Access(nullptr));
  }
  r->backAccess = SL_GS_SurfaceAccess{0, FormatIdOf(r->backFormat), r->width, r->height, u32(locked.Pitch),
                                      static_cast<u8*>(locked.pBits)};
  return SLSucceed(&r->backAccess);
}

bool CSL_GS_Gfx_DirectX::UnlockBackBuffer() {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!r->backSurface) return SLFail(SL_E_NOT_HELD, false);
  r->backSurface->UnlockRect();
  r->backSurface->Release();
  r->backSurface = nullptr;
  r->backAccess = SL_GS_SurfaceAccess{};
  return SLSucceed(true);
}

bool CSL_GS_Gfx_DirectX::SetGamma(double gamma) {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  // Written so that NaN fails too: its ramp would turn NaN into integers.
  if (!(gamma >= 1e-10 && gamma <= 10.0)) return SLFail(SL_E_INVALID_ARG, false);
  if (!r->savedRamp) return SLFail(SL_E_SETTING_UNSUPPORTED, false);
  D3DGAMMARAMP ramp;
  for (u32 i = 0; i < 256; ++i) {
    double level = std::pow((i + 1) / 256.0, 1.0 / gamma) * 65535.0 + 0.5;
    if (level > 65535.0) level = 65535.0;
    if (level < 0.0) level = 0.0;
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(level);
  }
  r->device->SetGammaRamp(0, 0, &ramp);
  r->gamma = gamma;
  return SLSucceed(true);
}

double CSL_GS_Gfx_DirectX::GetGamma() {
  SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, 1.0);
  if (!r->savedRamp) return SLFail(SL_E_GFX_NO_GAMMA_READ, 1.0);
  return SLSucceed(r->gamma);
}

bool CSL_GS_Gfx_DirectX::GetSizeLimits(u32* width, u32* height) {
  if (width) *width = 1533;
  if (height) *height = 1533;
  return SLSucceed(true);
}

u32 CSL_GS_Gfx_DirectX::ReservedGfxSlot1(u32* a, u32 b, u32) {
  if (!a) return SLFail(SL_E_NULL_DATA, 0u);
  if (b > *a) return SLFail(SL_E_INVALID_ARG, 0u);
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, 0u);
  return SLFail(SL_E_NOT_SUPPORTED, 0u);
}

// --- The window hook -----------------------------------------------------------------

void CSL_GS_Gfx_DirectX::ChangeActivation(bool active, bool minimised) {
  SL_GS_DeviceRecord* r = m_record;
  if ((r->active != 0) == active && (r->minimised != 0) == minimised) return;
  const bool wasReady = r->active && !r->minimised;
  r->active = active ? 1 : 0;
  r->minimised = minimised ? 1 : 0;
  const bool ready = active && !minimised;
  if (ready == wasReady) return;
  CSL_GS_GfxDirectXInternalApi* api = Api();
  if (api && active) {
    if (!r->windowed)
      api->SetWindowPos(r->window, HWND_TOPMOST, 0, 0, int(r->width), int(r->height),
                        SWP_NOSENDCHANGING | SWP_NOACTIVATE | SWP_NOREDRAW);
    api->RedrawWindow(r->window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    BringToFront(false);
  } else if (api) {
    api->RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  r->originX = r->originY = kOriginUnknown;
}

LRESULT CSL_GS_Gfx_DirectX::OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam,
                                            LPARAM lParam) {
  SL_GS_DeviceRecord* r = m_record;
  if (message == WM_DESTROY) {
    hook->AddRef();
    const LRESULT result = hook->CallPrevious(message, wParam, lParam);
    Shutdown();
    hook->Release();
    return result;
  }
  if (!r || r->modeSwitch) return hook->CallPrevious(message, wParam, lParam);
  CSL_GS_GfxDirectXInternalApi* api = Api();
  switch (message) {
    case WM_MOVE: r->originX = r->originY = kOriginUnknown; break;
    case WM_SIZE: ChangeActivation(r->active != 0, wParam == SIZE_MINIMIZED || wParam == 4 /* SIZE_MAXHIDE */); break;
    case WM_ACTIVATE: {
      const bool active = (wParam & 0xFFFF) != 0;
      if (r->active && !active && api) api->ShowWindow(window, SW_SHOWMINNOACTIVE);
      // The minimising above may have shut the device down through its own messages.
      if ((r = m_record)) ChangeActivation(active, r->minimised != 0);
      break;
    }
    case WM_PAINT:
      if (!r->active && api) {
        PAINTSTRUCT paint{};
        RECT client{};
        HDC dc = api->BeginPaint(window, &paint);
        api->GetClientRect(window, &client);
        api->PatBlt(dc, client.left, client.top, client.right - client.left, client.bottom - client.top, BLACKNESS);
        api->EndPaint(window, &paint);
      }
      if (api) api->ValidateRect(window, nullptr);
      return 0;
    case WM_SETCURSOR:
      if (!r->active) break;
      if (api) api->SetCursor(r->minimised && LRESULT(lParam & 0xFFFF) != HTCLIENT ? api->LoadArrowCursor() : nullptr);
      return 1;
    case WM_KEYDOWN:
      if (wParam == WPARAM(VK_F12) && r->active && !r->minimised && IsScreenshotKeyEnabled()) SaveScreenshot();
      break;
    default: break;
  }
  return hook->CallPrevious(message, wParam, lParam);
}
