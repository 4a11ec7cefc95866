#include "engine/observer/synth_observer.h"

#include <cstdio>

#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

using platform::Dictionary;
using platform::Value;

SynthObserver* SynthObserver::getInstance() {
  static SynthObserver* instance =
      new SynthObserver(platform::RunLoop::main(), platform::NotificationCenter::defaultCenter());
  instance->resumeDraining();
  return instance;
}

SynthObserver::SynthObserver(platform::RunLoop& loop, platform::NotificationCenter& center)
    : loop_(loop), center_(center), cells_(std::make_unique<std::array<Cell, kCapacity>>()) {
  for (size_t i = 0; i < kCapacity; ++i) (*cells_)[i].sequence.store(i, std::memory_order_relaxed);
  resumeDraining();
  // Whatever wakes the loop (a touch, a frame, another timer) also brings
  // the notifications waiting by then, before the pass draws.
  passObserver_ = loop_.addPassObserver(
      [this] {
        if (!draining_) drain();
      },
      -100);
}

SynthObserver::~SynthObserver() {
  if (timer_) timer_->invalidate();
  loop_.removePassObserver(passObserver_);
}

void SynthObserver::resumeDraining() {
  if (timer_ && timer_->isValid()) return;
  timer_ = loop_.scheduleTimer(timerInterval_, true, [this](platform::Timer&) { drain(); });
}

void SynthObserver::pace(bool tookAny) {
  const double now = loop_.now();
  if (tookAny) lastRecordAt_ = now;
  const double want = now - lastRecordAt_ < kBusySpan ? kBusyDrainInterval : kDrainInterval;
  if (want == timerInterval_ && timer_ && timer_->isValid()) return;
  if (timer_) timer_->invalidate();
  timerInterval_ = want;
  timer_ = loop_.scheduleTimer(timerInterval_, true, [this](platform::Timer&) { drain(); });
}

void SynthObserver::push(Kind kind, int64_t a, int64_t b, double d) {
  // The loop's own thread makes room here without posting (its handlers
  // must not run inside a callback): what it takes came before this record,
  // and the drain it schedules posts it first, so the order holds.
  if (enqueuePos_.load(std::memory_order_relaxed) - dequeuePosition() >= kCapacity / 2 && loop_.isCurrentThread()) {
    takeFromRing();
    if (!drainScheduled_) {
      drainScheduled_ = true;
      loop_.perform([this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired()) return;
        drainScheduled_ = false;
        drain();
      });
    }
  }
  uint64_t pos = enqueuePos_.load(std::memory_order_relaxed);
  for (;;) {
    Cell& cell = (*cells_)[pos % kCapacity];
    const uint64_t seq = cell.sequence.load(std::memory_order_acquire);
    const int64_t diff = static_cast<int64_t>(seq) - static_cast<int64_t>(pos);
    if (diff == 0) {
      if (enqueuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        cell.record = Record{kind, a, b, d};
        cell.sequence.store(pos + 1, std::memory_order_release);
        return;
      }
    } else if (diff < 0) {
      dropped_.fetch_add(1, std::memory_order_relaxed);  // full: never wait
      return;
    } else {
      pos = enqueuePos_.load(std::memory_order_relaxed);
    }
  }
}

void SynthObserver::drain() {
  takeFromRing();
  const bool tookAny = !taken_.empty();
  draining_ = true;
  // A handler's own callbacks may add to taken_ meanwhile; they come after.
  while (!taken_.empty()) {
    const Record r = taken_.front();
    taken_.pop_front();
    post(r);
  }
  draining_ = false;
  reportDrops();
  pace(tookAny);
}

void SynthObserver::takeFromRing() {
  for (;;) {
    const uint64_t at = dequeuePos_.load(std::memory_order_relaxed);
    Cell& cell = (*cells_)[at % kCapacity];
    const uint64_t seq = cell.sequence.load(std::memory_order_acquire);
    if (static_cast<int64_t>(seq) - static_cast<int64_t>(at + 1) < 0) break;  // empty
    const Record r = cell.record;
    cell.sequence.store(at + kCapacity, std::memory_order_release);
    dequeuePos_.store(at + 1, std::memory_order_relaxed);
    taken_.push_back(r);
  }
}

void SynthObserver::reportDrops() {
  if (dropsReported_) return;
  const uint64_t dropped = dropped_.load(std::memory_order_relaxed);
  if (dropped == 0) return;
  dropsReported_ = true;
  const std::string text = "engine observer: the ring of " + std::to_string(kCapacity) +
                           " notifications was full; " + std::to_string(dropped) +
                           " dropped so far (later drops are counted, not reported)";
  if (log_) log_(text);
  else std::fprintf(stderr, "igroovebix: %s\n", text.c_str());
}

void SynthObserver::post(const Record& r) {
  auto number = [](int64_t v) { return Value(v); };
  switch (r.kind) {
    case kTriggeredOn: center_.post("synthTriggeredOn", {}, Dictionary{{"partId", number(r.a)}}); break;
    case kTriggeredOff: center_.post("synthTriggeredOff", {}, Dictionary{{"partId", number(r.a)}}); break;
    case kParameterFromMidi:
      center_.post("synthParameterChangedFromMidi", {},
                   Dictionary{{"parameterId", number(r.a)}, {"value", number(r.b)}});
      break;
    case kPatternChanged: center_.post("patternChanged"); break;
    case kTagInfo: center_.post("patternTagInfoDidUpdate"); break;
    case kRecording: center_.post("recordingStatusChanged"); break;
    case kReturned: center_.post("seqReturnedToTheBeginning"); break;
    case kPatternSetFromMidi:
      center_.post("notifyPatternSetChangedFromMidi", {},
                   Dictionary{{"number", number((r.a << 16) | r.b)}});
      break;
    case kPatternFromMidi:
      center_.post("notifyPatternChangedFromMidi", {}, Dictionary{{"patternNumber", number(r.a)}});
      break;
    case kPartFromMidi: center_.post("currentPartChangedFromMidi", {}, Dictionary{{"partNumber", number(r.a)}}); break;
    case kPageShifted: center_.post("seqPageShiftedFromMidi", {}, Dictionary{{"offset", number(r.a)}}); break;
    case kStarted: center_.post("sequenceDidStart"); break;
    case kStopped: center_.post("sequenceDidStop"); break;
    case kPrecount:
      center_.post("precountAbletonLinkSync", {}, Dictionary{{"beat", number(r.a)}, {"count", number(r.b)}});
      break;
    case kLinkTempo: center_.post("abletonLinkSyncTempoChanged", {}, Dictionary{{"sessionTempo", Value(r.d)}}); break;
    case kLinkEnabled: center_.post("abletonLinkSyncEnabledDidChange"); break;
    case kLinkConnected: center_.post("abletonLinkSyncConnectedDidChange"); break;
    default: break;
  }
}

void SynthObserver::synthTriggered(int partId, bool on) { push(on ? kTriggeredOn : kTriggeredOff, partId); }
void SynthObserver::synthParameterChangedFromMidi(int parameterId, int value) {
  push(kParameterFromMidi, parameterId, value);
}
void SynthObserver::patternChanged() { push(kPatternChanged); }
void SynthObserver::patternTagInfoDidUpdate() { push(kTagInfo); }
void SynthObserver::recordingStatusChanged() { push(kRecording); }
void SynthObserver::seqReturnedToTheBeginning() { push(kReturned); }
void SynthObserver::notifyPatternSetChangedFromMidi(uint16_t high, uint16_t low) { push(kPatternSetFromMidi, high, low); }
void SynthObserver::notifyPatternChangedFromMidi(int patternNumber) { push(kPatternFromMidi, patternNumber); }
void SynthObserver::currentPartChangedFromMidi(int partNumber) { push(kPartFromMidi, partNumber); }
void SynthObserver::seqPageShiftedFromMidi(int offset) { push(kPageShifted, offset); }
void SynthObserver::sequenceDidStart() { push(kStarted); }
void SynthObserver::sequenceDidStop() { push(kStopped); }
void SynthObserver::precountAbletonLinkSync(int beat, int count) { push(kPrecount, beat, count); }
void SynthObserver::abletonLinkSyncTempoChanged(double sessionTempo) { push(kLinkTempo, 0, 0, sessionTempo); }
void SynthObserver::abletonLinkSyncEnabledDidChange() { push(kLinkEnabled); }
void SynthObserver::abletonLinkSyncConnectedDidChange() { push(kLinkConnected); }
