#pragma once
// The few texts the program words itself (tutorial captions and the
// confirmation questions of the pattern browser and the edit modes), in
// English and Japanese. The Japanese table is used when the user's first
// preferred language is Japanese, the English one otherwise; the language is
// asked again at every call.
//
// Ids 10 and 13 are printf-style format strings: id 10 takes one string
// ("%@", the destination slot as the browser names it), id 13 two integers
// (source page, destination page, counted from 1).
//
// Thread-safe: the tables are constant.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

class GBXLocalizedMessage {
 public:
  static constexpr uint32_t kMessageCount = 15;

  // The text of `id` in the current language; empty for an id the tables do
  // not have (callers use constants, but a stray id must never read past a
  // table).
  static std::string getText(uint32_t id);
  // The text of `id` in one language, whatever the preferences say.
  static std::string_view text(uint32_t id, bool japanese);
  // The first preferred language is "ja" or begins with "ja-".
  static bool isPreferredLanguageJapanese();

  // Fills a message's format: "%@" takes the next argument as text, "%d"
  // the next as a decimal integer, "%%" is a percent sign. A conversion
  // without an argument of its kind left is written out as it stands, so a
  // wrong call shows a visible mark instead of reading garbage.
  using Argument = std::variant<long long, std::string>;
  static std::string format(std::string_view format, std::initializer_list<Argument> arguments);
};
