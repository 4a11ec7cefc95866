#include "controls/ui_lcd_view.h"

#include "platform/ui/screen.h"

namespace {

// The sheet's glyphs overlap their neighbours by this much; the constant is
// a float, so the pitch is the sheet width minus 2.4000000953674316.
constexpr float kCellOverlap = 2.4f;
constexpr double kRowGap = 5.0;

platform::LayerPtr makeCell() {
  auto cell = std::make_shared<platform::Layer>();
  cell->setContentsScale(platform::Screen::mainScreen().scale());
  for (const char* key : {"onOrderIn", "onOrderOut", "hidden", "contents", "position", "bounds", "transform"})
    cell->setActionDisabled(key);
  return cell;
}

}  // namespace

std::u16string lcdCodeUnits(const std::string& s) {
  std::u16string out;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b >> 5) == 0x6) {
      len = 2;
    } else if ((b >> 4) == 0xE) {
      len = 3;
    } else if ((b >> 3) == 0x1E) {
      len = 4;
    }
    if (len > 1) {
      bool ok = i + len <= n;
      char32_t v = b & (0x7F >> len);
      for (size_t k = 1; ok && k < len; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c >> 6) != 0x2) ok = false;
        v = (v << 6) | (c & 0x3F);
      }
      static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[len] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
        cp = v;
      } else {
        len = 1;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

UILCDView::UILCDView(const platform::Rect& frame) : Control(frame) { myInit(); }

void UILCDView::myInit() {
  setBackgroundColor(platform::Color::clear());
  columnWidth_ = 0.0;
  rowHeight_ = 0.0;
  for (auto* row : {&titleLayers_, &valueLayers_}) {
    for (int i = 0; i < kCellsPerRow; ++i) {
      platform::LayerPtr cell = makeCell();
      layer().addSublayer(cell);
      row->push_back(std::move(cell));
    }
  }
}

void UILCDView::setTitle(const std::string& title) {
  if (title == title_) return;
  title_ = title;
  fillRow(title_, titleLayers_);
}

void UILCDView::setValue(const std::string& value) {
  if (value == value_) return;
  value_ = value;
  fillRow(value_, valueLayers_);
}

void UILCDView::fillRow(const std::string& text, std::vector<platform::LayerPtr>& cells) {
  const std::u16string units = lcdCodeUnits(text);
  for (size_t i = 0; i < cells.size(); ++i) cells[i]->setContents(i < units.size() ? cropChar(units[i]) : nullptr);
}

void UILCDView::setEnabled(bool enabled) {
  Control::setEnabled(enabled);
  for (auto* row : {&titleLayers_, &valueLayers_})
    for (const platform::LayerPtr& cell : *row) cell->setHidden(!enabled);
}

void UILCDView::setSignOn(int64_t, bool) {}
void UILCDView::setPartSignIndex(int32_t) {}

void UILCDView::setCharacters(platform::ImagePtr sheet) {
  characters_ = std::move(sheet);
  characterSizeDidChange();
}

void UILCDView::setNumOfCharacters(uint64_t count) {
  numOfCharacters_ = count;
  characterSizeDidChange();
}

void UILCDView::characterSizeDidChange() {
  glyphs_.clear();
  if (numOfCharacters_ == 0) return;
  const platform::Size sheet = characters_ ? characters_->size() : platform::Size{};
  unitHeight_ = sheet.height / static_cast<double>(numOfCharacters_);
  columnWidth_ = sheet.width - static_cast<double>(kCellOverlap);
  rowHeight_ = unitHeight_ + kRowGap;
  layout();
}

void UILCDView::layoutSubviews() {
  Control::layoutSubviews();
  layout();
}

void UILCDView::layout() {
  const double h = bounds().size.height;
  const double w = characters_ ? characters_->size().width : 0.0;
  for (int i = 0; i < kCellsPerRow; ++i) {
    const double x = columnWidth_ * i;
    titleLayers_[static_cast<size_t>(i)]->setFrame({x, h - (rowHeight_ + unitHeight_), w, unitHeight_});
    valueLayers_[static_cast<size_t>(i)]->setFrame({x, h - unitHeight_, w, unitHeight_});
  }
}

platform::ImagePtr UILCDView::cropChar(uint16_t code) const {
  if (!characters_) return nullptr;
  if (code < glyphs_.size() && glyphs_[code]) return glyphs_[code];
  const double s = characters_->scale();
  const platform::Rect strip{0, unitHeight_ * s * code, characters_->size().width * s, unitHeight_ * s};
  if (strip.size.height <= 0 || strip.size.width <= 0) return nullptr;
  // A strip that starts at the sheet's end (up to rounding) has no glyph:
  // it must not come out as a sliver of the last row.
  if (strip.origin.y >= characters_->pixelHeight() - 1e-6) return nullptr;
  platform::ImagePtr glyph = characters_->cropped(strip, s);
  if (glyphs_.size() <= code) glyphs_.resize(static_cast<size_t>(code) + 1);
  glyphs_[code] = glyph;
  return glyph;
}
