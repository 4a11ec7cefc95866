#include "library/screens/backup_item_table_view_controller.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "library/screens/backup_detail_cells.h"
#include "library/screens/restore_data_screen_controller.h"
#include "library/backup/backup_archive.h"
#include "platform/cloud/metadata_query.h"
#include "platform/ui/navigation_controller.h"

using namespace platform;

namespace {

constexpr int kRestoreTag = 1;
constexpr int kDeleteTag = 2;
constexpr int kResultTag = 3;

// Runs `work` on the main thread: at once there, else on the main queue.
void onMain(std::function<void()> work) {
  if (RunLoop::isMainThread()) work();
  else dispatchAsyncMain(std::move(work));
}

std::shared_ptr<AlertView> okAlert(const std::string& title, const std::string& message, AlertViewDelegate* delegate,
                                   int tag) {
  auto alert = std::make_shared<AlertView>(title, message, delegate, std::nullopt, std::vector<std::string>{"OK"});
  alert->setTag(tag);
  return alert;
}

std::shared_ptr<AlertView> confirm(const std::string& title, const std::string& message, AlertViewDelegate* delegate,
                                   int tag) {
  auto alert = std::make_shared<AlertView>(title, message, delegate, "Cancel", std::vector<std::string>{"OK"});
  alert->setTag(tag);
  return alert;
}

}  // namespace

// ---- the list ---------------------------------------------------------------------------------

BackupItemTableViewController::BackupItemTableViewController(std::shared_ptr<ICloudManager> manager)
    : TableViewController(TableView::Style::Plain),
      dataSource_(manager ? std::move(manager) : ICloudManager::sharedInstance()) {
  setTitle("Backups");
}

BackupItemTableViewController::~BackupItemTableViewController() { removeObserver(); }

std::string BackupItemTableViewController::transformedValue(uint64_t bytes) {
  static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value > 1024 && unit < 4) {
    value *= 1.0 / 1024;
    ++unit;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%4.0f %s", value, units[unit]);
  return buf;
}

std::string BackupItemTableViewController::dateText(const Date& date) {
  const time_t t = static_cast<time_t>(std::floor(date.secondsSince1970));
  struct tm local {};
  localtime_r(&t, &local);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d/%02d", local.tm_mon + 1, local.tm_mday, local.tm_year % 100);
  return buf;
}

void BackupItemTableViewController::viewDidLoad() {
  tableView()->setRowHeight(44);
  tableView()->setSectionHeaderHeight(22);
  switch (dataSource_ ? dataSource_->status() : 2) {
    case 1:
      navigationItem().setRightBarButtonItem(BarButtonItem::titled(
          "Create Backup", BarButtonItem::Style::Done, [this](BarButtonItem&) { backupButtonPushed(); }));
      break;
    case 2: {
      auto alert = std::make_shared<AlertView>("iCloud is disabled", "To use this function, please enable the iCloud.",
                                               nullptr, std::nullopt, std::vector<std::string>{"OK"});
      alert->show();
      break;
    }
    default:
      // Still looking: no button now, and none later for this screen.
      break;
  }
}

std::shared_ptr<ToastView> BackupItemTableViewController::showToast(const std::string& text, View* parent) {
  const Rect b = view()->bounds();
  auto toast = std::make_shared<ToastView>(b);
  toast->setCenter(view()->center());
  toast->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  toast->startAnimating(text);
  (parent ? parent : view())->addSubview(toast);
  toast_ = toast;
  return toast;
}

void BackupItemTableViewController::stopToast() {
  if (toast_) toast_->stopAnimating();
  toast_.reset();
}

void BackupItemTableViewController::setRightButtonEnabled(bool enabled) {
  if (const BarButtonItemPtr& item = navigationItem().rightBarButtonItem()) item->setEnabled(enabled);
}

void BackupItemTableViewController::viewWillAppear(bool animated) {
  TableViewController::viewWillAppear(animated);
  if (dataSource_ && dataSource_->isSearching()) showToast("Gathering...", view()->superview());
  if (restorer_ && restorer_->restoring()) {
    setRightButtonEnabled(false);
    showToast("Restoring...", view());
  }
  if (creator_ && creator_->isCreating()) {
    setRightButtonEnabled(false);
    showToast("Creating...", view());
  }
  tableView()->reloadData();
  addObserver();
}

void BackupItemTableViewController::viewWillDisappear(bool animated) {
  removeObserver();
  TableViewController::viewWillDisappear(animated);
}

void BackupItemTableViewController::addObserver() {
  removeObserver();
  NotificationCenter& c = NotificationCenter::defaultCenter();
  std::weak_ptr<ViewController> weak = weak_from_this();
  // Each handler runs on the main thread whatever thread posts (a restore
  // reports from its own queue).
  auto on = [weak](void (BackupItemTableViewController::*handler)(), auto matches) {
    return [weak, handler, matches](const Notification& n) {
      if (!matches(n)) return;
      onMain([weak, handler] {
        if (auto self = std::static_pointer_cast<BackupItemTableViewController>(weak.lock())) ((*self).*handler)();
      });
    };
  };
  ICloudManager* manager = dataSource_.get();
  auto fromManager = [manager](const Notification& n) {
    const auto* o = n.objectAs<ICloudManager*>();
    return o && *o == manager;
  };
  c.addObserver(this, kICloudManagerDidFinishedNotification, on(&BackupItemTableViewController::dataSourceUpdated, fromManager));
  c.addObserver(this, kICloudManagerDidUpdateNotification, on(&BackupItemTableViewController::dataSourceUpdated, fromManager));
  BackupRestorer* restorer = restorer_.get();
  c.addObserver(this, kRestoreDidFinishedNotification,
                on(&BackupItemTableViewController::restoreFinished, [restorer](const Notification& n) {
                  const auto* o = n.objectAs<BackupRestorer*>();
                  return o && *o == restorer;
                }));
  BackupCreator* creator = creator_.get();
  c.addObserver(this, kBackupCreatorDidFinishedBackup,
                on(&BackupItemTableViewController::backupFinished, [creator](const Notification& n) {
                  const auto* o = n.objectAs<BackupCreator*>();
                  return o && *o == creator;
                }));
}

void BackupItemTableViewController::removeObserver() {
  NotificationCenter& c = NotificationCenter::defaultCenter();
  for (const char* name : {kICloudManagerDidFinishedNotification, kICloudManagerDidUpdateNotification,
                           kRestoreDidFinishedNotification, kBackupCreatorDidFinishedBackup})
    c.removeObserver(this, name);
}

void BackupItemTableViewController::dataSourceUpdated() {
  tableView()->reloadData();
  stopToast();
  setRightButtonEnabled(true);
}

void BackupItemTableViewController::restoreFinished() {
  setRightButtonEnabled(true);
  stopToast();
}

void BackupItemTableViewController::backupFinished() {
  setRightButtonEnabled(true);
  stopToast();
}

int64_t BackupItemTableViewController::numberOfRowsInSection(TableView&, int64_t) {
  return dataSource_ ? static_cast<int64_t>(dataSource_->count()) : 0;
}

std::optional<std::string> BackupItemTableViewController::titleForHeaderInSection(TableView&, int64_t) {
  return std::string("Backups on iCloud");
}

TableViewCellPtr BackupItemTableViewController::cellForRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  TableViewCellPtr cell = tv.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = std::make_shared<TableViewCell>(TableViewCell::Style::Subtitle, kCellIdentifier);
  cell->setBackgroundColor(Color::clear());
  cell->textLabel().setBackgroundColor(Color::clear());
  cell->contentView().setBackgroundColor(Color::clear());
  const Color color = itemTextColor_.value_or(Color::whiteColor());
  const std::optional<MetadataItem> item = dataSource_->itemAt(static_cast<size_t>(ip.row));
  if (!item) return cell;
  cell->textLabel().setText(dataSource_->fileName(*item));
  cell->textLabel().setTextColor(color);
  if (Label* detail = cell->detailTextLabel()) {
    detail->setText(dateText(dataSource_->fileUpdatedData(*item)) + " : " + transformedValue(dataSource_->filesize(*item)));
    detail->setTextColor(color);
  }
  return cell;
}

void BackupItemTableViewController::didSelectRowAtIndexPath(TableView&, const IndexPath& ip) {
  auto restore = std::make_shared<RestoreItemViewController>(ip.row, dataSource_, restorer_);
  if (NavigationController* nav = navigationController()) nav->pushViewController(restore, true);
}

void BackupItemTableViewController::backupButtonPushed() {
  setRightButtonEnabled(false);
  const Rect f = view()->frame();
  auto toast = std::make_shared<ToastView>(f);
  toast->setCenter(view()->center());
  toast->startAnimating("Creating...");
  view()->addSubview(toast);
  toast_ = toast;
  std::weak_ptr<ViewController> weak = weak_from_this();
  std::shared_ptr<BackupCreator> creator = creator_;
  std::shared_ptr<ICloudManager> manager = dataSource_;
  // The rest waits for the next pass, so that the toast is drawn first.
  dispatchAsyncMain([weak, toast, creator, manager] {
    if (!creator || creator->isCreating()) return;
    const auto path = creator->createWithName(std::nullopt);
    if (path && manager) manager->moveToContainer(*path);
    const bool made = path.has_value();
    dispatchAsyncMain([weak, toast, made] {
      toast->stopAnimating();
      if (!made) showLibraryAlert("Error", "The backup could not be made. Please try again.");
      if (auto self = std::static_pointer_cast<BackupItemTableViewController>(weak.lock())) {
        if (self->toast_ == toast) self->toast_.reset();
        self->setRightButtonEnabled(true);
      }
    });
  });
}

// ---- one backup ---------------------------------------------------------------------------------

RestoreItemViewController::RestoreItemViewController(int64_t dataIndex, std::shared_ptr<ICloudManager> datasource,
                                                     std::shared_ptr<BackupRestorer> restorable)
    : TableViewController(TableView::Style::Grouped),
      datasource_(std::move(datasource)),
      exerciser_(std::move(restorable)) {
  if (datasource_ && dataIndex >= 0)
    if (auto i = datasource_->itemAt(static_cast<size_t>(dataIndex))) url_ = i->url;
}

RestoreItemViewController::~RestoreItemViewController() {
  if (timer_) timer_->invalidate();
  if (notificationObject_) NotificationCenter::defaultCenter().removeObserver(notificationObject_);
  if (auto a = alert_.lock()) a->setDelegate(nullptr);
  if (nameField_) nameField_->setDelegate(nullptr);
}

int64_t RestoreItemViewController::dataIndex() const {
  return datasource_ && !url_.empty() ? datasource_->indexOfURL(url_) : -1;
}

std::optional<MetadataItem> RestoreItemViewController::item() const {
  const int64_t i = dataIndex();
  if (i < 0) return std::nullopt;
  return datasource_->itemAt(static_cast<size_t>(i));
}

bool RestoreItemViewController::isAvailable() const {
  const auto i = item();
  return i && datasource_->isFileAvailable(*i);
}

void RestoreItemViewController::viewDidLoad() {
  if (!isAvailable()) {
    // The timer only refreshes; the destructor stops it.
    timer_ = RunLoop::main().scheduleTimer(1.0, true, [this](Timer&) { timerFired(); });
  }
}

void RestoreItemViewController::viewWillAppear(bool animated) {
  if (NavigationController* nav = navigationController()) nav->setNavigationBarHidden(false, animated);
  setTitle("Backup");
  TableViewController::viewWillAppear(animated);
}

void RestoreItemViewController::timerFired() {
  tableView()->reloadData();
  if (isAvailable() && timer_) {
    timer_->invalidate();
    timer_.reset();
  }
}

std::string RestoreItemViewController::footerText(int64_t section) const {
  const auto i = item();
  if (!i || section != 0 || datasource_->isFileAvailable(*i)) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "Downloading... %d%%", static_cast<int>(datasource_->filePercentDownloaded(*i)));
  return buf;
}

std::optional<std::string> RestoreItemViewController::titleForHeaderInSection(TableView&, int64_t section) {
  if (section == 0) return std::string("Name");
  if (section == 1) return std::string("Commands");
  return std::nullopt;
}

ViewPtr RestoreItemViewController::viewForFooterInSection(TableView& tv, int64_t section) {
  const std::string text = footerText(section);
  if (text.empty()) return nullptr;
  auto label = std::make_shared<Label>(Rect(16, 0, std::max(0.0, tv.bounds().size.width - 32), 30));
  label->setFont(Font::systemFont(13));
  label->setTextColor(Color::darkGray());
  label->setText(text);
  return label;
}

double RestoreItemViewController::heightForFooterInSection(TableView&, int64_t section) {
  return footerText(section).empty() ? 0 : 30;
}

TableViewCellPtr RestoreItemViewController::cellForRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  if (ip.section == 0) {
    const auto i = item();
    return backup_cells::nameCell(tv, nameField_, this, i ? datasource_->fileName(*i) : url_.filename().string(), 16);
  }
  return backup_cells::commandCell(tv, ip, kCellIdentifier);
}

std::optional<IndexPath> RestoreItemViewController::willSelectRowAtIndexPath(TableView&, const IndexPath& ip) {
  if (!isAvailable() || ip.section == 0) return std::nullopt;
  if (exerciser_ && exerciser_->restoring()) return std::nullopt;
  return ip;
}

void RestoreItemViewController::didSelectRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  if (nameField_ && nameField_->isFirstResponder()) nameField_->resignFirstResponder();
  if (!isAvailable()) return;
  std::shared_ptr<AlertView> alert;
  if (ip.section == 1) {
    alert = confirm("Restore",
                    "Are you sure want to restore your backup data? This will overwrite all existing/custom data.",
                    this, kRestoreTag);
  } else if (ip.section == 2) {
    alert = confirm("Delete", "Are you sure? This will remove the selected backup data permanently.", this,
                    kDeleteTag);
  }
  if (alert) {
    alert_ = alert;
    alert->show();
  }
  tv.deselectRowAtIndexPath(ip, true);
}

void RestoreItemViewController::clickedButtonAtIndex(AlertView& alert, int index) {
  if (alert.tag() == kResultTag) {
    popBack();
    return;
  }
  if (index == alert.cancelButtonIndex()) return;
  if (alert.tag() == kRestoreTag) startRestore();
  else if (alert.tag() == kDeleteTag) startDelete();
}

void RestoreItemViewController::showResult(const std::string& title, const std::string& message) {
  auto alert = okAlert(title, message, this, kResultTag);
  alert_ = alert;
  alert->show();
}

void RestoreItemViewController::popBack() {
  NavigationController* nav = navigationController();
  if (!nav) return;
  const auto& stack = nav->viewControllers();
  ViewController* target = stack.size() >= 2 ? stack[stack.size() - 2].get() : stack.front().get();
  while (nav->topViewController() != target && nav->viewControllers().size() > 1) nav->popViewControllerAnimated(true);
}

void RestoreItemViewController::startRestore() {
  auto toast = std::make_shared<ToastView>(view()->bounds());
  toast->setCenter(view()->center());
  toast->startAnimating("Restoring...");
  view()->addSubview(toast);
  toast_ = toast;
  std::weak_ptr<ViewController> weak = weak_from_this();
  std::shared_ptr<BackupRestorer> restorer = exerciser_;
  const std::filesystem::path url = url_;
  dispatchAsyncGlobal([weak, restorer, url, toast] {
    const bool ok = restorer && restorer->restoreData(url);
    dispatchAsyncMain([weak, ok, toast] {
      toast->stopAnimating();
      auto self = std::static_pointer_cast<RestoreItemViewController>(weak.lock());
      // The library changed whether or not the screen is still there.
      if (ok)
        NotificationCenter::defaultCenter().post(kRestoreItemViewControllerDidRestored,
                                                 std::any(static_cast<RestoreItemViewController*>(self.get())));
      if (!self) return;
      self->toast_.reset();
      if (ok) self->showResult("Restoration has been completed", "Data has been successfully restored.");
      else self->showResult("Error", "Your data file can't be opened; it might be corrupt.");
    });
  });
}

void RestoreItemViewController::startDelete() {
  auto toast = std::make_shared<ToastView>(view()->bounds());
  toast->setCenter(view()->center());
  toast->startAnimating("Deleting...");
  view()->addSubview(toast);
  toast_ = toast;
  navigationItem().setHidesBackButton(true);
  std::weak_ptr<ViewController> weak = weak_from_this();
  auto finish = [weak](bool removed) {
    auto self = std::static_pointer_cast<RestoreItemViewController>(weak.lock());
    if (!self) return;
    if (self->notificationObject_) {
      NotificationCenter::defaultCenter().removeObserver(self->notificationObject_);
      self->notificationObject_ = 0;
    }
    if (self->toast_) self->toast_->stopAnimating();
    self->toast_.reset();
    self->navigationItem().setHidesBackButton(false);
    if (removed) self->showResult("Succeeded", "Your data was removed.");
  };
  // Listening first, so the update of the removal cannot slip past.
  notificationObject_ = NotificationCenter::defaultCenter().addObserver(
      nullptr, kMetadataQueryDidUpdateNotification,
      [finish](const Notification&) { onMain([finish] { finish(true); }); });
  if (!datasource_ || !datasource_->removeFile(url_)) {
    // Nothing was removed, so no update would come: the screen stays usable.
    finish(false);
  }
}

bool RestoreItemViewController::textFieldShouldReturn(TextField& field) {
  field.resignFirstResponder();
  return false;
}

void RestoreItemViewController::textFieldDidEndEditing(TextField& field) {
  const std::string stem = std::filesystem::path(field.text()).stem().string();
  if (stem.empty() || url_.empty()) {
    field.setText(url_.filename().string());
    return;
  }
  const std::string name = stem + "." + BackupFileNameCreator::dataExtension();
  if (name == url_.filename().string()) return;
  if (datasource_ && datasource_->renameFile(url_, name)) url_ = url_.parent_path() / name;
}
