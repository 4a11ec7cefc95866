// The program in a real Link session with a second peer on a private
// loopback network: the beat counter turns connected (no blinking, the
// wedge moving with the session's phase), and Play counts in to the next
// bar of the session on the overlay, the numbers falling by one to "1",
// before the sequencer starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/gbx_menu_bar_view_controller.h"
#include "app/gbx_seq_count_views.h"
#include "app/headless_app.h"
#include "audio/link/abl_link.h"
#include "audio/link/abl_link_kit.h"
#include "link_test_support.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"

namespace {

const auto* const kLoopback = ::testing::AddGlobalTestEnvironment(new linktest::LoopbackEnvironment);

class LinkSessionTest : public HeadlessAppTest {};

}  // namespace

TEST_F(LinkSessionTest, WithAPeerTheCounterIsConnectedAndPlayCountsInToTheNextBar) {
  start();
  Z31647ViewController& c = *ctl();
  ABLLink* handle = ABLLinkHandleOf(synth()->linkHandle());
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(ABLLinkUserSetEnabled(handle, true));

  linktest::KitPlace place;
  place.defaults().setBool(true, kABLLinkEnabledKey);
  ABLLink* peer = ABLLinkNewWithEnvironment(120.0, place.environment());
  ASSERT_TRUE(pumpUntil([&] { return c.isAbletonLinkSyncConnected(); }, 20.0)) << "the peers find each other";
  ASSERT_TRUE(pumpUntil([&] { return c.linkCounterView()->connected(); }, 5.0));
  EXPECT_TRUE(c.menuBarViewController()->abletonLinkButton()->isSelected());
  EXPECT_EQ(c.linkCounterView()->indicator()->layer().animationForKey("blink"), nullptr) << "steady when connected";
  ASSERT_TRUE(pumpUntil([&] { return c.linkCounterView()->indicator()->value() > 0.0f; }, 5.0))
      << "the wedge follows the session's phase";

  std::vector<std::string> numbers;
  std::vector<int32_t> counts;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, "precountAbletonLinkSync", [&](const platform::Notification& n) {
        if (const platform::Value* v = n.info("count")) counts.push_back(static_cast<int32_t>(v->integerValue()));
        if (GBXSeqPreCountView* o = c.preCountView()) {
          const std::string& t = o->countLabel()->text();
          if (!t.empty() && (numbers.empty() || numbers.back() != t)) numbers.push_back(t);
        }
      });
  // Play in a bar's first half, so that the count-in has beats left to
  // show: pressed in its last tick, the start comes before any count.
  ASSERT_TRUE(pumpUntil([&] { return synth()->linkPhase() > 0.05f && synth()->linkPhase() < 0.5f; }, 5.0));
  c.play(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }, 15.0));
  pump(0.1);
  platform::NotificationCenter::defaultCenter().removeObserver(this);

  ASSERT_NE(c.preCountView(), nullptr) << "a count-in was shown";
  EXPECT_EQ(c.preCountView()->beat(), 96) << "a four-beat bar in ticks";
  ASSERT_FALSE(counts.empty());
  for (size_t i = 1; i < counts.size(); ++i) EXPECT_GT(counts[i], counts[i - 1]) << "the count rises";
  EXPECT_GE(counts.front(), -96);
  ASSERT_FALSE(numbers.empty());
  EXPECT_LE(std::stoi(numbers.front()), 4);
  for (size_t i = 1; i < numbers.size(); ++i) EXPECT_EQ(std::stoi(numbers[i]), std::stoi(numbers[i - 1]) - 1);
  EXPECT_EQ(numbers.back(), "1");
  EXPECT_FALSE(c.preCountView()->labelVisible()) << "faded out at the start";

  c.stopButtonDown(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }));
  ABLLinkDelete(peer);
  ABLLinkUserSetEnabled(handle, false);
}
