#include "platform/foundation/preferred_languages.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

std::mutex& overrideMutex() {
  static std::mutex m;
  return m;
}
std::optional<std::vector<std::string>>& overrideList() {
  static std::optional<std::vector<std::string>> list;
  return list;
}

std::vector<std::string> split(std::string_view s, std::string_view separators) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find_first_of(separators, start);
    if (end == std::string_view::npos) end = s.size();
    if (end > start) out.emplace_back(s.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

void appendUnique(std::vector<std::string>& list, const std::string& tag) {
  if (!tag.empty() && std::find(list.begin(), list.end(), tag) == list.end()) list.push_back(tag);
}

const char* env(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : nullptr;
}

}  // namespace

std::string languageTagFromLocale(std::string_view locale) {
  const size_t cut = locale.find_first_of(".@");
  std::string base(locale.substr(0, cut));
  if (base.empty() || base == "C" || base == "POSIX") return {};
  std::replace(base.begin(), base.end(), '_', '-');
  return base;
}

std::vector<std::string> preferredLanguages() {
  {
    std::lock_guard<std::mutex> lock(overrideMutex());
    if (overrideList()) return *overrideList();
  }
  std::vector<std::string> list;
  if (const char* forced = env("IGB_PREFERRED_LANGUAGES")) {
    for (const std::string& t : split(forced, ",:")) appendUnique(list, languageTagFromLocale(t));
    if (!list.empty()) return list;
  }
  const char* locale = env("LC_ALL");
  if (!locale) locale = env("LC_MESSAGES");
  if (!locale) locale = env("LANG");
  const std::string localeTag = locale ? languageTagFromLocale(locale) : std::string();
  // gettext ignores $LANGUAGE when the locale itself is "C".
  if (const char* languages = env("LANGUAGE"); languages && !localeTag.empty()) {
    for (const std::string& t : split(languages, ":")) appendUnique(list, languageTagFromLocale(t));
  }
  appendUnique(list, localeTag);
  if (list.empty()) list.push_back("en");
  return list;
}

void setPreferredLanguagesOverride(std::optional<std::vector<std::string>> languages) {
  std::lock_guard<std::mutex> lock(overrideMutex());
  overrideList() = std::move(languages);
}

}  // namespace platform
