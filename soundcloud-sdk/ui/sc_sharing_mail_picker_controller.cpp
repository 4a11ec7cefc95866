#include "soundcloud-sdk/ui/sc_sharing_mail_picker_controller.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>

#include "platform/runloop/run_loop.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_colors.h"

namespace scui {

using platform::Color;
using platform::Rect;
namespace AR = platform::Autoresizing;

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string join(const std::vector<std::string>& v, const std::string& sep) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) out += (i ? sep : "") + v[i];
  return out;
}

// The book's addresses in a list; a row chosen is handed back.
class SCContactListController : public platform::TableViewController {
 public:
  SCContactListController(std::vector<SCAddressEntry> entries, std::function<void(const std::string&)> chosen)
      : entries_(std::move(entries)), chosen_(std::move(chosen)) {}
  void viewDidLoad() override {
    platform::TableViewController::viewDidLoad();
    tableView()->setDataSource(this);
    tableView()->setTableDelegate(this);
    navigationItem().setTitle(SCLocalizedString("shared_to_email_adresses"));
    navigationItem().setLeftBarButtonItem(platform::BarButtonItem::system(
        platform::BarButtonItem::SystemItem::Cancel, [this](platform::BarButtonItem&) { dismissViewControllerAnimated(true, nullptr); }));
  }
  int64_t numberOfRowsInSection(platform::TableView&, int64_t) override { return static_cast<int64_t>(entries_.size()); }
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView& t, const platform::IndexPath& ip) override {
    auto cell = std::dynamic_pointer_cast<SCNameAndEmailCell>(t.dequeueReusableCellWithIdentifier(SCNameAndEmailCell::kIdentifier));
    if (!cell) cell = std::make_shared<SCNameAndEmailCell>();
    cell->setEntry(entries_.at(static_cast<size_t>(ip.row)));
    return cell;
  }
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override {
    chosen_(entries_.at(static_cast<size_t>(ip.row)).email);
  }

 private:
  std::vector<SCAddressEntry> entries_;
  std::function<void(const std::string&)> chosen_;
};

}  // namespace

// ---- parsing and filtering

bool scIsValidEmail(const std::string& token) {
  static const std::regex re("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,4}");
  return std::regex_match(token, re);
}

std::vector<std::string> scArrayOfEmailsInString(const std::string& text,
                                                 std::optional<std::vector<std::string>>* unparsable) {
  std::vector<std::string> valid, invalid;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= n) break;
    size_t j = i;
    while (j < n && text[j] != ',' && text[j] != ' ') ++j;
    if (j == i) {
      ++i;  // standing on a comma
      continue;
    }
    std::string token = text.substr(i, j - i);
    (scIsValidEmail(token) ? valid : invalid).push_back(std::move(token));
    i = j;
  }
  if (unparsable && !invalid.empty()) *unparsable = std::move(invalid);
  return valid;
}

std::vector<SCAddressEntry> scAutocomplete(const SCAddressBookData* data, const std::optional<std::string>& query) {
  std::vector<SCAddressEntry> matches;
  if (!data || !query) return matches;
  const std::string q = lower(*query);
  for (const auto& [key, entry] : *data)
    if (key.find(q) != std::string::npos) matches.push_back(entry);
  std::stable_sort(matches.begin(), matches.end(),
                   [](const SCAddressEntry& a, const SCAddressEntry& b) { return lower(a.name) < lower(b.name); });
  return matches;
}

// ---- the cell

SCNameAndEmailCell::SCNameAndEmailCell() : platform::TableViewCell(Style::Default, kIdentifier) {
  setFrame({0, 0, 320, 44});
  setBackgroundColor(Color::clear());
  auto make = [this](const platform::Font& f, const Color& c) {
    auto l = std::make_shared<platform::Label>();
    l->setFont(f);
    l->setTextColor(c);
    l->setBackgroundColor(Color::clear());
    contentView().addSubview(l);
    return l;
  };
  name_ = make(platform::Font::boldSystemFont(15), Color::black());
  email_ = make(platform::Font::systemFont(17), SCColors::listSubtitleColor());
  type_ = make(platform::Font::boldSystemFont(15), SCColors::listSubtitleColor());
}

void SCNameAndEmailCell::setEntry(const SCAddressEntry& e) {
  name_->setText(e.name);
  email_->setText(e.email);
  type_->setText(e.mailType.value_or(""));
}

void SCNameAndEmailCell::layoutSubviews() {
  platform::TableViewCell::layoutSubviews();
  name_->setFrame({11, 2, 289, 21});
  type_->setFrame({11, 20, 57, 21});
  email_->setFrame({76, 20, 224, 21});
}

// ---- the picker

SCSharingMailPickerController::SCSharingMailPickerController(SCSharingMailPickerControllerDelegate* delegate,
                                                             std::shared_ptr<SCContactsSource> source)
    : delegate_(delegate) {
  // The one fetch of the address book, on a worker.
  std::weak_ptr<bool> alive = alive_;
  platform::dispatchAsyncGlobal([source, alive, this] {
    if (alive.expired()) return;
    auto data = std::make_shared<const SCAddressBookData>(
        scAddressBookData(source ? source->allContacts() : std::vector<SCContact>{}));
    platform::dispatchAsyncMain([data, alive, this] {
      auto a = alive.lock();
      if (a && *a) setAddressBookData(data);
    });
  });
}

SCSharingMailPickerController::~SCSharingMailPickerController() {
  *alive_ = false;
  cancelAutocompletions();
}

void SCSharingMailPickerController::setAddressBookData(std::shared_ptr<const SCAddressBookData> data) {
  book_ = std::move(data);
  updateAutocompletionWithInputFieldValue(std::nullopt);
}

void SCSharingMailPickerController::setAutocompleteData(std::vector<SCAddressEntry> data) {
  suggestions_ = std::move(data);
  if (table_) table_->reloadData();
}

void SCSharingMailPickerController::setResult(const std::vector<std::string>& addresses) {
  if (!field_) {
    currentResult_ = addresses;
    return;
  }
  field_->setText(join(addresses, ", "));
  updateResult();
}

std::vector<std::string> SCSharingMailPickerController::result() {
  updateResult();
  return currentResult_;
}

void SCSharingMailPickerController::updateResult() {
  if (!field_) return;
  currentResult_.clear();
  std::optional<std::vector<std::string>> unparsable;
  for (const std::string& a : scArrayOfEmailsInString(field_->text(), &unparsable))
    if (std::find(currentResult_.begin(), currentResult_.end(), a) == currentResult_.end()) currentResult_.push_back(a);
  if (unparsable) std::fprintf(stderr, "unparsable mail adresses: %s\n", join(*unparsable, ", ").c_str());
}

void SCSharingMailPickerController::cancelAutocompletions() {
  for (auto& flag : pending_) flag->store(true);
  pending_.clear();
}

int SCSharingMailPickerController::pendingAutocompletions() const { return static_cast<int>(pending_.size()); }

void SCSharingMailPickerController::updateAutocompletionWithInputFieldValue(const std::optional<std::string>& value) {
  const std::string text = value ? *value : (field_ ? field_->text() : std::string());
  std::optional<std::vector<std::string>> unparsable;
  scArrayOfEmailsInString(text, &unparsable);
  std::optional<std::string> query;
  if (unparsable) query = join(*unparsable, " ");
  cancelAutocompletions();
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  pending_.push_back(cancelled);
  std::shared_ptr<const SCAddressBookData> book = book_;
  std::weak_ptr<bool> alive = alive_;
  platform::dispatchAsyncGlobal([book, query, cancelled, alive, this] {
    if (cancelled->load()) return;
    auto matches = scAutocomplete(book.get(), query);
    if (cancelled->load()) return;
    platform::dispatchAsyncMain([matches = std::move(matches), cancelled, alive, this]() mutable {
      auto a = alive.lock();
      if (!a || !*a || cancelled->load()) return;
      std::erase(pending_, cancelled);
      setAutocompleteData(std::move(matches));
    });
  });
}

void SCSharingMailPickerController::done() {
  updateResult();
  if (delegate_) delegate_->sharingMailPickerControllerDidFinish(*this, currentResult_);
}

void SCSharingMailPickerController::cancel() {
  if (delegate_) delegate_->sharingMailPickerControllerDidCancel(*this);
}

void SCSharingMailPickerController::addFromAB() {
  std::vector<SCAddressEntry> entries;
  if (book_)
    for (const auto& [k, e] : *book_) entries.push_back(e);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const SCAddressEntry& a, const SCAddressEntry& b) { return lower(a.name) < lower(b.name); });
  auto list = std::make_shared<SCContactListController>(std::move(entries),
                                                        [this](const std::string& a) { takeContactAddress(a); });
  auto nav = std::make_shared<platform::NavigationController>(list);
  platform::ViewController* presenter = navigationController() ? static_cast<platform::ViewController*>(navigationController()) : this;
  presenter->presentViewController(nav, true, nullptr);
}

void SCSharingMailPickerController::takeContactAddress(const std::string& address) {
  if (field_) {
    std::vector<std::string> valid = scArrayOfEmailsInString(field_->text(), nullptr);
    valid.push_back(address);
    field_->setText(join(valid, ", "));
  }
  platform::ViewController* presenter = navigationController() ? static_cast<platform::ViewController*>(navigationController()) : this;
  if (presenter->presentedViewController()) presenter->dismissViewControllerAnimated(true, nullptr);
}

void SCSharingMailPickerController::viewDidLoad() {
  platform::View& v = *view();
  navigationItem().setTitle(SCLocalizedString("shared_to_email_adresses"));
  v.setBackgroundColor(Color::white(0.93));
  navigationItem().setRightBarButtonItem(
      platform::BarButtonItem::system(platform::BarButtonItem::SystemItem::Done, [this](platform::BarButtonItem&) { done(); }));
  navigationItem().setLeftBarButtonItem(platform::BarButtonItem::system(
      platform::BarButtonItem::SystemItem::Cancel, [this](platform::BarButtonItem&) { cancel(); }));

  input_ = std::make_shared<platform::View>();
  input_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleBottomMargin);
  if (auto bg = SCBundle::imageWithName("mailInputBackground")) {
    const auto px = bg->pixel(bg->pixelWidth() / 2, bg->pixelHeight() / 2);
    input_->setBackgroundColor(Color::rgba(px.r / 255.0, px.g / 255.0, px.b / 255.0, 1));
  }
  addButton_ = std::make_shared<platform::Button>(platform::Button::Type::System);
  addButton_->setTitle("+", platform::ControlState::Normal);
  addButton_->titleLabel().setFont(platform::Font::systemFont(24));
  addButton_->setAutoresizingMask(AR::FlexibleLeftMargin | AR::FlexibleBottomMargin);
  addButton_->setBackgroundColor(Color::clear());
  addButton_->addTarget(this, "addFromAB:", [this](platform::Control&) { addFromAB(); },
                        platform::ControlEvents::TouchUpInside);
  label_ = std::make_shared<platform::Label>();
  label_->setText(SCLocalizedString("shared_to_to"));
  label_->setTextColor(Color::darkGray());
  label_->setBackgroundColor(Color::clear());
  field_ = std::make_shared<platform::TextField>();
  field_->setDelegate(this);
  field_->setAutoresizingMask(AR::FlexibleWidth);
  field_->setBackgroundColor(Color::clear());
  field_->setText(join(currentResult_, ", "));
  input_->addSubview(label_);
  input_->addSubview(field_);
  input_->addSubview(addButton_);
  v.addSubview(input_);
  table_ = std::make_shared<platform::TableView>(Rect{}, platform::TableView::Style::Plain);
  table_->setAutoresizingMask(AR::FlexibleWidth | AR::FlexibleBottomMargin);
  table_->setBackgroundColor(Color::white(0.93));
  table_->setRowHeight(44);
  table_->setDataSource(this);
  table_->setTableDelegate(this);
  v.addSubview(table_);
}

void SCSharingMailPickerController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  const Rect b = view()->bounds();
  const double W = b.size.width;
  input_->setFrame({0, 0, W, 44});
  label_->sizeToFit();
  const platform::Size ls = label_->frame().size;
  label_->setFrame({4, (44 - ls.height) / 2, ls.width, ls.height});
  addButton_->setFrame({0, 0, 44, 44});
  const platform::Size bs = addButton_->frame().size;
  addButton_->setFrame({W - 4 - bs.width, (44 - bs.height) / 2, bs.width, bs.height});
  field_->setFrame({label_->frame().maxX() + 4, 0, W - ls.width - bs.width - 16, 44});
  table_->setFrame({b.minX(), 44, W, b.size.height - 44});
}

void SCSharingMailPickerController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  if (field_) field_->becomeFirstResponder();
}

void SCSharingMailPickerController::viewWillDisappear(bool animated) {
  platform::ViewController::viewWillDisappear(animated);
  cancelAutocompletions();
}

bool SCSharingMailPickerController::shouldChangeCharacters(platform::TextField& f, size_t location, size_t length,
                                                           const std::string& replacement) {
  std::string next = f.text();
  if (location <= next.size()) next.replace(location, std::min(length, next.size() - location), replacement);
  updateAutocompletionWithInputFieldValue(next);
  return true;
}

bool SCSharingMailPickerController::textFieldShouldReturn(platform::TextField&) {
  done();
  return true;
}

int64_t SCSharingMailPickerController::numberOfRowsInSection(platform::TableView&, int64_t) {
  return static_cast<int64_t>(suggestions_.size());
}

platform::TableViewCellPtr SCSharingMailPickerController::cellForRowAtIndexPath(platform::TableView& t,
                                                                               const platform::IndexPath& ip) {
  auto cell = std::dynamic_pointer_cast<SCNameAndEmailCell>(t.dequeueReusableCellWithIdentifier(SCNameAndEmailCell::kIdentifier));
  if (!cell) cell = std::make_shared<SCNameAndEmailCell>();
  cell->setEntry(suggestions_.at(static_cast<size_t>(ip.row)));
  return cell;
}

void SCSharingMailPickerController::didSelectRowAtIndexPath(platform::TableView& t, const platform::IndexPath& ip) {
  const std::string email = suggestions_.at(static_cast<size_t>(ip.row)).email;
  std::vector<std::string> valid = scArrayOfEmailsInString(field_ ? field_->text() : std::string(), nullptr);
  valid.push_back(email);
  if (field_) field_->setText(join(valid, ", ") + ", ");
  setAutocompleteData({});
  t.deselectRowAtIndexPath(ip, true);
}

}  // namespace scui
