#pragma once
// Small drawing pieces of the file and list browsers: their accent colour,
// the selected-row background that paints it, a plain file-browser cell,
// and cutting a pixel rectangle out of an image.
//
// Main thread only (the cropping works anywhere).

#include "platform/gfx/color.h"
#include "platform/gfx/image.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view.h"

// Red 1.0, green 0.4, blue 0.2, alpha 0.8, each of the last three as a
// single-precision value.
platform::Color fileBrowserTintColor();

// Fills itself with the accent colour: the selected background of list rows.
class ListSelectedBackgroundView : public platform::View {
 public:
  explicit ListSelectedBackgroundView(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
};

// A table cell that is exactly the platform's.
class FileBrowserTableViewCell : public platform::TableViewCell {
 public:
  FileBrowserTableViewCell(Style style, std::string reuseIdentifier)
      : TableViewCell(style, std::move(reuseIdentifier)) {}
};

class GraphicUtil {
 public:
  // The rectangle (in the bitmap's pixels) as a new upright image of scale
  // 1; nullptr when none of it lies inside the image.
  static platform::ImagePtr imageByCropping(const platform::Image& image, const platform::Rect& pixelRect);
};
