#pragma once
// A styled text: UTF-8 text with attributes per character. Ranges and
// indices count UTF-16 code units, as the sharing layer's lengths do.
//
// Attributes: font, text colour, underline style (0 none, 1 single) and a
// paragraph style of two settings, alignment (0 left, 1 right, 2 centre,
// 3 justified, 4 natural) and line-break mode (0 word wrap, 1 character
// wrap, 2 clip, 3 truncate head, 4 tail, 5 middle). A setter without a
// range covers the whole text; a range reaching past the end stops there.
//
// Plain value.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/color.h"
#include "platform/gfx/text.h"

namespace scui {

struct OHRange {
  size_t location = 0;
  size_t length = 0;
  size_t end() const { return location + length; }
  bool contains(size_t index) const { return index >= location && index - location < length; }
  bool intersects(const OHRange& o) const { return location < o.end() && o.location < end(); }
  bool operator==(const OHRange&) const = default;
};

namespace OHTextAlignment {
enum : uint8_t { Left = 0, Right = 1, Center = 2, Justified = 3, Natural = 4 };
}
namespace OHLineBreak {
enum : uint8_t { WordWrap = 0, CharWrap = 1, Clip = 2, TruncateHead = 3, TruncateTail = 4, TruncateMiddle = 5 };
}

struct OHParagraphStyle {
  uint8_t alignment = OHTextAlignment::Natural;
  uint8_t lineBreak = OHLineBreak::WordWrap;
  bool operator==(const OHParagraphStyle&) const = default;
};

struct OHTextAttributes {
  std::optional<platform::Font> font;
  std::optional<platform::Color> color;
  std::optional<int32_t> underline;
  std::optional<OHParagraphStyle> paragraph;
  bool operator==(const OHTextAttributes&) const = default;
};

class OHAttributedString {
 public:
  OHAttributedString() = default;
  explicit OHAttributedString(std::string text);

  // Nothing for nothing, as the platform's constructors answer nil.
  static std::optional<OHAttributedString> attributedStringWithString(const std::optional<std::string>& text);
  static std::optional<OHAttributedString> attributedStringWithAttributedString(
      const std::optional<OHAttributedString>& other);

  const std::string& string() const { return text_; }
  size_t length() const { return attrs_.size(); }
  OHRange fullRange() const { return {0, length()}; }
  const OHTextAttributes& attributesAtIndex(size_t index) const { return attrs_.at(index); }
  // The first occurrence of `part` (UTF-16 range); empty when absent.
  std::optional<OHRange> rangeOfString(const std::string& part) const;

  // UTF-16 index to byte offset (the length gives the text's size) and back
  // (a byte inside a character gives that character).
  size_t byteOffset(size_t unitIndex) const;
  size_t unitIndex(size_t byteOffset) const;

  void setFont(const platform::Font& font, OHRange range);
  // False (and nothing changes) for an empty name or a size of 0 or less.
  bool setFontName(const std::string& name, double size, OHRange range);
  bool setFontFamily(const std::string& family, double size, bool bold, bool italic, OHRange range);
  void setTextColor(const platform::Color& color, OHRange range);
  void setTextIsUnderlined(bool underlined, OHRange range) { setTextUnderlineStyle(underlined ? 1 : 0, range); }
  void setTextUnderlineStyle(int32_t style, OHRange range);
  void setTextAlignment(uint8_t alignment, uint8_t lineBreak, OHRange range);

  void setFont(const platform::Font& font) { setFont(font, fullRange()); }
  bool setFontName(const std::string& name, double size) { return setFontName(name, size, fullRange()); }
  void setTextColor(const platform::Color& color) { setTextColor(color, fullRange()); }
  void setTextIsUnderlined(bool underlined) { setTextIsUnderlined(underlined, fullRange()); }
  void setTextAlignment(uint8_t alignment, uint8_t lineBreak) { setTextAlignment(alignment, lineBreak, fullRange()); }

  bool operator==(const OHAttributedString&) const = default;

 private:
  template <typename F>
  void apply(OHRange range, F&& f);

  std::string text_;
  std::vector<size_t> unitBytes_;  // byte offset of each UTF-16 unit (a surrogate pair's second unit shares it)
  std::vector<OHTextAttributes> attrs_;
};

// Web addresses found in a text: "http://", "https://" and "ftp://"
// addresses and ones starting "www." (opened as http), each running to the
// next blank or angle bracket, less trailing punctuation. Ranges in UTF-16
// units.
struct OHLink {
  OHRange range;
  std::string url;
  bool operator==(const OHLink&) const = default;
};
std::vector<OHLink> ohDetectLinks(const OHAttributedString& text);

}  // namespace scui
