#include "oauth2/nxoauth2_access_token.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "platform/foundation/atomic_file.h"
#include "platform/keychain/keychain.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;

namespace {

double now() { return nxoauth2_now().secondsSince1970; }

TEST(AccessTokenTest, AReplyWithOnlyATokenAndALifetime) {
  const std::string body = "{\"access_token\":\"a1\",\"expires_in\":3600}";
  auto t = NXOAuth2AccessToken::tokenWithResponseBody(body);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->accessToken(), "a1");
  EXPECT_FALSE(t->refreshToken());
  EXPECT_EQ(t->tokenType(), "OAuth");
  ASSERT_TRUE(t->expiresAt());
  EXPECT_NEAR(t->expiresAt()->secondsSince1970, now() + 3600, 5);
  EXPECT_TRUE(t->doesExpire());
  EXPECT_FALSE(t->hasExpired());
  EXPECT_TRUE(t->scope().empty());
  EXPECT_EQ(t->responseBody(), body);
}

TEST(AccessTokenTest, RepliesAreReadFieldByField) {
  struct Row {
    const char* body;
    const char* clientType;
    bool token;
    const char* refresh;  // nullptr: none
    double expiresIn;     // NAN: none
    std::set<std::string> scope;
    const char* type;
  };
  const Row table[] = {
      {R"({"access_token":"t","refresh_token":"r","expires_in":"120","scope":"non-expiring  upload\nx","token_type":"bearer"})",
       nullptr, true, "r", 120, {"non-expiring", "upload", "x"}, "Bearer"},
      {R"({"access_token":"t","token_type":null,"refresh_token":null,"expires_in":null,"scope":null})", "MAC", true,
       nullptr, NAN, {}, "MAC"},
      {R"({"access_token":"t","token_type":"Bearer"})", "MAC", true, nullptr, NAN, {}, "Bearer"},
      {R"({"access_token":"t","token_type":""})", nullptr, true, nullptr, NAN, {}, "OAuth"},
      {R"({"access_token":"t","token_type":"mac"})", nullptr, true, nullptr, NAN, {}, "mac"},
      {R"({"access_token":"t","expires_in":"abc"})", nullptr, true, nullptr, 0, {}, "OAuth"},
      {R"({"access_token":"t","expires_in":-30})", nullptr, true, nullptr, -30, {}, "OAuth"},
      // Fields of the wrong type are absent.
      {R"({"access_token":"t","refresh_token":7,"scope":["a"]})", nullptr, true, nullptr, NAN, {}, "OAuth"},
      {R"({"access_token":12345})", nullptr, false, nullptr, NAN, {}, nullptr},
      {R"({"access_token":null})", nullptr, false, nullptr, NAN, {}, nullptr},
      {R"({"refresh_token":"r"})", nullptr, false, nullptr, NAN, {}, nullptr},
      {R"(["access_token"])", nullptr, false, nullptr, NAN, {}, nullptr},
      {"not json", nullptr, false, nullptr, NAN, {}, nullptr},
      {"", nullptr, false, nullptr, NAN, {}, nullptr},
  };
  for (const Row& r : table) {
    SCOPED_TRACE(r.body);
    auto t = NXOAuth2AccessToken::tokenWithResponseBody(
        r.body, r.clientType ? std::optional<std::string>(r.clientType) : std::nullopt);
    ASSERT_EQ(t != nullptr, r.token);
    if (!t) continue;
    EXPECT_EQ(t->refreshToken().has_value(), r.refresh != nullptr);
    if (r.refresh) {
      EXPECT_EQ(*t->refreshToken(), r.refresh);
    }
    EXPECT_EQ(t->expiresAt().has_value(), !std::isnan(r.expiresIn));
    if (t->expiresAt()) {
      EXPECT_NEAR(t->expiresAt()->secondsSince1970, now() + r.expiresIn, 5);
    }
    EXPECT_EQ(t->scope(), r.scope);
    EXPECT_EQ(t->tokenType(), r.type);
  }
}

TEST(AccessTokenTest, LifetimesBeyondTenYearsAreCutToTenYears) {
  const double tenYears = 10.0 * 366 * 24 * 3600;
  const struct {
    const char* expiresIn;  // as it stands in the reply
    double seconds;
  } table[] = {
      {"9223372036854775807", tenYears},
      {"-9223372036854775808", -tenYears},
      {"\"9223372036854775807\"", tenYears},
      {"\"-99999999999999999999999\"", -tenYears},
      {"1e300", tenYears},
      {"-1e300", -tenYears},
      {"18446744073709551615", -1},  // read as the platform does: two's complement
      {"316224000", tenYears},       // exactly ten years stays
      {"316224001", tenYears},
      {"-316224000", -tenYears},
  };
  std::tm today{};
  const std::time_t nowSeconds = static_cast<std::time_t>(now());
  gmtime_r(&nowSeconds, &today);
  for (const auto& r : table) {
    SCOPED_TRACE(r.expiresIn);
    auto t = NXOAuth2AccessToken::tokenWithResponseBody(std::string(R"({"access_token":"t","expires_in":)") +
                                                        r.expiresIn + "}");
    ASSERT_TRUE(t);
    ASSERT_TRUE(t->expiresAt());
    EXPECT_NEAR(t->expiresAt()->secondsSince1970, now() + r.seconds, 5);
    // The date is written with its year within the decade either way.
    const std::string d = t->description();
    const size_t at = d.find("expiresAt:");
    ASSERT_NE(at, std::string::npos);
    const int year = std::atoi(d.c_str() + at + 10);
    EXPECT_GE(year, today.tm_year + 1900 - 10) << d;
    EXPECT_LE(year, today.tm_year + 1900 + 10) << d;
  }
}

TEST(AccessTokenTest, DescriptionsOfDatesBeyondAnyCalendarStayInRange) {
  const struct {
    double seconds;
    const char* shown;
  } table[] = {
      {9.3e18, "expiresAt:9999-12-31 23:59:59 +0000"},
      {1e308, "expiresAt:9999-12-31 23:59:59 +0000"},
      {INFINITY, "expiresAt:9999-12-31 23:59:59 +0000"},
      {-INFINITY, "expiresAt:1-01-01 00:00:00 +0000"},
      {NAN, "expiresAt:(invalid)"},
      {-0.5, "expiresAt:1969-12-31 23:59:59 +0000"},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(r.seconds);
    auto t = NXOAuth2AccessToken::make("t", std::nullopt, platform::Date{r.seconds});
    EXPECT_NE(t->description().find(r.shown), std::string::npos) << t->description();
  }
}

TEST(AccessTokenTest, ExpiryIsStrictWithNoMargin) {
  EXPECT_TRUE(NXOAuth2AccessToken::make("t", std::nullopt, platform::Date{now() - 1})->hasExpired());
  EXPECT_FALSE(NXOAuth2AccessToken::make("t", std::nullopt, platform::Date{now() + 2})->hasExpired());
  auto never = NXOAuth2AccessToken::make("t");
  EXPECT_FALSE(never->hasExpired());
  EXPECT_FALSE(never->doesExpire());
  EXPECT_EQ(NXOAuth2AccessToken::make(std::nullopt), nullptr);
}

TEST(AccessTokenTest, ARefreshWithoutARefreshTokenKeepsTheOldOne) {
  auto old = NXOAuth2AccessToken::make("old", "r-old");
  auto plain = NXOAuth2AccessToken::make("new");
  plain->restoreWithOldToken(old.get());
  EXPECT_EQ(plain->refreshToken(), "r-old");
  auto own = NXOAuth2AccessToken::make("new", "r-new");
  own->restoreWithOldToken(old.get());
  EXPECT_EQ(own->refreshToken(), "r-new");
  auto none = NXOAuth2AccessToken::make("new");
  none->restoreWithOldToken(NXOAuth2AccessToken::make("old").get());
  EXPECT_FALSE(none->refreshToken());
  none->restoreWithOldToken(nullptr);
  EXPECT_FALSE(none->refreshToken());
}

TEST(AccessTokenTest, ArchivesRoundTripAndNeedTheToken) {
  auto t = NXOAuth2AccessToken::make("tok", "ref", platform::Date{1700000000.25}, std::set<std::string>{"a", "b"},
                                     "{\"access_token\":\"tok\"}", "bearer");
  auto back = NXOAuth2AccessToken::fromArchive(t->archive());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->accessToken(), "tok");
  EXPECT_EQ(back->refreshToken(), "ref");
  EXPECT_EQ(back->expiresAt()->secondsSince1970, 1700000000.25);
  EXPECT_EQ(back->scope(), (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(back->responseBody(), "{\"access_token\":\"tok\"}");
  EXPECT_EQ(back->storedTokenType(), "bearer");

  const platform::Value untyped = NXOAuth2AccessToken::make("tok")->archive();
  EXPECT_EQ(untyped.find("tokenType"), nullptr);
  EXPECT_EQ(NXOAuth2AccessToken::fromArchive(untyped)->tokenType(), "OAuth");

  platform::Dictionary noToken = *t->archive().dictionary();
  noToken.erase("accessToken");
  EXPECT_EQ(NXOAuth2AccessToken::fromArchive(platform::Value(noToken)), nullptr);
}

TEST(AccessTokenTest, DescriptionsNeverShowTheCredentials) {
  auto t = NXOAuth2AccessToken::make("secret-access-value", "secret-refresh-value", platform::Date{0}, std::nullopt,
                                     std::nullopt, "bearer");
  const std::string d = t->description();
  EXPECT_EQ(d.find("secret-access-value"), std::string::npos);
  EXPECT_EQ(d.find("secret-refresh-value"), std::string::npos);
  EXPECT_EQ(d.rfind("<NXOAuth2Token token:", 0), 0u);
  EXPECT_NE(d.find("expiresAt:1970-01-01 00:00:00 +0000"), std::string::npos);
  EXPECT_NE(d.find("tokenType: Bearer>"), std::string::npos);
}

class AccessTokenKeychainTest : public igbtest::OAuth2Test {};

TEST_F(AccessTokenKeychainTest, StoringTwiceLeavesOneItemWithTheArchiveInItsSecret) {
  EXPECT_EQ(NXOAuth2AccessToken::serviceNameWithProvider("api.example.com"), nxoauth2_bundleIdentifier() + "::OAuth2::api.example.com");
  EXPECT_EQ(NXOAuth2AccessToken::tokenFromDefaultKeychainWithServiceProviderName("api.example.com"), nullptr);
  ASSERT_TRUE(NXOAuth2AccessToken::make("first", "r1")->storeInDefaultKeychainWithServiceProviderName("api.example.com"));
  ASSERT_TRUE(NXOAuth2AccessToken::make("second", "r2")->storeInDefaultKeychainWithServiceProviderName("api.example.com"));
  const std::string service = NXOAuth2AccessToken::serviceNameWithProvider("api.example.com");
  std::vector<platform::KeychainItem> items;
  ASSERT_EQ(platform::Keychain::defaultKeychain().copyItems(service, &items), platform::KeychainStatus::Success);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].label, "OAuth 2 Access Token");
  EXPECT_TRUE(items[0].generic.empty());
  EXPECT_FALSE(items[0].secret.empty());
  struct stat st;
  ASSERT_EQ(::stat(platform::Keychain::defaultKeychain().fileForService(service).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto back = NXOAuth2AccessToken::tokenFromDefaultKeychainWithServiceProviderName("api.example.com");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->accessToken(), "second");
  EXPECT_EQ(back->refreshToken(), "r2");
  NXOAuth2AccessToken::removeFromDefaultKeychainWithServiceProviderName("api.example.com");
  EXPECT_EQ(NXOAuth2AccessToken::tokenFromDefaultKeychainWithServiceProviderName("api.example.com"), nullptr);
}

TEST_F(AccessTokenKeychainTest, ADamagedItemReadsAsNoToken) {
  const std::string service = NXOAuth2AccessToken::serviceNameWithProvider("p");
  ASSERT_EQ(platform::Keychain::defaultKeychain().replaceItems(service, {{service, "", "OAuth 2 Access Token", {}, {1, 2, 3}}}),
            platform::KeychainStatus::Success);
  EXPECT_EQ(NXOAuth2AccessToken::tokenFromDefaultKeychainWithServiceProviderName("p"), nullptr);
}

}  // namespace
