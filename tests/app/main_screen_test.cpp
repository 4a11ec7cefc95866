// The program end to end on the headless back end: start-up shows the
// panel, touches on the panel edit the engine's record, the transport runs
// the sequencer, the main dial selects patterns and sets the tempo, the LCD
// shows names and values in its message types, and the state survives a
// background entry and a restart.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/gq_flurry.h"
#include "app/headless_app.h"
#include "audio/iphone_audio_io.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_lcd_view.h"
#include "controls/ui_slider_button.h"
#include "engine/settings/global_settings.h"
#include "library/backup/backup_creator.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/gfx/image.h"
#include "platform/ui/image_view.h"
#include "platform/ui/window.h"

namespace fs = std::filesystem;
namespace CE = platform::ControlEvents;

namespace {

class MainScreenTest : public HeadlessAppTest {
 protected:
  void onStep(const std::string& s) override {
    HeadlessAppTest::onStep(s);
    // The main screen is shown before the second stage, after the engine,
    // the output and the store exist.
    if (s == "mainScreen") {
      mainScreenShown = delegate && delegate->window && delegate->window->isKeyWindow() && delegate->viewController() &&
                        delegate->viewController()->isViewLoaded();
      storeReadyForPanel = Synth::instance() && Synth::instance()->dataProvider() && audioIO() &&
                           audioIO()->isRunning();
    }
  }

  LCDManager& lcd() { return *ctl()->lcdManager(); }
  std::string lcdTitle() { return ctl()->lcdView()->title(); }
  std::string lcdValue() { return ctl()->lcdView()->value(); }
  DataProvider& store() { return *synth()->dataProvider(); }
  std::string patternName() {
    const tagParamsT& t = synth()->currentPattern()->tagParams;
    return std::string(t.name, strnlen(t.name, 16));
  }

  bool mainScreenShown = false;
  bool storeReadyForPanel = false;
};

}  // namespace

TEST_F(MainScreenTest, StartsShowsThePanelAndItsPatternOnTheLcd) {
  start();
  EXPECT_TRUE(mainScreenShown);
  EXPECT_TRUE(storeReadyForPanel);
  const std::vector<std::string> firstStage(steps.begin(), steps.begin() + 12);
  EXPECT_EQ(firstStage, (std::vector<std::string>{"preload", "globalSettings", "patternSets", "drumData", "engine",
                                                  "observer", "audioOutputOpened", "patternStore",
                                                  "audioOutputStarted", "preloadJoined", "mainScreen",
                                                  "secondStageQueued"}));
  // The panel is the window's content, scaled to its width.
  Z31647ViewController& c = *ctl();
  EXPECT_EQ(c.baseImageView()->frame(), (platform::Rect{0, 0, 736, 414}));
  EXPECT_EQ(c.baseImageView()->bounds().size, (platform::Size{736, 414}));
  EXPECT_EQ(c.beatLed()->frame(), (platform::Rect{214, 48, 17, 17}));
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 0);
  EXPECT_TRUE(c.idleTimer() && c.idleTimer()->isValid());
  // Pattern 0 is loaded: its number label and name are the LCD's default content.
  EXPECT_EQ(synth()->currentPatternIndex(), 0);
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessageDefault);
  EXPECT_EQ(lcdTitle(), store().columnText(0, 0));
  EXPECT_EQ(lcdValue(), patternName());
  EXPECT_FALSE(lcdTitle().empty());
  // The main dial selects patterns.
  EXPECT_EQ(c.mainDial()->minValue(), 0);
  EXPECT_EQ(c.mainDial()->maxValue(), store().numberOfPatterns() - 1);
  EXPECT_EQ(c.mainDial()->value(), 0);

  const char* keep = std::getenv("IGB_PANEL_PNG");
  const fs::path png = keep && *keep ? fs::path(keep) : root / "panel.png";
  ASSERT_TRUE(headlessBackend().renderToPNG(png));
  platform::ImagePtr shot = platform::Image::fromPNG(png);
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->pixelWidth(), 1472);
  EXPECT_EQ(shot->pixelHeight(), 828);
}

TEST_F(MainScreenTest, StepTouchesWriteTheCurrentPartsTriggers) {
  start();
  Z31647ViewController& c = *ctl();
  const PatternRecord& r = *synth()->currentPattern();
  ASSERT_EQ(c.currentPart(), 0u);
  for (int slot : {0, 5, 15}) {
    const bool before = r.sequencerParams.trigger[0][slot] != 0;
    tap(stepButton(slot));
    EXPECT_EQ(r.sequencerParams.trigger[0][slot] != 0, !before) << "step " << slot;
    EXPECT_EQ(synth()->step(0, slot), !before);
    EXPECT_EQ(c.seqView()->getButton(slot)->isActive(), !before);
  }
  // Another part: the part button selects it, the steps are its own.
  tap(partButton(2));
  EXPECT_EQ(c.currentPart(), 2u);
  EXPECT_EQ(c.lcdManager()->currentPartIndex(), 2);
  EXPECT_EQ(c.partButtonMediator()->selected(), 2u);
  for (int slot = 0; slot < 16; ++slot) {
    EXPECT_EQ(c.seqView()->getButton(slot)->isActive(), r.sequencerParams.trigger[2][slot] != 0) << slot;
  }
  const bool before = r.sequencerParams.trigger[2][3] != 0;
  tap(stepButton(3));
  EXPECT_EQ(r.sequencerParams.trigger[2][3] != 0, !before);
  // The page arrows show the next page: the same button is step 16 + 3.
  tap(centre(163, 294.5, 46, 24));
  EXPECT_EQ(c.seqView()->currentPage(), 1);
  EXPECT_EQ(c.currentSeqPage(), 1u);
  const bool before19 = r.sequencerParams.trigger[2][19] != 0;
  tap(stepButton(3));
  EXPECT_EQ(r.sequencerParams.trigger[2][19] != 0, !before19);
  EXPECT_EQ(r.sequencerParams.trigger[2][3] != 0, !before) << "page 0 untouched";
}

TEST_F(MainScreenTest, PlayRunsTheSequencerAndStopEndsIt) {
  start();
  Z31647ViewController& c = *ctl();
  ASSERT_FALSE(synth()->isPlaying());
  GQFlurry::sharedInstance().setIsEnabled(true);
  tap(centre(168, 212.5, 62.5, 48.5));
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Start");
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); })) << "the render thread took the start command";
  // The play position moves and the tick follows it on the panel.
  ASSERT_TRUE(pumpUntil([&] { return c.currentStepTwice() >= 4; }));
  ASSERT_TRUE(pumpUntil([&] { return c.playButton()->buttonState() == 1; }));
  EXPECT_EQ(c.ledMediatorSeq()->lightOn(), static_cast<uint64_t>(c.currentStepTwice() / 32));

  tap(centre(95.5, 212.5, 62.5, 48.5));
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Stop");
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }));
  ASSERT_TRUE(pumpUntil([&] { return c.playButton()->buttonState() == 0; }));
  EXPECT_EQ(c.stopButton()->buttonState(), 0) << "lit only while held";
}

TEST_F(MainScreenTest, RecArmedWhileStoppedBlinksPlayUntilItRuns) {
  start();
  Z31647ViewController& c = *ctl();
  tap(centre(23.5, 212.5, 62.5, 48.5));
  EXPECT_EQ(c.recording(), 1u);
  EXPECT_TRUE(c.recordArmed());
  EXPECT_TRUE(c.playButton()->readyToBlink());
  EXPECT_TRUE(c.lcdManager()->isRecording());
  tap(centre(168, 212.5, 62.5, 48.5));
  ASSERT_TRUE(pumpUntil([&] { return !c.playButton()->readyToBlink(); })) << "sequenceDidStart stops the blinking";
  EXPECT_EQ(c.recording(), 1u);
  tap(centre(95.5, 212.5, 62.5, 48.5));
  // A stop ends recording (the mode's recording-status hook with NO).
  ASSERT_TRUE(pumpUntil([&] { return c.recording() == 0; }));
  EXPECT_FALSE(c.recordButton()->isOn());
}

TEST_F(MainScreenTest, MainDialPreviewsThenSelectsAPattern) {
  start();
  Z31647ViewController& c = *ctl();
  UISliderButton& dial = *c.mainDial();
  // Turning: the pattern under the dial blinks on the LCD, nothing is loaded.
  dial.setValue(5);
  dial.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessagePendingChoice);
  EXPECT_EQ(lcdTitle(), store().columnText(5, 0));
  EXPECT_EQ(lcdValue(), store().columnText(5, 1));
  pump(0.1);
  EXPECT_EQ(synth()->pendingPattern(), 0);
  EXPECT_EQ(synth()->currentPatternIndex(), 0);
  // Releasing: the mode asks for it; the panel follows the load.
  dial.sendActionsForControlEvents(CE::TouchUpInside);
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessagePendingChoice);
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == 5; }));
  EXPECT_EQ(synth()->pendingPattern(), 5);
  ASSERT_TRUE(pumpUntil([&] { return lcd().currentMessageType() == kLCDMessageDefault && lcdTitle() == store().columnText(5, 0); }));
  EXPECT_EQ(lcdValue(), patternName());
  EXPECT_EQ(dial.value(), 5);
  // The pattern that is current: the default content, no blinking choice.
  dial.sendActionsForControlEvents(CE::TouchUpInside);
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessageDefault);
}

TEST_F(MainScreenTest, ProgramButtonsStepThroughPatternsFromTheCurrentOne) {
  start();
  Z31647ViewController& c = *ctl();
  // Program - on pattern 0 does nothing.
  c.programButtonPushed(c.programDecButton());
  pump(0.1);
  EXPECT_EQ(synth()->pendingPattern(), 0);
  EXPECT_EQ(synth()->currentPatternIndex(), 0);
  tap(centre(240.5, 125, 62.5, 24));
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == 1; }));
  tap(centre(168, 125, 62.5, 24));
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == 0; }));
}

TEST_F(MainScreenTest, TheDialSetsTheTempoWhileTheTempoButtonIsOn) {
  start();
  Z31647ViewController& c = *ctl();
  UISliderButton& dial = *c.mainDial();
  // Shift: the tempo button appears over the tap-tempo button.
  tap(centre(95.5, 125, 62.5, 24));
  ASSERT_EQ(c.stateMediator().currentStateIndex(), 6);
  EXPECT_EQ(c.shiftButton()->buttonState(), 1);
  EXPECT_FALSE(c.tempoButton()->isHidden());
  EXPECT_TRUE(c.tapTempoButton()->isHidden());
  EXPECT_FALSE(c.loopButton()->isHidden());
  EXPECT_TRUE(c.recordButton()->isHidden());
  tap(centre(240.5, 212.5, 62.5, 48.5));
  ASSERT_TRUE(c.tempoButton()->isOn());
  EXPECT_EQ(dial.minValue(), 20);
  EXPECT_EQ(dial.maxValue(), 600);
  EXPECT_EQ(dial.value(), synth()->tempo() / 10);
  EXPECT_EQ(lcdTitle(), "Tempo");
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessageDefault);

  dial.setValue(133);
  dial.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(synth()->tempo(), 1330);
  EXPECT_EQ(synth()->currentPattern()->sequencerParams.tempo, 1330);
  EXPECT_EQ(lcdTitle(), "Tempo");
  EXPECT_EQ(lcdValue(), "133.0");
  dial.setValue(600);
  dial.sendActionsForControlEvents(CE::TouchUpInside);
  EXPECT_EQ(synth()->tempo(), 6000);

  // Leaving the shift layer puts the dial back on the pattern.
  tap(centre(95.5, 125, 62.5, 24));
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 0);
  EXPECT_FALSE(c.tempoButton()->isOn());
  EXPECT_TRUE(c.tempoButton()->isHidden());
  EXPECT_EQ(dial.maxValue(), store().numberOfPatterns() - 1);
  EXPECT_EQ(dial.value(), synth()->pendingPattern());
  EXPECT_EQ(lcdTitle(), store().columnText(synth()->currentPatternIndex(), 0));
}

TEST_F(MainScreenTest, TapTempoWithTheDialOnThePatternIsANotice) {
  start();
  Z31647ViewController& c = *ctl();
  const platform::Point tapButton = centre(240.5, 212.5, 62.5, 48.5);
  tap(tapButton);  // down, 0.02 s, up
  headlessBackend().advance(0.48);
  tap(tapButton);
  // Two taps half a second apart: 120 beats per minute.
  EXPECT_EQ(synth()->tempo(), 1200);
  EXPECT_EQ(lcdTitle(), "Tap Tempo");
  EXPECT_EQ(lcdValue(), "120.0");
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessageNotice);
  EXPECT_EQ(c.mainDial()->maxValue(), store().numberOfPatterns() - 1) << "the dial stays on the pattern";
}

TEST_F(MainScreenTest, KnobsShowTheirNamesAndValuesOnTheLcdAndTheOriginalValueLamp) {
  start();
  Z31647ViewController& c = *ctl();
  const PatternRecord& r = *synth()->currentPattern();
  UISliderButton& pitch = *c.synthPitchKnob();
  const int32_t stored = r.synthParams[0].pitch;
  pitch.setValue(stored == 77 ? 78 : 77);
  pitch.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(r.synthParams[0].pitch, pitch.value());
  EXPECT_EQ(lcdTitle(), "Pitch");
  EXPECT_EQ(lcdValue(), stored == 77 ? "078" : "077");
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessageValue);
  EXPECT_EQ(c.originalValueLed()->ledState(), 0);
  // Back on the stored value: the lamp says so.
  pitch.setValue(stored);
  pitch.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(c.originalValueLed()->ledState(), 2);
  EXPECT_TRUE(lcd().isOriginalValue());

  UISliderButton& pan = *c.synthPanKnob();
  pan.setValue(64);
  pan.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(lcdTitle(), "Pan");
  EXPECT_EQ(lcdValue(), "Center");

  // The effect edit knobs are titled by the effect type knob.
  UISliderButton& type = *c.synthFxTypeKnob();
  type.setValue(5);
  type.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(lcdTitle(), "Effect Type");
  EXPECT_EQ(lcdValue(), "Filter");
  EXPECT_EQ(r.effectParams[0].type, 5);
  UISliderButton& edit1 = *c.synthFxEdit1Knob();
  edit1.setValue(9);
  edit1.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(lcdTitle(), "Cutoff");
  EXPECT_EQ(lcdValue(), "009");

  // The wave button steps its value at each touch and shows the wave's name.
  UIMultipleStateButton& wave = *c.synthWaveButton();
  const int64_t before = wave.value();
  tap(centre(338, 141, 62, 24));
  EXPECT_EQ(wave.value(), (before + 1) % 4);
  EXPECT_EQ(r.synthParams[0].waveform, wave.value());
  EXPECT_EQ(lcdTitle(), "Wave");
  EXPECT_EQ(lcdValue(), partParameterText(0, 1, static_cast<int32_t>(wave.value())));
  EXPECT_EQ(c.ledMediatorWaveLeds()->lightOn(), static_cast<uint64_t>(wave.value()));

  // A value message gives way to the default content after its time.
  headlessBackend().advance(34 * 0.05 + 0.01);
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessageDefault);
  EXPECT_EQ(lcdTitle(), store().columnText(0, 0));
  EXPECT_EQ(c.originalValueLed()->ledState(), 0) << "the tick clears the lamp with the default content";
}

TEST_F(MainScreenTest, MasterVolumeKnobAppliesAndShowsItsValue) {
  start();
  Z31647ViewController& c = *ctl();
  UISliderButton& master = *c.masterVolumeKnob();
  EXPECT_EQ(master.value(), synth()->masterParameter(0));
  master.setValue(90);
  master.sendActionsForControlEvents(CE::ValueChanged);
  EXPECT_EQ(synth()->masterParameter(0), 90);
  EXPECT_EQ(globalSettings()->get(GlobalSettings::kMasterVolume), 90);
  EXPECT_EQ(lcdTitle(), "Master Vol");
  EXPECT_EQ(lcdValue(), "90");
}

TEST_F(MainScreenTest, FunctionButtonsSelectModesByLayer) {
  start();
  Z31647ViewController& c = *ctl();
  const platform::Point mute = centre(23, 152, 62.5, 48);
  const platform::Point fx = centre(168, 152, 62.5, 48);
  const platform::Point set = centre(240.5, 152, 62.5, 48);
  const platform::Point shift = centre(95.5, 125, 62.5, 24);
  const platform::Point solo = centre(96, 152, 62.5, 48);
  struct Case {
    platform::Point button;
    UiStateIndex mode;
  };
  GQFlurry::sharedInstance().setIsEnabled(true);
  // (In Pattern set the mute and effect-send buttons are its own sub-mode
  // switches, so the set button itself leads back.)
  for (const Case& k : {Case{mute, 1}, Case{mute, 0}, Case{fx, 3}, Case{fx, 0}, Case{set, 4}, Case{set, 0}, Case{mute, 1}}) {
    tap(k.button);
    EXPECT_EQ(c.stateMediator().currentStateIndex(), k.mode);
  }
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Mute");
  tap(fx);
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Effect Switch");
  tap(fx);
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Effect Switch") << "the return reports nothing";
  tap(mute);
  // Shift from Mute: the shift layer's base mode; its function buttons.
  tap(shift);
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 6);
  // (Clear part, Clear motion and Move data lend the effect-send button to
  // the part buttons, so Copy step is reached from the shift layer's base.)
  for (const Case& k : {Case{mute, 8}, Case{solo, 9}, Case{set, 12}, Case{set, 6}, Case{fx, 7}, Case{mute, 8},
                        Case{mute, 6}}) {
    tap(k.button);
    EXPECT_EQ(c.stateMediator().currentStateIndex(), k.mode);
  }
  tap(shift);
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 0);
  // Back in the normal layer the solo button is solo again, not a function.
  tap(fx);
  ASSERT_EQ(c.stateMediator().currentStateIndex(), 3);
  tap(solo);
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 3) << "solo leaves the effect mode in force";
  EXPECT_TRUE(synth()->soloMode());
  EXPECT_EQ(c.soloButton()->buttonState(), 1);
}

TEST_F(MainScreenTest, MidiValuesAreShownClampedOnKnobsAndLcd) {
  start();
  Z31647ViewController& c = *ctl();
  platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
  // Part 0, Pitch: 200 shows as 127.
  center.post("synthParameterChangedFromMidi", {},
              platform::Dictionary{{"parameterId", platform::Value(0)}, {"value", platform::Value(200)}});
  EXPECT_EQ(c.synthPitchKnob()->value(), 127);
  EXPECT_EQ(lcdTitle(), "Pitch");
  EXPECT_EQ(lcdValue(), "127");
  // Master group: the knob follows, "%.3d" on the LCD.
  center.post("synthParameterChangedFromMidi", {},
              platform::Dictionary{{"parameterId", platform::Value(10 << 16)}, {"value", platform::Value(7)}});
  EXPECT_EQ(c.masterVolumeKnob()->value(), 7);
  EXPECT_EQ(lcdTitle(), "Master Vol");
  EXPECT_EQ(lcdValue(), "007");
  // A pattern chosen over MIDI blinks on the LCD.
  center.post("notifyPatternChangedFromMidi", {}, platform::Dictionary{{"patternNumber", platform::Value(3)}});
  EXPECT_EQ(lcd().currentMessageType(), kLCDMessagePendingChoice);
  EXPECT_EQ(lcdTitle(), store().columnText(3, 0));
}

TEST_F(MainScreenTest, BackgroundSavesAndARestartRestoresTheEditBuffer) {
  start();
  Z31647ViewController& c = *ctl();
  tap(partButton(4));
  ASSERT_EQ(c.currentPart(), 4u);
  const bool on = !synth()->step(4, 7);
  tap(stepButton(7));
  ASSERT_EQ(synth()->step(4, 7), on);
  const PatternRecord edited = *synth()->currentPattern();
  const int32_t number = synth()->currentPatternIndex();

  const fs::path editBuffer = *Utilities::editBufferFilePath();
  headlessBackend().enterBackground();
  EXPECT_EQ(c.idleTimer(), nullptr) << "the interface tick stops in the background";
  for (const fs::path& p : {editBuffer, *Utilities::applicationIndexTablePath(), *PatternSetStore::patternSetDataPath(),
                            data() / "global.dat"}) {
    EXPECT_TRUE(fs::exists(p)) << p;
  }
  auto bytes = platform::readFile(editBuffer);
  ASSERT_TRUE(bytes && bytes->size() == PatternRecord::kSize);
  EXPECT_EQ(PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(bytes->data(), PatternRecord::kSize))
                .sequencerParams.trigger[4][7],
            on ? 1 : 0);
  headlessBackend().enterForeground();
  EXPECT_TRUE(c.idleTimer() && c.idleTimer()->isValid());

  quit();
  EXPECT_EQ(Synth::instance(), nullptr);
  steps.clear();
  start();
  EXPECT_EQ(synth()->currentPatternIndex(), number);
  EXPECT_EQ(synth()->step(4, 7), on);
  EXPECT_TRUE(*synth()->currentPattern() == edited);
  EXPECT_EQ(lcdValue(), patternName());
}

TEST_F(MainScreenTest, FirstLaunchIsNotedOnce) {
  ASSERT_FALSE(defaults->objectForKey("app_launched"));
  start();
  EXPECT_TRUE(defaults->boolForKey("app_launched"));
  EXPECT_FALSE(ctl()->firstAppear());
  EXPECT_EQ(ctl()->tutorialViewController(), nullptr) << "no tutorial in this program yet";
}

TEST_F(MainScreenTest, BannerMessagesArriveAfterTheCurrentHandler) {
  start();
  std::string text;
  int64_t time = -1;
  platform::NotificationCenter::defaultCenter().addObserver(this, "TINotificationMessageArrived",
                                                            [&](const platform::Notification& n) {
                                                              if (const std::string* s = n.objectAs<std::string>()) text = *s;
                                                              if (const platform::Value* v = n.info("TINotificationMessageArrivedTimeIndex")) {
                                                                time = v->integerValue();
                                                              }
                                                            });
  ctl()->sendNotificationMessage("Saved as x.wav.");
  EXPECT_EQ(time, -1) << "not posted synchronously";
  pump(0.02);
  EXPECT_EQ(text, "Saved as x.wav.");
  EXPECT_EQ(time, 8);
  ctl()->sendNotificationMessage("again", 3);
  pump(0.02);
  EXPECT_EQ(time, 3);
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(MainScreenTest, AFinishedRestoreLeavesTheFunctionModeAndReloads) {
  start();
  Z31647ViewController& c = *ctl();
  tap(centre(23, 152, 62.5, 48));  // mute
  ASSERT_EQ(c.stateMediator().currentStateIndex(), 1);
  synth()->setStep(0, 2, !synth()->step(0, 2));
  const bool edited = synth()->step(0, 2);
  platform::NotificationCenter::defaultCenter().post(kRestoreDidFinishNotification);
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 0);
  // Pattern 0 was current: it is read again from the (restored) library.
  ASSERT_TRUE(pumpUntil([&] { return synth()->step(0, 2) != edited; }));
  // In the shift layer the restore returns to Shifted, not to Normal.
  tap(centre(95.5, 125, 62.5, 24));
  tap(centre(23, 152, 62.5, 48));
  ASSERT_EQ(c.stateMediator().currentStateIndex(), 8);
  platform::NotificationCenter::defaultCenter().post(kRestoreDidFinishNotification);
  EXPECT_EQ(c.stateMediator().currentStateIndex(), 6);
}

namespace {
// A restore during which the application goes to the background, as it may
// while a restore runs on another queue.
class BackgroundedRestorer : public iGROOVEBIXBackupRestorer {
 public:
  std::function<void()> whileRestoring;

 protected:
  bool restoreProcess(const std::filesystem::path& url, std::string* error) override {
    const bool ok = iGROOVEBIXBackupRestorer::restoreProcess(url, error);
    if (whileRestoring) whileRestoring();
    return ok;
  }
};
}  // namespace

TEST_F(MainScreenTest, SavingDuringARestoreKeepsTheRestoredLibrary) {
  start();
  const std::optional<fs::path> table = Utilities::applicationIndexTablePath();
  ASSERT_TRUE(table);
  // A first save writes the pattern-set file a backup needs.
  delegate->applicationDidEnterBackground();
  delegate->applicationWillEnterForeground();
  const std::optional<fs::path> archive = iGROOVEBIXBackupCreator::sharedInstance()->createWithName();
  ASSERT_TRUE(archive);
  const auto backedUp = platform::readFile(*table);
  ASSERT_TRUE(backedUp);
  // The library changes after the backup, on disk and in memory.
  Z31647PatternStore& s = Z31647PatternStore::getInstance();
  const std::string first = s.columnText(0, 1);
  s.movePatterns(0, 0, 9, 0);
  ASSERT_NE(s.columnText(0, 1), first);
  ASSERT_TRUE(s.storeIndexTable());
  ASSERT_NE(platform::readFile(*table), backedUp);

  BackgroundedRestorer restorer;
  int savesDuringTheRestore = 0;
  restorer.whileRestoring = [&] {
    ++savesDuringTheRestore;
    delegate->applicationDidEnterBackground();
    delegate->applicationWillEnterForeground();
  };
  std::string error;
  ASSERT_TRUE(restorer.restoreData(*archive, &error)) << error;
  ASSERT_EQ(savesDuringTheRestore, 1);
  EXPECT_EQ(platform::readFile(*table), backedUp) << "a save put the old index over the restored one";
  // Until the main screen reads the restored library back, saving still
  // leaves it alone; after that, the index in memory is the restored one.
  delegate->applicationDidEnterBackground();
  delegate->applicationWillEnterForeground();
  EXPECT_EQ(platform::readFile(*table), backedUp);
  platform::NotificationCenter::defaultCenter().post(kRestoreDidFinishNotification);
  EXPECT_EQ(s.columnText(0, 1), first);
  s.movePatterns(0, 0, 3, 0);
  delegate->applicationDidEnterBackground();
  EXPECT_NE(platform::readFile(*table), backedUp) << "saving never came back after the reload";
}

TEST_F(MainScreenTest, StoringTheCurrentPatternReloadsItAndAnotherLeavesItAlone) {
  start();
  Z31647PatternStore& s = Z31647PatternStore::getInstance();
  const int32_t current = synth()->currentPatternIndex();
  PatternRecord stored = s.patternAt(current);
  stored.sequencerParams.trigger[6][11] = stored.sequencerParams.trigger[6][11] ? 0 : 1;
  const PatternRecord other = s.patternAt(current + 1);
  // Another pattern stored: the engine's record stays as edited.
  synth()->setStep(1, 1, !synth()->step(1, 1));
  const bool edited = synth()->step(1, 1);
  ASSERT_TRUE(s.storePattern(other, current + 1));
  pump(0.2);
  EXPECT_EQ(synth()->step(1, 1), edited);
  // The current one stored: the engine reads it back.
  ASSERT_TRUE(s.storePattern(stored, current));
  ASSERT_TRUE(pumpUntil([&] { return synth()->step(6, 11) == (stored.sequencerParams.trigger[6][11] != 0); }));
  EXPECT_EQ(synth()->step(1, 1), stored.sequencerParams.trigger[1][1] != 0);
}

// A move in the library renumbers the patterns; the engine keeps playing
// the same record under the number the move gives it.
TEST_F(MainScreenTest, MovingPatternsRenumbersTheCurrentOneWithoutAReload) {
  struct Case {
    int current, from, to, expected;
  };
  const Case cases[] = {
      {5, 3, 7, 4},  // a pattern before it moves behind it
      {5, 7, 3, 6},  // a pattern behind it moves before it
      {5, 5, 9, 9},  // the current one itself moves
      {5, 8, 12, 5},  // a move that does not reach it
  };
  start();
  Z31647PatternStore& s = Z31647PatternStore::getInstance();
  for (const Case& c : cases) {
    ctl()->mainDial()->setValue(c.current);
    ctl()->mainDial()->sendActionsForControlEvents(CE::TouchUpInside);
    ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == c.current; })) << c.current;
    // An edit not yet stored: a reload would lose it.
    synth()->setStep(2, 3, !synth()->step(2, 3));
    const bool edited = synth()->step(2, 3);
    s.movePatterns(c.from % 32, c.from / 32, c.to % 32, c.to / 32);
    ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == c.expected; }))
        << c.from << "->" << c.to << " left " << synth()->currentPatternIndex();
    pump(0.2);
    EXPECT_EQ(synth()->currentPatternIndex(), c.expected);
    EXPECT_EQ(synth()->step(2, 3), edited) << c.from << "->" << c.to;
    EXPECT_EQ(ctl()->mainDial()->value(), c.expected);
  }
}

TEST_F(MainScreenTest, InitializeTurnsTheCurrentPatternIntoTheInitPattern) {
  start();
  GQFlurry::sharedInstance().setIsEnabled(true);
  tap(centre(95.5, 125, 62.5, 24));  // shift: the initialize button shows
  ASSERT_FALSE(ctl()->initializeButton()->isHidden());
  PatternRecord init = PatternRecord::zeroed();
  store().initPattern(&init);
  tap(centre(168, 125, 62.5, 24));
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Init");
  for (int p = 0; p < 8; ++p) {
    for (int st = 0; st < 64; ++st) {
      EXPECT_EQ(synth()->step(p, st), init.sequencerParams.trigger[p][st] != 0) << p << " " << st;
    }
  }
}

TEST_F(MainScreenTest, BeforeTheEngineIsSetThePartIsZeroAndCannotChange) {
  auto c = std::make_shared<Z31647ViewController>();
  EXPECT_EQ(c->currentPart(), 0u);
  c->setCurrentPart(5);
  EXPECT_EQ(c->currentPart(), 0u);
  EXPECT_EQ(c->currentFx(), 0u);
  EXPECT_EQ(c->recording(), 0u);
  EXPECT_TRUE(c->firstAppear());
  EXPECT_FALSE(c->showAudioTransport());
  EXPECT_EQ(c->synth(), nullptr);
  c->view();  // builds the panel without an engine
  EXPECT_EQ(c->lcdManager()->currentPartIndex(), 0);
  EXPECT_EQ(c->ringButton(), c->ringModButton());
  EXPECT_EQ(c->getSynthParamController(9), nullptr) << "the Motion Seq button is not a synth parameter control";
  EXPECT_EQ(c->getSynthParamController(-1), nullptr);
  EXPECT_EQ(c->getSynthParamController(1), c->synthWaveButton());
  EXPECT_EQ(c->getSynthParamController(7), c->synthPanKnob());
  EXPECT_EQ(c->getEffectParamController(3), nullptr);
  auto pan = std::make_shared<UISliderButton>();
  c->setSynthPanKnob(pan);
  EXPECT_EQ(c->synthPanKnob(), pan.get());
  EXPECT_EQ(c->getSynthParamController(7), pan.get());
}

TEST_F(MainScreenTest, ThePanelIsAsWideAsTheScreenAndCentredVertically) {
  struct Case {
    platform::Size screen;
    platform::Rect canvas;
  };
  const Case cases[] = {
      {{736, 414}, {0, 0, 736, 414}},
      {{1024, 768}, {0, 96, 1024, 576}},           // a 4:3 tablet: bands above and below
      {{2436, 1125}, {0, -122, 2436, 1370.25}},    // wider than 16:9: beyond both edges
      {{1472, 828}, {0, 0, 1472, 828}},
  };
  for (const Case& k : cases) {
    auto c = std::make_shared<Z31647ViewController>();
    platform::View* v = c->view();
    v->setFrame({0, 0, k.screen.width, k.screen.height});
    for (int pass = 0; pass < 2; ++pass) {  // a second pass changes nothing
      c->viewWillLayoutSubviews();
      EXPECT_EQ(c->baseImageView()->frame(), k.canvas) << k.screen.width << "x" << k.screen.height;
      EXPECT_NEAR(c->baseImageView()->bounds().size.width, 736.0, 1e-9);
      EXPECT_NEAR(c->baseImageView()->bounds().size.height, 414.0, 1e-9);
      EXPECT_EQ(c->beatLed()->frame(), (platform::Rect{214, 48, 17, 17}));
    }
  }
}

namespace {

// The panel redraws only what changes: one lamp lit redraws the lamp's own
// rectangle, and the frame is then the same, byte for byte, as a full
// redraw of the window.
TEST_F(MainScreenTest, OneLampsChangeRedrawsOnlyItsRectangle) {
  start();
  platform::HeadlessBackend& b = headlessBackend();
  platform::Compositor& compositor = b.startPresenting();
  pump(0.5);
  TILedView& led = *ctl()->seqLed(2);
  const platform::Rect r = led.convertRectTo(led.bounds(), nullptr);
  const double s = 2.0;
  // Everything drawn as of this moment (animations included, which the
  // compositor otherwise draws at most 60 times a second); the lamp's
  // change alone after it.
  compositor.update(*b.window(), b.now(), true);
  led.setLedState(led.ledState() == 0 ? 1 : 0);
  const std::vector<platform::PixelRect> drawn = compositor.update(*b.window(), b.now());
  ASSERT_FALSE(drawn.empty());
  int64_t area = 0;
  for (const platform::PixelRect& p : drawn) {
    area += p.area();
    // Inside the lamp's pixels, give or take an anti-aliased edge pixel.
    EXPECT_GE(p.x, static_cast<int>(std::floor(r.minX() * s)) - 1);
    EXPECT_GE(p.y, static_cast<int>(std::floor(r.minY() * s)) - 1);
    EXPECT_LE(p.x + p.width, static_cast<int>(std::ceil(r.maxX() * s)) + 1);
    EXPECT_LE(p.y + p.height, static_cast<int>(std::ceil(r.maxY() * s)) + 1);
  }
  EXPECT_GE(area, static_cast<int64_t>(r.width() * s) * static_cast<int64_t>(r.height() * s));
  platform::ImagePtr full = b.window()->snapshot(b.now(), s);
  const platform::ImagePtr& frame = compositor.frame();
  ASSERT_EQ(frame->pixelWidth(), full->pixelWidth());
  ASSERT_EQ(frame->pixelHeight(), full->pixelHeight());
  const int stride = cairo_image_surface_get_stride(full->surface());
  EXPECT_EQ(std::memcmp(cairo_image_surface_get_data(frame->surface()), cairo_image_surface_get_data(full->surface()),
                        static_cast<size_t>(stride) * full->pixelHeight()),
            0);
}

}  // namespace
