#include "soundcloud/ts_soundcloud_path.h"

#include <cstdlib>
#include <system_error>

namespace tssc {

std::optional<std::filesystem::path> TSSoundCloudPath::applicationDocumentsDirectory() {
  if (const char* home = std::getenv("IGROOVEBIX_HOME"); home && *home) return std::filesystem::path(home);
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
    return std::filesystem::path(data) / "igroovebix" / "Documents";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".local" / "share" / "igroovebix" / "Documents";
  return std::nullopt;
}

std::optional<std::filesystem::path> TSSoundCloudPath::applicationMiscItemsDirectory() {
  std::optional<std::filesystem::path> docs = applicationDocumentsDirectory();
  if (!docs) return std::nullopt;
  std::filesystem::path misc = *docs / ".misc";
  std::error_code ec;
  std::filesystem::create_directories(misc, ec);
  return misc;
}

std::optional<std::filesystem::path> TSSoundCloudPath::activitiesFile() {
  std::optional<std::filesystem::path> dir = myActivityDirectory();
  if (!dir) return std::nullopt;
  return *dir / kActivitiesFileName;
}

}  // namespace tssc
