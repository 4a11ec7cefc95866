#include "platform/gfx/text.h"

#include <gtest/gtest.h>

using platform::Color;
using platform::Font;
using platform::Image;
using platform::LineBreakMode;
using platform::TextAlignment;
using platform::TextStyle;

namespace {

TEST(FontTest, PlatformNamesMapToTheSansFamilyWithTheirWeight) {
  const Font bold = Font::named("HelveticaNeue-Bold", 64);
  EXPECT_EQ(bold.family, Font::sansFamily());
  EXPECT_EQ(bold.weight, Font::Weight::Bold);
  EXPECT_EQ(bold.pointSize, 64);
  EXPECT_EQ(Font::named("Helvetica-Bold", 12).weight, Font::Weight::Bold);
  EXPECT_EQ(Font::named("HelveticaNeue", 12).weight, Font::Weight::Regular);
  // A trailing blank does not make the lookup fail.
  EXPECT_EQ(Font::named("HelveticaNeue-Medium ", 12).weight, Font::Weight::Medium);
  EXPECT_EQ(Font::boldSystemFont(10).weight, Font::Weight::Bold);
}

TEST(TextTest, MeasureGrowsWithTextSizeAndWeight) {
  TextStyle st;
  st.font = Font::systemFont(14);
  const auto a = platform::measureText("Loading", st, 0);
  const auto b = platform::measureText("Loading...", st, 0);
  EXPECT_GT(a.width, 20);
  EXPECT_GT(b.width, a.width);
  st.font = Font::boldSystemFont(14);
  EXPECT_GT(platform::measureText("Loading", st, 0).width, a.width);
  st.font = Font::systemFont(28);
  EXPECT_NEAR(platform::measureText("Loading", st, 0).width, 2 * a.width, 4);
  EXPECT_EQ(platform::measureText("", st, 0).width, 0);
}

TEST(TextTest, LinesWrapUpToTheLimit) {
  TextStyle st;
  st.font = Font::systemFont(12);
  st.lineBreak = LineBreakMode::WordWrap;
  st.numberOfLines = 0;
  const std::string text = "Are you sure you want to clear the selected part? This cannot be undone.";
  const auto one = platform::measureText("Are", st, 100);
  const auto all = platform::measureText(text, st, 100);
  EXPECT_LE(all.width, 100);
  EXPECT_GE(all.height, 4 * one.height - 1);
  st.numberOfLines = 2;
  st.lineBreak = LineBreakMode::TruncateTail;
  const auto two = platform::measureText(text, st, 100);
  EXPECT_NEAR(two.height, 2 * one.height, 2);
}

TEST(TextTest, DrawsInsideItsRectangleWithItsColourAndAlignment) {
  const auto render = [](TextAlignment align) {
    platform::beginImageContext({120, 30}, false, 1.0);
    TextStyle st;
    st.font = Font::boldSystemFont(20);
    st.color = Color::rgba(1, 0, 0);
    st.alignment = align;
    platform::drawText(*platform::currentGraphicsContext(), "MUTE", {0, 0, 120, 30}, st);
    auto img = platform::imageFromCurrentImageContext();
    platform::endImageContext();
    return img;
  };
  const auto inkColumns = [](const Image& img, int x0, int x1) {
    int n = 0;
    for (int x = x0; x < x1; ++x)
      for (int y = 0; y < img.pixelHeight(); ++y)
        if (img.pixel(x, y).a > 128) {
          ++n;
          break;
        }
    return n;
  };
  auto left = render(TextAlignment::Left);
  auto right = render(TextAlignment::Right);
  EXPECT_GT(inkColumns(*left, 0, 40), 10);
  EXPECT_EQ(inkColumns(*left, 80, 120), 0);
  EXPECT_EQ(inkColumns(*right, 0, 40), 0);
  EXPECT_GT(inkColumns(*right, 80, 120), 10);
  // Some fully inked pixel is pure red.
  bool red = false;
  for (int x = 0; x < 60 && !red; ++x)
    for (int y = 0; y < 30 && !red; ++y) red = left->pixel(x, y) == Image::RGBA{255, 0, 0, 255};
  EXPECT_TRUE(red);
}

}  // namespace
