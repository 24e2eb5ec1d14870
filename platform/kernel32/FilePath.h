// Windows file names on a POSIX file system: text conversion (Windows-1252 and UTF-16
// to the UTF-8 of the file system and back), the path rules ("\" and "/" separate, a
// drive letter is the root, long-path prefixes mean nothing) and the lookup of names
// without regard to letter case.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace SLPlatformFile {

// Windows-1252 bytes to UTF-8 (every byte has a character: the five holes of the code
// page map to the C1 controls of the same value, as the system's converter does).
std::string Cp1252ToUtf8(const char* text);
// UTF-8 to Windows-1252; false when the text is not UTF-8 or holds a character the
// code page lacks.
bool Utf8ToCp1252(const std::string& text, std::string* out);
// UTF-16 to UTF-8; false on a lone surrogate.
bool Utf16ToUtf8(const char16_t* text, std::string* out);
// UTF-8 to UTF-16; false when the text is not UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* out);

// Folds letter case of UTF-8 text for comparisons (ASCII, Latin-1 and Latin
// Extended-A letters); invalid bytes stay as they are.
std::string FoldCase(const std::string& text);
bool EqualNoCase(const std::string& a, const std::string& b);

// A Windows path (already UTF-8) as a host path: prefixes dropped, separators turned
// into "/", a drive letter made the root, and each component that does not exist with
// its exact spelling replaced by the entry of its directory that differs only in letter
// case. Components that match nothing stay as given (a file about to be created).
// False (system error set) for an empty path.
bool ToHostPath(const std::string& windowsPath, std::string* hostPath);

// The host path of an 8-bit (Windows-1252) or UTF-16 path; false with the system error
// set (87 for null, 123 for text that does not convert, 3 for an empty path).
bool HostPathA(const char* path, std::string* hostPath);
bool HostPathW(const char16_t* path, std::string* hostPath);

// The Windows error number of an errno value. `path` (may be empty) tells "file not
// found" (2) from "path not found" (3) for ENOENT.
DWORD ErrorFromErrno(int error, const std::string& path = std::string());
// Sets the system error from errno and returns false.
bool FailErrno(int error, const std::string& path = std::string());

}  // namespace SLPlatformFile
