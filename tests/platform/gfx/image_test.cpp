#include "platform/gfx/image.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "platform/foundation/bundle.h"
#include "platform/gfx/graphics_context.h"

namespace fs = std::filesystem;
using platform::Color;
using platform::Image;
using platform::Rect;

namespace {

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-image-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    platform::Bundle::setMainBundlePath(std::nullopt);
    Image::clearNamedCache();
    fs::remove_all(dir);
  }

  // Four 2x2-pixel quadrants: red, green / blue, half-transparent white.
  static std::shared_ptr<Image> quadrants(double scale) {
    platform::beginImageContext({4 / scale, 4 / scale}, false, scale);
    auto* ctx = platform::currentGraphicsContext();
    const double h = 2 / scale;
    ctx->setFillColor(Color::rgba(1, 0, 0));
    ctx->fillRect({0, 0, h, h});
    ctx->setFillColor(Color::rgba(0, 1, 0));
    ctx->fillRect({h, 0, h, h});
    ctx->setFillColor(Color::rgba(0, 0, 1));
    ctx->fillRect({0, h, h, h});
    ctx->setFillColor(Color::white(1, 0.5));
    ctx->fillRect({h, h, h, h});
    auto image = platform::imageFromCurrentImageContext();
    platform::endImageContext();
    return image;
  }

  fs::path dir;
};

TEST_F(ImageTest, SizeIsPixelsOverScale) {
  auto image = Image::create(69, 124, 2.0);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size().width, 34.5);
  EXPECT_EQ(image->size().height, 62);
  EXPECT_FALSE(Image::create(0, 5));
}

TEST_F(ImageTest, PngRoundTripKeepsPixelsIncludingPartialAlpha) {
  auto image = quadrants(2.0);
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->writePNG(dir / "q.png"));
  auto back = Image::fromPNG(dir / "q.png", 2.0);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->samePixels(*image));
  EXPECT_EQ(back->pixel(0, 0), (Image::RGBA{255, 0, 0, 255}));
  EXPECT_EQ(back->pixel(3, 0), (Image::RGBA{0, 255, 0, 255}));
  EXPECT_EQ(back->pixel(0, 3), (Image::RGBA{0, 0, 255, 255}));
  const Image::RGBA half = back->pixel(3, 3);
  EXPECT_NEAR(half.a, 128, 1);
  EXPECT_EQ(half.r, 255);
  // Points are scaled to pixels.
  EXPECT_EQ(back->pixelAt({1.5, 0.2}), (Image::RGBA{0, 255, 0, 255}));
}

TEST_F(ImageTest, UnreadableFilesGiveNothing) {
  EXPECT_FALSE(Image::fromPNG(dir / "missing.png"));
  std::ofstream(dir / "bad.png") << "not a png at all";
  EXPECT_FALSE(Image::fromPNG(dir / "bad.png"));
  // A truncated PNG.
  auto image = quadrants(1.0);
  auto bytes = image->pngData();
  bytes.resize(bytes.size() / 2);
  EXPECT_FALSE(Image::fromPNGData(bytes));
}

TEST_F(ImageTest, CropTakesAPixelRectangleWithTheGivenScale) {
  auto image = quadrants(1.0);
  auto strip = image->cropped(Rect(2, 0, 2, 4), 2.0);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->pixelWidth(), 2);
  EXPECT_EQ(strip->pixelHeight(), 4);
  EXPECT_EQ(strip->scale(), 2.0);
  EXPECT_EQ(strip->pixel(0, 0), (Image::RGBA{0, 255, 0, 255}));
  EXPECT_NEAR(strip->pixel(1, 3).a, 128, 1);
  // Clipped to the image; nothing inside gives nothing.
  auto clipped = image->cropped(Rect(3, 3, 10, 10), 1.0);
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->pixelWidth(), 1);
  EXPECT_FALSE(image->cropped(Rect(4, 0, 2, 2), 1.0));
}

TEST_F(ImageTest, NamedImagesComeFromTheBundleAtTwoPixelsPerPoint) {
  platform::Bundle::setMainBundlePath(dir);
  Image::clearNamedCache();
  ASSERT_TRUE(quadrants(1.0)->writePNG(dir / "ledRed.png"));
  auto led = Image::named("ledRed");
  ASSERT_TRUE(led);
  EXPECT_EQ(led->scale(), platform::kBundleImageScale);
  EXPECT_EQ(led->size().width, 2);
  EXPECT_EQ(Image::named("ledRed.png"), Image::named("ledRed.png"));  // cached
  EXPECT_FALSE(Image::named("ledBlue"));
  // A file that appears later is found: misses are not cached.
  ASSERT_TRUE(quadrants(1.0)->writePNG(dir / "ledBlue.png"));
  EXPECT_TRUE(Image::named("ledBlue"));
}

// A lazy image knows its size from the file's header and reads the pixels
// only when something wants them; they are then those of the file.
TEST_F(ImageTest, ALazyImageDecodesOnFirstUseOnly) {
  auto image = quadrants(1.0);
  ASSERT_TRUE(image->writePNG(dir / "q.png"));
  auto lazy = Image::fromPNGLazily(dir / "q.png", 2.0);
  ASSERT_TRUE(lazy);
  EXPECT_FALSE(lazy->isDecoded());
  EXPECT_EQ(lazy->pixelWidth(), 4);
  EXPECT_EQ(lazy->pixelHeight(), 4);
  EXPECT_EQ(lazy->size().width, 2);
  EXPECT_FALSE(lazy->isDecoded()) << "asking for the size decodes nothing";
  EXPECT_TRUE(lazy->samePixels(*image));
  EXPECT_TRUE(lazy->isDecoded());

  // Every way in to the pixels decodes them.
  const std::pair<const char*, std::function<void(const Image&)>> uses[] = {
      {"surface", [](const Image& i) { (void)i.surface(); }},
      {"pixel", [](const Image& i) { (void)i.pixel(0, 0); }},
      {"cropped", [](const Image& i) { EXPECT_EQ(i.cropped(Rect(2, 0, 2, 2), 1.0)->pixel(0, 0).g, 255); }},
      {"withScale", [](const Image& i) { EXPECT_EQ(i.withScale(1.0)->pixel(0, 3).b, 255); }},
      {"pngData", [](const Image& i) { EXPECT_FALSE(i.pngData().empty()); }},
  };
  for (const auto& [name, use] : uses) {
    auto fresh = Image::fromPNGLazily(dir / "q.png", 1.0);
    ASSERT_TRUE(fresh) << name;
    use(*fresh);
    EXPECT_TRUE(fresh->isDecoded()) << name;
    EXPECT_EQ(fresh->pixel(0, 0), (Image::RGBA{255, 0, 0, 255})) << name;
  }

  // Nothing that is not a PNG header is taken.
  EXPECT_FALSE(Image::fromPNGLazily(dir / "missing.png"));
  std::ofstream(dir / "bad.png") << "not a png at all, though long enough";
  EXPECT_FALSE(Image::fromPNGLazily(dir / "bad.png"));
}

// The file may change between the header and the pixels: the image keeps
// the size it promised and shows nothing rather than failing its users.
TEST_F(ImageTest, ALazyImageWhoseFileWentBadIsBlankAtItsSize) {
  ASSERT_TRUE(quadrants(1.0)->writePNG(dir / "q.png"));
  auto gone = Image::fromPNGLazily(dir / "q.png");
  auto resized = Image::fromPNGLazily(dir / "q.png");
  ASSERT_TRUE(gone && resized);
  fs::remove(dir / "q.png");
  EXPECT_EQ(gone->pixel(0, 0), Image::RGBA{});
  ASSERT_NE(gone->surface(), nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(gone->surface()), 4);
  ASSERT_TRUE(Image::create(9, 9)->writePNG(dir / "q.png"));
  EXPECT_EQ(cairo_image_surface_get_height(resized->surface()), 4);
  EXPECT_EQ(resized->pixel(1, 1), Image::RGBA{});
}

TEST_F(ImageTest, NamedImagesAreDecodedOnlyWhenDrawn) {
  platform::Bundle::setMainBundlePath(dir);
  Image::clearNamedCache();
  ASSERT_TRUE(quadrants(1.0)->writePNG(dir / "Knob_Active.png"));
  auto held = Image::named("Knob_Active");
  ASSERT_TRUE(held);
  EXPECT_FALSE(held->isDecoded());
  platform::beginImageContext({4, 4}, false, 1.0);
  platform::currentGraphicsContext()->drawImage(*Image::named("Knob_Active"), Rect(0, 0, 4, 4));
  auto drawn = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  EXPECT_TRUE(held->isDecoded()) << "one shared image, decoded by its first drawing";
  EXPECT_EQ(drawn->pixel(0, 3), (Image::RGBA{0, 0, 255, 255}));
}

TEST_F(ImageTest, ResizedRedrawsAtTheNewScale) {
  auto image = quadrants(1.0);
  auto big = image->resized({4, 4}, 2.0);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->pixelWidth(), 8);
  EXPECT_EQ(big->pixel(1, 1), (Image::RGBA{255, 0, 0, 255}));
  EXPECT_EQ(big->pixel(6, 1), (Image::RGBA{0, 255, 0, 255}));
}

}  // namespace
