// INI texts (the settings file, item descriptions, the skin's layout): the whole file kept as
// one UTF-16 text with CR LF line ends, queried by scanning its lines on every call and
// edited in place, so comments, spacing and order of everything untouched survive a
// load-edit-save cycle. One recursive lock makes an instance safe to share between threads.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"

class CSLBaseStorage;

enum : u32 {
  SL_E_INI_BAD_TEXT = 0x80020035,          // a bad line (or a key line before the first header)
  SL_E_INI_NO_FILE_NAME = 0x80020027,      // Save without a file name
  SL_E_INI_BAD_SECTION_NAME = 0x8003000c,  // null or empty section name
  SL_E_INI_SECTION_NOT_FOUND = 0x8003000d, // no text, or no such section
  SL_E_INI_BAD_KEY_NAME = 0x8003000e,      // null or empty key name
  SL_E_INI_KEY_NOT_FOUND = 0x8003000f,
};

// Line kinds of the scanner.
enum : i32 {
  SL_INI_LINE_BLANK = 1,
  SL_INI_LINE_COMMENT = 2,
  SL_INI_LINE_SECTION = 3,
  SL_INI_LINE_KEY = 4,
  SL_INI_LINE_BAD_CONTROL = -1,  // a control unit where a line starts, or garbage after "]"
  SL_INI_LINE_BAD_HEADER = -2,
  SL_INI_LINE_BAD_KEY = -3,
  SL_INI_LINE_BAD_VALUE = -4,    // a control unit other than tab inside a value
};

class CSLIniFile : public CSLObject {
  SL_DECLARE_CLASS(CSLIniFile)

 public:
  CSLIniFile();
  ~CSLIniFile() override;

  bool Load(CSLBaseStorage* storage);
  bool LoadFileA(const char* fileName, bool create);
  bool Save();
  bool Reset();
  bool Clear();

  // occurrence 0 is the first line with the key, n the (n+1)-th.
  bool GetStringW(const SLWChar* section, const SLWChar* key, CSLStringWide& result, const SLWChar* defaultValue,
                  u32 occurrence);
  bool GetStringStrA(const char* section, const char* key, CSLStringAnsi& result, const char* defaultValue);
  // A null buffer asks for the length only; *size is the buffer's size in, the length out.
  bool GetStringA(const char* section, const char* key, char* buffer, u32* size, const char* defaultValue);
  // occurrence 0 replaces every line of the key by one, n replaces the n-th (or adds a line
  // when there are fewer), -1 adds a line; a null value deletes.
  bool SetStringW(const SLWChar* section, const SLWChar* key, const SLWChar* value, i32 occurrence);
  bool SetStringA(const char* section, const char* key, const char* value, i32 occurrence);
  // occurrence 0 removes every line of the key, n the n-th.
  bool DeleteKeyW(const SLWChar* section, const SLWChar* key, u32 occurrence);
  bool DeleteKeyA(const char* section, const char* key, u32 occurrence);
  bool GetKeyNameW(const SLWChar* section, u32 index, CSLStringWide& result);
  bool GetKeyNameA(const char* section, u32 index, CSLStringAnsi& result);
  bool GetKeyNameBufA(const char* section, u32 index, char* buffer, u32* size);

  SLTextEncoding GetEncoding() const { return m_encoding; }
  // The text as kept (CR LF line ends); for inspection.
  const SLWChar* GetText() { return m_text.CStr(); }

  // The line scanner. Gives the kind of the line at `position` and its length including
  // its line end.
  static i32 ClassifyLine(const SLWChar* text, u32 textLength, u32 position, u32* lineLength);
  // Trimmed section name of a header line.
  static void ParseSectionLine(const SLWChar* text, u32 position, u32* nameStart, u32* nameLength);
  // Trimmed key and value of a key line.
  static void ParseKeyLine(const SLWChar* text, u32 position, u32* keyStart, u32* keyLength, u32* valueStart,
                           u32* valueLength);
  // True when every line is valid and no key line comes before the first header.
  static bool CheckText(const SLWChar* text, u32 textLength);

 private:
  bool FindSection(const SLWChar* section, u32* afterHeader);
  bool DeleteKeyLocked(const SLWChar* section, const SLWChar* key, u32 occurrence);
  bool GetStringLocked(const SLWChar* section, const SLWChar* key, CSLStringWide& result, u32 occurrence);
  bool GetKeyNameLocked(const SLWChar* section, u32 index, CSLStringWide& result);
  bool RemoveLine(u32 position, u32 lineLength);

  SLRecursiveFastLock m_lock;
  u32 m_spinFlag;
  CSLStringWide m_fileName;
  SLTextEncoding m_encoding;
  CSLStringWide m_text;
};
