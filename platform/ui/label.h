#pragma once
// A label: one or more lines of text in a font and colour, aligned in its
// bounds and centred vertically. With adjustsFontSizeToFitWidth a single
// line shrinks (down to minimumScaleFactor of the font size, or a tenth when
// that is 0) until it fits the width; the baseline adjustment then keeps the
// shrunk text on the original baseline or centres it. Lines beyond
// numberOfLines (0: no limit) are cut, the last shown one ending by the line
// break mode. Redraws on every change and when its size changes. User
// interaction is off by default.
//
// Main thread only.

#include <string>

#include "platform/gfx/text.h"
#include "platform/ui/view.h"

namespace platform {

enum class BaselineAdjustment { AlignBaselines, AlignCenters, None };

class Label : public View {
 public:
  explicit Label(const Rect& frame = {});

  const std::string& text() const { return text_; }
  void setText(const std::string& t);
  const Font& font() const { return style_.font; }
  void setFont(const Font& f);
  Color textColor() const { return style_.color; }
  void setTextColor(const Color& c);
  TextAlignment textAlignment() const { return style_.alignment; }
  void setTextAlignment(TextAlignment a);
  int numberOfLines() const { return style_.numberOfLines; }
  void setNumberOfLines(int n);
  LineBreakMode lineBreakMode() const { return style_.lineBreak; }
  void setLineBreakMode(LineBreakMode m);
  bool adjustsFontSizeToFitWidth() const { return adjusts_; }
  void setAdjustsFontSizeToFitWidth(bool a);
  double minimumScaleFactor() const { return minimumScale_; }
  void setMinimumScaleFactor(double s);
  BaselineAdjustment baselineAdjustment() const { return baseline_; }
  void setBaselineAdjustment(BaselineAdjustment b);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool e);

  // The font size the text is drawn with now (smaller when shrunk to fit).
  double displayedFontSize() const;
  Size sizeThatFits(Size size) const override;
  void drawRect(const Rect& rect) override;

 private:
  std::string text_;
  TextStyle style_;
  bool adjusts_ = false;
  double minimumScale_ = 0.0;
  BaselineAdjustment baseline_ = BaselineAdjustment::AlignBaselines;
  bool enabled_ = true;
};

}  // namespace platform
