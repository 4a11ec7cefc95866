#pragma once
// The alert view: a modal panel with a title, a message and buttons over a
// dimmed window. The cancel button (when given) has index 0, the other
// buttons follow in order. A tap on a button tells the delegate
// clickedButtonAtIndex, then willDismiss, then (after the alert is gone)
// didDismissWithButtonIndex. While an alert shows, nothing under it takes
// touches. Alerts shown while one is up wait their turn.
//
// A shown alert keeps itself alive until dismissed. Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/label.h"

namespace platform {

class AlertView;

class AlertViewDelegate {
 public:
  virtual ~AlertViewDelegate() = default;
  virtual void clickedButtonAtIndex(AlertView&, int /*index*/) {}
  virtual void willDismissWithButtonIndex(AlertView&, int /*index*/) {}
  virtual void didDismissWithButtonIndex(AlertView&, int /*index*/) {}
};

class AlertView : public View {
 public:
  AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
            std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles);

  const std::string& title() const { return title_; }
  const std::string& message() const { return message_; }
  AlertViewDelegate* delegate() const { return delegate_; }
  // Not owned; must outlive the alert or be reset.
  void setDelegate(AlertViewDelegate* d) { delegate_ = d; }
  int addButtonWithTitle(const std::string& title);
  std::string buttonTitleAtIndex(int index) const;
  int numberOfButtons() const { return static_cast<int>(buttons_.size()); }
  int cancelButtonIndex() const { return cancelIndex_; }
  void setCancelButtonIndex(int i) { cancelIndex_ = i; }
  int firstOtherButtonIndex() const;

  void show();
  void dismissWithClickedButtonIndex(int index, bool animated);
  bool isVisible() const { return visible_; }

  // The alert on screen now, if any.
  static AlertView* visibleAlert();
  // Alerts shown or waiting.
  static size_t pendingAlertCount();

  void touchesBegan(const TouchSet&, const Event*) override {}
  void touchesMoved(const TouchSet&, const Event*) override {}
  void touchesEnded(const TouchSet&, const Event*) override {}
  void touchesCancelled(const TouchSet&, const Event*) override {}
  void layoutSubviews() override;

 private:
  void present();
  void buildPanel();

  std::string title_;
  std::string message_;
  AlertViewDelegate* delegate_;
  std::vector<std::string> buttons_;
  int cancelIndex_ = -1;
  bool visible_ = false;
  bool queued_ = false;
  ViewPtr panel_;
};

}  // namespace platform
