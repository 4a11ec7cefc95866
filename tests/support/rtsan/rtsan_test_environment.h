#pragma once
// Starts RealtimeSanitizer before a test binary's first case. Death tests
// run in the thread-safe style (a fresh process per case), so a violation
// in one case ends only that case's process.
//
// Include once per test binary, in one translation unit.

#include <gtest/gtest.h>

#include "tests/support/rtsan/rtsan_scope.h"

namespace igb::rtsan {

class TestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    initialize();
  }
};

inline const auto* const kTestEnvironment = ::testing::AddGlobalTestEnvironment(new TestEnvironment);

}  // namespace igb::rtsan
