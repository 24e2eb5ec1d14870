#include "adventure/catalog/ItemDescription.h"

#include "adventure/catalog/CatalogList.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "storage/SLBaseStorage.h"

namespace {
constexpr const char* kListQuotes = "\"'";
constexpr const char* kListBlanks = " \t";

bool IsMissingKey(u32 code) { return code == SL_E_INI_KEY_NOT_FOUND || code == SL_E_INI_SECTION_NOT_FOUND; }

// The converters accept an empty text, a lone sign or blanks as 0; a number needs a digit.
bool HasDigit(const char* from, const char* to) {
  for (const char* p = from; p < to; ++p)
    if (*p >= '0' && *p <= '9') return true;
  return false;
}

// The outcome of one converter call on `text` that stopped at `end`.
bool Converted(const char* text, const char* end, bool converterCode) {
  const u32 code = SLGetLastError();
  if (code != SL_OK) return SLFail(converterCode ? code : u32(SL_E_MALFORMED), false);
  return HasDigit(text, end) ? true : SLFail(SL_E_MALFORMED, false);
}
}  // namespace

bool ItemDescription::Load(CSLBaseStorage* pack) {
  if (!pack) return SLFail(SL_E_NULL_DATA, false);
  if (!pack->OpenA("info.txt", 0)) return false;
  const bool loaded = m_ini.Load(pack);
  SLErrorKeeper keep;
  pack->Close();
  return loaded;
}

bool ItemDescription::GetValue(const char* section, const char* key, char* buffer, u32 size, bool* present) {
  if (!present) return SLFail(SL_E_NULL_OUTPUT, false);
  *present = false;
  u32 length = size;
  if (m_ini.GetStringA(section, key, buffer, &length, "")) return *present = true, SLSucceed(true);
  if (buffer && size) buffer[0] = 0;
  return IsMissingKey(SLGetLastError()) ? SLSucceed(true) : false;
}

bool ItemDescription::GetRequired(const char* section, const char* key, char* buffer, u32 size) {
  bool found;
  if (!GetNonEmpty(section, key, buffer, size, &found)) return false;
  return found ? true : SLFail(SL_E_MALFORMED, false);
}

bool ItemDescription::GetNonEmpty(const char* section, const char* key, char* buffer, u32 size, bool* found) {
  bool present;
  if (!GetValue(section, key, buffer, size, &present)) return false;
  *found = present && buffer[0] != 0;
  return true;
}

bool ItemDescription::GetYesNo(const char* section, const char* key, bool defaultValue, bool* out) {
  char value[kValueSize];
  bool present;
  if (!GetValue(section, key, value, sizeof value, &present)) return false;
  if (!present) return *out = defaultValue, true;
  return ItemDescription_ParseYesNo(value, out);
}

bool ItemDescription::GetUInt(const char* section, const char* key, u32 defaultValue, u32* out, bool converterCode) {
  char value[kValueSize];
  bool present;
  if (!GetValue(section, key, value, sizeof value, &present)) return false;
  if (!present) return *out = defaultValue, true;
  return ItemDescription_ParseUInt(value, out, converterCode);
}

bool ItemDescription_ParseYesNo(const char* text, bool* out) {
  if (!text || !out) return SLFail(SL_E_NULL_DATA, false);
  if (SLStrICmpA(text, "SI") == 0) return *out = true, SLSucceed(true);
  if (SLStrICmpA(text, "NO") == 0) return *out = false, SLSucceed(true);
  return SLFail(SL_E_MALFORMED, false);
}

namespace {
// One body for the three converters: they share the length and end-pointer arguments.
template <class T, class Convert>
bool ParseNumber(const char* text, T* out, bool converterCode, Convert convert) {
  if (!text || !out) return SLFail(SL_E_NULL_DATA, false);
  const char* end = text;
  const T value = convert(text, &end);
  if (!Converted(text, end, converterCode)) return false;
  *out = value;
  return true;
}
}  // namespace

bool ItemDescription_ParseUInt(const char* text, u32* out, bool converterCode) {
  return ParseNumber(text, out, converterCode,
                     [](const char* t, const char** end) { return SLStrToUIntA(t, SL_TEXT_TO_END, 10, end); });
}

bool ItemDescription_ParseInt(const char* text, i32* out, bool converterCode) {
  return ParseNumber(text, out, converterCode,
                     [](const char* t, const char** end) { return SLStrToIntA(t, SL_TEXT_TO_END, 10, end); });
}

bool ItemDescription_ParseFraction(const char* text, double* out, bool converterCode) {
  return ParseNumber(text, out, converterCode,
                     [](const char* t, const char** end) { return SLStrToDoubleA(t, SL_TEXT_TO_END, nullptr, end); });
}

namespace {
bool Token(const char* list, u32 n, char* buffer, u32 size, const char* separators) {
  if (!buffer || !size) return SLFail(SL_E_NULL_OUTPUT, false);
  buffer[0] = 0;
  if (!SLGetTokenA(buffer, size, list, n, separators, kListQuotes, kListBlanks, true)) return false;
  return SLSucceed(buffer[0] != 0);
}
}  // namespace

bool ItemDescription_GetToken(const char* list, u32 n, char* buffer, u32 size) {
  return Token(list, n, buffer, size, ",");
}

bool ItemDescription_GetDirectionToken(const char* list, u32 n, char* buffer, u32 size) {
  return Token(list, n, buffer, size, ";");
}

void ItemDescription_NumberedName(char* buffer, u32 size, const char* pattern, u32 n) {
  SLSnprintfA(buffer, size, pattern, n);
}
