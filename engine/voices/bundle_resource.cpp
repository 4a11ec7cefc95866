#include "engine/voices/bundle_resource.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string bundleDirectory(std::string_view bundleDir) {
  if (!bundleDir.empty()) return std::string(bundleDir);
  if (const char* env = std::getenv("IGB_BUNDLE_DIR"); env != nullptr && *env != '\0') return env;
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "bundle";
  return (exe.parent_path() / "bundle").string();
}

std::string bundleResourcePath(std::string_view name, std::string_view type, std::string_view bundleDir) {
  std::string path = bundleDirectory(bundleDir);
  path += '/';
  path += name;
  if (!type.empty()) {
    path += '.';
    path += type;
  }
  return path;
}
