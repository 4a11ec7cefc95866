#pragma once
// Layers: the retained tree the interface draws from, and their animations.
//
// A layer has bounds, a position (where its anchor point sits in the
// superlayer), an anchor point (0.5, 0.5 by default), an affine transform
// applied about the anchor point, contents (a bitmap drawn into the bounds by
// the contents gravity), a background colour, corner radius, border, opacity,
// hidden flag, masking to bounds, and a shadow (colour, offset, opacity,
// radius). frame is derived: the bounding box of the transformed bounds.
// Setting the frame under a rectilinear transform keeps
// bounds = frame ÷ scale, so a view scaled by s with anchor (0, 0) and frame
// (0, y, W, H) has bounds (0, 0, W / s, H / s).
//
// Model values change at once; animations only change what is drawn. A
// layer that stands on its own (not a view's own layer) animates changes of
// opacity, position, bounds, transform, background colour and contents
// implicitly for 0.25 s, unless the key's action is switched off
// (setActionDisabled, as mapping it to the null action does) or a
// ScopedDisableActions is alive. View layers never animate implicitly; views
// animate through View::animate.
//
// Explicit animations are added under a key (replacing, and stopping
// unfinished, an earlier one of the same key), run on the main run loop's
// clock and end with didStop(finished): true when they ran to their end,
// false when removed or replaced first.
//
// Main thread only. Not real-time-safe.

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/gfx/color.h"
#include "platform/gfx/geometry.h"
#include "platform/gfx/image.h"

namespace platform {

class Layer;

// Draws a layer's content on demand (a view's drawRect).
class LayerDelegate {
 public:
  virtual ~LayerDelegate() = default;
  virtual void displayLayer(Layer& layer) = 0;
};

enum class TimingFunction { Linear, EaseIn, EaseOut, EaseInEaseOut, Default };
// Progress 0..1 through the curve at time fraction 0..1.
double applyTiming(TimingFunction f, double t);

// A damped spring in place of a timing curve: it starts with
// `initialVelocity` (distances per unit of time fraction) and settles on 1 at
// the end; below a damping ratio of 1 it overshoots and swings back.
struct SpringTiming {
  double dampingRatio = 1.0;
  double initialVelocity = 0.0;
};
// Progress through the spring at time fraction 0..1 (exactly 0 and 1 at the
// ends; in between it may pass 1).
double springProgress(const SpringTiming& spring, double t);

using AnimationValue = std::variant<double, Point, Rect, AffineTransform, Color>;

struct BasicAnimation {
  // "opacity", "position", "bounds", "transform", "transform.scale",
  // "backgroundColor" or "contents" (a cross-fade from the old contents).
  std::string keyPath;
  std::optional<AnimationValue> fromValue;  // absent: the presented value when added
  std::optional<AnimationValue> toValue;    // absent: the model value
  double duration = 0.25;
  double delay = 0.0;  // from the moment it is added
  TimingFunction timing = TimingFunction::Default;
  // When set, the spring's progress instead of the timing curve's.
  std::optional<SpringTiming> spring;
  bool autoreverses = false;
  double repeatCount = 0.0;  // 0 and 1 run once; infinity runs forever
  // Before its start (during the delay) the animation already shows fromValue.
  bool fillBackwards = false;
  std::function<void(bool finished)> didStop;
};

// While one is alive, layer changes do not animate implicitly.
class ScopedDisableActions {
 public:
  ScopedDisableActions();
  ~ScopedDisableActions();
  static bool active();
};

class Layer : public std::enable_shared_from_this<Layer> {
 public:
  Layer();
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  // ---- geometry
  Rect bounds() const { return bounds_; }
  void setBounds(const Rect& b);
  Point position() const { return position_; }
  void setPosition(Point p);
  Point anchorPoint() const { return anchor_; }
  void setAnchorPoint(Point a);
  AffineTransform transform() const { return transform_; }
  void setTransform(const AffineTransform& t);
  Rect frame() const;
  void setFrame(const Rect& f);

  // Maps a point between this layer's coordinates and its superlayer's.
  Point convertToSuperlayer(Point p) const;
  Point convertFromSuperlayer(Point p) const;
  // The transform from this layer's space to its superlayer's.
  AffineTransform transformToSuperlayer() const;

  // ---- appearance
  const ImagePtr& contents() const { return contents_; }
  void setContents(ImagePtr image);
  enum class Gravity { Resize, Center, ResizeAspect, ResizeAspectFill, TopLeft };
  Gravity contentsGravity() const { return gravity_; }
  void setContentsGravity(Gravity g);
  double contentsScale() const { return contentsScale_; }
  void setContentsScale(double s);
  double opacity() const { return opacity_; }
  void setOpacity(double o);
  bool isHidden() const { return hidden_; }
  void setHidden(bool h);
  std::optional<Color> backgroundColor() const { return background_; }
  void setBackgroundColor(std::optional<Color> c);
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double r);
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double w);
  Color borderColor() const { return borderColor_; }
  void setBorderColor(const Color& c);
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool m);
  Color shadowColor() const { return shadowColor_; }
  void setShadowColor(const Color& c);
  // Stored as given; drawn clamped to 0..1.
  double shadowOpacity() const { return shadowOpacity_; }
  void setShadowOpacity(double o);
  Size shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(Size s);
  double shadowRadius() const { return shadowRadius_; }
  void setShadowRadius(double r);

  // ---- tree
  Layer* superlayer() const { return superlayer_; }
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  void addSublayer(std::shared_ptr<Layer> layer);
  void insertSublayer(std::shared_ptr<Layer> layer, size_t index);
  void insertSublayerAbove(std::shared_ptr<Layer> layer, const Layer* sibling);
  void insertSublayerBelow(std::shared_ptr<Layer> layer, const Layer* sibling);
  void removeFromSuperlayer();

  // ---- drawing on demand
  void setDelegate(LayerDelegate* d) { delegate_ = d; }
  LayerDelegate* delegate() const { return delegate_; }
  void setNeedsDisplay();
  bool needsDisplay() const { return needsDisplay_; }
  // Asks the delegate for contents when needed.
  void displayIfNeeded();

  // ---- actions and animations
  // Switches the implicit animation of one key off (the null action).
  void setActionDisabled(const std::string& key, bool disabled = true);
  bool isActionDisabled(const std::string& key) const;
  // Whether a change of `key` now would animate implicitly.
  bool wouldAnimateImplicitly(const std::string& key) const;
  // View layers: no implicit animations at all.
  void setImplicitAnimationsEnabled(bool e) { implicitEnabled_ = e; }

  void addAnimation(BasicAnimation animation, const std::string& key);
  void removeAnimation(const std::string& key);
  void removeAllAnimations();
  const BasicAnimation* animationForKey(const std::string& key) const;
  std::vector<std::string> animationKeys() const;
  bool hasAnimations() const { return !animations_.empty(); }

  // Presented values at time `t` (model values where nothing animates).
  double presentedOpacity(double t) const;
  Point presentedPosition(double t) const;
  Rect presentedBounds(double t) const;
  AffineTransform presentedTransform(double t) const;
  std::optional<Color> presentedBackgroundColor(double t) const;

  // Draws the layer and its sublayers on `cr` (whose user space is this
  // layer's superlayer space, in points) at time `t`; `deviceScale` is the
  // number of device pixels per point.
  void render(cairo_t* cr, double t, double deviceScale);
  // Tells render() which trees need not be drawn at all because nothing
  // of them reaches the area being redrawn; the compositor, which knows
  // where every tree landed, sets it around its own drawing. Without it
  // everything is drawn and the clip alone decides. Per thread.
  class RenderCull {
   public:
    virtual ~RenderCull() = default;
    virtual bool skips(const Layer& layer) const = 0;
  };
  static void setRenderCull(const RenderCull* cull);
  // Displays (drawRect) every layer of the tree that needs it.
  void displayTree();
  // Counts setNeedsDisplay calls on all layers (a window skips its display
  // pass while it has not moved).
  static uint64_t displayRequests();

  // ---- what the compositor asks
  // A number for this layer alone, never reused by another layer.
  uint64_t serial() const { return serial_; }
  // The change count at this layer's last change of its own (properties,
  // contents, its place among its siblings).
  uint64_t changeStamp() const { return stamp_; }
  // The newest change stamp in this layer's tree.
  uint64_t treeChangeStamp() const;
  // Whether the layer is drawn at all at time `t` (not hidden, opacity
  // above 0).
  bool isDrawn(double t) const;
  // The transform from this layer's space to its superlayer's as drawn at
  // time `t` (presented values).
  cairo_matrix_t presentedMatrix(double t) const;
  // The area, in this layer's space, that the layer itself paints at `t`
  // (background, contents, border; not its sublayers); null when none.
  Rect paintedRect(double t) const;
  // Whether it draws a shadow (which then covers its whole tree).
  bool hasShadow() const;
  // How far (device pixels) the shadow reaches beyond the tree it shades,
  // under the device transform `ctm` of this layer.
  double shadowReach(const cairo_matrix_t& ctm) const;
  // The shadow's offset in device pixels under `ctm`.
  Point shadowDeviceOffset(const cairo_matrix_t& ctm) const;
  // The device-space box of everything this tree paints at `t`, given the
  // device transform `ctm` of this layer and a device clip; shadows
  // included.
  Rect deviceExtent(const cairo_matrix_t& ctm, double t, const Rect& clip) const;
  // True while this layer or one below it animates.
  bool treeAnimating() const;

  // Shadowed trees are drawn once into a surface of their own and reused
  // until they change: how many times that drawing happened (all layers).
  static uint64_t shadowRenders();

  // Counts every change of any layer; back ends redraw when it moves.
  static uint64_t changeCount();
  static void noteChange();
  // True while any layer has an unfinished animation.
  static bool anyAnimationRunning();

 private:
  struct Running {
    uint64_t id;
    BasicAnimation anim;
    double start;  // clock time the animation begins (after its delay)
    ImagePtr oldContents;
  };

  void changed();
  void sublayersChanged();
  // Background, contents, sublayers and border (no shadow, no opacity).
  void renderContent(cairo_t* cr, double t, double deviceScale);
  // The shadowed tree with its shadow, from the cache when it is current.
  void renderShadowed(cairo_t* cr, double t, double deviceScale, double opacity);
  void implicitly(const std::string& key, AnimationValue from);
  void finish(const std::string& key, uint64_t id);
  const Running* running(const std::string& keyPath, double t) const;
  // Progress and value of an animation at time t; empty before its start
  // (without backward fill) and after its end.
  std::optional<double> progress(const Running& r, double t) const;
  AnimationValue modelValue(std::string_view keyPath) const;
  AnimationValue presentedValue(std::string_view keyPath, double t) const;
  std::optional<AnimationValue> animatedValue(std::string_view keyPath, double t) const;

  Rect bounds_;
  Point position_;
  Point anchor_{0.5, 0.5};
  AffineTransform transform_;
  ImagePtr contents_;
  Gravity gravity_ = Gravity::Resize;
  double contentsScale_ = 1.0;
  double opacity_ = 1.0;
  bool hidden_ = false;
  std::optional<Color> background_;
  double cornerRadius_ = 0.0;
  double borderWidth_ = 0.0;
  Color borderColor_ = Color::black();
  bool masksToBounds_ = false;
  Color shadowColor_ = Color::black();
  double shadowOpacity_ = 0.0;
  Size shadowOffset_{0.0, -3.0};
  double shadowRadius_ = 3.0;

  Layer* superlayer_ = nullptr;
  std::vector<std::shared_ptr<Layer>> sublayers_;
  LayerDelegate* delegate_ = nullptr;
  bool needsDisplay_ = false;

  std::set<std::string> disabledActions_;
  bool implicitEnabled_ = true;
  std::map<std::string, Running> animations_;

  uint64_t serial_;
  uint64_t stamp_ = 0;
  uint64_t sublayersStamp_ = 0;
  // The shadowed tree as last drawn: its surface, where it sits in device
  // space, and what it was drawn from.
  struct ShadowCache {
    cairo_surface_t* surface = nullptr;
    int x = 0, y = 0;
    uint64_t treeStamp = 0;
    cairo_matrix_t ctm{};
  };
  ShadowCache shadowCache_;
};

using LayerPtr = std::shared_ptr<Layer>;

}  // namespace platform
