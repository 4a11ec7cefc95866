#pragma once
// Colours in one of two spaces, as the platform keeps them: grey (white level
// and alpha, two components) or RGB (red, green, blue, alpha). A colour
// remembers its space, and its components read back exactly as they were
// given (single-precision drawing code compares them), so code that asks
// "is this a grey colour" gets the platform's answer.
//
// Plain value; thread-safe as any value is.

#include <cstdint>
#include <optional>

namespace platform {

class Color {
 public:
  enum class Space { Grey, RGB };

  // Opaque black in the grey space.
  Color() = default;
  static Color white(double white, double alpha = 1.0) { return Color(Space::Grey, white, white, white, alpha); }
  static Color rgba(double r, double g, double b, double a = 1.0) { return Color(Space::RGB, r, g, b, a); }
  // 0xRRGGBB with an alpha.
  static Color hex(uint32_t rgb, double alpha = 1.0);

  static Color clear() { return white(0.0, 0.0); }
  static Color black() { return white(0.0, 1.0); }
  static Color whiteColor() { return white(1.0, 1.0); }
  static Color darkGray() { return white(1.0 / 3.0, 1.0); }
  static Color lightGray() { return white(2.0 / 3.0, 1.0); }
  static Color gray() { return white(0.5, 1.0); }
  static Color redColor() { return rgba(1, 0, 0, 1); }
  static Color greenColor() { return rgba(0, 1, 0, 1); }
  static Color blueColor() { return rgba(0, 0, 1, 1); }

  Space space() const { return space_; }
  int numberOfComponents() const { return space_ == Space::Grey ? 2 : 4; }

  double red() const { return r_; }
  double green() const { return g_; }
  double blue() const { return b_; }
  double alpha() const { return a_; }

  // The white level of a grey colour; empty for an RGB colour, as the
  // platform's getWhite fails for colours of another space.
  std::optional<double> whiteLevel() const;

  Color withAlpha(double alpha) const;
  // Component-wise mix: (1 - t) * this + t * other, in RGB unless both are grey.
  Color interpolated(const Color& other, double t) const;

  bool operator==(const Color&) const = default;

 private:
  Color(Space s, double r, double g, double b, double a) : space_(s), r_(r), g_(g), b_(b), a_(a) {}

  Space space_ = Space::Grey;
  double r_ = 0.0, g_ = 0.0, b_ = 0.0, a_ = 1.0;
};

}  // namespace platform
