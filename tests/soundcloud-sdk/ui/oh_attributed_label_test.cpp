#include "soundcloud-sdk/ui/oh_attributed_label.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/text_field.h"

using namespace scui;
using platform::Color;
using platform::Point;
using platform::Rect;

namespace {

TEST(OHLinkDetection, RangesInUTF16Units) {
  struct Case {
    const char* text;
    std::vector<OHLink> links;
  } cases[] = {
      {"see http://a.com/x. now", {{{4, 14}, "http://a.com/x"}}},
      {"(https://soundcloud.com/dj)", {{{1, 25}, "https://soundcloud.com/dj"}}},
      {"go to www.example.org, then", {{{6, 15}, "http://www.example.org"}}},
      {"\xC3\xA9 http://b.cc", {{{2, 11}, "http://b.cc"}}},
      // A character outside the basic plane counts two units.
      {"\xF0\x9F\x8E\xB5 ftp://f.net", {{{3, 11}, "ftp://f.net"}}},
      {"no links here, www. or http:// alone", {}},
      {"xhttp://glued.com is not a start", {}},
      {"two http://a.b and www.c.d", {{{4, 10}, "http://a.b"}, {{19, 7}, "http://www.c.d"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(ohDetectLinks(OHAttributedString(c.text)), c.links) << c.text;
}

TEST(OHAttributedStringTest, SettersAndNilConstructors) {
  EXPECT_FALSE(OHAttributedString::attributedStringWithString(std::nullopt));
  EXPECT_FALSE(OHAttributedString::attributedStringWithAttributedString(std::nullopt));
  auto s = *OHAttributedString::attributedStringWithString(std::string("Hello world"));
  EXPECT_EQ(s.length(), 11u);
  EXPECT_FALSE(s.setFontName("", 12, {0, 5}));
  EXPECT_FALSE(s.setFontName("Helvetica", 0, {0, 5}));
  EXPECT_FALSE(s.attributesAtIndex(0).font);
  EXPECT_TRUE(s.setFontFamily("Helvetica", 14, true, true, {6, 5}));
  EXPECT_EQ(s.attributesAtIndex(6).font->weight, platform::Font::Weight::Bold);
  EXPECT_TRUE(s.attributesAtIndex(6).font->italic);
  EXPECT_FALSE(s.attributesAtIndex(5).font);
  s.setTextIsUnderlined(true, {0, 100});
  EXPECT_EQ(s.attributesAtIndex(10).underline, 1);
  s.setTextIsUnderlined(false);
  EXPECT_EQ(s.attributesAtIndex(0).underline, 0);
  s.setTextAlignment(OHTextAlignment::Center, OHLineBreak::WordWrap);
  EXPECT_EQ(s.attributesAtIndex(3).paragraph, (OHParagraphStyle{OHTextAlignment::Center, OHLineBreak::WordWrap}));
  EXPECT_EQ(s.rangeOfString("world"), (OHRange{6, 5}));
  EXPECT_FALSE(s.rangeOfString("moon"));
}

TEST(OHAttributedStringTest, LabelMappings) {
  const std::pair<int, uint8_t> alignments[] = {{0, 0}, {1, 2}, {2, 1}, {3, 3}, {4, 4}, {9, 4}, {-1, 4}};
  for (auto [label, text] : alignments) EXPECT_EQ(OHAttributedLabel::textAlignmentFor(label), text) << label;
  const std::pair<int, uint8_t> breaks[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 0}, {-2, 0}};
  for (auto [label, text] : breaks) EXPECT_EQ(OHAttributedLabel::lineBreakFor(label), text) << label;
}

class Delegate : public OHAttributedLabelDelegate {
 public:
  std::optional<bool> attributedLabelShouldFollowLink(OHAttributedLabel&, const OHLink& link) override {
    asked.push_back(link.url);
    return follow;
  }
  std::optional<std::optional<Color>> colorForLink(const OHLink&, int32_t& style) override {
    if (!colours) return std::nullopt;
    style = 2;
    return std::optional<Color>(Color::greenColor());
  }
  std::optional<bool> follow;
  bool colours = false;
  std::vector<std::string> asked;
};

class Behind : public platform::View {
 public:
  using platform::View::View;
  void touchesEnded(const platform::TouchSet&, const platform::Event*) override { ++taps; }
  int taps = 0;
};

class OHLabelScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = backend_.makeWindow();
    behind_ = std::make_shared<Behind>(Rect{0, 0, 320, 480});
    window_->addSubview(behind_);
    label_ = std::make_shared<OHAttributedLabel>(Rect{20, 40, 200, 120});
    label_->setFont(platform::Font::systemFont(16));
    label_->setNumberOfLines(0);
    label_->setText("Read the Terms of Use and the Privacy Policy before you go");
    terms_ = *label_->attributedText()->rangeOfString("Terms of Use");
    privacy_ = *label_->attributedText()->rangeOfString("Privacy Policy");
    label_->addCustomLink("https://example.com/terms", terms_);
    label_->addCustomLink("https://example.com/privacy", privacy_);
    window_->addSubview(label_);
  }
  // The middle of a link's first highlight rectangle, in window coordinates.
  Point windowPointOf(OHRange range) {
    auto rects = label_->highlightRects({range, "x"});
    EXPECT_FALSE(rects.empty());
    if (rects.empty()) return {};
    return label_->convertPointTo({rects[0].midX(), rects[0].midY()}, nullptr);
  }

  platform::HeadlessBackend backend_{{320, 480}, 1.0};
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<Behind> behind_;
  std::shared_ptr<OHAttributedLabel> label_;
  OHRange terms_, privacy_;
};

TEST_F(OHLabelScreenTest, SetTextTrimsAndJoinsLineEnds) {
  label_->setText("\r\n  first\r\nsecond \n\n");
  EXPECT_EQ(label_->text(), "first\nsecond");
  EXPECT_EQ(label_->attributedText()->string(), "first\nsecond");
  EXPECT_EQ(label_->accessibilityLabel(), "first\nsecond");
  EXPECT_EQ(label_->attributedText()->attributesAtIndex(0).font, platform::Font::systemFont(16));
}

TEST_F(OHLabelScreenTest, TappingALinkOpensItsAddress) {
  backend_.tap(windowPointOf(privacy_));
  ASSERT_EQ(backend_.openedURLs().size(), 1u);
  EXPECT_EQ(backend_.openedURLs()[0], "https://example.com/privacy");
  EXPECT_FALSE(label_->activeLink());
  EXPECT_EQ(behind_->taps, 0);
}

TEST_F(OHLabelScreenTest, LinksOfCentredAndRightAlignedTextAreFoundWhereTheyAreDrawn) {
  for (auto a : {platform::TextAlignment::Center, platform::TextAlignment::Right}) {
    label_->setTextAlignment(a);
    const auto before = backend_.openedURLs().size();
    backend_.tap(windowPointOf(terms_));
    ASSERT_EQ(backend_.openedURLs().size(), before + 1);
    EXPECT_EQ(backend_.openedURLs().back(), "https://example.com/terms");
  }
  // Just left of the centred link's first character: plain text.
  const auto rects = label_->highlightRects({terms_, "x"});
  EXPECT_EQ(label_->linkAtPoint({rects[0].minX() - 4, rects[0].midY()}), std::nullopt);
}

TEST_F(OHLabelScreenTest, ReleasingElsewhereOpensNothingAndClearsTheHighlight) {
  backend_.touchDown(windowPointOf(terms_));
  ASSERT_TRUE(label_->activeLink());
  EXPECT_EQ(label_->activeLink()->url, "https://example.com/terms");
  backend_.touchUp(windowPointOf(privacy_));
  EXPECT_TRUE(backend_.openedURLs().empty());
  EXPECT_FALSE(label_->activeLink());
  // Off any link.
  backend_.touchDown(windowPointOf(terms_));
  backend_.touchUp(label_->convertPointTo({2, 110}, nullptr));
  EXPECT_TRUE(backend_.openedURLs().empty());
  // Cancelled.
  backend_.touchDown(windowPointOf(terms_));
  backend_.touchCancel();
  EXPECT_FALSE(label_->activeLink());
}

TEST_F(OHLabelScreenTest, TheDelegateDecidesWhetherALinkIsFollowed) {
  Delegate d;
  label_->setDelegate(&d);
  d.follow = false;
  backend_.tap(windowPointOf(terms_));
  EXPECT_EQ(d.asked, (std::vector<std::string>{"https://example.com/terms"}));
  EXPECT_TRUE(backend_.openedURLs().empty());
  d.follow = std::nullopt;  // not implemented
  backend_.tap(windowPointOf(terms_));
  EXPECT_EQ(backend_.openedURLs().size(), 1u);
  label_->setDelegate(nullptr);
}

TEST_F(OHLabelScreenTest, DetectedLinksAreStyledOnlyWhenAskedAndWinOverCustomOnes) {
  label_->removeAllCustomLinks();
  label_->setText("Visit http://example.com/page now");
  label_->addCustomLink("https://custom", {10, 4});
  auto styled = *label_->attributedTextWithLinks();
  EXPECT_EQ(styled.attributesAtIndex(6).color, label_->textColor());
  EXPECT_EQ(styled.attributesAtIndex(10).color, Color::blueColor());
  EXPECT_EQ(label_->linkAtCharacterIndex(7), std::nullopt);
  EXPECT_EQ(label_->linkAtCharacterIndex(11)->url, "https://custom");
  // The stored text is never styled.
  EXPECT_EQ(label_->attributedText()->attributesAtIndex(10).color, label_->textColor());
  label_->setAutomaticallyDetectLinks(true);
  styled = *label_->attributedTextWithLinks();
  EXPECT_EQ(styled.attributesAtIndex(6).color, Color::blueColor());
  EXPECT_EQ(styled.attributesAtIndex(6).underline, 1);
  EXPECT_EQ(label_->linkAtCharacterIndex(11)->url, "http://example.com/page");
  EXPECT_EQ(label_->linkAtCharacterIndex(29), std::nullopt);
  // A delegate colours links and may change the style; no underline when off.
  Delegate d;
  d.colours = true;
  label_->setDelegate(&d);
  styled = *label_->attributedTextWithLinks();
  EXPECT_EQ(styled.attributesAtIndex(6).color, Color::greenColor());
  EXPECT_EQ(styled.attributesAtIndex(6).underline, 2);
  label_->setDelegate(nullptr);
  label_->setUnderlineLinks(false);
  styled = *label_->attributedTextWithLinks();
  EXPECT_FALSE(styled.attributesAtIndex(6).underline);
}

TEST_F(OHLabelScreenTest, OnlyLinksCatchTouchesWhenAsked) {
  const Point plain = label_->convertPointTo({2, 110}, nullptr);
  backend_.tap(plain);
  EXPECT_EQ(behind_->taps, 0);
  label_->setOnlyCatchTouchesOnLinks(true);
  backend_.tap(plain);
  EXPECT_EQ(behind_->taps, 1);
  backend_.tap(windowPointOf(terms_));
  EXPECT_EQ(behind_->taps, 1);
  EXPECT_EQ(backend_.openedURLs().size(), 1u);
}

TEST_F(OHLabelScreenTest, AWrappedLinkIsHighlightedLinePerLineAndDrawn) {
  label_->removeAllCustomLinks();
  label_->setFrame({20, 40, 120, 200});
  label_->setText("aaaa Terms of Use and more");
  const OHRange link = *label_->attributedText()->rangeOfString("Terms of Use");
  label_->addCustomLink("https://t", link);
  auto rects = label_->highlightRects({link, "https://t"});
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_LT(rects[0].maxY(), rects[1].maxY());
  // Runs of one line split by plain text: one rectangle each.
  label_->removeAllCustomLinks();
  label_->setFrame({20, 40, 280, 60});
  label_->setText("ab cd ef");
  label_->addCustomLink("https://a", {0, 2});
  label_->addCustomLink("https://b", {6, 2});
  label_->setLinkColor(Color::redColor());
  EXPECT_EQ(label_->highlightRects({{0, 8}, "x"}).size(), 1u);
  // The whole text as one link, with plain text in the middle.
  label_->setHighlightedLinkColor(Color::rgba(0, 1, 0, 1));
  const auto pressed = label_->highlightRects({{0, 2}, "x"});
  ASSERT_EQ(pressed.size(), 1u);
  backend_.touchDown(label_->convertPointTo({pressed[0].midX(), pressed[0].midY()}, nullptr));
  auto img = backend_.renderView(*label_);
  // The pressed link's box is filled green where no glyph covers it.
  const auto corner = img->pixel(static_cast<int>(pressed[0].minX()) + 1, static_cast<int>(pressed[0].minY()) + 1);
  EXPECT_EQ(corner.g, 255);
  EXPECT_EQ(corner.r, 0);
  // Links are drawn red; the plain word in the middle is not.
  auto count = [&](Rect r, auto pred) {
    int n = 0;
    for (int y = static_cast<int>(r.minY()); y < static_cast<int>(r.maxY()); ++y)
      for (int x = static_cast<int>(r.minX()); x < static_cast<int>(r.maxX()); ++x) n += pred(img->pixel(x, y));
    return n;
  };
  auto red = [](platform::Image::RGBA p) { return p.a > 200 && p.r > 200 && p.g < 60 && p.b < 60; };
  const auto second = label_->highlightRects({{6, 2}, "x"});
  const auto middle = label_->highlightRects({{3, 2}, "x"});
  ASSERT_EQ(second.size(), 1u);
  ASSERT_EQ(middle.size(), 1u);
  EXPECT_GT(count(second[0], red), 5);
  EXPECT_EQ(count(middle[0].insetBy(1, 1), red), 0);
  backend_.touchUp(label_->convertPointTo({pressed[0].midX(), pressed[0].midY()}, nullptr));
  EXPECT_EQ(backend_.openedURLs(), (std::vector<std::string>{"https://a"}));
}

TEST_F(OHLabelScreenTest, SizeVerticalCentringAndExtension) {
  label_->setText("one line");
  const platform::Size fit = label_->sizeThatFits({200, 1000});
  const double lineHeight = platform::Font::systemFont(16).lineHeight();
  EXPECT_GE(fit.height, lineHeight + 1 - 0.01);
  EXPECT_EQ(fit.height, std::ceil(fit.height));
  EXPECT_EQ(label_->drawingRect(), label_->bounds());
  label_->setCenterVertically(true);
  EXPECT_GT(label_->drawingRect().minY(), 30);
  label_->setCenterVertically(false);
  label_->setFrame({20, 40, 200, 10});
  label_->setText("many words that wrap over several lines of this narrow label");
  label_->setExtendBottomToFit(true);
  const platform::Size need = label_->sizeThatFits({200, 1000});
  EXPECT_GE(label_->drawingRect().height(), need.height - 1 + 10);
  EXPECT_EQ(label_->drawingRect().minY(), 0);
}

TEST_F(OHLabelScreenTest, CopyingTogglesInteractionAndCopiesOnALongPress) {
  label_->setAllowCopying(true);
  EXPECT_TRUE(label_->hasLongPressRecognizer());
  EXPECT_TRUE(label_->canBecomeFirstResponder());
  backend_.touchDown(label_->convertPointTo({2, 110}, nullptr));
  backend_.advance(OHAttributedLabel::kLongPressDuration + 0.1);
  EXPECT_TRUE(label_->isHighlighted());
  EXPECT_TRUE(platform::MenuController::sharedMenuController().isMenuVisible());
  backend_.touchUp(label_->convertPointTo({2, 110}, nullptr));
  label_->copy();
  EXPECT_EQ(SCPasteboard::generalString(), label_->text());
  label_->copyMenuDidDismiss();
  EXPECT_FALSE(label_->isHighlighted());
  // A short tap is no long press.
  backend_.tap(label_->convertPointTo({2, 110}, nullptr));
  backend_.advance(1.0);
  EXPECT_FALSE(label_->isHighlighted());
  label_->setAllowCopying(false);
  EXPECT_FALSE(label_->isUserInteractionEnabled());
  EXPECT_FALSE(label_->hasLongPressRecognizer());
  backend_.tap(windowPointOf(terms_));
  EXPECT_TRUE(backend_.openedURLs().empty());
}

}  // namespace
