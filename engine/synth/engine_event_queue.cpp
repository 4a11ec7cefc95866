#include "engine/synth/engine_event_queue.h"

#include <thread>

void EngineEventQueue::acquire() {
  while (busy_.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
}

bool EngineEventQueue::push(uint64_t hostTime, uint32_t kind, uint32_t a, uint32_t b) {
  acquire();
  if (size_ == kCapacity) {
    release();
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  entries_[size_++] = EngineEventQueueEntry{hostTime, kind, a, b};
  release();
  return true;
}

size_t EngineEventQueue::size() {
  acquire();
  const size_t n = size_;
  release();
  return n;
}
