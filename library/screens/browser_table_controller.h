#pragma once
// The pattern browser: the table screen in which the user picks a pattern
// to play (Load mode) or a place to save the pattern being edited (Save
// mode). It shows one bank category at a time (Factory, GQ-1, Template,
// User), each bank a section of up to 32 rows; on the User category it
// reorders and initializes patterns; a row's detail button opens the
// pattern-information editor; the highlighted row follows the engine's
// current pattern.
//
// How the main screen opens it (inside its navigation controller):
//   auto browser = std::make_shared<BrowserTableController>(&store);
//   browser->setTopController(host);           // the LibraryScreenHost
//   browser->setPatternNumber(synth->currentPatternIndex());
//   browser->setSelectCurrentItem(true);
//   browser->setMode(fromSaveButton ? BrowserTableController::kSave : BrowserTableController::kLoad);
//   navigationController->pushViewController(browser, true);
//
// It reaches the library only through the DataProvider (and asks
// LibraryWrites why a save was refused), the engine through the host's
// synth(), and the main screen through the host. It observes the
// engine's "patternChanged" and the store's "PatternStorePatternStored"
// between appearing and disappearing, "TableViewDidReorder" for its life.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/ti_segmented_control.h"
#include "engine/interfaces/data_provider.h"
#include "library/screens/library_screen_host.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/button.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

inline constexpr const char* kTableViewDidReorder = "TableViewDidReorder";
inline constexpr const char* kLibraryNotSavedAlertTitle = "Not Saved";

// After a save of the library failed: when library writes are refused (see
// LibraryWrites), shows an alert with the reason, and returns true.
bool showRefusedLibraryWrite();

class BrowserTableController : public platform::ViewController,
                               public platform::TableViewDataSource,
                               public platform::TableViewDelegate,
                               public platform::AlertViewDelegate {
 public:
  static constexpr int32_t kLoad = 0;
  static constexpr int32_t kSave = 1;
  static constexpr double kRowHeight = 39.0;
  static constexpr double kToolbarHeight = 44.0;

  explicit BrowserTableController(DataProvider* provider);
  ~BrowserTableController() override;

  DataProvider* provider() const { return provider_; }
  int32_t mode() const { return mode_; }
  void setMode(int32_t mode);
  LibraryScreenHost* topController() const { return top_; }
  void setTopController(LibraryScreenHost* host) { top_ = host; }
  int64_t patternNumber() const { return patternNumber_; }
  void setPatternNumber(int64_t n) { patternNumber_ = n; }
  bool reloadAttentionedItem() const { return reloadAttentioned_; }
  void setReloadAttentionedItem(bool r) { reloadAttentioned_ = r; }
  // Kept for the main screen and the editor, which set it; nothing reads it.
  bool selectCurrentItem() const { return selectCurrentItem_; }
  void setSelectCurrentItem(bool s) { selectCurrentItem_ = s; }
  int64_t bankCategory() const { return bankCategory_; }
  const std::vector<std::string>& bankNames() const { return bankNames_; }
  std::optional<platform::IndexPath> attentionedItem() const { return attentioned_; }

  platform::TableView* tableView() { return table_.get(); }
  TISegmentedControl* bankCategoryControl() const { return categoryControl_.get(); }
  // Factory, GQ-1, Template, User.
  platform::Button* categoryButton(int i) const { return categoryButtons_[static_cast<size_t>(i)].get(); }
  platform::SegmentedControl* titleControl() const { return titleControl_.get(); }
  const platform::BarButtonItemPtr& editButton() const { return editButton_; }
  // The navigation bar's tint while the browser shows (red in Save mode).
  std::optional<platform::Color> barTintColor() const { return barTint_; }

  // ---- actions
  void modeButtonPushed();
  void bankCategoryButtonPushed();
  void updateBankCategory(int32_t bank);
  void updateBankTable(int64_t category);
  void updateBarButtonItem();
  void editButtonDidPush();
  void selectRowForCurrentPattern(bool scroll, bool animated);
  void showActivityIndicatorIfNeeded(const platform::IndexPath& ip);
  void patternChanged();
  void patternStored(int64_t number);
  void tableViewDidReorder();
  // Sorts the store by 0 favourite, 1 name, 2 author, 3 tags (the store
  // must be the pattern store); no control is wired to it.
  void sortTargetChanged(int segment);

  // ---- category geometry
  static int64_t numberOfSection(int64_t category);
  static int64_t retrieveStartSection(int64_t category);
  static double isCellAvailable(int64_t category, const platform::IndexPath& ip);
  // The pattern number a row of the current category stands for.
  int64_t patternNumberAt(const platform::IndexPath& ip);

  // ---- view controller
  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  platform::Size preferredContentSize() const override;
  unsigned supportedInterfaceOrientations() const override { return 24; }

  // ---- table
  int64_t numberOfSections(platform::TableView&) override;
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override;
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override;
  bool canMoveRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override;
  void commitEditingStyle(platform::TableView&, platform::TableViewCellEditingStyle style,
                          const platform::IndexPath& ip) override;
  void moveRowAtIndexPath(platform::TableView&, const platform::IndexPath& from, const platform::IndexPath& to) override;
  platform::TableViewCellEditingStyle editingStyleForRowAtIndexPath(platform::TableView&,
                                                                   const platform::IndexPath&) override;
  std::string titleForDeleteConfirmationButtonForRowAtIndexPath(platform::TableView&,
                                                                const platform::IndexPath&) override {
    return "Initialize";
  }
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  // The row's detail button: opens the information editor.
  void accessoryButtonTappedForRowWithIndexPath(const platform::IndexPath& ip);

  // ---- the "SAVE" alert
  void didDismissWithButtonIndex(platform::AlertView& alert, int index) override;

 private:
  void addObserver();
  void removeObserver();
  void configureCell(platform::TableViewCell& cell, const platform::IndexPath& ip);
  void applyAccessories();
  void applyBarTint();
  void openInfoEditor(const platform::IndexPath& ip);
  Synth* synth() const;

  DataProvider* provider_;
  LibraryScreenHost* top_ = nullptr;
  int32_t mode_ = kLoad;
  int64_t patternNumber_ = 0;
  bool reloadAttentioned_ = false;
  bool selectCurrentItem_ = false;
  int64_t bankCategory_ = 0;
  std::vector<std::string> bankNames_;
  std::optional<platform::IndexPath> attentioned_;
  std::optional<platform::Color> barTint_;
  bool observing_ = false;

  std::shared_ptr<platform::TableView> table_;
  platform::ViewPtr toolbar_;
  std::shared_ptr<TISegmentedControl> categoryControl_;
  std::array<std::shared_ptr<platform::Button>, 4> categoryButtons_;
  std::shared_ptr<platform::SegmentedControl> titleControl_;
  platform::BarButtonItemPtr editButton_;
  std::weak_ptr<platform::AlertView> alert_;
};
