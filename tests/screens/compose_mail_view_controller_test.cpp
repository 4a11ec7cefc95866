#include "screens/compose_mail_view_controller.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
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
    screen = std::make_shared<ComposeMailViewController>();
    screen->setAttachmentDirectory(dir / "mail");
    screen->setClock([] { return localTime(2026, 12, 10); });
    host->presentViewController(screen, false, {});
    backend.runPass();
  }
  void TearDown() override {
    MailComposer::setCurrent(nullptr);
    while (platform::AlertView::visibleAlert()) platform::AlertView::visibleAlert()->dismissWithClickedButtonIndex(0, false);
    ScreenTest::TearDown();
  }
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
