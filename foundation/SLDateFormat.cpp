// The date formatter behind CSLDateTime::FormatA/FormatW and the default names.
#include "foundation/SLCaseMap.h"
#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLString.h"

namespace {

const SLDateFormatNamesW kSpanishNames = {
    {u"Dom", u"Lun", u"Mar", u"Mié", u"Jue", u"Vie", u"Sáb"},
    {u"Domingo", u"Lunes", u"Martes", u"Miércoles", u"Jueves", u"Viernes", u"Sábado"},
    {u"Ene", u"Feb", u"Mar", u"Abr", u"May", u"Jun", u"Jul", u"Ago", u"Sep", u"Oct", u"Nov", u"Dic"},
    {u"Enero", u"Febrero", u"Marzo", u"Abril", u"Mayo", u"Junio", u"Julio", u"Agosto", u"Septiembre",
     u"Octubre", u"Noviembre", u"Diciembre"},
    u"AM",
    u"PM",
    u"/",
    u":",
    u"%d/%m/%y",
    u"%A, %#d de %B de %Y",
    u"%H:%M:%S",
};

const SLDateFormatNamesW kEnglishNames = {
    {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"},
    {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"},
    {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"},
    {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August", u"September",
     u"October", u"November", u"December"},
    u"AM",
    u"PM",
    u"/",
    u":",
    u"%m/%d/%y",
    u"%A, %B %#d, %Y",
    u"%I:%M:%S %p",
};

constexpr u32 kNameCount = sizeof(SLDateFormatNamesW) / sizeof(const SLWChar*);
static_assert(kNameCount == 45);

struct DateParts {
  u32 year, month, day, hour, minute, second;
  u32 weekday = 0xFFFFFFFFu;  // computed on first use
  u32 dayOfYear = 0;
};

class Formatter {
 public:
  Formatter(CSLStringWide* out, const CSLDateTime& date, const SLDateFormatNamesW& names,
            const SLDateTimeZoneInfo* zone)
      : m_out(out), m_date(date), m_names(names), m_zone(zone) {
    date.GetDateTime(&m_parts.year, &m_parts.month, &m_parts.day, &m_parts.hour, &m_parts.minute,
                     &m_parts.second);
  }

  // Walks one format; false stops the whole text (the error code says why).
  bool Walk(const SLWChar* format, bool nested) {
    for (const SLWChar* p = format; *p; ++p) {
      SLWChar ch = *p;
      if (ch == u'/') {
        if (!Put(m_names.dateSeparator)) return false;
      } else if (ch == u':') {
        if (!Put(m_names.timeSeparator)) return false;
      } else if (ch == u'\\') {
        if (!p[1]) return true;
        if (!PutChar(*++p)) return false;
      } else if (ch != u'%') {
        if (!PutChar(ch)) return false;
      } else {
        ++p;
        if (nested && *p == u'!') ++p;
        bool alternate = false;
        if (*p == u'#') {
          alternate = true;
          ++p;
        }
        if (nested && *p == u'!') ++p;
        if (!*p) return true;
        if (!Convert(*p, alternate, nested)) return false;
      }
    }
    return true;
  }

 private:
  bool PutChar(SLWChar ch) { return m_out->Append(&ch, 1); }
  bool Put(const SLWChar* text) { return m_out->Append(text, SL_TEXT_TO_END); }

  bool PutNumber(u32 value, u32 width) {
    SLWChar digits[12];
    u32 count = 0;
    do {
      digits[count++] = SLWChar(u'0' + value % 10);
      value /= 10;
    } while (value);
    while (count < width && count < 12) digits[count++] = u'0';
    for (u32 i = 0; i < count / 2; ++i) {
      SLWChar t = digits[i];
      digits[i] = digits[count - 1 - i];
      digits[count - 1 - i] = t;
    }
    return m_out->Append(digits, count);
  }

  u32 Weekday() {
    if (m_parts.weekday == 0xFFFFFFFFu) {
      m_parts.weekday = m_date.GetDayOfWeek();
      m_parts.dayOfYear = m_date.GetDayOfYear();
    }
    return m_parts.weekday;
  }
  u32 DayOfYear() {
    Weekday();
    return m_parts.dayOfYear;
  }

  bool Expand(const SLWChar* format, bool nested) {
    if (nested) return SLFail(SL_E_INVALID_ARG, false);
    return Walk(format, true);
  }

  bool Convert(SLWChar conversion, bool alternate, bool nested) {
    u32 narrow = alternate ? 1 : 2;
    switch (conversion) {
      case u'a': return Put(m_names.abbreviatedDays[Weekday()]);
      case u'A': return Put(m_names.days[Weekday()]);
      case u'b': return Put(m_names.abbreviatedMonths[m_parts.month - 1]);
      case u'B': return Put(m_names.months[m_parts.month - 1]);
      case u'c':
        if (nested) return SLFail(SL_E_INVALID_ARG, false);
        if (!Walk(alternate ? m_names.numericDateFormat : m_names.writtenDateFormat, true)) return false;
        if (!PutChar(u' ')) return false;
        return Walk(m_names.timeFormat, true);
      case u'd': return PutNumber(m_parts.day, narrow);
      case u'H': return PutNumber(m_parts.hour, narrow);
      case u'I': return PutNumber(m_parts.hour % 12 == 0 ? 12 : m_parts.hour % 12, narrow);
      case u'j': return PutNumber(DayOfYear(), 3);
      case u'm': return PutNumber(m_parts.month, narrow);
      case u'M': return PutNumber(m_parts.minute, narrow);
      case u'p': {
        const SLWChar* text = m_parts.hour < 12 ? m_names.am : m_names.pm;
        for (; *text; ++text)
          if (!PutChar(alternate ? SLToLowerW(*text) : SLToUpperW(*text))) return false;
        return true;
      }
      case u'S': return PutNumber(m_parts.second, narrow);
      case u'U': return PutNumber((DayOfYear() - 1 + 7 - Weekday()) / 7, narrow);
      case u'W': return PutNumber((DayOfYear() - 1 + 7 - (Weekday() + 6) % 7) / 7, narrow);
      case u'w': return PutNumber(Weekday(), narrow);
      case u'x': return Expand(alternate ? m_names.numericDateFormat : m_names.writtenDateFormat, nested);
      case u'X': return Expand(m_names.timeFormat, nested);
      case u'y': return PutNumber(m_parts.year % 100, narrow);
      case u'Y': return PutNumber(m_parts.year, alternate ? 1 : 4);
      case u'z': return PutZoneOffset();
      case u'Z': return PutZoneName();
      case u'%': return PutChar(u'%');
      default: return true;  // unknown conversions print nothing
    }
  }

  // The zone applies only to a local date with an offset.
  bool ZoneApplies() const { return !m_date.IsUTC() && m_zone && m_zone->offsetSeconds != 0; }

  bool PutZoneOffset() {
    if (!ZoneApplies()) return Put(u"+0000");
    i32 offset = m_zone->offsetSeconds;
    if (offset < -43200 || offset > 46800) return SLFail(SL_E_INVALID_ARG, false);
    u32 magnitude = u32(offset < 0 ? -offset : offset);
    return PutChar(offset >= 0 ? u'+' : u'-') && PutNumber(magnitude / 3600, 2) && PutChar(u':') &&
           PutNumber(magnitude % 3600 / 60, 2);
  }

  bool PutZoneName() {
    if (!ZoneApplies()) return Put(u"GMT");
    if (m_zone->offsetSeconds < -43200 || m_zone->offsetSeconds > 46800)
      return SLFail(SL_E_INVALID_ARG, false);
    const char* chosen = m_zone->daylight ? m_zone->daylightName : m_zone->standardName;
    const char* other = m_zone->daylight ? m_zone->standardName : m_zone->daylightName;
    if (!chosen[0]) chosen = other;
    u32 length = 0;
    while (length < 64 && chosen[length]) ++length;
    if (!length) return true;
    return m_out->AppendA(chosen, length);
  }

  CSLStringWide* m_out;
  const CSLDateTime& m_date;
  const SLDateFormatNamesW& m_names;
  const SLDateTimeZoneInfo* m_zone;
  DateParts m_parts{};
};

// Fills every null field of the caller's record from the defaults.
void MergeNames(const SLDateFormatNamesW* given, SLDateFormatNamesW* merged) {
  const SLWChar* const* defaults = reinterpret_cast<const SLWChar* const*>(SLGetDefaultDateFormatNames());
  const SLWChar* const* source = reinterpret_cast<const SLWChar* const*>(given);
  const SLWChar** target = reinterpret_cast<const SLWChar**>(merged);
  for (u32 i = 0; i < kNameCount; ++i) target[i] = source && source[i] ? source[i] : defaults[i];
}

bool RunFormatter(CSLStringWide* out, const CSLDateTime& date, const SLWChar* format,
                  const SLDateFormatNamesW* names, const SLDateTimeZoneInfo* zone) {
  SLDateFormatNamesW merged;
  MergeNames(names, &merged);
  Formatter formatter(out, date, merged, zone);
  if (!formatter.Walk(format, false)) {
    u32 code = SLGetLastError(false);
    return SLFail(code ? code : SL_E_INVALID_ARG, false);
  }
  return SLSucceed(true);
}

}  // namespace

const SLDateFormatNamesW* SLGetDateFormatNames(bool spanish) {
  return spanish ? &kSpanishNames : &kEnglishNames;
}

const SLDateFormatNamesW* SLGetDefaultDateFormatNames() {
  return SLGetDateFormatNames((SLGetSystemDefaultLangID() & 0x3FF) == 10);
}

bool CSLDateTime::FormatW(CSLStringWide* out, const SLWChar* format, const SLDateFormatNamesW* names,
                          const SLDateTimeZoneInfo* zone) const {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  out->Empty();
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  return RunFormatter(out, *this, format, names, zone);
}

bool CSLDateTime::FormatA(CSLStringAnsi* out, const char* format, const SLDateFormatNamesA* names,
                          const SLDateTimeZoneInfo* zone) const {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  out->Empty();
  if (!format) return SLFail(SL_E_INVALID_ARG, false);
  // The walk runs on UTF-16 copies of the format and of the caller's names.
  CSLStringWide wideFormat;
  if (!wideFormat.AssignA(format) && SLGetLastError(false)) return false;
  CSLStringWide wideNames[kNameCount];
  SLDateFormatNamesW converted{};
  const SLDateFormatNamesW* namesW = nullptr;
  if (names) {
    const char* const* source = reinterpret_cast<const char* const*>(names);
    const SLWChar** target = reinterpret_cast<const SLWChar**>(&converted);
    for (u32 i = 0; i < kNameCount; ++i) {
      if (!source[i]) continue;
      if (!wideNames[i].AssignA(source[i])) return false;
      target[i] = wideNames[i].CStr();
    }
    namesW = &converted;
  }
  CSLStringWide text;
  bool ok = RunFormatter(&text, *this, wideFormat.CStr(), namesW, zone);
  u32 code = SLGetLastError(false);
  if (!text.IsEmpty() && !out->AssignW(text.CStr(), text.GetLength())) return false;
  return SLFail(code, ok);
}
