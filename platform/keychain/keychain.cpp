#include "platform/keychain/keychain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"

namespace platform {
namespace {

constexpr int64_t kFormatVersion = 1;

std::mutex& writeMutex() {
  static std::mutex m;
  return m;
}

std::optional<std::filesystem::path> env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::filesystem::path(v);
}

// The directory exists, is a directory and is ours alone.
bool ensureDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  if (!std::filesystem::exists(dir, ec)) {
    std::filesystem::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if ((st.st_mode & 0077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return false;
  return true;
}

Value itemValue(const KeychainItem& item) {
  return Value(Dictionary{{"service", Value(item.service)},
                          {"account", Value(item.account)},
                          {"label", Value(item.label)},
                          {"generic", Value(item.generic)},
                          {"secret", Value(item.secret)}});
}

std::optional<KeychainItem> itemFrom(const Value& v, const std::string& service) {
  const Value* account = v.find("account");
  const Value* label = v.find("label");
  const Value* generic = v.find("generic");
  const Value* secret = v.find("secret");
  if (!account || !account->isString() || !label || !label->isString() || !generic || !generic->isData() || !secret ||
      !secret->isData())
    return std::nullopt;
  return KeychainItem{service, *account->string(), *label->string(), *generic->data(), *secret->data()};
}

}  // namespace

const char* keychainStatusText(KeychainStatus status) {
  switch (status) {
    case KeychainStatus::Success: return "success";
    case KeychainStatus::ItemNotFound: return "item not found";
    case KeychainStatus::DuplicateItem: return "duplicate item";
    case KeychainStatus::InvalidParameter: return "invalid parameter";
    case KeychainStatus::IOError: return "input/output error";
    case KeychainStatus::Corrupt: return "corrupt keychain file";
  }
  return "unknown";
}

std::filesystem::path Keychain::defaultDirectory() {
  if (auto dir = env("IGROOVEBIX_KEYCHAIN_HOME")) return *dir;
  if (auto home = env("IGROOVEBIX_HOME")) return *home / ".keychain";
  if (auto xdg = env("XDG_DATA_HOME"); xdg && xdg->is_absolute()) return *xdg / "igroovebix" / "keychain";
  const std::filesystem::path home = env("HOME").value_or("/");
  return home / ".local" / "share" / "igroovebix" / "keychain";
}

Keychain Keychain::defaultKeychain() { return Keychain(defaultDirectory()); }

std::filesystem::path Keychain::fileForService(const std::string& service) const {
  static const char* hex = "0123456789ABCDEF";
  std::string name;
  for (size_t i = 0; i < service.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(service[i]);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == ':' || (c == '.' && i > 0);
    if (plain) {
      name.push_back(static_cast<char>(c));
    } else {
      name.push_back('%');
      name.push_back(hex[c >> 4]);
      name.push_back(hex[c & 15]);
    }
  }
  return directory_ / (name + ".keychain");
}

KeychainStatus Keychain::copyItems(const std::string& service, std::vector<KeychainItem>* items) const {
  items->clear();
  if (service.empty()) return KeychainStatus::InvalidParameter;
  const std::filesystem::path file = fileForService(service);
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return ec ? KeychainStatus::IOError : KeychainStatus::ItemNotFound;
  std::optional<std::vector<uint8_t>> bytes = readFile(file);
  if (!bytes) return KeychainStatus::IOError;
  std::optional<Value> root = propertyListFromBytes(*bytes);
  if (!root) return KeychainStatus::Corrupt;
  const Value* version = root->find("version");
  const Value* list = root->find("items");
  const Value* stored = root->find("service");
  if (!version || version->integerValue(-1) != kFormatVersion || !list || !list->isArray() || !stored ||
      stored->stringValue() != service)
    return KeychainStatus::Corrupt;
  for (const Value& v : *list->array()) {
    std::optional<KeychainItem> item = itemFrom(v, service);
    if (!item) {
      items->clear();
      return KeychainStatus::Corrupt;
    }
    items->push_back(std::move(*item));
  }
  return items->empty() ? KeychainStatus::ItemNotFound : KeychainStatus::Success;
}

std::optional<KeychainItem> Keychain::copyItem(const std::string& service, std::optional<std::string> account,
                                               KeychainStatus* status) const {
  std::vector<KeychainItem> items;
  KeychainStatus s = copyItems(service, &items);
  std::optional<KeychainItem> found;
  if (s == KeychainStatus::Success) {
    for (KeychainItem& item : items) {
      if (!account || item.account == *account) {
        found = std::move(item);
        break;
      }
    }
    if (!found) s = KeychainStatus::ItemNotFound;
  }
  if (status) *status = s;
  return found;
}

KeychainStatus Keychain::write(const std::string& service, const std::vector<KeychainItem>& items) {
  const std::filesystem::path file = fileForService(service);
  if (items.empty()) {
    std::error_code ec;
    if (!std::filesystem::remove(file, ec)) return ec ? KeychainStatus::IOError : KeychainStatus::ItemNotFound;
    return KeychainStatus::Success;
  }
  if (!ensureDirectory(directory_)) return KeychainStatus::IOError;
  Array list;
  for (const KeychainItem& item : items) list.push_back(itemValue(item));
  const Value root(Dictionary{{"version", Value(kFormatVersion)}, {"service", Value(service)}, {"items", Value(list)}});
  std::optional<std::vector<uint8_t>> bytes = propertyListToBinary(root);
  if (!bytes) return KeychainStatus::IOError;
  // Owner-only from the temporary file's first byte, whatever the umask.
  if (!writeFileAtomically(file, *bytes, nullptr, 0600)) return KeychainStatus::IOError;
  return KeychainStatus::Success;
}

KeychainStatus Keychain::addItem(const KeychainItem& item) {
  if (item.service.empty()) return KeychainStatus::InvalidParameter;
  std::lock_guard<std::mutex> lock(writeMutex());
  std::vector<KeychainItem> items;
  const KeychainStatus s = copyItems(item.service, &items);
  if (s != KeychainStatus::Success && s != KeychainStatus::ItemNotFound) return s;
  for (const KeychainItem& existing : items)
    if (existing.account == item.account) return KeychainStatus::DuplicateItem;
  items.push_back(item);
  return write(item.service, items);
}

KeychainStatus Keychain::replaceItems(const std::string& service, const std::vector<KeychainItem>& items) {
  if (service.empty()) return KeychainStatus::InvalidParameter;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].service != service) return KeychainStatus::InvalidParameter;
    for (size_t j = 0; j < i; ++j)
      if (items[j].account == items[i].account) return KeychainStatus::DuplicateItem;
  }
  std::lock_guard<std::mutex> lock(writeMutex());
  const KeychainStatus s = write(service, items);
  return items.empty() && s == KeychainStatus::ItemNotFound ? KeychainStatus::Success : s;
}

KeychainStatus Keychain::deleteItems(const std::string& service) {
  if (service.empty()) return KeychainStatus::InvalidParameter;
  std::lock_guard<std::mutex> lock(writeMutex());
  return write(service, {});
}

}  // namespace platform
