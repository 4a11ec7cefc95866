#include "platform/gfx/color.h"

namespace platform {

Color Color::hex(uint32_t rgb, double alpha) {
  return rgba(((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha);
}

std::optional<double> Color::whiteLevel() const {
  if (space_ != Space::Grey) return std::nullopt;
  return r_;
}

Color Color::withAlpha(double alpha) const {
  Color c = *this;
  c.a_ = alpha;
  return c;
}

Color Color::interpolated(const Color& o, double t) const {
  const auto mix = [t](double x, double y) { return x + (y - x) * t; };
  if (space_ == Space::Grey && o.space_ == Space::Grey) return white(mix(r_, o.r_), mix(a_, o.a_));
  return rgba(mix(r_, o.r_), mix(g_, o.g_), mix(b_, o.b_), mix(a_, o.a_));
}

}  // namespace platform
