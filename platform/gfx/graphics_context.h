#pragma once
// A drawing context over Cairo with the platform's drawing model: a graphics
// state stack (colours, line width, alpha, blend mode, shadow, clip, current
// transform), one current path built by path operations and consumed by
// fill, stroke or clip, image drawing and shadows.
//
// Coordinates are points with y growing downward (the interface's drawing
// space); the context maps them to device pixels by its base scale. Arcs
// keep the on-screen meaning of "clockwise". Shadow offset and blur are in
// points of the base space: a later transform of the context moves what is
// drawn, not the shadow's offset, as on the platform.
//
// A context belongs to one thread at a time. Not real-time-safe.

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/color.h"
#include "platform/gfx/geometry.h"
#include "platform/gfx/image.h"

namespace platform {

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };
enum class BlendMode { Normal, Multiply, Screen, Overlay, Copy, Clear, SourceIn, SourceAtop, DestinationIn,
                       DestinationOut, PlusLighter };
enum class FillRule { Winding, EvenOdd };

// A reusable path (the platform's bezier path): a list of elements in points.
class Path {
 public:
  void moveTo(Point p);
  void addLineTo(Point p);
  void addCurveTo(Point c1, Point c2, Point end);
  // Tangent arc: from the current point along the line towards p1, turning
  // with `radius` to run towards p2.
  void addArcToPoint(Point p1, Point p2, double radius);
  // Arc round `center`; angles in radians from the +x axis, increasing
  // clockwise on screen; `clockwise` is the on-screen turning direction.
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
  void addRect(const Rect& r);
  void addEllipseInRect(const Rect& r);
  void addRoundedRect(const Rect& r, double cornerRadius);
  void closePath();

  bool isEmpty() const { return elements_.empty(); }
  std::optional<Point> currentPoint() const { return current_; }
  // Whether `p` lies inside the (closed) path under `rule`.
  bool contains(Point p, FillRule rule = FillRule::Winding) const;
  Rect bounds() const;

  static Path rect(const Rect& r);
  static Path roundedRect(const Rect& r, double cornerRadius);
  static Path ellipse(const Rect& r);

  // Appends the path to a Cairo context (its current path).
  void appendTo(cairo_t* cr) const;

 private:
  enum class Op { Move, Line, Curve, Close };
  struct Element {
    Op op;
    Point p[3];
  };
  std::vector<Element> elements_;
  std::optional<Point> current_;
  std::optional<Point> subpathStart_;
};

class GraphicsContext {
 public:
  // Draws on `cr` (borrowed). `baseScale` is device pixels per point; the
  // context applies it unless `cr` already carries it (applyScale false).
  GraphicsContext(cairo_t* cr, double baseScale, bool applyScale = true);
  // A context drawing into `surface` (referenced for its lifetime).
  GraphicsContext(cairo_surface_t* surface, double baseScale);
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  cairo_t* cairo() const { return cr_; }
  double baseScale() const { return baseScale_; }

  void saveGState();
  void restoreGState();

  void translateCTM(double dx, double dy);
  void scaleCTM(double sx, double sy);
  void rotateCTM(double radians);
  void concatCTM(const AffineTransform& t);
  // The transform from user points to base points (the base scale excluded).
  AffineTransform ctm() const;

  void setFillColor(const Color& c);
  void setStrokeColor(const Color& c);
  void setLineWidth(double w);
  void setLineCap(LineCap cap);
  void setLineJoin(LineJoin join);
  void setAlpha(double alpha);
  void setBlendMode(BlendMode mode);
  // A shadow under everything drawn from now on in this state; blur is the
  // platform's blur radius in points. No colour: black at 1/3 opacity.
  void setShadow(Size offset, double blur, std::optional<Color> color = std::nullopt);
  void clearShadow();

  void beginPath();
  void moveTo(double x, double y);
  void addLineTo(double x, double y);
  void addArcToPoint(double x1, double y1, double x2, double y2, double radius);
  void addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool clockwise);
  void addRect(const Rect& r);
  void addEllipseInRect(const Rect& r);
  void addPath(const Path& p);
  void closePath();
  bool isPathEmpty() const;

  void fillPath(FillRule rule = FillRule::Winding);
  void eoFillPath() { fillPath(FillRule::EvenOdd); }
  void strokePath();
  void fillRect(const Rect& r);
  void strokeRect(const Rect& r);
  void fillEllipseInRect(const Rect& r);
  // Makes the rectangle transparent (ignores blend mode, alpha and shadow).
  void clearRect(const Rect& r);

  // Intersects the clip with the current path (then clears the path).
  void clip(FillRule rule = FillRule::Winding);
  void eoClip() { clip(FillRule::EvenOdd); }
  void clipToRect(const Rect& r);
  // Intersects the clip with `mask` stretched over `r`: the mask's alpha (or
  // its luminance when it is opaque) scales what is drawn afterwards.
  void clipToMask(const Rect& r, const Image& mask);

  // Draws `image` upright, stretched to `r`.
  void drawImage(const Image& image, const Rect& r, BlendMode mode = BlendMode::Normal, double alpha = 1.0);
  // Only the pixel rectangle `source` of the image (one frame of a sheet),
  // drawn as a copy of that rectangle would be, without the copy.
  void drawImage(const Image& image, const Rect& source, const Rect& r, BlendMode mode = BlendMode::Normal,
                 double alpha = 1.0);

  // Everything until the matching end is drawn into a layer of its own that
  // is composited (with alpha, blend mode and shadow) as one.
  void beginTransparencyLayer();
  void endTransparencyLayer();

 private:
  struct State {
    Color fill = Color::black();
    Color stroke = Color::black();
    double alpha = 1.0;
    BlendMode blend = BlendMode::Normal;
    bool hasShadow = false;
    Size shadowOffset;
    double shadowBlur = 0.0;
    Color shadowColor = Color::black();
    // The mask of clipToMask, as a pattern over device pixels.
    std::shared_ptr<cairo_pattern_t> mask;
  };

  // Runs `draw` with the state's alpha, blend mode, mask and shadow applied.
  void paintWith(const std::function<void()>& draw);
  void drawSurface(cairo_surface_t* source, int pixelWidth, int pixelHeight, const Rect& r, BlendMode mode, double alpha);
  void drawShadowOf(cairo_pattern_t* content);
  void compositeContent(cairo_pattern_t* content, const State& st);

  cairo_t* cr_;
  double baseScale_;
  cairo_matrix_t baseMatrix_;
  std::vector<State> states_;
  std::vector<State> layerStates_;
};

// The stack of current contexts: an image context or a view's drawing
// context is current while it draws. Per thread.
GraphicsContext* currentGraphicsContext();
void pushGraphicsContext(GraphicsContext* context);
void popGraphicsContext();

// Bitmap image contexts (begin, draw, take the image, end), nestable.
// `scale` 0 means the default scale (the main screen's, set by the
// interface layer; 1 until then).
void beginImageContext(Size size, bool opaque, double scale);
std::shared_ptr<Image> imageFromCurrentImageContext();
void endImageContext();
void setDefaultImageScale(double scale);
double defaultImageScale();

// Paints `content` (a pattern in the user space of `cr`) with a shadow under
// it: the content's alpha, blurred by `blurPixels` (Gaussian sigma, device
// pixels), moved by `offsetPixels` (device pixels), in `color`; then the
// content itself; both at `alpha` with `op`.
void paintWithShadow(cairo_t* cr, cairo_pattern_t* content, Size offsetPixels, double blurPixels,
                     const Color& color, double alpha, cairo_operator_t op = CAIRO_OPERATOR_OVER);

// Adds a rectangle with corners of `radius` (at most half its shorter side;
// 0 or less gives square corners) to the path of `cr` as a closed sub-path.
void cairoRoundedRect(cairo_t* cr, const Rect& rect, double radius);

// Box blur of an 8-bit alpha buffer, three passes per axis approximating a
// Gaussian of the given radius (pixels); edges are extended.
void blurAlpha(std::vector<uint8_t>& alpha, int width, int height, double radius);

}  // namespace platform
