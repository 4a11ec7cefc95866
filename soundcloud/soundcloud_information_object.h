#pragma once
// The information of one track being uploaded or edited: the editable
// fields, the audio file of an upload and an optional pattern-data file,
// and a few fields that are only shown. It turns its fields into the
// service's track form parameters ("track[...]"), checks and normalises
// them before a request, and translates track types and licences between
// their numbers and the service's texts.
//
// Lengths count UTF-16 code units. A string field that is absent (nullopt,
// as a fetched track may leave it) is left out of the parameters, so an
// update never blanks a field by accident; so is a track type or licence
// outside its table.
//
// A value; main thread (as every user of it).

#include <cstdint>
#include <optional>
#include <string>

#include "oauth2/nxoauth2_parameters.h"
#include "platform/foundation/value.h"
#include "platform/gfx/image.h"
#include "platform/net/url.h"

namespace tssc {

class SoundCloudInformationObject {
 public:
  static constexpr size_t kMaxTitleLength = 100;
  static constexpr size_t kMaxGenreLength = 40;
  static constexpr int kTrackTypeCount = 14;
  static constexpr int kLicenseTypeCount = 8;

  SoundCloudInformationObject(bool enabledToTrackUpload, bool enabledToAttach)
      : enabledToAttach_(enabledToAttach), enabledToTrackUpload_(enabledToTrackUpload) {}

  // The form parameters of the track request, in the service's order.
  nxoauth2::NXOAuth2Parameters output() const;
  // False (and nothing changed) when an upload's audio file is missing;
  // otherwise normalises title and genre and answers true.
  bool isValid();

  static std::optional<std::string> translateTrackTypeIntoStringForDisplay(int index);
  static std::optional<std::string> translateTrackTypeIntoString(int index);
  static std::optional<std::string> translateLicenseTypeIntoString(int index);
  static std::optional<std::string> translateLicenseTypeIntoValue(int index);
  // Case-sensitive; an unknown text gives 0 (track type), 1 (licence), 1
  // (sharing); an absent one gives 0 in all three.
  static int translateStringIntoTrackType(const std::optional<std::string>& text);
  static int translateStringIntoLicenseType(const std::optional<std::string>& text);
  static int translateStringIntoSharingType(const std::optional<std::string>& text);
  // Fields of a fetched track: anything but a string (JSON null, a number)
  // counts as absent.
  static int translateStringIntoTrackType(const platform::Value& value);
  static int translateStringIntoLicenseType(const platform::Value& value);
  static int translateStringIntoSharingType(const platform::Value& value);

  int64_t index = 0;
  uint64_t track_id = 0;
  std::optional<platform::URL> fileURL;
  std::optional<std::string> title = std::string();
  std::optional<std::string> description = std::string();
  std::optional<std::string> genre = std::string();
  std::optional<std::string> tags = std::string();
  // nullopt: no tempo set.
  std::optional<double> tempo;
  int32_t trackType = 0;
  int32_t licenseType = 1;
  int32_t shareType = 0;
  std::optional<std::string> username;
  std::optional<std::string> updatedDate;
  platform::ImagePtr userPicture;
  std::optional<platform::URL> dataURL;
  uint16_t version = 0;
  bool sharing = false;

  bool enabledToAttach() const { return enabledToAttach_; }
  bool enabledToTrackUpload() const { return enabledToTrackUpload_; }

  // The UTC text appended to a title without ASCII letters or digits:
  // "yyyy-MM-dd HH:mm:ss +0000".
  static std::string utcDateText(double secondsSince1970);
  // The first `units` UTF-16 code units of a UTF-8 text (never half a pair).
  static std::string prefixInUTF16Units(const std::string& utf8, size_t units);
  static size_t lengthInUTF16Units(const std::string& utf8);

 private:
  bool enabledToAttach_;
  bool enabledToTrackUpload_;
};

}  // namespace tssc
