#include "soundcloud-sdk/ui/sc_sharing_mail_picker_controller.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "tests/platform/net/test_http_server.h"

using namespace scui;
using igbtest::pumpMainLoopUntil;

namespace {

TEST(MailAddresses, ParsingAndValidity) {
  struct Case {
    const char* text;
    std::vector<std::string> valid;
    std::optional<std::vector<std::string>> unparsable;
  } cases[] = {
      {"dj@example.com, smi", {"dj@example.com"}, std::vector<std::string>{"smi"}},
      {"a@b.com,,c@d.org", {"a@b.com", "c@d.org"}, std::nullopt},
      {"  a@b.com a@b.com", {"a@b.com", "a@b.com"}, std::nullopt},
      {"x@y.c x@y.abcde", {}, std::vector<std::string>{"x@y.c", "x@y.abcde"}},
      {"A.B+c-d%e@my-host.co.uk", {"A.B+c-d%e@my-host.co.uk"}, std::nullopt},
      {"", {}, std::nullopt},
  };
  for (const auto& c : cases) {
    std::optional<std::vector<std::string>> bad;
    EXPECT_EQ(scArrayOfEmailsInString(c.text, &bad), c.valid) << c.text;
    EXPECT_EQ(bad, c.unparsable) << c.text;
  }
}

const char* kCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:John Smith\r\nEMAIL;TYPE=INTERNET,HOME:john@home.net\r\n"
    "EMAIL;TYPE=work:john.smith@work\r\n .example.com\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Adams;ann;;;\r\nitem1.EMAIL:ann@adams.org\r\nEMAIL;TYPE=x-odd:ann2@adams.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nFN:Nobody\r\nTEL:123\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nEMAIL:lone@somewhere.com\r\nEND:VCARD\r\n";

TEST(MailAddresses, VCardsBecomeAddressBookData) {
  const auto contacts = SCVCardContactsSource::parse(kCards);
  ASSERT_EQ(contacts.size(), 4u);
  EXPECT_EQ(contacts[0].compositeName, "John Smith");
  ASSERT_EQ(contacts[0].emails.size(), 2u);
  EXPECT_EQ(contacts[0].emails[1].address, "john.smith@work.example.com");
  EXPECT_EQ(contacts[1].compositeName, "ann Adams");
  const SCAddressBookData data = scAddressBookData(contacts);
  ASSERT_EQ(data.size(), 5u);
  EXPECT_EQ(data.at("john smith john@home.net"), (SCAddressEntry{"John Smith", "john@home.net", "home"}));
  EXPECT_EQ(data.at("john smith john.smith@work.example.com").mailType, "work");
  EXPECT_EQ(data.at("ann adams ann@adams.org").mailType, "email");
  EXPECT_EQ(data.at("ann adams ann2@adams.org").mailType, std::nullopt);
  EXPECT_EQ(data.at("lone@somewhere.com lone@somewhere.com").name, "lone@somewhere.com");
  // Anywhere in name or address, without regard to case, sorted by name.
  auto m = scAutocomplete(&data, std::string("MIT"));
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].name, "John Smith");
  m = scAutocomplete(&data, std::string("o"));
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0].name, "ann Adams");
  EXPECT_EQ(m[4].name, "lone@somewhere.com");
  EXPECT_TRUE(scAutocomplete(&data, std::nullopt).empty());
  EXPECT_TRUE(scAutocomplete(nullptr, std::string("o")).empty());
  // A missing file is an empty book.
  SCVCardContactsSource missing("/nonexistent/contacts.vcf");
  EXPECT_TRUE(missing.allContacts().empty());
}

// A book that is read only when the test lets it.
class GatedSource : public SCContactsSource {
 public:
  std::vector<SCContact> allContacts() override {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [this] { return open_; });
    return SCVCardContactsSource::parse(kCards);
  }
  void open() {
    std::lock_guard<std::mutex> lock(m_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
};

class Recorder : public SCSharingMailPickerControllerDelegate {
 public:
  void sharingMailPickerControllerDidFinish(SCSharingMailPickerController&, const std::vector<std::string>& r) override {
    results.push_back(r);
  }
  void sharingMailPickerControllerDidCancel(SCSharingMailPickerController&) override { ++cancels; }
  std::vector<std::vector<std::string>> results;
  int cancels = 0;
};

class MailPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    SCBundle::forgetForTesting();
    window_ = hb_.makeWindow();
    source_ = std::make_shared<GatedSource>();
    picker_ = std::make_shared<SCSharingMailPickerController>(&recorder_, source_);
    nav_ = std::make_shared<platform::NavigationController>(picker_);
    window_->setRootViewController(nav_);
    hb_.advance(0.5);
  }
  void TearDown() override {
    source_->open();
    pumpMainLoopUntil([&] { return picker_->addressBookData() != nullptr; }, 5.0);
    window_->setRootViewController(nullptr);
    hb_.runPass();
    platform::Bundle::setMainBundlePath(std::nullopt);
    SCBundle::forgetForTesting();
  }
  bool settled() { return picker_->pendingAutocompletions() == 0; }
  platform::Point centre(platform::View& v) { return v.convertPointTo({v.bounds().midX(), v.bounds().midY()}, nullptr); }

  platform::HeadlessBackend hb_{{320, 480}, 1.0};
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<GatedSource> source_;
  Recorder recorder_;
  std::shared_ptr<SCSharingMailPickerController> picker_;
  std::shared_ptr<platform::NavigationController> nav_;
};

TEST_F(MailPickerTest, SuggestionsFollowTypingOnceTheBookIsRead) {
  EXPECT_EQ(picker_->inputView()->frame(), (platform::Rect{0, 0, 320, 44}));
  EXPECT_TRUE(picker_->emailsField()->isFirstResponder());
  hb_.typeText("dj@example.com, smi");
  ASSERT_TRUE(pumpMainLoopUntil([&] { return settled(); }));
  EXPECT_TRUE(picker_->autocompleteData().empty());
  source_->open();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return picker_->addressBookData() && settled() && !picker_->autocompleteData().empty(); }));
  ASSERT_EQ(picker_->autocompleteData().size(), 2u);
  EXPECT_EQ(picker_->suggestionTable()->numberOfRowsInSection(0), 2);
  // Taking a suggestion replaces the partial word and leaves ", ".
  hb_.advance(0.1);
  auto* cell = picker_->suggestionTable()->cellForRowAtIndexPath({0, 0});
  ASSERT_TRUE(cell);
  EXPECT_EQ(dynamic_cast<SCNameAndEmailCell*>(cell)->nameLabel().text(), "John Smith");
  hb_.tap(centre(*cell));
  EXPECT_EQ(picker_->emailsField()->text(), "dj@example.com, " + picker_->result().back() + ", ");
  EXPECT_EQ(picker_->result().size(), 2u);
  EXPECT_TRUE(picker_->autocompleteData().empty());
  // Return is Done.
  hb_.pressReturn();
  ASSERT_EQ(recorder_.results.size(), 1u);
  EXPECT_EQ(recorder_.results[0].front(), "dj@example.com");
}

TEST_F(MailPickerTest, ResultsDropRepeatsAndCancelSaysSo) {
  picker_->setResult({"a@b.com", "c@d.org", "a@b.com"});
  EXPECT_EQ(picker_->emailsField()->text(), "a@b.com, c@d.org, a@b.com");
  EXPECT_EQ(picker_->result(), (std::vector<std::string>{"a@b.com", "c@d.org"}));
  picker_->done();
  ASSERT_EQ(recorder_.results.size(), 1u);
  EXPECT_EQ(recorder_.results[0].size(), 2u);
  picker_->cancel();
  EXPECT_EQ(recorder_.cancels, 1);
  // Before the view exists the list waits for the field.
  SCSharingMailPickerController fresh(&recorder_, source_);
  fresh.setResult({"x@y.com"});
  EXPECT_EQ(fresh.result(), (std::vector<std::string>{"x@y.com"}));
}

TEST_F(MailPickerTest, TheContactListAddsAnAddress) {
  source_->open();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return picker_->addressBookData() != nullptr && settled(); }));
  picker_->emailsField()->setText("dj@example.com, part");
  hb_.tap(centre(*picker_->addFromAddressBookButton()));
  hb_.advance(1.0);
  auto* list = dynamic_cast<platform::NavigationController*>(nav_->presentedViewController());
  ASSERT_TRUE(list);
  auto* table = dynamic_cast<platform::TableViewController*>(list->topViewController());
  ASSERT_TRUE(table);
  EXPECT_EQ(table->tableView()->numberOfRowsInSection(0), 5);
  table->didSelectRowAtIndexPath(*table->tableView(), {0, 0});  // ann Adams
  hb_.advance(1.0);
  EXPECT_EQ(picker_->emailsField()->text(), "dj@example.com, ann2@adams.org");
  EXPECT_EQ(nav_->presentedViewController(), nullptr);
}

}  // namespace
