#include "screens/mail_composer.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/runloop/run_loop.h"

extern char** environ;

namespace {

MailComposer* gCurrent = nullptr;

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    if (::access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace

bool MailComposer::canSendMail() const { return onPath("xdg-email"); }

bool MailComposer::compose(const MailMessage& message) {
  std::vector<std::string> args = {"xdg-email", "--utf8", "--subject", message.subject, "--body", message.body};
  for (const MailAttachment& a : message.attachments) {
    args.push_back("--attach");
    args.push_back(a.file.string());
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "xdg-email", nullptr, nullptr, argv.data(), environ) != 0) return false;
  // Reaped on a worker: the interface never waits for the mail program.
  platform::dispatchAsyncGlobal([pid] {
    int status;
    waitpid(pid, &status, 0);
  });
  return true;
}

MailComposer& MailComposer::current() {
  static MailComposer desktop;
  return gCurrent ? *gCurrent : desktop;
}

void MailComposer::setCurrent(MailComposer* composer) { gCurrent = composer; }
