// Diagnostic text to the system's debug output, and the module-list handle.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLSingleton.h"
#include "platform/wintypes.h"

void SLDebugPrint(const char* text);
void SLDebugPrintNumber(u32 value);

namespace SLInternals {

// The debug output service: kernel32's OutputDebugStringA/W, bound by name. Built in a
// static buffer and destroyed last of all singletons, so every clean-up can report.
class CMXDebugHelper : public CSLBaseOODClass {
 public:
  using OutputAFunc = void (*)(const char* text);
  using OutputWFunc = void (*)(const SLWChar* text);

  ~CMXDebugHelper() override;
  bool Initialize() override;  // succeeds also when the library or an entry is missing
  // Text goes whole to the 8-bit entry; without it, to the UTF-16 entry in
  // terminated pieces of at most 250 units.
  void Output(const char* text) const;

  HMODULE m_kernel32 = nullptr;
  OutputAFunc m_pOutputDebugStringA = nullptr;
  OutputWFunc m_pOutputDebugStringW = nullptr;
};

// The service's instance variable (null until first use).
extern CMXDebugHelper* g_debugHelper;

}  // namespace SLInternals

// Owns the handles a module list needs; nothing here asks it for more.
class CSLEnumerateModuleList : public CSLObject {
  SL_DECLARE_CLASS(CSLEnumerateModuleList)
 public:
  CSLEnumerateModuleList();
  ~CSLEnumerateModuleList() override;

 private:
  struct Private;
  Private* m_private;
};
