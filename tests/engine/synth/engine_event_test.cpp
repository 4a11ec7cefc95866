#include "engine/synth/engine_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/synth/engine_event_queue.h"

namespace {

TEST(EngineEvent, SortKey) {
  EXPECT_EQ((EngineEvent{3, EngineEvent::kStepTrigger, 5, 1}.sortKey()), 3 * 65536 + 4 * 16 + 5);
  EXPECT_EQ((EngineEvent{3, EngineEvent::kMotionValue, 100, 7}.sortKey()), 3 * 65536 + 2 * 16);
  EXPECT_EQ((EngineEvent{0, EngineEvent::kMidiNote, 7, 99}.sortKey()), 6 * 16 + 7);
}

TEST(EngineEventList, OrdersByFrameTypePartAndKeepsTies) {
  EngineEventList list;
  list.push(5, EngineEvent::kStepTrigger, 3, 0);
  list.push(5, EngineEvent::kMotionValue, 40, 1);   // same frame: motion before trigger
  list.push(5, EngineEvent::kStepTrigger, 1, 0);    // lower part first
  list.push(0, EngineEvent::kStepTrigger, 7, 0);
  list.push(5, EngineEvent::kMotionValue, 41, 2);   // ties keep push order
  list.push(2, EngineEvent::kControlChange, 9, 9);
  list.sort();
  const uint32_t frames[] = {0, 2, 5, 5, 5, 5};
  const uint32_t types[] = {4, 0, 2, 2, 4, 4};
  const uint32_t as[] = {7, 9, 40, 41, 1, 3};
  ASSERT_EQ(list.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(list[i].frame, frames[i]) << i;
    EXPECT_EQ(list[i].type, types[i]) << i;
    EXPECT_EQ(list[i].a, as[i]) << i;
  }
  list.clear();
  EXPECT_TRUE(list.empty());
}

TEST(EngineEventList, FullListDropsInsteadOfGrowing) {
  EngineEventList list;
  for (size_t i = 0; i < EngineEventList::kCapacity + 10; ++i) list.push(1, 2, 3, 4);
  EXPECT_EQ(list.size(), EngineEventList::kCapacity);
  EXPECT_EQ(list.dropped(), 10u);
}

}  // namespace

namespace {

TEST(EngineEventQueue, DrainTakesTheDueEntriesAndKeepsTheRestInOrder) {
  EngineEventQueue q;
  for (uint32_t i = 0; i < 6; ++i) ASSERT_TRUE(q.push(100 * i, EngineEventQueueEntry::kLiveTrigger, i, 1));
  std::vector<uint32_t> taken;
  ASSERT_TRUE(q.drain([](const EngineEventQueueEntry& e) { return e.a % 2 == 0; },
                      [&](const EngineEventQueueEntry& e) { taken.push_back(e.a); }));
  EXPECT_EQ(taken, (std::vector<uint32_t>{0, 2, 4}));
  EXPECT_EQ(q.size(), 3u);
  taken.clear();
  ASSERT_TRUE(q.drain([](const EngineEventQueueEntry&) { return true; },
                      [&](const EngineEventQueueEntry& e) { taken.push_back(e.a); }));
  EXPECT_EQ(taken, (std::vector<uint32_t>{1, 3, 5}));
  EXPECT_EQ(q.size(), 0u);
}

TEST(EngineEventQueue, FullQueueDropsAndCounts) {
  EngineEventQueue q;
  for (size_t i = 0; i < EngineEventQueue::kCapacity; ++i) ASSERT_TRUE(q.push(i, 0, 0, 0));
  EXPECT_FALSE(q.push(1, 0, 0, 0));
  EXPECT_FALSE(q.push(2, 0, 0, 0));
  EXPECT_EQ(q.dropped(), 2u);
  EXPECT_EQ(q.size(), EngineEventQueue::kCapacity);
}

TEST(EngineEventQueue, ProducersOnOtherThreadsLoseNothing) {
  EngineEventQueue q;
  std::atomic<bool> go{false};
  std::vector<std::thread> producers;
  for (uint32_t t = 0; t < 4; ++t) {
    producers.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (uint32_t i = 0; i < 200; ++i) q.push(i, EngineEventQueueEntry::kMidiNote, t, i);
    });
  }
  go.store(true);
  std::vector<int> seen(4, 0);
  std::vector<uint32_t> next(4, 0);
  bool ordered = true;
  auto drainAll = [&] {
    q.drain([](const EngineEventQueueEntry&) { return true; },
            [&](const EngineEventQueueEntry& e) {
              ordered = ordered && e.b == next[e.a];
              next[e.a] = e.b + 1;
              ++seen[e.a];
            });
  };
  while (seen[0] + seen[1] + seen[2] + seen[3] < 800) drainAll();
  for (auto& p : producers) p.join();
  drainAll();
  EXPECT_EQ(seen, (std::vector<int>{200, 200, 200, 200}));
  EXPECT_TRUE(ordered);
  EXPECT_EQ(q.dropped(), 0u);
}

}  // namespace
