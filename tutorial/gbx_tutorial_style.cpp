#include "tutorial/gbx_tutorial_style.h"

namespace tutorial_style {

platform::Color darkBackgroundColor() { return platform::Color::white(0.0, static_cast<double>(0.6f)); }

void springAnimate(double duration, double delay, double dampingRatio, double initialVelocity, unsigned options,
                   const std::function<void()>& animations, std::function<void(bool)> completion) {
  platform::View::animateWithSpring(duration, delay, dampingRatio, initialVelocity, options, animations,
                                    std::move(completion));
}

}  // namespace tutorial_style

GBXTutorialFrostView::GBXTutorialFrostView(const platform::Rect& frame) : View(frame) {
  setDrawsContent(true);
  setUserInteractionEnabled(false);
}

void GBXTutorialFrostView::drawRect(const platform::Rect& dirty) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c) return;
  c->clearRect(dirty);
  const platform::Rect b = bounds();
  // A milky veil, a touch brighter towards the top, as frosted glass lit
  // from above looks.
  c->setFillColor(platform::Color::white(0.97, 0.86));
  c->fillRect(b);
  c->setFillColor(platform::Color::white(1.0, 0.35));
  c->fillRect({b.minX(), b.minY(), b.width(), b.height() * 0.4});
}
