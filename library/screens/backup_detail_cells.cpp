#include "library/screens/backup_detail_cells.h"

#include <algorithm>

using namespace platform;

namespace backup_cells {

TableViewCellPtr nameCell(TableView& tv, std::shared_ptr<TextField>& field, TextFieldDelegate* delegate,
                          const std::string& initialText, double rightInset) {
  auto cell = std::make_shared<TableViewCell>(TableViewCell::Style::Default, "");
  if (!field) {
    field = std::make_shared<TextField>();
    field->setFont(Font::boldSystemFont(16));
    field->setDelegate(delegate);
    field->setText(initialText);
  }
  field->setFrame(Rect(16, 0, std::max(0.0, tv.bounds().size.width - 16 - rightInset),
                       cell->contentView().bounds().size.height));
  field->setAutoresizingMask(Autoresizing::FlexibleWidth);
  cell->contentView().addSubview(field);
  return cell;
}

TableViewCellPtr commandCell(TableView& tv, const IndexPath& ip, const char* identifier) {
  static const Color kDeleteRed = Color::rgba(0.74, 0.08, 0.13, 1.0);
  TableViewCellPtr cell = tv.dequeueReusableCellWithIdentifier(identifier);
  if (!cell) cell = std::make_shared<TableViewCell>(TableViewCell::Style::Default, identifier);
  Label& text = cell->textLabel();
  text.setAdjustsFontSizeToFitWidth(true);
  text.setTextAlignment(TextAlignment::Center);
  if (ip.section == 1) {
    text.setText("Restore");
    text.setTextColor(Color::black());
    cell->setBackgroundColor(Color::whiteColor());
  } else {
    text.setText("Delete");
    text.setTextColor(Color::whiteColor());
    cell->setBackgroundColor(kDeleteRed);
  }
  return cell;
}

}  // namespace backup_cells
