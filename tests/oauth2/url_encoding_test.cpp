#include "oauth2/nxoauth2_url_encoding.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace nxoauth2;
using platform::URL;

namespace {

TEST(URLEncodingTest, EncodesEverythingButTheUnreservedCharacters) {
  const std::pair<const char*, const char*> table[] = {
      {"a b", "a%20b"},
      {"a&b", "a%26b"},
      {"AZaz09-._~", "AZaz09-._~"},
      {"!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D"},
      {"x-soundcloud://connection", "x-soundcloud%3A%2F%2Fconnection"},
      {"\xC3\xA9t\xC3\xA9", "%C3%A9t%C3%A9"},  // "été" as UTF-8
      {"\n\t", "%0A%09"},
      {"", ""},
  };
  for (auto [plain, encoded] : table) {
    EXPECT_EQ(nxoauth2_URLEncodedString(plain), encoded) << plain;
    EXPECT_EQ(nxoauth2_URLDecodedString(encoded), plain) << encoded;
  }
}

TEST(URLEncodingTest, DecodingKeepsPlusSignsAndBrokenEscapes) {
  EXPECT_EQ(nxoauth2_URLDecodedString("a+b%20c"), "a+b c");
  EXPECT_EQ(nxoauth2_URLDecodedString("%zz%4"), "%zz%4");
  EXPECT_EQ(nxoauth2_URLDecodedString("%41%"), "A%");
}

TEST(URLEncodingTest, QueryStringsRoundTripInOrder) {
  NXOAuth2Parameters p{{"client_id", "my id"}, {"limit", 25}, {"ids", std::vector<NXOAuth2ParameterValue>{"1", "2"}},
                       {"redirect_uri", "x-app://cb?x=1&y"}};
  p.set("file", platform::Data{1, 2, 3});  // no query form
  const std::string q = nxoauth2_stringWithEncodedQueryParameters(p);
  EXPECT_EQ(q, "client_id=my%20id&limit=25&ids=1&ids=2&redirect_uri=x-app%3A%2F%2Fcb%3Fx%3D1%26y");
  const auto back = nxoauth2_parametersFromEncodedQueryString(q);
  EXPECT_EQ(back.at("client_id"), "my id");
  EXPECT_EQ(back.at("redirect_uri"), "x-app://cb?x=1&y");
  EXPECT_EQ(back.at("ids"), "2");  // the later one replaces
  EXPECT_EQ(back.size(), 4u);
}

TEST(URLEncodingTest, OnlyPiecesWithExactlyOneEqualsSignCount) {
  const auto p = nxoauth2_parametersFromEncodedQueryString("a=1&b&c=2=3&=empty&d=&&e=%41");
  EXPECT_EQ(p, (std::map<std::string, std::string>{{"a", "1"}, {"", "empty"}, {"d", ""}, {"e", "A"}}));
}

TEST(URLEncodingTest, ParametersJoinAnExistingQueryWithAnAmpersand) {
  const NXOAuth2Parameters p{{"a", "1 2"}};
  EXPECT_EQ(nxoauth2_URLByAddingParameters(*URL::withString("https://h/p"), p).absoluteString(), "https://h/p?a=1%202");
  EXPECT_EQ(nxoauth2_URLByAddingParameters(*URL::withString("https://h/p?x=y"), p).absoluteString(),
            "https://h/p?x=y&a=1%202");
  EXPECT_EQ(nxoauth2_URLByAddingParameters(*URL::withString("https://h/p#frag"), p).absoluteString(),
            "https://h/p?a=1%202#frag");
  EXPECT_EQ(nxoauth2_URLByAddingParameters(*URL::withString("https://h/p"), {}).absoluteString(), "https://h/p");
}

TEST(URLEncodingTest, QueryValuesOfCustomSchemesAndBareTexts) {
  const std::pair<const char*, const char*> table[] = {
      {"x-soundcloud://oauth?code=abc%20d&state=s", "abc d"},
      {"igroovebix:callback?code=xyz", "xyz"},
      {"callback?code=bare", "bare"},
      {"https://h/cb?error=access_denied", nullptr},
      {"https://h/cb", nullptr},
  };
  for (auto [text, code] : table) {
    SCOPED_TRACE(text);
    const auto value = nxoauth2_valueForQueryParameterKey(*URL::withString(text), "code");
    EXPECT_EQ(value.has_value(), code != nullptr);
    if (code) {
      EXPECT_EQ(*value, code);
    }
  }
  EXPECT_EQ(nxoauth2_URLStringWithoutQueryString(*URL::withString("x-app://cb?code=1?2")), "x-app://cb");
  EXPECT_EQ(nxoauth2_URLWithoutQueryString(*URL::withString("https://h/a")).absoluteString(), "https://h/a");
}

TEST(URLEncodingTest, UUIDsAreCanonicalUpperCaseAndFresh) {
  const std::regex shape("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string id = nxoauth2_stringWithUUID();
    EXPECT_TRUE(std::regex_match(id, shape)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(URLEncodingTest, SHA1DigestsMatchTheStandardVectors) {
  const std::string abc = "abc";
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(abc.data()), abc.size());
  EXPECT_EQ(nx_SHA1Hexdigest(bytes), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(nx_SHA1Digest(bytes)[0], 0xa9);
  EXPECT_EQ(nx_SHA1Hexdigest({}), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(URLEncodingTest, Base64URLHasNoPaddingAndTheURLAlphabet) {
  const std::pair<std::vector<uint8_t>, const char*> table[] = {
      {{}, ""}, {{0xfb}, "-w"}, {{0xfb, 0xff}, "-_8"}, {{0xfb, 0xff, 0xbf}, "-_-_"}, {{'f', 'o', 'o', 'b'}, "Zm9vYg"},
  };
  for (const auto& [data, text] : table) EXPECT_EQ(nxoauth2_base64URLEncoded(data), text);
}

}  // namespace
