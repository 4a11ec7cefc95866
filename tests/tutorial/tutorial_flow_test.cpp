// The tutorial over the whole program on the headless back end: the first
// launch lays it over the main screen, touches on the panel walk through
// its seven scenes, the skip button ends it early, the knob gesture chosen
// in the first scene becomes the global setting and survives a restart, and
// the panel is the user's again at the end.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/gq_flurry.h"
#include "app/headless_app.h"
#include "app/tutorial_services.h"
#include "controls/gbx_localized_message.h"
#include "controls/ui_lcd_view.h"
#include "controls/ti_button.h"
#include "controls/ti_part_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/settings/global_settings.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "tutorial/gbx_tutorial_scene1_view_controller.h"
#include "tutorial/gbx_tutorial_scene6_view_controller.h"
#include "tutorial/gbx_tutorial_spotlight_scenes.h"
#include "tutorial/gbx_tutorial_view_controller.h"
#include "tutorial/gbx_tutorial_views.h"

namespace {

using platform::Point;
using platform::Rect;

class TutorialFlowTest : public HeadlessAppTest {
 protected:
  void SetUp() override {
    HeadlessAppTest::SetUp();
    GBXTutorialViewController::registerWithMainScreen();
    GQFlurry::sharedInstance().setIsEnabled(true);
    GQFlurry::sharedInstance().setLastEventType("");
  }
  void TearDown() override {
    HeadlessAppTest::TearDown();
    // The application lets go of the program's delegate now, while the
    // notification centre it signs off from still exists (at exit it would
    // not).
    delegate.reset();
    platform::Application::sharedApplication().reset();
    GBXTutorialServices::factory() = nullptr;
    GQFlurry::sharedInstance().setIsEnabled(false);
  }

  GBXTutorialViewController* tutorial() const {
    return ctl() ? dynamic_cast<GBXTutorialViewController*>(ctl()->tutorialViewController()) : nullptr;
  }
  GBXTutorialScene* scene() const {
    GBXTutorialViewController* t = tutorial();
    return t ? t->incomingScene().get() : nullptr;
  }
  template <typename T>
  T* sceneAs() const {
    return dynamic_cast<T*>(scene());
  }

  // Virtual time runs twenty times faster than real time here: the scenes
  // only wait on the interface's clock, the engine keeps up in real time.
  static void run(double seconds) {
    const double end = headlessBackend().now() + seconds;
    while (headlessBackend().now() < end) {
      headlessBackend().advance(0.02);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  static bool waitFor(const std::function<bool()>& condition, double seconds = 10.0) {
    const double end = headlessBackend().now() + seconds;
    while (!condition()) {
      if (headlessBackend().now() > end) return false;
      headlessBackend().advance(0.02);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  static Point centreOf(platform::View& v) {
    const Rect r = v.convertRectTo(v.bounds(), nullptr);
    return r.center();
  }

  // The 35 controls' user interaction, by the group's order.
  std::vector<bool> interaction() const {
    std::vector<bool> out;
    for (platform::View* v : tutorial()->mainControls()) out.push_back(v->isUserInteractionEnabled());
    return out;
  }
  // Every control of the group locked but `only` (nullptr: all locked).
  bool onlyUnlocked(platform::View* only) const {
    for (platform::View* v : tutorial()->mainControls()) {
      if (v->isUserInteractionEnabled() != (v == only)) return false;
    }
    return true;
  }
  bool allUnlocked() const {
    Z31647ViewController& c = *ctl();
    const std::vector<platform::View*> group = {c.masterVolumeKnob(), c.mainDial(),     c.playButton(),
                                                c.stopButton(),       c.synthPitchKnob(), c.seqView(),
                                                c.partView(),         c.accentButton(),   c.menuButton(),
                                                c.lcdView()};
    for (platform::View* v : group) {
      if (!v->isUserInteractionEnabled()) return false;
    }
    return true;
  }

  // With $IGB_TUTORIAL_PNG_DIR set, the screen of a scene is kept there.
  static void keepScreen(const std::string& name) {
    const char* dir = std::getenv("IGB_TUTORIAL_PNG_DIR");
    if (dir && *dir) {
      EXPECT_TRUE(headlessBackend().renderToPNG(std::filesystem::path(dir) / (name + ".png")));
    }
  }

  bool step(int s) const { return synth()->step(synth()->currentPart(), s); }

  // ---- walking the scenes with touches

  void chooseKnobGesture(int64_t tag) {
    auto* s1 = sceneAs<GBXTutorialScene1ViewController>();
    ASSERT_NE(s1, nullptr);
    // The panel has risen once its spring is over.
    run(2.1);
    ASSERT_EQ(s1->baseView()->frame(), s1->calcBaseViewFrame(true));
    platform::Button* b = tag == 1 ? s1->rotaryModeButton() : s1->linearModeButton();
    tap(centreOf(*b));
    EXPECT_TRUE(s1->done());
  }
  void waitForScene(int64_t number) {
    ASSERT_TRUE(waitFor([&] { return scene() && scene()->sceneNumber() == number; }, 15.0))
        << "scene " << number << " never came";
  }
  // The spotlight scene on screen once its target is unlocked.
  void waitForTarget() {
    auto* s = sceneAs<GBXTutorialSpotlightScene>();
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(waitFor([&] { return s->targetControl()->isUserInteractionEnabled(); }, 5.0));
  }
  void walkTo(int64_t number) {
    start();
    ASSERT_NE(tutorial(), nullptr);
    if (number == 1) return;
    chooseKnobGesture(1);
    waitForScene(2);
    if (number == 2) return;
    waitForTarget();
    tap(centreOf(*ctl()->playButton()));
    waitForScene(3);
    if (number == 3) return;
    waitForTarget();
    tap(stepButton(0));
    waitForScene(4);
    if (number == 4) return;
    waitForTarget();
    tap(partButton(2));
    waitForScene(5);
    if (number == 5) return;
    waitForTarget();
    tap(stepButton(1));
    waitForScene(6);
    if (number == 6) return;
    waitForTarget();
    tap(centreOf(*ctl()->synthPitchKnob()));
    waitForScene(7);
  }
};

}  // namespace

TEST_F(TutorialFlowTest, FirstLaunchWalksThroughAllSevenScenesAndHandsThePanelBack) {
  start();
  ASSERT_TRUE(defaults->boolForKey(kAppLaunchedKey)) << "stored before the first scene shows";
  GBXTutorialViewController* t = tutorial();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->view()->frame(), ctl()->view()->bounds());
  EXPECT_EQ(t->mainControls().size(), 35u);
  std::weak_ptr<platform::ViewController> weakTutorial = t->weak_from_this();

  // ---- scene 1: the knob gesture; the panel cannot be touched meanwhile.
  ASSERT_EQ(t->sceneNumber(), 1);
  EXPECT_FALSE(t->showSkip());
  EXPECT_EQ(t->skipButton()->alpha(), 0.0);
  GlobalSettings& gs = *globalSettings();
  gs.set(GlobalSettings::kKnobMode, 0);
  run(2.5);
  keepScreen("scene1");
  const bool before0 = step(0);
  tap(stepButton(0));
  EXPECT_EQ(step(0), before0) << "the knob-gesture panel covers the front panel";
  chooseKnobGesture(1);
  EXPECT_EQ(gs.get(GlobalSettings::kKnobMode), 1);
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Tutorial Rotary");
  EXPECT_EQ(ctl()->currentPart(), 7u);
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == 256; })) << "the template pattern";
  // A second choice during the closing animation changes nothing.
  auto* s1 = sceneAs<GBXTutorialScene1ViewController>();
  ASSERT_NE(s1, nullptr);
  tap(centreOf(*s1->linearModeButton()));
  EXPECT_EQ(gs.get(GlobalSettings::kKnobMode), 1);
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Tutorial Rotary");

  // ---- scene 2: only Play is unlocked; touching it starts the transport.
  waitForScene(2);
  EXPECT_FALSE(t->showSkip());
  waitForTarget();
  EXPECT_TRUE(onlyUnlocked(ctl()->playButton()));
  keepScreen("scene2");
  auto* s2 = sceneAs<GBXTutorialScene2ViewController>();
  EXPECT_EQ(s2->spottedView()->rects().front(), ctl()->playButton()->convertRectTo(ctl()->playButton()->bounds(), s2->view()));
  EXPECT_EQ(s2->messageLabel()->text(), GBXLocalizedMessage::getText(1));
  EXPECT_TRUE(s2->messageLabel()->layer().animationForKey("blinkLabel"));
  const bool beforeStep = step(3);
  tap(stepButton(3));
  EXPECT_EQ(step(3), beforeStep) << "the step buttons are locked";
  ASSERT_FALSE(synth()->isPlaying());
  tap(centreOf(*ctl()->playButton()));
  EXPECT_TRUE(s2->done());
  EXPECT_TRUE(onlyUnlocked(nullptr)) << "the whole panel locks at once";
  EXPECT_FALSE(s2->messageLabel()->layer().animationForKey("blinkLabel"));
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }));

  // ---- scene 3: a step; the skip button is live in the top right corner.
  waitForScene(3);
  EXPECT_TRUE(t->showSkip());
  EXPECT_EQ(t->skipButton()->alpha(), 1.0);
  EXPECT_TRUE(t->skipButton()->isUserInteractionEnabled());
  const Rect skip = t->skipButton()->frame();
  EXPECT_EQ(skip.maxX(), t->view()->bounds().maxX());
  EXPECT_EQ(skip.minY(), 0.0);
  EXPECT_EQ(skip.height(), 40.0);
  EXPECT_EQ(skip.width(), t->skipButton()->sizeThatFits({}).width + 32);
  waitForTarget();
  auto* s3 = sceneAs<GBXTutorialScene3ViewController>();
  EXPECT_TRUE(onlyUnlocked(ctl()->seqView()));
  keepScreen("scene3");
  // The spot is the step view clipped to the screen; the message sits above it.
  const Rect seqInScene = ctl()->seqView()->convertRectTo(ctl()->seqView()->bounds(), s3->view());
  EXPECT_EQ(s3->spottedView()->rects().front(), seqInScene.intersection(s3->view()->bounds()));
  EXPECT_EQ(s3->messageLabel()->frame(), (Rect{20, static_cast<double>(static_cast<int>(seqInScene.minY() - 36)), 696, 28}));
  // A step switched on and off again between two ticks goes unnoticed.
  ASSERT_TRUE(s3->seqTimer());
  const double tick = s3->seqTimer()->fireDate();
  run(tick - headlessBackend().now() + 0.01);
  tap(stepButton(5));
  tap(stepButton(5));
  run(0.5);
  EXPECT_FALSE(s3->done());
  // One left changed is caught within a tick.
  tap(stepButton(5));
  run(0.3);
  EXPECT_TRUE(s3->done());
  ASSERT_NE(s3->progressView(), nullptr);
  EXPECT_EQ(s3->progressView()->frame(), (Rect{318, 195, 100, 24}));
  // The step view stays unlocked while the bar fills.
  EXPECT_TRUE(ctl()->seqView()->isUserInteractionEnabled());
  run(1.7);
  keepScreen("scene3-progress");
  EXPECT_NEAR(s3->progressView()->value(), 0.5f, 0.1f);
  run(1.7);
  EXPECT_GT(s3->progressView()->value(), 0.95f);

  // ---- scene 4: the third part.
  waitForScene(4);
  waitForTarget();
  EXPECT_TRUE(onlyUnlocked(ctl()->partView()));
  keepScreen("scene4");
  tap(partButton(2));
  ASSERT_TRUE(waitFor([&] { return scene()->done(); }, 0.5));
  EXPECT_EQ(ctl()->currentPart(), 2u);
  EXPECT_TRUE(allUnlocked()) << "the whole panel for the moment before the next scene";

  // ---- scene 5: a step again, against a snapshot taken when it loaded.
  waitForScene(5);
  waitForTarget();
  auto* s4b = sceneAs<GBXTutorialScene4BViewController>();
  EXPECT_EQ(s4b->buttonStates()[5], ctl()->seqView()->getButton(5)->buttonState());
  EXPECT_EQ(s4b->messageLabel()->text(), GBXLocalizedMessage::getText(4));
  tap(stepButton(1));
  ASSERT_TRUE(waitFor([&] { return s4b->done(); }, 0.5));

  // ---- scene 6: the Pitch knob, seen on its touch-down.
  waitForScene(6);
  EXPECT_TRUE(t->showSkip());
  waitForTarget();
  auto* s5 = sceneAs<GBXTutorialScene5ViewController>();
  EXPECT_TRUE(onlyUnlocked(ctl()->synthPitchKnob()));
  keepScreen("scene6");
  const Rect knob = ctl()->synthPitchKnob()->convertRectTo(ctl()->synthPitchKnob()->bounds(), s5->view());
  EXPECT_EQ(s5->spottedView()->rects().front(), (Rect{knob.minX() - 8, knob.minY() - 10, knob.width() + 16, knob.height() + 20}));
  EXPECT_EQ(s5->messageLabel()->frame().height(), 56.0);
  headlessBackend().touchDown(centreOf(*ctl()->synthPitchKnob()));
  ASSERT_TRUE(waitFor([&] { return s5->done(); }, 0.2));
  headlessBackend().touchUp(centreOf(*ctl()->synthPitchKnob()));
  EXPECT_FALSE(s5->observing());

  // ---- scene 7: the closing message ends the tutorial after 5.33 s.
  waitForScene(7);
  EXPECT_FALSE(t->showSkip());
  auto* s6 = sceneAs<GBXTutorialScene6ViewController>();
  ASSERT_NE(s6, nullptr);
  EXPECT_EQ(s6->button()->currentTitle(), GBXLocalizedMessage::getText(6));
  const Rect parts = ctl()->partView()->convertRectTo(ctl()->partView()->bounds(), s6->view());
  EXPECT_EQ(s6->button()->frame(), (Rect{0, parts.minY(), 736, parts.height()}));
  run(1.0);
  keepScreen("scene7");
  run(4.0);
  EXPECT_NE(tutorial(), nullptr);
  ASSERT_TRUE(waitFor([&] { return tutorial() == nullptr; }, 1.5));
  run(0.1);
  EXPECT_TRUE(weakTutorial.expired()) << "released by the main screen";
  EXPECT_TRUE(allUnlocked());
  // The panel is the user's again.
  const bool before = step(9);
  tap(stepButton(9));
  EXPECT_NE(step(9), before);
}

TEST_F(TutorialFlowTest, SkipEndsTheTutorialWithOneFadeAndUnlocksThePanel) {
  walkTo(3);
  GBXTutorialViewController* t = tutorial();
  ASSERT_NE(t, nullptr);
  waitForTarget();
  std::weak_ptr<platform::ViewController> weakTutorial = t->weak_from_this();
  std::weak_ptr<platform::ViewController> weakScene = scene()->weak_from_this();
  tap(centreOf(*t->skipButton()));
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Tutorial Skip");
  EXPECT_EQ(t->sceneNumber(), GBXTutorialViewController::kQuitScene);
  EXPECT_FALSE(t->showSkip());
  EXPECT_EQ(t->skipButton()->alpha(), 0.0);
  EXPECT_FALSE(t->skipButton()->isUserInteractionEnabled());
  ASSERT_TRUE(waitFor([&] { return tutorial() == nullptr; }, 1.0));
  run(0.1);
  EXPECT_TRUE(weakTutorial.expired());
  EXPECT_TRUE(weakScene.expired());
  EXPECT_TRUE(allUnlocked());
  // No scene 4 came, and the panel answers again.
  const bool before = step(12);
  tap(stepButton(12));
  EXPECT_NE(step(12), before);
}

TEST_F(TutorialFlowTest, SkipIsUntouchableOnTheFirstTwoScenes) {
  walkTo(2);
  GBXTutorialViewController* t = tutorial();
  waitForTarget();
  // Where the skip button would be, the touch reaches the panel (the menu
  // button's corner) or nothing, never the skip button.
  tap(t->skipButton()->frame().center());
  run(0.5);
  EXPECT_EQ(t->sceneNumber(), 2);
  EXPECT_NE(GQFlurry::sharedInstance().lastEventType(), "Tutorial Skip");
}

TEST_F(TutorialFlowTest, KnobGestureChoicePersistsAndTheTutorialRunsOnlyOnce) {
  start();
  ASSERT_NE(tutorial(), nullptr);
  ASSERT_EQ(globalSettings()->get(GlobalSettings::kKnobMode), 1) << "rotary is the default";
  chooseKnobGesture(0);
  EXPECT_EQ(globalSettings()->get(GlobalSettings::kKnobMode), 0);
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Tutorial Linear");
  // Every main-screen knob answers to it from its next touch on.
  waitForScene(2);
  UISliderButton* master = ctl()->masterVolumeKnob();
  EXPECT_TRUE(master->useGlobalknobMode());
  // The program closes in the middle of the tutorial.
  quit();

  steps.clear();
  start();
  EXPECT_EQ(tutorial(), nullptr) << "a launch after the first shows no tutorial";
  EXPECT_EQ(globalSettings()->get(GlobalSettings::kKnobMode), 0) << "stored in global.dat on the way out";
  master = ctl()->masterVolumeKnob();
  headlessBackend().touchDown(centreOf(*master));
  EXPECT_EQ(master->knobOperationMode(), 0);
  headlessBackend().touchUp(centreOf(*master));
}

TEST_F(TutorialFlowTest, ClosingMessageEndsAtItsTouchButNotAtOneBesideIt) {
  walkTo(7);
  auto* s6 = sceneAs<GBXTutorialScene6ViewController>();
  ASSERT_NE(s6, nullptr);
  run(0.5);
  // The dimmed screen above the message takes the touch and does nothing.
  const bool before = step(2);
  tap({368, 60});
  tap(stepButton(2));
  run(0.2);
  EXPECT_FALSE(s6->done());
  EXPECT_EQ(step(2), before);
  std::weak_ptr<platform::ViewController> weakScene = s6->weak_from_this();
  tap(centreOf(*s6->button()));
  EXPECT_TRUE(s6->done());
  ASSERT_TRUE(waitFor([&] { return tutorial() == nullptr; }, 1.0));
  run(0.1);
  EXPECT_TRUE(weakScene.expired());
  // The delayed end finds the scene gone and does nothing.
  run(6.0);
  EXPECT_EQ(tutorial(), nullptr);
  EXPECT_TRUE(allUnlocked());
}

TEST_F(TutorialFlowTest, ForegroundRestartsPlaybackFromTheThirdSceneOn) {
  walkTo(2);
  ASSERT_FALSE(synth()->isPlaying());
  headlessBackend().enterBackground();
  headlessBackend().enterForeground();
  run(0.5);
  EXPECT_FALSE(synth()->isPlaying()) << "scene 2 leaves the transport alone";

  waitForTarget();
  tap(centreOf(*ctl()->playButton()));
  waitForScene(3);
  ctl()->stopSeq();
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }));
  headlessBackend().enterBackground();
  headlessBackend().enterForeground();
  EXPECT_TRUE(pumpUntil([&] { return synth()->isPlaying(); })) << "from scene 3 on playback starts again";
}

TEST_F(TutorialFlowTest, ScenesOutsideTheTableDoNotExist) {
  start();
  GBXTutorialViewController* t = tutorial();
  ASSERT_NE(t, nullptr);
  for (int64_t n : {0, 8, -1, 100}) EXPECT_EQ(t->createScene(n), nullptr) << n;
  for (int64_t n = 1; n <= 7; ++n) {
    std::shared_ptr<GBXTutorialScene> s = t->createScene(n);
    ASSERT_NE(s, nullptr) << n;
    EXPECT_EQ(s->sceneNumber(), n);
    EXPECT_EQ(t->showSkip(), n >= 3 && n <= 6) << n;
  }
}

TEST_F(TutorialFlowTest, SkipDuringACrossFadeLeavesNoSceneBehind) {
  walkTo(2);
  waitForTarget();
  std::weak_ptr<platform::ViewController> weakScene2 = scene()->weak_from_this();
  tap(centreOf(*ctl()->playButton()));
  waitForScene(3);
  GBXTutorialViewController* t = tutorial();
  // Scene 2 is still fading out while scene 3 fades in.
  ASSERT_EQ(t->scene().get(), weakScene2.lock().get());
  std::weak_ptr<platform::ViewController> weakScene3 = scene()->weak_from_this();
  tap(centreOf(*t->skipButton()));
  run(0.02);
  // The scene coming in is the one that fades out now.
  ASSERT_FALSE(weakScene3.expired());
  EXPECT_EQ(weakScene3.lock()->view()->alpha(), 0.0);
  ASSERT_TRUE(waitFor([&] { return tutorial() == nullptr; }, 1.0));
  run(0.1);
  EXPECT_TRUE(weakScene2.expired());
  EXPECT_TRUE(weakScene3.expired());
  EXPECT_TRUE(allUnlocked());
}

TEST_F(TutorialFlowTest, ThirdPartChosenElsewhereEndsTheSelectionSceneWithoutATouch) {
  walkTo(3);
  waitForTarget();
  tap(stepButton(4));
  ASSERT_TRUE(waitFor([&] { return scene()->done(); }, 0.5));
  // The part changes some other way (as a MIDI part change would) before
  // the selection scene comes.
  ctl()->setCurrentPart(2);
  waitForScene(4);
  const double loaded = headlessBackend().now();
  ASSERT_TRUE(waitFor([&] { return scene()->done(); }, 0.5)) << "seen at the first poll";
  EXPECT_EQ(ctl()->currentPart(), 2u);
  waitForScene(5);
  EXPECT_LT(headlessBackend().now() - loaded, 1.0);
  // Scene 5 keeps the panel locked until its own message is in place.
  run(loaded + 1.7 - headlessBackend().now());
  EXPECT_TRUE(onlyUnlocked(nullptr));
  waitForTarget();
  EXPECT_TRUE(onlyUnlocked(ctl()->seqView()));
}

TEST_F(TutorialFlowTest, AGoalReachedWhileTheMessageSlidesInEndsTheSceneWithoutBlinking) {
  walkTo(3);
  auto* s3 = sceneAs<GBXTutorialScene3ViewController>();
  ASSERT_NE(s3, nullptr);
  // A step lamp changes before the step view is unlocked (as a pattern
  // loaded from elsewhere would change it).
  const bool lit = ctl()->seqView()->getButton(7)->isActive();
  ctl()->setStep(7, !lit);
  ASSERT_TRUE(waitFor([&] { return s3->done(); }, 0.5));
  // The message's spring ends after the goal: it neither blinks nor
  // unlocks anything again.
  run(1.8);
  EXPECT_FALSE(s3->messageLabel()->layer().animationForKey("blinkLabel"));
  EXPECT_EQ(s3->messageLabel()->alpha(), 0.0);
  waitForScene(4);
}
