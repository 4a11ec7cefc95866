// The main view controller's running half: properties, view lifecycle,
// observers, the three timers and the interface tick, transport, the main
// dial and tempo, and the LCD texts.

#include "app/z31647_view_controller.h"

#include <cmath>

#include "app/app_services.h"
#include "app/gq_flurry.h"
#include "app/gbx_seq_count_views.h"
#include "app/panel_logic.h"
#include "app/ribbon_interface_controller.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_part_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ti_touch_frequency_count_button.h"
#include "controls/ui_lcd_view.h"
#include "controls/ui_slider_button.h"
#include "engine/record/param_tables.h"
#include "engine/synth/synth.h"
#include "library/pattern_store.h"
#include "platform/foundation/host_time.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/navigation_controller.h"

namespace {

// One counter for the class, as the play button's blink is the panel's.
uint64_t gPlayBlinkCounter = 0;
constexpr uint64_t kPlayBlinkTicks = 9;

int32_t intOf(const platform::Notification& n, const char* key) {
  const platform::Value* v = n.info(key);
  return v ? static_cast<int32_t>(v->integerValue()) : 0;
}

}  // namespace

Z31647ViewController::Z31647ViewController() = default;

Z31647ViewController::~Z31647ViewController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  for (auto* t : {&idleTimer_, &midiTimer_, &transportTimer_}) {
    if (*t) (*t)->invalidate();
  }
}

void Z31647ViewController::releaseEngine() {
  removeObserver();
  suspendIdleTimer();
  for (auto* t : {&midiTimer_, &transportTimer_}) {
    if (*t) (*t)->invalidate();
    t->reset();
  }
  if (padViewController_) padViewController_->setSynth(nullptr);
  synth_ = nullptr;
}

DataProvider* Z31647ViewController::dataProvider() const { return synth_ ? synth_->dataProvider() : nullptr; }

uint32_t Z31647ViewController::currentPart() const { return synth_ ? synth_->currentPart() : 0; }

void Z31647ViewController::setCurrentPart(uint32_t part) {
  if (!synth_) return;
  synth_->setCurrentPart(part);
  if (lcdManager_) lcdManager_->setCurrentPartIndex(static_cast<int32_t>(currentPart()));
}

void Z31647ViewController::reportEvent(const std::string& name) { GQFlurry::sharedInstance().reportEvent(name); }

bool Z31647ViewController::isAbletonLinkSyncOn() const { return synth_ && synth_->isLinkEnabled(); }

bool Z31647ViewController::recordArmed() const { return synth_ && synth_->isRecordArmed(); }

// ---- view lifecycle -------------------------------------------------------------------------

void Z31647ViewController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  if (platform::NavigationController* nav = navigationController()) nav->setNavigationBarHidden(true, false);
  addObserver();
  updateAbletonLinkSyncButtonState();
  updateAbletonLinkCounterState();
  // The counter's blink starts over whenever the panel comes into view.
  if (linkCounterView_) linkCounterView_->resetAnimation();
}

void Z31647ViewController::applicationWillEnterForeground() {
  resumeIdleTimer();
  if (linkCounterView_) linkCounterView_->resetAnimation();
}

void Z31647ViewController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  if (firstAppear_) {
    startTutorialOnFirstLaunch();
    firstAppear_ = false;
  }
  updateAbletonLinkSyncButtonState();
  updateAbletonLinkCounterState();
}

void Z31647ViewController::viewDidDisappear(bool animated) {
  platform::ViewController::viewDidDisappear(animated);
  removeObserver();
}

void Z31647ViewController::addObserver() {
  if (observing_) return;
  observing_ = true;
  platform::NotificationCenter& c = platform::NotificationCenter::defaultCenter();
  using N = const platform::Notification&;
  c.addObserver(this, platform::kApplicationDidEnterBackgroundNotification, [this](N) { applicationDidEnterBackground(); });
  c.addObserver(this, platform::kApplicationWillEnterForegroundNotification, [this](N) { applicationWillEnterForeground(); });
  c.addObserver(this, kPatternStorePatternStored, [this](N n) { patternStored(intOf(n, "patternNumber")); });
  c.addObserver(this, kPatternStorePatternTagStored, [this](N n) { patternTagStored(intOf(n, "patternNumber")); });
  c.addObserver(this, kPatternStorePatternOrderChanged, [this](N n) {
    const platform::Value* range = n.info("range");
    const platform::Value* location = range ? range->find("location") : nullptr;
    const platform::Value* length = range ? range->find("length") : nullptr;
    patternOrderChanged(location ? static_cast<int32_t>(location->integerValue()) : 0,
                        length ? static_cast<int32_t>(length->integerValue()) : 0);
  });
  c.addObserver(this, "sequenceDidStart", [this](N) { sequenceDidStart(); });
  c.addObserver(this, "sequenceDidStop", [this](N) { sequenceDidStop(); });
  c.addObserver(this, "patternTagInfoDidUpdate", [this](N) { patternTagInfoDidUpdate(); });
  c.addObserver(this, "seqReturnedToTheBeginning", [this](N) { seqReturnedToTheBeginning(); });
  c.addObserver(this, "recordingStatusChanged", [this](N) { recordingStatusChanged(); });
  c.addObserver(this, "patternChanged", [this](N) { patternChanged(); });
  c.addObserver(this, "synthParameterChangedFromMidi", [this](N n) {
    const platform::Value* id = n.info("parameterId");
    synthParameterChangedFromMidi(id ? id->integerValue() : -1, intOf(n, "value"));
  });
  c.addObserver(this, "notifyPatternSetChangedFromMidi", [this](N n) {
    const platform::Value* v = n.info("number");
    notifyPatternSetChangedFromMidi(v ? static_cast<uint32_t>(v->integerValue()) : 0);
  });
  c.addObserver(this, "notifyPatternChangedFromMidi", [this](N n) { notifyPatternChangedFromMidi(intOf(n, "patternNumber")); });
  c.addObserver(this, "currentPartChangedFromMidi", [this](N n) { currentPartChangedFromMidi(intOf(n, "partNumber")); });
  c.addObserver(this, "seqPageShiftedFromMidi", [this](N n) { seqPageShiftedFromMidi(intOf(n, "offset")); });
  c.addObserver(this, "synthTriggeredOn", [this](N n) { synthTriggeredOn(intOf(n, "partId")); });
  c.addObserver(this, "synthTriggeredOff", [this](N n) { synthTriggeredOff(intOf(n, "partId")); });
  // MIDI device messages are not shown on the main screen.
  c.addObserver(this, "midiDeviceNotification", [](N) {});
  c.addObserver(this, "precountAbletonLinkSync",
                [this](N n) { precountAbletonLinkSync(intOf(n, "beat"), intOf(n, "count")); });
  c.addObserver(this, "abletonLinkSyncEnabledDidChange", [this](N) {
    updateAbletonLinkSyncButtonState();
    updateAbletonLinkCounterState();
  });
  c.addObserver(this, "abletonLinkSyncConnectedDidChange", [this](N) { updateAbletonLinkCounterState(); });
  c.addObserver(this, "abletonLinkSyncTempoChanged", [this](N) { abletonLinkSyncTempoChanged(); });
  c.addObserver(this, "RibbonInterfaceRandomizePurged", [this](N) { randomizePurged(); });
}

void Z31647ViewController::removeObserver() {
  if (!observing_) return;
  observing_ = false;
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

// ---- timers and the interface tick --------------------------------------------------------

uint64_t Z31647ViewController::playButtonBlinkCounter() { return gPlayBlinkCounter; }

void Z31647ViewController::resumeIdleTimer() {
  if (idleTimer_) return;
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  idleTimer_ = platform::RunLoop::main().scheduleTimer(static_cast<double>(0.05f), true, [weak](platform::Timer&) {
    if (auto self = weak.lock()) static_cast<Z31647ViewController*>(self.get())->timerFired();
  });
}

void Z31647ViewController::suspendIdleTimer() {
  if (idleTimer_) idleTimer_->invalidate();
  idleTimer_.reset();
}

void Z31647ViewController::timerFired() {
  if (!synth_) return;
  Seq* seq = synth_->seq();
  // 1-3. The play position, in half steps.
  const uint32_t pos = static_cast<uint32_t>(synth_->currentStep(true));
  if (pos > currentStepTwice_) stateMediator_->currentState()->partButtonTriggeredOffWhenStepChanged(this);
  const uint32_t old = currentStepTwice_;
  currentStepTwice_ = pos;
  // 4. The play button blinks every 9 ticks.
  if (gPlayBlinkCounter >= kPlayBlinkTicks) {
    playButton_->doBlink();
    gPlayBlinkCounter = 0;
  }
  ++gPlayBlinkCounter;
  // 5.
  const bool playing = synth_->isPlaying();
  if (playing) {
    stateMediator_->currentState()->synthMotionRecording(this);
    stateMediator_->currentState()->effectMotionRecording(this);
  } else {
    ledMediatorSeq_->setLed(0, 1);
    stateMediator_->currentState()->pollingInSeqStop(this);
  }
  // 6. A new step, not only its second half.
  if ((old ^ pos) >= 2) stepChanged();
  // 7.
  lcdManager_->refreshDisplay();
  // 8.
  playButton_->setButtonState(playing ? 1 : 0);
  loopButton_->setOn(seq && seq->isLoop());
  // 9. The beat lamp.
  if (isAbletonLinkSyncOn()) {
    beatLed_->setLedState(synth_->linkTick() % 24 < 12 ? 1 : 0);
  } else if (synth_->isBeatLit()) {
    beatLed_->setLedState(synth_->isInternalClock() ? 1 : 2);
  } else {
    beatLed_->setLedState(0);
  }
  // 10.
  if (lcdManager_->currentMessageType() == kLCDMessageDefault) {
    setIsOriginalValue(false);
    updateOriginalValueLed();
  }
  // 11.
  updateAbletonLinkCounterState();
}

void Z31647ViewController::timerFiredMidi() {
  if (MidiDeviceManagerService* midi = midiDeviceManager()) midi->updateControllerOutputs();
}

// ---- transport ----------------------------------------------------------------------------------

void Z31647ViewController::startSeq() {
  if (!synth_) return;
  const uint64_t now = platform::hostTime();
  if (isAbletonLinkSyncOn()) {
    synth_->linkStart(now);
  } else {
    synth_->startSequencer(now);
  }
}

void Z31647ViewController::stopSeq() {
  if (!synth_) return;
  const uint64_t now = platform::hostTime();
  if (isAbletonLinkSyncOn()) {
    synth_->linkStop(now);
  } else {
    synth_->stopSequencer(now);
  }
}

void Z31647ViewController::play(TIButton*) {
  playButWaitUntilCurrentPatternFinished(false);
  GQFlurry::sharedInstance().reportEvent(gq_event::kStart);
}

void Z31647ViewController::playButWaitUntilCurrentPatternFinished(bool wait) {
  if (!synth_) return;
  if (!(synth_->isPlaying() && wait)) startSeq();
  refreshPlayButton(synth_->isPlaying());
}

void Z31647ViewController::stopButtonDown(TIButton* sender) {
  if (sender && sender == stopButton_.get()) sender->setButtonState(1);
  stopSeq();
  GQFlurry::sharedInstance().reportEvent(gq_event::kStop);
}

void Z31647ViewController::stopButtonUp(TIButton* sender) {
  if (sender && sender == stopButton_.get()) sender->setButtonState(0);
}

void Z31647ViewController::record(TIButton* sender) {
  setRecording(recording_ ^ static_cast<uint32_t>(sender->tag()));
  if (synth_) {
    refreshPlayButton(synth_->isPlaying());
    synth_->recordingStatusChanged(recording_ != 0);
  }
  GQFlurry::sharedInstance().reportEvent(gq_event::kRecord);
}

void Z31647ViewController::refreshPlayButton(bool playing) {
  playButton_->enableBlink(recording_ != 0 && !playing);
  gPlayBlinkCounter = 0;
  playButton_->setNeedsDisplay();
}

void Z31647ViewController::loop(TIButton*) {
  if (!synth_) return;
  const bool on = loopButton_->isOn();
  synth_->setLoop(on);
  loopButton_->setOn(on);
  if (on) GQFlurry::sharedInstance().reportEvent(gq_event::kLoop);
}

void Z31647ViewController::sequenceDidStart() {
  if (synth_) refreshPlayButton(synth_->isPlaying());
}

void Z31647ViewController::sequenceDidStop() {
  if (!synth_) return;
  Z31647State* mode = stateMediator_->currentState();
  mode->recordingStatusChanged(this, false);
  stateMediator_->currentState()->refreshPartView(this);
  stateMediator_->currentState()->refreshSynthView(this);
  stateMediator_->currentState()->refreshEffectView(this);
  if (preCountView_) preCountView_->stop();
}

// ---- tutorial ----------------------------------------------------------------------------------

void Z31647ViewController::startTutorialOnFirstLaunch() {
  platform::UserDefaults& defaults = defaults_ ? *defaults_ : platform::UserDefaults::standardUserDefaults();
  if (GBXTutorialServices::aboutToStart(defaults)) startTutorial();
}

void Z31647ViewController::startTutorial() {
  GBXTutorialServices::Factory& make = GBXTutorialServices::factory();
  if (!make) return;
  std::shared_ptr<platform::ViewController> tutorial = make(this, this);
  if (!tutorial) return;
  addChildViewController(tutorial);
  tutorial->view()->setFrame(view()->bounds());
  tutorial->view()->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  view()->addSubview(tutorial->viewPtr());
  tutorial->didMoveToParentViewController(this);
  tutorialViewController_ = tutorial;
}

void Z31647ViewController::tutorialEnded(platform::ViewController* tutorial) {
  if (!tutorial || tutorial != tutorialViewController_.get()) return;
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  platform::dispatchAsyncMain([weak] {
    auto self = weak.lock();
    if (!self) return;
    auto* ctl = static_cast<Z31647ViewController*>(self.get());
    ctl->detachViewController(ctl->tutorialViewController_.get());
    ctl->tutorialViewController_.reset();
  });
}

// ---- main dial and tempo --------------------------------------------------------------------------

double Z31647ViewController::retrieveTempoMin() { return panel::kTempoMin; }
double Z31647ViewController::retrieveTempoMax() { return panel::kTempoMax; }
double Z31647ViewController::retrieveTempoMaxForAbletonLink() { return panel::kTempoMaxForAbletonLink; }

void Z31647ViewController::changeMainDialTarget(TIButton*) {
  mainDial_->setIsDialLocked(true);
  refreshMainDial();
  displayDefaultContent();
  mainDial_->setIsDialLocked(false);
}

void Z31647ViewController::refreshMainDial() {
  if (!synth_) return;
  int64_t min;
  int64_t max;
  int64_t value;
  if (tempoButton_->isOn()) {
    const bool link = isAbletonLinkSyncOn();
    max = static_cast<int64_t>(link ? retrieveTempoMaxForAbletonLink() : retrieveTempoMax());
    min = static_cast<int64_t>(retrieveTempoMin());
    const int32_t tenths = link ? panel::linkTempoTenths(synth_->linkTempo()) : synth_->tempo();
    value = static_cast<int64_t>(tenths * 0.1);
  } else {
    DataProvider* provider = dataProvider();
    max = (provider ? provider->numberOfPatterns() : 0) - 1;
    min = 0;
    value = synth_->pendingPattern();
  }
  // Each bound is limited by the other: open the range downwards first so
  // that the new maximum is never held up by the old minimum.
  mainDial_->setMinValue(std::min<int64_t>(min, mainDial_->minValue()));
  mainDial_->setMaxValue(max);
  mainDial_->setMinValue(min);
  mainDial_->setValue(value);
  mainDial_->setInfiniteRotationMode(false);
}

void Z31647ViewController::mainDialValueChanging(UISliderButton* dial) {
  if (!synth_) return;
  if (tempoButton_->isOn()) {
    setTempoByMainDial(static_cast<double>(dial->value()));
    displayTempo();
  } else {
    DataProvider* provider = dataProvider();
    const int32_t n = static_cast<int32_t>(dial->value());
    displayValue(provider ? provider->columnText(n, 0) : std::string(),
                 provider ? provider->columnText(n, 1) : std::string(), kLCDMessagePendingChoice);
  }
  dial->setNeedsDisplay();
}

void Z31647ViewController::mainDialValueChanged(UISliderButton* dial) {
  if (!synth_) return;
  if (tempoButton_->isOn()) {
    setTempoByMainDial(static_cast<double>(dial->value()));
    displayTempo();
  } else {
    changePattern(static_cast<int32_t>(dial->value()));
  }
}

void Z31647ViewController::setTempoByMainDial(double bpm) {
  if (!synth_) return;
  if (isAbletonLinkSyncOn()) {
    synth_->setLinkTempo(panel::tempoTenths(panel::clampTempo(bpm, true)) * 0.1);
  } else {
    synth_->setTempoFromUi(panel::tempoTenths(panel::clampTempo(bpm, false)));
  }
}

void Z31647ViewController::abletonLinkSyncTempoChanged() {
  if (!tempoButton_->isOn()) return;
  refreshMainDial();
  displayTempo();
}

void Z31647ViewController::changeTempo(TIControl* sender, double bpm) {
  if (!synth_) return;
  setTempoByMainDial(bpm);
  if (tempoButton_->isOn()) {
    const int32_t tenths = isAbletonLinkSyncOn() ? panel::linkTempoTenths(synth_->linkTempo()) : synth_->tempo();
    mainDial_->setValue(static_cast<int64_t>(tenths * 0.1));
  }
  if (sender && sender == tapTempoButton()) {
    displayTapTempo();
  } else {
    displayTempo();
  }
}

namespace {

// The engine keeps these in range; the display echoes what the control sent,
// so the user sees the value asked for, not where the engine stopped it.
int32_t setAsAsked(Synth& synth, int32_t (Synth::*set)(int32_t), double value) {
  const int32_t asked = static_cast<int32_t>(value);
  (synth.*set)(asked);
  return asked;
}

}  // namespace

void Z31647ViewController::changeSwing(double value) {
  if (synth_) displayValueAsInteger("Swing", setAsAsked(*synth_, &Synth::setSwing, value));
}

void Z31647ViewController::changeLength(double value) {
  if (synth_) displayValueAsInteger("Length", setAsAsked(*synth_, &Synth::setPatternLength, value));
}

void Z31647ViewController::changeLastStep(double value) {
  if (synth_) displayValueAsInteger("Last Step", setAsAsked(*synth_, &Synth::setLastStep, value));
}

// ---- LCD texts ----------------------------------------------------------------------------------

void Z31647ViewController::displayValueAsInteger(const std::string& title, int64_t value) {
  displayValue(title, panel::threeDigits(value), kLCDMessageValue);
}

void Z31647ViewController::displayValueAsInteger(const std::string& title, int64_t value, int64_t type) {
  displayValue(title, panel::threeDigits(value), type);
}

void Z31647ViewController::displayValue(const std::string& title, const std::string& value) {
  displayValue(title, value, kLCDMessageValue);
}

void Z31647ViewController::displayValue(const std::string& title, const std::string& value, int64_t type) {
  if (lcdManager_) lcdManager_->appendMessage(LCDMessage::message(value, title, type));
}

void Z31647ViewController::displayTempo() {
  displayTempoWithTitle("Tempo", tempoButton_->isOn() ? kLCDMessageDefault : kLCDMessageValue);
}

void Z31647ViewController::displayTapTempo() {
  const bool on = tempoButton_->isOn();
  if (on) displayTempoWithTitle("Tempo", kLCDMessageDefault);
  displayTempoWithTitle("Tap Tempo", on ? kLCDMessageValue : kLCDMessageNotice);
}

void Z31647ViewController::displayTempoWithTitle(const std::string& title, int64_t type) {
  if (!synth_) return;
  const int32_t tenths = isAbletonLinkSyncOn() ? panel::linkTempoTenths(synth_->linkTempo()) : synth_->tempo();
  displayValue(title, panel::tempoText(tenths), type);
}

void Z31647ViewController::displayDefaultContent() {
  if (!synth_) return;
  if (tempoButton_->isOn()) {
    displayTempo();
    GQFlurry::sharedInstance().reportEvent(gq_event::kTempo);
    return;
  }
  DataProvider* provider = dataProvider();
  const std::string label = provider ? provider->columnText(synth_->currentPatternIndex(), 0) : std::string();
  const tagParamsT& tags = synth_->currentPattern()->tagParams;
  displayValue(label, panel::recordName(tags.name, sizeof tags.name), kLCDMessageDefault);
}

void Z31647ViewController::sendNotificationMessage(const std::string& text, uint64_t displayTimeIndex) {
  platform::Notification n;
  n.name = "TINotificationMessageArrived";
  n.object = text;
  n.userInfo = platform::Dictionary{{"TINotificationMessageArrivedTimeIndex", platform::Value(displayTimeIndex)}};
  platform::NotificationQueue::defaultQueue().enqueue(std::move(n), platform::PostingStyle::ASAP);
}

void Z31647ViewController::updateSynthParameterDisplay(int32_t index, int32_t value) {
  auto knob = [&](UISliderButton* k) {
    if (k && k->value() != value) {
      k->setValue(value);
      k->setNeedsDisplay();
    }
  };
  auto multi = [&](UIMultipleStateButton* b, LedMediator* leds) {
    if (b) b->setValue(value);
    if (leds) leds->setLed(value, 2);
  };
  switch (index) {
    case 0: knob(synthPitchKnob()); break;
    case 1: multi(synthWaveButton(), ledMediatorWaveLeds_.get()); break;
    case 2: knob(synthModDepthKnob()); break;
    case 3: knob(synthModSpeedKnob()); break;
    case 4: multi(synthModTypeButton(), ledMediatorModType_.get()); break;
    case 5: knob(synthDecayKnob()); break;
    case 6: knob(synthLevelKnob()); break;
    case 7: knob(synthPanKnob()); break;
    case 8: knob(synthLowBoostKnob()); break;
    case 9: multi(synthMotionSeqButton(), ledMediatorMotionType_.get()); break;
    default: break;
  }
}

void Z31647ViewController::updateEffectParameterDisplay(int32_t index, int32_t value) {
  UISliderButton* k = getEffectParamController(index);
  if (k && k->value() != value) {
    k->setValue(value);
    k->setNeedsDisplay();
  }
}

void Z31647ViewController::updateMasterParameterDisplay(int32_t index, int32_t value) {
  UISliderButton* k = masterVolumeKnob();
  if (index == 0 && k && k->value() != value) {
    k->setValue(value);
    k->setNeedsDisplay();
  }
}
