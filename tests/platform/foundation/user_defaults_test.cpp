#include "platform/foundation/user_defaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::UserDefaults;
using platform::Value;

namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-defaults-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    file = dir / "igroovebix" / "UserDefaults.plist";
  }
  void TearDown() override {
    ::chmod(dir.c_str(), 0700);
    if (fs::exists(dir / "igroovebix")) ::chmod((dir / "igroovebix").c_str(), 0700);
    fs::remove_all(dir);
  }
  fs::path dir;
  fs::path file;
};

TEST_F(UserDefaultsTest, ChangesPersistWithoutSynchronize) {
  {
    UserDefaults d(file);
    EXPECT_FALSE(d.objectForKey("app_launched"));
    d.setBool(true, "app_launched");
    d.setInteger(256, "audio_latency");
    d.setString("1.4 (77)", "application_version");
  }
  UserDefaults again(file);
  EXPECT_EQ(again.objectForKey("app_launched"), Value(true));
  EXPECT_EQ(again.integerForKey("audio_latency"), 256);
  EXPECT_EQ(again.stringForKey("application_version"), "1.4 (77)");
  // The file is a property list any tool reads.
  auto plist = platform::readPropertyList(file);
  ASSERT_TRUE(plist);
  EXPECT_EQ(plist->find("audio_latency")->integerValue(), 256);
}

TEST_F(UserDefaultsTest, RemovingAndNullValues) {
  UserDefaults d(file);
  d.setInteger(1, "EditBufferPatternNumber");
  d.setObject(Value(), "EditBufferPatternNumber");
  EXPECT_FALSE(d.objectForKey("EditBufferPatternNumber"));
  d.setInteger(3, "x");
  d.removeObjectForKey("x");
  EXPECT_FALSE(UserDefaults(file).objectForKey("x"));
  // A value that has no property-list form is refused and changes nothing.
  EXPECT_FALSE(d.setObject(Value(platform::Array{Value(1), Value()}), "list"));
  EXPECT_FALSE(d.objectForKey("list"));
}

struct Conversion {
  Value stored;
  bool asBool;
  int64_t asInteger;
  double asDouble;
};

TEST_F(UserDefaultsTest, TypedReadsConvertAsThePlatformDoes) {
  const Conversion cases[] = {
      {Value(true), true, 1, 1.0},        {Value(false), false, 0, 0.0},
      {Value(0), false, 0, 0.0},          {Value(512), true, 512, 512.0},
      {Value(0.25), true, 0, 0.25},       {Value("YES"), true, 0, 0.0},
      {Value("yes"), true, 0, 0.0},       {Value("true"), true, 0, 0.0},
      {Value("NO"), false, 0, 0.0},       {Value("  007"), true, 7, 7.0},
      {Value("0"), false, 0, 0.0},        {Value("-3.5"), true, -3, -3.5},
      {Value(platform::Data{1}), false, 0, 0.0},
  };
  UserDefaults d(file);
  for (const Conversion& c : cases) {
    d.setObject(c.stored, "k");
    EXPECT_EQ(d.boolForKey("k"), c.asBool) << static_cast<int>(c.stored.type());
    EXPECT_EQ(d.integerForKey("k"), c.asInteger);
    EXPECT_DOUBLE_EQ(d.doubleForKey("k"), c.asDouble);
  }
  EXPECT_FALSE(d.boolForKey("absent"));
  EXPECT_EQ(d.integerForKey("absent"), 0);
  d.setInteger(128, "n");
  EXPECT_EQ(d.stringForKey("n"), "128");
  EXPECT_FALSE(d.stringForKey("absent"));
}

TEST_F(UserDefaultsTest, DamagedFileReadsEmpty) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "<?xml version=\"1.0\"?><plist><dict><key>a</key>";
  UserDefaults d(file);
  EXPECT_TRUE(d.dictionaryRepresentation().empty());
  d.setBool(true, "enable_network_midi");
  EXPECT_EQ(UserDefaults(file).objectForKey("enable_network_midi"), Value(true));
}

TEST_F(UserDefaultsTest, FailedWriteKeepsTheChangeAndSynchronizeReportsIt) {
  if (::geteuid() == 0) {
    // Root ignores directory permissions; block the folder with a file instead.
    const fs::path blocked = dir / "blocked";
    std::ofstream(blocked) << "a file where the folder should be";
    UserDefaults d(blocked / "UserDefaults.plist");
    d.setInteger(512, "audio_latency");
    EXPECT_EQ(d.integerForKey("audio_latency"), 512);
    EXPECT_FALSE(d.synchronize());
    fs::remove(blocked);
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(UserDefaults(blocked / "UserDefaults.plist").integerForKey("audio_latency"), 512);
    return;
  }
  fs::create_directories(file.parent_path());
  ::chmod(file.parent_path().c_str(), 0500);
  UserDefaults d(file);
  d.setInteger(512, "audio_latency");
  EXPECT_EQ(d.integerForKey("audio_latency"), 512);
  EXPECT_FALSE(d.synchronize());
  ::chmod(file.parent_path().c_str(), 0700);
  EXPECT_TRUE(d.synchronize());
  EXPECT_EQ(UserDefaults(file).integerForKey("audio_latency"), 512);
}

TEST_F(UserDefaultsTest, StandardPathFollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  EXPECT_EQ(UserDefaults::standardPath(), dir / "igroovebix" / "UserDefaults.plist");
  // A relative value is ignored, as the XDG base-directory rules require.
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(UserDefaults::standardPath().parent_path().parent_path().filename(), ".config");
  if (old)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
