// File mappings and their views (also the unnamed page-file sections of the allocator).
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/kernel32/File.h"
#include "platform/kernel32/FilePath.h"

namespace SLPlatformFile {
namespace {

// A mapping keeps its own descriptor, so that closing the file's handle first leaves
// the mapping and its views working, as on the system.
class SLMappingObject : public SLKernelObject {
 public:
  SLMappingObject() : SLKernelObject(Kind::Mapping) {}
  ~SLMappingObject() override {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  std::uint64_t size = 0;
  bool writable = false;
};

struct ViewTable {
  std::mutex lock;
  std::map<const void*, size_t> views;
};

ViewTable& Views() {
  static ViewTable* table = new ViewTable();
  return *table;
}

HANDLE CreateMapping(HANDLE file, DWORD protection, DWORD maximumHigh, DWORD maximumLow) {
  DWORD access = protection & 0xFF;
  if (access != PAGE_READONLY && access != PAGE_READWRITE) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool writable = access == PAGE_READWRITE;
  std::uint64_t maximum = (std::uint64_t(maximumHigh) << 32) | maximumLow;
  auto mapping = std::make_shared<SLMappingObject>();
  mapping->writable = writable;
  if (file == INVALID_HANDLE_VALUE) {
    // An unnamed section of the page file: memory of its own, zero-filled.
    if (maximum == 0) {
      SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    int fd = memfd_create("section", MFD_CLOEXEC);
    if (fd < 0) {
      FailErrno(errno);
      return nullptr;
    }
    mapping->fd = fd;
    if (ftruncate(fd, off_t(maximum)) != 0) {
      SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    mapping->size = maximum;
  } else {
    auto object = GetFile(file);
    if (!object) {
      SLPlatformSetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (!(object->access & GENERIC_READ) || (writable && !(object->access & GENERIC_WRITE))) {
      SLPlatformSetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    struct stat info;
    if (fstat(object->fd, &info) != 0) {
      FailErrno(errno);
      return nullptr;
    }
    std::uint64_t size = std::uint64_t(info.st_size);
    if (maximum == 0) maximum = size;
    if (maximum == 0) {
      SLPlatformSetLastError(ERROR_FILE_INVALID);  // an empty file cannot be mapped
      return nullptr;
    }
    if (maximum > size) {
      if (!writable) {
        SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      if (ftruncate(object->fd, off_t(maximum)) != 0) {
        FailErrno(errno);
        return nullptr;
      }
    }
    mapping->fd = fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (mapping->fd < 0) {
      FailErrno(errno);
      return nullptr;
    }
    mapping->size = maximum;
  }
  HANDLE handle = SLHandleCreate(mapping);
  if (!handle) {
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  SLPlatformSetLastError(ERROR_SUCCESS);
  return handle;
}

}  // namespace
}  // namespace SLPlatformFile

using namespace SLPlatformFile;

// Names would share a mapping between processes; within one process they add nothing.
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protection, DWORD maximumHigh, DWORD maximumLow,
                          LPCSTR) {
  return CreateMapping(file, protection, maximumHigh, maximumLow);
}

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protection, DWORD maximumHigh, DWORD maximumLow,
                          LPCWSTR) {
  return CreateMapping(file, protection, maximumHigh, maximumLow);
}

LPVOID MapViewOfFile(HANDLE handle, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  auto mapping = SLHandleGetAs<SLMappingObject>(handle, SLKernelObject::Kind::Mapping);
  if (!mapping) {
    SLPlatformSetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool write = (access & FILE_MAP_WRITE) != 0;
  if (write && !mapping->writable) {
    SLPlatformSetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  std::uint64_t offset = (std::uint64_t(offsetHigh) << 32) | offsetLow;
  if (offset % std::uint64_t(sysconf(_SC_PAGESIZE)) != 0 || offset > mapping->size) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::uint64_t length = bytes ? std::uint64_t(bytes) : mapping->size - offset;
  if (length == 0 || length > mapping->size - offset) {
    SLPlatformSetLastError(length == 0 ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  void* view = mmap(nullptr, size_t(length), PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED, mapping->fd,
                    off_t(offset));
  if (view == MAP_FAILED) {
    SLPlatformSetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ErrorFromErrno(errno));
    return nullptr;
  }
  ViewTable& table = Views();
  std::lock_guard<std::mutex> guard(table.lock);
  table.views[view] = size_t(length);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return view;
}

BOOL FlushViewOfFile(LPCVOID address, SIZE_T bytes) {
  ViewTable& table = Views();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.views.upper_bound(address);
  if (found == table.views.begin()) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  --found;
  auto* base = static_cast<const char*>(found->first);
  auto* at = static_cast<const char*>(address);
  if (at >= base + found->second) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t available = size_t(base + found->second - at);
  size_t length = bytes && bytes < available ? bytes : available;
  size_t page = size_t(sysconf(_SC_PAGESIZE));
  auto* start = base + (size_t(at - base) / page) * page;
  if (msync(const_cast<char*>(start), size_t(at + length - start), MS_SYNC) != 0) return FailErrno(errno);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL UnmapViewOfFile(LPCVOID address) {
  ViewTable& table = Views();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.views.find(address);
  if (found == table.views.end()) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  munmap(const_cast<void*>(found->first), found->second);
  table.views.erase(found);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return TRUE;
}
