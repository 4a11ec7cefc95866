#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/foundation/bundle.h"
#include "platform/gfx/image.h"
#include "screen_test_support.h"
#include "screens/release_note_view_controller.h"
#include "screens/ti_eye_catch_view_controller.h"
#include "screens/ui_dissolve_view_controller.h"

namespace {

using platform::Rect;

class CountingDelegate : public UIDissolveViewControllerDelegate {
 public:
  void dissolveViewControllerDidDismiss(UIDissolveViewController&) override { ++dismissed; }
  int dismissed = 0;
};

class OverlaysTest : public screentest::ScreenTest {
 protected:
  // The overlay laid over the host's view at (100, 100).
  std::shared_ptr<TIEyeCatchViewController> overlay() {
    auto o = std::make_shared<TIEyeCatchViewController>();
    host->addChildViewController(o);
    o->view()->setFrame({100, 100, 300, 120});
    host->view()->addSubview(o->viewPtr());
    o->didMoveToParentViewController(host.get());
    o->setDelegate(&delegate);
    under = std::make_shared<platform::Button>(platform::Button::Type::Custom, Rect{150, 150, 100, 40});
    under->addTarget(this, "under", [this](platform::Control&) { ++underTaps; }, platform::ControlEvents::TouchUpInside);
    host->view()->insertSubviewBelow(under, o->view());
    return o;
  }
  CountingDelegate delegate;
  std::shared_ptr<platform::Button> under;
  int underTaps = 0;
};

TEST_F(OverlaysTest, AFadeOutThatEndsTellsTheDelegateOnce) {
  auto d = std::make_shared<UIDissolveViewController>();
  d->setDelegate(&delegate);
  window->addSubview(d->viewPtr());
  d->openUp(0.2f);
  EXPECT_DOUBLE_EQ(d->view()->alpha(), 1.0);  // the model value at once
  backend.advance(0.3);
  EXPECT_EQ(delegate.dismissed, 0);  // no call after a fade-in
  d->dismiss(0.3f);
  EXPECT_DOUBLE_EQ(d->view()->alpha(), 0.0);
  backend.advance(0.1);
  EXPECT_EQ(delegate.dismissed, 0);
  backend.advance(0.3);
  EXPECT_EQ(delegate.dismissed, 1);
  EXPECT_TRUE(d->view()->window());  // left in place, transparent
  // A fade-out interrupted by a fade-in tells nobody.
  d->openUp(0.0f);
  d->dismiss(0.5f);
  backend.advance(0.1);
  d->openUp(0.1f);
  backend.advance(1.0);
  EXPECT_EQ(delegate.dismissed, 1);
}

TEST_F(OverlaysTest, TheEyeCatchShowsOnlyWithTipsOnAndTheFirstTouchPassesThrough) {
  settings().set(GlobalSettings::kShowTips, 1);
  auto o = overlay();
  o->setHeadlineText("Touch a step to switch it on");
  EXPECT_EQ(o->frameView()->tag(), 0);
  EXPECT_EQ(o->headline()->tag(), 1);
  EXPECT_EQ(o->info()->tag(), 2);
  EXPECT_EQ(o->headline()->text(), "Touch a step to switch it on");
  EXPECT_EQ(o->headline()->font().pointSize, 15.0);
  o->openUp(0.2f);
  backend.advance(0.3);
  EXPECT_FALSE(o->touched());
  EXPECT_DOUBLE_EQ(o->view()->alpha(), 1.0);
  // A touch on the frame over the button: the overlay fades, the button gets it.
  tap(*under);
  EXPECT_TRUE(o->touched());
  EXPECT_EQ(underTaps, 1);
  // A second touch: no second fade or call.
  backend.advance(0.1);
  tap(*under);
  EXPECT_EQ(underTaps, 2);
  backend.advance(1.0);
  EXPECT_EQ(delegate.dismissed, 1);
  EXPECT_DOUBLE_EQ(o->view()->alpha(), 0.0);
}

TEST_F(OverlaysTest, TheInfoButtonOpensItsTextAndDoesNotClose) {
  settings().set(GlobalSettings::kShowTips, 1);
  auto o = overlay();
  o->setInfoText("Steps light up while they play.");
  o->openUp(0.0f);
  backend.advance(0.1);
  tap(*o->info());
  backend.advance(0.5);
  EXPECT_FALSE(o->touched());
  auto* content = dynamic_cast<EyeCatchInfoContentViewController*>(o->presentedViewController());
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(content->modalPresentationStyle(), platform::ModalPresentationStyle::Popover);
  EXPECT_EQ(content->textView()->text(), "Steps light up while they play.");
}

TEST_F(OverlaysTest, WithTipsOffTheEyeCatchStaysHiddenAndSilent) {
  settings().set(GlobalSettings::kShowTips, 0);
  auto o = overlay();
  o->openUp(0.2f);
  backend.advance(0.3);
  EXPECT_DOUBLE_EQ(o->view()->alpha(), 0.0);
  // Tips switched off between showing and the touch.
  settings().set(GlobalSettings::kShowTips, 1);
  o->openUp(0.0f);
  backend.advance(0.1);
  settings().set(GlobalSettings::kShowTips, 0);
  o->touchedUnko();
  EXPECT_TRUE(o->touched());
  backend.advance(1.0);
  EXPECT_EQ(delegate.dismissed, 0);
  EXPECT_DOUBLE_EQ(o->view()->alpha(), 1.0);
}

TEST_F(OverlaysTest, ReleaseNotesStretchWithTheScreenAndClose) {
  auto notes = std::make_shared<ReleaseNoteViewController>();
  host->presentViewController(notes, false, {});
  backend.runPass();
  ASSERT_TRUE(notes->isViewLoaded());
  notes->header()->setText("What's new");
  notes->body()->setText("Settings, help and WAV export.");
  EXPECT_EQ(notes->view()->backgroundColor(), platform::Color::whiteColor());
  EXPECT_EQ(notes->header()->font().weight, platform::Font::Weight::Bold);
  // Laid out on a 500 × 600 page, then stretched to the screen.
  notes->view()->setFrame({0, 0, 500, 600});
  EXPECT_EQ(notes->header()->frame(), (Rect{70, 20, 360, 20}));
  EXPECT_EQ(notes->body()->frame(), (Rect{60, 60, 380, 520}));
  notes->view()->setFrame({0, 0, 700, 400});
  EXPECT_EQ(notes->header()->frame(), (Rect{70, 20, 560, 20}));
  EXPECT_EQ(notes->body()->frame(), (Rect{60, 60, 580, 320}));
  EXPECT_EQ(notes->closeButton()->frame().origin, (platform::Point{10, 10}));
  // The bundle has no close icon: a titled button that still closes.
  EXPECT_EQ(notes->closeButton()->titleForState(platform::ControlState::Normal), "Close");
  EXPECT_GT(notes->closeButton()->frame().size.width, 0);
  tap(*notes->closeButton());
  backend.advance(0.5);
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

TEST_F(OverlaysTest, ReleaseNotesShowTheBundlesCloseIcon) {
  const std::filesystem::path bundle = dir / "bundle";
  std::filesystem::create_directories(bundle);
  platform::beginImageContext({30, 24}, false, 2.0);
  platform::currentGraphicsContext()->fillRect({0, 0, 30, 24});
  platform::ImagePtr icon = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  ASSERT_TRUE(icon->writePNG(bundle / "icon_close.png"));
  platform::Bundle::setMainBundlePath(bundle);
  auto notes = std::make_shared<ReleaseNoteViewController>();
  notes->view();
  platform::Bundle::setMainBundlePath(std::nullopt);
  ASSERT_TRUE(notes->closeButton()->imageForState(platform::ControlState::Normal));
  EXPECT_EQ(notes->closeButton()->frame(), (Rect{10, 10, 30, 24}));
  EXPECT_EQ(notes->closeButton()->titleForState(platform::ControlState::Normal), "");
}

}  // namespace
