#include "controls/priority_thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Task = std::function<void()>;
using Pool = tesk::alib::core::PriorityThreadPool<unsigned long, Task, true>;
using Dispatcher = tesk::alib::core::PriorityTaskDispatcher<unsigned long, Task, true>;
using namespace std::chrono_literals;

// Runs `f` on a thread of its own and reports whether it returned within
// `limit`; a call that hangs is left behind instead of hanging the test.
bool returnsWithin(std::function<void()> f, std::chrono::milliseconds limit) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread([f = std::move(f), done] {
    f();
    done->set_value();
  }).detach();
  return finished.wait_for(limit) == std::future_status::ready;
}

// Whether no worker is inside a drain within a few seconds.
template <typename D>
bool settlesIdle(const D& dispatcher) {
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (dispatcher.busyCount() != 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A gate that tasks wait at until the test opens it.
class Gate {
 public:
  void open() {
    std::lock_guard<std::mutex> lock(m_);
    open_ = true;
    cv_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

TEST(PriorityThreadPoolTest, EveryTaskOfEqualPriorityRunsExactlyOnce) {
  Pool pool(4);
  pool.start();
  constexpr int kTasks = 500;
  std::vector<std::atomic<int>> runs(kTasks);
  for (int i = 0; i < kTasks; ++i) {
    pool.enqueue([&runs, i] {
      if (i % 50 == 0) std::this_thread::sleep_for(1ms);
      runs[static_cast<size_t>(i)].fetch_add(1);
    });
  }
  pool.waitAll();
  for (int i = 0; i < kTasks; ++i) EXPECT_EQ(runs[static_cast<size_t>(i)].load(), 1) << i;
}

TEST(PriorityThreadPoolTest, WaitAllWaitsForTheLastRunningTaskNotForTheEmptyQueue) {
  Pool pool(2);
  pool.start();
  Gate gate;
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  pool.enqueue([&] {
    started = true;
    gate.wait();
    finished = true;
  });
  while (!started) std::this_thread::yield();
  // The queue is empty now, but the task still runs.
  EXPECT_EQ(pool.dispatcher().queuedCount(), 0u);
  std::atomic<bool> waited{false};
  std::thread waiter([&] {
    pool.waitAll();
    waited = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(waited.load());
  gate.open();
  waiter.join();
  EXPECT_TRUE(finished.load());
}

TEST(PriorityThreadPoolTest, SecondWaitAllWithoutNewTasksReturnsAtOnce) {
  Pool pool(3);
  pool.start();
  std::atomic<int> n{0};
  for (int i = 0; i < 20; ++i) pool.enqueue([&n] { ++n; });
  pool.waitAll();
  EXPECT_EQ(n.load(), 20);
  EXPECT_TRUE(returnsWithin([&pool] { pool.waitAll(); }, 5000ms));
}

TEST(PriorityThreadPoolTest, ZeroReportedCoresStillGivesOneWorker) {
  Pool pool(0);
  EXPECT_EQ(pool.threadCount(), 1);
  pool.start();
  EXPECT_EQ(pool.workerCount(), 1u);
  std::atomic<int> n{0};
  for (int i = 0; i < 10; ++i) pool.enqueue([&n] { ++n; });
  ASSERT_TRUE(returnsWithin([&pool] { pool.waitAll(); }, 5000ms));
  EXPECT_EQ(n.load(), 10);
  Pool negative(-3);
  EXPECT_EQ(negative.threadCount(), 1);
}

TEST(PriorityThreadPoolTest, WorkersStayAliveAndIdleAfterTheWork) {
  Pool pool(3);
  pool.start();
  std::atomic<int> n{0};
  for (int i = 0; i < 30; ++i) pool.enqueue([&n] { ++n; });
  pool.waitAll();
  EXPECT_EQ(pool.workerCount(), 3u);
  EXPECT_EQ(pool.dispatcher().queuedCount(), 0u);
  // A worker that woke for a task another one took finds the queue empty
  // and goes back to sleep: all of them end up idle.
  EXPECT_TRUE(settlesIdle(pool.dispatcher()));
  // Sleeping workers still pick up new work.
  pool.enqueue([&n] { ++n; });
  pool.waitAll();
  EXPECT_EQ(n.load(), 31);
}

TEST(PriorityThreadPoolTest, StopWakesSleepingWorkersAndJoinsThem) {
  auto pool = std::make_shared<Pool>(4);
  pool->start();
  pool->waitAll();
  std::this_thread::sleep_for(20ms);  // let the workers fall asleep on the empty queue
  ASSERT_TRUE(returnsWithin([pool] { pool->stop(); }, 5000ms));
  EXPECT_EQ(pool->workerCount(), 0u);
  EXPECT_FALSE(pool->dispatcher().isRunning());
  // A second stop, and destruction, are harmless.
  EXPECT_TRUE(returnsWithin([pool]() mutable { pool->stop(); pool.reset(); }, 5000ms));
}

TEST(PriorityThreadPoolTest, DestroyingARunningPoolDoesNotHang) {
  EXPECT_TRUE(returnsWithin(
      [] {
        Pool pool(2);
        pool.start();
        pool.enqueue([] {});
      },
      5000ms));
}

TEST(PriorityThreadPoolTest, StopLeavesQueuedTasksUnrunAndWaitAllThenReturns) {
  auto pool = std::make_shared<Pool>(1);
  pool->start();
  auto gate = std::make_shared<Gate>();
  auto started = std::make_shared<std::atomic<bool>>(false);
  auto ran = std::make_shared<std::atomic<int>>(0);
  pool->enqueue([=] {
    *started = true;
    gate->wait();
    ++*ran;
  });
  // Equal priorities come out in no set order: queue the rest only once
  // the gated task runs.
  while (!*started) std::this_thread::yield();
  for (int i = 0; i < 10; ++i) pool->enqueue([ran] { ++*ran; });
  std::thread stopper([pool] { pool->stop(); });
  while (pool->dispatcher().isRunning()) std::this_thread::yield();
  gate->open();
  stopper.join();
  EXPECT_EQ(ran->load(), 1);
  EXPECT_TRUE(returnsWithin([pool] { pool->waitAll(); }, 5000ms));
}

TEST(PriorityThreadPoolTest, ATaskThatThrowsDoesNotBlockWaiting) {
  Pool pool(2);
  pool.start();
  std::atomic<int> n{0};
  pool.enqueue([] { throw std::runtime_error("broken"); });
  for (int i = 0; i < 5; ++i) pool.enqueue([&n] { ++n; });
  ASSERT_TRUE(returnsWithin([&pool] { pool.waitAll(); }, 5000ms));
  EXPECT_EQ(n.load(), 5);
}

TEST(PriorityThreadPoolTest, ATaskMayQueueFurtherTasks) {
  Pool pool(2);
  pool.start();
  std::atomic<int> n{0};
  pool.enqueue([&] {
    for (int i = 0; i < 8; ++i) pool.enqueue([&n] { ++n; });
  });
  pool.waitAll();
  EXPECT_EQ(n.load(), 8);
}

// The heap, drained on the calling thread so the order is observable.
template <bool SmallestFirst>
std::vector<unsigned long> drainOrder(const std::vector<unsigned long>& priorities) {
  tesk::alib::core::PriorityTaskDispatcher<unsigned long, Task, SmallestFirst> d;
  std::vector<unsigned long> order;
  for (unsigned long p : priorities) d.push([&order, p] { order.push_back(p); }, p);
  d.dispatchAll();
  return order;
}

TEST(PriorityTaskDispatcherTest, HeapHandsOutByPriority) {
  const std::vector<unsigned long> priorities = {5, 1, 9, 3, 3, 0, 7, 2, 8, 6, 4, 1};
  std::vector<unsigned long> ascending = priorities;
  std::sort(ascending.begin(), ascending.end());
  EXPECT_EQ(drainOrder<true>(priorities), ascending);
  std::vector<unsigned long> descending(ascending.rbegin(), ascending.rend());
  EXPECT_EQ(drainOrder<false>(priorities), descending);
}

TEST(PriorityTaskDispatcherTest, DispatchOneRunsTheTopTaskAndReportsAnEmptyQueue) {
  Dispatcher d;
  std::vector<int> order;
  d.push([&order] { order.push_back(2); }, 2);
  d.push([&order] { order.push_back(1); }, 1);
  EXPECT_TRUE(d.dispatchOne());
  EXPECT_EQ(order, std::vector<int>({1}));
  EXPECT_TRUE(d.dispatchOne());
  EXPECT_FALSE(d.dispatchOne());
  EXPECT_EQ(order, std::vector<int>({1, 2}));
  EXPECT_EQ(d.busyCount(), 0);
  // Nothing queued, nothing running: waiting returns at once.
  EXPECT_TRUE(returnsWithin([&d] { d.waitAll(); }, 5000ms));
}

}  // namespace
