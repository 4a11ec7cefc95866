// Image effects: box sizes, the saturation matrix, the no-effect path, the
// blur itself, saturation and tint results, and the refused inputs.

#include "controls/image_effects.h"

#include <gtest/gtest.h>

#include <cmath>

#include "controls/file_browser_drawing.h"
#include "control_test_support.h"
#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

class ImageEffectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_effects::setLogger([this](const std::string& s) { logged.push_back(s); });
  }
  void TearDown() override { image_effects::setLogger(nullptr); }

  // Black on the left half, white on the right, opaque, at scale 2.
  static ImagePtr halves(Size size = {40, 20}) {
    beginImageContext(size, true, 2.0);
    currentGraphicsContext()->setFillColor(Color::black());
    currentGraphicsContext()->fillRect({0, 0, size.width / 2, size.height});
    currentGraphicsContext()->setFillColor(Color::whiteColor());
    currentGraphicsContext()->fillRect({size.width / 2, 0, size.width / 2, size.height});
    ImagePtr img = imageFromCurrentImageContext();
    endImageContext();
    return img;
  }

  HeadlessBackend hb;  // the main screen at scale 2
  std::vector<std::string> logged;
};

TEST_F(ImageEffectsTest, BoxSizesAreAlwaysOdd) {
  struct Case {
    double radius;
    int box;
  };
  for (const Case& c : std::vector<Case>{{4, 9}, {1, 3}, {0.5, 1}, {30 * 2, 113}, {20 * 2, 75}, {10, 19}})
    EXPECT_EQ(image_effects::boxSize(c.radius), c.box) << c.radius;
}

TEST_F(ImageEffectsTest, SaturationMatrixInSteps_Of_1_256) {
  const auto identity = image_effects::saturationMatrix(1.0);
  const std::array<int16_t, 16> expectedIdentity = {256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256};
  EXPECT_EQ(identity, expectedIdentity);
  const auto inverted = image_effects::saturationMatrix(-1.0);
  // 0.0722 - 0.9278 = -0.8556 -> -219; 0.0722 + 0.0722 -> 37; 0.7152 - 0.2848 -> 110 ...
  const std::array<int16_t, 16> expectedInverted = {-219, 37, 37, 0, 366, 110, 366, 0, 109, 109, -147, 0, 0, 0, 0, 256};
  EXPECT_EQ(inverted, expectedInverted);
}

TEST_F(ImageEffectsTest, NoBlurAndNoSaturationIsTheInputWithTheTintOver) {
  ImagePtr in = controls_test::solid(Color::rgba(1, 0, 0), {20, 20});
  ImagePtr same = image_effects::applyBlurWithRadius(*in, 0, std::nullopt, 1.0, nullptr);
  ASSERT_TRUE(same);
  EXPECT_TRUE(same->samePixels(*in));
  ImagePtr tinted = image_effects::applyBlurWithRadius(*in, 0, Color::white(1.0, 0.5), 1.0, nullptr);
  ASSERT_TRUE(tinted);
  const Image::RGBA p = tinted->pixel(5, 5);
  EXPECT_EQ(p.r, 255);
  EXPECT_NEAR(p.g, 128, 1);
  EXPECT_NEAR(p.b, 128, 1);
}

TEST_F(ImageEffectsTest, BlurSoftensAnEdgeAndKeepsFlatAreas) {
  ImagePtr in = halves();
  ImagePtr out = image_effects::applyBlurWithRadius(*in, 2, std::nullopt, 1.0, nullptr);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->pixelWidth(), 80);
  EXPECT_EQ(out->pixelHeight(), 40);
  // Radius 2 points is 4 pixels: a box of 9, three passes reach 12 pixels.
  EXPECT_EQ(out->pixel(2, 20).r, 0) << "far left stays black (edges extended)";
  EXPECT_EQ(out->pixel(77, 20).r, 255) << "far right stays white";
  const int left = out->pixel(37, 20).r, right = out->pixel(42, 20).r;
  EXPECT_GT(left, 40);
  EXPECT_LT(left, 128);
  EXPECT_GT(right, 128);
  EXPECT_LT(right, 215);
  EXPECT_EQ(out->pixel(37, 0).r, out->pixel(37, 39).r) << "vertical edges extended, not faded";
}

TEST_F(ImageEffectsTest, SaturationMinusOneMovesAColourAcrossTheLuma) {
  ImagePtr in = controls_test::solid(Color::rgba(1, 0, 0), {10, 10});
  ImagePtr out = image_effects::applyBlurWithRadius(*in, 0, std::nullopt, -1.0, nullptr);
  ASSERT_TRUE(out);
  const Image::RGBA p = out->pixel(4, 4);
  EXPECT_EQ(p.r, 0);
  EXPECT_NEAR(p.g, 108, 1);
  EXPECT_NEAR(p.b, 108, 1);
  EXPECT_EQ(p.a, 255);
}

TEST_F(ImageEffectsTest, TintEffectTakesTheColoursWhiteOrRgbAtPointSix) {
  ImagePtr clear = Image::create(20, 20, 2.0);
  ImagePtr grey = image_effects::applyTintEffectWithColor(*clear, Color::white(0.5, 1.0));
  ASSERT_TRUE(grey);
  EXPECT_NEAR(grey->pixel(10, 10).a, 153, 1);
  EXPECT_NEAR(grey->pixel(10, 10).r, 128, 2);
  ImagePtr red = image_effects::applyTintEffectWithColor(*clear, Color::rgba(1, 0, 0, 0.2));
  ASSERT_TRUE(red);
  EXPECT_NEAR(red->pixel(10, 10).a, 153, 1) << "alpha 0.6 whatever the colour's own";
  EXPECT_EQ(red->pixel(10, 10).r, 255);
  EXPECT_EQ(red->pixel(10, 10).g, 0);
}

TEST_F(ImageEffectsTest, PresetsKeepAWhiteImageWhite) {
  ImagePtr in = controls_test::solid(Color::whiteColor(), {30, 30});
  for (auto effect : {image_effects::applyLightEffect, image_effects::applyExtraLightEffect}) {
    ImagePtr out = effect(*in);
    ASSERT_TRUE(out);
    EXPECT_GE(out->pixel(30, 30).r, 247);
  }
  ImagePtr dark = image_effects::applyDarkEffect(*in);
  ASSERT_TRUE(dark);
  EXPECT_LT(dark->pixel(30, 30).r, 120);
}

TEST_F(ImageEffectsTest, TooSmallImagesAreRefusedWithTheReasonLogged) {
  ImagePtr thin = Image::create(1, 20, 2.0);  // 0.5 x 10 points
  ASSERT_TRUE(thin);
  EXPECT_EQ(image_effects::applyBlurWithRadius(*thin, 5, std::nullopt, 1.0, nullptr), nullptr);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].rfind("*** error: invalid size: (0.50 x 10.00). Both dimensions must be >= 1: ", 0), 0u)
      << logged[0];
  EXPECT_EQ(image_effects::applyLightEffect(*thin), nullptr);
}

TEST_F(ImageEffectsTest, AMaskLimitsTheBlurredLayer) {
  ImagePtr in = halves();
  // Opaque white on the top half only: the blur shows there alone.
  beginImageContext({40, 20}, false, 2.0);
  currentGraphicsContext()->setFillColor(Color::whiteColor());
  currentGraphicsContext()->fillRect({0, 0, 40, 10});
  ImagePtr mask = imageFromCurrentImageContext();
  endImageContext();
  ImagePtr out = image_effects::applyBlurWithRadius(*in, 2, std::nullopt, 1.0, mask.get());
  ASSERT_TRUE(out);
  EXPECT_GT(out->pixel(37, 5).r, 40) << "blurred under the mask";
  EXPECT_EQ(out->pixel(37, 35).r, 0) << "the input where the mask is clear";
}

// ---- small drawing pieces ----

TEST_F(ImageEffectsTest, BrowserTintIsTheSinglePrecisionColour) {
  const Color c = fileBrowserTintColor();
  EXPECT_EQ(static_cast<float>(c.red()), 1.0f);
  EXPECT_EQ(static_cast<float>(c.green()), 0.4f);
  EXPECT_EQ(static_cast<float>(c.blue()), 0.2f);
  EXPECT_EQ(static_cast<float>(c.alpha()), 0.8f);
  EXPECT_NE(c.green(), 0.4);
  EXPECT_NEAR(c.green(), 0.4, 1e-6);

  auto window = hb.makeWindow();
  auto selected = std::make_shared<ListSelectedBackgroundView>(Rect(0, 0, 50, 20));
  window->addSubview(selected);
  EXPECT_EQ(selected->backgroundColor(), Color::clear());
  ImagePtr shot = hb.renderView(*selected);
  ASSERT_TRUE(shot);
  const Image::RGBA p = shot->pixelAt({25, 10});
  EXPECT_NEAR(p.a, 204, 1);
  EXPECT_NEAR(p.r, 255, 1);
  EXPECT_NEAR(p.g, 102, 2);
  EXPECT_NEAR(p.b, 51, 2);
}

TEST_F(ImageEffectsTest, CroppingTakesPixelsAndGivesScaleOne) {
  ImagePtr in = halves({40, 20});  // 80 x 40 pixels at scale 2
  ImagePtr cut = GraphicUtil::imageByCropping(*in, Rect(35, 5, 10, 10));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->scale(), 1.0);
  EXPECT_EQ(cut->size(), Size(10, 10));
  EXPECT_EQ(cut->pixel(0, 0).r, 0);
  EXPECT_EQ(cut->pixel(9, 0).r, 255);
  EXPECT_EQ(GraphicUtil::imageByCropping(*in, Rect(200, 200, 10, 10)), nullptr);
  FileBrowserTableViewCell cell(TableViewCell::Style::Default, "file");
  EXPECT_EQ(cell.reuseIdentifier(), "file");
}

}  // namespace
