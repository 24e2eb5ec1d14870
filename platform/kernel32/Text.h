// The kernel32 stand-in's text functions: code-page conversion, code-page facts, character
// types, case mapping and the locale queries of the one system locale (Spanish, 0x0C0A,
// ANSI 1252, OEM 437, Mac 10000). Code pages known: 1252, 437, 850, 10000, 42 (symbol) and
// 65001 (UTF-8); none of them is double-byte.
#pragma once

#include "platform/wintext.h"

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR units, int unitCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR units, int unitCount, LPSTR bytes, int byteCount,
                        LPCSTR defaultChar, BOOL* usedDefault);
BOOL GetCPInfo(UINT codePage, CPINFO* info);
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE byte);
BOOL GetStringTypeExW(LCID locale, DWORD infoType, LPCWSTR units, int count, WORD* types);
int LCMapStringA(LCID locale, DWORD mapFlags, LPCSTR source, int sourceCount, LPSTR target, int targetCount);
int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int dataCount);
int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int dataCount);
LCID GetThreadLocale();
UINT GetACP();
UINT GetOEMCP();
