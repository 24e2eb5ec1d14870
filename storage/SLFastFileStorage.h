// Read-only storage over a fast data pack: the pack's directory becomes a small tree of
// directories and files, one file of which is open at a time. The pack itself is read
// through a source storage (usually a file storage on a ".DAT" file).
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLIntrusiveList.h"
#include "storage/SLBaseStorage.h"

class CSLDigestAlgorithmCRC32;
namespace SLInternals {
struct SLFastPackDirectoryIndex;
}

// Attach fails with SL_E_CANNOT_SEEK when the source cannot seek and SL_E_BAD_CONTAINER
// when the pack is too small, has a wrong magic, signature or version, or fails its CRC.

// Link of the directory lists (a directory's children, the top level).
struct SLFastPackLink : TSLListLink<SLFastPackLink> {};

struct SLFastPackNode {
  SLFastPackLink children;        // directories: child nodes in the order the pack made them
  SLFastPackLink link;            // membership in the parent's children (or the root list)
  SLFastPackNode* parent;         // null at top level
  SLFastPackLink* containingList;
  SLWChar* name;                  // one component as stored in the pack, owned
  u16 directory;                  // 1 directory, 0 file
  u64 offset;                     // absolute position of the data in the pack (files)
  u64 size;
  u32 nameLength;                 // units of name, without the terminator
};

struct SLFastPackState {
  CSLBaseStorage* source;  // one reference held while attached
  u16 version;
  u64 packSize;
  u32 key;
  SLFastPackLink root;
  CSLDigestAlgorithmCRC32* digest;
  SLWChar* findPattern;    // null: no search running
  u32 findDotState;
  SLFastPackLink* findDirectory;
  SLFastPackLink* findCursor;
  SLStorageFindRecord* findRecordA;
  SLStorageFindRecord* findRecordW;
  u32 open;
  SLFastPackNode* openNode;
  u64 position;
  // The open entry's bytes at pack offsets [windowStart, windowStart + windowLength), read
  // ahead for small reads and already unmasked; emptied when an entry is opened.
  u8* window;
  u64 windowStart;
  u64 windowLength;
  u32 sourceReports;  // the source listens to its own progress (small reads then go through it)
};

class CSLFastFileStorage : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSLFastFileStorage)

 public:
  // Pack layout constants.
  static constexpr u32 kMagicLength = 16;
  static constexpr u16 kSignature = 0x6B54;
  static constexpr u32 kMinimumPackSize = kMagicLength + 8;

  CSLFastFileStorage() = default;
  ~CSLFastFileStorage() override;

  bool GetTime(CSLDateTime* out) override;
  bool AttachContainer(CSLBaseStorage* source) override;
  CSLBaseStorage* GetContainer() override;
  bool OpenW(const SLWChar* path, u32 flags) override;
  bool OpenA(const char* path, u32 flags) override;
  void Close() override;
  bool CanRead() override;
  u64 Read(void* buffer, u64 count) override;
  bool CanWrite() override;
  u64 Write(const void* buffer, u64 count) override;
  bool CanSeek() override;
  bool Seek(i64 offset, u32 origin) override;
  bool GetPosition(u64* out) override;
  bool IsEOF() override;
  bool Flush() override;
  bool Lock(u64 offset, u64 length) override;
  bool Unlock(u64 offset, u64 length) override;
  bool SetSize(u64 size) override;
  bool GetSize(u64* out) override;
  SLStorageFindRecord* FindFirstA(const char* pattern) override;
  SLStorageFindRecord* FindFirstW(const SLWChar* pattern) override;
  SLStorageFindRecord* FindNextA() override;
  SLStorageFindRecord* FindNextW() override;

 private:
  bool InitDirectory();
  bool AttachPack(CSLBaseStorage* source, CSLTimer* timer);
  // Adds one directory entry; false only when memory runs out. The first `shared` units of
  // the name are those of the previous entry's name.
  bool AddDirectoryEntry(const SLWChar* name, u32 length, u32 shared, u64 offset, u64 size);
  // Walks the components of a path split at either separator; empty directory components
  // are skipped when `skipEmpty` (the raw name), kept as names otherwise.
  bool AddEntryComponents(const SLWChar* path, u32 length, bool skipEmpty, u32 shared, u64 offset, u64 size);
  // The directory `name` in `list` (found without regard to case), made when missing; null
  // only when memory runs out.
  SLFastPackNode* FindOrAddDirectory(SLFastPackLink* list, SLFastPackNode* parent, const SLWChar* name, u32 length);
  SLFastPackNode* NewNode(const SLWChar* name, u32 length, SLFastPackNode* parent, SLFastPackLink* list);
  // Nodes and their names come from a few large blocks, all released when the pack is
  // cleared.
  void* AllocTree(u64 bytes);
  void* AllocTreeBlock(u64 bytes);  // starts a new block (bytes rounded to 8 already)
  void FreeTree();
  // Resolves all but the last component of a normalised path: 0 with the list and the
  // index of the last component, -1 for a wildcard in a directory part, -2 when not found.
  i32 FindNode(const SLWChar* path, SLFastPackLink** list, u32* index);
  void FreeDirectoryNode(SLFastPackNode* node);  // unlinks; the memory goes with the tree blocks
  void DropDirectoryIndex();
  void ClearPack();  // tree, search, open entry, size and key; the storage's names
  bool CheckEntry(u32 noEntryCode);
  // Reads [at, at + length) of the pack into the small-read window.
  bool FillWindow(u64 at, u64 length);
  u64 ReadThroughSource(void* buffer, u64 count);

  SLFastPackState* m_state = nullptr;
  // Directory-building caches, alive while attaching: the directory chain of the previous
  // entry (entries sorted by path find their directories there), where each of its
  // directories ended in that entry's raw name, and an index of every directory by its
  // list and case-folded name.
  static constexpr u32 kChainLength = 32;
  SLFastPackNode* m_lastChain[kChainLength] = {};
  u32 m_lastChainDepth = 0;
  u32 m_lastPathEnds[kChainLength] = {};  // the separator after each directory's name
  u32 m_lastPathDepth = 0;                // directories of the previous raw name recorded
  SLInternals::SLFastPackDirectoryIndex* m_directoryIndex = nullptr;
  struct TreeBlock {
    TreeBlock* next;
  };
  TreeBlock* m_treeBlocks = nullptr;
  u8* m_treeFree = nullptr;  // the unused rest of the newest block
  u8* m_treeEnd = nullptr;
};
