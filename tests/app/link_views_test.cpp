// The Link count-in overlay following a fake Link clock (its ticks posted as
// the engine posts them), the sequencer's stop clearing it, the beat
// counter's states, and the menu bar's Link button.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/gbx_menu_bar_view_controller.h"
#include "app/gbx_seq_count_views.h"
#include "app/headless_app.h"
#include "audio/link/abl_link_kit.h"
#include "audio/link/screens/abl_settings_view_controller.h"
#include "platform/gfx/image.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"

namespace {

// A Link clock that counts in: `beat` ticks per count-in, starting
// `remaining` ticks before the start. Each tick is posted as the engine
// observer posts it.
struct FakeLinkCountIn {
  int32_t beat;
  int32_t count;
  FakeLinkCountIn(int32_t beat, int32_t remaining) : beat(beat), count(-remaining - 1) {}
  bool done() const { return count >= 0; }
  void tick() {
    platform::NotificationCenter::defaultCenter().post(
        "precountAbletonLinkSync", {},
        platform::Dictionary{{"beat", platform::Value(beat)}, {"count", platform::Value(count)}});
    ++count;
  }
};

class LinkViewsTest : public HeadlessAppTest {
 protected:
  GBXSeqPreCountView& overlay() { return *ctl()->preCountView(); }
  std::string number() { return overlay().countLabel()->text(); }
  // Runs the clock to its end, noting the number shown at each remaining tick.
  std::vector<std::pair<int32_t, std::string>> run(FakeLinkCountIn clock) {
    std::vector<std::pair<int32_t, std::string>> shown;
    while (!clock.done()) {
      const int32_t remaining = -clock.count - 1;
      clock.tick();
      shown.emplace_back(remaining, number());
    }
    return shown;
  }
  static std::string at(const std::vector<std::pair<int32_t, std::string>>& shown, int32_t remaining) {
    for (const auto& [r, text] : shown)
      if (r == remaining) return text;
    return "<none>";
  }
};

}  // namespace

TEST_F(LinkViewsTest, ACountInFromTheBarStartShowsFourToOneThenFades) {
  start();
  Z31647ViewController& c = *ctl();
  EXPECT_EQ(c.preCountView(), nullptr) << "made on the first count-in tick";
  FakeLinkCountIn clock(96, 95);
  clock.tick();
  ASSERT_NE(c.preCountView(), nullptr);
  EXPECT_EQ(overlay().superview(), c.baseImageView());
  EXPECT_EQ(overlay().frame(), (platform::Rect{298, 137, 140, 140}));
  EXPECT_EQ(c.baseImageView()->subviews().back().get(), static_cast<platform::View*>(&overlay())) << "in front";
  EXPECT_FALSE(overlay().isUserInteractionEnabled());
  EXPECT_EQ(number(), "4");
  EXPECT_TRUE(overlay().labelVisible());
  EXPECT_DOUBLE_EQ(overlay().indicator()->alpha(), 1.0);
  EXPECT_EQ(overlay().indicator()->unit(), 24);
  EXPECT_EQ(overlay().indicator()->progress(), 95);
  EXPECT_NE(overlay().countLabel()->layer().animationForKey("scale-layer"), nullptr) << "the number pops in";
  std::vector<std::pair<int32_t, std::string>> shown = run(clock);
  for (const auto& [remaining, text] : shown) {
    const std::string expected = remaining > 72 ? "4" : remaining > 48 ? "3" : remaining > 24 ? "2" : "1";
    EXPECT_EQ(text, expected) << "remaining " << remaining;
  }
  // The last tick: still "1", fading out.
  EXPECT_EQ(at(shown, 0), "1");
  EXPECT_EQ(overlay().count(), -1);
  EXPECT_FALSE(overlay().labelVisible());
  EXPECT_DOUBLE_EQ(overlay().indicator()->alpha(), 0.0);
  EXPECT_DOUBLE_EQ(overlay().countLabel()->alpha(), 0.0);
  EXPECT_NE(overlay().indicator()->layer().animationForKey("scale-layer"), nullptr);
  // The ring is full at each beat boundary and fills through the beat.
  EXPECT_DOUBLE_EQ(overlay().indicator()->fraction(), 1.0);
  overlay().indicator()->setProgress(18);
  EXPECT_DOUBLE_EQ(overlay().indicator()->fraction(), 0.25);
}

TEST_F(LinkViewsTest, AMidBarCountInShowsTheNextWholeBeatAndPartialBeatsChangeNothing) {
  start();
  std::vector<std::pair<int32_t, std::string>> shown = run(FakeLinkCountIn(96, 50));
  EXPECT_EQ(at(shown, 50), "3");
  EXPECT_EQ(at(shown, 49), "3");
  EXPECT_EQ(at(shown, 48), "2");
  EXPECT_EQ(at(shown, 25), "2");
  EXPECT_EQ(at(shown, 24), "1");
  // A new count-in that starts lower again passes the flag: the number
  // jumps to the next whole beat count at once.
  shown = run(FakeLinkCountIn(96, 60));
  EXPECT_EQ(at(shown, 60), "3");
}

TEST_F(LinkViewsTest, TheRingTurnsPerBeatUnitAndOddLengthsShowNothing) {
  start();
  struct Case {
    int32_t beat;
    int32_t unit;
    std::string first;  // the number shown at the first tick
  };
  for (const Case& k : {Case{36, 12, "3"}, Case{72, 24, "3"}, Case{18, 6, "3"}, Case{9, 3, "3"}, Case{100, 0, ""}}) {
    if (ctl()->preCountView()) overlay().stop();
    FakeLinkCountIn clock(k.beat, k.beat - 1);
    clock.tick();
    EXPECT_EQ(overlay().indicator()->unit(), k.unit) << k.beat;
    EXPECT_EQ(number(), k.first) << k.beat;
  }
}

TEST_F(LinkViewsTest, StoppingTheSequencerClearsTheOverlayAtOnce) {
  start();
  FakeLinkCountIn clock(96, 95);
  for (int i = 0; i < 20; ++i) clock.tick();
  ASSERT_EQ(number(), "4");
  platform::NotificationCenter::defaultCenter().post("sequenceDidStop");
  EXPECT_EQ(overlay().beat(), 0);
  EXPECT_EQ(overlay().count(), 0);
  EXPECT_EQ(number(), "");
  EXPECT_FALSE(overlay().labelVisible());
  EXPECT_DOUBLE_EQ(overlay().indicator()->alpha(), 0.0);
  EXPECT_DOUBLE_EQ(overlay().countLabel()->alpha(), 0.0);
  EXPECT_FALSE(overlay().countLabel()->layer().hasAnimations()) << "no animation";
  EXPECT_FALSE(overlay().indicator()->layer().hasAnimations());
}

TEST(LinkCounter, HiddenWhileOffBlinksUnconnectedAndShowsTheWedgeConnected) {
  GBXSeqCountView counter({288, 24, 24, 24});
  GBXSeqCountViewIndicator& ind = *counter.indicator();
  EXPECT_FALSE(counter.isUserInteractionEnabled());
  EXPECT_TRUE(ind.isHidden());
  EXPECT_FALSE(ind.connected());
  EXPECT_FALSE(ind.enabled());
  counter.setProgress(0.25f);
  EXPECT_EQ(ind.value(), 0.0f) << "nothing while off";
  // On, no peer: shown, blinking, only the sliver of value 0.
  counter.setEnabled(true);
  EXPECT_FALSE(ind.isHidden());
  const platform::BasicAnimation* blink = ind.layer().animationForKey("blink");
  ASSERT_NE(blink, nullptr);
  EXPECT_EQ(blink->keyPath, "opacity");
  EXPECT_TRUE(blink->autoreverses);
  EXPECT_DOUBLE_EQ(blink->duration, 0.5);
  EXPECT_EQ(ind.value(), 0.0f);
  // A peer: the blinking stops at once, half opacity fading to full, the wedge.
  counter.setConnected(true);
  EXPECT_EQ(ind.layer().animationForKey("blink"), nullptr);
  EXPECT_DOUBLE_EQ(ind.alpha(), 1.0);
  EXPECT_TRUE(ind.layer().hasAnimations()) << "the fade from 0.5";
  EXPECT_EQ(ind.value(), 0.25f);
  counter.setProgress(0.5f);
  EXPECT_EQ(ind.value(), 0.5f);
  // The peer leaves: blinking again once the fade is over, value 0.
  counter.setConnected(false);
  EXPECT_EQ(ind.value(), 0.0f);
  EXPECT_DOUBLE_EQ(ind.alpha(), 0.5);
  ind.resetAnimation();
  EXPECT_NE(ind.layer().animationForKey("blink"), nullptr);
  // Off: hidden, no blinking.
  counter.setEnabled(false);
  EXPECT_TRUE(ind.isHidden());
  EXPECT_EQ(ind.layer().animationForKey("blink"), nullptr);
}

TEST_F(LinkViewsTest, TheCounterFollowsTheEnginesLinkStateAndTheButtonItsAvailability) {
  start();
  Z31647ViewController& c = *ctl();
  GBXSeqCountView* counter = c.linkCounterView();
  ASSERT_NE(counter, nullptr);
  EXPECT_EQ(counter->superview(), c.baseImageView());
  EXPECT_EQ(counter->frame(), (platform::Rect{288, 24, 24, 24}));
  // Link is there but off until the user switches it on.
  ASSERT_FALSE(synth()->isLinkEnabled());
  pump(0.1);
  EXPECT_FALSE(counter->enabled());
  EXPECT_TRUE(counter->indicator()->isHidden());
  platform::Button* link = c.menuBarViewController()->abletonLinkButton();
  EXPECT_FALSE(link->isHidden());
  EXPECT_TRUE(link->isEnabled());
  EXPECT_FALSE(link->isSelected());
  // Without an engine: Link is not available, the button disabled and off.
  auto bare = std::make_shared<Z31647ViewController>();
  bare->view();
  bare->updateAbletonLinkSyncButtonState();
  bare->updateAbletonLinkCounterState();
  EXPECT_FALSE(bare->menuBarViewController()->abletonLinkButton()->isEnabled());
  EXPECT_FALSE(bare->menuBarViewController()->abletonLinkButton()->isSelected());
  EXPECT_TRUE(bare->menuBarViewController()->abletonLinkButton()->isHidden());
  EXPECT_FALSE(bare->isAbletonLinkSyncConnected());
  EXPECT_EQ(bare->retrieveAbletonLinkSyncBeatProgress(), 0.0f);
  EXPECT_FALSE(bare->linkCounterView()->enabled());
}

TEST_F(LinkViewsTest, TheLinkButtonPresentsTheKitsSettingsScreenAsAPopoverUnderIt) {
  start();
  Z31647ViewController& c = *ctl();
  tap(centre(23, 125, 62.5, 24));  // the menu bar comes down
  ASSERT_TRUE(pumpUntil([&] { return !c.menuBarViewController()->view()->layer().hasAnimations(); }));
  platform::Button* link = c.menuBarViewController()->abletonLinkButton();
  const platform::Rect f = link->frame();
  tap({f.midX(), f.midY()});
  ABLLink* handle = ABLLinkHandleOf(synth()->linkHandle());
  ASSERT_NE(handle, nullptr);
  std::shared_ptr<ABLSettingsViewController> screen = ABLLinkSettingsViewController::instance(handle);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(c.presentedViewController(), screen.get());
  EXPECT_EQ(screen->modalPresentationStyle(), platform::ModalPresentationStyle::Popover);
  platform::PopoverPresentationController* popover = screen->popoverPresentationController();
  EXPECT_EQ(popover->sourceView(), link);
  EXPECT_EQ(popover->permittedArrowDirections(), platform::PopoverArrowDirection::Up);
  EXPECT_EQ(popover->delegate(), static_cast<platform::PopoverPresentationControllerDelegate*>(&c));
  EXPECT_EQ(screen->tableView()->numberOfSections(), 1) << "Link is off";
  EXPECT_FALSE(screen->linkSwitch()->isOn());
  // A second press while it shows presents nothing more.
  c.toggleAbletonLinkSync(link);
  EXPECT_EQ(c.presentedViewController(), screen.get());
  c.dismissViewControllerAnimated(false, nullptr);
  pump(0.05);
  EXPECT_EQ(c.presentedViewController(), nullptr);
  // Without an engine the button does nothing.
  auto bare = std::make_shared<Z31647ViewController>();
  bare->view();
  bare->toggleAbletonLinkSync(bare->menuBarViewController()->abletonLinkButton());
  EXPECT_EQ(bare->presentedViewController(), nullptr);
}

// The real engine on the Link kit's local timeline (Link's network stays off:
// the kit is told the application is inactive): switching sync on lights the
// Link button and shows the counter blinking unconnected; alone in the
// session, Play starts at once (beat 0 is now: nothing to count in to);
// switching sync off hides the counter again.
TEST_F(LinkViewsTest, LinkSyncOnLightsTheButtonAndShowsTheCounterUnconnected) {
  start();
  Z31647ViewController& c = *ctl();
  ABLLink* handle = ABLLinkHandleOf(synth()->linkHandle());
  ASSERT_NE(handle, nullptr);
  ABLLinkSetAppActive(handle, false);
  ASSERT_TRUE(ABLLinkUserSetEnabled(handle, true));
  ASSERT_TRUE(pumpUntil([&] { return c.menuBarViewController()->abletonLinkButton()->isSelected(); }))
      << "abletonLinkSyncEnabledDidChange";
  EXPECT_TRUE(c.isAbletonLinkSyncOn());
  EXPECT_FALSE(c.isAbletonLinkSyncConnected());
  EXPECT_TRUE(c.linkCounterView()->enabled());
  EXPECT_FALSE(c.linkCounterView()->connected());
  EXPECT_FALSE(c.linkCounterView()->indicator()->isHidden());
  EXPECT_NE(c.linkCounterView()->indicator()->layer().animationForKey("blink"), nullptr);
  EXPECT_EQ(c.linkCounterView()->indicator()->value(), 0.0f) << "only the sliver while unconnected";
  c.play(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }, 15.0));
  EXPECT_EQ(c.preCountView(), nullptr) << "alone, nothing to count in to";
  c.stopButtonDown(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }, 30.0));
  ABLLinkUserSetEnabled(handle, false);
  ASSERT_TRUE(pumpUntil([&] { return !c.menuBarViewController()->abletonLinkButton()->isSelected(); }));
  EXPECT_FALSE(c.linkCounterView()->enabled());
  EXPECT_TRUE(c.linkCounterView()->indicator()->isHidden());
}

TEST(LinkDrawing, TheCountInRingFillsClockwiseFromTheTopAndTheCounterWedgeGrows) {
  platform::HeadlessBackend backend;  // the program's screen: 736 × 414 points, 2 pixels a point
  auto near = [](platform::Image::RGBA p, int r, int g, int b) {
    return std::abs(p.r - r) <= 12 && std::abs(p.g - g) <= 12 && std::abs(p.b - b) <= 12 && p.a > 200;
  };
  // 140-point ring: bounds inset by 8, radius 62 around (70, 70), 8 wide.
  GBXCountDownIndicator ring({0, 0, 140, 140});
  ring.setUnit(0);
  platform::ImagePtr none = backend.renderView(ring);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->pixelAt({70, 8}).a, 0) << "no unit, nothing drawn";
  ring.setUnit(24);
  ring.setProgress(12);  // half the beat gone
  ring.setNeedsDisplay();  // the setters store only
  platform::ImagePtr half = backend.renderView(ring);
  EXPECT_TRUE(near(half->pixelAt({132, 70}), 80, 210, 178)) << "right side lit";
  EXPECT_TRUE(near(half->pixelAt({8, 70}), 48, 126, 107)) << "left side still dark";
  ring.setProgress(0);  // a beat boundary: the whole ring
  ring.setNeedsDisplay();
  platform::ImagePtr full = backend.renderView(ring);
  EXPECT_TRUE(near(full->pixelAt({8, 70}), 80, 210, 178));

  // 24-point counter: inset by 2, radius 10 around (12, 12).
  GBXSeqCountViewIndicator counter({0, 0, 24, 24});
  counter.setValue(0.25f);
  counter.setNeedsDisplay();
  platform::ImagePtr quarter = backend.renderView(counter);
  EXPECT_TRUE(near(quarter->pixelAt({16, 8}), 35, 116, 96)) << "the first quarter darkened";
  EXPECT_TRUE(near(quarter->pixelAt({8, 16}), 77, 255, 210)) << "the rest light";
}
