// Shared main for every test program: registers the framework's classes first,
// as the program does before its own main runs.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

int main(int argc, char** argv) {
  SLTestRegisterClasses();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
