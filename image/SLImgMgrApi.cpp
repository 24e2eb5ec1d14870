#include "image/SLImgMgrApi.h"

#include <atomic>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"

namespace SLInternals {
namespace {

CSL_ImgMgr_ApiLoader* g_imgMgrApi = nullptr;

}  // namespace

CSL_ImgMgr_ApiLoader::~CSL_ImgMgr_ApiLoader() {
  if (m_gdi32) SLFreeLibrary(m_gdi32);
  if (m_user32) SLFreeLibrary(m_user32);
}

bool CSL_ImgMgr_ApiLoader::Initialize() {
  m_user32 = SLLoadLibrary(u"user32.dll");
  m_gdi32 = SLLoadLibrary(u"gdi32.dll");
  if (HMODULE u = m_user32) {
    SLBindProc(u, u"GetDC", &m_pGetDC);
    SLBindProc(u, u"ReleaseDC", &m_pReleaseDC);
  }
  if (HMODULE g = m_gdi32) {
    SLBindProc(g, u"GetObjectType", &m_pGetObjectType);
    SLBindProc(g, u"GetObjectA", &m_pGetObjectA);
    SLBindProc(g, u"GetObjectW", &m_pGetObjectW);
    SLBindProc(g, u"CreateCompatibleDC", &m_pCreateCompatibleDC);
    SLBindProc(g, u"DeleteDC", &m_pDeleteDC);
    SLBindProc(g, u"SelectObject", &m_pSelectObject);
    SLBindProc(g, u"GetCurrentObject", &m_pGetCurrentObject);
    SLBindProc(g, u"GetPaletteEntries", &m_pGetPaletteEntries);
    SLBindProc(g, u"GetPixel", &m_pGetPixel);
    SLBindProc(g, u"CreateDIBSection", &m_pCreateDIBSection);
    SLBindProc(g, u"GdiFlush", &m_pGdiFlush);
    SLBindProc(g, u"GetDIBColorTable", &m_pGetDIBColorTable);
    SLBindProc(g, u"GetDIBits", &m_pGetDIBits);
    SLBindProc(g, u"GetBitmapBits", &m_pGetBitmapBits);
  }
  return true;
}

HDC CSL_ImgMgr_ApiLoader::GetDC(HWND window) { return SLCallEntry(m_pGetDC, window); }
int CSL_ImgMgr_ApiLoader::ReleaseDC(HWND window, HDC dc) { return SLCallEntry(m_pReleaseDC, window, dc); }
HBITMAP CSL_ImgMgr_ApiLoader::CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                               HANDLE section, DWORD offset) {
  return SLCallEntry(m_pCreateDIBSection, dc, info, usage, bits, section, offset);
}
BOOL CSL_ImgMgr_ApiLoader::GdiFlush() { return SLCallEntry(m_pGdiFlush); }
int CSL_ImgMgr_ApiLoader::GetObjectA(HGDIOBJ object, int size, void* buffer) {
  return SLCallEntry(m_pGetObjectA ? m_pGetObjectA : m_pGetObjectW, object, size, buffer);
}

}  // namespace SLInternals

SLInternals::CSL_ImgMgr_ApiLoader* SLGetImgMgrApiLoader(bool noCreate) {
  using Loader = SLInternals::CSL_ImgMgr_ApiLoader;
  if (noCreate) {
    Loader* existing = std::atomic_ref<Loader*>(SLInternals::g_imgMgrApi).load(std::memory_order_acquire);
    SLSetLastError(0);
    return existing;
  }
  Loader* loader = SLGetSingleton(SLInternals::g_imgMgrApi, SL_OOD_PRIORITY_IMAGE_LOADER);
  return loader ? SLSucceed(loader) : SLFail(SL_E_OUT_OF_MEMORY, static_cast<Loader*>(nullptr));
}
