#include "storage/SLFastFileStorage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/SLCaseMap.h"
#include "foundation/SLDigest.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"
#include "foundation/SLTextConvert.h"
#include "storage/SLFastFileStorageInternal.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLFastFileStorage, CSLBaseStorage)

using namespace SLInternals::SLFastPack;

namespace SLInternals {

// Directories by (containing list, name folded to upper case). Two names are equal without
// regard to case exactly when their upper-case forms are equal unit by unit, so the index
// finds the node the linear search of the list would find. A key only points at its name:
// the stored ones at the node's own (which stays put until the pack is cleared), the one
// looked up at the component in the entry's path, so a lookup allocates nothing.
struct SLFastPackDirectoryIndex {
  // The hash is worked out once per name looked up and kept by the key it goes in with.
  struct Key {
    const SLFastPackLink* list;
    const SLWChar* name;
    u32 length;
    size_t hash;
    Key(const SLFastPackLink* inList, const SLWChar* text, u32 units) : list(inList), name(text), length(units) {
      u64 value = reinterpret_cast<uintptr_t>(list) * 0x9E3779B97F4A7C15ull;
      for (u32 i = 0; i < length; ++i) value = (value ^ SLToUpperW(name[i])) * 0x100000001B3ull;
      hash = size_t(value ^ (value >> 29));
    }
  };
  struct Hash {
    size_t operator()(const Key& key) const { return key.hash; }
  };
  struct Equal {
    bool operator()(const Key& a, const Key& b) const {
      return a.list == b.list && SLFastPack::EqualNoCase(a.name, a.length, b.name, b.length);
    }
  };
  std::unordered_map<Key, SLFastPackNode*, Hash, Equal> map;
};

}  // namespace SLInternals

namespace {

// Reads the directory through one buffer instead of one source read per field or name
// unit. A short refill is remembered and reported only when the parser needs the missing
// bytes, so the error a failed typed read leaves is the source's own.
class DirectoryReader {
 public:
  explicit DirectoryReader(CSLBaseStorage* source) : m_source(source) {}
  // From here on every byte handed out is also fed to the digest, in bulk: the CRC of the
  // concatenated fields equals the CRC fed field by field.
  void StartDigest(CSLDigestAlgorithmCRC32* digest) {
    m_digest = digest;
    m_digestFrom = m_pos;
  }
  void FlushDigest() {
    if (m_digest && m_pos > m_digestFrom) m_digest->Update(m_buffer + m_digestFrom, m_pos - m_digestFrom);
    m_digestFrom = m_pos;
  }
  void StopDigest() {
    FlushDigest();
    m_digest = nullptr;
  }
  ~DirectoryReader() {
    SLErrorKeeper keep;
    SLFree(m_buffer);
    SLFree(m_previous);
  }
  bool Init() {
    // A name that lies whole in the buffer fits the previous name's copy as well.
    m_buffer = static_cast<u8*>(SLAlloc(kDirectoryBuffer + kScanSlack));
    m_previous = static_cast<u8*>(SLAlloc(kDirectoryBuffer + kScanSlack));
    if (!m_buffer || !m_previous) return SLFail(SL_E_OUT_OF_MEMORY, false);
    std::memset(m_buffer + kDirectoryBuffer, 0, kScanSlack);
    return true;
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
  [[gnu::always_inline]] bool ReadValue(T* value) {
    if (m_length - m_pos >= sizeof(T)) {  // the common case, without the loop
      std::memcpy(value, m_buffer + m_pos, sizeof(T));
      m_pos += u32(sizeof(T));
      return true;
    }
    return Read(value, sizeof(T));
  }
  // Appends UTF-16LE units up to (not including) a zero unit, which is consumed. A name
  // that lies whole (with its zero unit and the `trailing` bytes after it) in the buffer,
  // at an even address, is not copied: `direct` then points at it there, and stays valid
  // while the caller reads no more than those trailing bytes (a refill would overwrite it).
  // `shared` then tells how many of its first units equal those of the previous name, when
  // that was direct too (0 otherwise).
  bool ReadWideName(SLWChar** name, u32* capacity, u32* length, u32 trailing, const SLWChar** direct, u32* shared) {
    *direct = nullptr;
    *shared = 0;
    const bool hadPrevious = m_hasPrevious;
    m_hasPrevious = false;
    for (;;) {
      if (m_length - m_pos < 2) {
        u16 unit;
        if (!Read(&unit, 2)) return false;
        if (unit == 0) return true;
        if (!Put(name, capacity, length, &unit, 1)) return false;
        continue;
      }
      const u8* start = m_buffer + m_pos;
      const u32 units = (m_length - m_pos) / 2;
      u32 same = 0;
      const u32 n = ScanName(start, units, &same);
      if (n < units && *length == 0 && u64(m_length - m_pos) >= 2 * u64(n) + 2 + trailing &&
          reinterpret_cast<uintptr_t>(start) % alignof(SLWChar) == 0) {
        *direct = reinterpret_cast<const SLWChar*>(start);
        *length = n;
        *shared = hadPrevious ? (same < n ? same : n) : 0;
        m_hasPrevious = true;
        m_pos += 2 * n + 2;
        return true;
      }
      if (n && !Put(name, capacity, length, start, n)) return false;
      m_pos += 2 * n;
      if (n < units) {
        m_pos += 2;  // the zero unit
        return true;
      }
    }
  }

 private:
  // Whole scan steps may read this far past the bytes read into the buffer.
  static constexpr u32 kScanSlack = 16;

  // The index of the first zero unit among the `units` at `at`, or `units` when there is
  // none. On the way the units are compared with the previous name's and copied over them:
  // `*same` gets how many units from the start are equal (past the end of either name its
  // value means nothing; the caller limits it). Eight units at a time; the last step may
  // look at units past `units` (inside the buffer's slack), which are disregarded.
  u32 ScanName(const u8* at, u32 units, u32* same) {
    u8* previous = m_previous;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    auto step = [&](u32 i) {  // loads eight units and puts them in place of the previous name's
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2 * i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(previous + 2 * i), chunk);
      return chunk;
    };
    auto end = [&](u32 i, u32 zeros) {
      const u32 found = i + u32(__builtin_ctz(zeros)) / 2;
      return found < units ? found : units;
    };
    // While the units equal the previous name's, then to the end.
    u32 i = 0;
    for (;; i += 8) {
      if (i >= units) {
        *same = i;
        return units;
      }
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + 2 * i));
      const __m128i chunk = step(i);
      const u32 unequal = u32(_mm_movemask_epi8(_mm_cmpeq_epi16(chunk, before))) ^ 0xFFFFu;
      const u32 zeros = u32(_mm_movemask_epi8(_mm_cmpeq_epi16(chunk, zero)));
      if (unequal | zeros) {
        *same = i + u32(__builtin_ctz(unequal | 0x10000u)) / 2;
        if (zeros) return end(i, zeros);
        break;
      }
    }
    for (i += 8; i < units; i += 8)
      if (const u32 zeros = u32(_mm_movemask_epi8(_mm_cmpeq_epi16(step(i), zero)))) return end(i, zeros);
    return units;
#else
    u32 n = 0;
    *same = 0;
    while (n < units && (at[2 * n] | at[2 * n + 1])) ++n;
    while (*same < n && std::memcmp(at + 2 * *same, previous + 2 * *same, 2) == 0) ++*same;
    std::memcpy(previous, at, 2 * (n < units ? n + 1 : n));
    return n;
#endif
  }

  static bool Put(SLWChar** name, u32* capacity, u32* length, const void* units, u32 count) {
    u64 needed = u64(*length) + count + 1;
    if (needed > *capacity) {
      u64 grown = u64(*capacity) * 2 > needed ? u64(*capacity) * 2 : needed;
      u64 bytes;
      if (!SLCheckedMul(grown, sizeof(SLWChar), &bytes) || !SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, false);
      void* block = SLRealloc(*name, u32(bytes));
      if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
      *name = static_cast<SLWChar*>(block);
      *capacity = u32(grown);
    }
    std::memcpy(*name + *length, units, count * sizeof(SLWChar));  // little-endian host
    *length += count;
    return true;
  }

  bool Refill() {
    if (m_ended) return SLFail(m_endError, false);
    FlushDigest();
    u64 got = m_source->Read(m_buffer, kDirectoryBuffer);
    if (got < kDirectoryBuffer) {
      m_ended = true;
      m_endError = SLGetLastError();
      if (m_endError == 0) m_endError = SL_E_STORAGE_EOF;
    }
    m_pos = 0;
    m_digestFrom = 0;
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
  CSLDigestAlgorithmCRC32* m_digest = nullptr;
  u32 m_digestFrom = 0;
  u8* m_previous = nullptr;  // the last name scanned (and what followed it in its last step)
  bool m_hasPrevious = false;  // the last name read was direct, so m_previous holds it whole
};

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
  state->root.InitEmpty();
  m_state = state;
  return true;
}

void CSLFastFileStorage::FreeDirectoryNode(SLFastPackNode* node) {
  while (!node->children.IsEmpty()) FreeDirectoryNode(NodeOf(node->children.next));
  node->link.Unlink();
}

// Most requests are carved from the newest block; the rest go to AllocTreeBlock.
inline void* CSLFastFileStorage::AllocTree(u64 bytes) {
  bytes = (bytes + 7) & ~u64(7);
  if (bytes > u64(m_treeEnd - m_treeFree)) return AllocTreeBlock(bytes);
  void* block = m_treeFree;
  m_treeFree += bytes;
  return block;
}

void* CSLFastFileStorage::AllocTreeBlock(u64 bytes) {
  // A request larger than a quarter block gets a block of its own, so the rest of the
  // current one stays in use.
  const bool own = bytes > kTreeBlock / 4;
  u64 total;
  if (!SLCheckedAdd(own ? bytes : u64(kTreeBlock), sizeof(TreeBlock), &total) || !SLFitsU32(total)) return nullptr;
  auto* block = static_cast<TreeBlock*>(SLAlloc(u32(total)));
  if (!block) return nullptr;
  block->next = m_treeBlocks;
  m_treeBlocks = block;
  u8* data = reinterpret_cast<u8*>(block + 1);
  if (own) return data;
  m_treeFree = data + bytes;
  m_treeEnd = data + kTreeBlock;
  return data;
}

void CSLFastFileStorage::FreeTree() {
  SLErrorKeeper keep;
  while (m_treeBlocks) {
    TreeBlock* next = m_treeBlocks->next;
    SLFree(m_treeBlocks);
    m_treeBlocks = next;
  }
  m_treeFree = m_treeEnd = nullptr;
}

void CSLFastFileStorage::ClearPack() {
  // Every node lives in the tree blocks: dropping them drops the whole tree.
  m_state->root.InitEmpty();
  FreeTree();
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
  SLFree(m_state->window);
  m_state->window = nullptr;
  m_state->windowLength = 0;
  m_lastChainDepth = 0;
  m_lastPathDepth = 0;
  FreeNames();
}

inline SLFastPackNode* CSLFastFileStorage::NewNode(const SLWChar* name, u32 length, SLFastPackNode* parent,
                                            SLFastPackLink* list) {
  // The name follows the node in the same piece of a tree block.
  auto* node = static_cast<SLFastPackNode*>(AllocTree(sizeof(SLFastPackNode) + (u64(length) + 1) * sizeof(SLWChar)));
  if (!node) return nullptr;
  node->children.InitEmpty();
  node->parent = parent;
  node->containingList = list;
  node->name = reinterpret_cast<SLWChar*>(node + 1);
  std::memcpy(node->name, name, length * sizeof(SLWChar));
  node->name[length] = 0;
  node->nameLength = length;
  node->directory = 0;
  node->offset = 0;
  node->size = 0;
  list->Append(&node->link);
  return node;
}

inline bool CSLFastFileStorage::AddDirectoryEntry(const SLWChar* name, u32 length, u32 shared, u64 offset, u64 size) {
  // Normalising turns "\" into "/", collapses runs of separators and drops leading ones, so
  // walking the raw name and skipping empty components gives the same path. The exception
  // is a name starting with two separators: a long-path or UNC prefix survives normalising
  // as it stands (with the empty component it may hold), so such names are normalised first.
  if (!(length >= 2 && SLIsPathSeparator(name[0]) && SLIsPathSeparator(name[1])))
    return AddEntryComponents(name, length, true, shared, offset, size);
  SLWChar* path = SLDuplicateText(name, length);
  if (!path) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<SLWChar> pathOwner(path);
  SLInternals::SLNormaliseEntryPath(path);
  return AddEntryComponents(path, SLStrLenW(path), false, 0, offset, size);
}

bool CSLFastFileStorage::AddEntryComponents(const SLWChar* path, u32 length, bool skipEmpty, u32 shared,
                                            u64 offset, u64 size) {
  SLFastPackLink* list = &m_state->root;
  SLFastPackNode* parent = nullptr;
  u32 depth = 0;
  u32 start = 0;
  if (skipEmpty) {
    // Entries sorted by path mostly repeat the previous entry's directories exactly as
    // stored. A directory of the previous path whose closing separator lies in the units
    // both names share was reached through the same components, so it is this path's
    // too: no component before it needs looking at.
    while (depth < m_lastPathDepth && m_lastPathEnds[depth] < shared) ++depth;
    if (depth) {
      parent = m_lastChain[depth - 1];
      list = &parent->children;
      start = m_lastPathEnds[depth - 1] + 1;
    }
  }
  bool chainValid = true;
  for (;;) {
    const u32 end = FindSeparator(path, start, length);
    if (end == length) break;  // the rest is the file component
    const SLWChar* component = path + start;
    const u32 componentLength = end - start;
    start = end + 1;
    if (componentLength == 0 && skipEmpty) continue;
    SLFastPackNode* directory;
    // Directory names in one list never compare equal without regard to case, so the
    // previous entry's directory at this depth, when its name matches, is the one the
    // search would find.
    if (chainValid && depth < m_lastChainDepth && m_lastChain[depth]->containingList == list &&
        EqualNoCase(m_lastChain[depth]->name, m_lastChain[depth]->nameLength, component, componentLength)) {
      directory = m_lastChain[depth];
    } else {
      chainValid = false;
      directory = FindOrAddDirectory(list, parent, component, componentLength);
      if (!directory) return false;
    }
    // Every cached node stays in the tree until the pack is cleared; the list check above
    // tells whether it still belongs to this entry's path.
    if (depth < kChainLength) {
      m_lastChain[depth] = directory;
      m_lastPathEnds[depth] = end;
      if (m_lastChainDepth < depth + 1) m_lastChainDepth = depth + 1;
    } else {
      chainValid = false;
    }
    parent = directory;
    list = &directory->children;
    ++depth;
  }
  // Positions in a normalised copy say nothing about the next raw name.
  m_lastPathDepth = !skipEmpty ? 0 : depth < kChainLength ? depth : kChainLength;

  const SLWChar* file = path + start;
  const u32 fileLength = length - start;
  if (!SLIsDotOrEmptyName(file, fileLength)) {
    SLFastPackNode* node = NewNode(file, fileLength, parent, list);
    if (!node) return SLFail(SL_E_OUT_OF_MEMORY, false);
    node->offset = offset;
    node->size = size;
  }
  return true;
}

SLFastPackNode* CSLFastFileStorage::FindOrAddDirectory(SLFastPackLink* list, SLFastPackNode* parent,
                                                       const SLWChar* name, u32 length) {
  using Index = SLInternals::SLFastPackDirectoryIndex;
  std::optional<Index::Key> key;
  if (m_directoryIndex) {
    key.emplace(list, name, length);
    auto found = m_directoryIndex->map.find(*key);
    if (found != m_directoryIndex->map.end()) return found->second;
  } else {
    for (SLFastPackLink* l = list->next; l != list; l = l->next) {
      SLFastPackNode* node = NodeOf(l);
      if (node->directory && EqualNoCase(node->name, node->nameLength, name, length)) return node;
    }
  }
  SLFastPackNode* directory = NewNode(name, length, parent, list);
  if (!directory) return SLFail(SL_E_OUT_OF_MEMORY, nullptr);
  directory->directory = 1;
  if (m_directoryIndex) {
    key->name = directory->name;  // the node's own copy, which lives as long as the index
    try {
      m_directoryIndex->map.emplace(*key, directory);
    } catch (const std::bad_alloc&) {
      DropDirectoryIndex();  // lookups fall back to searching the lists
    }
  }
  return directory;
}

void CSLFastFileStorage::DropDirectoryIndex() {
  delete m_directoryIndex;
  m_directoryIndex = nullptr;
}

i32 CSLFastFileStorage::FindNode(const SLWChar* path, SLFastPackLink** list, u32* index) {
  SLFastPackLink* current = &m_state->root;
  SLFastPackNode* currentNode = nullptr;
  u32 pos = 0;
  for (;;) {
    u32 end = pos;
    while (path[end] && !SLIsPathSeparator(path[end])) ++end;
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
  if (!source->CanSeek()) return SLFail(SL_E_CANNOT_SEEK, false);
  u64 packSize = 0;
  if (!source->GetSize(&packSize)) return false;
  if (packSize < kMinimumPackSize) return SLFail(SL_E_BAD_CONTAINER, false);
  m_state->packSize = packSize;

  if (AttachPack(source, &timer)) {
    source->AddRef();
    m_state->source = source;
    m_state->sourceReports = source->HasProgressHook();
    return SLSetLastError(SL_OK);
  }
  u32 code = SLGetLastError();
  ClearPack();
  return SLFail(code ? code : SL_E_BAD_CONTAINER, false);
}

bool CSLFastFileStorage::AttachPack(CSLBaseStorage* source, CSLTimer* timer) {
  SLFastPackState* s = m_state;
  CSLDigestAlgorithmCRC32* digest = s->digest;
  u8 magic[kMagicLength];
  u16 signature = 0, version = 0;
  if (!source->Seek(0, SL_SEEK_BEGIN)) return false;
  if (source->Read(magic, kMagicLength) != kMagicLength) return false;
  if (std::memcmp(magic, kMagic, kMagicLength) != 0) return SLFail(SL_E_BAD_CONTAINER, false);
  if (!source->ReadU16(&signature)) return false;
  if (signature != kSignature) return SLFail(SL_E_BAD_CONTAINER, false);
  if (!source->ReadU16(&version)) return false;
  if (version != 2 && version != 3) return SLFail(SL_E_BAD_CONTAINER, false);
  s->version = version;
  ReportProgress(SL_PROGRESS_ATTACH, 10, timer);

  if (version == 2) {
    // The whole pack but its last 4 bytes is covered by the CRC stored there.
    u8* block = static_cast<u8*>(SLAlloc(kCrcBlock));
    if (!block) return SLFail(SL_E_OUT_OF_MEMORY, false);
    TSLAutoPtr<u8> blockOwner(block);
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
    if (stored != digest->GetValue()) return SLFail(SL_E_BAD_CONTAINER, false);
    if (!source->Seek(20, SL_SEEK_BEGIN)) return false;
  }

  DirectoryReader reader(source);
  if (!reader.Init()) return false;
  m_directoryIndex = new (std::nothrow) SLInternals::SLFastPackDirectoryIndex();  // optional
  struct IndexGuard {
    CSLFastFileStorage* self;
    ~IndexGuard() { self->DropDirectoryIndex(); }
  } indexGuard{this};
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
    reader.StartDigest(digest);
  }

  // Entry names grow in one reusable buffer.
  u32 nameCapacity = 256;
  auto* name = static_cast<SLWChar*>(SLAlloc(nameCapacity * sizeof(SLWChar)));
  if (!name) return SLFail(SL_E_OUT_OF_MEMORY, false);
  char* narrow = nullptr;  // version 2: the 8-bit name before conversion
  auto freeNames = SLMakeScopeGuard([&] {  // both grow, so the guard frees whatever they hold last
    SLFree(name);
    SLFree(narrow);
  });
  u32 narrowCapacity = 0;

  bool clockEveryReport = false;
  const bool listening = HasProgressHook();  // without a listener the per-entry reports are skipped
  constexpr u32 kEntryFields = 2 * sizeof(u64) + sizeof(u32);  // version 3: offset, size, extra
  for (u32 i = 0; i < count; ++i) {
    u32 length = 0;
    u64 offset = 0, size = 0;
    const SLWChar* direct = nullptr;  // the name in the reader's buffer, when not copied
    u32 shared = 0;                   // its first units that repeat the previous name's
    if (version == 3) {
      if (!reader.ReadWideName(&name, &nameCapacity, &length, kEntryFields, &direct, &shared)) return false;
      u32 extra = 0;
      if (!reader.ReadValue(&offset) || !reader.ReadValue(&size) || !reader.ReadValue(&extra)) return false;
      (void)extra;  // read and covered by the CRC; nothing uses it
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
    if (!direct) name[length] = 0;
    if (!AddDirectoryEntry(direct ? direct : name, length, shared, offset, size)) return false;
    if (!listening) continue;
    // Entries usually take well under a microsecond each, so the clock is read only for
    // every kProgressClockEvery-th report (the reports between pass 0, as they would with a
    // millisecond clock). Once a reading after the first entry shows a whole millisecond
    // (a slow hook or source), every report reads it again.
    u32 elapsedMs = 0;
    if (clockEveryReport || i % kProgressClockEvery == 0) {
      elapsedMs = timer->GetDeltaMs();
      if (elapsedMs && i) clockEveryReport = true;
    }
    if (ReportProgress(SL_PROGRESS_ATTACH, 75.0 + double(i) * 20.0 / double(count), elapsedMs))
      return SLFail(SL_E_CANCELLED, false);
  }

  if (version == 3) {
    reader.StopDigest();
    u32 stored = 0;
    if (!reader.ReadValue(&stored)) return false;
    if (stored != digest->GetValue()) return SLFail(SL_E_BAD_CONTAINER, false);
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
