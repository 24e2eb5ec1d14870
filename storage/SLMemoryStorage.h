// A growable byte stream in memory: a list of chunks (the default), one contiguous
// block, or a buffer the caller attached.
#pragma once

#include "storage/SLBaseStorage.h"

class CSLMemoryStorage : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSLMemoryStorage)
 public:
  // A growth step below 4,096 becomes 4,096.
  explicit CSLMemoryStorage(bool contiguous = false, u32 growthStep = 4096);
  ~CSLMemoryStorage() override;

  // Replaces the content by the caller's buffer (size fixed); with `takeOwnership`
  // Close frees it with SLFree. A null buffer or size 0 leaves the storage empty.
  bool AttachBuffer(void* buffer, u32 size, bool takeOwnership);
  // Keeps the content in one block (merging the chunks) or lets it grow in chunks.
  bool SetContiguous(bool contiguous);
  // The content when it lies in one piece (caller buffer or contiguous block); null
  // when empty or chunked. Valid until the size or the form changes.
  void* GetDataPointer() const;
  u64 GetCapacity() const { return m_capacity; }

  bool GetTime(CSLDateTime* out) override;
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

 private:
  struct Chunk {
    Chunk* next;
    u64 capacity;  // data bytes that follow the header
    u8* Data() { return reinterpret_cast<u8*>(this + 1); }
  };

  static Chunk* NewChunk(u64 capacity, u32 failureCode);
  bool BlockCapacity(u64 size, u64* capacity) const;
  void FreeChunks();
  // The chunk holding content byte `position` and the offset inside it; remembers it
  // so that sequential access does not walk the list from its start each time.
  Chunk* Locate(u64 position, u64* offset);
  void ForgetLocation() {
    m_lastChunk = nullptr;
    m_lastChunkStart = 0;
  }
  // Copies between the content at the position and `bytes`; reports progress per
  // piece and stops on a cancel. Returns the bytes copied.
  // Read with every check and progress report; Read itself only copies what lies at hand.
  u64 ReadReporting(void* buffer, u64 count);
  u64 Transfer(u8* bytes, u64 count, bool toContent, u32 operation, CSLTimer* timer, bool* cancelled);

  CSLDateTime m_created;
  void* m_data;  // first chunk, or the caller's buffer
  u64 m_size;
  u64 m_capacity;
  u64 m_position;
  u32 m_growthStep;
  u32 m_callerBuffer;
  u32 m_ownsCallerBuffer;
  u32 m_contiguous;
  Chunk* m_lastChunk;
  u64 m_lastChunkStart;
  Chunk* m_tail;
};
