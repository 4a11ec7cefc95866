#include "library/backup/backup_log.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex& logMutex() {
  static std::mutex m;
  return m;
}
std::function<void(const std::string&)>& logHandler() {
  static std::function<void(const std::string&)> h;
  return h;
}
}  // namespace

void backupLog(const std::string& message) {
  std::lock_guard<std::mutex> lock(logMutex());
  if (logHandler()) {
    logHandler()(message);
    return;
  }
  std::fprintf(stderr, "iGROOVEBIX backup: %s\n", message.c_str());
}

void setBackupLogHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> lock(logMutex());
  logHandler() = std::move(handler);
}
