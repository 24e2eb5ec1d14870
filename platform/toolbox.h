// The platform layer's few text helpers. platform/ sits below foundation/ and may not
// use the framework's toolbox (foundation/SLWideText.h), so what it needs is kept here,
// once, for every module stand-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Characters before the terminating NUL (8-bit or UTF-16).
template <class Char>
inline std::size_t SLPlatformTextLength(const Char* text) {
  std::size_t length = 0;
  while (text[length]) ++length;
  return length;
}

// "\" and "/" both separate the names of a path.
template <class Char>
inline bool SLPlatformIsPathSeparator(Char c) {
  return c == Char('\\') || c == Char('/');
}

// The path with every separator written as "/", as the host's calls take it.
inline std::string SLPlatformSlashPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// Little-endian fields of the file formats the stand-ins read (resource images, icons),
// at any alignment.
inline std::uint16_t SLPlatformLoadLE16(const void* p) {
  std::uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline std::uint32_t SLPlatformLoadLE32(const void* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
