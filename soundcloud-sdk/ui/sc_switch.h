#pragma once
// The SDK's sliding on/off switch: a handle over two labelled halves that
// slide with it ("ON" on the left, "OFF" on the right, meeting under the
// handle's middle), an overlay over everything, all clipped to the bounds.
// A tap anywhere in its touch area (at least 120 x 45 points around it)
// toggles it; a drag that passes over the handle moves it, and the release
// decides by where the handle is (below 10 % of its travel: off, above
// 90 %: on, between: toggled). Every change by touch sends ValueChanged;
// setOn from code sends nothing.
//
// The platform's layers have no mask layers: the mask image ("switch_mask")
// is kept but cuts nothing; the switch clips to its bounds and its pictures
// carry their own rounded shape.
//
// Also here: the background of a grouped table cell, rounded where the cell
// starts or ends its section, and the position of a cell in its section.
//
// Main thread only.

#include <memory>
#include <string>

#include "platform/ui/control.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/table_view.h"

namespace scui {

class SCSwitchLabel : public platform::View {
 public:
  explicit SCSwitchLabel(const platform::Rect& frame = {});
  platform::Label& label() { return *label_; }
  const std::string& text() const { return label_->text(); }
  void setText(const std::string& t) { label_->setText(t); }
  const platform::ImagePtr& background() const { return background_; }
  void setBackground(platform::ImagePtr image);
  void drawRect(const platform::Rect& rect) override;

 private:
  std::shared_ptr<platform::Label> label_;
  platform::ImagePtr background_;
};

class SCSwitch : public platform::Control {
 public:
  static constexpr double kAnimationDuration = 0.25;

  SCSwitch();
  explicit SCSwitch(const platform::Rect& frame);

  bool isOn() const { return on_; }
  void setOn(bool on) { setOn(on, false); }
  void setOn(bool on, bool animated);
  double handleRatio() const { return handleRatio_; }
  void setHandleRatio(double r);
  double handleOffset() const { return handleOffset_; }
  bool isDragging() const { return dragging_; }

  double handleWidth() const { return bounds().size.width / handleRatio_; }
  double handleHeight() const { return bounds().size.height; }
  double lableWidth() const { return bounds().size.width; }
  double handleOffsetForValue(bool on) const;
  platform::Rect handleRect() const;
  platform::Rect onRect() const;
  platform::Rect offRect() const;

  platform::ImageView& handleView() { return *handle_; }
  SCSwitchLabel& onLabel() { return *onLabel_; }
  SCSwitchLabel& offLabel() { return *offLabel_; }
  platform::ImageView& overlayView() { return *overlay_; }
  const platform::ImagePtr& maskImage() const { return mask_; }
  void setMaskImage(platform::ImagePtr image) { mask_ = std::move(image); }

  void setOnText(const std::string& t) { onLabel_->setText(t); }
  void setOffText(const std::string& t) { offLabel_->setText(t); }

  void setFrame(const platform::Rect& f) override;
  void setEnabled(bool e) override;
  void layoutSubviews() override;
  platform::Size sizeThatFits(platform::Size size) const override { return size; }
  platform::View* hitTest(platform::Point point, const platform::Event* event) override;
  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  void commonAwake();
  void glide();
  void setScrolling(bool enabled);

  bool on_ = true;
  double handleRatio_ = 2.25;
  double handleOffset_ = 0;
  bool dragging_ = false;
  std::shared_ptr<platform::ImageView> handle_;
  std::shared_ptr<SCSwitchLabel> onLabel_, offLabel_;
  std::shared_ptr<platform::ImageView> overlay_;
  platform::ImagePtr mask_;
};

class SCTableCellBackgroundView : public platform::View {
 public:
  enum Position : int32_t { First = 0, Middle = 1, Last = 2, Only = 3 };

  explicit SCTableCellBackgroundView(const platform::Rect& frame = {});

  std::optional<platform::Color> borderColor() const { return border_; }
  void setBorderColor(std::optional<platform::Color> c) { border_ = c; setNeedsDisplay(); }
  int32_t position() const { return position_; }
  void setPosition(int32_t p) { position_ = p; setNeedsDisplay(); }
  std::optional<platform::Color> fillColor() const { return fill_; }
  // The colour fills the drawn shape only; the view itself stays clear.
  void setBackgroundColor(std::optional<platform::Color> c) override;
  // The outline drawn (for the position and bounds).
  platform::Path outline() const;
  void drawRect(const platform::Rect& rect) override;

 private:
  std::optional<platform::Color> border_;
  std::optional<platform::Color> fill_;
  int32_t position_ = Middle;
};

int32_t scCellPositionForIndexPath(platform::TableView& table, platform::IndexPath path);

}  // namespace scui
