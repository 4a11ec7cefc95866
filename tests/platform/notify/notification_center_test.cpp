#include "platform/notify/notification_center.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/run_loop.h"

using platform::Notification;
using platform::NotificationCenter;
using platform::NotificationQueue;
using platform::PostingStyle;
using platform::RunLoop;
using platform::Value;

namespace {

TEST(NotificationCenterTest, PostReachesObserversOfTheNameInRegistrationOrder) {
  NotificationCenter center;
  std::vector<std::string> log;
  int a, b, c;
  center.addObserver(&a, "patternChanged", [&](const Notification&) { log.push_back("a"); });
  center.addObserver(&b, "patternChanged", [&](const Notification& n) {
    log.push_back("b " + std::to_string(n.info("patternNumber")->integerValue()));
  });
  center.addObserver(&c, "sequenceDidStart", [&](const Notification&) { log.push_back("c"); });
  center.addObserver(&c, "", [&](const Notification& n) { log.push_back("any " + n.name); });
  center.post("patternChanged", {}, {{"patternNumber", Value(288)}});
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b 288", "any patternChanged"}));
}

TEST(NotificationCenterTest, ObjectsAndRemoval) {
  NotificationCenter center;
  int owner, other;
  std::string seen;
  center.addObserver(&owner, "TINotificationMessageArrived",
                     [&](const Notification& n) { seen = n.objectAs<std::string>() ? *n.objectAs<std::string>() : "?"; });
  center.addObserver(&owner, "patternChanged", [&](const Notification&) { seen = "pattern"; });
  const auto token = center.addObserver(&other, "patternChanged", [&](const Notification&) { seen += "+other"; });
  center.post("TINotificationMessageArrived", std::string("Saved as a.wav."));
  EXPECT_EQ(seen, "Saved as a.wav.");
  center.removeObserver(&owner, "TINotificationMessageArrived");
  seen.clear();
  center.post("TINotificationMessageArrived", std::string("x"));
  EXPECT_EQ(seen, "");
  center.post("patternChanged");
  EXPECT_EQ(seen, "pattern+other");
  center.removeObserver(token);
  center.removeObserver(&owner);
  EXPECT_EQ(center.observerCount("patternChanged"), 0u);
}

TEST(NotificationCenterTest, ObserversChangedDuringAPost) {
  NotificationCenter center;
  int a, b, c;
  std::vector<std::string> log;
  center.addObserver(&a, "n", [&](const Notification&) {
    log.push_back("a");
    center.removeObserver(&b);  // b has not run yet: it must not now
    center.addObserver(&c, "n", [&](const Notification&) { log.push_back("c"); });
  });
  center.addObserver(&b, "n", [&](const Notification&) { log.push_back("b"); });
  center.post("n");
  EXPECT_EQ(log, (std::vector<std::string>{"a"}));
  center.post("n");
  EXPECT_EQ(log, (std::vector<std::string>{"a", "a", "c"}));
}

TEST(NotificationCenterTest, PostsFromOtherThreadsRunThere) {
  NotificationCenter center;
  int owner;
  std::atomic<int> count{0};
  center.addObserver(&owner, "midi", [&](const Notification&) { ++count; });
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int k = 0; k < 250; ++k) center.post("midi");
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(count, 1000);
}

class NotificationQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { loop.setClock(std::make_shared<platform::VirtualClock>()); }
  RunLoop loop;
  NotificationCenter center;
  NotificationQueue queue{center, loop};
  int owner = 0;
};

TEST_F(NotificationQueueTest, AsapArrivesAfterTheCurrentHandlerReturns) {
  std::vector<std::string> log;
  center.addObserver(&owner, "TINotificationMessageArrived", [&](const Notification&) { log.push_back("arrived"); });
  // An event handler (here a posted block) enqueues and goes on working.
  loop.perform([&] {
    queue.enqueue({"TINotificationMessageArrived", std::string("hello"), {}}, PostingStyle::ASAP);
    log.push_back("handler still running");
  });
  loop.perform([&] { log.push_back("next handler of the pass"); });
  loop.runOnce();
  EXPECT_EQ(log, (std::vector<std::string>{"handler still running", "next handler of the pass", "arrived"}));
}

TEST_F(NotificationQueueTest, OrderNowAsapIdleAndDequeue) {
  std::vector<std::string> log;
  center.addObserver(&owner, "", [&](const Notification& n) { log.push_back(n.name); });
  loop.perform([&] {
    queue.enqueue({"idle", {}, {}}, PostingStyle::WhenIdle);
    queue.enqueue({"asap 1", {}, {}}, PostingStyle::ASAP);
    queue.enqueue({"now", {}, {}}, PostingStyle::Now);
    queue.enqueue({"asap 2", {}, {}}, PostingStyle::ASAP);
    queue.enqueue({"cancelled", {}, {}}, PostingStyle::ASAP);
    queue.dequeue("cancelled");
  });
  loop.runOnce();
  EXPECT_EQ(log, (std::vector<std::string>{"now", "asap 1", "asap 2", "idle"}));
  EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(NotificationQueueTest, EnqueuedByAnObserverWaitsForTheNextPass) {
  int posts = 0;
  center.addObserver(&owner, "again", [&](const Notification&) {
    if (++posts < 3) queue.enqueue({"again", {}, {}}, PostingStyle::ASAP);
  });
  queue.enqueue({"again", {}, {}}, PostingStyle::ASAP);
  loop.runOnce();
  EXPECT_EQ(posts, 1);
  loop.runOnce();
  EXPECT_EQ(posts, 2);
}

TEST_F(NotificationQueueTest, PostsBeforeLaterPassObservers) {
  std::vector<std::string> log;
  loop.addPassObserver([&] { log.push_back("layout"); }, 100);
  center.addObserver(&owner, "n", [&](const Notification&) { log.push_back("posted"); });
  queue.enqueue({"n", {}, {}}, PostingStyle::ASAP);
  loop.runOnce();
  EXPECT_EQ(log, (std::vector<std::string>{"posted", "layout"}));
}

}  // namespace
