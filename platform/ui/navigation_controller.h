#pragma once
// The navigation controller: a stack of view controllers, the top one shown
// under a 44-point navigation bar (which can be hidden). Pushing covers the
// top controller (it disappears, the pushed one appears); popping uncovers
// it. The bar shows the top controller's navigation item: its title (or
// title view) in the middle, its left and right bar button items, and a
// back button (titled with the controller below's title, or "Back") when
// there is a controller to go back to and no left item.
//
// Its preferred content size is the top controller's, plus the bar's
// height while the bar shows.
//
// Main thread only.

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

namespace platform {

class NavigationController;

class NavigationControllerDelegate {
 public:
  virtual ~NavigationControllerDelegate() = default;
  virtual void willShowViewController(NavigationController&, ViewController&, bool /*animated*/) {}
  virtual void didShowViewController(NavigationController&, ViewController&, bool /*animated*/) {}
};

// The bar itself: a title label and buttons for the items.
class NavigationBar : public View {
 public:
  explicit NavigationBar(const Rect& frame);
  void showItem(NavigationItem* item, const std::string& backTitle, std::function<void()> back);
  Label& titleLabel() { return *title_; }
  Button* leftButton() const { return left_.get(); }
  Button* rightButton() const { return right_.get(); }
  void layoutSubviews() override;
  void drawRect(const Rect& rect) override;

 private:
  std::shared_ptr<Button> makeButton(const std::string& title, bool bold, std::function<void()> action);
  std::shared_ptr<Label> title_;
  ViewPtr titleView_;
  std::shared_ptr<Button> left_;
  std::shared_ptr<Button> right_;
  ViewPtr leftCustom_;
  ViewPtr rightCustom_;
};

class NavigationController : public ViewController {
 public:
  static constexpr double kBarHeight = 44.0;

  explicit NavigationController(std::shared_ptr<ViewController> root);

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
  ViewController* topViewController() const { return stack_.empty() ? nullptr : stack_.back().get(); }
  ViewController* visibleViewController() const;

  void pushViewController(std::shared_ptr<ViewController> vc, bool animated);
  // Pops the top controller (never the root); returns it.
  std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);
  void popToRootViewControllerAnimated(bool animated);

  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated);
  NavigationBar& navigationBar();

  NavigationControllerDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(NavigationControllerDelegate* d) { delegate_ = d; }

  void loadView() override;
  void viewDidLayoutSubviews() override;
  Size preferredContentSize() const override;

 private:
  Rect contentFrame() const;
  void showTop();
  void transition(const std::shared_ptr<ViewController>& from, const std::shared_ptr<ViewController>& to, bool animated,
                  bool forward);

  std::vector<std::shared_ptr<ViewController>> stack_;
  std::shared_ptr<NavigationBar> bar_;
  bool barHidden_ = false;
  NavigationControllerDelegate* delegate_ = nullptr;
};

}  // namespace platform
