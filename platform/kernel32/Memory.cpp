// Reservations are kept in a registry keyed by base address with one bit per page
// telling whether it is committed, which is what VirtualQuery and a whole-range
// MEM_RELEASE need to know. The registry allocates with the C library's malloc, never
// with the framework allocator, because the framework allocator sits on top of it.
#include "platform/kernel32/Memory.h"

#include "platform/kernel32/Handles.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <vector>

namespace {

template <class T>
struct CMallocAllocator {
  using value_type = T;
  CMallocAllocator() = default;
  template <class U>
  CMallocAllocator(const CMallocAllocator<U>&) {}
  T* allocate(std::size_t n) {
    void* p = std::malloc(n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  template <class U>
  bool operator==(const CMallocAllocator<U>&) const { return true; }
};

struct SLReservation {
  std::uintptr_t size = 0;  // bytes, a multiple of the page size
  DWORD protect = 0;        // protection asked for at reservation
  std::vector<std::uint64_t, CMallocAllocator<std::uint64_t>> committed;  // one bit per page

  bool IsCommitted(std::size_t page) const { return (committed[page >> 6] >> (page & 63)) & 1; }
  void Mark(std::size_t first, std::size_t count, bool on) {
    for (std::size_t page = first; page < first + count; ++page) {
      if (on)
        committed[page >> 6] |= std::uint64_t(1) << (page & 63);
      else
        committed[page >> 6] &= ~(std::uint64_t(1) << (page & 63));
    }
  }
};

using SLReservationMap = std::map<std::uintptr_t, SLReservation, std::less<std::uintptr_t>,
                                  CMallocAllocator<std::pair<const std::uintptr_t, SLReservation>>>;

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

SLReservationMap& Registry() {
  static SLReservationMap* registry = new (std::malloc(sizeof(SLReservationMap))) SLReservationMap();
  return *registry;  // never destroyed: blocks may be freed by the last static destructors
}

template <class T>
T Refuse(DWORD systemError, T result) {
  SLPlatformSetLastError(systemError);
  return result;
}

std::uintptr_t PageSize() {
  static const std::uintptr_t size = std::uintptr_t(sysconf(_SC_PAGESIZE));
  return size;
}

int ProtectionOf(DWORD protect) {
  switch (protect & 0xFF) {
    case PAGE_READONLY: return PROT_READ;
    case PAGE_READWRITE: return PROT_READ | PROT_WRITE;
    default: return PROT_NONE;
  }
}

bool KnownProtection(DWORD protect) {
  DWORD kind = protect & 0xFF;
  return kind == PAGE_NOACCESS || kind == PAGE_READONLY || kind == PAGE_READWRITE;
}

// The reservation holding `address`, or end(). Caller holds the registry lock.
SLReservationMap::iterator Find(std::uintptr_t address) {
  auto& registry = Registry();
  auto it = registry.upper_bound(address);
  if (it == registry.begin()) return registry.end();
  --it;
  if (address >= it->first + it->second.size) return registry.end();
  return it;
}

LPVOID Reserve(SIZE_T size, DWORD type, DWORD protect) {
  std::uintptr_t page = PageSize();
  if (size == 0 || size > (SIZE_T(1) << 47)) return Refuse(ERROR_INVALID_PARAMETER, LPVOID(nullptr));
  std::uintptr_t rounded = (size + page - 1) & ~(page - 1);
  bool commit = (type & MEM_COMMIT) != 0;
  void* base = mmap(nullptr, rounded, commit ? ProtectionOf(protect) : PROT_NONE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) return Refuse(ERROR_NOT_ENOUGH_MEMORY, LPVOID(nullptr));
  try {
    std::lock_guard<std::mutex> guard(RegistryLock());
    SLReservation& reservation = Registry()[std::uintptr_t(base)];
    reservation.size = rounded;
    reservation.protect = protect;
    std::size_t pages = rounded / page;
    reservation.committed.assign((pages + 63) / 64, 0);
    if (commit) reservation.Mark(0, pages, true);
  } catch (const std::bad_alloc&) {
    munmap(base, rounded);
    return Refuse(ERROR_NOT_ENOUGH_MEMORY, LPVOID(nullptr));
  }
  return base;
}

LPVOID CommitInPlace(LPVOID address, SIZE_T size, DWORD protect) {
  std::uintptr_t page = PageSize();
  std::uintptr_t first = std::uintptr_t(address) & ~(page - 1);
  std::uintptr_t last = std::uintptr_t(address) + (size ? size : 1);
  if (last < std::uintptr_t(address)) return Refuse(ERROR_INVALID_PARAMETER, LPVOID(nullptr));
  last = (last + page - 1) & ~(page - 1);
  std::lock_guard<std::mutex> guard(RegistryLock());
  auto it = Find(first);
  if (it == Registry().end() || last > it->first + it->second.size) return Refuse(ERROR_INVALID_ADDRESS, LPVOID(nullptr));
  if (mprotect(reinterpret_cast<void*>(first), last - first, ProtectionOf(protect)) != 0)
    return Refuse(ERROR_NOT_ENOUGH_MEMORY, LPVOID(nullptr));
  it->second.Mark((first - it->first) / page, (last - first) / page, true);
  return reinterpret_cast<LPVOID>(first);
}

}  // namespace

SIZE_T SLPlatformPageSize() { return PageSize(); }

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  if (!KnownProtection(protect) || !(allocationType & (MEM_COMMIT | MEM_RESERVE)))
    return Refuse(ERROR_INVALID_PARAMETER, LPVOID(nullptr));
  if (!address) return Reserve(size, allocationType, protect);
  if (allocationType & MEM_RESERVE)  // reservations at a chosen address are not offered
    return Refuse(ERROR_INVALID_ADDRESS, LPVOID(nullptr));
  return CommitInPlace(address, size, protect);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  std::uintptr_t page = PageSize();
  std::unique_lock<std::mutex> guard(RegistryLock());
  auto it = Find(std::uintptr_t(address));
  if (it == Registry().end()) return Refuse(ERROR_INVALID_ADDRESS, FALSE);
  if (freeType == MEM_RELEASE) {
    if (size != 0 || std::uintptr_t(address) != it->first) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    std::uintptr_t base = it->first, length = it->second.size;
    Registry().erase(it);
    guard.unlock();
    munmap(reinterpret_cast<void*>(base), length);
    return TRUE;
  }
  if (freeType != MEM_DECOMMIT) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
  std::uintptr_t first, last;
  if (size == 0) {
    if (std::uintptr_t(address) != it->first) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
    first = it->first;
    last = it->first + it->second.size;
  } else {
    first = std::uintptr_t(address) & ~(page - 1);
    last = (std::uintptr_t(address) + size + page - 1) & ~(page - 1);
    if (last > it->first + it->second.size || last < first) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
  }
  // A fresh inaccessible mapping over the range drops the pages and their contents.
  void* fresh = mmap(reinterpret_cast<void*>(first), last - first, PROT_NONE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
  if (fresh == MAP_FAILED) return Refuse(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  it->second.Mark((first - it->first) / page, (last - first) / page, false);
  return TRUE;
}

BOOL SLPlatformMovePages(LPVOID from, SIZE_T bytes, LPVOID to) {
  std::uintptr_t page = PageSize();
  if (bytes == 0 || bytes % page != 0) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
  std::unique_lock<std::mutex> guard(RegistryLock());
  auto source = Registry().find(std::uintptr_t(from));
  auto target = Registry().find(std::uintptr_t(to));
  if (source == Registry().end() || target == Registry().end() || source == target) return Refuse(ERROR_INVALID_ADDRESS, FALSE);
  if (bytes > source->second.size || bytes > target->second.size) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
  const std::size_t pages = bytes / page;
  for (std::size_t i = 0; i < pages; ++i)
    if (!source->second.IsCommitted(i) || target->second.IsCommitted(i)) return Refuse(ERROR_INVALID_PARAMETER, FALSE);
  // The moved pages replace the target's inaccessible ones and keep their protection.
  if (mremap(from, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, to) == MAP_FAILED)
    return Refuse(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  target->second.Mark(0, pages, true);
  std::uintptr_t rest = source->second.size - bytes;
  Registry().erase(source);
  guard.unlock();
  if (rest) munmap(static_cast<char*>(from) + bytes, rest);
  return TRUE;
}

SIZE_T VirtualQuery(LPCVOID address, MEMORY_BASIC_INFORMATION* buffer, SIZE_T length) {
  if (!buffer || length < sizeof(MEMORY_BASIC_INFORMATION)) return Refuse(ERROR_INVALID_PARAMETER, SIZE_T(0));
  std::uintptr_t page = PageSize();
  std::uintptr_t at = std::uintptr_t(address) & ~(page - 1);
  std::lock_guard<std::mutex> guard(RegistryLock());
  auto it = Find(at);
  *buffer = MEMORY_BASIC_INFORMATION{};
  buffer->BaseAddress = reinterpret_cast<LPVOID>(at);
  if (it == Registry().end()) {
    // Free space runs up to the next reservation (or one page when none follows).
    auto next = Registry().upper_bound(at);
    buffer->RegionSize = next != Registry().end() ? next->first - at : page;
    buffer->State = MEM_FREE;
    buffer->Protect = PAGE_NOACCESS;
    return sizeof(MEMORY_BASIC_INFORMATION);
  }
  const SLReservation& reservation = it->second;
  std::size_t pages = reservation.size / page;
  std::size_t first = (at - it->first) / page;
  bool committed = reservation.IsCommitted(first);
  std::size_t end = first + 1;
  while (end < pages && reservation.IsCommitted(end) == committed) ++end;
  buffer->AllocationBase = reinterpret_cast<LPVOID>(it->first);
  buffer->AllocationProtect = reservation.protect;
  buffer->RegionSize = (end - first) * page;
  buffer->State = committed ? MEM_COMMIT : MEM_RESERVE;
  buffer->Protect = committed ? reservation.protect : 0;
  buffer->Type = MEM_PRIVATE;
  return sizeof(MEMORY_BASIC_INFORMATION);
}
