#pragma once
// What every tutorial screen shares: the dimming colour, the spring
// animation the scenes move their messages and panels with, and the frosted
// backing of the knob-gesture panel.
//
// Main thread only.

#include <functional>

#include "platform/gfx/color.h"
#include "platform/ui/view.h"

namespace tutorial_style {

// Black at the single-precision alpha 0.6.
platform::Color darkBackgroundColor();

// The scenes' spring: the changes the block makes swing in over `duration`
// after `delay` (a damping ratio below 1 overshoots; the initial velocity
// is in distances per second). The completion comes as View::animate's does.
void springAnimate(double duration, double delay, double dampingRatio, double initialVelocity, unsigned options,
                   const std::function<void()>& animations, std::function<void(bool finished)> completion = nullptr);

// Truncation towards zero as a 32-bit integer, as the scenes' layouts round.
inline double truncInt(double v) { return static_cast<double>(static_cast<int32_t>(v)); }

}  // namespace tutorial_style

// A light, frosted backing for a panel: what lies beneath shows through a
// milky white veil. (The interface layer cannot read back what lies under a
// view, so the veil does not blur it.) It takes no touches.
class GBXTutorialFrostView : public platform::View {
 public:
  explicit GBXTutorialFrostView(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
};
