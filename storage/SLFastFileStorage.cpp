#include "storage/SLFastFileStorage.h"

#include <cstddef>
#include <cstring>

#include "foundation/SLDigest.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"
#include "foundation/SLTranscoder.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLFastFileStorage, CSLBaseStorage)

namespace {

constexpr u8 kMagic[CSLFastFileStorage::kMagicLength] = {'F', 'a', 's', 't', ' ', 'D', 'a', 't',
                                                       'a', ' ', 'F', 'i', 'l', 'e', '.', 0x1A};
constexpr u32 kCrcBlock = 8192;
constexpr u32 kReadBlock = 65536;
constexpr u32 kDirectoryBuffer = 65536;
constexpr SLWChar kSlash = u'/';

void ListInit(SLFastPackLink* head) { head->next = head->prev = head; }
bool ListEmpty(const SLFastPackLink* head) { return head->next == head; }
void ListAppend(SLFastPackLink* head, SLFastPackLink* link) {
  link->prev = head->prev;
  link->next = head;
  head->prev->next = link;
  head->prev = link;
}
void ListUnlink(SLFastPackLink* link) {
  link->prev->next = link->next;
  link->next->prev = link->prev;
  link->next = link->prev = link;
}
SLFastPackNode* NodeOf(SLFastPackLink* link) {
  return reinterpret_cast<SLFastPackNode*>(reinterpret_cast<char*>(link) - offsetof(SLFastPackNode, link));
}

bool IsSeparator(SLWChar c) { return c == u'/' || c == u'\\'; }

bool IsDotName(const SLWChar* name) {
  return name[0] == 0 || (name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0)));
}

SLWChar* CopyWide(const SLWChar* text, u32 length) {
  u64 bytes;
  if (!SLCheckedMul(u64(length) + 1, sizeof(SLWChar), &bytes) || !SLFitsU32(bytes)) return nullptr;
  auto* copy = static_cast<SLWChar*>(SLAlloc(u32(bytes)));
  if (!copy) return nullptr;
  std::memcpy(copy, text, length * sizeof(SLWChar));
  copy[length] = 0;
  return copy;
}

// Frees a block when the scope ends, keeping the error code of the operation (SLFree
// itself reports success).
template <class T>
struct ScopedBlock {
  T*& block;
  ~ScopedBlock() {
    SLErrorKeeper keep;
    SLFree(block);
  }
};

// "\" to "/", runs of separators collapsed, leading "/" removed, in place.
void NormalisePath(SLWChar* path) {
  SLConvertSeparatorsW(path, 0);
  SLCollapseSeparatorsW(path);
  static const SLWChar slashSet[] = {kSlash, 0};
  SLStrTrimLeftW(path, path, slashSet);
}

// Reads the directory through one buffer instead of one source read per field or name
// unit. A short refill is remembered and reported only when the parser needs the missing
// bytes, so the error a failed typed read leaves is the source's own.
class DirectoryReader {
 public:
  explicit DirectoryReader(CSLBaseStorage* source) : m_source(source) {}
  ~DirectoryReader() {
    SLErrorKeeper keep;
    SLFree(m_buffer);
  }
  bool Init() {
    m_buffer = static_cast<u8*>(SLAlloc(kDirectoryBuffer));
    return m_buffer ? true : SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  bool Read(void* out, u32 count) {
    auto* target = static_cast<u8*>(out);
    while (count) {
      if (m_pos == m_length && !Refill()) return false;
      u32 take = count < m_length - m_pos ? count : m_length - m_pos;
      std::memcpy(target, m_buffer + m_pos, take);
      m_pos += take;
      target += take;
      count -= take;
    }
    return true;
  }
  template <class T>
  bool ReadValue(T* value) {
    return Read(value, sizeof(T));
  }

 private:
  bool Refill() {
    if (m_ended) return SLFail(m_endError, false);
    u64 got = m_source->Read(m_buffer, kDirectoryBuffer);
    if (got < kDirectoryBuffer) {
      m_ended = true;
      m_endError = SLGetLastError();
      if (m_endError == 0) m_endError = SL_E_STORAGE_EOF;
    }
    m_pos = 0;
    m_length = u32(got);
    if (got == 0) return SLFail(m_endError, false);
    return true;
  }

  CSLBaseStorage* m_source;
  u8* m_buffer = nullptr;
  u32 m_pos = 0;
  u32 m_length = 0;
  bool m_ended = false;
  u32 m_endError = 0;
};

// The bytes of an entry are stored XORed with the key byte of their position inside the
// entry (not inside the caller's buffer): byte p uses key byte p mod 4.
void UnmaskEntryBytes(u8* data, u64 count, u64 position, u32 key) {
  u8 pattern[8];
  for (u32 i = 0; i < 8; ++i) pattern[i] = u8(key >> (8 * ((position + i) % 4)));
  u64 word;
  std::memcpy(&word, pattern, 8);
  u64 i = 0;
  for (; i + 8 <= count; i += 8) {
    u64 chunk;
    std::memcpy(&chunk, data + i, 8);
    chunk ^= word;
    std::memcpy(data + i, &chunk, 8);
  }
  for (; i < count; ++i) data[i] ^= pattern[i % 8];
}

}  // namespace

// ---------------------------------------------------------------------------------------
// State and tree

CSLFastFileStorage::~CSLFastFileStorage() {
  if (!m_state) return;
  SLErrorKeeper keep;
  AttachContainer(nullptr);
  for (SLStorageFindRecord* record : {m_state->findRecordA, m_state->findRecordW}) {
    if (!record) continue;
    SLFree(record->nameA);  // the union holds either name
    record->DeletingDtor(1);
  }
  if (m_state->digest) m_state->digest->Release();
  SLFree(m_state->findPattern);
  SLFree(m_state);
  m_state = nullptr;
}

bool CSLFastFileStorage::InitDirectory() {
  if (m_state) return true;
  auto* state = static_cast<SLFastPackState*>(SLAllocZero(u32(sizeof(SLFastPackState))));
  if (!state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  state->digest = new CSLDigestAlgorithmCRC32();
  if (!state->digest) {
    SLFree(state);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  ListInit(&state->root);
  m_state = state;
  return true;
}

void CSLFastFileStorage::FreeDirectoryNode(SLFastPackNode* node) {
  while (!ListEmpty(&node->children)) FreeDirectoryNode(NodeOf(node->children.next));
  SLFree(node->name);
  ListUnlink(&node->link);
  SLFree(node);
}

void CSLFastFileStorage::ClearPack() {
  while (!ListEmpty(&m_state->root)) FreeDirectoryNode(NodeOf(m_state->root.next));
  SLFree(m_state->findPattern);
  m_state->findPattern = nullptr;
  m_state->findDotState = 0;
  m_state->findDirectory = nullptr;
  m_state->findCursor = nullptr;
  m_state->open = 0;
  m_state->openNode = nullptr;
  m_state->position = 0;
  m_state->packSize = 0;
  m_state->key = 0;
  m_lastChainDepth = 0;
  FreeNames();
}

bool CSLFastFileStorage::AddDirectoryEntry(const SLWChar* name, u32 length, u64 offset, u64 size) {
  SLWChar* path = CopyWide(name, length);
  if (!path) return SLFail(SL_E_OUT_OF_MEMORY, false);
  NormalisePath(path);

  SLFastPackLink* list = &m_state->root;
  SLFastPackNode* parent = nullptr;
  SLWChar* component = path;
  u32 depth = 0;
  bool chainValid = true;
  for (SLWChar* slash; (slash = const_cast<SLWChar*>(SLStrChrNW(component, kSlash, SL_TEXT_TO_END)));
       component = slash + 1, ++depth) {
    *slash = 0;
    SLFastPackNode* directory = nullptr;
    // Directory names in one list never compare equal without regard to case, so the
    // previous entry's directory at this depth, when its name matches, is the one the
    // search below would find.
    if (chainValid && depth < m_lastChainDepth && m_lastChain[depth]->containingList == list &&
        SLStrICmpW(m_lastChain[depth]->name, component) == 0) {
      directory = m_lastChain[depth];
    } else {
      chainValid = false;
      for (SLFastPackLink* l = list->next; l != list; l = l->next) {
        SLFastPackNode* node = NodeOf(l);
        if (node->directory && SLStrICmpW(node->name, component) == 0) {
          directory = node;
          break;
        }
      }
    }
    if (!directory) {
      directory = static_cast<SLFastPackNode*>(SLAllocZero(u32(sizeof(SLFastPackNode))));
      u32 componentLength = u32(slash - component);
      if (directory) directory->name = CopyWide(component, componentLength);
      if (!directory || !directory->name) {
        SLFree(directory);
        SLFree(path);
        return SLFail(SL_E_OUT_OF_MEMORY, false);
      }
      ListInit(&directory->children);
      directory->parent = parent;
      directory->containingList = list;
      directory->directory = 1;
      ListAppend(list, &directory->link);
    }
    if (depth < sizeof(m_lastChain) / sizeof(m_lastChain[0])) {
      m_lastChain[depth] = directory;
      m_lastChainDepth = depth + 1;
    } else {
      chainValid = false;
    }
    parent = directory;
    list = &directory->children;
  }
  if (!chainValid || depth < m_lastChainDepth) m_lastChainDepth = depth < m_lastChainDepth ? depth : m_lastChainDepth;

  if (!IsDotName(component)) {
    auto* file = static_cast<SLFastPackNode*>(SLAllocZero(u32(sizeof(SLFastPackNode))));
    if (file) file->name = CopyWide(component, SLStrLenW(component));
    if (!file || !file->name) {
      SLFree(file);
      SLFree(path);
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    ListInit(&file->children);
    file->parent = parent;
    file->containingList = list;
    file->offset = offset;
    file->size = size;
    ListAppend(list, &file->link);
  }
  SLFree(path);
  return true;
}

i32 CSLFastFileStorage::FindNode(const SLWChar* path, SLFastPackLink** list, u32* index) {
  SLFastPackLink* current = &m_state->root;
  SLFastPackNode* currentNode = nullptr;
  u32 pos = 0;
  for (;;) {
    u32 end = pos;
    while (path[end] && !IsSeparator(path[end])) ++end;
    if (!path[end]) break;  // the last component starts at pos
    const u32 length = end - pos;
    const SLWChar* component = path + pos;
    pos = end + 1;
    if (length == 0) continue;
    for (u32 i = 0; i < length; ++i)
      if (component[i] == u'*' || component[i] == u'?') return -1;
    if (length == 1 && component[0] == u'.') continue;
    if (length == 2 && component[0] == u'.' && component[1] == u'.') {
      if (!currentNode) return -2;
      currentNode = currentNode->parent;
      current = currentNode ? &currentNode->children : &m_state->root;
      continue;
    }
    SLFastPackNode* found = nullptr;
    for (SLFastPackLink* l = current->next; l != current; l = l->next) {
      SLFastPackNode* node = NodeOf(l);
      if (node->directory && SLStrNICmpW(node->name, component, length) == 0 && node->name[length] == 0) {
        found = node;
        break;
      }
    }
    if (!found) return -2;
    currentNode = found;
    current = &found->children;
  }
  *list = current;
  *index = pos;
  return 0;
}

// ---------------------------------------------------------------------------------------
// Attach and detach

bool CSLFastFileStorage::AttachContainer(CSLBaseStorage* source) {
  CSLTimer timer;
  if (m_state && m_state->source) {
    ReportProgress(SL_PROGRESS_DETACH, 0, &timer);
    Close();
    m_state->source->Release();
    m_state->source = nullptr;
    ReportProgress(SL_PROGRESS_DETACH, 100, &timer);
  }
  if (source && !InitDirectory()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (m_state) ClearPack();
  if (!source) return SLSetLastError(SL_OK);

  if (ReportProgress(SL_PROGRESS_ATTACH, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  if (!source->CanSeek()) return SLFail(SL_E_FASTPACK_CANNOT_SEEK, false);
  u64 packSize = 0;
  if (!source->GetSize(&packSize)) return false;
  if (packSize < kMinimumPackSize) return SLFail(SL_E_FASTPACK_BAD, false);
  m_state->packSize = packSize;

  if (AttachPack(source, &timer)) {
    source->AddRef();
    m_state->source = source;
    return SLSetLastError(SL_OK);
  }
  u32 code = SLGetLastError();
  ClearPack();
  return SLFail(code ? code : SL_E_FASTPACK_BAD, false);
}

bool CSLFastFileStorage::AttachPack(CSLBaseStorage* source, CSLTimer* timer) {
  SLFastPackState* s = m_state;
  CSLDigestAlgorithmCRC32* digest = s->digest;
  u8 magic[kMagicLength];
  u16 signature = 0, version = 0;
  if (!source->Seek(0, SL_SEEK_BEGIN)) return false;
  if (source->Read(magic, kMagicLength) != kMagicLength) return false;
  if (std::memcmp(magic, kMagic, kMagicLength) != 0) return SLFail(SL_E_FASTPACK_BAD, false);
  if (!source->ReadU16(&signature)) return false;
  if (signature != kSignature) return SLFail(SL_E_FASTPACK_BAD, false);
  if (!source->ReadU16(&version)) return false;
  if (version != 2 && version != 3) return SLFail(SL_E_FASTPACK_BAD, false);
  s->version = version;
  ReportProgress(SL_PROGRESS_ATTACH, 10, timer);

  if (version == 2) {
    // The whole pack but its last 4 bytes is covered by the CRC stored there.
    u8* block = static_cast<u8*>(SLAlloc(kCrcBlock));
    if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
    ScopedBlock<u8> blockGuard{block};
    digest->Initialize();
    bool ok = source->Seek(0, SL_SEEK_BEGIN);
    const u64 covered = s->packSize - 4;
    u64 remaining = covered;
    while (ok && remaining) {
      u32 piece = remaining < kCrcBlock ? u32(remaining) : kCrcBlock;
      ok = source->Read(block, piece) == piece && digest->Update(block, piece);
      if (ok) ReportProgress(SL_PROGRESS_ATTACH, 70.0 - 60.0 * double(remaining) / double(covered), timer);
      remaining -= piece;
    }
    u32 stored = 0;
    if (!ok || !source->ReadU32(&stored)) return false;
    if (stored != digest->GetValue()) return SLFail(SL_E_FASTPACK_BAD, false);
    if (!source->Seek(20, SL_SEEK_BEGIN)) return false;
  }

  DirectoryReader reader(source);
  if (!reader.Init()) return false;
  u32 count = 0;
  if (version == 2) {
    u16 count16 = 0;
    if (!reader.ReadValue(&count16)) return false;
    count = count16;
  } else if (!reader.ReadValue(&count)) {
    return false;
  }
  if (!reader.ReadValue(&s->key)) return false;
  if (version == 3) {
    digest->Initialize();
    const u16 words[2] = {kSignature, version};
    const u32 dwords[2] = {count, s->key};
    digest->Update(kMagic, kMagicLength);
    digest->UpdateUInt16Array(words, 2);
    digest->UpdateUInt32Array(dwords, 2);
  }

  // Entry names grow in one reusable buffer.
  u32 nameCapacity = 256;
  auto* name = static_cast<SLWChar*>(SLAlloc(nameCapacity * sizeof(SLWChar)));
  if (!name) return SLFail(SL_E_OUT_OF_MEMORY, false);
  ScopedBlock<SLWChar> nameGuard{name};
  char* narrow = nullptr;  // version 2: the 8-bit name before conversion
  ScopedBlock<char> narrowGuard{narrow};
  u32 narrowCapacity = 0;

  for (u32 i = 0; i < count; ++i) {
    u32 length = 0;
    u64 offset = 0, size = 0;
    if (version == 3) {
      for (;;) {
        u16 unit;
        if (!reader.ReadValue(&unit)) return false;
        digest->UpdateUInt16Array(&unit, 1);
        if (unit == 0) break;
        if (length + 1 >= nameCapacity) {
          if (nameCapacity >= 0x40000000) return SLFail(SL_E_OUT_OF_MEMORY, false);
          void* grown = SLRealloc(name, nameCapacity * 2 * sizeof(SLWChar));
          if (!grown) return SLFail(SL_E_OUT_OF_MEMORY, false);
          name = static_cast<SLWChar*>(grown);
          nameCapacity *= 2;
        }
        name[length++] = SLWChar(unit);
      }
      u32 extra = 0;
      if (!reader.ReadValue(&offset) || !reader.ReadValue(&size) || !reader.ReadValue(&extra)) return false;
      digest->UpdateUInt64Array(&offset, 1);
      digest->UpdateUInt64Array(&size, 1);
      digest->UpdateUInt32Array(&extra, 1);
    } else {
      u32 narrowLength = 0;
      for (;;) {
        u8 byte;
        if (!reader.ReadValue(&byte)) return false;
        if (byte == 0) break;
        if (narrowLength + 1 >= narrowCapacity) {
          u32 grownCapacity = narrowCapacity ? narrowCapacity * 2 : 256;
          if (grownCapacity > 0x40000000) return SLFail(SL_E_OUT_OF_MEMORY, false);
          void* grown = SLRealloc(narrow, grownCapacity);
          if (!grown) return SLFail(SL_E_OUT_OF_MEMORY, false);
          narrow = static_cast<char*>(grown);
          narrowCapacity = grownCapacity;
        }
        narrow[narrowLength++] = char(byte);
      }
      u32 offset32 = 0, size32 = 0;
      if (!reader.ReadValue(&offset32) || !reader.ReadValue(&size32)) return false;
      offset = offset32;
      size = size32;
      if (narrowLength + 1 > nameCapacity) {
        void* grown = SLRealloc(name, (narrowLength + 1) * u32(sizeof(SLWChar)));
        if (!grown) return SLFail(SL_E_OUT_OF_MEMORY, false);
        name = static_cast<SLWChar*>(grown);
        nameCapacity = narrowLength + 1;
      }
      // 8-bit names are in the ANSI code page, as the string classes read 8-bit text.
      length = nameCapacity;
      if (narrowLength && !SLAnsiToWide(name, &length, narrow, narrowLength, 0)) return false;
      if (!narrowLength) length = 0;
    }
    name[length] = 0;
    if (!AddDirectoryEntry(name, length, offset, size)) return false;
    if (ReportProgress(SL_PROGRESS_ATTACH, 75.0 + double(i) * 20.0 / double(count), timer))
      return SLFail(SL_E_CANCELLED, false);
  }

  if (version == 3) {
    u32 stored = 0;
    if (!reader.ReadValue(&stored)) return false;
    if (stored != digest->GetValue()) return SLFail(SL_E_FASTPACK_BAD, false);
  }
  ReportProgress(SL_PROGRESS_ATTACH, 100, timer);
  return true;
}

CSLBaseStorage* CSLFastFileStorage::GetContainer() {
  SLSetLastError(SL_OK);
  return m_state ? m_state->source : nullptr;
}

bool CSLFastFileStorage::GetTime(CSLDateTime* out) {
  if (!m_state || !m_state->source) {
    if (out) out->SetZero(false);
    return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  }
  return m_state->source->GetTime(out);
}

// ---------------------------------------------------------------------------------------
// Entries

bool CSLFastFileStorage::OpenA(const char* path, u32 flags) {
  if ((flags & SL_STORAGE_ACCESS_MASK) > SL_STORAGE_READ) return SLFail(SL_E_STORAGE_FLAGS, false);
  bool opened;
  u32 code;
  {
    CSLStringWide wide;
    opened = wide.AssignA(path ? path : "") && OpenW(wide.CStr(), flags);
    code = SLGetLastError();
  }
  return SLFail(code, opened);
}

bool CSLFastFileStorage::OpenW(const SLWChar* path, u32 flags) {
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!path) path = u"";
  if ((flags & SL_STORAGE_ACCESS_MASK) > SL_STORAGE_READ) return SLFail(SL_E_STORAGE_FLAGS, false);
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_OPEN, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  Close();

  SLWChar* normal = CopyWide(path, SLStrLenW(path));
  if (!normal) return SLFail(SL_E_OUT_OF_MEMORY, false);
  NormalisePath(normal);
  SLFastPackLink* list = nullptr;
  u32 index = 0;
  SLFastPackNode* found = nullptr;
  if (FindNode(normal, &list, &index) == 0) {
    for (SLFastPackLink* l = list->next; l != list; l = l->next) {
      SLFastPackNode* node = NodeOf(l);
      if (!node->directory && SLStrICmpW(node->name, normal + index) == 0) {
        found = node;
        break;
      }
    }
  }
  SLFree(normal);
  if (!found) return SLFail(SL_E_STORAGE_OPEN, false);
  if (!m_state->source->Seek(i64(found->offset), SL_SEEK_BEGIN)) return false;

  // The storage's name is the entry's path in the pack's own case.
  u64 total = SLStrLenW(found->name);
  for (SLFastPackNode* p = found->parent; p; p = p->parent) total += SLStrLenW(p->name) + 1;
  if (!SLFitsU32(total + 1)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLWChar* fullName = CopyWide(u"", u32(total));
  if (!fullName) return SLFail(SL_E_OUT_OF_MEMORY, false);
  u64 end = total;
  for (SLFastPackNode* p = found; p; p = p->parent) {
    u32 length = SLStrLenW(p->name);
    end -= length;
    std::memcpy(fullName + end, p->name, length * sizeof(SLWChar));
    if (end) fullName[--end] = kSlash;
  }
  fullName[total] = 0;
  {
    ScopedBlock<SLWChar> fullNameGuard{fullName};
    if (!SetNameW(fullName)) return false;
  }

  m_state->open = 1;
  m_state->openNode = found;
  m_state->position = 0;
  ReportProgress(SL_PROGRESS_OPEN, 100, &timer);
  return SLSetLastError(SL_OK);
}

void CSLFastFileStorage::Close() {
  CSLTimer timer;
  ReportProgress(SL_PROGRESS_CLOSE, 0, &timer);
  UnmapView();
  if (m_state && m_state->open) {
    FreeNames();
    m_state->open = 0;
    m_state->openNode = nullptr;
  }
  ReportProgress(SL_PROGRESS_CLOSE, 100, &timer);
  SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::CheckEntry(u32 noEntryCode) {
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!m_state->open) return SLFail(noEntryCode, false);
  return true;
}

bool CSLFastFileStorage::CanRead() {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::CanSeek() { return CanRead(); }

bool CSLFastFileStorage::CanWrite() {
  return SLFail(m_state && m_state->source ? u32(SL_E_STORAGE_NOT_OPEN) : u32(SL_E_STORAGE_NO_CONTAINER), false);
}

u64 CSLFastFileStorage::Write(const void* buffer, u64) {
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, u64(0));
  return SLFail(buffer ? u32(SL_E_STORAGE_NOT_OPEN) : u32(SL_E_NULL_DATA), u64(0));
}

u64 CSLFastFileStorage::Read(void* buffer, u64 count) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return 0;
  if (!buffer) return SLFail(SL_E_NULL_OUTPUT, u64(0));
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_READ, 0, &timer)) return SLFail(SL_E_CANCELLED, u64(0));
  SLFastPackNode* node = m_state->openNode;
  const u64 position = m_state->position;
  if (position >= node->size) return SLFail(SL_E_STORAGE_EOF, u64(0));
  if (count == 0) {
    ReportProgress(SL_PROGRESS_READ, 100, &timer);
    return SLFail(SL_OK, u64(0));
  }
  u32 outcome = SL_OK;
  u64 end;
  if (!SLCheckedAdd(position, count, &end) || end > node->size) {
    count = node->size - position;
    outcome = SL_E_STORAGE_EOF;
  }
  if (!m_state->source->Seek(i64(node->offset + position), SL_SEEK_BEGIN)) return 0;

  auto* bytes = static_cast<u8*>(buffer);
  u64 done = 0;
  while (done < count) {
    u64 piece = count - done < kReadBlock ? count - done : kReadBlock;
    u64 got = m_state->source->Read(bytes + done, piece);
    done += got;
    if (got < piece) {
      outcome = SLGetLastError();
      if (outcome == SL_OK) outcome = SL_E_STORAGE_EOF;
      break;
    }
    if (ReportProgress(SL_PROGRESS_READ, double(done) * 99.6 / double(count), &timer)) {
      outcome = SL_E_CANCELLED;
      break;
    }
  }
  if (done && m_state->key) UnmaskEntryBytes(bytes, done, position, m_state->key);
  m_state->position = position + done;
  if (outcome == SL_OK || outcome == SL_E_STORAGE_EOF) ReportProgress(SL_PROGRESS_READ, 100, &timer);
  SLSetLastError(outcome);
  return done;
}

bool CSLFastFileStorage::Seek(i64 offset, u32 origin) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  CSLTimer timer;
  if (ReportProgress(SL_PROGRESS_SEEK, 0, &timer)) return SLFail(SL_E_CANCELLED, false);
  const u64 size = m_state->openNode->size;
  u64& position = m_state->position;
  const u64 magnitude = offset < 0 ? u64(0) - u64(offset) : u64(offset);
  switch (origin) {
    case SL_SEEK_BEGIN:
      position = u64(offset) < size ? u64(offset) : size;  // a negative offset lands at the end
      break;
    case SL_SEEK_CURRENT:
      if (offset < 0) {
        position = magnitude > position ? 0 : position - magnitude;
      } else {
        position = magnitude > size - (position < size ? position : size) ? size : position + magnitude;
        if (position > size) position = size;
      }
      break;
    case SL_SEEK_END:
      if (offset < 0)
        position = magnitude > size ? 0 : size - magnitude;
      else if (!SLCheckedAdd(size, magnitude, &position))  // past the end is allowed; reads there fail
        position = ~u64(0);
      break;
    default:
      break;
  }
  ReportProgress(SL_PROGRESS_SEEK, 100, &timer);
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::GetPosition(u64* out) {
  if (out) *out = 0;
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_state->open) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  *out = m_state->position;
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::IsEOF() {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return true;
  SLSetLastError(SL_OK);
  return m_state->position >= m_state->openNode->size;
}

bool CSLFastFileStorage::Flush() {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return m_state->source->Flush();
}

bool CSLFastFileStorage::Lock(u64, u64) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return SLSetLastError(SL_OK);
}

bool CSLFastFileStorage::Unlock(u64, u64) { return Lock(0, 0); }

bool CSLFastFileStorage::SetSize(u64) {
  if (!CheckEntry(SL_E_STORAGE_NOT_OPEN)) return false;
  return SLFail(SL_E_STORAGE_SET_SIZE, false);  // the pack is read-only
}

bool CSLFastFileStorage::GetSize(u64* out) {
  if (out) *out = 0;
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, false);
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_state->open) return SLFail(SL_E_STORAGE_GET_SIZE, false);
  *out = m_state->openNode->size;
  return SLSetLastError(SL_OK);
}

// ---------------------------------------------------------------------------------------
// Listing

SLStorageFindRecord* CSLFastFileStorage::FindFirstW(const SLWChar* pattern) {
  if (!pattern || !*pattern) return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  if (!m_state || !m_state->source)
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<SLStorageFindRecord*>(nullptr));
  SLWChar* copy = CopyWide(pattern, SLStrLenW(pattern));
  if (!copy) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLStorageFindRecord*>(nullptr));
  ScopedBlock<SLWChar> copyGuard{copy};
  if (SLGetPathPartsW(nullptr, copy, SL_PATH_ROOT) != 0)
    return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  SLConvertSeparatorsW(copy, 0);
  SLCollapseSeparatorsW(copy);
  SLIsWildcardPatternW(copy);
  SLStrLowerW(copy);
  static const SLWChar slashSet[] = {kSlash, 0};
  SLStrTrimLeftW(copy, copy, slashSet);
  for (const SLWChar* p = copy; *p; ++p)
    if ((*p == u'*' || *p == u'?') && SLStrChrNW(p, kSlash, SL_TEXT_TO_END))
      return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));

  SLFree(m_state->findPattern);
  m_state->findPattern = nullptr;
  SLFastPackLink* list = nullptr;
  u32 index = 0;
  if (FindNode(copy, &list, &index) != 0) return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  const SLWChar* last = copy + index;
  m_state->findPattern = *last ? CopyWide(last, SLStrLenW(last)) : CopyWide(u"*", 1);
  if (!m_state->findPattern) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLStorageFindRecord*>(nullptr));
  m_state->findDotState = 0;
  m_state->findDirectory = list;
  m_state->findCursor = nullptr;
  return FindNextW();
}

SLStorageFindRecord* CSLFastFileStorage::FindNextW() {
  using Record = SLStorageFindRecord;
  if (!m_state || !m_state->source) return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<Record*>(nullptr));
  if (!m_state->findPattern || !*m_state->findPattern)
    return SLFail(SL_E_STORAGE_NO_SEARCH, static_cast<Record*>(nullptr));
  if (!m_state->findRecordW) {
    m_state->findRecordW = SLStorageFindRecord::Create();
    if (!m_state->findRecordW) return nullptr;
  }
  Record* record = m_state->findRecordW;
  SLFastPackLink* directory = m_state->findDirectory;

  const SLWChar* name = nullptr;
  SLFastPackNode* node = nullptr;
  if (m_state->findDotState == 0) {
    m_state->findDotState = 1;
    if (directory != &m_state->root && SLWildcardMatchW(m_state->findPattern, u"..", true)) name = u"..";
  }
  if (!name) {
    SLFastPackLink* l = m_state->findCursor ? m_state->findCursor->next : directory->next;
    for (; l != directory; l = l->next) {
      SLFastPackNode* candidate = NodeOf(l);
      if (!IsDotName(candidate->name) && SLWildcardMatchW(m_state->findPattern, candidate->name, true)) {
        node = candidate;
        break;
      }
    }
    if (!node) {
      SLFree(m_state->findPattern);
      m_state->findPattern = nullptr;
      return SLFail(SL_E_NO_MORE, static_cast<Record*>(nullptr));
    }
    m_state->findCursor = &node->link;
    name = node->name;
  }

  SLWChar* nameCopy = CopyWide(name, SLStrLenW(name));
  if (!nameCopy) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<Record*>(nullptr));
  SLFree(record->nameW);
  record->nameW = nameCopy;
  if (!node || node->directory) {
    record->flags = SL_FIND_DIRECTORY | SL_FIND_READONLY;
    record->size = record->storedSize = 0;
  } else {
    record->flags = SL_FIND_FILE;
    record->size = record->storedSize = node->size;
  }
  record->reserved = 0;
  // A source that cannot tell its date (a memory storage) lists with a zero date.
  if (!m_state->source->GetTime(&record->time)) record->time.SetZero(false);
  SLSetLastError(SL_OK);
  return record;
}

SLStorageFindRecord* CSLFastFileStorage::FindFirstA(const char* pattern) {
  if (!pattern || !*pattern) return SLFail(SL_E_INVALID_ARG, static_cast<SLStorageFindRecord*>(nullptr));
  if (!m_state || !m_state->source)
    return SLFail(SL_E_STORAGE_NO_CONTAINER, static_cast<SLStorageFindRecord*>(nullptr));
  SLStorageFindRecord* found;
  u32 code;
  {
    CSLStringWide wide;
    found = wide.AssignA(pattern) ? FindFirstW(wide.CStr()) : nullptr;
    code = SLGetLastError();
  }
  if (!found) return SLFail(code, found);
  return BuildFindRecordA();
}

SLStorageFindRecord* CSLFastFileStorage::FindNextA() {
  if (!FindNextW()) return nullptr;
  return BuildFindRecordA();
}

SLStorageFindRecord* CSLFastFileStorage::BuildFindRecordA() {
  if (!m_state->findRecordA) {
    m_state->findRecordA = SLStorageFindRecord::Create();
    if (!m_state->findRecordA) return nullptr;
  }
  SLStorageFindRecord* wide = m_state->findRecordW;
  SLStorageFindRecord* ansi = m_state->findRecordA;
  u32 length = 0;
  if (!SLWideToAnsi(nullptr, &length, wide->nameW, SL_TEXT_TO_END, 0)) return nullptr;
  char* name = static_cast<char*>(SLAlloc(length + 1));
  if (!name) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLStorageFindRecord*>(nullptr));
  u32 size = length + 1;
  if (!SLWideToAnsi(name, &size, wide->nameW, SL_TEXT_TO_END, 0)) {
    SLErrorKeeper keep;
    SLFree(name);
    return nullptr;
  }
  name[size < length ? size : length] = 0;
  SLFree(ansi->nameA);
  ansi->nameA = name;
  ansi->flags = wide->flags;
  ansi->time = wide->time;
  ansi->size = wide->size;
  ansi->storedSize = wide->storedSize;
  ansi->reserved = 0;
  SLSetLastError(SL_OK);
  return ansi;
}
