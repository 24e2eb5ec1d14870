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

TEST(Arrays, LargerElementsAreCopiedWhole) {
  TSLArray<Element12> array;
  for (u32 i = 0; i < 40; ++i) ASSERT_TRUE(array.InsertAt(Element12{i, i * 2, i * 3}, 0));
  for (u32 i = 0; i < 40; ++i) {
    EXPECT_EQ(array[i].a, 39 - i);
    EXPECT_EQ(array[i].c, (39 - i) * 3);
  }
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
  }
  EXPECT_EQ(g_allocCalls, 0);
  EXPECT_EQ(header.data, nullptr);
  EXPECT_EQ(header.capacity, 0u);
  EXPECT_EQ(header.count, 0u);
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

TEST(Arrays, ReserveCutsNothingAndKeepsCount) {
  TSLArray<u32> array;
  for (u32 i = 0; i < 5; ++i) array.Add(i);
  EXPECT_TRUE(array.Reserve(100));
  EXPECT_EQ(array.GetCapacity(), 128u);
  EXPECT_EQ(array.GetCount(), 5u);
  EXPECT_TRUE(array.Reserve(10));  // smaller than held: nothing changes
  EXPECT_EQ(array.GetCapacity(), 128u);
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

TEST(Arrays, RemoveAtClosesTheGapAndChecksItsRange) {
  TSLArray<u32> array;
  for (u32 i = 0; i < 10; ++i) array.Add(i);
  SL_EXPECT_FAIL(array.RemoveAt(10), SL_E_INDEX);
  SL_EXPECT_FAIL(array.RemoveAt(0, 0), SL_E_INDEX);
  EXPECT_TRUE(array.RemoveAt(2, 3));
  std::vector<u32> left(array.begin(), array.end());
  EXPECT_EQ(left, (std::vector<u32>{0, 1, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(array.RemoveAt(5, 1000));  // cut at the end
  EXPECT_EQ(array.GetCount(), 5u);
  EXPECT_EQ(array.GetData()[5], 0u);
}

TEST(Arrays, SixteenByteFormsAndPairs) {
  struct Timer {
    u32 id, period, due, flags;
  };
  SLArrayHeader header;
  for (u32 i = 0; i < 40; ++i) {
    Timer t{i, 0, 0, 0};
    ASSERT_TRUE(SLArray16InsertAt(&header, &t, 0xFFFFFFFFu));
  }
  EXPECT_EQ(header.capacity, 64u);
  EXPECT_TRUE(SLArray16RemoveAt(&header, 0, 39));
  EXPECT_EQ(header.count, 1u);
  EXPECT_EQ(static_cast<Timer*>(header.data)[0].id, 39u);
  SL_EXPECT_FAIL(SLArray16RemoveAt(&header, 1, 1), SL_E_INDEX);
  EXPECT_TRUE(SLArray16SetSize(&header, 33));
  EXPECT_EQ(static_cast<Timer*>(header.data)[32].id, 0u);
  SLSetLastError(0x80020001u);
  SLArrayFreeAll(&header);
  EXPECT_EQ(SLGetLastError(), 0x80020001u);
  EXPECT_EQ(header.capacity, 0u);
  EXPECT_EQ(header.data, nullptr);

  TSLPairArray<int, const char*> pairs;
  ASSERT_TRUE(pairs.InsertAt(1, "one", 0));
  ASSERT_TRUE(pairs.InsertAt(0, "zero", 0));
  EXPECT_STREQ(pairs[1].second, "one");
  ASSERT_TRUE(pairs.SetSize(3));
  EXPECT_EQ(pairs[2].second, nullptr);
}

TEST(Arrays, FreeAllFreesEveryElementAndKeepsTheCode) {
  TSLPtrArray<char> array;
  for (int i = 0; i < 50; ++i) array.Add(static_cast<char*>(SLAlloc(100)));
  SLSetLastError(0x80020001u);
  array.FreeAll();  // the leak checker of the sanitizer build sees any block left
  EXPECT_EQ(SLGetLastError(), 0x80020001u);
  EXPECT_EQ(array.GetCount(), 0u);
  EXPECT_EQ(array.GetCapacity(), 0u);
}

// ---- ring buffer -------------------------------------------------------------------------

TEST(RingBuffer, CapacityRoundsTo4096AndZeroEmpties) {
  CSLCircularBuffer ring;
  EXPECT_TRUE(ring.SetCapacity(1));
  EXPECT_EQ(ring.GetCapacity(), 4096u);
  EXPECT_TRUE(ring.SetCapacity(0));
  EXPECT_EQ(ring.GetCapacity(), 0u);
  u8* p = reinterpret_cast<u8*>(1);
  u32 n = 5;
  SL_EXPECT_FAIL(ring.GetReadRegions(&p, &n, nullptr, nullptr), SL_E_NOT_INITIALISED);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(ring.GetWriteRegions(nullptr, nullptr, nullptr, nullptr));
  SL_EXPECT_FAIL(ring.CommitRead(0), SL_E_NOT_INITIALISED);
  EXPECT_FALSE(ring.CommitWrite(0));
}

TEST(RingBuffer, TwoSpansAcrossTheWrap) {
  CSLCircularBuffer ring;
  ASSERT_TRUE(ring.SetCapacity(4096));
  std::vector<u8> filler(4000, 1);
  ASSERT_TRUE(ring.Write(filler.data(), 4000, false));
  ASSERT_TRUE(ring.CommitRead(4000));
  std::vector<u8> data(200);
  for (int i = 0; i < 200; ++i) data[i] = u8(i);
  ASSERT_TRUE(ring.Write(data.data(), 200, false));

  u8 *p1, *p2;
  u32 n1, n2;
  ASSERT_TRUE(ring.GetReadRegions(&p1, &n1, &p2, &n2));
  EXPECT_EQ(n1, 96u);
  EXPECT_EQ(n2, 104u);
  EXPECT_EQ(p1[0], 0);
  EXPECT_EQ(p2[0], 96);
  ASSERT_TRUE(ring.GetWriteRegions(&p1, &n1, &p2, &n2));
  EXPECT_EQ(n1, 4096u - 200u);  // from 104 up to the read position, one span
  EXPECT_EQ(n2, 0u);
  EXPECT_EQ(p2, nullptr);
  ASSERT_TRUE(ring.CommitRead(96));
  ASSERT_TRUE(ring.GetReadRegions(&p1, &n1, &p2, &n2));
  EXPECT_EQ(n1, 104u);  // the read position wrapped to 0
  EXPECT_EQ(p1[0], 96);
  EXPECT_EQ(n2, 0u);
}

TEST(RingBuffer, WriteGrowsOrRefuses) {
  CSLCircularBuffer ring;
  std::vector<u8> data(5000, 3);
  ASSERT_TRUE(ring.Write(data.data(), 5000, true));
  EXPECT_EQ(ring.GetCapacity(), 8192u);
  CSLCircularBuffer fixed;
  ASSERT_TRUE(fixed.SetCapacity(4096));
  ASSERT_TRUE(fixed.Write(data.data(), 4096, false));
  SL_EXPECT_FAIL(fixed.Write(data.data(), 1, false), SL_E_BUFFER_TOO_SMALL);
  SL_EXPECT_FAIL(fixed.Write(nullptr, 1, true), SL_E_NULL_DATA);
  SL_EXPECT_FAIL(fixed.Write(data.data(), 0, true), SL_E_BAD_SIZE);
  SL_EXPECT_FAIL(fixed.CommitRead(4097), SL_E_BAD_SIZE);
  SL_EXPECT_FAIL(fixed.CommitWrite(1), SL_E_BAD_SIZE);
}

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

TEST(Rect, RightAndBottomEdgesAreOutside) {
  SLRect rect{10, 20, 5, 4};
  EXPECT_TRUE(rect.ContainsPoint(10, 20));
  EXPECT_TRUE(rect.ContainsPoint(14, 23));
  EXPECT_FALSE(rect.ContainsPoint(15, 20));
  EXPECT_FALSE(rect.ContainsPoint(10, 24));
  EXPECT_FALSE(rect.ContainsPoint(9, 20));
  SLRect far{0x7FFFFFF0, 0, 0x7FFFFFFF, 1};  // the right edge lies past 32 bits
  EXPECT_TRUE(far.ContainsPoint(0x7FFFFFFF, 0));
}

TEST(AutoPtr, ResetToTheSameBlockKeepsIt) {
  TSLAutoPtr owner(SLAlloc(10));
  void* block = owner.Get();
  owner.Reset(block);
  EXPECT_EQ(owner.Get(), block);
  static_cast<char*>(block)[9] = 1;  // still ours
  owner.Reset(SLAlloc(20));
  EXPECT_NE(owner.Get(), nullptr);
}
