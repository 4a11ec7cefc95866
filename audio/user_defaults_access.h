#pragma once
// The few user-defaults operations the audio output needs, as a seam: the
// program uses the standard user defaults, tests a dictionary of their own.

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/user_defaults.h"
#include "platform/foundation/value.h"

class UserDefaultsAccess {
 public:
  virtual ~UserDefaultsAccess() = default;
  // The stored object, or nothing when the key is absent.
  virtual std::optional<platform::Value> objectForKey(const std::string& key) = 0;
  virtual void setObject(const platform::Value& value, const std::string& key) = 0;
  virtual bool synchronize() = 0;
};

// The platform's user defaults (the program passes the standard ones).
class PlatformUserDefaultsAccess final : public UserDefaultsAccess {
 public:
  explicit PlatformUserDefaultsAccess(platform::UserDefaults& defaults) : defaults_(defaults) {}
  std::optional<platform::Value> objectForKey(const std::string& key) override { return defaults_.objectForKey(key); }
  void setObject(const platform::Value& value, const std::string& key) override { defaults_.setObject(value, key); }
  bool synchronize() override { return defaults_.synchronize(); }

 private:
  platform::UserDefaults& defaults_;
};

// Defaults that live only as long as the process; thread-safe.
class MemoryUserDefaults final : public UserDefaultsAccess {
 public:
  std::optional<platform::Value> objectForKey(const std::string& key) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void setObject(const platform::Value& value, const std::string& key) override {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[key] = value;
    ++writes_;
  }
  bool synchronize() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++synchronizations_;
    return true;
  }
  int writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
  }
  int synchronizations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return synchronizations_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, platform::Value> values_;
  int writes_ = 0;
  int synchronizations_ = 0;
};
