#include "platform/keychain/keychain.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "platform/foundation/atomic_file.h"

using platform::Data;
using platform::Keychain;
using platform::KeychainItem;
using platform::KeychainStatus;

namespace {

class KeychainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-keychain-test-XXXXXX";
    root_ = ::mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  static Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }
  static KeychainItem item(const std::string& service, const std::string& account, const std::string& secret) {
    return {service, account, "OAuth 2 Access Token", bytes("meta"), bytes(secret)};
  }
  static unsigned mode(const std::filesystem::path& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::filesystem::path dir() const { return root_ / "deep" / "keychain"; }

  std::filesystem::path root_;
};

TEST_F(KeychainTest, ItemsRoundTripPerServiceAndAccount) {
  Keychain kc(dir());
  EXPECT_EQ(kc.copyItem("org.igroovebix::OAuth2::api"), std::nullopt);
  ASSERT_EQ(kc.addItem(item("org.igroovebix::OAuth2::api", "", "s1")), KeychainStatus::Success);
  ASSERT_EQ(kc.addItem(item("org.igroovebix::OAuth2::api", "second", "s2")), KeychainStatus::Success);
  ASSERT_EQ(kc.addItem(item("other", "", "s3")), KeychainStatus::Success);
  EXPECT_EQ(kc.addItem(item("org.igroovebix::OAuth2::api", "second", "again")), KeychainStatus::DuplicateItem);

  std::vector<KeychainItem> items;
  ASSERT_EQ(kc.copyItems("org.igroovebix::OAuth2::api", &items), KeychainStatus::Success);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], item("org.igroovebix::OAuth2::api", "", "s1"));
  EXPECT_EQ(items[1].secret, bytes("s2"));
  EXPECT_EQ(kc.copyItem("org.igroovebix::OAuth2::api", "second")->secret, bytes("s2"));
  EXPECT_EQ(kc.copyItem("other")->secret, bytes("s3"));
  KeychainStatus status;
  EXPECT_FALSE(kc.copyItem("org.igroovebix::OAuth2::api", "third", &status));
  EXPECT_EQ(status, KeychainStatus::ItemNotFound);

  // Another keychain object over the same directory sees the same items.
  EXPECT_EQ(Keychain(dir()).copyItem("other")->secret, bytes("s3"));
}

TEST_F(KeychainTest, ReplaceMakesExactlyTheGivenItemsAndDeleteRemovesTheFile) {
  Keychain kc(dir());
  const std::string svc = "org.igroovebix::NXOAuth2AccountStore";
  ASSERT_EQ(kc.addItem(item(svc, "a", "1")), KeychainStatus::Success);
  ASSERT_EQ(kc.addItem(item(svc, "b", "2")), KeychainStatus::Success);
  ASSERT_EQ(kc.replaceItems(svc, {item(svc, "", "only")}), KeychainStatus::Success);
  ASSERT_EQ(kc.replaceItems(svc, {item(svc, "", "only")}), KeychainStatus::Success);
  std::vector<KeychainItem> items;
  ASSERT_EQ(kc.copyItems(svc, &items), KeychainStatus::Success);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].secret, bytes("only"));
  EXPECT_EQ(kc.replaceItems(svc, {item(svc, "x", "1"), item(svc, "x", "2")}), KeychainStatus::DuplicateItem);
  EXPECT_EQ(kc.replaceItems(svc, {item("elsewhere", "", "1")}), KeychainStatus::InvalidParameter);

  EXPECT_EQ(kc.deleteItems(svc), KeychainStatus::Success);
  EXPECT_EQ(kc.deleteItems(svc), KeychainStatus::ItemNotFound);
  EXPECT_EQ(kc.replaceItems(svc, {}), KeychainStatus::Success);
  EXPECT_FALSE(std::filesystem::exists(kc.fileForService(svc)));
  EXPECT_EQ(kc.copyItems(svc, &items), KeychainStatus::ItemNotFound);
}

TEST_F(KeychainTest, FilesAreTheUsersAloneWhateverTheUmask) {
  const mode_t old = ::umask(0);
  Keychain kc(dir());
  const KeychainStatus s = kc.addItem(item("svc", "", "secret"));
  ::umask(old);
  ASSERT_EQ(s, KeychainStatus::Success);
  EXPECT_EQ(mode(dir()), 0700u);
  EXPECT_EQ(mode(kc.fileForService("svc")), 0600u);
  // A directory someone opened up is closed again on the next write.
  ::chmod(dir().c_str(), 0755);
  ASSERT_EQ(kc.replaceItems("svc", {item("svc", "", "new")}), KeychainStatus::Success);
  EXPECT_EQ(mode(dir()), 0700u);
  EXPECT_EQ(mode(kc.fileForService("svc")), 0600u);
  EXPECT_EQ(entries(), (std::vector<std::string>{"svc.keychain"}));
}

std::vector<unsigned> secretModesOnTheWay;

TEST_F(KeychainTest, ASecretIsNeverOnDiskWithWiderRights) {
  // The atomic writer's observer sees each temporary file when it is
  // complete, just before it takes the item file's name.
  platform::setAtomicWriteObserverForTesting([](const std::filesystem::path& temporary) {
    struct stat st{};
    secretModesOnTheWay.push_back(::stat(temporary.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF);
  });
  Keychain kc(dir());
  for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
    const mode_t old = ::umask(mask);
    EXPECT_EQ(kc.addItem(item("svc" + std::to_string(mask), "", "secret")), KeychainStatus::Success);
    EXPECT_EQ(kc.replaceItems("svc", {item("svc", "", "new secret")}), KeychainStatus::Success);
    ::umask(old);
  }
  platform::setAtomicWriteObserverForTesting(nullptr);
  EXPECT_EQ(secretModesOnTheWay, (std::vector<unsigned>{0600, 0600, 0600, 0600}));
  for (const std::string& name : entries()) EXPECT_EQ(mode(dir() / name), 0600u) << name;
}

TEST_F(KeychainTest, AFailedWriteKeepsTheOldItemsAndLeavesNoTemporaryFile) {
  Keychain kc(dir());
  ASSERT_EQ(kc.addItem(item("svc", "", "old secret")), KeychainStatus::Success);
  const auto before = std::filesystem::file_size(kc.fileForService("svc"));
  // A file-size limit makes the write fail part-way, also for root.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old;
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = before + 64;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const KeychainStatus s = kc.replaceItems("svc", {item("svc", "", std::string(100000, 'n'))});
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(s, KeychainStatus::IOError);
  EXPECT_EQ(kc.copyItem("svc")->secret, bytes("old secret"));
  EXPECT_EQ(entries(), (std::vector<std::string>{"svc.keychain"}));
}

TEST_F(KeychainTest, ServiceNamesNeverLeaveTheDirectory) {
  Keychain kc(dir());
  const struct {
    const char* service;
    const char* file;
  } table[] = {
      {"org.igroovebix::OAuth2::api.example.com", "org.igroovebix::OAuth2::api.example.com.keychain"},
      {"../../etc/passwd", "%2E.%2F..%2Fetc%2Fpasswd.keychain"},
      {"..", "%2E..keychain"},
      {"a b/c", "a%20b%2Fc.keychain"},
      {"100%", "100%25.keychain"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.service);
    EXPECT_EQ(kc.fileForService(row.service), dir() / row.file);
    ASSERT_EQ(kc.addItem(item(row.service, "", "s")), KeychainStatus::Success);
    EXPECT_EQ(kc.copyItem(row.service)->service, row.service);
  }
  EXPECT_EQ(entries().size(), std::size(table));
  EXPECT_EQ(kc.addItem(item("", "", "s")), KeychainStatus::InvalidParameter);
}

TEST_F(KeychainTest, ForeignOrDamagedFilesReadAsCorrupt) {
  Keychain kc(dir());
  ASSERT_EQ(kc.addItem(item("svc", "", "s")), KeychainStatus::Success);
  std::ofstream(kc.fileForService("svc"), std::ios::binary | std::ios::trunc) << "not a property list";
  KeychainStatus status;
  EXPECT_FALSE(kc.copyItem("svc", std::nullopt, &status));
  EXPECT_EQ(status, KeychainStatus::Corrupt);
  EXPECT_EQ(kc.addItem(item("svc", "", "s")), KeychainStatus::Corrupt);
  // A file of another service copied over is not taken for this one.
  ASSERT_EQ(kc.addItem(item("other", "", "theirs")), KeychainStatus::Success);
  std::filesystem::copy_file(kc.fileForService("other"), kc.fileForService("svc"),
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_FALSE(kc.copyItem("svc", std::nullopt, &status));
  EXPECT_EQ(status, KeychainStatus::Corrupt);
  // Replacing repairs it.
  ASSERT_EQ(kc.replaceItems("svc", {item("svc", "", "fresh")}), KeychainStatus::Success);
  EXPECT_EQ(kc.copyItem("svc")->secret, bytes("fresh"));
}

TEST_F(KeychainTest, TheDefaultDirectoryFollowsTheEnvironment) {
  const char* names[] = {"IGROOVEBIX_KEYCHAIN_HOME", "IGROOVEBIX_HOME", "XDG_DATA_HOME", "HOME"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) saved.push_back(std::getenv(n) ? std::optional<std::string>(std::getenv(n)) : std::nullopt);
  struct Row {
    const char* keychainHome;
    const char* igbHome;
    const char* xdg;
    const char* home;
    const char* expected;
  } table[] = {
      {"/k", "/i", "/x", "/h", "/k"},
      {nullptr, "/i", "/x", "/h", "/i/.keychain"},
      {nullptr, nullptr, "/x", "/h", "/x/igroovebix/keychain"},
      {nullptr, nullptr, "relative", "/h", "/h/.local/share/igroovebix/keychain"},
      {nullptr, nullptr, nullptr, "/h", "/h/.local/share/igroovebix/keychain"},
      {"", "", "", "/h", "/h/.local/share/igroovebix/keychain"},
  };
  for (const Row& r : table) {
    const char* values[] = {r.keychainHome, r.igbHome, r.xdg, r.home};
    for (size_t i = 0; i < 4; ++i) {
      if (values[i])
        ::setenv(names[i], values[i], 1);
      else
        ::unsetenv(names[i]);
    }
    EXPECT_EQ(Keychain::defaultDirectory(), r.expected);
    EXPECT_EQ(Keychain::defaultKeychain().directory(), r.expected);
  }
  for (size_t i = 0; i < 4; ++i) {
    if (saved[i])
      ::setenv(names[i], saved[i]->c_str(), 1);
    else
      ::unsetenv(names[i]);
  }
}

}  // namespace
