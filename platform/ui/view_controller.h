#pragma once
// View controllers: a view loaded on demand, the appearance callbacks,
// child containment and presentation (full screen or popover).
//
// Appearance rules the interface relies on:
// - a controller whose root view comes into a visible window gets
//   viewWillAppear then viewDidAppear; when it leaves, viewWillDisappear then
//   viewDidDisappear; each only once per change (the calls track a state:
//   disappeared, appearing, appeared, disappearing), children with them;
// - a controller presented full screen covers its presenter: the presenter's
//   view leaves the window and the presenter disappears (and appears again
//   when the presented one is dismissed); one pushed on a navigation
//   controller does the same to the one under it;
// - a controller presented as a popover leaves its presenter on screen, with
//   no appearance callbacks for it.
// A controller presents at most one controller at a time: presenting while
// one is presented does nothing (and calls no completion).
//
// Popovers hang under their source rectangle with the arrow up, sized by
// the presented controller's preferred content size (320 x 480 when it has
// none), kept inside the window. A touch outside the popover dismisses it,
// unless the delegate says no; the delegate then hears of the dismissal.
// On a compact screen (narrower than 736 points) a popover becomes full
// screen unless the delegate's adaptive style says None.
//
// Main thread only. Controllers are held by std::shared_ptr.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/view.h"

namespace platform {

class NavigationController;
class ViewController;
class PopoverPresentationController;

class BarButtonItem {
 public:
  enum class SystemItem { None, Done, Cancel, Edit, Save, Add, Action, Trash, Refresh, Stop, FlexibleSpace };
  enum class Style { Plain, Done };
  using Action = std::function<void(BarButtonItem& item)>;

  static std::shared_ptr<BarButtonItem> system(SystemItem item, Action action);
  static std::shared_ptr<BarButtonItem> titled(const std::string& title, Style style, Action action);
  static std::shared_ptr<BarButtonItem> custom(ViewPtr view);

  SystemItem systemItem() const { return system_; }
  // The system item's title ("Done", "Cancel", "Edit", ...) or the given one.
  std::string title() const;
  void setTitle(const std::string& t);
  Style style() const { return style_; }
  void setStyle(Style s) { style_ = s; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool e);
  const ViewPtr& customView() const { return custom_; }
  int64_t tag() const { return tag_; }
  void setTag(int64_t t) { tag_ = t; }
  void setAction(Action a) { action_ = std::move(a); }
  // What a tap on it does.
  void trigger();

  std::function<void()> onChange;  // the bar redraws

 private:
  SystemItem system_ = SystemItem::None;
  std::string title_;
  Style style_ = Style::Plain;
  bool enabled_ = true;
  ViewPtr custom_;
  int64_t tag_ = 0;
  Action action_;
};
using BarButtonItemPtr = std::shared_ptr<BarButtonItem>;

class NavigationItem {
 public:
  const std::string& title() const { return title_; }
  void setTitle(const std::string& t);
  const ViewPtr& titleView() const { return titleView_; }
  void setTitleView(ViewPtr v);
  const BarButtonItemPtr& leftBarButtonItem() const { return left_; }
  void setLeftBarButtonItem(BarButtonItemPtr item);
  const BarButtonItemPtr& rightBarButtonItem() const { return right_; }
  void setRightBarButtonItem(BarButtonItemPtr item);
  bool hidesBackButton() const { return hidesBack_; }
  void setHidesBackButton(bool h);

  std::function<void()> onChange;  // the bar redraws

 private:
  void changed() {
    if (onChange) onChange();
  }
  std::string title_;
  ViewPtr titleView_;
  BarButtonItemPtr left_;
  BarButtonItemPtr right_;
  bool hidesBack_ = false;
};

enum class ModalPresentationStyle { FullScreen, Popover, None };

namespace PopoverArrowDirection {
enum : unsigned { Up = 1, Down = 2, Left = 4, Right = 8, Any = 15 };
}

class PopoverPresentationControllerDelegate {
 public:
  virtual ~PopoverPresentationControllerDelegate() = default;
  // Asked when a popover would be shown on a compact screen.
  virtual ModalPresentationStyle adaptivePresentationStyle(PopoverPresentationController&) {
    return ModalPresentationStyle::FullScreen;
  }
  virtual bool popoverPresentationControllerShouldDismissPopover(PopoverPresentationController&) { return true; }
  // After a dismissal by a touch outside the popover.
  virtual void popoverPresentationControllerDidDismissPopover(PopoverPresentationController&) {}
};

class PopoverPresentationController {
 public:
  PopoverPresentationControllerDelegate* delegate() const { return delegate_; }
  // Not owned; must outlive the presentation or be reset.
  void setDelegate(PopoverPresentationControllerDelegate* d) { delegate_ = d; }
  unsigned permittedArrowDirections() const { return arrows_; }
  void setPermittedArrowDirections(unsigned a) { arrows_ = a; }
  View* sourceView() const { return sourceView_.lock().get(); }
  void setSourceView(View* v);
  Rect sourceRect() const { return sourceRect_; }
  void setSourceRect(const Rect& r) { sourceRect_ = r; }
  ViewController* presentedViewController() const { return presented_; }
  // Where the popover stands in the window once shown.
  Rect popoverFrame() const { return frame_; }

 private:
  friend class ViewController;
  PopoverPresentationControllerDelegate* delegate_ = nullptr;
  unsigned arrows_ = PopoverArrowDirection::Any;
  std::weak_ptr<View> sourceView_;
  Rect sourceRect_;
  ViewController* presented_ = nullptr;
  Rect frame_;
};

class ViewController : public Responder, public std::enable_shared_from_this<ViewController> {
 public:
  enum class AppearanceState { Disappeared, Appearing, Appeared, Disappearing };

  ViewController();
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // ---- view
  View* view() { return viewPtr().get(); }
  const ViewPtr& viewPtr();
  void setView(ViewPtr v);
  bool isViewLoaded() const { return static_cast<bool>(view_); }
  // Default: a plain view the size of the screen, resizing with its superview.
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated);
  virtual void viewDidAppear(bool animated);
  virtual void viewWillDisappear(bool animated);
  virtual void viewDidDisappear(bool animated);
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}
  virtual Size preferredContentSize() const { return preferredContentSize_; }
  void setPreferredContentSize(Size s) { preferredContentSize_ = s; }
  // Landscape only is 24 (left 16 | right 8).
  virtual unsigned supportedInterfaceOrientations() const { return 26; }

  const std::string& title() const { return title_; }
  void setTitle(const std::string& t);
  NavigationItem& navigationItem() { return navigationItem_; }
  NavigationController* navigationController() const;

  bool isEditing() const { return editing_; }
  virtual void setEditing(bool editing, bool animated);
  // An Edit/Done item that toggles editing.
  BarButtonItemPtr editButtonItem();

  // ---- containment
  ViewController* parentViewController() const { return parent_; }
  const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const { return children_; }
  // Calls the child's willMoveToParentViewController(this); the caller adds
  // its view and then calls its didMoveToParentViewController(this).
  void addChildViewController(std::shared_ptr<ViewController> child);
  // Calls didMoveToParentViewController(nullptr); the caller has called
  // willMoveToParentViewController(nullptr) and removes the view.
  void removeFromParentViewController();
  virtual void willMoveToParentViewController(ViewController* /*parent*/) {}
  virtual void didMoveToParentViewController(ViewController* /*parent*/) {}

  // ---- presentation
  ModalPresentationStyle modalPresentationStyle() const { return style_; }
  void setModalPresentationStyle(ModalPresentationStyle s) { style_ = s; }
  // Exists for the popover style (the presenter configures it before presenting).
  PopoverPresentationController* popoverPresentationController();
  void presentViewController(std::shared_ptr<ViewController> vc, bool animated, std::function<void()> completion);
  // On a presenter: dismisses what it presents; on a presented controller:
  // asks its presenter.
  void dismissViewControllerAnimated(bool animated, std::function<void()> completion);
  // Through the presentation context: a child controller answers for the
  // container that presents on its behalf.
  ViewController* presentedViewController() const;
  ViewController* presentingViewController() const;

  // ---- appearance
  AppearanceState appearanceState() const { return appearance_; }
  void beginAppearanceTransition(bool isAppearing, bool animated);
  void endAppearanceTransition();
  virtual bool shouldAutomaticallyForwardAppearanceMethods() const { return true; }

  Responder* nextResponder() const override;

  // Recomputes which controllers are on screen and sends the callbacks.
  static void refreshAppearance();

  static constexpr double kCompactWidth = 736.0;
  static constexpr double kTransitionDuration = 0.3;

 protected:
  // Containers lay their children out; the navigation controller uses it.
  void setParent(ViewController* p) { parent_ = p; }

 private:
  friend class NavigationController;
  bool onScreen() const;
  void forwardToChildren(bool isAppearing, bool animated, bool begin);
  ViewController* presentationContext();
  void finishDismissal(bool animated, std::function<void()> completion, bool byTouch);

  ViewPtr view_;
  bool loading_ = false;
  std::string title_;
  NavigationItem navigationItem_;
  Size preferredContentSize_;
  bool editing_ = false;
  BarButtonItemPtr editItem_;
  AppearanceState appearance_ = AppearanceState::Disappeared;

  ViewController* parent_ = nullptr;
  std::vector<std::shared_ptr<ViewController>> children_;

  ModalPresentationStyle style_ = ModalPresentationStyle::FullScreen;
  std::unique_ptr<PopoverPresentationController> popover_;
  std::shared_ptr<ViewController> presented_;
  ViewController* presenting_ = nullptr;
  // What a presentation changed in the window, to put back on dismissal.
  ViewPtr presentationContainer_;  // the popover's container, or the presented view
  ViewPtr coveredView_;            // the presenter's view taken out (full screen)
  View* coveredSuperview_ = nullptr;
  size_t coveredIndex_ = 0;
  bool presentedAsPopover_ = false;
};

using ViewControllerPtr = std::shared_ptr<ViewController>;

}  // namespace platform
