// The date formatter on any date, zone and format: no crash, and a failure only with the
// formatter's own codes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 14) return 0;
  u64 ticks = 0;
  std::memcpy(&ticks, data, 8);
  i32 offset = 0;
  std::memcpy(&offset, data + 8, 4);
  bool local = data[12] & 1;
  bool useZone = data[12] & 2;
  bool english = data[12] & 4;
  bool daylight = data[13] & 1;
  CSLDateTime date(u32(ticks), u32(ticks >> 32), local);
  SLDateTimeZoneInfo zone{};
  zone.offsetSeconds = offset % 50000;
  zone.daylight = daylight;
  std::memset(zone.standardName, 'S', 64);  // a full name without its terminator
  std::strcpy(zone.daylightName, "DST");
  std::string format(reinterpret_cast<const char*>(data + 14), size - 14);
  CSLStringAnsi outA;
  if (!date.FormatA(&outA, format.c_str(), nullptr, useZone ? &zone : nullptr)) {
    u32 code = SLGetLastError();
    if (code != SL_E_INVALID_ARG && code != 0x80060007) __builtin_trap();
  }
  std::u16string wide(format.begin(), format.end());
  CSLStringWide outW;
  date.FormatW(&outW, wide.c_str(), english ? SLGetDateFormatNames(false) : nullptr, useZone ? &zone : nullptr);
  return 0;
}
