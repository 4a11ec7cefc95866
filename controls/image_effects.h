#pragma once
// Frosted-glass copies of an image: blurred (three box passes of an odd
// size, close to a Gaussian), optionally with the colour saturation changed
// by a Rec. 709 luma matrix in integer arithmetic, masked, and tinted. The
// main screen uses the light effect on a snapshot of its own view.
//
// Each returns a new image the size of the input at the main screen's
// scale, or nullptr (with the reason logged) when the input is smaller than
// one point either way or an image has no pixels.
//
// Any thread (no shared state besides the log sink, set at start-up).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/gfx/color.h"
#include "platform/gfx/image.h"

namespace image_effects {

platform::ImagePtr applyLightEffect(const platform::Image& image);
platform::ImagePtr applyExtraLightEffect(const platform::Image& image);
platform::ImagePtr applyDarkEffect(const platform::Image& image);
// Blur 10 and inverted saturation, tinted with the colour (its white or its
// red, green and blue) at alpha 0.6.
platform::ImagePtr applyTintEffectWithColor(const platform::Image& image, const platform::Color& tint);
platform::ImagePtr applyBlurWithRadius(const platform::Image& image, double radius,
                                       const std::optional<platform::Color>& tintColor, double saturationDeltaFactor,
                                       const platform::Image* maskImage);

// The odd box size of the three passes for a radius in pixels.
int boxSize(double radiusPixels);
// The 4 x 4 saturation matrix scaled by 256 and rounded (rows by input
// channel in memory order blue, green, red, alpha; columns the outputs).
std::array<int16_t, 16> saturationMatrix(double s);

// Where the error texts go; standard error when not set.
void setLogger(std::function<void(const std::string&)> logger);

}  // namespace image_effects
