#pragma once
// The local backup screens: backups kept in the documents folder, which the
// user copies to and from a computer.
//
// RestoreDataScreenController lists them under "Backups", creates one
// ("Create Backup": the application's state is saved first, then the
// library is archived as "iGROOVEBIX_<date>_DATA.gbd") and reloads the
// factory presets ("Load Factory Presets", after a confirmation; backups
// are not touched). A row opens RestoredDataDetailViewController for that
// file: rename it, restore the library from it or delete it.
//
// How the main screen opens it (a popover suits its preferred size):
//   auto screen = std::make_shared<RestoreDataScreenController>();
//   screen->setParentController(host);   // the LibraryScreenHost
//   auto nav = std::make_shared<platform::NavigationController>(screen);
//   nav->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
//   ... present nav anchored on the button.
//
// A restore replaces the library only once the whole archive has been
// unpacked and checked (the three library items, nothing else); any
// failure leaves the library as it was. After a restore or a factory reset
// the main screen leaves its function mode and reloads.
//
// Everything runs on the main thread; a long backup or restore blocks the
// interface until it ends.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/backup/file_in_documents.h"
#include "library/screens/library_screen_host.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/table_view.h"
#include "platform/ui/text_field.h"

inline constexpr const char* kLocalBackupExtension = "gbd";

class RestoreDataScreenController : public platform::TableViewController,
                                    public platform::AlertViewDelegate,
                                    public FileInDocumentsObserver {
 public:
  static constexpr const char* kCellIdentifier = "RestoreDataScreenControllerCell";

  RestoreDataScreenController();
  ~RestoreDataScreenController() override;

  // Made on first use with the extension "gbd"; the screen observes it.
  const std::shared_ptr<FileInDocumentsManagedContext>& datasource();
  LibraryScreenHost* parentController() const { return parent_; }
  void setParentController(LibraryScreenHost* host) { parent_ = host; }

  // Writes a new backup of the library; the path, or nothing when it failed.
  std::optional<std::filesystem::path> backupData();
  // Asks, then reloads the factory presets.
  void initializeData();
  bool shouldBackup(const std::string& relativePath) const;
  std::string footerText() const;

  platform::Size preferredContentSize() const override;
  unsigned supportedInterfaceOrientations() const override { return 30; }
  void viewWillAppear(bool animated) override;

  int64_t numberOfSections(platform::TableView&) override { return 3; }
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override;
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override;
  bool canEditRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return false; }
  platform::ViewPtr viewForFooterInSection(platform::TableView&, int64_t section) override;
  double heightForFooterInSection(platform::TableView&, int64_t section) override;
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;

  void clickedButtonAtIndex(platform::AlertView& alert, int index) override;

  void fileInDocumentsFileWasUpdated(const platform::Notification& notification) override;
  void fileInDocumentsFileWasRemoved(const platform::Notification& notification) override;

 private:
  std::shared_ptr<FileInDocumentsManagedContext> datasource_;
  LibraryScreenHost* parent_ = nullptr;
  std::weak_ptr<platform::AlertView> alert_;
};

class RestoredDataDetailViewController : public platform::TableViewController,
                                         public platform::TextFieldDelegate,
                                         public platform::AlertViewDelegate {
 public:
  static constexpr const char* kCellIdentifier = "RestoredDataDetailViewControllerCell";

  RestoredDataDetailViewController(int64_t dataIndex, std::shared_ptr<FileInDocumentsManagedContext> datasource);
  ~RestoredDataDetailViewController() override;

  // The row of the file in the lister now (it is followed by its path, so
  // a re-sorted list does not make the screen act on another file); -1
  // when it has gone.
  int64_t dataIndex() const;
  const std::filesystem::path& fileURL() const { return url_; }
  LibraryScreenHost* parentController() const { return parent_; }
  void setParentController(LibraryScreenHost* host) { parent_ = host; }
  platform::TextField* nameField() const { return nameField_.get(); }

  // The archive replaces the library; false (with its alert) when it did not.
  bool restoreData();

  platform::Size preferredContentSize() const override { return {320, 302}; }
  unsigned supportedInterfaceOrientations() const override { return 30; }
  void viewWillAppear(bool animated) override;

  int64_t numberOfSections(platform::TableView&) override { return 3; }
  int64_t numberOfRowsInSection(platform::TableView&, int64_t) override { return 1; }
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override;
  bool canEditRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return false; }
  std::optional<platform::IndexPath> willSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;

  void clickedButtonAtIndex(platform::AlertView& alert, int index) override;

  bool textFieldShouldReturn(platform::TextField& field) override;
  void textFieldDidEndEditing(platform::TextField& field) override;

 private:
  std::shared_ptr<FileInDocumentsManagedContext> datasource_;
  std::filesystem::path url_;
  LibraryScreenHost* parent_ = nullptr;
  std::shared_ptr<platform::TextField> nameField_;
  std::weak_ptr<platform::AlertView> alert_;
};

// A one-button "OK" alert with no delegate.
void showLibraryAlert(const std::string& title, const std::string& message);
