#include "controls/toast_view.h"

#include "platform/gfx/graphics_context.h"

using namespace platform;

namespace {

constexpr unsigned kFlexibleMargins = Autoresizing::FlexibleLeftMargin | Autoresizing::FlexibleRightMargin |
                                      Autoresizing::FlexibleTopMargin | Autoresizing::FlexibleBottomMargin;

}  // namespace

ToastView::ToastView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  indicator_ = std::make_shared<ActivityIndicatorView>(ActivityIndicatorView::Style::WhiteLarge);
  // The toast's centre as its superview sees it, which is also its own
  // centre when the toast is made over its superview's bounds.
  indicator_->setCenter(center());
  indicator_->setAutoresizingMask(kFlexibleMargins);
  addSubview(indicator_);
  const double w = frame.size.width, h = frame.size.height;
  Rect r = frame.insetBy(w * 0.5 - 64, h * 0.5 - 12);
  r = r.offsetBy(0, 42);
  label_ = std::make_shared<Label>(r);
  label_->setTextAlignment(TextAlignment::Center);
  label_->setFont(Font::boldSystemFont(16));
  label_->setBackgroundColor(Color::clear());
  label_->setTextColor(Color::whiteColor());
  label_->setAutoresizingMask(kFlexibleMargins);
  addSubview(label_);
  setBackgroundColor(Color::clear());
}

void ToastView::startAnimating(const std::string& text) {
  indicator_->startAnimating();
  label_->setText(text);
  setAlpha(0);
  setTransform(AffineTransform::makeScale(2.0, 2.0));
  View::animate(0.2, 0.0, AnimationOptions::BeginFromCurrentState, [this] {
    setAlpha(1);
    setTransform(AffineTransform::identity());
  });
}

void ToastView::stopAnimating() {
  indicator_->stopAnimating();
  std::weak_ptr<View> weak = weak_from_this();
  View::animate(
      0.6, 0.6, AnimationOptions::BeginFromCurrentState,
      [this] {
        setAlpha(0);
        setTransform(AffineTransform::makeScale(3.0, 3.0));
      },
      [weak](bool finished) {
        if (!finished) return;
        if (auto self = weak.lock()) self->removeFromSuperview();
      });
}

void ToastView::drawRect(const Rect& rect) {
  if (GraphicsContext* g = currentGraphicsContext()) g->clearRect(rect);
  drawBackground(rect);
}

void ToastView::drawBackground(const Rect& rect) {
  GraphicsContext* g = currentGraphicsContext();
  if (!g) return;
  g->setFillColor(Color::black().withAlpha(static_cast<double>(0.4f)));
  const Rect b = bounds();
  const Rect s = rect.insetBy(b.size.width * 0.5 - 64, b.size.height * 0.5 - 64);
  g->saveGState();
  g->translateCTM(s.origin.x, s.origin.y);
  g->scaleCTM(10, 10);
  const double w = s.size.width / 10, h = s.size.height / 10;
  g->beginPath();
  g->moveTo(w, h / 2);
  g->addArcToPoint(w, h, w / 2, h, 1.0);
  g->addArcToPoint(0, h, 0, h / 2, 1.0);
  g->addArcToPoint(0, 0, w / 2, 0, 1.0);
  g->addArcToPoint(w, 0, w, h / 2, 1.0);
  g->closePath();
  g->fillPath();
  g->restoreGState();
}
