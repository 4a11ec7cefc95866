#include "screens/compose_mail_view_controller.h"

#include <span>
#include <vector>

#include "audio/documents.h"
#include "platform/foundation/atomic_file.h"
#include "platform/ui/alert_view.h"

ComposeMailViewController::ComposeMailViewController() : now_([] { return std::time(nullptr); }) {}

void ComposeMailViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  view()->setBackgroundColor(platform::Color::black());
  const double h = view()->frame().size.height;
  send_ = std::make_shared<platform::Button>(platform::Button::Type::System, platform::Rect{10, 10, 120, 50});
  send_->setTitle("Send Pattern", platform::ControlState::Normal);
  send_->addTarget(this, "composeMail", [this](platform::Control&) { composeMail(); }, platform::ControlEvents::TouchDown);
  view()->addSubview(send_);
  close_ = std::make_shared<platform::Button>(platform::Button::Type::System, platform::Rect{h - 130, 10, 120, 50});
  close_->setTitle("Close", platform::ControlState::Normal);
  close_->addTarget(this, "closeMailDialog", [this](platform::Control&) { closeMailDialog(); },
                    platform::ControlEvents::TouchDown);
  view()->addSubview(close_);
}

// The calendar year ("yyyy"): a week-based year would name the file with the
// wrong year around New Year.
std::string ComposeMailViewController::attachmentName(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  return std::string("gbx_pattern_") + date + ".dat";
}

std::string ComposeMailViewController::bodyText(const std::string& name, uint64_t size) {
  return "Z31647 pattern data file is attached.\n" + name + " (size: " + std::to_string(size) + " bytes)\n";
}

void ComposeMailViewController::alert(const std::string& message) {
  auto a = std::make_shared<platform::AlertView>("", message, nullptr, std::string("Close"), std::vector<std::string>{});
  a->show();
}

void ComposeMailViewController::showAlert() { alert(kNoMailMessage); }

void ComposeMailViewController::composeMail() {
  MailComposer& composer = MailComposer::current();
  if (!composer.canSendMail()) {
    showAlert();
    return;
  }
  const std::filesystem::path source = audio::documentsDirectory() / kFileName;
  std::error_code ec;
  const std::optional<std::vector<uint8_t>> data =
      std::filesystem::is_regular_file(source, ec) ? platform::readFile(source) : std::nullopt;
  if (!data) {
    alert(kNoFileMessage);
    return;
  }
  const std::string name = attachmentName(now_());
  // The mail program attaches a file by its name: a copy under the
  // attachment's name, left for the mail program to read when it likes.
  std::filesystem::path dir = attachmentDir_;
  if (dir.empty()) dir = std::filesystem::temp_directory_path() / "igroovebix-mail";
  std::filesystem::create_directories(dir, ec);
  const std::filesystem::path copy = dir / name;
  if (!platform::writeFileAtomically(copy, std::span<const uint8_t>(*data))) {
    alert(kNoFileMessage);
    return;
  }
  MailMessage m;
  m.subject = kSubject;
  m.body = bodyText(name, data->size());
  m.attachments.push_back({copy, "application/octet-stream"});
  last_ = m;
  if (!composer.compose(m)) showAlert();
}

void ComposeMailViewController::closeMailDialog() { dismissViewControllerAnimated(true, {}); }
