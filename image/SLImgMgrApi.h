// The user32 and gdi32 entry points of the image layer (the export of an image as a
// device-independent bitmap), bound by name on first use. A missing library or entry
// point never fails the loader: only the calls that need it answer 0 with system error
// 120.
#pragma once

#include "foundation/SLSingleton.h"
#include "foundation/SLTypes.h"
#include "platform/gdi32/Gdi32.h"

namespace SLInternals {

class CSL_ImgMgr_ApiLoader : public CSLBaseOODClass {
 public:
  ~CSL_ImgMgr_ApiLoader() override;  // frees both libraries
  bool Initialize() override;

  HDC GetDC(HWND window);
  int ReleaseDC(HWND window, HDC dc);
  HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
  BOOL GdiFlush();
  // Falls back to GetObjectW when GetObjectA is missing.
  int GetObjectA(HGDIOBJ object, int size, void* buffer);

  HMODULE m_user32 = nullptr;
  HMODULE m_gdi32 = nullptr;
  HDC (*m_pGetDC)(HWND) = nullptr;
  int (*m_pReleaseDC)(HWND, HDC) = nullptr;
  DWORD (*m_pGetObjectType)(HGDIOBJ) = nullptr;
  int (*m_pGetObjectA)(HGDIOBJ, int, void*) = nullptr;
  int (*m_pGetObjectW)(HGDIOBJ, int, void*) = nullptr;
  HDC (*m_pCreateCompatibleDC)(HDC) = nullptr;
  BOOL (*m_pDeleteDC)(HDC) = nullptr;
  HGDIOBJ (*m_pSelectObject)(HDC, HGDIOBJ) = nullptr;
  HGDIOBJ (*m_pGetCurrentObject)(HDC, UINT) = nullptr;
  UINT (*m_pGetPaletteEntries)(HPALETTE, UINT, UINT, PALETTEENTRY*) = nullptr;
  DWORD (*m_pGetPixel)(HDC, int, int) = nullptr;
  HBITMAP (*m_pCreateDIBSection)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD) = nullptr;
  BOOL (*m_pGdiFlush)() = nullptr;
  UINT (*m_pGetDIBColorTable)(HDC, UINT, UINT, RGBQUAD*) = nullptr;
  int (*m_pGetDIBits)(HDC, HBITMAP, UINT, UINT, void*, BITMAPINFO*, UINT) = nullptr;
  LONG (*m_pGetBitmapBits)(HBITMAP, LONG, void*) = nullptr;
};

}  // namespace SLInternals

// The loader, made on first use unless `noCreate` (then null with code 0 while there is
// none). Null with 0x80000001 when it cannot be made.
SLInternals::CSL_ImgMgr_ApiLoader* SLGetImgMgrApiLoader(bool noCreate);
