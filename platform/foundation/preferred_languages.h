#pragma once
// The user's preferred languages, most preferred first, as language tags
// ("ja", "en-GB"), in the order the desktop gives them: $LANGUAGE (a colon
// list), then the locale of $LC_ALL, $LC_MESSAGES or $LANG (the first that is
// set). "C" and "POSIX" name no language; with nothing left the list is
// {"en"}. $IGB_PREFERRED_LANGUAGES (a comma or colon list of tags) replaces
// all of it, for trying the program in another language.
//
// Thread-safe (reads the environment; the test override is guarded).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::vector<std::string> preferredLanguages();

// "ja_JP.UTF-8" -> "ja-JP", "de_DE@euro" -> "de-DE", "fr" -> "fr";
// "C", "POSIX" and "" -> "".
std::string languageTagFromLocale(std::string_view locale);

// Tests fix the list (nullopt: back to the environment).
void setPreferredLanguagesOverride(std::optional<std::vector<std::string>> languages);

}  // namespace platform
