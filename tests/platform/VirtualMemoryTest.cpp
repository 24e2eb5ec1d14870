#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Memory.h"

namespace {

MEMORY_BASIC_INFORMATION Query(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  EXPECT_EQ(VirtualQuery(address, &info, sizeof(info)), sizeof(info));
  return info;
}

}  // namespace

TEST(VirtualMemory, ReserveThenCommitInPlace) {
  const SIZE_T page = SLPlatformPageSize();
  ASSERT_EQ(page & (page - 1), 0u);
  unsigned char* base = static_cast<unsigned char*>(VirtualAlloc(nullptr, 16 * page, MEM_RESERVE | MEM_TOP_DOWN, PAGE_READWRITE));
  ASSERT_NE(base, nullptr);
  MEMORY_BASIC_INFORMATION info = Query(base + 3 * page + 5);
  EXPECT_EQ(info.State, MEM_RESERVE);
  EXPECT_EQ(info.AllocationBase, base);
  EXPECT_EQ(info.BaseAddress, base + 3 * page);
  EXPECT_EQ(info.RegionSize, 13 * page);

  // Commit pages 2..5 (the range is widened to whole pages) and write them.
  EXPECT_EQ(VirtualAlloc(base + 2 * page + 100, 3 * page, MEM_COMMIT, PAGE_READWRITE), base + 2 * page);
  std::memset(base + 2 * page, 0x5A, 4 * page);
  info = Query(base);
  EXPECT_EQ(info.State, MEM_RESERVE);
  EXPECT_EQ(info.RegionSize, 2 * page);
  info = Query(base + 2 * page);
  EXPECT_EQ(info.State, MEM_COMMIT);
  EXPECT_EQ(info.Protect, PAGE_READWRITE);
  EXPECT_EQ(info.RegionSize, 4 * page);
  EXPECT_EQ(Query(base + 6 * page).RegionSize, 10 * page);

  // Decommitting drops the contents: committing again gives zero pages.
  EXPECT_TRUE(VirtualFree(base + 3 * page, page, MEM_DECOMMIT));
  EXPECT_EQ(Query(base + 3 * page).State, MEM_RESERVE);
  EXPECT_EQ(Query(base + 2 * page).RegionSize, page);
  ASSERT_NE(VirtualAlloc(base + 3 * page, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(base[3 * page], 0);
  EXPECT_EQ(base[4 * page], 0x5A);

  // Only the base with size 0 releases a reservation.
  EXPECT_FALSE(VirtualFree(base + page, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(base, page, MEM_RELEASE));
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
  EXPECT_EQ(Query(base).State, MEM_FREE);
  EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(VirtualMemory, ReserveAndCommitAtOnce) {
  const SIZE_T page = SLPlatformPageSize();
  char* block = static_cast<char*>(VirtualAlloc(nullptr, page + 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[0], 0);  // fresh pages are zero
  block[2 * page - 1] = 1;  // rounded up to whole pages
  MEMORY_BASIC_INFORMATION info = Query(block);
  EXPECT_EQ(info.State, MEM_COMMIT);
  EXPECT_EQ(info.RegionSize, 2 * page);
  EXPECT_EQ(info.Type, MEM_PRIVATE);
  EXPECT_TRUE(VirtualFree(block, 0, MEM_DECOMMIT));
  EXPECT_EQ(Query(block).State, MEM_RESERVE);
  EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
}

TEST(VirtualMemory, RefusesWhatItCannotDo) {
  const SIZE_T page = SLPlatformPageSize();
  int onStack = 0;
  EXPECT_EQ(VirtualAlloc(&onStack, page, MEM_COMMIT, PAGE_READWRITE), nullptr);  // not reserved
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_RESERVE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VirtualAlloc(nullptr, page, 0, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, page, MEM_RESERVE, 0x40), nullptr);  // executable pages are not offered
  void* base = VirtualAlloc(nullptr, 2 * page, MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(VirtualAlloc(base, 3 * page, MEM_COMMIT, PAGE_READWRITE), nullptr);  // runs past the end
  EXPECT_EQ(SLPlatformGetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_FALSE(VirtualFree(&onStack, 0, MEM_RELEASE));
  MEMORY_BASIC_INFORMATION info{};
  EXPECT_EQ(VirtualQuery(base, &info, sizeof(info) - 1), 0u);
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}
