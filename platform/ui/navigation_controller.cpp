#include "platform/ui/navigation_controller.h"

#include <algorithm>

#include "platform/runloop/run_loop.h"

namespace platform {

namespace {
constexpr double kBarButtonWidth = 70.0;
constexpr double kBarMargin = 8.0;
}  // namespace

NavigationBar::NavigationBar(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  title_ = std::make_shared<Label>();
  title_->setFont(Font::boldSystemFont(17));
  title_->setTextAlignment(TextAlignment::Center);
  title_->setAdjustsFontSizeToFitWidth(true);
  title_->setMinimumScaleFactor(0.5);
  addSubview(title_);
}

std::shared_ptr<Button> NavigationBar::makeButton(const std::string& title, bool bold, std::function<void()> action) {
  auto b = std::make_shared<Button>(Button::Type::System);
  b->setTitle(title, ControlState::Normal);
  b->titleLabel().setFont(bold ? Font::boldSystemFont(17) : Font::systemFont(17));
  b->addTarget(this, "barButtonTapped:", [action](Control&) { if (action) action(); },
               ControlEvents::TouchUpInside);
  addSubview(b);
  return b;
}

void NavigationBar::showItem(NavigationItem* item, const std::string& backTitle, std::function<void()> back) {
  const auto drop = [](auto& v) {
    if (v) v->removeFromSuperview();
    v.reset();
  };
  drop(left_);
  drop(right_);
  drop(leftCustom_);
  drop(rightCustom_);
  drop(titleView_);
  title_->setText(item ? item->title() : "");
  if (!item) return;
  if (item->titleView()) {
    titleView_ = item->titleView();
    addSubview(titleView_);
  }
  title_->setHidden(static_cast<bool>(titleView_));
  const auto place = [this](const BarButtonItemPtr& it, std::shared_ptr<Button>& button, ViewPtr& custom) {
    if (!it) return;
    if (it->customView()) {
      custom = it->customView();
      addSubview(custom);
      return;
    }
    std::weak_ptr<BarButtonItem> weak = it;
    button = makeButton(it->title(), it->style() == BarButtonItem::Style::Done, [weak] {
      if (auto i = weak.lock()) i->trigger();
    });
    button->setEnabled(it->isEnabled());
  };
  if (item->leftBarButtonItem()) {
    place(item->leftBarButtonItem(), left_, leftCustom_);
  } else if (back && !item->hidesBackButton()) {
    left_ = makeButton("< " + (backTitle.empty() ? std::string("Back") : backTitle), false, back);
  }
  place(item->rightBarButtonItem(), right_, rightCustom_);
  setNeedsLayout();
}

void NavigationBar::layoutSubviews() {
  const Rect b = bounds();
  const double side = kBarButtonWidth + kBarMargin;
  title_->setFrame({side, 0, std::max(0.0, b.size.width - 2 * side), b.size.height});
  if (titleView_) titleView_->setCenter({b.midX(), b.midY()});
  if (left_) left_->setFrame({kBarMargin, 0, kBarButtonWidth, b.size.height});
  if (right_) right_->setFrame({b.size.width - kBarMargin - kBarButtonWidth, 0, kBarButtonWidth, b.size.height});
  if (leftCustom_) leftCustom_->setCenter({kBarMargin + leftCustom_->bounds().size.width / 2, b.midY()});
  if (rightCustom_)
    rightCustom_->setCenter({b.size.width - kBarMargin - rightCustom_->bounds().size.width / 2, b.midY()});
}

void NavigationBar::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  c->setFillColor(Color::white(0.97));
  c->fillRect(b);
  c->setFillColor(Color::white(0.7));
  c->fillRect({0, b.size.height - 0.5, b.size.width, 0.5});
}

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
  if (root) {
    addChildViewController(root);
    stack_.push_back(root);
    root->didMoveToParentViewController(this);
  }
}

NavigationBar& NavigationController::navigationBar() {
  view();
  return *bar_;
}

ViewController* NavigationController::visibleViewController() const {
  if (presentedViewController()) return presentedViewController();
  return topViewController();
}

void NavigationController::loadView() {
  auto v = std::make_shared<View>(Rect(0, 0, 320, 480));
  v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  setView(v);
  bar_ = std::make_shared<NavigationBar>(Rect(0, 0, 320, kBarHeight));
  bar_->setAutoresizingMask(Autoresizing::FlexibleWidth);
  bar_->setHidden(barHidden_);
  v->addSubview(bar_);
  showTop();
}

Rect NavigationController::contentFrame() const {
  const Rect b = const_cast<NavigationController*>(this)->view()->bounds();
  const double top = barHidden_ ? 0 : kBarHeight;
  return {0, top, b.size.width, std::max(0.0, b.size.height - top)};
}

void NavigationController::viewDidLayoutSubviews() {
  if (bar_) bar_->setFrame({0, 0, view()->bounds().size.width, kBarHeight});
  if (ViewController* top = topViewController(); top && top->isViewLoaded()) top->view()->setFrame(contentFrame());
}

Size NavigationController::preferredContentSize() const {
  const ViewController* top = topViewController();
  Size s = top ? top->preferredContentSize() : ViewController::preferredContentSize();
  if (s.width <= 0 || s.height <= 0) return ViewController::preferredContentSize();
  if (!barHidden_) s.height += kBarHeight;
  return s;
}

void NavigationController::showTop() {
  ViewController* top = topViewController();
  if (!top || !bar_) return;
  ViewPtr v = top->viewPtr();
  v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  v->setFrame(contentFrame());
  if (v->superview() != view()) view()->insertSubviewBelow(v, bar_.get());
  std::string backTitle;
  std::function<void()> back;
  if (stack_.size() > 1) {
    backTitle = stack_[stack_.size() - 2]->title();
    std::weak_ptr<ViewController> weak = weak_from_this();
    back = [weak] {
      if (auto self = std::static_pointer_cast<NavigationController>(weak.lock())) self->popViewControllerAnimated(true);
    };
  }
  NavigationItem* item = &top->navigationItem();
  bar_->showItem(item, backTitle, back);
  std::weak_ptr<ViewController> weakTop = top->weak_from_this();
  std::weak_ptr<ViewController> weakSelf = weak_from_this();
  item->onChange = [weakTop, weakSelf] {
    auto self = std::static_pointer_cast<NavigationController>(weakSelf.lock());
    auto t = weakTop.lock();
    if (self && t && self->topViewController() == t.get()) self->showTop();
  };
}

void NavigationController::transition(const std::shared_ptr<ViewController>& from,
                                      const std::shared_ptr<ViewController>& to, bool animated, bool forward) {
  if (delegate_ && to) delegate_->willShowViewController(*this, *to, animated);
  if (!isViewLoaded()) {
    if (delegate_ && to) delegate_->didShowViewController(*this, *to, animated);
    return;
  }
  const bool visible = appearanceState() == AppearanceState::Appeared;
  if (visible && from) from->beginAppearanceTransition(false, animated);
  if (visible && to) to->beginAppearanceTransition(true, animated);
  showTop();
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  const auto finish = [self, from, to, visible, animated](bool) {
    if (from && from->isViewLoaded() && from.get() != self->topViewController()) from->view()->removeFromSuperview();
    if (visible && from) from->endAppearanceTransition();
    if (visible && to) to->endAppearanceTransition();
    if (self->delegate_ && to) self->delegate_->didShowViewController(*self, *to, animated);
  };
  if (animated && to && to->isViewLoaded()) {
    const Rect end = contentFrame();
    const double w = end.size.width;
    to->view()->setFrame(end.offsetBy(forward ? w : -w, 0));
    View::animate(kTransitionDuration, 0, AnimationOptions::CurveEaseOut, [&] {
      to->view()->setFrame(end);
      if (from && from->isViewLoaded()) from->view()->setFrame(end.offsetBy(forward ? -w / 3 : w, 0));
    }, finish);
  } else {
    finish(true);
  }
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> vc, bool animated) {
  if (!vc || std::find(stack_.begin(), stack_.end(), vc) != stack_.end()) return;
  std::shared_ptr<ViewController> from = stack_.empty() ? nullptr : stack_.back();
  addChildViewController(vc);
  stack_.push_back(vc);
  transition(from, vc, animated, true);
  vc->didMoveToParentViewController(this);
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return nullptr;
  std::shared_ptr<ViewController> from = stack_.back();
  stack_.pop_back();
  std::shared_ptr<ViewController> to = stack_.back();
  from->willMoveToParentViewController(nullptr);
  transition(from, to, animated, false);
  from->removeFromParentViewController();
  return from;
}

void NavigationController::popToRootViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return;
  std::shared_ptr<ViewController> from = stack_.back();
  std::vector<std::shared_ptr<ViewController>> removed(stack_.begin() + 1, stack_.end());
  stack_.resize(1);
  for (auto& vc : removed) vc->willMoveToParentViewController(nullptr);
  transition(from, stack_.front(), animated, false);
  for (auto& vc : removed) vc->removeFromParentViewController();
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
  barHidden_ = hidden;
  if (bar_) bar_->setHidden(hidden);
  if (isViewLoaded()) {
    if (ViewController* top = topViewController(); top && top->isViewLoaded()) top->view()->setFrame(contentFrame());
  }
}

}  // namespace platform
