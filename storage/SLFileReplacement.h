// The new contents of a file, written beside it under a name of its own and put in its
// place only when whole. Writers that must not lose the old file to a failed write (the
// project file, the settings) go through it:
//
//   CSLFileReplacement file;
//   if (!file.BeginA(path)) ...;               // nothing made, the old file untouched
//   write into file.GetStorage() ...;          // a failure: Abandon (or let it go out of scope)
//   if (!file.Commit()) ...;                   // the old file untouched, nothing left
//
// Several writers of one file at once (two copies of the program saving the same movie)
// never write into each other's temporary: each claims its own (SL_STORAGE_CLAIM), named
// ".<file name>.<n>.tmp" in the file's folder with n from 1 on, the first name no live
// writer holds. Every commit puts one whole file under the name, and the last one stays.
// A temporary left by a writer that was killed is no one's: the next claim of its name
// replaces it, and nothing else is ever removed (a folder or a link under such a name
// is passed over).
#pragma once

#include "foundation/SLLibrary.h"
#include "foundation/SLString.h"
#include "storage/SLFileStorage.h"

// How many writers of one series of names may be at work at once; past them a claim is
// refused as the names in use (ERROR_SHARING_VIOLATION).
constexpr u32 SL_CLAIM_NAMES = 64;

// Claims for `file` (SL_STORAGE_CLAIM, write access) the first name of a series that no
// live writer holds: `nameOf(n)` gives the n-th name, n from 1 to SL_CLAIM_NAMES, as a
// char or SLWChar string that stays valid until the next call, or null when it cannot
// be made. A name another writer holds, or a folder, a link or a pipe has, is passed
// over; a leftover of a dead writer is taken. False when none is claimed: the create's
// SL_E_STORAGE_CREATE with the system's error of the name that stopped the series (every
// name held, a full disk, a name too long, no such folder), or SL_E_OUT_OF_MEMORY.
template <class NameOf>
bool SLClaimFirstFreeName(CSLFileStorage* file, NameOf nameOf) {
  constexpr u32 flags = SL_STORAGE_WRITE | SL_STORAGE_CLAIM;
  for (u32 n = 1; n <= SL_CLAIM_NAMES; ++n) {
    const auto* name = nameOf(n);
    if (!name) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if constexpr (sizeof(*name) == 1) {
      if (file->CreateA(name, flags)) return true;
    } else if (file->CreateW(name, flags)) {
      return true;
    }
    const u32 systemError = SLGetSystemLastError();
    if (systemError != ERROR_SHARING_VIOLATION && systemError != ERROR_FILE_EXISTS) break;
  }
  return false;
}

class CSLFileReplacement {
 public:
  CSLFileReplacement() = default;
  ~CSLFileReplacement();  // abandons a replacement neither committed nor abandoned
  CSLFileReplacement(const CSLFileReplacement&) = delete;
  CSLFileReplacement& operator=(const CSLFileReplacement&) = delete;

  // Claims the temporary of `target` and opens it for writing. False with
  // SL_E_STORAGE_CREATE when none can be made (every name held, a full disk, a name too
  // long, no such folder); the system's error says why.
  bool BeginA(const char* target);
  bool BeginW(const SLWChar* target);
  // The open temporary, from a successful Begin until Commit or Abandon.
  CSLBaseStorage* GetStorage() { return &m_file; }
  // The bytes written go to the disk, then take the target's name in one step. On
  // failure (the flush's SL_E_STORAGE_FLUSH, the rename's SL_E_STORAGE_WRITE, with the
  // system's error) the temporary is removed and the target stays as it was.
  bool Commit();
  // Removes the temporary; the error codes stay as they were.
  void Abandon();

 private:
  CSLFileStorage m_file;
  CSLStringWide m_target;
  CSLStringWide m_temporary;  // empty when nothing is begun
};
