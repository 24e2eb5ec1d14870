// Read-only storage over a ZIP archive held in another storage: the central directory is
// read once into a tree of directories and entries; one entry at a time is opened by path
// and read as a stream, decompressed (stored, deflate, Deflate64, bzip2), optionally
// decrypted with the traditional PKWARE cipher, and checked against its CRC-32.
#pragma once

#include "storage/SLBaseStorage.h"

enum : u32 {
  SL_E_ZIP_STRONG_ENCRYPTION = 0x800a000c,
};

struct SLZipArchiveState;
struct SLZipNode;

class CSLZipFileStorage : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSLZipFileStorage)
 public:
  CSLZipFileStorage() = default;
  ~CSLZipFileStorage() override;

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

  // 1..9; nothing reads it, since the storage never writes.
  virtual bool SetCompressionLevel(i32 level);
  // The password bytes for encrypted entries; null, length 0 or a first byte 0 empties it.
  virtual bool SetPassword(const u8* bytes, u32 length);
  // Replaces the in-memory archive comment; null or empty empties it.
  virtual bool SetComment(const char* text);
  // The archive comment as stored, "" when there is none.
  virtual const char* GetComment();

 private:
  bool EnsureState();
  void ClearArchive();
  bool ReadDirectory(CSLTimer* timer);
  bool AddEntry(const char* name, u32 nameLength, bool utf8, const struct SLZipEntryInfo& info);
  // Resolves the directories of a cleaned path: 0 with the directory and the offset of the
  // last component; -1 for a wildcard in a directory part, -2 when not found.
  i32 FindDirectory(const SLWChar* path, SLZipNode** directory, u32* lastOffset);
  bool StartEntry();  // source at the data, codec started, cipher header, counters cleared
  void EndEntryCodecs();
  u64 ReadStored(u8* bytes, u64 count, CSLTimer* timer, u32* outcome);
  u64 ReadCompressed(u8* bytes, u64 count, CSLTimer* timer, u32* outcome);
  bool CheckAttached(u32 noEntryCode, bool needEntry);

  SLZipArchiveState* m_state = nullptr;
};
