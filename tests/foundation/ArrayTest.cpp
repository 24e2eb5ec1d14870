#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "tests/support/TestSupport.h"

namespace {

int g_allocCalls = 0;
bool g_allocFails = false;
void* CountingAlloc(u32 bytes) {
  ++g_allocCalls;
  if (g_allocFails) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  return SLAlloc(bytes);
}

struct Element12 {
  u32 a, b, c;
};

}  // namespace

// ---- growth ------------------------------------------------------------------------------

TEST(Arrays, GrowInStepsOf32AndAppendPastTheCount) {
  TSLArray<u32> array;
  EXPECT_TRUE(array.InsertAt(7, 0));
  EXPECT_EQ(array.GetCapacity(), 32u);
  for (u32 i = 1; i < 32; ++i) array.Add(i);
  EXPECT_EQ(array.GetCapacity(), 32u);
  EXPECT_TRUE(array.InsertAt(100, 5000));  // beyond the count: appends
  EXPECT_EQ(array.GetCapacity(), 64u);
  EXPECT_EQ(array.GetCount(), 33u);
  EXPECT_EQ(array[32], 100u);
  EXPECT_TRUE(array.InsertAt(55, 1));
  EXPECT_EQ(array[0], 7u);
  EXPECT_EQ(array[1], 55u);
  EXPECT_EQ(array[2], 1u);
  EXPECT_EQ(array[33], 100u);
  // Past the count the new block is zero.
  EXPECT_EQ(array.GetData()[40], 0u);
}

TEST(Arrays, GrowthThatOverflowsFailsWithoutAllocating) {
  SLArrayHeader header;
  header.allocFunc = &CountingAlloc;
  g_allocCalls = 0;
  struct Case {
    u32 elementSize, count;
  } cases[] = {
      {4, 0xFFFFFFF0u},    // the count rounded up to 32 does not fit
      {4, 0xFFFFFFFFu},
      {16, 0x10000000u},   // capacity x element size reaches 4 GiB
      {0x10000, 0x10000},
  };
  for (const Case& c : cases) {
    SLSetLastError(0);
    SL_EXPECT_FAIL(SLArrayGrow(&header, c.elementSize, c.count), SL_E_OUT_OF_MEMORY);
    SL_EXPECT_FAIL(SLArrayReserve(&header, c.elementSize, c.count), SL_E_OUT_OF_MEMORY);
    SL_EXPECT_FAIL(SLArraySetSize(&header, c.elementSize, c.count), SL_E_OUT_OF_MEMORY);
    SL_EXPECT_FAIL(SLArraySetSizeExact(&header, c.elementSize, c.count), SL_E_OUT_OF_MEMORY);
  }
  EXPECT_EQ(g_allocCalls, 0);
  EXPECT_EQ(header.data, nullptr);
  EXPECT_EQ(header.capacity, 0u);
  EXPECT_EQ(header.count, 0u);
}

TEST(Arrays, ExactSizeTakesTheCountAndLaterGrowthStepsBy32Again) {
  SLArrayHeader header;
  ASSERT_TRUE(SLArraySetSizeExact(&header, sizeof(Element12), 2));
  EXPECT_EQ(header.capacity, 2u);
  EXPECT_EQ(header.count, 2u);
  auto* elements = static_cast<Element12*>(header.data);
  EXPECT_EQ(elements[0].a | elements[1].c, 0u);
  elements[1] = {4, 5, 6};
  // Within the block nothing moves; a shrink and regrowth reads zero again.
  const void* block = header.data;
  ASSERT_TRUE(SLArraySetSizeExact(&header, sizeof(Element12), 1));
  ASSERT_TRUE(SLArraySetSizeExact(&header, sizeof(Element12), 2));
  EXPECT_EQ(header.data, block);
  EXPECT_EQ(static_cast<Element12*>(header.data)[1].b, 0u);
  static_cast<Element12*>(header.data)[1] = {4, 5, 6};
  ASSERT_TRUE(SLArraySetSize(&header, sizeof(Element12), 3));
  EXPECT_EQ(header.capacity, 32u);
  EXPECT_EQ(static_cast<Element12*>(header.data)[1].c, 6u);
  EXPECT_EQ(static_cast<Element12*>(header.data)[2].a, 0u);
  Element12 extra{7, 8, 9};
  ASSERT_TRUE(SLArrayInsertAt(&header, sizeof(Element12), &extra, 0));
  EXPECT_EQ(static_cast<Element12*>(header.data)[2].b, 5u);
  SLArrayFreeAll(&header);
  EXPECT_EQ(header.capacity, 0u);
}

TEST(Arrays, AllocationFailureLeavesTheArrayAsItWas) {
  TSLArray<u32> array;
  array.SetAllocator(&CountingAlloc, nullptr);
  for (u32 i = 0; i < 32; ++i) array.Add(i);
  u32* data = array.GetData();
  g_allocFails = true;
  SL_EXPECT_FAIL(array.Add(99), SL_E_OUT_OF_MEMORY);
  EXPECT_FALSE(array.SetSize(100));
  g_allocFails = false;
  EXPECT_EQ(array.GetCount(), 32u);
  EXPECT_EQ(array.GetCapacity(), 32u);
  EXPECT_EQ(array.GetData(), data);
  EXPECT_EQ(array[31], 31u);
}

TEST(Arrays, PointerArraySetSizeZeroesWhatAShrinkLeftBehind) {
  TSLPtrArray<char> array;
  char marks[10];
  for (char& m : marks) ASSERT_TRUE(array.Add(&m));
  ASSERT_TRUE(array.SetSize(2));
  EXPECT_EQ(array.GetCapacity(), 32u);
  ASSERT_TRUE(array.SetSize(10));  // within the capacity: no new block
  EXPECT_EQ(array[0], &marks[0]);
  for (u32 i = 2; i < 10; ++i) EXPECT_EQ(array[i], nullptr) << i;
  ASSERT_TRUE(array.SetSize(70));
  for (u32 i = 10; i < 70; ++i) EXPECT_EQ(array[i], nullptr) << i;
}

// ---- ring buffer -------------------------------------------------------------------------

TEST(RingBuffer, ShrinkBelowTheContentFailsAndKeepsIt) {
  CSLCircularBuffer ring;
  std::vector<u8> data(6000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = u8(i * 7);
  ASSERT_TRUE(ring.Write(data.data(), 6000, true));
  SL_EXPECT_FAIL(ring.SetCapacity(5000), SL_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(ring.GetUsed(), 6000u);
  u8 *p1, *p2;
  u32 n1, n2;
  ring.GetReadRegions(&p1, &n1, &p2, &n2);
  EXPECT_EQ(std::memcmp(p1, data.data(), 6000), 0);
}

TEST(RingBuffer, CapacityThatCannotBeRoundedChangesNothing) {
  CSLCircularBuffer ring;
  std::vector<u8> data(100, 9);
  ASSERT_TRUE(ring.Write(data.data(), 100, true));
  for (u32 request : {0xFFFFF001u, 0xFFFFFFFFu}) {
    SL_EXPECT_FAIL(ring.SetCapacity(request), SL_E_OUT_OF_MEMORY);
    EXPECT_EQ(ring.GetCapacity(), 4096u);
    EXPECT_EQ(ring.GetUsed(), 100u);
  }
  CSLCircularBuffer empty;
  EXPECT_FALSE(empty.SetCapacity(0xFFFFFFFFu));
  EXPECT_EQ(empty.GetCapacity(), 0u);
}

TEST(RingBuffer, RandomTrafficMatchesAQueue) {
  std::mt19937 random(5);
  CSLCircularBuffer ring;
  std::deque<u8> model;
  u8 next = 0;
  for (int step = 0; step < 20000; ++step) {
    if (random() % 2) {
      u32 size = 1 + random() % 3000;
      std::vector<u8> data(size);
      for (u8& b : data) b = next++;
      bool grow = random() % 4 != 0;
      bool fits = model.size() + size <= ring.GetCapacity();
      ASSERT_EQ(ring.Write(data.data(), size, grow), fits || grow);
      if (fits || grow) model.insert(model.end(), data.begin(), data.end());
      else next = u8(next - size);
    } else if (!model.empty()) {
      u8 *p1, *p2;
      u32 n1, n2;
      ASSERT_TRUE(ring.GetReadRegions(&p1, &n1, &p2, &n2));
      ASSERT_EQ(n1 + n2, model.size());
      u32 take = 1 + random() % u32(model.size());
      for (u32 i = 0; i < take; ++i) {
        u8 got = i < n1 ? p1[i] : p2[i - n1];
        ASSERT_EQ(got, model.front());
        model.pop_front();
      }
      ASSERT_TRUE(ring.CommitRead(take));
    }
    ASSERT_EQ(ring.GetUsed(), model.size());
  }
}

// ---- the rest -----------------------------------------------------------------------------
