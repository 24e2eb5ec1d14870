// The monotonic clock of the performance counter and the multimedia timer, with the
// fake time that tests put in its place.
#include <time.h>

#include <atomic>

#include "platform/kernel32/Modules.h"

namespace {
std::atomic<bool> g_testClockOn{false};
std::atomic<std::uint64_t> g_testClockNs{0};
}  // namespace

void SLPlatformSetTestClock(bool enabled, std::uint64_t nanoseconds) {
  g_testClockNs.store(nanoseconds, std::memory_order_relaxed);
  g_testClockOn.store(enabled, std::memory_order_release);
}

std::uint64_t SLPlatformMonotonicNs() {
  if (g_testClockOn.load(std::memory_order_acquire)) return g_testClockNs.load(std::memory_order_relaxed);
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::uint64_t(now.tv_sec) * 1000000000u + std::uint64_t(now.tv_nsec);
}
