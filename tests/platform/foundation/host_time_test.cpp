#include "platform/foundation/host_time.h"

#include <gtest/gtest.h>

#include <ctime>

TEST(HostTime, IsMonotonicRawNanoseconds) {
  timespec before{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &before);
  const uint64_t t = platform::hostTime();
  timespec after{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &after);
  const uint64_t b = uint64_t(before.tv_sec) * 1000000000ull + uint64_t(before.tv_nsec);
  const uint64_t a = uint64_t(after.tv_sec) * 1000000000ull + uint64_t(after.tv_nsec);
  EXPECT_LE(b, t);
  EXPECT_LE(t, a);
  EXPECT_EQ(platform::hostTimebase().numer, 1u);
  EXPECT_EQ(platform::hostTimebase().denom, 1u);
  EXPECT_EQ(platform::hostTicksToNanos(12345), 12345u);
  EXPECT_DOUBLE_EQ(platform::hostTicksToSeconds(1500000000ull), 1.5);
}
