// The per-stream chunk index of an AVI file: entries collected in chained fixed blocks while
// the file is parsed (nothing is moved or copied while a long file is indexed), then
// flattened once into one array for direct access by frame and binary search by sample.
#pragma once

#include "foundation/SLTypes.h"

// One chunk of a stream, 24 bytes.
struct AviIndexEntry {
  u64 offset;       // file offset of the chunk's 8-byte header; the payload follows it
  u32 chunkId;
  u32 sizeAndFlag;  // payload size in bits 0-30; bit 31 set = not a key frame
  u64 firstSample;  // first frame or sample the chunk holds (filled when parsing ends)

  u32 Size() const { return sizeAndFlag & kSizeMask; }
  bool IsKey() const { return (sizeAndFlag & kNotKeyFlag) == 0; }

  static constexpr u32 kSizeMask = 0x7FFFFFFFu;
  static constexpr u32 kNotKeyFlag = 0x80000000u;
};
static_assert(sizeof(AviIndexEntry) == 24, "index entries are stored as 24-byte records");

struct AviIndexBlock {
  static constexpr u32 kEntries = 2048;
  AviIndexBlock* next;
  u32 used;
  AviIndexEntry entries[kEntries];
};

// The flat array holds at most this many entries: its byte size must fit the framework's
// 32-bit allocation size.
inline constexpr u64 kAviMaxFlatEntries = 0xFFFFFFFFu / sizeof(AviIndexEntry);

class AviIndexList {
 public:
  AviIndexList() = default;
  ~AviIndexList() { Free(); }
  AviIndexList(const AviIndexList&) = delete;
  AviIndexList& operator=(const AviIndexList&) = delete;

  // Appends one entry; a full last block chains a new zero-filled one (0x80000001 when
  // memory runs out).
  bool Add(u32 chunkId, u64 offset, u32 size, bool key);
  // Builds the flat array and frees the blocks. Counts beyond kAviMaxFlatEntries fail with
  // 0x80000001 and leave the list empty. An empty list has no array.
  bool Flatten();
  // Frees blocks and flat array; the count becomes 0.
  void Free();

  u64 GetCount() const { return m_count; }
  AviIndexEntry* GetFlat() const { return m_flat; }
  u64 GetFlatCount() const { return m_flatCount; }

 private:
  u64 m_count = 0;
  AviIndexBlock* m_first = nullptr;
  AviIndexBlock* m_last = nullptr;
  AviIndexEntry* m_flat = nullptr;
  u64 m_flatCount = 0;
};
