#include "soundcloud-sdk/ui/sc_ui_utils.h"

#include <openssl/evp.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <random>

#include "platform/gfx/graphics_context.h"
#include "platform/ui/screen.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

namespace scui {

// ---- reply bodies and texts

jk::Value scJSONObject(std::string_view bytes) {
  jk::JSONDecoder decoder;
  return decoder.objectWithUTF8String(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::optional<std::string> scErrorMessageFrom422Error(std::string_view bytes) {
  const jk::Value json = scJSONObject(bytes);
  if (!json.isDictionary()) return std::nullopt;
  const jk::Value errors = json["errors"];
  if (!errors.isArray() || errors.count() == 0) return std::nullopt;
  const jk::Value first = errors[size_t{0}];
  if (!first.isDictionary()) return std::nullopt;
  const jk::Value message = first["error_message"];
  if (!message.isString()) return std::nullopt;
  return std::string(message.stringView());
}

std::string scStringWithUUID() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  uint8_t b[16];
  for (int i = 0; i < 16; i += 8) {
    const uint64_t r = rng();
    for (int k = 0; k < 8; ++k) b[i + k] = static_cast<uint8_t>(r >> (8 * k));
  }
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // variant 1
  char out[37];
  std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return out;
}

std::string scStringWithSeconds(double seconds) {
  const double ms = seconds * 1000.0;
  return scStringWithMilliseconds(ms > 0 ? static_cast<uint64_t>(ms) : 0);
}

std::string scStringWithMilliseconds(uint64_t milliseconds) {
  const uint64_t total = milliseconds / 1000;
  const unsigned hours = static_cast<unsigned>(total / 3600);
  const unsigned minutes = static_cast<unsigned>((total / 60) % 60);
  const unsigned seconds = static_cast<unsigned>(total % 60);
  std::string out;
  char buf[32];
  if (hours > 0) {
    std::snprintf(buf, sizeof buf, "%u.", hours);
    out += buf;
    std::snprintf(buf, sizeof buf, minutes < 10 ? "0%u." : "%u.", minutes);
  } else {
    std::snprintf(buf, sizeof buf, "%u.", minutes);
  }
  out += buf;
  std::snprintf(buf, sizeof buf, seconds < 10 ? "0%u" : "%u", seconds);
  return out + buf;
}

std::string scStringWithInteger(int value, int upperRange) {
  return value > upperRange ? std::to_string(upperRange) + "+" : std::to_string(value);
}

std::vector<std::string> scComponentsSeparatedByWhitespacePreservingQuotations(std::string_view text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    if (text[i] == '"') {
      const size_t end = text.find('"', i + 1);
      const size_t stop = end == std::string_view::npos ? text.size() : end;
      std::string word(text.substr(i + 1, stop - i - 1));
      if (!word.empty()) out.push_back(std::move(word));
      i = end == std::string_view::npos ? text.size() : end + 1;
      continue;
    }
    const size_t end = text.find(' ', i);
    const size_t stop = end == std::string_view::npos ? text.size() : end;
    out.emplace_back(text.substr(i, stop - i));
    i = stop;
  }
  return out;
}

namespace {

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
  size_t pos = 0;
  while ((pos = s.find(from, pos)) != std::string::npos) {
    s.replace(pos, from.size(), to);
    pos += to.size();
  }
}

constexpr std::pair<const char*, const char*> kXMLEntities[] = {
    {"&", "&amp;"},           {"\"", "&quot;"},       {"'", "&#39;"},         {">", "&gt;"},
    {"<", "&lt;"},            {"\xC3\xA4", "&auml;"}, {"\xC3\x84", "&Auml;"}, {"\xC3\xB6", "&ouml;"},
    {"\xC3\x96", "&Ouml;"},   {"\xC3\xBC", "&uuml;"}, {"\xC3\x9C", "&Uuml;"}, {"\xC3\x9F", "&szlig;"},
    {" ", "&nbsp;"},
};

}  // namespace

std::string scStringByEscapingXMLEntities(std::string text) {
  for (const auto& [plain, entity] : kXMLEntities) replaceAll(text, plain, entity);
  return text;
}

std::string scStringByUnescapingXMLEntities(std::string text) {
  for (const auto& [plain, entity] : kXMLEntities) replaceAll(text, entity, plain);
  return text;
}

std::string scStringByAddingURLEncoding(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char ch : text) {
    if (std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_' || ch == '~') {
      out += static_cast<char>(ch);
    } else {
      out += '%';
      out += hex[ch >> 4];
      out += hex[ch & 15];
    }
  }
  return out;
}

std::string scStringByRemovingURLEncoding(std::string_view text) { return std::string(text); }

std::string scMD5Value(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
  std::string out;
  char buf[3];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", digest[i]);
    out += buf;
  }
  return out;
}

std::map<std::string, std::string> scDictionaryFromQuery(std::string_view query) {
  std::map<std::string, std::string> out;
  size_t start = 0;
  while (start <= query.size()) {
    const size_t amp = query.find('&', start);
    const std::string_view piece = query.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
    const size_t eq = piece.find('=');
    if (eq != std::string_view::npos && piece.find('=', eq + 1) == std::string_view::npos)
      out[scStringByRemovingURLEncoding(piece.substr(0, eq))] = scStringByRemovingURLEncoding(piece.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    start = amp + 1;
  }
  return out;
}

// ---- the device

namespace {
std::optional<SCInterfaceIdiom>& idiomSetting() {
  static std::optional<SCInterfaceIdiom> idiom = SCInterfaceIdiom::Phone;
  return idiom;
}
std::optional<SCDevice::Orientation>& orientationSetting() {
  static std::optional<SCDevice::Orientation> o;
  return o;
}
}  // namespace

void SCDevice::setInterfaceIdiom(std::optional<SCInterfaceIdiom> idiom) { idiomSetting() = idiom; }
std::optional<SCInterfaceIdiom> SCDevice::interfaceIdiom() { return idiomSetting(); }
bool SCDevice::isIPad() { return idiomSetting() == SCInterfaceIdiom::Pad; }
bool SCDevice::isTallIphone() {
  if (idiomSetting() != SCInterfaceIdiom::Phone) return false;
  return platform::Screen::mainScreen().bounds().size.height >= 568.0;
}
void SCDevice::setOrientation(std::optional<Orientation> o) { orientationSetting() = o; }
SCDevice::Orientation SCDevice::orientation() {
  if (orientationSetting()) return *orientationSetting();
  const platform::Rect b = platform::Screen::mainScreen().bounds();
  return b.size.width > b.size.height ? Orientation::LandscapeLeft : Orientation::Portrait;
}

// ---- images

std::optional<SCStretchableImage> scImageNamed(const std::string& name, int leftCapWidth, int topCapHeight) {
  platform::ImagePtr image = platform::Image::named(name);
  if (!image) return std::nullopt;
  return SCStretchableImage{std::move(image), leftCapWidth, topCapHeight};
}

platform::ImagePtr scImageWithColor(const platform::Color& color) { return scImageWithColor(color, {1, 1}); }

platform::ImagePtr scImageWithColor(const platform::Color& color, platform::Size size) {
  platform::beginImageContext(size, false, 1.0);
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  c->setFillColor(color);
  c->fillRect({0, 0, size.width, size.height});
  platform::ImagePtr out = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return out;
}

platform::ImagePtr scImageByResizing(const platform::Image& image, platform::Size size) {
  return scImageByResizing(image, size, false);
}

platform::ImagePtr scImageByResizing(const platform::Image& image, platform::Size size, bool forRetinaDisplay) {
  const bool retina = forRetinaDisplay && platform::Screen::mainScreen().scale() == 2.0;
  platform::beginImageContext(size, retina, retina ? 2.0 : 1.0);
  platform::currentGraphicsContext()->drawImage(image, {0, 0, size.width, size.height});
  platform::ImagePtr out = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return out;
}

platform::ImagePtr scImageByRotation(const platform::Image& image, int orientation) {
  // Pixel moves of the four orientations: 0 as it is, 1 turned half way,
  // 2 turned a quarter to the left, 3 a quarter to the right (the last two
  // swap width and height). Any other orientation leaves the picture as it
  // is.
  const int W = image.pixelWidth(), H = image.pixelHeight();
  const bool swap = orientation == 2 || orientation == 3;
  const int outW = swap ? H : W, outH = swap ? W : H;
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, outW, outH);
  cairo_surface_t* in = image.surface();
  cairo_surface_flush(in);
  cairo_surface_flush(out);
  const unsigned char* src = cairo_image_surface_get_data(in);
  unsigned char* dst = cairo_image_surface_get_data(out);
  const int srcStride = cairo_image_surface_get_stride(in), dstStride = cairo_image_surface_get_stride(out);
  for (int r = 0; r < H; ++r) {
    for (int c = 0; c < W; ++c) {
      int x = c, y = r;
      switch (orientation) {
        case 1: x = W - 1 - c; y = H - 1 - r; break;
        case 2: x = r; y = W - 1 - c; break;
        case 3: x = H - 1 - r; y = c; break;
        default: break;
      }
      std::memcpy(dst + y * dstStride + x * 4, src + r * srcStride + c * 4, 4);
    }
  }
  cairo_surface_mark_dirty(out);
  return platform::Image::adopt(out, 1.0);
}

// ---- views and controllers

void scResignFirstResponderOfAllSubviews(platform::View& view) {
  view.resignFirstResponder();
  for (const auto& sub : view.subviews()) scResignFirstResponderOfAllSubviews(*sub);
}

platform::View* scFirstResponderFromSubviews(platform::View& view) {
  if (view.isFirstResponder()) return &view;
  for (const auto& sub : view.subviews())
    if (platform::View* found = scFirstResponderFromSubviews(*sub)) return found;
  return nullptr;
}

platform::View* scEnclosingScrollView(const platform::View& view) {
  for (platform::View* v = view.superview(); v; v = v->superview())
    if (dynamic_cast<platform::ScrollView*>(v)) return v;
  return nullptr;
}

platform::ViewController* scModalPresentingViewController(const platform::ViewController& controller) {
  if (platform::ViewController* p = controller.presentingViewController()) return p;
  return controller.parentViewController();
}

}  // namespace scui
