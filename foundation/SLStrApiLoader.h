// The system's text functions (code-page conversion, locale numbers, character types,
// case mapping, system strings), bound by name at first use, and the system code pages
// cached from them.
#pragma once

#include "foundation/SLSingleton.h"
#include "foundation/SLTypes.h"
#include "platform/wintext.h"

namespace SLInternals {

// The system's text functions, bound by name; missing ones make only their users fall back.
class CMXStrAPILoader : public CSLBaseOODClass {
 public:
  CMXStrAPILoader();
  ~CMXStrAPILoader() override;
  bool Initialize() override;

  // The calls with their documented fall-backs for missing entry points.
  int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount, SLWChar* units,
                          int unitCount);
  int WideCharToMultiByte(UINT codePage, DWORD flags, const SLWChar* units, int unitCount, char* bytes,
                          int byteCount, const char* defaultChar, BOOL* usedDefault);
  LCID GetThreadLocale();
  BOOL GetCPInfo(UINT codePage, CPINFO* info);
  BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte);
  BOOL GetStringTypeExW(LCID locale, DWORD infoType, const SLWChar* units, int count, WORD* types);
  int LCMapStringA(LCID locale, DWORD flags, const char* source, int sourceCount, char* target, int targetCount);
  // A number from the locale (LOCALE_RETURN_NUMBER): the A form, else the W form; 0 when neither.
  u32 GetLocaleNumber(LCID locale, LCTYPE type);

  HMODULE m_kernel32;
  HMODULE m_user32;
  HMODULE m_oleaut32;
  PFN_LoadStringA m_pLoadStringA;
  PFN_LoadStringW m_pLoadStringW;
  PFN_GetVersion m_pGetVersion;
  PFN_GetModuleHandleA m_pGetModuleHandleA;
  PFN_GetModuleHandleW m_pGetModuleHandleW;
  PFN_MultiByteToWideChar m_pMultiByteToWideChar;
  PFN_WideCharToMultiByte m_pWideCharToMultiByte;
  PFN_GetLocaleInfoA m_pGetLocaleInfoA;
  PFN_GetLocaleInfoW m_pGetLocaleInfoW;
  PFN_GetThreadLocale m_pGetThreadLocale;
  PFN_GetCPInfo m_pGetCPInfo;
  PFN_IsDBCSLeadByteEx m_pIsDBCSLeadByteEx;
  PFN_GetStringTypeExW m_pGetStringTypeExW;
  PFN_LCMapStringA m_pLCMapStringA;
  PFN_SysAllocString m_pSysAllocString;
  PFN_SysAllocStringLen m_pSysAllocStringLen;
  PFN_SysFreeString m_pSysFreeString;
  PFN_SysStringLen m_pSysStringLen;
};

// The loader singleton (null with 0x80000001 when it cannot be created).
CMXStrAPILoader* SLGetStrAPI();

}  // namespace SLInternals

// 0 ANSI, 1 OEM, 2 Mac, 3 the ANSI code page of the thread's locale; other values return as given.
u32 SLGetCodePageCached(u32 kind);
