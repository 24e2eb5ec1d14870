// A window (offset, length) of another storage, the source, presented as a storage of
// its own. Reads and writes pass straight through; the source's position is kept at
// the window offset plus the fragment's position, so nobody else may move it meanwhile.
#pragma once

#include "storage/SLBaseStorage.h"

class CSLFragmentStorage : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSLFragmentStorage)
 public:
  CSLFragmentStorage();
  ~CSLFragmentStorage() override;

  // The window inside the source's size as taken when it was attached
  // (0x8000100b outside it).
  bool SetWindow(u64 offset, u64 length);
  u64 GetWindowOffset() const { return m_windowOffset; }

  bool GetTime(CSLDateTime* out) override;
  bool AttachContainer(CSLBaseStorage* source) override;
  CSLBaseStorage* GetContainer() override;
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
  bool CheckRange(u64 offset, u64 length) const;

  CSLBaseStorage* m_source;
  u64 m_sourceSize;
  u64 m_windowOffset;
  u64 m_windowLength;
  u64 m_position;
};
