#include "soundcloud/screens/soundcloud_comment_view_controller.h"

#include "soundcloud/screens/compose_view_controller.h"

#include "platform/gfx/jpeg_decoder.h"

#include "tests/soundcloud/screens/sharing_screens_fixture.h"

using namespace tssc;
using platform::Value;

namespace {

// A service track as the list sees it: id and commentable flag.
class StubTrack : public ListBrowserTrack {
 public:
  StubTrack(int64_t id, bool commentable) : id_(id), commentable_(commentable) {}
  std::optional<Value> information(int32_t key) const override {
    if (key == kListBrowserInfoIdentity) return Value(id_);
    if (key == kListBrowserInfoCommentable) return Value(commentable_);
    return std::nullopt;
  }

 private:
  int64_t id_;
  bool commentable_;
};

constexpr int64_t kTrack = 4294967296LL;
const char* kComments =
    "[{\"id\":1,\"body\":\"first!\",\"created_at\":\"2026/12/01 10:00:00 +0000\","
    "\"user\":{\"id\":7,\"username\":\"dj\"}},"
    "{\"id\":2,\"body\":\"no date\",\"user\":{\"id\":8,\"username\":\"mc\"}},"
    "{\"id\":3,\"user\":{\"id\":9}}]";

class CommentScreenTest : public SharingScreensTest {
 protected:
  void SetUp() override {
    SharingScreensTest::SetUp();
    context = SoundCloudFetchedObjectContext::make();
    setReply("GET /tracks/4294967296/comments.json", 200, kComments);
    setReply("GET /tracks/4294967297/comments.json", 200, "[{\"id\":5,\"body\":\"other\"}]");
  }
  void TearDown() override {
    SoundCloudCommentViewController::setComposerFactory(nullptr);
    screen.reset();
    nav.reset();
    SharingScreensTest::TearDown();
    context.reset();
  }
  void show(bool commentable) {
    screen = std::make_shared<SoundCloudCommentViewController>(std::make_shared<StubTrack>(kTrack, commentable),
                                                               context);
    nav = present(screen);
  }
  platform::TableView& table() { return *screen->tableView(); }

  std::shared_ptr<SoundCloudFetchedObjectContext> context;
  std::shared_ptr<SoundCloudCommentViewController> screen;
  std::shared_ptr<platform::NavigationController> nav;
};

}  // namespace

TEST_F(CommentScreenTest, ListsTheCommentsOnceTheyArriveWithBodyAuthorDateAndAvatar) {
  signInAndLoad();
  EXPECT_EQ(context->numberOfCommentsFor(kTrack), 0);  // nothing cached yet
  show(true);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return table().numberOfRowsInSection(0) == 3; }));
  hb->runPass();
  EXPECT_EQ(requestLines(), (std::vector<std::string>{"GET /tracks/4294967296/comments.json"}));
  struct Row {
    const char* text;
    const char* detail;
  } rows[] = {{"first!", "by dj 2026/12/01 10:00:00 +0000"}, {"no date", ""}, {"", ""}};
  for (int64_t i = 0; i < 3; ++i) {
    platform::TableViewCell* cell = table().cellForRowAtIndexPath({0, i});
    ASSERT_NE(cell, nullptr) << i;
    EXPECT_EQ(cell->reuseIdentifier(), "SoundCloudCommentViewCell");
    EXPECT_EQ(cell->textLabel().text(), rows[i].text) << i;
    EXPECT_EQ(cell->textLabel().numberOfLines(), 3);
    EXPECT_EQ(cell->textLabel().font(), platform::Font::systemFont(14));
    ASSERT_NE(cell->detailTextLabel(), nullptr);
    EXPECT_EQ(cell->detailTextLabel()->text(), rows[i].detail) << i;
    // No avatar is cached: the placeholder.
    EXPECT_EQ(cell->imageView().image(), SoundCloudCommentViewController::defaultAvatar());
    EXPECT_EQ(table().rectForRowAtIndexPath({0, i}).size.height, 72);
  }
  // Rows cannot be selected.
  hb->tap(table().convertPointTo(table().rectForRowAtIndexPath({0, 0}).center(), nullptr));
  EXPECT_FALSE(table().indexPathForSelectedRow().has_value());
}

TEST_F(CommentScreenTest, ComposeIsEnabledOnlyForASignedInUserAndACommentableTrack) {
  show(true);  // nobody signed in
  EXPECT_FALSE(screen->composeButton()->isEnabled());
  nav->dismissViewControllerAnimated(false, nullptr);
  root->dismissViewControllerAnimated(false, nullptr);
  hb->advance(1.0);
  signInAndLoad();
  show(false);
  EXPECT_FALSE(screen->composeButton()->isEnabled());
  root->dismissViewControllerAnimated(false, nullptr);
  hb->advance(1.0);
  show(true);
  EXPECT_TRUE(screen->composeButton()->isEnabled());
  EXPECT_EQ(nav->navigationItem().rightBarButtonItem(), nullptr);
  EXPECT_EQ(screen->navigationItem().rightBarButtonItem(), screen->composeButton());
}

TEST_F(CommentScreenTest, ComposePushesTheComposerForTheTrackId) {
  signInAndLoad();
  std::vector<uint64_t> asked;
  auto composer = std::make_shared<platform::ViewController>();
  SoundCloudCommentViewController::setComposerFactory([&](uint64_t id) {
    asked.push_back(id);
    return composer;
  });
  show(true);
  screen->composeButton()->trigger();
  hb->advance(1.0);
  EXPECT_EQ(asked, std::vector<uint64_t>{static_cast<uint64_t>(kTrack)});
  EXPECT_EQ(nav->topViewController(), composer.get());
  // Without a factory of its own the button pushes the comment composer.
  SoundCloudCommentViewController::setComposerFactory(nullptr);
  nav->popViewControllerAnimated(false);
  hb->runPass();
  screen->composeButton()->trigger();
  hb->advance(1.0);
  EXPECT_NE(dynamic_cast<ComposeViewController*>(nav->topViewController()), nullptr);
}

TEST_F(CommentScreenTest, EachAnnouncedRequestHasItsSpinnerAndAnotherTracksReplyReloadsToo) {
  signInAndLoad();
  show(true);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return table().numberOfRowsInSection(0) == 3; }));
  // A look-up of comments not cached starts their request with an
  // announcement: a spinner, stopped (and hidden) when they arrive. They are
  // another track's, and this table reloads too (keeping its own rows).
  EXPECT_EQ(screen->indicator(), nullptr);
  EXPECT_FALSE(context->trackCommentsFor(kTrack + 1).has_value());
  ASSERT_NE(screen->indicator(), nullptr);
  platform::ActivityIndicatorView* first = screen->indicator();
  EXPECT_TRUE(first->isAnimating());
  EXPECT_EQ(first->superview(), screen->view());
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !first->isAnimating(); }));
  EXPECT_TRUE(first->isHidden());
  EXPECT_EQ(context->numberOfCommentsFor(kTrack + 1), 1);
  EXPECT_EQ(table().numberOfRowsInSection(0), 3);
  // A failed request stops its own fresh spinner and leaves the table.
  setReply("GET /tracks/4294967298/comments.json", 500, "{}");
  EXPECT_FALSE(context->trackCommentsFor(kTrack + 2).has_value());
  ASSERT_NE(screen->indicator(), first);
  platform::ActivityIndicatorView* second = screen->indicator();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !second->isAnimating(); }));
  EXPECT_EQ(table().numberOfRowsInSection(0), 3);
  EXPECT_EQ(screen->preferredContentSize(), (platform::Size{380, 616}));
  EXPECT_EQ(screen->supportedInterfaceOrientations(), 24u);
}

TEST_F(CommentScreenTest, AJpegAvatarFromTheServiceShowsInTheList) {
  // A 40 × 40 avatar, left half orange, right half teal, served as JPEG
  // with a track list whose author is the first comment's.
  platform::DecodedPixels pixels{40, 40, std::vector<uint8_t>(40 * 40 * 4)};
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      uint8_t* px = &pixels.bgra[(static_cast<size_t>(y) * 40 + x) * 4];
      const bool left = x < 20;
      px[0] = left ? 0 : 160, px[1] = left ? 140 : 160, px[2] = left ? 255 : 0, px[3] = 255;
    }
  const auto jpeg = platform::encodeJPEG(pixels, 95);
  ASSERT_FALSE(jpeg.empty());
  signInAndLoad();
  setReply("GET /avatar.jpg", 200, std::string(jpeg.begin(), jpeg.end()));
  setReply("GET /list.json", 200,
           "[{\"id\":4294967296,\"title\":\"t\",\"user_id\":7,\"user\":{\"id\":7,\"username\":\"dj\",\"avatar_url\":\"" +
               sc_.url("/avatar.jpg") + "\"}}]");
  context->fetch({}, "list", 0);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return context->count() == 1; }));
  context->tryToRetrieveUserPictureAt(0);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return context->trackUserPictureForUserId(7) != nullptr; }));
  show(true);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return table().numberOfRowsInSection(0) == 3; }));
  hb->runPass();
  platform::TableViewCell* cell = table().cellForRowAtIndexPath({0, 0});
  ASSERT_NE(cell, nullptr);
  ASSERT_EQ(cell->imageView().image(), context->trackUserPictureForUserId(7));
  // The window as drawn: the avatar's two halves where its view is.
  auto shot = hb->render();
  ASSERT_NE(shot, nullptr);
  platform::View& view = cell->imageView();
  const platform::Rect r = view.convertRectTo(view.bounds(), nullptr);
  ASSERT_GT(r.size.width, 8);
  auto at = [&](double fx, double fy) {
    return shot->pixelAt({r.origin.x + r.size.width * fx, r.origin.y + r.size.height * fy});
  };
  auto near = [](platform::Image::RGBA c, int red, int green, int blue) {
    return std::abs(c.r - red) <= 12 && std::abs(c.g - green) <= 12 && std::abs(c.b - blue) <= 12;
  };
  EXPECT_TRUE(near(at(0.25, 0.5), 255, 140, 0));
  EXPECT_TRUE(near(at(0.75, 0.5), 0, 160, 160));
  // The second comment's author has no picture: the placeholder there.
  EXPECT_EQ(table().cellForRowAtIndexPath({0, 1})->imageView().image(), SoundCloudCommentViewController::defaultAvatar());
}
