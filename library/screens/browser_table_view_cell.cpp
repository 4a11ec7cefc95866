#include "library/screens/browser_table_view_cell.h"

#include <algorithm>
#include <cstdio>

using namespace platform;

BrowserTableViewCell::BrowserTableViewCell() : TableViewCell(Style::Default, kReuseIdentifier) {
  // The layout the row's interface file would give: the name over most of
  // the width, tempo and tags in a column at the right, the spinner
  // between them.
  name_ = std::make_shared<Label>(Rect(10, 0, 190, 39));
  name_->setFont(Font::boldSystemFont(15));
  name_->setBackgroundColor(Color::clear());
  tempo_ = std::make_shared<Label>(Rect(240, 0, 110, 39));
  tempo_->setFont(Font::systemFont(11));
  tempo_->setBackgroundColor(Color::clear());
  tempo_->setTextColor(Color::darkGray());
  tags_ = std::make_shared<Label>(Rect(240, 19, 110, 20));
  tags_->setFont(Font::systemFont(11));
  tags_->setBackgroundColor(Color::clear());
  tags_->setTextColor(Color::darkGray());
  indicator_ = std::make_shared<ActivityIndicatorView>(ActivityIndicatorView::Style::Gray);
  indicator_->setFrame(Rect(205, 9.5, 20, 20));
  indicator_->setHidesWhenStopped(true);
  for (const auto& v : std::initializer_list<ViewPtr>{name_, tempo_, tags_, indicator_}) contentView().addSubview(v);
  detail_ = std::make_shared<Button>(Button::Type::Custom);
  detail_->setHidden(true);
  detail_->addTarget(this, "detailButton:", [this](Control&) {
    if (onDetailButton) onDetailButton();
  }, ControlEvents::TouchUpInside);
  addSubview(detail_);
}

std::string BrowserTableViewCell::patternNumberString(int64_t number) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(number % 32 + 1));
  return buf;
}

void BrowserTableViewCell::setPatternName(const std::string& name, int64_t number) {
  name_->setText(patternNumberString(number) + ": " + name);
}

void BrowserTableViewCell::setPatternTags(const std::string& tags) { tags_->setText(tags); }

void BrowserTableViewCell::setPatternTempo(const std::string& tempo) { tempo_->setText(tempo); }

void BrowserTableViewCell::setSelected(bool selected, bool animated) {
  TableViewCell::setSelected(selected, animated);
  if (!selected) indicator_->stopAnimating();
}

void BrowserTableViewCell::layoutSubviews() {
  TableViewCell::layoutSubviews();
  const Rect content = contentView().frame();
  const double w = content.size.width;
  name_->setFrame(Rect(10, 0, std::max(0.0, w * 0.62 - 10), content.size.height));
  indicator_->setFrame(Rect(w * 0.62, (content.size.height - 20) / 2, 20, 20));
  tempo_->setFrame(Rect(w * 0.62 + 24, 0, std::max(0.0, w * 0.38 - 28), content.size.height));
  const bool showDetail = accessoryType() == Accessory::DetailDisclosureButton && !isEditing();
  detail_->setHidden(!showDetail);
  detail_->setFrame(Rect(content.maxX(), 0, std::max(0.0, bounds().size.width - content.maxX()), bounds().size.height));
  bringSubviewToFront(detail_.get());
  const Rect name = name_->frame();
  Rect tempo = tempo_->frame();
  tempo.size.height = name.size.height / 2;
  tempo_->setFrame(tempo);
  tags_->setFrame(Rect(tempo.origin.x, tempo.maxY(), tempo.size.width, tempo.size.height));
}
