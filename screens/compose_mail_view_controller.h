#pragma once
// A small black screen from which the user mails the pattern data file
// "gbx_pattern.dat" of the documents folder: "Send Pattern" hands a mail
// with the file attached (named after today's date), a fixed subject and a
// body naming the attachment and its size to the desktop's mail program;
// "Close" closes the screen. Both act on touch-down.
//
// Without a mail program the user is told so; without a readable pattern
// file the user is told that instead, and no mail is started.
//
// The copy handed to the mail program lives in a folder of this screen's
// own, made with mkdtemp (owner-only, a fresh name) in $XDG_RUNTIME_DIR, or
// in the user's cache folder when there is none, so no other local user can
// make or read it first. The folder goes when the screen does.
//
// Main thread only.

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/view_controller.h"
#include "screens/mail_composer.h"

class ComposeMailViewController : public platform::ViewController {
 public:
  static constexpr const char* kFileName = "gbx_pattern.dat";
  static constexpr const char* kSubject = "Z31647 pattern data";
  static constexpr const char* kNoMailMessage = "This device is not able to send mail";
  static constexpr const char* kNoFileMessage = "The pattern data file \"gbx_pattern.dat\" could not be read.";

  ComposeMailViewController();
  ~ComposeMailViewController() override;

  void viewDidLoad() override;
  // Landscape only.
  unsigned supportedInterfaceOrientations() const override { return 24; }

  void composeMail();
  void showAlert();
  void closeMailDialog();

  // "gbx_pattern_<yyyy-MM-dd>.dat" for a time (local calendar date).
  static std::string attachmentName(std::time_t when);
  static std::string bodyText(const std::string& attachmentName, uint64_t size);
  // The screen's private folder of attachment copies; empty until the
  // first mail.
  const std::filesystem::path& attachmentDirectory() const { return attachmentDir_; }
  void setClock(std::function<std::time_t()> now) { now_ = std::move(now); }
  // The last message handed to the mail program.
  const std::optional<MailMessage>& lastMessage() const { return last_; }

  platform::Button* sendButton() const { return send_.get(); }
  platform::Button* closeButton() const { return close_.get(); }

 private:
  static void alert(const std::string& message);
  // Makes the private folder on first use; false when no folder can be made.
  bool makeAttachmentDirectory();

  std::shared_ptr<platform::Button> send_;
  std::shared_ptr<platform::Button> close_;
  std::filesystem::path attachmentDir_;
  std::function<std::time_t()> now_;
  std::optional<MailMessage> last_;
};
