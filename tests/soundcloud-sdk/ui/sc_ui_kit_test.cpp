#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/widgets.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_buttons.h"
#include "soundcloud-sdk/ui/sc_colors.h"
#include "soundcloud-sdk/ui/sc_text_field.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"

using namespace scui;
using platform::Color;
using platform::Image;
using platform::Rect;

namespace {

// Channel values of a colour as the drawing stores them.
Image::RGBA rgba(const Color& c) {
  auto b = [](double v) { return static_cast<uint8_t>(v * 255.0 + 0.5); };
  return {b(c.red()), b(c.green()), b(c.blue()), b(c.alpha())};
}
bool near(Image::RGBA a, Image::RGBA b, int tol = 3) {
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol &&
         std::abs(a.a - b.a) <= tol;
}

TEST(SCTextKit, DurationsAndCounts) {
  struct Case {
    uint64_t ms;
    const char* text;
  } cases[] = {{65000, "1.05"}, {3725000, "1.02.05"}, {5000, "0.05"}, {3600000, "1.00.00"}, {600000, "10.00"}, {999, "0.00"}};
  for (const auto& c : cases) EXPECT_EQ(scStringWithMilliseconds(c.ms), c.text) << c.ms;
  EXPECT_EQ(scStringWithSeconds(65.9), "1.05");
  EXPECT_EQ(scStringWithInteger(120, 99), "99+");
  EXPECT_EQ(scStringWithInteger(99, 99), "99");
}

TEST(SCTextKit, XMLEntitiesRoundTripAndUnescapeInOrder) {
  const std::string text = "Käse & \"Brot\" <für> 'Öl' Übermaß";
  const std::string escaped = scStringByEscapingXMLEntities(text);
  EXPECT_EQ(escaped.find(' '), std::string::npos);
  EXPECT_NE(escaped.find("&Uuml;berma&szlig;"), std::string::npos);
  EXPECT_EQ(scStringByUnescapingXMLEntities(escaped), text);
  EXPECT_EQ(scStringByUnescapingXMLEntities("&amp;gt;"), ">");
  EXPECT_EQ(scStringByEscapingXMLEntities("a<b"), "a&lt;b");
}

TEST(SCTextKit, QueriesWordsEncodingAndDigests) {
  const auto q = scDictionaryFromQuery("a=1&b&c=2=3&a=4");
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q.at("a"), "4");
  EXPECT_EQ(scDictionaryFromQuery("k%20y=v%2F").at("k%20y"), "v%2F");
  EXPECT_EQ(scComponentsSeparatedByWhitespacePreservingQuotations("  one \"two three\" four \"\" "),
            (std::vector<std::string>{"one", "two three", "four"}));
  EXPECT_EQ(scStringByAddingURLEncoding("a b!*'();:@&=+$,/?%#[]~"),
            "a%20b%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D~");
  EXPECT_EQ(scStringByAddingURLEncoding("é"), "%C3%A9");
  EXPECT_EQ(scMD5Value(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(scMD5Value("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");
  const std::string a = scStringWithUUID(), b = scStringWithUUID();
  EXPECT_EQ(a.size(), 36u);
  EXPECT_EQ(a[14], '4');
  EXPECT_NE(a, b);
}

TEST(SCTextKit, ValidationFailureMessages) {
  struct Case {
    const char* body;
    std::optional<std::string> message;
  } cases[] = {
      {R"({"errors":[{"error_message":"Title is too long"},{"error_message":"x"}]})", "Title is too long"},
      {R"({"errors":[]})", std::nullopt},
      {R"({"errors":[{"error_message":5}]})", std::nullopt},
      {R"({"errors":["text"]})", std::nullopt},
      {R"([1,2])", std::nullopt},
      {"not json", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(scErrorMessageFrom422Error(c.body), c.message) << c.body;
  EXPECT_TRUE(scJSONObject("{\"a\":1}").isDictionary());
  EXPECT_TRUE(scJSONObject("{").isNil());
}

class SCKitScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    SCBundle::forgetForTesting();
  }
  void TearDown() override {
    SCDevice::setInterfaceIdiom(SCInterfaceIdiom::Phone);
    SCDevice::setOrientation(std::nullopt);
    platform::Bundle::setMainBundlePath(std::nullopt);
    SCBundle::forgetForTesting();
  }
};

TEST_F(SCKitScreenTest, TheBundleHasItsImagesAndTextsWithTheKeyAsFallback) {
  for (const char* name : {"input", "facebook", "cloud", "continue", "cancel", "orange_header_logo"}) {
    auto image = SCBundle::imageWithName(name);
    ASSERT_TRUE(image) << name;
    EXPECT_EQ(image->scale(), 2.0);
  }
  EXPECT_EQ(SCBundle::imageWithName("no such image"), nullptr);
  EXPECT_EQ(SCBundle::localizedString("alert_ok"), "OK");
  EXPECT_EQ(SCBundle::localizedString("not_a_key"), "not_a_key");
  EXPECT_TRUE(std::filesystem::is_directory(SCBundle::bundle()));
}

TEST(SCKitDeathTest, AMissingBundleStopsWithItsMessage) {
  EXPECT_DEATH(
      {
        platform::Bundle::setMainBundlePath(std::filesystem::temp_directory_path() / "no-bundle-here");
        SCBundle::forgetForTesting();
        SCBundle::bundle();
      },
      "Please move the SoundCloud.bundle into the Resource Directory of your Application!");
}

TEST_F(SCKitScreenTest, DeviceQuestions) {
  platform::HeadlessBackend backend({320, 568}, 2.0);
  SCDevice::setInterfaceIdiom(SCInterfaceIdiom::Phone);
  EXPECT_TRUE(SCDevice::isTallIphone());
  EXPECT_FALSE(SCDevice::isIPad());
  SCDevice::setInterfaceIdiom(SCInterfaceIdiom::Pad);
  EXPECT_TRUE(SCDevice::isIPad());
  EXPECT_FALSE(SCDevice::isTallIphone());
  SCDevice::setInterfaceIdiom(std::nullopt);
  EXPECT_FALSE(SCDevice::isIPad());
  EXPECT_FALSE(SCDevice::isTallIphone());
  platform::HeadlessBackend shortScreen({320, 480}, 2.0);
  SCDevice::setInterfaceIdiom(SCInterfaceIdiom::Phone);
  EXPECT_FALSE(SCDevice::isTallIphone());
  EXPECT_FALSE(SCDevice::isLandscape());
  SCDevice::setOrientation(SCDevice::Orientation::LandscapeRight);
  EXPECT_TRUE(SCDevice::isLandscape());
}

TEST_F(SCKitScreenTest, GradientButtonStopsAndDrawing) {
  platform::HeadlessBackend backend({320, 480}, 1.0);
  const Color top = Color::rgba(0.0, 0.4, 0.8), bottom = Color::rgba(0.043, 0.314, 0.588);
  auto button = std::make_shared<SCGradientButton>(Rect{0, 0, 100, 40}, std::vector<Color>{top, Color::white(0.5), bottom});
  EXPECT_EQ(button->locations(), (std::vector<float>{0.0f, 0.5f, 1.0f}));
  EXPECT_EQ(button->layer().borderWidth(), 1.0);
  EXPECT_EQ(button->layer().cornerRadius(), 4.0);
  button->setColors(std::vector<Color>{top, bottom});
  auto img = backend.renderView(*button);
  EXPECT_TRUE(near(img->pixel(50, 1), rgba(top), 8));
  EXPECT_TRUE(near(img->pixel(50, 38), rgba(bottom), 8));
  // One colour: a plain fill without stops.
  button->setColors(std::vector<Color>{Color::redColor()});
  EXPECT_TRUE(button->locations().empty());
  img = backend.renderView(*button);
  EXPECT_TRUE(near(img->pixel(50, 20), {255, 0, 0, 255}));
  EXPECT_TRUE(near(img->pixel(50, 5), {255, 0, 0, 255}));
  // None: only the background.
  button->setColors(std::nullopt);
  button->setBackgroundColor(Color::white(1.0));
  img = backend.renderView(*button);
  EXPECT_TRUE(near(img->pixel(50, 20), {255, 255, 255, 255}));
  // Pressed: faded; released: opaque again.
  EXPECT_EQ(button->alpha(), 1.0);
  button->setHighlighted(true);
  EXPECT_EQ(button->alpha(), SCGradientButton::kPressedAlpha);
  button->setHighlighted(false);
  EXPECT_EQ(button->alpha(), 1.0);
}

TEST_F(SCKitScreenTest, UnderlinedButtonDrawsItsLineInTheTitleColour) {
  platform::HeadlessBackend backend({320, 480}, 1.0);
  auto button = std::make_shared<SCUnderlinedButton>(Rect{0, 0, 80, 20});
  button->setTitleColor(Color::rgba(0, 0, 1), platform::ControlState::Normal);
  auto img = backend.renderView(*button);
  // A 1-point line centred on y = 19 covers half of the rows 18 and 19.
  for (int y : {18, 19}) {
    const auto px = img->pixel(40, y);
    EXPECT_GE(px.b, 250) << y;
    EXPECT_LE(px.r, 5) << y;
    EXPECT_NEAR(px.a, 128, 10) << y;
  }
  EXPECT_EQ(img->pixel(40, 10).a, 0);
}

TEST_F(SCKitScreenTest, TextFieldRectsMaskAndSeparator) {
  platform::HeadlessBackend backend({320, 480}, 1.0);
  auto field = std::make_shared<SCTextField>(Rect{0, 0, 200, 48});
  const Rect b = field->bounds();
  EXPECT_EQ(field->textRectForBounds(b), (Rect{10, 12, 180, 24}));
  EXPECT_EQ(field->editingRectForBounds(b), (Rect{10, 12, 160, 24}));
  EXPECT_EQ(field->clearButtonRectForBounds(b).maxX(), 190);
  field->setBackgroundColor(Color::white(1.0));
  field->setNeedsSeparatorLine(true);
  field->setCornerStyle(SCTextField::RoundedTop);
  field->addInnerShadow();
  ASSERT_TRUE(field->backgroundPattern());
  auto img = backend.renderView(*field);
  EXPECT_TRUE(near(img->pixel(100, 47), rgba(SCColors::soundCloudSuperLightGrey()), 6));
  EXPECT_FALSE(near(img->pixel(5, 47), rgba(SCColors::soundCloudSuperLightGrey()), 6));
  EXPECT_TRUE(field->cornerMask().contains({100, 24}));
  EXPECT_FALSE(field->cornerMask().contains({0.3, 0.3}));
  EXPECT_TRUE(field->cornerMask().contains({0.3, 47.7}));
  field->setCornerStyle(SCTextField::RoundedBottom);
  backend.renderView(*field);
  EXPECT_TRUE(field->cornerMask().contains({0.3, 0.3}));
  EXPECT_FALSE(field->cornerMask().contains({0.3, 47.7}));
  // Placeholder in the subtitle grey, secure text as bullets.
  field->setPlaceholder("name");
  field->setSecureTextEntry(true);
  field->setText("abé");
  EXPECT_EQ(field->displayedText(), "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
}

TEST_F(SCKitScreenTest, ImagesFromColoursResizedAndRotated) {
  platform::HeadlessBackend backend({320, 480}, 2.0);
  auto one = scImageWithColor(Color::redColor());
  ASSERT_TRUE(one);
  EXPECT_EQ(one->pixelWidth(), 1);
  EXPECT_EQ(one->pixel(0, 0), (Image::RGBA{255, 0, 0, 255}));
  // A 3 x 2 picture with a marked top-left pixel.
  platform::beginImageContext({3, 2}, false, 1.0);
  auto* c = platform::currentGraphicsContext();
  c->setFillColor(Color::white(1.0));
  c->fillRect({0, 0, 3, 2});
  c->setFillColor(Color::redColor());
  c->fillRect({0, 0, 1, 1});
  auto pic = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  struct Case {
    int orientation;
    int w, h, markX, markY;
  } cases[] = {{0, 3, 2, 0, 0}, {1, 3, 2, 2, 1}, {2, 2, 3, 0, 2}, {3, 2, 3, 1, 0}, {7, 3, 2, 0, 0}};
  for (const auto& k : cases) {
    auto r = scImageByRotation(*pic, k.orientation);
    ASSERT_EQ(r->pixelWidth(), k.w) << k.orientation;
    ASSERT_EQ(r->pixelHeight(), k.h) << k.orientation;
    EXPECT_EQ(r->pixel(k.markX, k.markY), (Image::RGBA{255, 0, 0, 255})) << k.orientation;
  }
  auto big = scImageByResizing(*pic, {30, 20});
  EXPECT_EQ(big->pixelWidth(), 30);
  EXPECT_EQ(big->scale(), 1.0);
  auto retina = scImageByResizing(*pic, {30, 20}, true);
  EXPECT_EQ(retina->pixelWidth(), 60);
  EXPECT_EQ(retina->scale(), 2.0);
}

TEST_F(SCKitScreenTest, ResponderWalksAndRoundedPaths) {
  platform::HeadlessBackend backend({320, 480}, 1.0);
  auto window = backend.makeWindow();
  auto scroll = std::make_shared<platform::ScrollView>(Rect{0, 0, 320, 480});
  auto box = std::make_shared<platform::View>(Rect{0, 0, 300, 100});
  auto a = std::make_shared<SCTextField>(Rect{0, 0, 300, 48});
  auto b = std::make_shared<SCTextField>(Rect{0, 50, 300, 48});
  box->addSubview(a);
  box->addSubview(b);
  scroll->addSubview(box);
  window->addSubview(scroll);
  EXPECT_EQ(scEnclosingScrollView(*b), scroll.get());
  EXPECT_EQ(scEnclosingScrollView(*scroll), nullptr);
  EXPECT_EQ(scFirstResponderFromSubviews(*scroll), nullptr);
  ASSERT_TRUE(b->becomeFirstResponder());
  EXPECT_EQ(scFirstResponderFromSubviews(*scroll), b.get());
  scResignFirstResponderOfAllSubviews(*scroll);
  EXPECT_FALSE(b->isFirstResponder());

  platform::Path p;
  SCAddRoundedRectToPath(p, nullptr, {10, 10, 100, 50}, 8);
  EXPECT_TRUE(p.contains({60, 35}));
  EXPECT_TRUE(p.contains({10.5, 35}));
  EXPECT_FALSE(p.contains({10.5, 10.5}));
  const Rect bounds = p.bounds();
  EXPECT_NEAR(bounds.minX(), 10, 1e-9);
  EXPECT_NEAR(bounds.maxY(), 60, 1e-9);
}

}  // namespace
