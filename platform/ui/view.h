#pragma once
// Views: the rectangles of the interface, each backed by a layer.
//
// Geometry is the layer's: frame (in the superview), bounds (own
// coordinates), center and transform (about the anchor point). Setting the
// frame of a view with a uniform scale transform keeps bounds = frame ÷ scale.
// A change of bounds size resizes the subviews by their autoresizing masks
// (springs and struts: the flexible parts share the change in proportion to
// their sizes) and asks for a layout pass.
//
// Hit testing: a hidden view, one with alpha at or below 0.01 and one with
// user interaction off are not hit, nor are their subviews; a point outside
// a view's bounds (pointInside) reaches none of its subviews, whether or not
// they stick out. Later subviews are tested first.
//
// Drawing: a view that draws (setDrawsContent, done by views that override
// drawRect) is asked to draw when it needs display, into a bitmap of its
// bounds at its layer's contents scale; setNeedsDisplay is virtual.
//
// Animations: View::animate runs a block; changes it makes to alpha, frame,
// bounds, center, transform and background colour take effect at once in
// the model and are animated on screen from what was shown. The completion
// gets finished = false when an animation was removed or replaced before its
// end.
//
// Ownership: views are held by std::shared_ptr; a superview owns its
// subviews, a subview's superview pointer is non-owning (cleared when the
// superview goes). Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/color.h"
#include "platform/gfx/geometry.h"
#include "platform/gfx/graphics_context.h"
#include "platform/ui/layer.h"
#include "platform/ui/touch.h"

namespace platform {

class ViewController;
class Window;

namespace Autoresizing {
enum : unsigned {
  None = 0,
  FlexibleLeftMargin = 1 << 0,
  FlexibleWidth = 1 << 1,
  FlexibleRightMargin = 1 << 2,
  FlexibleTopMargin = 1 << 3,
  FlexibleHeight = 1 << 4,
  FlexibleBottomMargin = 1 << 5,
};
}

enum class ContentMode { ScaleToFill, ScaleAspectFit, ScaleAspectFill, Redraw, Center, TopLeft };

namespace AnimationOptions {
enum : unsigned {
  None = 0,
  AllowUserInteraction = 1 << 1,
  BeginFromCurrentState = 1 << 2,
  Repeat = 1 << 3,
  Autoreverse = 1 << 4,
  CurveEaseInOut = 0 << 16,
  CurveEaseIn = 1 << 16,
  CurveEaseOut = 2 << 16,
  CurveLinear = 3 << 16,
};
}

class View : public Responder, public LayerDelegate, public std::enable_shared_from_this<View> {
 public:
  explicit View(const Rect& frame = {});
  ~View() override;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // ---- geometry
  virtual Rect frame() const { return layer_->frame(); }
  virtual void setFrame(const Rect& f);
  Rect bounds() const { return layer_->bounds(); }
  virtual void setBounds(const Rect& b);
  Point center() const { return layer_->position(); }
  void setCenter(Point c);
  AffineTransform transform() const { return layer_->transform(); }
  void setTransform(const AffineTransform& t);

  // ---- appearance
  double alpha() const { return layer_->opacity(); }
  void setAlpha(double a);
  bool isHidden() const { return layer_->isHidden(); }
  virtual void setHidden(bool h);
  std::optional<Color> backgroundColor() const { return background_; }
  virtual void setBackgroundColor(std::optional<Color> c);
  bool clipsToBounds() const { return layer_->masksToBounds(); }
  void setClipsToBounds(bool c) { layer_->setMasksToBounds(c); }
  ContentMode contentMode() const { return contentMode_; }
  void setContentMode(ContentMode m);
  Layer& layer() const { return *layer_; }
  const LayerPtr& layerPtr() const { return layer_; }

  int64_t tag() const { return tag_; }
  void setTag(int64_t t) { tag_ = t; }
  bool isUserInteractionEnabled() const { return interaction_; }
  void setUserInteractionEnabled(bool e) { interaction_ = e; }
  bool isMultipleTouchEnabled() const { return multipleTouch_; }
  void setMultipleTouchEnabled(bool e) { multipleTouch_ = e; }
  unsigned autoresizingMask() const { return autoresizing_; }
  void setAutoresizingMask(unsigned m) { autoresizing_ = m; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool a) { autoresizesSubviews_ = a; }

  // ---- tree
  View* superview() const { return superview_; }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  Window* window() const { return window_; }
  void addSubview(std::shared_ptr<View> view);
  void insertSubview(std::shared_ptr<View> view, size_t index);
  void insertSubviewAbove(std::shared_ptr<View> view, const View* sibling);
  void insertSubviewBelow(std::shared_ptr<View> view, const View* sibling);
  void removeFromSuperview();
  void bringSubviewToFront(const View* view);
  void sendSubviewToBack(const View* view);
  // This view or the first descendant (depth first) with the tag.
  View* viewWithTag(int64_t tag);
  bool isDescendantOfView(const View* view) const;

  virtual void willMoveToSuperview(View* /*newSuperview*/) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(Window* /*newWindow*/) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(View* /*subview*/) {}
  virtual void willRemoveSubview(View* /*subview*/) {}

  // ---- layout
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Lays out this view (when needed) and then its subviews.
  void layoutIfNeeded();
  // Counts the layout requests of all views (a window skips its layout
  // pass while it has not moved).
  static uint64_t layoutRequests();
  // The view's own layout; the root view of a view controller calls its
  // viewWillLayoutSubviews and viewDidLayoutSubviews around it.
  virtual void layoutSubviews() {}
  virtual Size sizeThatFits(Size /*size*/) const { return bounds().size; }
  void sizeToFit();

  // ---- drawing
  virtual void setNeedsDisplay();
  virtual void drawRect(const Rect& /*rect*/) {}
  bool drawsContent() const { return drawsContent_; }
  void displayLayer(Layer& layer) override;

  // ---- hit testing and coordinates
  virtual View* hitTest(Point point, const Event* event);
  virtual bool pointInside(Point point, const Event* event) const;
  // nullptr means window coordinates.
  Point convertPointTo(Point p, const View* view) const;
  Point convertPointFrom(Point p, const View* view) const;
  Rect convertRectTo(const Rect& r, const View* view) const;
  Rect convertRectFrom(const Rect& r, const View* view) const;
  // The part of the window's safe-area insets this view overlaps.
  virtual EdgeInsets safeAreaInsets() const;

  // ---- responder
  Responder* nextResponder() const override;
  // The view controller whose root view this is, if any.
  ViewController* viewController() const { return controller_; }

  // ---- animation
  static void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                      std::function<void(bool finished)> completion = nullptr);
  static void animate(double duration, const std::function<void()>& animations,
                      std::function<void(bool finished)> completion = nullptr) {
    animate(duration, 0.0, AnimationOptions::None, animations, std::move(completion));
  }
  // As animate, with the motion of a damped spring (damping ratio below 1
  // overshoots; the initial velocity is in distances per second).
  static void animateWithSpring(double duration, double delay, double dampingRatio, double initialVelocity,
                                unsigned options, const std::function<void()>& animations,
                                std::function<void(bool finished)> completion = nullptr);
  // Outside an animation block, changes are not animated even then.
  static void performWithoutAnimation(const std::function<void()>& changes);
  static bool isInAnimationBlock();

 protected:
  // For views that draw in drawRect (done in their constructor).
  void setDrawsContent(bool draws);
  // Records an animation of `keyPath` from `from` when inside an animation block.
  void animateChange(const std::string& keyPath, const AnimationValue& from);
  // The value of `keyPath` on screen now (before a change is made).
  AnimationValue shown(const std::string& keyPath, const AnimationValue& model) const;

 private:
  friend class ViewController;
  friend class Window;

  static void animateBlock(double duration, double delay, unsigned options, std::optional<SpringTiming> spring,
                           const std::function<void()>& animations, std::function<void(bool finished)> completion);

  void setWindowRecursively(Window* w);
  void resizeSubviews(Size oldSize);
  void autoresize(Size oldSuper, Size newSuper);

  LayerPtr layer_;
  View* superview_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
  Window* window_ = nullptr;
  ViewController* controller_ = nullptr;

  std::optional<Color> background_;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  int64_t tag_ = 0;
  bool interaction_ = true;
  bool multipleTouch_ = false;
  unsigned autoresizing_ = Autoresizing::None;
  bool autoresizesSubviews_ = true;
  bool needsLayout_ = true;
  bool drawsContent_ = false;
};

using ViewPtr = std::shared_ptr<View>;

namespace detail {
// Called after the view tree changed its window membership; view
// controllers recompute which of them are on screen.
void viewTreeChanged();
}  // namespace detail

}  // namespace platform
