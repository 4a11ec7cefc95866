#pragma once
// A decorative frame for a panel of controls: its background image is
// painted only inside a rounded ring (radius 14) between the view's outline
// and an inner outline inset by 6 points left, right and bottom and by 24 at
// the top, so the inside stays transparent and a caption fits in the taller
// top band.
//
// Main thread only.

#include "platform/gfx/graphics_context.h"
#include "platform/gfx/image.h"
#include "platform/ui/view.h"

class TIFrameView : public platform::View {
 public:
  static constexpr double kCornerRadius = 14.0;
  static constexpr double kSideInset = 6.0;
  static constexpr double kTopInset = 24.0;

  explicit TIFrameView(const platform::Rect& frame = {});
  ~TIFrameView() override;

  const platform::ImagePtr& backgroundImage() const { return backgroundImage_; }
  // Plain property: the frame is repainted at its next display.
  void setBackgroundImage(platform::ImagePtr image) { backgroundImage_ = std::move(image); }

  // The inner outline for a rectangle; empty when the rectangle is too small
  // to leave an inside (narrower than 12 or lower than 30 points).
  static platform::Rect innerRect(const platform::Rect& r);
  // The ring the image is painted into (even-odd rule).
  static platform::Path ringPath(const platform::Rect& r);

  void drawRect(const platform::Rect& rect) override;

 private:
  platform::ImagePtr backgroundImage_;
};
