#include "library/screens/browser_pattern_info_controller.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>

#include "engine/synth/synth.h"
#include "library/screens/browser_table_controller.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/navigation_controller.h"

using namespace platform;

namespace {

struct FieldSpec {
  const char* placeholder;
  int64_t tag;
  size_t limit;  // characters the user may type
  size_t size;   // bytes of the record's field
};
constexpr FieldSpec kFields[3] = {
    {"Name", 10, 15, 16},
    {"Author", 11, 15, 16},
    {"Tags", 12, 255, 256},
};

char* fieldOf(PatternRecord& r, int row) {
  switch (row) {
    case 0: return r.tagParams.name;
    case 1: return r.tagParams.author;
    default: return r.tagParams.tags;
  }
}

// Characters (code points) of a UTF-8 text.
size_t characters(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string fieldText(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}

}  // namespace

// ---- cell ------------------------------------------------------------------------------

BrowserPatternInfoCell::BrowserPatternInfoCell() : TableViewCell(Style::Default, kReuseIdentifier) {
  const Rect b = contentView().bounds();
  title_ = std::make_shared<Label>(Rect(0, 0, 100, b.size.height));
  title_->setBackgroundColor(Color::clear());
  contentView().addSubview(title_);
  field_ = std::make_shared<TextField>(Rect(0, 0, b.size.width / 2, b.size.height));
  field_->setAutoresizingMask(Autoresizing::FlexibleLeftMargin | Autoresizing::FlexibleRightMargin |
                              Autoresizing::FlexibleTopMargin | Autoresizing::FlexibleBottomMargin);
  contentView().addSubview(field_);
}

void BrowserPatternInfoCell::layoutSubviews() {
  TableViewCell::layoutSubviews();
  const Rect b = contentView().bounds();
  title_->setFrame(Rect(0, 0, 100, b.size.height));
  // Half the content width, its centre 10 points right of the content's.
  const double w = b.size.width / 2;
  field_->setFrame(Rect(b.size.width / 2 + 10 - w / 2, 0, w, b.size.height));
}

// ---- controller -------------------------------------------------------------------------

BrowserPatternInfoController::BrowserPatternInfoController() : TableViewController(TableView::Style::Grouped) {
  setTitle("Pattern Info");
}

void BrowserPatternInfoController::loadView() {
  TableViewController::loadView();
  tableView()->setRowHeight(34);
  tableView()->setBackgroundColor(Color::black());
  tableView()->setAllowsSelection(false);
}

void BrowserPatternInfoController::viewDidLoad() { keys_ = {"Name:", "Author:", "Tags:"}; }

void BrowserPatternInfoController::viewWillAppear(bool animated) {
  if (provider_) {
    if (mode_ == kLoad) {
      params_ = provider_->patternAt(static_cast<int32_t>(patternNumber_));
    } else {
      Synth* s = top_ ? top_->synth() : nullptr;
      params_ = provider_->patternAt(s ? static_cast<int32_t>(s->currentPatternIndex())
                                       : static_cast<int32_t>(patternNumber_));
    }
  }
  if (mode_ == kSave) {
    navigationItem().setRightBarButtonItem(
        BarButtonItem::system(BarButtonItem::SystemItem::Save, [this](BarButtonItem&) { saveButtonDidPush(); }));
    navigationItem().setLeftBarButtonItem(
        BarButtonItem::system(BarButtonItem::SystemItem::Cancel, [this](BarButtonItem&) { cancelButtonDidPush(); }));
  }
  tableView()->reloadData();
  TableViewController::viewWillAppear(animated);
}

void BrowserPatternInfoController::viewWillDisappear(bool animated) {
  if (mode_ == kLoad) writeTagInformation();
  TableViewController::viewWillDisappear(animated);
}

Size BrowserPatternInfoController::preferredContentSize() const {
  return {360, const_cast<BrowserPatternInfoController*>(this)->view()->bounds().size.height};
}

TableViewCellPtr BrowserPatternInfoController::cellForRowAtIndexPath(TableView& tv, const IndexPath& ip) {
  auto cell = std::dynamic_pointer_cast<BrowserPatternInfoCell>(
      tv.dequeueReusableCellWithIdentifier(BrowserPatternInfoCell::kReuseIdentifier));
  if (!cell) {
    cell = std::make_shared<BrowserPatternInfoCell>();
    cell->textField().setDelegate(this);
    cell->textField().setTextAlignment(TextAlignment::Left);
  }
  const int row = static_cast<int>(std::clamp<int64_t>(ip.row, 0, 2));
  const FieldSpec& f = kFields[row];
  cell->titleLabel().setText(keys_[static_cast<size_t>(row)]);
  cell->textField().setText(fieldText(fieldOf(params_, row), f.size));
  cell->textField().setPlaceholder(f.placeholder);
  cell->textField().setTag(f.tag);
  cell->textField().setUserInteractionEnabled(mode_ == kSave || patternNumber_ > kLastFixedPattern);
  return cell;
}

BrowserPatternInfoCell* BrowserPatternInfoController::cellAt(int row) {
  return dynamic_cast<BrowserPatternInfoCell*>(tableView()->cellForRowAtIndexPath({0, row}));
}

bool BrowserPatternInfoController::shouldChangeCharacters(TextField& field, size_t location, size_t length,
                                                          const std::string& replacement) {
  size_t limit = 0;
  for (const FieldSpec& f : kFields)
    if (f.tag == field.tag()) limit = f.limit;
  if (limit == 0) return true;
  const std::string& text = field.text();
  const size_t loc = std::min(location, text.size());
  const size_t len = std::min(length, text.size() - loc);
  const size_t replaced = characters(text.substr(loc, len));
  const size_t added = characters(replacement);
  // A change that does not lengthen the text is always fine; otherwise the
  // result must stay within the limit (so a paste cannot overflow either).
  if (added <= replaced) return true;
  return characters(text) - replaced + added <= limit;
}

bool BrowserPatternInfoController::textFieldShouldReturn(TextField& field) {
  field.resignFirstResponder();
  return true;
}

void BrowserPatternInfoController::textFieldDidEndEditing(TextField& field) {
  field.setText(translateAsciiString(field.text()));
}

std::string BrowserPatternInfoController::translateAsciiString(const std::string& utf8) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  std::string decomposed;
  if (U_SUCCESS(status)) {
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(utf8);
    icu::UnicodeString out = nfd->normalize(s, status);
    if (U_SUCCESS(status)) out.toUTF8String(decomposed);
  }
  if (!U_SUCCESS(status)) decomposed = utf8;
  std::string ascii;
  for (unsigned char c : decomposed)
    if (c < 127) ascii.push_back(static_cast<char>(c));
  return ascii;
}

bool BrowserPatternInfoController::writeTagInformation() {
  bool changed = false;
  for (int row = 0; row < 3; ++row) {
    BrowserPatternInfoCell* cell = cellAt(row);
    if (!cell) continue;
    const FieldSpec& f = kFields[row];
    std::string text = translateAsciiString(cell->textField().text());
    // The field keeps a terminating zero byte: readers stop at it.
    if (text.size() > f.size - 1) text.resize(f.size - 1);
    char buf[256] = {};
    std::memcpy(buf, text.data(), text.size());
    char* field = fieldOf(params_, row);
    if (std::memcmp(buf, field, f.size) != 0) {
      std::memcpy(field, buf, f.size);
      changed = true;
    }
  }
  if (changed && provider_ && !provider_->storeTagInfo(params_, static_cast<int32_t>(patternNumber_)) &&
      !showRefusedLibraryWrite()) {
    auto alert = std::make_shared<AlertView>("Disk Space Warning", "There is not enough free space on the device.",
                                             nullptr, std::nullopt, std::vector<std::string>{"OK"});
    alert->show();
  }
  if (NavigationController* nav = navigationController())
    if (auto* browser = dynamic_cast<BrowserTableController*>(nav->topViewController())) {
      browser->setReloadAttentionedItem(changed);
      browser->setSelectCurrentItem(false);
    }
  return changed;
}

void BrowserPatternInfoController::saveButtonDidPush() {
  Synth* s = top_ ? top_->synth() : nullptr;
  if (s && provider_) {
    const PatternRecord record = *s->currentPattern();
    if (provider_->storePattern(record, static_cast<int32_t>(patternNumber_))) {
      params_.sequencerParams.tempo = record.sequencerParams.tempo;
      writeTagInformation();
      if (patternNumber_ != s->currentPatternIndex()) {
        top_->changePattern(static_cast<int32_t>(patternNumber_));
        if (s->isPlaying()) top_->playButWaitUntilCurrentPatternFinished(false);
      }
    } else {
      showRefusedLibraryWrite();
    }
  }
  if (NavigationController* nav = navigationController()) nav->popToRootViewControllerAnimated(true);
}

void BrowserPatternInfoController::cancelButtonDidPush() {
  if (NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}
