#include "storage/SLPath.h"

#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLWideText.h"

namespace {


// Characters refused in a part: controls below 0x1F and the part's own set.
template <class Char>
bool Refused(Char ch, const char* set) {
  if (u32(ch) < 0x1F) return true;
  for (; *set; ++set)
    if (ch == Char(u8(*set))) return true;
  return false;
}

template <class Char>
bool CheckRange(const Char* path, u32 begin, u32 end, const char* set) {
  for (u32 i = begin; i < end; ++i)
    if (Refused(path[i], set)) return false;
  return true;
}

constexpr const char* kFolderRefused = "<>:\"";
constexpr const char* kNameRefused = "<>:\"/\\";
constexpr const char* kNameOrStreamRefused = "<>\"/\\";

template <class Char>
u32 AppendSeparator(Char* path) {
  if (!path) return SLFail(SL_E_NULL_DATA, 0u);
  u32 length = SLTextLength(path);
  if (length && SLIsPathSeparator(path[length - 1])) return SLSucceed(0u);
  path[length] = Char('\\');
  path[length + 1] = 0;
  return SLSucceed(1u);
}

template <class Char>
u32 ConvertSeparators(Char* path, u32 direction) {
  if (!path) return SLFail(SL_E_NULL_DATA, 0u);
  Char from = direction == 0 ? Char('\\') : Char('/');
  Char to = direction == 0 ? Char('/') : Char('\\');
  for (; *path; ++path)
    if (*path == from) *path = to;
  return SLSucceed(1u);
}

// Length of a leading "\\?\UNC\", "\\?\" or pair of separators ("UNC" in any case).
template <class Char>
u32 PrefixLength(const Char* path) {
  if (!SLIsPathSeparator(path[0]) || !SLIsPathSeparator(path[1])) return 0;
  if (path[2] == Char('?') && SLIsPathSeparator(path[3])) {
    if ((path[4] == Char('U') || path[4] == Char('u')) && (path[5] == Char('N') || path[5] == Char('n')) &&
        (path[6] == Char('C') || path[6] == Char('c')) && SLIsPathSeparator(path[7]))
      return 8;
    return 4;
  }
  return 2;
}

// Runs of separators become their last separator. A long-path or UNC prefix is kept as
// it stands: collapsing it would turn "\\server\share" into the rooted "\server\share".
template <class Char>
u32 CollapseSeparators(Char* path) {
  if (!path) return SLFail(SL_E_NULL_DATA, 0u);
  u32 read = PrefixLength(path);
  u32 write = read;
  while (path[read]) {
    Char ch = path[read++];
    if (SLIsPathSeparator(ch))
      while (SLIsPathSeparator(path[read])) ch = path[read++];
    path[write++] = ch;
  }
  path[write] = 0;
  return SLSucceed(1u);
}

template <class Char>
u32 SplitPath(const Char* path, SLPathParts* parts) {
  if (!path) return SLFail(SL_E_NULL_DATA, 0u);
  if (!parts) return SLFail(SL_E_INVALID_ARG, 0u);
  std::memset(parts, 0, sizeof *parts);
  u32 length = SLTextLength(path);
  if (!length) return SLSucceed(1u);

  u32 serverStart = 0;
  if (SLIsPathSeparator(path[0]) && SLIsPathSeparator(path[1])) {
    if (path[2] == Char('?') && SLIsPathSeparator(path[3])) {
      parts->longPath = 1;
      if (PrefixLength(path) == 8) {
        parts->unc = 1;
        serverStart = 8;
      }
    } else {
      parts->unc = 1;
      serverStart = 2;
    }
  }

  u32 rootEnd = 0;
  if (!parts->unc) {
    if (length >= 2 && path[1] == Char(':')) {
      Char drive = path[0];
      if (!((drive >= Char('A') && drive <= Char('Z')) || (drive >= Char('a') && drive <= Char('z'))))
        return SLFail(SL_E_BAD_CHARACTER, 0u);
      rootEnd = 2;
    }
  } else {
    rootEnd = serverStart;
    while (rootEnd < length && !SLIsPathSeparator(path[rootEnd])) ++rootEnd;
    if (!CheckRange(path, serverStart, rootEnd, kFolderRefused)) return SLFail(SL_E_BAD_CHARACTER, 0u);
  }
  parts->rootEnd = rootEnd;
  if (rootEnd >= length) {
    parts->directoryStart = parts->directoryEnd = parts->nameStart = parts->nameEnd = rootEnd;
    parts->extensionStart = parts->extensionEnd = parts->streamStart = parts->streamEnd = rootEnd;
    return SLSucceed(1u);
  }

  u32 directoryEnd = rootEnd;
  for (u32 i = length; i-- > rootEnd;)
    if (SLIsPathSeparator(path[i])) {
      directoryEnd = i + 1;
      break;
    }
  if (!CheckRange(path, rootEnd, directoryEnd, kFolderRefused)) return SLFail(SL_E_BAD_CHARACTER, 0u);
  parts->directoryStart = rootEnd;
  parts->directoryEnd = directoryEnd;

  // Scan back from the end: a colon starts the stream, then a dot the extension.
  u32 nameEnd = length;
  u32 streamStart = length;
  u32 extensionStart = length;
  u32 i = length;
  bool stopped = false;
  while (i > directoryEnd) {
    Char ch = path[i - 1];
    if (ch == Char(':') || ch == Char('.')) {
      stopped = true;
      break;
    }
    if (Refused(ch, kNameOrStreamRefused)) return SLFail(SL_E_BAD_CHARACTER, 0u);
    --i;
  }
  if (stopped && path[i - 1] == Char(':')) {
    streamStart = i - 1;
    nameEnd = streamStart;
    i = streamStart;
    stopped = false;
    while (i > directoryEnd) {
      Char ch = path[i - 1];
      if (ch == Char('.')) {
        stopped = true;
        break;
      }
      if (Refused(ch, kNameRefused)) return SLFail(SL_E_BAD_CHARACTER, 0u);
      --i;
    }
  }
  if (stopped) {
    extensionStart = i - 1;
    if (!CheckRange(path, extensionStart + 1, nameEnd, kNameRefused)) return SLFail(SL_E_BAD_CHARACTER, 0u);
  } else {
    extensionStart = nameEnd;
  }
  if (!CheckRange(path, directoryEnd, extensionStart, kNameRefused)) return SLFail(SL_E_BAD_CHARACTER, 0u);
  parts->nameStart = directoryEnd;
  parts->nameEnd = extensionStart;
  parts->extensionStart = extensionStart;
  parts->extensionEnd = nameEnd;
  parts->streamStart = streamStart;
  parts->streamEnd = length;
  return SLSucceed(1u);
}

template <class Char>
u32 GetPathParts(Char* buffer, const Char* path, u32 mask) {
  SLPathParts parts;
  if (!path || !SplitPath(path, &parts)) {
    if (buffer) buffer[0] = 0;
    return path ? 0 : SLFail(SL_E_NULL_DATA, 0u);
  }
  const u32 ranges[5][2] = {{parts.rootStart, parts.rootEnd},
                            {parts.directoryStart, parts.directoryEnd},
                            {parts.nameStart, parts.nameEnd},
                            {parts.extensionStart, parts.extensionEnd},
                            {parts.streamStart, parts.streamEnd}};
  u32 count = 0;
  for (u32 part = 0; part < 5; ++part) {
    if (!(mask & (1u << part))) continue;
    for (u32 i = ranges[part][0]; i < ranges[part][1]; ++i) {
      if (buffer) buffer[count] = path[i];
      ++count;
    }
  }
  if (buffer) buffer[count] = 0;
  return SLSucceed(count);
}

}  // namespace

u32 SLAppendPathSeparatorA(char* path) { return AppendSeparator(path); }
u32 SLAppendPathSeparatorW(SLWChar* path) { return AppendSeparator(path); }
u32 SLConvertSeparatorsA(char* path, u32 direction) { return ConvertSeparators(path, direction); }
u32 SLConvertSeparatorsW(SLWChar* path, u32 direction) { return ConvertSeparators(path, direction); }
u32 SLCollapseSeparatorsA(char* path) { return CollapseSeparators(path); }
u32 SLCollapseSeparatorsW(SLWChar* path) { return CollapseSeparators(path); }
u32 SLSplitPathA(const char* path, SLPathParts* parts) { return SplitPath(path, parts); }
u32 SLSplitPathW(const SLWChar* path, SLPathParts* parts) { return SplitPath(path, parts); }
u32 SLGetPathPartsA(char* buffer, const char* path, u32 mask) { return GetPathParts(buffer, path, mask); }
u32 SLGetPathPartsW(SLWChar* buffer, const SLWChar* path, u32 mask) { return GetPathParts(buffer, path, mask); }

SLPathExtensionA::SLPathExtensionA(const char* path) : m_text(m_inline), m_length(0) {
  m_inline[0] = m_inline[1] = 0;
  if (!path) return;
  m_length = SLGetPathPartsA(nullptr, path, SL_PATH_EXTENSION);
  if (m_length < 2) return;
  if (m_length >= sizeof m_inline) m_text = static_cast<char*>(SLAlloc(m_length + 1));
  if (m_text) SLGetPathPartsA(m_text, path, SL_PATH_EXTENSION);
}

SLPathExtensionA::~SLPathExtensionA() {
  if (m_text != m_inline) SLInternals::SLFreeKeepingError(m_text);
}

bool SLPathExtensionA::IsValid() const {
  if (m_length < 2) return SLFail(SL_E_NOT_FOUND, false);
  if (!m_text) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return true;
}
