#include "library/screens/browser_table_controller.h"

#include <cstdio>

#include "controls/gbx_localized_message.h"
#include "engine/synth/synth.h"
#include "library/library_writes.h"
#include "library/pattern_store.h"
#include "library/screens/browser_pattern_info_controller.h"
#include "library/screens/browser_table_view_cell.h"
#include "platform/gfx/image.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/navigation_controller.h"

using namespace platform;

namespace {

constexpr int64_t kUserCategory = 3;
constexpr const char* kPatternChanged = "patternChanged";
const Color kSaveTint = Color::rgba(1.0, 0.0, 0.0);
// The message of the "SAVE" alert in the message tables.
constexpr uint32_t kSaveMessage = 10;

std::string bankTitle(int32_t k) {
  char buf[32];
  if (k < 2) std::snprintf(buf, sizeof buf, "Factory %c", 'A' + k);
  else if (k < 8) std::snprintf(buf, sizeof buf, "GQ-1 %c", 'A' + k - 2);
  else if (k == 8) std::snprintf(buf, sizeof buf, "Template %c", 'A');
  else std::snprintf(buf, sizeof buf, "User %c", 'A' + (k - 9) % 26);
  return buf;
}

int64_t categoryOfBank(int32_t bank, int64_t current) {
  if (bank >= 0 && bank <= 1) return 0;
  if (bank >= 2 && bank <= 7) return 1;
  if (bank == 8) return 2;
  if (bank >= 9 && bank <= 12) return 3;
  return current;
}

}  // namespace

bool showRefusedLibraryWrite() {
  const std::optional<std::string> refusal = LibraryWrites::refusal();
  if (!refusal) return false;
  // The user has to know the change is not on disk, and why: it is lost
  // when the program ends.
  auto alert = std::make_shared<AlertView>(kLibraryNotSavedAlertTitle, "The change was not saved: " + *refusal + ".",
                                           nullptr, std::nullopt, std::vector<std::string>{"OK"});
  alert->show();
  return true;
}

BrowserTableController::BrowserTableController(DataProvider* provider) : provider_(provider) {
  const int32_t banks = provider_ ? provider_->numberOfBanks() : 0;
  for (int32_t k = 0; k < banks; ++k) bankNames_.push_back(bankTitle(k));
  NotificationCenter::defaultCenter().addObserver(this, kTableViewDidReorder,
                                                  [this](const Notification&) { tableViewDidReorder(); });
  titleControl_ = std::make_shared<SegmentedControl>(Rect(0, 0, 140, 24));
  titleControl_->insertSegmentWithTitle("Load", 0);
  titleControl_->insertSegmentWithTitle("Save", 1);
  titleControl_->setSelectedSegmentIndex(0);
  titleControl_->setAutoresizingMask(Autoresizing::FlexibleWidth);
  titleControl_->addTarget(this, "modeButtonPushed:", [this](Control&) { modeButtonPushed(); },
                           ControlEvents::ValueChanged);
  navigationItem().setTitleView(titleControl_);
  navigationItem().setRightBarButtonItem(nullptr);
  editButton_ = BarButtonItem::system(BarButtonItem::SystemItem::Edit, [this](BarButtonItem&) { editButtonDidPush(); });
}

BrowserTableController::~BrowserTableController() {
  NotificationCenter::defaultCenter().removeObserver(this);
  if (auto alert = alert_.lock()) alert->setDelegate(nullptr);
  bankNames_.clear();
}

Synth* BrowserTableController::synth() const { return top_ ? top_->synth() : nullptr; }

// ---- geometry -----------------------------------------------------------------------

int64_t BrowserTableController::numberOfSection(int64_t category) {
  static const int64_t counts[4] = {2, 6, 1, 4};
  return category >= 0 && category < 4 ? counts[category] : 0;
}

int64_t BrowserTableController::retrieveStartSection(int64_t category) {
  int64_t start = 0;
  for (int64_t c = 0; c < category && c < 4; ++c) start += numberOfSection(c);
  return start;
}

double BrowserTableController::isCellAvailable(int64_t category, const IndexPath& ip) {
  const int64_t start = retrieveStartSection(category);
  const int64_t bank = start + ip.section;
  return bank >= start && bank < start + numberOfSection(category) ? 1.0 : 0.0;
}

int64_t BrowserTableController::patternNumberAt(const IndexPath& ip) {
  return provider_->indexOf(static_cast<int32_t>(ip.row),
                            static_cast<int32_t>(retrieveStartSection(bankCategory_) + ip.section));
}

// ---- view ---------------------------------------------------------------------------

void BrowserTableController::loadView() {
  auto root = std::make_shared<View>(Rect(0, 0, 360, 414));
  root->setBackgroundColor(Color::white(1.0));
  root->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  table_ = std::make_shared<TableView>(Rect(0, 0, 360, 414 - kToolbarHeight), TableView::Style::Plain);
  table_->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  table_->setDataSource(this);
  table_->setTableDelegate(this);
  table_->setRowHeight(kRowHeight);
  table_->setSectionHeaderHeight(30);
  root->addSubview(table_);
  toolbar_ = std::make_shared<View>(Rect(0, 414 - kToolbarHeight, 360, kToolbarHeight));
  toolbar_->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleTopMargin);
  toolbar_->setBackgroundColor(Color::white(0.97));
  root->addSubview(toolbar_);
  setView(root);
}

void BrowserTableController::viewDidLoad() {
  table_->setBackgroundColor(Color::clear());
  static const char* const names[4] = {"factory", "gq1", "template", "user"};
  std::vector<TISegmentedControl::Segment> segments;
  for (size_t i = 0; i < 4; ++i) {
    auto b = std::make_shared<Button>(Button::Type::Custom, Rect(0, 9, 46, 26));
    const std::string base = std::string(names[i]) + "_icon_";
    ImagePtr off = Image::named(base + "off.png");
    ImagePtr on = Image::named(base + "on.png");
    b->setImage(off, ControlState::Normal);
    for (unsigned st : {unsigned{ControlState::Highlighted}, unsigned{ControlState::Selected},
                        unsigned{ControlState::Selected | ControlState::Highlighted}})
      b->setImage(on, st);
    if (!off) {
      // Without the icons the buttons still tell which is which.
      static const char* const titles[4] = {"Factory", "GQ-1", "Template", "User"};
      b->setTitle(titles[i], ControlState::Normal);
      b->setTitleColor(Color::darkGray(), ControlState::Normal);
      b->setTitleColor(Color::rgba(7 / 255.0, 122 / 255.0, 251 / 255.0), ControlState::Selected);
      b->titleLabel().setFont(Font::systemFont(10));
    }
    categoryButtons_[i] = b;
    segments.push_back(b);
    toolbar_->addSubview(b);
  }
  categoryControl_ = std::make_shared<TISegmentedControl>();
  categoryControl_->setMaximum(1);
  categoryControl_->setMinimum(0);
  categoryControl_->setButtons(segments);
  categoryControl_->addTarget(this, "bankCategoryButtonPushed:", [this](Control&) { bankCategoryButtonPushed(); },
                              ControlEvents::ValueChanged);
  categoryControl_->setIndex(bankCategory_);
  // Fixed 60 points at both ends, the four buttons spread evenly between.
  const double w = toolbar_->bounds().size.width;
  const double span = std::max(0.0, w - 120 - 4 * 46);
  for (size_t i = 0; i < 4; ++i) {
    categoryButtons_[i]->setFrame(Rect(60 + static_cast<double>(i) * (46 + span / 3), 9, 46, 26));
    categoryButtons_[i]->setAutoresizingMask(Autoresizing::FlexibleLeftMargin | Autoresizing::FlexibleRightMargin);
  }
  updateBarButtonItem();
}

void BrowserTableController::applyBarTint() {
  barTint_ = mode_ == kSave ? std::optional<Color>(kSaveTint) : std::nullopt;
  if (NavigationController* nav = navigationController())
    nav->navigationBar().setBackgroundColor(barTint_ ? std::optional<Color>(barTint_->withAlpha(0.9)) : std::nullopt);
}

void BrowserTableController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  if (NavigationController* nav = navigationController()) nav->setNavigationBarHidden(false, animated);
  setTitle(mode_ == kSave ? "Save" : "Load");
  titleControl_->setSelectedSegmentIndex(mode_ == kSave ? 1 : 0);
  applyBarTint();
  addObserver();
  selectRowForCurrentPattern(true, false);
}

void BrowserTableController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  if (reloadAttentioned_ && attentioned_) {
    // The table has no single-row reload; the whole reload below covers it.
    reloadAttentioned_ = false;
  }
  table_->reloadData();
  selectRowForCurrentPattern(true, false);
}

void BrowserTableController::viewDidDisappear(bool animated) {
  ViewController::viewDidDisappear(animated);
  removeObserver();
}

Size BrowserTableController::preferredContentSize() const {
  const View* root = table_ ? table_->superview() : nullptr;
  return {360, root ? root->bounds().size.height : 414};
}

void BrowserTableController::addObserver() {
  if (observing_) return;
  observing_ = true;
  NotificationCenter& c = NotificationCenter::defaultCenter();
  c.addObserver(this, kPatternChanged, [this](const Notification&) { patternChanged(); });
  c.addObserver(this, kPatternStorePatternStored, [this](const Notification& n) {
    const Value* v = n.info("patternNumber");
    patternStored(v ? v->integerValue(-1) : -1);
  });
}

void BrowserTableController::removeObserver() {
  if (!observing_) return;
  observing_ = false;
  NotificationCenter& c = NotificationCenter::defaultCenter();
  c.removeObserver(this, kPatternChanged);
  c.removeObserver(this, kPatternStorePatternStored);
}

// ---- modes and categories -------------------------------------------------------------

void BrowserTableController::setMode(int32_t mode) {
  mode_ = mode;
  if (mode_ == kSave) {
    bankCategory_ = kUserCategory;
    if (categoryControl_) categoryControl_->setIndex(kUserCategory);
    updateBankTable(kUserCategory);
    updateBarButtonItem();
    if (table_) table_->setEditing(false, true);
  } else {
    updateBarButtonItem();
  }
  applyBarTint();
  applyAccessories();
}

void BrowserTableController::applyAccessories() {
  if (!table_) return;
  for (TableViewCell* cell : table_->visibleCells()) {
    cell->setAccessoryType(mode_ == kLoad ? TableViewCell::Accessory::DetailDisclosureButton
                                          : TableViewCell::Accessory::None);
    cell->setNeedsLayout();
  }
}

void BrowserTableController::modeButtonPushed() {
  setMode(titleControl_->selectedSegmentIndex() == 1 ? kSave : kLoad);
  updateBarButtonItem();
}

void BrowserTableController::bankCategoryButtonPushed() {
  updateBankTable(categoryControl_->current());
  updateBarButtonItem();
}

void BrowserTableController::updateBankCategory(int32_t bank) {
  const int64_t category = categoryOfBank(bank, bankCategory_);
  if (categoryControl_) categoryControl_->setIndex(category);
  updateBankTable(category);
  updateBarButtonItem();
}

void BrowserTableController::updateBankTable(int64_t category) {
  bankCategory_ = category;
  if (table_) table_->reloadData();
}

void BrowserTableController::updateBarButtonItem() {
  const bool load = mode_ == kLoad;
  for (size_t i = 0; i < 3; ++i)
    if (categoryButtons_[i]) categoryButtons_[i]->setEnabled(load);
  if (categoryButtons_[3]) categoryButtons_[3]->setEnabled(true);
  if (load && bankCategory_ == kUserCategory) {
    if (!navigationItem().rightBarButtonItem()) navigationItem().setRightBarButtonItem(editButton_);
  } else {
    navigationItem().setRightBarButtonItem(nullptr);
  }
  if (table_ && table_->isEditing()) {
    table_->setEditing(false, true);
    editButton_ = BarButtonItem::system(BarButtonItem::SystemItem::Edit, [this](BarButtonItem&) { editButtonDidPush(); });
    if (navigationItem().rightBarButtonItem()) navigationItem().setRightBarButtonItem(editButton_);
  }
}

void BrowserTableController::editButtonDidPush() {
  if (table_->isEditing()) {
    table_->setEditing(false, true);
    if (Synth* s = synth()) patternNumber_ = s->pendingPattern();
    editButton_ = BarButtonItem::system(BarButtonItem::SystemItem::Edit, [this](BarButtonItem&) { editButtonDidPush(); });
  } else {
    editButton_ = BarButtonItem::system(BarButtonItem::SystemItem::Done, [this](BarButtonItem&) { editButtonDidPush(); });
    table_->setEditing(true, true);
  }
  navigationItem().setRightBarButtonItem(editButton_);
}

// ---- selection and the engine ------------------------------------------------------------

void BrowserTableController::selectRowForCurrentPattern(bool scroll, bool animated) {
  if (!provider_ || !table_) return;
  int32_t slot = 0, bank = 0;
  provider_->slotAndBankOf(static_cast<int32_t>(patternNumber_), &slot, &bank);
  if (mode_ == kLoad) {
    updateBankCategory(bank);
  } else {
    bankCategory_ = kUserCategory;
    if (categoryControl_) categoryControl_->setIndex(kUserCategory);
  }
  int64_t section = bank - retrieveStartSection(bankCategory_);
  if (section < 0) section = 0;
  // A number past the shown banks selects nothing rather than a row that
  // does not exist.
  if (section >= table_->numberOfSections() || slot < 0 || slot >= table_->numberOfRowsInSection(section)) {
    table_->selectRowAtIndexPath(std::nullopt, false, TableView::ScrollPosition::None);
    return;
  }
  const IndexPath ip{section, slot};
  if (scroll) {
    table_->selectRowAtIndexPath(ip, animated, TableView::ScrollPosition::Middle);
  } else {
    table_->selectRowAtIndexPath(ip, animated, TableView::ScrollPosition::None);
    showActivityIndicatorIfNeeded(ip);
  }
}

void BrowserTableController::showActivityIndicatorIfNeeded(const IndexPath& ip) {
  if (mode_ != kLoad || !table_) return;
  Synth* s = synth();
  auto* cell = dynamic_cast<BrowserTableViewCell*>(table_->cellForRowAtIndexPath(ip));
  if (cell && s && patternNumber_ != s->currentPatternIndex()) cell->indicator().startAnimating();
}

void BrowserTableController::patternChanged() {
  if (table_) {
    if (auto sel = table_->indexPathForSelectedRow())
      if (auto* cell = dynamic_cast<BrowserTableViewCell*>(table_->cellForRowAtIndexPath(*sel)))
        cell->indicator().stopAnimating();
  }
  if (top_) top_->currentModePatternChanged();
}

void BrowserTableController::patternStored(int64_t number) {
  Synth* s = synth();
  if (s && number == s->currentPatternIndex()) s->reloadPattern();
}

void BrowserTableController::tableViewDidReorder() {
  if (table_) table_->reloadData();
}

void BrowserTableController::sortTargetChanged(int segment) {
  auto* store = dynamic_cast<Z31647PatternStore*>(provider_);
  if (!store) return;
  switch (segment) {
    case 0: store->sortByFavorite(); break;
    case 1: store->sortByName(); break;
    case 2: store->sortByAuthor(); break;
    case 3: store->sortByTags(); break;
    default: break;
  }
  if (table_) table_->reloadData();
}

// ---- table ------------------------------------------------------------------------------

int64_t BrowserTableController::numberOfSections(TableView&) { return numberOfSection(bankCategory_); }

int64_t BrowserTableController::numberOfRowsInSection(TableView&, int64_t section) {
  const int32_t n = provider_->numberOfPatternsInBank(static_cast<int32_t>(retrieveStartSection(bankCategory_) + section));
  return n < 1 ? 0 : n;
}

std::optional<std::string> BrowserTableController::titleForHeaderInSection(TableView&, int64_t section) {
  if (!isCellAvailable(bankCategory_, {section, 0})) return std::string();
  const size_t bank = static_cast<size_t>(retrieveStartSection(bankCategory_) + section);
  return bank < bankNames_.size() ? bankNames_[bank] : std::string();
}

void BrowserTableController::configureCell(TableViewCell& c, const IndexPath& ip) {
  auto& cell = static_cast<BrowserTableViewCell&>(c);
  const int64_t number = patternNumberAt(ip);
  const auto n = static_cast<int32_t>(number);
  cell.setPatternName(provider_->columnText(n, 1), number);
  cell.setPatternTags(provider_->columnText(n, 3));
  cell.setPatternTempo(provider_->columnText(n, 4));
  Synth* s = synth();
  if (mode_ == kLoad) {
    cell.setAccessoryType(TableViewCell::Accessory::DetailDisclosureButton);
    const auto sel = table_->indexPathForSelectedRow();
    if (sel && *sel == ip && s && number != s->currentPatternIndex()) cell.indicator().startAnimating();
    else cell.indicator().stopAnimating();
  } else {
    cell.setAccessoryType(TableViewCell::Accessory::None);
    cell.indicator().stopAnimating();
  }
  cell.onDetailButton = [this, ip] { accessoryButtonTappedForRowWithIndexPath(ip); };
  cell.setNeedsLayout();
}

TableViewCellPtr BrowserTableController::cellForRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  auto cell = std::dynamic_pointer_cast<BrowserTableViewCell>(
      tv.dequeueReusableCellWithIdentifier(BrowserTableViewCell::kReuseIdentifier));
  if (!cell) {
    cell = std::make_shared<BrowserTableViewCell>();
    cell->contentView().setBackgroundColor(Color::clear());
    auto selected = std::make_shared<View>();
    selected->setBackgroundColor(Color::rgba(7 / 255.0, 122 / 255.0, 251 / 255.0, 0.9));
    cell->setSelectedBackgroundView(selected);
  }
  cell->setBackgroundColor(Color::white(1.0, 0.5));
  configureCell(*cell, ip);
  return cell;
}

bool BrowserTableController::canMoveRowAtIndexPath(TableView&, const IndexPath&) {
  return bankCategory_ == kUserCategory;
}

TableViewCellEditingStyle BrowserTableController::editingStyleForRowAtIndexPath(TableView&, const IndexPath&) {
  return bankCategory_ == kUserCategory ? TableViewCellEditingStyle::Delete : TableViewCellEditingStyle::None;
}

void BrowserTableController::commitEditingStyle(TableView& tv, TableViewCellEditingStyle style, const IndexPath& ip) {
  if (style != TableViewCellEditingStyle::Delete || bankCategory_ != kUserCategory) return;
  provider_->initializePattern(static_cast<int32_t>(ip.row),
                               static_cast<int32_t>(retrieveStartSection(bankCategory_) + ip.section));
  // The row keeps its place; only its texts change.
  if (TableViewCell* cell = tv.cellForRowAtIndexPath(ip)) configureCell(*cell, ip);
}

void BrowserTableController::moveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) {
  const int64_t start = retrieveStartSection(bankCategory_);
  provider_->movePatterns(static_cast<int32_t>(from.row), static_cast<int32_t>(start + from.section),
                          static_cast<int32_t>(to.row), static_cast<int32_t>(start + to.section));
  NotificationQueue::defaultQueue().enqueue(Notification{kTableViewDidReorder, {}, {}}, PostingStyle::ASAP);
}

void BrowserTableController::didSelectRowAtIndexPath(TableView&, const IndexPath& ip) {
  const int64_t previous = patternNumber_;
  patternNumber_ = patternNumberAt(ip);
  if (mode_ == kLoad) {
    if (!top_) return;
    if (patternNumber_ != previous) {
      top_->changePattern(static_cast<int32_t>(patternNumber_));
      top_->playButWaitUntilCurrentPatternFinished(true);
      showActivityIndicatorIfNeeded(ip);
    } else {
      top_->playButWaitUntilCurrentPatternFinished(false);
    }
    return;
  }
  // The row's name label, also when the row has scrolled out of sight.
  const std::string label = BrowserTableViewCell::patternNumberString(patternNumber_) + ": " +
                            provider_->columnText(static_cast<int32_t>(patternNumber_), 1);
  auto alert = std::make_shared<AlertView>(
      "SAVE", GBXLocalizedMessage::format(GBXLocalizedMessage::getText(kSaveMessage), {label}), this, "Cancel",
      std::vector<std::string>{"Save", "Save As"});
  alert_ = alert;
  alert->show();
}

void BrowserTableController::openInfoEditor(const IndexPath& ip) {
  attentioned_ = ip;
  auto editor = std::make_shared<BrowserPatternInfoController>();
  editor->setProvider(provider_);
  editor->setMode(mode_);
  editor->setPatternNumber(patternNumberAt(ip));
  editor->setTopController(top_);
  if (NavigationController* nav = navigationController()) nav->pushViewController(editor, true);
}

void BrowserTableController::accessoryButtonTappedForRowWithIndexPath(const IndexPath& ip) { openInfoEditor(ip); }

void BrowserTableController::didDismissWithButtonIndex(AlertView& alert, int index) {
  const std::optional<IndexPath> sel = table_ ? table_->indexPathForSelectedRow() : std::nullopt;
  if (!sel) return;
  const std::string button = alert.buttonTitleAtIndex(index);
  if (button == "Save") {
    Synth* s = synth();
    if (!s) return;
    const PatternRecord record = *s->currentPattern();
    const bool stored = provider_->storePattern(
        record, static_cast<int32_t>(sel->row), static_cast<int32_t>(retrieveStartSection(bankCategory_) + sel->section));
    if (!stored) showRefusedLibraryWrite();
    if (stored && patternNumber_ != s->currentPatternIndex() && top_) {
      top_->changePattern(static_cast<int32_t>(patternNumber_));
      if (s->isPlaying()) top_->playButWaitUntilCurrentPatternFinished(false);
    }
    if (NavigationController* nav = navigationController()) nav->popToRootViewControllerAnimated(true);
  } else if (button == "Save As") {
    openInfoEditor(*sel);
  }
}
