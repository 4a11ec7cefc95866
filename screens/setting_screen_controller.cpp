#include "screens/setting_screen_controller.h"

#include <algorithm>
#include <cmath>

#include "controls/ui_slider_with_text_value.h"
#include "engine/midi/packed_param_id.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/navigation_controller.h"

namespace {

int32_t setting(uint32_t index) {
  GlobalSettings* g = globalSettings();
  return g ? g->get(static_cast<int32_t>(index)) : 0;
}

// A slider row with its range (maximum first, then minimum).
std::shared_ptr<UISliderWithTextValue> sliderRow(const platform::Rect& frame, float max, float min) {
  auto row = std::make_shared<UISliderWithTextValue>();
  row->setFrame(frame);
  row->slider()->setMaximumValue(max);
  row->slider()->setMinimumValue(min);
  return row;
}

int64_t integerOf(const platform::Notification& n, const char* key, int64_t fallback) {
  const platform::Value* v = n.info(key);
  return v ? v->integerValue() : fallback;
}

}  // namespace

SettingScreenController::SettingScreenController() = default;

SettingScreenController::~SettingScreenController() {
  removeObserver();
  for (platform::View* v : std::initializer_list<platform::View*>{
           tempoLabel_.get(), swingLabel_.get(), lengthLabel_.get(), lastStepLabel_.get(), knobModeLabel_.get(),
           gridModeLabel_.get(), tempoLockLabel_.get(), backgroundAudioLabel_.get(), tempoSlider_.get(),
           swingSlider_.get(), lengthSlider_.get(), lastStepSlider_.get(), knobModeButton_.get(),
           gridModeButton_.get(), tempoLockSwitch_.get(), backgroundAudioSwitch_.get()})
    if (v) v->removeFromSuperview();
  if (scrollView_) scrollView_->setDelegate(nullptr);
}

Synth* SettingScreenController::synth() const { return hasSynth_ ? synth_ : Synth::instance(); }

std::shared_ptr<platform::Label> SettingScreenController::makeLabel(const char* text, const platform::Rect& frame) const {
  auto l = std::make_shared<platform::Label>(frame);
  l->setText(text);
  l->setFont(platform::Font::named("HelveticaNeue", kLabelFontSize));
  l->setTextColor(platform::Color::black());
  l->setBackgroundColor(platform::Color::clear());
  l->setBaselineAdjustment(platform::BaselineAdjustment::AlignCenters);
  // Our fonts run wider than the one the layout was drawn for: a title that
  // would reach under its row's control (they all start at the same x) is
  // set just small enough to end before it. The frames stay as laid out.
  const double room = std::min(frame.maxX(), kControlLeft) - frame.minX();
  for (double size = kLabelFontSize; size > kSmallestLabelFontSize &&
                                     l->sizeThatFits({1e6, frame.height()}).width > room;) {
    size -= 0.5;
    l->setFont(l->font().withSize(size));
  }
  return l;
}

void SettingScreenController::loadView() {
  ViewController::loadView();
  tempoSlider_ = sliderRow({160, 4, 240, 40}, retrieveTempoMax(), retrieveTempoMin());
  tempoSlider_->setValueMode(UISliderWithTextValue::kOneDecimal);
  tempoSlider_->setAdjustsFontSizeToFitWidth(true);
  swingSlider_ = sliderRow({160, 48, 240, 40}, 75, 50);
  swingSlider_->setValueMode(UISliderWithTextValue::kWholeNumber);
  lengthSlider_ = sliderRow({160, 92, 240, 40}, 4, 1);
  lastStepSlider_ = sliderRow({160, 136, 240, 40}, 16, 1);

  tempoLockLabel_ = makeLabel("Tempo Lock", {20, 274, 90, 28});
  tempoLockSwitch_ = std::make_shared<platform::Switch>(platform::Rect{160, 274, 100, 28});
  // The platform's appearance proxy: every switch made from now on, anywhere
  // in the program, takes this tint. It is the off colour; the on colour
  // stays each switch's own.
  platform::Switch::appearance().setTintColor(switchTint());
  backgroundAudioLabel_ = makeLabel("Background Audio", {20, 318, 150, 28});
  backgroundAudioSwitch_ = std::make_shared<platform::Switch>(platform::Rect{160, 318, 100, 28});
  platform::Switch::appearance().setTintColor(switchTint());
  // The one made before the tint took effect gets it too.
  tempoLockSwitch_->setTintColor(switchTint());

  knobModeLabel_ = makeLabel("Knob Gesture", {20, 186, 100, 28});
  knobModeButton_ = std::make_shared<platform::SegmentedControl>(platform::Rect{160, 186, 240, 28});
  gridModeLabel_ = makeLabel("Pattern Change Grid", {20, 230, 150, 28});
  gridModeButton_ = std::make_shared<platform::SegmentedControl>(platform::Rect{160, 230, 240, 28});
  for (uint32_t k = 0; k < 2; ++k)
    knobModeButton_->insertSegmentWithTitle(GlobalSettings::valueTextFor(GlobalSettings::kKnobMode, k),
                                            static_cast<int>(k), false);
  for (uint32_t k = 0; k < 8; ++k)
    gridModeButton_->insertSegmentWithTitle(GlobalSettings::valueTextFor(GlobalSettings::kPatternChangeGrid, k),
                                            static_cast<int>(k), false);
  gridModeButton_->setSelectedSegmentIndex(setting(GlobalSettings::kPatternChangeGrid));
}

void SettingScreenController::viewDidLoad() {
  ViewController::viewDidLoad();
  platform::View* root = view();
  scrollView_ = std::make_shared<platform::ScrollView>(root->bounds());
  scrollView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  scrollView_->setBackgroundColor(platform::Color::clear());
  scrollView_->setContentSize(kContentSize);
  scrollView_->setAlwaysBounceVertical(true);
  scrollView_->setBounces(true);
  scrollView_->setDelegate(this);
  root->addSubview(scrollView_);
  for (const platform::ViewPtr& v : std::initializer_list<platform::ViewPtr>{
           tempoSlider_, swingSlider_, lengthSlider_, lastStepSlider_, tempoLockLabel_, backgroundAudioLabel_,
           tempoLockSwitch_, backgroundAudioSwitch_, knobModeLabel_, gridModeLabel_, knobModeButton_,
           gridModeButton_})
    scrollView_->addSubview(v);
  tempoLabel_ = makeLabel("Tempo", {20, 10, 90, 28});
  swingLabel_ = makeLabel("Swing", {20, 54, 90, 28});
  lengthLabel_ = makeLabel("Length", {20, 98, 90, 28});
  lastStepLabel_ = makeLabel("Last Step", {20, 142, 90, 28});
  for (const auto& l : {tempoLabel_, swingLabel_, lengthLabel_, lastStepLabel_}) scrollView_->addSubview(l);
}

void SettingScreenController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  view()->setBackgroundColor(platform::Color::clear());
  updateSeqParameters();
  knobModeButton_->setSelectedSegmentIndex(setting(GlobalSettings::kKnobMode));
  gridModeButton_->setSelectedSegmentIndex(setting(GlobalSettings::kPatternChangeGrid));
  tempoLockSwitch_->setOn(setting(GlobalSettings::kTempoLock) == 1, false);
  backgroundAudioSwitch_->setOn(setting(GlobalSettings::kBackgroundAudioEnabled) == 1, false);
  addObserver();
}

void SettingScreenController::viewDidDisappear(bool animated) {
  ViewController::viewDidDisappear(animated);
  removeObserver();
}

bool SettingScreenController::isAbletonLinkSyncOn() const {
  Synth* s = synth();
  return s && s->isLinkEnabled();
}

float SettingScreenController::retrieveTempoMax() const { return isAbletonLinkSyncOn() ? kTempoMaxLink : kTempoMax; }

float SettingScreenController::retrieveTempoValue() const {
  Synth* s = synth();
  if (!s) return 0.0f;
  const int16_t tempo = s->currentPattern()->sequencerParams.tempo;
  if (isAbletonLinkSyncOn()) return std::round(static_cast<float>(s->linkTempo()) * 10.0f) * 0.1f;
  return static_cast<float>(tempo) * 0.1f;
}

void SettingScreenController::updateTempoSlider() {
  if (tempoSlider_) tempoSlider_->setValue(retrieveTempoValue());
}

void SettingScreenController::updateSeqParameters() {
  if (!tempoSlider_) return;
  updateTempoSlider();
  Synth* s = synth();
  if (!s) return;
  const seqParams& p = s->currentPattern()->sequencerParams;
  swingSlider_->setValue(static_cast<float>(p.swing));
  lengthSlider_->setValue(static_cast<float>(p.length));
  lastStepSlider_->setValue(static_cast<float>(p.lastStep));
}

void SettingScreenController::addObserver() {
  if (observing_) return;
  observing_ = true;
  platform::NotificationCenter& c = platform::NotificationCenter::defaultCenter();
  using N = const platform::Notification&;
  c.addObserver(this, "patternChanged", [this](N) { patternChanged(); });
  c.addObserver(this, "synthParameterChangedFromMidi", [this](N n) {
    synthParameterChangedFromMidi(integerOf(n, "parameterId", -1), integerOf(n, "value", 0));
  });
  c.addObserver(this, "abletonLinkSyncTempoChanged", [this](N) { abletonLinkSyncTempoChanged(); });
  c.addObserver(this, "abletonLinkSyncEnabledDidChange", [this](N) { abletonLinkSyncEnabledDidChange(); });
}

void SettingScreenController::removeObserver() {
  if (!observing_) return;
  observing_ = false;
  platform::NotificationCenter& c = platform::NotificationCenter::defaultCenter();
  for (const char* name : {"patternChanged", "synthParameterChangedFromMidi", "abletonLinkSyncTempoChanged",
                           "abletonLinkSyncEnabledDidChange"})
    c.removeObserver(this, name);
}

void SettingScreenController::patternChanged() { updateSeqParameters(); }

void SettingScreenController::synthParameterChangedFromMidi(int64_t parameterId, int64_t value) {
  if (parameterId < 0 || (parameterId >> 16) != kPackedGroupSequence) return;
  const float v = static_cast<float>(value);
  switch (parameterId & 0xFFFF) {
    case 1: swingSlider_->setValue(v); break;
    case 2: lastStepSlider_->setValue(v); break;
    case 3: lengthSlider_->setValue(v); break;
    default: break;
  }
}

void SettingScreenController::abletonLinkSyncTempoChanged() { updateTempoSlider(); }

void SettingScreenController::abletonLinkSyncEnabledDidChange() {
  if (!tempoSlider_) return;
  tempoSlider_->slider()->setMaximumValue(retrieveTempoMax());
  updateTempoSlider();
}

void SettingScreenController::scrollViewDidScroll(platform::ScrollView& scrollView) {
  const platform::Point offset = scrollView.contentOffset();
  if (offset.x != 0) scrollView.setContentOffset({0, offset.y});
}

void SettingScreenController::closeButtonPushed() {
  if (platform::NavigationController* nav = navigationController()) nav->popToRootViewControllerAnimated(true);
}
