// The graphics device over "d3d9.dll": device creation from a display mode in full
// screen or in a window, the choice of back-buffer and depth formats, the fixed render
// state and camera, mode changes, clearing, presentation with lost-device recovery,
// gamma, front-buffer capture and back-buffer access, and the window hook that follows
// activation, minimising, painting, the pointer and the screenshot key.
#pragma once

#include <atomic>

#include "foundation/SLArray.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"
#include "foundation/SLWndHook.h"
#include "gamesystem/SLBaseGfx.h"
#include "platform/gdi32/Gdi32.h"
#include "platform/user32/User32.h"
#include "platform/wind3d.h"

class CSL_GS_Gfx_DirectX;

enum : u32 {
  SL_E_GFX_RESET_INTERNAL = 0x80010007,   // the reset failed inside the driver
  SL_E_GFX_BAD_SELECTOR = 0x80010013,
  SL_E_GFX_NO_GAMMA_READ = 0x80002021,
};

// Three f64 (angles, directions) and a row-major 4 x 4 f64 matrix applied to row
// vectors (v' = v x M, the translation in the fourth row).
struct GfxVector3 {
  double x, y, z;
  void Set(double ax, double ay, double az) { x = ax, y = ay, z = az; }
  // A vector of length at most 1e-10 becomes zero; any other is made of length 1.
  void Normalize();
};

struct GfxMatrix4 {
  double m[4][4];
  void SetIdentity();
  void Copy(const GfxMatrix4& source) { *this = source; }
  // this = this x other.
  void Multiply(const GfxMatrix4& other);
  // The rotation of the angles (a about y, b about z, c about x, in radians).
  void FromEuler(const GfxVector3& angles);
  // Rows 0 and 1 turned by `angle` about the z axis.
  void RotateZ(double angle);
};

// The options of DrawImage and DrawTextW; `flags` says which fields count.
struct SL_GS_DrawImageOptions {
  u32 flags;
  double scaleX;  // with flag 1 instead, the first four bytes hold the target width (i32)
  double scaleY;  // and the target height
  i32 sourceX, sourceY, sourceWidth, sourceHeight;
  i32 anchorX, anchorY;
  double opacity;  // percent
  u8 tintRed, tintGreen, tintBlue, tintSpare;
  double angleY, angleZ, angleX;  // degrees
  i32 centreX, centreY;
  double depth;  // percent
};

enum : u32 {
  SL_GS_DRAW_TARGET_SIZE = 0x1,
  SL_GS_DRAW_SCALE = 0x2,
  SL_GS_DRAW_SOURCE = 0x4,
  SL_GS_DRAW_OPACITY = 0x8,
  SL_GS_DRAW_TINT = 0x10,
  SL_GS_DRAW_DEPTH = 0x20,
  SL_GS_DRAW_ROTATION = 0x40,
  SL_GS_DRAW_CENTRE = 0x80,
  SL_GS_DRAW_CENTRE_ABSOLUTE = 0x100,
  SL_GS_DRAW_ADDITIVE = 0x200,
  SL_GS_DRAW_ANCHOR = 0x400,
};

namespace SLInternals {

// One texture of an image and where it sits in the image.
struct SL_GS_ImageTile {
  u32 x, y, width, height;
  IDirect3DTexture9* texture;
};

// The device objects of an image handle.
struct SL_GS_ImageDevice {
  D3DFORMAT format;
  u32 dirty;
  SL_GS_ImageTile* tiles;  // row by row; tile i's quad starts at vertex 4i
  IDirect3DVertexBuffer9* buffer;
  u32 columns, rows;
};

// One texture of a font's glyph pages: page p's tiles come row by row.
struct SL_GS_FontTile {
  u32 x, y, side;
  IDirect3DTexture9* texture;
};

// One textured quad of a glyph: x, y relative to the glyph's top-left corner.
struct SL_GS_GlyphPiece {
  IDirect3DTexture9* texture;
  float vertices[4][6];  // x, y, z, colour (bits), u, v
};

struct SL_GS_GlyphQuads {
  u32 count;
  SL_GS_GlyphPiece* pieces;
};

// The device objects of a font handle.
struct SL_GS_FontDevice {
  D3DFORMAT format;
  u32 dirty;
  u32 side;        // of each texture, a power of two of 16 to 256
  u32 tileCount;
  u32 perRow;      // tiles per page row: 256 / side
  SL_GS_FontTile* tiles;
  SL_GS_GlyphQuads* glyphs;  // in glyph-table order
};

// Binds "d3d9.dll" and the window-system entry points by name and makes the 3-D objects;
// every object it made is released at the latest when it goes. Each window-system wrapper
// calls the 8-bit entry (or the only one) when bound, else the UTF-16 one, else answers 0.
class CSL_GS_GfxDirectXInternalApi : public CSLBaseOODClass {
 public:
  CSL_GS_GfxDirectXInternalApi();
  ~CSL_GS_GfxDirectXInternalApi() override;
  bool Initialize() override;  // binds what there is; always true

  // The loader, made unless `existingOnly` (null with 0x80000001 when it cannot be made).
  static CSL_GS_GfxDirectXInternalApi* GetInstance(bool existingOnly = false);

  // Null with 0x800e0001 (no library), 0x800e0002 (no entry point) or 0x8001000f.
  IDirect3D9* CreateDirect3D();
  void ReleaseDirect3D(IDirect3D9* object);

  HMODULE GetModuleHandle();
  LONG_PTR GetWindowLong(HWND window, int index);
  LONG_PTR SetWindowLong(HWND window, int index, LONG_PTR value);
  BOOL SetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags);
  BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
  BOOL GetClientRect(HWND window, RECT* rect);
  BOOL ClientToScreen(HWND window, POINT* point);
  void* GetMenu(HWND window);
  HWND GetDesktopWindow();
  // The work area, all zero when neither entry is bound.
  RECT GetWorkArea();
  BOOL ShowWindow(HWND window, int command);
  HWND GetForegroundWindow();
  BOOL SetForegroundWindow(HWND window);
  DWORD GetWindowThreadProcessId(HWND window, DWORD* process);
  BOOL AttachThreadInput(DWORD attach, DWORD to, BOOL doAttach);
  BOOL BringWindowToTop(HWND window);
  HWND SetFocus(HWND window);
  HCURSOR SetCursor(HCURSOR cursor);
  HCURSOR LoadArrowCursor();
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
  BOOL ValidateRect(HWND window, const RECT* rect);
  BOOL RedrawWindow(HWND window, const RECT* rect, void* region, UINT flags);
  BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
  int GetSystemMetrics(int index);
  HDC GetDC(HWND window);
  int ReleaseDC(HWND window, HDC dc);
  int GetDeviceCaps(HDC dc, int index);

 private:
  void Lock();
  void Unlock();

  HMODULE m_d3d9, m_kernel32, m_user32, m_gdi32;
  TSLArray<IDirect3D9*> m_objects;
  SLFastLock m_lock;
  SLDirect3DCreate9Fn m_pDirect3DCreate9;
  HMODULE (*m_pGetModuleHandleA)(LPCSTR);
  HMODULE (*m_pGetModuleHandleW)(LPCWSTR);
  LONG_PTR (*m_pGetWindowLongA)(HWND, int);
  LONG_PTR (*m_pGetWindowLongW)(HWND, int);
  LONG_PTR (*m_pSetWindowLongA)(HWND, int, LONG_PTR);
  LONG_PTR (*m_pSetWindowLongW)(HWND, int, LONG_PTR);
  BOOL (*m_pSetWindowPos)(HWND, HWND, int, int, int, int, UINT);
  BOOL (*m_pAdjustWindowRectEx)(RECT*, DWORD, BOOL, DWORD);
  BOOL (*m_pGetClientRect)(HWND, RECT*);
  BOOL (*m_pClientToScreen)(HWND, POINT*);
  void* (*m_pGetMenu)(HWND);
  HWND (*m_pGetDesktopWindow)();
  BOOL (*m_pSystemParametersInfoA)(UINT, UINT, void*, UINT);
  BOOL (*m_pSystemParametersInfoW)(UINT, UINT, void*, UINT);
  BOOL (*m_pShowWindow)(HWND, int);
  HWND (*m_pGetForegroundWindow)();
  BOOL (*m_pSetForegroundWindow)(HWND);
  DWORD (*m_pGetWindowThreadProcessId)(HWND, DWORD*);
  BOOL (*m_pAttachThreadInput)(DWORD, DWORD, BOOL);
  BOOL (*m_pBringWindowToTop)(HWND);
  HWND (*m_pSetFocus)(HWND);
  HCURSOR (*m_pSetCursor)(HCURSOR);
  HCURSOR (*m_pLoadCursorA)(HINSTANCE, LPCSTR);
  HCURSOR (*m_pLoadCursorW)(HINSTANCE, LPCWSTR);
  HDC (*m_pBeginPaint)(HWND, PAINTSTRUCT*);
  BOOL (*m_pEndPaint)(HWND, const PAINTSTRUCT*);
  BOOL (*m_pValidateRect)(HWND, const RECT*);
  BOOL (*m_pRedrawWindow)(HWND, const RECT*, void*, UINT);
  BOOL (*m_pPatBlt)(HDC, int, int, int, int, DWORD);
  int (*m_pGetSystemMetrics)(int);
  HDC (*m_pGetDC)(HWND);
  int (*m_pReleaseDC)(HWND, HDC);
  int (*m_pGetDeviceCaps)(HDC, int);
};

// Everything the device holds while it is initialised, allocated zero-filled by Init.
struct SL_GS_DeviceRecord {
  CSL_GS_Gfx_DirectX* owner;
  HINSTANCE instance;
  HWND window;
  CSLWndProcHook* hook;
  IDirect3D9* direct3d;
  D3DDISPLAYMODE desktop;
  D3DPRESENT_PARAMETERS parameters;
  IDirect3DDevice9* device;
  D3DFORMAT backFormat;
  D3DFORMAT depthFormat;
  D3DGAMMARAMP* savedRamp;  // present only when gamma is supported
  IDirect3DSurface9* frontSurface;
  IDirect3DSurface9* backSurface;
  u32 lost;
  IDirect3DTexture9* currentTexture;
  u32 maxTextureWidth, maxTextureHeight, maxTextureAspect, squareOnly;
  SL_GS_SurfaceAccess frontAccess;
  SL_GS_SurfaceAccess backAccess;
  u32 width, height, bitsPerPixel, depthBits, stencilBits, windowed;
  u32 clipActive;
  u32 clipMethod;  // 1 scissor rectangle, 2 four user clip planes
  i32 originX, originY;  // 0x7fffffff: to be read again
  u32 depthTest;
  u32 modeSwitch;
  u32 active, minimised, sceneOpen;
  double gamma;
  double world[16];
  double rotation[16];
};

}  // namespace SLInternals

class CSL_GS_Gfx_DirectX : public CSL_GS_BaseGfx, private CSLWndProcHookTarget {
  SL_DECLARE_CLASS(CSL_GS_Gfx_DirectX)
 public:
  CSL_GS_Gfx_DirectX();
  ~CSL_GS_Gfx_DirectX() override;

  bool Init(HINSTANCE instance, HWND window, const SL_GS_DisplayMode* mode) override;
  void Shutdown() override;
  bool ChangeMode(const SL_GS_DisplayMode* mode) override;
  bool Clear(u32 color, bool depth, bool stencil) override;
  i32 GetClientScreenX() override;
  i32 GetClientScreenY() override;
  u32 GetWidth() override;
  u32 GetHeight() override;
  u32 GetBitsPerPixel() override;
  bool IsWindowed() override;
  bool IsReady() override;
  bool EndFrame() override;
  SL_GS_SurfaceAccess* GrabFrontBuffer(u32 which) override;
  bool ReleaseFrontBufferGrab() override;
  SL_GS_SurfaceAccess* LockBackBuffer(bool write) override;
  bool UnlockBackBuffer() override;
  bool SetGamma(double gamma) override;
  double GetGamma() override;
  bool SetDrawState(u32 state) override;
  u32 GetDrawState() override;
  u32 ReservedGfxSlot1(u32* a, u32 b, u32 c) override;
  bool GetSizeLimits(u32* width, u32* height) override;
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* options) override;
  bool CreateImageTextures(SL_GS_ImageRecord* image) override;
  void FreeImageTextures(SL_GS_ImageRecord* image) override;
  bool SetImageDirty(SL_GS_ImageRecord* image) override;
  bool CreateFontTextures(SL_GS_FontRecord* font) override;
  void FreeFontTextures(SL_GS_FontRecord* font) override;
  bool ApplyClipRect(u32 x, u32 y, u32 width, u32 height) override;
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* options,
                const SLWChar* text, u32 length) override;

 private:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND window, u32 message, WPARAM wParam, LPARAM lParam) override;
  // Fills the fields of `mode` whose bits are clear and checks the result (0x80001001).
  bool CompleteMode(SL_GS_DisplayMode* mode, bool fromDevice);
  // The back-buffer formats to try for `mode`, best first (0 with 0x8001000f when the
  // desktop's format is unusable in a window), and the bits per pixel recorded for them.
  u32 BackBufferCandidates(const SL_GS_DisplayMode& mode, D3DFORMAT* out, u32* bits);
  // The first depth format the platform pairs with `back`; false when there is none.
  bool PickDepthFormat(D3DFORMAT back, const SL_GS_DisplayMode& mode, D3DFORMAT* depth);
  D3DPRESENT_PARAMETERS MakeParameters(const SL_GS_DisplayMode& mode, D3DFORMAT back, D3DFORMAT depth);
  bool CreateDevice(const SL_GS_DisplayMode& mode);
  void ApplyWindowStyle(bool windowed, bool fromInit);
  void PlaceWindow(bool windowed, u32 width, u32 height);
  void BringToFront(bool withBringToTop);
  void RecordMode(const D3DPRESENT_PARAMETERS& parameters, u32 bits);
  bool SetUpDeviceState();
  void UnbindStream();
  void ChangeActivation(bool active, bool minimised);
  // Drawing (SLGfxDirectXDraw.cpp).
  bool FillImageTextures(SL_GS_ImageRecord* image);
  bool FillFontTextures(SL_GS_FontRecord* font);
  bool OpenScene();
  // The stage states, blending and world transform shared by images and text; false with
  // 0x80002002 when the device refuses one.
  bool SetDrawStates(u32 colour, bool additive, const GfxMatrix4& world);
  bool SetStageTexture(IDirect3DTexture9* texture);

  SLInternals::SL_GS_DeviceRecord* m_record;
  // Guards the device's drawing stage (bound texture and stream, render states, the
  // remembered texture) while a picture or a line of text is set up and rasterised, and
  // while another thread unbinds what it frees. Apart from the base's lock of the handle
  // lists: drawing rasterises in software and takes milliseconds, and a thread creating
  // pictures (the catalogue loader) must not wait for a frame to link each new handle.
  CSLCriticalSection m_stageLock;
};
