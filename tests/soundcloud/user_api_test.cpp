#include <gtest/gtest.h>

#include <fstream>

#include "oauth2/nxoauth2_account_store.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/headless/headless_backend.h"
#include "soundcloud/ts_json.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_path.h"
#include "soundcloud/ts_soundcloud_user.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/soundcloud/soundcloud_test_support.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using namespace tssc;
using platform::Value;

namespace {

struct Announcements {
  Announcements() {
    auto& c = platform::NotificationCenter::defaultCenter();
    for (const char* name : {SCAuthChanged, SCUserOK, SCUserFailed, SCNewActivities, SCUserConnectionOK})
      c.addObserver(this, name, [this](const platform::Notification& n) {
        log.push_back(n.name);
        last[n.name] = n;
      });
  }
  ~Announcements() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  size_t count(const std::string& name) const { return std::count(log.begin(), log.end(), name); }
  std::vector<std::string> log;
  std::map<std::string, platform::Notification> last;
};

class UserTest : public igbtest::SharingTest {
 protected:
  void SetUp() override {
    igbtest::SharingTest::SetUp();
    defaults_ = std::make_unique<platform::UserDefaults>(documents() / "UserDefaults.plist");
    TSSoundCloudAPI::setUserDefaultsForTesting(defaults_.get());
    sc_.setScript([this](const HttpRequest& r) { return serve(r); });
  }
  void TearDown() override {
    TSSoundCloudAPI::cleanup();
    TSSoundCloudAPI::setUserDefaultsForTesting(nullptr);
    igbtest::SharingTest::TearDown();
  }
  HttpResponse serve(const HttpRequest& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.path == "/me.json" && r.method == "GET") return igbtest::FakeService::reply(meStatus_, me_);
    if (r.path == "/me.json" && r.method == "PUT") return igbtest::FakeService::reply(putStatus_, "{}");
    if (r.path == "/me/connections.json") return igbtest::FakeService::reply(200, connections_);
    if (r.path == "/avatar.png") {
      HttpResponse res;
      res.body.assign(png_.begin(), png_.end());
      return res;
    }
    return igbtest::FakeService::reply(404, "{}");
  }
  size_t requestsTo(const std::string& method, const std::string& path) {
    size_t n = 0;
    for (auto& r : sc_.apiRequests()) n += r.method == method && r.path == path;
    return n;
  }
  void setMe(std::string me, int status = 200) {
    std::lock_guard<std::mutex> lock(mutex_);
    me_ = std::move(me);
    meStatus_ = status;
  }

  std::mutex mutex_;
  std::string me_ = "{\"id\":9007199254740993,\"username\":\"dj\",\"avatar_url\":null}";
  int meStatus_ = 200;
  int putStatus_ = 200;
  std::string connections_ =
      "[{\"id\":1,\"type\":\"twitter\",\"display_name\":\"@dj\",\"post_publish\":true},"
      "{\"id\":2,\"type\":\"twitter\",\"display_name\":\"@dj2\"},{\"id\":3,\"type\":\"myspace\"}]";
  platform::Data png_ = platform::Image::create(3, 1)->pngData();
  std::unique_ptr<platform::UserDefaults> defaults_;
};

TEST_F(UserTest, LoadingReadsTheProfileTheAvatarAndTheConnections) {
  ASSERT_TRUE(signIn());
  setMe("{\"id\":9007199254740993,\"username\":\"dj\",\"avatar_url\":\"" + sc_.url("/avatar.png") + "\"}");
  int sender = 0;
  auto user = TSSoundCloudUser::make(std::any(&sender), defaults_.get());
  struct Listener : TSSoundCloudUserListener {
    int heard = 0;
    void soundCloudApiDidLoadedUserConnectionInfo(const platform::Notification&) override { ++heard; }
  } listener;
  user->addListener(&listener);
  Announcements a;
  user->load();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.count(SCUserOK) == 1 && a.count(SCUserConnectionOK) == 1; }));
  EXPECT_EQ(user->username(), "dj");
  EXPECT_EQ(user->userID(), 9007199254740993LL);
  ASSERT_TRUE(user->picture());
  EXPECT_EQ(user->picture()->pixelWidth(), 3);
  EXPECT_EQ(*a.last[SCUserOK].objectAs<int*>(), &sender);
  EXPECT_EQ(*a.last[SCUserConnectionOK].objectAs<TSSoundCloudUser*>(), user.get());
  EXPECT_EQ(listener.heard, 1);
  // The first record of each kind; none for a kind not connected.
  ASSERT_TRUE(user->connection(1));
  EXPECT_EQ(TSSoundCloudConnectionGetter::name(*user->connection(1)), Value("@dj"));
  EXPECT_TRUE(TSSoundCloudConnectionGetter::isReadyToPost(*user->connection(1)));
  EXPECT_EQ(TSSoundCloudConnectionGetter::identifier(*user->twitterConnection()), Value(1));
  EXPECT_FALSE(user->connection(0));
  EXPECT_FALSE(user->facebookConnection());
  EXPECT_FALSE(user->connection(2));
  EXPECT_EQ(user->connections().size(), 3u);
  // The requests (they run side by side, so the server may see them in any
  // order): profile and connections signed, the avatar a plain download.
  std::map<std::string, std::optional<std::string>> seen;
  for (auto& r : sc_.apiRequests()) seen[r.target] = r.header("Authorization");
  EXPECT_EQ(seen, (std::map<std::string, std::optional<std::string>>{{"/me.json", "OAuth tok-1"},
                                                                      {"/me/connections.json", "OAuth tok-1"},
                                                                      {"/avatar.png", std::nullopt}}));

  user->removeListener(&listener);
  user->loadConnection();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.count(SCUserConnectionOK) == 2; }));
  EXPECT_EQ(listener.heard, 1);
}

TEST_F(UserTest, AProfileWithoutAvatarStartsNoDownloadAndBadRepliesChangeNothing) {
  ASSERT_TRUE(signIn());
  auto user = TSSoundCloudUser::make({}, defaults_.get());
  Announcements a;
  user->load();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.count(SCUserConnectionOK) == 1 && user->username(); }));
  pumpMainLoopUntil([] { return false; }, 0.2);
  EXPECT_EQ(a.count(SCUserOK), 0u);
  EXPECT_EQ(user->userID(), 9007199254740993LL);
  EXPECT_FALSE(user->picture());
  EXPECT_EQ(requestsTo("GET", "/avatar.png"), 0u);

  // Replies of the wrong shape leave the record as it was.
  user->soundCloudAPIDidFinishWithData(igbtest::bytesOf("[1]"), {{"name", Value("get_me")}});
  user->soundCloudAPIDidFinishWithData(igbtest::bytesOf("{\"id\":\"x\",\"username\":5}"), {{"name", Value("get_me")}});
  user->soundCloudAPIDidFinishWithData(igbtest::bytesOf("{\"a\":1}"), {{"name", Value("get_myconnection")}});
  user->soundCloudAPIDidFinishWithData(igbtest::bytesOf("not json"), {{"name", Value("get_myconnection")}});
  EXPECT_EQ(user->userID(), 9007199254740993LL);
  EXPECT_EQ(user->username(), "dj");
  EXPECT_EQ(user->connections().size(), 3u);
  EXPECT_EQ(a.count(SCUserConnectionOK), 1u);
}

TEST_F(UserTest, ARefusedTokenOnTheProfileSignsOut) {
  ASSERT_TRUE(signIn());
  setMe("{\"error\":\"401 - Unauthorized\"}", 401);
  auto user = TSSoundCloudUser::make({}, defaults_.get());
  const int before = accountChanges_;
  user->load();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return accountChanges_ > before; }));
  EXPECT_FALSE(scsdk::SCSoundCloud::account());
  // Any other failure leaves the account alone.
  ASSERT_TRUE(signIn());
  user->soundCloudAPIDidFailWithError(platform::Error::make("NXOAuth2HTTPErrorDomain", 500, "x"), {{"name", Value("get_me")}});
  user->soundCloudAPIDidFailWithError(platform::Error::make("NXOAuth2HTTPErrorDomain", 401, "x"),
                                      {{"name", Value("get_myconnection")}});
  EXPECT_TRUE(scsdk::SCSoundCloud::account());
}

TEST_F(UserTest, NewActivitiesAreAnnouncedOnlyWhenTheCountChanges) {
  auto user = TSSoundCloudUser::make({}, defaults_.get());
  Announcements a;
  user->setNumberOfNewActivities(0);
  EXPECT_EQ(a.count(SCNewActivities), 0u);
  user->setNumberOfNewActivities(3);
  user->setNumberOfNewActivities(3);
  EXPECT_EQ(a.count(SCNewActivities), 1u);
  EXPECT_EQ(user->numberOfNewActivities(), 3);

  // Only the newer-activities reply of this user's own store counts.
  auto other = TSSoundCloudFetchedActivitiesStore::make(defaults_.get());
  auto& c = platform::NotificationCenter::defaultCenter();
  TSSoundCloudFetchedActivitiesStore* mine = user->store().get();
  TSSoundCloudFetchedActivitiesStore* theirs = other.get();
  c.post(SoundCloudFetchedActivitiesStoreDidFinishFetching, theirs,
         {{"name", Value("get_future_activities")}, {"result_count", Value(9)}});
  c.post(SoundCloudFetchedActivitiesStoreDidFinishFetching, mine,
         {{"name", Value("get_all_activities")}, {"result_count", Value(9)}});
  EXPECT_EQ(user->numberOfNewActivities(), 3);
  c.post(SoundCloudFetchedActivitiesStoreDidFinishFetching, mine,
         {{"name", Value("get_future_activities")}, {"result_count", Value(5)}});
  EXPECT_EQ(user->numberOfNewActivities(), 5);
  EXPECT_EQ(a.count(SCNewActivities), 2u);
}

TEST_F(UserTest, NewerActivitiesOfTheStoreBecomeTheUsersCount) {
  ASSERT_TRUE(signIn());
  sc_.setScript([this](const HttpRequest& r) {
    if (r.path == "/me/activities/all/own.json" && r.query.rfind("uuid=f1", 0) == 0)
      return igbtest::FakeService::reply(
          200, "{\"collection\":[{\"type\":\"favoriting\",\"created_at\":\"2026/12/09 10:00:00 +0000\","
               "\"origin\":{\"track\":{\"id\":1,\"title\":\"T\"},\"user\":{\"id\":2,\"username\":\"u\","
               "\"avatar_url\":null}}}],\"future_href\":\"" + sc_.url("/me/activities/all/own?uuid=f2") + "\"}");
    if (r.path == "/tracks/1.json") return igbtest::FakeService::reply(200, "{\"id\":1,\"created_with\":{\"id\":4242}}");
    return serve(r);
  });
  int sender = 0;
  auto user = TSSoundCloudUser::make(std::any(&sender), defaults_.get());
  Announcements a;
  user->store()->setFutureHref(sc_.url("/me/activities/all/own?uuid=f1"));
  user->store()->fetchLatest();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.count(SCNewActivities) == 1; }));
  EXPECT_EQ(user->numberOfNewActivities(), 1);
  EXPECT_EQ(user->store()->count(), 1u);
  EXPECT_EQ(*a.last[SCNewActivities].objectAs<int*>(), &sender);
}

TEST_F(UserTest, AProfileUpdateReloadsAfterItsWaitOrAnnouncesTheFailure) {
  ASSERT_TRUE(signIn());
  auto clock = std::make_shared<platform::VirtualClock>();
  platform::RunLoop::main().setClock(clock);
  auto user = TSSoundCloudUser::make({}, defaults_.get());
  const struct {
    TSParameters parameters;
    double wait;
  } table[] = {
      {{{"user[avatar_data]", platform::Data{1, 2, 3}}}, 20.0},
      {{{"user[full_name]", "DJ"}}, 0.1},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.wait);
    const size_t loads = requestsTo("GET", "/me.json");
    const size_t puts = requestsTo("PUT", "/me.json");
    user->updateProfile(row.parameters);
    ASSERT_TRUE(pumpMainLoopUntil([&] { return requestsTo("PUT", "/me.json") == puts + 1; }));
    ASSERT_TRUE(pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }));
    platform::RunLoop::main().drain();
    platform::RunLoop::main().advanceBy(row.wait * 0.95);
    pumpMainLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(requestsTo("GET", "/me.json"), loads);
    platform::RunLoop::main().advanceBy(row.wait * 0.05 + 0.001);
    ASSERT_TRUE(pumpMainLoopUntil([&] { return requestsTo("GET", "/me.json") == loads + 1; }));
  }
  putStatus_ = 422;
  Announcements a;
  user->updateProfile({{"user[full_name]", "DJ"}});
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.count(SCUserFailed) == 1; }));
  auto error = platform::Error::fromValue(*a.last[SCUserFailed].info(kAuthInfoError));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, 422);
}

TEST_F(UserTest, TheFeedSurvivesTheRecordAndSignOutDeletesIt) {
  const auto file = *TSSoundCloudPath::activitiesFile();
  EXPECT_EQ(file, documents() / ".misc" / "dravelund_activities.plist");
  {
    auto user = TSSoundCloudUser::make({}, defaults_.get());
    EXPECT_EQ(user->store()->count(), 0u);
    user->store()->retrieveContent(*tsParseJSON(igbtest::bytesOf(
        "{\"type\":\"favoriting\",\"created_at\":\"2026/12/01 10:00:00 +0000\",\"origin\":{\"track\":{\"id\":1,"
        "\"title\":\"T\"},\"user\":{\"id\":2,\"username\":\"u\",\"avatar_url\":null}}}")));
    ASSERT_EQ(user->store()->count(), 1u);
  }
  ASSERT_TRUE(std::filesystem::exists(file));
  auto again = TSSoundCloudUser::make({}, defaults_.get());
  ASSERT_EQ(again->store()->count(), 1u);
  EXPECT_EQ(again->store()->trackTitleAt(0), Value("T"));
  again->clearActivities();
  EXPECT_EQ(again->store()->count(), 0u);
  EXPECT_FALSE(std::filesystem::exists(file));
  again->clearActivities();  // no file: not an error
}

// ---- the facade ------------------------------------------------------------

class FacadeTest : public UserTest {};

TEST_F(FacadeTest, EachMissingKeyKeepsTheSharingLayerFromStarting) {
  const char* keys[] = {"SCConsumerKey", "SCSecretKey", "SCCallbackURL", "SCApplicationID"};
  for (const char* missing : keys) {
    SCOPED_TRACE(missing);
    platform::Dictionary info{{"SCConsumerKey", Value("consumer-key")},
                              {"SCSecretKey", Value("consumer-secret")},
                              {"SCCallbackURL", Value("x-igroovebix://soundcloud/callback")},
                              {"SCApplicationID", Value(4242)}};
    info.erase(missing);
    writeInfo(info);
    EXPECT_EQ(TSSoundCloudAPI::sharedInstance(), nullptr);
    EXPECT_EQ(TSSoundCloudAPI::startupError(), std::string(missing) + " is not assigned. Please define it at Info.plist");
  }
  writeInfo({{"SCConsumerKey", Value("consumer-key")},
             {"SCSecretKey", Value("consumer-secret")},
             {"SCCallbackURL", Value("x-igroovebix://soundcloud/callback")},
             {"SCApplicationID", Value(4242)}});
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  ASSERT_TRUE(api);
  EXPECT_FALSE(TSSoundCloudAPI::startupError());
  EXPECT_EQ(api->consumerKey(), "consumer-key");
  EXPECT_EQ(api->secretKey(), "consumer-secret");
  EXPECT_EQ(api->callbackURL(), "x-igroovebix://soundcloud/callback");
  EXPECT_EQ(api->applicationID(), "4242");
  EXPECT_EQ(TSSoundCloudAPI::sharedInstance(), api);
  EXPECT_EQ(scsdk::SCSoundCloud::configuration().at(scsdk::kSCConfigurationClientID), Value("consumer-key"));
  // The application's end cleans it up.
  platform::NotificationCenter::defaultCenter().post("UIApplicationWillTerminateNotification");
  EXPECT_TRUE(TSSoundCloudAPI::sharedInstance());  // a new one
}

TEST_F(FacadeTest, SignInLoadsAtOnceAndIsAnnouncedLater) {
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  ASSERT_TRUE(api);
  EXPECT_FALSE(api->isAuthenticated());
  // The announcement's wait runs on a virtual clock, so a slow machine that
  // takes long over the profile cannot make it look early.
  auto clock = std::make_shared<platform::VirtualClock>();
  platform::RunLoop::main().setClock(clock);
  Announcements a;
  ASSERT_TRUE(signIn());
  EXPECT_TRUE(api->isAuthenticated());
  // The profile and the links are asked for side by side, so the server may
  // see either first: wait for both, then make sure neither was asked twice.
  ASSERT_TRUE(pumpMainLoopUntil(
      [&] { return requestsTo("GET", "/me/connections.json") >= 1 && requestsTo("GET", "/me.json") >= 1; }));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return api->user()->username().has_value(); }));
  EXPECT_EQ(requestsTo("GET", "/me.json"), 1u);
  EXPECT_EQ(requestsTo("GET", "/me/connections.json"), 1u);
  platform::RunLoop::main().advanceBy(1.39);
  EXPECT_EQ(a.count(SCAuthChanged), 0u);
  platform::RunLoop::main().advanceBy(0.02);
  EXPECT_EQ(a.count(SCAuthChanged), 1u);
  EXPECT_EQ(*a.last[SCAuthChanged].objectAs<TSSoundCloudAPI*>(), api);
}

TEST_F(FacadeTest, SignOutClearsTheFeedTheLinksAndTheProfileAtOnceAndAnnouncesLater) {
  ASSERT_TRUE(signIn());
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();  // signed in: loads at once
  ASSERT_TRUE(pumpMainLoopUntil([&] { return api->user()->username().has_value(); }));
  auto clock = std::make_shared<platform::VirtualClock>();
  platform::RunLoop::main().setClock(clock);
  auto store = api->user()->store();
  store->retrieveContent(*tsParseJSON(igbtest::bytesOf(
      "{\"type\":\"favoriting\",\"created_at\":\"2026/12/01 10:00:00 +0000\",\"origin\":{\"track\":{\"id\":1,"
      "\"title\":\"T\"},\"user\":{\"id\":2,\"username\":\"u\",\"avatar_url\":null}}}")));
  store->setNextHref(sc_.url("/me/activities/all/own?cursor=x"));
  const auto file = *TSSoundCloudPath::activitiesFile();
  ASSERT_TRUE(store->saveActivities(file));
  Announcements a;
  api->resetAuthentication();
  EXPECT_FALSE(api->isAuthenticated());
  EXPECT_EQ(store->count(), 0u);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(store->nextHref());
  EXPECT_FALSE(defaults_->objectForKey("Dravelund_Activity_Next_Href"));
  EXPECT_FALSE(api->user()->username());
  EXPECT_FALSE(api->user()->userID());
  platform::RunLoop::main().advanceBy(1.39);
  EXPECT_EQ(a.count(SCAuthChanged), 0u);
  platform::RunLoop::main().advanceBy(0.02);
  EXPECT_EQ(a.count(SCAuthChanged), 1u);
}

TEST_F(FacadeTest, ObserversHearOnlyWhatTheyImplement) {
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  ASSERT_TRUE(api);
  struct OnlyAuth : TSSoundCloudAuthChangedObserver {
    int heard = 0;
    void soundCloudApiDidChanged(const platform::Notification&) override { ++heard; }
  } onlyAuth;
  struct All : TSSoundCloudAuthChangedObserver, TSSoundCloudUserInfoObserver, TSSoundCloudNewActivitiesObserver,
               TSSoundCloudUserFailedObserver {
    std::vector<std::string> heard;
    void soundCloudApiDidChanged(const platform::Notification&) override { heard.push_back("changed"); }
    void soundCloudApiDidRetrievedUserInfo(const platform::Notification&) override { heard.push_back("user"); }
    void soundCloudApiDidReceivedNewActivities(const platform::Notification&) override { heard.push_back("new"); }
    void soundCloudApiFailedRetrieveUserInfo(const platform::Notification&) override { heard.push_back("failed"); }
  } all;
  auto& c = platform::NotificationCenter::defaultCenter();
  const size_t authBefore = c.observerCount(SCAuthChanged);
  const size_t userBefore = c.observerCount(SCUserOK);
  api->addAuthObserver(&onlyAuth);
  EXPECT_EQ(c.observerCount(SCAuthChanged), authBefore + 1);
  EXPECT_EQ(c.observerCount(SCUserOK), userBefore);
  api->addAuthObserver(&all);
  for (const char* name : {SCAuthChanged, SCUserOK, SCNewActivities, SCUserFailed}) c.post(name, api);
  c.post(SCAuthChanged, std::string("someone else"));
  EXPECT_EQ(onlyAuth.heard, 1);
  EXPECT_EQ(all.heard, (std::vector<std::string>{"changed", "user", "new", "failed"}));
  api->removeAuthObserver(&onlyAuth);
  EXPECT_EQ(c.observerCount(SCAuthChanged), authBefore + 1);
  c.post(SCAuthChanged, api);
  EXPECT_EQ(onlyAuth.heard, 1);
  api->removeAuthObserver(&all);
  EXPECT_EQ(c.observerCount(SCAuthChanged), authBefore);
}

TEST_F(FacadeTest, TheLoginWindowGoesThroughThePresenterOnlyWhenSignedOut) {
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  ASSERT_TRUE(api);
  std::vector<std::string> presented;
  int completions = 0;
  std::optional<platform::Error> lastError;
  // Nothing to show the page with: the request ends at once with a reason.
  TSSoundCloudAPI::setLoginPresenter(nullptr);
  api->checkAuthentication([&](const std::optional<platform::Error>& e) {
    ++completions;
    lastError = e;
  });
  EXPECT_EQ(completions, 1);
  ASSERT_TRUE(lastError);
  EXPECT_EQ(lastError->code, -2);

  TSSoundCloudAPI::setLoginPresenter([&](const platform::URL& url, TSSoundCloudAPI::LoginCompletion done) {
    presented.push_back(url.absoluteString());
    done(std::nullopt);
  });
  api->checkAuthentication([&](const std::optional<platform::Error>& e) {
    ++completions;
    lastError = e;
  });
  ASSERT_EQ(presented.size(), 1u);
  EXPECT_EQ(presented[0].rfind(sc_.url("/connect") + "?response_type=code&client_id=consumer-key", 0), 0u);
  EXPECT_EQ(completions, 2);
  EXPECT_FALSE(lastError);

  ASSERT_TRUE(signIn());
  api->checkAuthentication([&](const std::optional<platform::Error>&) { ++completions; });
  EXPECT_EQ(presented.size(), 1u);
  EXPECT_EQ(completions, 2);
  EXPECT_TRUE(api->isAuthenticated());
  TSSoundCloudAPI::setLoginPresenter(nullptr);
}

TEST_F(FacadeTest, CancelTakesEitherKindOfHandle) {
  ASSERT_TRUE(signIn());
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return api->user()->username().has_value(); }));
  sc_.setScript([](const HttpRequest&) {
    HttpResponse r = igbtest::FakeService::reply(200, "{}");
    r.delay = std::chrono::milliseconds(300);
    return r;
  });
  int calls = 0;
  TSRequestHandle mine = TSSoundCloudExecutor::getTrack(Value(1), [&](auto&&...) { ++calls; });
  auto theirs = scsdk::SCRequest::performMethod(scsdk::SCRequestMethodGET, *platform::URL::withString(sc_.url("/x")),
                                                std::nullopt, nullptr, nullptr, [&](auto&&...) { ++calls; });
  api->cancelConnection(mine);
  api->cancelConnection(std::any(theirs));
  api->cancelConnection(std::any(42));
  api->cancelConnection(TSRequestHandle());
  pumpMainLoopUntil([] { return false; }, 0.5);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(mine->isCancelled());
}

TEST(ShowErrorTest, TheAlertTextsFollowTheCode) {
  const struct {
    int64_t code;
    const char* title;
    const char* message;
  } table[] = {
      {-1009, "Cannot Connect to SoundCloud",
       "This app cannot connect to SoundCloud because it is not connected to the internet"},
      {404, "Error Occurred (404)", "Oops, something went wrong, please try again. (404)"},
      {-1001, "Error Occurred (-1001)", "Oops, something went wrong, please try again. (-1001)"},
      {499, "Error Occurred (499)", "Oops, something went wrong, please try again. (499)"},
      {500, "Cannot Connect to SoundCloud", "Oops, something went wrong, please try again. (500)"},
      {503, "Cannot Connect to SoundCloud", "Oops, something went wrong, please try again. (503)"},
  };
  for (const auto& row : table) {
    const auto t = TSShowError::textsFor(platform::Error::make("NXOAuth2HTTPErrorDomain", row.code, "x"));
    EXPECT_EQ(t.title, row.title);
    EXPECT_EQ(t.message, row.message);
  }
}

}  // namespace

namespace {

TEST(ShowErrorTest, TheAlertHasOneOKButton) {
  platform::HeadlessBackend hb;
  auto w = hb.makeWindow();
  TSShowError::show(platform::Error::make("NXOAuth2HTTPErrorDomain", 404, "x"));
  hb.runPass();
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "Error Occurred (404)");
  EXPECT_EQ(hb.alertButtons(), (std::vector<std::string>{"OK"}));
  ASSERT_TRUE(platform::AlertView::visibleAlert());
  EXPECT_EQ(platform::AlertView::visibleAlert()->message(), "Oops, something went wrong, please try again. (404)");
  platform::AlertView::visibleAlert()->dismissWithClickedButtonIndex(0, false);
  hb.runPass();
  EXPECT_FALSE(hb.alertVisible());
}

}  // namespace

namespace {

TEST(ProgramBundleTest, TheInfoPlistCarriesTheFourClientKeys) {
  platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
  for (const char* key : {"SCConsumerKey", "SCSecretKey", "SCCallbackURL", "SCApplicationID"}) {
    std::optional<platform::Value> v = platform::Bundle::mainBundle().objectForInfoDictionaryKey(key);
    ASSERT_TRUE(v) << key;
    EXPECT_TRUE(v->isString()) << key;
  }
  platform::Bundle::setMainBundlePath(std::nullopt);
}

}  // namespace
