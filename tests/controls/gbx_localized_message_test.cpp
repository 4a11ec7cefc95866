#include "controls/gbx_localized_message.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/preferred_languages.h"

namespace {

class LocalizedMessageTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::setPreferredLanguagesOverride(std::nullopt); }
  static void prefer(std::vector<std::string> languages) {
    platform::setPreferredLanguagesOverride(std::move(languages));
  }
};

struct LanguageCase {
  std::vector<std::string> languages;
  bool japanese;
};

TEST_F(LocalizedMessageTest, FirstPreferredLanguageChoosesTheTable) {
  const LanguageCase cases[] = {
      {{"ja-JP"}, true},      {{"ja"}, true},         {{"ja-Hira-JP", "en"}, true},
      {{"jv"}, false},        {{"en-JP"}, false},     {{"en", "ja"}, false},
      {{"jab"}, false},       {{"JA"}, false},        {{}, false},
  };
  for (const LanguageCase& c : cases) {
    prefer(c.languages);
    const std::string first = c.languages.empty() ? "(none)" : c.languages.front();
    EXPECT_EQ(GBXLocalizedMessage::isPreferredLanguageJapanese(), c.japanese) << first;
    EXPECT_EQ(GBXLocalizedMessage::getText(7), c.japanese ? "スキップ" : "SKIP") << first;
  }
}

TEST_F(LocalizedMessageTest, LanguageIsAskedAgainAtEveryCall) {
  prefer({"ja-JP"});
  EXPECT_EQ(GBXLocalizedMessage::getText(9), "回転");
  prefer({"en-US"});
  EXPECT_EQ(GBXLocalizedMessage::getText(9), "Rotary");
}

TEST_F(LocalizedMessageTest, TextsInBothLanguages) {
  struct Row {
    uint32_t id;
    const char* english;
    const char* japanese;
  };
  const Row rows[] = {
      {0, "Please select your\npreferred knob gesture", "お好みの操作方法を\n下のノブを回して選択してください"},
      {1, "\u2B05\uFE0E Tap here to start", "\u2B05\uFE0E ここを押して始めましょう"},
      {2, "Tap the buttons", "ボタンを押してみましょう"},
      {3, "\u2B07\uFE0E Tap SYNTH 3", "\u2B07\uFE0E SYNTH 3を選択"},
      {4, "Slide the buttons", "ボタンをスライドしてみましょう"},
      {5, "Tweak the knob", "ノブを回してみましょう"},
      {6, "Enjoy your beat making!", "ビートメイキングを楽しもう！"},
      {7, "SKIP", "スキップ"},
      {8, "Linear\n(Recommended)", "直線(推奨)"},
      {9, "Rotary", "回転"},
      {10, "Are you sure you want to save the current pattern at %@?", "現在のパターンを %@ に保存しますか？"},
      {11, "Are you sure you want to clear the selected part?", "選択したパートをクリアします。\n実行しますか？"},
      {12, "Are you sure you want to clear motion sequence data for the selected parameter?",
       "選択したパラメータのモーションシーケンスをクリアします。実行しますか？"},
      {13, "Are you sure you want to copy step page %d to step page %d?",
       "ページ %d からページ %d へシーケンスをコピーします。実行しますか？"},
      {14, "", ""},
  };
  for (const Row& r : rows) {
    prefer({"en"});
    EXPECT_EQ(GBXLocalizedMessage::getText(r.id), r.english) << r.id;
    prefer({"ja"});
    EXPECT_EQ(GBXLocalizedMessage::getText(r.id), r.japanese) << r.id;
  }
}

TEST_F(LocalizedMessageTest, ArrowsAreFollowedByTheTextVariationSelector) {
  // U+2B05 / U+2B07 then U+FE0E, in UTF-8.
  EXPECT_EQ(GBXLocalizedMessage::text(1, false).substr(0, 6), "\xE2\xAC\x85\xEF\xB8\x8E");
  EXPECT_EQ(GBXLocalizedMessage::text(3, true).substr(0, 6), "\xE2\xAC\x87\xEF\xB8\x8E");
}

TEST_F(LocalizedMessageTest, IdsOutsideTheTableGiveEmptyText) {
  for (uint32_t id : {15u, 16u, 1000u, 0xFFFFFFFFu}) {
    prefer({"en"});
    EXPECT_EQ(GBXLocalizedMessage::getText(id), "") << id;
    prefer({"ja"});
    EXPECT_EQ(GBXLocalizedMessage::getText(id), "") << id;
    EXPECT_TRUE(GBXLocalizedMessage::text(id, true).empty());
  }
}

TEST_F(LocalizedMessageTest, FormatStringsTakeTheirArguments) {
  prefer({"en-GB"});
  EXPECT_EQ(GBXLocalizedMessage::format(GBXLocalizedMessage::getText(13), {1LL, 3LL}),
            "Are you sure you want to copy step page 1 to step page 3?");
  EXPECT_EQ(GBXLocalizedMessage::format(GBXLocalizedMessage::getText(10), {std::string("USER A-12")}),
            "Are you sure you want to save the current pattern at USER A-12?");
  prefer({"ja-JP"});
  EXPECT_EQ(GBXLocalizedMessage::format(GBXLocalizedMessage::getText(13), {2LL, 4LL}),
            "ページ 2 からページ 4 へシーケンスをコピーします。実行しますか？");
}

TEST_F(LocalizedMessageTest, FormatWithMissingOrMismatchedArgumentsLeavesTheMark) {
  EXPECT_EQ(GBXLocalizedMessage::format("page %d to %d", {5LL}), "page 5 to %d");
  EXPECT_EQ(GBXLocalizedMessage::format("at %@", {}), "at %@");
  EXPECT_EQ(GBXLocalizedMessage::format("n %d", {std::string("x")}), "n %d");
  EXPECT_EQ(GBXLocalizedMessage::format("100%% %s %", {7LL}), "100% %s %");
}

}  // namespace
