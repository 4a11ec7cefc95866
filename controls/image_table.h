#pragma once
// The image table: every front-panel bitmap has a fixed index, its ImageId,
// bound to the name of a PNG file in the bundle ("<name>.png"). A few indices
// share one file (the active and selected looks of the mute, solo, record,
// play and stop buttons are one picture).
//
// Header-only and free of any platform dependency, so the artwork generator
// draws exactly the files this table names.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using ImageId = int32_t;

namespace image_table {

inline constexpr ImageId kCount = 393;

// Indices the controls ask for by name.
inline constexpr ImageId kEncoder = 0;
inline constexpr ImageId kPartFirst = 1;               // + 3 × part + state (0 normal, 1 active, 2 selected)
inline constexpr ImageId kPartHighlightedFirst = 25;   // + part
inline constexpr ImageId kMuteButton = 33;
inline constexpr ImageId kStepFirst = 41;              // + 3 × step + state
inline constexpr ImageId kStepHighlightedFirst = 233;  // + step
inline constexpr ImageId kLedRed = 297;
inline constexpr ImageId kLedGreen = 298;
inline constexpr ImageId kLcdFont = 305;
inline constexpr ImageId kSourceStepFirst = 359;  // + 4 × page group + state (3 active highlighted)
inline constexpr ImageId kDestStepFirst = 375;
inline constexpr ImageId kKnobGestureLinear = 391;
inline constexpr ImageId kKnobGestureRotary = 392;

inline constexpr std::array<std::string_view, 8> kPartNames = {
    "part1", "part2", "part3", "part4", "partHHClosed", "partHHOpen", "partCymbal", "partSDClap"};
inline constexpr std::array<std::string_view, 3> kStateSuffixes = {"Normal", "Active", "Selected"};
inline constexpr std::array<std::string_view, 4> kStepRanges = {"1-16", "17-32", "33-48", "49-64"};

namespace detail {

inline std::vector<std::string> buildNames() {
  std::vector<std::string> n;
  n.reserve(kCount);
  auto add = [&n](std::string s) { n.push_back(std::move(s)); };
  add("Encoder");
  for (std::string_view part : kPartNames)
    for (std::string_view s : kStateSuffixes) add(std::string(part) + std::string(s));
  for (std::string_view part : kPartNames) add(std::string(part) + "Active_Highlighted");
  for (const char* s : {"muteButton", "muteButtonActive", "muteButtonActive", "soloButton", "soloButtonActive",
                        "soloButtonActive", "muteButtonActive_Highlighted", "soloButtonActive_Highlighted"})
    add(s);
  for (int step = 1; step <= 64; ++step)
    for (std::string_view s : kStateSuffixes) add("seq" + std::to_string(step) + std::string(s));
  for (int step = 1; step <= 64; ++step) add("seq" + std::to_string(step) + "Active_Highlighted");
  for (const char* s : {"ledRed", "ledGreen", "waveButton", "waveButtonActive", "typeButton", "typeButtonActive",
                        "motionButton", "motionButtonActive", "lcdFont", "recButtonNormal", "recButtonActive",
                        "recButtonActive", "playButton", "playButtonActive", "playButtonActive", "stopButton",
                        "stopButtonActive", "stopButtonActive", "utilityButton", "utilityButtonActive",
                        "waveButtonActive_Highlighted", "typeButtonActive_Highlighted",
                        "motionButtonActive_Highlighted", "recButtonActive_Highlighted",
                        "playButtonActive_Highlighted", "stopButtonActive_Highlighted",
                        "utilityButtonActive_Highlighted"})
    add(s);
  for (const char* x : {"clearmotionButton", "clearpartButton", "movedataButton", "copystepButton", "tapButton",
                        "patternSetButton", "loopButton"}) {
    add(x);
    add(std::string(x) + "Active");
    add(std::string(x) + "Active_Highlighted");
  }
  for (const char* s : {"fxSendNormal", "fxSendActive", "fxSendSelected", "fxSendActive_Highlighted",
                        "crossModNormal", "crossModActive", "crossModActive_Highlighted", "flexButton",
                        "flexButtonSelected", "flexButtonSelected_Highlighted", "partAccentNormal",
                        "partAccentActive", "partAccentSelected", "partAccentActive_Highlighted"})
    add(s);
  for (std::string_view prefix : {"sourceStep", "destStep"})
    for (std::string_view range : kStepRanges)
      for (std::string_view s : {"Normal", "Active", "Selected", "Active_Highlighted"})
        add(std::string(prefix) + std::string(range) + std::string(s));
  add("knob_gesture_linear");
  add("knob_gesture_rotary");
  return n;
}

}  // namespace detail

// The names of all kCount indices, in index order.
inline const std::vector<std::string>& names() {
  static const std::vector<std::string> table = detail::buildNames();
  return table;
}

// The file name (without ".png") of an index; empty outside the table.
inline std::string_view nameOf(ImageId id) {
  if (id < 0 || id >= kCount) return {};
  return names()[static_cast<size_t>(id)];
}

// The first index bound to `name`.
inline std::optional<ImageId> indexOf(std::string_view name) {
  const std::vector<std::string>& t = names();
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] == name) return static_cast<ImageId>(i);
  return std::nullopt;
}

}  // namespace image_table
