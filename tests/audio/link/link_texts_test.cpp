// The Link kit's texts: the strings-table reader, the choice of language in
// "LinkKitResources.bundle", the English fallback, the shipped bundle and the
// count formatting.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "audio/link/localized_string.h"
#include "link_test_support.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/preferred_languages.h"

namespace fs = std::filesystem;
using linktest::TempDir;

namespace {

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

using Table = std::map<std::string, std::string>;

}  // namespace

// ------------------------------------------------------------ strings tables

struct ParseCase {
  const char* name;
  std::string text;
  std::optional<Table> expected;
};

class StringsTableParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(StringsTableParse, ReadsWhatTheTableSays) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(parseStringsTable(c.text), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringsTableParse,
    ::testing::Values(
        ParseCase{"entries", "\"a\" = \"one\";\n\"b\"=\"two\" ;", Table{{"a", "one"}, {"b", "two"}}},
        ParseCase{"comments", "/* head\n */ \"a\" = /* mid */ \"x\"; // tail\n// only a comment", Table{{"a", "x"}}},
        ParseCase{"escapes", R"("k" = "line\nnext \"q\" back\\slash tab\t \U00e9\u65e5";)",
                  Table{{"k", "line\nnext \"q\" back\\slash tab\t \xC3\xA9\xE6\x97\xA5"}}},
        ParseCase{"utf8 and bom", "\xEF\xBB\xBF\"k\" = \"\xE6\x8E\xA5\xE7\xB6\x9A\";", Table{{"k", "\xE6\x8E\xA5\xE7\xB6\x9A"}}},
        ParseCase{"later entry wins", "\"k\" = \"1\"; \"k\" = \"2\";", Table{{"k", "2"}}},
        ParseCase{"empty", "  \n ", Table{}},
        ParseCase{"missing semicolon", "\"a\" = \"one\"\n\"b\" = \"two\";", std::nullopt},
        ParseCase{"unterminated string", "\"a\" = \"one;", std::nullopt},
        ParseCase{"unterminated comment", "\"a\" = \"one\"; /* open", std::nullopt},
        ParseCase{"unknown escape", "\"a\" = \"\\q\";", std::nullopt},
        ParseCase{"short unicode escape", "\"a\" = \"\\U00e\";", std::nullopt},
        ParseCase{"bare word", "a = \"one\";", std::nullopt}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return n;
    });

TEST(StringsTableRead, MissingFileReadsAsNoTable) {
  TempDir dir;
  EXPECT_FALSE(readStringsTable(dir.path() / "nothing.strings"));
  writeFile(dir.path() / "t.strings", "\"a\" = \"b\";");
  EXPECT_EQ(readStringsTable(dir.path() / "t.strings"), (Table{{"a", "b"}}));
}

// ------------------------------------------------------------ the bundle

struct LanguageCase {
  std::vector<std::string> folders;
  std::vector<std::string> preferred;
  std::string chosen;
};

class BundleLanguage : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(BundleLanguage, PicksTheFolderForThePreferredLanguages) {
  const LanguageCase& c = GetParam();
  TempDir dir;
  for (const auto& f : c.folders) fs::create_directories(dir.path() / (f + ".lproj"));
  // A plain file named like a language folder is no language.
  writeFile(dir.path() / "fr.lproj.txt", "x");
  auto bundle = LinkKitResourceBundle::open(dir.path());
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->localizationFor(c.preferred), c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BundleLanguage,
    ::testing::Values(LanguageCase{{"en", "ja"}, {"ja-JP", "en"}, "ja"},        // base language of a region tag
                      LanguageCase{{"en", "ja", "pt-BR"}, {"pt_BR"}, "pt-BR"},  // exact tag, either separator
                      LanguageCase{{"en", "pt-BR"}, {"pt-PT"}, "en"},           // no "pt": development language
                      LanguageCase{{"en", "ja"}, {"fr", "ja"}, "ja"},           // first one present wins
                      LanguageCase{{"EN", "ja"}, {"en"}, "EN"},                 // case-insensitive match
                      LanguageCase{{"en", "ja"}, {}, "en"},
                      LanguageCase{{"Base", "ja"}, {"de"}, "Base"},
                      LanguageCase{{"ja"}, {"de"}, ""}));

TEST(LinkKitResourceBundleTest, OnlyAFolderOpens) {
  TempDir dir;
  EXPECT_FALSE(LinkKitResourceBundle::open(dir.path() / "LinkKitResources.bundle"));
  writeFile(dir.path() / "LinkKitResources.bundle", "not a folder");
  EXPECT_FALSE(LinkKitResourceBundle::open(dir.path() / "LinkKitResources.bundle"));
}

TEST(LinkKitResourceBundleTest, AMissingEntryOrTableShowsTheKey) {
  TempDir dir;
  writeFile(dir.path() / "en.lproj" / "Localizable.strings", "\"LinkZero\" = \"Nobody\";");
  fs::create_directories(dir.path() / "ja.lproj");  // a language without a table
  writeFile(dir.path() / "de.lproj" / "Localizable.strings", "\"LinkZero\" = \"Niemand\"");  // malformed
  auto bundle = LinkKitResourceBundle::open(dir.path());
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->localizedString("LinkZero", {"en"}), "Nobody");
  EXPECT_EQ(bundle->localizedString("LinkOne", {"en"}), "LinkOne");
  EXPECT_EQ(bundle->localizedString("LinkZero", {"ja"}), "LinkZero");
  EXPECT_EQ(bundle->localizedString("LinkZero", {"de"}), "LinkZero");
}

// ------------------------------------------------------------ texts

TEST(LinkKitTextsTest, WithoutTheBundleEveryTextIsEnglish) {
  const LinkKitTexts texts = LinkKitTexts::build([](const std::string&) { return std::optional<std::string>(); });
  for (const auto& e : LinkKitTexts::table()) EXPECT_EQ(texts.*(e.field), e.english) << e.key;
  EXPECT_EQ(linkKitPeersConnectedText(texts, 0), "No peers connected");
  EXPECT_EQ(linkKitPeersConnectedText(texts, 1), "Connected to 1 peer");
  EXPECT_EQ(linkKitPeersConnectedText(texts, 5), "Connected to 5 peers");
  EXPECT_EQ(linkKitNotificationText(texts, 0), "No Links");
  EXPECT_EQ(linkKitNotificationText(texts, 1), "1 Link");
  EXPECT_EQ(linkKitNotificationText(texts, 3), "3 Links");
}

TEST(LinkKitTextsTest, TheTableHasFourteenDistinctKeysEachWithItsOwnText) {
  std::set<std::string> keys;
  for (const auto& e : LinkKitTexts::table()) keys.insert(e.key);
  EXPECT_EQ(keys.size(), 14u);
  // A lookup that answers each key with itself: if two keys shared a text,
  // one of them would read the other's key.
  const LinkKitTexts texts = LinkKitTexts::build([](const std::string& key) { return std::optional<std::string>(key); });
  for (const auto& e : LinkKitTexts::table()) EXPECT_EQ(texts.*(e.field), e.key);
}

TEST(LinkKitTextsTest, ABundleMissingAKeyShowsThatKey) {
  TempDir dir;
  writeFile(dir.path() / "en.lproj" / "Localizable.strings", "\"LinkZero\" = \"Nobody here\";");
  auto bundle = LinkKitResourceBundle::open(dir.path());
  ASSERT_TRUE(bundle);
  const LinkKitTexts texts = LinkKitTexts::build(
      [&](const std::string& key) { return std::optional<std::string>(bundle->localizedString(key, {"en"})); });
  EXPECT_EQ(texts.linkZero, "Nobody here");
  EXPECT_EQ(texts.linkOne, "LinkOne");
  EXPECT_EQ(linkKitNotificationText(texts, 1), "LinkOne");
  EXPECT_EQ(texts.descriptionLong, "DescriptionLong");
}

// The shipped bundle: English exactly as built in, every language complete,
// and the count formats of every language still take the count.
TEST(LinkKitTextsTest, TheShippedBundleIsCompleteInEveryLanguage) {
  const fs::path path = fs::path(IGB_BUNDLE_DIR) / "LinkKitResources.bundle";
  auto bundle = LinkKitResourceBundle::open(path);
  ASSERT_TRUE(bundle) << path;
  int languages = 0;
  for (const auto& entry : fs::directory_iterator(path)) {
    if (entry.path().extension() != ".lproj") continue;
    ++languages;
    const std::string language = entry.path().stem().string();
    const auto table = readStringsTable(entry.path() / "Localizable.strings");
    ASSERT_TRUE(table) << language;
    EXPECT_EQ(table->size(), LinkKitTexts::table().size()) << language;
    for (const auto& e : LinkKitTexts::table()) {
      auto it = table->find(e.key);
      ASSERT_NE(it, table->end()) << language << " " << e.key;
      if (language == "en") {
        EXPECT_EQ(it->second, e.english) << e.key;
      }
    }
    EXPECT_NE(formatCount(table->at("LinkOther"), 47).find("47"), std::string::npos) << language;
    EXPECT_NE(formatCount(table->at("PeersConnectedMany"), 47).find("47"), std::string::npos) << language;
  }
  EXPECT_GE(languages, 2);
  EXPECT_EQ(bundle->localizedString("LinkOther", {"en"}), "%u Links");
}

// The program's texts: no bundle in the resources means no text; once the
// bundle is there it is found and used, in the preferred language.
TEST(LinkKitTextsTest, TheProgramFindsTheBundleInTheMainResources) {
  TempDir empty;
  platform::Bundle::setMainBundlePath(empty.path());
  EXPECT_FALSE(LocalizedString::resourcesLocalizedString("LinkOne", ""));

  TempDir resources;
  writeFile(resources.path() / "LinkKitResources.bundle" / "ja.lproj" / "Localizable.strings",
            "\"LinkOne\" = \"one-ja\"; \"PeersConnectedMany\" = \"%zu-ja\";");
  writeFile(resources.path() / "LinkKitResources.bundle" / "en.lproj" / "Localizable.strings",
            "\"LinkOne\" = \"one-en\";");
  platform::Bundle::setMainBundlePath(resources.path());
  platform::setPreferredLanguagesOverride(std::vector<std::string>{"ja-JP"});
  EXPECT_EQ(LocalizedString::resourcesLocalizedString("LinkOne", "comment"), "one-ja");
  EXPECT_EQ(LocalizedString::resourcesLocalizedString("LinkZero", ""), "LinkZero");

  const LinkKitTexts& texts = linkKitTexts();
  EXPECT_EQ(texts.linkOne, "one-ja");
  EXPECT_EQ(linkKitPeersConnectedText(texts, 4), "4-ja");
  EXPECT_EQ(texts.browsing, "Browsing");  // the bundle is there but lacks the key
  EXPECT_EQ(&texts, &linkKitTexts());     // made once

  platform::setPreferredLanguagesOverride(std::nullopt);
  platform::Bundle::setMainBundlePath(std::nullopt);
}

// ------------------------------------------------------------ formatting

struct FormatCase {
  std::string format;
  uint64_t count;
  std::string expected;
};

class FormatCount : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatCount, FillsOnlyTheFirstIntegerConversion) {
  EXPECT_EQ(formatCount(GetParam().format, GetParam().count), GetParam().expected) << GetParam().format;
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatCount,
                         ::testing::Values(FormatCase{"%u Links", 3, "3 Links"},
                                           FormatCase{"Connected to %zu peers", 5, "Connected to 5 peers"},
                                           FormatCase{"%lu / %llu / %lld", 7, "7 / %llu / %lld"},
                                           FormatCase{"%@ Links", 12, "12 Links"},
                                           FormatCase{"100%% of %u", 2, "100% of 2"},
                                           FormatCase{"%s and %n and %u", 9, "%s and %n and 9"},
                                           FormatCase{"no count", 4, "no count"},
                                           FormatCase{"ends in %", 4, "ends in %"},
                                           FormatCase{"%u", 18446744073709551615ull, "18446744073709551615"},
                                           FormatCase{"", 1, ""}));
