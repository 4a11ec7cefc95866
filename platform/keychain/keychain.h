#pragma once
// Generic-password items, the platform keychain's kind for application
// secrets: the OAuth2 token and account store keep theirs here.
//
// Each service is one file in the keychain directory (0700), holding that
// service's items as a binary property list; the file is 0600 and every
// change replaces it atomically (temporary file, flush, rename; see
// platform/foundation/atomic_file.h), so a failed write leaves the old
// items and is reported. The secret of an item is its data; its generic
// attribute is ordinary, non-secret metadata. Whatever holds a credential
// belongs in the data.
//
// The directory is $IGROOVEBIX_KEYCHAIN_HOME when set; else
// "$IGROOVEBIX_HOME/.keychain" when $IGROOVEBIX_HOME is set (tests that
// point the documents area at a temporary folder keep their secrets there
// too); else $XDG_DATA_HOME/igroovebix/keychain (with ~/.local/share for an
// unset or relative $XDG_DATA_HOME).
//
// Thread-safe: changes are serialized within the process; across
// processes the last writer wins and readers never see a half-written file.
// Not real-time-safe (file I/O).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace platform {

struct KeychainItem {
  std::string service;
  std::string account;
  std::string label;
  Data generic;  // the generic attribute: not secret
  Data secret;   // the item's data: the secret

  bool operator==(const KeychainItem&) const = default;
};

enum class KeychainStatus {
  Success,
  ItemNotFound,
  DuplicateItem,
  InvalidParameter,  // an empty service name
  IOError,           // the file or directory could not be read or written
  Corrupt,           // the service's file is not a keychain file
};

const char* keychainStatusText(KeychainStatus status);

class Keychain {
 public:
  // The keychain at the directory the rule above names, now.
  static Keychain defaultKeychain();
  static std::filesystem::path defaultDirectory();

  explicit Keychain(std::filesystem::path directory) : directory_(std::move(directory)) {}
  const std::filesystem::path& directory() const { return directory_; }
  // The file of a service: its name with every byte outside letters, digits,
  // ".", "-", "_" and ":" (and a leading ".") percent-encoded, plus ".keychain".
  std::filesystem::path fileForService(const std::string& service) const;

  // Every item of the service, in the order they were added.
  KeychainStatus copyItems(const std::string& service, std::vector<KeychainItem>* items) const;
  // The item of that service and account (the first of the service when
  // no account is given); nullopt when there is none or it cannot be read
  // (`status` says which).
  std::optional<KeychainItem> copyItem(const std::string& service, std::optional<std::string> account = std::nullopt,
                                       KeychainStatus* status = nullptr) const;
  // DuplicateItem when the service already has an item for that account.
  KeychainStatus addItem(const KeychainItem& item);
  // Makes `items` (all of `service`, one per account) the service's whole
  // content in one atomic step; an empty list deletes the file.
  KeychainStatus replaceItems(const std::string& service, const std::vector<KeychainItem>& items);
  // ItemNotFound when the service has no items.
  KeychainStatus deleteItems(const std::string& service);

 private:
  KeychainStatus write(const std::string& service, const std::vector<KeychainItem>& items);
  std::filesystem::path directory_;
};

}  // namespace platform
