#pragma once
// The artwork's own 5 x 7 dot font: printable ASCII (0x20-0x7E), drawn for
// the panel's labels, the button captions and the LCD's character sheet. It
// is plain data, so the images come out the same on every machine.

#include <array>
#include <cstdint>
#include <string_view>

namespace artwork {

inline constexpr int kDotColumns = 5;
inline constexpr int kDotRows = 7;

// Row r (0 = top) of the glyph of `c` as five bits, bit 4 the leftmost
// dot; nullptr-like all-zero rows for characters outside the font.
std::array<uint8_t, kDotRows> glyphRows(char32_t c);
bool hasGlyph(char32_t c);
// Dots across a text: 5 per character, 1 between characters.
int textWidthInDots(std::string_view text);

}  // namespace artwork
