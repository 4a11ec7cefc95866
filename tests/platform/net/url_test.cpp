#include "platform/net/url.h"

#include <gtest/gtest.h>

#include "platform/net/url_request.h"

using platform::HTTPHeaders;
using platform::URL;

namespace {

struct Parts {
  const char* text;
  const char* scheme;
  const char* host;
  int port;  // -1: none
  const char* path;
  const char* query;  // nullptr: none
  const char* fragment;
};

TEST(URLTest, SplitsReferencesIntoTheirParts) {
  const Parts table[] = {
      {"https://api.example.com/oauth2/token", "https", "api.example.com", -1, "/oauth2/token", nullptr, nullptr},
      {"http://127.0.0.1:8080/me.json?oauth_token=a%20b#top", "http", "127.0.0.1", 8080, "/me.json", "oauth_token=a%20b", "top"},
      {"x-soundcloud://connection?success=1", "x-soundcloud", "connection", -1, "", "success=1", nullptr},
      {"http://user:pw@host:99", "http", "host", 99, "", nullptr, nullptr},
      {"http://[::1]:443/a", "http", "::1", 443, "/a", nullptr, nullptr},
      {"igroovebix:callback?code=1", "igroovebix", "", -1, "callback", "code=1", nullptr},
      {"/relative/path?x", "", "", -1, "/relative/path", "x", nullptr},
      {"https://h/?", "https", "h", -1, "/", "", nullptr},
  };
  for (const Parts& p : table) {
    SCOPED_TRACE(p.text);
    auto url = URL::withString(p.text);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), p.text);
    EXPECT_EQ(url->scheme(), p.scheme);
    EXPECT_EQ(url->host(), p.host);
    EXPECT_EQ(url->port().value_or(-1), p.port);
    EXPECT_EQ(url->path(), p.path);
    EXPECT_EQ(url->query().has_value(), p.query != nullptr);
    if (p.query) {
      EXPECT_EQ(*url->query(), p.query);
    }
    EXPECT_EQ(url->fragment().has_value(), p.fragment != nullptr);
    if (p.fragment) {
      EXPECT_EQ(*url->fragment(), p.fragment);
    }
  }
}

TEST(URLTest, RefusesTextThatIsNoURL) {
  for (const char* bad : {"", "http://a b/", "http://host/%zz", "http://host/%4", "line\nbreak", "tab\there"})
    EXPECT_FALSE(URL::withString(bad)) << bad;
}

TEST(URLTest, FileURLsRoundTripTheirPath) {
  const URL url = URL::fileURLWithPath("/tmp/My Song #1.wav");
  EXPECT_EQ(url.absoluteString(), "file:///tmp/My%20Song%20%231.wav");
  EXPECT_TRUE(url.isFileURL());
  EXPECT_EQ(url.filePath(), "/tmp/My Song #1.wav");
  EXPECT_EQ(url.lastPathComponent(), "My Song #1.wav");
  EXPECT_FALSE(URL::withString("https://h/a.wav")->isFileURL());
  EXPECT_EQ(URL::withString("https://h/a.wav")->filePath(), "");
  EXPECT_EQ(URL::withString("https://h/dir/")->lastPathComponent(), "dir");
}

TEST(HTTPHeadersTest, NamesMatchWithoutRegardToCase) {
  HTTPHeaders h;
  h.add("Accept", "text/html");
  h.add("X-Other", "1");
  h.add("accept", "image/png");
  EXPECT_EQ(h.value("ACCEPT"), "text/html");
  h.set("aCCept", "application/json");
  ASSERT_EQ(h.fields().size(), 2u);
  EXPECT_EQ(h.fields()[0], (HTTPHeaders::Field{"Accept", "application/json"}));
  h.remove("x-other");
  EXPECT_FALSE(h.contains("X-Other"));
  EXPECT_EQ(h.fields().size(), 1u);
}

}  // namespace
