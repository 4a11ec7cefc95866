#pragma once
// What other threads ask the sequencer to do, and its four parameters.

#include <cstdint>

enum class SeqCommandCode : uint32_t {
  SelectPatternSet = 0,
  PatternSetModeOn = 1,
  PatternSetModeOff = 2,
  ProgramChange = 3,
  ChangePatternSilently = 4,
  ChangePattern = 5,
  RecordingOn = 6,
  RecordingOff = 7,
  MidiStart = 8,
  MidiStop = 9,
  MidiClock = 10,
  ExternalClockLost = 11,
  Start = 12,
  StartFromUi = 14,
  Stop = 15,
  StopFromUi = 17,
  LoopOn = 18,
  LoopOff = 19,
  LinkEnabledChanged = 20,
  LinkStart = 21,
  LinkStop = 22,
  LinkTick = 23,
  LinkCountIn = 24,
};

struct SeqCommand {
  uint64_t hostTime;  // host ticks; 0 = at the next opportunity
  uint32_t code;      // a SeqCommandCode
  uint32_t arg1;
  uint32_t arg2;
};

enum SeqParamIndex : int32_t {
  kSeqParamBpm = 0,
  kSeqParamSwing = 1,
  kSeqParamLastStep = 2,
  kSeqParamPatternLength = 3,
};

struct SeqParam {
  const char* name;
  int32_t min;
  int32_t max;
};

inline constexpr SeqParam kSeqParams[4] = {
    {"BPM", 200, 6000},
    {"Swing", 50, 75},
    {"Last Step", 1, 16},
    {"Pattern Length", 1, 4},
};
