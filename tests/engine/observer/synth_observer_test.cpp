#include "engine/observer/synth_observer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

using platform::Notification;

namespace {

class SynthObserverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop.bindToCurrentThread();
    clock = std::make_shared<platform::VirtualClock>(100.0);
    loop.setClock(clock);
    observer = std::make_unique<SynthObserver>(loop, center);
    center.addObserver(this, "", [this](const Notification& n) {
      received.push_back(n);
      threads.push_back(std::this_thread::get_id());
    });
  }

  platform::RunLoop loop;
  std::shared_ptr<platform::VirtualClock> clock;
  platform::NotificationCenter center;
  std::unique_ptr<SynthObserver> observer;
  std::vector<Notification> received;
  std::vector<std::thread::id> threads;
};

int64_t infoInt(const Notification& n, const char* key) {
  const platform::Value* v = n.info(key);
  return v ? v->integerValue(-999) : -999;
}

TEST_F(SynthObserverTest, EveryCallbackBecomesItsNotification) {
  observer->synthTriggered(3, false);
  observer->synthTriggered(5, true);
  observer->synthParameterChangedFromMidi(82, 99);
  observer->patternChanged();
  observer->patternTagInfoDidUpdate();
  observer->recordingStatusChanged();
  observer->seqReturnedToTheBeginning();
  observer->notifyPatternSetChangedFromMidi(1, 2);
  observer->notifyPatternChangedFromMidi(290);
  observer->currentPartChangedFromMidi(6);
  observer->seqPageShiftedFromMidi(-1);
  observer->sequenceDidStart();
  observer->sequenceDidStop();
  observer->precountAbletonLinkSync(4, 2);
  observer->abletonLinkSyncTempoChanged(127.5);
  observer->abletonLinkSyncEnabledDidChange();
  observer->abletonLinkSyncConnectedDidChange();
  EXPECT_TRUE(received.empty()) << "nothing is posted on the calling thread";
  loop.advanceBy(SynthObserver::kDrainInterval * 2);

  const std::vector<std::string> names = {
      "synthTriggeredOff", "synthTriggeredOn", "synthParameterChangedFromMidi", "patternChanged",
      "patternTagInfoDidUpdate", "recordingStatusChanged", "seqReturnedToTheBeginning",
      "notifyPatternSetChangedFromMidi", "notifyPatternChangedFromMidi", "currentPartChangedFromMidi",
      "seqPageShiftedFromMidi", "sequenceDidStart", "sequenceDidStop", "precountAbletonLinkSync",
      "abletonLinkSyncTempoChanged", "abletonLinkSyncEnabledDidChange", "abletonLinkSyncConnectedDidChange"};
  ASSERT_EQ(received.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(received[i].name, names[i]) << i;

  EXPECT_EQ(infoInt(received[0], "partId"), 3);
  EXPECT_EQ(received[0].userInfo.size(), 1u);
  EXPECT_EQ(infoInt(received[1], "partId"), 5);
  EXPECT_EQ(infoInt(received[2], "parameterId"), 82);
  EXPECT_EQ(infoInt(received[2], "value"), 99);
  EXPECT_TRUE(received[3].userInfo.empty());
  EXPECT_EQ(infoInt(received[7], "number"), 65538);
  EXPECT_EQ(infoInt(received[8], "patternNumber"), 290);
  EXPECT_EQ(infoInt(received[9], "partNumber"), 6);
  EXPECT_EQ(infoInt(received[10], "offset"), -1);
  EXPECT_EQ(infoInt(received[13], "beat"), 4);
  EXPECT_EQ(infoInt(received[13], "count"), 2);
  ASSERT_NE(received[14].info("sessionTempo"), nullptr);
  EXPECT_TRUE(received[14].info("sessionTempo")->isReal());
  EXPECT_DOUBLE_EQ(received[14].info("sessionTempo")->realValue(), 127.5);
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(SynthObserverTest, CallbacksFromOtherThreadsArriveOnTheLoopInOrder) {
  // One thread plays the render thread: its calls must arrive in order and
  // none merged or dropped; a second thread interleaves its own.
  std::thread render([&] {
    for (int i = 0; i < 1000; ++i) observer->notifyPatternChangedFromMidi(i);
  });
  std::thread midi([&] {
    for (int i = 0; i < 1000; ++i) observer->synthTriggered(i % 8, true);
  });
  render.join();
  midi.join();
  loop.advanceBy(SynthObserver::kDrainInterval * 2);
  std::vector<int64_t> fromRender;
  size_t triggers = 0;
  for (const auto& n : received) {
    if (n.name == "notifyPatternChangedFromMidi") fromRender.push_back(infoInt(n, "patternNumber"));
    if (n.name == "synthTriggeredOn") ++triggers;
  }
  ASSERT_EQ(fromRender.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(fromRender[static_cast<size_t>(i)], i);
  EXPECT_EQ(triggers, 1000u);
  EXPECT_EQ(observer->dropped(), 0u);
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

// A burst far larger than the engine makes between two drains, from a
// thread playing the render thread, while the main loop runs on the real
// clock: every notification arrives, in order, none dropped.
TEST_F(SynthObserverTest, ABurstOf10000ArrivesCompleteAndInOrderWhileTheLoopRuns) {
  loop.setClock(nullptr);  // the real clock
  observer = std::make_unique<SynthObserver>(loop, center);
  // Three rings' worth: it can only all arrive if the loop drains during
  // the burst. The producer keeps within half a ring of what has arrived,
  // as a render thread a live main thread keeps up with would.
  const int kBurst = static_cast<int>(SynthObserver::kCapacity) * 3;
  std::atomic<int> arrived{0};
  center.addObserver(&arrived, "notifyPatternChangedFromMidi", [&](const Notification&) { ++arrived; });
  std::atomic<bool> giveUp{false};
  std::thread render([&] {
    for (int i = 0; i < kBurst && !giveUp; ++i) {
      while (i - arrived.load() >= static_cast<int>(SynthObserver::kCapacity) / 2 && !giveUp) std::this_thread::yield();
      observer->notifyPatternChangedFromMidi(i);
    }
  });
  // The bound only keeps a broken build from hanging.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (received.size() < static_cast<size_t>(kBurst) && std::chrono::steady_clock::now() < deadline)
    loop.runOnce(0.01);
  giveUp = true;
  render.join();
  loop.runOnce(0.0);
  center.removeObserver(&arrived);
  ASSERT_EQ(received.size(), static_cast<size_t>(kBurst));
  for (int i = 0; i < kBurst; ++i) ASSERT_EQ(infoInt(received[static_cast<size_t>(i)], "patternNumber"), i);
  EXPECT_EQ(observer->dropped(), 0u);
  for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

// A callback on the main thread never runs a handler inside itself, even
// when it makes room in a half-full ring: the loop posts later, in order.
TEST_F(SynthObserverTest, AMainThreadCallbackNeverPostsInsideItself) {
  const int n = static_cast<int>(SynthObserver::kCapacity) / 2 + 10;
  for (int i = 0; i < n; ++i) observer->notifyPatternChangedFromMidi(i);
  EXPECT_TRUE(received.empty());
  loop.runOnce(0.0);
  ASSERT_EQ(received.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ASSERT_EQ(infoInt(received[static_cast<size_t>(i)], "patternNumber"), i);
}

// Callbacks made on the main thread itself (a load there reports the
// change) never fill the ring: past half of it they drain first.
TEST_F(SynthObserverTest, CallbacksOnTheMainThreadNeverFillTheRing) {
  const int n = static_cast<int>(SynthObserver::kCapacity) * 3;
  for (int i = 0; i < n; ++i) observer->notifyPatternChangedFromMidi(i);
  loop.advanceBy(SynthObserver::kDrainInterval * 2);
  EXPECT_EQ(observer->dropped(), 0u);
  ASSERT_EQ(received.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ASSERT_EQ(infoInt(received[static_cast<size_t>(i)], "patternNumber"), i);
}

TEST_F(SynthObserverTest, AFullRingDropsInsteadOfBlockingAndSaysSoOnce) {
  std::vector<std::string> log;
  observer->setLog([&](const std::string& line) { log.push_back(line); });
  // Another thread, with the main thread not draining: the ring fills.
  auto fill = [&](size_t count) {
    std::thread other([&] {
      for (size_t i = 0; i < count; ++i) observer->sequenceDidStart();
    });
    other.join();
  };
  fill(SynthObserver::kCapacity + 5);
  EXPECT_EQ(observer->dropped(), 5u);
  loop.advanceBy(SynthObserver::kDrainInterval * 2);
  EXPECT_EQ(received.size(), SynthObserver::kCapacity);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("5 dropped"), std::string::npos) << log[0];
  // After draining there is room again; later drops are counted, and the
  // log is not told again.
  fill(SynthObserver::kCapacity + 2);
  EXPECT_EQ(observer->dropped(), 7u);
  loop.advanceBy(SynthObserver::kDrainInterval * 2);
  EXPECT_EQ(log.size(), 1u);
  observer->sequenceDidStop();
  loop.advanceBy(SynthObserver::kDrainInterval * 2);
  EXPECT_EQ(received.back().name, "sequenceDidStop");
}

// The observer outlives the loop's timers: a reset of the loop (a window
// back end made anew, on another clock) drops the drain timer, and nothing
// reaches the centre until draining resumes; what came in meanwhile is
// kept and posted then.
TEST_F(SynthObserverTest, DrainingResumesAfterTheLoopDroppedItsTimer) {
  loop.reset();
  loop.setClock(std::make_shared<platform::VirtualClock>(5.0));
  // Passes the loop makes for other reasons still bring the notifications,
  // but nothing would wake an idle loop for them.
  EXPECT_GT(loop.nextDueTime(), 1e9);
  observer->resumeDraining();
  EXPECT_LE(loop.nextDueTime(), 5.0 + SynthObserver::kDrainInterval + 1e-9);
  observer->patternChanged();
  observer->sequenceDidStart();
  loop.advanceBy(SynthObserver::kDrainInterval * 2);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].name, "patternChanged");
  EXPECT_EQ(received[1].name, "sequenceDidStart");
}

// An idle program must not wake up hundreds of times a second for an empty
// ring: the timer ticks at the display's rate only while callbacks keep
// coming, and any pass of the loop brings what waits without a tick.
TEST_F(SynthObserverTest, TheDrainTimerTicksFastOnlyWhileCallbacksKeepComing) {
  EXPECT_EQ(observer->drainInterval(), SynthObserver::kDrainInterval);
  std::thread([this] { observer->synthTriggered(2, true); }).join();
  loop.advanceBy(SynthObserver::kDrainInterval);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(observer->drainInterval(), SynthObserver::kBusyDrainInterval);

  // Busy: the next callback waits no longer than a display frame.
  std::thread([this] { observer->synthTriggered(2, false); }).join();
  EXPECT_LE(loop.nextDueTime() - clock->now(), SynthObserver::kBusyDrainInterval + 1e-9);
  loop.advanceBy(SynthObserver::kBusySpan / 2);
  EXPECT_EQ(received.size(), 2u);
  EXPECT_EQ(observer->drainInterval(), SynthObserver::kBusyDrainInterval);

  // Quiet for longer than the busy span: back to the slow tick.
  loop.advanceBy(SynthObserver::kBusySpan);
  EXPECT_EQ(observer->drainInterval(), SynthObserver::kDrainInterval);
  int wakeups = 0;
  const double end = clock->now() + 1.0;
  while (loop.nextDueTime() <= end) {
    loop.advanceBy(loop.nextDueTime() - clock->now());
    ++wakeups;
  }
  EXPECT_LE(wakeups, static_cast<int>(1.0 / SynthObserver::kDrainInterval) + 1);

  // A pass made for anything else (here one with no time passing) posts
  // what came meanwhile.
  std::thread([this] { observer->patternChanged(); }).join();
  loop.drain();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[2].name, "patternChanged");
}

}  // namespace
