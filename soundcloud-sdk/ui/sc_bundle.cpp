#include "soundcloud-sdk/ui/sc_bundle.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

#include "platform/foundation/bundle.h"
#include "platform/foundation/property_list.h"

namespace scui {
namespace {

struct State {
  std::mutex mutex;
  std::optional<std::filesystem::path> path;
  std::optional<std::map<std::string, std::string>> strings;
  std::map<std::string, platform::ImagePtr> images;
};

State& state() {
  static State s;
  return s;
}

const std::filesystem::path& locate(State& s) {
  if (!s.path) {
    auto p = platform::Bundle::mainBundle().pathForResource("SoundCloud", "bundle");
    if (!p || !std::filesystem::is_directory(*p)) {
      std::fputs("Please move the SoundCloud.bundle into the Resource Directory of your Application!\n", stderr);
      std::abort();
    }
    s.path = *p;
  }
  return *s.path;
}

}  // namespace

const std::filesystem::path& SCBundle::bundle() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return locate(s);
}

platform::ImagePtr SCBundle::imageWithName(const std::string& name) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (name.empty() || name.find('/') != std::string::npos) return nullptr;
  auto it = s.images.find(name);
  if (it != s.images.end()) return it->second;
  auto image = platform::Image::fromPNG(locate(s) / (name + ".png"), platform::kBundleImageScale);
  if (image) s.images.emplace(name, image);
  return image;
}

std::string SCBundle::localizedString(const std::string& key) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.strings) {
    s.strings.emplace();
    if (auto v = platform::readPropertyList(locate(s) / "Localizable.strings"); v && v->dictionary())
      for (const auto& [k, text] : *v->dictionary())
        if (text.isString()) (*s.strings)[k] = text.stringValue();
  }
  auto it = s.strings->find(key);
  return it == s.strings->end() ? key : it->second;
}

void SCBundle::forgetForTesting() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.path.reset();
  s.strings.reset();
  s.images.clear();
}

}  // namespace scui
