#include "soundcloud-sdk/ui/sc_switch.h"

#include <algorithm>

#include "platform/ui/widgets.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

namespace scui {

using platform::Color;
using platform::Point;
using platform::Rect;

// ---- halves

SCSwitchLabel::SCSwitchLabel(const Rect& frame) : platform::View(frame) {
  setDrawsContent(true);
  label_ = std::make_shared<platform::Label>(bounds());
  label_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  label_->setBackgroundColor(Color::clear());
  label_->setFont(platform::Font::systemFont(15));
  label_->setTextColor(Color::white(1.0));
  label_->setTextAlignment(platform::TextAlignment::Center);
  addSubview(label_);
}

void SCSwitchLabel::setBackground(platform::ImagePtr image) {
  background_ = std::move(image);
  setNeedsDisplay();
}

void SCSwitchLabel::drawRect(const Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (background_) {
    c->drawImage(*background_, bounds());
  } else {
    c->setFillColor(Color::greenColor());
    c->fillRect(bounds());
  }
}

// ---- the switch

SCSwitch::SCSwitch() : SCSwitch(Rect{0, 0, 105, 28}) {}

SCSwitch::SCSwitch(const Rect& frame) : platform::Control(frame) { commonAwake(); }

void SCSwitch::commonAwake() {
  handleRatio_ = 2.25;
  on_ = true;
  dragging_ = false;
  handleOffset_ = handleOffsetForValue(true);
  setClipsToBounds(true);

  handle_ = std::make_shared<platform::ImageView>(handleRect());
  handle_->setImage(scImageWithColor(Color::gray()));
  handle_->setHighlightedImage(scImageWithColor(Color::darkGray()));
  handle_->setBackgroundColor(Color::clear());
  onLabel_ = std::make_shared<SCSwitchLabel>(onRect());
  onLabel_->setText("ON");
  onLabel_->setBackground(scImageWithColor(Color::rgba(0.082, 0.416, 0.792, 1)));
  offLabel_ = std::make_shared<SCSwitchLabel>(offRect());
  offLabel_->setText("OFF");
  offLabel_->setBackground(scImageWithColor(Color::rgba(0.984, 0.388, 0.102, 1)));
  overlay_ = std::make_shared<platform::ImageView>(bounds());
  overlay_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  overlay_->setUserInteractionEnabled(false);
  addSubview(onLabel_);
  addSubview(offLabel_);
  addSubview(handle_);
  addSubview(overlay_);

  // The bundle's pictures replace the plain colours where it has them.
  if (auto i = SCBundle::imageWithName("switch_blue")) onLabel_->setBackground(i);
  if (auto i = SCBundle::imageWithName("switch_orange")) offLabel_->setBackground(i);
  if (auto i = SCBundle::imageWithName("switch_slider")) handle_->setImage(i);
  if (auto i = SCBundle::imageWithName("switch_slider-down")) handle_->setHighlightedImage(i);
  if (auto i = SCBundle::imageWithName("switch_filter")) overlay_->setImage(i);
  mask_ = SCBundle::imageWithName("switch_mask");
}

double SCSwitch::handleOffsetForValue(bool on) const { return on ? bounds().maxX() - handleWidth() : 0.0; }

Rect SCSwitch::handleRect() const { return {handleOffset_, bounds().minY(), handleWidth(), handleHeight()}; }

Rect SCSwitch::onRect() const {
  const Rect b = bounds();
  return {b.minX() + handleOffset_ - lableWidth() + handleWidth() / 2, b.minY(), lableWidth(), b.size.height};
}

Rect SCSwitch::offRect() const {
  const Rect b = bounds();
  return {b.minX() + handleOffset_ + handleWidth() / 2, b.minY(), lableWidth(), b.size.height};
}

void SCSwitch::setOn(bool on, bool animated) {
  on_ = on;
  handleOffset_ = handleOffsetForValue(on);
  if (animated) {
    glide();
  } else {
    setNeedsLayout();
  }
}

void SCSwitch::setHandleRatio(double r) {
  handleRatio_ = r;
  setNeedsLayout();
}

void SCSwitch::setFrame(const Rect& f) {
  platform::Control::setFrame(f);
  handleOffset_ = handleOffsetForValue(on_);
}

void SCSwitch::setEnabled(bool e) {
  platform::Control::setEnabled(e);
  setUserInteractionEnabled(e);
  onLabel_->setAlpha(e ? 1.0 : 0.5);
  offLabel_->setAlpha(e ? 1.0 : 0.5);
}

void SCSwitch::layoutSubviews() {
  onLabel_->setFrame(onRect());
  offLabel_->setFrame(offRect());
  handle_->setFrame(handleRect());
  overlay_->setFrame(bounds());
}

void SCSwitch::glide() {
  platform::View::animate(kAnimationDuration, [this] {
    setNeedsLayout();
    layoutIfNeeded();
  });
}

platform::View* SCSwitch::hitTest(Point point, const platform::Event* event) {
  if (!isUserInteractionEnabled() || isHidden()) return nullptr;
  const Rect b = bounds();
  const Rect area = b.insetBy(std::min(b.size.width - 120, 0.0) / 2, std::min(b.size.height - 45, 0.0) / 2);
  if (area.contains(point)) return this;
  return platform::Control::hitTest(point, event);
}

void SCSwitch::setScrolling(bool enabled) {
  if (auto* scroll = dynamic_cast<platform::ScrollView*>(scEnclosingScrollView(*this))) scroll->setScrollEnabled(enabled);
}

void SCSwitch::touchesBegan(const platform::TouchSet& touches, const platform::Event*) {
  if (touches.size() != 1) return;
  setScrolling(false);
  dragging_ = false;
  if (handle_->frame().contains(touches.front()->locationInView(this))) handle_->setHighlighted(true);
}

void SCSwitch::touchesMoved(const platform::TouchSet& touches, const platform::Event*) {
  if (touches.size() != 1) return;
  const double x = touches.front()->locationInView(this).x;
  const Rect h = handle_->frame();
  if (x >= h.minX() && x <= h.maxX()) dragging_ = true;
  if (dragging_) {
    const float travel = static_cast<float>(bounds().size.width - handleWidth());
    handleOffset_ = std::clamp(static_cast<float>(x - handleWidth() / 2), 0.0f, std::max(travel, 0.0f));
  }
  setNeedsLayout();
}

void SCSwitch::touchesEnded(const platform::TouchSet& touches, const platform::Event*) {
  if (touches.size() != 1) return;
  setScrolling(true);
  handle_->setHighlighted(false);
  const bool was = on_;
  if (dragging_) {
    const double travel = bounds().size.width - handleWidth();
    const double r = travel > 0 ? handleOffset_ / travel : 0.0;
    if (r < 0.1) {
      handleOffset_ = 0;
      if (was) setOn(false);
    } else if (r > 0.9) {
      handleOffset_ = travel;
      if (!was) setOn(true);
    } else {
      setOn(!was);
    }
  } else {
    setOn(!was);
  }
  if (on_ != was) sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
  dragging_ = false;
  glide();
}

void SCSwitch::touchesCancelled(const platform::TouchSet& touches, const platform::Event*) {
  if (touches.size() != 1) return;
  setScrolling(true);
  handle_->setHighlighted(false);
  glide();
}

// ---- grouped cell background

SCTableCellBackgroundView::SCTableCellBackgroundView(const Rect& frame) : platform::View(frame) { setDrawsContent(true); }

void SCTableCellBackgroundView::setBackgroundColor(std::optional<Color> c) {
  if (c == fill_) return;
  fill_ = c;
  platform::View::setBackgroundColor(Color::clear());
  setNeedsDisplay();
}

platform::Path SCTableCellBackgroundView::outline() const {
  const double radius = 10;
  Rect r = bounds().insetBy(0.5, 0.5);
  const bool continues = position_ == Middle || position_ == Last;
  if (continues) {
    r.origin.y -= 0.5;
    r.size.height += 0.5;
  }
  const double x = r.origin.x, y = r.origin.y, right = x + r.size.width, bottom = y + r.size.height;
  const bool roundTop = position_ == First || position_ == Only;
  const bool roundBottom = position_ == Last || position_ == Only;
  platform::Path p;
  if (roundTop) {
    p.moveTo({right - radius, y});
    p.addArcToPoint({right, y}, {right, y + radius}, radius);
  } else {
    p.moveTo({right, y});
  }
  if (roundBottom) {
    p.addArcToPoint({right, bottom}, {right - radius, bottom}, radius);
    p.addArcToPoint({x, bottom}, {x, bottom - radius}, radius);
  } else {
    p.addLineTo({right, bottom});
    p.addLineTo({x, bottom});
  }
  if (roundTop) {
    p.addArcToPoint({x, y}, {x + radius, y}, radius);
    p.closePath();
  } else {
    p.addLineTo({x, y});
  }
  return p;
}

void SCTableCellBackgroundView::drawRect(const Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  const platform::Path p = outline();
  if (fill_) {
    c->setFillColor(*fill_);
    c->addPath(p);
    c->fillPath();
  }
  if (border_) {
    c->setStrokeColor(*border_);
    c->setLineWidth(1);
    c->addPath(p);
    c->strokePath();
  }
}

int32_t scCellPositionForIndexPath(platform::TableView& table, platform::IndexPath path) {
  if (table.style() == platform::TableView::Style::Plain || !table.dataSource())
    return SCTableCellBackgroundView::Middle;
  const int64_t n = table.dataSource()->numberOfRowsInSection(table, path.section);
  if (path.row == 0 && path.row == n - 1) return SCTableCellBackgroundView::Only;
  if (path.row == 0) return SCTableCellBackgroundView::First;
  if (path.row == n - 1) return SCTableCellBackgroundView::Last;
  return SCTableCellBackgroundView::Middle;
}

}  // namespace scui
