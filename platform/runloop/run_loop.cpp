#include "platform/runloop/run_loop.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

namespace platform {

namespace {
constexpr double kMinInterval = 0.0001;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
}  // namespace

double RealClock::now() const {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void Timer::fire() {
  if (!valid_) return;
  if (!repeats_) invalidate();
  // The callback may drop the last outside reference to the timer.
  Callback cb = callback_;
  cb(*this);
}

void Timer::invalidate() {
  if (!valid_) return;
  valid_ = false;
  if (loop_) loop_->remove(this);
  loop_ = nullptr;
}

RunLoop& RunLoop::main() {
  // Never destroyed: timers and observers held by other statics let go of
  // it in their destructors, which may run at exit after this one.
  static RunLoop* const loop = new RunLoop;
  return *loop;
}

bool RunLoop::isMainThread() { return main().isCurrentThread(); }

RunLoop::RunLoop() : clock_(std::make_shared<RealClock>()), thread_(std::this_thread::get_id()) {}

RunLoop::~RunLoop() {
  std::vector<Entry> entries;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries.swap(entries_);
  }
  for (Entry& e : entries) {
    if (e.timer) {
      e.timer->valid_ = false;
      e.timer->loop_ = nullptr;
    }
  }
}

void RunLoop::bindToCurrentThread() { thread_ = std::this_thread::get_id(); }
bool RunLoop::isCurrentThread() const { return thread_ == std::this_thread::get_id(); }

void RunLoop::setClock(std::shared_ptr<Clock> clock) {
  clock_ = clock ? std::move(clock) : std::make_shared<RealClock>();
}

void RunLoop::perform(std::function<void()> block) {
  if (!block) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(block));
  }
  wakeUp();
}

void RunLoop::performAfter(double delay, std::function<void()> block) {
  if (!block) return;
  const double due = now() + std::max(0.0, delay);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back({due, nextSequence_++, nullptr, std::move(block)});
  }
  wakeUp();
}

void RunLoop::wakeUp() {
  EventSource* source;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    source = source_;
  }
  cv_.notify_all();
  if (source) source->wake();
}

void RunLoop::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
  }
  wakeUp();
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(double interval, bool repeats, Timer::Callback callback) {
  interval = std::max(interval, kMinInterval);
  std::shared_ptr<Timer> t(new Timer(interval, repeats, std::move(callback)));
  t->loop_ = this;
  t->fireDate_ = now() + interval;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    t->sequence_ = nextSequence_++;
    entries_.push_back({t->fireDate_, t->sequence_, t, nullptr});
  }
  wakeUp();
  return t;
}

void RunLoop::remove(Timer* t) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [t](const Entry& e) { return e.timer.get() == t; }),
                 entries_.end());
}

void RunLoop::runPostedBlocks() {
  std::vector<std::function<void()>> blocks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks.swap(posted_);
  }
  for (auto& b : blocks) b();
}

void RunLoop::fireDueTimers() {
  const double t = now();
  std::vector<Entry> due;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
      if (e.due <= t) due.push_back(e);
    // Delayed blocks leave the schedule now; timers stay until they fire.
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [t](const Entry& e) { return !e.timer && e.due <= t; }),
                   entries_.end());
  }
  std::sort(due.begin(), due.end(),
            [](const Entry& a, const Entry& b) { return a.due != b.due ? a.due < b.due : a.sequence < b.sequence; });
  for (Entry& e : due) {
    if (!e.timer) {
      e.block();
      continue;
    }
    Timer& timer = *e.timer;
    // Invalidated (or rescheduled) by an earlier handler of this pass.
    if (!timer.valid_ || timer.fireDate_ != e.due) continue;
    if (!timer.repeats_) {
      timer.invalidate();
      Timer::Callback cb = timer.callback_;
      cb(timer);
      continue;
    }
    // Kept alive and copied: the handler may drop the last reference or
    // invalidate the timer.
    std::shared_ptr<Timer> keep = e.timer;
    Timer::Callback cb = timer.callback_;
    cb(timer);
    if (!timer.valid_) continue;
    // The next tick on the original phase that lies after now (after the
    // handler, which may itself have taken long): missed ticks are dropped,
    // not caught up.
    const double after = now();
    const double missed = std::max(0.0, std::floor((after - timer.fireDate_) / timer.interval_));
    timer.fireDate_ += (missed + 1.0) * timer.interval_;
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& s : entries_)
      if (s.timer.get() == &timer) s.due = timer.fireDate_;
  }
}

void RunLoop::runPassObservers() {
  // Copied: an observer may add or remove observers.
  const auto observers = passObservers_;
  for (const PassObserver& o : observers) {
    const bool stillThere = std::any_of(passObservers_.begin(), passObservers_.end(),
                                        [id = o.id](const PassObserver& p) { return p.id == id; });
    if (stillThere) o.fn();
  }
}

double RunLoop::nextDueTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  double next = kInfinity;
  for (const Entry& e : entries_) next = std::min(next, e.due);
  return next;
}

size_t RunLoop::pendingBlockCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return posted_.size();
}

void RunLoop::waitFor(double seconds) {
  if (clock_->isVirtual() || seconds <= 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!posted_.empty() || stopRequested_ || woken_) {
      woken_ = false;
      return;
    }
  }
  const double wait = std::min(seconds, nextDueTime() - now());
  if (wait <= 0) return;
  if (source_) {
    source_->waitForEvents(wait);
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::duration<double>(wait),
                 [this] { return !posted_.empty() || stopRequested_ || woken_; });
  }
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = false;
}

void RunLoop::runOnce(double maxWait) {
  runPostedBlocks();
  fireDueTimers();
  if (source_) source_->dispatchEvents();
  runPassObservers();
  waitFor(maxWait);
}

void RunLoop::run() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = false;
  }
  for (;;) {
    runOnce(kInfinity);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopRequested_) {
      stopRequested_ = false;
      return;
    }
  }
}

void RunLoop::drain() {
  runOnce(0);
  for (int i = 0; i < 1000 && pendingBlockCount() > 0; ++i) runOnce(0);
}

void RunLoop::advanceBy(double seconds) {
  if (!clock_->isVirtual()) {
    const double end = now() + seconds;
    while (now() < end) runOnce(end - now());
    runOnce(0);
    return;
  }
  auto* vc = static_cast<VirtualClock*>(clock_.get());
  const double target = vc->now() + std::max(0.0, seconds);
  drain();
  for (;;) {
    const double next = nextDueTime();
    if (next > target) break;
    if (next > vc->now()) vc->set(next);
    drain();
  }
  // Handlers may have moved the clock on themselves (a simulated stall).
  if (vc->now() < target) vc->set(target);
  drain();
}

int RunLoop::addPassObserver(std::function<void()> observer, int order) {
  const int id = nextObserverId_++;
  auto pos = std::upper_bound(passObservers_.begin(), passObservers_.end(), order,
                              [](int o, const PassObserver& p) { return o < p.order; });
  passObservers_.insert(pos, PassObserver{id, order, std::move(observer)});
  return id;
}

void RunLoop::removePassObserver(int id) {
  passObservers_.erase(std::remove_if(passObservers_.begin(), passObservers_.end(),
                                      [id](const PassObserver& o) { return o.id == id; }),
                       passObservers_.end());
}

void RunLoop::setEventSource(EventSource* source) {
  std::lock_guard<std::mutex> lock(mutex_);
  source_ = source;
}

void RunLoop::reset() {
  std::vector<Entry> entries;
  std::vector<std::function<void()>> posted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries.swap(entries_);
    posted.swap(posted_);
    stopRequested_ = false;
    woken_ = false;
  }
  for (Entry& e : entries) {
    if (e.timer) {
      e.timer->valid_ = false;
      e.timer->loop_ = nullptr;
    }
  }
}

void dispatchAsyncMain(std::function<void()> block) { RunLoop::main().perform(std::move(block)); }

void dispatchAfterMain(double delay, std::function<void()> block) {
  RunLoop::main().performAfter(delay, std::move(block));
}

namespace {

class GlobalQueue {
 public:
  GlobalQueue() {
    const unsigned n = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < n; ++i) workers_.emplace_back([this] { work(); });
  }
  ~GlobalQueue() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : workers_) t.join();
  }
  void push(std::function<void()> block) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(block));
    }
    cv_.notify_one();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> block;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, nothing left
        block = std::move(queue_.front());
        queue_.pop_front();
      }
      block();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

void dispatchAsyncGlobal(std::function<void()> block) {
  static GlobalQueue queue;
  if (block) queue.push(std::move(block));
}

}  // namespace platform
