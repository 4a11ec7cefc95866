#pragma once
// An image view: shows an image (or its highlighted image while
// highlighted) as its layer's contents, placed by the content mode.
// User interaction is off unless switched on, as on the platform.
//
// Main thread only.

#include "platform/ui/view.h"

namespace platform {

class ImageView : public View {
 public:
  explicit ImageView(const Rect& frame = {});
  // Sized to the image, at the origin.
  explicit ImageView(ImagePtr image);

  const ImagePtr& image() const { return image_; }
  void setImage(ImagePtr image);
  const ImagePtr& highlightedImage() const { return highlightedImage_; }
  void setHighlightedImage(ImagePtr image);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h);

  Size sizeThatFits(Size size) const override;

 private:
  void update();
  ImagePtr image_;
  ImagePtr highlightedImage_;
  bool highlighted_ = false;
};

}  // namespace platform
