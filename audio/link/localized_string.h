#pragma once
// The Link kit's texts: a localisation bundle of its own,
// "LinkKitResources.bundle" in the application's resources, holding one
// folder per language ("en.lproj", "ja.lproj", ...) with the table
// "Localizable.strings" (lines of "key" = "text"; with C-style escapes and
// comments). When the bundle is missing, the English texts built into the kit
// are used; when a key is missing from the bundle, the key itself shows.
//
// Thread-safe: the shared bundle and the text table are made under a lock or
// as function-local statics. Not real-time-safe (file I/O on first use).

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One opened "LinkKitResources.bundle".
class LinkKitResourceBundle {
 public:
  // Empty when `path` is not a folder.
  static std::optional<LinkKitResourceBundle> open(const std::filesystem::path& path);

  // The language folder chosen for these preferred languages (most preferred
  // first): the first language whose full tag or base language has a folder,
  // else "en", else "Base"; empty when the bundle has none of them.
  std::string localizationFor(const std::vector<std::string>& preferredLanguages) const;
  // The text for `key` in the chosen language's "Localizable.strings"; the key
  // itself when the table or the entry is missing.
  std::string localizedString(const std::string& key, const std::vector<std::string>& preferredLanguages) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  explicit LinkKitResourceBundle(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

// Reads a strings table: "key" = "value"; entries, /* */ and // comments,
// escapes \n \t \r \" \\ \' and \Uxxxx. Empty for a missing or malformed
// file (a table that cannot be read as a whole is not used in part).
std::optional<std::map<std::string, std::string>> readStringsTable(const std::filesystem::path& path);
std::optional<std::map<std::string, std::string>> parseStringsTable(const std::string& text);

class LocalizedString {
 public:
  // The bundle's text for `key` in the user's preferred language, or nothing
  // when "LinkKitResources.bundle" is not in the main bundle's resources.
  // The bundle is looked for again on each call until it has been found,
  // then kept. The comment is for translators only.
  static std::optional<std::string> resourcesLocalizedString(const std::string& key, const std::string& comment);
};

// The kit's texts, each looked up once: the bundle's text or, without the
// bundle, the English one.
struct LinkKitTexts {
  // Settings screen.
  std::string descriptionLong;
  std::string linkHyperlink;
  std::string browsing;
  std::string inAppNotificationTitle;
  std::string inAppNotificationSubtitle;
  std::string syncStartStopTitle;
  std::string syncStartStopSubtitle;
  std::string connectedPeersSectionTitle;
  std::string peersConnectedZero;
  std::string peersConnectedOne;
  std::string peersConnectedMany;  // format with the count
  // In-app banner.
  std::string linkZero;
  std::string linkOne;
  std::string linkOther;  // format with the count

  // The table's keys and English texts, in table order.
  struct Entry {
    const char* key;
    const char* english;
    std::string LinkKitTexts::*field;
  };
  static const std::vector<Entry>& table();

  // Each key through `lookup`, the English text where it answers nothing.
  template <typename Lookup>
  static LinkKitTexts build(Lookup lookup) {
    LinkKitTexts texts;
    for (const Entry& e : table()) {
      std::optional<std::string> text = lookup(std::string(e.key));
      texts.*(e.field) = text ? *text : std::string(e.english);
    }
    return texts;
  }
};

// The program's texts, made on first use and kept for the program's life.
const LinkKitTexts& linkKitTexts();

// The settings screen's status row: no peers, one peer, or the many-peers
// format filled with the count.
std::string linkKitPeersConnectedText(const LinkKitTexts& texts, uint64_t count);
// The banner's text for a count.
std::string linkKitNotificationText(const LinkKitTexts& texts, uint64_t count);

// Fills the first integer conversion of `format` (%u, %d, %i, %zu, %lu,
// %llu, %ld, %lld, ...; or %@) with `count`; "%%" is a percent sign and every
// other "%" is shown as it is. Translations are data, so they are never
// handed to printf.
std::string formatCount(const std::string& format, uint64_t count);
