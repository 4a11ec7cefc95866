#pragma once
// Fonts and text drawing over Pango, for the interface's labels, buttons and
// fields.
//
// Font names are the platform's ("HelveticaNeue", "Helvetica-Bold",
// "HelveticaNeue-Bold", the system font): the family maps to the configured
// sans family (DejaVu Sans unless $IGB_UI_FONT names another), and a name
// ending in "-Bold" (or containing "Bold") is bold, "-Medium" medium weight,
// "Italic"/"Oblique" italic. A name with a stray trailing blank is looked up
// without it. Sizes are in points.
//
// Text is laid out in lines no wider than the given width; `numberOfLines`
// 0 means as many as needed. Lines are drawn from the top of the rectangle.
//
// Thread-safe (Pango's font map is per thread). Not real-time-safe.

#include <string>

#include "platform/gfx/color.h"
#include "platform/gfx/geometry.h"
#include "platform/gfx/graphics_context.h"

namespace platform {

enum class TextAlignment { Left, Center, Right, Justified, Natural };
enum class LineBreakMode { WordWrap, CharWrap, Clip, TruncateHead, TruncateTail, TruncateMiddle };

struct Font {
  enum class Weight { Regular, Medium, Bold };
  std::string family;  // the Pango family the name resolved to
  double pointSize = 17.0;
  Weight weight = Weight::Regular;
  bool italic = false;
  std::string name;  // the name as asked for

  static Font named(const std::string& name, double size);
  static Font systemFont(double size);
  static Font boldSystemFont(double size);
  // The family every platform font name maps to.
  static std::string sansFamily();

  Font withSize(double size) const;
  // Height of one line of text.
  double lineHeight() const;
  double ascender() const;
  bool operator==(const Font&) const = default;
};

struct TextStyle {
  Font font = Font::systemFont(17.0);
  Color color = Color::black();
  TextAlignment alignment = TextAlignment::Natural;
  LineBreakMode lineBreak = LineBreakMode::TruncateTail;
  int numberOfLines = 1;
};

// The size the text needs inside `maxWidth` (0 or less: unbounded).
Size measureText(const std::string& text, const TextStyle& style, double maxWidth);
// Draws the text into `rect` (lines from its top, aligned horizontally).
// Returns the size the text took.
Size drawText(GraphicsContext& context, const std::string& text, const Rect& rect, const TextStyle& style);

}  // namespace platform
