#include "platform/foundation/user_defaults.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

bool containsNull(const Value& v) {
  if (v.isNull()) return true;
  if (const Array* a = v.array()) {
    for (const Value& e : *a)
      if (containsNull(e)) return true;
  }
  if (const Dictionary* d = v.dictionary()) {
    for (const auto& [k, e] : *d)
      if (containsNull(e)) return true;
  }
  return false;
}

// The platform's string-to-bool rule: optional blanks, an optional sign and
// leading zeros, then Y/y/T/t or a digit 1-9 means true.
bool stringBool(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && s[i] == '0') ++i;
  if (i >= s.size()) return false;
  const char c = s[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults defaults(standardPath());
  return defaults;
}

fs::path UserDefaults::standardPath() {
  fs::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && fs::path(xdg).is_absolute()) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".config";
  } else {
    base = fs::path("/tmp");
  }
  return base / "igroovebix" / "UserDefaults.plist";
}

UserDefaults::UserDefaults(fs::path file) : file_(std::move(file)) {
  if (auto v = readPropertyList(file_); v && v->dictionary()) values_ = *v->dictionary();
}

std::optional<Value> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return false;
  if (v->isNumber()) return v->realValue() != 0.0;
  if (v->isString()) return stringBool(*v->string());
  return false;
}

int64_t UserDefaults::integerForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return 0;
  if (v->isNumber()) return v->integerValue();
  if (v->isString()) return std::strtoll(v->string()->c_str(), nullptr, 10);
  return 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return 0.0;
  if (v->isNumber()) return v->realValue();
  if (v->isString()) return std::strtod(v->string()->c_str(), nullptr);
  return 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return std::nullopt;
  if (v->isString()) return *v->string();
  if (v->isBool()) return std::string(v->boolValue() ? "1" : "0");
  if (v->isInteger()) return std::to_string(v->integerValue());
  if (v->isReal()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v->realValue());
    return std::string(buf);
  }
  return std::nullopt;
}

bool UserDefaults::setObject(const Value& value, const std::string& key) {
  if (value.isNull()) {
    removeObjectForKey(key);
    return true;
  }
  if (containsNull(value)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  values_[key] = value;
  dirty_ = true;
  writeLocked();
  return true;
}

void UserDefaults::removeObjectForKey(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (values_.erase(key) == 0) return;
  dirty_ = true;
  writeLocked();
}

bool UserDefaults::synchronize() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!dirty_) return true;
  return writeLocked();
}

bool UserDefaults::writeLocked() {
  std::error_code ec;
  fs::create_directories(file_.parent_path(), ec);
  if (!writePropertyList(file_, Value(values_))) return false;
  dirty_ = false;
  return true;
}

Dictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_;
}

}  // namespace platform
