#pragma once
// The SDK's buttons.
//
// SCGradientButton: a button filled with a vertical gradient of its colours
// (top to bottom, evenly spaced stops), inside a 4-point rounded, 1-point
// bordered shape; one colour fills it plainly, none leaves only its
// background. It may also carry a tiled background pattern, a title shadow
// and title insets (the title is centred in the bounds shrunk by them). It
// shows 60 % opacity while pressed and full opacity otherwise.
//
// SCUnderlinedButton: draws a 1-point line in its title colour along its
// bottom edge.
//
// Main thread only.

#include <optional>
#include <vector>

#include "platform/ui/button.h"

namespace scui {

class SCGradientButton : public platform::Button {
 public:
  explicit SCGradientButton(const platform::Rect& frame = {},
                            std::optional<std::vector<platform::Color>> colors = std::nullopt);

  const std::optional<std::vector<platform::Color>>& colors() const { return colors_; }
  // Same colours again: nothing happens.
  void setColors(std::optional<std::vector<platform::Color>> colors);
  // The gradient's stops (empty below two colours).
  const std::vector<float>& locations() const { return locations_; }

  void setBackgroundPattern(platform::ImagePtr image);
  const platform::ImagePtr& backgroundPattern() const { return pattern_; }
  void setTitleShadow(std::optional<platform::Color> color, platform::Size offset);
  void setTitleEdgeInsets(platform::EdgeInsets insets);
  platform::EdgeInsets titleEdgeInsets() const { return insets_; }
  // Where the title is drawn now.
  platform::Rect titleRect() const;

  void setSelected(bool s) override;
  void setHighlighted(bool h) override;
  void drawRect(const platform::Rect& rect) override;

  static constexpr double kPressedAlpha = 0.6;

 private:
  std::optional<std::vector<platform::Color>> colors_;
  std::vector<float> locations_;
  platform::ImagePtr pattern_;
  std::optional<platform::Color> shadowColor_;
  platform::Size shadowOffset_;
  platform::EdgeInsets insets_;
};

class SCUnderlinedButton : public platform::Button {
 public:
  explicit SCUnderlinedButton(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
};

// A rounded rectangle: start at (x, y + r), then one arc of radius r
// through each corner, clockwise from the top left, closed.
void SCAddRoundedRectToPath(platform::Path& path, const platform::AffineTransform* transform, const platform::Rect& rect,
                            double radius);
// The same shape added to the context's current path.
void SCAddRoundedRectToContext(platform::GraphicsContext& context, const platform::Rect& rect, double radius);

}  // namespace scui
