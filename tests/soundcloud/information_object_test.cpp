#include "soundcloud/soundcloud_information_object.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "tests/platform/net/test_http_server.h"

using tssc::SoundCloudInformationObject;
using Info = SoundCloudInformationObject;

namespace {

std::vector<std::pair<std::string, std::string>> textFields(const nxoauth2::NXOAuth2Parameters& p) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [k, v] : p) out.emplace_back(k, v.text().value_or(v.url() ? "<file " + v.url()->lastPathComponent() + ">" : "?"));
  return out;
}

TEST(InformationObjectTest, ANewRecordSendsTheDefaultsInOrder) {
  Info info(false, false);
  EXPECT_EQ(textFields(info.output()), (std::vector<std::pair<std::string, std::string>>{
                                           {"track[title]", ""},
                                           {"track[description]", ""},
                                           {"track[genre]", ""},
                                           {"track[sharing]", "public"},
                                           {"track[track_type]", ""},
                                           {"track[license]", "all-rights-reserved"},
                                           {"track[tag_list]", ""},
                                       }));
  EXPECT_EQ(info.licenseType, 1);
  EXPECT_FALSE(info.tempo);
}

TEST(InformationObjectTest, AnUploadSendsTheFileFirstAndEveryFieldAsSet) {
  igbtest::TempDir dir;
  const auto file = dir.path() / "Beat 128 BPM.wav";
  std::ofstream(file) << "RIFF";
  Info info(true, true);
  info.fileURL = platform::URL::fileURLWithPath(file);
  info.title = "Beat";
  info.description = "desc";
  info.genre = "Techno";
  info.tags = "\"deep house\" live";
  info.tempo = 128.0;
  info.trackType = 4;
  info.licenseType = 7;
  info.shareType = 1;
  EXPECT_EQ(textFields(info.output()), (std::vector<std::pair<std::string, std::string>>{
                                           {"track[asset_data]", "<file Beat 128 BPM.wav>"},
                                           {"track[title]", "Beat"},
                                           {"track[description]", "desc"},
                                           {"track[genre]", "Techno"},
                                           {"track[sharing]", "private"},
                                           {"track[bpm]", "128.0"},
                                           {"track[track_type]", "loop"},
                                           {"track[license]", "cc-by-nc-sa"},
                                           {"track[tag_list]", "\"deep house\" live"},
                                       }));
  // An edit of an existing track sends no file.
  Info edit(false, false);
  edit.fileURL = info.fileURL;
  EXPECT_FALSE(edit.output().contains("track[asset_data]"));
}

TEST(InformationObjectTest, TempoIsSentWithOneDecimalAboveOneHundredth) {
  const struct {
    std::optional<double> tempo;
    std::optional<std::string> sent;
  } table[] = {{std::nullopt, std::nullopt}, {0.0, std::nullopt}, {0.01, std::nullopt}, {0.02, "0.0"},
               {128.0, "128.0"},            {99.96, "100.0"},      {-5.0, std::nullopt}};
  for (const auto& row : table) {
    Info info(false, false);
    info.tempo = row.tempo;
    const nxoauth2::NXOAuth2Parameters out = info.output();
    const auto* bpm = out.find("track[bpm]");
    EXPECT_EQ(bpm ? bpm->text() : std::nullopt, row.sent) << (row.tempo ? *row.tempo : -1);
  }
}

TEST(InformationObjectTest, AbsentFieldsAndIndicesOutsideTheTablesAreLeftOut) {
  Info info(false, false);
  info.description.reset();
  info.genre.reset();
  info.tags.reset();
  info.trackType = 14;
  info.licenseType = -1;
  const auto p = info.output();
  for (const char* key : {"track[description]", "track[genre]", "track[tag_list]", "track[track_type]", "track[license]"})
    EXPECT_FALSE(p.contains(key)) << key;
  EXPECT_TRUE(p.contains("track[title]"));
}

TEST(InformationObjectTest, ValidationNormalisesTitleAndGenre) {
  const std::regex dated(R"(^ \d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \+0000$)");
  Info empty(false, false);
  ASSERT_TRUE(empty.isValid());
  EXPECT_TRUE(std::regex_match(*empty.title, dated)) << *empty.title;
  // The date's digits keep a second check from adding another.
  const std::string once = *empty.title;
  ASSERT_TRUE(empty.isValid());
  EXPECT_EQ(*empty.title, once);

  Info japanese(false, false);
  japanese.title = "ビート";
  ASSERT_TRUE(japanese.isValid());
  EXPECT_EQ(japanese.title->rfind("ビート ", 0), 0u);

  Info plain(false, false);
  plain.title = "Beat 1";
  ASSERT_TRUE(plain.isValid());
  EXPECT_EQ(*plain.title, "Beat 1");

  Info absent(false, false);
  absent.title.reset();
  ASSERT_TRUE(absent.isValid());
  EXPECT_EQ(*absent.title, "Untitled");

  const struct {
    std::string title, genre;
    size_t titleUnits, genreUnits;
  } table[] = {
      {std::string(150, 'a'), std::string(41, 'g'), 100, 40},
      {std::string(100, 'a'), std::string(40, 'g'), 100, 40},
      // 99 letters and one character outside the basic plane (two units).
      {std::string(99, 'a') + "\xF0\x9F\x8E\xB5", "", 99, 0},
  };
  for (const auto& row : table) {
    Info info(false, false);
    info.title = row.title;
    info.genre = row.genre;
    ASSERT_TRUE(info.isValid());
    EXPECT_EQ(Info::lengthInUTF16Units(*info.title), row.titleUnits);
    EXPECT_EQ(Info::lengthInUTF16Units(*info.genre), row.genreUnits);
  }
}

TEST(InformationObjectTest, AnUploadWithoutItsFileIsNotValidAndUnchanged) {
  igbtest::TempDir dir;
  const auto file = dir.path() / "gone.wav";
  Info info(true, false);
  info.title = "";
  EXPECT_FALSE(info.isValid());  // no file at all
  info.fileURL = platform::URL::fileURLWithPath(file);
  EXPECT_FALSE(info.isValid());
  EXPECT_EQ(*info.title, "");
  std::ofstream(file) << "x";
  EXPECT_TRUE(info.isValid());
  EXPECT_NE(*info.title, "");
}

TEST(InformationObjectTest, TranslationsBothWays) {
  EXPECT_EQ(Info::translateTrackTypeIntoStringForDisplay(2), "One Shot Sample");
  EXPECT_EQ(Info::translateTrackTypeIntoString(6), "in progress");
  EXPECT_EQ(Info::translateTrackTypeIntoString(0), "");
  EXPECT_EQ(Info::translateLicenseTypeIntoString(0), "No Rights Reserved");
  EXPECT_EQ(Info::translateLicenseTypeIntoValue(3), "cc-by-nc");
  EXPECT_FALSE(Info::translateTrackTypeIntoString(14));
  EXPECT_FALSE(Info::translateLicenseTypeIntoValue(8));
  EXPECT_FALSE(Info::translateLicenseTypeIntoString(-1));
  for (int i = 0; i < Info::kTrackTypeCount; ++i)
    EXPECT_EQ(Info::translateStringIntoTrackType(Info::translateTrackTypeIntoString(i)), i);
  for (int i = 0; i < Info::kLicenseTypeCount; ++i)
    EXPECT_EQ(Info::translateStringIntoLicenseType(Info::translateLicenseTypeIntoValue(i)), i);

  const struct {
    std::optional<std::string> text;
    int track, license, sharing;
  } table[] = {
      {"CC-BY", 0, 1, 1}, {"cc-by-nc-sa", 0, 7, 1}, {"Loop", 0, 1, 1},    {"loop", 4, 1, 1},
      {"private", 0, 1, 1}, {"PUBLIC", 0, 1, 1},    {"public", 0, 1, 0}, {std::nullopt, 0, 0, 0},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text.value_or("(absent)"));
    EXPECT_EQ(Info::translateStringIntoTrackType(row.text), row.track);
    EXPECT_EQ(Info::translateStringIntoLicenseType(row.text), row.license);
    EXPECT_EQ(Info::translateStringIntoSharingType(row.text), row.sharing);
  }
  // Fields of a fetched track that are not texts count as absent.
  EXPECT_EQ(Info::translateStringIntoLicenseType(platform::Value()), 0);
  EXPECT_EQ(Info::translateStringIntoTrackType(platform::Value(4)), 0);
  EXPECT_EQ(Info::translateStringIntoSharingType(platform::Value("private")), 1);
}

}  // namespace
