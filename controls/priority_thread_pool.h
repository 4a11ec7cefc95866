#pragma once
// A small worker pool whose queue hands out tasks by priority. The image
// manager loads the bundle's images on it at start-up; afterwards the workers
// sleep on the empty queue for the rest of the process.
//
// The queue is a binary heap. With `SmallestFirst` the entry with the
// smallest priority value is at the top (the image manager's use); otherwise
// the largest. Entries of equal priority come out in no defined order.
//
// All operations may be called from any thread. A task runs outside every
// lock of the pool, so it may push further tasks. Stopping wakes the workers
// that sleep on the empty queue and joins them; tasks still queued then are
// dropped unrun. Not real-time-safe (locks and allocates).

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tesk::alib::core {

template <typename Task>
class TaskDispatcherBase {
 public:
  virtual ~TaskDispatcherBase() = default;
  // Runs the top task, if any; true when one ran.
  virtual bool dispatchOne() = 0;
  // Runs tasks until the queue is empty.
  virtual void dispatchAll() = 0;
  // A worker's loop: drains the queue, sleeps until a task arrives, until stopped.
  virtual void run() = 0;
  virtual void stop() = 0;
  // Returns when the queue is empty (or the dispatcher is stopped) and no
  // worker is inside a drain.
  virtual void waitAll() = 0;
  virtual void push(Task task) = 0;
};

template <typename Priority, typename Task, bool SmallestFirst>
class PriorityTaskDispatcher : public TaskDispatcherBase<Task> {
 public:
  PriorityTaskDispatcher() = default;
  PriorityTaskDispatcher(const PriorityTaskDispatcher&) = delete;
  PriorityTaskDispatcher& operator=(const PriorityTaskDispatcher&) = delete;

  bool dispatchOne() override {
    busy_.fetch_add(1, std::memory_order_acq_rel);
    Task task;
    bool have = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      have = popTop(task);
    }
    if (have) runTask(task);
    std::lock_guard<std::mutex> lock(mutex_);
    busy_.fetch_sub(1, std::memory_order_acq_rel);
    idle_.notify_all();
    return have;
  }

  void dispatchAll() override {
    // Counted as busy before the first pop, so that a waiter never sees an
    // empty queue and no busy worker while a popped task is yet to run.
    busy_.fetch_add(1, std::memory_order_acq_rel);
    for (;;) {
      Task task;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        // A stopped dispatcher leaves the rest of the queue, so that a stop
        // waits only for the tasks already running.
        if (!running_.load(std::memory_order_acquire) || !popTop(task)) {
          busy_.fetch_sub(1, std::memory_order_acq_rel);
          idle_.notify_all();
          return;
        }
      }
      runTask(task);
    }
  }

  void run() override {
    while (running_.load(std::memory_order_acquire)) {
      dispatchAll();
      std::unique_lock<std::mutex> lock(mutex_);
      taskAvailable_.wait(lock, [this] { return !queue_.empty() || !running_.load(std::memory_order_acquire); });
    }
  }

  void stop() override {
    // The store happens under the mutex so that a worker between its test of
    // the predicate and its sleep cannot miss the wake-up.
    std::lock_guard<std::mutex> lock(mutex_);
    running_.store(false, std::memory_order_release);
    taskAvailable_.notify_all();
    idle_.notify_all();
  }

  // After a stop the queued tasks will never run, so waiting ends as soon
  // as no task is running.
  void waitAll() override {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] {
      return (queue_.empty() || !running_.load(std::memory_order_acquire)) && busy_.load(std::memory_order_acquire) == 0;
    });
  }

  void push(Task task) override { push(std::move(task), Priority{}); }

  void push(Task task, Priority priority) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Entry{std::move(task), priority});
    siftUp(queue_.size() - 1);
    taskAvailable_.notify_one();
  }

  bool isRunning() const { return running_.load(std::memory_order_acquire); }
  int busyCount() const { return busy_.load(std::memory_order_acquire); }
  size_t queuedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
  }

 private:
  struct Entry {
    Task task;
    Priority priority;
  };

  // True when `a` belongs above `b` in the heap.
  static bool before(const Priority& a, const Priority& b) { return SmallestFirst ? a < b : b < a; }

  void siftUp(size_t i) {
    // An entry passes every parent that is not strictly before it, so equal
    // priorities keep no order among themselves.
    while (i > 0) {
      const size_t parent = (i - 1) / 2;
      if (before(queue_[parent].priority, queue_[i].priority)) break;
      std::swap(queue_[parent], queue_[i]);
      i = parent;
    }
  }

  void siftDown(size_t i) {
    const size_t n = queue_.size();
    for (;;) {
      const size_t left = 2 * i + 1;
      if (left >= n) return;
      size_t child = left;
      if (left + 1 < n && before(queue_[left + 1].priority, queue_[left].priority)) child = left + 1;
      if (!before(queue_[child].priority, queue_[i].priority)) return;
      std::swap(queue_[child], queue_[i]);
      i = child;
    }
  }

  // Under the mutex.
  bool popTop(Task& out) {
    if (queue_.empty()) return false;
    out = std::move(queue_.front().task);
    if (queue_.size() > 1) queue_.front() = std::move(queue_.back());
    queue_.pop_back();
    if (!queue_.empty()) siftDown(0);
    return true;
  }

  static void runTask(Task& task) {
    // A task that throws must not leave the busy count raised (waiters
    // would hang) nor end the worker thread (which would end the process).
    try {
      task();
    } catch (...) {
    }
  }

  std::atomic<bool> running_{true};
  std::atomic<int> busy_{0};
  mutable std::mutex mutex_;
  std::condition_variable taskAvailable_;
  std::condition_variable idle_;
  std::vector<Entry> queue_;
};

template <typename Task>
class ThreadPoolBase {
 public:
  virtual ~ThreadPoolBase() = default;
  virtual void start() = 0;
  virtual void stop() = 0;
  virtual void waitAll() = 0;
  virtual void enqueue(Task task) = 0;
};

template <typename Priority, typename Task, bool SmallestFirst>
class PriorityThreadPool : public ThreadPoolBase<Task> {
 public:
  // `threadCount` workers, at least one: a machine that reports no cores
  // still runs its tasks.
  explicit PriorityThreadPool(int threadCount) : threadCount_(std::max(1, threadCount)) {}
  // One worker per core the platform reports.
  PriorityThreadPool() : PriorityThreadPool(static_cast<int>(std::thread::hardware_concurrency())) {}
  PriorityThreadPool(const PriorityThreadPool&) = delete;
  PriorityThreadPool& operator=(const PriorityThreadPool&) = delete;

  ~PriorityThreadPool() override { stop(); }

  void start() override {
    std::lock_guard<std::mutex> lock(threadsMutex_);
    // A second start, or a start after stop, adds no workers: a stopped
    // dispatcher would only let them end at once.
    if (!threads_.empty() || !dispatcher_.isRunning()) return;
    threads_.reserve(static_cast<size_t>(threadCount_));
    for (int i = 0; i < threadCount_; ++i) threads_.emplace_back([this] { dispatcher_.run(); });
  }

  void stop() override {
    dispatcher_.stop();
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(threadsMutex_);
      threads.swap(threads_);
    }
    for (std::thread& t : threads) {
      // A task that stops its own pool cannot wait for its own worker; that
      // worker ends on its own after the task returns.
      if (t.get_id() == std::this_thread::get_id()) {
        t.detach();
      } else if (t.joinable()) {
        t.join();
      }
    }
  }

  void waitAll() override { dispatcher_.waitAll(); }
  void enqueue(Task task) override { dispatcher_.push(std::move(task)); }
  void enqueue(Task task, Priority priority) { dispatcher_.push(std::move(task), priority); }

  int threadCount() const { return threadCount_; }
  size_t workerCount() const {
    std::lock_guard<std::mutex> lock(threadsMutex_);
    return threads_.size();
  }
  PriorityTaskDispatcher<Priority, Task, SmallestFirst>& dispatcher() { return dispatcher_; }

 private:
  const int threadCount_;
  mutable std::mutex threadsMutex_;
  std::vector<std::thread> threads_;
  PriorityTaskDispatcher<Priority, Task, SmallestFirst> dispatcher_;
};

}  // namespace tesk::alib::core
