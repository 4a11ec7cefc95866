#pragma once
// The three small views of the tutorial's overlay.
//
// GBXTutorialPassthroughView: takes a touch only when one of its direct
// subviews (shown, alpha above 0, interaction on) claims the point; every
// other touch falls through to the front panel beneath. It is the root view
// of the tutorial controller and of every spotlight scene.
//
// GBXTutorialSpotView: dims its whole area with the tutorial's dark colour
// except for fully transparent holes, rounded by 5 points, over the
// rectangles added to it (in the order added; none is ever removed). It
// takes no touches.
//
// GBXTutorialProgressView: a thin bar that fills from left to right as its
// value goes from 0 to 1. It takes no touches.
//
// Main thread only.

#include <vector>

#include "platform/ui/view.h"

class GBXTutorialPassthroughView : public platform::View {
 public:
  explicit GBXTutorialPassthroughView(const platform::Rect& frame = {});
  bool pointInside(platform::Point point, const platform::Event* event) const override;
};

class GBXTutorialSpotView : public platform::View {
 public:
  static constexpr double kCornerRadius = 5.0;

  explicit GBXTutorialSpotView(const platform::Rect& frame = {});

  // Appends a spot and redraws.
  void addRect(const platform::Rect& rect);
  const std::vector<platform::Rect>& rects() const { return rects_; }
  void setRects(std::vector<platform::Rect> rects);

  void drawRect(const platform::Rect& rect) override;
  // The two drawing steps: the dimming, then one hole.
  void fill(platform::GraphicsContext& context);
  void clear(platform::GraphicsContext& context, const platform::Rect& rect);

 private:
  std::vector<platform::Rect> rects_;
};

class GBXTutorialProgressView : public platform::View {
 public:
  explicit GBXTutorialProgressView(const platform::Rect& frame = {});

  float value() const { return value_; }
  // Clamped to 0..1 (anything not at least 0, NaN included, gives 0);
  // redraws only when the stored value changes.
  void setValue(float value);

  void drawRect(const platform::Rect& rect) override;
  // How many times the value changed and asked for a redraw.
  int redrawRequests() const { return redrawRequests_; }

 private:
  float value_ = 0.0f;
  int redrawRequests_ = 0;
};
