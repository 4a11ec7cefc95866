#include "soundcloud-sdk/ui/sc_recording_views.h"

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/headless/headless_backend.h"
#include "soundcloud-sdk/ui/sc_bundle.h"

using namespace scui;
using platform::Rect;

namespace {

// A desktop where the service's app is installed for some schemes.
class AppBackend : public platform::HeadlessBackend {
 public:
  using platform::HeadlessBackend::HeadlessBackend;
  bool canOpenURL(const std::string& url) const override {
    for (const auto& s : schemes)
      if (url.rfind(s, 0) == 0) return true;
    return false;
  }
  std::vector<std::string> schemes;
};

class RecordingViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    SCBundle::forgetForTesting();
    window_ = hb_.makeWindow();
  }
  void TearDown() override {
    platform::Bundle::setMainBundlePath(std::nullopt);
    SCBundle::forgetForTesting();
  }
  AppBackend hb_{{320, 480}, 1.0};
  std::shared_ptr<platform::Window> window_;
};

TEST_F(RecordingViewsTest, HeaderLayoutSizesItself) {
  auto header = std::make_shared<SCRecordingSaveViewControllerHeaderView>(Rect{0, 0, 320, 500});
  window_->addSubview(header);
  header->layoutIfNeeded();
  // No name: zero size, the separator centred on the avatar.
  EXPECT_EQ(header->avatarImageView().frame(), (Rect{12, 10, 20, 20}));
  EXPECT_EQ(header->userNameLabel().frame(), (Rect{42, 10, 0, 0}));
  EXPECT_EQ(header->logoutSeparator().frame(), (Rect{42, 12, 1, 16}));
  EXPECT_EQ(header->firstHR().frame(), (Rect{0, 40, 320, 2}));
  EXPECT_EQ(header->coverImageButton().frame(), (Rect{9, 55, 82, 82}));
  EXPECT_EQ(header->textRect(), (Rect{102, 55, 209, 82}));
  EXPECT_EQ(header->whatTextField().frame(), (Rect{112, 55, 189, 41}));
  EXPECT_EQ(header->privateSwitch().frame(), (Rect{9, 152, 302, 30}));
  EXPECT_EQ(header->secondHR().frame(), (Rect{0, 197, 320, 2}));
  EXPECT_EQ(header->bounds().size.height, 199);
  EXPECT_NEAR(header->disclosureButton().center().x, header->whereTextField().frame().maxX() + 10, 1e-9);
  EXPECT_EQ(header->privateSwitch().onLabel().text(), SCLocalizedString("sc_upload_public"));
  // A long name is cut to the room left.
  header->setUserName(std::string(200, 'n'));
  const double logout = header->logoutButton().frame().size.width;
  EXPECT_NEAR(header->userNameLabel().frame().size.width, 320 - 18 - 30 - 20 - 1 - logout, 1e-9);
  EXPECT_LE(header->logoutButton().frame().maxX(), 320);
  // A log-out button without a title has no frame.
  header->logoutButton().setTitle("", platform::ControlState::Normal);
  header->setNeedsLayout();
  header->layoutIfNeeded();
  EXPECT_EQ(header->logoutButton().frame(), Rect{});
  // The cover prompt, then the picture in its place.
  EXPECT_EQ(header->coverImageButton().titleForState(platform::ControlState::Normal),
            SCLocalizedString("record_save_add_cover_artwork"));
  header->setCoverImage(SCBundle::imageWithName("fail"));
  EXPECT_EQ(header->coverImageButton().titleForState(platform::ControlState::Normal), "");
  ASSERT_TRUE(header->coverImageButton().imageForState(platform::ControlState::Normal));
  EXPECT_EQ(header->coverImageButton().imageForState(platform::ControlState::Normal)->size(), (platform::Size{82, 82}));
  // The box around the fields: a dark outline and the dividing line.
  auto img = hb_.renderView(*header);
  EXPECT_GT(img->pixel(200, 55).a, 100);
  EXPECT_GT(img->pixel(200, 96).a, 100);
  EXPECT_GT(img->pixel(200, 75).a, 20);
}

TEST_F(RecordingViewsTest, UploadCardStates) {
  auto card = std::make_shared<SCRecordingUploadProgressView>(Rect{0, 0, 320, 480});
  window_->addSubview(card);
  card->title().setText("Groove");
  // Uploading (and any unknown state).
  for (int32_t s : {0, 7}) {
    card->setState(s);
    card->setNeedsLayout();
    card->layoutIfNeeded();
    EXPECT_FALSE(card->progress().isHidden());
    EXPECT_TRUE(card->resultImage().isHidden());
    EXPECT_TRUE(card->openAppButton().isHidden());
    EXPECT_EQ(card->progressLabel().text(), SCLocalizedString("record_save_uploading"));
  }
  EXPECT_EQ(card->title().frame().origin.x, 12);  // no artwork: the side margin
  EXPECT_EQ(card->contentView().frame().size.width, 276);
  // Succeeded, no app installed: the App Store button and the orange part.
  card->setTrackInfo({{"id", platform::Value(4294967297LL)}});
  card->setState(SCRecordingUploadProgressView::Succeeded);
  card->setNeedsLayout();
  card->layoutIfNeeded();
  EXPECT_EQ(card->appURL(), std::nullopt);
  EXPECT_TRUE(card->openAppButton().isHidden());
  EXPECT_FALSE(card->openAppStoreButton().isHidden());
  const auto text = *card->resultText().attributedText();
  const auto part = *text.rangeOfString(SCLocalizedString("record_save_upload_success_message_appstore_substring"));
  EXPECT_EQ(text.attributesAtIndex(part.location).color, platform::Color::rgba(1.0, 0.5, 0.0, 1.0));
  EXPECT_NE(text.attributesAtIndex(0).color, platform::Color::rgba(1.0, 0.5, 0.0, 1.0));
  const auto at = card->openAppStoreButton().convertPointTo({5, 5}, nullptr);
  hb_.schemes = {"itms-apps:"};  // a desktop that has a store for the link
  hb_.tap(at);
  ASSERT_FALSE(hb_.openedURLs().empty());
  EXPECT_EQ(hb_.openedURLs().back(), SCRecordingUploadProgressView::kAppStoreURL);
  // The app arrives meanwhile: the next foreground switches the button.
  hb_.schemes = {"x-soundcloud:"};
  EXPECT_EQ(card->appURL(), "x-soundcloud:");
  hb_.schemes = {"soundcloud:", "x-soundcloud:"};
  EXPECT_EQ(card->appURL(), "soundcloud:tracks:4294967297");
  platform::NotificationCenter::defaultCenter().post(platform::kApplicationWillEnterForegroundNotification);
  hb_.runPass();
  card->layoutIfNeeded();
  EXPECT_FALSE(card->openAppButton().isHidden());
  EXPECT_TRUE(card->openAppStoreButton().isHidden());
  card->openApp();
  ASSERT_FALSE(hb_.openedURLs().empty());
  EXPECT_EQ(hb_.openedURLs().back(), "soundcloud:tracks:4294967297");
  // Failed: the picture centred on half the inner width.
  card->setState(SCRecordingUploadProgressView::Failed);
  card->setNeedsLayout();
  card->layoutIfNeeded();
  EXPECT_TRUE(card->progress().isHidden());
  EXPECT_TRUE(card->openAppButton().isHidden());
  EXPECT_NEAR(card->resultImage().frame().midX(), 276 / 2.0, 1e-9);
  EXPECT_EQ(card->progressLabel().text(), SCLocalizedString("record_save_upload_fail"));
  EXPECT_EQ(card->contentSize().height, card->resultImage().frame().maxY() + 16);
}

TEST_F(RecordingViewsTest, ShareTitleBarAndGradientView) {
  auto bar = std::make_shared<SCShareToSoundCloudTitleView>(Rect{0, 0, 320, 44});
  auto img = hb_.renderView(*bar);
  EXPECT_EQ(img->pixel(300, 43), (platform::Image::RGBA{0, 0, 0, 255}));
  const auto top = img->pixel(300, 1);
  EXPECT_EQ(top.r, 255);
  EXPECT_NEAR(top.g, 100, 4);
  const auto low = img->pixel(300, 41);
  EXPECT_NEAR(low.g, 56, 4);
  SCGradientView g({0, 0, 10, 40});
  g.setColors({platform::Color::white(1.0), platform::Color::white(0.0)});
  img = hb_.renderView(g);
  EXPECT_GT(img->pixel(5, 1).r, 240);
  EXPECT_LT(img->pixel(5, 38).r, 15);
}

}  // namespace
