#pragma once
// The screen on which the addresses an upload is shared with are entered:
// one field of comma-separated addresses, suggestions from the address book
// (sc_contacts_source.h) that follow the typing, and a contact-add button
// that opens a list of the book's addresses. Done hands the valid addresses
// to the delegate, Cancel says nothing was chosen; the picker never
// dismisses itself. It is pushed inside a navigation controller.
//
// The address book is read once on a worker thread when the picker is
// made; each edit filters it on a worker thread for the partial input,
// dropping the filters still pending. Results come back on the main
// thread, and only while the picker exists. The desktop has no on-screen
// keyboard, so the suggestion table keeps its frame.
//
// Main thread only, apart from the worker steps.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/table_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view_controller.h"
#include "soundcloud-sdk/ui/sc_contacts_source.h"

namespace scui {

class SCSharingMailPickerController;

class SCSharingMailPickerControllerDelegate {
 public:
  virtual ~SCSharingMailPickerControllerDelegate() = default;
  virtual void sharingMailPickerControllerDidFinish(SCSharingMailPickerController&, const std::vector<std::string>&) = 0;
  virtual void sharingMailPickerControllerDidCancel(SCSharingMailPickerController&) = 0;
};

class SCNameAndEmailCell : public platform::TableViewCell {
 public:
  static constexpr const char* kIdentifier = "NameAndEmailCell";
  SCNameAndEmailCell();
  platform::Label& nameLabel() { return *name_; }
  platform::Label& emailLabel() { return *email_; }
  platform::Label& mailTypeLabel() { return *type_; }
  void setEntry(const SCAddressEntry& e);
  void layoutSubviews() override;

 private:
  std::shared_ptr<platform::Label> name_, email_, type_;
};

// The valid addresses of a text, in order with repeats; the other tokens
// go to `unparsable` (set only when there are some).
std::vector<std::string> scArrayOfEmailsInString(const std::string& text,
                                                 std::optional<std::vector<std::string>>* unparsable);
bool scIsValidEmail(const std::string& token);
// The filter: entries whose key holds the lower-case query, sorted by name
// without regard to case; nothing for no query or no data.
std::vector<SCAddressEntry> scAutocomplete(const SCAddressBookData* data, const std::optional<std::string>& query);

class SCSharingMailPickerController : public platform::ViewController,
                                      public platform::TextFieldDelegate,
                                      public platform::TableViewDataSource,
                                      public platform::TableViewDelegate {
 public:
  explicit SCSharingMailPickerController(SCSharingMailPickerControllerDelegate* delegate,
                                         std::shared_ptr<SCContactsSource> source = scSharedContactsSource());
  ~SCSharingMailPickerController() override;

  SCSharingMailPickerControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(SCSharingMailPickerControllerDelegate* d) { delegate_ = d; }

  const std::shared_ptr<const SCAddressBookData>& addressBookData() const { return book_; }
  void setAddressBookData(std::shared_ptr<const SCAddressBookData> data);
  const std::vector<SCAddressEntry>& autocompleteData() const { return suggestions_; }
  void setAutocompleteData(std::vector<SCAddressEntry> data);
  void setResult(const std::vector<std::string>& addresses);
  std::vector<std::string> result();
  void updateResult();
  void updateAutocompletionWithInputFieldValue(const std::optional<std::string>& value);
  // Filters started and not yet delivered or dropped.
  int pendingAutocompletions() const;

  void done();
  void cancel();
  void addFromAB();
  // An address chosen from the contact list.
  void takeContactAddress(const std::string& address);

  platform::TextField* emailsField() const { return field_.get(); }
  platform::Label* inputLabel() const { return label_.get(); }
  platform::Button* addFromAddressBookButton() const { return addButton_.get(); }
  platform::View* inputView() const { return input_.get(); }
  platform::TableView* suggestionTable() const { return table_.get(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  bool shouldChangeCharacters(platform::TextField&, size_t location, size_t length, const std::string& replacement) override;
  bool textFieldShouldReturn(platform::TextField&) override;
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override;
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  double heightForRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return 44; }
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;

 private:
  void cancelAutocompletions();

  SCSharingMailPickerControllerDelegate* delegate_;
  std::shared_ptr<const SCAddressBookData> book_;
  std::vector<SCAddressEntry> suggestions_;
  std::vector<std::string> currentResult_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::vector<std::shared_ptr<std::atomic<bool>>> pending_;  // cancel flags of filters in flight
  std::shared_ptr<platform::View> input_;
  std::shared_ptr<platform::Label> label_;
  std::shared_ptr<platform::TextField> field_;
  std::shared_ptr<platform::Button> addButton_;
  std::shared_ptr<platform::TableView> table_;
};

}  // namespace scui
