// Types, constants and entry-point signatures of the system's text functions (code pages,
// locale queries, character types, case mapping, resource strings, OLE strings). Our own
// declarations, shared by the kernel32/user32/oleaut32 stand-ins and their callers.
#pragma once

#include "platform/wintypes.h"

using LCTYPE = DWORD;
using BSTR = WCHAR*;

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_MACCP = 2;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_SYMBOL = 42;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_PRECOMPOSED = 0x1;
inline constexpr DWORD MB_COMPOSITE = 0x2;
inline constexpr DWORD MB_USEGLYPHCHARS = 0x4;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;

inline constexpr DWORD WC_DISCARDNS = 0x10;
inline constexpr DWORD WC_SEPCHARS = 0x20;
inline constexpr DWORD WC_DEFAULTCHAR = 0x40;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;
inline constexpr DWORD WC_COMPOSITECHECK = 0x200;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;

inline constexpr UINT MAX_LEADBYTES = 12;
inline constexpr UINT MAX_DEFAULTCHAR = 2;
struct CPINFO {
  UINT MaxCharSize;
  BYTE DefaultChar[MAX_DEFAULTCHAR];
  BYTE LeadByte[MAX_LEADBYTES];
};

inline constexpr DWORD CT_CTYPE1 = 0x1;
inline constexpr WORD C1_UPPER = 0x001;
inline constexpr WORD C1_LOWER = 0x002;
inline constexpr WORD C1_DIGIT = 0x004;
inline constexpr WORD C1_SPACE = 0x008;
inline constexpr WORD C1_PUNCT = 0x010;
inline constexpr WORD C1_CNTRL = 0x020;
inline constexpr WORD C1_BLANK = 0x040;
inline constexpr WORD C1_XDIGIT = 0x080;
inline constexpr WORD C1_ALPHA = 0x100;
inline constexpr WORD C1_DEFINED = 0x200;

inline constexpr DWORD LCMAP_LOWERCASE = 0x100;
inline constexpr DWORD LCMAP_UPPERCASE = 0x200;

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCTYPE LOCALE_RETURN_NUMBER = 0x20000000;
inline constexpr LCTYPE LOCALE_NOUSEROVERRIDE = 0x80000000;
inline constexpr LCTYPE LOCALE_ILANGUAGE = 0x0001;
inline constexpr LCTYPE LOCALE_SENGLANGUAGE = 0x1001;
inline constexpr LCTYPE LOCALE_SABBREVLANGNAME = 0x0003;
inline constexpr LCTYPE LOCALE_SENGCOUNTRY = 0x1002;
inline constexpr LCTYPE LOCALE_SDECIMAL = 0x000E;
inline constexpr LCTYPE LOCALE_STHOUSAND = 0x000F;
inline constexpr LCTYPE LOCALE_IDEFAULTCODEPAGE = 0x000B;
inline constexpr LCTYPE LOCALE_IDEFAULTANSICODEPAGE = 0x1004;
inline constexpr LCTYPE LOCALE_IDEFAULTMACCODEPAGE = 0x1011;

using PFN_MultiByteToWideChar = int (*)(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR units,
                                        int unitCount);
using PFN_WideCharToMultiByte = int (*)(UINT codePage, DWORD flags, LPCWSTR units, int unitCount, LPSTR bytes,
                                        int byteCount, LPCSTR defaultChar, BOOL* usedDefault);
using PFN_GetCPInfo = BOOL (*)(UINT codePage, CPINFO* info);
using PFN_IsDBCSLeadByteEx = BOOL (*)(UINT codePage, BYTE byte);
using PFN_GetStringTypeExW = BOOL (*)(LCID locale, DWORD infoType, LPCWSTR units, int count, WORD* types);
using PFN_LCMapStringA = int (*)(LCID locale, DWORD mapFlags, LPCSTR source, int sourceCount, LPSTR target,
                                 int targetCount);
using PFN_GetLocaleInfoA = int (*)(LCID locale, LCTYPE type, LPSTR data, int dataCount);
using PFN_GetLocaleInfoW = int (*)(LCID locale, LCTYPE type, LPWSTR data, int dataCount);
using PFN_GetThreadLocale = LCID (*)();
using PFN_GetACP = UINT (*)();
using PFN_GetOEMCP = UINT (*)();
using PFN_GetVersion = DWORD (*)();
using PFN_GetModuleHandleA = HMODULE (*)(LPCSTR name);
using PFN_GetModuleHandleW = HMODULE (*)(LPCWSTR name);
using PFN_LoadStringA = int (*)(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);
using PFN_LoadStringW = int (*)(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
using PFN_SysAllocString = BSTR (*)(const WCHAR* text);
using PFN_SysAllocStringLen = BSTR (*)(const WCHAR* text, UINT length);
using PFN_SysFreeString = void (*)(BSTR text);
using PFN_SysStringLen = UINT (*)(BSTR text);
