#include "controls/loading_view_controller.h"

#include <cmath>

#include "platform/gfx/graphics_context.h"
#include "platform/gfx/image.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/screen.h"

using namespace platform;

namespace {

// "Cancel.png" from the bundle, else the same picture drawn here: a white
// cross in a dark disc.
ImagePtr cancelImage() {
  if (ImagePtr named = Image::named("Cancel.png")) return named;
  const double scale = Screen::mainScreen().scale() > 0 ? Screen::mainScreen().scale() : 1.0;
  ImagePtr img = Image::create(static_cast<int>(30 * scale), static_cast<int>(30 * scale), scale);
  GraphicsContext g(img->surface(), scale);
  g.setFillColor(Color::white(0.15, 0.9));
  g.fillEllipseInRect(Rect(3, 3, 24, 24));
  g.setStrokeColor(Color::whiteColor());
  g.setLineWidth(2.5);
  g.setLineCap(LineCap::Round);
  g.beginPath();
  g.moveTo(10, 10);
  g.addLineTo(20, 20);
  g.moveTo(20, 10);
  g.addLineTo(10, 20);
  g.strokePath();
  return img;
}

}  // namespace

LoadingBackView::LoadingBackView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  const Rect b = bounds();
  label_ = std::make_shared<Label>(Rect(b.minX(), b.maxY() - 30, b.size.width, 20));
  label_->setText("Loading...");
  label_->setBackgroundColor(Color::clear());
  label_->setTextColor(Color::whiteColor());
  label_->setFont(Font::named("Helvetica-Bold", 16.0));
  label_->setTextAlignment(TextAlignment::Center);
  label_->setLineBreakMode(LineBreakMode::Clip);
  addSubview(label_);
}

void LoadingBackView::drawRect(const Rect& rect) {
  if (GraphicsContext* g = currentGraphicsContext()) g->clearRect(rect);
  drawBackground(rect);
}

void LoadingBackView::drawBackground(const Rect&) {
  GraphicsContext* g = currentGraphicsContext();
  if (!g) return;
  const Rect b = bounds();
  g->saveGState();
  g->setFillColor(Color::black().withAlpha(static_cast<double>(0.4f)));
  g->translateCTM(b.origin.x, b.origin.y);
  g->scaleCTM(10, 10);
  const double w = static_cast<float>(b.size.width / 10.0), h = static_cast<float>(b.size.height / 10.0);
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

void LoadingViewController::loadView() {
  // The desktop's screen is the size it reports: the frame is used as it is.
  const Rect frame = Screen::mainScreen().applicationFrame();
  auto v = std::make_shared<View>(frame);
  v->setBackgroundColor(Color::clear());
  const Point c{frame.midX() - frame.minX(), frame.midY() - frame.minY()};
  panel_ = std::make_shared<LoadingBackView>(Rect(0, 0, 180, 180));
  panel_->setBackgroundColor(Color::clear());
  panel_->setCenter({c.x + 50, c.y});
  v->addSubview(panel_);
  indicator_ = std::make_shared<ActivityIndicatorView>(ActivityIndicatorView::Style::WhiteLarge);
  indicator_->setFrame(Rect(0, 0, 50, 50));
  indicator_->setCenter({c.x + 50, c.y});
  indicator_->setHidesWhenStopped(true);
  indicator_->startAnimating();
  v->addSubview(indicator_);
  cancel_ = std::make_shared<Button>(Button::Type::Custom, Rect(0, 0, 30, 30));
  cancel_->setCenter({c.x - 25, c.y - 75});
  cancel_->setBackgroundColor(Color::clear());
  cancel_->setImage(cancelImage(), ControlState::Normal);
  cancel_->setHidden(true);
  cancel_->addTarget(this, "cancelButtonPushed:", [this](Control&) { cancelButtonPushed(); },
                     ControlEvents::TouchUpInside);
  v->addSubview(cancel_);
  setView(v);
}

void LoadingViewController::viewDidLoad() { view()->setAlpha(0); }

void LoadingViewController::present(bool cancelable) {
  View* v = view();
  cancel_->setHidden(!cancelable);
  v->setAlpha(0);
  View::animate(0.2, 0.0, AnimationOptions::CurveEaseInOut, [v] { v->setAlpha(1); });
}

void LoadingViewController::dismiss(bool animated) {
  View* v = view();
  if (!animated) {
    v->setAlpha(0);
    return;
  }
  std::weak_ptr<ViewController> weak = weak_from_this();
  View::animate(0.2, 0.0, AnimationOptions::CurveEaseInOut, [v] { v->setAlpha(0); }, [weak](bool finished) {
    if (auto self = std::static_pointer_cast<LoadingViewController>(weak.lock())) self->transitionAnimDidStop(finished);
  });
}

void LoadingViewController::transitionAnimDidStop(bool) {
  // Nothing follows the fade-out: the overlay stays in place, invisible.
  ++finishedDismissals_;
}

void LoadingViewController::cancelButtonPushed() {
  NotificationQueue::defaultQueue().enqueue(Notification{kAudioSteamingPlayerShouldStop, {}, {}}, PostingStyle::ASAP);
  dismiss(true);
}
