#pragma once
// The rows both backup detail screens (the iCloud one and the documents
// folder one) are made of: the name row that holds the screen's rename
// field, and the Restore and Delete command rows.
//
// Main thread only.

#include <memory>
#include <string>

#include "platform/ui/table_view.h"
#include "platform/ui/text_field.h"

namespace backup_cells {

// A row holding `field`, made on first use (bold 16 pt, `delegate`, showing
// `initialText`) and kept by the screen across reloads; it spans the table
// less `rightInset` points.
platform::TableViewCellPtr nameCell(platform::TableView& tv, std::shared_ptr<platform::TextField>& field,
                                    platform::TextFieldDelegate* delegate, const std::string& initialText,
                                    double rightInset);

// Section 1 is "Restore" in black on white, any other "Delete" in white on
// red; the rows reuse cells under `identifier`.
platform::TableViewCellPtr commandCell(platform::TableView& tv, const platform::IndexPath& ip, const char* identifier);

}  // namespace backup_cells
