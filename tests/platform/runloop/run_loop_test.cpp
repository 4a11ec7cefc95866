#include "platform/runloop/run_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using platform::RunLoop;
using platform::Timer;
using platform::VirtualClock;

namespace {

class RunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock = std::make_shared<VirtualClock>(100.0);
    loop.setClock(clock);
  }
  double t() const { return clock->now() - 100.0; }

  RunLoop loop;
  std::shared_ptr<VirtualClock> clock;
};

TEST_F(RunLoopTest, PostedBlocksRunOnTheNextPassInOrder) {
  std::vector<std::string> log;
  loop.perform([&] {
    log.push_back("a");
    loop.perform([&] { log.push_back("posted by a"); });
    log.push_back("a done");
  });
  loop.perform([&] { log.push_back("b"); });
  EXPECT_TRUE(log.empty());
  loop.runOnce();
  EXPECT_EQ(log, (std::vector<std::string>{"a", "a done", "b"}));
  loop.runOnce();
  EXPECT_EQ(log.back(), "posted by a");
}

TEST_F(RunLoopTest, TimerScheduledFromAHandlerWaitsAWholeInterval) {
  std::vector<double> fired;
  std::shared_ptr<Timer> inner;
  auto outer = loop.scheduleTimer(0.5, false, [&](Timer&) {
    inner = loop.scheduleTimer(0.5, false, [&](Timer&) { fired.push_back(t()); });
  });
  loop.advanceBy(0.5);
  EXPECT_TRUE(fired.empty());  // due at 1.0, not in the pass that scheduled it
  loop.advanceBy(0.49);
  EXPECT_TRUE(fired.empty());
  loop.advanceBy(0.01);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_DOUBLE_EQ(fired[0], 1.0);
  EXPECT_FALSE(outer->isValid());  // one-shot timers end after firing
}

TEST_F(RunLoopTest, InvalidatedTimersNeverFireEvenWithinTheSamePass) {
  int aFired = 0, bFired = 0;
  std::shared_ptr<Timer> b;
  auto a = loop.scheduleTimer(0.1, true, [&](Timer&) {
    ++aFired;
    b->invalidate();  // b is due in this very pass
  });
  b = loop.scheduleTimer(0.1, true, [&](Timer&) { ++bFired; });
  loop.advanceBy(1.0);
  EXPECT_EQ(bFired, 0);
  EXPECT_EQ(aFired, 10);
  a->invalidate();
  loop.advanceBy(1.0);
  EXPECT_EQ(aFired, 10);
  EXPECT_FALSE(a->isValid());
}

TEST_F(RunLoopTest, RepeatingTimersDoNotCatchUpMissedTicks) {
  std::vector<double> fired;
  auto timer = loop.scheduleTimer(0.05, true, [&](Timer&) { fired.push_back(t()); });
  // Other work stalls the loop from 0.04 to 0.28.
  loop.performAfter(0.04, [&] { clock->set(clock->now() + 0.24); });
  loop.advanceBy(0.3);
  // The ticks due at 0.05-0.25 come as one late firing at 0.28; then the
  // timer is back on its phase.
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_NEAR(fired[0], 0.28, 1e-9);
  EXPECT_NEAR(fired[1], 0.30, 1e-9);
  EXPECT_NEAR(timer->fireDate() - 100.0, 0.35, 1e-9);
}

TEST_F(RunLoopTest, ASlowHandlerMakesItsTimerSkipToTheNextTick) {
  std::vector<double> fired;
  auto timer = loop.scheduleTimer(0.05, true, [&](Timer&) {
    fired.push_back(t());
    if (fired.size() == 1) clock->set(clock->now() + 0.23);  // the handler takes 0.23 s
  });
  loop.advanceBy(0.36);
  // 0.05 runs until 0.28; the next tick is the next one after that.
  ASSERT_EQ(fired.size(), 3u);
  EXPECT_NEAR(fired[0], 0.05, 1e-9);
  EXPECT_NEAR(fired[1], 0.30, 1e-9);
  EXPECT_NEAR(fired[2], 0.35, 1e-9);
}

TEST_F(RunLoopTest, DueWorkRunsByDeadlineThenScheduleOrderAtItsOwnTime) {
  std::vector<std::pair<std::string, double>> log;
  loop.performAfter(0.2, [&] { log.emplace_back("after 0.2", t()); });
  loop.performAfter(0.1, [&] { log.emplace_back("after 0.1", t()); });
  auto timer = loop.scheduleTimer(0.1, false, [&](Timer&) {
    log.emplace_back("timer 0.1", t());
    loop.perform([&] { log.emplace_back("posted by timer", t()); });
  });
  loop.advanceBy(1.0);
  const std::vector<std::pair<std::string, double>> expected = {
      {"after 0.1", 0.1}, {"timer 0.1", 0.1}, {"posted by timer", 0.1}, {"after 0.2", 0.2}};
  ASSERT_EQ(log.size(), expected.size());
  for (size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].first, expected[i].first);
    EXPECT_NEAR(log[i].second, expected[i].second, 1e-9);
  }
  EXPECT_NEAR(t(), 1.0, 1e-9);
}

TEST_F(RunLoopTest, PassObserversRunAfterTheWorkOfEachPass) {
  std::vector<std::string> log;
  const int id = loop.addPassObserver([&] { log.push_back("observer"); });
  loop.perform([&] { log.push_back("block"); });
  loop.runOnce();
  EXPECT_EQ(log, (std::vector<std::string>{"block", "observer"}));
  loop.removePassObserver(id);
  loop.runOnce();
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(RunLoopTest, ResetDropsEverything) {
  int n = 0;
  auto timer = loop.scheduleTimer(0.1, true, [&](Timer&) { ++n; });
  loop.perform([&] { ++n; });
  loop.performAfter(0.1, [&] { ++n; });
  loop.reset();
  loop.advanceBy(1.0);
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(timer->isValid());
}

TEST(RunLoopRealClockTest, PerformFromAnotherThreadWakesTheLoop) {
  RunLoop loop;
  std::atomic<bool> ran{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.perform([&] {
      ran = true;
      loop.stop();
    });
  });
  loop.run();  // would block forever without the wake-up
  poster.join();
  EXPECT_TRUE(ran);
}

TEST(RunLoopRealClockTest, TimersFireOnRealTime) {
  RunLoop loop;
  int n = 0;
  auto timer = loop.scheduleTimer(0.01, true, [&](Timer& t) {
    if (++n == 3) {
      t.invalidate();
      loop.stop();
    }
  });
  loop.run();
  EXPECT_EQ(n, 3);
}

TEST(DispatchTest, GlobalQueueRunsOffTheMainThreadAndReportsBack) {
  RunLoop& main = RunLoop::main();
  std::atomic<bool> onWorker{false};
  bool reported = false;
  platform::dispatchAsyncGlobal([&] {
    onWorker = !RunLoop::isMainThread();
    platform::dispatchAsyncMain([&] {
      reported = RunLoop::isMainThread();
      main.stop();
    });
  });
  main.run();
  EXPECT_TRUE(onWorker);
  EXPECT_TRUE(reported);
}

}  // namespace

namespace {

TEST(RunLoopPassObserverTest, LowerOrderRunsFirst) {
  RunLoop loop;
  std::vector<int> log;
  loop.addPassObserver([&] { log.push_back(100); }, 100);
  loop.addPassObserver([&] { log.push_back(-100); }, -100);
  loop.addPassObserver([&] { log.push_back(0); });
  loop.runOnce();
  EXPECT_EQ(log, (std::vector<int>{-100, 0, 100}));
}

}  // namespace
