#pragma once
// The engine observer: turns every SynthListener callback into its named
// notification, posted on the main thread in the order the callbacks came.
//
// Callbacks arrive from the render thread, the MIDI thread and Link's
// threads. They must not block, allocate or lock there, so each callback only
// writes a small fixed-size record into a lock-free ring; the main run loop
// drains the ring at the end of each of its passes and on a repeating timer,
// and posts the notifications on the default centre. The timer ticks at the
// display's rate while callbacks keep coming and slows down when none came
// for a while, so an idle program does not wake up for nothing; the render
// thread never has to wake the loop itself (that would be a system call
// there). The ring holds far more than any burst the engine
// makes between two drains (a whole bar of every part's triggers, a flood of
// MIDI controllers), and a callback made on the main thread itself, when the
// ring is half full, moves its contents aside (posting nothing there: no
// handler runs inside a callback) and has the loop drain soon after, so
// nothing is lost in practice. Should
// the ring still fill (a main thread stalled for seconds), the newest record
// is dropped rather than waited for; every drop is counted, and the first
// drain that sees drops says so once in the log.
//
// Thread-safe: every callback may run on any thread, concurrently.

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "engine/interfaces/synth_listener.h"

namespace platform {
class RunLoop;
class NotificationCenter;
class Timer;
}  // namespace platform

class SynthObserver : public SynthListener {
 public:
  // The one observer, made on first call (start-up, main thread) and never
  // deleted. It drains on the main run loop into the default centre; every
  // call (each launch asks) puts its drain timer back on that loop if the
  // loop has dropped it since. Main thread.
  static SynthObserver* getInstance();

  // For tests: an observer that drains on `loop` into `center`.
  SynthObserver(platform::RunLoop& loop, platform::NotificationCenter& center);
  ~SynthObserver() override;

  void synthTriggered(int partId, bool on) override;
  void synthParameterChangedFromMidi(int parameterId, int value) override;
  void patternChanged() override;
  void patternTagInfoDidUpdate() override;
  void recordingStatusChanged() override;
  void seqReturnedToTheBeginning() override;
  void notifyPatternSetChangedFromMidi(uint16_t high, uint16_t low) override;
  void notifyPatternChangedFromMidi(int patternNumber) override;
  void currentPartChangedFromMidi(int partNumber) override;
  void seqPageShiftedFromMidi(int offset) override;
  void sequenceDidStart() override;
  void sequenceDidStop() override;
  void precountAbletonLinkSync(int beat, int count) override;
  void abletonLinkSyncTempoChanged(double sessionTempo) override;
  void abletonLinkSyncEnabledDidChange() override;
  void abletonLinkSyncConnectedDidChange() override;

  // Main thread: posts everything received so far. The timer calls it.
  void drain();
  // Main thread: schedules the drain timer again when its loop no longer
  // has it. The observer outlives any one launch of the program, the loop's
  // timers need not: a reset of the loop (a window back end made anew)
  // drops them, and with them every notification after it.
  void resumeDraining();

  // How long the main thread may lag behind the callbacks: at most
  // kDrainInterval, and kBusyDrainInterval while they keep coming (one came
  // within kBusySpan).
  static constexpr double kDrainInterval = 0.05;
  static constexpr double kBusyDrainInterval = 1.0 / 60.0;
  static constexpr double kBusySpan = 0.5;
  // The interval the drain timer ticks at now (for tests).
  double drainInterval() const { return timerInterval_; }
  static constexpr size_t kCapacity = 16384;
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
  // Where the one report of drops goes; standard error until set. Main thread.
  void setLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

 private:
  enum Kind : uint32_t {
    kTriggeredOn,
    kTriggeredOff,
    kParameterFromMidi,
    kPatternChanged,
    kTagInfo,
    kRecording,
    kReturned,
    kPatternSetFromMidi,
    kPatternFromMidi,
    kPartFromMidi,
    kPageShifted,
    kStarted,
    kStopped,
    kPrecount,
    kLinkTempo,
    kLinkEnabled,
    kLinkConnected,
  };
  struct Record {
    uint32_t kind;
    int64_t a;
    int64_t b;
    double d;
  };
  // One cell of the bounded ring (sequence-numbered, multi-producer).
  struct Cell {
    std::atomic<uint64_t> sequence;
    Record record;
  };

  void push(Kind kind, int64_t a = 0, int64_t b = 0, double d = 0.0);
  // Main thread: moves what the ring holds to taken_, posting nothing.
  void takeFromRing();
  void reportDrops();
  // Main thread: the timer at the rate the recent callbacks call for.
  void pace(bool tookAny);
  void post(const Record& r);

  platform::RunLoop& loop_;
  platform::NotificationCenter& center_;
  std::shared_ptr<platform::Timer> timer_;
  double timerInterval_ = kDrainInterval;
  double lastRecordAt_ = -1e300;
  int passObserver_ = -1;
  bool draining_ = false;
  std::unique_ptr<std::array<Cell, kCapacity>> cells_;
  std::atomic<uint64_t> enqueuePos_{0};
  // Written by the main thread only; atomic because a main-thread callback
  // compares it with the producers' position.
  std::atomic<uint64_t> dequeuePos_{0};
  uint64_t dequeuePosition() const { return dequeuePos_.load(std::memory_order_relaxed); }
  std::atomic<uint64_t> dropped_{0};
  bool dropsReported_ = false;
  // Main thread: records taken out of the ring ahead of the others, in
  // order, waiting for the next drain (scheduled with the loop's perform,
  // so that no handler runs inside a callback).
  std::deque<Record> taken_;
  bool drainScheduled_ = false;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::function<void(const std::string&)> log_;
};
