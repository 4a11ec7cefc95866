#include "engine/synth/engine_event.h"

#include <gtest/gtest.h>

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
