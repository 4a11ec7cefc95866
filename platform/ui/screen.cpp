#include "platform/ui/screen.h"

#include "platform/gfx/graphics_context.h"

namespace platform {

Screen& Screen::mainScreen() {
  static Screen screen = [] {
    Screen s;
    setDefaultImageScale(s.scale_);
    return s;
  }();
  return screen;
}

void Screen::configure(Size points, double scale) {
  size_ = points;
  scale_ = scale > 0 ? scale : 1.0;
  setDefaultImageScale(scale_);
}

}  // namespace platform
