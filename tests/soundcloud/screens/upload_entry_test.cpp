// The way into an upload: the editor opens at once when signed in, after a
// sign-in otherwise, and an alert explains why when it cannot.

#include "soundcloud/screens/ts_upload_entry.h"

#include "sharing_screens_fixture.h"

using namespace tssc;

namespace {

class UploadEntryTest : public SharingScreensTest {
 protected:
  void TearDown() override {
    TSSoundCloudAPI::setLoginPresenter(nullptr);
    SharingScreensTest::TearDown();
  }
  void openEntry() {
    TSUploadEntry::presentUploadEditor(*root, audio, 128.0, [this](std::shared_ptr<SoundCloudInfoEditViewController> e) {
      ++told;
      editor = std::move(e);
    });
    hb->runPass();
  }
  SoundCloudInfoEditViewController* shownEditor() const {
    auto* nav = dynamic_cast<platform::NavigationController*>(root->presentedViewController());
    return nav ? dynamic_cast<SoundCloudInfoEditViewController*>(nav->topViewController()) : nullptr;
  }
  int told = 0;
  std::shared_ptr<SoundCloudInfoEditViewController> editor;
};

TEST_F(UploadEntryTest, SignedInTheEditorOpensWithTheFileAndTempo) {
  signInAndLoad();
  openEntry();
  hb->advance(0.5);
  ASSERT_NE(shownEditor(), nullptr);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(editor.get(), shownEditor());
  EXPECT_TRUE(editor->information()->enabledToTrackUpload());
  EXPECT_FALSE(editor->information()->enabledToAttach());
  EXPECT_EQ(editor->information()->fileURL->filePath(), audio);
  EXPECT_EQ(editor->information()->title, "Groove BPM128.wav");
  EXPECT_EQ(editor->information()->tempo, 128.0);
  EXPECT_TRUE(editor->uploadButtonItem()->isEnabled());
}

TEST_F(UploadEntryTest, NotSignedInTheLoginComesFirstAndTheEditorAfterASignIn) {
  TSSoundCloudAPI::LoginCompletion pending;
  int asked = 0;
  TSSoundCloudAPI::setLoginPresenter([&](const platform::URL&, TSSoundCloudAPI::LoginCompletion done) {
    ++asked;
    pending = std::move(done);
  });
  ASSERT_NE(TSSoundCloudAPI::sharedInstance(), nullptr);
  openEntry();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return asked == 1; }));
  EXPECT_EQ(root->presentedViewController(), nullptr);
  // A cancelled sign-in opens nothing and says nothing.
  pending(platform::Error::make("SCUIErrorDomain", 100, "Canceled by user."));
  hb->runPass();
  EXPECT_FALSE(hb->alertVisible());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(editor, nullptr);

  openEntry();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return asked == 2; }));
  ASSERT_TRUE(signIn());
  pending(std::nullopt);
  hb->advance(0.5);
  ASSERT_NE(shownEditor(), nullptr);
  EXPECT_EQ(told, 2);
}

TEST_F(UploadEntryTest, WithoutALoginScreenOrClientKeysAnAlertExplains) {
  ASSERT_NE(TSSoundCloudAPI::sharedInstance(), nullptr);
  openEntry();
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Error");
  EXPECT_EQ(hb->alertMessage(), "No sign-in screen is available.");
  EXPECT_EQ(root->presentedViewController(), nullptr);
  hb->answerAlert(0);

  TSSoundCloudAPI::cleanup();
  writeInfo({{"SCConsumerKey", platform::Value("consumer-key")}});
  openEntry();
  ASSERT_TRUE(hb->alertVisible());
  EXPECT_EQ(hb->alertMessage(), "SCSecretKey is not assigned. Please define it at Info.plist");
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(told, 2);
}

}  // namespace
