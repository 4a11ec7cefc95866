#pragma once
// One sequencer with every fake around it.

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>

#include "seq_fakes.h"

namespace seqtest {

class SeqRig {
 public:
  explicit SeqRig(bool withLink = false) {
    SeqServices services;
    services.clock = &clock;
    services.patternChangeGrid = [this] {
      if (onGridRead) onGridRead();
      return grid.load();
    };
    services.makeClockTracker = [this] {
      auto t = std::make_unique<FakeTracker>();
      tracker = t.get();
      return t;
    };
    if (withLink) {
      services.makeLink = [this](double tempo) {
        linkInitialTempo = tempo;
        auto l = std::make_unique<FakeLink>(tempo);
        link = l.get();
        return l;
      };
    }
    seq = std::make_unique<Seq>(&listener, kRate, services);
    listener.seq = seq.get();
    seq->setDataProvider(&provider);
    renderer = std::make_unique<Renderer>(*seq, listener, &io);
  }

  void allSteps(int32_t part) {
    for (int s = 0; s < 64; ++s) seq->setTriggerStep(part, s, true);
  }

  // A host time that the queue turns into exactly this absolute frame, for
  // render calls of `block` frames starting at multiples of `block`.
  uint64_t stampFor(int64_t frame, int32_t block = 512) const {
    const int64_t blockStart = frame / block * block;
    const double nanos = std::ceil(static_cast<double>(frame - blockStart) * 1e9 / 44100.0) + 1.0;
    return renderer->hostAt(blockStart) + static_cast<uint64_t>(nanos) - io.latency;
  }

  RecordingListener listener;
  FakeAudioIO io;
  FakeClock clock;
  MemoryProvider provider;
  std::atomic<int32_t> grid{0};
  // Runs on the render side each slice, between the commands and the
  // change point: a moment for a test to end a renumbering it holds.
  std::function<void()> onGridRead;
  FakeTracker* tracker = nullptr;
  FakeLink* link = nullptr;
  double linkInitialTempo = 0.0;
  std::unique_ptr<Seq> seq;
  std::unique_ptr<Renderer> renderer;
};

}  // namespace seqtest
