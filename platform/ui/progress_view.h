#pragma once
// The platform's progress view: a thin bar filled from the left by its
// progress (0 to 1, kept in range). The bar style draws on a bar's
// background, the default style on a view's.
//
// Main thread only.

#include "platform/ui/view.h"

namespace platform {

class ProgressView : public View {
 public:
  enum class Style { Default, Bar };
  explicit ProgressView(Style style = Style::Default);

  Style style() const { return style_; }
  float progress() const { return progress_; }
  void setProgress(float p, bool animated = false);
  Color progressTintColor() const { return tint_; }
  void setProgressTintColor(const Color& c);

  Size sizeThatFits(Size size) const override;
  void drawRect(const Rect& rect) override;

 private:
  Style style_;
  float progress_ = 0.0f;
  Color tint_ = Color::rgba(0.0, 122.0 / 255.0, 1.0);
};

}  // namespace platform
