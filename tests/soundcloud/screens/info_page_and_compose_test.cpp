// The read-only track information page (what each line shows) and the
// comment composer (the request the service sees, the banner, the way back).

#include "sharing_screens_fixture.h"
#include "soundcloud/screens/compose_view_controller.h"
#include "soundcloud/screens/sc_multiple_info_top_view_controller.h"

using namespace tssc;
using igbtest::formMap;

namespace {

class InfoPageTest : public SharingScreensTest {
 protected:
  std::shared_ptr<SCMultipleInfoTopViewController> show(std::shared_ptr<SoundCloudInformationObject> info) {
    auto page = std::make_shared<SCMultipleInfoTopViewController>();
    page->setInformationObject(std::move(info));
    root->presentViewController(page, false, nullptr);
    hb->runPass();
    return page;
  }
};

TEST_F(InfoPageTest, EveryLineShowsItsFieldOfTheRecord) {
  struct Case {
    std::optional<double> tempo;
    int32_t licence;
    int32_t type;
    std::string bpm, license, trackType;
  };
  for (const Case& c : std::vector<Case>{
           {std::nullopt, 1, 0, "BPM : ", "License : All Rights Reserved", "Track Type : "},
           {120.0, 2, 13, "BPM : 120.0", "License : Creative Commons Attribution", "Track Type : Original"},
           {98.25, 0, 4, "BPM : 98.2", "License : No Rights Reserved", "Track Type : Loop"},
           // A licence text the service sent that matches nothing was read as licence 1.
           {87.5, SoundCloudInformationObject::translateStringIntoLicenseType(std::optional<std::string>("cc-unknown")), 0,
            "BPM : 87.5", "License : All Rights Reserved", "Track Type : "}}) {
    auto info = std::make_shared<SoundCloudInformationObject>(false, false);
    info->title = "Night Drive";
    info->updatedDate = "2026/12/09 21:15:00 +0000";
    info->genre = "Electro";
    info->tags = "analog \"drum machine\"";
    info->tempo = c.tempo;
    info->licenseType = c.licence;
    info->trackType = c.type;
    info->username = "dj";
    info->description = "two lines\nof notes";
    info->userPicture = platform::Image::create(4, 4, 1.0);
    auto page = show(info);
    EXPECT_EQ(page->trackName().text(), "Night Drive");
    EXPECT_EQ(page->uploadDate().text(), "Uploaded on 2026/12/09 21:15:00 +0000");
    EXPECT_EQ(page->genre().text(), "Genre : Electro");
    EXPECT_EQ(page->keywords().text(), "Tags : analog \"drum machine\"");
    EXPECT_EQ(page->bpm().text(), c.bpm);
    EXPECT_EQ(page->license().text(), c.license);
    EXPECT_EQ(page->trackType().text(), c.trackType);
    EXPECT_EQ(page->username().text(), "dj");
    EXPECT_EQ(page->description().text(), "two lines\nof notes");
    EXPECT_FALSE(page->description().isEditable());
    EXPECT_EQ(page->userPicture().image(), info->userPicture);
    EXPECT_EQ(page->view()->backgroundColor(), platform::Color::white(0.01, 0.98));
    // Later changes of the record are not followed.
    info->title = "Changed";
    hb->runPass();
    EXPECT_EQ(page->trackName().text(), "Night Drive");
    page->closeButtonPushed();
    hb->advance(1.0);
    EXPECT_EQ(root->presentedViewController(), nullptr);
  }
}

TEST_F(InfoPageTest, AbsentTextsShowNothingAfterTheirLabels) {
  auto info = std::make_shared<SoundCloudInformationObject>(false, false);
  info->title.reset();
  info->genre.reset();
  auto page = show(info);
  EXPECT_EQ(page->trackName().text(), "");
  EXPECT_EQ(page->genre().text(), "Genre : ");
  EXPECT_EQ(page->uploadDate().text(), "Uploaded on ");
  EXPECT_EQ(page->username().text(), "");
  // The close control is the button on the page.
  const platform::Rect b = page->closeButton().bounds();
  hb->tap(page->closeButton().convertPointTo({b.midX(), b.midY()}, nullptr));
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

class ComposeTest : public SharingScreensTest {
 protected:
  void open(int64_t trackId) {
    auto list = std::make_shared<platform::ViewController>();
    nav = present(list);
    compose = std::make_shared<ComposeViewController>(trackId);
    nav->pushViewController(compose, false);
    hb->runPass();
    hb->advance(0.5);
  }
  std::shared_ptr<platform::NavigationController> nav;
  std::shared_ptr<ComposeViewController> compose;
};

TEST_F(ComposeTest, SendPostsTheCommentAndTheBannerLeadsBackToTheList) {
  signInAndLoad();
  setReply("POST /tracks/8589934593/comments.json", 201, "{\"id\":1}");
  open(8589934593LL);
  EXPECT_EQ(compose->view()->bounds().size.width, nav->view()->bounds().size.width);
  EXPECT_EQ(compose->preferredContentSize(), (platform::Size{380, 316}));
  EXPECT_EQ(compose->sendButtonItem()->title(), "Send");
  EXPECT_TRUE(compose->txtView().isEditing()) << "the keyboard opens at once";
  hb->typeText("nice groove!");
  compose->sendButtonItem()->trigger();
  EXPECT_FALSE(compose->sendButtonItem()->isEnabled());
  EXPECT_FALSE(compose->txtView().isEditing());
  EXPECT_TRUE(compose->indicator().isAnimating());
  EXPECT_EQ(compose->indicator().center(), compose->view()->bounds().center());
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !compose->messageLabel().text().empty(); }));
  EXPECT_EQ(compose->messageLabel().text(), ComposeViewController::kPostedMessage);
  const auto reqs = sc_.apiRequests();
  ASSERT_EQ(requestLines(), (std::vector<std::string>{"POST /tracks/8589934593/comments.json"}));
  EXPECT_EQ(formMap(reqs[0])["comment[body]"], "nice groove!");
  EXPECT_EQ(compose->messageLabel().frame(), (platform::Rect{0, 0, compose->view()->bounds().size.width, 50}));
  hb->advance(0.69);
  EXPECT_EQ(nav->topViewController(), compose.get());
  hb->advance(0.02);  // the slide ends
  hb->advance(0.9);
  EXPECT_EQ(nav->topViewController(), compose.get()) << "a second after the banner arrived, not before";
  hb->advance(0.2);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_TRUE(compose->indicator().isAnimating()) << "it spins until the screen leaves";
}

TEST_F(ComposeTest, AFailedPostSaysSoAndLeavesTheSameWay) {
  signInAndLoad();
  setReply("POST /tracks/5/comments.json", 422, "{}");
  open(5);
  compose->sendButtonItem()->trigger();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !compose->messageLabel().text().empty(); }));
  EXPECT_EQ(compose->messageLabel().text(), ComposeViewController::kFailedMessage);
  EXPECT_EQ(formMap(sc_.apiRequests()[0])["comment[body]"], "") << "an empty text is sent as it is";
  hb->advance(2.0);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST_F(ComposeTest, AScreenGoneBeforeTheReplyIsNotTold) {
  signInAndLoad();
  setReply("POST /tracks/5/comments.json", 201, "{}");
  open(5);
  compose->sendButtonItem()->trigger();
  std::weak_ptr<ComposeViewController> weak = compose;
  nav->popToRootViewControllerAnimated(false);
  compose.reset();
  hb->advance(1.0);
  EXPECT_TRUE(weak.expired());
  ASSERT_TRUE(waitForRequests(1));
  igbtest::pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; });
  hb->advance(2.0);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

}  // namespace
