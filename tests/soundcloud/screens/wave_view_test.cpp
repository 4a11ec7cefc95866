#include "soundcloud/screens/wave_view.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/headless_backend.h"

using namespace platform;
using tssc::WaveView;

namespace {
bool near(Image::RGBA p, int r, int g, int b, int tol = 3) {
  return std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol;
}
// Grey level of the gradient at fraction t of the height (0.228 - 0.58 - 0.228).
int gradientAt(double t) {
  const double level = t <= 0.5 ? 0.228 + (0.58 - 0.228) * (t / 0.5) : 0.58 - (0.58 - 0.228) * ((t - 0.5) / 0.5);
  return static_cast<int>(level * 255 + 0.5);
}
}  // namespace

TEST(WaveView, DrawsTheGradientTheWaveformAndThePlayedPartByPixel) {
  HeadlessBackend hb({600, 400}, 1.0);
  auto view = std::make_shared<WaveView>(Rect{0, 0, 200, 100});
  EXPECT_EQ(view->locator(), 0.0f);
  EXPECT_FALSE(view->visible());
  ImagePtr img = hb.renderView(*view);
  EXPECT_TRUE(near(img->pixel(150, 50), gradientAt(0.5), gradientAt(0.5), gradientAt(0.5)));
  EXPECT_TRUE(near(img->pixel(150, 0), gradientAt(0.0), gradientAt(0.0), gradientAt(0.0)));
  EXPECT_TRUE(near(img->pixel(150, 25), gradientAt(0.25), gradientAt(0.25), gradientAt(0.25)));
  // A waveform: an opaque white bar over rows 40 to 60.
  auto wave = Image::create(200, 100);
  {
    GraphicsContext c(wave->surface(), 1.0);
    c.setFillColor(Color::whiteColor());
    c.fillRect({0, 40, 200, 20});
  }
  view->setWaveform(wave);
  view->setLocator(0.5f);
  img = hb.renderView(*view);
  EXPECT_TRUE(near(img->pixel(150, 50), 255, 255, 255));
  // Played part: (0.96, 0.84, 0.66) at 0.6 over what is under it.
  auto over = [](double under, double c) { return static_cast<int>((c * 0.6 + under * 0.4) * 255 + 0.5); };
  EXPECT_TRUE(near(img->pixel(50, 50), over(1, 0.96), over(1, 0.84), over(1, 0.66)));
  const double g = gradientAt(0.1) / 255.0;
  EXPECT_TRUE(near(img->pixel(50, 10), over(g, 0.96), over(g, 0.84), over(g, 0.66), 4));
  // The locator's line at x 100 is orange-red.
  Image::RGBA line = img->pixel(99, 10);
  EXPECT_GT(line.r, 200);
  EXPECT_LT(line.b, 100);
  EXPECT_TRUE(near(img->pixel(150, 10), gradientAt(0.1), gradientAt(0.1), gradientAt(0.1)));
}

TEST(WaveView, DraggingSetsTheLocatorFromZeroUpAndSendsValueChanged) {
  HeadlessBackend hb({600, 400}, 1.0);
  auto window = hb.makeWindow();
  auto view = std::make_shared<WaveView>(Rect{100, 100, 200, 50});
  window->addSubview(view);
  std::vector<float> sent;
  view->addTarget(nullptr, "", [&](Control& c) { sent.push_back(static_cast<WaveView&>(c).locator()); },
                  ControlEvents::ValueChanged);
  hb.touchDown({150, 120});
  EXPECT_TRUE(sent.empty());  // a touch that does not move sets nothing
  hb.touchMove({200, 120});
  EXPECT_FLOAT_EQ(view->locator(), 0.5f);
  hb.touchMove({50, 120});
  EXPECT_FLOAT_EQ(view->locator(), 0.0f);
  hb.touchMove({400, 120});
  EXPECT_FLOAT_EQ(view->locator(), 1.5f);
  hb.touchUp({400, 120});
  EXPECT_EQ(sent, (std::vector<float>{0.5f, 0.0f, 1.5f}));
}
