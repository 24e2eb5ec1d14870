#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/SLError.h"

TEST(ErrorCode, ResetReturnsCodeThenZero) {
  SLSetLastError(SL_E_INVALID_ARG);
  EXPECT_EQ(SLGetLastError(true), SL_E_INVALID_ARG);
  EXPECT_EQ(SLGetLastError(false), 0u);
}

TEST(ErrorCode, EightThreadsDoNotMix) {
  std::vector<std::thread> threads;
  std::vector<u32> seen(8);
  for (u32 i = 0; i < 8; ++i)
    threads.emplace_back([i, &seen] {
      EXPECT_EQ(SLGetLastError(false), 0u);  // a new thread starts at 0
      for (int round = 0; round < 1000; ++round) SLSetLastError(0x80000000u + i);
      seen[i] = SLGetLastError(false);
    });
  for (auto& t : threads) t.join();
  for (u32 i = 0; i < 8; ++i) EXPECT_EQ(seen[i], 0x80000000u + i);
}
