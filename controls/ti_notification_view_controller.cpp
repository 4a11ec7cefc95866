#include "controls/ti_notification_view_controller.h"

#include "platform/gfx/graphics_context.h"
#include "platform/notify/notification_center.h"

using namespace platform;

// ---- the balloon ------------------------------------------------------------------------

TINotificationView::TINotificationView(const Rect& frame) : Control(frame) {
  setDrawsContent(true);
  setBackgroundColor(Color::clear());
}

void TINotificationView::setShadowColor(const Color& c) {
  if (c == shadowColor_) return;
  shadowColor_ = c;
  setNeedsDisplay();
}

void TINotificationView::setShadowSize(Size s) {
  if (s == shadowSize_) return;
  shadowSize_ = s;
  setNeedsDisplay();
}

void TINotificationView::drawRect(const Rect&) {
  GraphicsContext* g = currentGraphicsContext();
  if (!g) return;
  g->saveGState();
  g->setFillColor(Color::rgba(0.8, 0.8, 0.8, 0.8));
  g->setShadow(shadowSize_, 10.0, shadowColor_);
  // The context is not flipped: the platform draws top-down already, and
  // the rounded rectangle is symmetric, so only the shadow's side differs.
  const Rect r = bounds().insetBy(18.0, 20.0);
  g->beginPath();
  g->moveTo(r.minX(), r.midY());
  g->addArcToPoint(r.minX(), r.minY(), r.midX(), r.minY(), 12);
  g->addArcToPoint(r.maxX(), r.minY(), r.maxX(), r.midY(), 12);
  g->addArcToPoint(r.maxX(), r.maxY(), r.midX(), r.maxY(), 12);
  g->addArcToPoint(r.minX(), r.maxY(), r.minX(), r.midY(), 12);
  g->closePath();
  g->fillPath();
  g->restoreGState();
}

// ---- the controller ------------------------------------------------------------------------

TINotificationViewController::TINotificationViewController() {
  // The timer runs for the controller's life; the destructor stops it, so
  // the raw pointer never outlives the controller.
  timer_ = RunLoop::main().scheduleTimer(kTick, true, [this](Timer&) { timerFired(); });
}

TINotificationViewController::~TINotificationViewController() {
  if (timer_) timer_->invalidate();
  if (observing_) NotificationCenter::defaultCenter().removeObserver(this);
}

void TINotificationViewController::observeNotifications() {
  if (observing_) return;
  observing_ = true;
  NotificationCenter::defaultCenter().addObserver(this, kTINotificationMessageArrived,
                                                  [this](const Notification& n) { messageArrived(n); });
}

void TINotificationViewController::loadView() {
  auto v = std::make_shared<TINotificationView>(Rect(500, 0, 500, 200));
  v->setHidden(true);
  v->addTarget(this, "viewTouched:", [this](Control&) { viewTouched(); }, ControlEvents::TouchDown);
  setView(v);
  content_ = std::make_shared<Label>(Rect(30, 30, 440, 140));
  content_->setBackgroundColor(Color::clear());
  content_->setTextColor(Color::black());
  content_->setFont(Font::systemFont(17));
  content_->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  content_->setTextAlignment(TextAlignment::Left);
  content_->setLineBreakMode(LineBreakMode::Clip);
  content_->setAdjustsFontSizeToFitWidth(false);
  content_->setNumberOfLines(5);
  v->addSubview(content_);
}

void TINotificationViewController::messageArrived(const Notification& n) {
  const Value* ticks = n.info(kTINotificationMessageArrivedTimeIndex);
  setDismissingTime(ticks ? ticks->integerValue(0) : 0);
  std::string text;
  if (const auto* s = n.objectAs<std::string>()) text = *s;
  else if (const auto* c = n.objectAs<const char*>(); c && *c) text = *c;
  open(text);
}

void TINotificationViewController::open(const std::string& text) {
  View* v = view();
  v->setHidden(false);
  content_->setText(text);
  if (View* parent = v->superview()) {
    ViewPtr self = viewPtr();
    v->removeFromSuperview();
    parent->addSubview(self);
  }
  View::animate(0.5, [v] { v->setAlpha(1.0); });
}

void TINotificationViewController::dismiss() {
  View* v = view();
  View::animate(0.5, [v] { v->setAlpha(0.0); });
}

void TINotificationViewController::viewTouched() { dismiss(); }

void TINotificationViewController::timerFired() {
  if (!isViewLoaded() || view()->isHidden()) return;
  if (counter_ < 0) dismiss();
  else --counter_;
}

void setAlphaAnimated(View& view, double alpha, bool animated) {
  if (!animated) {
    view.setAlpha(alpha);
    return;
  }
  View::animate(alpha > 0.1 ? 0.05 : 0.3, [&view, alpha] { view.setAlpha(alpha); });
}
