// The 3-D graphics types of the "d3d9.dll" stand-in: formats, states, results, the
// presentation parameters and the object interfaces. Our own declarations; the
// framework reaches the software device through these interfaces only.
#pragma once

#include <string>

#include "platform/wintypes.h"

// Formats (the values the system gives them; depth formats are depth-stencil only).
enum D3DFORMAT : DWORD {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_X4R4G4B4 = 30,
  D3DFMT_A8B8G8R8 = 32,
  D3DFMT_X8B8G8R8 = 33,
  D3DFMT_D32 = 71,
  D3DFMT_D15S1 = 73,
  D3DFMT_D24S8 = 75,
  D3DFMT_D24X8 = 77,
  D3DFMT_D24X4S4 = 79,
  D3DFMT_D16 = 80,
  D3DFMT_D24FS8 = 83,
  D3DFMT_DXT1 = 0x31545844,  // 'DXT1'
  D3DFMT_DXT2 = 0x32545844,
  D3DFMT_DXT3 = 0x33545844,
  D3DFMT_DXT4 = 0x34545844,
  D3DFMT_DXT5 = 0x35545844,
};

enum D3DDEVTYPE : DWORD { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2 };
enum D3DRESOURCETYPE : DWORD { D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3, D3DRTYPE_VERTEXBUFFER = 6 };
enum D3DPOOL : DWORD { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_SCRATCH = 3 };
enum D3DSWAPEFFECT : DWORD { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };
enum D3DBACKBUFFER_TYPE : DWORD { D3DBACKBUFFER_TYPE_MONO = 0 };
enum D3DTRANSFORMSTATETYPE : DWORD { D3DTS_VIEW = 2, D3DTS_PROJECTION = 3, D3DTS_WORLD = 256 };
enum D3DPRIMITIVETYPE : DWORD { D3DPT_TRIANGLELIST = 4, D3DPT_TRIANGLESTRIP = 5, D3DPT_TRIANGLEFAN = 6 };

enum D3DRENDERSTATETYPE : DWORD {
  D3DRS_ZENABLE = 7,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_LIGHTING = 137,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_SCISSORTESTENABLE = 174,
  D3DRS_COUNT = 256,  // the size of the device's state table
};
enum : DWORD { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum : DWORD { D3DCMP_NEVER = 1, D3DCMP_LESS, D3DCMP_EQUAL, D3DCMP_LESSEQUAL, D3DCMP_GREATER, D3DCMP_NOTEQUAL,
               D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS };
enum : DWORD { D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCCOLOR = 3, D3DBLEND_INVSRCCOLOR = 4,
               D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6 };

enum D3DTEXTURESTAGESTATETYPE : DWORD {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_COUNT = 33,
};
enum : DWORD { D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4 };
enum : DWORD { D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2, D3DTA_TFACTOR = 3 };

enum D3DSAMPLERSTATETYPE : DWORD {
  D3DSAMP_ADDRESSU = 1,
  D3DSAMP_ADDRESSV = 2,
  D3DSAMP_MAGFILTER = 5,
  D3DSAMP_MINFILTER = 6,
  D3DSAMP_MIPFILTER = 7,
  D3DSAMP_COUNT = 14,
};
enum : DWORD { D3DTADDRESS_WRAP = 1, D3DTADDRESS_CLAMP = 3 };
enum : DWORD { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };

// Results.
inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = HRESULT(0x88760818u);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = HRESULT(0x8876086Au);
inline constexpr HRESULT D3DERR_INVALIDCALL = HRESULT(0x8876086Cu);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = HRESULT(0x8876017Cu);
inline constexpr HRESULT D3DERR_DEVICELOST = HRESULT(0x88760868u);
inline constexpr HRESULT D3DERR_DEVICENOTRESET = HRESULT(0x88760869u);
inline constexpr HRESULT D3DERR_DRIVERINTERNALERROR = HRESULT(0x88760827u);
inline constexpr HRESULT D3DERR_NOTFOUND = HRESULT(0x88760866u);
inline constexpr HRESULT D3D_E_FAIL = E_FAIL;
inline constexpr HRESULT D3D_E_OUTOFMEMORY = E_OUTOFMEMORY;

inline constexpr UINT D3D_SDK_VERSION = 32;
inline constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x2;
inline constexpr DWORD D3DUSAGE_WRITEONLY = 0x8;
inline constexpr DWORD D3DCREATE_MULTITHREADED = 0x4;
inline constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
inline constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
inline constexpr DWORD D3DCREATE_DISABLE_DRIVER_MANAGEMENT = 0x100;
inline constexpr DWORD D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x1;
inline constexpr DWORD D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL = 0x2;
inline constexpr DWORD D3DCLEAR_TARGET = 0x1;
inline constexpr DWORD D3DCLEAR_ZBUFFER = 0x2;
inline constexpr DWORD D3DCLEAR_STENCIL = 0x4;
inline constexpr DWORD D3DLOCK_READONLY = 0x10;
inline constexpr DWORD D3DLOCK_DISCARD = 0x2000;
inline constexpr DWORD D3DPRASTERCAPS_SCISSORTEST = 0x1000000;
inline constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x2;
inline constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x20;
inline constexpr DWORD D3DCAPS2_FULLSCREENGAMMA = 0x20000;
inline constexpr DWORD D3DFVF_XYZ = 0x2;
inline constexpr DWORD D3DFVF_DIFFUSE = 0x40;
inline constexpr DWORD D3DFVF_TEX1 = 0x100;

struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  DWORD MultiSampleType;
  DWORD MultiSampleQuality;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT PresentationInterval;
};

// The capabilities the framework reads; the software device fills no others.
struct D3DCAPS9 {
  DWORD Caps2;
  DWORD RasterCaps;
  DWORD TextureCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxTextureAspectRatio;
  DWORD MaxUserClipPlanes;
};

struct D3DGAMMARAMP {
  WORD red[256];
  WORD green[256];
  WORD blue[256];
};

struct D3DMATRIX {
  float m[4][4];
};

struct D3DVIEWPORT9 {
  DWORD X, Y, Width, Height;
  float MinZ, MaxZ;
};

struct D3DRECT {
  LONG x1, y1, x2, y2;
};

struct D3DLOCKED_RECT {
  int Pitch;
  void* pBits;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Width;
  UINT Height;
};

struct D3DVERTEXBUFFER_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  DWORD FVF;
};

// The rectangle argument of the lock calls (left, top, right, bottom).
struct D3DLOCKRECT {
  LONG left, top, right, bottom;
};

// Every object is counted: Release frees it at zero.
struct IDirect3DUnknown {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IDirect3DUnknown() = default;
};

struct IDirect3DSurface9 : IDirect3DUnknown {
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const D3DLOCKRECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;

 protected:
  ~IDirect3DSurface9() = default;
};

// A texture of one level: its pixels are those of its surface.
struct IDirect3DTexture9 : IDirect3DUnknown {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const D3DLOCKRECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;

 protected:
  ~IDirect3DTexture9() = default;
};

struct IDirect3DVertexBuffer9 : IDirect3DUnknown {
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;
  virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;

 protected:
  ~IDirect3DVertexBuffer9() = default;
};

struct IDirect3DDevice9 : IDirect3DUnknown {
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) = 0;
  virtual HRESULT Present(const D3DRECT* source, const D3DRECT* dest, HWND window, const void* dirty) = 0;
  virtual HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) = 0;
  virtual HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* target) = 0;
  virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DSurface9** out, HANDLE* shared) = 0;
  virtual void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) = 0;
  virtual void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, DWORD color, float z, DWORD stencil) = 0;
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
  virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
  virtual HRESULT SetVertexShader(void* shader) = 0;
  virtual HRESULT SetScissorRect(const D3DLOCKRECT* rect) = 0;
  virtual HRESULT SetClipPlane(DWORD index, const float* plane) = 0;
  // Textures, vertex buffers and drawing.
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** out, HANDLE* shared) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                     HANDLE* shared) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) = 0;
  virtual HRESULT SetFVF(DWORD fvf) = 0;
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) = 0;

 protected:
  ~IDirect3DDevice9() = default;
};

struct IDirect3D9 : IDirect3DUnknown {
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backFormat,
                                  BOOL windowed) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resource, D3DFORMAT format) = 0;
  virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT targetFormat, D3DFORMAT depthFormat) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** out) = 0;

 protected:
  ~IDirect3D9() = default;
};

using SLDirect3DCreate9Fn = IDirect3D9* (*)(UINT sdkVersion);

// The entry point of the module.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);

// Test control of the software device. An answer queued for a call is what the next such
// call returns (each is used once, in order); a failure leaves the device as it was.
struct SLD3D9TestScript {
  enum Call { kTestCooperativeLevel, kPresent, kReset, kCreateDevice, kCallCount };
};
void SLD3D9TestQueueAnswer(SLD3D9TestScript::Call call, HRESULT answer);
// Drops the queued answers and the check log.
void SLD3D9TestClearScript();
// Devices made from now on report no scissor test (clipping falls back to clip planes).
void SLD3D9TestHideScissor(bool hidden);
// Devices report these texture limits (0 keeps the device's own; square-only when set),
// for tests of the tiling under other hardware's limits.
void SLD3D9TestTextureLimits(DWORD width, DWORD height, DWORD aspect, bool squareOnly);
// Drawing takes the per-pixel route everywhere, without the row kernels of the common
// draws, so that tests can compare the two pictures.
void SLD3D9TestPixelByPixel(bool on);
// Calls `hook` with `context` at the start of every draw call, while the device is about
// to rasterise (null: no call), so that a test can act from another thread mid-draw.
void SLD3D9TestOnDraw(void (*hook)(void* context), void* context);
// One line per format check since the last call: "type X8R8G8B8", "format D24S8 on
// X8R8G8B8", "match D24S8 on X8R8G8B8".
std::string SLD3D9TestTakeCheckLog();
