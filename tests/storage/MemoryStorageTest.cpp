// The memory storage: its three forms, capacities, gaps, and the size checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/SLMemory.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Pattern(size_t n, int seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + seed * 7) >> 3);
  return s;
}

std::string ReadAt(CSLMemoryStorage& m, u64 position, u64 count) {
  std::string out(count, '\0');
  EXPECT_TRUE(m.Seek(i64(position), SL_SEEK_BEGIN));
  out.resize(m.Read(out.data(), count));
  return out;
}

TEST(MemoryStorage, ChunkedGrowthAndReadsAcrossChunks) {
  CSLMemoryStorage m;
  std::string head = Pattern(10), tail = Pattern(40000, 2);
  EXPECT_EQ(m.Write(head.data(), 10), 10u);
  EXPECT_EQ(m.GetCapacity(), 32768u);
  EXPECT_EQ(m.Write(tail.data(), tail.size()), tail.size());
  EXPECT_EQ(m.GetCapacity(), 65536u);
  EXPECT_EQ(SLTestSize(m), 40010u);
  EXPECT_EQ(ReadAt(m, 0, 40010), head + tail);
  EXPECT_EQ(ReadAt(m, 32760, 20), (head + tail).substr(32760, 20));
  EXPECT_EQ(m.GetDataPointer(), nullptr);
  // The rest of the content and the end code.
  EXPECT_EQ(ReadAt(m, 40000, 100).size(), 10u);
  EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
  char byte;
  SL_EXPECT_FAIL(m.Read(&byte, 1), SL_E_STORAGE_EOF);
  EXPECT_TRUE(m.IsEOF());
}

TEST(MemoryStorage, SequentialSmallReadsFollowTheChunks) {
  CSLMemoryStorage m;
  std::string content;
  for (int i = 0; i < 7; ++i) {
    std::string piece = Pattern(30000 + i * 1234, i);
    ASSERT_EQ(m.Write(piece.data(), piece.size()), piece.size());
    content += piece;
  }
  ASSERT_TRUE(m.Seek(0, SL_SEEK_BEGIN));
  std::string read;
  char buffer[7];
  while (u64 got = m.Read(buffer, sizeof buffer)) read.append(buffer, got);
  EXPECT_EQ(read, content);
  // Backwards after forwards: the remembered chunk must not be trusted past its start.
  EXPECT_EQ(ReadAt(m, 5, 50000), content.substr(5, 50000));
  EXPECT_EQ(ReadAt(m, 150000, 10), content.substr(150000, 10));
  EXPECT_EQ(ReadAt(m, 1, 3), content.substr(1, 3));
}

TEST(MemoryStorage, SizesThatDoNotFitAreRefusedAndChangeNothing) {
  for (bool contiguous : {true, false}) {
    CSLMemoryStorage m(contiguous, 4096);
    std::string content = Pattern(100);
    ASSERT_EQ(m.Write(content.data(), 100), 100u);
    u64 capacity = m.GetCapacity();
    // Near 4 GiB the rounded block (plus its header) no longer fits a 32-bit size; a
    // chunk is refused when the growth itself does not fit or lies within 32 of 2^32.
    std::vector<u64> sizes = contiguous
                                 ? std::vector<u64>{0xFFFFF000ull, 0xFFFFFFFFull, 0x100000000ull, ~0ull - 10}
                                 : std::vector<u64>{capacity + 0x100000000ull, capacity + 0xFFFFFFF0ull, ~0ull - 10};
    for (u64 size : sizes) {
      SL_EXPECT_FAIL(m.SetSize(size), SL_E_STORAGE_SET_SIZE) << size;
      EXPECT_EQ(SLTestSize(m), 100u);
      EXPECT_EQ(m.GetCapacity(), capacity);
    }
    // A write far out is refused the same way and writes nothing.
    ASSERT_TRUE(m.Seek(i64(contiguous ? 0xFFFFFF00ll : 0x200000000ll), SL_SEEK_BEGIN));
    SL_EXPECT_FAIL(m.Write("x", 1), SL_E_STORAGE_SET_SIZE);
    ASSERT_TRUE(m.Seek(-1, SL_SEEK_BEGIN));  // the offset taken as unsigned: 2^64 - 1
    SL_EXPECT_FAIL(m.Write("xy", 2), SL_E_BAD_SIZE);
    EXPECT_EQ(ReadAt(m, 0, 200), content);
  }
}

TEST(MemoryStorage, GapsAndShrunkBytesReadAsZero) {
  CSLMemoryStorage m;
  ASSERT_TRUE(m.Seek(100, SL_SEEK_BEGIN));
  ASSERT_EQ(m.Write("z", 1), 1u);
  EXPECT_EQ(SLTestSize(m), 101u);
  EXPECT_EQ(ReadAt(m, 0, 101), std::string(100, '\0') + "z");

  // Bytes cut off by a shrink do not come back with a later growth.
  std::string ones(50000, '\x11');
  ASSERT_TRUE(m.Seek(0, SL_SEEK_BEGIN));
  ASSERT_EQ(m.Write(ones.data(), ones.size()), ones.size());
  ASSERT_TRUE(m.SetSize(10));
  ASSERT_TRUE(m.SetSize(50000));
  EXPECT_EQ(ReadAt(m, 0, 50000), std::string(10, '\x11') + std::string(49990, '\0'));
  // The same at a chunk boundary.
  ASSERT_TRUE(m.Seek(0, SL_SEEK_BEGIN));
  ASSERT_EQ(m.Write(ones.data(), ones.size()), ones.size());
  ASSERT_TRUE(m.SetSize(32768));
  ASSERT_TRUE(m.SetSize(50000));
  EXPECT_EQ(ReadAt(m, 32768, 17232), std::string(17232, '\0'));
}

class ProgressMemory : public CSLMemoryStorage {
 public:
  void OnProgress(u32 operation, double percent, u32, u32*) override { reports.push_back({operation, percent}); }
  std::vector<std::pair<u32, double>> reports;
};

TEST(MemoryStorage, CallerBufferIsFixed) {
  for (bool own : {false, true}) {
    auto* buffer = static_cast<char*>(SLAlloc(16));
    std::memcpy(buffer, "0123456789abcdef", 16);
    {
      ProgressMemory m;
      ASSERT_TRUE(m.AttachBuffer(buffer, 16, own));
      EXPECT_EQ(m.GetDataPointer(), buffer);
      ASSERT_TRUE(m.Seek(12, SL_SEEK_BEGIN));
      SL_EXPECT_FAIL(m.Write("WXYZWXYZ", 8), SL_E_STORAGE_SET_SIZE);
      EXPECT_EQ(std::string(buffer, 16), "0123456789abcdef");
      EXPECT_EQ(ReadAt(m, 0, 20), "0123456789abcdef");
      EXPECT_EQ(SLGetLastError(), SL_E_STORAGE_EOF);
      SL_EXPECT_FAIL(m.SetSize(8), SL_E_STORAGE_SET_SIZE);
      ASSERT_TRUE(m.Seek(2, SL_SEEK_BEGIN));
      EXPECT_EQ(m.Write("AB", 2), 2u);
      EXPECT_EQ(std::string(buffer, 4), "01AB");
      m.reports.clear();
      m.Close();
      EXPECT_EQ(m.reports.size(), 2u);
      EXPECT_EQ(m.reports[0].first, SL_PROGRESS_CLOSE);
    }
    if (!own) SLFree(buffer);  // an owned buffer went with Close (ASan would see twice)
  }
}

// The fast read path against the plain one (taken whenever a progress hook listens), over
// every layout: the same bytes, count, position and code, short reads at the end included.
TEST(MemoryStorage, FastReadsAgreeWithPlainReadsOnEveryLayout) {
  enum Layout { kChunked, kContiguous, kCallerBuffer };
  for (Layout layout : {kChunked, kContiguous, kCallerBuffer}) {
    for (u64 size : {u64(1), u64(548), u64(32768), u64(40010)}) {
      const std::string content = Pattern(size_t(size), int(size));
      auto fill = [&](CSLMemoryStorage& m) {
        if (layout == kCallerBuffer) {
          ASSERT_TRUE(m.AttachBuffer(const_cast<char*>(content.data()), u32(size), false));
          return;
        }
        ASSERT_TRUE(m.SetContiguous(layout == kContiguous));
        // In pieces, then cut back: chunks of several sizes, and a chunk list the storage
        // no longer holds a place in.
        const std::string extra = content + Pattern(3000, 9);
        for (size_t at = 0; at < extra.size(); at += 2999) {
          const size_t piece = std::min<size_t>(2999, extra.size() - at);
          ASSERT_EQ(m.Write(extra.data() + at, piece), piece);
        }
        ASSERT_TRUE(m.SetSize(size));
      };
      CSLMemoryStorage fast;
      ProgressMemory plain;
      fill(fast);
      fill(plain);
      for (u64 position : {u64(0), size / 2, size - 1, size}) {
        for (u64 count : {u64(1), u64(7), size - position, size - position + 1, u64(4101), u64(70000)}) {
          SCOPED_TRACE(testing::Message() << "layout " << layout << " size " << size << " at " << position
                                          << " reading " << count);
          std::string a(count, 'A'), b(count, 'B');
          ASSERT_TRUE(fast.Seek(i64(position), SL_SEEK_BEGIN) && plain.Seek(i64(position), SL_SEEK_BEGIN));
          const u64 gotFast = fast.Read(a.data(), count);
          const u32 codeFast = SLGetLastError();
          const u64 gotPlain = plain.Read(b.data(), count);
          const u32 codePlain = SLGetLastError();
          EXPECT_EQ(gotFast, std::min(count, size - position));
          EXPECT_EQ(gotFast, gotPlain);
          EXPECT_EQ(codeFast, codePlain);
          EXPECT_EQ(codeFast, gotFast < count || position == size ? u32(SL_E_STORAGE_EOF) : u32(SL_OK));
          EXPECT_EQ(a.substr(0, gotFast), b.substr(0, gotPlain));
          EXPECT_EQ(SLTestPosition(fast), SLTestPosition(plain));
        }
      }
    }
  }
}

}  // namespace

TEST(MemoryStorage, ContiguousBlockSizes) {
  CSLMemoryStorage m(true, 100);  // steps below 4,096 become 4,096
  std::string content = Pattern(5000);
  ASSERT_EQ(m.Write(content.data(), 5000), 5000u);
  EXPECT_EQ(m.GetCapacity(), 8192u);
  ASSERT_NE(m.GetDataPointer(), nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(m.GetDataPointer()), 5000), content);
  ASSERT_TRUE(m.SetSize(4096));
  EXPECT_EQ(m.GetCapacity(), 8192u);  // exactly the size still gets a larger block
  CSLMemoryStorage exact(true, 4096);
  ASSERT_TRUE(exact.SetSize(4096));
  EXPECT_EQ(exact.GetCapacity(), 8192u);

  // Shrinking keeps the block above three quarters of it, else moves to a smaller one.
  const void* block = m.GetDataPointer();
  ASSERT_TRUE(m.SetSize(6500 - 2404));
  ASSERT_TRUE(m.SetSize(6500));
  EXPECT_EQ(m.GetDataPointer(), block);
  EXPECT_EQ(m.GetCapacity(), 8192u);
  ASSERT_TRUE(m.SetSize(1000));
  EXPECT_EQ(m.GetCapacity(), 4096u);
  EXPECT_EQ(ReadAt(m, 0, 1000), content.substr(0, 1000));
  ASSERT_TRUE(m.SetSize(3000));
  EXPECT_EQ(ReadAt(m, 1000, 2000), std::string(2000, '\0'));
}

TEST(MemoryStorage, MergingChunksIntoOneBlock) {
  CSLMemoryStorage m;
  std::string content = Pattern(70000);
  ASSERT_EQ(m.Write(content.data(), content.size()), content.size());
  EXPECT_EQ(m.GetDataPointer(), nullptr);
  ASSERT_TRUE(m.SetContiguous(true));
  ASSERT_NE(m.GetDataPointer(), nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(m.GetDataPointer()), content.size()), content);
  EXPECT_EQ(m.GetCapacity() % 4096, 0u);
  EXPECT_GT(m.GetCapacity(), content.size());
}

TEST(MemoryStorage, PositionsAndNullOutputs) {
  CSLMemoryStorage m;
  SL_EXPECT_FAIL(m.GetPosition(nullptr), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(m.GetSize(nullptr), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(m.Read(nullptr, 4), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(m.Write(nullptr, 4), SL_E_NULL_DATA);

  ASSERT_EQ(m.Write("0123456789", 10), 10u);
  ASSERT_TRUE(m.Seek(-3, SL_SEEK_CURRENT));
  EXPECT_EQ(SLTestPosition(m), 7u);
  ASSERT_TRUE(m.Seek(100, SL_SEEK_CURRENT));  // forward stops at the size
  EXPECT_EQ(SLTestPosition(m), 10u);
  ASSERT_TRUE(m.Seek(-100, SL_SEEK_END));     // back stops at 0
  EXPECT_EQ(SLTestPosition(m), 0u);
  ASSERT_TRUE(m.Seek(5, SL_SEEK_END));        // past the end from the end is allowed
  EXPECT_EQ(SLTestPosition(m), 15u);
  ASSERT_TRUE(m.SetSize(4));                   // a shrink below the position moves it
  EXPECT_EQ(SLTestPosition(m), 4u);
  // From beyond the end a forward move from the current position stops at the size
  // too, so the next write lands there and leaves no gap.
  for (i64 forward : {0, 3}) {
    ASSERT_TRUE(m.Seek(50, SL_SEEK_BEGIN));
    ASSERT_TRUE(m.Seek(forward, SL_SEEK_CURRENT));
    EXPECT_EQ(SLTestPosition(m), 4u) << forward;
  }
  ASSERT_EQ(m.Write("!", 1), 1u);
  EXPECT_EQ(SLTestSize(m), 5u);
  EXPECT_TRUE(m.CanRead() && m.CanWrite() && m.CanSeek() && m.Flush() && m.Lock(0, 1));
  SL_EXPECT_FAIL(m.OpenA("x", 0), SL_E_NOT_SUPPORTED);
}
