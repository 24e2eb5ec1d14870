#include "storage/SLIniFile.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "storage/SLFileReplacement.h"
#include "storage/SLFileStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLIniFile, CSLObject)

namespace {

constexpr u32 kNone = 0xFFFFFFFFu;
constexpr u32 kInitialRoom = 4096;
constexpr u32 kSectionRoom = 1024;
const SLWChar kCrLf[] = u"\r\n";

bool IsBlank(SLWChar c) { return c == u' ' || c == u'\t'; }
bool IsLineEnd(SLWChar c) { return c == u'\r' || c == u'\n'; }

u32 ContentEnd(const SLWChar* text, u32 length, u32 position) {
  while (position < length && !IsLineEnd(text[position])) ++position;
  return position;
}

// CR LF, LF CR, a lone CR or a lone LF; 0 at the end of the text.
u32 LineEndLength(const SLWChar* text, u32 length, u32 position) {
  if (position >= length) return 0;
  if (position + 1 < length && IsLineEnd(text[position + 1]) && text[position + 1] != text[position]) return 2;
  return 1;
}

u32 SkipBlanks(const SLWChar* text, u32 position, u32 end) {
  while (position < end && IsBlank(text[position])) ++position;
  return position;
}

bool Empty(const SLWChar* text) { return !text || !*text; }
bool Empty(const char* text) { return !text || !*text; }

bool SameName(const SLWChar* text, u32 start, u32 length, const SLWChar* name, u32 nameLength) {
  return length == nameLength && SLStrNICmpW(text + start, name, length) == 0;
}

// The kind of the line at `position` of a section's body, with its length in *lineLength;
// kSectionEnd at the end of the text or at the next section's header. A bad line fails
// with 0x80020035 and answers its negative kind.
constexpr i32 kSectionEnd = 0;
// The caller passes the text and its length, taken once: asking the string for its length
// after handing its buffer out counts the whole text again, which at every line made a
// query cost the square of the file's size.
i32 BodyLine(const SLWChar* text, u32 length, u32 position, u32* lineLength) {
  if (position >= length) return kSectionEnd;
  const i32 kind = CSLIniFile::ClassifyLine(text, length, position, lineLength);
  if (kind < 0) return SLFail(SL_E_INI_BAD_TEXT, kind);
  return kind == SL_INI_LINE_SECTION ? kSectionEnd : kind;
}

// Whether the key line at `position` names `key` (without regard to case); where its
// value lies in *valueStart and *valueLength.
bool KeyLineNames(const SLWChar* text, u32 position, const SLWChar* key, u32 keyLength, u32* valueStart,
                  u32* valueLength) {
  u32 keyStart, foundLength;
  CSLIniFile::ParseKeyLine(text, position, &keyStart, &foundLength, valueStart, valueLength);
  return SameName(text, keyStart, foundLength, key, keyLength);
}

// What the setters write must read back as itself: a section name, key or value that a
// later scan would split, cut or read as another line kind is refused.
bool StartsOrEndsWithBlank(const SLWChar* text) {
  u32 length = SLStrLenW(text);
  return length && (IsBlank(text[0]) || IsBlank(text[length - 1]));
}

bool IsStorableSection(const SLWChar* section) {
  for (const SLWChar* p = section; *p; ++p)
    if (*p < 32 || *p == u']') return false;
  return !StartsOrEndsWithBlank(section);
}

bool IsStorableKey(const SLWChar* key) {
  for (const SLWChar* p = key; *p; ++p)
    if (*p < 32 || *p == u'=') return false;
  if (key[0] == u'[' || key[0] == u';' || key[0] == u'#' || (key[0] == u'/' && key[1] == u'/')) return false;
  return !StartsOrEndsWithBlank(key);
}

bool IsStorableValue(const SLWChar* value) {
  for (const SLWChar* p = value; *p; ++p)
    if (*p < 32 && *p != u'\t') return false;
  return !StartsOrEndsWithBlank(value);
}

// Copies a converted value into a caller's buffer (when there is one) and gives the length
// copied, or the full length for a null buffer.
void CopyToBuffer(CSLStringAnsi& text, char* buffer, u32* size) {
  u32 n = text.GetLength();
  if (buffer) {
    if (n > *size - 1) n = *size - 1;
    SLMemCopy(buffer, text.CStr(), n);
    buffer[n] = 0;
  }
  *size = n;
}

// The scope guard of every public operation.
class IniLock {
 public:
  explicit IniLock(SLRecursiveFastLock* lock) : m_guard(lock) {}

 private:
  CSLAutoFastRecursiveMutex m_guard;
};

}  // namespace

CSLIniFile::CSLIniFile() : m_spinFlag(SLGetProcessorCount() > 1 ? 1 : 0), m_encoding(SL_TEXT_ANSI) {
  m_lock.sleepFlag = m_spinFlag;
}

CSLIniFile::~CSLIniFile() {
  SLErrorKeeper keep;
  Reset();
}

// ---------------------------------------------------------------------------------------
// The line scanner

i32 CSLIniFile::ClassifyLine(const SLWChar* text, u32 textLength, u32 position, u32* lineLength) {
  const u32 end = ContentEnd(text, textLength, position);
  *lineLength = end - position + LineEndLength(text, textLength, end);
  u32 p = SkipBlanks(text, position, end);
  if (p == end) return SL_INI_LINE_BLANK;
  const SLWChar c = text[p];
  if (c < 32) return SL_INI_LINE_BAD_CONTROL;
  if (c == u';' || c == u'#' || (c == u'/' && p + 1 < end && text[p + 1] == u'/')) return SL_INI_LINE_COMMENT;
  if (c == u'[') {
    u32 q = SkipBlanks(text, p + 1, end);
    bool named = false;
    for (; q < end && text[q] != u']'; ++q) {
      if (text[q] < 32) return SL_INI_LINE_BAD_HEADER;  // a tab inside or after the name
      if (text[q] != u' ') named = true;
    }
    if (q == end || !named) return SL_INI_LINE_BAD_HEADER;
    q = SkipBlanks(text, q + 1, end);
    if (q == end || text[q] == u';' || text[q] == u'#') return SL_INI_LINE_SECTION;
    return SL_INI_LINE_BAD_CONTROL;
  }
  bool named = false;
  u32 q = p;
  for (; q < end && text[q] != u'='; ++q) {
    if (text[q] < 32) return SL_INI_LINE_BAD_KEY;
    if (text[q] != u' ') named = true;
  }
  if (q == end || !named) return SL_INI_LINE_BAD_KEY;
  for (++q; q < end; ++q)
    if (text[q] < 32 && text[q] != u'\t') return SL_INI_LINE_BAD_VALUE;
  return SL_INI_LINE_KEY;
}

void CSLIniFile::ParseSectionLine(const SLWChar* text, u32 position, u32* nameStart, u32* nameLength) {
  u32 p = position;
  while (text[p] != u'[') ++p;
  u32 start = p + 1;
  while (IsBlank(text[start])) ++start;
  u32 end = start;
  while (text[end] != u']') ++end;
  while (end > start && IsBlank(text[end - 1])) --end;
  *nameStart = start;
  *nameLength = end - start;
}

void CSLIniFile::ParseKeyLine(const SLWChar* text, u32 position, u32* keyStart, u32* keyLength, u32* valueStart,
                              u32* valueLength) {
  u32 start = position;
  while (IsBlank(text[start])) ++start;
  u32 equals = start;
  while (text[equals] != u'=') ++equals;
  u32 keyEnd = equals;
  while (keyEnd > start && IsBlank(text[keyEnd - 1])) --keyEnd;
  u32 value = equals + 1;
  while (IsBlank(text[value])) ++value;
  u32 valueEnd = value;
  while (text[valueEnd] && !IsLineEnd(text[valueEnd])) ++valueEnd;
  while (valueEnd > value && IsBlank(text[valueEnd - 1])) --valueEnd;
  *keyStart = start;
  *keyLength = keyEnd - start;
  *valueStart = value;
  *valueLength = valueEnd - value;
}

bool CSLIniFile::CheckText(const SLWChar* text, u32 textLength) {
  bool inSection = false;
  for (u32 position = 0, lineLength = 0; position < textLength; position += lineLength) {
    i32 kind = ClassifyLine(text, textLength, position, &lineLength);
    if (kind < 0 || (kind == SL_INI_LINE_KEY && !inSection)) return false;
    if (kind == SL_INI_LINE_SECTION) inSection = true;
  }
  return true;
}

bool CSLIniFile::FindSection(const SLWChar* section, u32* afterHeader) {
  const SLWChar* text = m_text.CStr();
  const u32 length = m_text.GetLength();
  const u32 sectionLength = SLStrLenW(section);
  for (u32 position = 0, lineLength = 0; position < length; position += lineLength) {
    i32 kind = ClassifyLine(text, length, position, &lineLength);
    if (kind < 0) return SLFail(SL_E_INI_BAD_TEXT, false);
    if (kind != SL_INI_LINE_SECTION) continue;
    u32 nameStart, nameLength;
    ParseSectionLine(text, position, &nameStart, &nameLength);
    if (SameName(text, nameStart, nameLength, section, sectionLength)) {
      *afterHeader = position + lineLength;
      return true;
    }
  }
  return SLFail(SL_E_INI_SECTION_NOT_FOUND, false);
}

// Removes a line with its line end and, when the next unit starts a line end (an empty
// line right after it), that line end too.
bool CSLIniFile::RemoveLine(u32 position, u32 lineLength) {
  const SLWChar* text = m_text.CStr();
  const u32 length = m_text.GetLength();
  u32 removed = lineLength;
  if (position + removed < length && IsLineEnd(text[position + removed]))
    removed += LineEndLength(text, length, position + removed);
  return m_text.Delete(position, removed);
}

// ---------------------------------------------------------------------------------------
// Loading and saving

bool CSLIniFile::Reset() {
  IniLock lock(&m_lock);
  m_fileName.Empty();
  m_text.Empty();
  m_encoding = SL_TEXT_ANSI;
  return SLSetLastError(SL_OK);
}

bool CSLIniFile::Clear() { return Reset(); }

bool CSLIniFile::Load(CSLBaseStorage* storage) {
  if (!storage) return SLFail(SL_E_NULL_DATA, false);
  IniLock lock(&m_lock);
  TSLObjPtr<CSLBaseStorage> hold(storage);
  Reset();
  if (storage->IsKindOf(CSLFileStorage::GetClassRecord()) && *storage->GetNameW() &&
      !m_fileName.Assign(storage->GetNameW()))
    return false;
  if (!m_text.LoadFromStorage(storage)) {
    SLErrorKeeper keep;
    m_fileName.Empty();
    return false;
  }
  m_encoding = m_text.GetEncoding();
  if (m_encoding == 0) m_encoding = SL_TEXT_ANSI;
  if (!CheckText(m_text.CStr(), m_text.GetLength())) {
    Reset();
    return SLFail(SL_E_INI_BAD_TEXT, false);
  }
  return SLSetLastError(SL_OK);
}

bool CSLIniFile::LoadFileA(const char* fileName, bool create) {
  IniLock lock(&m_lock);
  TSLObjPtr<CSLFileStorage> file;
  file.Attach(new CSLFileStorage());
  if (!file) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!file->OpenA(fileName, SL_STORAGE_READ | SL_STORAGE_SHARE_READ)) {
    const u32 code = SLGetLastError();
    if (code != SL_E_STORAGE_OPEN || !create) return false;
    Clear();
    if (!m_fileName.AssignA(fileName)) return false;
    return SLSetLastError(SL_OK);
  }
  return Load(file.Get());
}

// The text goes to a sibling file of this save's own first and replaces the original
// only when it was written whole, so a failed save leaves the previous settings in place
// and two programs saving one file at once leave one whole text of theirs.
bool CSLIniFile::Save() {
  IniLock lock(&m_lock);
  if (m_fileName.IsEmpty()) return SLFail(SL_E_INI_NO_FILE_NAME, false);
  CSLFileReplacement file;
  if (!file.BeginW(m_fileName.CStr())) return false;
  if (!m_text.SaveToStorage(file.GetStorage(), m_encoding)) {
    file.Abandon();
    return false;
  }
  if (!file.Commit()) return false;
  return SLSetLastError(SL_OK);
}

// ---------------------------------------------------------------------------------------
// Queries

bool CSLIniFile::GetStringLocked(const SLWChar* section, const SLWChar* key, CSLStringWide& result, u32 occurrence) {
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  if (m_text.IsEmpty()) return SLFail(SL_E_INI_SECTION_NOT_FOUND, false);
  u32 position;
  if (!FindSection(section, &position)) return false;
  const SLWChar* text = m_text.CStr();
  const u32 length = m_text.GetLength();
  const u32 keyLength = SLStrLenW(key);
  for (u32 lineLength = 0;; position += lineLength) {
    const i32 kind = BodyLine(text, length, position, &lineLength);
    if (kind < 0) return false;
    if (kind == kSectionEnd) break;
    u32 valueStart, valueLength;
    if (kind != SL_INI_LINE_KEY || !KeyLineNames(text, position, key, keyLength, &valueStart, &valueLength))
      continue;
    if (occurrence != 0) {  // occurrence n takes the (n+1)-th line of the key
      --occurrence;
      continue;
    }
    if (valueLength == 0) return result.Empty();
    return result.Assign(text + valueStart, valueLength) ? SLSetLastError(SL_OK)
                                                         : SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLFail(SL_E_INI_KEY_NOT_FOUND, false);
}

bool CSLIniFile::GetStringW(const SLWChar* section, const SLWChar* key, CSLStringWide& result,
                            const SLWChar* defaultValue, u32 occurrence) {
  IniLock lock(&m_lock);
  result.Empty();
  if (GetStringLocked(section, key, result, occurrence)) return true;
  const u32 code = SLGetLastError();
  if (defaultValue && !result.Assign(defaultValue)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  return SLFail(code, false);
}

bool CSLIniFile::GetStringStrA(const char* section, const char* key, CSLStringAnsi& result,
                               const char* defaultValue) {
  IniLock lock(&m_lock);
  result.Empty();
  if (Empty(section)) return SLFail(SL_E_INVALID_ARG, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  CSLStringWide sectionW, keyW, defaultW, value;
  if (!sectionW.AssignA(section) || !keyW.AssignA(key) || !defaultW.AssignA(defaultValue ? defaultValue : ""))
    return false;
  if (!GetStringW(sectionW.CStr(), keyW.CStr(), value, defaultW.CStr(), 0)) return false;
  if (value.IsEmpty()) return SLSetLastError(SL_OK);
  return result.AssignW(value.CStr(), value.GetLength()) ? SLSetLastError(SL_OK) : false;
}

bool CSLIniFile::GetStringA(const char* section, const char* key, char* buffer, u32* size,
                            const char* defaultValue) {
  IniLock lock(&m_lock);
  if (!size || *size == 0) return SLFail(SL_E_OUTPUT_SIZE_ZERO, false);
  if (buffer) buffer[0] = 0;  // a null buffer asks for the length only
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  CSLStringAnsi value;
  if (!GetStringStrA(section, key, value, defaultValue)) return false;
  CopyToBuffer(value, buffer, size);
  return SLSetLastError(SL_OK);
}

bool CSLIniFile::GetKeyNameLocked(const SLWChar* section, u32 index, CSLStringWide& result) {
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (m_text.IsEmpty()) return SLFail(SL_E_INI_SECTION_NOT_FOUND, false);
  u32 position;
  if (!FindSection(section, &position)) return false;
  const SLWChar* text = m_text.CStr();
  const u32 length = m_text.GetLength();
  for (u32 lineLength = 0;; position += lineLength) {
    const i32 kind = BodyLine(text, length, position, &lineLength);
    if (kind < 0) return false;
    if (kind == kSectionEnd) break;
    if (kind != SL_INI_LINE_KEY || index-- != 0) continue;
    u32 keyStart, keyLength, valueStart, valueLength;
    ParseKeyLine(text, position, &keyStart, &keyLength, &valueStart, &valueLength);
    return result.Assign(text + keyStart, keyLength) ? SLSetLastError(SL_OK) : SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLFail(SL_E_INDEX, false);
}

bool CSLIniFile::GetKeyNameW(const SLWChar* section, u32 index, CSLStringWide& result) {
  IniLock lock(&m_lock);
  result.Empty();
  return GetKeyNameLocked(section, index, result);
}

bool CSLIniFile::GetKeyNameA(const char* section, u32 index, CSLStringAnsi& result) {
  IniLock lock(&m_lock);
  result.Empty();
  if (Empty(section)) return SLFail(SL_E_INVALID_ARG, false);
  CSLStringWide sectionW, name;
  if (!sectionW.AssignA(section)) return false;
  if (!GetKeyNameW(sectionW.CStr(), index, name)) return false;
  return result.AssignW(name.CStr(), name.GetLength()) ? SLSetLastError(SL_OK) : false;
}

bool CSLIniFile::GetKeyNameBufA(const char* section, u32 index, char* buffer, u32* size) {
  IniLock lock(&m_lock);
  if (!size || *size == 0) return SLFail(SL_E_OUTPUT_SIZE_ZERO, false);
  if (buffer) buffer[0] = 0;  // a null buffer asks for the length only
  if (Empty(section)) return SLFail(SL_E_INVALID_ARG, false);
  CSLStringAnsi name;
  if (!GetKeyNameA(section, index, name)) return false;
  CopyToBuffer(name, buffer, size);
  return SLSetLastError(SL_OK);
}

// ---------------------------------------------------------------------------------------
// Edits

bool CSLIniFile::DeleteKeyLocked(const SLWChar* section, const SLWChar* key, u32 occurrence) {
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  if (m_text.IsEmpty()) return SLFail(SL_E_INI_SECTION_NOT_FOUND, false);
  u32 position;
  if (!FindSection(section, &position)) return false;
  const u32 keyLength = SLStrLenW(key);
  u32 count = 0, removed = 0;
  const SLWChar* text = m_text.CStr();
  u32 length = m_text.GetLength();
  for (u32 lineLength = 0;; position += lineLength) {
    const i32 kind = BodyLine(text, length, position, &lineLength);
    if (kind < 0) return false;
    if (kind == kSectionEnd) break;
    u32 valueStart, valueLength;
    if (kind != SL_INI_LINE_KEY || !KeyLineNames(text, position, key, keyLength, &valueStart, &valueLength))
      continue;
    ++count;
    if (occurrence != 0 && occurrence != count) continue;
    if (!RemoveLine(position, lineLength)) return false;
    ++removed;
    lineLength = 0;  // the next line now starts here
    text = m_text.CStr();  // the text moved: read it afresh
    length = m_text.GetLength();
  }
  return removed ? SLSetLastError(SL_OK) : SLFail(SL_E_INI_KEY_NOT_FOUND, false);
}

bool CSLIniFile::DeleteKeyW(const SLWChar* section, const SLWChar* key, u32 occurrence) {
  IniLock lock(&m_lock);
  return DeleteKeyLocked(section, key, occurrence);
}

bool CSLIniFile::DeleteKeyA(const char* section, const char* key, u32 occurrence) {
  IniLock lock(&m_lock);
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  CSLStringWide sectionW, keyW;
  if (!sectionW.AssignA(section) || !keyW.AssignA(key)) return false;
  return DeleteKeyW(sectionW.CStr(), keyW.CStr(), occurrence);
}

bool CSLIniFile::SetStringW(const SLWChar* section, const SLWChar* key, const SLWChar* value, i32 occurrence) {
  IniLock lock(&m_lock);
  if (!value) return DeleteKeyLocked(section, key, u32(occurrence));
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  if (!IsStorableSection(section) || !IsStorableKey(key) || !IsStorableValue(value))
    return SLFail(SL_E_INVALID_ARG, false);
  if (m_text.GetCapacity() == 0 && !m_text.Reserve(kInitialRoom)) return false;

  u32 afterHeader;
  if (!FindSection(section, &afterHeader)) {
    if (SLGetLastError() != SL_E_INI_SECTION_NOT_FOUND) return false;
    const u32 sectionLength = SLStrLenW(section);
    const u32 length = m_text.GetLength();
    const u32 capacity = m_text.GetCapacity();
    if (capacity - length - 1 < kSectionRoom) {
      u64 grown = u64(capacity) + kSectionRoom + sectionLength;
      if (!SLFitsU32(grown) || !m_text.Reserve(u32(grown))) return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    if ((length && !m_text.Append(kCrLf)) || !m_text.Append(u"[") || !m_text.Append(section) ||
        !m_text.Append(u"]\r\n"))
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    afterHeader = m_text.GetLength();
  }

  const u32 keyLength = SLStrLenW(key);
  u32 insertAt = afterHeader, replaceAt = kNone, count = 0, position = afterHeader;
  const SLWChar* text = m_text.CStr();
  u32 textLength = m_text.GetLength();
  for (u32 lineLength = 0;; position += lineLength) {
    const i32 kind = BodyLine(text, textLength, position, &lineLength);
    if (kind < 0) return false;
    if (kind == kSectionEnd) break;
    if (kind == SL_INI_LINE_BLANK) continue;  // blank lines do not move the insertion point
    if (kind == SL_INI_LINE_KEY) {
      u32 valueStart, valueLength;
      if (KeyLineNames(text, position, key, keyLength, &valueStart, &valueLength) && occurrence != -1 &&
          (occurrence == 0 || u32(occurrence) == ++count)) {
        if (!RemoveLine(position, lineLength)) return false;
        if (replaceAt == kNone) replaceAt = position;
        lineLength = 0;
        text = m_text.CStr();  // the text moved: read it afresh
        textLength = m_text.GetLength();
        continue;
      }
    }
    insertAt = position + lineLength;
  }

  CSLStringWide line;
  const u32 at = replaceAt != kNone ? replaceAt : insertAt;
  const u32 length = m_text.GetLength();
  // The last line of a text may lack its line end; the new line must not join it.
  if (at == length && length && !IsLineEnd(m_text.CStr()[length - 1]) && !line.Append(kCrLf))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!line.Append(key) || !line.Append(u"=") || !line.Append(value) || !line.Append(kCrLf) ||
      !m_text.Insert(line.CStr(), at, line.GetLength()))
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  return SLSetLastError(SL_OK);
}

bool CSLIniFile::SetStringA(const char* section, const char* key, const char* value, i32 occurrence) {
  IniLock lock(&m_lock);
  if (!value) return DeleteKeyA(section, key, u32(occurrence));
  if (Empty(section)) return SLFail(SL_E_INI_BAD_SECTION_NAME, false);
  if (Empty(key)) return SLFail(SL_E_INI_BAD_KEY_NAME, false);
  CSLStringWide sectionW, keyW, valueW;
  if (!sectionW.AssignA(section) || !keyW.AssignA(key) || !valueW.AssignA(value)) return false;
  return SetStringW(sectionW.CStr(), keyW.CStr(), valueW.IsEmpty() ? u"" : valueW.CStr(), occurrence);
}
