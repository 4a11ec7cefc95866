#pragma once
// The address book the sharing mail picker completes from. The desktop has
// no system address book: the source is injectable, and the standard one
// reads a vCard file (version 3 or 4: FN, else N, for the name; every EMAIL
// with its TYPE) from $IGB_CONTACTS_VCF, else
// "$XDG_DATA_HOME/igroovebix/contacts.vcf" (~/.local/share/... without
// XDG_DATA_HOME). A missing or unreadable file is an empty address book.
//
// Sources are read on a worker thread; an implementation must allow that.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace scui {

struct SCContactEmail {
  std::string address;
  // The vCard TYPE ("home", "work", ...); empty when the address has none.
  std::optional<std::string> label;
};

struct SCContact {
  std::optional<std::string> compositeName;
  std::vector<SCContactEmail> emails;
};

class SCContactsSource {
 public:
  virtual ~SCContactsSource() = default;
  virtual std::vector<SCContact> allContacts() = 0;
};

class SCVCardContactsSource : public SCContactsSource {
 public:
  explicit SCVCardContactsSource(std::filesystem::path file);
  static std::filesystem::path standardPath();
  std::vector<SCContact> allContacts() override;
  static std::vector<SCContact> parse(const std::string& text);

 private:
  std::filesystem::path file_;
};

// The source new pickers read (the vCard file unless set).
std::shared_ptr<SCContactsSource> scSharedContactsSource();
void scSetSharedContactsSource(std::shared_ptr<SCContactsSource> source);

// One address of the book: "name", "email" and (when the label has a text)
// "mailType".
struct SCAddressEntry {
  std::string name;
  std::string email;
  std::optional<std::string> mailType;
  bool operator==(const SCAddressEntry&) const = default;
};
// Search key (lower-case "name address") to entry.
using SCAddressBookData = std::map<std::string, SCAddressEntry>;

// The label's text: the known vCard types; "email" for an address without
// one; nothing for an unknown type.
std::optional<std::string> scLocalizedMailType(const std::optional<std::string>& label);
SCAddressBookData scAddressBookData(const std::vector<SCContact>& contacts);

}  // namespace scui
