#pragma once
// The screen: its bounds in points and its scale (pixels per point). The
// back end sets them before the interface is built (a headless screen of a
// chosen size, or the real window's size); until then it is a 736 x 414
// point screen at scale 2, the panel's own size.
//
// Main thread only.

#include "platform/gfx/geometry.h"

namespace platform {

class Screen {
 public:
  static Screen& mainScreen();

  Rect bounds() const { return {0, 0, size_.width, size_.height}; }
  double scale() const { return scale_; }
  // The area an application may use: the whole screen here (no status bar).
  Rect applicationFrame() const { return bounds(); }
  // Also the default scale of image contexts.
  void configure(Size points, double scale);

 private:
  Size size_{736, 414};
  double scale_ = 2.0;
};

}  // namespace platform
