// The sharing screen: the message counter and its limit, switching the
// services on and off through the account store with its refusals, the
// upload with the posts to the chosen services as the service sees them,
// the attachment's order, failure and cancel.

#include "soundcloud/screens/ts_soundcloud_info_sharing_view_controller.h"

#include "sharing_screens_fixture.h"
#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"

using namespace tssc;
using igbtest::formMap;

namespace {

// A device's accounts as the test sets them; answers on a later pass.
class FakeAccountStore : public TSSocialAccountStore {
 public:
  struct Post {
    std::string service, path;
    platform::Dictionary parameters;
    std::optional<int64_t> trackId;
  };
  std::map<std::string, std::vector<std::string>> names;
  // Answers to the access requests, in order (granted when none is left).
  std::vector<bool> answers;
  std::vector<std::pair<std::string, platform::Dictionary>> asked;
  std::vector<Post> posts;

  bool hasAccount(const std::string& s) const override { return names.count(s) > 0; }
  std::vector<std::string> accountNames(const std::string& s) const override {
    auto it = names.find(s);
    return it == names.end() ? std::vector<std::string>{} : it->second;
  }
  void requestAccess(const std::string& s, const platform::Dictionary& options, AccessCompletion done) override {
    asked.emplace_back(s, options);
    bool granted = true;
    if (!answers.empty()) {
      granted = answers.front();
      answers.erase(answers.begin());
    }
    platform::RunLoop::main().perform([done, granted] { done(granted); });
  }
  void post(const std::string& s, const std::string& path, const platform::Dictionary& p,
            std::optional<int64_t> id) override {
    posts.push_back({s, path, p, id});
  }
};

class SharingScreenTest : public SharingScreensTest {
 protected:
  void SetUp() override {
    SharingScreensTest::SetUp();
    writeInfo({{"SCConsumerKey", platform::Value("consumer-key")},
               {"SCSecretKey", platform::Value("consumer-secret")},
               {"SCCallbackURL", platform::Value("x-igroovebix://soundcloud/callback")},
               {"SCApplicationID", platform::Value("4242")},
               {"CFBundleDisplayName", platform::Value("iGROOVEBIX")},
               {"FacebookAppID", platform::Value("fb-app-1")}});
    info = std::make_shared<SoundCloudInformationObject>(true, false);
    info->fileURL = platform::URL::fileURLWithPath(audio);
    info->title = "Groove";
    store = std::make_shared<FakeAccountStore>();
  }
  void open(bool fakeAccounts = true) {
    screen = std::make_shared<TSSoundCloudInfoSharingViewController>();
    screen->setInformation(info);
    if (fakeAccounts) screen->setAccountStore(store);
    screen->setDelegate(&delegate);
    nav = present(screen);
  }
  void tapView(platform::View& v) {
    const platform::Rect b = v.bounds();
    hb->tap(v.convertPointTo({b.midX(), b.midY()}, nullptr));
    hb->runPass();
  }
  void setMessage(const std::string& text) {
    screen->messageTextView().setText(text);
    screen->textViewDidChange(screen->messageTextView());
  }
  platform::BarButtonItem& upload() { return *screen->navigationItem().rightBarButtonItem(); }

  struct RecordingDelegate : TSSoundCloudInfoSharingViewControllerDelegate {
    std::vector<std::string> log;
    void soundCloudInfoSharingViewControllerCanceled(TSSoundCloudInfoSharingViewController&) override {
      log.push_back("canceled");
    }
    void soundCloudInfoSharingViewControllerCompleted(TSSoundCloudInfoSharingViewController&) override {
      log.push_back("completed");
    }
    void soundCloudInfoSharingViewControllerFailed(TSSoundCloudInfoSharingViewController&,
                                                   const platform::Error& e) override {
      log.push_back("failed " + std::to_string(e.code));
    }
  };

  std::shared_ptr<SoundCloudInformationObject> info;
  std::shared_ptr<FakeAccountStore> store;
  std::shared_ptr<TSSoundCloudInfoSharingViewController> screen;
  std::shared_ptr<platform::NavigationController> nav;
  RecordingDelegate delegate;
};

TEST_F(SharingScreenTest, ShownWithPostingOffAndTheMessageVeiled) {
  open();
  EXPECT_EQ(screen->title(), "Share");
  EXPECT_EQ(upload().title(), "Upload");
  EXPECT_EQ(upload().style(), platform::BarButtonItem::Style::Done);
  EXPECT_TRUE(upload().isEnabled());
  EXPECT_FALSE(screen->messageTextView().isEditable());
  EXPECT_EQ(screen->placeholder().text(), TSSoundCloudInfoSharingViewController::kPlaceholderOff);
  EXPECT_DOUBLE_EQ(screen->curtainView().alpha(), 1.0);
  EXPECT_EQ(screen->curtainView().backgroundColor(), platform::Color::rgba(0.8, 0.8, 0.8, 0.75));
  EXPECT_EQ(screen->messageTextView().textColor(), TSSoundCloudInfoSharingViewController::messageColorOff());
  EXPECT_EQ(screen->characterCounterLabel().text(), "110");
  for (auto* label : {&screen->twitterLabel(), &screen->facebookLabel()})
    EXPECT_EQ(label->textColor(), TSSoundCloudInfoSharingViewController::serviceLabelColorOff());
  EXPECT_EQ(screen->twitterLabel().text(), "Twitter");
  EXPECT_EQ(screen->facebookLabel().text(), "Facebook");
  EXPECT_FALSE(screen->twitterButton().isSelected());
}

TEST_F(SharingScreenTest, TheCounterShowsWhatIsLeftAndPastTheLimitUploadIsOff) {
  open();
  const std::string emoji = "\xF0\x9F\x8E\xB5";  // two UTF-16 units
  struct Case {
    std::string text;
    std::string counter;
    bool enabled;
  };
  std::string fiftyFive;
  for (int i = 0; i < 55; ++i) fiftyFive += emoji;
  for (const Case& c : std::vector<Case>{{"", "110", true},
                                         {std::string(110, 'a'), "0", true},
                                         {std::string(111, 'a'), "-1", false},
                                         {fiftyFive, "0", true},
                                         {fiftyFive + "a", "-1", false},
                                         {"short", "105", true}}) {
    setMessage(c.text);
    EXPECT_EQ(screen->characterCounterLabel().text(), c.counter);
    EXPECT_EQ(upload().isEnabled(), c.enabled) << c.counter;
    EXPECT_EQ(screen->characterCounterLabel().textColor(),
              c.enabled ? TSSoundCloudInfoSharingViewController::counterColorWithinLimit()
                        : TSSoundCloudInfoSharingViewController::counterColorPastLimit());
  }
}

TEST_F(SharingScreenTest, TwitterSwitchesOnWithTheAccountsNameAndOffAgain) {
  store->names["Twitter"] = {"alice", "bob"};
  open();
  tapView(screen->twitterButton());
  hb->runPass();
  EXPECT_TRUE(screen->twitterButton().isSelected());
  EXPECT_EQ(screen->twitterLabel().text(), "alice");
  EXPECT_EQ(screen->twitterLabel().textColor(), TSSoundCloudInfoSharingViewController::serviceLabelColorOn());
  EXPECT_TRUE(screen->messageTextView().isEditable());
  EXPECT_DOUBLE_EQ(screen->curtainView().alpha(), 0.0);
  EXPECT_EQ(screen->placeholder().text(), TSSoundCloudInfoSharingViewController::kPlaceholderOn);
  EXPECT_EQ(screen->messageTextView().textColor(), TSSoundCloudInfoSharingViewController::messageColorOn());
  ASSERT_EQ(store->asked.size(), 1u);
  EXPECT_TRUE(store->asked[0].second.empty()) << "Twitter asks with no options";
  // Typing: the placeholder goes when editing begins.
  tapView(screen->messageTextView());
  EXPECT_EQ(screen->placeholder().text(), "");
  hb->typeText("hello");
  EXPECT_EQ(screen->characterCounterLabel().text(), "105");
  screen->messageTextView().resignFirstResponder();
  // Off again (access is asked again): name back, veiled, read-only.
  tapView(screen->twitterButton());
  hb->runPass();
  EXPECT_FALSE(screen->twitterButton().isSelected());
  EXPECT_EQ(screen->twitterLabel().text(), "Twitter");
  EXPECT_EQ(screen->twitterLabel().textColor(), TSSoundCloudInfoSharingViewController::serviceLabelColorOff());
  EXPECT_FALSE(screen->messageTextView().isEditable());
  EXPECT_DOUBLE_EQ(screen->curtainView().alpha(), 1.0);
  EXPECT_EQ(screen->placeholder().text(), "") << "the message has text";
  EXPECT_EQ(store->asked.size(), 2u);
}

TEST_F(SharingScreenTest, MissingAccountsAndRefusalsAreExplainedAndChangeNothing) {
  open();
  tapView(screen->facebookButton());
  ASSERT_TRUE(hb->alertVisible());
  EXPECT_EQ(hb->alertTitle(), "Error");
  EXPECT_EQ(hb->alertMessage(),
            "There is no Facebook account linked with this device. To activate it, go to Settings.app and select "
            "Facebook.");
  EXPECT_EQ(hb->alertButtons(), (std::vector<std::string>{"OK"}));
  hb->answerAlert(0);
  EXPECT_FALSE(screen->facebookButton().isSelected());
  EXPECT_TRUE(store->asked.empty());

  // Facebook asks twice: the basic permission, then publishing to friends.
  store->names["Facebook"] = {"Ann Example"};
  struct Case {
    std::vector<bool> answers;
    size_t asks;
  };
  for (const Case& c : std::vector<Case>{{{false}, 1}, {{true, false}, 2}}) {
    store->asked.clear();
    store->answers = c.answers;
    tapView(screen->facebookButton());
    hb->runPass();
    ASSERT_TRUE(hb->alertVisible());
    EXPECT_EQ(hb->alertMessage(),
              "iGROOVEBIX is not allowed to use your Facebook account. To activate it, go to Settings.app and select "
              "Facebook.");
    hb->answerAlert(0);
    EXPECT_FALSE(screen->facebookButton().isSelected());
    EXPECT_EQ(store->asked.size(), c.asks);
  }
  store->asked.clear();
  tapView(screen->facebookButton());
  hb->runPass();
  EXPECT_TRUE(screen->facebookButton().isSelected());
  EXPECT_EQ(screen->facebookLabel().text(), "Ann Example");
  ASSERT_EQ(store->asked.size(), 2u);
  const platform::Dictionary& first = store->asked[0].second;
  EXPECT_EQ(first.at(kTSFacebookAppIdKey).stringValue(), "fb-app-1");
  EXPECT_EQ(first.at(kTSFacebookPermissionsKey), platform::Value(platform::Array{platform::Value("email")}));
  EXPECT_FALSE(first.count(kTSFacebookAudienceKey));
  const platform::Dictionary& second = store->asked[1].second;
  EXPECT_EQ(second.at(kTSFacebookPermissionsKey), platform::Value(platform::Array{platform::Value("publish_actions")}));
  EXPECT_EQ(second.at(kTSFacebookAudienceKey).stringValue(), "friends");
}

TEST_F(SharingScreenTest, APublicUploadPostsTheLinkToBothConnectionsAndTheAlertClosesEverything) {
  setReply("GET /me/connections.json", 200,
           "[{\"id\":77,\"type\":\"twitter\",\"display_name\":\"dj_tweets\"},"
           "{\"id\":88,\"type\":\"facebook_profile\",\"display_name\":\"DJ Face\"},"
           "{\"id\":99,\"type\":\"tumblr\",\"display_name\":\"other\"}]");
  setReply("POST /tracks/4294967297/shared-to/connections.json", 201, "{}");
  signInAndLoad();
  // From the editor, as the user goes: Next, then Upload here.
  auto editor = std::make_shared<SoundCloudInfoEditViewController>(audio, 128.0, std::string("Groove"));
  nav = present(SoundCloudInfoEditViewController::uploadNavigationController(editor));
  editor->uploadButtonItem()->trigger();
  hb->advance(0.5);
  auto shared = std::dynamic_pointer_cast<TSSoundCloudInfoSharingViewController>(nav->viewControllers().back());
  ASSERT_TRUE(shared);
  screen = shared;
  tapView(screen->twitterButton());
  tapView(screen->facebookButton());
  hb->runPass();
  EXPECT_EQ(screen->twitterLabel().text(), "dj_tweets");
  EXPECT_EQ(screen->facebookLabel().text(), "DJ Face");
  setMessage("fresh from the groovebox");
  upload().trigger();
  EXPECT_FALSE(upload().isEnabled());
  // Typing on during the upload does not offer a second one.
  setMessage("fresh from the groovebox");
  EXPECT_FALSE(upload().isEnabled());
  screen->uploadButtonPushed();
  ASSERT_TRUE(screen->navigationItem().leftBarButtonItem());
  EXPECT_EQ(screen->navigationItem().leftBarButtonItem()->title(), "Cancel");
  EXPECT_TRUE(screen->navigationItem().hidesBackButton());
  EXPECT_EQ(screen->prompt(), "Uploading Audio...");
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Upload Complete");
  EXPECT_EQ(hb->alertMessage(), SoundCloudInfoEditViewController::kUploadCompleteMessage);
  ASSERT_TRUE(waitForRequests(3));
  EXPECT_EQ(requestLines(), (std::vector<std::string>{"POST /tracks.json",
                                                      "POST /tracks/4294967297/shared-to/connections.json",
                                                      "POST /tracks/4294967297/shared-to/connections.json"}));
  const auto reqs = sc_.apiRequests();
  EXPECT_EQ(formMap(reqs[0])["track[sharing]"], "public");
  EXPECT_EQ(formMap(reqs[0])["track[title]"], "Groove");
  EXPECT_EQ(formMap(reqs[0])["track[bpm]"], "128.0");
  // The two posts travel side by side: the service may see either first.
  std::map<std::string, std::string> notes;
  for (size_t i = 1; i < 3; ++i) {
    auto form = formMap(reqs[i]);
    notes[form["connections[][id]"]] = form["sharing_note"];
    EXPECT_EQ(reqs[i].header("Authorization"), reqs[0].header("Authorization"));
  }
  EXPECT_EQ(notes, (std::map<std::string, std::string>{
                       {"77", "fresh from the groovebox https://soundcloud.com/dj/groove"},
                       {"88", "fresh from the groovebox"}}));
  hb->answerAlert(0);
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nullptr) << "the editor goes with the sharing screen";
}

TEST_F(SharingScreenTest, WithPatternDataThePostsGoAfterTheAudioAndTheAlertAfterTheAttachment) {
  signInAndLoad();
  setReply("POST /tracks/4294967297/attachments.json", 201, "{\"id\":5}");
  const auto data = documents() / "pattern.gbd";
  std::ofstream(data, std::ios::binary) << std::string(800, 'p');
  info = std::make_shared<SoundCloudInformationObject>(true, true);
  info->fileURL = platform::URL::fileURLWithPath(audio);
  info->dataURL = platform::URL::fileURLWithPath(data);
  info->sharing = true;
  store->names["Twitter"] = {"alice"};
  open();
  tapView(screen->twitterButton());
  hb->runPass();
  setMessage("with data");
  upload().trigger();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !store->posts.empty(); }));
  EXPECT_FALSE(hb->alertVisible()) << "no alert before the attachment";
  ASSERT_EQ(store->posts.size(), 1u);
  EXPECT_EQ(store->posts[0].service, "Twitter");
  EXPECT_EQ(store->posts[0].path, "/1/statuses/update.json");
  EXPECT_EQ(store->posts[0].parameters.at("status").stringValue(), "with data https://soundcloud.com/dj/groove");
  EXPECT_EQ(store->posts[0].trackId, 4294967297LL);
  EXPECT_EQ(screen->prompt(), "Uploading Data...");
  hb->advance(0.3);
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Upload Complete");
  EXPECT_EQ(requestLines(),
            (std::vector<std::string>{"POST /tracks.json", "POST /tracks/4294967297/attachments.json"}));
  EXPECT_EQ(formMap(sc_.apiRequests()[1])["attachment[asset_data]"], std::string(800, 'p'));
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"completed"}));
}

TEST_F(SharingScreenTest, FacebookPostsCarryTheTracksLinkTitleAndPicture) {
  signInAndLoad();
  store->names["Facebook"] = {"Ann"};
  store->names["Twitter"] = {"ann_tw"};
  open();
  tapView(screen->facebookButton());
  tapView(screen->twitterButton());
  hb->runPass();
  setMessage("hi");
  upload().trigger();
  ASSERT_TRUE(waitForAlert());
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return store->posts.size() == 2; }));
  EXPECT_EQ(store->posts[0].service, "Twitter") << "Twitter goes first";
  EXPECT_EQ(store->posts[0].parameters.at("status").stringValue(), "hi https://soundcloud.com/dj/groove");
  const auto& p = store->posts[1];
  EXPECT_EQ(p.service, "Facebook");
  EXPECT_EQ(p.path, "/me/feed");
  EXPECT_EQ(p.parameters.at("message").stringValue(), "hi");
  EXPECT_EQ(p.parameters.at("link").stringValue(), "https://soundcloud.com/dj/groove");
  EXPECT_EQ(p.parameters.at("source").stringValue(), "https://soundcloud.com/dj/groove");
  EXPECT_EQ(p.parameters.at("name").stringValue(), "Groove");
  EXPECT_EQ(p.parameters.at("picture").stringValue(), "https://i1.sndcdn.com/avatar.jpg");
}

TEST_F(SharingScreenTest, AFailedUploadIsShownAndTheScreenComposesAgain) {
  signInAndLoad();
  setReply("POST /tracks.json", 401, "{}");
  open();
  upload().trigger();
  ASSERT_TRUE(waitForAlert());
  EXPECT_EQ(hb->alertTitle(), "Error Occurred (401)");
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"failed 401"}));
  EXPECT_FALSE(screen->navigationItem().leftBarButtonItem());
  EXPECT_FALSE(screen->navigationItem().hidesBackButton());
  EXPECT_TRUE(upload().isEnabled());
  hb->answerAlert(0);
  hb->advance(1.0);
  EXPECT_EQ(root->presentedViewController(), nav.get()) << "an error closes nothing";
}

TEST_F(SharingScreenTest, CancelStopsTheUploadAndTellsTheDelegate) {
  signInAndLoad();
  open();
  upload().trigger();
  screen->navigationItem().leftBarButtonItem()->trigger();
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"canceled"}));
  igbtest::pumpMainLoopUntil([] { return false; }, 0.3);
  EXPECT_FALSE(hb->alertVisible());
  EXPECT_TRUE(upload().isEnabled());
  EXPECT_EQ(root->presentedViewController(), nav.get());
}

TEST(SharingTexts, MessagesNameTheServiceAndTheApp) {
  EXPECT_EQ(TSSoundCloudInfoSharingViewController::createAlertMessage("Twitter"),
            "There is no Twitter account linked with this device. To activate it, go to Settings.app and select "
            "Twitter.");
  EXPECT_EQ(TSSoundCloudInfoSharingViewController::endpointPath("Twitter"), "/1/statuses/update.json");
  EXPECT_EQ(TSSoundCloudInfoSharingViewController::endpointPath("Facebook"), "/me/feed");
  EXPECT_EQ(TSSoundCloudInfoSharingViewController::endpointPath("MySpace"), "");
  EXPECT_EQ(TSSoundCloudConnectionAccountStore::connectionType("Facebook"), "facebook_profile");
  EXPECT_EQ(TSSoundCloudConnectionAccountStore::connectionType("Tumblr"), std::nullopt);
}

}  // namespace
