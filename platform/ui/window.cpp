#include "platform/ui/window.h"

#include <cmath>

#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/view_controller.h"

namespace platform {

namespace {
// Taps closer together than this (seconds, points) count up the tap count.
constexpr double kMultiTapInterval = 0.35;
constexpr double kMultiTapDistance = 20.0;
}  // namespace

Touch::Touch(int64_t identifier, Point windowLocation, double timestamp)
    : id_(identifier), location_(windowLocation), previous_(windowLocation), timestamp_(timestamp) {}

Point Touch::locationInView(const View* v) const { return v ? v->convertPointFrom(location_, nullptr) : location_; }

Point Touch::previousLocationInView(const View* v) const {
  return v ? v->convertPointFrom(previous_, nullptr) : previous_;
}

TouchSet Event::touchesForView(const View* v) const {
  TouchSet out;
  for (const auto& t : touches_)
    if (t->view() == v) out.push_back(t);
  return out;
}

void Responder::touchesBegan(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesBegan(touches, event);
}
void Responder::touchesMoved(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesMoved(touches, event);
}
void Responder::touchesEnded(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesEnded(touches, event);
}
void Responder::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (Responder* next = nextResponder()) next->touchesCancelled(touches, event);
}

Window::Window(const Rect& frame) : View(frame) {
  // A window is its own window: views added to it learn it from here.
  window_ = this;
  Application::sharedApplication().addWindow(this);
}

Window::~Window() { Application::sharedApplication().removeWindow(this); }

void Window::setRootViewController(std::shared_ptr<ViewController> vc) {
  if (vc == root_) return;
  std::shared_ptr<ViewController> old = std::move(root_);
  root_ = std::move(vc);
  if (old && old->isViewLoaded()) old->view()->removeFromSuperview();
  if (root_) {
    ViewPtr v = root_->viewPtr();
    v->setFrame(bounds());
    v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
    insertSubview(v, 0);
  }
}

void Window::makeKeyWindow() { Application::sharedApplication().setKeyWindow(this); }

void Window::makeKeyAndVisible() {
  makeKeyWindow();
  visible_ = true;
  setHidden(false);
  detail::viewTreeChanged();
}

bool Window::isKeyWindow() const { return Application::sharedApplication().keyWindow() == this; }

void Window::setHidden(bool h) {
  View::setHidden(h);
  detail::viewTreeChanged();
}

Responder* Window::nextResponder() const { return &Application::sharedApplication(); }

void Window::sendTouches(const std::vector<TouchInput>& inputs, double timestamp) {
  Event event(timestamp);
  std::vector<std::shared_ptr<Touch>> changed;
  for (const TouchInput& in : inputs) {
    if (in.phase == TouchPhase::Began) {
      if (active_.count(in.identifier)) continue;  // already down
      auto touch = std::make_shared<Touch>(in.identifier, in.location, timestamp);
      touch->window_ = this;
      if (timestamp - lastTapTime_ < kMultiTapInterval &&
          std::hypot(in.location.x - lastTapLocation_.x, in.location.y - lastTapLocation_.y) < kMultiTapDistance) {
        touch->tapCount_ = lastTapCount_ + 1;
      }
      View* hit = hitTest(in.location, &event);
      if (hit && !hit->isMultipleTouchEnabled()) {
        for (const auto& [id, t] : active_)
          if (t->view() == hit) hit = nullptr;
      }
      if (hit) touch->view_ = hit->shared_from_this();
      active_[in.identifier] = touch;
      changed.push_back(touch);
    } else {
      auto it = active_.find(in.identifier);
      if (it == active_.end()) continue;
      Touch& t = *it->second;
      t.previous_ = t.location_;
      t.location_ = in.location;
      t.timestamp_ = timestamp;
      t.phase_ = in.phase;
      changed.push_back(it->second);
    }
  }
  for (const auto& [id, t] : active_) event.touches_.push_back(t);

  // Phases in their natural order; each view gets its own touches.
  for (TouchPhase phase : {TouchPhase::Began, TouchPhase::Moved, TouchPhase::Stationary, TouchPhase::Ended,
                           TouchPhase::Cancelled}) {
    std::vector<std::shared_ptr<Touch>> ofPhase;
    for (const auto& t : changed)
      if (t->phase() == phase) ofPhase.push_back(t);
    if (!ofPhase.empty()) deliver(ofPhase, phase, event);
  }
  for (const auto& t : changed) {
    if (t->phase() == TouchPhase::Ended || t->phase() == TouchPhase::Cancelled) {
      active_.erase(t->identifier());
      if (t->phase() == TouchPhase::Ended) {
        lastTapLocation_ = t->windowLocation();
        lastTapTime_ = timestamp;
        lastTapCount_ = t->tapCount();
      }
    }
  }
}

void Window::deliver(const std::vector<std::shared_ptr<Touch>>& touches, TouchPhase phase, const Event& event) {
  std::vector<std::shared_ptr<View>> views;
  for (const auto& t : touches) {
    if (!t->view_) continue;
    if (std::find(views.begin(), views.end(), t->view_) == views.end()) views.push_back(t->view_);
  }
  for (const auto& v : views) {
    TouchSet mine;
    for (const auto& t : touches)
      if (t->view_ == v) mine.push_back(t);
    switch (phase) {
      case TouchPhase::Began: v->touchesBegan(mine, &event); break;
      case TouchPhase::Moved:
      case TouchPhase::Stationary: v->touchesMoved(mine, &event); break;
      case TouchPhase::Ended: v->touchesEnded(mine, &event); break;
      case TouchPhase::Cancelled: v->touchesCancelled(mine, &event); break;
    }
  }
}

void Window::cancelAllTouches(double timestamp) {
  std::vector<TouchInput> inputs;
  for (const auto& [id, t] : active_) inputs.push_back({id, t->windowLocation(), TouchPhase::Cancelled});
  if (!inputs.empty()) sendTouches(inputs, timestamp);
}

bool Window::makeFirstResponder(Responder* r) {
  if (r == firstResponder_) return true;
  if (firstResponder_ && !firstResponder_->resignFirstResponder()) return false;
  firstResponder_ = r;
  return true;
}

void Window::resignFirstResponderIfCurrent(const Responder* r) {
  if (firstResponder_ == r) firstResponder_ = nullptr;
}

void Window::insertText(const std::string& utf8) {
  if (auto* input = dynamic_cast<TextInput*>(firstResponder_)) input->insertText(utf8);
}
void Window::deleteBackward() {
  if (auto* input = dynamic_cast<TextInput*>(firstResponder_)) input->deleteBackward();
}
void Window::returnKey() {
  if (auto* input = dynamic_cast<TextInput*>(firstResponder_)) input->returnKey();
}

void Window::layoutAndDisplay() {
  // Both passes walk the whole tree; most run-loop passes ask for neither.
  // Requests made while they run count for the next time.
  if (layoutSeen_ != View::layoutRequests()) {
    layoutSeen_ = View::layoutRequests();
    layoutIfNeeded();
  }
  if (displaySeen_ != Layer::displayRequests()) {
    displaySeen_ = Layer::displayRequests();
    layer().displayTree();
  }
}

void Window::render(cairo_t* cr, double t, double scale) {
  cairo_save(cr);
  cairo_scale(cr, scale, scale);
  // The window's own frame origin is the screen's origin.
  cairo_translate(cr, -frame().origin.x, -frame().origin.y);
  layer().render(cr, t, scale);
  cairo_restore(cr);
}

ImagePtr Window::snapshot(double t, double scale) {
  if (scale <= 0) scale = Screen::mainScreen().scale();
  if (t < 0) t = RunLoop::main().now();
  layoutAndDisplay();
  const Size s = bounds().size;
  auto image = Image::create(static_cast<int>(std::lround(s.width * scale)), static_cast<int>(std::lround(s.height * scale)),
                             scale);
  if (!image) return nullptr;
  cairo_t* cr = cairo_create(image->surface());
  render(cr, t, scale);
  cairo_destroy(cr);
  cairo_surface_flush(image->surface());
  return image;
}

}  // namespace platform
