#pragma once
// The application bundle: the read-only folder of resources that the build
// writes (images, the drum sample memory, the factory library, help pages)
// and its information dictionary, "Info.plist".
//
// The main bundle is $IGB_BUNDLE_DIR when set, otherwise the folder "bundle"
// beside the executable; tests may point it elsewhere.
//
// Thread-safe: the information dictionary is read once, under a lock.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace platform {

class Bundle {
 public:
  static Bundle& mainBundle();
  // Points the main bundle at `path` (nullopt: back to the default rule) and
  // forgets its cached information dictionary.
  static void setMainBundlePath(std::optional<std::filesystem::path> path);

  explicit Bundle(std::filesystem::path resourcePath);

  std::filesystem::path resourcePath() const;
  std::filesystem::path bundlePath() const { return resourcePath(); }

  // "<resources>/<name>.<type>" (just <name> when type is empty) when that
  // file exists; empty otherwise, and for names that would leave the bundle.
  std::optional<std::filesystem::path> pathForResource(const std::string& name, const std::string& type) const;
  std::optional<std::filesystem::path> pathForResource(const std::string& name, const std::string& type,
                                                       const std::string& directory) const;

  // The dictionary of "Info.plist"; empty when the file is missing or is not
  // a dictionary.
  Dictionary infoDictionary() const;
  // One key of it; empty when absent.
  std::optional<Value> objectForInfoDictionaryKey(const std::string& key) const;

 private:
  void reset(std::optional<std::filesystem::path> path);

  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> path_;
  mutable std::optional<Dictionary> info_;
};

}  // namespace platform
