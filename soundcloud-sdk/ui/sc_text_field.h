#pragma once
// The SDK's form field: a text field inset 10 x 12 from its edges, with an
// optional separator line along its bottom and optional rounded ends (the
// top corners for the first field of a box, the bottom corners for the
// last), its placeholder in the list subtitle grey.
//
// Main thread only.

#include <cstdint>
#include <string>

#include "platform/ui/text_field.h"

namespace scui {

class SCTextField : public platform::TextField {
 public:
  enum CornerStyle : int32_t { Square = 0, RoundedTop = 1, RoundedBottom = 2 };

  explicit SCTextField(const platform::Rect& frame = {});

  bool needsSeparatorLine() const { return separator_; }
  void setNeedsSeparatorLine(bool n);
  int32_t cornerStyle() const { return corner_; }
  void setCornerStyle(int32_t style);

  // Secure entry shows one bullet per character (the platform field has no
  // such mode of its own).
  bool isSecureTextEntry() const { return secure_; }
  void setSecureTextEntry(bool s);
  // What the field shows for its text.
  std::string displayedText() const;

  platform::Rect textRectForBounds(const platform::Rect& bounds) const;
  platform::Rect editingRectForBounds(const platform::Rect& bounds) const;
  // The clear button's place: the standard square at the right end, 5
  // points further left.
  platform::Rect clearButtonRectForBounds(const platform::Rect& bounds) const;

  // The background becomes the bundle's tiled "input" image.
  void addInnerShadow();
  const platform::ImagePtr& backgroundPattern() const { return pattern_; }
  // The shape the layer is masked to (rebuilt at each draw); empty for
  // square corners.
  const platform::Path& cornerMask() const { return mask_; }

  void drawRect(const platform::Rect& rect) override;

 private:
  void drawPattern(platform::GraphicsContext& c);

  bool separator_ = false;
  bool secure_ = false;
  int32_t corner_ = Square;
  platform::ImagePtr pattern_;
  platform::Path mask_;
};

// A path of a rectangle whose chosen corners are rounded with `radius`.
platform::Path scRoundedCornersPath(const platform::Rect& r, double radius, bool topLeft, bool topRight,
                                    bool bottomRight, bool bottomLeft);

}  // namespace scui
