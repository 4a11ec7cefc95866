// The XY performance pad: its touch surface and its controller.

#include "app/ribbon_interface_controller.h"

#include <algorithm>
#include <cmath>

#include "controls/ti_button.h"
#include "engine/record/param_tables.h"
#include "engine/synth/synth.h"
#include "platform/gfx/image.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"

namespace CE = platform::ControlEvents;
namespace CS = platform::ControlState;
using platform::Rect;

// ---- PadView ------------------------------------------------------------------------------

PadView::PadView(const Rect& frame) : platform::Control(frame) {}

platform::Point PadView::translateCoordinate(platform::Point location) const {
  const Rect b = bounds();
  const double fx = b.width() > 0 ? std::clamp(location.x / b.width(), 0.0, 1.0) : 0.0;
  const double fy = b.height() > 0 ? std::clamp(location.y / b.height(), 0.0, 1.0) : 0.0;
  return {minX_ + (maxX_ - minX_) * fx, minY_ + (maxY_ - minY_) * fy};
}

void PadView::take(const platform::TouchSet& touches, uint64_t events) {
  if (touches.empty() || !touches.front()) return;
  value_ = translateCoordinate(touches.front()->locationInView(this));
  sendActionsForControlEvents(events);
}

void PadView::touchesBegan(const platform::TouchSet& touches, const platform::Event*) { take(touches, CE::TouchDown); }
void PadView::touchesMoved(const platform::TouchSet& touches, const platform::Event*) {
  take(touches, CE::ValueChanged);
}
void PadView::touchesEnded(const platform::TouchSet& touches, const platform::Event*) {
  take(touches, CE::TouchUpInside);
}
void PadView::touchesCancelled(const platform::TouchSet& touches, const platform::Event*) {
  take(touches, CE::TouchUpInside);
}

// ---- RibbonInterfaceController -----------------------------------------------------------------

RibbonInterfaceController::RibbonInterfaceController(Synth* synth) : synth_(synth) {}

RibbonInterfaceController::~RibbonInterfaceController() { removeObserver(); }

void RibbonInterfaceController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  platform::View* root = view();
  root->setFrame(kFrame);
  root->setAutoresizingMask(platform::Autoresizing::None);
  root->setBackgroundColor(platform::Color::clear());
  root->setClipsToBounds(true);
  const unsigned fill = platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight;

  auto base = std::make_shared<platform::ImageView>(root->bounds());
  base->setImage(platform::Image::named("PadControlViewBase"));
  base->setAutoresizingMask(fill);
  root->addSubview(base);

  platform::ImagePtr led = platform::Image::named("PadLed");
  hilitedImageView_ = std::make_shared<platform::ImageView>(Rect{0, 0, led ? led->size().width : 0.0,
                                                                 led ? led->size().height : 0.0});
  hilitedImageView_->setImage(led);
  hilitedImageView_->setHidden(true);
  hilitedImageView_->setUserInteractionEnabled(false);
  root->addSubview(hilitedImageView_);

  auto face = std::make_shared<platform::ImageView>(root->bounds());
  face->setImage(platform::Image::named("PadControlView"));
  face->setAutoresizingMask(fill);
  root->addSubview(face);

  holdButton_ = std::make_shared<TIButton>(Rect{330, 16.5, 59.5, 25});
  holdButton_->setImage(platform::Image::named("hold_normal"), 0);
  holdButton_->setImage(platform::Image::named("hold_active"), 1);
  holdButton_->setHighlightedImage(platform::Image::named("Hold_Active_Highlighted"));
  holdButton_->addTarget(this, "holdButtonTouched:",
                         [this](platform::Control& c) { holdButtonTouched(static_cast<TIButton*>(&c)); },
                         CE::TouchUpInside);
  root->addSubview(holdButton_);

  closeButton_ = std::make_shared<platform::Button>(platform::Button::Type::Custom, Rect{20, 17, 23.5, 24});
  closeButton_->setBackgroundImage(platform::Image::named("padClose"), CS::Normal);
  closeButton_->setBackgroundImage(platform::Image::named("padClose_Active_Highlighted"), CS::Highlighted);
  root->addSubview(closeButton_);

  pad_ = std::make_shared<PadView>(Rect{24, 51, 363, 183});
  pad_->setMinimumXValue(-9);
  pad_->setMaximumXValue(9);
  pad_->setMinimumYValue(-10);
  pad_->setMaximumYValue(9);
  pad_->addTarget(this, "padViewTouched:", [this](platform::Control& c) { padViewTouched(static_cast<PadView*>(&c)); },
                  CE::TouchDown);
  pad_->addTarget(this, "padViewMoved:", [this](platform::Control& c) { padViewMoved(static_cast<PadView*>(&c)); },
                  CE::ValueChanged);
  pad_->addTarget(this, "padViewReleased:",
                  [this](platform::Control& c) { padViewReleased(static_cast<PadView*>(&c)); }, CE::TouchUpInside);
  root->addSubview(pad_);

  shouldRevertTheSynth_ = false;
  trackingFlag_ = false;
}

void RibbonInterfaceController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  hilitedImageView_->setHidden(true);
  addObserver();
}

void RibbonInterfaceController::viewDidDisappear(bool animated) {
  platform::ViewController::viewDidDisappear(animated);
  removeObserver();
}

void RibbonInterfaceController::addObserver() {
  if (observing_) return;
  observing_ = true;
  platform::NotificationCenter::defaultCenter().addObserver(this, "patternChanged",
                                                            [this](const platform::Notification&) { patternChanged(); });
}

void RibbonInterfaceController::removeObserver() {
  if (!observing_) return;
  observing_ = false;
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

// ---- gestures ---------------------------------------------------------------------------------

void RibbonInterfaceController::padViewTouched(PadView*) {
  trackingCancelled_ = false;
  trackingFlag_ = true;
  if (!lock_ && synth_) defaultParameterValues_ = *synth_->currentPattern();
  update();
}

void RibbonInterfaceController::padViewMoved(PadView*) {
  if (!trackingCancelled_) update();
}

void RibbonInterfaceController::padViewReleased(PadView*) {
  trackingFlag_ = false;
  if (trackingCancelled_) return;
  if (lock_) {
    setPattern(&randomizedParameterValues_);
    return;
  }
  hilitedImageView_->setHidden(true);
  setPattern(&defaultParameterValues_);
  postPurged();
}

void RibbonInterfaceController::holdButtonTouched(TIButton* button) {
  if (button->buttonState() == 0) {
    lock_ = true;
  } else {
    lock_ = false;
    if (!trackingFlag_) hilitedImageView_->setHidden(true);
    setPattern(&defaultParameterValues_);
    postPurged();
  }
  button->swapButtonState();
}

void RibbonInterfaceController::patternChanged() {
  trackingCancelled_ = true;
  lock_ = false;
  holdButton_->setButtonState(0);
  holdButton_->setNeedsDisplay();
  hilitedImageView_->setHidden(true);
  if (synth_) defaultParameterValues_ = *synth_->currentPattern();
}

// ---- randomizing ------------------------------------------------------------------------------

int32_t RibbonInterfaceController::amountForX(double x) {
  // Steepest at the centre, flattening towards the edges.
  const double v = x > 0 ? 9.0 - (x - 9.5) * (x - 9.5) * (1.0 / 9.0) : -9.0 + (x + 9.5) * (x + 9.5) * (1.0 / 9.0);
  return static_cast<int32_t>(std::trunc(v));
}

int32_t RibbonInterfaceController::stepForY(double y) { return -static_cast<int32_t>(std::trunc(y)); }

void RibbonInterfaceController::update() {
  const platform::Point v = pad_->value();
  randomizeEngine(amountForX(v.x), stepForY(v.y));
  const Rect f = pad_->frame();
  const double sx = pad_->maximumXValue() - pad_->minimumXValue();
  const double sy = pad_->maximumYValue() - pad_->minimumYValue();
  hilitedImageView_->setCenter({f.origin.x + f.width() * (sx != 0 ? (v.x - pad_->minimumXValue()) / sx : 0.0),
                                f.origin.y + f.height() * (sy != 0 ? (v.y - pad_->minimumYValue()) / sy : 0.0)});
  hilitedImageView_->setHidden(false);
}

void RibbonInterfaceController::randomizeEngine(int32_t amount, int32_t step) {
  if (!synth_) return;
  synth_->setRandomizeAmount(0, amount);
  if (step >= 0) synth_->setRandomizeAmount(1, step);
  randomizedParameterValues_ = defaultParameterValues_;
  if (step >= 0) {
    for (int32_t part = 0; part < kNumParts; ++part) {
      synth_->randomizePartSteps(part, &randomizedParameterValues_.sequencerParams);
      synth_->randomizePartSound(part, &randomizedParameterValues_);
      shouldRevertTheSynth_ = true;
    }
    return;
  }
  for (int32_t part = 0; part < kNumParts; ++part) {
    synth_->randomizePartSteps(part, &randomizedParameterValues_.sequencerParams);
    if (!shouldRevertTheSynth_) continue;
    // The sounds go back to the touch-down copy, each part keeping the mute
    // it has now.
    const PatternRecord& current = *synth_->currentPattern();
    int32_t ownMutes[kNumParts];
    for (int p = 0; p < kNumParts; ++p) {
      ownMutes[p] = defaultParameterValues_.synthParams[p].mute;
      defaultParameterValues_.synthParams[p].mute = current.synthParams[p].mute;
    }
    synth_->applyPartParameters(defaultParameterValues_.synthParams);
    for (int p = 0; p < kNumParts; ++p) defaultParameterValues_.synthParams[p].mute = ownMutes[p];
    shouldRevertTheSynth_ = false;
  }
}

void RibbonInterfaceController::setPattern(const PatternRecord* record) {
  if (synth_) synth_->setPatternRecord(record);
}

void RibbonInterfaceController::setDefaultParameterValues(const PatternRecord* record) {
  if (record) defaultParameterValues_ = *record;
}

void RibbonInterfaceController::postPurged() {
  platform::NotificationCenter::defaultCenter().post(kRibbonInterfaceRandomizePurged);
}
