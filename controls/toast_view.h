#pragma once
// The busy toast: a dark rounded 128-point square with a large spinner and
// one line of white bold text under it, laid over a screen while a long
// operation runs. It pops in (from double size, fading in over 0.2 s),
// stays until stopAnimating, then after 0.6 s grows to three times its
// size while fading out over 0.6 s and removes itself from its superview.
// An interrupted fade-out leaves it where it is.
//
// Screens make it over their view's bounds, centre it, let it follow the
// view's size, call startAnimating with the text and add it; when the work
// ends they call stopAnimating. A toast is used once.
//
// Main thread only.

#include <memory>
#include <string>

#include "platform/ui/label.h"
#include "platform/ui/view.h"
#include "platform/ui/widgets.h"

class ToastView : public platform::View {
 public:
  explicit ToastView(const platform::Rect& frame);

  platform::ActivityIndicatorView& indicator() { return *indicator_; }
  platform::Label& messageLabel() { return *label_; }

  void startAnimating(const std::string& text);
  void stopAnimating();

  void drawRect(const platform::Rect& rect) override;
  // The rounded square, centred in the view.
  void drawBackground(const platform::Rect& rect);

 private:
  std::shared_ptr<platform::ActivityIndicatorView> indicator_;
  std::shared_ptr<platform::Label> label_;
};
