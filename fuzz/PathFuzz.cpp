// Path splitting of any text: the parts lie inside the path in order, measuring then
// copying into an exactly sized buffer never overruns, and the in-place edits keep the
// text terminated within its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "storage/SLPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  u32 mask = data[0] & 31;
  std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
  path = path.c_str();  // up to the first NUL
  SLPathParts parts;
  if (SLSplitPathA(path.c_str(), &parts)) {
    u32 length = u32(path.size());
    const u32 bounds[] = {parts.rootStart, parts.rootEnd, parts.directoryStart, parts.directoryEnd,
                          parts.nameStart, parts.nameEnd, parts.extensionStart, parts.extensionEnd};
    for (u32 i = 0; i + 1 < sizeof bounds / sizeof bounds[0]; ++i)
      if (bounds[i] > bounds[i + 1]) __builtin_trap();
    if (parts.extensionEnd > length || parts.streamEnd > length) __builtin_trap();
    if (parts.streamStart != parts.streamEnd && parts.streamStart != parts.extensionEnd) __builtin_trap();
  }
  u32 needed = SLGetPathPartsA(nullptr, path.c_str(), mask);
  std::vector<char> exact(needed + 1);
  if (SLGetPathPartsA(exact.data(), path.c_str(), mask) != needed) __builtin_trap();

  std::vector<char> editable(path.begin(), path.end());
  editable.push_back(0);
  SLCollapseSeparatorsA(editable.data());
  SLConvertSeparatorsA(editable.data(), data[0] & 1);
  editable.resize(std::strlen(editable.data()) + 2);
  SLAppendPathSeparatorA(editable.data());

  std::u16string wide(path.begin(), path.end());
  for (auto& c : wide) c = char16_t(u8(c));
  u32 neededW = SLGetPathPartsW(nullptr, wide.c_str(), mask);
  std::vector<SLWChar> exactW(neededW + 1);
  if (SLGetPathPartsW(exactW.data(), wide.c_str(), mask) != neededW) __builtin_trap();
  return 0;
}
