#include "screens/compose_mail_view_controller.h"

#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "audio/documents.h"
#include "platform/foundation/atomic_file.h"
#include "platform/ui/alert_view.h"

ComposeMailViewController::ComposeMailViewController() : now_([] { return std::time(nullptr); }) {}

ComposeMailViewController::~ComposeMailViewController() {
  if (attachmentDir_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(attachmentDir_, ec);
}

namespace {

std::optional<std::filesystem::path> absoluteFromEnvironment(const char* name) {
  const char* v = std::getenv(name);
  if (!v || *v != '/') return std::nullopt;
  return std::filesystem::path(v);
}

// A folder of our own that nobody else can have made or opened: mkdtemp
// picks a name that did not exist and makes it 0700.
std::optional<std::filesystem::path> makePrivateFolder(const std::filesystem::path& parent) {
  std::string tmpl = (parent / "igroovebix-mail-XXXXXX").string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) return std::nullopt;
  return std::filesystem::path(name.data());
}

}  // namespace

bool ComposeMailViewController::makeAttachmentDirectory() {
  std::error_code ec;
  if (!attachmentDir_.empty() && std::filesystem::is_directory(attachmentDir_, ec)) return true;
  attachmentDir_.clear();
  // The runtime folder is the user's alone and lives in memory; the cache
  // folder is the place for files that may go at any time.
  if (std::optional<std::filesystem::path> runtime = absoluteFromEnvironment("XDG_RUNTIME_DIR")) {
    if (std::optional<std::filesystem::path> dir = makePrivateFolder(*runtime)) {
      attachmentDir_ = *dir;
      return true;
    }
  }
  std::optional<std::filesystem::path> cache = absoluteFromEnvironment("XDG_CACHE_HOME");
  if (!cache) {
    std::optional<std::filesystem::path> home = absoluteFromEnvironment("HOME");
    if (!home) return false;
    cache = *home / ".cache";
  }
  std::filesystem::create_directories(*cache, ec);
  std::optional<std::filesystem::path> dir = makePrivateFolder(*cache);
  if (!dir) return false;
  attachmentDir_ = *dir;
  return true;
}

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
  // attachment's name, left for the mail program to read while the screen
  // is open.
  if (!makeAttachmentDirectory()) {
    alert(kNoFileMessage);
    return;
  }
  const std::filesystem::path copy = attachmentDir_ / name;
  if (!platform::writeFileAtomically(copy, std::span<const uint8_t>(*data), nullptr, 0600)) {
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
