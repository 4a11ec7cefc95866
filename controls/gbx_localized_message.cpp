#include "controls/gbx_localized_message.h"

#include <array>

#include "platform/foundation/preferred_languages.h"

namespace {

// U+2B05 and U+2B07 followed by U+FE0E, so the arrows draw as text rather
// than as coloured emoji.
#define IGB_ARROW_LEFT "\xE2\xAC\x85\xEF\xB8\x8E"
#define IGB_ARROW_DOWN "\xE2\xAC\x87\xEF\xB8\x8E"

constexpr std::array<std::string_view, GBXLocalizedMessage::kMessageCount> kEnglish = {
    "Please select your\npreferred knob gesture",
    IGB_ARROW_LEFT " Tap here to start",
    "Tap the buttons",
    IGB_ARROW_DOWN " Tap SYNTH 3",
    "Slide the buttons",
    "Tweak the knob",
    "Enjoy your beat making!",
    "SKIP",
    "Linear\n(Recommended)",
    "Rotary",
    "Are you sure you want to save the current pattern at %@?",
    "Are you sure you want to clear the selected part?",
    "Are you sure you want to clear motion sequence data for the selected parameter?",
    "Are you sure you want to copy step page %d to step page %d?",
    "",
};

constexpr std::array<std::string_view, GBXLocalizedMessage::kMessageCount> kJapanese = {
    "お好みの操作方法を\n下のノブを回して選択してください",
    IGB_ARROW_LEFT " ここを押して始めましょう",
    "ボタンを押してみましょう",
    IGB_ARROW_DOWN " SYNTH 3を選択",
    "ボタンをスライドしてみましょう",
    "ノブを回してみましょう",
    "ビートメイキングを楽しもう！",
    "スキップ",
    "直線(推奨)",
    "回転",
    "現在のパターンを %@ に保存しますか？",
    "選択したパートをクリアします。\n実行しますか？",
    "選択したパラメータのモーションシーケンスをクリアします。実行しますか？",
    "ページ %d からページ %d へシーケンスをコピーします。実行しますか？",
    "",
};

#undef IGB_ARROW_LEFT
#undef IGB_ARROW_DOWN

}  // namespace

std::string_view GBXLocalizedMessage::text(uint32_t id, bool japanese) {
  if (id >= kMessageCount) return {};
  return japanese ? kJapanese[id] : kEnglish[id];
}

std::string GBXLocalizedMessage::getText(uint32_t id) {
  if (id >= kMessageCount) return {};
  return std::string(text(id, isPreferredLanguageJapanese()));
}

bool GBXLocalizedMessage::isPreferredLanguageJapanese() {
  const std::vector<std::string> languages = platform::preferredLanguages();
  if (languages.empty()) return false;
  const std::string& first = languages.front();
  return first == "ja" || first.starts_with("ja-");
}

std::string GBXLocalizedMessage::format(std::string_view fmt, std::initializer_list<Argument> arguments) {
  std::string out;
  out.reserve(fmt.size() + 16);
  auto next = arguments.begin();
  for (size_t i = 0; i < fmt.size(); ++i) {
    const char c = fmt[i];
    if (c != '%' || i + 1 >= fmt.size()) {
      out += c;
      continue;
    }
    const char conversion = fmt[i + 1];
    if (conversion == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (conversion != '@' && conversion != 'd') {
      out += c;
      continue;
    }
    ++i;
    if (next == arguments.end()) {
      out += '%';
      out += conversion;
      continue;
    }
    const Argument& a = *next++;
    if (conversion == '@') {
      out += std::holds_alternative<std::string>(a) ? std::get<std::string>(a) : std::to_string(std::get<long long>(a));
    } else if (std::holds_alternative<long long>(a)) {
      out += std::to_string(std::get<long long>(a));
    } else {
      out += "%d";
    }
  }
  return out;
}
