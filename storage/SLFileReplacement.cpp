#include "storage/SLFileReplacement.h"

#include "foundation/SLLibrary.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLWideText.h"

CSLFileReplacement::~CSLFileReplacement() { Abandon(); }

bool CSLFileReplacement::BeginA(const char* target) {
  CSLStringWide wide;
  if (!target || !*target) return SLFail(SL_E_STORAGE_NAME, false);
  if (!wide.AssignA(target)) return false;
  return BeginW(wide.CStr());
}

bool CSLFileReplacement::BeginW(const SLWChar* target) {
  Abandon();
  if (!target || !*target) return SLFail(SL_E_STORAGE_NAME, false);
  if (!m_target.Assign(target)) return false;
  u32 nameStart = m_target.GetLength();
  while (nameStart > 0 && !SLIsPathSeparator(target[nameStart - 1])) --nameStart;
  const bool claimed = SLClaimFirstFreeName(&m_file, [&](u32 n) -> const SLWChar* {
    SLWChar suffix[16];
    SLSnprintfW(suffix, 16, u".%u.tmp", n);
    const bool made = m_temporary.Assign(target, nameStart) && m_temporary.Append(u".") &&
                      m_temporary.Append(target + nameStart) && m_temporary.Append(suffix);
    return made ? m_temporary.CStr() : nullptr;
  });
  if (claimed) return SLSucceed(true);
  // Nothing is begun; the failure's codes stay for the caller.
  SLErrorKeeper keep;
  const u32 systemError = SLGetSystemLastError();
  m_temporary.Empty();
  SLSetSystemLastError(systemError);
  return false;
}

// The temporary is renamed, and on failure removed, while it is still held: released
// first, another writer could take it for a dead one's leftover in between.
bool CSLFileReplacement::Commit() {
  if (m_temporary.IsEmpty()) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (!m_file.Flush() || !SLReplaceFileW(m_temporary.CStr(), m_target.CStr())) {
    Abandon();
    return false;
  }
  m_file.Close();
  m_temporary.Empty();
  return SLSucceed(true);
}

void CSLFileReplacement::Abandon() {
  if (m_temporary.IsEmpty()) return;
  SLErrorKeeper keep;
  const u32 systemError = SLGetSystemLastError();
  m_file.DeleteW(m_temporary.CStr());
  m_file.Close();
  m_temporary.Empty();
  SLSetSystemLastError(systemError);
}
