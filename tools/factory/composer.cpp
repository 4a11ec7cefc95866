#include "tools/factory/composer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/record/init_pattern.h"
#include "engine/record/param_id.h"

namespace factory {

// The synthesizer parts' pitch law: the squared pitch value drives a
// squared frequency curve (31.25 Hz at 0, about 781 Hz at 64).
double synthFrequency(int32_t p) {
  const uint32_t pp = static_cast<uint32_t>(p) * static_cast<uint32_t>(p);
  const int64_t v = ((static_cast<int64_t>(pp) * 21473502) >> 16) + 83886;
  const double x = v >= 8136950 ? 8388607.0 : static_cast<double>(v + 251658);
  const double r = x / 8388608.0;
  return 19531.25 * r * r;
}

int32_t synthPitchFor(double hz) {
  int32_t best = 0;
  double bestErr = 1e9;
  for (int32_t p = 0; p < 128; ++p) {
    const double err = std::fabs(std::log(synthFrequency(p) / hz));
    if (err < bestErr) {
      bestErr = err;
      best = p;
    }
  }
  return best;
}

namespace {

// splitmix64: small, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
  uint64_t next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
  bool chance(int percent) { return range(0, 99) < percent; }
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[next() % v.size()];
  }

 private:
  uint64_t s_;
};

enum Part { kKick = 0, kBass = 1, kPerc = 2, kLead = 3, kClosed = 4, kOpen = 5, kCymbal = 6, kSnare = 7 };
enum Effect { kShortDelay = 0, kBpmDelay, kGrain, kReverb, kChorus, kFilter, kTalking, kDecimator };
enum PercKind { kNoPerc, kTom, kNoiseSnare, kBell, kRim, kShaker };
enum LeadKind { kNoLead, kStab, kArp, kZap, kPad, kMelody };

const char* const kEffectTags[8] = {"delay", "bpm delay", "grain", "reverb", "chorus", "filter", "talk", "lofi"};

// One bar of a drum groove: 'x' a hit, 'a' an accented hit, '.' a rest.
// Rows are as long as the style's bar (16 steps, 12 for triplet styles).
struct Groove {
  const char* kick;
  const char* snare;
  const char* closed;
  const char* open;
  const char* perc;
};

struct Style {
  const char* name;  // at most 9 characters: names are "<word> <style>"
  const char* tags;
  int bpmLo, bpmHi, swingLo, swingHi;
  int lastStep;
  std::vector<Groove> grooves;
  std::vector<const char*> bassRhythms;
  std::vector<int> scale;  // semitones above the root
  double rootHz;           // lowest root; up to 7 semitones above
  int bassWave;            // 0 sine .. 3 saw
  int bassDecayLo, bassDecayHi;
  bool bassSlides;
  std::vector<int> effects;
  PercKind perc;
  LeadKind lead;
  int snareWaveLo, snareWaveHi;  // 0-1 claps, 2-3 snares
  bool rideCymbal;
};

const std::vector<Style>& styles() {
  static const std::vector<Style> s = {
      {"House", "house, 4/4, groovy", 120, 126, 50, 56, 16,
       {{"a...a...a...a...", "....x.......x...", "..x...x...x...x.", "..x...x...x...x.", "......x.......x."},
        {"a...a...a...a...", "....x.......x...", "x.x.x.x.x.x.x.x.", "..x.......x.....", "...x......x...x."},
        {"a...a...a...a..x", "....x.......x..x", "xxx.xxx.xxx.xxx.", "..x...x...x...x.", "................"}},
       {"..x...x...x..x.x", "x..x..x...x..x..", "..xx..x...xx..x."},
       {0, 3, 5, 7, 10}, 43.65, 2, 24, 40, false,
       {kReverb, kShortDelay, kChorus}, kRim, kStab, 0, 1, false},
      {"Techno", "techno, 4/4, driving", 126, 134, 50, 52, 16,
       {{"a...a...a...a...", "....x.......x...", "xxxxxxxxxxxxxxxx", "..x...x...x...x.", "x..x..x..x..x..."},
        {"a...a...a...a...", "........x.......", "x.xxx.xxx.xxx.xx", "..x...x...x...x.", "......x.......x."},
        {"a...a...a.a.a...", "....x.......x...", "..x...x...x...x.", "..x...x...x...x.", "x.............xx"}},
       {"..xx..xx..xx..xx", "x.xxx.xxx.xxx.xx", "..x...x...x...x."},
       {0, 1, 3, 7, 10}, 41.2, 3, 14, 26, false,
       {kFilter, kBpmDelay, kReverb}, kNoiseSnare, kZap, 0, 3, true},
      {"Acid", "acid, 4/4, squelch", 122, 130, 50, 56, 16,
       {{"a...a...a...a...", "....x.......x...", "..x...x...x...x.", "..x...x...x...x.", "................"},
        {"a...a...a...a...", "....x.......x...", "xxxxxxxxxxxxxxxx", "......x.......x.", "x.......x......."}},
       {"xxxxxxxxxxxxxxxx", "x.xxx.xx.xxxx.x.", "xx.xx.xxx.xx.xxx"},
       {0, 3, 5, 7, 10, 12}, 41.2, 3, 18, 34, true,
       {kFilter, kFilter, kBpmDelay}, kNoPerc, kNoLead, 0, 1, false},
      {"Electro", "electro, broken, robotic", 108, 124, 50, 54, 16,
       {{"a.....x...a.....", "....x.......x...", "x.x.x.x.x.x.x.x.", "................", "..x..x....x..x.."},
        {"a.....x.x.....x.", "....x.......x...", "xxxxxxxxxxxxxxxx", "..............x.", "x..x..x..x..x..."}},
       {"x.....x.x.....x.", "x..x..x.x..x..x.", "x.x...x...x.x..."},
       {0, 3, 5, 6, 7, 10}, 46.25, 3, 16, 28, false,
       {kTalking, kDecimator, kShortDelay}, kTom, kZap, 2, 3, false},
      {"HipHop", "hip hop, boom bap, swing", 84, 96, 58, 66, 16,
       {{"a......x.xa.....", "....x.......x...", "x.x.x.x.x.x.x.x.", "..............x.", "................"},
        {"a.x.......a..x..", "....x.......x...", "x.xxx.x.x.xxx.x.", "......x.........", "...........x...."}},
       {"x......x.x......", "x.x.......x..x..", "x..........x.x.."},
       {0, 3, 5, 7, 10}, 49.0, 0, 60, 90, false,
       {kDecimator, kReverb, kChorus}, kRim, kMelody, 2, 3, false},
      {"DnB", "drum and bass, fast, rolling", 164, 176, 50, 52, 16,
       {{"a.........a.....", "....x.......x...", "x.x.x.x.x.x.x.x.", "..............x.", "................"},
        {"a.........x..x..", "....x..x.x..x...", "xxxxxxxxxxxxxxxx", "......x.........", "..x.......x....."}},
       {"x.........x.....", "x.....x...x..x..", "x.x.......x.x..."},
       {0, 2, 3, 7, 8}, 43.65, 3, 50, 80, false,
       {kReverb, kChorus, kShortDelay}, kShaker, kPad, 2, 3, true},
      {"Breaks", "breakbeat, funky, chopped", 126, 138, 52, 58, 16,
       {{"a.x.......x.....", "....x..x.x..x..x", "x.x.x.x.x.x.x.x.", "...x............", "............x..."},
        {"a......x..x.....", "....x.......xx..", "xxx.xxx.xxx.xxx.", "..............x.", "....x..........."}},
       {"x.x.......x.....", "x......x..x...x.", "x..x......x....."},
       {0, 3, 5, 7, 10}, 46.25, 2, 28, 44, false,
       {kGrain, kShortDelay, kReverb}, kTom, kStab, 0, 3, false},
      {"Dub", "dub, deep, echo", 68, 82, 54, 60, 16,
       {{"a.......a.......", "........x.......", "..x...x...x...x.", "......x.......x.", "...x.......x...."},
        {"a...a...a...a...", "........x.......", "x.x.x.x.x.x.x.x.", "..x.......x.....", "................"}},
       {"x.....x.x.......", "x...x.....x.x...", "x.......x.x....."},
       {0, 3, 5, 7, 10}, 41.2, 0, 70, 95, false,
       {kBpmDelay, kBpmDelay, kReverb}, kRim, kStab, 2, 3, false},
      {"Trap", "trap, half time, 808", 136, 150, 50, 54, 16,
       {{"a......x..x.....", "........x.......", "x.x.x.x.xxx.x.x.", "................", "................"},
        {"a.......x.....x.", "........x.......", "xxxxx.x.x.xxxxx.", "................", "...x........x..."}},
       {"x......x..x.....", "x.........x...x.", "x.......x.....x."},
       {0, 1, 3, 7, 8}, 43.65, 0, 90, 115, true,
       {kReverb, kReverb, kDecimator}, kBell, kMelody, 0, 1, false},
      {"Garage", "garage, 2-step, shuffle", 128, 134, 62, 70, 16,
       {{"a.........a...x.", "....x.......x...", "x.xxx.xxx.xxx.xx", "..x.......x.....", "......x.......x."},
        {"a......x..a.....", "....x.......x...", "x.x.x.x.x.x.x.x.", "..x...x...x...x.", "................"}},
       {"x.....x...x..x..", "..x...x.x...x...", "x..x......x.x..."},
       {0, 3, 5, 7, 10}, 46.25, 2, 30, 50, false,
       {kChorus, kReverb, kShortDelay}, kShaker, kStab, 0, 1, false},
      {"Minimal", "minimal, clicky, hypnotic", 118, 124, 50, 56, 16,
       {{"a...a...a...a...", "....x...........", "..x...x...x...x.", "..........x.....", "x..x.x...x..x.x."},
        {"a...a...a...a...", "............x...", "x...x...x...x...", "..x...x...x...x.", ".x..x..x..x..x.."}},
       {"..x.......x.....", "....x.x.....x...", "..x...x..x......"},
       {0, 3, 7, 10}, 43.65, 0, 20, 36, false,
       {kShortDelay, kGrain, kFilter}, kBell, kZap, 0, 1, false},
      {"Lounge", "downtempo, chill, warm", 88, 100, 54, 60, 16,
       {{"a.......a.x.....", "....x.......x...", "x.x.x.x.x.x.x.x.", "..............x.", "......x.....x..."},
        {"a......x..x.....", "....x.......x...", "x.xxx.x.x.xxx.x.", "................", "...x.......x...."}},
       {"x.......x.x.....", "x.....x.....x...", "x...x.....x....."},
       {0, 2, 3, 5, 7, 9, 10}, 49.0, 1, 50, 80, false,
       {kChorus, kReverb, kShortDelay}, kRim, kPad, 0, 3, true},
      {"Disco", "disco, 4/4, octaves", 114, 122, 50, 54, 16,
       {{"a...a...a...a...", "....x.......x...", "x.x.x.x.x.x.x.x.", "..x...x...x...x.", "x.x.x.x.x.x.x.x."},
        {"a...a...a...a...", "....x.......x...", "xxxxxxxxxxxxxxxx", "..x...x...x...x.", "................"}},
       {"x.x.x.x.x.x.x.x.", "x.xx.xx.x.xx.xx."},
       {0, 7, 12}, 46.25, 2, 18, 30, false,
       {kChorus, kReverb, kShortDelay}, kShaker, kStab, 0, 1, false},
      {"Footwork", "footwork, triplets, fast", 156, 162, 50, 50, 12,
       {{"a..x..a..x.x", "......x.....", "x.xx.xx.xx.x", "..x.....x...", "...x.....x.."},
        {"a.xa.x..a.x.", "...x.....x..", "xxxxxxxxxxxx", ".....x......", "............"}},
       {"x..x..x..x..", "x.x..x.x..x."},
       {0, 3, 5, 7, 10}, 46.25, 0, 40, 70, false,
       {kGrain, kShortDelay, kDecimator}, kTom, kArp, 0, 1, false},
  };
  return s;
}

const std::vector<const char*> kWords = {"Deep", "Dark", "Bright", "Raw", "Warm", "Night", "Dusty",
                                         "Hypno", "Heavy", "Liquid", "Bent",  "Lazy",  "Cold", "Lush", "Tight"};

void setText(char* field, size_t size, const std::string& text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// Parameter ids of a part's parameters.
constexpr ParamId pid(int part, int index) { return part * 16 + index; }

void setMotion(PatternRecord& r, ParamId id, int step, int value) {
  motionParams& m = r.motionParams[id];
  m.enabled = 1;
  m.motionId = kNoParam;  // the engine assigns its track when it loads the pattern
  m.value[step] = static_cast<int16_t>(std::clamp(value, 0, 127));
  m.trigger[step] = 1;
}

struct Composer {
  Composer(const Style& s, uint64_t seed, bool inCollection) : style(s), rng(seed), collection(inCollection) {}

  const Style& style;
  Rng rng;
  bool collection;  // the GQ-1 collection: longer, busier, more motion
  PatternRecord r = makeInitPattern();
  int bars = 1;
  int steps = 16;
  std::vector<std::string> traits;

  bool stepActive(int slot) const { return slot / 16 < bars && slot % 16 < steps; }

  void hit(int part, int slot) { r.sequencerParams.trigger[part][slot] = 1; }

  void setPart(int part, int wave, int pitch, int decay, int level, int pan) {
    synthParams& s = r.synthParams[part];
    s.waveform = wave;
    s.pitch = std::clamp(pitch, 0, 127);
    s.decay = std::clamp(decay, 0, 127);
    s.level = std::clamp(level, 0, 127);
    s.pan = std::clamp(pan, 0, 127);
    s.modDepth = 64;
    s.modSpeed = 0;
    s.modType = 0;
    s.lowBoost = 0;
    s.motionType = 0;
    s.mute = 0;
    s.fxSend = 0;
    s.accentStatus = 1;
  }

  void compose() {
    seqParams& q = r.sequencerParams;
    steps = style.lastStep;
    if (collection) bars = rng.chance(30) ? 4 : (rng.chance(55) ? 2 : 1);
    else bars = rng.chance(35) ? 2 : 1;
    q.tempo = static_cast<int16_t>(rng.range(style.bpmLo, style.bpmHi) * 10 + (rng.chance(20) ? 5 : 0));
    q.swing = static_cast<int16_t>(rng.range(style.swingLo, style.swingHi));
    q.length = static_cast<int16_t>(bars);
    q.lastStep = static_cast<int16_t>(steps);
    q.accentLevel = static_cast<int16_t>(rng.range(96, 124));
    q.accentMotionType = 0;
    q.crossRingMod = 0;
    if (q.swing >= 58) traits.push_back("swing");
    if (bars > 1) traits.push_back(std::to_string(bars) + " bars");

    sounds();
    drums();
    bass();
    percussion();
    lead();
    effect();
    if (collection && rng.chance(35)) hatMotion();
  }

  void sounds() {
    // Kick: a sine whose pitch falls quickly from a click to its body.
    setPart(kKick, 0, synthPitchFor(rng.range(45, 58)), rng.range(14, 24), rng.range(112, 122), 64);
    synthParams& k = r.synthParams[kKick];
    k.modType = 5;
    k.modDepth = rng.range(82, 90);
    k.modSpeed = rng.range(96, 108);
    k.lowBoost = rng.range(30, 70);
    // Drum-sample parts: the four hat, cymbal and clap/snare groups.
    setPart(kClosed, rng.range(0, 3), rng.range(58, 70), rng.range(28, 60), rng.range(72, 92), rng.range(50, 78));
    setPart(kOpen, rng.range(0, 3), rng.range(58, 70), rng.range(55, 85), rng.range(64, 84), rng.range(50, 78));
    setPart(kCymbal, rng.range(0, 3), rng.range(56, 68), rng.range(90, 118), rng.range(56, 76), rng.range(40, 88));
    setPart(kSnare, rng.range(style.snareWaveLo, style.snareWaveHi), rng.range(56, 70), rng.range(60, 96),
            rng.range(96, 112), rng.range(58, 70));
  }

  void drums() {
    const Groove& g = rng.pick(style.grooves);
    const int ghost = collection ? 18 : 8;
    for (int b = 0; b < bars; ++b) {
      const bool last = b == bars - 1;
      const bool fill = last && (bars > 1 || rng.chance(30));
      for (int s = 0; s < steps; ++s) {
        const int slot = b * 16 + s;
        auto on = [&](const char* row) { return row[s] == 'x' || row[s] == 'a'; };
        if (on(g.kick)) hit(kKick, slot);
        if (on(g.snare)) hit(kSnare, slot);
        if (on(g.open)) hit(kOpen, slot);
        else if (on(g.closed)) hit(kClosed, slot);
        else if (rng.chance(ghost) && !on(g.kick)) hit(kClosed, slot);
        if (g.kick[s] == 'a' || s % 4 == 0) r.sequencerParams.accent[slot] = 1;
        if (fill && s >= steps - 4 && rng.chance(45)) hit(kSnare, slot);
      }
      if (style.rideCymbal && (b == 0 || rng.chance(40))) hit(kCymbal, b * 16);
    }
    if (rng.chance(collection ? 40 : 20)) {
      // A crash at the top of the pattern.
      hit(kCymbal, 0);
    }
    if (style.rideCymbal && rng.chance(30)) {
      for (int b = 0; b < bars; ++b)
        for (int s = 2; s < steps; s += 4) hit(kCymbal, b * 16 + s);
      r.synthParams[kCymbal].decay = rng.range(50, 80);
      traits.push_back("ride");
    }
  }

  int rootSemitone = 0;

  double noteHz(int semitones) const {
    return style.rootHz * std::pow(2.0, (rootSemitone + semitones) / 12.0);
  }

  void bass() {
    rootSemitone = rng.range(0, 7);
    const int rootPitch = synthPitchFor(noteHz(0));
    setPart(kBass, style.bassWave, rootPitch, rng.range(style.bassDecayLo, style.bassDecayHi), rng.range(96, 110),
            64);
    synthParams& b = r.synthParams[kBass];
    b.lowBoost = rng.range(20, 60);
    if (style.bassWave == 3 && rng.chance(50)) {
      // A slow wobble of the waveform thickens a saw bass.
      b.modType = 2;
      b.modDepth = rng.range(68, 74);
      b.modSpeed = rng.range(20, 45);
    }
    b.motionType = style.bassSlides ? 1 : 2;
    const char* rhythm = rng.pick(style.bassRhythms);
    int last = 0;
    for (int bar = 0; bar < bars; ++bar) {
      for (int s = 0; s < steps; ++s) {
        if (rhythm[s] != 'x') continue;
        const int slot = bar * 16 + s;
        hit(kBass, slot);
        int semi;
        if (s == 0 || (s % 8 == 0 && rng.chance(60))) semi = 0;
        else if (rng.chance(30)) semi = last;  // repeated notes make a line
        else semi = rng.pick(style.scale);
        if (rng.chance(style.bassSlides ? 25 : 10)) semi += 12;
        last = semi % 12;
        setMotion(r, pid(kBass, kPitch), slot, synthPitchFor(noteHz(semi)));
        if (style.bassSlides && rng.chance(30)) r.sequencerParams.accent[slot] = 1;
      }
    }
    traits.push_back("bassline");
  }

  void percussion() {
    synthParams& p = r.synthParams[kPerc];
    const char* row = nullptr;
    switch (style.perc) {
      case kNoPerc: setPart(kPerc, 0, 64, 10, 0, 64); p.mute = 1; return;
      case kTom:
        setPart(kPerc, 0, synthPitchFor(rng.range(90, 180)), rng.range(20, 34), rng.range(80, 96), rng.range(40, 88));
        p.modType = 5;
        p.modDepth = rng.range(74, 80);
        p.modSpeed = rng.range(80, 96);
        break;
      case kNoiseSnare:
        setPart(kPerc, 1, synthPitchFor(rng.range(170, 240)), rng.range(6, 12), rng.range(70, 88), rng.range(54, 74));
        p.modType = 4;
        p.modDepth = rng.range(110, 124);
        p.modSpeed = rng.range(100, 120);
        break;
      case kBell:
        setPart(kPerc, 2, synthPitchFor(rng.range(540, 820)), rng.range(10, 20), rng.range(60, 78), rng.range(30, 98));
        break;
      case kRim:
        setPart(kPerc, 1, synthPitchFor(rng.range(1400, 2200)), rng.range(1, 4), rng.range(70, 90), rng.range(44, 84));
        break;
      case kShaker:
        setPart(kPerc, 1, synthPitchFor(rng.range(3000, 5000)), rng.range(2, 6), rng.range(50, 70), rng.range(70, 96));
        p.modType = 4;
        p.modDepth = 127;
        p.modSpeed = 120;
        break;
    }
    const Groove& g = style.grooves[0];
    row = g.perc;
    for (int bar = 0; bar < bars; ++bar)
      for (int s = 0; s < steps; ++s) {
        const bool want = row[s] == 'x' || (style.perc == kShaker && s % 2 == 1 && rng.chance(70));
        if (want || (collection && rng.chance(6))) hit(kPerc, bar * 16 + s);
      }
    if (style.perc == kTom && bars > 1) {
      // Tom fill walking down at the end of the last bar.
      p.motionType = 2;
      const int top = p.pitch + 8;
      for (int i = 0; i < 4; ++i) {
        const int slot = (bars - 1) * 16 + steps - 4 + i;
        hit(kPerc, slot);
        setMotion(r, pid(kPerc, kPitch), slot, top - i * 3);
      }
      traits.push_back("tom fill");
    }
  }

  void lead() {
    LeadKind kind = style.lead;
    if (collection && kind == kNoLead && rng.chance(50)) kind = kArp;
    synthParams& l = r.synthParams[kLead];
    if (kind == kNoLead) {
      setPart(kLead, 1, 64, 20, 0, 64);
      l.mute = 1;
      return;
    }
    const int octave = kind == kPad ? 24 : 36;
    switch (kind) {
      case kStab: setPart(kLead, 2, 0, rng.range(18, 30), rng.range(74, 90), rng.range(40, 88)); break;
      case kArp: setPart(kLead, 3, 0, rng.range(8, 18), rng.range(66, 82), rng.range(36, 92)); break;
      case kZap:
        setPart(kLead, 0, 0, rng.range(10, 20), rng.range(70, 86), rng.range(30, 98));
        l.modType = 5;
        l.modDepth = rng.range(96, 112);
        l.modSpeed = rng.range(70, 90);
        break;
      case kPad:
        setPart(kLead, 1, 0, rng.range(90, 110), rng.range(60, 74), 64);
        l.modType = 2;  // gentle vibrato
        l.modDepth = rng.range(66, 69);
        l.modSpeed = rng.range(40, 60);
        break;
      case kMelody: setPart(kLead, 1, 0, rng.range(30, 50), rng.range(70, 86), rng.range(44, 84)); break;
      case kNoLead: break;
    }
    l.fxSend = 1;
    l.motionType = 2;
    l.pitch = synthPitchFor(noteHz(octave));
    int degree = 0;
    for (int bar = 0; bar < bars; ++bar) {
      for (int s = 0; s < steps; ++s) {
        const int slot = bar * 16 + s;
        bool play = false;
        switch (kind) {
          case kStab: play = (s % 4 == 2 && rng.chance(70)) || (s % 8 == 7 && rng.chance(30)); break;
          case kArp: play = true; break;
          case kZap: play = s % 8 == 6 && rng.chance(60); break;
          case kPad: play = s == 0; break;
          case kMelody: play = (s % 4 == 0 && rng.chance(50)) || (s % 4 == 3 && rng.chance(25)); break;
          case kNoLead: break;
        }
        if (!play) continue;
        hit(kLead, slot);
        int semi;
        if (kind == kArp) {
          degree = (degree + 1) % static_cast<int>(style.scale.size());
          semi = style.scale[degree] + (s % 8 >= 4 ? 12 : 0);
        } else {
          semi = rng.pick(style.scale);
        }
        setMotion(r, pid(kLead, kPitch), slot, synthPitchFor(noteHz(octave + semi)));
      }
    }
    static const char* const kLeadTags[] = {"", "stabs", "arpeggio", "zaps", "pad", "melody"};
    traits.push_back(kLeadTags[kind]);
  }

  void effect() {
    const int type = rng.pick(style.effects);
    fxParams& fx = r.effectParams[0];
    fx.type = type;
    fx.trigger = collection || rng.chance(85) ? 1 : 0;
    auto send = [&](std::initializer_list<int> parts) {
      for (int p : parts) r.synthParams[p].fxSend = 1;
    };
    switch (type) {
      case kShortDelay: fx.edit1 = rng.range(40, 100); fx.edit2 = rng.range(40, 76); send({kClosed, kPerc, kLead}); break;
      case kBpmDelay: fx.edit1 = rng.range(32, 96); fx.edit2 = rng.range(50, 90); send({kSnare, kPerc, kLead, kOpen}); break;
      case kGrain: fx.edit1 = rng.range(30, 90); fx.edit2 = rng.range(40, 80); send({kClosed, kSnare, kLead}); break;
      case kReverb: fx.edit1 = rng.range(60, 110); fx.edit2 = rng.range(40, 80); send({kSnare, kLead, kPerc, kCymbal}); break;
      case kChorus: fx.edit1 = rng.range(16, 60); fx.edit2 = rng.range(50, 90); send({kBass, kLead, kOpen}); break;
      case kFilter: fx.edit1 = rng.range(36, 96); fx.edit2 = rng.range(50, 104); send({kBass, kClosed, kLead}); break;
      case kTalking: fx.edit1 = rng.range(20, 100); fx.edit2 = rng.range(30, 90); send({kBass, kLead}); break;
      case kDecimator: fx.edit1 = rng.range(40, 90); fx.edit2 = rng.range(60, 110); send({kClosed, kSnare, kPerc, kBass}); break;
      default: break;
    }
    if (fx.trigger) traits.push_back(kEffectTags[type]);
    const int total = bars * 16;
    if ((type == kFilter || type == kTalking) && fx.trigger) {
      // Sweep the first edit across the pattern: up, or up and back down.
      const bool triangle = rng.chance(50);
      const int lo = rng.range(20, 50), hi = rng.range(90, 120);
      for (int slot = 0; slot < total; ++slot) {
        if (!stepActive(slot)) continue;
        double t = static_cast<double>(slot) / total;
        if (triangle) t = t < 0.5 ? 2 * t : 2 - 2 * t;
        setMotion(r, kParamEffectEdit1, slot, lo + static_cast<int>((hi - lo) * t));
      }
      traits.push_back("sweep");
    } else if ((type == kBpmDelay || type == kShortDelay) && fx.trigger && rng.chance(collection ? 60 : 35)) {
      // Delay throws: the effect opens on a few late steps only.
      for (int slot = 0; slot < total; ++slot) {
        if (!stepActive(slot)) continue;
        const int s = slot % 16;
        setMotion(r, kParamEffectOnOff, slot, (s >= steps - 4 || s == 6) ? 1 : 0);
      }
      traits.push_back("throws");
    }
  }

  void hatMotion() {
    synthParams& h = r.synthParams[kClosed];
    h.motionType = 1;
    const int total = bars * 16;
    const double cycles = rng.range(1, 2);
    for (int slot = 0; slot < total; ++slot) {
      if (!stepActive(slot)) continue;
      const double ph = 2 * M_PI * cycles * slot / total;
      setMotion(r, pid(kClosed, kPan), slot, 64 + static_cast<int>(40 * std::sin(ph)));
      setMotion(r, pid(kClosed, kDecay), slot, 40 + static_cast<int>(24 * (1 + std::sin(ph * 2))));
    }
    traits.push_back("auto-pan");
  }
};

std::string tagsFor(const Style& style, const std::vector<std::string>& traits, int tempo) {
  std::string t = style.tags;
  for (const std::string& x : traits) t += ", " + x;
  t += tempo < 1000 ? ", slow" : (tempo < 1400 ? ", mid" : ", fast");
  return t;
}

ComposedPattern compose(const Style& style, int variant, uint64_t seed, bool collection) {
  Composer c(style, seed, collection);
  c.compose();
  std::string name;
  if (collection) {
    name = std::string(kWords[variant % kWords.size()]) + " " + style.name;
    if (name.size() > 15) name = std::string(style.name) + " GQ" + std::to_string(variant + 1);
  } else {
    name = std::string(style.name) + " " + std::to_string(variant + 1);
  }
  setText(c.r.tagParams.name, sizeof c.r.tagParams.name, name);
  setText(c.r.tagParams.author, sizeof c.r.tagParams.author, collection ? "GQ-1 Collection" : "iGROOVEBIX");
  setText(c.r.tagParams.tags, sizeof c.r.tagParams.tags, tagsFor(style, c.traits, c.r.sequencerParams.tempo));
  return {c.r, style.name};
}

// A template: the style's kit and basic beat, no bass line or motion, to
// build on.
ComposedPattern templateFor(const Style& style, bool withBeat, uint64_t seed) {
  Composer c(style, seed, false);
  c.steps = style.lastStep;
  seqParams& q = c.r.sequencerParams;
  q.tempo = static_cast<int16_t>((style.bpmLo + style.bpmHi) / 2 * 10);
  q.swing = static_cast<int16_t>((style.swingLo + style.swingHi) / 2);
  q.length = 1;
  q.lastStep = static_cast<int16_t>(style.lastStep);
  c.sounds();
  c.rootSemitone = 0;
  c.setPart(kBass, style.bassWave, synthPitchFor(c.noteHz(0)), (style.bassDecayLo + style.bassDecayHi) / 2, 100, 64);
  const Groove& g = style.grooves[0];
  for (int s = 0; s < style.lastStep; ++s) {
    if (g.kick[s] != '.') c.hit(kKick, s);
    if (withBeat) {
      if (g.snare[s] != '.') c.hit(kSnare, s);
      if (g.closed[s] != '.') c.hit(kClosed, s);
    }
    if (s % 4 == 0) q.accent[s] = 1;
  }
  std::string name = std::string(style.name) + (withBeat ? " Beat" : " Kit");
  setText(c.r.tagParams.name, sizeof c.r.tagParams.name, name);
  setText(c.r.tagParams.author, sizeof c.r.tagParams.author, "Template");
  setText(c.r.tagParams.tags, sizeof c.r.tagParams.tags,
          std::string("template, ") + style.tags + (withBeat ? ", beat" : ", kit"));
  return {c.r, style.name};
}

ComposedPattern emptyTemplate(const char* name, int tempo, int swing, int lastStep, bool metronome) {
  PatternRecord r = makeInitPattern();
  r.sequencerParams.tempo = static_cast<int16_t>(tempo);
  r.sequencerParams.swing = static_cast<int16_t>(swing);
  r.sequencerParams.lastStep = static_cast<int16_t>(lastStep);
  if (metronome) {
    // A click on every beat, the first of the bar accented.
    r.synthParams[kPerc].waveform = 2;
    r.synthParams[kPerc].pitch = synthPitchFor(1000);
    r.synthParams[kPerc].decay = 4;
    for (int s = 0; s < lastStep; s += 4) r.sequencerParams.trigger[kPerc][s] = 1;
    r.sequencerParams.accent[0] = 1;
  }
  setText(r.tagParams.name, sizeof r.tagParams.name, name);
  setText(r.tagParams.author, sizeof r.tagParams.author, "Template");
  setText(r.tagParams.tags, sizeof r.tagParams.tags, metronome ? "template, click" : "template, empty");
  return {r, "Template"};
}

}  // namespace

std::vector<ComposedPattern> composeLibrary() {
  const auto& all = styles();
  const int n = static_cast<int>(all.size());
  std::vector<ComposedPattern> out;
  out.reserve(416);
  // Factory banks: the styles in turn, a few variations each.
  for (int i = 0; i < 64; ++i) {
    const int style = i * n / 64;
    const int variant = i - (style * 64 + n - 1) / n;
    out.push_back(compose(all[style], variant, 1000 + i, false));
  }
  // The GQ-1 collection: every style again, longer and busier.
  for (int i = 0; i < 192; ++i) {
    const int style = i * n / 192;
    const int variant = i - (style * 192 + n - 1) / n;
    ComposedPattern p = compose(all[style], variant, 5000 + i, true);
    if (all[style].name == std::string("Electro") && variant % 4 == 3) {
      // Cross modulation: Synth 2 bends Synth 1's phase.
      p.record.sequencerParams.crossRingMod = 1;
      char* tags = p.record.tagParams.tags;
      const std::string more = std::string(tags) + ", cross mod";
      setText(tags, sizeof p.record.tagParams.tags, more);
    }
    out.push_back(p);
  }
  // Templates: a kit and a basic beat per style, then the plain grids.
  for (int s = 0; s < n; ++s) {
    out.push_back(templateFor(all[s], false, 9000 + s));
    out.push_back(templateFor(all[s], true, 9100 + s));
  }
  out.push_back(emptyTemplate("Empty 120", 1200, 50, 16, false));
  out.push_back(emptyTemplate("Empty 90", 900, 50, 16, false));
  out.push_back(emptyTemplate("Click 120", 1200, 50, 16, true));
  out.push_back(emptyTemplate("Triplet Grid", 1200, 50, 12, false));
  while (out.size() < 288) out.push_back(emptyTemplate("Empty 120", 1200, 50, 16, false));
  // User banks start as init patterns.
  for (int i = 0; i < 128; ++i) out.push_back({makeInitPattern(), "User"});
  return out;
}

}  // namespace factory
