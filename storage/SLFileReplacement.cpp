#include "storage/SLFileReplacement.h"

#include "foundation/SLLibrary.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLWideText.h"

namespace {
// How many writers of one file may be at work at once; past them a save is refused as
// the names in use (ERROR_SHARING_VIOLATION).
constexpr u32 kTemporaryNames = 64;
}  // namespace

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
  for (u32 n = 1; n <= kTemporaryNames; ++n) {
    SLWChar suffix[16];
    SLSnprintfW(suffix, 16, u".%u.tmp", n);
    if (!m_temporary.Assign(target, nameStart) || !m_temporary.Append(u".") ||
        !m_temporary.Append(target + nameStart) || !m_temporary.Append(suffix)) {
      m_temporary.Empty();
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    if (m_file.CreateW(m_temporary.CStr(), SL_STORAGE_WRITE | SL_STORAGE_CLAIM)) return SLSucceed(true);
    // Another writer's, or a folder or a link that is no writer's: the next name.
    const u32 systemError = SLGetSystemLastError();
    if (systemError != ERROR_SHARING_VIOLATION && systemError != ERROR_FILE_EXISTS) break;
  }
  const u32 systemError = SLGetSystemLastError();
  m_temporary.Empty();
  SLSetSystemLastError(systemError);
  return SLFail(SL_E_STORAGE_CREATE, false);
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
