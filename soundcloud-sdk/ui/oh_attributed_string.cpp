#include "soundcloud-sdk/ui/oh_attributed_string.h"

#include <algorithm>
#include <cctype>

namespace scui {

OHAttributedString::OHAttributedString(std::string text) : text_(std::move(text)) {
  for (size_t i = 0; i < text_.size();) {
    const unsigned char c = static_cast<unsigned char>(text_[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (i + n > text_.size()) n = text_.size() - i;
    unitBytes_.push_back(i);
    if (n == 4) unitBytes_.push_back(i);  // outside the basic plane: two UTF-16 units
    i += n;
  }
  attrs_.resize(unitBytes_.size());
}

std::optional<OHAttributedString> OHAttributedString::attributedStringWithString(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return OHAttributedString(*text);
}

std::optional<OHAttributedString> OHAttributedString::attributedStringWithAttributedString(
    const std::optional<OHAttributedString>& other) {
  return other;
}

std::optional<OHRange> OHAttributedString::rangeOfString(const std::string& part) const {
  if (part.empty()) return std::nullopt;
  const size_t pos = text_.find(part);
  if (pos == std::string::npos) return std::nullopt;
  const size_t start = unitIndex(pos);
  return OHRange{start, unitIndex(pos + part.size()) - start};
}

size_t OHAttributedString::byteOffset(size_t unit) const {
  return unit >= unitBytes_.size() ? text_.size() : unitBytes_[unit];
}

size_t OHAttributedString::unitIndex(size_t byte) const {
  if (byte >= text_.size()) return unitBytes_.size();
  auto it = std::upper_bound(unitBytes_.begin(), unitBytes_.end(), byte);
  size_t idx = static_cast<size_t>(it - unitBytes_.begin()) - 1;
  // The first unit of a pair.
  while (idx > 0 && unitBytes_[idx - 1] == unitBytes_[idx]) --idx;
  return idx;
}

template <typename F>
void OHAttributedString::apply(OHRange range, F&& f) {
  const size_t end = std::min(range.end(), attrs_.size());
  for (size_t i = range.location; i < end; ++i) f(attrs_[i]);
}

void OHAttributedString::setFont(const platform::Font& font, OHRange range) {
  apply(range, [&](OHTextAttributes& a) { a.font = font; });
}

bool OHAttributedString::setFontName(const std::string& name, double size, OHRange range) {
  if (name.empty() || !(size > 0)) return false;
  setFont(platform::Font::named(name, size), range);
  return true;
}

bool OHAttributedString::setFontFamily(const std::string& family, double size, bool bold, bool italic, OHRange range) {
  if (family.empty() || !(size > 0)) return false;
  platform::Font f = platform::Font::named(family, size);
  f.weight = bold ? platform::Font::Weight::Bold : platform::Font::Weight::Regular;
  f.italic = italic;
  setFont(f, range);
  return true;
}

void OHAttributedString::setTextColor(const platform::Color& color, OHRange range) {
  apply(range, [&](OHTextAttributes& a) { a.color = color; });
}

void OHAttributedString::setTextUnderlineStyle(int32_t style, OHRange range) {
  apply(range, [&](OHTextAttributes& a) { a.underline = style; });
}

void OHAttributedString::setTextAlignment(uint8_t alignment, uint8_t lineBreak, OHRange range) {
  apply(range, [&](OHTextAttributes& a) { a.paragraph = OHParagraphStyle{alignment, lineBreak}; });
}

std::vector<OHLink> ohDetectLinks(const OHAttributedString& text) {
  std::vector<OHLink> links;
  const std::string& s = text.string();
  auto startsAt = [&](size_t i, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    if (i + n > s.size()) return false;
    for (size_t k = 0; k < n; ++k)
      if (std::tolower(static_cast<unsigned char>(s[i + k])) != prefix[k]) return false;
    return true;
  };
  auto boundary = [&](size_t i) {
    return i == 0 || !(std::isalnum(static_cast<unsigned char>(s[i - 1])) || s[i - 1] == '.' || s[i - 1] == '/' ||
                       s[i - 1] == '@' || s[i - 1] == '-');
  };
  size_t i = 0;
  while (i < s.size()) {
    size_t prefix = 0;
    bool www = false;
    if (boundary(i)) {
      for (const char* p : {"https://", "http://", "ftp://"})
        if (startsAt(i, p)) prefix = std::char_traits<char>::length(p);
      if (!prefix && startsAt(i, "www.")) {
        prefix = 4;
        www = true;
      }
    }
    if (!prefix) {
      ++i;
      continue;
    }
    size_t end = i + prefix;
    while (end < s.size()) {
      const unsigned char c = static_cast<unsigned char>(s[end]);
      if (std::isspace(c) || c == '<' || c == '>' || c == '"') break;
      ++end;
    }
    // Punctuation that ends a sentence is not part of the address.
    while (end > i + prefix && std::string_view(".,;:!?)'").find(s[end - 1]) != std::string_view::npos) --end;
    if (end > i + prefix && (!www || s.find('.', i + prefix) < end)) {
      const size_t from = text.unitIndex(i), to = text.unitIndex(end);
      std::string url = s.substr(i, end - i);
      if (www) url = "http://" + url;
      links.push_back({{from, to - from}, url});
    }
    i = std::max(end, i + 1);
  }
  return links;
}

}  // namespace scui
