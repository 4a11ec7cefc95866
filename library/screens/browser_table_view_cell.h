#pragma once
// One row of the pattern browser: "NN: name" on the left (NN the slot
// within its bank, from 01), the tempo and the tags stacked on the right,
// and a spinner that runs while a chosen pattern waits to be loaded.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/table_view.h"
#include "platform/ui/widgets.h"

class BrowserTableViewCell : public platform::TableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "BrowserTableViewCell";

  BrowserTableViewCell();

  // "%02d" of number % 32 + 1.
  static std::string patternNumberString(int64_t number);
  // "NN: name".
  void setPatternName(const std::string& name, int64_t number);
  void setPatternTags(const std::string& tags);
  void setPatternTempo(const std::string& tempo);

  platform::Label& nameLabel() { return *name_; }
  platform::Label& tempoLabel() { return *tempo_; }
  platform::Label& tagsLabel() { return *tags_; }
  platform::ActivityIndicatorView& indicator() { return *indicator_; }
  // The detail-disclosure button's touch target (shown with that accessory,
  // outside editing); a tap runs `onDetailButton`.
  platform::Button& detailButton() { return *detail_; }
  std::function<void()> onDetailButton;

  // Deselecting stops the spinner.
  void setSelected(bool selected, bool animated) override;
  void layoutSubviews() override;

 private:
  std::shared_ptr<platform::Label> name_;
  std::shared_ptr<platform::Label> tempo_;
  std::shared_ptr<platform::Label> tags_;
  std::shared_ptr<platform::ActivityIndicatorView> indicator_;
  std::shared_ptr<platform::Button> detail_;
};
