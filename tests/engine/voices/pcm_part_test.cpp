#include "engine/voices/pcm_part.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/record/drum_sample_info.h"
#include "engine/voices/voice_tables.h"
#include "voice_test_support.h"

namespace {

using voicetest::Buses;
using voicetest::rms;
using voicetest::toDouble;

constexpr float kRate = 44100.0f;

// A drum memory of the full table size with a sine in the given rows and
// silence elsewhere: `hz` at the row's own rate, or, with `samplesPerCycle`,
// the same sample values in every row whatever its rate.
DrumData sineMemory(std::initializer_list<uint32_t> rows, double hz, double amplitude = 16000.0,
                    double samplesPerCycle = 0.0) {
  DrumData d;
  d.words.assign(drumDataRequiredSamples(), 0);
  for (uint32_t row : rows) {
    const DrumSampleInfo info = drumSampleInfo(row);
    const double cycle = samplesPerCycle > 0.0 ? samplesPerCycle : info.rate / hz;
    for (uint32_t i = 0; i <= info.end - info.start; ++i) {
      const double v = amplitude * std::sin(2.0 * std::numbers::pi * i / cycle);
      d.words[info.start + i] = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v)));
    }
  }
  return d;
}

void renderInto(PcmPart& part, Buses& buses, size_t from, size_t frames, size_t chunk = 512) {
  for (size_t pos = from; pos < from + frames; pos += chunk) {
    part.render(buses.at(pos), static_cast<uint32_t>(std::min(chunk, from + frames - pos)));
  }
}

struct DrumNote {
  DrumNote(const DrumData* memory, uint32_t firstRow, std::initializer_list<std::pair<int, int>> settings,
           size_t frames)
      : part(firstRow, kRate, memory), buses(frames) {
    part.setParameter(kFxSend, 0);
    for (auto [index, value] : settings) part.setParameter(index, value);
    part.reset();
    part.noteOn(127);
    renderInto(part, buses, 0, frames);
  }
  std::vector<double> left(size_t from = 0, size_t to = SIZE_MAX) const { return toDouble(buses.bus(0), from, to); }
  PcmPart part;
  Buses buses;
};

TEST(PcmPart, DefaultsPlayTheFirstSoundOfTheGroup) {
  PcmPart part(4, kRate, nullptr);
  const int expected[13] = {64, 0, 64, 0, 0, 127, 100, 64, 0, 0, 0, 1, 1};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(part.parameter(i), expected[i]) << i;
  EXPECT_EQ(part.firstRow(), 4u);
  EXPECT_EQ(part.setParameter(kWave, 7), 3);
}

TEST(PcmPart, PitchSixtyFourPlaysAtTheRecordedSpeed) {
  const DrumData memory = sineMemory({0}, 1000.0);
  PcmPart part(0, kRate, &memory);
  part.setParameter(kFxSend, 0);
  Buses buses(8000);
  part.noteOn(127);
  EXPECT_EQ(PcmPart::playbackStep(64, 44100, kRate), 65536);
  // One sample per frame: the sample ends exactly after its 6040 frames.
  for (size_t i = 0; i < 8000; ++i) {
    part.render(buses.at(i), 1);
    if (i < 6040) {
      ASSERT_FALSE(part.hasSampleEnded()) << i;
      ASSERT_EQ(part.position(), (i + 1) * 4096) << i;
    }
    if (i == 6040) {
      EXPECT_TRUE(part.hasSampleEnded());
    }
  }
}

TEST(PcmPart, PitchMovesByOctavesEveryThirtyTwoSteps) {
  const DrumData memory = sineMemory({0}, 1000.0);
  struct Case {
    int pitch;
    double hz;
  };
  for (const Case c : {Case{64, 1000.0}, Case{96, 2000.0}, Case{32, 500.0}, Case{0, 250.0}}) {
    DrumNote note(&memory, 0, {{kPitch, c.pitch}}, 4000);
    EXPECT_NEAR(voicetest::zeroCrossingFrequency(note.left(0, 3000), kRate), c.hz, c.hz * 0.002)
        << "Pitch " << c.pitch;
  }
  EXPECT_EQ(PcmPart::playbackStep(96, 44100, kRate), 131072);
  EXPECT_EQ(PcmPart::playbackStep(32, 44100, kRate), 32768);
  EXPECT_EQ(PcmPart::playbackStep(0, 44100, kRate), 16384);
}

TEST(PcmPart, A48kHzRowPlaysFasterByTheRateRatio) {
  // "HH Open 2" is row 5: the open hi-hat part (rows 4-7) with "Wave" 1.
  // The same samples in a 44.1 kHz and a 48 kHz row: the 48 kHz one is read
  // 48000/44100 times faster.
  const DrumData memory = sineMemory({4, 5}, 0.0, 16000.0, 44.1);
  DrumNote at441(&memory, 4, {{kWave, 0}}, 6000);
  DrumNote at48(&memory, 4, {{kWave, 1}}, 6000);
  const double f441 = voicetest::zeroCrossingFrequency(at441.left(0, 5000), kRate);
  const double f48 = voicetest::zeroCrossingFrequency(at48.left(0, 5000), kRate);
  EXPECT_NEAR(f441, 1000.0, 2.0);
  EXPECT_NEAR(f48 / f441, 48000.0 / 44100.0, 0.002);
  EXPECT_EQ(PcmPart::playbackStep(64, 48000, kRate), static_cast<int32_t>(65536.0f * (48000.0f / 44100.0f)));
  // So a sound recorded at 48 kHz keeps its pitch.
  const DrumData recorded = sineMemory({5}, 1000.0);
  DrumNote played(&recorded, 4, {{kWave, 1}}, 6000);
  EXPECT_NEAR(voicetest::zeroCrossingFrequency(played.left(0, 5000), kRate), 1000.0, 2.0);
}

// The part's drum ringing after `frames`, and whether it is still active.
struct ChokeResult {
  double tailRms;
  bool active;
};

ChokeResult chokeOf(uint32_t victimRow, uint32_t chokerRow, bool partners) {
  DrumData memory = sineMemory({victimRow, chokerRow}, 700.0);
  PcmPart victim(victimRow, kRate, &memory);
  PcmPart choker(chokerRow, kRate, &memory);
  if (partners) {
    victim.setChokePartner(&choker);
    choker.setChokePartner(&victim);
  }
  victim.setParameter(kFxSend, 0);
  Buses victimBuses(6000);
  Buses chokerBuses(6000);
  victim.noteOn(127);
  renderInto(victim, victimBuses, 0, 2000);
  choker.noteOn(127);
  renderInto(victim, victimBuses, 2000, 4000);
  renderInto(choker, chokerBuses, 2000, 4000);
  return {rms(toDouble(victimBuses.bus(0), 2100, 6000)), victim.isActive()};
}

TEST(PcmPart, ClosedHiHatChokesTheOpenOneAndTheOtherWayRound) {
  const ChokeResult openByClosed = chokeOf(4, 0, true);
  EXPECT_EQ(openByClosed.tailRms, 0.0);
  EXPECT_FALSE(openByClosed.active);
  const ChokeResult closedByOpen = chokeOf(0, 4, true);
  EXPECT_EQ(closedByOpen.tailRms, 0.0);
  EXPECT_FALSE(closedByOpen.active);
  // Without the link (cymbal and clap/snare parts) nothing is cut.
  const ChokeResult cymbal = chokeOf(8, 0, false);
  EXPECT_GT(cymbal.tailRms, 1000.0);
  EXPECT_TRUE(cymbal.active);
}

TEST(PcmPart, ChokeCutsWithinTheShortLowBoostTail) {
  DrumData memory = sineMemory({0, 4}, 700.0);
  PcmPart open(4, kRate, &memory);
  PcmPart closed(0, kRate, &memory);
  open.setChokePartner(&closed);
  closed.setChokePartner(&open);
  open.setParameter(kFxSend, 0);
  Buses buses(3000);
  open.noteOn(127);
  renderInto(open, buses, 0, 2000);
  EXPECT_TRUE(open.isSounding());
  closed.noteOn(127);
  EXPECT_FALSE(open.isSounding());
  open.render(buses.at(2000), 1000);
  int lastNonZero = -1;
  for (int i = 2000; i < 3000; ++i) {
    if (buses.bus(0)[i] != 0) lastNonZero = i;
  }
  // Low Boost 0 halves the tail every sample: silent after a few dozen.
  EXPECT_LT(lastNonZero, 2040);
}

TEST(PcmPart, ChokeDropsThePartnersPendingNote) {
  DrumData memory = sineMemory({0, 4}, 700.0);
  PcmPart open(4, kRate, &memory);
  PcmPart closed(0, kRate, &memory);
  open.setChokePartner(&closed);
  closed.setChokePartner(&open);
  open.noteOn(127);
  closed.noteOn(127);
  EXPECT_FALSE(open.isTriggerPending());
  EXPECT_TRUE(closed.isTriggerPending());
}

TEST(PcmPart, IsNeverItsOwnChokePartner) {
  PcmPart part(0, kRate, nullptr);
  part.setChokePartner(&part);
  EXPECT_EQ(part.chokePartner(), nullptr);
  PcmPart other(4, kRate, nullptr);
  part.setChokePartner(&other);
  EXPECT_EQ(part.chokePartner(), &other);
}

TEST(PcmPart, DecayHoldLengthsThroughThePart) {
  const DrumData memory = sineMemory({0}, 500.0);
  struct Case {
    int decay;
    uint32_t hold;
  };
  // Row 0 is 6040 samples at 44.1 kHz.
  for (const Case c : {Case{99, 6000}, Case{100, 6644}, Case{119, 18120}, Case{127, 24160}}) {
    DrumNote note(&memory, 0, {{kDecay, c.decay}, {kPitch, 32}}, 64);
    EXPECT_EQ(note.part.decayEnvelope().naturalLength(), 6040u);
    EXPECT_EQ(note.part.decayEnvelope().holdLength(), c.hold) << c.decay;
  }
}

TEST(PcmPart, ShortDecayFadesBeforeTheSampleEnds) {
  const DrumData memory = sineMemory({0}, 500.0);
  DrumNote note(&memory, 0, {{kDecay, 20}}, 8000);
  // Hold 60 × 21 = 1260, staircase 945 frames; the sound is over long
  // before the 6040 samples are played.
  EXPECT_GT(rms(note.left(0, 1200)), 1000.0);
  EXPECT_LT(rms(note.left(1900, 2100)), rms(note.left(0, 1200)) * 0.5);
  EXPECT_EQ(voicetest::peak(note.left(2300)), 0.0);
  EXPECT_FALSE(note.part.isActive());
  EXPECT_FALSE(note.part.hasSampleEnded());
}

TEST(PcmPart, Decay127LetsTheSampleEndBeforeTheStaircase) {
  const DrumData memory = sineMemory({0}, 500.0);
  PcmPart part(0, kRate, &memory);
  part.setParameter(kDecay, 127);
  part.setParameter(kPitch, 1);  // the slowest playback above Pitch 0
  Buses buses(30000);
  part.noteOn(127);
  part.render(buses.at(0), 1);
  ASSERT_FALSE(part.hasSampleEnded());
  for (size_t i = 1; i < 30000 && !part.hasSampleEnded(); ++i) part.render(buses.at(i), 1);
  ASSERT_TRUE(part.hasSampleEnded());
  EXPECT_LT(part.decayEnvelope().sampleCounter(), part.decayEnvelope().holdLength());
  EXPECT_EQ(part.decayEnvelope().stage(), 127);
}

TEST(PcmPart, InterpolationReadsTowardsTheNextSampleAndZeroBeyondTheMemory) {
  DrumData d;
  d.words = {0, 1000, static_cast<uint16_t>(-3000), 4000};
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 0, 1 << 12), 1000);
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 0, (1 << 12) + 2048), -1000);
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 0, (1 << 12) + 1024), 0);
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 1, (2 << 12) + 2048), 2000);  // 4000 → beyond (0)
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 3, 0), 4000);
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 3, 1 << 12), 0);
  EXPECT_EQ(PcmPart::interpolatedSample(&d, 100, 0), 0);
  EXPECT_EQ(PcmPart::interpolatedSample(nullptr, 0, 0), 0);
}

// A drum note rebuilt from the stages: what the part must produce for a
// row played with a settled step, Low Boost 0, Level 100, Pan 64, dry.
std::vector<int16_t> referenceNote(const DrumData& memory, uint32_t row, int pitch, size_t frames) {
  const DrumSampleInfo info = drumSampleInfo(row);
  const uint32_t length = info.end - info.start + 1;
  const int32_t step = PcmPart::playbackStep(pitch, info.rate, kRate);
  DecayEnvelope decay;
  decay.start(127, length, info.rate, kRate);
  LowBoost lowBoost(kRate);
  lowBoost.start(0);
  LevelStage level(kPcmLevelConstant);
  level.start(100, 127, false);
  PanStage pan;
  pan.start(64);
  std::vector<int16_t> out(frames, 0);
  uint32_t position = 0;
  bool ended = false;
  for (size_t i = 0; i < frames; ++i) {
    int32_t x = 0;
    if (!ended) {
      if ((position >> 12) < length) {
        x = q23::clamp(static_cast<int64_t>(PcmPart::interpolatedSample(&memory, info.start, position)) * 256);
        position += static_cast<uint32_t>(step >> 4);
      } else {
        ended = true;
      }
    }
    const int32_t y = lowBoost.process(decay.process(x));
    int32_t l;
    int32_t r;
    pan.process(level.process(y), l, r);
    bus16::addScaled(out[i], l, 32767);
    if (lowBoost.tailFinished()) break;  // the voice goes idle
    if (ended) lowBoost.closeGate();
  }
  return out;
}

TEST(PcmPart, LastFrameInterpolatesTowardsTheGapSample) {
  DrumData memory = sineMemory({0}, 900.0, 20000.0);
  const uint32_t end = drumSampleInfo(0).end;
  memory.words[end] = 20000;
  const int pitch = 63;  // a fractional step, so the last frames fall between samples
  auto play = [&]() {
    DrumNote note(&memory, 0, {{kPitch, pitch}}, 7000);
    return note.buses.bus(0);
  };
  memory.words[end + 1] = 0;
  const auto withZeroGap = play();
  EXPECT_EQ(withZeroGap, referenceNote(memory, 0, pitch, 7000));
  memory.words[end + 1] = static_cast<uint16_t>(-20000);
  const auto withGap = play();
  EXPECT_EQ(withGap, referenceNote(memory, 0, pitch, 7000));
  // Only the frame that reads between the last sample and the gap differs
  // (plus the Low Boost tail that follows it).
  size_t firstDifference = 0;
  while (firstDifference < withGap.size() && withGap[firstDifference] == withZeroGap[firstDifference]) {
    ++firstDifference;
  }
  const uint32_t q12Step = static_cast<uint32_t>(PcmPart::playbackStep(pitch, 44100, kRate) >> 4);
  const size_t lastFrame = ((6040u << 12) - 1) / q12Step;  // the last frame whose index is < 6040
  EXPECT_EQ(firstDifference, lastFrame);
  EXPECT_LT(withGap[lastFrame], withZeroGap[lastFrame]);
}

TEST(PcmPart, MemoryShorterThanTheRowPlaysSilenceBeyondIt) {
  DrumData memory = sineMemory({0}, 900.0);
  memory.words.resize(3000);
  DrumNote note(&memory, 0, {}, 7000);
  EXPECT_GT(rms(note.left(0, 2900)), 1000.0);
  EXPECT_EQ(voicetest::peak(note.left(3100, 6040)), 0.0);
  EXPECT_TRUE(note.part.hasSampleEnded());
}

TEST(PcmPart, WithoutMemoryThePartIsSilent) {
  DrumNote note(nullptr, 0, {}, 7000);
  EXPECT_EQ(voicetest::peak(note.left()), 0.0);
  DrumData empty;
  DrumNote emptyNote(&empty, 12, {}, 7000);
  EXPECT_EQ(voicetest::peak(emptyNote.left()), 0.0);
}

TEST(PcmPart, RowBeyondTheTableGivesAnInactiveVoice) {
  const DrumData memory = sineMemory({0}, 900.0);
  DrumNote note(&memory, 16, {}, 256);
  EXPECT_FALSE(note.part.isActive());
  EXPECT_EQ(voicetest::peak(note.left()), 0.0);
}

TEST(PcmPart, BusStoresSaturateNeverToMinus32768) {
  DrumData memory;
  memory.words.assign(drumDataRequiredSamples(), static_cast<uint16_t>(INT16_MIN));
  for (int16_t start : {int16_t{-32767}, int16_t{0}, int16_t{32767}}) {
    PcmPart part(0, kRate, &memory);
    part.setParameter(kFxSend, 0);
    part.setParameter(kLevel, 127);
    part.setParameter(kLowBoost, 127);
    Buses buses(7000);
    buses.fill(start);
    part.noteOn(127);
    renderInto(part, buses, 0, 7000);
    for (int b = 0; b < 2; ++b) {
      const auto& bus = buses.bus(b);
      EXPECT_GE(*std::min_element(bus.begin(), bus.end()), -32767);
      if (start == -32767) {
        EXPECT_EQ(*std::max_element(bus.begin(), bus.end()), -32767);
      }
    }
  }
}

TEST(PcmPart, PitchModulationChangesThePlaybackSpeed) {
  const DrumData memory = sineMemory({0}, 500.0);
  auto positionAfter = [&](int type, int depth) {
    DrumNote note(&memory, 0, {{kModType, type}, {kModSpeed, 60}, {kModDepth, depth}}, 1000);
    return note.part.position();
  };
  const uint32_t plain = positionAfter(5, 64);
  EXPECT_EQ(plain, 1000u * 4096u);
  // The envelope raises the pitch by up to 4800 cents, a negative depth lowers it.
  EXPECT_GT(positionAfter(5, 127), 4 * plain);
  EXPECT_LT(positionAfter(5, 1), plain / 4);
  EXPECT_NE(positionAfter(0, 100), plain);
  // "Noise" never changes the speed; it disturbs the sample value instead.
  EXPECT_EQ(positionAfter(4, 127), plain);
  DrumNote clean(&memory, 0, {}, 1000);
  DrumNote noisy(&memory, 0, {{kModType, 4}, {kModSpeed, 60}, {kModDepth, 127}}, 1000);
  EXPECT_NE(clean.buses.bus(0), noisy.buses.bus(0));
}

TEST(PcmPart, WaveIsTakenOnlyAtTheNextNote) {
  DrumData memory = sineMemory({0}, 500.0);
  const DrumSampleInfo row1 = drumSampleInfo(1);
  for (uint32_t i = row1.start; i <= row1.end; ++i) memory.words[i] = 0;
  PcmPart part(0, kRate, &memory);
  part.setParameter(kFxSend, 0);
  Buses buses(6000);
  part.noteOn(127);
  renderInto(part, buses, 0, 1000);
  part.setParameter(kWave, 1);  // a silent row
  renderInto(part, buses, 1000, 1000);
  EXPECT_GT(rms(toDouble(buses.bus(0), 1000, 2000)), 1000.0);
  part.noteOn(127);
  renderInto(part, buses, 2000, 4000);
  EXPECT_LT(rms(toDouble(buses.bus(0), 2100, 6000)), 10.0);
}

TEST(PcmPart, LevelChangesGlideDuringTheSound) {
  const DrumData memory = sineMemory({4}, 500.0);
  PcmPart part(4, kRate, &memory);
  part.setParameter(kFxSend, 0);
  Buses buses(12000);
  part.noteOn(127);
  renderInto(part, buses, 0, 4000);
  part.setParameter(kLevel, 50);
  renderInto(part, buses, 4000, 8000);
  const double before = rms(toDouble(buses.bus(0), 3000, 4000));
  const double after = rms(toDouble(buses.bus(0), 8000, 9000));
  EXPECT_NEAR(after / before, (50.0 * 50.0) / (100.0 * 100.0), 0.01);
}

TEST(PcmPart, ResetVoiceSilencesAtOnce) {
  const DrumData memory = sineMemory({4}, 500.0);
  PcmPart part(4, kRate, &memory);
  part.setParameter(kFxSend, 0);
  Buses buses(2000);
  part.noteOn(127);
  renderInto(part, buses, 0, 1000);
  part.noteOn(127);
  part.resetVoice();
  EXPECT_FALSE(part.isActive());
  EXPECT_FALSE(part.isTriggerPending());
  renderInto(part, buses, 1000, 1000);
  EXPECT_EQ(voicetest::peak(toDouble(buses.bus(0), 1000)), 0.0);
}

TEST(PcmPart, AccentRulesAsTheSynthesizer) {
  const DrumData memory = sineMemory({0}, 500.0);
  PcmPart part(0, kRate, &memory);
  part.setParameter(kFxSend, 0);
  part.setParameter(kAccent, 0);
  Buses buses(2000);
  part.noteOn(3);
  renderInto(part, buses, 0, 2000);
  PcmPart hundred(0, kRate, &memory);
  hundred.setParameter(kFxSend, 0);
  Buses hundredBuses(2000);
  hundred.noteOn(100);
  renderInto(hundred, hundredBuses, 0, 2000);
  EXPECT_EQ(buses.bus(0), hundredBuses.bus(0));
  PcmPart zero(0, kRate, &memory);
  zero.noteOn(0);
  EXPECT_FALSE(zero.isTriggerPending());
}

}  // namespace
