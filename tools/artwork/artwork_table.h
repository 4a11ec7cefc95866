#pragma once
// The table the artwork generator draws from: one entry per PNG of the
// bundle, with its kind, its size in points (of one frame for strips), its
// caption and its look. Every name of the image table (controls/
// image_table.h) has an entry, and so do the faces the main screen loads by
// name (knob strips, static buttons, lamp backplate, panel background).
// Further screens add entries here.

#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/geometry.h"

namespace artwork {

// Pixels per point of every generated image.
inline constexpr double kScale = 2.0;

enum class Kind {
  Face,          // a button face in one of its looks
  Led,           // a lit lamp lens (red or green), transparent around it
  LedBackplate,  // the unlit lamp socket under every lamp
  KnobStrip,     // frames of a knob, pointer from -150 to +150 degrees
  EncoderStrip,  // frames of the endless dial, marker 15 degrees apart
  LcdFont,       // the LCD's character sheet: one glyph wide, 128 tall
  Panel,         // the front panel's background with its printed labels
  Pictogram,     // a picture of a knob gesture
};

// Shapes of button faces.
enum class Shape { Function, Small, Part, Step, Arrow };
// The looks a face comes in.
enum class Look { Normal, Active, Selected, ActivePressed, SelectedPressed };
// The colour a face lights up in.
enum class Lamp { Amber, Red, Green, White, Cyan };

struct Entry {
  std::string name;
  Kind kind = Kind::Face;
  platform::Size size;  // points, one frame
  std::string label;    // caption; '\n' starts a second line
  Shape shape = Shape::Function;
  Look look = Look::Normal;
  Lamp lamp = Lamp::Amber;
  int frames = 1;
  bool active = false;  // knob strips: the look while touched
  int variant = 0;      // arrows: -1 left, 1 right; lamps: 0 red, 1 green; pictograms: 0 linear, 1 rotary
};

// Every image, each name once, in a fixed order.
const std::vector<Entry>& table();
const Entry* find(std::string_view name);
// Size of the whole image in points (strips stack their frames downward).
platform::Size imageSize(const Entry& e);

// The knob strips the panel loads by name (without "_Active").
const std::vector<std::string>& knobNames();

}  // namespace artwork
