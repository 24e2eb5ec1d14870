// The archive half of the ZIP storage: attaching a source, reading the end records and the
// central directory into the entry tree, and listing directories.
#include <cstring>
#include <new>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLSync.h"
#include "foundation/SLWideText.h"
#include "foundation/SLWildcard.h"
#include "storage/SLArchivePath.h"
#include "storage/SLPath.h"
#include "storage/SLZipFileStorageInternal.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLZipFileStorage, CSLBaseStorage)

namespace {

constexpr u32 kEndRecordSize = 22;
constexpr u32 kEndSearchWindow = 66000;
constexpr u32 kZip64LocatorSize = 20;
constexpr u32 kZip64RecordSize = 56;
constexpr u32 kCentralHeaderSize = 42;  // after the signature
constexpr u32 kSignatureEnd = 0x06054B50;
constexpr u32 kSignatureZip64End = 0x06064B50;
constexpr u32 kSignatureZip64Locator = 0x07064B50;
constexpr u32 kSignatureCentral = 0x02014B50;
constexpr u32 kSignatureLocal = 0x04034B50;
constexpr u32 kDirectoryBuffer = 65536;

// Reads the central directory through one buffer. A short read is reported with the
// source's own code (0x80020036 at the end of the source).
class SLDirectoryReader {
 public:
  explicit SLDirectoryReader(CSLBaseStorage* source) : m_source(source) {}
  ~SLDirectoryReader() {
    SLErrorKeeper keep;
    SLFree(m_buffer);
  }
  bool Init() {
    m_buffer = static_cast<u8*>(SLAlloc(kDirectoryBuffer));
    return m_buffer != nullptr;
  }
  bool Read(void* out, u32 count) {
    auto* target = static_cast<u8*>(out);
    while (count != 0) {
      if (m_pos == m_length && !Refill()) return false;
      const u32 take = count < m_length - m_pos ? count : m_length - m_pos;
      std::memcpy(target, m_buffer + m_pos, take);
      m_pos += take;
      target += take;
      count -= take;
    }
    return true;
  }

 private:
  bool Refill() {
    if (m_ended) return SLFail(m_endError, false);
    const u64 got = m_source->Read(m_buffer, kDirectoryBuffer);
    if (got < kDirectoryBuffer) {
      m_ended = true;
      m_endError = SLGetLastError();
      if (m_endError == SL_OK) m_endError = SL_E_STORAGE_EOF;
    }
    m_pos = 0;
    m_length = u32(got);
    return got != 0 ? true : SLFail(m_endError, false);
  }

  CSLBaseStorage* m_source;
  u8* m_buffer = nullptr;
  u32 m_pos = 0;
  u32 m_length = 0;
  bool m_ended = false;
  u32 m_endError = SL_OK;
};

void FreeChildren(SLZipNode* directory) {
  SLZipNode* child = directory->firstChild;
  while (child != nullptr) {
    SLZipNode* next = child->nextSibling;
    FreeChildren(child);
    SLFree(child->name);
    SLFree(child);
    child = next;
  }
  directory->firstChild = directory->lastChild = nullptr;
}

SLZipNode* NewChild(SLZipNode* parent, const SLWChar* name, u32 length, u16 flags) {
  auto* node = static_cast<SLZipNode*>(SLAllocZero(sizeof(SLZipNode)));
  if (node == nullptr) return nullptr;
  node->name = SLDuplicateText(name, length);
  if (node->name == nullptr) {
    SLFree(node);
    return nullptr;
  }
  node->flags = flags;
  node->parent = parent;
  node->dataOffset = ~u64(0);
  if (parent->lastChild != nullptr) {
    parent->lastChild->nextSibling = node;
  } else {
    parent->firstChild = node;
  }
  parent->lastChild = node;
  return node;
}

// Directory and attribute flags by the host system that made the entry (the high byte of
// "version made by"): DOS-like hosts keep DOS attributes, Unix-like hosts a mode in the
// high 16 bits, a few hosts nothing usable.
u16 HostFlags(u8 host, u32 attributes, bool* directory) {
  const bool dosLike = host == 0 || host == 6 || host == 11 || host == 14;
  const bool noAttributes = host == 2 || host == 4 || host == 5 || host == 7 || host == 13 || host == 15;
  u16 flags = SL_ZIP_NODE_READONLY;
  if (dosLike) {
    if (attributes & 0x10) *directory = true;
    if (attributes & 0x2) flags |= SL_ZIP_NODE_HIDDEN;
    if (!(attributes & 0x1)) flags &= u16(~SL_ZIP_NODE_READONLY);
  } else if (host == 1) {
    if ((attributes & 0x0C000000) == 0x08000000) *directory = true;
    if (attributes & 0x800000) flags |= SL_ZIP_NODE_HIDDEN;
    if (attributes & 0x40000) flags &= u16(~SL_ZIP_NODE_READONLY);
  } else if (!noAttributes) {
    if ((attributes & 0xF0000000) == 0x40000000) *directory = true;
    if (attributes & 0x20000) flags &= u16(~SL_ZIP_NODE_READONLY);
  }
  return flags;
}

}  // namespace

// ---- state ------------------------------------------------------------------------------

CSLZipFileStorage::~CSLZipFileStorage() {
  if (m_state == nullptr) return;
  SLErrorKeeper keep;
  AttachContainer(nullptr);
  for (SLStorageFindRecord* record : {m_state->findRecordA, m_state->findRecordW}) {
    if (record == nullptr) continue;
    SLFree(record->nameA);  // the union holds either name
    record->DeletingDtor(1);
  }
  SLFree(m_state->findPattern);
  m_state->~SLZipArchiveState();
  SLFree(m_state);
  m_state = nullptr;
}

bool CSLZipFileStorage::EnsureState() {
  if (m_state != nullptr) return true;
  void* block = SLAllocZero(u32(sizeof(SLZipArchiveState)));
  if (block == nullptr) return SLFail(SL_E_OUT_OF_MEMORY, false);
  m_state = new (block) SLZipArchiveState();
  m_state->root.flags = SL_ZIP_NODE_DIRECTORY;
  return true;
}

void CSLZipFileStorage::ClearArchive() {
  FreeChildren(&m_state->root);
  m_state->comment.Empty();
  m_state->password.Empty();
  SLFree(m_state->findPattern);
  m_state->findPattern = nullptr;
  m_state->findDirectory = m_state->findCursor = nullptr;
  m_state->findDotDone = 0;
  EndEntryCodecs();
  m_state->open = m_state->atEnd = m_state->broken = m_state->inputEnded = 0;
  m_state->openNode = nullptr;
  m_state->position = 0;
  m_state->inputFill = 0;
  m_state->archiveSize = 0;
  FreeNames();
}

bool CSLZipFileStorage::GetTime(CSLDateTime* out) {
  if (m_state == nullptr || m_state->source == nullptr) {
    if (out != nullptr) out->SetZero(false);
    return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  }
  return m_state->source->GetTime(out);
}

CSLBaseStorage* CSLZipFileStorage::GetContainer() {
  if (m_state == nullptr || m_state->source == nullptr) {
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<CSLBaseStorage*>(nullptr));
  }
  SLSetLastError(SL_OK);
  return m_state->source;
}

bool CSLZipFileStorage::SetCompressionLevel(i32 level) {
  if (level < 1 || level > 9) return SLFail(SL_E_INVALID_ARG, false);
  if (!EnsureState()) return false;
  m_state->compressionLevel = level;
  return SLSucceed(true);
}

bool CSLZipFileStorage::SetPassword(const u8* bytes, u32 length) {
  if (!EnsureState()) return false;
  if (bytes == nullptr || length == 0 || bytes[0] == 0) {
    m_state->password.Empty();
    return SLSucceed(true);
  }
  if (!m_state->password.Assign(reinterpret_cast<const char*>(bytes), length)) return false;
  return SLSucceed(true);
}

bool CSLZipFileStorage::SetComment(const char* text) {
  if (!EnsureState()) return false;
  if (text == nullptr || *text == 0) {
    m_state->comment.Empty();
    return SLSucceed(true);
  }
  if (!m_state->comment.Assign(text)) return false;
  return SLSucceed(true);
}

const char* CSLZipFileStorage::GetComment() {
  SLSetLastError(SL_OK);
  if (m_state == nullptr || m_state->comment.IsEmpty()) return "";
  const char* text = m_state->comment.CStr();
  SLSetLastError(SL_OK);
  return text != nullptr ? text : "";
}

// ---- attaching --------------------------------------------------------------------------

bool CSLZipFileStorage::AttachContainer(CSLBaseStorage* source) {
  CSLTimer timer;
  if (m_state != nullptr && m_state->source != nullptr) {
    ReportProgress(SL_PROGRESS_DETACH, 0, &timer);
    Close();
    CSLBaseStorage* old = m_state->source;
    m_state->source = nullptr;
    {
      SLErrorKeeper keep;
      old->Release();
    }
    ReportProgress(SL_PROGRESS_DETACH, 100, &timer);
  }
  if (!EnsureState()) return false;
  ClearArchive();
  if (source == nullptr) return SLSucceed(true);

  if (ReportProgress(SL_PROGRESS_ATTACH, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  if (!source->CanSeek()) return SLFail(SL_E_CANNOT_SEEK, false);
  if (!source->CanRead()) return SLFail(SL_E_BAD_CONTAINER, false);
  u64 size = 0;
  if (!source->GetSize(&size)) return false;
  if (size == 0) return SLFail(SL_E_BAD_CONTAINER, false);
  m_state->archiveSize = size;
  if (ReportProgress(SL_PROGRESS_ATTACH, 10, &timer)) return SLFail(SL_E_CANCELLED, false);
  m_state->source = source;  // for the reads below; the reference is taken on success
  const bool read = ReadDirectory(&timer);
  m_state->source = nullptr;
  if (!read) {
    SLErrorKeeper keep;
    ClearArchive();
    return false;
  }
  if (ReportProgress(SL_PROGRESS_ATTACH, 100, &timer)) {
    ClearArchive();
    return SLFail(SL_E_CANCELLED, false);
  }
  source->AddRef();
  m_state->source = source;
  return SLSucceed(true);
}

bool CSLZipFileStorage::ReadDirectory(CSLTimer* timer) {
  CSLBaseStorage* source = m_state->source;
  const u64 size = m_state->archiveSize;
  if (size < kEndRecordSize) return SLFail(SL_E_BAD_CONTAINER, false);

  // The end record lies within the last 66,000 bytes: its comment is at most 65,535 bytes.
  const u32 windowSize = size < kEndSearchWindow ? u32(size) : kEndSearchWindow;
  const u64 windowStart = size - windowSize;
  u8* window = static_cast<u8*>(SLAlloc(windowSize));
  if (window == nullptr) return false;
  TSLAutoPtr<u8> windowOwner(window);
  if (!source->Seek(i64(windowStart), SL_SEEK_BEGIN)) return false;
  if (source->Read(window, windowSize) != windowSize) {
    if (SLGetLastError() == SL_OK) SLSetLastError(SL_E_BAD_CONTAINER);
    return false;
  }
  i64 endAt = -1;
  for (i64 at = i64(windowSize) - kEndRecordSize; at >= 0; --at) {
    if (SLLoadLE32(window + at) == kSignatureEnd) {
      endAt = at;
      break;
    }
  }
  if (endAt < 0) return SLFail(SL_E_BAD_CONTAINER, false);
  const u8* end = window + endAt;
  u64 diskNumber = SLLoadLE16(end + 4);
  u64 directoryDisk = SLLoadLE16(end + 6);
  u64 directorySize = SLLoadLE32(end + 12);
  u64 directoryOffset = SLLoadLE32(end + 16);
  const u32 commentLength = SLLoadLE16(end + 20);

  if (directoryOffset == 0xFFFFFFFFu) {
    const u64 endRecordOffset = windowStart + u64(endAt);
    if (endRecordOffset < kZip64LocatorSize) return SLFail(SL_E_BAD_CONTAINER, false);
    u8 locator[kZip64LocatorSize];
    if (!source->Seek(i64(endRecordOffset - kZip64LocatorSize), SL_SEEK_BEGIN) ||
        source->Read(locator, kZip64LocatorSize) != kZip64LocatorSize ||
        SLLoadLE32(locator) != kSignatureZip64Locator) {
      return SLFail(SL_E_BAD_CONTAINER, false);
    }
    const u64 recordOffset = SLLoadLE64(locator + 8);
    u64 recordEnd;
    if (!SLCheckedAdd(recordOffset, kZip64RecordSize, &recordEnd) || recordEnd > size) {
      return SLFail(SL_E_BAD_CONTAINER, false);
    }
    u8 record[kZip64RecordSize];
    if (!source->Seek(i64(recordOffset), SL_SEEK_BEGIN) ||
        source->Read(record, kZip64RecordSize) != kZip64RecordSize || SLLoadLE32(record) != kSignatureZip64End) {
      return SLFail(SL_E_BAD_CONTAINER, false);
    }
    if (diskNumber == 0xFFFF) diskNumber = SLLoadLE32(record + 16);
    if (directoryDisk == 0xFFFF) directoryDisk = SLLoadLE32(record + 20);
    if (directorySize == 0xFFFFFFFFu) directorySize = SLLoadLE64(record + 40);
    directoryOffset = SLLoadLE64(record + 48);
  }
  if (diskNumber != 0 || directoryDisk != 0 || directoryOffset >= size) {
    return SLFail(SL_E_BAD_CONTAINER, false);
  }
  // The comment as far as it is present: a length running past the source is cut.
  const u32 commentPresent = windowSize - u32(endAt) - kEndRecordSize;
  const u32 commentKept = commentLength < commentPresent ? commentLength : commentPresent;
  if (commentKept != 0 && !m_state->comment.Assign(reinterpret_cast<const char*>(end + kEndRecordSize), commentKept)) {
    return false;
  }

  // The central directory: one header after another until an end or local signature.
  if (!source->Seek(i64(directoryOffset), SL_SEEK_BEGIN)) return false;
  SLDirectoryReader reader(source);
  if (!reader.Init()) return false;
  u8* variable = static_cast<u8*>(SLAlloc(3 * 65535 + 1));
  if (variable == nullptr) return false;
  TSLAutoPtr<u8> variableOwner(variable);
  for (;;) {
    u8 signatureBytes[4];
    if (!reader.Read(signatureBytes, 4)) return false;
    const u32 signature = SLLoadLE32(signatureBytes);
    if (signature == kSignatureEnd || signature == kSignatureZip64End || signature == kSignatureLocal) break;
    if (signature != kSignatureCentral) return SLFail(SL_E_BAD_CONTAINER, false);
    u8 header[kCentralHeaderSize];
    if (!reader.Read(header, kCentralHeaderSize)) return false;
    const u8 host = header[1];
    const u16 generalFlags = SLLoadLE16(header + 4);
    const u32 nameLength = SLLoadLE16(header + 24);
    const u32 extraLength = SLLoadLE16(header + 26);
    const u32 fieldCommentLength = SLLoadLE16(header + 28);
    const u32 variableLength = nameLength + extraLength + fieldCommentLength;
    if (!reader.Read(variable, variableLength)) return false;

    SLZipEntryInfo info{};
    info.method = SLLoadLE16(header + 6);
    info.crc = SLLoadLE32(header + 12);
    const u32 packed32 = SLLoadLE32(header + 16);
    const u32 plain32 = SLLoadLE32(header + 20);
    const u32 offset32 = SLLoadLE32(header + 38);
    u32 startDisk = SLLoadLE16(header + 30);
    info.compressedSize = packed32;
    info.uncompressedSize = plain32;
    info.localHeaderOffset = offset32;

    // Extra fields; the ZIP64 one supplies each 64-bit value whose header field is all ones,
    // and only when the value fits inside the field's own length.
    const u8* extra = variable + nameLength;
    u32 extraLeft = extraLength;
    while (extraLeft >= 4) {
      const u16 id = SLLoadLE16(extra);
      u32 fieldLength = SLLoadLE16(extra + 2);
      extra += 4;
      extraLeft -= 4;
      if (fieldLength > extraLeft) fieldLength = extraLeft;
      if (id == 0x0001) {
        u32 at = 0;
        auto take64 = [&](u64* value) {
          if (at + 8 > fieldLength) return false;
          *value = SLLoadLE64(extra + at);
          at += 8;
          return true;
        };
        if (plain32 == 0xFFFFFFFFu && !take64(&info.uncompressedSize)) return SLFail(SL_E_BAD_CONTAINER, false);
        if (packed32 == 0xFFFFFFFFu && !take64(&info.compressedSize)) return SLFail(SL_E_BAD_CONTAINER, false);
        if (offset32 == 0xFFFFFFFFu && !take64(&info.localHeaderOffset)) return SLFail(SL_E_BAD_CONTAINER, false);
        if (startDisk == 0xFFFF) {
          if (at + 4 > fieldLength) return SLFail(SL_E_BAD_CONTAINER, false);
          startDisk = SLLoadLE32(extra + at);
        }
      }
      extra += fieldLength;
      extraLeft -= fieldLength;
    }
    if (startDisk != 0) continue;  // entries on other disks are not reachable

    bool directory = false;
    info.flags = HostFlags(host, SLLoadLE32(header + 34), &directory);
    if (generalFlags & 0x1) info.flags |= SL_ZIP_NODE_ENCRYPTED;
    if (generalFlags & 0x40) info.flags |= SL_ZIP_NODE_STRONG_ENCRYPTION;
    info.directory = directory;
    if (!AddEntry(reinterpret_cast<const char*>(variable), nameLength, (generalFlags & 0x0800) != 0, info)) {
      return false;
    }
  }
  if (ReportProgress(SL_PROGRESS_ATTACH, 50, timer)) return SLFail(SL_E_CANCELLED, false);
  if (ReportProgress(SL_PROGRESS_ATTACH, 90, timer)) return SLFail(SL_E_CANCELLED, false);
  return true;
}

// Adds one central directory entry to the tree: its directories are found or made, the last
// component becomes an entry node unless the header names a directory.
bool CSLZipFileStorage::AddEntry(const char* rawName, u32 nameLength, bool utf8, const SLZipEntryInfo& info) {
  // Clean the 8-bit name: no drive part, "/" separators, runs collapsed, no leading "/".
  // Whole words, zero-filled: word-wise string scans stay inside the block.
  char* name = static_cast<char*>(SLAllocZero((nameLength + 8) & ~7u));
  if (name == nullptr) return false;
  TSLAutoPtr<char> nameOwner(name);
  std::memcpy(name, rawName, nameLength);
  name[nameLength] = 0;
  const u32 root = SLGetPathPartsA(nullptr, name, SL_PATH_ROOT);
  if (root != 0 && root <= std::strlen(name)) std::memmove(name, name + root, std::strlen(name) - root + 1);
  SLConvertSeparatorsA(name, 0);
  SLCollapseSeparatorsA(name);
  u32 lead = 0;
  while (name[lead] == '/') ++lead;
  std::memmove(name, name + lead, std::strlen(name) - lead + 1);
  const u32 cleanLength = u32(std::strlen(name));
  const bool directoryName = cleanLength != 0 && name[cleanLength - 1] == '/';

  CSLStringWide wide;
  if (cleanLength != 0) {
    const bool converted = utf8 ? wide.AssignUtf8(name, cleanLength, false)
                                : wide.AssignCodePage(437, name, cleanLength, false);
    if (!converted) return false;
  }
  const SLWChar* path = cleanLength != 0 ? wide.CStr() : u"";
  if (path == nullptr) return false;

  SLZipNode* directory = &m_state->root;
  const SLWChar* component = path;
  for (;;) {
    const SLWChar* slash = component;
    while (*slash != 0 && *slash != u'/') ++slash;
    const u32 length = u32(slash - component);
    if (*slash == 0) {
      // The last component.
      if (length == 0 || info.directory || directoryName || SLIsDotOrEmptyName(component)) break;
      SLZipNode* node = NewChild(directory, component, length, info.flags);
      if (node == nullptr) return SLFail(SL_E_OUT_OF_MEMORY, false);
      node->method = info.method;
      node->crc = info.crc;
      node->compressedSize = info.compressedSize;
      node->uncompressedSize = info.uncompressedSize;
      node->localHeaderOffset = info.localHeaderOffset;
      break;
    }
    SLZipNode* found = nullptr;
    for (SLZipNode* child = directory->firstChild; child != nullptr; child = child->nextSibling) {
      if ((child->flags & SL_ZIP_NODE_DIRECTORY) && SLTextLength(child->name) == length &&
          SLStrNICmpW(child->name, component, length) == 0) {
        found = child;
        break;
      }
    }
    if (found == nullptr) {
      found = NewChild(directory, component, length, SL_ZIP_NODE_DIRECTORY);
      if (found == nullptr) return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    directory = found;
    component = slash + 1;
  }
  return SLSucceed(true);
}

// ---- listing ----------------------------------------------------------------------------

i32 CSLZipFileStorage::FindDirectory(const SLWChar* path, SLZipNode** directory, u32* lastOffset) {
  SLZipNode* current = &m_state->root;
  const SLWChar* component = path;
  for (;;) {
    const SLWChar* slash = component;
    while (*slash != 0 && *slash != u'/') ++slash;
    if (*slash == 0) break;
    const u32 length = u32(slash - component);
    for (u32 i = 0; i < length; ++i) {
      if (component[i] == u'*' || component[i] == u'?') return -1;
    }
    if (length == 1 && component[0] == u'.') {
      // stays
    } else if (length == 2 && component[0] == u'.' && component[1] == u'.') {
      if (current->parent == nullptr) return -2;
      current = current->parent;
    } else {
      SLZipNode* found = nullptr;
      for (SLZipNode* child = current->firstChild; child != nullptr; child = child->nextSibling) {
        if ((child->flags & SL_ZIP_NODE_DIRECTORY) && SLTextLength(child->name) == length &&
            SLStrNICmpW(child->name, component, length) == 0) {
          found = child;
          break;
        }
      }
      if (found == nullptr) return -2;
      current = found;
    }
    component = slash + 1;
  }
  *directory = current;
  *lastOffset = u32(component - path);
  return 0;
}

SLStorageFindRecord* CSLZipFileStorage::FindFirstW(const SLWChar* pattern) {
  using Record = SLStorageFindRecord;
  if (pattern == nullptr || *pattern == 0) return SLFail(SL_E_INVALID_ARG, static_cast<Record*>(nullptr));
  if (m_state == nullptr || m_state->source == nullptr) {
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<Record*>(nullptr));
  }
  TSLAutoPtr<SLWChar> copy(SLInternals::SLMakeEntryPattern(pattern));
  if (!copy) return nullptr;
  const SLWChar* cleaned = copy.Get();
  SLFree(m_state->findPattern);
  m_state->findPattern = nullptr;
  SLZipNode* directory = nullptr;
  u32 lastOffset = 0;
  if (FindDirectory(cleaned, &directory, &lastOffset) != 0) {
    return SLFail(SL_E_INVALID_ARG, static_cast<Record*>(nullptr));
  }
  const SLWChar* last = cleaned + lastOffset;
  m_state->findPattern = *last != 0 ? SLDuplicateText(last, SLTextLength(last)) : SLDuplicateText(u"*", 1);
  if (m_state->findPattern == nullptr) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<Record*>(nullptr));
  m_state->findDotDone = 0;
  m_state->findDirectory = directory;
  m_state->findCursor = nullptr;
  return FindNextW();
}

SLStorageFindRecord* CSLZipFileStorage::FindNextW() {
  using Record = SLStorageFindRecord;
  if (m_state == nullptr || m_state->source == nullptr) {
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<Record*>(nullptr));
  }
  if (m_state->findPattern == nullptr) return SLFail(SL_E_STORAGE_NO_SEARCH, static_cast<Record*>(nullptr));
  if (m_state->findRecordW == nullptr) {
    m_state->findRecordW = SLStorageFindRecord::Create();
    if (m_state->findRecordW == nullptr) return nullptr;
  }
  Record* record = m_state->findRecordW;
  SLZipNode* directory = m_state->findDirectory;
  const SLWChar* name = nullptr;
  SLZipNode* node = nullptr;
  if (!m_state->findDotDone) {
    m_state->findDotDone = 1;
    if (directory != &m_state->root && SLWildcardMatchW(m_state->findPattern, u"..", true)) name = u"..";
  }
  if (name == nullptr) {
    SLZipNode* candidate = m_state->findCursor != nullptr ? m_state->findCursor->nextSibling : directory->firstChild;
    for (; candidate != nullptr; candidate = candidate->nextSibling) {
      if (!SLIsDotOrEmptyName(candidate->name) && SLWildcardMatchW(m_state->findPattern, candidate->name, true)) {
        node = candidate;
        break;
      }
    }
    if (node == nullptr) {
      SLFree(m_state->findPattern);
      m_state->findPattern = nullptr;
      return SLFail(SL_E_NO_MORE, static_cast<Record*>(nullptr));
    }
    m_state->findCursor = node;
    name = node->name;
  }
  SLWChar* nameCopy = SLDuplicateText(name, SLTextLength(name));
  if (nameCopy == nullptr) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<Record*>(nullptr));
  SLFree(record->nameW);
  record->nameW = nameCopy;
  if (node == nullptr || (node->flags & SL_ZIP_NODE_DIRECTORY)) {
    record->flags = SL_FIND_DIRECTORY | SL_FIND_READONLY;
    record->size = record->storedSize = 0;
  } else {
    record->flags = SL_FIND_FILE;
    if (node->flags & SL_ZIP_NODE_READONLY) record->flags |= SL_FIND_READONLY;
    if (node->flags & SL_ZIP_NODE_HIDDEN) record->flags |= SL_FIND_HIDDEN;
    if (node->flags & (SL_ZIP_NODE_ENCRYPTED | SL_ZIP_NODE_STRONG_ENCRYPTION)) record->flags |= SL_FIND_ENCRYPTED;
    record->size = node->uncompressedSize;
    record->storedSize = node->compressedSize;
  }
  record->reserved = 0;
  if (!m_state->source->GetTime(&record->time)) record->time.SetZero(false);
  SLSetLastError(SL_OK);
  return record;
}

SLStorageFindRecord* CSLZipFileStorage::FindFirstA(const char* pattern) {
  using Record = SLStorageFindRecord;
  if (pattern == nullptr) return SLFail(SL_E_INVALID_ARG, static_cast<Record*>(nullptr));
  Record* found;
  u32 code;
  {
    CSLStringWide wide;
    found = wide.AssignA(pattern) ? FindFirstW(*pattern ? wide.CStr() : u"") : nullptr;
    code = SLGetLastError();
  }
  if (found == nullptr) return SLFail(code, found);
  return SLStorageFindRecord::NarrowFrom(&m_state->findRecordA, m_state->findRecordW);
}

SLStorageFindRecord* CSLZipFileStorage::FindNextA() {
  if (FindNextW() == nullptr) return nullptr;
  return SLStorageFindRecord::NarrowFrom(&m_state->findRecordA, m_state->findRecordW);
}
