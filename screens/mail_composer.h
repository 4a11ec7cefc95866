#pragma once
// Mail on the desktop: a message with a subject, a plain-text body and
// attachments is handed to the user's mail program through xdg-email, which
// opens its compose window; the user picks the recipients and sends it
// there. There is no in-program composer.
//
// Tests put their own composer in place of the desktop's.
//
// Main thread only.

#include <filesystem>
#include <string>
#include <vector>

struct MailAttachment {
  std::filesystem::path file;  // a file whose name is the attachment's name
  std::string mimeType;
};

struct MailMessage {
  std::string subject;
  std::string body;
  std::vector<MailAttachment> attachments;
};

class MailComposer {
 public:
  virtual ~MailComposer() = default;
  // xdg-email is on the PATH.
  virtual bool canSendMail() const;
  // Starts the mail program with the message; false when it did not start.
  virtual bool compose(const MailMessage& message);

  // The desktop's composer unless another was set (nullptr: back to it).
  static MailComposer& current();
  static void setCurrent(MailComposer* composer);
};
