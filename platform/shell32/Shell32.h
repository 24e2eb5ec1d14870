// The "shell32.dll" stand-in: the user's special folders, found where the desktop keeps
// them on Linux (the XDG user directories).
#pragma once

#include "platform/winsound.h"
#include "platform/wintypes.h"

inline constexpr int CSIDL_PERSONAL = 0x0005;        // documents
inline constexpr int CSIDL_MYVIDEO = 0x000E;         // videos
inline constexpr int CSIDL_COMMON_DOCUMENTS = 0x002E;
inline constexpr int CSIDL_COMMON_VIDEO = 0x0037;
inline constexpr int CSIDL_FLAG_CREATE = 0x8000;

// Writes the folder's path (Windows-1252, at most 259 bytes and the NUL) into `path`,
// which holds 260 bytes. The user's videos are XDG_VIDEOS_DIR of user-dirs.dirs (else
// $HOME/Videos), the documents XDG_DOCUMENTS_DIR (else $HOME/Documents); there are no
// folders common to all users. With CSIDL_FLAG_CREATE a missing folder is created,
// without it a missing folder fails. Answers 0, 0x80070057 for a bad argument or a
// folder this system does not have, 0x80070003 for a missing folder, 0x80004005 for a
// path that does not fit or does not convert to the 8-bit code page.
HRESULT SHGetFolderPathA(HWND window, int folder, HANDLE token, DWORD flags, char* path);

using SLSHGetFolderPathAFn = HRESULT (*)(HWND, int, HANDLE, DWORD, char*);
