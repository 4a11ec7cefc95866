#pragma once
// The front panel's two-row character display: a title row above a value
// row, 14 cells each, every cell a layer whose contents is a glyph cut from a
// character sheet (one glyph wide, `numOfCharacters` glyphs stacked from the
// top; the glyph of code c is the c-th strip). It draws no text itself.
//
// Texts are UTF-8; each UTF-16 unit of a text fills one cell, so a character
// with no glyph in the sheet (any code at or past `numOfCharacters`) leaves
// its cell blank. Characters past the 14th are not shown.
//
// Disabling the control hides all 28 cells at once (the message queue blinks
// the display this way); the cells keep their glyphs for when it is enabled
// again. Cell changes never animate.
//
// The four indicator signs are accepted and show nothing.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/lcd_manager.h"
#include "platform/gfx/image.h"
#include "platform/ui/control.h"
#include "platform/ui/layer.h"

class UILCDView : public platform::Control, public LCDDisplay {
 public:
  static constexpr int kCellsPerRow = 14;

  explicit UILCDView(const platform::Rect& frame = {});

  // ---- LCDDisplay
  void setTitle(const std::string& title) override;
  void setValue(const std::string& value) override;
  const std::string& title() const override { return title_; }
  const std::string& value() const override { return value_; }
  void setMessageType(int64_t type) override { messageType_ = type; }
  int64_t messageType() const override { return messageType_; }
  void setEnabled(bool enabled) override;
  bool isEnabled() const override { return Control::isEnabled(); }
  void setSignOn(int64_t sign, bool on) override;
  void setPartSignIndex(int32_t index) override;

  void turnsOn(int64_t sign) { setSignOn(sign, true); }
  void turnsOff(int64_t sign) { setSignOn(sign, false); }

  const platform::ImagePtr& characters() const { return characters_; }
  void setCharacters(platform::ImagePtr sheet);
  uint64_t numOfCharacters() const { return numOfCharacters_; }
  void setNumOfCharacters(uint64_t count);

  // The glyph of `code`; nullptr when the sheet has no strip for it.
  platform::ImagePtr cropChar(uint16_t code) const;

  double unitHeight() const { return unitHeight_; }
  double columnWidth() const { return columnWidth_; }
  double rowHeight() const { return rowHeight_; }
  const std::vector<platform::LayerPtr>& titleLayers() const { return titleLayers_; }
  const std::vector<platform::LayerPtr>& valueLayers() const { return valueLayers_; }
  // Recording, original value, motion recording, part: nothing assigns them.
  const std::array<std::weak_ptr<platform::View>, 4>& signs() const { return signs_; }

  void layoutSubviews() override;

 private:
  void myInit();
  void characterSizeDidChange();
  void layout();
  void fillRow(const std::string& text, std::vector<platform::LayerPtr>& cells);

  std::string title_;
  std::string value_;
  int64_t messageType_ = 0;
  platform::ImagePtr characters_;
  uint64_t numOfCharacters_ = 0;
  // Each glyph cut from the sheet once and shared by every cell showing it,
  // so a refresh that keeps a cell's character keeps its picture (and
  // redraws nothing there). Emptied when the sheet or its rows change.
  mutable std::vector<platform::ImagePtr> glyphs_;
  double unitHeight_ = 0.0;
  double columnWidth_ = 0.0;
  double rowHeight_ = 0.0;
  std::vector<platform::LayerPtr> titleLayers_;
  std::vector<platform::LayerPtr> valueLayers_;
  std::array<std::weak_ptr<platform::View>, 4> signs_;
};

// The UTF-16 units of a UTF-8 text (invalid bytes count as U+FFFD).
std::u16string lcdCodeUnits(const std::string& utf8);
