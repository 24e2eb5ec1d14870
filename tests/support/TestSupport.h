// Helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "foundation/SLError.h"

// Registers every class record of every layer, in the program's fixed order.
void SLTestRegisterClasses();

// Runs a shell command and returns what it wrote to standard output, bytes as they came.
std::string SLTestCapture(const std::string& command);
// Runs a python script (the trusted peer of many tests) and returns what it printed.
std::string SLTestRunPython(const std::string& script);

// The answer of a call and the error code it left, against the expected pair.
inline ::testing::AssertionResult SLAnsweredWith(bool answered, bool expected, u32 code) {
  const u32 left = SLGetLastError();
  if (answered == expected && left == code) return ::testing::AssertionSuccess();
  auto hex = [](u32 value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
  };
  return ::testing::AssertionFailure() << "answered " << (answered ? "true" : "false") << " with " << hex(left)
                                       << ", expected " << (expected ? "true" : "false") << " with " << hex(code);
}

// What a storage reports as its position and its size (all ones where it fails).
template <class Storage>
u64 SLTestPosition(Storage& storage) {
  u64 value = 0;
  return storage.GetPosition(&value) ? value : ~0ull;
}
template <class Storage>
u64 SLTestSize(Storage& storage) {
  u64 value = 0;
  return storage.GetSize(&value) ? value : ~0ull;
}

// The call answers false, null or zero and leaves `code` as the thread's error code.
#define SL_EXPECT_FAIL(call, code) EXPECT_TRUE(SLAnsweredWith(static_cast<bool>(call), false, static_cast<u32>(code)))
// The call answers true (non-null, non-zero) and leaves the error code clear.
#define SL_EXPECT_OK(call) EXPECT_TRUE(SLAnsweredWith(static_cast<bool>(call), true, SL_OK))
