#pragma once
// The main run loop and its timers, the main and global dispatch queues, and
// the clock they run on.
//
// One pass of a run loop does, in this order:
//   1. runs the blocks posted with perform() before the pass began (FIFO);
//   2. fires the timers (and delayed blocks) that were due when this step
//      began, in order of due time, then of scheduling;
//   3. lets the event source (a window back end) dispatch its input events;
//   4. runs the pass observers (the interface's layout and drawing);
//   5. waits, with a real clock, until the next timer is due, a block is
//      posted, an input event arrives or the given time runs out.
// So work posted from a handler runs after that handler has returned, on the
// next pass.
//
// Timer rules the interface relies on:
// - a timer scheduled from a handler fires no earlier than one interval later;
// - an invalidated timer never fires again (also when invalidated by an
//   earlier handler of the same pass);
// - a repeating timer that missed ticks (a long handler, a stalled loop)
//   fires once and then keeps its original phase: it does not catch up.
//
// Time comes from a Clock: the real clock (monotonic seconds since boot, the
// time base of touch events) or a virtual clock that only tests move, with
// advanceBy(): due work then runs at its own virtual time, in due-time order.
//
// perform(), performAfter(), stop() and wakeUp() may be called from any
// thread; everything else belongs to the loop's thread (the thread that
// created the main loop, or bindToCurrentThread()). Timer callbacks hold what
// they capture: capture a weak pointer to let an object go.
// Not real-time-safe (locks and allocates).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic time line.
  virtual double now() const = 0;
  virtual bool isVirtual() const { return false; }
};

// CLOCK_MONOTONIC in seconds: seconds since boot, as event time stamps are.
class RealClock final : public Clock {
 public:
  double now() const override;
};

// A clock that stands still until a test moves it (through the run loop's
// advanceBy, so that due work runs at the right moments).
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(double start = 1000.0) : now_(start) {}
  double now() const override { return now_; }
  bool isVirtual() const override { return true; }
  void set(double t) { now_ = t; }

 private:
  double now_;
};

class RunLoop;

class Timer {
 public:
  using Callback = std::function<void(Timer&)>;

  double timeInterval() const { return interval_; }
  bool repeats() const { return repeats_; }
  bool isValid() const { return valid_; }
  double fireDate() const { return fireDate_; }
  // Fires the callback now, outside the schedule (a one-shot timer is then
  // invalidated, as the platform's fire does).
  void fire();
  // Removes the timer from its run loop for good.
  void invalidate();

 private:
  friend class RunLoop;
  Timer(double interval, bool repeats, Callback cb) : interval_(interval), repeats_(repeats), callback_(std::move(cb)) {}

  double interval_;
  bool repeats_;
  Callback callback_;
  bool valid_ = true;
  double fireDate_ = 0.0;
  uint64_t sequence_ = 0;
  RunLoop* loop_ = nullptr;
};

class RunLoop {
 public:
  // A window back end: waits for and dispatches input events for the loop.
  class EventSource {
   public:
    virtual ~EventSource() = default;
    // Blocks until input arrives, wake() is called, or `seconds` pass.
    virtual void waitForEvents(double seconds) = 0;
    // Ends a wait from any thread.
    virtual void wake() = 0;
    // Handles every input event that has arrived.
    virtual void dispatchEvents() = 0;
  };

  // The main thread's loop; the thread that first asks for it is the main thread.
  static RunLoop& main();
  static bool isMainThread();

  RunLoop();
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  void bindToCurrentThread();
  bool isCurrentThread() const;

  // The clock (the real clock until one is set).
  void setClock(std::shared_ptr<Clock> clock);
  const Clock& clock() const { return *clock_; }
  double now() const { return clock_->now(); }

  // Any thread: runs `block` on the loop's thread on its next pass.
  void perform(std::function<void()> block);
  // Any thread: runs `block` on the loop's thread `delay` seconds from now.
  void performAfter(double delay, std::function<void()> block);
  // Any thread: ends the current wait.
  void wakeUp();
  // Any thread: makes run() return after its current pass.
  void stop();

  // A timer on this loop, first due one interval from now (intervals below
  // 0.1 ms count as 0.1 ms, as the platform's do).
  std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, Timer::Callback callback);

  // One pass, waiting at most `maxWait` seconds at its end (real clock only).
  void runOnce(double maxWait = 0.0);
  // Passes until stop().
  void run();
  // Virtual clock: moves time forward by `seconds`, running every timer and
  // delayed block due on the way at its own time, posted work in between.
  // Real clock: runs passes for that long.
  void advanceBy(double seconds);
  // Passes without waiting until no posted block is left (bounded).
  void drain();

  // Called at the end of every pass, lower `order` first (the notification
  // queue posts before the interface lays out and draws); returns an id for
  // removal.
  int addPassObserver(std::function<void()> observer, int order = 0);
  void removePassObserver(int id);

  void setEventSource(EventSource* source);

  // Drops every timer, delayed and posted block (tests start clean with it).
  void reset();

  // Earliest due time of a valid timer or delayed block; infinity when none.
  double nextDueTime() const;
  size_t pendingBlockCount() const;

 private:
  friend class Timer;
  struct Entry {
    double due;
    uint64_t sequence;
    std::shared_ptr<Timer> timer;  // or
    std::function<void()> block;   // a delayed block
  };

  void runPostedBlocks();
  void fireDueTimers();
  void runPassObservers();
  void waitFor(double seconds);
  void remove(Timer* t);

  std::shared_ptr<Clock> clock_;
  std::thread::id thread_;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::function<void()>> posted_;
  std::vector<Entry> entries_;  // timers and delayed blocks, unordered
  uint64_t nextSequence_ = 1;
  bool stopRequested_ = false;
  bool woken_ = false;

  struct PassObserver {
    int id;
    int order;
    std::function<void()> fn;
  };
  std::vector<PassObserver> passObservers_;
  int nextObserverId_ = 1;
  EventSource* source_ = nullptr;
};

// The main dispatch queue: blocks on the main loop.
void dispatchAsyncMain(std::function<void()> block);
void dispatchAfterMain(double delay, std::function<void()> block);
// The global queue: blocks on a pool of worker threads (at least two), in
// submission order per worker; for background work that must not hold up
// the interface.
void dispatchAsyncGlobal(std::function<void()> block);

}  // namespace platform
