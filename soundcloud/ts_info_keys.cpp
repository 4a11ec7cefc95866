#include "soundcloud/ts_info_keys.h"

#include <map>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "soundcloud/ts_json.h"

namespace tssc {
namespace {

std::mutex& keysMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, std::string>& kept() {
  static std::map<std::string, std::string> k;
  return k;
}

}  // namespace

std::optional<std::string> tsInfoKey(const char* key) {
  std::lock_guard<std::mutex> lock(keysMutex());
  auto it = kept().find(key);
  if (it != kept().end()) return it->second;
  std::optional<platform::Value> v = platform::Bundle::mainBundle().objectForInfoDictionaryKey(key);
  if (!v) return std::nullopt;
  // The application id may be written as a number.
  const std::string text = tsDescription(*v);
  if (text.empty()) return std::nullopt;
  kept()[key] = text;
  return text;
}

std::string tsMissingInfoKeyMessage(const char* key) {
  return std::string(key) + " is not assigned. Please define it at Info.plist";
}

void tsForgetInfoKeys() {
  std::lock_guard<std::mutex> lock(keysMutex());
  kept().clear();
}

}  // namespace tssc
