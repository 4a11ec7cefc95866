#include "audio/link/localized_string.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/foundation/bundle.h"
#include "platform/foundation/preferred_languages.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kBundleName = "LinkKitResources.bundle";
constexpr const char* kTableName = "Localizable.strings";

std::string lowercase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::replace(s.begin(), s.end(), '_', '-');
  return s;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class StringsParser {
 public:
  explicit StringsParser(const std::string& text) : s_(text) {
    // A UTF-8 byte-order mark is allowed at the start.
    if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) i_ = 3;
  }

  std::optional<std::map<std::string, std::string>> parse() {
    std::map<std::string, std::string> table;
    while (true) {
      if (!skipSpaceAndComments()) return std::nullopt;
      if (i_ >= s_.size()) return table;
      std::string key;
      if (!quoted(key)) return std::nullopt;
      if (!skipSpaceAndComments() || !expect('=')) return std::nullopt;
      if (!skipSpaceAndComments()) return std::nullopt;
      std::string value;
      if (!quoted(value)) return std::nullopt;
      if (!skipSpaceAndComments() || !expect(';')) return std::nullopt;
      table[key] = value;
    }
  }

 private:
  bool expect(char c) {
    if (i_ >= s_.size() || s_[i_] != c) return false;
    ++i_;
    return true;
  }

  // False on an unterminated block comment.
  bool skipSpaceAndComments() {
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i_;
      } else if (s_.compare(i_, 2, "//") == 0) {
        const size_t end = s_.find('\n', i_);
        i_ = end == std::string::npos ? s_.size() : end + 1;
      } else if (s_.compare(i_, 2, "/*") == 0) {
        const size_t end = s_.find("*/", i_ + 2);
        if (end == std::string::npos) return false;
        i_ = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  bool quoted(std::string& out) {
    if (!expect('"')) return false;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '\'': out += '\''; break;
        case 'U':
        case 'u': {
          if (i_ + 4 > s_.size()) return false;
          uint32_t cp = 0;
          for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            if (!std::isxdigit(static_cast<unsigned char>(h))) return false;
            cp = cp * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(h))
                                                     ? h - '0'
                                                     : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
          }
          appendUtf8(out, cp);
          break;
        }
        default:
          return false;
      }
    }
    return false;  // no closing quote
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

// ------------------------------------------------------------ strings tables

std::optional<std::map<std::string, std::string>> parseStringsTable(const std::string& text) {
  return StringsParser(text).parse();
}

std::optional<std::map<std::string, std::string>> readStringsTable(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return parseStringsTable(buffer.str());
}

// ------------------------------------------------------------ the bundle

std::optional<LinkKitResourceBundle> LinkKitResourceBundle::open(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return std::nullopt;
  return LinkKitResourceBundle(path);
}

std::string LinkKitResourceBundle::localizationFor(const std::vector<std::string>& preferredLanguages) const {
  std::vector<std::string> available;  // folder names without ".lproj"
  std::error_code ec;
  for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (p.extension() == ".lproj" && it->is_directory(ec)) available.push_back(p.stem().string());
  }
  std::sort(available.begin(), available.end());
  auto find = [&](const std::string& tag) -> std::optional<std::string> {
    const std::string wanted = lowercase(tag);
    for (const auto& a : available) {
      if (lowercase(a) == wanted) return a;
    }
    return std::nullopt;
  };
  for (const auto& language : preferredLanguages) {
    if (language.empty()) continue;
    if (auto exact = find(language)) return *exact;
    const std::string base = lowercase(language).substr(0, lowercase(language).find('-'));
    if (auto partial = find(base)) return *partial;
  }
  if (auto en = find("en")) return *en;
  if (auto base = find("Base")) return *base;
  return {};
}

std::string LinkKitResourceBundle::localizedString(const std::string& key,
                                                   const std::vector<std::string>& preferredLanguages) const {
  const std::string localization = localizationFor(preferredLanguages);
  if (localization.empty()) return key;
  const auto table = readStringsTable(path_ / (localization + ".lproj") / kTableName);
  if (!table) return key;
  const auto it = table->find(key);
  return it == table->end() ? key : it->second;
}

std::optional<std::string> LocalizedString::resourcesLocalizedString(const std::string& key, const std::string&) {
  static std::mutex mutex;
  static std::optional<LinkKitResourceBundle> bundle;
  std::optional<LinkKitResourceBundle> found;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!bundle) bundle = LinkKitResourceBundle::open(platform::Bundle::mainBundle().resourcePath() / kBundleName);
    found = bundle;
  }
  if (!found) return std::nullopt;
  return found->localizedString(key, platform::preferredLanguages());
}

// ------------------------------------------------------------ texts

const std::vector<LinkKitTexts::Entry>& LinkKitTexts::table() {
  static const std::vector<Entry> entries = {
      {"DescriptionLong",
       "Link allows you to play in time with other Link-enabled peers that are on the same network.\n \nTo create or "
       "join a session, enable Link.",
       &LinkKitTexts::descriptionLong},
      {"LinkHyperlink", "Learn more at ", &LinkKitTexts::linkHyperlink},
      {"Browsing", "Browsing for Link-enabled peers...", &LinkKitTexts::browsing},
      {"InAppNotificationTitle", "In-app notifications", &LinkKitTexts::inAppNotificationTitle},
      {"InAppNotificationSubtitle", "Get notified when apps join or leave", &LinkKitTexts::inAppNotificationSubtitle},
      {"SyncStartStopTitle", "Sync Start/Stop", &LinkKitTexts::syncStartStopTitle},
      {"SyncStartStopSubtitle", "Send and listen to Start/Stop commands", &LinkKitTexts::syncStartStopSubtitle},
      {"ConnectedPeersSectionTitle", "CONNECTED PEERS", &LinkKitTexts::connectedPeersSectionTitle},
      {"PeersConnectedZero", "No peers connected", &LinkKitTexts::peersConnectedZero},
      {"PeersConnectedOne", "Connected to 1 peer", &LinkKitTexts::peersConnectedOne},
      {"PeersConnectedMany", "Connected to %zu peers", &LinkKitTexts::peersConnectedMany},
      {"LinkZero", "No Links", &LinkKitTexts::linkZero},
      {"LinkOne", "1 Link", &LinkKitTexts::linkOne},
      {"LinkOther", "%u Links", &LinkKitTexts::linkOther},
  };
  return entries;
}

const LinkKitTexts& linkKitTexts() {
  static const LinkKitTexts texts =
      LinkKitTexts::build([](const std::string& key) { return LocalizedString::resourcesLocalizedString(key, ""); });
  return texts;
}

std::string linkKitPeersConnectedText(const LinkKitTexts& texts, uint64_t count) {
  if (count == 0) return texts.peersConnectedZero;
  if (count == 1) return texts.peersConnectedOne;
  return formatCount(texts.peersConnectedMany, count);
}

std::string linkKitNotificationText(const LinkKitTexts& texts, uint64_t count) {
  // The zero and one texts go through the same formatting: a "%%" in a
  // translation reads the same everywhere.
  if (count == 0) return formatCount(texts.linkZero, count);
  if (count == 1) return formatCount(texts.linkOne, count);
  return formatCount(texts.linkOther, count);
}

std::string formatCount(const std::string& format, uint64_t count) {
  std::string out;
  bool filled = false;
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      ++i;
      continue;
    }
    if (format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    if (!filled && format[i + 1] == '@') {
      out += std::to_string(count);
      filled = true;
      i += 2;
      continue;
    }
    // Length modifiers, then an integer conversion.
    size_t j = i + 1;
    while (j < format.size() && (format[j] == 'l' || format[j] == 'z' || format[j] == 'h' || format[j] == 'q' ||
                                 format[j] == 'j' || format[j] == 't')) {
      ++j;
    }
    if (!filled && j < format.size() && j - i <= 3 &&
        (format[j] == 'u' || format[j] == 'd' || format[j] == 'i')) {
      out += std::to_string(count);
      filled = true;
      i = j + 1;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}
