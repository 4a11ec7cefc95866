#include "platform/foundation/host_time.h"

#include <ctime>

namespace platform {

uint64_t hostTime() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

Timebase hostTimebase() { return Timebase{1, 1}; }

}  // namespace platform
