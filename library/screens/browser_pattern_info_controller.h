#pragma once
// The "Pattern Info" screen: the name, author and tags of one pattern, each
// in a text field. In Load mode it edits a stored user pattern (factory,
// GQ-1 and template patterns are shown but not editable) and writes the
// changes when the screen goes away; in Save mode it names the pattern
// being saved at `patternNumber` (the browser's "Save As"): "Save" stores
// the engine's record there and then the edited texts, "Cancel" stores
// nothing.
//
// Texts are kept to ASCII: accents are dropped from their letters and
// other characters removed, and every field keeps its terminating zero
// byte (name and author 15 characters, tags 255).
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/interfaces/data_provider.h"
#include "library/screens/library_screen_host.h"
#include "platform/ui/label.h"
#include "platform/ui/table_view.h"
#include "platform/ui/text_field.h"

class BrowserPatternInfoCell : public platform::TableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "Cell";
  BrowserPatternInfoCell();

  platform::Label& titleLabel() { return *title_; }
  platform::TextField& textField() { return *field_; }
  void layoutSubviews() override;

 private:
  std::shared_ptr<platform::Label> title_;
  std::shared_ptr<platform::TextField> field_;
};

class BrowserPatternInfoController : public platform::TableViewController, public platform::TextFieldDelegate {
 public:
  static constexpr int32_t kLoad = 0;
  static constexpr int32_t kSave = 1;
  // The last pattern number that is not a user pattern.
  static constexpr int64_t kLastFixedPattern = 287;

  BrowserPatternInfoController();

  LibraryScreenHost* topController() const { return top_; }
  void setTopController(LibraryScreenHost* host) { top_ = host; }
  int64_t patternNumber() const { return patternNumber_; }
  void setPatternNumber(int64_t n) { patternNumber_ = n; }
  DataProvider* provider() const { return provider_; }
  void setProvider(DataProvider* p) { provider_ = p; }
  int32_t mode() const { return mode_; }
  void setMode(int32_t m) { mode_ = m; }
  const PatternRecord& params() const { return params_; }
  const std::array<std::string, 3>& keys() const { return keys_; }

  // The cell of row 0-2 while it is on screen.
  BrowserPatternInfoCell* cellAt(int row);

  // Canonical decomposition, then everything outside 0-126 removed.
  static std::string translateAsciiString(const std::string& utf8);
  // Writes changed texts through storeTagInfo; true when something changed.
  bool writeTagInformation();
  void saveButtonDidPush();
  void cancelButtonDidPush();

  // ---- view controller
  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  platform::Size preferredContentSize() const override;
  unsigned supportedInterfaceOrientations() const override { return 24; }

  // ---- table
  int64_t numberOfRowsInSection(platform::TableView&, int64_t) override { return 3; }
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;

  // ---- text fields
  bool shouldChangeCharacters(platform::TextField& field, size_t location, size_t length,
                              const std::string& replacement) override;
  bool textFieldShouldReturn(platform::TextField& field) override;
  void textFieldDidEndEditing(platform::TextField& field) override;

 private:
  LibraryScreenHost* top_ = nullptr;
  int64_t patternNumber_ = 0;
  DataProvider* provider_ = nullptr;
  int32_t mode_ = kLoad;
  PatternRecord params_ = PatternRecord::zeroed();
  std::array<std::string, 3> keys_;
};
