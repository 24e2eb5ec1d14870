// The system text functions bound by name, the per-thread transcoders, the conversion
// entry points by code page and the cached system code pages.
#include <atomic>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLSync.h"
#include "foundation/SLTranscoder.h"

namespace SLInternals {

// ---------------------------------------------------------------------------------------
// API loader

CMXStrAPILoader::CMXStrAPILoader()
    : m_kernel32(nullptr),
      m_user32(nullptr),
      m_oleaut32(nullptr),
      m_pLoadStringA(nullptr),
      m_pLoadStringW(nullptr),
      m_pGetVersion(nullptr),
      m_pGetModuleHandleA(nullptr),
      m_pGetModuleHandleW(nullptr),
      m_pMultiByteToWideChar(nullptr),
      m_pWideCharToMultiByte(nullptr),
      m_pGetLocaleInfoA(nullptr),
      m_pGetLocaleInfoW(nullptr),
      m_pGetThreadLocale(nullptr),
      m_pGetCPInfo(nullptr),
      m_pIsDBCSLeadByteEx(nullptr),
      m_pGetStringTypeExW(nullptr),
      m_pLCMapStringA(nullptr),
      m_pSysAllocString(nullptr),
      m_pSysAllocStringLen(nullptr),
      m_pSysFreeString(nullptr),
      m_pSysStringLen(nullptr) {}

CMXStrAPILoader::~CMXStrAPILoader() {
  SLErrorKeeper keep;
  if (m_kernel32) SLFreeLibrary(m_kernel32);
  if (m_user32) SLFreeLibrary(m_user32);
  if (m_oleaut32) SLFreeLibrary(m_oleaut32);
}

bool CMXStrAPILoader::Initialize() {
  // Every module and entry point is optional: a missing one only makes its users fall back.
  m_user32 = SLLoadLibrary(u"user32.dll");
  if (m_user32) {
    SLBindProc(m_user32, u"LoadStringA", &m_pLoadStringA);
    SLBindProc(m_user32, u"LoadStringW", &m_pLoadStringW);
  }
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetVersion", &m_pGetVersion);
    SLBindProc(m_kernel32, u"GetModuleHandleA", &m_pGetModuleHandleA);
    SLBindProc(m_kernel32, u"GetModuleHandleW", &m_pGetModuleHandleW);
    SLBindProc(m_kernel32, u"MultiByteToWideChar", &m_pMultiByteToWideChar);
    SLBindProc(m_kernel32, u"WideCharToMultiByte", &m_pWideCharToMultiByte);
    SLBindProc(m_kernel32, u"GetLocaleInfoA", &m_pGetLocaleInfoA);
    SLBindProc(m_kernel32, u"GetLocaleInfoW", &m_pGetLocaleInfoW);
    SLBindProc(m_kernel32, u"GetThreadLocale", &m_pGetThreadLocale);
    SLBindProc(m_kernel32, u"GetCPInfo", &m_pGetCPInfo);
    SLBindProc(m_kernel32, u"IsDBCSLeadByteEx", &m_pIsDBCSLeadByteEx);
    SLBindProc(m_kernel32, u"GetStringTypeExW", &m_pGetStringTypeExW);
    SLBindProc(m_kernel32, u"LCMapStringA", &m_pLCMapStringA);
  }
  m_oleaut32 = SLLoadLibrary(u"oleaut32.dll");
  if (m_oleaut32) {
    SLBindProc(m_oleaut32, u"SysAllocString", &m_pSysAllocString);
    SLBindProc(m_oleaut32, u"SysAllocStringLen", &m_pSysAllocStringLen);
    SLBindProc(m_oleaut32, u"SysFreeString", &m_pSysFreeString);
    SLBindProc(m_oleaut32, u"SysStringLen", &m_pSysStringLen);
  }
  return true;
}

int CMXStrAPILoader::MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount,
                                         SLWChar* units, int unitCount) {
  if (!m_pMultiByteToWideChar) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return m_pMultiByteToWideChar(codePage, flags, bytes, byteCount, units, unitCount);
}

int CMXStrAPILoader::WideCharToMultiByte(UINT codePage, DWORD flags, const SLWChar* units, int unitCount,
                                         char* bytes, int byteCount, const char* defaultChar, BOOL* usedDefault) {
  if (!m_pWideCharToMultiByte) {
    SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return m_pWideCharToMultiByte(codePage, flags, units, unitCount, bytes, byteCount, defaultChar, usedDefault);
}

LCID CMXStrAPILoader::GetThreadLocale() { return m_pGetThreadLocale ? m_pGetThreadLocale() : LOCALE_USER_DEFAULT; }

BOOL CMXStrAPILoader::GetCPInfo(UINT codePage, CPINFO* info) {
  return m_pGetCPInfo ? m_pGetCPInfo(codePage, info) : FALSE;
}

BOOL CMXStrAPILoader::IsDBCSLeadByteEx(UINT codePage, BYTE byte) {
  return m_pIsDBCSLeadByteEx ? m_pIsDBCSLeadByteEx(codePage, byte) : FALSE;
}

BOOL CMXStrAPILoader::GetStringTypeExW(LCID locale, DWORD infoType, const SLWChar* units, int count, WORD* types) {
  return m_pGetStringTypeExW ? m_pGetStringTypeExW(locale, infoType, units, count, types) : FALSE;
}

int CMXStrAPILoader::LCMapStringA(LCID locale, DWORD flags, const char* source, int sourceCount, char* target,
                                  int targetCount) {
  return m_pLCMapStringA ? m_pLCMapStringA(locale, flags, source, sourceCount, target, targetCount) : 0;
}

u32 CMXStrAPILoader::GetLocaleNumber(LCID locale, LCTYPE type) {
  DWORD value = 0;
  if (m_pGetLocaleInfoA) {
    if (m_pGetLocaleInfoA(locale, type | LOCALE_RETURN_NUMBER, reinterpret_cast<char*>(&value), sizeof value) > 0)
      return value;
  } else if (m_pGetLocaleInfoW) {
    if (m_pGetLocaleInfoW(locale, type | LOCALE_RETURN_NUMBER, reinterpret_cast<SLWChar*>(&value),
                          sizeof value / sizeof(SLWChar)) > 0)
      return value;
  }
  return 0;
}

namespace {
CMXStrAPILoader* g_strApi = nullptr;
}  // namespace

CMXStrAPILoader* SLGetStrAPI() {
  CMXStrAPILoader* api = SLGetStaticSingleton(g_strApi, SL_OOD_PRIORITY_STR_API);
  if (!api) SLSetLastError(SL_E_OUT_OF_MEMORY);
  return api;
}

// ---------------------------------------------------------------------------------------
// Per-thread transcoders

CMXStrConvertHelper::CMXStrConvertHelper()
    : m_codePage(new CSLStringTranscoderCODEPAGE()),
      m_symbols(new CSLStringTranscoderSYMBOLS()),
      m_utf8(new CSLStringTranscoderUTF8()) {}

CMXStrConvertHelper::~CMXStrConvertHelper() {
  SLErrorKeeper keep;
  if (m_codePage) m_codePage->Release();
  if (m_symbols) m_symbols->Release();
  if (m_utf8) m_utf8->Release();
}

}  // namespace SLInternals

namespace {

using SLInternals::CMXStrConvertHelper;

SLThreadDataSlot g_convertHelperSlot;

CSLBaseThreadData* MakeConvertHelper() {
  auto* helper = new CMXStrConvertHelper();
  if (!helper) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLBaseThreadData*>(nullptr));
  if (!helper->IsComplete()) {
    helper->DeletingDtor(1);
    return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLBaseThreadData*>(nullptr));
  }
  return helper;
}

}  // namespace

CSLBaseStringTranscoder* SLGetTranscoder(u32 codePage, u32 flags) {
  auto* helper = static_cast<CMXStrConvertHelper*>(SLGetThreadData(&g_convertHelperSlot, &MakeConvertHelper));
  if (!helper) return nullptr;
  CSLBaseStringTranscoder* transcoder;
  if (codePage == CP_SYMBOL)
    transcoder = helper->m_symbols;
  else if (codePage == CP_UTF8)
    transcoder = helper->m_utf8;
  else
    transcoder = helper->m_codePage;
  {
    // Whatever an earlier conversion left open ends here; idle directions are no error.
    SLErrorKeeper keep;
    if (transcoder->IsEncoding()) transcoder->FinishEncode();
    if (transcoder->IsDecoding()) transcoder->FinishDecode();
  }
  if (transcoder == helper->m_codePage &&
      (!helper->m_codePage->SetCodePage(codePage) || !helper->m_codePage->SetFlags(flags)))
    return nullptr;
  return SLSucceed(transcoder);
}

namespace {

// Ends a conversion: Finish always runs; the first failure's code stands.
bool Conclude(CSLBaseStringTranscoder* transcoder, bool fedOk, bool encode) {
  if (!fedOk) {
    SLErrorKeeper keep;
    encode ? transcoder->FinishEncode() : transcoder->FinishDecode();
    return false;
  }
  return encode ? transcoder->FinishEncode() : transcoder->FinishDecode();
}

template <class T>
bool StoreSize(T* target, u32* size, u32 capacity, u32 produced, bool ok) {
  *size = produced;
  if (ok && target && produced < capacity) target[produced] = 0;
  return ok;
}

// Bytes of a code page to UTF-16.
bool DecodeToWide(u32 codePage, SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  u32 capacity = target ? *size : 0;
  u32 produced = 0;
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginDecodeToBuffer(target, capacity, &produced))
    return StoreSize(target, size, capacity, 0, false);
  bool ok = transcoder->DecodeBytes(reinterpret_cast<const u8*>(source), length, nullptr);
  ok = Conclude(transcoder, ok, false);
  return StoreSize(target, size, capacity, produced, ok);
}

// Bytes of a code page to ANSI bytes (decoded, then encoded again by the chained transcoder).
bool DecodeToAnsi(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  u32 capacity = target ? *size : 0;
  u32 produced = 0;
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginDecodeToBytes(reinterpret_cast<u8*>(target), capacity, &produced))
    return StoreSize(target, size, capacity, 0, false);
  bool ok = transcoder->DecodeBytes(reinterpret_cast<const u8*>(source), length, nullptr);
  ok = Conclude(transcoder, ok, false);
  return StoreSize(target, size, capacity, produced, ok);
}

// UTF-16 or ANSI text to the bytes of a code page.
template <class C>
bool Encode(u32 codePage, char* target, u32* size, const C* source, u32 length, u32 flags) {
  if (!size) return SLFail(SL_E_INVALID_ARG, false);
  u32 capacity = target ? *size : 0;
  u32 produced = 0;
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginEncodeToBuffer(reinterpret_cast<u8*>(target), capacity, &produced))
    return StoreSize(target, size, capacity, 0, false);
  bool ok;
  if constexpr (sizeof(C) == 1)
    ok = transcoder->EncodeAnsi(source, length, nullptr);
  else
    ok = transcoder->EncodeWChars(source, length, nullptr);
  ok = Conclude(transcoder, ok, true);
  return StoreSize(target, size, capacity, produced, ok);
}

}  // namespace

bool SLMultiByteToAnsi(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToAnsi(codePage, target, size, source, length, flags);
}
bool SLMultiByteToWide(u32 codePage, SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToWide(codePage, target, size, source, length, flags);
}
bool SLAnsiToMultiByte(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags) {
  return Encode(codePage, target, size, source, length, flags);
}
bool SLWideToMultiByte(u32 codePage, char* target, u32* size, const SLWChar* source, u32 length, u32 flags) {
  return Encode(codePage, target, size, source, length, flags);
}
bool SLUtf8ToAnsi(char* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToAnsi(CP_UTF8, target, size, source, length, flags);
}
bool SLUtf8ToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToWide(CP_UTF8, target, size, source, length, flags);
}
bool SLAnsiToUtf8(char* target, u32* size, const char* source, u32 length, u32 flags) {
  return Encode(CP_UTF8, target, size, source, length, flags);
}
bool SLWideToUtf8(char* target, u32* size, const SLWChar* source, u32 length, u32 flags) {
  return Encode(CP_UTF8, target, size, source, length, flags);
}
bool SLAnsiToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags) {
  return DecodeToWide(CP_ACP, target, size, source, length, flags);
}
bool SLWideToAnsi(char* target, u32* size, const SLWChar* source, u32 length, u32 flags) {
  return Encode(CP_ACP, target, size, source, length, flags);
}

bool SLMultiByteToWideStream(u32 codePage, SLUnitSink output, SLByteSource input, void* context, u32 flags) {
  if (!input) return SLFail(SL_E_INVALID_ARG, false);
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginDecodeToCallback(output, context)) return false;
  bool ok = transcoder->DecodeFromCallback(input, context, nullptr);
  return Conclude(transcoder, ok, false);
}

bool SLWideToMultiByteStream(u32 codePage, SLByteSink output, SLUnitSource input, void* context, u32 flags) {
  if (!input) return SLFail(SL_E_INVALID_ARG, false);
  CSLBaseStringTranscoder* transcoder = SLGetTranscoder(codePage, flags);
  if (!transcoder || !transcoder->BeginEncodeToCallback(output, context)) return false;
  bool ok = transcoder->EncodeFromCallback(input, context, nullptr);
  return Conclude(transcoder, ok, true);
}

bool SLAnsiToWideStream(SLUnitSink output, SLByteSource input, void* context, u32 flags) {
  return SLMultiByteToWideStream(CP_ACP, output, input, context, flags);
}

bool SLWideToAnsiStream(SLByteSink output, SLUnitSource input, void* context, u32 flags) {
  return SLWideToMultiByteStream(CP_ACP, output, input, context, flags);
}

// ---------------------------------------------------------------------------------------
// Cached system code pages

namespace {

SLFastLock g_codePageLock;
std::atomic<u32> g_codePagesReady{0};
u32 g_codePages[3] = {1252, 437, 10000};

// A code page from the locale, kept when the system knows it.
u32 AskCodePage(SLInternals::CMXStrAPILoader* api, LCID locale, LCTYPE type) {
  u32 codePage = api->GetLocaleNumber(locale, type);
  CPINFO info;
  return codePage && api->GetCPInfo(codePage, &info) ? codePage : 0;
}

}  // namespace

u32 SLGetCodePageCached(u32 kind) {
  if (kind > 3) return kind;
  SLInternals::CMXStrAPILoader* api = SLInternals::SLGetStrAPI();
  if (!g_codePagesReady.load(std::memory_order_acquire) && api) {
    CSLAutoFastMutex lock(&g_codePageLock);
    if (!g_codePagesReady.load(std::memory_order_relaxed)) {
      const LCTYPE types[3] = {LOCALE_IDEFAULTANSICODEPAGE, LOCALE_IDEFAULTCODEPAGE, LOCALE_IDEFAULTMACCODEPAGE};
      for (int i = 0; i < 3; ++i)
        if (u32 codePage = AskCodePage(api, LOCALE_USER_DEFAULT, types[i])) g_codePages[i] = codePage;
      g_codePagesReady.store(1, std::memory_order_release);
    }
  }
  if (kind == 3) {
    u32 codePage = api ? AskCodePage(api, api->GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE) : 0;
    return codePage ? codePage : g_codePages[0];
  }
  return g_codePages[kind];
}
