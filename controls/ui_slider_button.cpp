#include "controls/ui_slider_button.h"

#include <cmath>

#include "engine/settings/global_settings.h"
#include "platform/gfx/graphics_context.h"

using platform::Event;
using platform::ImagePtr;
using platform::Point;
using platform::TouchSet;

namespace {

constexpr double kRadiansPerDegree = 0.017453292;

int32_t globalKnobMode(int32_t fallback) {
  GlobalSettings* settings = globalSettings();
  return settings ? settings->get(GlobalSettings::kKnobMode) : fallback;
}

// Round half away from zero.
int64_t roundHalfAway(float v) {
  return v >= 0 ? static_cast<int64_t>(std::trunc(v + 0.5f)) : static_cast<int64_t>(std::trunc(v - 0.5f));
}

}  // namespace

UISliderButton::UISliderButton(const platform::Rect& frame) : TIControl(frame) {
  setBackgroundColor(platform::Color::clear());
  sensitivity_ = 1.0;
  useGlobalKnobMode_ = true;
  knobOperationMode_ = globalKnobMode(0);
  setDrawsContent(true);
}

void UISliderButton::setMaxValue(int64_t v) {
  const int64_t r = std::max(minValue_, v);
  if (r == maxValue_) return;
  maxValue_ = r;
  setNeedsDisplay();
}

void UISliderButton::setMinValue(int64_t v) {
  const int64_t r = std::min(maxValue_, v);
  if (r == minValue_) return;
  minValue_ = r;
  setNeedsDisplay();
}

void UISliderButton::setRotateResolution(int64_t frames) {
  if (frames == resolution_) return;
  resolution_ = frames;
  setNeedsDisplay();
}

void UISliderButton::setBaseImage(ImagePtr strip) {
  if (strip == baseImage_) return;
  baseImage_ = std::move(strip);
  setNeedsDisplay();
}

void UISliderButton::setBaseImageActive(ImagePtr strip) {
  if (strip == baseImageActive_) return;
  baseImageActive_ = std::move(strip);
  setNeedsDisplay();
}

void UISliderButton::setImageEdgeInsets(const platform::EdgeInsets& e) {
  insets_ = e;
  setNeedsDisplay();
}

void UISliderButton::setKnobMode(int32_t mode) {
  knobOperationMode_ = mode;
  useGlobalKnobMode_ = false;
}

void UISliderButton::setValue(int64_t v) {
  const int64_t old = value();
  TIControl::setValue(v);
  if (v != old) {
    if (dialLocked_) originValue_ += v - old;
    setNeedsDisplay();
  }
}

void UISliderButton::changeValue(int64_t v) {
  const int64_t t = valueTranslation(v);
  if (t == value()) return;
  setValue(t);
  sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
}

int64_t UISliderButton::valueTranslation(int64_t v) {
  const int64_t span = maxValue_ - minValue_;
  if (infiniteRotationMode_ && span >= 1) {
    const int64_t n = span + 1;
    while (v < minValue_) v += n;
    while (v > maxValue_) v -= n;
  }
  if (v < minValue_) {
    originValue_ += minValue_ - v;
    v = minValue_;
    setNeedsDisplay();
  } else if (v > maxValue_) {
    originValue_ += maxValue_ - v;
    v = maxValue_;
    setNeedsDisplay();
  }
  return v;
}

int32_t UISliderButton::getFingerPosition(Point p) const {
  const platform::Rect b = bounds();
  if (p.y <= b.midY()) return 2;
  return p.x >= b.midX() ? 1 : 0;
}

double UISliderButton::rangeDivisor() const {
  const int64_t span = maxValue_ - minValue_;
  if (span >= 127) return 1.0;
  return static_cast<double>(127 / span);
}

// ---------------------------------------------------------------- touches

void UISliderButton::touchesBegan(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  if (useGlobalKnobMode_) knobOperationMode_ = globalKnobMode(knobOperationMode_);
  initialTime_ = event ? event->timestamp() : touches.front()->timestamp();
  initialValue_ = value();
  rotaryDegree_ = 0.0f;
  const auto& touch = touches.front();
  initialPosition_ = trackingPosition_ = touch->locationInView(touch->view());
  previousFingerPosition_ = getFingerPosition(initialPosition_);
  floatValue_ = static_cast<float>(value());
  trackingNow_ = true;
  firstMoveTracking_ = true;
  firstValueChangeInterpolation_ = true;
  auto keep = shared_from_this();
  TIControl::touchesBegan(touches, event);
  setNeedsDisplay();
}

void UISliderButton::touchesMoved(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  auto keep = shared_from_this();
  const double stamp = event ? event->timestamp() : touches.front()->timestamp();
  if (maxValue_ > minValue_ && stamp - initialTime_ > kDeadTime) {
    const Point p = touches.front()->locationInView(this);
    if (firstMoveTracking_) {
      fracDegree_ = 0.0f;
      trackingPosition_ = p;
      firstMoveTracking_ = false;
    } else if (knobOperationMode_ == 1) {
      if (rotaryMode_)
        rotaryEncoderTracking(p);
      else
        knobTracking(p);
    } else if (knobOperationMode_ == 0) {
      if (rotaryMode_)
        rotaryEncoderLinearTracking(p);
      else
        linearTracking(p);
    }
  }
  TIControl::touchesMoved(touches, event);
}

void UISliderButton::touchesEnded(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  auto keep = shared_from_this();
  const double stamp = event ? event->timestamp() : touches.front()->timestamp();
  const Point p = touches.front()->locationInView(this);
  const double dx = p.x - initialPosition_.x;
  const double dy = p.y - initialPosition_.y;
  int flick = 0;
  if (stamp - initialTime_ < kDeadTime && dx * dx + dy * dy > 100.0) {
    if (std::fabs(dx) > std::fabs(dy))
      flick = dx > 0 ? 1 : -1;
    else
      flick = dy < 0 ? 1 : -1;  // upward raises the value
  }
  if (flick != 0) changeValue(static_cast<int32_t>(value() + flick));
  trackingNow_ = false;
  TIControl::touchesEnded(touches, event);
  setNeedsDisplay();
}

void UISliderButton::touchesCancelled(const TouchSet& touches, const Event* event) {
  auto keep = shared_from_this();
  trackingNow_ = false;
  TIControl::touchesCancelled(touches, event);
  setNeedsDisplay();
}

// ---------------------------------------------------------------- trackings

void UISliderButton::linearTracking(Point p) {
  const auto steps = static_cast<int64_t>(std::trunc(sensitivity_ * (trackingPosition_.y - p.y) / rangeDivisor()));
  if (steps == 0) return;  // slow movement accumulates against the reference
  changeValue(value() + steps);
  trackingPosition_ = p;
}

void UISliderButton::rotaryEncoderLinearTracking(Point p) {
  const auto delta =
      static_cast<float>((sensitivity_ * (initialPosition_.y - p.y) / rangeDivisor()) * 0.16666667);
  if (delta == 0.0f) return;
  const float f = static_cast<float>(initialValue_) + delta;
  changeValue(static_cast<int64_t>(std::trunc(f)));
  if (rotaryMode_ && floatValue_ != f) {
    floatValue_ = std::max(f, 0.0f);
    setNeedsDisplay();
  }
  trackingPosition_ = p;
}

void UISliderButton::rotaryEncoderTracking(Point p) {
  const platform::Rect b = bounds();
  const auto angle = [&](Point q) {
    double a = std::atan2(q.y - b.midY(), q.x - b.midX()) / kRadiansPerDegree + 360.0;
    if (a > 360.0) a -= 360.0;
    return a;
  };
  double d = angle(p) - angle(trackingPosition_);
  if (std::fabs(d) > 180.0) d += d < 0 ? 360.0 : -360.0;
  rotaryDegree_ += static_cast<float>(d);
  trackingPosition_ = p;
  if (!infiniteRotationMode_) {
    const float lo = 15.0f * static_cast<float>(minValue_ - initialValue_);
    const float hi = 15.0f * static_cast<float>(maxValue_ - initialValue_);
    rotaryDegree_ = std::clamp(rotaryDegree_, lo, hi);
  }
  const float f = rotaryDegree_ / 15.0f + static_cast<float>(initialValue_);
  changeValue(static_cast<int64_t>(std::trunc(f)));
  if (rotaryMode_ && floatValue_ != f) {
    floatValue_ = f;
    setNeedsDisplay();
  }
}

void UISliderButton::knobTracking(Point p) {
  const platform::Rect b = bounds();
  const double cx = b.midX(), cy = b.midY();
  const double dx = p.x - cx, dy = p.y - cy;
  const double dead = b.size.width * 0.125;
  if (dx * dx + dy * dy < dead * dead) return;

  if (!infiniteRotationMode_ && !encoderMode_) {
    // Bottom-gap guard: sliding across the gap pins the end it came from.
    const int32_t r = getFingerPosition(p);
    if (r != previousFingerPosition_) {
      if (previousFingerPosition_ == 0 && r == 1) {
        changeValue(minValue_);
        return;
      }
      if (previousFingerPosition_ == 1 && r == 0) {
        changeValue(maxValue_);
        return;
      }
      previousFingerPosition_ = r;
    }
  }

  if (encoderMode_) {
    const auto angle = [&](Point q) {
      return static_cast<float>(std::atan2(q.y - cy, q.x - cx) / kRadiansPerDegree + 180.0);
    };
    const float aPrev = angle(trackingPosition_);
    const float aCur = angle(p);
    float d = std::fmod(fracDegree_ - aPrev + aCur, 360.0f);
    if (d < -180.0f) d += 360.0f;
    if (d > 180.0f) d -= 360.0f;
    const auto steps = static_cast<int64_t>(std::trunc(d * 0.06666667f));
    changeValue(value() + steps);
    fracDegree_ = d - 15.0f * static_cast<float>(steps);
    trackingPosition_ = p;
    // The drawn frame follows the finger's angle (clockwise from straight down).
    const int64_t frame = calcImageValue();
    float t = std::fmod(aCur + 90.0f, 360.0f);
    if (t < 0) t += 360.0f;
    const auto anchored = static_cast<int32_t>(static_cast<float>(frame) - t / 15.0f + static_cast<float>(originValue_));
    originValue_ = anchored % 24;
    return;
  }

  float a = static_cast<float>(std::atan2(dy, dx) / kRadiansPerDegree + 180.0);
  if (a > 270.0f) a -= 360.0f;
  const float v = static_cast<float>(minValue_) +
                  static_cast<float>(maxValue_ - minValue_) * 0.0033333334f * (a + 60.0f);
  int64_t r = std::clamp(roundHalfAway(v), minValue_, maxValue_);
  if (firstValueChangeInterpolation_) {
    r = static_cast<int64_t>(std::trunc(static_cast<double>(value() + r) * 0.5));
    firstValueChangeInterpolation_ = false;
  }
  changeValue(r);
}

// ---------------------------------------------------------------- drawing

int64_t UISliderButton::calcImageValue() const {
  if (resolution_ < 1) return -1;
  if (rotaryMode_) {
    const float f = trackingNow_ ? floatValue_ : static_cast<float>(value());
    const auto raw = static_cast<int64_t>(
        std::trunc(f * 0.033333335f * static_cast<float>(rotaryResolution()) * static_cast<float>(resolution_)));
    return raw % resolution_;
  }
  const int64_t o = encoderMode_ ? static_cast<int32_t>(originValue_) : 0;
  const int64_t m = (value() - o) % resolution_;
  return m < 0 ? m + resolution_ : m;
}

ImagePtr UISliderButton::cropImage(const ImagePtr& strip, int64_t frame) const {
  if (resolution_ < 1 || frame < 0 || !strip) return nullptr;
  const int64_t h = strip->pixelHeight() / resolution_;
  if (h < 1) return nullptr;
  return strip->cropped({0, static_cast<double>(h * frame), static_cast<double>(strip->pixelWidth()), static_cast<double>(h)},
                        strip->scale());
}

void UISliderButton::drawRect(const platform::Rect& rect) {
  platform::GraphicsContext* ctx = platform::currentGraphicsContext();
  ctx->clearRect(rect);
  const ImagePtr& strip = (isTracking() || isSelected()) ? baseImageActive_ : baseImage_;
  if (!strip) return;
  // The frame is drawn straight from the sheet: a knob turned all the way
  // round would otherwise copy 128 frames.
  const int64_t frame = calcImageValue();
  if (resolution_ < 1 || frame < 0) return;
  const int64_t h = strip->pixelHeight() / resolution_;
  if (h < 1) return;
  const platform::Rect b = bounds();
  ctx->drawImage(*strip,
                 {0, static_cast<double>(h * frame), static_cast<double>(strip->pixelWidth()), static_cast<double>(h)},
                 {b.origin.x + insets_.left, b.origin.y + insets_.top, b.size.width - insets_.left - insets_.right,
                  b.size.height - insets_.top - insets_.bottom},
                 platform::BlendMode::Normal, isEnabled() ? 1.0 : 0.5);
}

void UISliderButton::setEnabled(bool e) {
  TIControl::setEnabled(e);
  setNeedsDisplay();
}
