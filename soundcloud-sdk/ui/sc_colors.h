#pragma once
// The SDK screens' colours (greys in the grey space, the orange and the
// background in RGB, as their components were given).

#include "platform/gfx/color.h"

namespace scui {

struct SCColors {
  static platform::Color transparentBlack() { return platform::Color::white(0.0, 0.2); }
  static platform::Color almostBlackColor() { return platform::Color::white(0.2, 1.0); }
  static platform::Color listSubtitleColor() { return platform::Color::white(0.51, 1.0); }
  static platform::Color soundCloudOrangeWithAlpha(double alpha) {
    return platform::Color::rgba(0.984, 0.388, 0.106, alpha);
  }
  static platform::Color soundCloudOrange() { return soundCloudOrangeWithAlpha(1.0); }
  static platform::Color soundCloudListShineThroughWhite() { return platform::Color::white(1.0, 0.8); }
  static platform::Color soundCloudBackgroundGrey() { return platform::Color::rgba(0.949, 0.949, 0.949, 1.0); }
  static platform::Color soundCloudGrey() { return platform::Color::rgba(0.4, 0.4, 0.4, 1.0); }
  static platform::Color soundCloudLightGrey() { return platform::Color::rgba(0.6, 0.6, 0.6, 1.0); }
  static platform::Color soundCloudSuperLightGrey() { return platform::Color::rgba(0.8, 0.8, 0.8, 1.0); }
};

}  // namespace scui
