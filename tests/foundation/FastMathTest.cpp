#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLFastMath.h"

namespace {
constexpr double kPi = 3.141592653589793;
}

TEST(FastMath, CardinalAngles) {
  SLSetLastError(0x1234);
  EXPECT_EQ(SLFastSin(0), 0.0);
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_EQ(SLFastSin(900), 1.0);
  EXPECT_EQ(SLFastCos(0), 1.0);
  // The cosine reads the sine table a quarter turn on: cos 90 degrees is sin 180 degrees as the
  // C library computes it, a tiny value and not exactly 0.
  EXPECT_EQ(SLFastCos(900), std::sin(1800 * kPi / 1800));
  EXPECT_NE(SLFastCos(900), 0.0);
  EXPECT_EQ(SLFastSin(2700), -1.0);
}

TEST(FastMath, ReductionModuloFullTurn) {
  EXPECT_EQ(SLFastSin(3600), SLFastSin(0));
  EXPECT_EQ(SLFastCos(7199), SLFastCos(3599));
  EXPECT_EQ(SLFastCos(3599), std::sin(4499 * kPi / 1800));  // the table's last entry
  // The unsigned form of -1 reduces to 1695, not to 3599.
  EXPECT_EQ(SLFastSin(4294967295u), SLFastSin(1695));
  EXPECT_NE(SLFastSin(4294967295u), SLFastSin(3599));
}

TEST(FastMath, WholeTableMatchesLibrary) {
  for (u32 a = 0; a < 3600; ++a) {
    ASSERT_EQ(SLFastSin(a), std::sin(a * kPi / 1800)) << a;
    ASSERT_NEAR(SLFastCos(a), std::cos(a * kPi / 1800), 1e-15) << a;
  }
}

TEST(FastMath, FirstUseFromManyThreads) {
  std::vector<std::thread> threads;
  std::vector<double> results(8);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([i, &results] { results[i] = SLFastSin(300) + SLFastCos(600); });
  for (auto& t : threads) t.join();
  for (double r : results) EXPECT_NEAR(r, 1.0, 1e-15);  // sin 30 + cos 60
}
