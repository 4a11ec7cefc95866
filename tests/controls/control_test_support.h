#pragma once
// Small helpers of the control tests: solid test images and a view that
// records the touches passed up to it.

#include <string>
#include <vector>

#include "platform/gfx/graphics_context.h"
#include "platform/ui/view.h"

namespace controls_test {

// A w x h point image of one colour at scale 2.
inline platform::ImagePtr solid(const platform::Color& c, platform::Size size = {40, 40}) {
  platform::beginImageContext(size, false, 2.0);
  platform::currentGraphicsContext()->setFillColor(c);
  platform::currentGraphicsContext()->fillRect({0, 0, size.width, size.height});
  auto img = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return img;
}

// A vertical strip of `frames` frames of size x size points; frame i is
// filled with the grey level i (so a drawn frame can be read back).
inline platform::ImagePtr numberedStrip(int frames, double size) {
  platform::beginImageContext({size, size * frames}, false, 2.0);
  auto* c = platform::currentGraphicsContext();
  for (int i = 0; i < frames; ++i) {
    c->setFillColor(platform::Color::rgba(i / 255.0, 0, 1.0 - i / 255.0));
    c->fillRect({0, size * i, size, size});
  }
  auto img = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return img;
}

class TouchRecorder : public platform::View {
 public:
  using platform::View::View;
  void touchesBegan(const platform::TouchSet& t, const platform::Event*) override { log.push_back("began " + std::to_string(t.size())); }
  void touchesMoved(const platform::TouchSet& t, const platform::Event*) override { log.push_back("moved " + std::to_string(t.size())); }
  void touchesEnded(const platform::TouchSet& t, const platform::Event*) override { log.push_back("ended " + std::to_string(t.size())); }
  void touchesCancelled(const platform::TouchSet& t, const platform::Event*) override {
    log.push_back("cancelled " + std::to_string(t.size()));
  }
  std::vector<std::string> log;
};

}  // namespace controls_test
