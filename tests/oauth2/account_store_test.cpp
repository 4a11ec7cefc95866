#include "oauth2/nxoauth2_account_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <regex>

#include "oauth2/nxoauth2_log.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/foundation/property_list.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;
using platform::Notification;
using platform::URL;

namespace {

const char* kType = "org.example.api";

class AccountStoreTest : public igbtest::OAuth2Test {
 protected:
  AccountStoreTest()
      : server_([this](const HttpRequest& r) {
          std::lock_guard<std::mutex> lock(mutex_);
          if (r.path == "/oauth2/token") {
            if (!tokenStatus_.empty()) {
              const int status = tokenStatus_.front();
              tokenStatus_.erase(tokenStatus_.begin());
              return HttpResponse::json(status, "{\"error\":\"invalid_grant\"}");
            }
            ++issued_;
            return HttpResponse::json(200, igbtest::tokenReply("tok-" + std::to_string(issued_), "ref-" + std::to_string(issued_)));
          }
          return HttpResponse::json(200, "{\"path\":\"" + r.path + "\"}");
        }) {}

  void SetUp() override {
    igbtest::OAuth2Test::SetUp();
    NXOAuth2AccountStore::resetSharedStoreForTesting();
    configure();
    auto& c = platform::NotificationCenter::defaultCenter();
    c.addObserver(this, NXOAuth2AccountStoreAccountsDidChangeNotification,
                  [this](const Notification& n) { changes_.push_back(n.userInfo); });
    c.addObserver(this, NXOAuth2AccountStoreDidFailToRequestAccessNotification,
                  [this](const Notification& n) { failures_.push_back(n.userInfo); });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    NXOAuth2AccountStore::resetSharedStoreForTesting();
    igbtest::OAuth2Test::TearDown();
  }
  void configure() {
    store().setClientID("cid", "sec", *URL::withString(server_.url("/connect")),
                        *URL::withString(server_.url("/oauth2/token")), redirect_, kType);
  }
  static NXOAuth2AccountStore& store() { return NXOAuth2AccountStore::sharedStore(); }
  void refuseTokenRequests(std::vector<int> statuses) {
    std::lock_guard<std::mutex> lock(mutex_);
    tokenStatus_ = std::move(statuses);
  }
  // Signs in with the password grant; the new account.
  std::shared_ptr<NXOAuth2Account> signIn(const std::string& type = kType) {
    const size_t before = changes_.size();
    store().requestAccessToAccountWithType(type, "user", "pass");
    if (!pumpMainLoopUntil([&] { return changes_.size() > before; })) return nullptr;
    const platform::Value* id = changes_.back().count(NXOAuth2AccountStoreNewAccountUserInfoKey)
                                    ? &changes_.back().at(NXOAuth2AccountStoreNewAccountUserInfoKey)
                                    : nullptr;
    return id ? store().accountWithIdentifier(id->stringValue()) : nullptr;
  }
  std::vector<HttpRequest> tokenRequests() const {
    std::vector<HttpRequest> out;
    for (auto& r : server_.requests())
      if (r.path == "/oauth2/token") out.push_back(r);
    return out;
  }
  std::filesystem::path storeFile() const {
    return platform::Keychain::defaultKeychain().fileForService(NXOAuth2AccountStore::keychainServiceName());
  }

  std::mutex mutex_;
  std::vector<int> tokenStatus_;
  int issued_ = 0;
  TestHttpServer server_;
  const URL redirect_ = *URL::withString("x-igroovebix://oauth");
  std::vector<platform::Dictionary> changes_;
  std::vector<platform::Dictionary> failures_;
};

TEST_F(AccountStoreTest, APasswordSignInBecomesAStoredAccount) {
  auto account = signIn();
  ASSERT_TRUE(account);
  EXPECT_TRUE(std::regex_match(account->identifier(), std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")));
  EXPECT_EQ(account->accountType(), kType);
  EXPECT_EQ(account->accessToken()->accessToken(), "tok-1");
  EXPECT_EQ(store().accounts().size(), 1u);
  const auto f = igbtest::formMap(tokenRequests().at(0));
  EXPECT_EQ(f.at("grant_type"), "password");
  EXPECT_EQ(f.at("username"), "user");

  const std::string service = NXOAuth2AccountStore::keychainServiceName();
  EXPECT_EQ(service, nxoauth2_bundleIdentifier() + "::NXOAuth2AccountStore");
  auto item = platform::Keychain::defaultKeychain().copyItem(service);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->label, "OAuth 2 Account Store");
  EXPECT_TRUE(item->generic.empty());
  auto archive = platform::propertyListFromBytes(item->secret);
  ASSERT_TRUE(archive);
  const platform::Value* stored = archive->find(account->identifier());
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->find("accountType")->stringValue(), kType);
  EXPECT_EQ(stored->find("accessToken")->find("accessToken")->stringValue(), "tok-1");
  struct stat st;
  ASSERT_EQ(::stat(storeFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(account->description().find("tok-1"), std::string::npos);
}

TEST_F(AccountStoreTest, TwoSignInsGiveTwoAccountsOfTheType) {
  store().setClientID("cid2", "sec2", *URL::withString(server_.url("/connect")),
                      *URL::withString(server_.url("/oauth2/token")), *URL::withString("x-other://cb"), "org.other");
  auto a = signIn();
  auto b = signIn();
  auto c = signIn("org.other");
  ASSERT_TRUE(a && b && c);
  EXPECT_NE(a->identifier(), b->identifier());
  auto ofType = store().accountsWithAccountType(kType);
  ASSERT_EQ(ofType.size(), 2u);
  std::set<std::string> ids{ofType[0]->identifier(), ofType[1]->identifier()};
  EXPECT_EQ(ids, (std::set<std::string>{a->identifier(), b->identifier()}));
  EXPECT_EQ(store().accountsWithAccountType("org.none").size(), 0u);
  EXPECT_EQ(store().accounts().size(), 3u);
}

TEST_F(AccountStoreTest, AccountsSurviveARestart) {
  auto a = signIn();
  auto b = signIn();
  ASSERT_TRUE(a && b);
  a->setUserData(platform::Value(platform::Dictionary{{"username", platform::Value("dj")}, {"id", platform::Value(4294967297LL)}}));
  const std::string idA = a->identifier(), idB = b->identifier();
  a.reset();
  b.reset();
  NXOAuth2AccountStore::resetSharedStoreForTesting();
  configure();
  auto restoredA = store().accountWithIdentifier(idA);
  auto restoredB = store().accountWithIdentifier(idB);
  ASSERT_TRUE(restoredA && restoredB);
  EXPECT_EQ(restoredA->accountType(), kType);
  EXPECT_EQ(restoredA->accessToken()->accessToken(), "tok-1");
  EXPECT_EQ(restoredA->accessToken()->refreshToken(), "ref-1");
  EXPECT_EQ(restoredA->userData().find("username")->stringValue(), "dj");
  EXPECT_EQ(restoredA->userData().find("id")->integerValue(), 4294967297LL);
  EXPECT_EQ(restoredB->accessToken()->accessToken(), "tok-2");
  EXPECT_TRUE(restoredB->userData().isNull());
  // The client is rebuilt from the configuration and signs with the token.
  igbtest::HandlerResult result;
  auto c = NXOAuth2Connection::make(platform::URLRequest(*URL::withString(server_.url("/me.json"))), std::nullopt,
                                    restoredA->oauthClient(), nullptr, result.handler());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
  EXPECT_EQ(server_.requests().back().header("Authorization"), "OAuth tok-1");
}

TEST_F(AccountStoreTest, AFailedSignInIsAnnouncedWithTypeAndError) {
  refuseTokenRequests({401});
  store().requestAccessToAccountWithType(kType, "user", "wrong");
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !failures_.empty(); }));
  EXPECT_EQ(failures_[0].at(NXOAuth2AccountStoreAccountType).stringValue(), kType);
  auto error = platform::Error::fromValue(failures_[0].at(NXOAuth2AccountStoreErrorKey));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "NXOAuth2HTTPErrorDomain");
  EXPECT_EQ(error->code, 401);
  EXPECT_TRUE(store().accounts().empty());
  // The pending client went with the failure: the next attempt starts afresh.
  ASSERT_TRUE(signIn());
}

TEST_F(AccountStoreTest, ATypeWithoutConfigurationFailsAtOnce) {
  store().requestAccessToAccountWithType("org.unconfigured", "u", "p");
  store().requestAccessToAccountWithType("org.unconfigured", [](const URL&) { ADD_FAILURE(); });
  ASSERT_EQ(failures_.size(), 2u);
  auto error = platform::Error::fromValue(failures_[0].at(NXOAuth2AccountStoreErrorKey));
  EXPECT_EQ(error->code, NXOAuth2MissingConfigurationErrorCode);
  EXPECT_THROW(store().setClientID("", "s", redirect_, redirect_, redirect_, "t"), std::invalid_argument);
}

TEST_F(AccountStoreTest, RedirectsMatchTheConfiguredEndpointExactly) {
  std::optional<URL> prepared;
  store().requestAccessToAccountWithType(kType, [&](const URL& u) { prepared = u; });
  ASSERT_TRUE(prepared);
  EXPECT_EQ(prepared->absoluteString().rfind(server_.url("/connect") + "?response_type=code&client_id=cid&redirect_uri=x-igroovebix%3A%2F%2Foauth", 0), 0u);
  const std::string state = nxoauth2_valueForQueryParameterKey(*prepared, "state").value_or("");
  for (const std::string bad : {"x-igroovebix://oauthEVIL?code=c&state=", "x-igroovebix://oauth.evil?code=c&state=",
                                "x-igroovebix://oauth/more?code=c&state=", "x-igroovebix://evil/oauth?code=c&state=",
                                "https://oauth/?code=c&state=", "x-igroovebix:oauth?code=c&state="}) {
    EXPECT_FALSE(store().handleRedirectURL(*URL::withString(bad + state))) << bad;
  }
  pumpMainLoopUntil([] { return false; }, 0.1);
  EXPECT_TRUE(tokenRequests().empty());
  EXPECT_TRUE(changes_.empty());

  // The scheme's case does not matter, and the code goes on with the
  // scheme as configured.
  EXPECT_TRUE(store().handleRedirectURL(*URL::withString("X-IGROOVEBIX://oauth?code=the-code&state=" + state)));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !changes_.empty(); }));
  const auto f = igbtest::formMap(tokenRequests().at(0));
  EXPECT_EQ(f.at("redirect_uri"), "x-igroovebix://oauth");
  EXPECT_EQ(f.at("code"), "the-code");
  EXPECT_EQ(store().accounts().size(), 1u);
}

TEST_F(AccountStoreTest, ARedirectAfterARestartIsNotExchanged) {
  std::optional<URL> prepared;
  store().requestAccessToAccountWithType(kType, [&](const URL& u) { prepared = u; });
  const std::string state = nxoauth2_valueForQueryParameterKey(*prepared, "state").value_or("");
  NXOAuth2AccountStore::resetSharedStoreForTesting();
  configure();
  EXPECT_FALSE(store().handleRedirectURL(*URL::withString("x-igroovebix://oauth?code=c&state=" + state)));
  pumpMainLoopUntil([] { return false; }, 0.1);
  EXPECT_TRUE(tokenRequests().empty());
}

TEST_F(AccountStoreTest, AnAccountWhoseRefreshIsRefusedIsRemoved) {
  auto account = signIn();
  ASSERT_TRUE(account);
  const std::string id = account->identifier();
  std::vector<std::string> log;
  auto oldSink = setNXOAuth2LogSink([&](const std::string& line) { log.push_back(line); });
  refuseTokenRequests({401});
  changes_.clear();
  account->oauthClient()->refreshAccessToken();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !changes_.empty(); }));
  setNXOAuth2LogSink(oldSink);
  EXPECT_TRUE(store().accounts().empty());
  EXPECT_TRUE(changes_[0].empty());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Removing account with id '" + id + "' from account store because it lost its access token."),
            log.end());
  EXPECT_FALSE(std::filesystem::exists(storeFile()));
  NXOAuth2AccountStore::resetSharedStoreForTesting();
  EXPECT_TRUE(store().accounts().empty());
}

TEST_F(AccountStoreTest, ARefreshedTokenAndNewUserDataAreRewritten) {
  auto account = signIn();
  ASSERT_TRUE(account);
  account->oauthClient()->refreshAccessToken();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return account->accessToken()->accessToken() == "tok-2"; }));
  account->setUserData(platform::Value(platform::Dictionary{{"k", platform::Value("v")}}));
  // A null cannot be archived: refused, the old data stays.
  account->setUserData(platform::Value(platform::Array{platform::Value()}));
  EXPECT_EQ(account->userData().find("k")->stringValue(), "v");
  const std::string id = account->identifier();
  account.reset();
  NXOAuth2AccountStore::resetSharedStoreForTesting();
  auto restored = store().accountWithIdentifier(id);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->accessToken()->accessToken(), "tok-2");
  EXPECT_EQ(restored->userData().find("k")->stringValue(), "v");
}

TEST_F(AccountStoreTest, AFailedKeychainWriteKeepsTheStoredAccountsAndIsReported) {
  auto first = signIn();
  ASSERT_TRUE(first);
  EXPECT_EQ(store().lastKeychainStatus(), platform::KeychainStatus::Success);
  const auto size = std::filesystem::file_size(storeFile());
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old;
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = size + 16;
  ::setrlimit(RLIMIT_FSIZE, &small);
  auto second = signIn();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ASSERT_TRUE(second);
  EXPECT_EQ(store().lastKeychainStatus(), platform::KeychainStatus::IOError);
  const std::string firstId = first->identifier();
  first.reset();
  second.reset();
  NXOAuth2AccountStore::resetSharedStoreForTesting();
  ASSERT_EQ(store().accounts().size(), 1u);
  EXPECT_EQ(store().accounts()[0]->identifier(), firstId);
}

TEST_F(AccountStoreTest, TrustAnswersComeFromThePerTypeHandlers) {
  auto account = NXOAuth2Account::initAccountWithAccessToken(NXOAuth2AccessToken::make("t"), kType);
  auto client = account->oauthClient();
  ASSERT_TRUE(client);
  auto connection = NXOAuth2Connection::make(platform::URLRequest(*URL::withString(server_.url("/x"))), std::nullopt,
                                             client, nullptr);
  EXPECT_EQ(connection->trustDelegate(), account.get());
  EXPECT_EQ(account->connectionTrustModeForHostname(*connection, "h"), NXOAuth2TrustModeSystemDefault);
  EXPECT_FALSE(account->connectionTrustedCertificatesForHostname(*connection, "h"));
  store().setTrustModeHandlerForAccountType(kType, [](NXOAuth2Connection&, const std::string& host) {
    return host == "api.example.com" ? NXOAuth2TrustModeSpecificCertificate : NXOAuth2TrustModeSystemDefault;
  });
  store().setTrustedCertificatesHandlerForAccountType(kType, [](const std::string&) {
    return std::vector<platform::Data>{{1, 2}};
  });
  EXPECT_EQ(account->connectionTrustModeForHostname(*connection, "api.example.com"), NXOAuth2TrustModeSpecificCertificate);
  EXPECT_EQ(account->connectionTrustedCertificatesForHostname(*connection, "x")->size(), 1u);
  EXPECT_EQ(store().connectionTrustModeForHostname(*connection, "api.example.com"), NXOAuth2TrustModeSystemDefault)
      << "the store answers for its pending clients only";
  connection->cancel();
}

TEST_F(AccountStoreTest, RequestingAccessOpensTheAuthorizationPage) {
  std::vector<URL> opened;
  store().setOpenURLHandler([&](const URL& u) {
    opened.push_back(u);
    return true;
  });
  store().requestAccessToAccountWithType(kType);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(nxoauth2_valueForQueryParameterKey(opened[0], "redirect_uri"), "x-igroovebix://oauth");
  EXPECT_EQ(nxoauth2_valueForQueryParameterKey(opened[0], "client_id"), "cid");
}

}  // namespace
