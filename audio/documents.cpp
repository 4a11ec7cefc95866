#include "audio/documents.h"

#include <cstdlib>

namespace audio {

std::filesystem::path documentsDirectory() {
  if (const char* home = std::getenv("IGROOVEBIX_HOME"); home && *home) return home;
  std::filesystem::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && xdg[0] == '/') {
    data = xdg;
  } else {
    const char* home = std::getenv("HOME");
    data = std::filesystem::path(home && *home ? home : "/") / ".local" / "share";
  }
  return data / "igroovebix" / "Documents";
}

std::filesystem::path documentsPathForFileName(const std::string& name) {
  return documentsDirectory() / name;
}

}  // namespace audio
