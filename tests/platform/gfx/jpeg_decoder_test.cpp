#include "platform/gfx/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/gfx/image.h"

using platform::DecodedPixels;

namespace {

// Four flat quadrants: red, green, blue, white, so that block artefacts stay
// far from the pixels checked.
DecodedPixels quadrants(int w, int h) {
  DecodedPixels p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int q = (y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1);
      const uint8_t r = q == 0 || q == 3 ? 255 : 0, g = q == 1 || q == 3 ? 255 : 0, b = q >= 2 ? 255 : 0;
      uint8_t* px = &p.bgra[(static_cast<size_t>(y) * w + x) * 4];
      px[0] = b, px[1] = g, px[2] = r, px[3] = 255;
    }
  return p;
}

bool near(const platform::Image::RGBA& c, int r, int g, int b) {
  return std::abs(c.r - r) <= 6 && std::abs(c.g - g) <= 6 && std::abs(c.b - b) <= 6 && c.a == 255;
}

}  // namespace

TEST(JpegDecoder, DecodesAnImageWithItsSizeAndColours) {
  const auto jpeg = platform::encodeJPEG(quadrants(64, 48), 95);
  ASSERT_FALSE(jpeg.empty());
  std::string why;
  auto image = platform::Image::fromData(jpeg, 2.0, &why);
  ASSERT_NE(image, nullptr) << why;
  EXPECT_EQ(image->pixelWidth(), 64);
  EXPECT_EQ(image->pixelHeight(), 48);
  EXPECT_EQ(image->scale(), 2.0);
  EXPECT_TRUE(near(image->pixel(8, 8), 255, 0, 0));
  EXPECT_TRUE(near(image->pixel(56, 8), 0, 255, 0));
  EXPECT_TRUE(near(image->pixel(8, 40), 0, 0, 255));
  EXPECT_TRUE(near(image->pixel(56, 40), 255, 255, 255));
  // PNG still comes through the same door.
  auto png = platform::Image::fromData(image->pngData());
  ASSERT_NE(png, nullptr);
  EXPECT_TRUE(png->samePixels(*image));
}

TEST(JpegDecoder, MalformedInputsAreRefusedWithTheirReason) {
  const auto good = platform::encodeJPEG(quadrants(32, 32), 90);
  ASSERT_GT(good.size(), 200u);
  auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)); };
  // The frame header (SOF0) holds the height at +5 and the width at +7.
  auto withSize = [&](int w, int h) {
    std::vector<uint8_t> b = good;
    for (size_t i = 2; i + 8 < b.size(); ++i)
      if (b[i] == 0xFF && b[i + 1] == 0xC0) {
        b[i + 5] = static_cast<uint8_t>(h >> 8), b[i + 6] = static_cast<uint8_t>(h);
        b[i + 7] = static_cast<uint8_t>(w >> 8), b[i + 8] = static_cast<uint8_t>(w);
        break;
      }
    return b;
  };
  std::vector<uint8_t> garbage(good.size());
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 7);
  std::vector<uint8_t> garbageAfterMarker = garbage;
  garbageAfterMarker[0] = 0xFF, garbageAfterMarker[1] = 0xD8, garbageAfterMarker[2] = 0xFF;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  } cases[] = {
      {"empty", {}, "not a JPEG image"},
      {"garbage", garbage, "not a JPEG image"},
      {"start marker then garbage", garbageAfterMarker, "damaged JPEG header"},
      {"header only", cut(20), "damaged JPEG header"},
      {"cut in the scan", cut(good.size() - 40), "damaged JPEG data"},
      {"width zero", withSize(0, 32), "damaged JPEG header"},
      {"65,000 square", withSize(65000, 65000), "JPEG image too large (65000 × 65000)"},
      {"wider than the data", withSize(4096, 32), "damaged JPEG data"},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_FALSE(platform::decodeJPEG(c.bytes, &why).has_value()) << c.name;
    EXPECT_EQ(why.rfind(c.reason, 0), 0u) << c.name << ": " << why;
    EXPECT_EQ(platform::Image::fromData(c.bytes), nullptr) << c.name;
  }
}
