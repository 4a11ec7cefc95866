#include "soundcloud/soundcloud_information_object.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace tssc {
namespace {

struct Entry {
  const char* shown;
  const char* value;
};

constexpr Entry kTrackTypes[] = {
    {"", ""},
    {"Other", "other"},
    {"One Shot Sample", "sample"},
    {"Sound Effect", "sound effect"},
    {"Loop", "loop"},
    {"Stem", "stem"},
    {"Work in progress", "in progress"},
    {"Demo", "demo"},
    {"Podcast", "podcast"},
    {"Spoken", "spoken"},
    {"Recording", "recording"},
    {"Live", "live"},
    {"Remix", "remix"},
    {"Original", "original"},
};

constexpr Entry kLicenses[] = {
    {"No Rights Reserved", "no-rights-reserved"},
    {"All Rights Reserved", "all-rights-reserved"},
    {"Creative Commons Attribution", "cc-by"},
    {"Creative Commons Attribution Noncommercial", "cc-by-nc"},
    {"Creative Commons Attribution No Derivative Works", "cc-by-nd"},
    {"Creative Commons Attribution Share Alike", "cc-by-sa"},
    {"Creative Commons Attribution Noncommercial Non Derivate Works", "cc-by-nc-nd"},
    {"Creative Commons Attribution Noncommercial Share Alike", "cc-by-nc-sa"},
};

template <size_t N>
std::optional<std::string> lookup(const Entry (&table)[N], int index, bool shown) {
  if (index < 0 || static_cast<size_t>(index) >= N) return std::nullopt;
  return std::string(shown ? table[index].shown : table[index].value);
}

bool hasASCIILetterOrDigit(const std::string& s) {
  for (unsigned char c : s)
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return false;
}

// Bytes of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

std::optional<std::string> stringOf(const platform::Value& v) {
  if (const std::string* s = v.string()) return *s;
  return std::nullopt;
}

}  // namespace

size_t SoundCloudInformationObject::lengthInUTF16Units(const std::string& utf8) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = std::min(sequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    units += n == 4 ? 2 : 1;
    i += n;
  }
  return units;
}

std::string SoundCloudInformationObject::prefixInUTF16Units(const std::string& utf8, size_t units) {
  size_t used = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t n = std::min(sequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    const size_t u = n == 4 ? 2 : 1;
    if (used + u > units) break;
    used += u;
    i += n;
  }
  return utf8.substr(0, i);
}

std::string SoundCloudInformationObject::utcDateText(double secondsSince1970) {
  const std::time_t t = static_cast<std::time_t>(secondsSince1970);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
  return buf;
}

nxoauth2::NXOAuth2Parameters SoundCloudInformationObject::output() const {
  nxoauth2::NXOAuth2Parameters p;
  if (enabledToTrackUpload_ && fileURL) p.set("track[asset_data]", *fileURL);
  if (title) p.set("track[title]", *title);
  if (description) p.set("track[description]", *description);
  if (genre) p.set("track[genre]", *genre);
  p.set("track[sharing]", shareType != 0 ? "private" : "public");
  if (tempo) {
    const double t = static_cast<double>(static_cast<float>(*tempo));
    if (t > 0.01) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%0.1f", t);
      p.set("track[bpm]", std::string(buf));
    }
  }
  if (auto v = translateTrackTypeIntoString(trackType)) p.set("track[track_type]", *v);
  if (auto v = translateLicenseTypeIntoValue(licenseType)) p.set("track[license]", *v);
  if (tags) p.set("track[tag_list]", *tags);
  return p;
}

bool SoundCloudInformationObject::isValid() {
  if (enabledToTrackUpload_) {
    std::error_code ec;
    if (!fileURL || !fileURL->isFileURL() || !std::filesystem::exists(fileURL->filePath(), ec)) return false;
  }
  if (title && !hasASCIILetterOrDigit(*title)) {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    *title += " " + utcDateText(now);
  }
  if (!title || title->empty()) title = "Untitled";
  if (lengthInUTF16Units(*title) > kMaxTitleLength) title = prefixInUTF16Units(*title, kMaxTitleLength);
  if (genre && lengthInUTF16Units(*genre) > kMaxGenreLength) genre = prefixInUTF16Units(*genre, kMaxGenreLength);
  return true;
}

std::optional<std::string> SoundCloudInformationObject::translateTrackTypeIntoStringForDisplay(int index) {
  return lookup(kTrackTypes, index, true);
}
std::optional<std::string> SoundCloudInformationObject::translateTrackTypeIntoString(int index) {
  return lookup(kTrackTypes, index, false);
}
std::optional<std::string> SoundCloudInformationObject::translateLicenseTypeIntoString(int index) {
  return lookup(kLicenses, index, true);
}
std::optional<std::string> SoundCloudInformationObject::translateLicenseTypeIntoValue(int index) {
  return lookup(kLicenses, index, false);
}

int SoundCloudInformationObject::translateStringIntoTrackType(const std::optional<std::string>& text) {
  if (!text) return 0;
  for (int i = 0; i < kTrackTypeCount; ++i)
    if (*text == kTrackTypes[i].value) return i;
  return 0;
}

int SoundCloudInformationObject::translateStringIntoLicenseType(const std::optional<std::string>& text) {
  if (!text) return 0;
  for (int i = 0; i < kLicenseTypeCount; ++i)
    if (*text == kLicenses[i].value) return i;
  return 1;
}

int SoundCloudInformationObject::translateStringIntoSharingType(const std::optional<std::string>& text) {
  if (!text) return 0;
  return *text == "public" ? 0 : 1;
}

int SoundCloudInformationObject::translateStringIntoTrackType(const platform::Value& value) {
  return translateStringIntoTrackType(stringOf(value));
}
int SoundCloudInformationObject::translateStringIntoLicenseType(const platform::Value& value) {
  return translateStringIntoLicenseType(stringOf(value));
}
int SoundCloudInformationObject::translateStringIntoSharingType(const platform::Value& value) {
  return translateStringIntoSharingType(stringOf(value));
}

}  // namespace tssc
