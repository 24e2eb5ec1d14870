// Paths: appending and converting separators, collapsing runs of them, and splitting a
// path into root, directory, name, extension and stream. "/" and "\" both separate.
#pragma once

#include "foundation/SLTypes.h"

// Parts selected by SLGetPathPartsA/W, copied in this order.
enum : u32 {
  SL_PATH_ROOT = 1,
  SL_PATH_DIRECTORY = 2,
  SL_PATH_NAME = 4,
  SL_PATH_EXTENSION = 8,
  SL_PATH_STREAM = 16,
};

// The result of a split: (start, end) index pairs into the path, end exclusive.
struct SLPathParts {
  u32 longPath;  // starts with "\\?\"
  u32 unc;       // two leading separators (not a "\\?\" path), or "\\?\UNC\"
  u32 rootStart, rootEnd;
  u32 directoryStart, directoryEnd;
  u32 nameStart, nameEnd;
  u32 extensionStart, extensionEnd;
  u32 streamStart, streamEnd;
};

u32 SLAppendPathSeparatorA(char* path);
u32 SLAppendPathSeparatorW(SLWChar* path);
u32 SLConvertSeparatorsA(char* path, u32 direction);
u32 SLConvertSeparatorsW(SLWChar* path, u32 direction);
u32 SLCollapseSeparatorsA(char* path);
u32 SLCollapseSeparatorsW(SLWChar* path);
u32 SLSplitPathA(const char* path, SLPathParts* parts);
u32 SLSplitPathW(const SLWChar* path, SLPathParts* parts);
u32 SLGetPathPartsA(char* buffer, const char* path, u32 mask);
u32 SLGetPathPartsW(SLWChar* buffer, const SLWChar* path, u32 mask);

// The extension of a path with its dot, in a buffer of its own: short ones inline, long
// ones in an SLAlloc block. Readers chosen by extension compare it without case.
class SLPathExtensionA {
 public:
  explicit SLPathExtensionA(const char* path);
  ~SLPathExtensionA();
  SLPathExtensionA(const SLPathExtensionA&) = delete;
  SLPathExtensionA& operator=(const SLPathExtensionA&) = delete;
  // False when the path has no extension (0x80010001) or its copy could not be made
  // (0x80000001); the code is set either way.
  bool IsValid() const;
  // The extension without its dot.
  const char* WithoutDot() const { return m_text + 1; }

 private:
  char m_inline[16];
  char* m_text;
  u32 m_length;  // as SLGetPathPartsA counts it
};
