#include "library/screens/restore_data_screen_controller.h"

#include "library/screens/backup_detail_cells.h"
#include "library/backup/backup_archive.h"
#include "library/utilities.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/navigation_controller.h"

using namespace platform;

namespace {

constexpr int kRestoreTag = 1;
constexpr int kDeleteTag = 2;
constexpr int kFactoryTag = 3;

constexpr const char* kRestoreQuestion =
    "Are you sure want to restore your backup data? This will overwrite all existing/custom data.";
constexpr const char* kDeleteQuestion = "Are you sure? This will remove the selected backup data permanently.";
constexpr const char* kCorrupt = "Your data file can't be opened; it might be corrupt.";

std::shared_ptr<AlertView> confirm(const std::string& title, const std::string& message, AlertViewDelegate* delegate,
                                   int tag) {
  auto alert = std::make_shared<AlertView>(title, message, delegate, "Cancel", std::vector<std::string>{"OK"});
  alert->setTag(tag);
  alert->show();
  return alert;
}

std::string stemOf(const std::string& name) { return std::filesystem::path(name).stem().string(); }

}  // namespace

void showLibraryAlert(const std::string& title, const std::string& message) {
  auto alert = std::make_shared<AlertView>(title, message, nullptr, std::nullopt, std::vector<std::string>{"OK"});
  alert->show();
}

// ---- list screen ------------------------------------------------------------------------

RestoreDataScreenController::RestoreDataScreenController() : TableViewController(TableView::Style::Grouped) {}

RestoreDataScreenController::~RestoreDataScreenController() {
  if (datasource_) datasource_->removeObserver(this);
  if (auto a = alert_.lock()) a->setDelegate(nullptr);
}

const std::shared_ptr<FileInDocumentsManagedContext>& RestoreDataScreenController::datasource() {
  if (!datasource_) {
    datasource_ = std::make_shared<FileInDocumentsManagedContext>(std::vector<std::string>{kLocalBackupExtension});
    datasource_->addObserver(this);
  }
  return datasource_;
}

bool RestoreDataScreenController::shouldBackup(const std::string& relativePath) const {
  return BackupArchive::shouldBackup(relativePath);
}

std::string RestoreDataScreenController::footerText() const {
  const size_t n = datasource_ ? datasource_->count() : 0;
  return std::to_string(n) +
         " BACKUP(S).\nPlease use the File Sharing option in iTunes to move the backups to your computer. See help for "
         "details.";
}

Size RestoreDataScreenController::preferredContentSize() const {
  const size_t n = datasource_ ? datasource_->count() : 0;
  return {320, 43.0 * static_cast<double>(n) + 302.0};
}

void RestoreDataScreenController::viewWillAppear(bool animated) {
  if (NavigationController* nav = navigationController()) nav->setNavigationBarHidden(true, animated);
  datasource();
  TableViewController::viewWillAppear(animated);
}

int64_t RestoreDataScreenController::numberOfRowsInSection(TableView&, int64_t section) {
  if (section == 1) return static_cast<int64_t>(datasource()->count());
  return section == 0 || section == 2 ? 1 : 0;
}

TableViewCellPtr RestoreDataScreenController::cellForRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  TableViewCellPtr cell = tv.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = std::make_shared<TableViewCell>(TableViewCell::Style::Default, kCellIdentifier);
  Label& text = cell->textLabel();
  text.setAdjustsFontSizeToFitWidth(false);
  switch (ip.section) {
    case 0: text.setText("Create Backup"); break;
    case 1:
      text.setText(stemOf(datasource()->fileNameAt(static_cast<size_t>(ip.row))));
      text.setAdjustsFontSizeToFitWidth(true);
      break;
    default: text.setText("Load Factory Presets"); break;
  }
  return cell;
}

std::optional<std::string> RestoreDataScreenController::titleForHeaderInSection(TableView&, int64_t section) {
  if (section == 0) return std::string("Pattern Data");
  if (section == 1) return std::string("Backups");
  return std::nullopt;
}

ViewPtr RestoreDataScreenController::viewForFooterInSection(TableView& tv, int64_t section) {
  if (section != 1) return nullptr;
  auto label = std::make_shared<Label>(Rect(16, 0, std::max(0.0, tv.bounds().size.width - 32), 100));
  label->setNumberOfLines(0);
  label->setFont(Font::systemFont(13));
  label->setTextColor(Color::darkGray());
  label->setTextAlignment(TextAlignment::Center);
  label->setText(footerText());
  return label;
}

double RestoreDataScreenController::heightForFooterInSection(TableView&, int64_t section) {
  return section == 1 ? 100 : 0;
}

void RestoreDataScreenController::didSelectRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  if (ip.section == 0) {
    backupData();
    tv.deselectRowAtIndexPath(ip, true);
  } else if (ip.section == 1) {
    auto detail = std::make_shared<RestoredDataDetailViewController>(ip.row, datasource());
    detail->setParentController(parent_);
    if (NavigationController* nav = navigationController()) nav->pushViewController(detail, true);
  } else {
    initializeData();
    tv.deselectRowAtIndexPath(ip, true);
  }
}

std::optional<std::filesystem::path> RestoreDataScreenController::backupData() {
  const auto documents = Utilities::applicationiTunesDocumentsDirectory();
  const auto data = Utilities::applicationDocumentsDirectory();
  if (!documents || !data) return std::nullopt;
  // A second backup within the same second keeps the first.
  const std::filesystem::path target = BackupArchive::uniquePath(*documents, BackupFileNameCreator::createLocal());
  LibraryScreenHost* host = parent_;
  std::string error;
  const bool ok = BackupArchive::write(
      *data, target, Utilities::createDataPassword(), [host] {
        if (host) host->storeData();
      },
      &error);
  datasource()->fetch();
  if (tableView()) tableView()->reloadData();
  if (!ok) return std::nullopt;
  return target;
}

void RestoreDataScreenController::initializeData() {
  alert_ = confirm("LOAD FACTORY PRESETS",
                   "Are you sure want to load the factory presets? This will overwrite all existing/custom data.", this,
                   kFactoryTag);
}

void RestoreDataScreenController::clickedButtonAtIndex(AlertView& alert, int index) {
  if (alert.tag() != kFactoryTag || index == alert.cancelButtonIndex() || !parent_) return;
  if (parent_->currentStateIndex() != 0) parent_->changeFunction(-1);
  parent_->initializeAllPattern();
}

void RestoreDataScreenController::fileInDocumentsFileWasUpdated(const Notification&) {
  // The table has no single-row reload; the row's text comes back with all.
  if (tableView()) tableView()->reloadData();
}

void RestoreDataScreenController::fileInDocumentsFileWasRemoved(const Notification&) {
  if (tableView()) tableView()->reloadData();
}

// ---- detail screen ------------------------------------------------------------------------

RestoredDataDetailViewController::RestoredDataDetailViewController(
    int64_t dataIndex, std::shared_ptr<FileInDocumentsManagedContext> datasource)
    : TableViewController(TableView::Style::Grouped), datasource_(std::move(datasource)) {
  if (datasource_ && dataIndex >= 0) url_ = datasource_->fileUrlAt(static_cast<size_t>(dataIndex));
}

RestoredDataDetailViewController::~RestoredDataDetailViewController() {
  if (auto a = alert_.lock()) a->setDelegate(nullptr);
  if (nameField_) nameField_->setDelegate(nullptr);
}

int64_t RestoredDataDetailViewController::dataIndex() const {
  return datasource_ && !url_.empty() ? datasource_->indexForFileURL(url_) : -1;
}

void RestoredDataDetailViewController::viewWillAppear(bool animated) {
  if (NavigationController* nav = navigationController()) nav->setNavigationBarHidden(false, animated);
  setTitle("Restored Pattern Data");
  TableViewController::viewWillAppear(animated);
}

std::optional<std::string> RestoredDataDetailViewController::titleForHeaderInSection(TableView&, int64_t section) {
  if (section == 0) return std::string("Name");
  if (section == 1) return std::string("Commands");
  return std::nullopt;
}

TableViewCellPtr RestoredDataDetailViewController::cellForRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  if (ip.section == 0) return backup_cells::nameCell(tv, nameField_, this, url_.stem().string(), 21);
  return backup_cells::commandCell(tv, ip, kCellIdentifier);
}

std::optional<IndexPath> RestoredDataDetailViewController::willSelectRowAtIndexPath(TableView&, const IndexPath& ip) {
  if (ip.section == 0) return std::nullopt;
  return ip;
}

void RestoredDataDetailViewController::didSelectRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  if (nameField_ && nameField_->isFirstResponder()) nameField_->resignFirstResponder();
  if (ip.section == 1) alert_ = confirm("Restore", kRestoreQuestion, this, kRestoreTag);
  else if (ip.section == 2) alert_ = confirm("Delete", kDeleteQuestion, this, kDeleteTag);
  tv.deselectRowAtIndexPath(ip, true);
}

void RestoredDataDetailViewController::clickedButtonAtIndex(AlertView& alert, int index) {
  if (index == alert.cancelButtonIndex()) return;
  if (alert.tag() == kDeleteTag) {
    const int64_t i = dataIndex();
    if (i >= 0) datasource_->removeFileAt(static_cast<size_t>(i));
  } else if (alert.tag() == kRestoreTag) {
    restoreData();
  } else {
    return;
  }
  if (NavigationController* nav = navigationController()) nav->popToRootViewControllerAnimated(true);
}

bool RestoredDataDetailViewController::restoreData() {
  const auto data = Utilities::applicationDocumentsDirectory();
  if (!data || dataIndex() < 0) {
    showLibraryAlert("Error", "An error occurred while restoring the data. Please try again.");
    return false;
  }
  if (BackupArchive::isBusy()) {
    showLibraryAlert("Error", "An error occurred while restoring the data. Please try again.");
    return false;
  }
  std::string error;
  if (!BackupArchive::restore(url_, *data, Utilities::createDataPassword(), &error)) {
    showLibraryAlert("Error", kCorrupt);
    return false;
  }
  if (parent_) {
    if (parent_->currentStateIndex() != 0) parent_->changeFunction(-1);
    parent_->reloadPattern();
  }
  showLibraryAlert("Restoration has been completed", "Data has been successfully restored.");
  return true;
}

bool RestoredDataDetailViewController::textFieldShouldReturn(TextField& field) {
  field.resignFirstResponder();
  return false;
}

void RestoredDataDetailViewController::textFieldDidEndEditing(TextField& field) {
  const int64_t i = dataIndex();
  if (i < 0) return;
  const std::string stem = std::filesystem::path(field.text()).stem().string();
  if (stem.empty()) {
    // No name left: the file keeps the one it has.
    field.setText(url_.stem().string());
    return;
  }
  const std::string name = stem + "." + kLocalBackupExtension;
  const std::string result = datasource_->renameFileAt(static_cast<size_t>(i), name);
  const std::filesystem::path renamed(result);
  if (renamed.has_parent_path()) url_ = renamed;
  field.setText(renamed.filename().stem().string());
}
