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

#include "foundation/SLString.h"
#include "storage/SLFileStorage.h"

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
