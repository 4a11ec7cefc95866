#pragma once
// Bitmap images: a decoded 32-bit ARGB pixel buffer (premultiplied alpha, the
// Cairo image format) with a scale, the number of pixels per point. An image's
// size is in points (pixels ÷ scale), which is how views lay it out.
//
// Images are immutable once made and shared by std::shared_ptr, so any thread
// may read or draw one while others do the same; making one (loading,
// cropping, drawing into an image context) may also run on any thread.
// Not real-time-safe.

#include <cairo.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/gfx/geometry.h"

namespace platform {

// The bundle's images are drawn at two pixels per point; images loaded by
// name from the bundle carry this scale.
inline constexpr double kBundleImageScale = 2.0;

class Image {
 public:
  struct RGBA {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const RGBA&) const = default;
  };

  // A transparent image of the given pixel size; nullptr for a size below 1.
  static std::shared_ptr<Image> create(int pixelWidth, int pixelHeight, double scale = 1.0);
  // Takes over `surface` (an ARGB32 image surface); nullptr when it is not one.
  static std::shared_ptr<Image> adopt(cairo_surface_t* surface, double scale);
  // Decodes a PNG file; nullptr when it is missing or not a readable PNG.
  static std::shared_ptr<Image> fromPNG(const std::filesystem::path& path, double scale = 1.0);
  static std::shared_ptr<Image> fromPNGData(std::span<const uint8_t> bytes, double scale = 1.0);
  // Decodes a JPEG (jpeg_decoder.h); nullptr, with the reason, when it is
  // not a readable one.
  static std::shared_ptr<Image> fromJPEGData(std::span<const uint8_t> bytes, double scale = 1.0,
                                             std::string* why = nullptr);
  // PNG or JPEG, told by the first bytes: pictures from the network, which
  // come in either.
  static std::shared_ptr<Image> fromData(std::span<const uint8_t> bytes, double scale = 1.0,
                                         std::string* why = nullptr);
  // A PNG file whose pixels are decoded only when first asked for (drawn,
  // read, copied); until then the image holds its size alone. Sheets of
  // frames that may never be shown (a knob's look while held) cost no
  // memory that way. nullptr when the file is missing or its header is not
  // a PNG's; a file that no longer decodes when its pixels are wanted gives
  // a transparent image of the size the header promised.
  static std::shared_ptr<Image> fromPNGLazily(const std::filesystem::path& path, double scale = 1.0);
  // "<bundle>/<name>.png" (the name may already end in ".png") at
  // kBundleImageScale, cached per process as the platform's imageNamed does
  // and decoded lazily; nullptr when the file is missing. Thread-safe.
  static std::shared_ptr<Image> named(const std::string& name);
  // Forgets the images `named` has cached (tests that swap bundles use it).
  static void clearNamedCache();

  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  Size size() const { return {width_ / scale_, height_ / scale_}; }
  double scale() const { return scale_; }
  int pixelWidth() const { return width_; }
  int pixelHeight() const { return height_; }
  // The pixels as a Cairo source; owned by the image, never to be drawn into.
  cairo_surface_t* surface() const { return pixels(); }
  // Whether the pixels are in memory (false only for a lazy image that was
  // never drawn or read).
  bool isDecoded() const;

  // The same pixels with another scale.
  std::shared_ptr<Image> withScale(double scale) const;
  // A copy of the pixel rectangle `pixelRect` (clipped to the image) with
  // the given scale; nullptr when nothing of it lies inside the image.
  std::shared_ptr<Image> cropped(const Rect& pixelRect, double scale) const;
  // A copy redrawn to `points` at `scale` (bilinear).
  std::shared_ptr<Image> resized(Size points, double scale) const;

  bool writePNG(const std::filesystem::path& path, std::string* error = nullptr) const;
  std::vector<uint8_t> pngData() const;

  // Un-premultiplied colour of one pixel; transparent outside the image.
  RGBA pixel(int x, int y) const;
  // The pixel under a point (points × scale, truncated).
  RGBA pixelAt(Point p) const;
  // True when every pixel of both images is equal (sizes included).
  bool samePixels(const Image& other) const;

 private:
  Image(cairo_surface_t* surface, double scale);
  Image(std::filesystem::path lazyPath, int width, int height, double scale);
  cairo_surface_t* pixels() const;

  // Set once: at construction, or by the first pixels() of a lazy image.
  mutable std::atomic<cairo_surface_t*> surface_;
  mutable std::once_flag decodeOnce_;
  std::filesystem::path lazyPath_;
  int width_;
  int height_;
  double scale_;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace platform
