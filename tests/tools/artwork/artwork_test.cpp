#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "controls/image_table.h"
#include "tools/artwork/artwork_table.h"
#include "tools/artwork/dot_font.h"
#include "tools/artwork/painter.h"

using artwork::Entry;
using artwork::Kind;
using platform::Image;

namespace {

constexpr double kPi = 3.14159265358979323846;

const Entry& entry(const char* name) {
  const Entry* e = artwork::find(name);
  EXPECT_NE(e, nullptr) << name;
  static Entry none;
  return e ? *e : none;
}

// The pixel at `radius` points from (cx, cy), `degrees` clockwise from up.
Image::RGBA at(const Image& img, double cx, double cy, double radius, double degrees) {
  const double r = degrees * kPi / 180.0;
  return img.pixelAt({cx + radius * std::sin(r), cy - radius * std::cos(r)});
}

bool bright(Image::RGBA p) { return p.a > 200 && p.r > 200 && p.g > 200 && p.b > 200; }
bool near(Image::RGBA p, artwork::RGB c, int tol = 12) {
  return std::abs(p.r - c.r * 255) <= tol && std::abs(p.g - c.g * 255) <= tol && std::abs(p.b - c.b * 255) <= tol;
}

TEST(ArtworkTableTest, EveryImageTableNameHasOneEntry) {
  std::set<std::string> names;
  for (const Entry& e : artwork::table()) EXPECT_TRUE(names.insert(e.name).second) << "twice: " << e.name;
  for (const std::string& n : image_table::names()) EXPECT_TRUE(names.count(n)) << n;
  for (const std::string& k : artwork::knobNames()) {
    EXPECT_TRUE(names.count(k)) << k;
    EXPECT_TRUE(names.count(k + "_Active")) << k;
  }
  for (const char* n : {"Background_Main_iPhone", "led_Off", "tempoButtonActive_Highlighted", "programIncButton",
                        "arrowLeftButtonActive_Highlighted", "ringModActive", "menuButtonActive"})
    EXPECT_TRUE(names.count(n)) << n;
}

struct SizeCase {
  const char* name;
  double w, h;
  int frames;
};

TEST(ArtworkTableTest, SizesAndStripLayoutsTheControlsBind) {
  const SizeCase cases[] = {
      {"part1Normal", 46, 57, 1},           {"partSDClapActive_Highlighted", 46, 57, 1},
      {"seq64Selected", 34.5, 62, 1},       {"muteButton", 62.5, 48, 1},
      {"playButtonActive", 62.5, 48.5, 1},  {"waveButton", 62, 24, 1},
      {"utilityButtonActive", 62.5, 24, 1}, {"crossModNormal", 61.5, 24, 1},
      {"sourceStep17-32Selected", 46, 57, 1}, {"ledRed", 17, 17, 1},
      {"Encoder", 66, 66, 24},              {"Pitch_Knob", 53, 53, 128},
      {"Fx_Type_Knob_Active", 53, 53, 8},   {"lcdFont", 12, 18, 128},
      {"Background_Main_iPhone", 736, 414, 1},
  };
  for (const SizeCase& c : cases) {
    const Entry& e = entry(c.name);
    EXPECT_EQ(e.size.width, c.w) << c.name;
    EXPECT_EQ(e.size.height, c.h) << c.name;
    EXPECT_EQ(e.frames, c.frames) << c.name;
    auto img = artwork::paint(e);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->scale(), 2.0);
    EXPECT_EQ(img->pixelWidth(), std::lround(c.w * 2)) << c.name;
    // Strips are exact multiples of their frame height in pixels.
    EXPECT_EQ(img->pixelHeight(), std::lround(c.h * 2) * c.frames) << c.name;
  }
}

TEST(ArtworkPaintTest, KnobFramesPointWhereTheAbsoluteKnobMapsTheValue) {
  for (const char* name : {"Pitch_Knob", "Fx_Type_Knob"}) {
    const Entry& e = entry(name);
    auto strip = artwork::paint(e);
    for (int f = 0; f < e.frames; f += (e.frames > 8 ? 21 : 1)) {
      const double angle = -150.0 + 300.0 * f / (e.frames - 1);
      const double cy = 53.0 * f + 26.5;
      EXPECT_TRUE(bright(at(*strip, 26.5, cy, 12, angle))) << name << " frame " << f;
      // Nothing bright a quarter turn away.
      EXPECT_FALSE(bright(at(*strip, 26.5, cy, 12, angle + 90))) << name << " frame " << f;
      EXPECT_FALSE(bright(at(*strip, 26.5, cy, 12, angle - 90))) << name << " frame " << f;
    }
  }
  // The touched strip lights its pointer.
  auto active = artwork::paint(entry("Level_Knob_Active"));
  EXPECT_TRUE(near(at(*active, 26.5, 53.0 * 64 + 26.5, 12, -150 + 300.0 * 64 / 127),
                   artwork::lampColour(artwork::Lamp::Amber), 20));
}

TEST(ArtworkPaintTest, EncoderMarkerTurns15DegreesPerFrameFromStraightDown) {
  auto strip = artwork::paint(entry("Encoder"));
  const auto amber = artwork::lampColour(artwork::Lamp::Amber);
  for (int f = 0; f < 24; ++f) {
    const double cy = 66.0 * f + 33;
    EXPECT_TRUE(near(at(*strip, 33, cy, 28.5, 180 + 15.0 * f), amber, 25)) << f;
    EXPECT_FALSE(near(at(*strip, 33, cy, 28.5, 180 + 15.0 * f + 45), amber, 25)) << f;
  }
}

TEST(ArtworkPaintTest, LcdSheetHasTheDotFontInItsLeftPitch) {
  auto sheet = artwork::paint(entry("lcdFont"));
  ASSERT_EQ(sheet->pixelWidth(), 24);
  ASSERT_EQ(sheet->pixelHeight(), 18 * 2 * 128);
  const auto cellInk = [&](int code, bool rightPart) {
    int n = 0;
    for (int y = code * 36; y < code * 36 + 36; ++y)
      for (int x = rightPart ? 20 : 0; x < (rightPart ? 24 : 20); ++x)
        if (sheet->pixel(x, y).a > 0) ++n;
    return n;
  };
  for (int code : {0, 1, 31, 32, 127}) EXPECT_EQ(cellInk(code, false), 0) << code;
  for (int code = 33; code < 127; ++code) {
    EXPECT_GT(cellInk(code, false), 0) << code;
    EXPECT_EQ(cellInk(code, true), 0) << code;  // nothing past the 9.6-point pitch
  }
  // Glyph 'A' dot by dot, sampled at the dot centres.
  const auto rows = artwork::glyphRows('A');
  const double pitchX = 8.4 / 5;
  for (int r = 0; r < 7; ++r) {
    for (int c = 0; c < 5; ++c) {
      const Image::RGBA p = sheet->pixelAt({0.6 + c * pitchX + 0.7, 65 * 18 + 2 + r * 2.0 + 0.8});
      const bool lit = rows[static_cast<size_t>(r)] & (1u << (4 - c));
      EXPECT_EQ(p.a > 128, lit) << r << "," << c;
      if (lit) {
        EXPECT_TRUE(near(p, artwork::kLcdInk, 3));
      }
    }
  }
}

TEST(ArtworkPaintTest, FacesLightInTheirLookColours) {
  // The lamp bar of a function key sits at its top centre.
  const auto lampOf = [](const char* name) {
    auto img = artwork::paint(entry(name));
    return img->pixelAt({31.25, 6.7});
  };
  EXPECT_TRUE(near(lampOf("playButtonActive"), artwork::lampColour(artwork::Lamp::Green), 20));
  EXPECT_TRUE(near(lampOf("recButtonActive"), artwork::lampColour(artwork::Lamp::Red), 20));
  EXPECT_TRUE(near(lampOf("fxSendSelected"), artwork::lampColour(artwork::Lamp::Cyan), 20));
  const Image::RGBA off = lampOf("playButton");
  EXPECT_LT(off.g, 100);  // unlit
  // Pads light all over: the middle of a selected part button is greener
  // than the same spot of its normal face.
  auto normal = artwork::paint(entry("part3Normal"));
  auto selected = artwork::paint(entry("part3Selected"));
  EXPECT_GT(selected->pixelAt({5, 50}).g, normal->pixelAt({5, 50}).g + 30);
  // A pressed key differs from the released one.
  EXPECT_FALSE(artwork::paint(entry("muteButtonActive"))->samePixels(*artwork::paint(entry("muteButtonActive_Highlighted"))));
  // Lamps: a lit lens in its colour on a transparent surround.
  auto red = artwork::paint(entry("ledRed"));
  EXPECT_TRUE(near(red->pixelAt({10.5, 10.5}), artwork::lampColour(artwork::Lamp::Red), 40));
  EXPECT_EQ(red->pixelAt({0.2, 0.2}).a, 0);
}

TEST(ArtworkPaintTest, DrawingIsDeterministic) {
  for (const char* name : {"Background_Main_iPhone", "seq33Active", "Encoder", "lcdFont", "knob_gesture_rotary"}) {
    const Entry& e = entry(name);
    EXPECT_EQ(artwork::paint(e)->pngData(), artwork::paint(e)->pngData()) << name;
  }
}

TEST(DotFontTest, PrintableAsciiOnly) {
  EXPECT_TRUE(artwork::hasGlyph('A'));
  EXPECT_TRUE(artwork::hasGlyph('~'));
  EXPECT_FALSE(artwork::hasGlyph(0x7F));
  EXPECT_FALSE(artwork::hasGlyph(0x1F));
  // Every glyph but the space has ink, and distinct letters look different.
  std::set<std::array<uint8_t, 7>> shapes;
  for (char32_t c = 0x21; c <= 0x7E; ++c) {
    const auto rows = artwork::glyphRows(c);
    int ink = 0;
    for (uint8_t r : rows) ink += __builtin_popcount(r);
    EXPECT_GT(ink, 0) << static_cast<int>(c);
    EXPECT_TRUE(shapes.insert(rows).second) << "same shape twice: " << static_cast<char>(c);
  }
  EXPECT_EQ(artwork::textWidthInDots("MUTE"), 23);
  EXPECT_EQ(artwork::textWidthInDots(""), 0);
}

}  // namespace
