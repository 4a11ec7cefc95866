#include "engine/synth/engine_event.h"

void EngineEventList::sort() {
  for (size_t i = 1; i < size_; ++i) {
    const EngineEvent e = events_[i];
    const int32_t key = e.sortKey();
    size_t j = i;
    while (j > 0 && events_[j - 1].sortKey() > key) {
      events_[j] = events_[j - 1];
      --j;
    }
    events_[j] = e;
  }
}
