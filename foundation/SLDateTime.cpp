#include "foundation/SLDateTime.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"

SL_IMPLEMENT_CLASS(CSLTimeSpan, CSLObject)
SL_IMPLEMENT_CLASS(CSLDateTime, CSLObject)

namespace {

// Days before each month of a common year, and the year's length at the end.
constexpr u32 kDaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

bool IsLeap(u32 year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool ValidDate(u32 year, u32 month, u32 day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  u32 length = kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  return day <= length;
}

u32 DayNumberOf(u32 year, u32 month, u32 day) {
  u32 y = year - 1;
  u32 before = kDaysBeforeMonth[month - 1] + (month > 2 && IsLeap(year) ? 1 : 0);
  return y * 365 + y / 4 - y / 100 + y / 400 + before + day - 1;
}

// Splits a day number into year, month and day.
void CivilOf(u32 dayNumber, u32* year, u32* month, u32* day) {
  u32 y = 0, dayOfYear = 0;
  SLDayNumberToYearDay(dayNumber, &y, &dayOfYear);
  u32 m = 0, d = 0;
  SLDayOfYearToDate(dayOfYear, y, &m, &d);
  if (year) *year = y;
  if (month) *month = m;
  if (day) *day = d;
}

}  // namespace

// ---- calendar functions -------------------------------------------------------------

bool SLIsLeapYear(u32 year) {
  if (year < 1) return SLFail(SL_E_INVALID_ARG, false);
  SLSetLastError(SL_OK);
  return IsLeap(year);
}

u32 SLGetDaysInMonth(u32 month, u32 year) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return SLFail(SL_E_INVALID_ARG, 0u);
  SLSetLastError(SL_OK);
  return kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
}

bool SLDayOfYearToDate(u32 dayOfYear, u32 year, u32* month, u32* day) {
  if (month) *month = 0;
  if (day) *day = 0;
  if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > (IsLeap(year) ? 366u : 365u))
    return SLFail(SL_E_INVALID_ARG, false);
  u32 leap = IsLeap(year) ? 1 : 0;
  u32 m = 1;
  while (m < 12 && dayOfYear > kDaysBeforeMonth[m] + (m >= 2 ? leap : 0)) ++m;
  u32 before = kDaysBeforeMonth[m - 1] + (m > 2 ? leap : 0);
  if (month) *month = m;
  if (day) *day = dayOfYear - before;
  SLSetLastError(SL_OK);
  return true;
}

bool SLIsValidDate(u32 year, u32 month, u32 day) {
  if (!ValidDate(year, month, day)) return SLFail(SL_E_INVALID_ARG, false);
  SLSetLastError(SL_OK);
  return true;
}

u32 SLGetDayOfWeek(u32 year, u32 month, u32 day) {
  if (!ValidDate(year, month, day)) return SLFail(SL_E_INVALID_ARG, 0xFFFFFFFFu);
  u64 d = u64(year) * 365 + year / 4 - year / 100 + year / 400 + kDaysBeforeMonth[month - 1] + day;
  if (month <= 2 && IsLeap(year)) d -= 1;
  SLSetLastError(SL_OK);
  return u32((d - 1) % 7);
}

bool SLDateToDayNumber(u32 year, u32 month, u32 day, u32* dayNumber) {
  if (!dayNumber) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!ValidDate(year, month, day)) {
    *dayNumber = 0;
    return SLFail(SL_E_INVALID_ARG, false);
  }
  *dayNumber = DayNumberOf(year, month, day);
  SLSetLastError(SL_OK);
  return true;
}

bool SLDayNumberToYearDay(u32 dayNumber, u32* year, u32* dayOfYear) {
  u32 cycles = dayNumber / 146097;
  u32 rest = dayNumber % 146097;
  u32 centuries = rest / 36524;
  if (centuries > 3) centuries = 3;
  rest -= centuries * 36524;
  u32 quads = rest / 1461;
  rest -= quads * 1461;
  u32 years = rest / 365;
  if (years > 3) years = 3;
  rest -= years * 365;
  if (year) *year = 400 * cycles + 100 * centuries + 4 * quads + years + 1;
  if (dayOfYear) *dayOfYear = rest + 1;
  SLSetLastError(SL_OK);
  return true;
}

// ---- CSLTimeSpan ----------------------------------------------------------------------

bool CSLTimeSpan::CopyTo(CSLObject* target) const {
  if (!target || !target->IsKindOf(&s_classRecord)) return SLFail(SL_E_NOT_SUPPORTED, false);
  static_cast<CSLTimeSpan*>(target)->m_ticks = m_ticks;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLTimeSpan::SetTicks(i64 ticks) {
  m_ticks = ticks;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLTimeSpan::Assign(const CSLTimeSpan& other) { return SetTicks(other.m_ticks); }

bool CSLTimeSpan::SetParts(i32 days, u32 hours, u32 minutes, u32 seconds, u32 milliseconds) {
  if (hours >= 24 || minutes >= 60 || seconds >= 60 || milliseconds > 999)
    return SLFail(SL_E_INVALID_ARG, false);
  i64 inDay = ((i64(hours) * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
  i64 dayTicks = 0, total = 0;
  if (__builtin_mul_overflow(i64(days), SL_TICKS_PER_DAY, &dayTicks) ||
      __builtin_add_overflow(dayTicks, inDay * 10000, &total))
    return SLFail(SL_E_INVALID_ARG, false);
  return SetTicks(total);
}

// ---- CSLDateTime ----------------------------------------------------------------------

CSLDateTime::CSLDateTime(u32 low, u32 high, bool local) : m_utc(1) {
  u64 ticks = (u64(high) << 32) | low;
  if (ticks < SL_DATE_MAX_TICKS) {
    m_span.SetTicks(i64(ticks));
    m_utc = local ? 0 : 1;
  }
}

bool CSLDateTime::CopyTo(CSLObject* target) const {
  if (!target || !target->IsKindOf(&s_classRecord)) return SLFail(SL_E_NOT_SUPPORTED, false);
  return static_cast<CSLDateTime*>(target)->Assign(*this);
}

bool CSLDateTime::Assign(const CSLDateTime& other) {
  m_span.SetTicks(other.m_span.GetTicks());
  m_utc = other.m_utc;
  SLSetLastError(SL_OK);
  return true;
}

bool CSLDateTime::SetZero(bool local) {
  m_span.SetTicks(0);
  m_utc = local ? 0 : 1;
  return true;
}

bool CSLDateTime::SetDate(u32 year, u32 month, u32 day) {
  if (!ValidDate(year, month, day)) return SLFail(SL_E_INVALID_ARG, false);
  i64 ticks = m_span.GetTicks();
  i64 timeOfDay = ticks % SL_TICKS_PER_DAY / SL_TICKS_PER_SECOND * SL_TICKS_PER_SECOND;
  return m_span.SetTicks(i64(DayNumberOf(year, month, day)) * SL_TICKS_PER_DAY + timeOfDay);
}

bool CSLDateTime::SetTime(u32 hour, u32 minute, u32 second) {
  if (hour >= 24 || minute >= 60 || second >= 60) return SLFail(SL_E_INVALID_ARG, false);
  i64 day = m_span.GetTicks() / SL_TICKS_PER_DAY;
  return m_span.SetTicks(day * SL_TICKS_PER_DAY + (i64(hour) * 3600 + minute * 60 + second) * SL_TICKS_PER_SECOND);
}

bool CSLDateTime::SetDateTime(u32 year, u32 month, u32 day, u32 hour, u32 minute, u32 second) {
  i64 old = m_span.GetTicks();
  if (SetDate(year, month, day) && SetTime(hour, minute, second)) return true;
  u32 code = SLGetLastError(false);
  m_span.SetTicks(old);
  return SLFail(code, false);
}

bool CSLDateTime::GetDate(u32* year, u32* month, u32* day) const {
  CivilOf(u32(m_span.GetTicks() / SL_TICKS_PER_DAY), year, month, day);
  SLSetLastError(SL_OK);
  return true;
}

bool CSLDateTime::GetTime(u32* hour, u32* minute, u32* second) const {
  if (hour) *hour = GetHour();
  if (minute) *minute = GetMinute();
  if (second) *second = GetSecond();
  SLSetLastError(SL_OK);
  return true;
}

bool CSLDateTime::GetDateTime(u32* year, u32* month, u32* day, u32* hour, u32* minute,
                              u32* second) const {
  GetDate(year, month, day);
  return GetTime(hour, minute, second);
}

u32 CSLDateTime::GetHour() const {
  SLSetLastError(SL_OK);
  return u32(m_span.GetHours());
}
u32 CSLDateTime::GetMinute() const {
  SLSetLastError(SL_OK);
  return u32(m_span.GetMinutes());
}
u32 CSLDateTime::GetSecond() const {
  SLSetLastError(SL_OK);
  return u32(m_span.GetSeconds());
}

u32 CSLDateTime::GetDayOfWeek() const {
  // 0001-01-01 was a Monday.
  SLSetLastError(SL_OK);
  return u32((m_span.GetTicks() / SL_TICKS_PER_DAY + 1) % 7);
}

u32 CSLDateTime::GetDayOfYear() const {
  u32 dayOfYear = 0;
  SLDayNumberToYearDay(u32(m_span.GetTicks() / SL_TICKS_PER_DAY), nullptr, &dayOfYear);
  return dayOfYear;
}

bool CSLDateTime::SetUnixTime(i64 seconds) {
  i64 ticks = 0;
  if (__builtin_mul_overflow(seconds, SL_TICKS_PER_SECOND, &ticks) ||
      __builtin_add_overflow(ticks, SL_UNIX_EPOCH_TICKS, &ticks) || ticks < 0 ||
      u64(ticks) >= SL_DATE_MAX_TICKS)
    return SLFail(SL_E_OVERFLOW, false);
  return m_span.SetTicks(ticks);
}

bool CSLDateTime::FromSystemTime(const SYSTEMTIME& time) {
  if (!SetDateTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond))
    return false;
  m_utc = 1;
  return true;
}

bool CSLDateTime::FromFileTime(const FILETIME& time) {
  SLInternals::CMXDateTimeAPILdr* api = SLInternals::CMXDateTimeAPILdr::GetInstance();
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SYSTEMTIME parts{};
  if (!api->FileTimeToSystemTime(&time, &parts)) return SLFail(SL_E_INVALID_ARG, false);
  return FromSystemTime(parts);
}

bool CSLDateTime::SetToNow(bool local) {
  SLInternals::CMXDateTimeAPILdr* api = SLInternals::CMXDateTimeAPILdr::GetInstance();
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SYSTEMTIME parts{};
  if (local)
    api->GetLocalTime(&parts);
  else
    api->GetSystemTime(&parts);
  if (!FromSystemTime(parts)) return false;
  m_utc = local ? 0 : 1;
  return true;
}

// ---- the system clock ---------------------------------------------------------------

namespace SLInternals {

namespace {
CMXDateTimeAPILdr* s_dateTimeApi = nullptr;
}

CMXDateTimeAPILdr* CMXDateTimeAPILdr::GetInstance() {
  return SLGetSingleton(s_dateTimeApi, SL_OOD_PRIORITY_LOADERS);
}

bool CMXDateTimeAPILdr::Initialize() {
  // A missing library or entry point only makes the calls that need it fail.
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetSystemTime", &m_pGetSystemTime);
    SLBindProc(m_kernel32, u"GetLocalTime", &m_pGetLocalTime);
    SLBindProc(m_kernel32, u"FileTimeToSystemTime", &m_pFileTimeToSystemTime);
  }
  return true;
}

CMXDateTimeAPILdr::~CMXDateTimeAPILdr() {
  if (m_kernel32) SLFreeLibrary(m_kernel32);
}

void CMXDateTimeAPILdr::GetSystemTime(SYSTEMTIME* out) {
  if (m_pGetSystemTime) return m_pGetSystemTime(out);
  *out = SYSTEMTIME{};
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
}

void CMXDateTimeAPILdr::GetLocalTime(SYSTEMTIME* out) {
  if (m_pGetLocalTime) return m_pGetLocalTime(out);
  *out = SYSTEMTIME{};
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
}

bool CMXDateTimeAPILdr::FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out) {
  if (m_pFileTimeToSystemTime) return m_pFileTimeToSystemTime(in, out) != 0;
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

}  // namespace SLInternals
