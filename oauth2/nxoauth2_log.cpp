#include "oauth2/nxoauth2_log.h"

#include <cstdio>
#include <mutex>

namespace nxoauth2 {
namespace {
std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}
NXOAuth2LogSink& sink() {
  static NXOAuth2LogSink s;
  return s;
}
}  // namespace

NXOAuth2LogSink setNXOAuth2LogSink(NXOAuth2LogSink s) {
  std::lock_guard<std::mutex> lock(sinkMutex());
  NXOAuth2LogSink old = std::move(sink());
  sink() = std::move(s);
  return old;
}

void nxoauth2Log(const std::string& line) {
  NXOAuth2LogSink s;
  {
    std::lock_guard<std::mutex> lock(sinkMutex());
    s = sink();
  }
  if (s)
    s(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::string redactedSecret(const std::string& secret) { return "<redacted, " + std::to_string(secret.size()) + " characters>"; }

}  // namespace nxoauth2
