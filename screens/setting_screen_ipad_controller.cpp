#include "screens/setting_screen_ipad_controller.h"

#include "controls/ui_slider_with_text_value.h"
#include "engine/midi/packed_param_id.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "platform/notify/notification_center.h"

namespace {

int32_t setting(uint32_t index) {
  GlobalSettings* g = globalSettings();
  return g ? g->get(static_cast<int32_t>(index)) : 0;
}

std::shared_ptr<UISliderWithTextValue> row(double centreY, double width, float max, float min) {
  auto r = std::make_shared<UISliderWithTextValue>();
  r->setFrame({0, 0, width, 40});
  r->setCenter({215, centreY});
  r->slider()->setMaximumValue(max);
  r->slider()->setMinimumValue(min);
  return r;
}

}  // namespace

SettingScreenIpadController::SettingScreenIpadController() = default;

SettingScreenIpadController::~SettingScreenIpadController() { removeObserver(); }

Synth* SettingScreenIpadController::synth() const { return hasSynth_ ? synth_ : Synth::instance(); }

void SettingScreenIpadController::viewDidLoad() {
  ViewController::viewDidLoad();
  const double width = preferredContentSize().width - 95;
  Synth* s = synth();
  tempoSlider_ = row(66, width, 600, 20);
  tempoSlider_->setValueMode(UISliderWithTextValue::kOneDecimal);
  swingSlider_ = row(110, width, 75, 50);
  swingSlider_->setValueMode(UISliderWithTextValue::kWholeNumber);
  lengthSlider_ = row(155, width, 4, 1);
  lastStepSlider_ = row(199, width, 16, 1);
  if (s) {
    tempoSlider_->setValue(static_cast<float>(s->tempo()) * 0.1f);
    swingSlider_->setValue(static_cast<float>(s->swing()));
    lengthSlider_->setValue(static_cast<float>(s->patternLength()));
    lastStepSlider_->setValue(static_cast<float>(s->lastStep()));
  }
  for (const auto& r : {tempoSlider_, swingSlider_, lengthSlider_, lastStepSlider_}) view()->addSubview(r);
  if (knobModeButton_) {
    for (uint32_t k = 0; k < 2; ++k)
      knobModeButton_->insertSegmentWithTitle(GlobalSettings::valueTextFor(GlobalSettings::kKnobMode, k),
                                              static_cast<int>(k), false);
    knobModeButton_->setSelectedSegmentIndex(setting(GlobalSettings::kKnobMode));
  }
  if (gridModeButton_) {
    for (uint32_t k = 0; k < 8; ++k)
      gridModeButton_->insertSegmentWithTitle(GlobalSettings::valueTextFor(GlobalSettings::kPatternChangeGrid, k),
                                              static_cast<int>(k), false);
    gridModeButton_->setSelectedSegmentIndex(setting(GlobalSettings::kPatternChangeGrid));
  }
  const struct {
    platform::Switch* sw;
    uint32_t index;
  } switches[] = {{showTipsSwitch_.get(), GlobalSettings::kShowTips},
                  {soundPreviewSwitch_.get(), GlobalSettings::kPreviewSounds},
                  {nativeModeSwitch_.get(), GlobalSettings::kNativeMode},
                  {backgroundAudioSwitch_.get(), GlobalSettings::kBackgroundAudioEnabled}};
  for (const auto& s2 : switches)
    if (s2.sw) s2.sw->setOn(setting(s2.index) != 0, false);
}

void SettingScreenIpadController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  addObserver();
}

void SettingScreenIpadController::viewDidDisappear(bool animated) {
  ViewController::viewDidDisappear(animated);
  removeObserver();
}

void SettingScreenIpadController::addObserver() {
  if (observing_) return;
  observing_ = true;
  platform::NotificationCenter& c = platform::NotificationCenter::defaultCenter();
  c.addObserver(this, "patternChanged", [this](const platform::Notification&) { patternChanged(); });
  c.addObserver(this, "synthParameterChangedFromMidi", [this](const platform::Notification& n) {
    const platform::Value* id = n.info("parameterId");
    const platform::Value* v = n.info("value");
    synthParameterChangedFromMidi(id ? id->integerValue() : -1, v ? v->integerValue() : 0);
  });
}

void SettingScreenIpadController::removeObserver() {
  if (!observing_) return;
  observing_ = false;
  platform::NotificationCenter& c = platform::NotificationCenter::defaultCenter();
  c.removeObserver(this, "patternChanged");
  c.removeObserver(this, "synthParameterChangedFromMidi");
}

void SettingScreenIpadController::patternChanged() { updateSeqParameters(); }

void SettingScreenIpadController::updateSeqParameters() {
  Synth* s = synth();
  if (!s || !tempoSlider_) return;
  const seqParams& p = s->currentPattern()->sequencerParams;
  tempoSlider_->setValue(static_cast<float>(p.tempo) * 0.1f);
  swingSlider_->setValue(static_cast<float>(p.swing));
  lengthSlider_->setValue(static_cast<float>(p.length));
  lastStepSlider_->setValue(static_cast<float>(p.lastStep));
}

void SettingScreenIpadController::synthParameterChangedFromMidi(int64_t parameterId, int64_t value) {
  if (!tempoSlider_ || parameterId < 0 || (parameterId >> 16) != kPackedGroupSequence) return;
  const float v = static_cast<float>(value);
  switch (parameterId & 0xFFFF) {
    case 1: swingSlider_->setValue(v); break;
    case 2: lastStepSlider_->setValue(v); break;
    case 3: lengthSlider_->setValue(v); break;
    default: break;
  }
}

void SettingScreenIpadController::viewDidUnload() {
  removeObserver();
  for (const auto& r : {tempoSlider_, swingSlider_, lengthSlider_, lastStepSlider_})
    if (r) r->removeFromSuperview();
  tempoSlider_.reset();
  swingSlider_.reset();
  lengthSlider_.reset();
  lastStepSlider_.reset();
  knobModeButton_.reset();
  gridModeButton_.reset();
  showTipsSwitch_.reset();
  soundPreviewSwitch_.reset();
  nativeModeSwitch_.reset();
  backgroundAudioSwitch_.reset();
}
