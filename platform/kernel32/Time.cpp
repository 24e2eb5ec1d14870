#include "platform/kernel32/Time.h"

#include <ctime>

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kDaysFrom1601To1970 = 134774;

// Days since 1601-01-01 (a Monday) to a civil date, through 400-year cycles.
void CivilFromDays(std::int64_t days, SYSTEMTIME* out) {
  out->wDayOfWeek = WORD((days + 1) % 7);
  std::int64_t cycles = days / 146097;
  std::int64_t rest = days % 146097;
  std::int64_t centuries = rest / 36524;
  if (centuries == 4) centuries = 3;
  rest -= centuries * 36524;
  std::int64_t quads = rest / 1461;
  rest -= quads * 1461;
  std::int64_t years = rest / 365;
  if (years == 4) years = 3;
  rest -= years * 365;
  std::int64_t year = 1601 + cycles * 400 + centuries * 100 + quads * 4 + years;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (true) {
    int length = kMonthDays[month] + (month == 1 && leap ? 1 : 0);
    if (rest < length) break;
    rest -= length;
    ++month;
  }
  out->wYear = WORD(year);
  out->wMonth = WORD(month + 1);
  out->wDay = WORD(rest + 1);
}

void FromTicks(std::int64_t ticks, SYSTEMTIME* out) {
  std::int64_t days = ticks / (86400 * kTicksPerSecond);
  std::int64_t inDay = ticks % (86400 * kTicksPerSecond);
  CivilFromDays(days, out);
  std::int64_t seconds = inDay / kTicksPerSecond;
  out->wHour = WORD(seconds / 3600);
  out->wMinute = WORD(seconds / 60 % 60);
  out->wSecond = WORD(seconds % 60);
  out->wMilliseconds = WORD(inDay % kTicksPerSecond / 10000);
}

void FromClock(bool local, SYSTEMTIME* out) {
  if (!out) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::int64_t seconds = now.tv_sec;
  if (local) {
    time_t t = now.tv_sec;
    tm parts{};
    if (localtime_r(&t, &parts)) seconds += parts.tm_gmtoff;
  }
  std::int64_t ticks = (seconds + kDaysFrom1601To1970 * 86400) * kTicksPerSecond + now.tv_nsec / 100;
  FromTicks(ticks, out);
}

}  // namespace

void GetSystemTime(SYSTEMTIME* time) { FromClock(false, time); }

void GetLocalTime(SYSTEMTIME* time) { FromClock(true, time); }

// Values with the top bit set are refused, as the system does; years past 30827 do not
// fit the record's conventions either, but every value below 2^63 converts.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime) return FALSE;
  std::uint64_t ticks = (std::uint64_t(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  if (ticks >> 63) return FALSE;
  FromTicks(std::int64_t(ticks), systemTime);
  return TRUE;
}
