// The stream and file-system interface every reader, writer and archive works through:
// naming and opening, the byte stream, directories and searches, containment (a storage
// reading its bytes through a source storage) and progress reports with cancel.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "foundation/SLByteOrder.h"
#include "foundation/SLDateTime.h"
#include "foundation/SLError.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"

class CSLTimer;

// Storage error codes. The container storages add further codes of the 0x8002 range
// next to their own interfaces.
enum : u32 {
  SL_E_STORAGE_NAME = 0x80020001,           // null or empty name or path
  SL_E_STORAGE_FLAGS = 0x80020002,          // invalid open flags
  SL_E_STORAGE_CREATE = 0x80020003,
  SL_E_STORAGE_OPEN = 0x80020004,
  SL_E_STORAGE_NOT_OPEN = 0x80020005,
  SL_E_STORAGE_SEEK = 0x80020006,
  SL_E_STORAGE_POSITION = 0x80020007,
  SL_E_STORAGE_FLUSH = 0x80020008,
  SL_E_STORAGE_GET_SIZE = 0x80020009,
  SL_E_STORAGE_SET_SIZE = 0x8002000a,
  SL_E_STORAGE_LOCK = 0x8002000b,
  SL_E_STORAGE_UNLOCK = 0x8002000c,
  SL_E_STORAGE_ALREADY_MAPPED = 0x8002000d,
  SL_E_STORAGE_MAP = 0x8002000e,
  SL_E_STORAGE_READ = 0x80020010,
  SL_E_STORAGE_WRITE = 0x80020011,
  SL_E_STORAGE_TIME = 0x80020015,
  SL_E_STORAGE_NO_CONTAINER = 0x8002001a,   // a container storage without a source
  SL_E_STORAGE_NO_SEARCH = 0x8002001c,
  SL_E_STORAGE_DELETE = 0x8002002e,
  SL_E_STORAGE_CREATE_DIRECTORY = 0x8002002f,
  SL_E_STORAGE_REMOVE_DIRECTORY = 0x80020030,
  SL_E_STORAGE_EOF = 0x80020036,            // end of data before the count asked for
  SL_E_STORAGE_OUT_OF_RANGE = 0x8000100b,   // a window or range outside its storage
};

// Open flags: access in the low four bits, sharing in the next four.
enum : u32 {
  SL_STORAGE_ACCESS_DEFAULT = 0x0,  // write for a create, read for an open
  SL_STORAGE_READ = 0x1,
  SL_STORAGE_WRITE = 0x2,
  SL_STORAGE_READWRITE = 0x3,
  SL_STORAGE_APPEND = 0x4,          // write access; an open positions at the end
  SL_STORAGE_ACCESS_MASK = 0xF,
  SL_STORAGE_SHARE_DEFAULT = 0x00,  // exclusive for a create, read and write for an open
  SL_STORAGE_SHARE_NONE = 0x10,
  SL_STORAGE_SHARE_READWRITE = 0x20,
  SL_STORAGE_SHARE_READ = 0x30,
  SL_STORAGE_SHARE_WRITE = 0x40,
  SL_STORAGE_SHARE_MASK = 0xF0,
  SL_STORAGE_HIDDEN = 0x100,
  SL_STORAGE_KEEP_HANDLE = 0x200,
  SL_STORAGE_TEMPORARY = 0x400,     // removed when closed
  SL_STORAGE_OPEN_ALWAYS = 0x800,   // an open creates a missing object
  // A create (write access only) makes the file its writer's own: new, and held against
  // every other claim of the name until closed. A file of the name that no claim holds
  // (its writer died) is replaced; one that another holds fails with the system's
  // ERROR_SHARING_VIOLATION, and a name taken by a folder or a link with ERROR_FILE_EXISTS.
  SL_STORAGE_CLAIM = 0x1000,
};

// Seek origins.
enum : u32 {
  SL_SEEK_BEGIN = 0,
  SL_SEEK_CURRENT = 1,
  SL_SEEK_END = 2,
};

// Operation codes of OnProgress.
enum : u32 {
  SL_PROGRESS_CREATE = 1,
  SL_PROGRESS_OPEN = 2,
  SL_PROGRESS_READ = 3,
  SL_PROGRESS_WRITE = 4,
  SL_PROGRESS_SEEK = 5,
  SL_PROGRESS_CLOSE = 6,
  SL_PROGRESS_DELETE = 7,
  SL_PROGRESS_ATTACH = 8,
  SL_PROGRESS_DETACH = 9,
};

// Flags of a find record.
enum : u32 {
  SL_FIND_FILE = 0x1,
  SL_FIND_COMPRESSED = 0x2,
  SL_FIND_DIRECTORY = 0x4,
  SL_FIND_ENCRYPTED = 0x8,
  SL_FIND_HIDDEN = 0x10,
  SL_FIND_READONLY = 0x20,
  SL_FIND_TEMPORARY = 0x40,
};

// What a search returns. Owned by the storage that returned it (one record per width),
// valid until the next find call of the same width; callers only read it.
struct SLStorageFindRecord {
  union {
    char* nameA;     // 8-bit searches
    SLWChar* nameW;  // wide searches
  };
  u32 flags;
  CSLDateTime time;  // zero (UTC) when the entry has no date
  u64 size;
  u64 storedSize;    // compressed size in an archive, else equal to size
  u32 reserved;      // always 0
  // Room for a storage's own per-entry information (the resource storage keeps its
  // directory entry here); never shown to callers.
  void* privateInfo;

  // Constructs the embedded date in zero-filled memory of sizeof(SLStorageFindRecord).
  static SLStorageFindRecord* Construct(void* zeroFilled);
  // SLAllocZero + Construct; null (0x80000001) when memory runs out.
  static SLStorageFindRecord* Create();
  // Destroys the date; bit 0 of flags also frees the record with SLFree. The owner
  // frees the name first.
  void DeletingDtor(u32 flags);
  // The 8-bit record of a listing, taken from the wide one: the name converted to the
  // system code page, flags, time and sizes, no private information. Made in *narrow on
  // first use (the storage frees it with its other records); null with the conversion's
  // or the allocation's code.
  static SLStorageFindRecord* NarrowFrom(SLStorageFindRecord** narrow, const SLStorageFindRecord* wide);
};

class CSLBaseStorage : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseStorage)
 public:
  CSLBaseStorage();
  ~CSLBaseStorage() override;

  // The storage's date (a file's creation time). Base: zero, not supported.
  virtual bool GetTime(CSLDateTime* out);
  // Makes `source` the storage this one reads through (adding its own reference);
  // null detaches.
  virtual bool AttachContainer(CSLBaseStorage* source);
  virtual CSLBaseStorage* GetContainer();
  virtual bool CreateW(const SLWChar* path, u32 flags);
  virtual bool CreateA(const char* path, u32 flags);
  virtual bool OpenW(const SLWChar* path, u32 flags);
  virtual bool OpenA(const char* path, u32 flags);
  virtual void Close();
  virtual bool DeleteW(const SLWChar* path);
  virtual bool DeleteA(const char* path);
  virtual bool CanRead() = 0;
  // Reads up to count bytes; fewer than count sets 0x80020036 (or a read error).
  virtual u64 Read(void* buffer, u64 count) = 0;
  virtual bool CanWrite() = 0;
  virtual u64 Write(const void* buffer, u64 count) = 0;
  virtual bool CanSeek() = 0;
  virtual bool Seek(i64 offset, u32 origin) = 0;
  virtual bool GetPosition(u64* out) = 0;
  // True also when the question cannot be answered.
  virtual bool IsEOF() = 0;
  virtual bool Flush() = 0;
  virtual bool Lock(u64 offset, u64 length) = 0;
  virtual bool Unlock(u64 offset, u64 length) = 0;
  virtual bool SetSize(u64 size) = 0;
  virtual bool GetSize(u64* out) = 0;
  virtual bool CreateDirectoryW(const SLWChar* path);
  virtual bool CreateDirectoryA(const char* path);
  virtual bool RemoveDirectoryW(const SLWChar* path, bool subdirectories, bool files);
  virtual bool RemoveDirectoryA(const char* path, bool subdirectories, bool files);
  // Wildcards "*" and "?" only in the last path component.
  virtual SLStorageFindRecord* FindFirstA(const char* pattern);
  virtual SLStorageFindRecord* FindFirstW(const SLWChar* pattern);
  // Null with 0x80002001 at the end, 0x8002001c without a search.
  virtual SLStorageFindRecord* FindNextA();
  virtual SLStorageFindRecord* FindNextW();
  virtual void* MapView();
  virtual void UnmapView();
  virtual u32 ReservedA(u32);
  virtual u32 ReservedB(u32, u32);
  // Progress hook: `*cancel` is 0 on entry; setting it asks the running operation to
  // stop (0x80002011 where the operation honours it). Base: does nothing.
  virtual void OnProgress(u32 operation, double percent, u32 elapsedMs, u32* cancel);

  // Typed reads and writes through Read/Write, little-endian as stored unless BE.
  // A read is true only when all its bytes came; the code is the one Read left.
  bool ReadU16(u16* out) { return ReadExactly(out); }
  bool ReadU32(u32* out) { return ReadExactly(out); }
  bool ReadU64(u64* out) { return ReadExactly(out); }
  bool ReadU16BE(u16* out) {
    if (!ReadU16(out)) return false;
    *out = SLSwapBytes16(*out);
    return true;
  }
  bool ReadU32BE(u32* out) {
    if (!ReadU32(out)) return false;
    *out = SLSwapBytes32(*out);
    return true;
  }
  bool WriteU16(u16 value);
  bool WriteU32(u32 value);

  // True when this object's OnProgress is an override. The base hook does nothing, so
  // without an override the reports (and the timer between them) are skipped; what a
  // listener sees is unchanged.
  bool HasProgressHook() const {
#if defined(__x86_64__) && defined(__GXX_ABI_VERSION)
    return ProgressHookEntry(this) != s_silentProgressHook.load(std::memory_order_relaxed);
#else
    return true;
#endif
  }

  SLStorageFindRecord* FindFirst(const char* pattern) { return FindFirstA(pattern); }
  SLStorageFindRecord* FindNext() { return FindNextA(); }
  bool DetachContainer() { return AttachContainer(nullptr); }
  // Opens (or with `create` creates) a file storage on `path` and attaches it as this
  // storage's source.
  bool AttachFile(const char* path, bool create, u32 flags);

  // The wide name, or a shared empty string (never null).
  const SLWChar* GetNameW() const;
  // The 8-bit name, or a shared empty string (never null).
  const char* GetNameA() const;
  // Both names are set and cleared together; null or empty clears them.
  bool SetNameA(const char* name);
  bool SetNameW(const SLWChar* name);
  bool FreeNames();
  void FreeScratch();

 protected:
  // Reports one progress step to OnProgress with a fresh cancel flag; true when the
  // hook asked to cancel. The timer gives the milliseconds since the previous report.
  bool ReportProgress(u32 operation, double percent, CSLTimer* timer);
  bool ReportProgress(u32 operation, double percent, u32 elapsedMs);

 private:
  template <class T>
  bool ReadExactly(T* out) {
    if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
    return Read(out, sizeof(T)) == sizeof(T);
  }

  // The OnProgress entry of an object's virtual table. In the C++ ABI of this platform a
  // pointer to a virtual member function holds 1 + the entry's byte offset in the table.
  static const void* ProgressHookEntry(const CSLBaseStorage* storage) {
    using Hook = void (CSLBaseStorage::*)(u32, double, u32, u32*);
    Hook hook = &CSLBaseStorage::OnProgress;
    std::uintptr_t offset;
    std::memcpy(&offset, &hook, sizeof offset);
    const void* const* table = *reinterpret_cast<const void* const* const*>(storage);
    return table[(offset - 1) / sizeof(void*)];
  }
  // The base OnProgress, taken from the base class's own table while a storage is built.
  static std::atomic<const void*> s_silentProgressHook;

  // Takes both copies of a new name, or frees the one there is when the other failed.
  bool AdoptNames(char* nameA, SLWChar* nameW);

  char* m_nameA;
  SLWChar* m_nameW;
  void* m_scratch;  // nothing fills it; freed by the destructor
  u32 m_scratchCount1;
  u32 m_scratchCount2;
};

// Byte order swaps of `count` consecutive items in place.
void SLSwapBytes16(void* items, u32 count);
void SLSwapBytes32(void* items, u32 count);
void SLSwapBytes64(void* items, u32 count);

// The exact value of high * 2^32 + low, the top bit included.
double SLUInt64ToDouble(u32 low, u32 high);
inline double SLUInt64ToDouble(u64 value) { return SLUInt64ToDouble(u32(value), u32(value >> 32)); }

// The file name with its extension; a null `out` returns the length only.
u32 SLGetFileNameA(char* out, const char* path);
u32 SLGetFileNameW(SLWChar* out, const SLWChar* path);
