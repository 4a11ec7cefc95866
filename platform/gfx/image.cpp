#include "platform/gfx/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/foundation/atomic_file.h"
#include "platform/foundation/bundle.h"
#include "platform/gfx/jpeg_decoder.h"

namespace platform {

namespace {

struct ByteReader {
  std::span<const uint8_t> bytes;
  size_t pos = 0;
};

cairo_status_t readBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* r = static_cast<ByteReader*>(closure);
  if (r->pos + length > r->bytes.size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, r->bytes.data() + r->pos, length);
  r->pos += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// PNGs decode into whatever format suits them (RGB24 for opaque files, A8 for
// masks); every image of the system is ARGB32 so drawing code has one format.
cairo_surface_t* toARGB32(cairo_surface_t* s) {
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  if (cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32) return s;
  const int w = cairo_image_surface_get_width(s);
  const int h = cairo_image_surface_get_height(s);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(out);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return out;
}

std::mutex& namedMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::shared_ptr<Image>>& namedCache() {
  static std::map<std::string, std::shared_ptr<Image>> cache;
  return cache;
}

}  // namespace

Image::Image(cairo_surface_t* surface, double scale)
    : surface_(surface),
      width_(cairo_image_surface_get_width(surface)),
      height_(cairo_image_surface_get_height(surface)),
      scale_(scale > 0 ? scale : 1.0) {}

Image::Image(std::filesystem::path lazyPath, int width, int height, double scale)
    : surface_(nullptr), lazyPath_(std::move(lazyPath)), width_(width), height_(height), scale_(scale > 0 ? scale : 1.0) {}

Image::~Image() {
  if (cairo_surface_t* s = surface_.load(std::memory_order_acquire)) cairo_surface_destroy(s);
}

cairo_surface_t* Image::pixels() const {
  if (cairo_surface_t* s = surface_.load(std::memory_order_acquire)) return s;
  std::call_once(decodeOnce_, [this] {
    cairo_surface_t* decoded = nullptr;
    if (auto bytes = readFile(lazyPath_)) {
      ByteReader reader{*bytes};
      decoded = toARGB32(cairo_image_surface_create_from_png_stream(readBytes, &reader));
    }
    // Changed or gone since its header was read: what was promised, blank.
    if (decoded && (cairo_image_surface_get_width(decoded) != width_ || cairo_image_surface_get_height(decoded) != height_)) {
      cairo_surface_destroy(decoded);
      decoded = nullptr;
    }
    if (!decoded) decoded = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    surface_.store(decoded, std::memory_order_release);
  });
  return surface_.load(std::memory_order_acquire);
}

bool Image::isDecoded() const { return surface_.load(std::memory_order_acquire) != nullptr; }

std::shared_ptr<Image> Image::fromPNGLazily(const std::filesystem::path& path, double scale) {
  // The signature, then the header chunk: length 13, "IHDR", width, height.
  static const uint8_t kStart[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  uint8_t head[24];
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  const size_t got = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  if (got != sizeof head || std::memcmp(head, kStart, sizeof kStart) != 0) return nullptr;
  const auto be32 = [&](int at) {
    return (uint32_t{head[at]} << 24) | (uint32_t{head[at + 1]} << 16) | (uint32_t{head[at + 2]} << 8) | head[at + 3];
  };
  const uint32_t w = be32(16), h = be32(20);
  // Cairo's own limit for an image surface.
  if (w < 1 || h < 1 || w > 32767 || h > 32767) return nullptr;
  return std::shared_ptr<Image>(new Image(path, static_cast<int>(w), static_cast<int>(h), scale));
}

std::shared_ptr<Image> Image::create(int pixelWidth, int pixelHeight, double scale) {
  if (pixelWidth < 1 || pixelHeight < 1) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return std::shared_ptr<Image>(new Image(s, scale));
}

std::shared_ptr<Image> Image::adopt(cairo_surface_t* surface, double scale) {
  if (!surface) return nullptr;
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  surface = toARGB32(surface);
  if (!surface) return nullptr;
  return std::shared_ptr<Image>(new Image(surface, scale));
}

std::shared_ptr<Image> Image::fromPNG(const std::filesystem::path& path, double scale) {
  auto bytes = readFile(path);
  if (!bytes) return nullptr;
  return fromPNGData(*bytes, scale);
}

std::shared_ptr<Image> Image::fromPNGData(std::span<const uint8_t> bytes, double scale) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return nullptr;
  ByteReader reader{bytes};
  cairo_surface_t* s = toARGB32(cairo_image_surface_create_from_png_stream(readBytes, &reader));
  if (!s) return nullptr;
  return std::shared_ptr<Image>(new Image(s, scale));
}

std::shared_ptr<Image> Image::fromJPEGData(std::span<const uint8_t> bytes, double scale, std::string* why) {
  auto pixels = decodeJPEG(bytes, why);
  if (!pixels) return nullptr;
  auto image = create(pixels->width, pixels->height, scale);
  if (!image) {
    if (why) *why = "cannot make an image of that size";
    return nullptr;
  }
  // Opaque pixels: premultiplied or not, the bytes are the same.
  cairo_surface_t* s = image->pixels();
  cairo_surface_flush(s);
  unsigned char* dst = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  const size_t row = static_cast<size_t>(pixels->width) * 4;
  for (int y = 0; y < pixels->height; ++y)
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * stride, pixels->bgra.data() + static_cast<size_t>(y) * row, row);
  cairo_surface_mark_dirty(s);
  return image;
}

std::shared_ptr<Image> Image::fromData(std::span<const uint8_t> bytes, double scale, std::string* why) {
  if (looksLikeJPEG(bytes)) return fromJPEGData(bytes, scale, why);
  auto image = fromPNGData(bytes, scale);
  if (!image && why) *why = "neither a PNG nor a JPEG image";
  return image;
}

std::shared_ptr<Image> Image::named(const std::string& name) {
  if (name.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(namedMutex());
  auto& cache = namedCache();
  if (auto it = cache.find(name); it != cache.end()) return it->second;
  std::string file = name;
  if (file.size() < 4 || file.compare(file.size() - 4, 4, ".png") != 0) file += ".png";
  auto image = fromPNGLazily(Bundle::mainBundle().resourcePath() / file, kBundleImageScale);
  // Missing images are not cached: a bundle that is still being written (or
  // a test's copy) may gain the file later.
  if (image) cache[name] = image;
  return image;
}

void Image::clearNamedCache() {
  std::lock_guard<std::mutex> lock(namedMutex());
  namedCache().clear();
}

std::shared_ptr<Image> Image::withScale(double scale) const {
  cairo_surface_t* s = pixels();
  cairo_surface_reference(s);
  return std::shared_ptr<Image>(new Image(s, scale));
}

std::shared_ptr<Image> Image::cropped(const Rect& pixelRect, double scale) const {
  const Rect r = pixelRect.standardized().intersection(Rect(0, 0, width_, height_));
  if (r.isEmpty()) return nullptr;
  const int x0 = static_cast<int>(std::floor(r.minX()));
  const int y0 = static_cast<int>(std::floor(r.minY()));
  const int x1 = static_cast<int>(std::ceil(r.maxX()));
  const int y1 = static_cast<int>(std::ceil(r.maxY()));
  auto out = create(x1 - x0, y1 - y0, scale);
  if (!out) return nullptr;
  cairo_t* cr = cairo_create(out->pixels());
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, pixels(), -x0, -y0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(out->pixels());
  return out;
}

std::shared_ptr<Image> Image::resized(Size points, double scale) const {
  const int w = static_cast<int>(std::lround(points.width * scale));
  const int h = static_cast<int>(std::lround(points.height * scale));
  auto out = create(w, h, scale);
  if (!out) return nullptr;
  cairo_t* cr = cairo_create(out->pixels());
  cairo_scale(cr, static_cast<double>(w) / width_, static_cast<double>(h) / height_);
  cairo_set_source_surface(cr, pixels(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(out->pixels());
  return out;
}

std::vector<uint8_t> Image::pngData() const {
  std::vector<uint8_t> out;
  cairo_surface_write_to_png_stream(pixels(), appendBytes, &out);
  return out;
}

bool Image::writePNG(const std::filesystem::path& path, std::string* error) const {
  const std::vector<uint8_t> bytes = pngData();
  if (bytes.empty()) {
    if (error) *error = "PNG encoding failed";
    return false;
  }
  return writeFileAtomically(path, bytes, error);
}

Image::RGBA Image::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
  const unsigned char* data = cairo_image_surface_get_data(pixels());
  const int stride = cairo_image_surface_get_stride(pixels());
  uint32_t v;
  std::memcpy(&v, data + y * stride + x * 4, 4);
  const uint8_t a = v >> 24;
  if (a == 0) return {};
  const auto un = [a](uint32_t c) { return static_cast<uint8_t>(std::min<uint32_t>(255, (c * 255 + a / 2) / a)); };
  return {un((v >> 16) & 0xFF), un((v >> 8) & 0xFF), un(v & 0xFF), a};
}

Image::RGBA Image::pixelAt(Point p) const {
  return pixel(static_cast<int>(std::floor(p.x * scale_)), static_cast<int>(std::floor(p.y * scale_)));
}

bool Image::samePixels(const Image& o) const {
  if (width_ != o.width_ || height_ != o.height_) return false;
  const unsigned char* a = cairo_image_surface_get_data(pixels());
  const unsigned char* b = cairo_image_surface_get_data(o.pixels());
  const int sa = cairo_image_surface_get_stride(pixels());
  const int sb = cairo_image_surface_get_stride(o.pixels());
  for (int y = 0; y < height_; ++y) {
    if (std::memcmp(a + y * sa, b + y * sb, static_cast<size_t>(width_) * 4) != 0) return false;
  }
  return true;
}

}  // namespace platform
