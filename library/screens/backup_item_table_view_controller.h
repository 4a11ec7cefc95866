#pragma once
// The cloud backup screens.
//
// BackupItemTableViewController is the list "Backups on iCloud" with the
// "Create Backup" button: a backup is written in the documents folder and
// moved into the container's "Documents" folder; the manager's next update
// lists it. A row opens RestoreItemViewController for that backup: its
// name (editable; the backup extension is kept), "Restore" and "Delete".
// Long operations show a toast.
//
// How the main screen opens it (a popover with a hidden bar):
//   auto list = std::make_shared<BackupItemTableViewController>();
//   list->setPreferredContentSize({320, 400});
//   list->setRestorer(iGROOVEBIXBackupRestorer::sharedInstance());
//   list->setCreator(iGROOVEBIXBackupCreator::sharedInstance());
//   list->setItemTextColor(platform::Color::white(0.3, 1.0));
//   auto nav = std::make_shared<platform::NavigationController>(list);
//   nav->setNavigationBarHidden(true, false);
//   nav->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
//   ... present nav anchored on the sender's bounds.
//
// A restore runs on a global queue and reports back on the main queue; on
// success "RestoreItemViewControllerDidRestored" is posted (object: the
// restore screen, a RestoreItemViewController*), which the application
// delegate observes to reload the library. The restore screen follows its
// backup by path, so a list that re-sorts or grows meanwhile (a backup
// arriving from another device) never makes it act on another backup.
//
// Main thread, except the restore itself.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "controls/toast_view.h"
#include "library/backup/backup_creator.h"
#include "library/backup/icloud_manager.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/table_view.h"
#include "platform/ui/text_field.h"

inline constexpr const char* kRestoreItemViewControllerDidRestored = "RestoreItemViewControllerDidRestored";

class BackupItemTableViewController : public platform::TableViewController {
 public:
  static constexpr const char* kCellIdentifier = "BackupItemCell";

  // The manager singleton unless one is given (tests give their own).
  explicit BackupItemTableViewController(std::shared_ptr<ICloudManager> manager = nullptr);
  ~BackupItemTableViewController() override;

  const std::shared_ptr<BackupRestorer>& restorer() const { return restorer_; }
  void setRestorer(std::shared_ptr<BackupRestorer> r) { restorer_ = std::move(r); }
  const std::shared_ptr<BackupCreator>& creator() const { return creator_; }
  void setCreator(std::shared_ptr<BackupCreator> c) { creator_ = std::move(c); }
  std::optional<platform::Color> itemTextColor() const { return itemTextColor_; }
  void setItemTextColor(std::optional<platform::Color> c) { itemTextColor_ = c; }
  const std::shared_ptr<ICloudManager>& dataSource() const { return dataSource_; }
  ToastView* toast() const { return toast_.get(); }
  int64_t uiIdiom() const { return uiIdiom_; }

  // "%4.0f %@" of the byte count in bytes, KB, MB, GB or TB.
  static std::string transformedValue(uint64_t bytes);
  // The date formatter's text: short date, no time ("M/d/yy").
  static std::string dateText(const platform::Date& date);

  void backupButtonPushed();
  void dataSourceUpdated();
  void restoreFinished();
  void backupFinished();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override;
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override;
  bool canEditRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return false; }
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;

 private:
  void addObserver();
  void removeObserver();
  std::shared_ptr<ToastView> showToast(const std::string& text, platform::View* parent);
  void stopToast();
  void setRightButtonEnabled(bool enabled);

  int64_t uiIdiom_ = 0;
  std::shared_ptr<BackupRestorer> restorer_;
  std::shared_ptr<BackupCreator> creator_;
  std::optional<platform::Color> itemTextColor_;
  std::shared_ptr<ICloudManager> dataSource_;
  std::shared_ptr<ToastView> toast_;
};

class RestoreItemViewController : public platform::TableViewController,
                                  public platform::TextFieldDelegate,
                                  public platform::AlertViewDelegate {
 public:
  static constexpr const char* kCellIdentifier = "RestoreItemViewControllerCell";

  RestoreItemViewController(int64_t dataIndex, std::shared_ptr<ICloudManager> datasource,
                            std::shared_ptr<BackupRestorer> restorable);
  ~RestoreItemViewController() override;

  // The backup's row in the manager's list now; -1 when it has gone.
  int64_t dataIndex() const;
  const std::filesystem::path& itemURL() const { return url_; }
  platform::TextField* nameField() const { return nameField_.get(); }
  const std::shared_ptr<platform::Timer>& timer() const { return timer_; }
  ToastView* toast() const { return toast_.get(); }
  // Whether the backup is downloaded (false when it has gone).
  bool isAvailable() const;
  // The footer of section 0 ("Downloading... N%" while downloading).
  std::string footerText(int64_t section) const;

  void timerFired();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  int64_t numberOfSections(platform::TableView&) override { return 3; }
  int64_t numberOfRowsInSection(platform::TableView&, int64_t) override { return 1; }
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  std::optional<std::string> titleForHeaderInSection(platform::TableView&, int64_t section) override;
  bool canEditRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return false; }
  platform::ViewPtr viewForFooterInSection(platform::TableView&, int64_t section) override;
  double heightForFooterInSection(platform::TableView&, int64_t section) override;
  std::optional<platform::IndexPath> willSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;

  void clickedButtonAtIndex(platform::AlertView& alert, int index) override;
  bool textFieldShouldReturn(platform::TextField& field) override;
  void textFieldDidEndEditing(platform::TextField& field) override;

 private:
  void startRestore();
  void startDelete();
  void showResult(const std::string& title, const std::string& message);
  void popBack();
  std::optional<platform::MetadataItem> item() const;

  std::filesystem::path url_;
  std::shared_ptr<platform::TextField> nameField_;
  std::shared_ptr<ICloudManager> datasource_;
  std::shared_ptr<BackupRestorer> exerciser_;
  std::shared_ptr<platform::Timer> timer_;
  platform::NotificationCenter::Token notificationObject_ = 0;
  std::shared_ptr<ToastView> toast_;
  std::weak_ptr<platform::AlertView> alert_;
};
