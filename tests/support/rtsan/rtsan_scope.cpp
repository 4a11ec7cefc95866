#include "tests/support/rtsan/rtsan_scope.h"

#include <cstdlib>
#include <mutex>

namespace igb::rtsan {

void initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    setenv("RTSAN_OPTIONS", "symbolize=0", 0);
    __rtsan_init();
  });
}

}  // namespace igb::rtsan
