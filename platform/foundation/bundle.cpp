#include "platform/foundation/bundle.h"

#include <cstdlib>

#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

fs::path defaultBundlePath() {
  if (const char* env = std::getenv("IGB_BUNDLE_DIR"); env && *env) return env;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return exe.parent_path() / "bundle";
  return "bundle";
}

// A resource name is one path below the bundle: no absolute paths, no "..".
bool staysInside(const fs::path& relative) {
  if (relative.empty() || relative.is_absolute()) return false;
  for (const auto& part : relative) {
    if (part == "..") return false;
  }
  return true;
}

}  // namespace

Bundle& Bundle::mainBundle() {
  static Bundle bundle{fs::path()};
  return bundle;
}

void Bundle::setMainBundlePath(std::optional<fs::path> path) { mainBundle().reset(std::move(path)); }

Bundle::Bundle(fs::path resourcePath) {
  if (!resourcePath.empty()) path_ = std::move(resourcePath);
}

void Bundle::reset(std::optional<fs::path> path) {
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = std::move(path);
  info_.reset();
}

fs::path Bundle::resourcePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_ ? *path_ : defaultBundlePath();
}

std::optional<fs::path> Bundle::pathForResource(const std::string& name, const std::string& type) const {
  return pathForResource(name, type, {});
}

std::optional<fs::path> Bundle::pathForResource(const std::string& name, const std::string& type,
                                                const std::string& directory) const {
  if (name.empty()) return std::nullopt;
  fs::path relative = directory.empty() ? fs::path() : fs::path(directory);
  relative /= type.empty() ? name : name + "." + type;
  if (!staysInside(relative)) return std::nullopt;
  const fs::path full = resourcePath() / relative;
  std::error_code ec;
  if (!fs::exists(full, ec)) return std::nullopt;
  return full;
}

Dictionary Bundle::infoDictionary() const {
  const fs::path root = resourcePath();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!info_) {
    auto v = readPropertyList(root / "Info.plist");
    info_ = (v && v->dictionary()) ? *v->dictionary() : Dictionary{};
  }
  return *info_;
}

std::optional<Value> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
  const Dictionary info = infoDictionary();
  auto it = info.find(key);
  if (it == info.end()) return std::nullopt;
  return it->second;
}

}  // namespace platform
