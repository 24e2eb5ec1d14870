// The resources of a module file (PE32, PE32+, NE) as a read-only two-level tree:
// types are directories, resources are files. The storage reads the module's headers
// and resource tables itself through its source storage, without loading the module.
//
// Paths: "type/name[/primary[/sub]]", each of type and name either "#" + a decimal id
// or a text ("#10/#101", "#6/abc"); the languages pick among a resource's languages.
#pragma once

#include "storage/SLBaseStorage.h"

enum : u32 {
  SL_E_STORAGE_WRITE_REFUSED = 0x80020013,
};

// What a find record of a resource points at (its private information).
struct SLResourceInfo {
  u32 id;           // the number after "#", else 0
  u32 primaryLanguage;
  u32 subLanguage;
  u32 codePage;
};

namespace SLInternals {
struct SLResourceStorageData;
}

class CSLResourceStorage : public CSLBaseStorage {
  SL_DECLARE_CLASS(CSLResourceStorage)
 public:
  CSLResourceStorage();
  ~CSLResourceStorage() override;

  bool GetTime(CSLDateTime* out) override;
  bool AttachContainer(CSLBaseStorage* source) override;
  CSLBaseStorage* GetContainer() override;
  bool CreateW(const SLWChar* path, u32 flags) override;
  bool CreateA(const char* path, u32 flags) override;
  bool OpenW(const SLWChar* path, u32 flags) override;
  bool OpenA(const char* path, u32 flags) override;
  void Close() override;
  bool DeleteW(const SLWChar* path) override;
  bool DeleteA(const char* path) override;
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
  bool CreateDirectoryW(const SLWChar* path) override;
  bool CreateDirectoryA(const char* path) override;
  bool RemoveDirectoryW(const SLWChar* path, bool subdirectories, bool files) override;
  bool RemoveDirectoryA(const char* path, bool subdirectories, bool files) override;
  SLStorageFindRecord* FindFirstA(const char* pattern) override;
  SLStorageFindRecord* FindFirstW(const SLWChar* pattern) override;
  SLStorageFindRecord* FindNextA() override;
  SLStorageFindRecord* FindNextW() override;
  void* MapView() override;
  void UnmapView() override;

  // The running program's own resources (or those of another module of the process):
  // attaches a read-only view of the module's resource image.
  bool AttachModule(HMODULE module);

 private:
  bool EnsureData();
  SLInternals::SLResourceStorageData* m_data;
};
