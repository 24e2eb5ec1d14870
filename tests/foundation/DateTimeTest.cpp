#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLString.h"
#include "tests/support/TestSupport.h"

namespace {

std::u16string Wide(CSLStringWide& s) { return std::u16string(s.CStr(), s.GetLength()); }

CSLDateTime MakeDate(u32 y, u32 mo, u32 d, u32 h, u32 mi, u32 s, bool local = false) {
  CSLDateTime date(0, 0, local);
  EXPECT_TRUE(date.SetDateTime(y, mo, d, h, mi, s));
  return date;
}

std::u16string Format(const CSLDateTime& date, const char16_t* format,
                      const SLDateFormatNamesW* names = nullptr, const SLDateTimeZoneInfo* zone = nullptr) {
  CSLStringWide out;
  EXPECT_TRUE(date.FormatW(&out, format, names, zone)) << std::hex << SLGetLastError();
  return Wide(out);
}

TEST(DateTime, UnixTime) {
  CSLDateTime date;
  ASSERT_TRUE(date.SetUnixTime(0));
  EXPECT_EQ(Format(date, u"%Y-%m-%d %H:%M:%S"), u"1970-01-01 00:00:00");
  ASSERT_TRUE(date.SetUnixTime(-1));
  EXPECT_EQ(Format(date, u"%Y-%m-%d %H:%M:%S"), u"1969-12-31 23:59:59");
  u64 before = date.GetTicks();
  SL_EXPECT_FAIL(date.SetUnixTime(253402300800LL), SL_E_OVERFLOW);
  SL_EXPECT_FAIL(date.SetUnixTime(INT64_MAX / 1000), SL_E_OVERFLOW);  // the product overflows
  EXPECT_FALSE(date.SetUnixTime(-62135596801LL));  // one second before 0001-01-01
  EXPECT_EQ(date.GetTicks(), before);
  EXPECT_TRUE(date.SetUnixTime32(-2147483647 - 1));
  EXPECT_EQ(Format(date, u"%Y-%m-%d"), u"1901-12-13");
}

// Every date of the fixture agrees with python's datetime on all its calendar fields.
TEST(DateTime, AgreesWithPythonOnRandomDates) {
  std::ifstream in(std::string(SL_SOURCE_DIR) + "/tests/foundation/data/dates.txt");
  ASSERT_TRUE(in.good());
  u64 state = 0x9E3779B97F4A7C15ull;
  std::string expected;
  u32 lines = 0;
  while (std::getline(in, expected)) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    u64 ticks = state % SL_DATE_MAX_TICKS;
    CSLDateTime date(u32(ticks), u32(ticks >> 32));
    CSLStringAnsi text;
    ASSERT_TRUE(date.FormatA(&text, "%Y%m%d%H%M%S %#w %j %U%W", nullptr, nullptr));
    ASSERT_EQ(std::string(text.CStr()), expected) << "ticks " << ticks;
    u32 y, mo, d, dayNumber = 0;
    date.GetDate(&y, &mo, &d);
    ASSERT_TRUE(SLDateToDayNumber(y, mo, d, &dayNumber));
    ASSERT_EQ(dayNumber, ticks / SL_TICKS_PER_DAY);
    ASSERT_EQ(SLGetDayOfWeek(y, mo, d), date.GetDayOfWeek());
    ++lines;
  }
  EXPECT_EQ(lines, 10000u);
}

TEST(DateTimeFormat, SpanishDefaultsAndEnglishRecord) {
  CSLDateTime date = MakeDate(2009, 3, 4, 14, 7, 9);  // a Wednesday
  EXPECT_EQ(Format(date, u"%a %A %b %B"), u"Mié Miércoles Mar Marzo");
  EXPECT_EQ(Format(date, u"%c"), u"Miércoles, 4 de Marzo de 2009 14:07:09");
  EXPECT_EQ(Format(date, u"%#c"), u"04/03/09 14:07:09");
  EXPECT_EQ(Format(date, u"%x|%X"), u"Miércoles, 4 de Marzo de 2009|14:07:09");

  const SLDateFormatNamesW& english = *SLGetDateFormatNames(false);
  EXPECT_EQ(Format(date, u"%c", &english), u"Wednesday, March 4, 2009 02:07:09 PM");
  EXPECT_EQ(Format(date, u"%#x", &english), u"03/04/09");

  // Only the fields the caller gives replace the defaults; separators too.
  SLDateFormatNamesW partial{};
  partial.dateSeparator = u"-";
  partial.am = u"am";
  partial.pm = u"pm";
  EXPECT_EQ(Format(date, u"%d/%m %p %#p", &partial), u"04-03 PM pm");
  EXPECT_EQ(Format(date, u"%a", &partial), u"Mié");

  // The 8-bit form converts the names of its 8-bit record.
  SLDateFormatNamesA englishA{};
  englishA.months[2] = "March";
  CSLStringAnsi text;
  ASSERT_TRUE(date.FormatA(&text, "%B %A", &englishA, nullptr));
  EXPECT_STREQ(text.CStr(), "March Mi\xE9rcoles");
}

TEST(DateTimeFormat, TimeZone) {
  SLDateTimeZoneInfo zone{};
  zone.offsetSeconds = 3600;
  std::strcpy(zone.standardName, "CET");
  std::strcpy(zone.daylightName, "CEST");
  CSLDateTime utc = MakeDate(2009, 3, 4, 14, 7, 9);
  CSLDateTime local = MakeDate(2009, 3, 4, 14, 7, 9, true);
  EXPECT_EQ(Format(utc, u"%z %Z", nullptr, &zone), u"+0000 GMT");
  EXPECT_EQ(Format(local, u"%z %Z"), u"+0000 GMT");
  EXPECT_EQ(Format(local, u"%z %Z", nullptr, &zone), u"+01:00 CET");
  zone.daylight = 1;
  zone.offsetSeconds = -(3 * 3600 + 30 * 60);
  EXPECT_EQ(Format(local, u"%z %Z", nullptr, &zone), u"-03:30 CEST");
  zone.daylightName[0] = 0;
  EXPECT_EQ(Format(local, u"%Z", nullptr, &zone), u"CET");
  zone.offsetSeconds = 46801;
  CSLStringWide out;
  SL_EXPECT_FAIL(local.FormatW(&out, u"%z", nullptr, &zone), SL_E_INVALID_ARG);
  // A name that fills all 64 characters is cut there.
  zone.offsetSeconds = 3600;
  zone.daylight = 0;
  std::memset(zone.standardName, 'N', 64);
  EXPECT_EQ(Format(local, u"%Z", nullptr, &zone).size(), 64u);
}

}  // namespace

TEST(DateTime, TimeSpanParts) {
  CSLTimeSpan span;
  ASSERT_TRUE(span.SetParts(-1, 2, 3, 4, 5));
  EXPECT_EQ(span.GetTicks(), -SL_TICKS_PER_DAY + ((2 * 60 + 3) * 60 + 4) * SL_TICKS_PER_SECOND + 50000);
  EXPECT_EQ(span.GetDays(), 0);  // truncation toward zero
  EXPECT_LE(span.GetHours(), 0);
  span.SetTicks(-(SL_TICKS_PER_DAY * 2 + SL_TICKS_PER_HOUR * 3 + SL_TICKS_PER_MINUTE * 4 + SL_TICKS_PER_SECOND * 5));
  EXPECT_EQ(span.GetDays(), -2);
  EXPECT_EQ(span.GetHours(), -3);
  EXPECT_EQ(span.GetMinutes(), -4);
  EXPECT_EQ(span.GetSeconds(), -5);
  i64 before = span.GetTicks();
  EXPECT_FALSE(span.SetParts(0, 24, 0, 0, 0));
  EXPECT_FALSE(span.SetParts(0, 0, 0, 0, 1000));
  EXPECT_EQ(span.GetTicks(), before);
  // 10,675,199 days is the most whole days a signed 64-bit tick count holds; a day more,
  // or the same days with most of a day added, overflows and is refused.
  EXPECT_TRUE(span.SetParts(10675199, 0, 0, 0, 0));
  EXPECT_FALSE(span.SetParts(10675199, 23, 0, 0, 0));
  EXPECT_FALSE(span.SetParts(10675200, 0, 0, 0, 0));
  SL_EXPECT_FAIL(span.SetParts(INT32_MAX, 0, 0, 0, 0), SL_E_INVALID_ARG);
  EXPECT_EQ(span.GetTicks(), 10675199 * SL_TICKS_PER_DAY);
  EXPECT_TRUE(span.SetParts(-10675199, 23, 59, 59, 999));

  CSLTimeSpan copy;
  EXPECT_TRUE(span.CopyTo(&copy));
  EXPECT_EQ(copy.GetTicks(), span.GetTicks());
  CSLDateTime notASpan;
  SL_EXPECT_FAIL(span.CopyTo(&notASpan), SL_E_NOT_SUPPORTED);
}

TEST(DateTime, SettersValidateAndKeepOldValue) {
  // A date with a fraction of a second: SetDate keeps the time but drops the fraction.
  CSLDateTime date(u32(SL_UNIX_EPOCH_TICKS + 12345), u32(u64(SL_UNIX_EPOCH_TICKS + 12345) >> 32));
  ASSERT_TRUE(date.SetDate(2000, 2, 29));
  EXPECT_EQ(date.GetTicks() % SL_TICKS_PER_SECOND, 0u);
  EXPECT_EQ(Format(date, u"%Y-%m-%d %H:%M:%S"), u"2000-02-29 00:00:00");
  u64 before = date.GetTicks();
  SL_EXPECT_FAIL(date.SetDate(1900, 2, 29), SL_E_INVALID_ARG);
  EXPECT_EQ(date.GetTicks(), before);
  EXPECT_FALSE(date.SetTime(24, 0, 0));
  EXPECT_FALSE(date.SetTime(0, 60, 0));
  EXPECT_FALSE(date.SetTime(0, 0, 60));
  EXPECT_EQ(date.GetTicks(), before);
  // SetDateTime restores the old value when its time part fails after the date part.
  SL_EXPECT_FAIL(date.SetDateTime(2010, 1, 1, 25, 0, 0), SL_E_INVALID_ARG);
  EXPECT_EQ(date.GetTicks(), before);
  EXPECT_FALSE(date.SetDateTime(10000, 1, 1, 0, 0, 0));
  EXPECT_FALSE(date.SetDateTime(0, 1, 1, 0, 0, 0));
  EXPECT_EQ(date.GetTicks(), before);
}

TEST(DateTime, SystemClockAndFileTime) {
  CSLDateTime now;
  ASSERT_TRUE(now.SetToNow(false));
  EXPECT_TRUE(now.IsUTC());
  i64 unixNow = i64(std::time(nullptr));
  i64 ours = i64(now.GetTicks() / SL_TICKS_PER_SECOND) - SL_UNIX_EPOCH_TICKS / SL_TICKS_PER_SECOND;
  EXPECT_LE(std::llabs(ours - unixNow), 2);
  CSLDateTime local;
  ASSERT_TRUE(local.SetToNow(true));
  EXPECT_FALSE(local.IsUTC());

  // 2009-03-04 14:07:09.5 UTC as 100-ns ticks since 1601.
  u64 fileTicks = (u64(1236175629) + 11644473600ull) * 10000000ull + 5000000;
  FILETIME ft{u32(fileTicks), u32(fileTicks >> 32)};
  CSLDateTime fromFile(0, 0, true);
  ASSERT_TRUE(fromFile.FromFileTime(ft));
  EXPECT_TRUE(fromFile.IsUTC());
  EXPECT_EQ(Format(fromFile, u"%Y-%m-%d %H:%M:%S"), u"2009-03-04 14:07:09");
  EXPECT_EQ(fromFile.GetTicks() % SL_TICKS_PER_SECOND, 0u);
  FILETIME bad{0, 0x80000000u};
  SL_EXPECT_FAIL(fromFile.FromFileTime(bad), SL_E_INVALID_ARG);
}

TEST(DateTime, RangeEnds) {
  u64 max = SL_DATE_MAX_TICKS;
  CSLDateTime past(u32(max), u32(max >> 32), true);
  EXPECT_EQ(past.GetTicks(), 0u);
  EXPECT_TRUE(past.IsUTC());
  CSLDateTime negative(0xFFFFFFFF, 0xFFFFFFFF, true);
  EXPECT_EQ(negative.GetTicks(), 0u);

  u64 last = max - 1;
  CSLDateTime end(u32(last), u32(last >> 32), true);
  EXPECT_FALSE(end.IsUTC());
  u32 y, mo, d, h, mi, s;
  end.GetDateTime(&y, &mo, &d, &h, &mi, &s);
  EXPECT_EQ(std::vector<u32>({y, mo, d, h, mi, s}), std::vector<u32>({9999, 12, 31, 23, 59, 59}));

  u32 dayNumber = 99;
  EXPECT_TRUE(SLDateToDayNumber(1, 1, 1, &dayNumber));
  EXPECT_EQ(dayNumber, 0u);
  EXPECT_EQ(SLGetDayOfWeek(2000, 1, 1), 6u);
  EXPECT_EQ(MakeDate(2000, 1, 1, 0, 0, 0).GetDayOfWeek(), 6u);
}
