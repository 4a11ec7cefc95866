#include "engine/voices/synth_part.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/voices/oscillator.h"
#include "engine/voices/voice_tables.h"
#include "voice_test_support.h"

namespace {

using voicetest::Buses;
using voicetest::rms;
using voicetest::toDouble;

constexpr float kRate = 44100.0f;

enum class How { kNormal, kCross, kRing };

// Renders `frames` frames in engine-sized calls of `chunk` frames.
void renderInto(SynthPart& part, Buses& buses, size_t from, size_t frames, size_t chunk = 512,
                How how = How::kNormal, const std::vector<int32_t>* mod = nullptr) {
  for (size_t pos = from; pos < from + frames; pos += chunk) {
    const uint32_t n = static_cast<uint32_t>(std::min(chunk, from + frames - pos));
    switch (how) {
      case How::kNormal: part.render(buses.at(pos), n); break;
      case How::kCross: part.renderCrossModulated(buses.at(pos), mod->data() + pos, n); break;
      case How::kRing: part.renderRingModulated(buses.at(pos), mod->data() + pos, n); break;
    }
  }
}

// A part on the dry buses (FX Send 0) with the given settings, one note.
struct Note {
  explicit Note(std::initializer_list<std::pair<int, int>> settings = {}, size_t frames = 44100,
                int velocity = 127)
      : buses(frames) {
    part.setParameter(kFxSend, 0);
    for (auto [index, value] : settings) part.setParameter(index, value);
    part.noteOn(velocity);
    renderInto(part, buses, 0, frames);
  }
  std::vector<double> left(size_t from = 0, size_t to = SIZE_MAX) const { return toDouble(buses.bus(0), from, to); }
  std::vector<double> right(size_t from = 0, size_t to = SIZE_MAX) const { return toDouble(buses.bus(1), from, to); }
  SynthPart part{kRate};
  Buses buses;
};

double expectedHz(int pitch) {
  const int64_t v = synthPitchValue(pitch);
  const int64_t x = v >= 8136950 ? 8388607 : v + 251658;
  const int64_t inc = (((x * x) >> 23) * frequencyScale(kRate)) >> 23;
  return inc * static_cast<double>(kRate) / 16777216.0;
}

TEST(SynthPart, DefaultsAndParameterRanges) {
  SynthPart part(kRate);
  const int expected[13] = {64, 1, 64, 0, 0, 127, 100, 64, 0, 0, 0, 1, 1};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(part.parameter(i), expected[i]) << i;
  EXPECT_EQ(part.parameter(-1), 0);
  EXPECT_EQ(part.parameter(13), 0);
  EXPECT_EQ(part.frequencyScale(), 7430384);

  EXPECT_EQ(part.setParameter(kWave, 9), 3);
  EXPECT_EQ(part.setParameter(kModType, -4), 0);
  EXPECT_EQ(part.setParameter(kPitch, 200), 127);
  EXPECT_EQ(part.setParameter(kMotionSeq, 3), 2);
  EXPECT_EQ(part.setParameter(13, 555), 555);
  EXPECT_EQ(part.parameter(kWave), 3);
  EXPECT_EQ(part.effectiveParameter(kPitch), 127);
}

TEST(SynthPart, MotionValuesNeedMotionSeqAndOnlyReachTheSoundParameters) {
  SynthPart part(kRate);
  part.setMotionValue(kPitch, 10);
  EXPECT_EQ(part.effectiveParameter(kPitch), 64);  // "Motion Seq" off
  part.setParameter(kMotionSeq, 1);
  part.setMotionValue(kPitch, 10);
  EXPECT_EQ(part.effectiveParameter(kPitch), 10);
  EXPECT_EQ(part.parameter(kPitch), 64);
  part.setMotionValue(kLowBoost, 500);
  EXPECT_EQ(part.effectiveParameter(kLowBoost), 127);
  part.setMotionValue(kMotionSeq, 0);
  part.setMotionValue(kMute, 1);
  EXPECT_EQ(part.effectiveParameter(kMute), 0);
  part.restoreMotionValue(kPitch);
  EXPECT_EQ(part.effectiveParameter(kPitch), 64);

  part.setMotionValue(kLevel, 5);
  part.setPlaying(true);  // starting playback takes the knob values again
  EXPECT_EQ(part.effectiveParameter(kLevel), 100);
  part.setMotionValue(kLevel, 5);
  part.reset();
  EXPECT_EQ(part.effectiveParameter(kLevel), 100);
}

TEST(SynthPart, PitchToFrequencyAtZeroSixtyFourAndTop) {
  struct Case {
    int pitch;
    double hz;
  };
  // f = 19531.25 × (x / 2^23)²: 31.25 Hz, about 781 Hz and about 8768 Hz.
  for (const Case c : {Case{0, 31.25}, Case{64, 781.25}, Case{127, 8768.0}}) {
    EXPECT_NEAR(expectedHz(c.pitch), c.hz, c.hz * 0.001) << c.pitch;
    Note note({{kPitch, c.pitch}, {kWave, kWaveSine}});
    const double measured = voicetest::zeroCrossingFrequency(note.left(0, 40000), kRate);
    EXPECT_NEAR(measured, c.hz, c.hz * 0.002) << "Pitch " << c.pitch;
  }
}

TEST(SynthPart, PitchLawHoldsAtOtherSampleRates) {
  SynthPart part(48000.0f);
  part.setParameter(kFxSend, 0);
  part.setParameter(kWave, kWaveSine);
  Buses buses(48000);
  part.noteOn(127);
  for (size_t pos = 0; pos < 48000; pos += 1024) {
    part.render(buses.at(pos), static_cast<uint32_t>(std::min<size_t>(1024, 48000 - pos)));
  }
  EXPECT_NEAR(voicetest::zeroCrossingFrequency(toDouble(buses.bus(0), 0, 40000), 48000.0), 781.25, 1.5);
}

TEST(SynthPart, EachWaveformHasItsHarmonics) {
  // Pitch 20 is about 60 Hz; harmonic k lies at k × f.
  const double f = expectedHz(20);
  auto harmonics = [&](int wave) {
    Note note({{kPitch, 20}, {kWave, wave}, {kLowBoost, 42}}, 44100);
    const auto s = voicetest::spectrum(note.left(0, 32768), kRate);
    std::vector<double> h(6);
    for (int k = 1; k <= 5; ++k) h[k] = std::sqrt(s.band(k * f - 4, k * f + 4));
    for (int k = 2; k <= 5; ++k) h[k] /= h[1];
    return h;
  };
  const auto square = harmonics(kWaveSquare);
  EXPECT_NEAR(square[3], 1.0 / 3, 0.03);
  EXPECT_NEAR(square[5], 1.0 / 5, 0.03);
  EXPECT_LT(square[2], 0.02);
  const auto saw = harmonics(kWaveSaw);
  EXPECT_NEAR(saw[2], 1.0 / 2, 0.04);
  EXPECT_NEAR(saw[3], 1.0 / 3, 0.04);
  const auto triangle = harmonics(kWaveTriangle);
  EXPECT_NEAR(triangle[3], 1.0 / 9, 0.02);
  EXPECT_LT(triangle[2], 0.02);
  const auto sine = harmonics(kWaveSine);
  EXPECT_LT(sine[2], 0.01);
  EXPECT_LT(sine[3], 0.06);  // the parabola's small third harmonic
  EXPECT_GT(sine[3], 0.02);
}

TEST(SynthPart, AccentOffPlaysEveryNoteAtVelocity100) {
  Note reference({{kAccent, 1}}, 4096, 100);
  for (int velocity : {0, 1, 64, 127}) {
    Note note({{kAccent, 0}}, 4096, velocity);
    EXPECT_EQ(note.buses.bus(0), reference.buses.bus(0)) << velocity;
  }
  Note silent({{kAccent, 1}}, 4096, 0);
  EXPECT_FALSE(silent.part.isActive());
  EXPECT_EQ(voicetest::peak(silent.left()), 0.0);
}

TEST(SynthPart, NoteStartsAtTheFirstRenderedFrame) {
  SynthPart part(kRate);
  part.setParameter(kFxSend, 0);
  part.noteOn(127);
  EXPECT_TRUE(part.isTriggerPending());
  EXPECT_FALSE(part.isActive());
  Buses buses(64);
  part.render(buses.at(0), 64);
  EXPECT_FALSE(part.isTriggerPending());
  EXPECT_TRUE(part.isActive());
  EXPECT_NE(buses.bus(0)[0], 0);
}

TEST(SynthPart, LevelAndVelocityCurvesAreSquareLaws) {
  const double full = rms(Note({{kLevel, 127}, {kLowBoost, 42}}, 8192).left());
  const double half = rms(Note({{kLevel, 64}, {kLowBoost, 42}}, 8192).left());
  const double softer = rms(Note({{kLevel, 127}, {kLowBoost, 42}}, 8192, 64).left());
  const double expected = static_cast<double>(levelGain(64, 127, false, kSynthLevelConstant)) /
                          levelGain(127, 127, false, kSynthLevelConstant);
  EXPECT_NEAR(half / full, expected, 0.005);
  EXPECT_NEAR(softer / full, expected, 0.005);
  EXPECT_NEAR(expected, (64.0 / 127) * (64.0 / 127), 1e-3);
  EXPECT_EQ(rms(Note({{kMute, 1}}, 4096).left()), 0.0);
}

TEST(SynthPart, PanLawOnTheBuses) {
  Note left({{kPan, 0}}, 4096);
  EXPECT_EQ(voicetest::peak(left.right()), 0.0);
  EXPECT_GT(rms(left.left()), 1000.0);
  Note right({{kPan, 127}}, 4096);
  EXPECT_EQ(voicetest::peak(right.left()), 0.0);
  EXPECT_NEAR(rms(right.right()), rms(left.left()), 2.0);
  Note centre({{kPan, 64}}, 4096);
  EXPECT_NEAR(rms(centre.left()) / rms(left.left()), 0.5, 0.002);
  EXPECT_NEAR(rms(centre.right()) / rms(left.left()), 0.5, 0.002);
  Note quarter({{kPan, 96}}, 4096);
  const double q = panPosition(96) / 8388608.0;
  EXPECT_NEAR(rms(quarter.right()) / rms(left.left()), q, 0.002);
  EXPECT_NEAR(rms(quarter.left()) / rms(left.left()), 1.0 - q, 0.002);
}

TEST(SynthPart, FxSendChoosesTheBusPair) {
  for (int send : {0, 1}) {
    SynthPart part(kRate);
    part.setParameter(kFxSend, send);
    part.reset();
    Buses buses(4096);
    part.noteOn(127);
    renderInto(part, buses, 0, 4096);
    const bool dry = send == 0;
    EXPECT_EQ(voicetest::peak(toDouble(buses.bus(dry ? 2 : 0))), 0.0) << send;
    EXPECT_EQ(voicetest::peak(toDouble(buses.bus(dry ? 3 : 1))), 0.0) << send;
    EXPECT_GT(rms(toDouble(buses.bus(dry ? 0 : 2))), 1000.0) << send;
    EXPECT_GT(rms(toDouble(buses.bus(dry ? 1 : 3))), 1000.0) << send;
  }
}

TEST(SynthPart, FxSendChangeDuringANoteMovesTheSound) {
  SynthPart part(kRate);
  part.setParameter(kFxSend, 1);
  part.reset();
  Buses buses(4096);
  part.noteOn(127);
  renderInto(part, buses, 0, 2048);
  part.setParameter(kFxSend, 0);
  renderInto(part, buses, 2048, 2048);
  EXPECT_EQ(voicetest::peak(toDouble(buses.bus(0), 0, 2048)), 0.0);
  EXPECT_EQ(voicetest::peak(toDouble(buses.bus(2), 2100, 4096)), 0.0);
  EXPECT_GT(rms(toDouble(buses.bus(0), 2100, 4096)), 1000.0);
}

TEST(SynthPart, BusSamplesSaturateAndNeverReachMinus32768) {
  for (int16_t start : {int16_t{32767}, int16_t{-32767}, int16_t{0}}) {
    SynthPart part(kRate);
    part.setParameter(kFxSend, 0);
    part.setParameter(kWave, kWaveSquare);
    part.setParameter(kPitch, 0);
    part.setParameter(kLevel, 127);
    part.setParameter(kLowBoost, 127);  // drives the stage into its clamp
    Buses buses(8192);
    buses.fill(start);
    part.noteOn(127);
    renderInto(part, buses, 0, 8192);
    const auto& l = buses.bus(0);
    EXPECT_EQ(*std::min_element(l.begin(), l.end()) >= -32767, true);
    if (start == 32767) {
      EXPECT_EQ(*std::max_element(l.begin(), l.end()), 32767);
    }
    if (start == -32767) {
      EXPECT_EQ(*std::min_element(l.begin(), l.end()), -32767);
    }
  }
  // Ring modulation by a full-scale negative modulator quadruples the signal
  // into the clamp: the bus still stops at -32767.
  SynthPart part(kRate);
  part.setParameter(kFxSend, 0);
  part.setParameter(kWave, kWaveSquare);
  part.setParameter(kLevel, 127);
  Buses buses(4096);
  buses.fill(-32767);
  std::vector<int32_t> mod(4096, q23::kMin);
  part.noteOn(127);
  renderInto(part, buses, 0, 4096, 512, How::kRing, &mod);
  EXPECT_EQ(*std::min_element(buses.bus(0).begin(), buses.bus(0).end()), -32767);
}

// Frames from the second 256-frame window (past the onset transient) until
// the window peak falls below half of that window's.
size_t halfLife(const std::vector<double>& x) {
  auto windowPeak = [&](size_t w) { return voicetest::peak(toDouble(x, w * 256, (w + 1) * 256)); };
  const double first = windowPeak(1);
  for (size_t w = 2; w * 256 < x.size(); ++w) {
    if (windowPeak(w) < first * 0.5) return (w - 1) * 256;
  }
  return x.size();
}

TEST(SynthPart, DecayHalfLivesFollowTheCoefficientTable) {
  for (int decay : {31, 64, 100}) {
    const int32_t c = SynthPart(kRate).decayTableEntry(decay);
    const double expected = std::log(2.0) / -std::log(c / 8388608.0);
    Note note({{kDecay, decay}, {kWave, kWaveSine}, {kLowBoost, 42}}, static_cast<size_t>(expected * 2 + 512));
    EXPECT_NEAR(static_cast<double>(halfLife(note.left())), expected, expected * 0.03 + 256) << decay;
  }
}

TEST(SynthPart, ShortDecayEndsTheVoice) {
  Note note({{kDecay, 0}}, 4096);
  EXPECT_FALSE(note.part.isActive());
  EXPECT_FALSE(note.part.isSounding());
  // Gone within a few hundred samples: the tail too.
  EXPECT_EQ(voicetest::peak(note.left(1000)), 0.0);
  EXPECT_GT(rms(note.left(0, 50)), 1000.0);
}

TEST(SynthPart, ModDepth64LeavesEveryModTypeUntouched) {
  Note plain({{kModDepth, 64}}, 8192);
  for (int type = 0; type <= 5; ++type) {
    Note note({{kModType, type}, {kModSpeed, 100}, {kModDepth, 64}}, 8192);
    EXPECT_EQ(note.buses.bus(0), plain.buses.bus(0)) << "type " << type;
  }
}

TEST(SynthPart, NoiseModulationDisturbsTheWaveButNotThePitch) {
  Note plain({{kWave, kWaveTriangle}}, 32768);
  Note noisy({{kWave, kWaveTriangle}, {kModType, 4}, {kModSpeed, 80}, {kModDepth, 100}}, 32768);
  EXPECT_NE(plain.buses.bus(0), noisy.buses.bus(0));
  const auto a = voicetest::spectrum(plain.left(), kRate);
  const auto b = voicetest::spectrum(noisy.left(), kRate);
  EXPECT_NEAR(b.peakFrequency(100, 5000), a.peakFrequency(100, 5000), 2.0);
}

std::vector<double> windowFrequencies(const std::vector<double>& x, size_t window) {
  std::vector<double> f;
  for (size_t w = 0; (w + 1) * window <= x.size(); ++w) {
    f.push_back(voicetest::zeroCrossingFrequency(toDouble(x, w * window, (w + 1) * window), kRate));
  }
  return f;
}

TEST(SynthPart, SawDownModulationSweepsThePitch) {
  // Speed 30 is about 1.9 Hz; depth 127 bends the pitch value by ±0.68.
  Note note({{kWave, kWaveSine}, {kModType, 0}, {kModSpeed, 30}, {kModDepth, 127}}, 44100);
  const auto f = windowFrequencies(note.left(), 1024);
  const auto [lo, hi] = std::minmax_element(f.begin(), f.end());
  EXPECT_GT(*hi / *lo, 3.0);
  // Negative depth bends the other way: it starts low instead of high.
  Note inverted({{kWave, kWaveSine}, {kModType, 0}, {kModSpeed, 30}, {kModDepth, 1}}, 4096);
  EXPECT_GT(windowFrequencies(note.left(), 1024)[0], 2 * windowFrequencies(inverted.left(), 1024)[0]);
}

TEST(SynthPart, EnvelopeModulationFallsBackToThePitch) {
  Note note({{kWave, kWaveSine}, {kModType, 5}, {kModSpeed, 100}, {kModDepth, 127}}, 44100);
  const auto f = windowFrequencies(note.left(), 2048);
  EXPECT_GT(f.front(), 2.0 * expectedHz(64));
  EXPECT_NEAR(f.back(), expectedHz(64), expectedHz(64) * 0.01);
  for (size_t i = 1; i < f.size(); ++i) EXPECT_LE(f[i], f[i - 1] * 1.01) << i;
}

TEST(SynthPart, SquareAndTriangleAndSampleAndHoldModulationBendThePitch) {
  for (int type : {1, 2, 3}) {
    Note note({{kWave, kWaveSine}, {kModType, type}, {kModSpeed, 40}, {kModDepth, 110}}, 44100);
    const auto f = windowFrequencies(note.left(), 1024);
    const auto [lo, hi] = std::minmax_element(f.begin(), f.end());
    EXPECT_GT(*hi / *lo, 1.5) << "type " << type;
  }
}

TEST(SynthPart, ParameterChangesAreHeardDuringANoteWhenNotPlaying) {
  SynthPart part(kRate);
  part.setParameter(kFxSend, 0);
  part.setParameter(kWave, kWaveSine);
  Buses buses(16384);
  part.noteOn(127);
  renderInto(part, buses, 0, 8192);
  part.setParameter(kPitch, 100);
  renderInto(part, buses, 8192, 8192);
  EXPECT_NEAR(voicetest::zeroCrossingFrequency(toDouble(buses.bus(0), 0, 8192), kRate), expectedHz(64), 2.0);
  EXPECT_NEAR(voicetest::zeroCrossingFrequency(toDouble(buses.bus(0), 10240, 16384), kRate), expectedHz(100),
              expectedHz(100) * 0.003);
}

double pitchAfterMotion(int motionSeq, bool retrigger) {
  SynthPart part(kRate);
  part.setParameter(kFxSend, 0);
  part.setParameter(kWave, kWaveSine);
  part.setParameter(kMotionSeq, motionSeq);
  part.setPlaying(true);
  Buses buses(16384);
  part.noteOn(127);
  renderInto(part, buses, 0, 4096);
  part.setMotionValue(kPitch, 100);
  if (retrigger) part.noteOn(127);
  renderInto(part, buses, 4096, 12288);
  return voicetest::zeroCrossingFrequency(toDouble(buses.bus(0), 8192, 16384), kRate);
}

TEST(SynthPart, MotionSeqSmoothFollowsMotionDuringTheNote) {
  EXPECT_NEAR(pitchAfterMotion(1, false), expectedHz(100), expectedHz(100) * 0.003);
}

TEST(SynthPart, MotionSeqTrigHoldHearsMotionOnlyAtTheNextTrigger) {
  EXPECT_NEAR(pitchAfterMotion(2, false), expectedHz(64), 2.0);
  EXPECT_NEAR(pitchAfterMotion(2, true), expectedHz(100), expectedHz(100) * 0.003);
}

TEST(SynthPart, MotionSeqOffIgnoresMotion) {
  EXPECT_NEAR(pitchAfterMotion(0, true), expectedHz(64), 2.0);
}

TEST(SynthPart, FrozenVoiceKeepsItsSoundUntilTheNextNote) {
  SynthPart part(kRate);
  part.setParameter(kFxSend, 0);
  part.setParameter(kWave, kWaveSine);
  Buses buses(16384);
  part.noteOn(127);
  renderInto(part, buses, 0, 4096);
  part.freezeParameters();
  part.setParameter(kPitch, 100);
  renderInto(part, buses, 4096, 4096);
  EXPECT_NEAR(voicetest::zeroCrossingFrequency(toDouble(buses.bus(0), 4096, 8192), kRate), expectedHz(64), 2.0);
  part.noteOn(127);
  renderInto(part, buses, 8192, 8192);
  EXPECT_NEAR(voicetest::zeroCrossingFrequency(toDouble(buses.bus(0), 8192, 16384), kRate), expectedHz(100),
              expectedHz(100) * 0.003);
}

TEST(SynthPart, ResetVoiceSilencesAtOnceAndDropsAPendingNote) {
  SynthPart part(kRate);
  part.setParameter(kFxSend, 0);
  Buses buses(2048);
  part.noteOn(127);
  renderInto(part, buses, 0, 1024);
  part.noteOn(127);
  part.resetVoice();
  EXPECT_FALSE(part.isActive());
  EXPECT_FALSE(part.isTriggerPending());
  renderInto(part, buses, 1024, 1024);
  EXPECT_EQ(voicetest::peak(toDouble(buses.bus(0), 1024)), 0.0);
}

TEST(SynthPart, CrossModulationAddsTheBufferToThePhase) {
  const size_t n = 16384;
  Note plain({{kWave, kWaveSine}}, n);
  // A zero buffer changes nothing.
  {
    SynthPart part(kRate);
    part.setParameter(kFxSend, 0);
    part.setParameter(kWave, kWaveSine);
    Buses buses(n);
    std::vector<int32_t> zero(n, 0);
    part.noteOn(127);
    renderInto(part, buses, 0, n, 512, How::kCross, &zero);
    EXPECT_EQ(buses.bus(0), plain.buses.bus(0));
  }
  // A constant c advances the phase by c more each sample: a frequency shift.
  {
    SynthPart part(kRate);
    part.setParameter(kFxSend, 0);
    part.setParameter(kWave, kWaveSine);
    Buses buses(n);
    const int32_t c = 200000;
    std::vector<int32_t> constant(n, c);
    part.noteOn(127);
    renderInto(part, buses, 0, n, 512, How::kCross, &constant);
    const double shift = c * static_cast<double>(kRate) / 16777216.0;
    EXPECT_NEAR(voicetest::zeroCrossingFrequency(toDouble(buses.bus(0)), kRate), expectedHz(64) + shift, 2.0);
  }
}

TEST(SynthPart, RingModulationMultipliesByTheBuffer) {
  const size_t n = 4096;
  Note plain({{kWave, kWaveSine}}, n);
  auto ring = [&](int32_t value) {
    SynthPart part(kRate);
    part.setParameter(kFxSend, 0);
    part.setParameter(kWave, kWaveSine);
    Buses buses(n);
    std::vector<int32_t> mod(n, value);
    part.noteOn(127);
    renderInto(part, buses, 0, n, 512, How::kRing, &mod);
    return buses.bus(0);
  };
  // (m × s) >> 21: a quarter of full scale is unity.
  EXPECT_EQ(ring(1 << 21), plain.buses.bus(0));
  const auto silent = ring(0);
  EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));
  const auto inverted = ring(-(1 << 21));
  const auto doubled = ring(1 << 22);
  for (size_t i = 0; i < n; ++i) {
    // Within the floor roundings of the pan and bus stages.
    ASSERT_NEAR(inverted[i], -plain.buses.bus(0)[i], 3) << i;
    ASSERT_NEAR(doubled[i], 2 * plain.buses.bus(0)[i], 3) << i;
  }
}

TEST(SynthPart, ModulatorRendersTheLevelledSignalIntoTheBuffer) {
  const size_t n = 8192;
  SynthPart modulator(kRate);
  modulator.setParameter(kWave, kWaveSine);
  modulator.setParameter(kDecay, 0);
  std::vector<int32_t> buffer(n, 12345);
  modulator.renderModulator(buffer.data(), 256);  // no note yet: zeros
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 256, [](int32_t v) { return v == 0; }));
  modulator.noteOn(127);
  for (size_t pos = 0; pos < n; pos += 512) modulator.renderModulator(buffer.data() + pos, 512);

  // The same voice rendered normally, panned hard right on the dry buses:
  // the bus holds the buffer's value through the pan and bus scaling.
  SynthPart reference(kRate);
  reference.setParameter(kWave, kWaveSine);
  reference.setParameter(kDecay, 0);
  reference.setParameter(kPan, 127);
  reference.setParameter(kFxSend, 0);
  reference.reset();
  Buses buses(n);
  reference.noteOn(127);
  renderInto(reference, buses, 0, n);
  int nonzero = 0;
  for (size_t i = 0; i < n; ++i) {
    const int64_t r = std::min<int64_t>((8388607LL * buffer[i]) >> 23, 8388607);
    const int16_t expected = static_cast<int16_t>(((r >> 8) * 32767) >> 15);
    ASSERT_EQ(buses.bus(1)[i], expected) << i;
    nonzero += buffer[i] != 0;
  }
  EXPECT_GT(nonzero, 400);  // Decay 0: about 480 samples and a short tail
  EXPECT_FALSE(modulator.isActive());  // the decay ended and so did the tail
  EXPECT_EQ(buffer[n - 1], 0);
}

}  // namespace
