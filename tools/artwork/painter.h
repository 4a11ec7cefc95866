#pragma once
// Draws one entry of the artwork table with Cairo (no text engine, no fonts:
// captions use the dot font), at kScale pixels per point, deterministically.
//
// Layouts the controls bind:
// - knob strips: frame f of N shows the pointer at -150 + 300 f / (N - 1)
//   degrees clockwise from straight up (the absolute knob's mapping);
// - the encoder strip: frame f shows its finger dimple 15 f degrees
//   clockwise from straight down (the dial's re-anchoring);
// - the LCD sheet: glyph c is the c-th 12 x 18 point cell from the top,
//   inked in its left 9.6 points (the display's column pitch), lit dots
//   red-orange on transparent, blank for codes without a glyph.
//
// Thread-safe (every call draws on its own surface).

#include "platform/gfx/image.h"
#include "tools/artwork/artwork_table.h"

namespace artwork {

platform::ImagePtr paint(const Entry& entry);

// Colours the tests read back.
struct RGB {
  double r, g, b;
};
RGB lampColour(Lamp lamp);
// The colour a face lights up in for its look (the lamp for Active, the
// second colour of its shape for Selected); black for Normal.
RGB litColour(const Entry& face);
inline constexpr RGB kKnobPointer{0.95, 0.95, 0.95};
inline constexpr RGB kLcdInk{1.0, 0.26, 0.06};

// Centres of the panel's knobs and dial (design canvas points), for the
// printed scales around them.
struct KnobSpot {
  double x, y, w;
  const char* caption;
  int positions;  // scale ticks
};
const std::vector<KnobSpot>& panelKnobs();

}  // namespace artwork
