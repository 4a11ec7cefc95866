#pragma once
// A track's waveform over a grey gradient, with the played part
// highlighted up to the locator (a fraction of the width); dragging sets
// the locator (0 at the left edge, no upper bound past the right) and sends
// the value-changed actions.
//
// Main thread only.

#include "platform/gfx/image.h"
#include "platform/ui/control.h"

namespace tssc {

class WaveView : public platform::Control {
 public:
  explicit WaveView(const platform::Rect& frame = {});

  const platform::ImagePtr& waveform() const { return waveform_; }
  void setWaveform(platform::ImagePtr image);
  float locator() const { return locator_; }
  void setLocator(float locator);
  // Kept for the owner; the drawing does not use it.
  bool visible() const { return visible_; }
  void setVisible(bool v) { visible_ = v; }

  void drawRect(const platform::Rect& rect) override;
  virtual void drawLocator(platform::GraphicsContext& context, const platform::Rect& rect);
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  platform::ImagePtr waveform_;
  float locator_ = 0;
  bool visible_ = false;
};

}  // namespace tssc
