#include "tools/artwork/artwork_table.h"

#include <map>
#include <set>

#include "controls/image_table.h"

namespace artwork {

namespace {

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}
bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The look named by a face's suffix.
Look lookOf(std::string_view name) {
  if (endsWith(name, "Selected_Highlighted")) return Look::SelectedPressed;
  if (endsWith(name, "Active_Highlighted")) return Look::ActivePressed;
  if (endsWith(name, "Selected")) return Look::Selected;
  if (endsWith(name, "Active")) return Look::Active;
  return Look::Normal;
}

Entry face(std::string name, platform::Size size, std::string label, Shape shape, Lamp lamp) {
  Entry e;
  e.look = lookOf(name);
  e.name = std::move(name);
  e.kind = Kind::Face;
  e.size = size;
  e.label = std::move(label);
  e.shape = shape;
  e.lamp = lamp;
  return e;
}

// The sizes of the panel's keys (points).
constexpr platform::Size kPartSize{46, 57};
constexpr platform::Size kStepSize{34.5, 62};
constexpr platform::Size kFunctionSize{62.5, 48};
constexpr platform::Size kTransportSize{62.5, 48.5};
constexpr platform::Size kSmallSize{62.5, 24};
constexpr platform::Size kParamSize{62, 24};
constexpr platform::Size kNarrowSize{61.5, 24};
constexpr platform::Size kArrowSize{46, 24};

struct FaceKind {
  std::string_view prefix;
  platform::Size size;
  const char* label;
  Shape shape;
  Lamp lamp;
};

// Faces by the first part of their names; the rest of a name is its look.
const FaceKind kFaces[] = {
    {"muteButton", kFunctionSize, "MUTE", Shape::Function, Lamp::Amber},
    {"soloButton", kFunctionSize, "SOLO", Shape::Function, Lamp::Amber},
    {"waveButton", kParamSize, "WAVE", Shape::Small, Lamp::Amber},
    {"typeButton", kParamSize, "MOD TYPE", Shape::Small, Lamp::Amber},
    {"motionButton", kParamSize, "MOTION", Shape::Small, Lamp::Amber},
    {"recButton", kTransportSize, "REC", Shape::Function, Lamp::Red},
    {"playButton", kTransportSize, "PLAY", Shape::Function, Lamp::Green},
    {"stopButton", kTransportSize, "STOP", Shape::Function, Lamp::White},
    {"utilityButton", kSmallSize, "SHIFT", Shape::Small, Lamp::Amber},
    {"clearmotionButton", kFunctionSize, "CLEAR\nMOTION", Shape::Function, Lamp::Red},
    {"clearpartButton", kFunctionSize, "CLEAR\nPART", Shape::Function, Lamp::Red},
    {"movedataButton", kFunctionSize, "MOVE\nDATA", Shape::Function, Lamp::Amber},
    {"copystepButton", kFunctionSize, "COPY\nSTEP", Shape::Function, Lamp::Amber},
    {"tapButton", kTransportSize, "TAP", Shape::Function, Lamp::Amber},
    {"patternSetButton", kFunctionSize, "PATTERN\nSET", Shape::Function, Lamp::Amber},
    {"loopButton", kTransportSize, "LOOP", Shape::Function, Lamp::Green},
    {"fxSend", kFunctionSize, "FX SEND", Shape::Function, Lamp::Amber},
    {"crossMod", kNarrowSize, "CROSS", Shape::Small, Lamp::Amber},
    {"flexButton", kNarrowSize, "FLEX", Shape::Small, Lamp::Cyan},
    {"partAccent", kNarrowSize, "ACCENT", Shape::Small, Lamp::Amber},
    // Faces the main screen loads from the bundle by name.
    {"tempoButton", kTransportSize, "TEMPO", Shape::Function, Lamp::Amber},
    {"saveButton", kSmallSize, "SAVE", Shape::Small, Lamp::Amber},
    {"menuButton", kSmallSize, "MENU", Shape::Small, Lamp::Amber},
    {"stepJumpButton", kSmallSize, "JUMP", Shape::Small, Lamp::Amber},
    {"initButton", kSmallSize, "INIT", Shape::Small, Lamp::Red},
    {"programDecButton", kSmallSize, "PROG -", Shape::Small, Lamp::Amber},
    {"programIncButton", kSmallSize, "PROG +", Shape::Small, Lamp::Amber},
    {"ringMod", kNarrowSize, "RING", Shape::Small, Lamp::Amber},
};

const char* const kPartLabels[8] = {"S1", "S2", "S3", "S4", "CH", "OH", "CY", "SD"};

// Faces the main screen loads by name that the image table does not hold.
const char* const kBundleFaces[] = {
    "tempoButton",      "tempoButtonActive",      "tempoButtonActive_Highlighted",
    "saveButton",       "saveButtonActive",       "saveButtonActive_Highlighted",
    "menuButton",       "menuButtonActive",       "menuButtonActive_Highlighted",
    "stepJumpButton",   "stepJumpButtonActive",   "stepJumpButtonActive_Highlighted",
    "initButton",       "initButtonActive",       "initButtonActive_Highlighted",
    "programDecButton", "programDecButtonActive", "programDecButtonActive_Highlighted",
    "programIncButton", "programIncButtonActive", "programIncButtonActive_Highlighted",
    "ringModNormal",    "ringModActive",          "ringModActive_Highlighted",
};

Entry classify(const std::string& name) {
  if (name == "Encoder") {
    Entry e;
    e.name = name;
    e.kind = Kind::EncoderStrip;
    e.size = {66, 66};
    e.frames = 24;
    return e;
  }
  if (name == "lcdFont") {
    Entry e;
    e.name = name;
    e.kind = Kind::LcdFont;
    e.size = {12, 18};
    e.frames = 128;
    return e;
  }
  if (name == "ledRed" || name == "ledGreen") {
    Entry e;
    e.name = name;
    e.kind = Kind::Led;
    e.size = {17, 17};
    e.variant = name == "ledGreen" ? 1 : 0;
    return e;
  }
  if (name == "knob_gesture_linear" || name == "knob_gesture_rotary") {
    Entry e;
    e.name = name;
    e.kind = Kind::Pictogram;
    e.size = {100, 100};
    e.variant = name == "knob_gesture_rotary" ? 1 : 0;
    return e;
  }
  for (size_t p = 0; p < image_table::kPartNames.size(); ++p) {
    if (startsWith(name, image_table::kPartNames[p]))
      return face(name, kPartSize, kPartLabels[p], Shape::Part, Lamp::Amber);
  }
  if (startsWith(name, "seq")) {
    size_t i = 3;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
    return face(name, kStepSize, name.substr(3, i - 3), Shape::Step, Lamp::Red);
  }
  for (const char* prefix : {"sourceStep", "destStep"}) {
    if (!startsWith(name, prefix)) continue;
    const std::string rest = name.substr(std::string_view(prefix).size());
    const std::string range = rest.substr(0, rest.find_first_not_of("0123456789-"));
    return face(name, kPartSize, std::string(prefix[0] == 's' ? "SRC" : "DST") + "\n" + range, Shape::Part,
                prefix[0] == 's' ? Lamp::Green : Lamp::Red);
  }
  for (const FaceKind& k : kFaces) {
    if (startsWith(name, k.prefix)) return face(name, k.size, k.label, k.shape, k.lamp);
  }
  return {};
}

std::vector<Entry> build() {
  std::vector<Entry> out;
  std::set<std::string> seen;
  const auto add = [&](Entry e) {
    if (e.name.empty() || !seen.insert(e.name).second) return;
    out.push_back(std::move(e));
  };
  for (const std::string& name : image_table::names()) add(classify(name));
  for (const char* name : kBundleFaces) add(classify(name));
  for (const char* name : {"arrowLeftButton", "arrowLeftButtonActive_Highlighted", "arrowRightButton",
                           "arrowRightButtonActive_Highlighted"}) {
    Entry e = face(name, kArrowSize, "", Shape::Arrow, Lamp::Amber);
    e.variant = std::string_view(name).find("Left") != std::string_view::npos ? -1 : 1;
    add(std::move(e));
  }
  for (const std::string& knob : knobNames()) {
    for (bool active : {false, true}) {
      Entry e;
      e.name = knob + (active ? "_Active" : "");
      e.kind = Kind::KnobStrip;
      e.size = {53, 53};
      e.frames = knob == "Fx_Type_Knob" ? 8 : 128;
      e.active = active;
      add(std::move(e));
    }
  }
  {
    Entry e;
    e.name = "led_Off";
    e.kind = Kind::LedBackplate;
    e.size = {17, 17};
    add(std::move(e));
  }
  {
    Entry e;
    e.name = "Background_Main_iPhone";
    e.kind = Kind::Panel;
    e.size = {736, 414};
    add(std::move(e));
  }
  // The program's icon on the information screen: a key face with its initials.
  add(face("AppIcon_iPhone", {50, 50}, "iGB", Shape::Function, Lamp::Amber));
  // The menu bar's icons (the Link one lit while Link sync is on).
  for (const auto& [name, label] : {std::pair{"MenuBarBrowser", "LIB"}, std::pair{"MenuBarSettings", "SET"},
                                    std::pair{"MenuBarExport", "WAV"}, std::pair{"MenuBarFile", "FILE"},
                                    std::pair{"MenuBarInfo", "INFO"}, std::pair{"MenuBarLinkDisable", "LINK"}}) {
    add(face(name, {25, 25}, label, Shape::Small, Lamp::Cyan));
  }
  {
    Entry e = face("MenuBarLinkEnable", {25, 25}, "LINK", Shape::Small, Lamp::Cyan);
    e.look = Look::Active;
    add(std::move(e));
  }
  // The XY pad: its surface, the lamp under the finger, Hold and close.
  add(face("PadControlViewBase", {410, 260}, "", Shape::Function, Lamp::Cyan));
  {
    Entry e;
    e.name = "PadLed";
    e.kind = Kind::Led;
    e.size = {40, 40};
    e.variant = 1;
    add(std::move(e));
  }
  for (const auto& [name, look] : {std::pair{"hold_normal", Look::Normal}, std::pair{"hold_active", Look::Active},
                                   std::pair{"Hold_Active_Highlighted", Look::ActivePressed}}) {
    Entry e = face(name, {59.5, 25}, "HOLD", Shape::Small, Lamp::Cyan);
    e.look = look;
    add(std::move(e));
  }
  add(face("padClose", {23.5, 24}, "X", Shape::Small, Lamp::White));
  add(face("padClose_Active_Highlighted", {23.5, 24}, "X", Shape::Small, Lamp::White));
  return out;
}

}  // namespace

const std::vector<std::string>& knobNames() {
  static const std::vector<std::string> names = {
      "Master_Volume_Knob", "Pitch_Knob",   "Mod_Depth_Knob", "Mod_Speed_Knob", "Decay_Knob",     "Level_Knob",
      "Pan_Knob",           "Low_Boost_Knob", "Fx_Type_Knob", "Fx_Edit_1_Knob", "Fx_Edit_2_Knob"};
  return names;
}

const std::vector<Entry>& table() {
  static const std::vector<Entry> entries = build();
  return entries;
}

const Entry* find(std::string_view name) {
  for (const Entry& e : table())
    if (e.name == name) return &e;
  return nullptr;
}

platform::Size imageSize(const Entry& e) { return {e.size.width, e.size.height * e.frames}; }

}  // namespace artwork
