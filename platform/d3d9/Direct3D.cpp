// The object "Direct3DCreate9" makes: the adapter's display mode, the format checks and
// device creation, and the test control of the device's answers.
#include <atomic>
#include <deque>
#include <mutex>
#include <new>
#include <string>

#include "platform/d3d9/D3D9.h"
#include "platform/modules.h"
#include "platform/user32/WindowSystem.h"

namespace SLD3D9 {

namespace {

struct TestState {
  std::mutex lock;
  std::deque<HRESULT> answers[SLD3D9TestScript::kCallCount];
  std::string log;
  bool hideScissor = false;
  DWORD textureWidth = 0, textureHeight = 0, textureAspect = 0;  // 0: the device's own
  bool squareOnly = false;
};
TestState& Test() {
  static TestState* state = new TestState;  // never destroyed: devices may outlive statics
  return *state;
}

const char* FormatName(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R8G8B8: return "R8G8B8";
    case D3DFMT_A8R8G8B8: return "A8R8G8B8";
    case D3DFMT_X8R8G8B8: return "X8R8G8B8";
    case D3DFMT_R5G6B5: return "R5G6B5";
    case D3DFMT_X1R5G5B5: return "X1R5G5B5";
    case D3DFMT_A1R5G5B5: return "A1R5G5B5";
    case D3DFMT_A4R4G4B4: return "A4R4G4B4";
    case D3DFMT_X4R4G4B4: return "X4R4G4B4";
    case D3DFMT_A8B8G8R8: return "A8B8G8R8";
    case D3DFMT_X8B8G8R8: return "X8B8G8R8";
    case D3DFMT_D32: return "D32";
    case D3DFMT_D15S1: return "D15S1";
    case D3DFMT_D24S8: return "D24S8";
    case D3DFMT_D24X8: return "D24X8";
    case D3DFMT_D24X4S4: return "D24X4S4";
    case D3DFMT_D16: return "D16";
    case D3DFMT_D24FS8: return "D24FS8";
    default: return "other";
  }
}

// The depth formats the software depth buffer serves (24-bit depth is kept as floats).
bool IsServedDepth(D3DFORMAT format) {
  return format == D3DFMT_D16 || format == D3DFMT_D24X8 || format == D3DFMT_D24S8 || format == D3DFMT_D32;
}

class Direct3D final : public Counted<IDirect3D9> {
 public:
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
    if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
    *mode = DesktopMode();
    return D3D_OK;
  }

  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT backFormat, BOOL windowed) override {
    LogCheck("type", backFormat, D3DFMT_UNKNOWN);
    if (adapter != 0 || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    return IsBackBufferFormat(backFormat, windowed != FALSE) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resource, D3DFORMAT format) override {
    if (adapter != 0 || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_DEPTHSTENCIL) {
      LogCheck("format", format, adapterFormat);
      return resource == D3DRTYPE_SURFACE && IsServedDepth(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    return BytesPerPixel(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT targetFormat,
                                 D3DFORMAT depthFormat) override {
    LogCheck("match", depthFormat, targetFormat);
    if (adapter != 0 || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    return IsServedDepth(depthFormat) && BytesPerPixel(targetFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD, D3DPRESENT_PARAMETERS* parameters,
                       IDirect3DDevice9** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (adapter != 0 || type != D3DDEVTYPE_HAL || !parameters) return D3DERR_INVALIDCALL;
    HRESULT answer;
    if (TakeScriptedAnswer(SLD3D9TestScript::kCreateDevice, &answer) && answer < 0) return answer;
    HRESULT result = D3D_OK;
    *out = Device::Make(focusWindow, *parameters, &result);
    return result;
  }
};

}  // namespace

bool TakeScriptedAnswer(SLD3D9TestScript::Call call, HRESULT* answer) {
  TestState& test = Test();
  std::lock_guard<std::mutex> guard(test.lock);
  auto& queue = test.answers[call];
  if (queue.empty()) return false;
  *answer = queue.front();
  queue.pop_front();
  return true;
}

void LogCheck(const char* what, D3DFORMAT format, D3DFORMAT on) {
  TestState& test = Test();
  std::lock_guard<std::mutex> guard(test.lock);
  test.log += what;
  test.log += ' ';
  test.log += FormatName(format);
  if (on != D3DFMT_UNKNOWN) {
    test.log += " on ";
    test.log += FormatName(on);
  }
  test.log += '\n';
}

bool ScissorHidden() {
  TestState& test = Test();
  std::lock_guard<std::mutex> guard(test.lock);
  return test.hideScissor;
}

namespace {
std::atomic<bool> g_pixelByPixel{false};
std::atomic<void (*)(void*)> g_drawHook{nullptr};
std::atomic<void*> g_drawHookContext{nullptr};
}

void RunDrawHook() {
  if (auto hook = g_drawHook.load(std::memory_order_acquire)) hook(g_drawHookContext.load(std::memory_order_relaxed));
}

void TextureLimits(D3DCAPS9* caps) {
  TestState& test = Test();
  std::lock_guard<std::mutex> guard(test.lock);
  if (test.textureWidth) caps->MaxTextureWidth = test.textureWidth;
  if (test.textureHeight) caps->MaxTextureHeight = test.textureHeight;
  if (test.textureAspect) caps->MaxTextureAspectRatio = test.textureAspect;
  if (test.squareOnly) caps->TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
}

bool PixelByPixel() { return g_pixelByPixel.load(std::memory_order_relaxed); }

D3DDISPLAYMODE DesktopMode() {
  int width = 1024, height = 768, bits = 32, refresh = 60;
  SLUser32::Display::DesktopMode(&width, &height, &bits, &refresh);
  D3DFORMAT format = bits == 16 ? D3DFMT_R5G6B5 : bits == 15 ? D3DFMT_X1R5G5B5 : D3DFMT_X8R8G8B8;
  return D3DDISPLAYMODE{UINT(width), UINT(height), UINT(refresh), format};
}

}  // namespace SLD3D9

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  return new (std::nothrow) SLD3D9::Direct3D();
}

void SLD3D9TestQueueAnswer(SLD3D9TestScript::Call call, HRESULT answer) {
  if (call < 0 || call >= SLD3D9TestScript::kCallCount) return;
  SLD3D9::TestState& test = SLD3D9::Test();
  std::lock_guard<std::mutex> guard(test.lock);
  test.answers[call].push_back(answer);
}

void SLD3D9TestClearScript() {
  SLD3D9::TestState& test = SLD3D9::Test();
  std::lock_guard<std::mutex> guard(test.lock);
  for (auto& queue : test.answers) queue.clear();
  test.log.clear();
}

void SLD3D9TestHideScissor(bool hidden) {
  SLD3D9::TestState& test = SLD3D9::Test();
  std::lock_guard<std::mutex> guard(test.lock);
  test.hideScissor = hidden;
}

void SLD3D9TestTextureLimits(DWORD width, DWORD height, DWORD aspect, bool squareOnly) {
  SLD3D9::TestState& test = SLD3D9::Test();
  std::lock_guard<std::mutex> guard(test.lock);
  test.textureWidth = width, test.textureHeight = height, test.textureAspect = aspect, test.squareOnly = squareOnly;
}

void SLD3D9TestPixelByPixel(bool on) { SLD3D9::g_pixelByPixel = on; }

void SLD3D9TestOnDraw(void (*hook)(void* context), void* context) {
  SLD3D9::g_drawHook.store(nullptr, std::memory_order_release);
  SLD3D9::g_drawHookContext.store(context, std::memory_order_relaxed);
  SLD3D9::g_drawHook.store(hook, std::memory_order_release);
}

std::string SLD3D9TestTakeCheckLog() {
  SLD3D9::TestState& test = SLD3D9::Test();
  std::lock_guard<std::mutex> guard(test.lock);
  std::string log;
  log.swap(test.log);
  return log;
}

namespace {
const SLPlatformExport kExports[] = {SL_EXPORT(Direct3DCreate9)};
}  // namespace

const SLPlatformExportGroup g_d3d9Device = SLMakeExportGroup(kExports);
