#include "platform/ui/image_view.h"

namespace platform {

ImageView::ImageView(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

ImageView::ImageView(ImagePtr image) : View(image ? Rect({0, 0}, image->size()) : Rect()) {
  setUserInteractionEnabled(false);
  setImage(std::move(image));
}

void ImageView::setImage(ImagePtr image) {
  image_ = std::move(image);
  update();
}

void ImageView::setHighlightedImage(ImagePtr image) {
  highlightedImage_ = std::move(image);
  update();
}

void ImageView::setHighlighted(bool h) {
  highlighted_ = h;
  update();
}

void ImageView::update() {
  const ImagePtr& shown = (highlighted_ && highlightedImage_) ? highlightedImage_ : image_;
  // The bitmap's own scale decides its size in points.
  if (shown) layer().setContentsScale(shown->scale());
  layer().setContents(shown);
}

Size ImageView::sizeThatFits(Size) const { return image_ ? image_->size() : Size{}; }

}  // namespace platform
