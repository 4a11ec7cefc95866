#include "library/screens/adjust_pattern_level_view_controller.h"

#include <algorithm>

#include "engine/record/param_id.h"
#include "engine/synth/synth.h"

using namespace platform;

namespace {

constexpr int kLevelIndex = 6;

int32_t scaled(int32_t value, int32_t percent) {
  const int64_t v = static_cast<int64_t>(value) * percent / 100;
  return static_cast<int32_t>(std::clamp<int64_t>(v, 0, 127));
}

}  // namespace

AdjustPatternLevelViewController::AdjustPatternLevelViewController(Synth* synth)
    : synth_(synth), backup_(synth ? *synth->currentPattern() : PatternRecord::zeroed()) {}

PatternRecord AdjustPatternLevelViewController::adjusted(const PatternRecord& backup, int32_t percent) {
  PatternRecord r = backup;
  for (int p = 0; p < kNumParts; ++p) {
    r.synthParams[p].level = scaled(r.synthParams[p].level, percent);
    // The level parameter of part p: 6, 22, ... 118.
    motionParams& m = r.motionParams[p * 16 + kLevelIndex];
    if (m.enabled == 0) continue;
    for (int16_t& v : m.value) v = static_cast<int16_t>(scaled(v, percent));
  }
  return r;
}

void AdjustPatternLevelViewController::viewDidLoad() {
  View* v = view();
  v->setBackgroundColor(Color::rgba(0.6, 0.4, 0.2));
  const double right = v->bounds().size.width;
  auto button = [&](const char* title, double y, void (AdjustPatternLevelViewController::*action)()) {
    auto b = std::make_shared<Button>(Button::Type::System, Rect(right - 110, y, 80, 40));
    b->setTitle(title, ControlState::Normal);
    b->setBackgroundColor(Color::white(1.0));
    b->layer().setCornerRadius(8);
    b->setAutoresizingMask(Autoresizing::FlexibleLeftMargin);
    b->addTarget(this, title, [this, action](Control&) { (this->*action)(); }, ControlEvents::TouchDown);
    v->addSubview(b);
    return b;
  };
  ok_ = button("OK", 30, &AdjustPatternLevelViewController::processDone);
  cancel_ = button("Cancel", 30 + 70, &AdjustPatternLevelViewController::processCanceled);
  reset_ = button("Reset", 30 + 70 + 100, &AdjustPatternLevelViewController::resetSliderValue);
  slider_ = std::make_shared<Slider>(Rect(20, 40, 320, 30));
  slider_->setMaximumValue(kMaximumPercent);
  slider_->setMinimumValue(kMinimumPercent);
  slider_->setValue(100);
  slider_->addTarget(this, "sliderValueChanged:", [this](Control&) { sliderValueChanged(); },
                     ControlEvents::ValueChanged);
  v->addSubview(slider_);
}

void AdjustPatternLevelViewController::sliderValueChanged() {
  adjustLevel(static_cast<int32_t>(slider_->value()));
}

void AdjustPatternLevelViewController::adjustLevel(int32_t percent) {
  if (!synth_) return;
  const PatternRecord r = adjusted(backup_, percent);
  synth_->setPatternRecord(&r);
}

void AdjustPatternLevelViewController::resetSliderValue() {
  if (slider_) slider_->setValue(100);
  adjustLevel(100);
}

void AdjustPatternLevelViewController::processDone() { dismissViewControllerAnimated(true, nullptr); }

void AdjustPatternLevelViewController::processCanceled() {
  if (synth_) synth_->setPatternRecord(&backup_);
  dismissViewControllerAnimated(true, nullptr);
}
