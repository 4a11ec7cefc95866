#include "library/library_writes.h"

#include <mutex>

namespace {
std::mutex gMutex;
std::optional<std::string> gRefusal;
}  // namespace

void LibraryWrites::refuse(std::string reason) {
  std::lock_guard lock(gMutex);
  gRefusal = std::move(reason);
}

void LibraryWrites::refuseUntilRecovered(const std::string& why) {
  refuse("the library is not written until a start finishes the interrupted restore (" + why + ")");
}

void LibraryWrites::allow() {
  std::lock_guard lock(gMutex);
  gRefusal.reset();
}

std::optional<std::string> LibraryWrites::refusal() {
  std::lock_guard lock(gMutex);
  return gRefusal;
}
