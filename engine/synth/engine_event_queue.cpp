#include "engine/synth/engine_event_queue.h"

bool EngineEventQueue::push(uint64_t hostTime, uint32_t kind, uint32_t a, uint32_t b) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (size_ == kCapacity) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  entries_[size_++] = EngineEventQueueEntry{hostTime, kind, a, b};
  return true;
}

size_t EngineEventQueue::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return size_;
}
