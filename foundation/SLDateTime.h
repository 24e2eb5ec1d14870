// Dates and time spans in 100-nanosecond ticks, the proleptic Gregorian calendar,
// the system clock and a strftime-like formatter with Spanish or English names.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLTypes.h"
#include "platform/wintypes.h"

class CSLStringAnsi;
class CSLStringWide;

inline constexpr i64 SL_TICKS_PER_SECOND = 10000000;
inline constexpr i64 SL_TICKS_PER_MINUTE = 600000000;
inline constexpr i64 SL_TICKS_PER_HOUR = 36000000000;
inline constexpr i64 SL_TICKS_PER_DAY = 864000000000;
// 10000-01-01 00:00:00, the first tick past the range of dates.
inline constexpr u64 SL_DATE_MAX_TICKS = 3155378976000000000ull;
// 1970-01-01 00:00:00.
inline constexpr i64 SL_UNIX_EPOCH_TICKS = 621355968000000000;

class CSLTimeSpan : public CSLObject {
  SL_DECLARE_CLASS(CSLTimeSpan)
 public:
  explicit CSLTimeSpan(u32 low = 0, u32 high = 0) : m_ticks(i64((u64(high) << 32) | low)) {}
  // A value class: copies carry the ticks (each copy is an object of its own).
  CSLTimeSpan(const CSLTimeSpan& other) : CSLObject(), m_ticks(other.m_ticks) {}
  CSLTimeSpan& operator=(const CSLTimeSpan& other) {
    m_ticks = other.m_ticks;
    return *this;
  }
  bool CopyTo(CSLObject* target) const override;

  bool SetTicks(i64 ticks);
  bool Assign(const CSLTimeSpan& other);
  i64 GetTicks() const { return m_ticks; }

  i64 GetDays() const { return m_ticks / SL_TICKS_PER_DAY; }
  i64 GetHours() const { return m_ticks % SL_TICKS_PER_DAY / SL_TICKS_PER_HOUR; }
  i64 GetMinutes() const { return m_ticks % SL_TICKS_PER_HOUR / SL_TICKS_PER_MINUTE; }
  i64 GetSeconds() const { return m_ticks % SL_TICKS_PER_MINUTE / SL_TICKS_PER_SECOND; }
  bool SetParts(i32 days, u32 hours, u32 minutes, u32 seconds, u32 milliseconds);

 private:
  i64 m_ticks;
};

// The formatter's names, 45 pointers in this order; a null pointer asks for the default.
template <class Char>
struct TSLDateFormatNames {
  const Char* abbreviatedDays[7];  // Sunday first
  const Char* days[7];
  const Char* abbreviatedMonths[12];  // January first
  const Char* months[12];
  const Char* am;
  const Char* pm;
  const Char* dateSeparator;
  const Char* timeSeparator;
  const Char* numericDateFormat;
  const Char* writtenDateFormat;
  const Char* timeFormat;
};
using SLDateFormatNamesA = TSLDateFormatNames<char>;
using SLDateFormatNamesW = TSLDateFormatNames<SLWChar>;

struct SLDateTimeZoneInfo {
  i32 offsetSeconds;  // east of UTC positive
  u32 daylight;
  char standardName[64];
  char daylightName[64];
};

class CSLDateTime : public CSLObject {
  SL_DECLARE_CLASS(CSLDateTime)
 public:
  explicit CSLDateTime(u32 low = 0, u32 high = 0, bool local = false);
  CSLDateTime(const CSLDateTime& other) : CSLObject(), m_span(other.m_span), m_utc(other.m_utc) {}
  CSLDateTime& operator=(const CSLDateTime& other) {
    m_span = other.m_span;
    m_utc = other.m_utc;
    return *this;
  }
  bool CopyTo(CSLObject* target) const override;

  bool SetZero(bool local);
  bool SetDate(u32 year, u32 month, u32 day);
  bool SetTime(u32 hour, u32 minute, u32 second);
  bool SetDateTime(u32 year, u32 month, u32 day, u32 hour, u32 minute, u32 second);
  bool GetDate(u32* year, u32* month, u32* day) const;
  bool GetTime(u32* hour, u32* minute, u32* second) const;
  bool GetDateTime(u32* year, u32* month, u32* day, u32* hour, u32* minute, u32* second) const;
  u32 GetHour() const;
  u32 GetMinute() const;
  u32 GetSecond() const;
  u64 GetTicks() const { return u64(m_span.GetTicks()); }
  bool IsUTC() const { return m_utc != 0; }
  u32 GetDayOfWeek() const;
  u32 GetDayOfYear() const;
  bool Assign(const CSLDateTime& other);

  bool SetUnixTime(i64 seconds);
  bool SetUnixTime32(i32 seconds) { return SetUnixTime(i64(seconds)); }
  bool FromSystemTime(const SYSTEMTIME& time);
  bool FromFileTime(const FILETIME& time);
  bool SetToNow(bool local);

  bool FormatA(CSLStringAnsi* out, const char* format, const SLDateFormatNamesA* names,
               const SLDateTimeZoneInfo* zone) const;
  bool FormatW(CSLStringWide* out, const SLWChar* format, const SLDateFormatNamesW* names,
               const SLDateTimeZoneInfo* zone) const;

 private:
  CSLTimeSpan m_span;
  u32 m_utc;
};

// Calendar functions: years 1-9999, months 1-12; violations fail with 0x80001001.
bool SLIsLeapYear(u32 year);
u32 SLGetDaysInMonth(u32 month, u32 year);
bool SLDayOfYearToDate(u32 dayOfYear, u32 year, u32* month, u32* day);
bool SLIsValidDate(u32 year, u32 month, u32 day);
// 0 = Sunday ... 6 = Saturday; 0xFFFFFFFF for an invalid date.
u32 SLGetDayOfWeek(u32 year, u32 month, u32 day);
bool SLDateToDayNumber(u32 year, u32 month, u32 day, u32* dayNumber);
bool SLDayNumberToYearDay(u32 dayNumber, u32* year, u32* dayOfYear);

// The default names of the system's language (Spanish when its primary language is 10).
const SLDateFormatNamesW* SLGetDefaultDateFormatNames();
const SLDateFormatNamesW* SLGetDateFormatNames(bool spanish);

namespace SLInternals {

// Binds the system clock of "kernel32.dll" on first use.
class CMXDateTimeAPILdr : public CSLBaseOODClass {
 public:
  ~CMXDateTimeAPILdr() override;
  bool Initialize() override;
  static CMXDateTimeAPILdr* GetInstance();

  void GetSystemTime(SYSTEMTIME* out);
  void GetLocalTime(SYSTEMTIME* out);
  bool FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out);

 private:
  HMODULE m_kernel32 = nullptr;
  void (*m_pGetSystemTime)(SYSTEMTIME*) = nullptr;
  void (*m_pGetLocalTime)(SYSTEMTIME*) = nullptr;
  BOOL (*m_pFileTimeToSystemTime)(const FILETIME*, SYSTEMTIME*) = nullptr;
};

}  // namespace SLInternals
