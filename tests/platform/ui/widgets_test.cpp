#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ui/button.h"
#include "platform/ui/document_interaction.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "platform/ui/web_view.h"
#include "platform/ui/widgets.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

ImagePtr solid(const Color& c, Size s = {10, 10}, double scale = 2.0) {
  beginImageContext(s, false, scale);
  currentGraphicsContext()->setFillColor(c);
  currentGraphicsContext()->fillRect({0, 0, s.width, s.height});
  auto img = imageFromCurrentImageContext();
  endImageContext();
  return img;
}

int inkColumns(const Image& img, const Rect& pixels) {
  int n = 0;
  for (int x = static_cast<int>(pixels.minX()); x < pixels.maxX(); ++x)
    for (int y = static_cast<int>(pixels.minY()); y < pixels.maxY(); ++y)
      if (img.pixel(x, y).a > 100) {
        ++n;
        break;
      }
  return n;
}

TEST(LabelTest, ShrinksToFitAndDrawsItsText) {
  HeadlessBackend hb({300, 100}, 1.0);
  auto w = hb.makeWindow();
  auto label = std::make_shared<Label>(Rect(10, 10, 100, 40));
  label->setText("Saved as iGROOVEBIX_pattern.wav.");
  label->setFont(Font::boldSystemFont(20));
  w->addSubview(label);
  EXPECT_EQ(label->displayedFontSize(), 20);  // no shrinking unless asked
  label->setAdjustsFontSizeToFitWidth(true);
  EXPECT_LT(label->displayedFontSize(), 20);
  label->setMinimumScaleFactor(0.8);
  EXPECT_EQ(label->displayedFontSize(), 16);  // the floor
  label->setText("OK");
  EXPECT_EQ(label->displayedFontSize(), 20);
  label->setTextAlignment(TextAlignment::Center);
  label->setTextColor(Color::rgba(1, 0, 0));
  auto shot = hb.render();
  // Centred: ink in the middle of the label, none at its ends.
  EXPECT_GT(inkColumns(*shot, {40, 10, 40, 40}), 5);
  EXPECT_EQ(inkColumns(*shot, {10, 10, 15, 40}), 0);
  EXPECT_EQ(inkColumns(*shot, {95, 10, 15, 40}), 0);
  EXPECT_FALSE(label->isUserInteractionEnabled());
  // More lines need more height.
  label->setText("Are you sure you want to clear motion sequence data for the selected parameter?");
  label->setNumberOfLines(0);
  label->setLineBreakMode(LineBreakMode::WordWrap);
  const Size tall = label->sizeThatFits({100, 0});
  label->setNumberOfLines(2);
  const Size two = label->sizeThatFits({100, 0});
  EXPECT_GT(tall.height, two.height);
}

TEST(ButtonTest, StatesFallBackToNormalAndThePressedLook) {
  HeadlessBackend hb({100, 100}, 1.0);
  auto w = hb.makeWindow();
  auto b = std::make_shared<Button>(Button::Type::Custom, Rect(0, 0, 40, 40));
  b->setBackgroundImage(solid(Color::rgba(0, 1, 0)), ControlState::Normal);
  b->setBackgroundImage(solid(Color::rgba(0, 0, 1)), ControlState::Selected);
  b->setTitle("Save", ControlState::Normal);
  w->addSubview(b);
  EXPECT_EQ(b->titleForState(ControlState::Highlighted), "Save");
  EXPECT_EQ(b->backgroundImageForState(ControlState::Highlighted), b->backgroundImageForState(ControlState::Normal));
  b->setSelected(true);
  EXPECT_EQ(b->currentBackgroundImage(), b->backgroundImageForState(ControlState::Selected));
  // Selected and highlighted without its own picture shows the Normal one.
  EXPECT_EQ(b->backgroundImageForState(ControlState::Selected | ControlState::Highlighted),
            b->backgroundImageForState(ControlState::Normal));
  b->setSelected(false);
  auto released = hb.render()->pixel(2, 2);
  hb.touchDown({20, 20});
  auto pressed = hb.render()->pixel(2, 2);
  hb.touchUp({20, 20});
  EXPECT_EQ(released, (Image::RGBA{0, 255, 0, 255}));
  EXPECT_LT(pressed.g, 200);  // darkened while held
  EXPECT_GT(pressed.g, 100);
  // With a picture of its own for the pressed state, no darkening.
  b->setBackgroundImage(solid(Color::rgba(1, 0, 0)), ControlState::Highlighted);
  hb.touchDown({20, 20});
  EXPECT_EQ(hb.render()->pixel(2, 2), (Image::RGBA{255, 0, 0, 255}));
  hb.touchUp({20, 20});
  b->setEnabled(false);
  EXPECT_NEAR(hb.render()->pixel(2, 2).a, 128, 1);
}

TEST(ImageViewTest, SizedByItsImageAndShowingTheHighlightedOne) {
  HeadlessBackend hb({100, 100}, 2.0);
  auto w = hb.makeWindow();
  auto iv = std::make_shared<ImageView>(solid(Color::rgba(1, 0, 0), {17, 17}));
  EXPECT_EQ(iv->frame(), Rect(0, 0, 17, 17));
  EXPECT_FALSE(iv->isUserInteractionEnabled());
  iv->setHighlightedImage(solid(Color::rgba(0, 0, 1), {17, 17}));
  w->addSubview(iv);
  EXPECT_EQ(hb.render()->pixelAt({8, 8}), (Image::RGBA{255, 0, 0, 255}));
  iv->setHighlighted(true);
  EXPECT_EQ(hb.render()->pixelAt({8, 8}), (Image::RGBA{0, 0, 255, 255}));
  iv->setContentMode(ContentMode::Center);
  iv->setFrame({0, 0, 60, 60});
  auto shot = hb.render();
  EXPECT_EQ(shot->pixelAt({30, 30}), (Image::RGBA{0, 0, 255, 255}));
  EXPECT_EQ(shot->pixelAt({5, 5}).a, 0);
}

TEST(SliderTest, TheThumbDragsTheValueAndTheRangePinsIt) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto s = std::make_shared<Slider>(Rect(100, 100, 228, 40));  // 200 points of travel
  s->setMaximumValue(100);
  s->setMinimumValue(0);
  s->setValue(50);
  int changes = 0;
  s->addTarget(nullptr, "slid", [&](Control&) { ++changes; }, ControlEvents::ValueChanged);
  w->addSubview(s);
  const Point thumb = s->convertPointTo({s->thumbRect().midX(), 20}, nullptr);
  EXPECT_EQ(thumb.x, 214);
  hb.drag(thumb, {thumb.x + 50, thumb.y}, 0.2, 5);
  EXPECT_NEAR(s->value(), 75, 1e-4);
  EXPECT_EQ(changes, 5);
  // A touch on the track away from the thumb does not move it.
  hb.tap({110, 120});
  EXPECT_NEAR(s->value(), 75, 1e-4);
  // Dragging past the end stops at the maximum.
  hb.drag({264, 120}, {400, 120}, 0.2, 4);
  EXPECT_EQ(s->value(), 100);
  s->setValue(140);
  EXPECT_EQ(s->value(), 100);
  s->setMaximumValue(40);
  EXPECT_EQ(s->value(), 40);
  // Not continuous: one event when the finger lifts.
  s->setContinuous(false);
  s->setMaximumValue(100);
  s->setValue(0);
  changes = 0;
  const Point start = s->convertPointTo({s->thumbRect().midX(), 20}, nullptr);
  hb.drag(start, {start.x + 100, start.y}, 0.2, 5);
  EXPECT_EQ(changes, 1);
  EXPECT_NEAR(s->value(), 50, 1e-4);
}

class FieldDelegate : public TextFieldDelegate {
 public:
  void textFieldDidBeginEditing(TextField& f) override {
    log.push_back("begin");
    f.selectAll();
  }
  bool shouldChangeCharacters(TextField&, size_t, size_t, const std::string& s) override {
    log.push_back("change '" + s + "'");
    return s != "x";
  }
  bool textFieldShouldReturn(TextField& f) override {
    log.push_back("return");
    f.resignFirstResponder();
    return true;
  }
  void textFieldDidEndEditing(TextField&) override { log.push_back("end"); }
  std::vector<std::string> log;
};

TEST(TextFieldTest, EditingThroughTheDelegateAndTheKeyboard) {
  FieldDelegate d;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto f = std::make_shared<TextField>(Rect(100, 100, 120, 30));
  f->setBorderStyle(TextBorderStyle::RoundedRect);
  f->setText("120.0");
  f->setDelegate(&d);
  std::vector<std::string> events;
  f->addTarget(nullptr, "e", [&](Control&) { events.push_back("changed"); }, ControlEvents::EditingChanged);
  f->addTarget(nullptr, "b", [&](Control&) { events.push_back("didBegin"); }, ControlEvents::EditingDidBegin);
  f->addTarget(nullptr, "x", [&](Control&) { events.push_back("endOnExit"); }, ControlEvents::EditingDidEndOnExit);
  w->addSubview(f);
  hb.typeText("9");  // not editing: ignored
  EXPECT_EQ(f->text(), "120.0");
  hb.tap({150, 115});
  EXPECT_TRUE(f->isEditing());
  EXPECT_EQ(w->firstResponder(), f.get());
  EXPECT_EQ(f->selectionLength(), 5u);
  hb.typeText("9");  // replaces the selection
  EXPECT_EQ(f->text(), "9");
  hb.typeText("x");  // refused by the delegate
  hb.typeText("5.5");
  EXPECT_EQ(f->text(), "95.5");
  hb.pressBackspace();
  EXPECT_EQ(f->text(), "95.");
  hb.typeText("\xC3\xA9");  // é, two bytes
  hb.pressBackspace();
  EXPECT_EQ(f->text(), "95.");
  hb.pressReturn();
  EXPECT_FALSE(f->isEditing());
  EXPECT_EQ(w->firstResponder(), nullptr);
  EXPECT_EQ(d.log, (std::vector<std::string>{"begin", "change '9'", "change 'x'", "change '5.5'", "change ''",
                                             "change '\xC3\xA9'", "change ''", "return", "end"}));
  EXPECT_EQ(events, (std::vector<std::string>{"didBegin", "changed", "changed", "changed", "changed", "changed",
                                              "endOnExit"}));
  // Setting the text from code sends nothing.
  f->setText("20");
  EXPECT_EQ(events.size(), 7u);
  MenuController::sharedMenuController().setMenuVisible(false);
  EXPECT_FALSE(MenuController::sharedMenuController().isMenuVisible());
}

TEST(SegmentedControlTest, TouchesSelectAndReportOnlyChanges) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto seg = std::make_shared<SegmentedControl>(Rect(0, 0, 300, 30));
  for (const char* t : {"Off", "1/2", "1/1"}) seg->insertSegmentWithTitle(t, seg->numberOfSegments());
  seg->insertSegmentWithTitle("Bar", 0);
  EXPECT_EQ(seg->titleForSegmentAtIndex(0), "Bar");
  EXPECT_EQ(seg->numberOfSegments(), 4);
  int changes = 0;
  seg->addTarget(nullptr, "c", [&](Control&) { ++changes; }, ControlEvents::ValueChanged);
  w->addSubview(seg);
  hb.tap({100, 15});
  EXPECT_EQ(seg->selectedSegmentIndex(), 1);
  hb.tap({110, 15});
  EXPECT_EQ(changes, 1);  // the same segment again: no event
  hb.tap({290, 15});
  EXPECT_EQ(seg->selectedSegmentIndex(), 3);
  EXPECT_EQ(changes, 2);
  seg->setSelectedSegmentIndex(9);
  EXPECT_EQ(seg->selectedSegmentIndex(), SegmentedControl::kNoSegment);
  seg->setMomentary(true);
  int seen = -2;
  seg->addTarget(nullptr, "m", [&](Control& c) { seen = static_cast<SegmentedControl&>(c).selectedSegmentIndex(); },
                 ControlEvents::ValueChanged);
  hb.tap({10, 15});
  hb.tap({10, 15});
  EXPECT_EQ(changes, 4);  // momentary: every touch
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(seg->selectedSegmentIndex(), SegmentedControl::kNoSegment);
}

TEST(SwitchTest, TapsToggleAndCodeChangesAreSilent) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  Switch::appearance().setOnTintColor(Color::rgba(1, 0.4, 0.2));
  Switch::appearance().setTintColor(Color::white(0.5));
  auto sw = std::make_shared<Switch>(Rect(10, 10, 100, 100));
  EXPECT_EQ(sw->frame().size, Switch::kSize);
  EXPECT_EQ(sw->onTintColor(), Color::rgba(1, 0.4, 0.2));
  EXPECT_EQ(sw->tintColor(), Color::white(0.5));
  Switch::appearance().onTintColor.reset();
  Switch::appearance().tintColor.reset();
  EXPECT_EQ(Switch().tintColor(), Switch::defaultTintColor());
  int changes = 0;
  sw->addTarget(nullptr, "s", [&](Control&) { ++changes; }, ControlEvents::ValueChanged);
  w->addSubview(sw);
  hb.tap({30, 25});
  EXPECT_TRUE(sw->isOn());
  hb.tap({30, 25});
  EXPECT_FALSE(sw->isOn());
  sw->setOn(true, true);
  EXPECT_EQ(changes, 2);
}

TEST(PageControlTest, PagesStayInRangeAndTapsStepOnePage) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto pc = std::make_shared<PageControl>(Rect(0, 0, 200, 20));
  pc->setNumberOfPages(4);
  pc->setCurrentPage(7);
  EXPECT_EQ(pc->currentPage(), 3);
  pc->setCurrentPage(-1);
  EXPECT_EQ(pc->currentPage(), 0);
  int changes = 0;
  pc->addTarget(nullptr, "p", [&](Control&) { ++changes; }, ControlEvents::ValueChanged);
  w->addSubview(pc);
  hb.tap({150, 10});
  hb.tap({150, 10});
  EXPECT_EQ(pc->currentPage(), 2);
  hb.tap({20, 10});
  EXPECT_EQ(pc->currentPage(), 1);
  EXPECT_EQ(changes, 3);
  pc->setHidesForSinglePage(true);
  EXPECT_FALSE(pc->isHidden());
  pc->setNumberOfPages(1);
  EXPECT_TRUE(pc->isHidden());
}

TEST(ActivityIndicatorTest, TurnsWhileAnimatingAndHidesWhenStopped) {
  HeadlessBackend hb;
  auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorView::Style::WhiteLarge);
  EXPECT_EQ(spinner->frame().size, (Size{37, 37}));
  EXPECT_TRUE(spinner->isHidden());
  spinner->startAnimating();
  EXPECT_FALSE(spinner->isHidden());
  const int before = spinner->phase();
  hb.advance(0.26);
  EXPECT_EQ(spinner->phase(), (before + 3) % 12);
  spinner->stopAnimating();
  EXPECT_TRUE(spinner->isHidden());
  hb.advance(0.5);
  EXPECT_EQ(spinner->phase(), (before + 3) % 12);
  spinner->setHidesWhenStopped(false);
  EXPECT_FALSE(spinner->isHidden());
}

class ScrollLog : public ScrollViewDelegate {
 public:
  void scrollViewDidScroll(ScrollView& s) override { offsets.push_back(s.contentOffset().y); }
  std::vector<double> offsets;
};

TEST(ScrollViewTest, DraggingScrollsTheContentWithinItsSize) {
  ScrollLog log;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto sv = std::make_shared<ScrollView>(Rect(0, 0, 280, 200));
  sv->setContentSize({280, 500});
  sv->setDelegate(&log);
  auto row = std::make_shared<View>(Rect(0, 300, 280, 40));
  sv->addSubview(row);
  w->addSubview(sv);
  hb.drag({100, 180}, {100, 80}, 0.2, 4);
  EXPECT_NEAR(sv->contentOffset().y, 100, 1e-9);
  EXPECT_FALSE(log.offsets.empty());
  // The content moved: the row is 100 points higher in the window.
  EXPECT_NEAR(row->convertPointTo({0, 0}, nullptr).y, 200, 1e-9);
  // Past the end it follows at half speed and settles back on lift.
  hb.touchDown({100, 190});
  for (double y = 140; y >= -200; y -= 50) {
    hb.advance(0.02);
    hb.touchMove({100, y});
  }
  EXPECT_GT(sv->contentOffset().y, 300);
  EXPECT_LT(sv->contentOffset().y, 100 + 390);  // less than the finger's travel
  hb.touchUp({100, -200});
  hb.advance(1.0);
  EXPECT_NEAR(sv->contentOffset().y, 300, 1e-9);
  sv->setContentOffset({0, -50});
  sv->setContentSize({280, 100});
  EXPECT_EQ(sv->contentOffset().y, 0);
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-ui-docs-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    fs::create_directories(dir / "Documents");
    ::setenv("IGB_EXPORT_DIR", (dir / "Export").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("IGB_EXPORT_DIR");
    fs::remove_all(dir);
  }
  fs::path dir;
};

class DocumentDelegate : public DocumentInteractionControllerDelegate {
 public:
  // The owner deletes the file as soon as the menu is gone, as the bounce does.
  void documentInteractionControllerDidDismissOpenInMenu(DocumentInteractionController& c) override {
    ++dismissals;
    copyExistedAtDismissal = c.lastCopy() && fs::exists(*c.lastCopy());
    fs::remove(c.url());
  }
  int dismissals = 0;
  bool copyExistedAtDismissal = false;
};

TEST_F(TempDir, OpenInSavesACopyBeforeItReportsTheDismissal) {
  DocumentDelegate d;
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto anchor = std::make_shared<View>(Rect(300, 100, 60, 30));
  w->addSubview(anchor);
  const fs::path wav = dir / "Documents" / "Deep House_120.0.wav";
  std::ofstream(wav) << "RIFF....WAVE";
  auto open = DocumentInteractionController::interactionControllerWithURL(wav);
  open->setDelegate(&d);
  ASSERT_TRUE(open->presentOpenInMenuFromRect(anchor->bounds(), anchor.get(), true));
  EXPECT_TRUE(open->isMenuVisible());
  EXPECT_FALSE(open->presentOpenInMenuFromRect(anchor->bounds(), anchor.get(), true));  // one menu at a time
  // Tap "Save a Copy".
  auto items = hb.findViews([](View& v) { return dynamic_cast<Button*>(&v) && v.tag() == 0 && v.window(); });
  ASSERT_EQ(items.size(), 1u);
  hb.tap(items.front()->convertPointTo({20, 20}, nullptr));
  EXPECT_EQ(d.dismissals, 1);
  EXPECT_TRUE(d.copyExistedAtDismissal);
  EXPECT_FALSE(fs::exists(wav));
  ASSERT_TRUE(open->lastCopy());
  EXPECT_EQ(*open->lastCopy(), dir / "Export" / "Deep House_120.0.wav");
  // A second export of the same name does not overwrite the first copy,
  // and "open" hands a copy to the desktop.
  std::ofstream(wav) << "RIFF....WAVE";
  auto again = DocumentInteractionController::interactionControllerWithURL(wav);
  again->setDelegate(&d);
  ASSERT_TRUE(again->presentOpenInMenuFromRect(anchor->bounds(), anchor.get(), false));
  again->selectItem(DocumentInteractionController::kOpen);
  EXPECT_EQ(*again->lastCopy(), dir / "Export" / "Deep House_120.0 2.wav");
  ASSERT_EQ(hb.openedURLs().size(), 1u);
  EXPECT_EQ(hb.openedURLs()[0], "file://" + again->lastCopy()->string());
  // Cancel copies nothing; a missing file shows no menu.
  std::ofstream(wav) << "x";
  auto cancel = DocumentInteractionController::interactionControllerWithURL(wav);
  ASSERT_TRUE(cancel->presentOpenInMenuFromRect(anchor->bounds(), anchor.get(), false));
  hb.tap({5, 5});  // outside the menu
  EXPECT_FALSE(cancel->isMenuVisible());
  EXPECT_FALSE(cancel->lastCopy());
  EXPECT_FALSE(DocumentInteractionController::interactionControllerWithURL(dir / "none.wav")
                   ->presentOpenInMenuFromRect(anchor->bounds(), anchor.get(), false));
}

TEST(WebViewTest, ShowsTheAddressAndOpensItInTheBrowser) {
  HeadlessBackend hb;
  auto w = hb.makeWindow();
  auto web = std::make_shared<WebView>(Rect(0, 0, 400, 300));
  w->addSubview(web);
  EXPECT_FALSE(web->openInBrowser());
  web->loadRequest("https://example.org/igroovebix/help/index.html");
  EXPECT_EQ(web->url(), "https://example.org/igroovebix/help/index.html");
  hb.runPass();
  hb.tap(web->openButton().convertPointTo({80, 18}, nullptr));
  EXPECT_EQ(hb.openedURLs(), std::vector<std::string>{"https://example.org/igroovebix/help/index.html"});
}

}  // namespace
