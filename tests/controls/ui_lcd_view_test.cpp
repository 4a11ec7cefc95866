#include "controls/ui_lcd_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/image_manager.h"
#include "controls/image_table.h"
#include "controls/lcd_manager.h"
#include "platform/runloop/run_loop.h"

namespace {

constexpr double kScale = 2.0;
constexpr int kGlyphs = 128;
constexpr double kGlyphWidth = 12.0;
constexpr double kGlyphHeight = 18.0;

// The colour that glyph `c` of the test sheet is filled with.
platform::Image::RGBA glyphColour(int c) {
  return {static_cast<uint8_t>(2 * c), static_cast<uint8_t>(255 - c), 100, 255};
}

// A sheet of 128 solid glyphs, each of its own colour, 12 x 18 points at 2
// pixels per point.
platform::ImagePtr testSheet() {
  auto sheet = platform::Image::create(static_cast<int>(kGlyphWidth * kScale),
                                       static_cast<int>(kGlyphHeight * kScale * kGlyphs), kScale);
  cairo_t* cr = cairo_create(sheet->surface());
  for (int c = 0; c < kGlyphs; ++c) {
    const auto col = glyphColour(c);
    cairo_set_source_rgb(cr, col.r / 255.0, col.g / 255.0, col.b / 255.0);
    cairo_rectangle(cr, 0, c * kGlyphHeight * kScale, kGlyphWidth * kScale, kGlyphHeight * kScale);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_mark_dirty(sheet->surface());
  return sheet;
}

// Draws the view's layer tree into an image of its size.
platform::ImagePtr render(UILCDView& view) {
  const platform::Size size = view.bounds().size;
  auto out = platform::Image::create(static_cast<int>(size.width * kScale), static_cast<int>(size.height * kScale),
                                     kScale);
  cairo_t* cr = cairo_create(out->surface());
  cairo_scale(cr, kScale, kScale);
  cairo_translate(cr, -view.frame().origin.x, -view.frame().origin.y);
  view.layer().render(cr, 0.0, kScale);
  cairo_destroy(cr);
  cairo_surface_flush(out->surface());
  return out;
}

class UILCDViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lcd = std::make_shared<UILCDView>(platform::Rect{0, 0, 140, 55});
    lcd->setCharacters(sheet);
    lcd->setNumOfCharacters(kGlyphs);
  }
  // The colour shown inside cell `i` of a row (5 points in, mid height).
  platform::Image::RGBA cellColour(const platform::Image& shot, int i, bool titleRow) const {
    const double x = lcd->columnWidth() * i + 5.0;
    const double y = titleRow ? 14.0 + 9.0 : 37.0 + 9.0;
    return shot.pixelAt({x, y});
  }

  platform::ImagePtr sheet = testSheet();
  std::shared_ptr<UILCDView> lcd;
};

TEST_F(UILCDViewTest, GeometryComesFromTheSheet) {
  EXPECT_EQ(lcd->unitHeight(), 18.0);
  EXPECT_EQ(lcd->columnWidth(), 12.0 - 2.4000000953674316);
  EXPECT_EQ(lcd->rowHeight(), 23.0);
  // Value row on the bottom edge, title row 5 points above it.
  for (int i = 0; i < UILCDView::kCellsPerRow; ++i) {
    const double x = lcd->columnWidth() * i;
    EXPECT_EQ(lcd->titleLayers()[static_cast<size_t>(i)]->frame(), (platform::Rect{x, 14, 12, 18})) << i;
    EXPECT_EQ(lcd->valueLayers()[static_cast<size_t>(i)]->frame(), (platform::Rect{x, 37, 12, 18})) << i;
  }
  EXPECT_NEAR(lcd->valueLayers()[13]->frame().origin.x, 124.8, 1e-5);
}

TEST_F(UILCDViewTest, AZeroGlyphCountLeavesTheGeometry) {
  lcd->setNumOfCharacters(0);
  EXPECT_EQ(lcd->unitHeight(), 18.0);
  EXPECT_EQ(lcd->columnWidth(), 12.0 - 2.4000000953674316);
  // A count of 64 makes each glyph twice as tall.
  lcd->setNumOfCharacters(64);
  EXPECT_EQ(lcd->unitHeight(), 36.0);
  EXPECT_EQ(lcd->valueLayers()[0]->frame(), (platform::Rect{0, 55 - 36, 12, 36}));
}

TEST_F(UILCDViewTest, RenderedDisplayShowsTheGlyphsOfTheText) {
  lcd->setTitle("CUTOFF");
  lcd->setValue("064 ~");
  auto shot = render(*lcd);
  const std::string title = "CUTOFF", value = "064 ~";
  for (int i = 0; i < UILCDView::kCellsPerRow; ++i) {
    const platform::Image::RGBA blank{};
    EXPECT_EQ(cellColour(*shot, i, true), i < 6 ? glyphColour(title[static_cast<size_t>(i)]) : blank) << i;
    EXPECT_EQ(cellColour(*shot, i, false), i < 5 ? glyphColour(value[static_cast<size_t>(i)]) : blank) << i;
  }
  // Between the rows nothing is drawn.
  EXPECT_EQ(shot->pixelAt({5, 34}).a, 0);
}

TEST_F(UILCDViewTest, OnlyTheFirst14CharactersAreShown) {
  lcd->setTitle("ABCDEFGHIJKLMNOPQRST");
  auto shot = render(*lcd);
  for (int i = 0; i < UILCDView::kCellsPerRow; ++i) EXPECT_EQ(cellColour(*shot, i, true), glyphColour('A' + i)) << i;
  EXPECT_EQ(lcd->title(), "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(UILCDViewTest, ShortTextLeavesTheRestBlankAndEmptyTextClearsTheRow) {
  lcd->setTitle("ABCDEFGHIJKLMN");
  lcd->setTitle("XYZ");
  for (int i = 0; i < UILCDView::kCellsPerRow; ++i)
    EXPECT_EQ(lcd->titleLayers()[static_cast<size_t>(i)]->contents() != nullptr, i < 3) << i;
  lcd->setTitle("");
  for (const auto& cell : lcd->titleLayers()) EXPECT_EQ(cell->contents(), nullptr);
}

TEST_F(UILCDViewTest, TheSameTextTwiceRedrawsNothing) {
  lcd->setValue("120.0");
  const platform::ImagePtr first = lcd->valueLayers()[0]->contents();
  ASSERT_TRUE(first);
  lcd->setValue("120.0");
  EXPECT_EQ(lcd->valueLayers()[0]->contents(), first);
  const platform::ImagePtr third = lcd->valueLayers()[2]->contents();
  lcd->setValue("121.0");
  EXPECT_NE(lcd->valueLayers()[2]->contents(), third);
}

// A changed value redraws only the cells whose character changed: a cell
// that keeps its character keeps its very picture. A new sheet gives new
// pictures.
TEST_F(UILCDViewTest, ACellThatKeepsItsCharacterKeepsItsPicture) {
  lcd->setValue("120.0");
  std::vector<platform::ImagePtr> before;
  for (const auto& cell : lcd->valueLayers()) before.push_back(cell->contents());
  lcd->setValue("121.0");
  const bool changed[] = {false, false, true, false, false};
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(lcd->valueLayers()[i]->contents() != before[i], changed[i]) << i;
  EXPECT_EQ(lcd->cropChar('2'), lcd->cropChar('2'));

  auto other = testSheet();
  lcd->setCharacters(other);
  auto glyph = lcd->cropChar('2');
  ASSERT_TRUE(glyph);
  EXPECT_NE(glyph, before[1]);
  EXPECT_EQ(glyph->pixel(3, 3), glyphColour('2'));
}

TEST_F(UILCDViewTest, CodesWithoutAGlyphGiveBlankCells) {
  // U+00E9 (one UTF-16 unit, code 233) and U+1F600 (two units) have no strip.
  lcd->setTitle("A\xC3\xA9" "B\xF0\x9F\x98\x80" "C\x7F");
  const bool shown[] = {true, false, true, false, false, true, true};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(lcd->titleLayers()[static_cast<size_t>(i)]->contents() != nullptr, shown[i]) << i;
  EXPECT_FALSE(lcd->cropChar(128));
  EXPECT_FALSE(lcd->cropChar(0xFFFF));
  auto glyph = lcd->cropChar(127);
  ASSERT_TRUE(glyph);
  EXPECT_EQ(glyph->size(), (platform::Size{12, 18}));
  EXPECT_EQ(glyph->scale(), kScale);
  EXPECT_EQ(glyph->pixel(3, 3), glyphColour(127));
}

TEST(UILCDViewNoSheetTest, WithoutASheetEveryCellIsBlank) {
  UILCDView lcd({0, 0, 140, 55});
  lcd.setTitle("ABC");
  for (const auto& cell : lcd.titleLayers()) EXPECT_EQ(cell->contents(), nullptr);
  EXPECT_FALSE(lcd.cropChar('A'));
  EXPECT_EQ(lcd.titleLayers().size(), 14u);
  EXPECT_EQ(lcd.valueLayers().size(), 14u);
}

TEST_F(UILCDViewTest, DisablingHidesAll28CellsAndKeepsTheirGlyphs) {
  lcd->setTitle("TEMPO");
  lcd->setValue("120.0");
  lcd->setEnabled(false);
  for (auto* row : {&lcd->titleLayers(), &lcd->valueLayers()})
    for (const auto& cell : *row) EXPECT_TRUE(cell->isHidden());
  auto blank = render(*lcd);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(cellColour(*blank, i, true).a, 0) << i;
  lcd->setEnabled(true);
  auto shown = render(*lcd);
  EXPECT_EQ(cellColour(*shown, 0, true), glyphColour('T'));
  EXPECT_EQ(cellColour(*shown, 4, false), glyphColour('0'));
}

TEST_F(UILCDViewTest, CellChangesNeverAnimate) {
  for (const char* key : {"contents", "hidden", "position", "bounds", "transform", "onOrderIn", "onOrderOut"})
    EXPECT_TRUE(lcd->titleLayers()[0]->isActionDisabled(key)) << key;
  EXPECT_FALSE(lcd->valueLayers()[13]->wouldAnimateImplicitly("contents"));
}

TEST_F(UILCDViewTest, SignsAreAcceptedAndShowNothing) {
  auto before = render(*lcd);
  lcd->turnsOn(0);
  lcd->setSignOn(2, true);
  lcd->setPartSignIndex(5);
  EXPECT_TRUE(render(*lcd)->samePixels(*before));
  for (const auto& s : lcd->signs()) EXPECT_TRUE(s.expired());
}

// The message queue driving the real display on a virtual clock: the
// pending choice's blank phase is a blank picture, its shown phase the text.
TEST_F(UILCDViewTest, MessageQueueBlinksTheRenderedDisplay) {
  platform::RunLoop loop;
  loop.bindToCurrentThread();
  loop.setClock(std::make_shared<platform::VirtualClock>());
  LCDManager manager;
  manager.setLcd(lcd);
  auto timer = loop.scheduleTimer(LCDManager::kTickSeconds, true, [&](platform::Timer&) { manager.refreshDisplay(); });
  manager.appendMessage(LCDMessage::message("A-01", "PATTERN", kLCDMessagePendingChoice));
  auto tick = [&] { loop.advanceBy(LCDManager::kTickSeconds + 1e-7); };
  for (int t = 1; t <= 5; ++t) tick();
  auto shown = render(*lcd);
  EXPECT_EQ(cellColour(*shown, 0, true), glyphColour('P'));
  EXPECT_EQ(cellColour(*shown, 3, false), glyphColour('1'));
  tick();  // tick 6: blank
  auto blank = render(*lcd);
  EXPECT_EQ(cellColour(*blank, 0, true).a, 0);
  EXPECT_EQ(cellColour(*blank, 3, false).a, 0);
  timer->invalidate();
}

}  // namespace

namespace {

// Every dot of `glyph` (its fully inked pixels) is lit in the rendered
// cell whose top-left corner is `origin` (points), and every clear pixel
// well away from ink is dark there, in the part of the cell no neighbour
// overlaps.
void expectCellShowsGlyph(const platform::Image& shot, platform::Point origin, const platform::Image& glyph,
                          double ownWidth, const std::string& what) {
  const auto alpha = [&glyph](int x, int y) { return glyph.pixel(x, y).a; };
  int lit = 0, dark = 0;
  for (int y = 1; y + 1 < glyph.pixelHeight(); ++y) {
    for (int x = 1; x + 1 < glyph.pixelWidth(); ++x) {
      if ((x + 1) / glyph.scale() > ownWidth - 0.6) continue;
      // Cells sit at fractions of a pixel, so what is drawn is the glyph
      // resampled: a fully inked pixel stays well lit, a pixel with no ink
      // around it stays dark.
      const bool allInk = alpha(x, y) == 255;
      bool allClear = true;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) allClear = allClear && alpha(x + dx, y + dy) == 0;
      if (!allInk && !allClear) continue;
      const platform::Point p{origin.x + (x + 0.5) / glyph.scale(), origin.y + (y + 0.5) / glyph.scale()};
      const auto shown = shot.pixelAt(p);
      if (allInk) {
        ++lit;
        EXPECT_GT(shown.a, 150) << what << " dot at " << x << "," << y;
        EXPECT_NEAR(shown.r, glyph.pixel(x, y).r, 8) << what;
      } else {
        ++dark;
        EXPECT_LT(shown.a, 60) << what << " clear at " << x << "," << y;
      }
    }
  }
  EXPECT_GT(dark, 0) << what;
  // Every character of the test texts but the blank has ink.
  if (what.find("' '") == std::string::npos) {
    EXPECT_GT(lit, 0) << what;
  }
}

TEST(GeneratedLcdFontTest, RenderedDisplayShowsTheGeneratedGlyphs) {
  ImageManager images(IGB_BUNDLE_DIR, 2);
  platform::ImagePtr sheet = images.uiimage(image_table::kLcdFont);
  ASSERT_TRUE(sheet);
  auto lcd = std::make_shared<UILCDView>(platform::Rect{0, 0, 140, 55});
  lcd->setCharacters(sheet);
  lcd->setNumOfCharacters(128);
  ASSERT_GT(lcd->unitHeight(), 0);
  const std::string title = "PATTERN A-01", value = "BPM 120.5 %#&";
  lcd->setTitle(title);
  lcd->setValue(value);
  auto shot = render(*lcd);
  const double titleY = 55 - (lcd->rowHeight() + lcd->unitHeight());
  const double valueY = 55 - lcd->unitHeight();
  for (size_t i = 0; i < title.size(); ++i) {
    auto glyph = lcd->cropChar(static_cast<uint16_t>(title[i]));
    ASSERT_TRUE(glyph);
    expectCellShowsGlyph(*shot, {lcd->columnWidth() * i, titleY}, *glyph, lcd->columnWidth(),
                         std::string("title '") + title[i] + "'");
  }
  for (size_t i = 0; i < value.size(); ++i) {
    auto glyph = lcd->cropChar(static_cast<uint16_t>(value[i]));
    expectCellShowsGlyph(*shot, {lcd->columnWidth() * i, valueY}, *glyph, lcd->columnWidth(),
                         std::string("value '") + value[i] + "'");
  }
  // The glyphs are real characters: printable ones are inked and tell apart,
  // the blank is empty; the ink is the display's red-orange.
  auto inked = [](const platform::Image& g) {
    int n = 0;
    for (int y = 0; y < g.pixelHeight(); ++y)
      for (int x = 0; x < g.pixelWidth(); ++x) n += g.pixel(x, y).a > 128;
    return n;
  };
  EXPECT_EQ(inked(*lcd->cropChar(' ')), 0);
  for (char c : std::string("AB01%")) EXPECT_GT(inked(*lcd->cropChar(static_cast<uint16_t>(c))), 20) << c;
  EXPECT_FALSE(lcd->cropChar('A')->samePixels(*lcd->cropChar('B')));
  EXPECT_FALSE(lcd->cropChar('0')->samePixels(*lcd->cropChar('O')));
  auto p = lcd->cropChar('P');
  for (int y = 0; y < p->pixelHeight(); ++y)
    for (int x = 0; x < p->pixelWidth(); ++x)
      if (p->pixel(x, y).a == 255) {
        EXPECT_GT(p->pixel(x, y).r, 200);
        EXPECT_LT(p->pixel(x, y).g, 120);
      }
  // Cells after the text are blank.
  EXPECT_EQ(shot->pixelAt({lcd->columnWidth() * 13 + 4, titleY + 9}).a, 0);
}

}  // namespace
