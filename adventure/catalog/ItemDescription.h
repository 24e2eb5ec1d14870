// The item description "info.txt" of an item pack: an INI text (8-bit, UTF-8 or UTF-16)
// whose values every loader reads through this one reader, so that all kinds of item
// agree on what a missing key, an empty value, a yes/no or a number is.
//
// Section names, keys and values are Windows-1252 text; a character the code page
// lacks arrives as the converter's default character.
//
// Missing against empty: a key that is not there (or whose section is not there) takes
// its default; a key that is there takes effect even with an empty value, which must
// then be valid (an empty yes/no or number is an error). Required keys, and the keys that
// end a numbered series, treat missing and empty alike.
#pragma once

#include "foundation/SLTypes.h"
#include "storage/SLIniFile.h"

class CSLBaseStorage;

class ItemDescription {
 public:
  // Value buffers of the object and character keys; the background keys use 512.
  static constexpr u32 kValueSize = 1024;

  // Opens "info.txt" in the pack, loads it and closes the entry: the pack's code when
  // the entry is missing, the INI file's (0x80020035 a bad line) when it is unreadable.
  bool Load(CSLBaseStorage* pack);

  // The value cut to size - 1 characters. *present tells a missing key (false, the
  // buffer empty) from a present one; false only for other faults.
  bool GetValue(const char* section, const char* key, char* buffer, u32 size, bool* present);
  // A required text: missing or empty is 0x80020016.
  bool GetRequired(const char* section, const char* key, char* buffer, u32 size);
  // A text for which missing and empty mean the same: *found false for both (the end of
  // a numbered series, or no value).
  bool GetNonEmpty(const char* section, const char* key, char* buffer, u32 size, bool* found);
  // "SI" or "NO" without regard to case; missing gives the default.
  bool GetYesNo(const char* section, const char* key, bool defaultValue, bool* out);
  // An unsigned decimal; missing gives the default. A value that does not convert is
  // 0x80020016, or the converter's own code when `converterCode` is set.
  bool GetUInt(const char* section, const char* key, u32 defaultValue, u32* out, bool converterCode = false);

  CSLIniFile& Ini() { return m_ini; }

 private:
  CSLIniFile m_ini;
};

// Value conversions, each failing with 0x80020016 unless said otherwise.
// "SI" or "NO", case-insensitive.
bool ItemDescription_ParseYesNo(const char* text, bool* out);
// Decimal integers. Blanks around the digits are allowed; anything else is refused: the
// converter's code (0x80060008 text after the number, 0x80002004 overflow, 0x80002005 a
// sign on an unsigned value) when `converterCode` is set, else 0x80020016; a text the
// converter takes without a digit in it (empty, a lone sign) is 0x80020016 either way.
bool ItemDescription_ParseUInt(const char* text, u32* out, bool converterCode);
bool ItemDescription_ParseInt(const char* text, i32* out, bool converterCode);
// A decimal fraction ("12.5"), refused like the integers.
bool ItemDescription_ParseFraction(const char* text, double* out, bool converterCode);

// Token n (from 1) of a list: separated by ",", double or single quotes keeping what they
// enclose, blanks (space, tab) dropped around each token. True when the token is not
// empty: an empty token (or none) ends a list.
bool ItemDescription_GetToken(const char* list, u32 n, char* buffer, u32 size);
// The same with ";" as separator: the direction lists inside a token.
bool ItemDescription_GetDirectionToken(const char* list, u32 n, char* buffer, u32 size);
// A numbered key or section name: the pattern ("Estado_%ld", "Clase_Personajes%lu")
// with n.
void ItemDescription_NumberedName(char* buffer, u32 size, const char* pattern, u32 n);
