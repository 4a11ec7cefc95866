#pragma once
// Host time: the clock every time stamp in the system is read from.
//
// Ticks are nanoseconds of CLOCK_MONOTONIC_RAW, the clock the Link library
// reads on Linux, so Link times and our time stamps compare directly. The
// timebase is therefore 1/1.
//
// Thread-safe and real-time-safe (a vDSO call, no lock, no allocation).

#include <cstdint>

namespace platform {

struct Timebase {
  uint32_t numer;
  uint32_t denom;
};

// Current host time in ticks.
uint64_t hostTime();

// Ticks × numer ÷ denom = nanoseconds.
Timebase hostTimebase();

inline uint64_t hostTicksToNanos(uint64_t ticks) {
  const Timebase tb = hostTimebase();
  return ticks * tb.numer / tb.denom;
}
inline uint64_t nanosToHostTicks(uint64_t nanos) {
  const Timebase tb = hostTimebase();
  return nanos * tb.denom / tb.numer;
}
inline double hostTicksToSeconds(uint64_t ticks) {
  return static_cast<double>(hostTicksToNanos(ticks)) * 1e-9;
}

}  // namespace platform
