#include "foundation/SLDebug.h"

#include "foundation/SLCaseMap.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"

namespace SLInternals {

CMXDebugHelper* g_debugHelper = nullptr;

CMXDebugHelper::~CMXDebugHelper() {
  if (m_kernel32) SLFreeLibrary(m_kernel32);
  m_kernel32 = nullptr;
  m_pOutputDebugStringA = nullptr;
  m_pOutputDebugStringW = nullptr;
}

bool CMXDebugHelper::Initialize() {
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"OutputDebugStringA", &m_pOutputDebugStringA);
    SLBindProc(m_kernel32, u"OutputDebugStringW", &m_pOutputDebugStringW);
  }
  return true;
}

void CMXDebugHelper::Output(const char* text) const {
  if (!text || !*text) return;
  if (m_pOutputDebugStringA) {
    m_pOutputDebugStringA(text);
    return;
  }
  if (!m_pOutputDebugStringW) return;
  constexpr u32 kPiece = 250;
  SLWChar piece[kPiece + 1];
  u32 used = 0;
  for (const char* p = text; *p; ++p) {
    piece[used++] = SLAnsiCharToWide(u8(*p), 0);
    if (used == kPiece) {
      piece[used] = 0;
      m_pOutputDebugStringW(piece);
      used = 0;
    }
  }
  if (used) {
    piece[used] = 0;
    m_pOutputDebugStringW(piece);
  }
}

}  // namespace SLInternals

void SLDebugPrint(const char* text) {
  SLInternals::CMXDebugHelper* helper = SLGetStaticSingleton(SLInternals::g_debugHelper, SL_OOD_PRIORITY_DEBUG);
  if (!helper) return (void)SLSetLastError(SL_E_OUT_OF_MEMORY);
  SLSetLastError(SL_OK);
  helper->Output(text);
}

void SLDebugPrintNumber(u32 value) {
  char digits[11];
  int at = 10;
  digits[at] = 0;
  do {
    digits[--at] = char('0' + value % 10);
    value /= 10;
  } while (value);
  SLDebugPrint(digits + at);
}

// ---- module list ------------------------------------------------------------------------

struct CSLEnumerateModuleList::Private {
  HMODULE libraries[3];
  void* entries[4];
  HANDLE snapshot;
};

SL_IMPLEMENT_CLASS(CSLEnumerateModuleList, CSLObject)

CSLEnumerateModuleList::CSLEnumerateModuleList() : m_private(nullptr) {}

CSLEnumerateModuleList::~CSLEnumerateModuleList() {
  if (!m_private) return;
  SLErrorKeeper keep;
  if (m_private->snapshot) SLCloseHandle(m_private->snapshot);
  for (HMODULE library : m_private->libraries)
    if (library) SLFreeLibrary(library);
  SLMemSet(m_private, 0, sizeof(*m_private));
  SLFree(m_private);
  m_private = nullptr;
}
