#include "platform/ui/view_controller.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "platform/runloop/run_loop.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace platform {

namespace {

std::set<ViewController*>& registry() {
  static std::set<ViewController*> all;
  return all;
}

bool refreshing = false;
bool refreshAgain = false;

constexpr double kArrowHeight = 13.0;
constexpr double kPopoverMargin = 10.0;
constexpr double kPopoverCorner = 13.0;

// The panel of a popover: a rounded rectangle with an arrow pointing up at
// the source; the presented view sits inside it.
class PopoverFrameView : public View {
 public:
  PopoverFrameView(const Rect& frame, double arrowX) : View(frame), arrowX_(arrowX) { setDrawsContent(true); }
  void drawRect(const Rect&) override {
    GraphicsContext* c = currentGraphicsContext();
    const Rect b = bounds();
    Path p;
    p.addRoundedRect({0, kArrowHeight, b.size.width, b.size.height - kArrowHeight}, kPopoverCorner);
    p.moveTo({arrowX_ - kArrowHeight, kArrowHeight + 0.5});
    p.addLineTo({arrowX_, 0});
    p.addLineTo({arrowX_ + kArrowHeight, kArrowHeight + 0.5});
    p.closePath();
    c->setShadow({0, 2}, 12, Color::black().withAlpha(0.35));
    c->setFillColor(Color::white(0.97));
    c->addPath(p);
    c->fillPath();
  }

 private:
  double arrowX_;
};

// Covers the window while a popover is up: a touch outside the popover
// dismisses it.
class PopoverDimmingView : public View {
 public:
  explicit PopoverDimmingView(const Rect& frame, ViewController* presented) : View(frame), presented_(presented) {}
  void touchesBegan(const TouchSet&, const Event*) override {
    ViewController* vc = presented_;
    PopoverPresentationController* pop = vc ? vc->popoverPresentationController() : nullptr;
    PopoverPresentationControllerDelegate* d = pop ? pop->delegate() : nullptr;
    if (d && !d->popoverPresentationControllerShouldDismissPopover(*pop)) return;
    presented_ = nullptr;  // one dismissal
    if (!vc || !vc->presentingViewController()) return;
    vc->dismissViewControllerAnimated(true, [d, pop] {
      if (d) d->popoverPresentationControllerDidDismissPopover(*pop);
    });
  }
  void touchesMoved(const TouchSet&, const Event*) override {}
  void touchesEnded(const TouchSet&, const Event*) override {}
  void touchesCancelled(const TouchSet&, const Event*) override {}

 private:
  ViewController* presented_;
};

int depthOf(const ViewController* vc) {
  int d = 0;
  if (!vc->isViewLoaded()) return d;
  for (const View* v = const_cast<ViewController*>(vc)->view(); v; v = v->superview()) ++d;
  return d;
}

}  // namespace

// ---------------------------------------------------------------- items

std::shared_ptr<BarButtonItem> BarButtonItem::system(SystemItem item, Action action) {
  auto b = std::make_shared<BarButtonItem>();
  b->system_ = item;
  b->action_ = std::move(action);
  if (item == SystemItem::Done) b->style_ = Style::Done;
  return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::titled(const std::string& title, Style style, Action action) {
  auto b = std::make_shared<BarButtonItem>();
  b->title_ = title;
  b->style_ = style;
  b->action_ = std::move(action);
  return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::custom(ViewPtr view) {
  auto b = std::make_shared<BarButtonItem>();
  b->custom_ = std::move(view);
  return b;
}

std::string BarButtonItem::title() const {
  if (!title_.empty() || system_ == SystemItem::None) return title_;
  switch (system_) {
    case SystemItem::Done: return "Done";
    case SystemItem::Cancel: return "Cancel";
    case SystemItem::Edit: return "Edit";
    case SystemItem::Save: return "Save";
    case SystemItem::Add: return "+";
    case SystemItem::Trash: return "Delete";
    case SystemItem::Refresh: return "Reload";
    case SystemItem::Stop: return "Stop";
    default: return "";
  }
}

void BarButtonItem::setTitle(const std::string& t) {
  title_ = t;
  if (onChange) onChange();
}

void BarButtonItem::setEnabled(bool e) {
  enabled_ = e;
  if (onChange) onChange();
}

void BarButtonItem::trigger() {
  if (enabled_ && action_) {
    Action a = action_;
    a(*this);
  }
}

void NavigationItem::setTitle(const std::string& t) {
  title_ = t;
  changed();
}
void NavigationItem::setTitleView(ViewPtr v) {
  titleView_ = std::move(v);
  changed();
}
void NavigationItem::setLeftBarButtonItem(BarButtonItemPtr item) {
  left_ = std::move(item);
  changed();
}
void NavigationItem::setRightBarButtonItem(BarButtonItemPtr item) {
  right_ = std::move(item);
  changed();
}
void NavigationItem::setHidesBackButton(bool h) {
  hidesBack_ = h;
  changed();
}

void PopoverPresentationController::setSourceView(View* v) {
  sourceView_ = v ? v->weak_from_this() : std::weak_ptr<View>();
}

// ---------------------------------------------------------------- controller

ViewController::ViewController() { registry().insert(this); }

ViewController::~ViewController() {
  registry().erase(this);
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  for (auto& c : children_) c->parent_ = nullptr;
  if (presented_) presented_->presenting_ = nullptr;
}

const ViewPtr& ViewController::viewPtr() {
  if (!view_ && !loading_) {
    loading_ = true;
    loadView();
    if (!view_) setView(std::make_shared<View>(Screen::mainScreen().bounds()));
    loading_ = false;
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(ViewPtr v) {
  if (view_ && view_->controller_ == this) view_->controller_ = nullptr;
  view_ = std::move(v);
  if (view_) view_->controller_ = this;
}

void ViewController::loadView() {
  auto v = std::make_shared<View>(Screen::mainScreen().bounds());
  v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  setView(v);
}

void ViewController::viewWillAppear(bool) { appearance_ = AppearanceState::Appearing; }
void ViewController::viewDidAppear(bool) { appearance_ = AppearanceState::Appeared; }
void ViewController::viewWillDisappear(bool) { appearance_ = AppearanceState::Disappearing; }
void ViewController::viewDidDisappear(bool) { appearance_ = AppearanceState::Disappeared; }

void ViewController::setTitle(const std::string& t) {
  title_ = t;
  navigationItem_.setTitle(t);
}

NavigationController* ViewController::navigationController() const {
  for (ViewController* p = parent_; p; p = p->parent_)
    if (auto* nav = dynamic_cast<NavigationController*>(p)) return nav;
  return nullptr;
}

void ViewController::setEditing(bool editing, bool) {
  editing_ = editing;
  if (editItem_) editItem_->setTitle(editing ? "Done" : "Edit");
}

BarButtonItemPtr ViewController::editButtonItem() {
  if (!editItem_) {
    std::weak_ptr<ViewController> weak = weak_from_this();
    editItem_ = BarButtonItem::titled(editing_ ? "Done" : "Edit", BarButtonItem::Style::Plain, [weak](BarButtonItem&) {
      if (auto self = weak.lock()) self->setEditing(!self->isEditing(), true);
    });
  }
  return editItem_;
}

void ViewController::addChildViewController(std::shared_ptr<ViewController> child) {
  if (!child || child.get() == this) return;
  if (child->parent_ == this) return;
  if (child->parent_) child->removeFromParentViewController();
  child->willMoveToParentViewController(this);
  children_.push_back(child);
  child->parent_ = this;
}

void ViewController::removeFromParentViewController() {
  ViewController* p = parent_;
  if (!p) return;
  auto self = shared_from_this();
  auto& kids = p->children_;
  kids.erase(std::remove(kids.begin(), kids.end(), self), kids.end());
  parent_ = nullptr;
  didMoveToParentViewController(nullptr);
}

Responder* ViewController::nextResponder() const {
  if (view_ && view_->superview()) return view_->superview();
  if (presenting_) return presenting_;
  return parent_;
}

// ---------------------------------------------------------------- appearance

bool ViewController::onScreen() const {
  if (!view_) return false;
  Window* w = view_->window();
  return w && w->isVisible();
}

void ViewController::forwardToChildren(bool isAppearing, bool animated, bool begin) {
  if (!shouldAutomaticallyForwardAppearanceMethods()) return;
  const auto kids = children_;
  for (auto& c : kids) {
    if (!c->isViewLoaded() || !view_ || !c->view()->isDescendantOfView(view_.get())) continue;
    if (begin)
      c->beginAppearanceTransition(isAppearing, animated);
    else
      c->endAppearanceTransition();
  }
}

void ViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
  if (isAppearing) {
    if (appearance_ == AppearanceState::Appeared || appearance_ == AppearanceState::Appearing) return;
    appearance_ = AppearanceState::Appearing;
    viewWillAppear(animated);
    appearance_ = AppearanceState::Appearing;
  } else {
    if (appearance_ == AppearanceState::Disappeared || appearance_ == AppearanceState::Disappearing) return;
    appearance_ = AppearanceState::Disappearing;
    viewWillDisappear(animated);
    appearance_ = AppearanceState::Disappearing;
  }
  forwardToChildren(isAppearing, animated, true);
}

void ViewController::endAppearanceTransition() {
  if (appearance_ == AppearanceState::Appearing) {
    appearance_ = AppearanceState::Appeared;
    viewDidAppear(false);
    appearance_ = AppearanceState::Appeared;
    forwardToChildren(true, false, false);
  } else if (appearance_ == AppearanceState::Disappearing) {
    appearance_ = AppearanceState::Disappeared;
    viewDidDisappear(false);
    appearance_ = AppearanceState::Disappeared;
    forwardToChildren(false, false, false);
  }
}

void ViewController::refreshAppearance() {
  if (refreshing) {
    refreshAgain = true;
    return;
  }
  refreshing = true;
  for (int round = 0; round < 16; ++round) {
    refreshAgain = false;
    std::vector<std::shared_ptr<ViewController>> appear, disappear;
    for (ViewController* vc : registry()) {
      auto keep = vc->weak_from_this().lock();
      if (!keep) continue;
      const bool on = vc->onScreen();
      if (on && vc->appearance_ == AppearanceState::Disappeared) appear.push_back(keep);
      if (!on && vc->appearance_ == AppearanceState::Appeared) disappear.push_back(keep);
    }
    const auto byDepth = [](const ViewControllerPtr& a, const ViewControllerPtr& b) { return depthOf(a.get()) < depthOf(b.get()); };
    std::sort(appear.begin(), appear.end(), byDepth);
    std::sort(disappear.begin(), disappear.end(), byDepth);
    // Children follow their parents inside begin/end; only the outermost
    // controllers of each change start it.
    for (auto& vc : disappear)
      if (vc->appearance_ == AppearanceState::Appeared) vc->beginAppearanceTransition(false, false);
    for (auto& vc : appear)
      if (vc->appearance_ == AppearanceState::Disappeared) vc->beginAppearanceTransition(true, false);
    for (auto& vc : disappear) vc->endAppearanceTransition();
    for (auto& vc : appear) vc->endAppearanceTransition();
    if (!refreshAgain) break;
  }
  refreshing = false;
}

namespace detail {
void viewTreeChanged() { ViewController::refreshAppearance(); }
}  // namespace detail

// ---------------------------------------------------------------- presentation

PopoverPresentationController* ViewController::popoverPresentationController() {
  if (style_ != ModalPresentationStyle::Popover) return popover_.get();
  if (!popover_) {
    popover_ = std::make_unique<PopoverPresentationController>();
    popover_->presented_ = this;
  }
  return popover_.get();
}

ViewController* ViewController::presentationContext() {
  ViewController* vc = this;
  while (vc->parent_) vc = vc->parent_;
  return vc;
}

void ViewController::presentViewController(std::shared_ptr<ViewController> vc, bool animated,
                                           std::function<void()> completion) {
  if (!vc || vc.get() == this) return;
  ViewController* presenter = presentationContext();
  if (presenter->presented_ || vc->presenting_) {
    std::fprintf(stderr, "Warning: attempt to present a view controller while one is already presented\n");
    return;
  }
  Window* window = presenter->isViewLoaded() ? presenter->view()->window() : nullptr;
  if (!window) {
    std::fprintf(stderr, "Warning: attempt to present on a view controller whose view is not in a window\n");
    return;
  }
  presenter->presented_ = vc;
  vc->presenting_ = presenter;

  bool popover = vc->style_ == ModalPresentationStyle::Popover;
  if (popover && window->bounds().size.width < kCompactWidth) {
    PopoverPresentationController* pop = vc->popoverPresentationController();
    const ModalPresentationStyle adapted =
        pop->delegate() ? pop->delegate()->adaptivePresentationStyle(*pop) : ModalPresentationStyle::FullScreen;
    popover = adapted == ModalPresentationStyle::None || adapted == ModalPresentationStyle::Popover;
  }
  vc->presentedAsPopover_ = popover;
  ViewPtr content = vc->viewPtr();

  if (popover) {
    PopoverPresentationController* pop = vc->popoverPresentationController();
    const Rect wb = window->bounds();
    Rect source = pop->sourceRect();
    if (View* sv = pop->sourceView()) source = sv->convertRectTo(source, nullptr);
    Size size = vc->preferredContentSize();
    if (size.width <= 0 || size.height <= 0) size = {320, 480};
    size.width = std::min(size.width, wb.size.width - 2 * kPopoverMargin);
    double top = source.maxY();
    double height = std::min(size.height + kArrowHeight, wb.size.height - kPopoverMargin - top);
    if (height < kArrowHeight + 44) height = std::min(size.height + kArrowHeight, wb.size.height - 2 * kPopoverMargin);
    const double x = std::clamp(source.midX() - size.width / 2, kPopoverMargin, wb.size.width - kPopoverMargin - size.width);
    const Rect frame{x, top, size.width, height};
    pop->frame_ = Rect(frame.origin.x, frame.origin.y + kArrowHeight, frame.size.width, frame.size.height - kArrowHeight);

    auto dim = std::make_shared<PopoverDimmingView>(wb, vc.get());
    dim->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
    const double arrowX = std::clamp(source.midX() - x, kPopoverCorner + kArrowHeight, size.width - kPopoverCorner - kArrowHeight);
    auto panel = std::make_shared<PopoverFrameView>(frame, arrowX);
    content->setAutoresizingMask(Autoresizing::None);
    content->setFrame({0, kArrowHeight, frame.size.width, frame.size.height - kArrowHeight});
    content->layer().setCornerRadius(kPopoverCorner);
    content->setClipsToBounds(true);
    vc->beginAppearanceTransition(true, animated);
    panel->addSubview(content);
    dim->addSubview(panel);
    window->addSubview(dim);
    vc->presentationContainer_ = dim;
    if (animated) {
      dim->setAlpha(0.0);
      View::animate(kTransitionDuration, [&] { dim->setAlpha(1.0); });
    }
  } else {
    content->setFrame(window->bounds());
    content->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
    // The covered view: the presenter's own view where it stands in the window.
    ViewPtr covered = presenter->viewPtr();
    if (presenter->presentationContainer_) covered = presenter->presentationContainer_;
    vc->beginAppearanceTransition(true, animated);
    presenter->beginAppearanceTransition(false, animated);
    window->addSubview(content);
    vc->presentationContainer_ = content;
    vc->coveredView_ = covered;
    vc->coveredSuperview_ = covered->superview();
    if (vc->coveredSuperview_) {
      const auto& subs = vc->coveredSuperview_->subviews();
      vc->coveredIndex_ = static_cast<size_t>(std::find(subs.begin(), subs.end(), covered) - subs.begin());
    }
    if (animated) {
      const Rect end = content->frame();
      content->setFrame(end.offsetBy(0, end.size.height));
      View::animate(kTransitionDuration, [&] { content->setFrame(end); });
    }
  }

  std::weak_ptr<ViewController> weakVc = vc;
  std::weak_ptr<ViewController> weakPresenter = presenter->weak_from_this();
  const bool full = !popover;
  RunLoop::main().performAfter(animated ? kTransitionDuration : 0.0, [weakVc, weakPresenter, full, completion] {
    auto p = weakVc.lock();
    if (!p) return;
    if (full) {
      if (p->coveredView_) p->coveredView_->removeFromSuperview();
      if (auto presenter = weakPresenter.lock()) presenter->endAppearanceTransition();
    }
    p->endAppearanceTransition();
    if (completion) completion();
  });
}

ViewController* ViewController::presentedViewController() const {
  const ViewController* vc = this;
  while (vc->parent_) vc = vc->parent_;
  return vc->presented_.get();
}

ViewController* ViewController::presentingViewController() const {
  const ViewController* vc = this;
  while (vc->parent_) vc = vc->parent_;
  return vc->presenting_;
}

void ViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
  ViewController* ctx = presentationContext();
  if (ctx->presented_) {
    ctx->presented_->finishDismissal(animated, std::move(completion), false);
    return;
  }
  if (ctx->presenting_) ctx->finishDismissal(animated, std::move(completion), false);
}

void ViewController::finishDismissal(bool animated, std::function<void()> completion, bool) {
  ViewController* presenter = presenting_;
  if (!presenter) return;
  // Whatever this controller presents goes first.
  if (presented_) presented_->finishDismissal(false, nullptr, false);
  auto self = shared_from_this();
  auto presenterKeep = presenter->shared_from_this();
  beginAppearanceTransition(false, animated);
  if (!presentedAsPopover_ && coveredView_ && coveredSuperview_) {
    presenter->beginAppearanceTransition(true, animated);
    const size_t index = std::min(coveredIndex_, coveredSuperview_->subviews().size());
    coveredSuperview_->insertSubview(coveredView_, index);
  }
  presenter->presented_.reset();
  presenting_ = nullptr;
  ViewPtr container = std::move(presentationContainer_);
  coveredView_.reset();
  coveredSuperview_ = nullptr;
  const bool wasPopover = presentedAsPopover_;
  const auto finish = [self, presenterKeep, container, wasPopover, completion](bool) {
    if (container) container->removeFromSuperview();
    if (!wasPopover && self->isViewLoaded()) self->view()->removeFromSuperview();
    self->endAppearanceTransition();
    if (!wasPopover) presenterKeep->endAppearanceTransition();
    if (completion) completion();
  };
  if (animated && container) {
    View::animate(kTransitionDuration, [&] { container->setAlpha(0.0); }, [finish, container](bool f) {
      container->setAlpha(1.0);
      finish(f);
    });
  } else {
    RunLoop::main().perform([finish] { finish(true); });
  }
}

}  // namespace platform
