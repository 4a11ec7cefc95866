#include <gtest/gtest.h>

#include "app/gq_flurry.h"

TEST(GQFlurryTest, RemembersOnlyANewEventWhileEnabled) {
  GQFlurry f;
  EXPECT_FALSE(f.isEnabled());
  EXPECT_EQ(f.lastEventType(), "");
  f.reportEvent(gq_event::kStart);
  EXPECT_EQ(f.lastEventType(), "") << "disabled: nothing changes";
  f.setIsEnabled(true);
  f.reportEvent(gq_event::kStart);
  EXPECT_EQ(f.lastEventType(), "Start");
  f.reportEvent(gq_event::kStop);
  EXPECT_EQ(f.lastEventType(), "Stop");
  f.setLastEventType("Stop");
  f.reportEvent(gq_event::kStop);
  EXPECT_EQ(f.lastEventType(), "Stop");
  f.setIsEnabled(false);
  f.reportEvent(gq_event::kLoop);
  EXPECT_EQ(f.lastEventType(), "Stop");
}

TEST(GQFlurryTest, OneSharedInstance) {
  EXPECT_EQ(&GQFlurry::sharedInstance(), &GQFlurry::sharedInstance());
}
