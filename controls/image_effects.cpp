#include "controls/image_effects.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/gfx/graphics_context.h"
#include "platform/ui/screen.h"

using namespace platform;

namespace image_effects {

namespace {

constexpr double kEpsilon = 1.1920928955078125e-07;

std::mutex& logMutex() {
  static std::mutex m;
  return m;
}
std::function<void(const std::string&)>& logger() {
  static std::function<void(const std::string&)> l;
  return l;
}

void log(const std::string& text) {
  std::lock_guard lock(logMutex());
  if (logger()) logger()(text);
  else std::fprintf(stderr, "%s\n", text.c_str());
}

std::string describe(const Image& image) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "<Image %dx%d px @%gx>", image.pixelWidth(), image.pixelHeight(), image.scale());
  return buf;
}

double screenScale() {
  const double s = Screen::mainScreen().scale();
  return s > 0 ? s : 1.0;
}

// One horizontal or vertical box pass with edges extended: every channel of
// every pixel becomes the rounded mean of the n pixels around it.
void boxPass(const uint8_t* in, uint8_t* out, int width, int height, int stride, int n, bool horizontal) {
  const int half = n / 2;
  const int lines = horizontal ? height : width;
  const int length = horizontal ? width : height;
  const int step = horizontal ? 4 : stride;
  const int lineStep = horizontal ? stride : 4;
  std::vector<uint32_t> sum(4);
  for (int line = 0; line < lines; ++line) {
    const uint8_t* src = in + static_cast<ptrdiff_t>(line) * lineStep;
    uint8_t* dst = out + static_cast<ptrdiff_t>(line) * lineStep;
    auto at = [&](int i) { return src + static_cast<ptrdiff_t>(std::clamp(i, 0, length - 1)) * step; };
    std::fill(sum.begin(), sum.end(), 0u);
    for (int i = -half; i <= half; ++i)
      for (int c = 0; c < 4; ++c) sum[static_cast<size_t>(c)] += at(i)[c];
    for (int i = 0; i < length; ++i) {
      uint8_t* d = dst + static_cast<ptrdiff_t>(i) * step;
      for (int c = 0; c < 4; ++c)
        d[c] = static_cast<uint8_t>((sum[static_cast<size_t>(c)] + static_cast<uint32_t>(n) / 2) / static_cast<uint32_t>(n));
      const uint8_t* leaving = at(i - half);
      const uint8_t* entering = at(i + half + 1);
      for (int c = 0; c < 4; ++c) sum[static_cast<size_t>(c)] += static_cast<uint32_t>(entering[c]) - leaving[c];
    }
  }
}

// An n x n box over the whole bitmap: horizontal into a scratch copy, then
// vertical into `out`.
void boxConvolve(const uint8_t* in, uint8_t* out, int width, int height, int stride, int n) {
  std::vector<uint8_t> scratch(static_cast<size_t>(stride) * static_cast<size_t>(height));
  boxPass(in, scratch.data(), width, height, stride, n, true);
  boxPass(scratch.data(), out, width, height, stride, n, false);
}

void matrixMultiply(const uint8_t* in, uint8_t* out, int width, int height, int stride,
                    const std::array<int16_t, 16>& m) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = in + static_cast<ptrdiff_t>(y) * stride;
    uint8_t* d = out + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x, s += 4, d += 4) {
      int32_t r[4];
      for (int c = 0; c < 4; ++c) {
        int32_t acc = 0;
        for (int i = 0; i < 4; ++i) acc += static_cast<int32_t>(s[i]) * m[static_cast<size_t>(i * 4 + c)];
        r[c] = std::clamp(acc / 256, 0, 255);
      }
      // Premultiplied pixels stay valid: no colour above its alpha.
      for (int c = 0; c < 3; ++c) r[c] = std::min(r[c], r[3]);
      for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>(r[c]);
    }
  }
}

// A new bitmap of the image's size in points at `scale`, with the image
// drawn into it. The caller owns the surface (until an Image adopts it).
cairo_surface_t* drawnCopy(const Image& image, double scale) {
  const Size size = image.size();
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                                    std::max(1, static_cast<int>(std::lround(size.width * scale))),
                                                    std::max(1, static_cast<int>(std::lround(size.height * scale))));
  {
    GraphicsContext g(out, scale);
    g.drawImage(image, Rect(0, 0, size.width, size.height));
  }
  cairo_surface_flush(out);
  return out;
}

}  // namespace

void setLogger(std::function<void(const std::string&)> l) {
  std::lock_guard lock(logMutex());
  logger() = std::move(l);
}

int boxSize(double radiusPixels) {
  int n = static_cast<int>(std::floor(radiusPixels * 1.8799712059732503 + 0.5));
  if (n % 2 == 0) n += 1;
  return n;
}

std::array<int16_t, 16> saturationMatrix(double s) {
  const double f[16] = {
      0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0,
      0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0,
      0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0,
      0,                   0,                   0,                   1,
  };
  std::array<int16_t, 16> m{};
  for (size_t i = 0; i < 16; ++i) m[i] = static_cast<int16_t>(std::lround(f[i] * 256.0));
  return m;
}

ImagePtr applyBlurWithRadius(const Image& image, double radius, const std::optional<Color>& tint, double saturation,
                             const Image* mask) {
  const Size size = image.size();
  if (size.width < 1 || size.height < 1) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "*** error: invalid size: (%.2f x %.2f). Both dimensions must be >= 1: ",
                  size.width, size.height);
    log(buf + describe(image));
    return nullptr;
  }
  if (!image.surface()) {
    log("*** error: image must be backed by a CGImage: " + describe(image));
    return nullptr;
  }
  if (mask && !mask->surface()) {
    log("*** error: maskImage must be backed by a CGImage: " + describe(*mask));
    return nullptr;
  }
  const double scale = screenScale();
  const bool hasBlur = radius > kEpsilon;
  const bool hasSaturationChange = std::fabs(saturation - 1.0) > kEpsilon;
  cairo_surface_t* effect = nullptr;
  cairo_surface_t* spare = nullptr;
  if (hasBlur || hasSaturationChange) {
    cairo_surface_t* in = drawnCopy(image, scale);
    const int w = cairo_image_surface_get_width(in), h = cairo_image_surface_get_height(in);
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_surface_flush(out);
    const int stride = cairo_image_surface_get_stride(in);
    uint8_t* inData = cairo_image_surface_get_data(in);
    uint8_t* outData = cairo_image_surface_get_data(out);
    if (hasBlur) {
      const int n = boxSize(radius * scale);
      boxConvolve(inData, outData, w, h, stride, n);
      boxConvolve(outData, inData, w, h, stride, n);
      boxConvolve(inData, outData, w, h, stride, n);
    }
    if (hasSaturationChange) {
      const auto m = saturationMatrix(saturation);
      if (hasBlur) matrixMultiply(outData, inData, w, h, stride, m);
      else matrixMultiply(inData, outData, w, h, stride, m);
    }
    cairo_surface_mark_dirty(in);
    cairo_surface_mark_dirty(out);
    const bool inHoldsResult = hasBlur && hasSaturationChange;
    effect = inHoldsResult ? in : out;
    spare = inHoldsResult ? out : in;
  }
  cairo_surface_t* result = drawnCopy(image, scale);
  {
    GraphicsContext g(result, scale);
    const Rect full(0, 0, size.width, size.height);
    // A saturation change alone reaches the output too: only "nothing to
    // do" leaves the input as it is.
    if (effect) {
      g.saveGState();
      if (mask) g.clipToMask(full, *mask);
      ImagePtr effectImage = Image::adopt(effect, scale);
      effect = nullptr;
      if (effectImage) g.drawImage(*effectImage, full);
      g.restoreGState();
    }
    if (tint) {
      g.saveGState();
      g.setFillColor(*tint);
      g.fillRect(full);
      g.restoreGState();
    }
  }
  if (effect) cairo_surface_destroy(effect);
  if (spare) cairo_surface_destroy(spare);
  return Image::adopt(result, scale);
}

ImagePtr applyLightEffect(const Image& image) {
  return applyBlurWithRadius(image, 30, Color::white(1.0, 0.3), 1.8, nullptr);
}

ImagePtr applyExtraLightEffect(const Image& image) {
  return applyBlurWithRadius(image, 20, Color::white(0.97, 0.82), 1.8, nullptr);
}

ImagePtr applyDarkEffect(const Image& image) {
  return applyBlurWithRadius(image, 20, Color::white(0.11, 0.73), 1.8, nullptr);
}

ImagePtr applyTintEffectWithColor(const Image& image, const Color& tint) {
  Color effectColor = tint;
  if (tint.numberOfComponents() == 2) {
    if (auto white = tint.whiteLevel()) effectColor = Color::white(*white, 0.6);
  } else {
    effectColor = Color::rgba(tint.red(), tint.green(), tint.blue(), 0.6);
  }
  return applyBlurWithRadius(image, 10, effectColor, -1.0, nullptr);
}

}  // namespace image_effects
