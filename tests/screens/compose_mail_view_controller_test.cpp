#include "screens/compose_mail_view_controller.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "platform/foundation/atomic_file.h"
#include "platform/ui/alert_view.h"
#include "screen_test_support.h"

namespace {

using platform::Rect;

class FakeComposer : public MailComposer {
 public:
  bool canSendMail() const override { return canSend; }
  bool compose(const MailMessage& m) override {
    sent.push_back(m);
    return starts;
  }
  bool canSend = true;
  bool starts = true;
  std::vector<MailMessage> sent;
};

std::time_t localTime(int year, int month, int day) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

class ComposeMailTest : public screentest::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    MailComposer::setCurrent(&composer);
    saveEnvironment();
    std::filesystem::create_directories(dir / "runtime");
    ::setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    screen = std::make_shared<ComposeMailViewController>();
    screen->setClock([] { return localTime(2026, 12, 10); });
    host->presentViewController(screen, false, {});
    backend.runPass();
  }
  void TearDown() override {
    MailComposer::setCurrent(nullptr);
    while (platform::AlertView::visibleAlert()) platform::AlertView::visibleAlert()->dismissWithClickedButtonIndex(0, false);
    screen.reset();
    restoreEnvironment();
    ScreenTest::TearDown();
  }
  static constexpr const char* kVariables[] = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME", "TMPDIR"};
  void saveEnvironment() {
    for (const char* v : kVariables) saved[v] = std::getenv(v) ? std::optional<std::string>(std::getenv(v)) : std::nullopt;
  }
  void restoreEnvironment() {
    for (const auto& [name, value] : saved) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }
  std::map<std::string, std::optional<std::string>> saved;
  void writePatternFile(size_t bytes) {
    std::string data(bytes, '\x5A');
    ASSERT_TRUE(platform::writeFileAtomically(documents() / "gbx_pattern.dat", data));
  }
  // Both buttons act as soon as they are touched.
  void touchDown(platform::View& v) { backend.touchDown(centreOf(v)); }

  FakeComposer composer;
  std::shared_ptr<ComposeMailViewController> screen;
};

TEST_F(ComposeMailTest, ABlackScreenWithTwoButtons) {
  EXPECT_EQ(screen->view()->backgroundColor(), platform::Color::black());
  EXPECT_EQ(screen->sendButton()->titleForState(platform::ControlState::Normal), "Send Pattern");
  EXPECT_EQ(screen->closeButton()->titleForState(platform::ControlState::Normal), "Close");
  EXPECT_EQ(screen->sendButton()->frame(), (Rect{10, 10, 120, 50}));
  // 130 points left of the edge given by the view's height at load.
  EXPECT_EQ(screen->closeButton()->frame(), (Rect{screen->view()->frame().size.height - 130, 10, 120, 50}));
  EXPECT_EQ(screen->supportedInterfaceOrientations(), 24u);
}

TEST_F(ComposeMailTest, SendPatternAttachesTheFileWithItsSizeAndDate) {
  writePatternFile(29320);
  touchDown(*screen->sendButton());
  ASSERT_EQ(composer.sent.size(), 1u);
  const MailMessage& m = composer.sent[0];
  EXPECT_EQ(m.subject, "Z31647 pattern data");
  EXPECT_EQ(m.body, "Z31647 pattern data file is attached.\ngbx_pattern_2026-12-10.dat (size: 29320 bytes)\n");
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(m.attachments[0].mimeType, "application/octet-stream");
  EXPECT_EQ(m.attachments[0].file.filename(), "gbx_pattern_2026-12-10.dat");
  EXPECT_EQ(std::filesystem::file_size(m.attachments[0].file), 29320u);
  // The size is read again at each touch.
  backend.touchUp(centreOf(*screen->sendButton()));
  writePatternFile(12);
  touchDown(*screen->sendButton());
  ASSERT_EQ(composer.sent.size(), 2u);
  EXPECT_NE(composer.sent[1].body.find("(size: 12 bytes)"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(composer.sent[1].attachments[0].file), 12u);
}

TEST_F(ComposeMailTest, TheCopyIsInAPrivateFolderThatGoesWithTheScreen) {
  writePatternFile(64);
  const std::filesystem::path runtime = dir / "runtime", cache = dir / "cache", home = dir / "home", tmp = dir / "tmp";
  // The system's temporary folder is this test's own.
  std::filesystem::create_directories(tmp);
  ::setenv("TMPDIR", tmp.c_str(), 1);
  const struct {
    const char* label;
    std::optional<std::string> runtimeDir;  // nullopt: unset
    std::optional<std::string> cacheHome;
    std::filesystem::path expectedParent;
  } cases[] = {
      {"runtime folder", runtime.string(), cache.string(), runtime},
      {"no runtime folder: the cache folder", std::nullopt, cache.string(), cache},
      {"a runtime folder that is not there: the cache folder", (dir / "gone").string(), cache.string(), cache},
      {"a relative runtime folder: the cache folder", "runtime", cache.string(), cache},
      {"neither: the home folder's cache", std::nullopt, std::nullopt, home / ".cache"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::filesystem::create_directories(runtime);
    std::filesystem::create_directories(home);
    // Another local user got there first with the old fixed name, open to all.
    for (const auto& base : {runtime, cache, home / ".cache", tmp}) {
      std::filesystem::create_directories(base / "igroovebix-mail");
    }
    if (c.runtimeDir) ::setenv("XDG_RUNTIME_DIR", c.runtimeDir->c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
    if (c.cacheHome) ::setenv("XDG_CACHE_HOME", c.cacheHome->c_str(), 1);
    else ::unsetenv("XDG_CACHE_HOME");
    ::setenv("HOME", home.c_str(), 1);

    auto first = std::make_shared<ComposeMailViewController>();
    first->setClock([] { return localTime(2026, 12, 10); });
    first->composeMail();
    ASSERT_EQ(composer.sent.size(), 1u);
    const std::filesystem::path copy = composer.sent[0].attachments[0].file;
    const std::filesystem::path folder = copy.parent_path();
    EXPECT_EQ(folder, first->attachmentDirectory());
    EXPECT_EQ(folder.parent_path(), c.expectedParent);
    EXPECT_EQ(folder.filename().string().rfind("igroovebix-mail-", 0), 0u) << folder;
    EXPECT_EQ(std::filesystem::file_size(copy), 64u);
    struct stat st{};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    // A second touch uses the same folder; another screen has its own.
    first->composeMail();
    ASSERT_EQ(composer.sent.size(), 2u);
    EXPECT_EQ(composer.sent[1].attachments[0].file, copy);
    auto second = std::make_shared<ComposeMailViewController>();
    second->composeMail();
    ASSERT_EQ(composer.sent.size(), 3u);
    EXPECT_NE(composer.sent[2].attachments[0].file.parent_path(), folder);
    // When a screen goes, its folder goes with it, and nothing else.
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(std::filesystem::exists(composer.sent[2].attachments[0].file));
    second.reset();
    EXPECT_FALSE(std::filesystem::exists(composer.sent[2].attachments[0].file.parent_path()));
    for (const auto& base : {runtime, cache, home / ".cache", tmp}) {
      std::error_code ec;
      EXPECT_TRUE(std::filesystem::is_empty(base / "igroovebix-mail", ec)) << base;
      std::filesystem::remove_all(base / "igroovebix-mail", ec);
    }
    composer.sent.clear();
  }
}

TEST_F(ComposeMailTest, TheAttachmentCarriesTheCalendarYear) {
  const struct {
    int y, m, d;
    const char* name;
  } cases[] = {{2026, 12, 31, "gbx_pattern_2026-12-31.dat"},  // week 1 of 2027
               {2027, 1, 1, "gbx_pattern_2027-01-01.dat"},    // week 53 of 2026
               {2024, 2, 29, "gbx_pattern_2024-02-29.dat"}};
  for (const auto& c : cases) EXPECT_EQ(ComposeMailViewController::attachmentName(localTime(c.y, c.m, c.d)), c.name);
}

TEST_F(ComposeMailTest, WithoutMailOrWithoutTheFileTheUserIsTold) {
  writePatternFile(100);
  composer.canSend = false;
  touchDown(*screen->sendButton());
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), "");
  EXPECT_EQ(backend.alertMessage(), "This device is not able to send mail");
  EXPECT_EQ(backend.alertButtons(), (std::vector<std::string>{"Close"}));
  EXPECT_TRUE(composer.sent.empty());
  backend.answerAlert(0);
  backend.touchUp(centreOf(*screen->sendButton()));
  // No pattern file: no mail without its attachment.
  composer.canSend = true;
  std::filesystem::remove(documents() / "gbx_pattern.dat");
  touchDown(*screen->sendButton());
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertMessage(), ComposeMailViewController::kNoFileMessage);
  EXPECT_TRUE(composer.sent.empty());
  EXPECT_EQ(host->presentedViewController(), screen.get());
}

TEST_F(ComposeMailTest, CloseActsOnTouchDown) {
  touchDown(*screen->closeButton());
  backend.advance(0.5);
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

}  // namespace

namespace {

// The desktop's composer runs xdg-email from the PATH with the message.
TEST(DesktopMailComposerTest, HandsTheMessageToXdgEmail) {
  char tmpl[] = "/tmp/igb-mail-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::filesystem::path dir = tmpl;
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  MailComposer desktop;
  ::setenv("PATH", dir.c_str(), 1);
  EXPECT_FALSE(desktop.canSendMail());
  {
    std::ofstream script(dir / "xdg-email");
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > \"" << (dir / "args").string() << ".tmp\"\n"
           << "mv \"" << (dir / "args").string() << ".tmp\" \"" << (dir / "args").string() << "\"\n";
  }
  std::filesystem::permissions(dir / "xdg-email", std::filesystem::perms::owner_all);
  ::setenv("PATH", (dir.string() + ":" + oldPath).c_str(), 1);
  EXPECT_TRUE(desktop.canSendMail());
  MailMessage m{"Subject line", "Body\ntext", {{dir / "gbx_pattern_2026-12-10.dat", "application/octet-stream"}}};
  EXPECT_TRUE(desktop.compose(m));
  for (int i = 0; i < 500 && !std::filesystem::exists(dir / "args"); ++i) ::usleep(10000);
  ::setenv("PATH", oldPath.c_str(), 1);
  std::ifstream in(dir / "args");
  std::string args((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(args, "--utf8|--subject|Subject line|--body|Body\ntext|--attach|" + (dir / "gbx_pattern_2026-12-10.dat").string() + "|");
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
