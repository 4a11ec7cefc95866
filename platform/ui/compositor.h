#pragma once
// The compositor: keeps the frame a window shows and brings it up to date.
//
// A back end calls update() at the end of a run-loop pass. When nothing was
// changed since the last update (no layer changed, no animation runs) it
// draws nothing. Otherwise it walks the layer tree and compares each layer
// with what it drew last time: its own change stamp, where it lands on the
// device (its transform, clip and inherited opacity), whether it animates.
// A layer that differs damages the device rectangles it covered and now
// covers; a layer that went (removed, hidden, transparent) damages what it
// covered; a shadowed tree damages itself and its shadow as a whole when
// anything in it differs. Only the damaged rectangles are redrawn, clipped
// to them, and reported, so that a back end uploads only those. The frame
// is then the same, byte for byte, as a full redraw, except where an image
// drawn rotated or scaled by a fraction is redrawn only in part: there the
// sampler steps from the edge of the redrawn area and a pixel may differ
// by one level. Drawing skips whole trees that reach none of the damaged
// rectangles. A frame where only animations moved walks the animated
// trees alone.
//
// Main thread only.

#include <cairo.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/gfx/image.h"
#include "platform/ui/layer.h"
#include "platform/ui/window.h"

namespace platform {

// A rectangle of device pixels.
struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  int64_t area() const { return static_cast<int64_t>(width) * height; }
  bool operator==(const PixelRect&) const = default;
};

class Compositor : private Layer::RenderCull {
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

  // The rectangles the last update drew (empty when it drew nothing).
  const std::vector<PixelRect>& lastDrawn() const { return drawn_; }

  // Totals since construction: updates that drew, and pixels drawn.
  uint64_t framesDrawn() const { return frames_; }
  uint64_t pixelsDrawn() const { return pixels_; }

 private:
  struct Record {
    Rect covered;  // device pixels
    Rect extent;   // the whole tree's, shadow included
    uint64_t stamp = 0;
    cairo_matrix_t ctm{};
    double opacity = 1.0;
    Rect clip;
    uint64_t pass = 0;
  };
  struct Walked {
    bool changed = false;
    Rect extent;
  };
  Walked walk(const Layer& layer, const cairo_matrix_t& parent, double opacity, const Rect& clip, double t);
  // A frame where only animations moved: walks the animated trees alone,
  // from where the last full walk found them. False when it cannot (an
  // animation under a shadowed tree, which must redraw as a whole).
  bool walkAnimated(double t);
  void damage(const Rect& r);
  // While the damaged rectangles are drawn: a tree that, where it was
  // walked, reaches none of them.
  bool skips(const Layer& layer) const override;
  // The damaged rectangles in whole pixels inside the frame, overlapping
  // ones merged.
  std::vector<PixelRect> damagedPixels() const;

  double scale_;
  ImagePtr frame_;
  std::unordered_map<uint64_t, Record> records_;
  uint64_t pass_ = 0;
  double lastWalkTime_ = -1e300;
  std::vector<Rect> damage_;
  uint64_t lastChange_ = ~0ull;
  double animationInterval_ = 1.0 / 60.0;
  double lastDrawTime_ = -1e300;
  std::vector<PixelRect> drawn_;
  std::vector<Rect> drawing_;  // the rectangles being drawn, as boxes
  // The animated layers the last full walk met, with what their
  // superlayer passed down. Valid while no layer changed: any change of
  // the tree, of a layer or of its animations moves the change count.
  struct Animated {
    const Layer* layer;
    cairo_matrix_t parent;
    double opacity;
    Rect clip;
  };
  std::vector<Animated> animated_;
  bool collecting_ = false;
  uint64_t frames_ = 0;
  uint64_t pixels_ = 0;
};

}  // namespace platform
