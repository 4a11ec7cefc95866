#pragma once
// Where the sequencer reads "now" from.
//
// Commands and Link ticks are stamped in host ticks. The sequencer asks this
// clock only when it has to stamp something itself (a Link enable change, a
// Link start or stop posted with time 0), so tests drive it with a fake clock
// and see exact frames.
//
// now() is called on the render thread: implementations must not block.

#include <cstdint>

class HostClock {
 public:
  virtual ~HostClock() = default;
  virtual uint64_t now() = 0;
};

// The platform's host time (CLOCK_MONOTONIC_RAW nanoseconds). Lives forever.
HostClock& systemHostClock();
