#include "platform/foundation/preferred_languages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// Sets the locale variables for one case and puts the old ones back.
class LocaleEnv {
 public:
  explicit LocaleEnv(const std::map<std::string, std::string>& values) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "IGB_PREFERRED_LANGUAGES"}) {
      const char* v = std::getenv(name);
      if (v) saved_[name] = v;
      ::unsetenv(name);
    }
    for (const auto& [k, v] : values) ::setenv(k.c_str(), v.c_str(), 1);
  }
  ~LocaleEnv() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "IGB_PREFERRED_LANGUAGES"}) ::unsetenv(name);
    for (const auto& [k, v] : saved_) ::setenv(k.c_str(), v.c_str(), 1);
  }

 private:
  std::map<std::string, std::string> saved_;
};

struct Case {
  std::map<std::string, std::string> env;
  std::vector<std::string> expected;
};

TEST(PreferredLanguagesTest, FollowsTheDesktopLocaleVariables) {
  const Case cases[] = {
      {{}, {"en"}},
      {{{"LANG", "C"}}, {"en"}},
      {{{"LANG", "ja_JP.UTF-8"}}, {"ja-JP"}},
      {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}, {"ja-JP"}},
      {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", "de_DE@euro"}}, {"de-DE"}},
      {{{"LANG", "en_GB.UTF-8"}, {"LANGUAGE", "ja:en_GB"}}, {"ja", "en-GB"}},
      // $LANGUAGE counts only when the locale itself is not "C".
      {{{"LANG", "C"}, {"LANGUAGE", "ja"}}, {"en"}},
      {{{"LANG", "en_US.UTF-8"}, {"IGB_PREFERRED_LANGUAGES", "ja,en"}}, {"ja", "en"}},
  };
  for (const Case& c : cases) {
    LocaleEnv env(c.env);
    EXPECT_EQ(platform::preferredLanguages(), c.expected);
  }
}

TEST(PreferredLanguagesTest, TagsFromLocaleNames) {
  EXPECT_EQ(platform::languageTagFromLocale("ja_JP.UTF-8"), "ja-JP");
  EXPECT_EQ(platform::languageTagFromLocale("fr"), "fr");
  EXPECT_EQ(platform::languageTagFromLocale("POSIX"), "");
  EXPECT_EQ(platform::languageTagFromLocale(""), "");
}

TEST(PreferredLanguagesTest, OverrideWinsUntilCleared) {
  LocaleEnv env(std::map<std::string, std::string>{{"LANG", "en_US.UTF-8"}});
  platform::setPreferredLanguagesOverride(std::vector<std::string>{"ja"});
  EXPECT_EQ(platform::preferredLanguages(), std::vector<std::string>{"ja"});
  platform::setPreferredLanguagesOverride(std::nullopt);
  EXPECT_EQ(platform::preferredLanguages(), std::vector<std::string>{"en-US"});
}

}  // namespace
