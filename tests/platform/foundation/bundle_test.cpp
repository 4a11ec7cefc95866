#include "platform/foundation/bundle.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;
using platform::Bundle;
using platform::Dictionary;
using platform::Value;

namespace {

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-bundle-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    Bundle::setMainBundlePath(std::nullopt);
    fs::remove_all(dir);
  }
  fs::path dir;
};

TEST_F(BundleTest, ResourcesAreFoundOnlyWhenTheyExistAndInside) {
  fs::create_directories(dir / "help");
  std::ofstream(dir / "drumdata.bin") << "x";
  std::ofstream(dir / "help" / "index.html") << "x";
  const Bundle b(dir);
  EXPECT_EQ(b.pathForResource("drumdata", "bin"), dir / "drumdata.bin");
  EXPECT_EQ(b.pathForResource("drumdata.bin", ""), dir / "drumdata.bin");
  EXPECT_EQ(b.pathForResource("index", "html", "help"), dir / "help" / "index.html");
  EXPECT_FALSE(b.pathForResource("drumdata", "dat"));
  EXPECT_FALSE(b.pathForResource("", "bin"));
  EXPECT_FALSE(b.pathForResource("../" + dir.filename().string() + "/drumdata", "bin"));
  EXPECT_FALSE(b.pathForResource("/etc/passwd", ""));
}

TEST_F(BundleTest, InfoDictionaryIsReadFromInfoPlist) {
  ASSERT_TRUE(platform::writePropertyList(
      dir / "Info.plist",
      Value(Dictionary{{"CFBundleShortVersionString", Value("1.4")}, {"CFBundleVersion", Value("77")}})));
  Bundle::setMainBundlePath(dir);
  EXPECT_EQ(Bundle::mainBundle().resourcePath(), dir);
  EXPECT_EQ(Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleVersion"), Value("77"));
  EXPECT_FALSE(Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleDisplayName"));
  EXPECT_EQ(Bundle::mainBundle().infoDictionary().size(), 2u);
}

TEST_F(BundleTest, MissingOrDamagedInfoGivesAnEmptyDictionary) {
  EXPECT_TRUE(Bundle(dir).infoDictionary().empty());
  std::ofstream(dir / "Info.plist") << "<plist><dict><key>broken";
  EXPECT_TRUE(Bundle(dir).infoDictionary().empty());
  // A property list that is not a dictionary.
  ASSERT_TRUE(platform::writePropertyList(dir / "Info.plist", Value(platform::Array{Value(1)})));
  EXPECT_TRUE(Bundle(dir).infoDictionary().empty());
}

TEST_F(BundleTest, MainBundleFollowsTheEnvironmentByDefault) {
  Bundle::setMainBundlePath(std::nullopt);
  const char* old = std::getenv("IGB_BUNDLE_DIR");
  const std::string saved = old ? old : "";
  ::setenv("IGB_BUNDLE_DIR", dir.c_str(), 1);
  EXPECT_EQ(Bundle::mainBundle().resourcePath(), dir);
  if (old)
    ::setenv("IGB_BUNDLE_DIR", saved.c_str(), 1);
  else
    ::unsetenv("IGB_BUNDLE_DIR");
}

}  // namespace
