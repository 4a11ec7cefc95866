#pragma once
// User defaults: the small key/value store of the user's preferences, kept as
// an XML property list in $XDG_CONFIG_HOME/igroovebix/ (default
// ~/.config/igroovebix/), file "UserDefaults.plist".
//
// Every change is written through at once (atomically, see atomic_file.h), so
// no caller needs to synchronize for a change to survive the process; a write
// that fails keeps the change in memory, is retried by the next change or by
// synchronize(), and synchronize() reports it. A missing or damaged file
// reads as empty defaults.
//
// Typed reads follow the platform's conversions: numbers and the strings
// "YES"/"true"/non-zero digits read as true; numeric strings read as numbers;
// anything else as false / 0 / empty.
//
// Thread-safe (one mutex per instance). Not real-time-safe: file I/O.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace platform {

class UserDefaults {
 public:
  // The process's defaults at standardPath(), created on first use.
  static UserDefaults& standardUserDefaults();
  // $XDG_CONFIG_HOME/igroovebix/UserDefaults.plist, with $HOME/.config when
  // XDG_CONFIG_HOME is unset or not absolute.
  static std::filesystem::path standardPath();

  // Defaults kept in `file` (read now if it exists).
  explicit UserDefaults(std::filesystem::path file);

  // The stored object, or nothing when the key is absent (a presence test).
  std::optional<Value> objectForKey(const std::string& key) const;
  bool boolForKey(const std::string& key) const;
  int64_t integerForKey(const std::string& key) const;
  double doubleForKey(const std::string& key) const;
  // Strings as they are, numbers in their decimal form; empty otherwise.
  std::optional<std::string> stringForKey(const std::string& key) const;

  // Stores `value` (a null value removes the key). Values must have a
  // property-list form; one with a null inside is refused (returns false).
  bool setObject(const Value& value, const std::string& key);
  bool setBool(bool value, const std::string& key) { return setObject(Value(value), key); }
  bool setInteger(int64_t value, const std::string& key) { return setObject(Value(value), key); }
  bool setDouble(double value, const std::string& key) { return setObject(Value(value), key); }
  bool setString(const std::string& value, const std::string& key) { return setObject(Value(value), key); }
  void removeObjectForKey(const std::string& key);

  // Writes any change a failed write left behind; true when the file holds
  // every change.
  bool synchronize();

  Dictionary dictionaryRepresentation() const;
  const std::filesystem::path& path() const { return file_; }

 private:
  bool writeLocked();

  std::filesystem::path file_;
  mutable std::mutex mutex_;
  Dictionary values_;
  bool dirty_ = false;
};

}  // namespace platform
