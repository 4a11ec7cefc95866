#pragma once
// The compositor: keeps the frame a window shows and brings it up to date.
//
// A back end calls update() at the end of a run-loop pass. When nothing was
// changed since the last update (no layer changed, no animation runs) it
// draws nothing. Otherwise it redraws the window into the kept frame and
// says which device-pixel rectangles it drew, so that a back end uploads
// only those.
//
// Main thread only.

#include <cstdint>
#include <vector>

#include "platform/gfx/image.h"
#include "platform/ui/window.h"

namespace platform {

// A rectangle of device pixels.
struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  int64_t area() const { return static_cast<int64_t>(width) * height; }
  bool operator==(const PixelRect&) const = default;
};

class Compositor {
 public:
  // `scale`: device pixels per point of the window.
  explicit Compositor(double scale) : scale_(scale) {}

  // Brings the frame up to date with `window` at time `t`; `all` redraws
  // everything (a newly exposed window). Returns the rectangles drawn, empty
  // when nothing needed drawing.
  const std::vector<PixelRect>& update(Window& window, double t, bool all = false);

  // While only animations move (no layer changed), frames at most this far
  // apart in clock time.
  void setAnimationFrameInterval(double seconds) { animationInterval_ = seconds; }

  // The frame as last drawn (null before the first update).
  const ImagePtr& frame() const { return frame_; }
  double scale() const { return scale_; }

  // Totals since construction: updates that drew, and pixels drawn.
  uint64_t framesDrawn() const { return frames_; }
  uint64_t pixelsDrawn() const { return pixels_; }

 private:
  double scale_;
  ImagePtr frame_;
  uint64_t lastChange_ = ~0ull;
  double animationInterval_ = 1.0 / 60.0;
  double lastDrawTime_ = -1e300;
  std::vector<PixelRect> drawn_;
  uint64_t frames_ = 0;
  uint64_t pixels_ = 0;
};

}  // namespace platform
