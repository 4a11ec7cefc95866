// The Link count-in overlay and the Link beat counter.

#include "app/gbx_seq_count_views.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "platform/ui/label.h"

using platform::Color;
using platform::Rect;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr unsigned kFill = platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight;
constexpr const char* kScaleKey = "scale-layer";
constexpr const char* kBlinkKey = "blink";

Color rgb255(double r, double g, double b, double a = 1.0) { return Color::rgba(r / 255.0, g / 255.0, b / 255.0, a); }

void pop(platform::View& v, double from, double to, double duration) {
  v.layer().removeAnimation(kScaleKey);
  platform::BasicAnimation a;
  a.keyPath = "transform.scale";
  a.fromValue = from;
  a.toValue = to;
  a.duration = duration;
  a.repeatCount = 1;
  v.layer().addAnimation(std::move(a), kScaleKey);
}

}  // namespace

// ---- GBXCountDownIndicator ------------------------------------------------------------------

GBXCountDownIndicator::GBXCountDownIndicator(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(Color::clear());
  setUserInteractionEnabled(false);
  setDrawsContent(true);
}

double GBXCountDownIndicator::fraction() const {
  if (unit_ < 1) return 0.0;
  return 1.0 - static_cast<double>(progress_ % unit_) / static_cast<double>(unit_);
}

void GBXCountDownIndicator::drawRect(const Rect& rect) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->clearRect(rect);
  draw(*c);
}

void GBXCountDownIndicator::draw(platform::GraphicsContext& c) {
  if (unit_ < 1) return;
  const float f = static_cast<float>(fraction());
  const Rect r = bounds().insetBy(8, 8);
  const platform::Point centre{r.midX(), r.midY()};
  const double radius = r.width() / 2;
  const Color bright = rgb255(80, 210, 178);
  c.saveGState();
  c.setLineCap(platform::LineCap::Butt);
  c.setLineWidth(1);
  c.setFillColor(rgb255(80, 210, 178, 0.35));
  c.fillEllipseInRect(Rect{centre.x - radius, centre.y - radius, 2 * radius, 2 * radius});
  // What is left of the beat, dimmed.
  c.beginPath();
  c.moveTo(centre.x, centre.y);
  c.addArc(centre.x, centre.y, radius, f * 2 * kPi - kPi / 2 + kPi / 180, -kPi / 2, true);
  c.closePath();
  c.setFillColor(Color::white(0.0, 0.35));
  c.fillPath();
  c.setLineWidth(8);
  c.beginPath();
  c.addArc(centre.x, centre.y, radius, -kPi / 2, 3 * kPi / 2, true);
  c.setStrokeColor(Color::rgba(0.1882353, 0.4941177, 0.4188236, 1));
  c.strokePath();
  c.beginPath();
  c.addArc(centre.x, centre.y, radius, -kPi / 2, f * 2 * kPi - kPi / 2, true);
  c.setStrokeColor(bright);
  c.strokePath();
  c.restoreGState();
}

// ---- GBXSeqPreCountView --------------------------------------------------------------------

GBXSeqPreCountView::GBXSeqPreCountView(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(Color::clear());
  setUserInteractionEnabled(false);
  indicator_ = std::make_shared<GBXCountDownIndicator>(bounds());
  indicator_->setAutoresizingMask(kFill);
  indicator_->setAlpha(0);
  addSubview(indicator_);
  countLabel_ = std::make_shared<platform::Label>(bounds());
  countLabel_->setBackgroundColor(Color::clear());
  countLabel_->setAutoresizingMask(kFill);
  countLabel_->setFont(platform::Font::named("HelveticaNeue-Bold", 64));
  countLabel_->setTextColor(Color::whiteColor());
  countLabel_->setTextAlignment(platform::TextAlignment::Center);
  countLabel_->setUserInteractionEnabled(false);
  countLabel_->setAlpha(0);
  addSubview(countLabel_);
}

void GBXSeqPreCountView::setBeat(int32_t beat) {
  if (beat == beat_) return;
  beat_ = beat;
  updateLabel(true);
}

void GBXSeqPreCountView::setCount(int32_t count) {
  if (count == count_) return;
  const int32_t old = count_;
  count_ = count;
  updateLabel(old > count);
}

void GBXSeqPreCountView::updateLabel(bool startingAgain) {
  if (beat_ < 1 || count_ >= 0) return;
  const int32_t remaining = -count_ - 1;
  indicator_->setProgress(remaining);
  indicator_->setUnit(0);
  indicator_->setAlpha(1);
  int32_t unit = 0;
  for (int32_t u : {24, 12, 6, 3}) {
    if (beat_ % u == 0) {
      unit = u;
      break;
    }
  }
  if (unit > 0) {
    indicator_->setUnit(unit);
    const int32_t q = remaining / unit;
    if (remaining % unit == 0) {
      setLabel(q);
    } else if (startingAgain) {
      setLabel(q + 1);
    }
  }
  indicator_->setNeedsDisplay();
  if (count_ == -1) hideIndicatorAnimated();
}

void GBXSeqPreCountView::setLabel(int64_t n) {
  countLabel_->setText(n < 1 ? "1" : std::to_string(n));
  if (labelVisible_) return;
  labelVisible_ = true;
  pop(*countLabel_, 1.6, 1.0, 0.15);
  countLabel_->setAlpha(0);
  platform::Label* label = countLabel_.get();
  platform::View::animate(0.15, [label] { label->setAlpha(1); });
}

void GBXSeqPreCountView::hideIndicatorAnimated() {
  labelVisible_ = false;
  pop(*indicator_, 1.0, 1.2, 0.3);
  GBXCountDownIndicator* ring = indicator_.get();
  platform::View::animate(0.3, [ring] { ring->setAlpha(0); });
  pop(*countLabel_, 1.0, 2.0, 0.3);
  platform::Label* label = countLabel_.get();
  platform::View::animate(0.15, [label] { label->setAlpha(0); });
}

void GBXSeqPreCountView::stop() {
  beat_ = 0;
  count_ = 0;
  // Gone at once: a pop-in or fade still running is cut off too.
  platform::View::performWithoutAnimation([this] {
    indicator_->setAlpha(0);
    countLabel_->setAlpha(0);
  });
  indicator_->layer().removeAllAnimations();
  countLabel_->layer().removeAllAnimations();
  countLabel_->setText("");
  labelVisible_ = false;
}

// ---- GBXSeqCountViewIndicator -------------------------------------------------------------

GBXSeqCountViewIndicator::GBXSeqCountViewIndicator(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(Color::clear());
  setUserInteractionEnabled(false);
  setDrawsContent(true);
}

void GBXSeqCountViewIndicator::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  setHidden(!e);
  resetAnimation();
  updateProgress();
}

void GBXSeqCountViewIndicator::setProgress(float p) {
  if (p == progress_) return;
  progress_ = p;
  updateProgress();
}

void GBXSeqCountViewIndicator::updateProgress() {
  if (!enabled_) return;
  const float target = connected_ ? progress_ : 0.0f;
  if (value_ == target) return;
  value_ = target;
  setNeedsDisplay();
}

void GBXSeqCountViewIndicator::setConnected(bool c) {
  if (c == connected_) return;
  connected_ = c;
  setAlpha(0.5);
  stopAnimation();
  updateProgress();
  std::weak_ptr<platform::View> weak = weak_from_this();
  platform::View::animate(
      0.3, [this, c] { setAlpha(c ? 1.0 : 0.5); },
      [weak](bool) {
        auto self = weak.lock();
        if (!self) return;
        auto* me = static_cast<GBXSeqCountViewIndicator*>(self.get());
        me->setAlpha(1.0);
        me->resetAnimation();
      });
}

void GBXSeqCountViewIndicator::stopAnimation() { layer().removeAnimation(kBlinkKey); }

void GBXSeqCountViewIndicator::resetAnimation() {
  stopAnimation();
  if (!enabled_ || connected_) return;
  platform::BasicAnimation a;
  a.keyPath = "opacity";
  a.fromValue = 0.5;
  a.toValue = 0.0;
  a.duration = 0.5;
  a.autoreverses = true;
  a.repeatCount = std::numeric_limits<float>::max();
  layer().addAnimation(std::move(a), kBlinkKey);
}

void GBXSeqCountViewIndicator::drawRect(const Rect& rect) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->clearRect(rect);
  draw(*c);
}

void GBXSeqCountViewIndicator::draw(platform::GraphicsContext& c) {
  if (value_ < 0) return;
  const Rect r = bounds().insetBy(2, 2);
  const platform::Point centre{r.midX(), r.midY()};
  const double radius = r.width() / 2;
  c.saveGState();
  c.setLineCap(platform::LineCap::Butt);
  c.setLineWidth(2);
  c.beginPath();
  c.addArc(centre.x, centre.y, radius, -kPi / 2, 3 * kPi / 2, true);
  c.setFillColor(rgb255(77, 255, 210));
  c.fillPath();
  c.beginPath();
  c.moveTo(centre.x, centre.y);
  c.addArc(centre.x, centre.y, radius, -kPi / 2, value_ * 2 * kPi - kPi / 2 + kPi / 180, true);
  c.closePath();
  c.setFillColor(rgb255(35, 116, 96));
  c.fillPath();
  c.beginPath();
  c.addArc(centre.x, centre.y, radius, -kPi / 2, 3 * kPi / 2, true);
  c.setStrokeColor(rgb255(50, 50, 50));
  c.strokePath();
  c.restoreGState();
}

// ---- GBXSeqCountView ----------------------------------------------------------------------

GBXSeqCountView::GBXSeqCountView(const Rect& frame) : platform::View(frame) {
  setBackgroundColor(Color::clear());
  setUserInteractionEnabled(false);
  indicator_ = std::make_shared<GBXSeqCountViewIndicator>(bounds());
  indicator_->setAutoresizingMask(kFill);
  indicator_->setProgress(progress_);
  indicator_->setEnabled(enabled_);
  indicator_->setConnected(connected_);
  addSubview(indicator_);
}

void GBXSeqCountView::setProgress(float p) {
  progress_ = p;
  indicator_->setProgress(p);
}

void GBXSeqCountView::setConnected(bool c) {
  connected_ = c;
  indicator_->setConnected(c);
}

void GBXSeqCountView::setEnabled(bool e) {
  enabled_ = e;
  indicator_->setEnabled(e);
}

void GBXSeqCountView::resetAnimation() { indicator_->resetAnimation(); }
