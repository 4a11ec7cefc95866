#include "engine/seq/host_clock.h"

#include "platform/foundation/host_time.h"

namespace {

class SystemHostClock final : public HostClock {
 public:
  uint64_t now() override { return platform::hostTime(); }
};

}  // namespace

HostClock& systemHostClock() {
  static SystemHostClock clock;
  return clock;
}
