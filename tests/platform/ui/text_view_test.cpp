// The multi-line text view and the progress bar.

#include <gtest/gtest.h>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/progress_view.h"
#include "platform/ui/text_view.h"

using namespace platform;

namespace {

struct RecordingTextViewDelegate : TextViewDelegate {
  std::vector<std::string> log;
  bool allowBegin = true;
  bool textViewShouldBeginEditing(TextView&) override { return allowBegin; }
  void textViewDidBeginEditing(TextView&) override { log.push_back("begin"); }
  void textViewDidChange(TextView& v) override { log.push_back("change " + v.text()); }
  void textViewDidEndEditing(TextView&) override { log.push_back("end"); }
};

class TextViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = hb.makeWindow();
    view = std::make_shared<TextView>(Rect{20, 20, 200, 100});
    view->setDelegate(&d);
    window->addSubview(view);
    hb.runPass();
  }
  HeadlessBackend hb;
  std::shared_ptr<Window> window;
  std::shared_ptr<TextView> view;
  RecordingTextViewDelegate d;
};

TEST_F(TextViewTest, ATapStartsEditingAndTypingChangesTheText) {
  view->setText("ab");
  EXPECT_TRUE(d.log.empty()) << "text from code is not a change";
  hb.tap({50, 50});
  EXPECT_TRUE(view->isEditing());
  EXPECT_EQ(window->firstResponder(), view.get());
  hb.typeText("c");
  hb.pressReturn();
  hb.typeText("\xC3\xA9");
  hb.pressBackspace();
  EXPECT_EQ(view->text(), "abc\n");
  EXPECT_TRUE(view->resignFirstResponder());
  EXPECT_EQ(window->firstResponder(), nullptr);
  EXPECT_EQ(d.log, (std::vector<std::string>{"begin", "change abc", "change abc\n", "change abc\n\xC3\xA9",
                                             "change abc\n", "end"}));
}

TEST_F(TextViewTest, AReadOnlyViewTakesNoTextAndStopsEditing) {
  ASSERT_TRUE(view->becomeFirstResponder());
  view->setEditable(false);
  EXPECT_FALSE(view->isEditing());
  EXPECT_EQ(d.log, (std::vector<std::string>{"begin", "end"}));
  hb.tap({50, 50});
  hb.typeText("x");
  EXPECT_FALSE(view->isEditing());
  EXPECT_EQ(view->text(), "");
  view->setEditable(true);
  d.allowBegin = false;
  EXPECT_FALSE(view->becomeFirstResponder());
}

TEST_F(TextViewTest, ProgressStaysInRangeAndFillsFromTheLeft) {
  auto bar = std::make_shared<ProgressView>(ProgressView::Style::Bar);
  bar->setFrame({0, 0, 100, 4});
  bar->setProgressTintColor(Color::rgba(1, 0, 0));
  window->addSubview(bar);
  for (auto [in, out] : std::vector<std::pair<float, float>>{{0.25f, 0.25f}, {1.5f, 1.0f}, {-1.0f, 0.0f}}) {
    bar->setProgress(in);
    EXPECT_FLOAT_EQ(bar->progress(), out);
  }
  bar->setProgress(0.5f);
  hb.runPass();
  ImagePtr img = hb.renderView(*bar);
  ASSERT_TRUE(img);
  // Scale 2: the left half is red, the right half is not.
  EXPECT_GT(img->pixel(40, 4).r, 200);
  EXPECT_LT(img->pixel(160, 4).r, 100);
}

}  // namespace
