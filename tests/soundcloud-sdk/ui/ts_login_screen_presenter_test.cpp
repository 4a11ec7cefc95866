#include "soundcloud/ts_login_screen_presenter.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/headless_backend.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_login_view_controller.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_uploader.h"
#include "tests/soundcloud/soundcloud_test_support.h"

namespace {

class LoginPresenterTest : public igbtest::SharingTest {
 protected:
  void SetUp() override {
    igbtest::SharingTest::SetUp();
    // The test bundle carries the SDK's resources beside its Info.plist.
    std::filesystem::copy(std::filesystem::path(IGB_BUNDLE_DIR) / "SoundCloud.bundle", bundle_.path() / "SoundCloud.bundle",
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    scui::SCBundle::forgetForTesting();
    hb_ = std::make_unique<platform::HeadlessBackend>(platform::Size{320, 568}, 1.0);
    window_ = hb_->makeWindow();
    root_ = std::make_shared<platform::ViewController>();
    window_->setRootViewController(root_);
    hb_->runPass();
  }
  void TearDown() override {
    for (int i = 0; i < 10 && hb_->alertVisible(); ++i) hb_->answerAlert(0);
    hb_->advance(2.0);
    igbtest::pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0);
    tssc::TSSoundCloudAPI::setLoginPresenter(nullptr);
    window_->setRootViewController(nullptr);
    hb_->runPass();
    root_.reset();
    window_.reset();
    tssc::TSSoundCloudAPI::cleanup();
    hb_.reset();
    scui::SCBundle::forgetForTesting();
    igbtest::SharingTest::TearDown();
  }
  scui::SCLoginViewController* shownScreen() {
    auto* nav = dynamic_cast<platform::NavigationController*>(root_->presentedViewController());
    return nav ? dynamic_cast<scui::SCLoginViewController*>(nav->topViewController()) : nullptr;
  }
  platform::Point centre(platform::View& v) { return v.convertPointTo({v.bounds().midX(), v.bounds().midY()}, nullptr); }

  std::unique_ptr<platform::HeadlessBackend> hb_;
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::ViewController> root_;
  std::vector<std::optional<platform::Error>> results_;
};

TEST_F(LoginPresenterTest, TheFacadesSignInShowsTheScreenAndGetsItsSuccess) {
  tssc::installSoundCloudLoginScreen();
  tssc::TSSoundCloudAPI::showLoginWindow([this](const std::optional<platform::Error>& e) { results_.push_back(e); });
  hb_->advance(1.0);
  scui::SCLoginViewController* screen = shownScreen();
  ASSERT_TRUE(screen);
  ASSERT_TRUE(screen->preparedURL());
  EXPECT_EQ(screen->preparedURL()->absoluteString().rfind(sc_.url("/connect"), 0), 0u);
  auto& cred = screen->loginView()->credentialsView();
  hb_->tap(centre(cred.usernameField()));
  hb_->typeText("dj");
  hb_->pressReturn();
  hb_->typeText("secret");
  hb_->pressReturn();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_[0], std::nullopt);
  EXPECT_TRUE(tssc::TSSoundCloudAPI::isLoggedIn());
  hb_->advance(1.0);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
}

TEST_F(LoginPresenterTest, CancelReachesTheSignInsCompletion) {
  tssc::installSoundCloudLoginScreen([this] { return root_.get(); });
  tssc::TSSoundCloudAPI::showLoginWindow([this](const std::optional<platform::Error>& e) { results_.push_back(e); });
  hb_->advance(1.0);
  ASSERT_TRUE(shownScreen());
  hb_->tap(centre(shownScreen()->scTitleView()->cancelButton()));
  ASSERT_EQ(results_.size(), 1u);
  ASSERT_TRUE(results_[0]);
  EXPECT_EQ(results_[0]->domain, scui::SCUIErrorDomain);
  EXPECT_EQ(results_[0]->code, scui::kSCUICanceledErrorCode);
  hb_->advance(1.0);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_FALSE(tssc::TSSoundCloudAPI::isLoggedIn());
}

TEST_F(LoginPresenterTest, NothingToPresentOverCompletesAtOnce) {
  tssc::installSoundCloudLoginScreen([] { return static_cast<platform::ViewController*>(nullptr); });
  tssc::TSSoundCloudAPI::showLoginWindow([this](const std::optional<platform::Error>& e) { results_.push_back(e); });
  ASSERT_EQ(results_.size(), 1u);
  ASSERT_TRUE(results_[0]);
  EXPECT_EQ(results_[0]->domain, tssc::TSSoundCloudErrorDomain);
  EXPECT_EQ(results_[0]->code, -2);
  EXPECT_EQ(root_->presentedViewController(), nullptr);
}

}  // namespace
