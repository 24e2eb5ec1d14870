// The mounts table of any text: every line's mount point is looked up after parsing, the
// root is never a mount point to skip, and octal escapes never read past their field.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "platform/kernel32/Modules.h"
#include "platform/kernel32/Mounts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string table(reinterpret_cast<const char*>(data), size);
  table = table.c_str();  // the table is text: up to the first NUL
  SLPlatformSetMountsTable(table.c_str());
  if (SLPlatformFile::IsForeignMountPoint("/")) __builtin_trap();
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, point;
    if (fields >> device >> point) SLPlatformFile::IsForeignMountPoint(point);
  }
  SLPlatformSetMountsTable(nullptr);
  return 0;
}
